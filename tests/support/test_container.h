// TestContainer: the shared ControlHost (host/control_host.h) in a window of its own, recording
// what the control asks of it.
//
// It owns a host window (a top-level window of its own class, shown without activation); the
// host's site answers the container side of the conversation: client site, in-place site
// (optionally the extended one), control site, the in-place frame, ambient properties through
// IDispatch, and the property-notification and advise sinks. Every call the control makes on them
// lands in the call log, in order, as "Interface::Method(arguments)"; the container's own calls
// on the control go into the same log as "-> IInterface::Method", so a test sees which of its
// steps each call came from. Interfaces asked for are kept apart (CallLog::Queries): COM itself
// asks for some, which would make sequences brittle. answers() switches what the site says to
// the requests a control may be refused.
//
//   TestContainer container;
//   ASSERT_EQ(container.Create(CLSID_Something), S_OK);
//   ASSERT_EQ(container.Host(), S_OK);                // InitNew ... DoVerb(INPLACEACTIVATE)
//   EXPECT_EQ(GetParent(container.ControlWindow()), container.window());
//   EXPECT_EQ(container.SetUserMode(false), S_OK);    // the control is told the ambient changed
//   EXPECT_TRUE(container.log().Contains("InPlaceSite::OnInPlaceActivate"));
//   EXPECT_EQ(container.Unhost(), S_OK);              // deactivate ... release
//   EXPECT_EQ(container.SiteReferences(), 0);
//
// Each step of Host and Unhost is also a method of its own, returning the control's HRESULT.
// The thread that makes the container must be a single-threaded apartment with OLE initialised.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/control_host.h"

namespace zu::test {

// ---------------------------------------------------------------- CallLog

class CallLog {
 public:
  // Calls arriving on a thread other than the container's are marked " [other thread]": a
  // control must not call its site from a worker thread.
  void Add(std::string entry);
  void AddQuery(std::string interface_name, bool answered);

  std::vector<std::string> Entries() const;
  // Entries starting with any of `prefixes`, in order.
  std::vector<std::string> Select(std::initializer_list<std::string_view> prefixes) const;
  // Entries recorded after the first `mark` (a Size() taken earlier).
  std::vector<std::string> Since(std::size_t mark) const;
  std::size_t Size() const;
  std::size_t Count(std::string_view entry) const;
  bool Contains(std::string_view entry) const { return Count(entry) > 0; }
  // Interfaces asked of the container's objects: "IOleInPlaceSite", or "refused IServiceProvider".
  std::vector<std::string> Queries() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  DWORD thread_id_ = GetCurrentThreadId();
  std::vector<std::string> entries_;
  std::vector<std::string> queries_;
};

// ---------------------------------------------------------------- settings

// The answers of the site's switchable methods.
struct SiteAnswers {
  HRESULT can_in_place_activate = S_OK;
  HRESULT request_ui_activate = S_OK;       // IOleInPlaceSiteEx::RequestUIActivate
  HRESULT request_edit = S_OK;              // IPropertyNotifySink::OnRequestEdit; S_FALSE refuses
  // E_NOTIMPL: the container has no frame of its own, so the control should open one.
  HRESULT show_property_frame = E_NOTIMPL;
  // Hidden, the control sees a plain in-place site.
  bool offer_in_place_site_ex = true;
};

struct ContainerOptions {
  RECT window = {40, 40, 360, 280};    // the host window, screen coordinates
  // Where the control sits in the host window's client area. Not at the origin, so a control
  // that ignores the position rectangle shows.
  RECT position = {10, 20, 210, 120};
};

// ---------------------------------------------------------------- HostWindow

// A visible top-level window of the container's own class, never activated. A popup without
// caption or border, so its client area is the whole window.
class HostWindow {
 public:
  explicit HostWindow(const RECT& screen_rect);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Get() const { return hwnd_; }
  RECT ClientRect() const;

  static const wchar_t kClassName[];

 private:
  HWND hwnd_ = nullptr;
};

// Dispatches what is waiting in this thread's queue.
void PumpMessages();

// ---------------------------------------------------------------- TestContainer

namespace detail {

// What TestContainer adds to the host, built before it and gone after it: the host window, and
// the recorder that the site tells every call and asks for the switchable answers.
class TestContainerParts : public SiteObserver {
 public:
  explicit TestContainerParts(const RECT& window) : host_window_(window) {}

  void Called(std::string entry) override { log_.Add(std::move(entry)); }
  void Asked(REFIID iid, bool answered) override;
  HRESULT Answer(SiteQuestion question, HRESULT answer) override;

 protected:
  HostWindow host_window_;
  CallLog log_;
  SiteAnswers answers_;
};

}  // namespace detail

// The shared ControlHost in a host window of its own, with every call recorded and the site's
// switchable answers in answers().
class TestContainer : private detail::TestContainerParts, public ControlHost {
 public:
  static const wchar_t kContainerName[];  // SetHostNames' application name
  static const wchar_t kObjectName[];

  explicit TestContainer(const ContainerOptions& options = {});
  ~TestContainer() override = default;

  CallLog& log() { return log_; }
  SiteAnswers& answers() { return answers_; }
};

}  // namespace zu::test
