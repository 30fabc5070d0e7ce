// PropertyPageImpl: what every property page of the shell shares behind IPropertyPage: the page
// site, the objects being edited, the dirty flag, the page dialog made from a template on each
// Activate, and the page information with the size taken from that template.
//
// A page class derives from ComObjectRoot and PropertyPageImpl, answers IID_IPropertyPage, and
// supplies three things: filling its dialog from the objects, marking dirty on the notifications
// of its controls, and setting its edits on one object.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <cstddef>
#include <string>
#include <vector>

#include "shell/com_object.h"

namespace zu {

// What a dialog template says about its size: its extent in dialog units and, when it names
// one, its font.
struct DialogTemplateLayout {
  short width = 0;   // dialog units
  short height = 0;
  bool has_font = false;
  WORD point_size = 0;
  wchar_t face[LF_FACESIZE] = {};  // cut to fit, always terminated
};

// One control of a dialog template, as the template states it.
struct DialogTemplateItem {
  DWORD style = 0;
  DWORD ex_style = 0;
  short x = 0, y = 0, width = 0, height = 0;  // dialog units
  DWORD id = 0;             // a DIALOG's 16-bit id as it is: -1 reads 0xFFFF
  WORD class_atom = 0;      // 0x0080 button, 0x0081 edit, 0x0082 static, 0x0085 combo box...
  std::wstring class_name;  // when the class is named instead (class_atom 0)
  std::wstring text;        // "" for an ordinal title
};

// Reads a DIALOG or DIALOGEX template of `size` bytes. False when it is cut short or malformed;
// `layout` is then left as it was.
bool ReadDialogTemplateLayout(const void* data, std::size_t size, DialogTemplateLayout* layout);
// The same reading carried on through the template's controls, in template order. False when
// the template is cut short or malformed (or memory runs out); `items` is then left as it was.
bool ReadDialogTemplateItems(const void* data, std::size_t size,
                             std::vector<DialogTemplateItem>* items);

// The number at the start of `text` as the C library reads a decimal number (leading blanks, an
// optional sign, digits); 0 when there is none.
long LeadingNumber(const wchar_t* text) noexcept;

// The template's extent in screen pixels: through its font when it has one (average width of the
// letters A-Z a-z and text height plus external leading), otherwise through the system's dialog
// base units.
SIZE DialogTemplateSizeInPixels(const DialogTemplateLayout& layout);

// Where a page finds its dialog and strings.
struct PageResources {
  HINSTANCE module;
  WORD dialog_id;
  UINT title_id;
  UINT help_file_id;   // a string the module may lack: the help file is then ""
  UINT doc_string_id;
};

// The longest string a page hands out in PROPPAGEINFO, terminator included.
constexpr int kPageStringChars = 260;

class PropertyPageImpl : public IPropertyPage {
 public:
  // ---------------------------------------------------------------- IPropertyPage
  STDMETHODIMP SetPageSite(IPropertyPageSite* pPageSite) override;
  STDMETHODIMP Activate(HWND hWndParent, LPCRECT pRect, BOOL bModal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* pPageInfo) override;
  STDMETHODIMP SetObjects(ULONG cObjects, IUnknown** ppUnk) override;
  STDMETHODIMP Show(UINT nCmdShow) override;
  STDMETHODIMP Move(LPCRECT pRect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR pszHelpDir) override;
  STDMETHODIMP TranslateAccelerator(MSG* pMsg) override;

  // The page dialog while the page is active, else null.
  HWND Window() const noexcept { return window_; }

 protected:
  explicit PropertyPageImpl(const PageResources& resources) noexcept : resources_(resources) {}
  virtual ~PropertyPageImpl();
  PropertyPageImpl(const PropertyPageImpl&) = delete;
  PropertyPageImpl& operator=(const PropertyPageImpl&) = delete;

  // Fills the freshly made dialog from the objects. The dirty flag is cleared afterwards.
  virtual void OnInitDialog() = 0;
  // A WM_COMMAND from one of the dialog's controls.
  virtual void OnCommand(WORD id, WORD code) = 0;
  // Sets the dialog's values on `object`: S_OK, S_FALSE when the object is not one this page
  // edits (it is left alone), a failure code from the first setter that failed.
  virtual HRESULT ApplyTo(IUnknown* object) = 0;

  // Raises or lowers the flag; the page site hears of every change (raised: dirty and validate).
  // While OnInitDialog fills the dialog, the change notifications of its controls raise nothing.
  void SetDirty(bool dirty);
  // The first object that answers `I`, in the frame's order; null when none does.
  template <class I>
  Microsoft::WRL::ComPtr<I> FirstObjectAs(REFIID iid) const {
    for (const auto& object : objects_) {
      Microsoft::WRL::ComPtr<I> wanted;
      if (object && SUCCEEDED(object->QueryInterface(iid, reinterpret_cast<void**>(wanted.GetAddressOf())))) {
        return wanted;
      }
    }
    return nullptr;
  }

  // Dialog helpers for the derived pages; harmless without a dialog.
  HWND Item(int id) const noexcept { return window_ ? GetDlgItem(window_, id) : nullptr; }
  void FillList(int id, const wchar_t* const* entries, std::size_t count) const noexcept;
  // Selects entry `index` of a drop-down list; an index the list lacks selects nothing.
  void SelectListEntry(int id, long index) const noexcept;
  // The selected entry of a drop-down list, -1 when none (or no dialog).
  long SelectedListEntry(int id) const noexcept;
  void AddListEntry(int id, const wchar_t* text) const noexcept;
  // The text of entry `index` of a drop-down list; "" for an entry it lacks.
  std::wstring ListEntryText(int id, long index) const;
  long ListEntryCount(int id) const noexcept;
  // An edit as a signed decimal number; text that is not a number reads 0.
  void SetItemNumber(int id, long value) const noexcept;
  long ItemNumber(int id) const noexcept;
  void SetItemChecked(int id, bool checked) const noexcept;
  bool ItemChecked(int id) const noexcept;
  void EnableItem(int id, bool enabled) const noexcept;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void DestroyDialog() noexcept;

  const PageResources resources_;
  Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
  std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects_;
  SIZE size_ = {0, 0};  // of the rectangle the frame last gave
  bool dirty_ = false;
  bool loading_ = false;  // OnInitDialog is filling the dialog
  HWND window_ = nullptr;
};

// PropertyPageObject<Page>: the COM object around a page, answering IUnknown and IPropertyPage,
// so that a page class supplies only its dialog:
//
//   class MyPage final : public PropertyPageObject<MyPage> {
//     template <class T> friend HRESULT CreateComObject(IUnknown*, REFIID, void**);
//     explicit MyPage(IUnknown* outer) : PropertyPageObject(outer, kMyPageResources) {}
//     ...OnInitDialog, OnCommand, ApplyTo
//   };
template <class Page>
class PropertyPageObject : public ComObjectRoot, public PropertyPageImpl {
 public:
  ZU_DELEGATING_UNKNOWN

  // The class table's creation function: a new page as `riid`, or with `outer` its inner unknown.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    return CreateComObject<Page>(outer, riid, object);
  }

 protected:
  PropertyPageObject(IUnknown* outer, const PageResources& resources)
      : ComObjectRoot(outer), PropertyPageImpl(resources) {}

  HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
    static const InterfaceEntry kInterfaces[] = {
        ZU_INTERFACE(IID_IPropertyPage, PropertyPageObject, IPropertyPage), {nullptr, 0}};
    return QueryInterfaceTable(this, kInterfaces, riid, object);
  }
};

}  // namespace zu
