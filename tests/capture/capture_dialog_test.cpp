// The driver's dialogs from the methods, the verbs and the popup menu's commands; message 106
// where the driver has no such dialog; the format read back after the method's dialog only; the
// menu resource in its two languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shell/module.h"
#include "shell/zuvcap/zuvcap_resources.h"
#include "tests/capture/capture_test_support.h"

namespace zu::test {
namespace {

using Dialogs = CaptureFixture;

std::string NoDialog() {
  return "Pelmar/OCX VideoCapture: " +
         Expected("A camera dosen't support dialog for the estabt.",
                  "カメラは、設定用ダイアログをサポートしていません。");
}

struct Path {
  const char* what;
  std::function<HRESULT(ZuVideoCapCtl*, int dialog)> open;  // dialog 0 format, 1 source, 2 display
  HRESULT result;
};

const Path kPaths[] = {
    {"method",
     [](ZuVideoCapCtl* c, int d) {
       return d == 0 ? c->ShowVideoFormat() : d == 1 ? c->ShowVideoSource() : c->ShowVideoDisplay();
     },
     S_OK},
    {"verb",
     [](ZuVideoCapCtl* c, int d) {
       return static_cast<IOleObject*>(c)->DoVerb(d + 1, nullptr, nullptr, 0, nullptr, nullptr);
     },
     E_NOTIMPL},
    {"menu command",
     [](ZuVideoCapCtl* c, int d) {
       SendMessageW(c->Window(), WM_COMMAND, ZU_IDM_CAP_VIDEO_FORMAT + d, 0);
       return S_OK;
     },
     S_OK},
};
const char* const kCaptions[] = {"Video Format", "Video Source", "Video Display"};
const UINT kMessages[] = {WM_CAP_DLG_VIDEOFORMAT, WM_CAP_DLG_VIDEOSOURCE, WM_CAP_DLG_VIDEODISPLAY};

size_t Count(const std::vector<UINT>& messages, UINT message) {
  size_t n = 0;
  for (UINT m : messages) n += m == message;
  return n;
}

// Every path opens every dialog the driver has, modally, and the watcher closes it.
TEST_F(Dialogs, EveryPathOpensTheDriversDialog) {
  ASSERT_NE(MakeWindow(), nullptr);
  for (const Path& path : kPaths) {
    for (int dialog = 0; dialog < 3; ++dialog) {
      const size_t before = Count(CaptureMessages(), kMessages[dialog]);
      EXPECT_EQ(path.open(self_, dialog), path.result) << path.what << " " << dialog;
      EXPECT_EQ(Count(CaptureMessages(), kMessages[dialog]), before + 1) << path.what;
      const std::vector<std::string> boxes = MessageBoxes();
      ASSERT_EQ(boxes.size(), 1u) << path.what << " " << dialog;
      EXPECT_EQ(boxes[0].substr(0, boxes[0].find(':')), kCaptions[dialog]) << path.what;
    }
  }
}

// A driver without dialogs, or no capture window at all: message 106 from the methods and verbs;
// the menu commands say it for a driver without the dialog and do nothing without a window.
TEST_F(Dialogs, WithoutTheDialogTheUserIsToldSo) {
  Configure("driver 0 dialogs=none");
  ASSERT_NE(MakeWindow(), nullptr);
  for (const Path& path : kPaths) {
    for (int dialog = 0; dialog < 3; ++dialog) {
      EXPECT_EQ(path.open(self_, dialog), path.result) << path.what;
      EXPECT_EQ(MessageBoxes(), std::vector<std::string>{NoDialog()}) << path.what << " " << dialog;
      EXPECT_EQ(Count(CaptureMessages(), kMessages[dialog]), 0u) << path.what;
    }
  }
  DestroyWindowOfControl();
  Configure("window fail");
  ASSERT_NE(MakeWindow(), nullptr);
  ASSERT_EQ(self_->CaptureWindowHandle(), nullptr);
  EXPECT_EQ(control_->ShowVideoSource(), S_OK);
  EXPECT_EQ(MessageBoxes(), std::vector<std::string>{NoDialog()});
  SendMessageW(self_->Window(), WM_COMMAND, ZU_IDM_CAP_VIDEO_SOURCE, 0);
  EXPECT_TRUE(MessageBoxes().empty()) << "the menu commands need a capture window";
}

// The user's choice in the format dialog flows back through the setters after the method, the
// width rounded down to 8; after the menu command the properties stay as they were.
TEST_F(Dialogs, TheFormatChosenFlowsBackOnlyAfterTheMethod) {
  Configure("driver 0 pick=203x150x8");
  ASSERT_NE(MakeWindow(), nullptr);
  SendMessageW(self_->Window(), WM_COMMAND, ZU_IDM_CAP_VIDEO_FORMAT, 0);
  MessageBoxes();
  LONG width = 0, height = 0;
  VcpBitCount bits = vcpBit1;
  control_->get_CaptureWidth(&width);
  control_->get_CaptureHeight(&height);
  control_->get_BitCount(&bits);
  EXPECT_EQ(width, 80);
  EXPECT_EQ(height, 60);
  EXPECT_EQ(bits, vcpBit24);

  std::vector<std::string> log;
  PropertySink sink(&log, "");
  AdvisePropertySink(&sink);
  EXPECT_EQ(control_->ShowVideoFormat(), S_OK);
  MessageBoxes();
  control_->get_CaptureWidth(&width);
  control_->get_CaptureHeight(&height);
  control_->get_BitCount(&bits);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 150);
  EXPECT_EQ(bits, vcpBit8);
  EXPECT_EQ(log, (std::vector<std::string>{" changed 6", " changed 7", " changed 1"}));
  BITMAPINFOHEADER format = {};
  ASSERT_TRUE(simcam_.driver_format(0, &format));
  EXPECT_EQ(format.biWidth, 200) << "the driver got the control's properties again";
  DestroyWindowOfControl();
  control_.Reset();  // before the sink goes
  self_ = nullptr;
}

TEST(CaptureMenu, HoldsTheThreeDialogCommandsInItsLanguage) {
  HMENU menu = LoadMenuW(ThisImage(), MAKEINTRESOURCEW(ZU_IDM_CAP_POPUP));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(popup, nullptr);
  wchar_t title[32] = {};
  GetMenuStringW(menu, 0, title, 32, MF_BYPOSITION);
  EXPECT_STREQ(title, L"POPUP00");
  ASSERT_EQ(GetMenuItemCount(popup), 3);
  const char* english[] = {"Video&Format Dialog", "Video&Source Dialog", "Video&Display Dialog"};
  const char* japanese[] = {"Video&Formatダイアログ", "Video&Sourceダイアログ",
                            "Video&Displayダイアログ"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetMenuItemID(popup, i), static_cast<UINT>(ZU_IDM_CAP_VIDEO_FORMAT + i));
    wchar_t text[64] = {};
    GetMenuStringW(popup, i, text, 64, MF_BYPOSITION);
    EXPECT_EQ(Utf8(text), Expected(english[i], japanese[i]));
  }
  DestroyMenu(menu);
}

}  // namespace
}  // namespace zu::test
