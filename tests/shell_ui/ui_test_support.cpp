#include "tests/shell_ui/ui_test_support.h"

#include <oleauto.h>

namespace zu::test {

// ---------------------------------------------------------------- LoggingPlayCtl

STDMETHODIMP LoggingPlayCtl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
      !IsEqualIID(riid, IID_IZuVideoPlayCtl)) {
    return E_NOINTERFACE;
  }
  *object = static_cast<IZuVideoPlayCtl*>(this);
  AddRef();
  return S_OK;
}

HRESULT LoggingPlayCtl::Set(const char* property, LONG value) {
  log_->push_back(name_ + "." + property + "=" + std::to_string(value));
  if (failing_setter != property) return S_OK;
  Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.GetAddressOf()))) {
    create->SetDescription(const_cast<LPOLESTR>(L"refused by the test"));
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
  }
  return E_FAIL;
}

STDMETHODIMP LoggingPlayCtl::put_FrameFormat(VpyFrameFormat newVal) {
  if (HRESULT hr = Set("FrameFormat", newVal); hr != S_OK) return hr;
  return real_->put_FrameFormat(newVal);
}

STDMETHODIMP LoggingPlayCtl::put_SizeMode(VpySizeMode newVal) {
  if (HRESULT hr = Set("SizeMode", newVal); hr != S_OK) return hr;
  return real_->put_SizeMode(newVal);
}

// ---------------------------------------------------------------- ModalDriver

ModalDriver* ModalDriver::current_ = nullptr;

ModalDriver::ModalDriver(std::function<bool()> step, UINT interval_ms) : step_(std::move(step)) {
  EXPECT_EQ(current_, nullptr) << "one ModalDriver at a time";
  current_ = this;
  timer_ = SetTimer(nullptr, 0, interval_ms, OnTimer);
  EXPECT_NE(timer_, 0u);
}

ModalDriver::~ModalDriver() {
  if (timer_) KillTimer(nullptr, timer_);
  current_ = nullptr;
}

void CALLBACK ModalDriver::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  ModalDriver* driver = current_;
  // A step that opens a modal loop of its own must not be entered again from that loop.
  if (driver == nullptr || driver->finished_ || driver->running_) return;
  driver->running_ = true;
  const bool done = driver->step_();
  driver->running_ = false;
  if (done) {
    driver->finished_ = true;
    KillTimer(nullptr, driver->timer_);
    driver->timer_ = 0;
  }
}

// ---------------------------------------------------------------- windows

namespace {

BOOL CALLBACK CollectThreadDialog(HWND window, LPARAM param) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

struct DescendantQuery {
  int id;
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchDescendant(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<DescendantQuery*>(param);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (GetDlgCtrlID(window) == query->id && lstrcmpiW(name, query->class_name) == 0) {
    query->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindThreadDialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), CollectThreadDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindDescendant(HWND root, int id, const wchar_t* class_name) {
  DescendantQuery query{id, class_name, nullptr};
  EnumChildWindows(root, MatchDescendant, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

}  // namespace zu::test
