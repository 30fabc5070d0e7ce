// Screenshots of a window for the demo's report: the client area as a 24-bit BMP-variant frame,
// and frame data written to a file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zu {

// What the window's client area shows now, children included; empty on failure.
std::vector<uint8_t> CaptureClientArea(HWND window);
// Compresses a BMP-variant frame with the frame encoder and writes the PNG stream to `path`.
bool WritePngFile(const std::wstring& path, const std::vector<uint8_t>& frame);

}  // namespace zu
