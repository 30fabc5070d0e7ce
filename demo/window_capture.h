// Screenshots for the demo's report: a window's client area or a part of the screen as a 24-bit
// BMP-variant frame, and frame data written to a file as PNG.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zu {

// What the window's client area shows now, children included; empty on failure.
std::vector<uint8_t> CaptureClientArea(HWND window);
// What the screen shows in `area` (screen coordinates, cut to the screen): every window there,
// whichever process it belongs to; empty on failure.
std::vector<uint8_t> CaptureScreenArea(const RECT& area);
// Compresses a BMP-variant frame with the frame encoder and writes the PNG stream to `path`.
bool WritePngFile(const std::wstring& path, const std::vector<uint8_t>& frame);

}  // namespace zu
