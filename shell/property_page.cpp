#include "shell/property_page.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstdlib>
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
  bool ReadString(std::wstring* out) {
    out->clear();
    for (;;) {
      WORD unit = 0;
      if (!Read(&unit)) return false;
      if (unit == 0) return true;
      out->push_back(static_cast<wchar_t>(unit));
    }
  }
  // Menu, class and title: empty (0), an ordinal (0xFFFF and a number) or a string. With
  // `ordinal` and `name` given, the ordinal (0 for none) and the string ("" for none) are kept.
  bool ReadNameOrOrdinal(WORD* ordinal = nullptr, std::wstring* name = nullptr) {
    WORD first = 0;
    if (!Read(&first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return ordinal ? Read(ordinal) : Skip(sizeof(WORD));
    offset_ -= sizeof(WORD);
    return name ? ReadString(name) : ReadString(nullptr, 0);
  }
  // Controls start on a DWORD boundary from the template's start.
  bool AlignToDword() { return Skip((sizeof(DWORD) - offset_ % sizeof(DWORD)) % sizeof(DWORD)); }

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

namespace {

// The header of a template and, with `items`, its controls; `reader` is left past what was read.
bool ReadTemplate(TemplateReader& reader, DialogTemplateLayout* layout,
                  std::vector<DialogTemplateItem>* items) {
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
  WORD item_count = 0;
  short x = 0, y = 0;
  if (!reader.Read(&item_count) || !reader.Read(&x) || !reader.Read(&y) ||
      !reader.Read(&read.width) || !reader.Read(&read.height)) {
    return false;
  }
  if (!reader.ReadNameOrOrdinal() || !reader.ReadNameOrOrdinal() || !reader.ReadNameOrOrdinal()) {
    return false;
  }
  if (style & DS_SETFONT) {
    if (!reader.Read(&read.point_size)) return false;
    // weight, italic, character set: the page measures with normal weight and the default set.
    if (extended && !reader.Skip(sizeof(WORD) + 2 * sizeof(BYTE))) return false;
    if (!reader.ReadString(read.face, LF_FACESIZE)) return false;
    read.has_font = true;
  }
  if (items) {
    // Grown as controls are read: the count alone reserves nothing.
    std::vector<DialogTemplateItem> controls;
    for (WORD i = 0; i < item_count; ++i) {
      DialogTemplateItem& item = controls.emplace_back();
      if (!reader.AlignToDword()) return false;
      if (extended && !reader.Skip(sizeof(DWORD))) return false;  // help id
      if (extended ? !reader.Read(&item.ex_style) || !reader.Read(&item.style)
                   : !reader.Read(&item.style) || !reader.Read(&item.ex_style)) {
        return false;
      }
      WORD short_id = 0;
      if (!reader.Read(&item.x) || !reader.Read(&item.y) || !reader.Read(&item.width) ||
          !reader.Read(&item.height) ||
          !(extended ? reader.Read(&item.id) : reader.Read(&short_id))) {
        return false;
      }
      if (!extended) item.id = short_id;
      WORD title_ordinal = 0, creation_bytes = 0;
      if (!reader.ReadNameOrOrdinal(&item.class_atom, &item.class_name) ||
          !reader.ReadNameOrOrdinal(&title_ordinal, &item.text) || !reader.Read(&creation_bytes) ||
          !reader.Skip(creation_bytes)) {
        return false;
      }
    }
    *items = std::move(controls);
  }
  if (layout) *layout = read;
  return true;
}

}  // namespace

bool ReadDialogTemplateLayout(const void* data, std::size_t size, DialogTemplateLayout* layout) {
  if (layout == nullptr) return false;
  TemplateReader reader(data, size);
  return ReadTemplate(reader, layout, nullptr);
}

bool ReadDialogTemplateItems(const void* data, std::size_t size,
                             std::vector<DialogTemplateItem>* items) {
  if (items == nullptr) return false;
  try {
    TemplateReader reader(data, size);
    return ReadTemplate(reader, nullptr, items);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

long LeadingNumber(const wchar_t* text) noexcept {
  return text ? std::wcstol(text, nullptr, 10) : 0;
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
  // Filling an edit notifies as typing does; loading is not an edit.
  if (dirty_ == dirty || (dirty && loading_)) return;
  dirty_ = dirty;
  if (site_) site_->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE : 0);
}

INT_PTR CALLBACK PropertyPageImpl::DialogProc(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<PropertyPageImpl*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    page->window_ = dialog;
    page->loading_ = true;
    try {
      page->OnInitDialog();
    } catch (...) {
      // Out of memory while filling: the page shows what it got; nothing may cross user32.
    }
    page->loading_ = false;
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
  for (std::size_t i = 0; i < count; ++i) AddListEntry(id, entries[i]);
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

void PropertyPageImpl::AddListEntry(int id, const wchar_t* text) const noexcept {
  if (HWND list = Item(id)) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

std::wstring PropertyPageImpl::ListEntryText(int id, long index) const {
  HWND list = Item(id);
  if (!list) return {};
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied > 0 && copied <= length ? static_cast<std::size_t>(copied) : 0);
  return text;
}

long PropertyPageImpl::ListEntryCount(int id) const noexcept {
  HWND list = Item(id);
  const LRESULT count = list ? SendMessageW(list, CB_GETCOUNT, 0, 0) : 0;
  return count > 0 ? static_cast<long>(count) : 0;
}

void PropertyPageImpl::SetItemNumber(int id, long value) const noexcept {
  if (window_) SetDlgItemInt(window_, id, static_cast<UINT>(value), TRUE);
}

long PropertyPageImpl::ItemNumber(int id) const noexcept {
  if (!window_) return 0;
  BOOL translated = FALSE;
  const INT value = static_cast<INT>(GetDlgItemInt(window_, id, &translated, TRUE));
  return translated ? value : 0;
}

void PropertyPageImpl::SetItemChecked(int id, bool checked) const noexcept {
  if (window_) CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool PropertyPageImpl::ItemChecked(int id) const noexcept {
  return window_ && IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void PropertyPageImpl::EnableItem(int id, bool enabled) const noexcept {
  if (HWND item = Item(id)) EnableWindow(item, enabled ? TRUE : FALSE);
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
  return Guarded([&] {
    // The edits live in the dialog: without one there is nothing to set.
    for (std::size_t i = 0; window_ && i < objects_.size(); ++i) {
      const Microsoft::WRL::ComPtr<IUnknown> object = objects_[i];  // held through its setters
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
  });
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
