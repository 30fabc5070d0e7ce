// The window classes of the controls' in-place windows: one class per window procedure,
// registered on its first use, once per process, named "ATL:%8.8X" from the address of its
// description (the form containers know from other controls' windows), and unregistered when the
// module unloads, so that the DLL loaded again, perhaps at the same address, can register it
// afresh. A program that holds the code of several controls, each with a procedure of its own,
// gets one class for each.
#pragma once

#include <windows.h>

namespace zu {

// The class atom for `procedure`, registering its class with `instance` if it is not yet
// registered; 0 on failure or when the table of classes is full.
ATOM RegisterControlWindowClass(WNDPROC procedure, HINSTANCE instance) noexcept;

// Unregisters every class now (the module's clean-up does it at unload). No window of them may
// be left.
void UnregisterControlWindowClasses() noexcept;

}  // namespace zu
