#include "tests/support/test_container.h"
#include "tests/support/text.h"

#include <docobj.h>
#include <olectl.h>

#include <algorithm>
#include <utility>

namespace zu::test {

namespace {

std::string IidName(REFIID iid) {
  static const struct {
    const IID* iid;
    const char* name;
  } kNames[] = {
      {&IID_IUnknown, "IUnknown"},
      {&IID_IOleClientSite, "IOleClientSite"},
      {&IID_IOleWindow, "IOleWindow"},
      {&IID_IOleInPlaceSite, "IOleInPlaceSite"},
      {&IID_IOleInPlaceSiteEx, "IOleInPlaceSiteEx"},
      {&IID_IOleInPlaceSiteWindowless, "IOleInPlaceSiteWindowless"},
      {&IID_IOleControlSite, "IOleControlSite"},
      {&IID_IDispatch, "IDispatch"},
      {&IID_IOleInPlaceFrame, "IOleInPlaceFrame"},
      {&IID_IOleInPlaceUIWindow, "IOleInPlaceUIWindow"},
      {&IID_IPropertyNotifySink, "IPropertyNotifySink"},
      {&IID_IAdviseSink, "IAdviseSink"},
      {&IID_IOleContainer, "IOleContainer"},
      {&IID_IOleCommandTarget, "IOleCommandTarget"},
      {&IID_IServiceProvider, "IServiceProvider"},
      {&IID_IMarshal, "IMarshal"},
  };
  for (const auto& entry : kNames) {
    if (IsEqualIID(iid, *entry.iid)) return entry.name;
  }
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  return Ascii(text);
}

}  // namespace

// ---------------------------------------------------------------- CallLog

void CallLog::Add(std::string entry) {
  if (GetCurrentThreadId() != thread_id_) entry += " [other thread]";
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back(std::move(entry));
}

void CallLog::AddQuery(std::string interface_name, bool answered) {
  std::lock_guard<std::mutex> lock(mutex_);
  queries_.push_back(answered ? std::move(interface_name) : "refused " + interface_name);
}

std::vector<std::string> CallLog::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

std::vector<std::string> CallLog::Select(std::initializer_list<std::string_view> prefixes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const std::string& entry : entries_) {
    for (std::string_view prefix : prefixes) {
      if (entry.compare(0, prefix.size(), prefix) == 0) {
        out.push_back(entry);
        break;
      }
    }
  }
  return out;
}

std::vector<std::string> CallLog::Since(std::size_t mark) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (mark >= entries_.size()) return {};
  return std::vector<std::string>(entries_.begin() + static_cast<std::ptrdiff_t>(mark),
                                  entries_.end());
}

std::size_t CallLog::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::size_t CallLog::Count(std::string_view entry) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(std::count(entries_.begin(), entries_.end(), entry));
}

std::vector<std::string> CallLog::Queries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_;
}

void CallLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  queries_.clear();
}

// ---------------------------------------------------------------- HostWindow

const wchar_t HostWindow::kClassName[] = L"ZuTestContainerHost";

HostWindow::HostWindow(const RECT& screen_rect) {
  static const ATOM kClass = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  if (!kClass) return;
  hwnd_ = CreateWindowExW(0, kClassName, L"Test container", WS_POPUP | WS_CLIPCHILDREN,
                          screen_rect.left, screen_rect.top, screen_rect.right - screen_rect.left,
                          screen_rect.bottom - screen_rect.top, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
  }
}

HostWindow::~HostWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

RECT HostWindow::ClientRect() const {
  RECT rect = {};
  if (hwnd_) GetClientRect(hwnd_, &rect);
  return rect;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// ---------------------------------------------------------------- TestContainer

namespace detail {

void TestContainerParts::Asked(REFIID iid, bool answered) { log_.AddQuery(IidName(iid), answered); }

HRESULT TestContainerParts::Answer(SiteQuestion question, HRESULT answer) {
  switch (question) {
    case SiteQuestion::kOfferInPlaceSiteEx:
      return answers_.offer_in_place_site_ex ? answer : E_NOINTERFACE;
    case SiteQuestion::kCanInPlaceActivate: return answers_.can_in_place_activate;
    case SiteQuestion::kRequestUIActivate: return answers_.request_ui_activate;
    case SiteQuestion::kRequestEdit: return answers_.request_edit;
    case SiteQuestion::kShowPropertyFrame: return answers_.show_property_frame;
  }
  return answer;
}

}  // namespace detail

const wchar_t TestContainer::kContainerName[] = L"Zu Test Container";
const wchar_t TestContainer::kObjectName[] = L"Control";

TestContainer::TestContainer(const ContainerOptions& options)
    : TestContainerParts(options.window),
      ControlHost(host_window_.Get(), options.position, this) {
  set_host_names(kContainerName, kObjectName);
}

}  // namespace zu::test
