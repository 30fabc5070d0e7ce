// The play property page driven directly through IPropertyPage, with a recording page site, as a
// frame would: site and objects, page information, the dialog's life, the lists, dirty notices,
// Apply over several objects and the failure rule, and objects that are not play controls.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "play/zu_video_play_ctl.h"
#include "shell/module.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "shell/zuvplay/zu_video_play_ppg.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell_ui/ui_test_support.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

const std::vector<std::wstring> kFrameFormatEntries = {L"0 - vpyFormatBMP", L"1 - vpyFormatPNG"};
const std::vector<std::wstring> kSizeModeEntries = {L"0 - vpySizeCLIP", L"1 - vpySizeZOOM",
                                                    L"2 - vpySizeSTRETCH"};
const RECT kPageRect = {10, 20, 330, 220};

class PlayPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    baseline_locks_ = Module::Current().LockCount();
    parent_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"page test", WS_POPUP, 0, 0, 400, 300,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    // Not activated: Wine without a window manager takes two seconds to destroy an active window.
    ShowWindow(parent_, SW_SHOWNOACTIVATE);
    ASSERT_EQ(ZuVideoPlayPpg::CreateInstance(nullptr, IID_IPropertyPage,
                                   reinterpret_cast<void**>(page_.GetAddressOf())),
              S_OK);
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_IZuVideoPlayCtl,
                                     reinterpret_cast<void**>(first_.GetAddressOf())),
              S_OK);
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_IZuVideoPlayCtl,
                                     reinterpret_cast<void**>(second_.GetAddressOf())),
              S_OK);
  }

  void TearDown() override {
    page_.Reset();
    // The page let go of everything it was given.
    EXPECT_EQ(site_.references(), 0u);
    EXPECT_EQ(plain_.references(), 0u);
    if (first_) {
      EXPECT_TRUE(HasReferences(first_.Get(), 1));
    }
    first_.Reset();
    second_.Reset();
    if (parent_) DestroyWindow(parent_);
    EXPECT_EQ(Module::Current().LockCount(), baseline_locks_) << "objects left alive";
    OleUninitialize();
  }

  // A frame's opening sequence: site, objects, activation at kPageRect, show.
  void Open(std::vector<IUnknown*> objects) {
    ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
    ASSERT_EQ(page_->SetObjects(static_cast<ULONG>(objects.size()),
                                objects.empty() ? nullptr : objects.data()),
              S_OK);
    ASSERT_EQ(page_->Activate(parent_, &kPageRect, TRUE), S_OK);
    ASSERT_EQ(page_->Show(SW_SHOW), S_OK);
    ASSERT_NE(Window(), nullptr);
  }

  HWND Window() const { return static_cast<PropertyPageImpl*>(page_.Get())->Window(); }
  HWND List(int id) const { return GetDlgItem(Window(), id); }
  void Set(IZuVideoPlayCtl* control, VpyFrameFormat format, VpySizeMode mode) {
    ASSERT_EQ(control->put_FrameFormat(format), S_OK);
    ASSERT_EQ(control->put_SizeMode(mode), S_OK);
  }
  static std::pair<long, long> Values(IZuVideoPlayCtl* control) {
    VpyFrameFormat format = vpyFormatBMP;
    VpySizeMode mode = vpySizeCLIP;
    EXPECT_EQ(control->get_FrameFormat(&format), S_OK);
    EXPECT_EQ(control->get_SizeMode(&mode), S_OK);
    return {format, mode};
  }

  LONG baseline_locks_ = 0;
  HWND parent_ = nullptr;
  FakePageSite site_;
  PlainObject plain_;
  ComPtr<IPropertyPage> page_;
  ComPtr<IZuVideoPlayCtl> first_;
  ComPtr<IZuVideoPlayCtl> second_;
};

// ---------------------------------------------------------------- the object

TEST_F(PlayPageTest, AnswersIPropertyPageOnly) {
  EXPECT_TRUE(AnswersInterfaces(page_.Get(), {ZU_IID(IUnknown), ZU_IID(IPropertyPage)}));
  EXPECT_TRUE(RefusesInterfaces(page_.Get(), {ZU_IID(IPropertyPage2), ZU_IID(IDispatch),
                                              ZU_IID(IPersist), ZU_IID(IZuVideoPlayCtl)}));
  EXPECT_TRUE(HasReferences(page_.Get(), 1));
}

TEST_F(PlayPageTest, CreationChecksItsArguments) {
  EXPECT_EQ(ZuVideoPlayPpg::CreateInstance(nullptr, IID_IPropertyPage, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(ZuVideoPlayPpg::CreateInstance(&plain_, IID_IPropertyPage, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
}

TEST_F(PlayPageTest, AggregatedPageDelegatesToItsOuterObject) {
  ComPtr<IUnknown> inner;
  ASSERT_EQ(ZuVideoPlayPpg::CreateInstance(&plain_, IID_IUnknown,
                                 reinterpret_cast<void**>(inner.GetAddressOf())),
            S_OK);
  EXPECT_EQ(plain_.references(), 0u) << "the inner object must not hold its outer";
  IPropertyPage* through_inner = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&through_inner)),
            S_OK);
  EXPECT_EQ(plain_.references(), 1u) << "the interface's reference belongs to the outer object";
  IUnknown* identity = nullptr;
  ASSERT_EQ(through_inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&plain_));
  identity->Release();
  through_inner->Release();
  EXPECT_EQ(plain_.references(), 0u);
}

// ---------------------------------------------------------------- site and objects

TEST_F(PlayPageTest, KeepsOneSiteUntilToldToLetGo) {
  FakePageSite other;
  ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
  EXPECT_EQ(site_.references(), 1u);
  EXPECT_EQ(page_->SetPageSite(&other), E_UNEXPECTED);
  EXPECT_EQ(other.references(), 0u);
  EXPECT_EQ(site_.references(), 1u);
  EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
  EXPECT_EQ(site_.references(), 0u);
  EXPECT_EQ(page_->SetPageSite(&other), S_OK);
  EXPECT_EQ(other.references(), 1u);
  EXPECT_EQ(page_->SetPageSite(nullptr), S_OK);
  EXPECT_EQ(other.references(), 0u);
}

TEST_F(PlayPageTest, HoldsOneReferencePerObjectUntilReplaced) {
  IUnknown* two[] = {first_.Get(), &plain_};
  EXPECT_EQ(page_->SetObjects(2, nullptr), E_POINTER);
  ASSERT_EQ(page_->SetObjects(2, two), S_OK);
  EXPECT_TRUE(HasReferences(first_.Get(), 2));
  EXPECT_EQ(plain_.references(), 1u);

  IUnknown* one[] = {second_.Get()};
  ASSERT_EQ(page_->SetObjects(1, one), S_OK);
  EXPECT_TRUE(HasReferences(first_.Get(), 1));
  EXPECT_EQ(plain_.references(), 0u);
  EXPECT_TRUE(HasReferences(second_.Get(), 2));

  // How frames end the relation.
  ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
  EXPECT_TRUE(HasReferences(second_.Get(), 1));
}

TEST_F(PlayPageTest, ReleasingThePageReleasesSiteObjectsAndDialog) {
  Open({first_.Get(), &plain_});
  const HWND dialog = Window();
  page_.Reset();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(site_.references(), 0u);
  EXPECT_EQ(plain_.references(), 0u);
  EXPECT_TRUE(HasReferences(first_.Get(), 1));
}

// ---------------------------------------------------------------- page information

TEST_F(PlayPageTest, PageInfoNamesThePageWithoutHelpFile) {
  EXPECT_EQ(page_->GetPageInfo(nullptr), E_POINTER);
  PageInfo info;
  ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
  EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
  EXPECT_EQ(Text(info.pszTitle), L"General");
  EXPECT_EQ(Text(info.pszDocString), L"ZuVideoPlay Properties");
  EXPECT_EQ(Text(info.pszHelpFile), L"");
  EXPECT_EQ(info.dwHelpContext, 0u);
}

TEST_F(PlayPageTest, PageSizeComesFromTheTemplateFont) {
  PageInfo info;
  ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
  const SIZE expected = DialogManagerPageSize(parent_, ZU_IDD_PLAY_PAGE, 208, 105);
  EXPECT_EQ(info.size.cx, expected.cx);
  EXPECT_EQ(info.size.cy, expected.cy);
  EXPECT_GT(info.size.cx, 208) << "dialog units should be wider than pixels at 8 points";
}

// ---------------------------------------------------------------- the dialog's life

TEST_F(PlayPageTest, ActivateNeedsARectangle) {
  EXPECT_EQ(page_->Activate(parent_, nullptr, TRUE), E_POINTER);
  EXPECT_EQ(GetWindow(parent_, GW_CHILD), nullptr);
}

TEST_F(PlayPageTest, ActivateMakesAHiddenChildAtTheRectangle) {
  ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
  ASSERT_EQ(page_->Activate(parent_, &kPageRect, TRUE), S_OK);
  const HWND dialog = Window();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetParent(dialog), parent_);
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD);
  EXPECT_FALSE(IsWindowVisible(dialog)) << "the frame shows the page when it wants";

  RECT placed = {};
  GetWindowRect(dialog, &placed);
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, kPageRect.left);
  EXPECT_EQ(placed.top, kPageRect.top);
  EXPECT_EQ(placed.right, kPageRect.right);
  EXPECT_EQ(placed.bottom, kPageRect.bottom);

  EXPECT_EQ(page_->Show(SW_SHOW), S_OK);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(page_->Move(nullptr), E_POINTER);
  const RECT moved = {0, 0, 100, 60};
  EXPECT_EQ(page_->Move(&moved), S_OK);
  GetWindowRect(dialog, &placed);
  MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.right, 100);
  EXPECT_EQ(placed.bottom, 60);
  EXPECT_EQ(page_->Show(SW_HIDE), S_OK);
  EXPECT_FALSE(IsWindowVisible(dialog));

  EXPECT_EQ(page_->Deactivate(), S_OK);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(page_->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(page_->Move(&moved), E_UNEXPECTED);
  EXPECT_EQ(page_->Deactivate(), S_OK);
  EXPECT_TRUE(site_.status_changes.empty());
}

TEST_F(PlayPageTest, PageStaysAControlParent) {
  Open({first_.Get()});
  const HWND dialog = Window();
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  SetWindowLongW(dialog, GWL_EXSTYLE, WS_EX_ACCEPTFILES);
  const LONG changed = GetWindowLongW(dialog, GWL_EXSTYLE);
  EXPECT_TRUE(changed & WS_EX_CONTROLPARENT) << std::hex << changed;
  EXPECT_TRUE(changed & WS_EX_ACCEPTFILES) << "other bits are the caller's: " << std::hex << changed;
  SetWindowLongW(dialog, GWL_EXSTYLE, 0);
  EXPECT_EQ(GetWindowLongW(dialog, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, WS_EX_CONTROLPARENT);
}

TEST_F(PlayPageTest, TranslateAcceleratorPassesKeysAndMiceToTheDialog) {
  MSG message = {};
  EXPECT_EQ(page_->TranslateAccelerator(nullptr), E_POINTER);
  message.hwnd = parent_;
  message.message = WM_KEYDOWN;
  message.wParam = VK_TAB;
  EXPECT_EQ(page_->TranslateAccelerator(&message), S_FALSE) << "no dialog yet";

  Open({first_.Get()});
  SetFocus(List(ZU_IDC_PLAY_FRAME_FORMAT));
  message.hwnd = List(ZU_IDC_PLAY_FRAME_FORMAT);
  EXPECT_EQ(page_->TranslateAccelerator(&message), S_OK);
  EXPECT_EQ(GetFocus(), List(ZU_IDC_PLAY_SIZE_MODE)) << "Tab moves to the next list";

  message.message = WM_PAINT;
  message.wParam = 0;
  EXPECT_EQ(page_->TranslateAccelerator(&message), S_FALSE) << "not a key or mouse message";
  message.hwnd = parent_;
  message.message = WM_KEYDOWN;
  message.wParam = VK_TAB;
  EXPECT_EQ(page_->TranslateAccelerator(&message), S_FALSE) << "a window outside the page";
}

// ---------------------------------------------------------------- lists and values

TEST_F(PlayPageTest, ListsHoldTheEnumerationsInValueOrder) {
  Open({first_.Get()});
  EXPECT_EQ(ListEntries(List(ZU_IDC_PLAY_FRAME_FORMAT)), kFrameFormatEntries);
  EXPECT_EQ(ListEntries(List(ZU_IDC_PLAY_SIZE_MODE)), kSizeModeEntries);
  EXPECT_EQ(WindowText(GetDlgItem(Window(), ZU_IDC_PLAY_FRAME_FORMAT_LABEL)), L"&FrameFormat: ");
  EXPECT_EQ(WindowText(GetDlgItem(Window(), ZU_IDC_PLAY_SIZE_MODE_LABEL)), L"&SizeMode: ");
}

TEST_F(PlayPageTest, SelectionShowsTheFirstControlsValues) {
  struct Row {
    VpyFrameFormat format;
    VpySizeMode mode;
  };
  const Row rows[] = {{vpyFormatBMP, vpySizeCLIP},  {vpyFormatPNG, vpySizeZOOM},
                      {vpyFormatBMP, vpySizeSTRETCH}, {vpyFormatPNG, vpySizeCLIP}};
  IUnknown* objects[] = {first_.Get(), second_.Get()};
  ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
  ASSERT_EQ(page_->SetObjects(2, objects), S_OK);
  Set(second_.Get(), vpyFormatPNG, vpySizeZOOM);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "FrameFormat " << row.format << ", SizeMode " << row.mode);
    Set(first_.Get(), row.format, row.mode);
    ASSERT_EQ(page_->Activate(parent_, &kPageRect, TRUE), S_OK);
    EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_FRAME_FORMAT)), row.format);
    EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_SIZE_MODE)), row.mode);
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page_->Deactivate(), S_OK);
  }
  EXPECT_TRUE(site_.status_changes.empty()) << "loading is not an edit";
}

// ---------------------------------------------------------------- dirty

TEST_F(PlayPageTest, FirstEditTellsTheSiteOnce) {
  Open({first_.Get()});
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 1);
  EXPECT_EQ(page_->IsPageDirty(), S_OK);
  ChooseListEntry(List(ZU_IDC_PLAY_FRAME_FORMAT), 1);
  EXPECT_EQ(site_.status_changes,
            std::vector<DWORD>{PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE});
}

TEST_F(PlayPageTest, OtherListNotificationsAreNotEdits) {
  Open({first_.Get()});
  const HWND list = List(ZU_IDC_PLAY_SIZE_MODE);
  for (WORD code : {CBN_SETFOCUS, CBN_KILLFOCUS, CBN_DROPDOWN, CBN_CLOSEUP}) {
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(ZU_IDC_PLAY_SIZE_MODE, code),
                 reinterpret_cast<LPARAM>(list));
  }
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_TRUE(site_.status_changes.empty());
}

TEST_F(PlayPageTest, ReactivationDiscardsEditsAndTellsTheSite) {
  Set(first_.Get(), vpyFormatPNG, vpySizeZOOM);
  Open({first_.Get()});
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 2);
  ASSERT_EQ(page_->Deactivate(), S_OK);
  ASSERT_EQ(page_->Activate(parent_, &kPageRect, TRUE), S_OK);
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_SIZE_MODE)), vpySizeZOOM);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(site_.status_changes,
            (std::vector<DWORD>{PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE, 0}));
  EXPECT_EQ(Values(first_.Get()), std::make_pair(1L, 1L)) << "nothing was applied";
}

// ---------------------------------------------------------------- Apply

TEST_F(PlayPageTest, ApplyWritesEveryControlInTheFramesOrder) {
  std::vector<std::string> log;
  LoggingPlayCtl a("A", first_.Get(), &log), b("B", second_.Get(), &log);
  Set(first_.Get(), vpyFormatPNG, vpySizeZOOM);
  Open({&a, &b});
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_FRAME_FORMAT)), 1) << "the first control's values";
  ChooseListEntry(List(ZU_IDC_PLAY_FRAME_FORMAT), 0);
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 2);

  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{"A.FrameFormat=0", "A.SizeMode=2", "B.FrameFormat=0",
                                           "B.SizeMode=2"}));
  EXPECT_EQ(Values(first_.Get()), std::make_pair(0L, 2L));
  EXPECT_EQ(Values(second_.Get()), std::make_pair(0L, 2L));
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(site_.status_changes,
            std::vector<DWORD>{PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE})
      << "Apply lowers the flag without a notice";
  ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(a.references(), 0u);
  EXPECT_EQ(b.references(), 0u);
}

TEST_F(PlayPageTest, ChoosingStretchAppliesSizeModeTwo) {
  Open({first_.Get()});
  const HWND list = List(ZU_IDC_PLAY_SIZE_MODE);
  ASSERT_EQ(ListEntries(list).at(2), L"2 - vpySizeSTRETCH");
  ChooseListEntry(list, 2);
  ASSERT_EQ(page_->Apply(), S_OK);
  VpySizeMode mode = vpySizeCLIP;
  ASSERT_EQ(first_->get_SizeMode(&mode), S_OK);
  EXPECT_EQ(mode, vpySizeSTRETCH);
}

struct FailureRow {
  const char* failing_object;
  const char* failing_setter;
  std::vector<std::string> calls;
};

TEST_F(PlayPageTest, FailingSetterStopsApplyAndKeepsTheEdits) {
  const FailureRow rows[] = {
      {"A", "FrameFormat", {"A.FrameFormat=1"}},
      {"A", "SizeMode", {"A.FrameFormat=1", "A.SizeMode=2"}},
      {"B", "FrameFormat", {"A.FrameFormat=1", "A.SizeMode=2", "B.FrameFormat=1"}},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.failing_object << "." << row.failing_setter << " fails");
    std::vector<std::string> log;
    LoggingPlayCtl a("A", first_.Get(), &log), b("B", second_.Get(), &log);
    (row.failing_object[0] == 'A' ? a : b).failing_setter = row.failing_setter;
    Set(first_.Get(), vpyFormatBMP, vpySizeCLIP);
    Set(second_.Get(), vpyFormatBMP, vpySizeCLIP);
    IUnknown* objects[] = {&a, &b};
    if (!Window()) Open({});
    ASSERT_EQ(page_->SetObjects(2, objects), S_OK);
    ChooseListEntry(List(ZU_IDC_PLAY_FRAME_FORMAT), 1);
    ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 2);

    EXPECT_EQ(page_->Apply(), E_FAIL);
    EXPECT_EQ(log, row.calls);
    EXPECT_EQ(page_->IsPageDirty(), S_OK);
    ComPtr<IErrorInfo> left;
    EXPECT_EQ(GetErrorInfo(0, left.GetAddressOf()), S_FALSE) << "error information discarded";
    // What was set before the failure stays set; the object after it is untouched.
    if (row.calls.size() >= 2) {
      EXPECT_EQ(Values(first_.Get()).first, 1);
    }
    if (row.failing_object[0] == 'A') {
      EXPECT_EQ(Values(second_.Get()), std::make_pair(0L, 0L));
    }

    // Once the setter works again the same edits go through.
    a.failing_setter.clear();
    b.failing_setter.clear();
    EXPECT_EQ(page_->Apply(), S_OK);
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
    EXPECT_EQ(Values(second_.Get()), std::make_pair(1L, 2L));
    ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
    // Dirty again for the next row's first notice.
    ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 0);
  }
}

TEST_F(PlayPageTest, ListWithoutSelectionLeavesItsProperty) {
  std::vector<std::string> log;
  LoggingPlayCtl a("A", first_.Get(), &log);
  Set(first_.Get(), vpyFormatPNG, vpySizeCLIP);
  Open({&a});
  SendMessageW(List(ZU_IDC_PLAY_FRAME_FORMAT), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 1);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(log, std::vector<std::string>{"A.SizeMode=1"});
  EXPECT_EQ(Values(first_.Get()), std::make_pair(1L, 1L));
  ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
}

TEST_F(PlayPageTest, ObjectsWithoutTheControlInterfaceAreLeftAlone) {
  Set(first_.Get(), vpyFormatPNG, vpySizeZOOM);
  Open({&plain_, first_.Get(), second_.Get()});
  EXPECT_GT(plain_.refused_queries, 0);
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_FRAME_FORMAT)), 1) << "the first control shows";
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_SIZE_MODE)), 1);
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 2);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(Values(first_.Get()), std::make_pair(1L, 2L));
  EXPECT_EQ(Values(second_.Get()), std::make_pair(1L, 2L));
}

TEST_F(PlayPageTest, WithNoControlAtAllNothingIsSelectedOrSet) {
  Open({&plain_});
  EXPECT_EQ(ListEntries(List(ZU_IDC_PLAY_SIZE_MODE)), kSizeModeEntries);
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_FRAME_FORMAT)), -1);
  EXPECT_EQ(ListSelection(List(ZU_IDC_PLAY_SIZE_MODE)), -1);
  ChooseListEntry(List(ZU_IDC_PLAY_SIZE_MODE), 2);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
}

TEST_F(PlayPageTest, ApplyWithNoObjectsOnlyClearsTheFlag) {
  Open({});
  ChooseListEntry(List(ZU_IDC_PLAY_FRAME_FORMAT), 1);
  ASSERT_EQ(page_->IsPageDirty(), S_OK);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(site_.status_changes.size(), 1u);
}

// Edits live in the dialog: without one there is nothing to apply.
TEST_F(PlayPageTest, ApplyBeforeActivationSetsNothing) {
  std::vector<std::string> log;
  LoggingPlayCtl a("A", first_.Get(), &log);
  IUnknown* objects[] = {&a};
  ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_TRUE(log.empty());
  ASSERT_EQ(page_->SetObjects(0, nullptr), S_OK);
}

}  // namespace
}  // namespace zu::test
