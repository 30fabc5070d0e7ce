#include "tests/shell_ui/ui_test_support.h"

#include <oleauto.h>

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

}  // namespace zu::test
