// The window class of a control's in-place window: registered on first use, once per process,
// named "ATL:%8.8X" from the address of its description (the form containers know from other
// controls' windows), and unregistered when the module unloads, so that the DLL loaded again,
// perhaps at the same address, can register it afresh.
#pragma once

#include <windows.h>

namespace zu {

// The class atom, registering the class with `procedure` and `instance` if it is not yet
// registered; 0 on failure. A module has one control class: the first procedure wins.
ATOM RegisterControlWindowClass(WNDPROC procedure, HINSTANCE instance) noexcept;

// Unregisters the class now (the module's clean-up does it at unload). No window of the class
// may be left.
void UnregisterControlWindowClass() noexcept;

}  // namespace zu
