// Shared by the container tests: ZuVPlay.dll registered in the prefix for the whole run (what a
// container reads from the registry), a play control linked into the program and hosted by the
// test container, and sinks that count what they are told.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "play/zu_video_play_ctl.h"
#include "tests/support/regsvr32.h"
#include "tests/support/test_container.h"
#include "tests/support/text.h"

namespace zu::test {

// The DLL beside this program.
std::wstring PlayDllPath();

// The log without ambient reads: painting reads UserMode whenever the window is painted.
std::vector<std::string> WithoutAmbients(const std::vector<std::string>& entries);
std::string Joined(const std::vector<std::string>& entries);
// For failure messages: the text with anything beyond ASCII as '?'.
inline std::string Narrow(const std::wstring& text) { return Ascii(text); }

// Tells an advise sink's and a property-notification sink's calls apart by counting them.
class CountingSink final : public IAdviseSinkEx, public IPropertyNotifySink {
 public:
  static Microsoft::WRL::ComPtr<CountingSink> Make();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM*) override {
    ++data_changes;
    data_formats.push_back(format ? format->cfFormat : CLIPFORMAT{0});
  }
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++view_changes; }
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override { ++closes; }
  STDMETHODIMP_(void) OnViewStatusChange(DWORD) override {}
  STDMETHODIMP OnChanged(DISPID dispid) override {
    changed.push_back(dispid);
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }

  // What the container's own references and the control's add up to.
  LONG references() const { return references_; }

  int data_changes = 0;
  std::vector<CLIPFORMAT> data_formats;  // the format each data change named
  int view_changes = 0;
  int closes = 0;
  std::vector<DISPID> changed;

 private:
  CountingSink() = default;
  LONG references_ = 1;
};

// OLE on this thread for a scope, whatever the test's assertions do.
class OleScope {
 public:
  OleScope() : result_(OleInitialize(nullptr)) {}
  ~OleScope() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// OLE for the test's thread, a container and a control linked into this program.
class ContainerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new control attached to container_ (not yet hosted).
  void AttachControl();
  IZuVideoPlayCtl* play() const { return play_.Get(); }
  // Paints the control's window into `dc` as a WM_PAINT with a device context does.
  void PaintWindowInto(HDC dc);

  OleScope ole_;  // first in, last out
  std::unique_ptr<TestContainer> container_;
  Microsoft::WRL::ComPtr<IZuVideoPlayCtl> play_;
};

}  // namespace zu::test
