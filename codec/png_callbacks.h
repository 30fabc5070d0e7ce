// Error and warning callbacks shared by the PNG encoder and decoder (internal to the codec).
#pragma once

#include <png.h>

namespace zu {

// A fatal library error: back to the caller's error-return point. The message goes nowhere;
// the caller's only signal is the missing block.
[[noreturn]] inline void OnPngError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}

// The library's default would print to the host's stderr; a control has no business there.
inline void IgnorePngWarning(png_structp, png_const_charp) {}

}  // namespace zu
