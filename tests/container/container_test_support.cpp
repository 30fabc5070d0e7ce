#include "tests/container/container_test_support.h"

#include <memory>

namespace zu::test {

using Microsoft::WRL::ComPtr;

std::wstring PlayDllPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/") + 1) + L"ZuVPlay.dll";
}


namespace {

// Registered for the whole run; the prefix is left as it was found.
class RegisteredPlayDll : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(RunRegsvr32(L"\"" + PlayDllPath() + L"\""), 0) << "regsvr32 ZuVPlay.dll";
  }
  void TearDown() override { RunRegsvr32(L"/u \"" + PlayDllPath() + L"\""); }
};

[[maybe_unused]] ::testing::Environment* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new RegisteredPlayDll);

}  // namespace

std::vector<std::string> WithoutAmbients(const std::vector<std::string>& entries) {
  std::vector<std::string> out;
  for (const std::string& entry : entries) {
    if (entry.rfind("Ambient::", 0) != 0) out.push_back(entry);
  }
  return out;
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& entry : entries) out += "\n  " + entry;
  return out;
}

// ---------------------------------------------------------------- CountingSink

ComPtr<CountingSink> CountingSink::Make() {
  ComPtr<CountingSink> sink;
  *sink.GetAddressOf() = new CountingSink();  // its first reference, handed over
  return sink;
}

STDMETHODIMP CountingSink::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAdviseSink) ||
      IsEqualIID(riid, IID_IAdviseSinkEx)) {
    *object = static_cast<IAdviseSinkEx*>(this);
  } else if (IsEqualIID(riid, IID_IPropertyNotifySink)) {
    *object = static_cast<IPropertyNotifySink*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CountingSink::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---------------------------------------------------------------- ContainerTest

void ContainerTest::SetUp() {
  // S_FALSE after Wine's atl.dll has run in this process: it initialises OLE and keeps it.
  ASSERT_TRUE(SUCCEEDED(ole_.result()));
  container_ = std::make_unique<TestContainer>();
  ASSERT_NE(container_->window(), nullptr) << "no display?";
}

void ContainerTest::TearDown() {
  play_.Reset();
  container_.reset();
}

void ContainerTest::AttachControl() {
  ComPtr<IUnknown> control;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&control)), S_OK);
  ASSERT_EQ(control.As(&play_), S_OK);
  ASSERT_EQ(container_->Attach(control.Get()), S_OK);
}

void ContainerTest::PaintWindowInto(HDC dc) {
  const HWND window = container_->ControlWindow();
  ASSERT_NE(window, nullptr);
  SendMessageW(window, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
}

}  // namespace zu::test
