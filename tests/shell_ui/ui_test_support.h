// Shared by the play page and about box tests, beside what every page test has
// (page_test_support.h): a play control wrapper that logs and can fail its setters, and a driver
// that runs checks from inside a modal loop on the test's own thread.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/shell_ui/page_test_support.h"
#include "tests/support/text.h"
#include "zu_video_play.h"

namespace zu::test {

// A play control seen through a wrapper: every call goes to the real control, setters are logged
// as "<name>.<Property>=<value>" into a shared log, and one setter can be made to fail with an
// error object left for the thread.
class LoggingPlayCtl final : public IZuVideoPlayCtl {
 public:
  LoggingPlayCtl(std::string name, IZuVideoPlayCtl* real, std::vector<std::string>* log)
      : name_(std::move(name)), real_(real), log_(log) {}

  // "FrameFormat" or "SizeMode": that setter fails with E_FAIL without calling the control.
  std::string failing_setter;
  ULONG references() const { return references_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return real_->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return real_->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override {
    return real_->GetIDsOfNames(riid, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override {
    return real_->Invoke(id, riid, locale, flags, params, result, exception, arg_error);
  }

  STDMETHODIMP put_BackColor(OLE_COLOR clr) override { return real_->put_BackColor(clr); }
  STDMETHODIMP get_BackColor(OLE_COLOR* pclr) override { return real_->get_BackColor(pclr); }
  STDMETHODIMP putref_Picture(IPictureDisp* p) override { return real_->putref_Picture(p); }
  STDMETHODIMP put_Picture(IPictureDisp* p) override { return real_->put_Picture(p); }
  STDMETHODIMP get_Picture(IPictureDisp** pp) override { return real_->get_Picture(pp); }
  STDMETHODIMP get_FrameFormat(VpyFrameFormat* pVal) override {
    return real_->get_FrameFormat(pVal);
  }
  STDMETHODIMP put_FrameFormat(VpyFrameFormat newVal) override;
  STDMETHODIMP get_SizeMode(VpySizeMode* pVal) override { return real_->get_SizeMode(pVal); }
  STDMETHODIMP put_SizeMode(VpySizeMode newVal) override;
  STDMETHODIMP RefreshFrame(BSTR* data, LONG count, VARIANT_BOOL* success) override {
    return real_->RefreshFrame(data, count, success);
  }
  STDMETHODIMP RefreshFrameEx(VARIANT data, LONG count, VARIANT_BOOL* success) override {
    return real_->RefreshFrameEx(data, count, success);
  }
  STDMETHODIMP get_Version(LONG* pVal) override { return real_->get_Version(pVal); }
  STDMETHODIMP put_Version(LONG newVal) override { return real_->put_Version(newVal); }
  STDMETHODIMP AboutBox() override { return real_->AboutBox(); }

 private:
  HRESULT Set(const char* property, LONG value);

  std::string name_;
  IZuVideoPlayCtl* real_;
  std::vector<std::string>* log_;
  ULONG references_ = 0;
};

// Runs `step` on the calling thread from inside whatever message loop runs next (a modal
// dialog's, a property frame's), every `interval` ms, until it returns true. One at a time.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<bool()> step, UINT interval_ms = 30);
  ~ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;
  bool finished() const { return finished_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  static ModalDriver* current_;
  std::function<bool()> step_;
  UINT_PTR timer_ = 0;
  bool finished_ = false;
  bool running_ = false;
};

// The visible top-level dialog (class "#32770") of this thread, or null.
HWND FindThreadDialog();
// The first window below `root`, at any depth, with control id `id` and class `class_name`.
HWND FindDescendant(HWND root, int id, const wchar_t* class_name);

inline std::string Narrow(const std::wstring& text) { return Ascii(text); }

}  // namespace zu::test
