// Verbs, the property frame, drawing through the view into a DIB section, quick activation,
// data advice and the property pages a container is told about.
#include <windows.h>

#include <msstkppg.h>
#include <olectl.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/codec/codec_test_support.h"
#include "tests/container/container_test_support.h"
#include "tests/play/play_test_support.h"
#include "tests/support/modal_watcher.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr COLORREF kBack = RGB(0x12, 0x34, 0x56);
constexpr uint32_t kFrameRgb = 0x20C040;

std::string Hex(HRESULT hr) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

// ---------------------------------------------------------------- DoVerb

struct VerbCase {
  LONG verb;
  HRESULT result;
  // What the control's window looks like afterwards: none, shown, hidden.
  enum class Window { kNone, kShown, kHidden } window;
  bool ui_active;
};

class Verbs : public ContainerTest, public ::testing::WithParamInterface<VerbCase> {};

// Sited and set up as a container does before its first verb, at run time.
TEST_P(Verbs, AtRunTime) {
  const VerbCase& row = GetParam();
  AttachControl();
  ASSERT_EQ(container_->GetMiscStatus(), S_OK);
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  ASSERT_EQ(container_->InitNew(), S_OK);
  ASSERT_EQ(container_->SetExtent(), S_OK);
  ModalWatcher watcher;
  EXPECT_EQ(container_->DoVerb(row.verb), row.result) << Hex(container_->DoVerb(row.verb));
  const HWND window = container_->ControlWindow();
  switch (row.window) {
    case VerbCase::Window::kNone: EXPECT_EQ(window, nullptr); break;
    case VerbCase::Window::kShown:
      ASSERT_NE(window, nullptr);
      EXPECT_TRUE(IsWindowVisible(window));
      break;
    case VerbCase::Window::kHidden:
      if (window) EXPECT_FALSE(IsWindowVisible(window));
      break;
  }
  EXPECT_EQ(container_->log().Contains("InPlaceSite::OnUIActivate"), row.ui_active)
      << Joined(container_->log().Entries());
  EXPECT_FALSE(container_->log().Contains("ControlSite::ShowPropertyFrame"));
  EXPECT_TRUE(NoDialogs(watcher));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Verbs,
    ::testing::Values(
        VerbCase{OLEIVERB_PRIMARY, S_OK, VerbCase::Window::kShown, false},
        VerbCase{OLEIVERB_SHOW, S_OK, VerbCase::Window::kShown, false},
        VerbCase{OLEIVERB_OPEN, S_OK, VerbCase::Window::kNone, false},
        VerbCase{OLEIVERB_HIDE, S_OK, VerbCase::Window::kNone, false},
        VerbCase{OLEIVERB_UIACTIVATE, S_OK, VerbCase::Window::kShown, true},
        VerbCase{OLEIVERB_INPLACEACTIVATE, S_OK, VerbCase::Window::kShown, false},
        VerbCase{OLEIVERB_DISCARDUNDOSTATE, S_OK, VerbCase::Window::kNone, false},
        VerbCase{1, E_NOTIMPL, VerbCase::Window::kNone, false},
        VerbCase{2, E_NOTIMPL, VerbCase::Window::kNone, false},
        VerbCase{3, E_NOTIMPL, VerbCase::Window::kNone, false},
        VerbCase{4, E_NOTIMPL, VerbCase::Window::kNone, false},
        VerbCase{-8, E_NOTIMPL, VerbCase::Window::kNone, false}),
    [](const ::testing::TestParamInfo<VerbCase>& info) {
      const LONG verb = info.param.verb;
      return verb < 0 ? "Minus" + std::to_string(-verb) : "Verb" + std::to_string(verb);
    });

using VerbEffects = ContainerTest;

TEST_F(VerbEffects, HideTakesAwayTheUserInterfaceAndTheWindow) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  ASSERT_EQ(container_->DoVerb(OLEIVERB_UIACTIVATE), S_OK);
  const HWND window = container_->ControlWindow();
  ASSERT_TRUE(IsWindowVisible(window));
  ASSERT_EQ(container_->DoVerb(OLEIVERB_HIDE), S_OK);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(container_->log().Contains("InPlaceSite::OnUIDeactivate(0)"));
  EXPECT_EQ(container_->active_object(), nullptr);
}

TEST_F(VerbEffects, InPlaceActivationRequestsARepaint) {
  AttachControl();
  ASSERT_EQ(container_->Host(), S_OK);
  const HWND window = container_->ControlWindow();
  PumpMessages();
  ValidateRect(window, nullptr);
  ASSERT_EQ(container_->DoVerb(OLEIVERB_INPLACEACTIVATE), S_OK);
  RECT update;
  ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
  RECT client;
  GetClientRect(window, &client);
  EXPECT_TRUE(EqualRect(&update, &client)) << update;
}

TEST_F(VerbEffects, PrimaryAtDesignTimeAsksTheContainersFrameFirst) {
  AttachControl();
  container_->ambients().user_mode = false;
  container_->answers().show_property_frame = S_OK;
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  ModalWatcher watcher;
  EXPECT_EQ(container_->DoVerb(OLEIVERB_PRIMARY), S_OK);
  EXPECT_EQ(container_->log().Count("ControlSite::ShowPropertyFrame"), 1u);
  EXPECT_EQ(container_->ControlWindow(), nullptr) << "activated instead";
  EXPECT_TRUE(NoDialogs(watcher));
}

// The container refuses: the control opens a frame of its own, captioned with its short name.
TEST_F(VerbEffects, PrimaryAtDesignTimeOpensTheControlsOwnFrameWhenTheContainerHasNone) {
  AttachControl();
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  LPOLESTR short_name = nullptr;
  ASSERT_EQ(OleRegGetUserType(CLSID_ZuVideoPlay, USERCLASSTYPE_SHORT, &short_name), S_OK);
  const std::wstring name = short_name;
  CoTaskMemFree(short_name);

  ModalWatcher watcher;
  watcher.SetAnswer(IDCANCEL);
  const HRESULT hr = container_->DoVerb(OLEIVERB_PRIMARY);
  EXPECT_TRUE(SUCCEEDED(hr)) << Hex(hr);
  EXPECT_EQ(container_->log().Count("ControlSite::ShowPropertyFrame"), 1u);
  ASSERT_TRUE(watcher.WaitFor(1));
  const DialogRecord frame = watcher.Seen().front();
  EXPECT_NE(frame.caption.find(name), std::wstring::npos)
      << Narrow(frame.caption) << " / " << Narrow(name);
  EXPECT_EQ(container_->ControlWindow(), nullptr);
}

TEST_F(VerbEffects, PropertiesVerbAtRunTimeOpensTheFrameToo) {
  AttachControl();
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  ModalWatcher watcher;
  watcher.SetAnswer(IDCANCEL);
  const HRESULT hr = container_->DoVerb(OLEIVERB_PROPERTIES);
  EXPECT_TRUE(SUCCEEDED(hr)) << Hex(hr);
  EXPECT_EQ(container_->log().Count("ControlSite::ShowPropertyFrame"), 1u);
  EXPECT_TRUE(watcher.WaitFor(1));
}

TEST_F(VerbEffects, TheVerbsAndTheUserTypeComeFromTheRegistry) {
  AttachControl();
  ComPtr<IOleObject> object = container_->ControlAs<IOleObject>();
  ComPtr<IEnumOLEVERB> verbs;
  ASSERT_EQ(object->EnumVerbs(&verbs), S_OK);
  OLEVERB verb = {};
  ULONG fetched = 0;
  ASSERT_EQ(verbs->Next(1, &verb, &fetched), S_OK);
  EXPECT_EQ(verb.lVerb, 0);
  EXPECT_EQ(verb.grfAttribs, static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU));
  CoTaskMemFree(verb.lpszVerbName);
  EXPECT_EQ(verbs->Next(1, &verb, &fetched), S_FALSE) << "one verb only";

  LPOLESTR full = nullptr;
  LPOLESTR expected = nullptr;
  ASSERT_EQ(object->GetUserType(USERCLASSTYPE_FULL, &full), S_OK);
  ASSERT_EQ(OleRegGetUserType(CLSID_ZuVideoPlay, USERCLASSTYPE_FULL, &expected), S_OK);
  EXPECT_EQ(std::wstring(full), std::wstring(expected));
  CoTaskMemFree(full);
  CoTaskMemFree(expected);
  EXPECT_EQ(object->GetUserType(USERCLASSTYPE_FULL, nullptr), E_POINTER);
}

// ---------------------------------------------------------------- drawing through the view

class ViewDrawing : public ContainerTest {
 protected:
  void SetUp() override {
    ContainerTest::SetUp();
    AttachControl();
    ASSERT_EQ(play()->put_BackColor(kBack), S_OK);
  }
  void TakeFrame() {
    // 4 x 4, one colour, 24 bits.
    FrameString text(BuildFrame(4, 4, 24, 0, [](int, int) { return kFrameRgb; }));
    VARIANT_BOOL taken = 0;
    ASSERT_EQ(play()->RefreshFrame(text.get(), text.count(), &taken), S_OK);
    ASSERT_EQ(taken, 1);
  }
  HRESULT Draw(Canvas& canvas) {
    ComPtr<IViewObject> view = container_->ControlAs<IViewObject>();
    RECTL bounds = {0, 0, canvas.width(), canvas.height()};
    return view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds,
                      nullptr, nullptr, 0);
  }
};

TEST_F(ViewDrawing, WithoutAWindowTheFrameIsCentredInTheBounds) {
  ASSERT_EQ(container_->SetClientSite(), S_OK);  // run time
  TakeFrame();
  Canvas canvas(40, 30);
  ASSERT_EQ(Draw(canvas), S_OK);
  // CLIP: 4 x 4 at (18, 13).
  EXPECT_EQ(canvas.At(18, 13), kFrameRgb);
  EXPECT_EQ(canvas.At(21, 16), kFrameRgb);
  EXPECT_EQ(canvas.At(17, 13), ToRgb(kBack));
  EXPECT_EQ(canvas.At(22, 16), ToRgb(kBack));
  EXPECT_EQ(canvas.At(10, 10), ToRgb(kBack));
}

TEST_F(ViewDrawing, WithAWindowTheFrameIsPlacedAsInTheWindow) {
  ASSERT_EQ(container_->Host(), S_OK);
  TakeFrame();
  RECT client;
  GetClientRect(container_->ControlWindow(), &client);
  Canvas canvas(client.right, client.bottom);
  ASSERT_EQ(Draw(canvas), S_OK);
  const int left = (client.right - 4) / 2;
  const int top = (client.bottom - 4) / 2;
  EXPECT_EQ(canvas.At(left, top), kFrameRgb);
  EXPECT_EQ(canvas.At(left + 3, top + 3), kFrameRgb);
  EXPECT_EQ(canvas.At(left - 1, top), ToRgb(kBack));
  // What the window itself paints is the same picture.
  Canvas painted(client.right, client.bottom);
  PaintWindowInto(painted.dc());
  EXPECT_EQ(painted.At(left, top), kFrameRgb);
  EXPECT_EQ(painted.At(left - 1, top), ToRgb(kBack));
}

TEST_F(ViewDrawing, AtDesignTimeTheFrameGivesWayToTheIcon) {
  container_->ambients().user_mode = false;
  ASSERT_EQ(container_->SetClientSite(), S_OK);
  TakeFrame();
  Canvas canvas(40, 30);
  ASSERT_EQ(Draw(canvas), S_OK);
  EXPECT_NE(canvas.At(20, 15), kFrameRgb);
  EXPECT_EQ(canvas.At(4, 4), ToRgb(kBack));
}

TEST_F(ViewDrawing, RefusesWhatItCannotDraw) {
  ComPtr<IViewObject> view = container_->ControlAs<IViewObject>();
  Canvas canvas(10, 10);
  RECTL bounds = {0, 0, 10, 10};
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds, nullptr,
                       nullptr, 0),
            DV_E_DVASPECT);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr,
                       nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), nullptr,
                       nullptr, nullptr, 0),
            E_INVALIDARG);
  EXPECT_EQ(canvas.At(5, 5), 0xFF00FFu) << "drew anyway";
}

TEST_F(ViewDrawing, ReportsAnOpaqueViewAndItsExtents) {
  ComPtr<IViewObjectEx> view = container_->ControlAs<IViewObjectEx>();
  DWORD status = 0;
  ASSERT_EQ(view->GetViewStatus(&status), S_OK);
  EXPECT_EQ(status, 3u);
  SIZEL size = {};
  ASSERT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  EXPECT_EQ(size.cy, 5080);
  const SIZEL wanted = {1000, 700};
  ASSERT_EQ(container_->SetExtent(wanted), S_OK);
  ASSERT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size), S_OK);
  EXPECT_EQ(size.cx, 1000);
  EXPECT_EQ(size.cy, 700);
  DVEXTENTINFO info = {sizeof info, DVEXTENT_CONTENT, {0, 0}};
  ASSERT_EQ(view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &info, &size), S_OK);
  EXPECT_EQ(size.cx, 5080) << "the natural size stays";
  ComPtr<IOleObject> object = container_->ControlAs<IOleObject>();
  EXPECT_EQ(object->GetExtent(DVASPECT_ICON, &size), DV_E_DVASPECT);
}

TEST_F(ViewDrawing, TheViewSinkHearsOfChangesWhileThereIsNoWindow) {
  auto sink = CountingSink::Make();
  ComPtr<IViewObject> view = container_->ControlAs<IViewObject>();
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, sink.Get()), S_OK);
  DWORD aspects = 0;
  ComPtr<IAdviseSink> given;
  ASSERT_EQ(view->GetAdvise(&aspects, nullptr, &given), S_OK);
  EXPECT_EQ(aspects, static_cast<DWORD>(DVASPECT_CONTENT));
  EXPECT_EQ(given.Get(), static_cast<IAdviseSink*>(sink.Get()));
  ASSERT_EQ(play()->put_BackColor(RGB(1, 2, 3)), S_OK);
  EXPECT_EQ(sink->view_changes, 1);
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
  ASSERT_EQ(play()->put_BackColor(RGB(4, 5, 6)), S_OK);
  EXPECT_EQ(sink->view_changes, 1);
}

// ---------------------------------------------------------------- quick activation, data, pages

using QuickActivation = ContainerTest;

TEST_F(QuickActivation, FillsWhatTheContainerAsksAndConnectsItsSinks) {
  AttachControl();
  auto sink = CountingSink::Make();
  ComPtr<IQuickActivate> quick = container_->ControlAs<IQuickActivate>();
  ASSERT_TRUE(quick);
  QACONTAINER request = {};
  request.cbSize = sizeof request;
  request.pClientSite = container_->client_site();
  request.pAdviseSink = sink.Get();
  request.pPropertyNotifySink = sink.Get();
  request.pUnkEventSink = static_cast<IAdviseSink*>(sink.Get());
  QACONTROL answer = {};
  answer.cbSize = sizeof answer;
  answer.dwEventCookie = 0xDEAD;
  ASSERT_EQ(quick->QuickActivate(&request, &answer), S_OK);
  EXPECT_EQ(answer.dwMiscStatus, 0x20191u);
  EXPECT_EQ(answer.dwViewStatus, 3u);
  EXPECT_NE(answer.dwPropNotifyCookie, 0u);
  EXPECT_EQ(answer.dwEventCookie, 0u) << "the play control fires no events";

  ComPtr<IOleClientSite> site;
  ASSERT_EQ(container_->ControlAs<IOleObject>()->GetClientSite(&site), S_OK);
  EXPECT_EQ(site.Get(), container_->client_site());
  ASSERT_EQ(play()->put_BackColor(kBack), S_OK);
  EXPECT_EQ(sink->changed, std::vector<DISPID>{DISPID_BACKCOLOR});
  EXPECT_EQ(sink->view_changes, 1);

  SIZEL size = {};
  ASSERT_EQ(quick->GetContentExtent(&size), S_OK);
  EXPECT_EQ(size.cx, 5080);
  SIZEL wanted = {2000, 1000};
  ASSERT_EQ(quick->SetContentExtent(&wanted), S_OK);
  ASSERT_EQ(quick->GetContentExtent(&size), S_OK);
  EXPECT_EQ(size.cy, 1000);

  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container_->ControlAs<IConnectionPointContainer>()->FindConnectionPoint(
                IID_IPropertyNotifySink, &point),
            S_OK);
  EXPECT_EQ(point->Unadvise(answer.dwPropNotifyCookie), S_OK);
  container_->ControlAs<IViewObject>()->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
  container_->ClearClientSite();
}

TEST_F(QuickActivation, RefusesMissingOrTooShortStructures) {
  AttachControl();
  ComPtr<IQuickActivate> quick = container_->ControlAs<IQuickActivate>();
  QACONTAINER request = {};
  request.cbSize = sizeof request;
  QACONTROL answer = {};
  answer.cbSize = sizeof answer;
  EXPECT_EQ(quick->QuickActivate(nullptr, &answer), E_POINTER);
  EXPECT_EQ(quick->QuickActivate(&request, nullptr), E_POINTER);
  answer.cbSize = 4;
  EXPECT_EQ(quick->QuickActivate(&request, &answer), E_INVALIDARG);
}

TEST_F(QuickActivation, DataSinksHearOfStockPropertyChangesUntilTheyUnadvise) {
  AttachControl();
  auto sink = CountingSink::Make();
  ComPtr<IDataObject> data = container_->ControlAs<IDataObject>();
  FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  DWORD cookie = 0;
  ASSERT_EQ(data->DAdvise(&format, ADVF_NODATA, sink.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  ASSERT_EQ(play()->put_BackColor(kBack), S_OK);
  EXPECT_EQ(sink->data_changes, 1);
  ASSERT_EQ(data->DUnadvise(cookie), S_OK);
  ASSERT_EQ(play()->put_BackColor(RGB(9, 9, 9)), S_OK);
  EXPECT_EQ(sink->data_changes, 1);

  STGMEDIUM medium = {};
  EXPECT_EQ(data->GetData(&format, &medium), E_NOTIMPL);
  EXPECT_EQ(data->DAdvise(&format, 0, sink.Get(), nullptr), E_POINTER);
}

TEST_F(QuickActivation, ListsItsPageThenTheStockColourAndPicturePages) {
  AttachControl();
  ComPtr<ISpecifyPropertyPages> specify = container_->ControlAs<ISpecifyPropertyPages>();
  CAUUID pages = {};
  ASSERT_EQ(specify->GetPages(&pages), S_OK);
  ASSERT_EQ(pages.cElems, 3u);
  EXPECT_TRUE(IsEqualGUID(pages.pElems[0], CLSID_ZuVPlayPpg));
  EXPECT_TRUE(IsEqualGUID(pages.pElems[1], CLSID_StockColorPage));
  EXPECT_TRUE(IsEqualGUID(pages.pElems[2], CLSID_StockPicturePage));
  CoTaskMemFree(pages.pElems);
  EXPECT_EQ(specify->GetPages(nullptr), E_POINTER);
}

TEST_F(QuickActivation, WindowlessCallsAreNotTaken) {
  AttachControl();
  ComPtr<IOleInPlaceObjectWindowless> windowless =
      container_->ControlAs<IOleInPlaceObjectWindowless>();
  ASSERT_TRUE(windowless);
  LRESULT result = 77;
  EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, 0, 0, &result), S_FALSE);
  EXPECT_EQ(result, 0);
  ComPtr<IDropTarget> target;
  EXPECT_EQ(windowless->GetDropTarget(&target), E_NOTIMPL);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(windowless->GetWindow(&window), E_FAIL) << "no window before activation";
  EXPECT_EQ(window, nullptr);
  // The control does not repaint itself for an ambient change.
  EXPECT_EQ(container_->AmbientChanged(DISPID_AMBIENT_USERMODE), S_OK);
}

}  // namespace
}  // namespace zu::test
