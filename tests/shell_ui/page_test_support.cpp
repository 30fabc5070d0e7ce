#include "tests/shell_ui/page_test_support.h"

namespace zu::test {

// ---------------------------------------------------------------- FakePageSite

STDMETHODIMP FakePageSite::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPropertyPageSite)) {
    return E_NOINTERFACE;
  }
  *object = static_cast<IPropertyPageSite*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP FakePageSite::OnStatusChange(DWORD flags) {
  status_changes.push_back(flags);
  return S_OK;
}

STDMETHODIMP FakePageSite::GetLocaleID(LCID* locale) {
  ADD_FAILURE() << "unexpected IPropertyPageSite::GetLocaleID";
  if (locale) *locale = LOCALE_USER_DEFAULT;
  return S_OK;
}

STDMETHODIMP FakePageSite::GetPageContainer(IUnknown** container) {
  ADD_FAILURE() << "unexpected IPropertyPageSite::GetPageContainer";
  if (container) *container = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakePageSite::TranslateAccelerator(MSG*) {
  ADD_FAILURE() << "unexpected IPropertyPageSite::TranslateAccelerator";
  return E_NOTIMPL;
}

// ---------------------------------------------------------------- PlainObject

STDMETHODIMP PlainObject::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown)) {
    ++refused_queries;
    return E_NOINTERFACE;
  }
  *object = this;
  AddRef();
  return S_OK;
}

// ---------------------------------------------------------------- templates

namespace {
INT_PTR CALLBACK IdleProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

SIZE DialogManagerPageSize(HWND parent, int dialog_id, int width, int height) {
  HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog_id), parent,
                                   IdleProc, 0);
  EXPECT_NE(dialog, nullptr) << "DIALOG " << dialog_id;
  if (dialog == nullptr) return SIZE{0, 0};
  RECT mapped = {0, 0, width, height};
  MapDialogRect(dialog, &mapped);
  HDC dc = GetDC(dialog);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(dialog, dc);
  DestroyWindow(dialog);
  return SIZE{mapped.right, MulDiv(height, metrics.tmHeight + metrics.tmExternalLeading, 8)};
}

std::vector<uint8_t> DialogResource(int dialog_id) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(dialog_id), MAKEINTRESOURCEW(5));
  if (!found) return {};
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

// ---------------------------------------------------------------- the dialog's controls

std::vector<std::wstring> ListEntries(HWND list) {
  std::vector<std::wstring> entries;
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
    std::wstring text(length > 0 ? length + 1 : 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(length > 0 ? length : 0);
    entries.push_back(text);
  }
  return entries;
}

long ListSelection(HWND list) {
  const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<long>(selected);
}

std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

void ChooseListEntry(HWND list, long index) {
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(list), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void ClickButton(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

void TypeText(HWND edit, const std::wstring& text) {
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

}  // namespace zu::test
