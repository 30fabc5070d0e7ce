// The simulated capture window: a child window of the simulator's own class that answers the
// capture messages as a capture window with a real driver would, grabs frames on a timer while
// preview runs, paints the latest one and hands each to the frame callback.
#pragma once

#include <windows.h>

namespace zu::simcam {

// The module whose resources (the driver dialogs) and window class the simulator uses.
void SetModule(HINSTANCE module);
HINSTANCE Module();

// Registers the window class on first use; false when that fails.
bool RegisterCaptureWindowClass();
void UnregisterCaptureWindowClass();

HWND CreateCaptureWindowA(LPCSTR title, DWORD style, int x, int y, int width, int height,
                          HWND parent, int id);
HWND CreateCaptureWindowW(LPCWSTR title, DWORD style, int x, int y, int width, int height,
                          HWND parent, int id);

// True for a window of the simulator's class in this process.
bool IsCaptureWindow(HWND window);

// Grabs one frame on the window's own thread and delivers it; false without a driver.
bool PushFrame(HWND window);

}  // namespace zu::simcam
