#include "shell/property_page.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "shell/com_util.h"
#include "shell/scoped_gdi.h"

namespace zu {
namespace {

// Reads a template front to back; every read is checked against the end.
class TemplateReader {
 public:
  TemplateReader(const void* data, std::size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0) {}

  template <class T>
  bool Read(T* value) {
    if (size_ - offset_ < sizeof(T)) return false;
    std::memcpy(value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }
  bool Skip(std::size_t bytes) {
    if (size_ - offset_ < bytes) return false;
    offset_ += bytes;
    return true;
  }
  // A terminated UTF-16 string, copied into `out` (cut to `capacity` - 1) when `out` is given.
  bool ReadString(wchar_t* out, std::size_t capacity) {
    std::size_t length = 0;
    for (;;) {
      WORD unit = 0;
      if (!Read(&unit)) return false;
      if (unit == 0) break;
      if (out && length + 1 < capacity) out[length] = static_cast<wchar_t>(unit);
      ++length;
    }
    if (out && capacity) out[length + 1 < capacity ? length : capacity - 1] = L'\0';
    return true;
  }
  // Menu, class and title: empty (0), an ordinal (0xFFFF and a number) or a string.
  bool SkipNameOrOrdinal() {
    WORD first = 0;
    if (!Read(&first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return Skip(sizeof(WORD));
    offset_ -= sizeof(WORD);
    return ReadString(nullptr, 0);
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

constexpr WORD kExtendedSignature = 0xFFFF;

// A copy of `text` in task memory, for the frame to free.
LPOLESTR TaskString(const wchar_t* text) {
  const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (copy) std::memcpy(copy, text, bytes);
  return copy;
}

// String `id` of `module`, "" when the module has none.
void LoadPageString(HINSTANCE module, UINT id, wchar_t (&buffer)[kPageStringChars]) {
  if (LoadStringW(module, id, buffer, kPageStringChars) <= 0) buffer[0] = L'\0';
}

bool IsKeyboardOrMouse(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

// ---------------------------------------------------------------- dialog templates

bool ReadDialogTemplateLayout(const void* data, std::size_t size, DialogTemplateLayout* layout) {
  if (layout == nullptr) return false;
  TemplateReader reader(data, size);
  DialogTemplateLayout read;
  WORD version = 0, signature = 0;
  if (!reader.Read(&version) || !reader.Read(&signature)) return false;
  DWORD style = 0;
  const bool extended = version == 1 && signature == kExtendedSignature;
  if (extended) {
    // help id, extended style, style
    if (!reader.Skip(2 * sizeof(DWORD)) || !reader.Read(&style)) return false;
  } else {
    // The style is the DWORD whose halves were just read; the extended style follows.
    style = MAKELONG(version, signature);
    if (!reader.Skip(sizeof(DWORD))) return false;
  }
  short x = 0, y = 0;
  if (!reader.Skip(sizeof(WORD)) || !reader.Read(&x) || !reader.Read(&y) ||
      !reader.Read(&read.width) || !reader.Read(&read.height)) {
    return false;
  }
  if (!reader.SkipNameOrOrdinal() || !reader.SkipNameOrOrdinal() || !reader.SkipNameOrOrdinal()) {
    return false;
  }
  if (style & DS_SETFONT) {
    if (!reader.Read(&read.point_size)) return false;
    // weight, italic, character set: the page measures with normal weight and the default set.
    if (extended && !reader.Skip(sizeof(WORD) + 2 * sizeof(BYTE))) return false;
    if (!reader.ReadString(read.face, LF_FACESIZE)) return false;
    read.has_font = true;
  }
  *layout = read;
  return true;
}

SIZE DialogTemplateSizeInPixels(const DialogTemplateLayout& layout) {
  const LONG base_units = GetDialogBaseUnits();
  int average_width = LOWORD(base_units);
  int char_height = HIWORD(base_units);
  if (layout.has_font) {
    HDC screen = GetDC(nullptr);
    if (screen) {
      LOGFONTW description = {};
      description.lfHeight = -MulDiv(layout.point_size, GetDeviceCaps(screen, LOGPIXELSY), 72);
      description.lfWeight = FW_NORMAL;
      description.lfCharSet = DEFAULT_CHARSET;
      std::wcsncpy(description.lfFaceName, layout.face, LF_FACESIZE - 1);
      ScopedGdiObject<HFONT> font(CreateFontIndirectW(&description));
      if (font) {
        ScopedSelectObject select(screen, font.get());
        static constexpr wchar_t kLetters[] =
            L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE extent = {};
        TEXTMETRICW metrics = {};
        if (GetTextExtentPoint32W(screen, kLetters, 52, &extent) &&
            GetTextMetricsW(screen, &metrics)) {
          average_width = (extent.cx + 26) / 52;
          char_height = metrics.tmHeight + metrics.tmExternalLeading;
        }
      }
      ReleaseDC(nullptr, screen);
    }
  }
  return SIZE{MulDiv(layout.width, average_width, 4), MulDiv(layout.height, char_height, 8)};
}

// ---------------------------------------------------------------- life

PropertyPageImpl::~PropertyPageImpl() { DestroyDialog(); }

void PropertyPageImpl::DestroyDialog() noexcept {
  // WM_NCDESTROY forgets the window; the assignment covers a window already gone.
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
}

void PropertyPageImpl::SetDirty(bool dirty) {
  if (dirty_ == dirty) return;
  dirty_ = dirty;
  if (site_) site_->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE : 0);
}

INT_PTR CALLBACK PropertyPageImpl::DialogProc(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<PropertyPageImpl*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    page->window_ = dialog;
    try {
      page->OnInitDialog();
    } catch (...) {
      // Out of memory while filling: the page shows what it got; nothing may cross user32.
    }
    page->SetDirty(false);
    return TRUE;  // the dialog manager puts the focus on the first tab stop
  }
  auto* page = reinterpret_cast<PropertyPageImpl*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (page == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      try {
        page->OnCommand(LOWORD(wparam), HIWORD(wparam));
      } catch (...) {
      }
      return TRUE;
    case WM_STYLECHANGING:
      // Without the control-parent bit the frame's Tab and mnemonics skip the page's controls.
      if (wparam == static_cast<WPARAM>(GWL_EXSTYLE)) {
        reinterpret_cast<STYLESTRUCT*>(lparam)->styleNew |= WS_EX_CONTROLPARENT;
      }
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrW(dialog, DWLP_USER, 0);
      if (page->window_ == dialog) page->window_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void PropertyPageImpl::FillList(int id, const wchar_t* const* entries,
                                std::size_t count) const noexcept {
  HWND list = Item(id);
  if (!list) return;
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < count; ++i) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i]));
  }
}

void PropertyPageImpl::SelectListEntry(int id, long index) const noexcept {
  if (HWND list = Item(id)) SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

long PropertyPageImpl::SelectedListEntry(int id) const noexcept {
  HWND list = Item(id);
  if (!list) return -1;
  const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<long>(selected);
}

// ---------------------------------------------------------------- IPropertyPage

STDMETHODIMP PropertyPageImpl::SetPageSite(IPropertyPageSite* pPageSite) {
  if (pPageSite) {
    if (site_) return E_UNEXPECTED;
    site_ = pPageSite;
  } else {
    site_.Reset();
  }
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::Activate(HWND hWndParent, LPCRECT pRect, BOOL /*bModal*/) {
  if (pRect == nullptr) return E_POINTER;
  // Each activation loads the objects' values afresh; a dialog still open is replaced.
  DestroyDialog();
  HWND dialog = CreateDialogParamW(resources_.module, MAKEINTRESOURCEW(resources_.dialog_id),
                                   hWndParent, DialogProc, reinterpret_cast<LPARAM>(this));
  if (dialog == nullptr) return E_FAIL;
  window_ = dialog;
  size_ = SIZE{pRect->right - pRect->left, pRect->bottom - pRect->top};
  MoveWindow(dialog, pRect->left, pRect->top, size_.cx, size_.cy, TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::Deactivate() {
  DestroyDialog();
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::GetPageInfo(PROPPAGEINFO* pPageInfo) {
  if (pPageInfo == nullptr) return E_POINTER;
  pPageInfo->pszTitle = nullptr;
  pPageInfo->pszDocString = nullptr;
  pPageInfo->pszHelpFile = nullptr;
  pPageInfo->size = SIZE{0, 0};
  pPageInfo->dwHelpContext = 0;

  HRSRC found = FindResourceW(resources_.module, MAKEINTRESOURCEW(resources_.dialog_id),
                              MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  HGLOBAL loaded = found ? LoadResource(resources_.module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DialogTemplateLayout layout;
  if (!data || !ReadDialogTemplateLayout(data, SizeofResource(resources_.module, found), &layout)) {
    return E_UNEXPECTED;
  }

  wchar_t title[kPageStringChars], help_file[kPageStringChars], doc[kPageStringChars];
  LoadPageString(resources_.module, resources_.title_id, title);
  LoadPageString(resources_.module, resources_.help_file_id, help_file);
  LoadPageString(resources_.module, resources_.doc_string_id, doc);
  LPOLESTR title_copy = TaskString(title);
  LPOLESTR help_copy = TaskString(help_file);
  LPOLESTR doc_copy = TaskString(doc);
  if (!title_copy || !help_copy || !doc_copy) {
    CoTaskMemFree(title_copy);
    CoTaskMemFree(help_copy);
    CoTaskMemFree(doc_copy);
    return E_OUTOFMEMORY;
  }
  pPageInfo->cb = sizeof(PROPPAGEINFO);
  pPageInfo->pszTitle = title_copy;
  pPageInfo->pszHelpFile = help_copy;
  pPageInfo->pszDocString = doc_copy;
  pPageInfo->size = DialogTemplateSizeInPixels(layout);
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::SetObjects(ULONG cObjects, IUnknown** ppUnk) {
  // A frame ends the relation with (0, null), which must release what is held.
  if (ppUnk == nullptr && cObjects != 0) return E_POINTER;
  objects_.clear();
  objects_.shrink_to_fit();
  return Guarded([&] {
    objects_.reserve(cObjects);
    for (ULONG i = 0; i < cObjects; ++i) objects_.emplace_back(ppUnk[i]);
    return S_OK;
  });
}

STDMETHODIMP PropertyPageImpl::Show(UINT nCmdShow) {
  if (!window_) return E_UNEXPECTED;
  ShowWindow(window_, static_cast<int>(nCmdShow));
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::Move(LPCRECT pRect) {
  if (pRect == nullptr) return E_POINTER;
  if (!window_) return E_UNEXPECTED;
  MoveWindow(window_, pRect->left, pRect->top, pRect->right - pRect->left,
             pRect->bottom - pRect->top, TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP PropertyPageImpl::Apply() {
  for (const auto& object : objects_) {
    if (!object) continue;
    if (FAILED(ApplyTo(object.Get()))) {
      // The setter may have left error information for this thread; it is not ours to pass on.
      Microsoft::WRL::ComPtr<IErrorInfo> discarded;
      GetErrorInfo(0, discarded.GetAddressOf());
      return E_FAIL;
    }
  }
  dirty_ = false;  // the frame asked for this, so the site is not told
  return S_OK;
}

STDMETHODIMP PropertyPageImpl::Help(LPCOLESTR pszHelpDir) {
  return Guarded([&] {
    wchar_t help_file[kPageStringChars];
    LoadPageString(resources_.module, resources_.help_file_id, help_file);
    std::wstring path = pszHelpDir ? pszHelpDir : L"";
    path += L'\\';
    path += help_file;
    WinHelpW(window_, path.c_str(), HELP_CONTEXTPOPUP, 0);
    return S_OK;
  });
}

STDMETHODIMP PropertyPageImpl::TranslateAccelerator(MSG* pMsg) {
  if (pMsg == nullptr) return E_POINTER;
  if (!window_ || !IsKeyboardOrMouse(pMsg->message)) return S_FALSE;
  return IsDialogMessageW(window_, pMsg) ? S_OK : S_FALSE;
}

}  // namespace zu
