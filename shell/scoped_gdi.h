// Owners for GDI objects and for selections into a device context.
//
// Declare a selection after the object it selects, so that it is undone before the object is
// deleted: GDI does not delete an object that is still selected into a device context.
#pragma once

#include <windows.h>

namespace zu {

// Owns one brush, region, palette, bitmap...; deletes it with DeleteObject.
template <typename Handle>
class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(Handle handle = nullptr) noexcept : handle_(handle) {}
  ~ScopedGdiObject() { reset(); }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }
  void reset(Handle handle = nullptr) noexcept {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = handle;
  }
  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  Handle handle_;
};

// Selects an object into a device context and puts the previous one back on destruction. A null
// object selects nothing.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelectObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Selects a palette as a foreground palette and puts the previous one back on destruction. A null
// palette selects nothing.
class ScopedSelectPalette {
 public:
  ScopedSelectPalette(HDC dc, HPALETTE palette) noexcept
      : dc_(dc), previous_(palette != nullptr ? SelectPalette(dc, palette, FALSE) : nullptr) {}
  ~ScopedSelectPalette() {
    if (previous_ != nullptr) SelectPalette(dc_, previous_, FALSE);
  }
  ScopedSelectPalette(const ScopedSelectPalette&) = delete;
  ScopedSelectPalette& operator=(const ScopedSelectPalette&) = delete;

 private:
  HDC dc_;
  HPALETTE previous_;
};

// Sets a DC's stretching mode for a scope and puts the caller's back.
class ScopedStretchMode {
 public:
  ScopedStretchMode(HDC dc, int mode) : dc_(dc), previous_(SetStretchBltMode(dc, mode)) {}
  ~ScopedStretchMode() {
    if (previous_ != 0) SetStretchBltMode(dc_, previous_);
  }
  ScopedStretchMode(const ScopedStretchMode&) = delete;
  ScopedStretchMode& operator=(const ScopedStretchMode&) = delete;

 private:
  HDC dc_;
  int previous_;
};

}  // namespace zu
