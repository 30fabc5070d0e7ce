#include "shell/about_box.h"

namespace zu {
namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;  // the dialog manager focuses the first tab stop, OK
    case WM_COMMAND:
      // Escape and the close box arrive as IDCANCEL.
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowAboutBox(HINSTANCE module, WORD dialog_id, HWND owner) noexcept {
  return DialogBoxParamW(module, MAKEINTRESOURCEW(dialog_id), owner, AboutProc, 0);
}

HRESULT RunControlAboutBox(HINSTANCE module, WORD dialog_id) noexcept {
  ShowAboutBox(module, dialog_id, GetActiveWindow());
  return S_OK;
}

}  // namespace zu
