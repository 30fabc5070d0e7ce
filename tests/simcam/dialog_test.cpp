// The driver's format, source and display dialogs: modal, owned by the capture window's
// top-level window, closed by OK or Cancel (answered by the modal watcher), applying what the
// simulated user picked only on OK.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "codec/frame_format.h"
#include "tests/simcam/simcam_test_support.h"
#include "tests/support/modal_watcher.h"

namespace zu::test {
namespace {

using SimCamDialogs = SimCamTest;

struct DialogRow {
  UINT message;
  const wchar_t* caption;
};
constexpr DialogRow kDialogs[] = {{WM_CAP_DLG_VIDEOFORMAT, L"Video Format"},
                                  {WM_CAP_DLG_VIDEOSOURCE, L"Video Source"},
                                  {WM_CAP_DLG_VIDEODISPLAY, L"Video Display"}};

std::string Caption(const wchar_t* caption) { return Utf8Path(caption); }

TEST_F(SimCamDialogs, EachOpensModalAndReturnsWhenClosedByOkOrCancel) {
  HWND window = Connected();
  for (const DialogRow& row : kDialogs) {
    for (int answer : {IDOK, IDCANCEL}) {
      SCOPED_TRACE(::testing::Message() << Caption(row.caption) << ", answer " << answer);
      ModalWatcher watcher;
      watcher.SetAnswer(answer);
      EXPECT_TRUE(Send(window, row.message));
      EXPECT_TRUE(ExpectedDialog(watcher, row.caption, L"Driver 0: Zu Simulated Camera"));
      const std::vector<DialogRecord> seen = watcher.Seen();
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].answer, answer);
      EXPECT_EQ(seen[0].attempts, 1) << "closed by its button";
      EXPECT_EQ(seen[0].thread_id, GetCurrentThreadId());
      const std::vector<SimCamLogEntry> log = api_.Log(window);
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.back().message, row.message);
      EXPECT_EQ(std::string(log.back().detail).substr(0, 2), answer == IDOK ? "ok" : "ca");
    }
  }
}

// Records, from inside the dialog's modal loop, who owns the open dialog and whether its owner
// is disabled.
HWND g_owner_seen = nullptr;
bool g_owner_was_enabled = true;
LRESULT CALLBACK LookAtDialog(HWND, LPVIDEOHDR) {
  HWND dialog = FindWindowW(L"#32770", L"Video Format");
  if (dialog != nullptr && IsWindowVisible(dialog)) {
    g_owner_seen = GetWindow(dialog, GW_OWNER);
    g_owner_was_enabled = IsWindowEnabled(g_owner_seen) != FALSE;
  }
  return TRUE;
}

TEST_F(SimCamDialogs, ADialogIsOwnedByTheCaptureWindowsTopLevelWindowAndFramesGoOn) {
  HWND window = Connected();
  Send(window, WM_CAP_SET_CALLBACK_FRAME, 0, reinterpret_cast<LPARAM>(LookAtDialog));
  Send(window, WM_CAP_SET_PREVIEWRATE, 20);
  Send(window, WM_CAP_SET_PREVIEW, TRUE);
  g_owner_seen = nullptr;
  {
    // Slow to answer, so that preview frames arrive while the dialog is open.
    ModalWatcher watcher(std::chrono::milliseconds(400));
    EXPECT_TRUE(Send(window, WM_CAP_DLG_VIDEOFORMAT));
  }
  EXPECT_EQ(g_owner_seen, parent_);
  EXPECT_FALSE(g_owner_was_enabled) << "modal: the owner is disabled while it is open";
  EXPECT_TRUE(IsWindowEnabled(parent_));
}

TEST_F(SimCamDialogs, TheFormatDialogAppliesThePickedFormatOnlyOnOk) {
  Configure("driver 0 sizes=160x120,320x240 bits=8,24 format=320x240x24 pick=160x120x8/16");
  HWND window = Connected();
  for (int answer : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
    ModalWatcher watcher;
    watcher.SetAnswer(answer);
    ASSERT_TRUE(Send(window, WM_CAP_DLG_VIDEOFORMAT));
    ASSERT_TRUE(watcher.WaitFor(1));
    // The lists open on the pick: what the user would have chosen before pressing a button.
    const std::vector<DialogRecord> seen = watcher.Seen();
    std::vector<std::wstring> texts;
    for (const DialogControl& control : seen[0].controls) texts.push_back(control.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"160 x 120"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"8 bits"), texts.end());
    const std::vector<uint8_t> format = QueryFormat(window);
    ASSERT_GE(format.size(), 40u);
    const BitmapHeader h = ReadBitmapHeader(format.data());
    if (answer == IDOK) {
      EXPECT_EQ(h.biWidth, 160);
      EXPECT_EQ(h.biHeight, 120);
      EXPECT_EQ(h.biBitCount, 8);
      EXPECT_EQ(h.biClrUsed, 16u);
      EXPECT_EQ(format.size(), 40u + 4 * 16);
    } else {
      EXPECT_EQ(h.biWidth, 320);
      EXPECT_EQ(h.biBitCount, 24);
    }
  }
}

TEST_F(SimCamDialogs, TheSourceAndDisplayDialogsApplyTheirPicksOnlyOnOk) {
  // Without noise, motion and caption, two frames in a row are the same picture.
  Configure("driver 0 format=160x120x24 pick=no-noise,still,no-caption");
  HWND window = Connected();
  auto frames_repeat = [&] {
    Callbacks().frames.clear();
    api_.push_frame(window);
    api_.push_frame(window);
    return Callbacks().frames.size() == 2 && Callbacks().frames[0].data == Callbacks().frames[1].data;
  };
  for (int answer : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
    ModalWatcher watcher;
    watcher.SetAnswer(answer);
    ASSERT_TRUE(Send(window, WM_CAP_DLG_VIDEOSOURCE));
    ASSERT_TRUE(Send(window, WM_CAP_DLG_VIDEODISPLAY));
    ASSERT_TRUE(watcher.WaitFor(2));
    EXPECT_EQ(frames_repeat(), answer == IDOK);
  }
  // Each dialog owns its part: with the caption back on, the frame counter changes the picture.
  Configure("driver 0 format=160x120x24 picture=no-noise,still,no-caption pick=caption");
  ASSERT_TRUE(frames_repeat());
  ModalWatcher watcher;
  watcher.SetAnswer(IDOK);
  ASSERT_TRUE(Send(window, WM_CAP_DLG_VIDEODISPLAY));
  EXPECT_FALSE(frames_repeat());
}

TEST_F(SimCamDialogs, NoDialogOpensWithoutADriverOrWhenTheDriverHasNone) {
  Configure("driver 0; driver 1 dialogs=none; driver 2 dialogs=source");
  HWND idle = NewCaptureWindow();
  HWND none = Connected(1);
  HWND source_only = Connected(2);
  ModalWatcher watcher;
  for (const DialogRow& row : kDialogs) {
    SCOPED_TRACE(Caption(row.caption));
    EXPECT_FALSE(Send(idle, row.message));
    EXPECT_FALSE(Send(none, row.message));
    if (row.message != WM_CAP_DLG_VIDEOSOURCE) {
      EXPECT_FALSE(Send(source_only, row.message));
    }
  }
  EXPECT_TRUE(NoDialogs(watcher));
  EXPECT_EQ(std::string(api_.Log(none).back().detail), "no such dialog");
}

}  // namespace
}  // namespace zu::test
