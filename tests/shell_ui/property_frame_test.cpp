// The play page in the system's property frame (OleCreatePropertyFrame), found and driven from
// inside the frame's modal loop. The page class is registered for this process only, so the
// frame's CoCreateInstance reaches it without touching the registry.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "play/zu_video_play_ctl.h"
#include "shell/class_table.h"
#include "shell/module.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "shell/zuvplay/zu_video_play_ppg.h"
#include "tests/shell/com_assertions.h"
#include "tests/support/modal_watcher.h"
#include "tests/shell_ui/ui_test_support.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

// The page the frame created, for the checks inside the frame's loop. Not a reference: whether
// the frame lets the page go is part of what is tested.
IPropertyPage* g_frame_page = nullptr;
int g_pages_created = 0;

HRESULT CreateRecordedPage(IUnknown* outer, REFIID riid, void** object) {
  HRESULT hr = ZuVideoPlayPpg::CreateInstance(outer, riid, object);
  if (SUCCEEDED(hr)) {
    ++g_pages_created;
    if (IsEqualIID(riid, IID_IPropertyPage)) g_frame_page = static_cast<IPropertyPage*>(*object);
  }
  return hr;
}

// What the checks inside the frame saw.
struct FrameView {
  HWND sheet = nullptr;
  HWND page = nullptr;
  std::wstring tab_title;
  std::vector<std::wstring> formats, modes;
  long format = -2, mode = -2;
  bool page_inside_sheet = false;
  HRESULT dirty_before = E_FAIL, dirty_after = E_FAIL;
};

class PropertyFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    entry_ = ClassEntry{&CLSID_ZuVPlayPpg, 0, CreateRecordedPage, nullptr};
    factory_.Attach(NewClassFactory(entry_));
    ASSERT_TRUE(factory_);
    factory_->Release();  // MinGW's Attach took a second reference
    ASSERT_EQ(CoRegisterClassObject(CLSID_ZuVPlayPpg, factory_.Get(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_IZuVideoPlayCtl,
                                     reinterpret_cast<void**>(control_.GetAddressOf())),
              S_OK);
    g_frame_page = nullptr;
    g_pages_created = 0;
  }

  void TearDown() override {
    if (cookie_) CoRevokeClassObject(cookie_);
    control_.Reset();
    factory_.Reset();
    OleUninitialize();
  }

  ClassEntry entry_ = {};
  ComPtr<IClassFactory> factory_;
  DWORD cookie_ = 0;
  ComPtr<IZuVideoPlayCtl> control_;
};

TEST_F(PropertyFrameTest, FrameShowsThePageWithTheControlsValues) {
  ASSERT_EQ(control_->put_FrameFormat(vpyFormatPNG), S_OK);
  ASSERT_EQ(control_->put_SizeMode(vpySizeZOOM), S_OK);
  const LONG locks_before = Module::Current().LockCount();

  FrameView view;
  // Backstop only: the driver closes the frame; a slow watcher leaves it the time to look.
  ModalWatcher watcher(std::chrono::seconds(8));
  // Its first look runs as its thread starts; done before anything opens, the next is far off.
  ASSERT_TRUE(watcher.Sync());
  ModalDriver driver([&view] {
    view.sheet = FindThreadDialog();
    if (!view.sheet) return false;
    view.page = GetParent(FindDescendant(view.sheet, ZU_IDC_PLAY_FRAME_FORMAT, L"ComboBox"));
    if (!view.page || !IsWindowVisible(view.page)) return false;
    view.page_inside_sheet = IsChild(view.sheet, view.page) != FALSE;
    const HWND frame_list = GetDlgItem(view.page, ZU_IDC_PLAY_FRAME_FORMAT);
    const HWND mode_list = GetDlgItem(view.page, ZU_IDC_PLAY_SIZE_MODE);
    view.formats = ListEntries(frame_list);
    view.modes = ListEntries(mode_list);
    view.format = ListSelection(frame_list);
    view.mode = ListSelection(mode_list);
    if (HWND tab = FindWindowExW(view.sheet, nullptr, WC_TABCONTROLW, nullptr)) {
      wchar_t title[64] = {};
      TCITEMW item = {};
      item.mask = TCIF_TEXT;
      item.pszText = title;
      item.cchTextMax = 64;
      if (SendMessageW(tab, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) view.tab_title = title;
    }
    if (g_frame_page) view.dirty_before = g_frame_page->IsPageDirty();
    ChooseListEntry(mode_list, 2);
    if (g_frame_page) view.dirty_after = g_frame_page->IsPageDirty();
    PostMessageW(view.sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return true;
  });

  IUnknown* objects[] = {control_.Get()};
  CLSID pages[] = {CLSID_ZuVPlayPpg};
  const HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, L"Play", 1, objects, 1, pages,
                                            LOCALE_USER_DEFAULT, 0, nullptr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(driver.finished()) << "the page never appeared in the frame";
  EXPECT_EQ(g_pages_created, 1);

  EXPECT_TRUE(view.page_inside_sheet);
  EXPECT_EQ(view.tab_title, L"General");
  EXPECT_EQ(view.formats, (std::vector<std::wstring>{L"0 - vpyFormatBMP", L"1 - vpyFormatPNG"}));
  EXPECT_EQ(view.modes.size(), 3u);
  EXPECT_EQ(view.format, 1);
  EXPECT_EQ(view.mode, 1);
  EXPECT_EQ(view.dirty_before, S_FALSE);
  EXPECT_EQ(view.dirty_after, S_OK);
  for (const DialogRecord& record : watcher.Seen()) {
    ADD_FAILURE() << "the watcher had to close a dialog: " << ::testing::PrintToString(record);
  }

  // Cancelled: nothing applied. The frame released the page, and the page its objects.
  VpySizeMode mode = vpySizeCLIP;
  ASSERT_EQ(control_->get_SizeMode(&mode), S_OK);
  EXPECT_EQ(mode, vpySizeZOOM);
  EXPECT_TRUE(HasReferences(control_.Get(), 1));
  EXPECT_EQ(Module::Current().LockCount(), locks_before) << "the page is still alive";
}

}  // namespace
}  // namespace zu::test
