// The play control's about box (DIALOG 108): what it says, where it opens, and that the call
// returns only once OK, Escape or the watcher has closed it. Under Wine without a window manager
// each close of a captioned window costs about two seconds, so the cases are few and full.
#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "play/zu_video_play_ctl.h"
#include "shell/about_box.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "tests/support/modal_watcher.h"
#include "tests/shell_ui/ui_test_support.h"

namespace zu::test {
namespace {

constexpr wchar_t kCaption[] = L"About Pelmar/OCX Video Play Control";
constexpr wchar_t kVersionLine[] = L"Pelmar/OCX Video Play Version 1.0 R.00";

HINSTANCE Resources() { return GetModuleHandleW(nullptr); }

// What the checks inside the dialog's loop saw.
struct AboutView {
  HWND dialog = nullptr;
  HWND owner = nullptr;
  RECT window = {};
  POINT client_origin = {};  // on the screen
  bool focus_on_ok = false;
  bool has_icon = false;
  bool addresses_sunken = false;
  bool centred_style = true;
};

void Look(HWND dialog, AboutView* view) {
  view->dialog = dialog;
  view->owner = GetWindow(dialog, GW_OWNER);
  GetWindowRect(dialog, &view->window);
  view->client_origin = POINT{0, 0};
  ClientToScreen(dialog, &view->client_origin);
  view->focus_on_ok = GetFocus() == GetDlgItem(dialog, IDOK);
  view->centred_style = (GetWindowLongW(dialog, GWL_STYLE) & DS_CENTER) != 0;
  view->addresses_sunken = true;
  for (int id : {ZU_IDC_PLAY_ABOUT_HOME, ZU_IDC_PLAY_ABOUT_SUPPORT}) {
    if (!(GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & SS_SUNKEN)) {
      view->addresses_sunken = false;
    }
  }
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0) {
      view->has_icon = true;
    }
  }
}

class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetActiveWindow(), nullptr) << "a test left a window active"; }
};

TEST_F(AboutBoxTest, ShowsItsTextsAndClosesWithOk) {
  ModalWatcher watcher;
  watcher.SetAnswer(IDOK);
  EXPECT_EQ(ShowAboutBox(Resources(), ZU_IDD_PLAY_ABOUT, nullptr), IDOK);
  ASSERT_TRUE(ExpectedDialog(watcher, kCaption, kVersionLine));
  const DialogRecord record = watcher.Seen().at(0);
  EXPECT_EQ(record.button_ids, std::vector<int>{IDOK});
  EXPECT_EQ(record.default_id, IDOK);
  EXPECT_EQ(record.answer, IDOK);
  EXPECT_EQ(record.attempts, 1) << "OK should close it at once";

  std::map<int, std::wstring> texts;
  for (const DialogControl& control : record.controls) texts[control.id] = control.text;
  EXPECT_EQ(texts[IDOK], L"OK");
  EXPECT_EQ(texts[ZU_IDC_PLAY_ABOUT_VERSION], kVersionLine);
  EXPECT_EQ(texts[ZU_IDC_PLAY_ABOUT_HOME_LABEL], L"Home Page: ");
  EXPECT_EQ(texts[ZU_IDC_PLAY_ABOUT_SUPPORT_LABEL], L"Support: ");
  // The maker's own lines: a notice that names the maker, a web address, a mail address.
  EXPECT_NE(texts[ZU_IDC_PLAY_ABOUT_LEGAL].find(L"Pelmar"), std::wstring::npos);
  EXPECT_EQ(texts[ZU_IDC_PLAY_ABOUT_HOME].rfind(L"http", 0), 0u) << Narrow(texts[ZU_IDC_PLAY_ABOUT_HOME]);
  EXPECT_NE(texts[ZU_IDC_PLAY_ABOUT_SUPPORT].find(L'@'), std::wstring::npos);
}

TEST_F(AboutBoxTest, WithoutOwnerOpensAtTheScreenOriginAndEscapeClosesIt) {
  ModalWatcher backstop(std::chrono::seconds(8));
  // Its first look runs as its thread starts; done before anything opens, the next is far off.
  ASSERT_TRUE(backstop.Sync());
  AboutView view;
  ModalDriver driver([&view] {
    HWND dialog = FindThreadDialog();
    if (!dialog) return false;
    Look(dialog, &view);
    // As a user would: Escape on the focused control, through the dialog's own loop.
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    return true;
  });
  EXPECT_EQ(ShowAboutBox(Resources(), ZU_IDD_PLAY_ABOUT, nullptr), IDCANCEL);
  ASSERT_TRUE(driver.finished());
  EXPECT_FALSE(IsWindow(view.dialog)) << "returned before the box was gone";
  EXPECT_EQ(view.owner, nullptr);
  // The client area would start at the origin; the system keeps the frame on the screen.
  EXPECT_EQ(view.window.left, 0);
  EXPECT_EQ(view.window.top, 0);
  EXPECT_FALSE(view.centred_style);
  EXPECT_TRUE(view.focus_on_ok);
  EXPECT_TRUE(view.has_icon) << "ICON 204 should show";
  EXPECT_TRUE(view.addresses_sunken);
  EXPECT_TRUE(NoDialogs(backstop)) << "the watcher should not have had to step in";
}

TEST_F(AboutBoxTest, OpensAtTheOwnersClientOriginAndReturnsAfterOk) {
  HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"owner", WS_POPUP | WS_BORDER, 120,
                               90, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  ShowWindow(owner, SW_SHOWNOACTIVATE);
  POINT origin = {0, 0};
  ClientToScreen(owner, &origin);

  ModalWatcher backstop(std::chrono::seconds(8));
  // Its first look runs as its thread starts; done before anything opens, the next is far off.
  ASSERT_TRUE(backstop.Sync());
  AboutView view;
  bool owner_disabled = false;
  ModalDriver driver([&] {
    HWND dialog = FindThreadDialog();
    if (!dialog) return false;
    Look(dialog, &view);
    owner_disabled = !IsWindowEnabled(owner);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return true;
  });
  EXPECT_EQ(ShowAboutBox(Resources(), ZU_IDD_PLAY_ABOUT, owner), IDOK);
  ASSERT_TRUE(driver.finished());
  EXPECT_FALSE(IsWindow(view.dialog));
  EXPECT_EQ(view.owner, owner);
  EXPECT_TRUE(owner_disabled) << "modal to its owner";
  EXPECT_TRUE(IsWindowEnabled(owner));
  // The template's origin places the box's client area, not its frame (observed under Wine).
  EXPECT_EQ(view.client_origin.x, origin.x);
  EXPECT_EQ(view.client_origin.y, origin.y);
  DestroyWindow(owner);
}

TEST_F(AboutBoxTest, ControlEntryReturnsSOkAfterTheBoxCloses) {
  ModalWatcher watcher;
  watcher.SetAnswer(IDCANCEL);
  EXPECT_EQ(RunControlAboutBox(Resources(), ZU_IDD_PLAY_ABOUT), S_OK);
  ASSERT_TRUE(watcher.WaitFor(1, std::chrono::milliseconds(0))) << "returned before any box";
  EXPECT_EQ(watcher.Seen().at(0).caption, kCaption);
  EXPECT_EQ(FindThreadDialog(), nullptr);
}

// The control's own AboutBox opens the same box through the automation interface.
TEST_F(AboutBoxTest, ThePlayControlsAboutBoxShowsTheBoxAndReturnsSOk) {
  Microsoft::WRL::ComPtr<IZuVideoPlayCtl> control;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_IZuVideoPlayCtl, &control), S_OK);
  ModalWatcher watcher;
  watcher.SetAnswer(IDOK);
  EXPECT_EQ(control->AboutBox(), S_OK);
  ASSERT_TRUE(watcher.WaitFor(1, std::chrono::milliseconds(0))) << "returned before any box";
  EXPECT_EQ(watcher.Seen().at(0).caption, kCaption);
  EXPECT_EQ(watcher.Seen().at(0).answer, IDOK);
}

TEST_F(AboutBoxTest, MissingTemplateShowsNothing) {
  ModalWatcher watcher;
  constexpr WORD kAbsent = 9999;
  EXPECT_EQ(ShowAboutBox(Resources(), kAbsent, nullptr), -1);
  EXPECT_EQ(RunControlAboutBox(Resources(), kAbsent), S_OK);
  EXPECT_TRUE(NoDialogs(watcher));
}

}  // namespace
}  // namespace zu::test
