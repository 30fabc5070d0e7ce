// The controls' about box: a modal dialog from the library's resources (ZuVPlay: DIALOG 108,
// ZuVCap: DIALOG 203) that names the control, its version and its maker, closed by OK, Escape
// or the close box.
#pragma once

#include <windows.h>

namespace zu {

// Runs dialog `dialog_id` of `module` modally, owned by `owner` (may be null), and returns once
// it has closed: IDOK or IDCANCEL, or what DialogBoxParam reports when there was no dialog
// (-1 for a missing template).
INT_PTR ShowAboutBox(HINSTANCE module, WORD dialog_id, HWND owner) noexcept;

// A control's AboutBox: owned by the thread's active window, if any. S_OK once the box has
// closed, and also when it could not be shown.
HRESULT RunControlAboutBox(HINSTANCE module, WORD dialog_id) noexcept;

}  // namespace zu
