// What every property page test needs, whichever control it edits: a page site that records
// what the page tells it, a plain object that is no control, the page information freed on the
// way out, the dialog manager's size of a page, a dialog resource's bytes, and a user's hand on
// the dialog's lists, buttons and edits.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/property_page.h"

namespace zu::test {

// The frame's side of a page. Records OnStatusChange; the page has no business calling the rest.
class FakePageSite final : public IPropertyPageSite {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }  // lives on the test's stack

  STDMETHODIMP OnStatusChange(DWORD flags) override;
  STDMETHODIMP GetLocaleID(LCID* locale) override;
  STDMETHODIMP GetPageContainer(IUnknown** container) override;
  STDMETHODIMP TranslateAccelerator(MSG* message) override;

  ULONG references() const { return references_; }
  std::vector<DWORD> status_changes;

 private:
  ULONG references_ = 0;
};

// An object that answers only IUnknown, as a frame may pass beside our control. Counts its
// references and the interfaces it was asked for.
class PlainObject final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }
  ULONG references() const { return references_; }
  int refused_queries = 0;

 private:
  ULONG references_ = 0;
};

// Frees what GetPageInfo hands out.
struct PageInfo : PROPPAGEINFO {
  PageInfo() : PROPPAGEINFO{} { cb = sizeof(PROPPAGEINFO); }
  ~PageInfo() {
    CoTaskMemFree(pszTitle);
    CoTaskMemFree(pszDocString);
    CoTaskMemFree(pszHelpFile);
  }
  PageInfo(const PageInfo&) = delete;
  PageInfo& operator=(const PageInfo&) = delete;
};

inline std::wstring Text(LPCOLESTR text) { return text ? text : L"<null>"; }

// The pixel size of a page whose template `dialog_id` (of this program) measures `width` by
// `height` dialog units: the dialog manager, laying out the same template, gives the width; the
// height adds the font's external leading, which the dialog manager leaves out.
SIZE DialogManagerPageSize(HWND parent, int dialog_id, int width, int height);

// The bytes of DIALOG `dialog_id` linked into this program; empty when there is none.
std::vector<uint8_t> DialogResource(int dialog_id);

// A template control's x, y, width and height in dialog units.
inline std::vector<int> ItemRectangle(const DialogTemplateItem& item) {
  return {item.x, item.y, item.width, item.height};
}

// The entries of a drop-down list, in order, and its selected entry (-1 for none).
std::vector<std::wstring> ListEntries(HWND list);
long ListSelection(HWND list);
std::wstring WindowText(HWND window);

// What a user's choice in a drop-down list does: select the entry, then tell the parent.
void ChooseListEntry(HWND list, long index);
// A click on a button: pressed and released over it.
void ClickButton(HWND button);
// Typing `text` over the whole content of an edit, key by key.
void TypeText(HWND edit, const std::wstring& text);

}  // namespace zu::test
