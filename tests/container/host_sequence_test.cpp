// The play control through a container's eyes: the host sequence and what the control asks of
// its site on the way, its window coming and going with activation, what it shows in design and
// in user mode, focus notices and mouse activation, and its window class across a DLL reload.
#include <windows.h>

#include <olectl.h>

#include <cwctype>
#include <string>
#include <vector>

#include "tests/codec/codec_test_support.h"
#include "tests/container/container_test_support.h"
#include "tests/play/play_test_support.h"
#include "tests/support/atl_host.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

std::string ExtentEntry(const RECT& position) {
  const SIZEL himetric =
      PixelsToHimetric({position.right - position.left, position.bottom - position.top});
  return "-> IOleObject::SetExtent(" + std::to_string(himetric.cx) + "," +
         std::to_string(himetric.cy) + ")";
}

bool IsControlClassName(const std::wstring& name) {
  if (name.size() != 12 || name.compare(0, 4, L"ATL:") != 0) return false;
  for (std::size_t i = 4; i < name.size(); ++i) {
    if (!std::iswxdigit(name[i]) || std::iswlower(name[i])) return false;
  }
  return true;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[64] = {};
  return std::wstring(name, static_cast<std::size_t>(GetClassNameW(window, name, 64)));
}

// Pixels of the icon's square that differ from the background.
int IconPixels(const Canvas& canvas, uint32_t background) {
  int count = 0;
  for (int y = 8; y < 40 && y < canvas.height(); ++y) {
    for (int x = 8; x < 40 && x < canvas.width(); ++x) count += canvas.At(x, y) != background;
  }
  return count;
}

constexpr COLORREF kBack = RGB(0x12, 0x34, 0x56);

// ---------------------------------------------------------------- the host sequence

using HostSequence = ContainerTest;

TEST_F(HostSequence, AsksTheSiteOnlyWhatInPlaceActivationNeedsAndLetsGoOfEverything) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  EXPECT_EQ(container_->misc_status(), 0x20191u) << "from the registered MiscStatus";
  const std::vector<std::string> hosted = {
      "-> IOleObject::GetMiscStatus",
      // OLEMISC_SETCLIENTSITEFIRST: the site before the properties.
      "-> IOleObject::SetClientSite",
      "-> IPersistStreamInit::InitNew",
      "-> IOleObject::SetHostNames",
      ExtentEntry(container_->position()),
      "-> IOleObject::Advise",
      "-> IViewObject::SetAdvise",
      "-> IConnectionPointContainer::FindConnectionPoint",
      "-> IConnectionPoint::Advise",
      "-> IOleObject::DoVerb(-5)",
      "InPlaceSite::CanInPlaceActivate",
      "InPlaceSiteEx::OnInPlaceActivateEx(0)",
      "InPlaceSite::GetWindowContext",
      "InPlaceSite::GetWindow",
  };
  EXPECT_EQ(WithoutAmbients(container_->log().Entries()), hosted)
      << Joined(container_->log().Entries());

  const HWND window = container_->ControlWindow();
  ASSERT_NE(window, nullptr);
  const std::size_t mark = container_->log().Size();
  EXPECT_EQ(container_->Unhost(), S_OK);
  const std::vector<std::string> unhosted = {
      "-> IOleInPlaceObject::InPlaceDeactivate",
      "InPlaceSiteEx::OnInPlaceDeactivateEx(1)",
      "-> IOleObject::Close(1)",
      "AdviseSink::OnClose",
      "-> IOleObject::SetClientSite(null)",
      "-> IOleObject::Unadvise",
      "-> IViewObject::SetAdvise(null)",
      "-> IConnectionPoint::Unadvise",
      "-> Release",
  };
  EXPECT_EQ(WithoutAmbients(container_->log().Since(mark)), unhosted)
      << Joined(container_->log().Since(mark));
  EXPECT_FALSE(IsWindow(window)) << "the window goes with in-place deactivation";
  EXPECT_EQ(container_->SiteReferences(), 0) << "site, frame or sinks still held";
}

TEST_F(HostSequence, TheControlIsLastReleasedByTheContainer) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  play_.Reset();
  container_->InPlaceDeactivate();
  container_->Close();
  container_->ClearClientSite();
  container_->Unadvise();
  EXPECT_EQ(container_->ReleaseControl(), 0u);
  EXPECT_EQ(container_->SiteReferences(), 0);
}

TEST_F(HostSequence, ActivationMakesAChildWindowAtThePositionAndDeactivationDestroysIt) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  const HWND window = container_->ControlWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetParent(window), container_->window());
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG wanted = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  EXPECT_EQ(style & wanted, wanted) << std::hex << style;
  RECT placed;
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, container_->window(), reinterpret_cast<POINT*>(&placed), 2);
  const RECT& position = container_->position();
  EXPECT_TRUE(EqualRect(&placed, &position)) << placed << " instead of " << position;

  const std::wstring name = ClassNameOf(window);
  EXPECT_TRUE(IsControlClassName(name)) << Narrow(name);
  const DWORD class_style = GetClassLongW(window, GCL_STYLE);
  EXPECT_EQ(class_style, static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
  EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_WINDOW + 1));

  // Moved by the container.
  const RECT moved = {30, 40, 130, 90};
  ASSERT_EQ(container_->SetObjectRects(moved), S_OK);
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, container_->window(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_TRUE(EqualRect(&placed, &moved)) << placed;

  ASSERT_EQ(container_->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(container_->ControlWindow(), nullptr);

  // Activated again: a new window of the same class.
  ASSERT_EQ(container_->InPlaceActivate(), S_OK);
  const HWND again = container_->ControlWindow();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(ClassNameOf(again), name) << "one class per process";
}

// ---------------------------------------------------------------- design and user mode

using Modes = ContainerTest;

TEST_F(Modes, DesignModeShowsTheIconAndUserModeAfterARepaintDoesNot) {
  AttachControl();
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->Host(), S_OK);
  ASSERT_EQ(play()->put_BackColor(kBack), S_OK);
  const HWND window = container_->ControlWindow();
  RECT client;
  GetClientRect(window, &client);
  Canvas design(client.right, client.bottom);
  PaintWindowInto(design.dc());
  EXPECT_GT(IconPixels(design, ToRgb(kBack)), 50) << "no icon at design time";
  EXPECT_EQ(design.At(client.right - 10, client.bottom - 10), ToRgb(kBack));

  // The change alone repaints nothing.
  PumpMessages();
  ValidateRect(window, nullptr);
  EXPECT_EQ(container_->SetUserMode(true), S_OK);
  RECT update;
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE)) << update;

  Canvas user(client.right, client.bottom);
  PaintWindowInto(user.dc());
  EXPECT_EQ(IconPixels(user, ToRgb(kBack)), 0) << "icon at run time";
}

TEST_F(Modes, WithoutASiteToAskTheViewIsDrawnAsAtDesignTime) {
  AttachControl();
  ASSERT_EQ(play()->put_BackColor(kBack), S_OK);
  ComPtr<IViewObject> view = container_->ControlAs<IViewObject>();
  ASSERT_TRUE(view);
  Canvas unsited(120, 80);
  RECTL bounds = {0, 0, 120, 80};
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, unsited.dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  EXPECT_GT(IconPixels(unsited, ToRgb(kBack)), 50);

  // Sited in a container at run time, the same drawing shows no icon.
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  Canvas sited(120, 80);
  ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, sited.dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(IconPixels(sited, ToRgb(kBack)), 0);
}

// ---------------------------------------------------------------- focus and mouse activation

using Focus = ContainerTest;

TEST_F(Focus, GainingFocusUIActivatesAndTellsTheSiteLosingItTellsTheSite) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  const HWND window = container_->ControlWindow();
  ASSERT_NE(window, nullptr);
  const std::size_t mark = container_->log().Size();
  SetFocus(window);
  ASSERT_EQ(GetFocus(), window) << "the test's window could not take the focus";
  std::vector<std::string> got = WithoutAmbients(container_->log().Since(mark));
  const std::vector<std::string> focused = {
      "InPlaceSiteEx::RequestUIActivate",
      "InPlaceSite::OnUIActivate",
      "Frame::SetActiveObject(Control)",
      "Frame::SetBorderSpace",
      "ControlSite::OnFocus(1)",
  };
  EXPECT_EQ(got, focused) << Joined(got);
  EXPECT_EQ(container_->active_object(), container_->ControlAs<IOleInPlaceActiveObject>().Get());

  // Focus within the control (a child of its window) is no loss.
  const HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                     window, nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  std::size_t before = container_->log().Size();
  SetFocus(child);
  EXPECT_EQ(container_->log().Count("ControlSite::OnFocus(0)"), 0u)
      << Joined(container_->log().Since(before));

  SetFocus(window);
  before = container_->log().Size();
  SetFocus(container_->window());
  got = WithoutAmbients(container_->log().Since(before));
  EXPECT_EQ(got, std::vector<std::string>{"ControlSite::OnFocus(0)"}) << Joined(got);
}

TEST_F(Focus, MouseActivationUIActivatesExceptAtDesignTime) {
  AttachControl();
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->Host(), S_OK);
  const HWND window = container_->ControlWindow();
  const LPARAM click = MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN);
  SendMessageW(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(container_->window()), click);
  EXPECT_FALSE(container_->log().Contains("InPlaceSite::OnUIActivate")) << "design time";

  container_->ambients().user_mode = true;
  SendMessageW(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(container_->window()), click);
  EXPECT_EQ(container_->log().Count("InPlaceSite::OnUIActivate"), 1u)
      << Joined(container_->log().Entries());
}

// ---------------------------------------------------------------- the window class and unloading

TEST(ControlWindowClass, GoesWithTheDllSoThatTheDllLoadsAgain) {
  OleScope ole;
  ASSERT_TRUE(SUCCEEDED(ole.result()));
  std::wstring name;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    HMODULE dll = LoadLibraryW(PlayDllPath().c_str());
    ASSERT_NE(dll, nullptr);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(GetProcAddress(dll, "DllGetClassObject"));
    ASSERT_NE(get, nullptr);
    {
      ComPtr<IClassFactory> factory;
      ASSERT_EQ(get(CLSID_ZuVideoPlay, IID_PPV_ARGS(&factory)), S_OK);
      TestContainer container;
      ASSERT_EQ(container.Create(factory.Get()), S_OK);
      ASSERT_EQ(container.Host(), S_OK);
      const HWND window = container.ControlWindow();
      ASSERT_NE(window, nullptr) << "activation failed";
      name = ClassNameOf(window);
      EXPECT_TRUE(IsControlClassName(name)) << Narrow(name);
      EXPECT_EQ(container.Unhost(), S_OK);
    }
    WNDCLASSEXW description = {sizeof description};
    EXPECT_TRUE(GetClassInfoExW(dll, name.c_str(), &description));
    ASSERT_TRUE(FreeLibrary(dll));
    EXPECT_EQ(GetModuleHandleW(L"ZuVPlay.dll"), nullptr) << "still loaded";
    EXPECT_FALSE(GetClassInfoExW(dll, name.c_str(), &description)) << "class left behind";
  }
}


// ---------------------------------------------------------------- Wine's own host

// atl.dll places a control by program identifier and offers it no ambient properties: the
// control takes itself to be at design time there, shows its icon, and still takes frames.
TEST(WineHost, PlacesTheControlByProgramIdentifierAtDesignTime) {
  OleScope ole;
  ASSERT_TRUE(SUCCEEDED(ole.result()));
  {
    AtlHost atl;
    ASSERT_TRUE(atl.Ok());
    HostWindow host(RECT{60, 60, 260, 220});
    ASSERT_NE(host.Get(), nullptr);
    ASSERT_EQ(atl.Place(CLSID_ZuVideoPlay, host.Get()), S_OK) << Narrow(atl.progid());
    HWND window = nullptr;
    for (HWND child = GetWindow(host.Get(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (IsControlClassName(ClassNameOf(child))) window = child;
    }
    ASSERT_NE(window, nullptr) << "no control window in the host";

    RECT client;
    GetClientRect(window, &client);
    ASSERT_GT(client.right, 40);
    ASSERT_GT(client.bottom, 40);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Canvas shown(client.right, client.bottom);
    shown.CopyFrom(window);
    EXPECT_GT(IconPixels(shown, SysRgb(COLOR_BTNFACE)), 50) << "no icon: not at design time?";

    // Frames are taken all the same; the icon stays.
    ComPtr<IZuVideoPlayCtl> play;
    ComPtr<IOleObject> object;
    // What AtlAxCreateControl hands out is its container; the control comes from the window.
    ComPtr<IUnknown> control = atl.Control(host.Get());
    ASSERT_TRUE(control);
    ASSERT_EQ(control.As(&object), S_OK);
    ASSERT_EQ(control.As(&play), S_OK);
    control.Reset();
    FrameString text(BuildFrame(4, 4, 24, 0, [](int, int) { return 0x20C040u; }));
    VARIANT_BOOL taken = 0;
    EXPECT_EQ(play->RefreshFrame(text.get(), text.count(), &taken), S_OK);
    EXPECT_EQ(taken, 1);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Canvas after(client.right, client.bottom);
    after.CopyFrom(window);
    EXPECT_GT(IconPixels(after, SysRgb(COLOR_BTNFACE)), 50);
    EXPECT_NE(after.At(client.right / 2, client.bottom / 2), 0x20C040u) << "frame shown";
    play.Reset();
    object.Reset();
    DestroyWindow(host.Get());
    PumpMessages();
  }
}

}  // namespace
}  // namespace zu::test
