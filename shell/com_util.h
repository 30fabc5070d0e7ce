// Small helpers every COM object of the shell uses: HRESULT flow, exception fences, and RAII
// owners of automation strings, variants and registry keys.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <new>
#include <utility>

// Evaluates `expr` once; returns its code from the calling function when it failed.
#define ZU_RETURN_IF_FAILED(expr)         \
  do {                                    \
    const HRESULT zu_hr_ = (expr);        \
    if (FAILED(zu_hr_)) return zu_hr_;    \
  } while (0)

// Returns E_POINTER when `out` is null, else clears it. For out-pointers of pointer type.
#define ZU_CHECK_AND_CLEAR(out)           \
  do {                                    \
    if ((out) == nullptr) return E_POINTER; \
    *(out) = {};                          \
  } while (0)

namespace zu {

// Runs `body` (returning HRESULT) so that no exception leaves a COM method: an allocation
// failure becomes E_OUTOFMEMORY, anything else E_FAIL.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The code of a Win32 error as an HRESULT; S_OK for ERROR_SUCCESS.
inline HRESULT FromWin32(LONG error) { return HRESULT_FROM_WIN32(static_cast<unsigned long>(error)); }

// ---------------------------------------------------------------- Bstr

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : value_(text ? SysAllocString(text) : nullptr) {}
  ~Bstr() { Reset(); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : value_(other.Detach()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  BSTR Get() const { return value_; }
  // For out-parameters: frees what is held first.
  BSTR* Put() {
    Reset();
    return &value_;
  }
  BSTR Detach() { return std::exchange(value_, nullptr); }
  void Reset(BSTR value = nullptr) {
    if (value_ != value) SysFreeString(value_);
    value_ = value;
  }
  UINT Length() const { return SysStringLen(value_); }

 private:
  BSTR value_ = nullptr;
};

// ---------------------------------------------------------------- Variant

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  const VARIANT& Get() const { return value_; }
  VARIANT* Ptr() { return &value_; }
  // For out-parameters: clears what is held first.
  VARIANT* Put() {
    VariantClear(&value_);
    return &value_;
  }
  VARTYPE Type() const { return V_VT(&value_); }
  VARIANT Detach() {
    VARIANT out = value_;
    VariantInit(&value_);
    return out;
  }

 private:
  VARIANT value_;
};

// ---------------------------------------------------------------- RegKey

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : key_(key) {}
  ~RegKey() { Reset(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.key_, nullptr));
    return *this;
  }

  HKEY Get() const { return key_; }
  HKEY* Put() {
    Reset();
    return &key_;
  }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset(HKEY key = nullptr) {
    if (key_) RegCloseKey(key_);
    key_ = key;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace zu
