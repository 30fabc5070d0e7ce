// The capture property page driven through IPropertyPage on real capture controls, with the
// simulated camera's drivers behind the device list: what the page shows, the device numbering,
// the driver-setting rule, the bit count entries, dirty notices, Apply as the controls and their
// property sinks see it, page information and the dialog template. (The failure rule of Apply
// is the framework's, tested with the play page.)
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "shell/zuvcap/zu_video_cap_ppg.h"
#include "shell/zuvcap/zuvcap_resources.h"
#include "tests/capture/capture_test_support.h"
#include "tests/shell_ui/page_test_support.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

const RECT kPageRect = {0, 0, 390, 340};

class CapturePageTest : public CaptureFixture {
 protected:
  void SetUp() override {
    CaptureFixture::SetUp();
    ASSERT_EQ(ZuVideoCapPpg::CreateInstance(nullptr, IID_PPV_ARGS(&page_)), S_OK);
    ASSERT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&second_)), S_OK);
  }
  void TearDown() override {
    page_.Reset();
    EXPECT_EQ(site_.references(), 0u);
    EXPECT_EQ(plain_.references(), 0u);
    second_.Reset();
    CaptureFixture::TearDown();
  }

  // A frame's opening sequence: site, objects, activation, show.
  void Open(std::vector<IUnknown*> objects) {
    ASSERT_EQ(page_->SetPageSite(&site_), S_OK);
    ASSERT_EQ(page_->SetObjects(static_cast<ULONG>(objects.size()), objects.data()), S_OK);
    Reload();
  }
  // A new activation, which loads the first control again.
  void Reload() {
    ASSERT_EQ(page_->Activate(parent_, &kPageRect, TRUE), S_OK);
    ASSERT_EQ(page_->Show(SW_SHOW), S_OK);
  }
  HWND Item(int id) const {
    return GetDlgItem(static_cast<PropertyPageImpl*>(page_.Get())->Window(), id);
  }
  std::string ItemText(int id) const { return Ascii(WindowText(Item(id))); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // Which of width, height, bit count and custom bits take input, as "+" and "-".
  std::string Enabled() const {
    std::string marks;
    for (int id : {ZU_IDC_CAP_PAGE_WIDTH, ZU_IDC_CAP_PAGE_HEIGHT, ZU_IDC_CAP_PAGE_BIT_COUNT,
                   ZU_IDC_CAP_PAGE_CUSTOM_BITS}) {
      marks += IsWindowEnabled(Item(id)) ? '+' : '-';
    }
    return marks;
  }
  // What the page shows, in the order of Apply; list entries by position.
  std::string View() const {
    std::ostringstream out;
    out << "width=" << ItemText(ZU_IDC_CAP_PAGE_WIDTH)
        << " height=" << ItemText(ZU_IDC_CAP_PAGE_HEIGHT)
        << " bits=" << ListSelection(Item(ZU_IDC_CAP_PAGE_BIT_COUNT))
        << " elapse=" << ItemText(ZU_IDC_CAP_PAGE_ELAPSE)
        << " format=" << ListSelection(Item(ZU_IDC_CAP_PAGE_FORMAT))
        << " device=" << ListSelection(Item(ZU_IDC_CAP_PAGE_DEVICE))
        << " system=" << Checked(ZU_IDC_CAP_PAGE_SYSTEM_SETTING)
        << " custom=" << ItemText(ZU_IDC_CAP_PAGE_CUSTOM_BITS)
        << " popup=" << Checked(ZU_IDC_CAP_PAGE_POPUP_MENU);
    return out.str();
  }
  static std::string Properties(IZuVideoCapCtl* control) {
    LONG width = 0, height = 0, elapse = 0, system = 0, popup = 0;
    VcpBitCount bits = vcpBit1;
    VcpCaptureFormat format = vcpFormatBMP;
    short device = 0, custom = 0;
    control->get_CaptureWidth(&width);
    control->get_CaptureHeight(&height);
    control->get_BitCount(&bits);
    control->get_CaptureElapse(&elapse);
    control->get_CaptureFormat(&format);
    control->get_DeviceID(&device);
    control->get_EnableSystemDriverSetting(&system);
    control->get_CustomBitCount(&custom);
    control->get_EnablePopupMenu(&popup);
    std::ostringstream out;
    out << "width=" << width << " height=" << height << " bits=" << bits << " elapse=" << elapse
        << " format=" << format << " device=" << device << " system=" << system
        << " custom=" << custom << " popup=" << popup;
    return out.str();
  }
  FakePageSite site_;
  PlainObject plain_;
  // Outlive the controls they are advised on.
  std::vector<std::string> log_;
  PropertySink sink_a_{&log_, "A"}, sink_b_{&log_, "B"};
  ComPtr<IPropertyPage> page_;
  ComPtr<IZuVideoCapCtl> second_;
};

// ---------------------------------------------------------------- what the page shows

TEST_F(CapturePageTest, NewControlShowsItsDefaults) {
  Open({control_.Get()});
  EXPECT_EQ(View(),
            "width=80 height=60 bits=4 elapse=3000 format=0 device=0 system=0 custom=24 popup=0");
  EXPECT_EQ(Enabled(), "+++-") << "custom bits only for the custom entry";
  EXPECT_EQ(ListEntries(Item(ZU_IDC_CAP_PAGE_BIT_COUNT)),
            (std::vector<std::wstring>{L"0 - vcpBit1", L"1 - vcpBit4", L"2 - vcpBit8",
                                       L"3 - vcpBit16", L"4 - vcpBit24", L"5 - vcpBit32",
                                       L"6 - vcpBitCustom"}));
  EXPECT_EQ(ListEntries(Item(ZU_IDC_CAP_PAGE_FORMAT)),
            (std::vector<std::wstring>{L"0 - vcpFormatBMP", L"1 - vcpFormatPNG"}));
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_TRUE(site_.status_changes.empty()) << "filling the edits is not an edit";
}

// The first object that answers the control's interface shows; Apply skips the plain object
// and writes every control in the frame's order, each edit to a value neither control has.
TEST_F(CapturePageTest, ShowsTheFirstControlAndAppliesToEveryControl) {
  ASSERT_EQ(control_->put_CaptureWidth(320), S_OK);
  ASSERT_EQ(control_->put_CaptureHeight(240), S_OK);
  ASSERT_EQ(control_->put_CustomBitCount(12), S_OK);  // BitCount 6
  ASSERT_EQ(control_->put_CaptureElapse(250), S_OK);
  ASSERT_EQ(second_->put_CaptureWidth(160), S_OK);
  AdvisePropertySink(&sink_a_);
  AdvisePropertySink(&sink_b_, second_.Get());
  Open({&plain_, control_.Get(), second_.Get()});
  EXPECT_GT(plain_.refused_queries, 0);
  EXPECT_EQ(View(),
            "width=320 height=240 bits=6 elapse=250 format=0 device=0 system=0 custom=12 popup=0");
  EXPECT_EQ(Enabled(), "++++");

  log_.clear();
  TypeText(Item(ZU_IDC_CAP_PAGE_WIDTH), L"85");
  TypeText(Item(ZU_IDC_CAP_PAGE_HEIGHT), L"120");
  ChooseListEntry(Item(ZU_IDC_CAP_PAGE_BIT_COUNT), 2);
  TypeText(Item(ZU_IDC_CAP_PAGE_ELAPSE), L"500");
  ChooseListEntry(Item(ZU_IDC_CAP_PAGE_FORMAT), 1);
  ChooseListEntry(Item(ZU_IDC_CAP_PAGE_DEVICE), 1);
  ClickButton(Item(ZU_IDC_CAP_PAGE_SYSTEM_SETTING));
  ClickButton(Item(ZU_IDC_CAP_PAGE_POPUP_MENU));
  EXPECT_EQ(ItemText(ZU_IDC_CAP_PAGE_CUSTOM_BITS), "8") << "the 8-bit entry's bits";
  EXPECT_EQ(page_->Apply(), S_OK);
  std::vector<std::string> expected;
  for (const char* name : {"A", "B"}) {
    for (const char* dispid : {"6", "7", "1", "2", "3", "12", "13", "14", "15"}) {
      expected.push_back(std::string(name) + " changed " + dispid);
    }
  }
  EXPECT_EQ(log_, expected);
  // The control rounds the width; the page shows what was typed until it loads again.
  const char* edited =
      "width=80 height=120 bits=2 elapse=500 format=1 device=0 system=1 custom=8 popup=1";
  EXPECT_EQ(Properties(control_.Get()), edited);
  EXPECT_EQ(Properties(second_.Get()), edited);
  EXPECT_EQ(ItemText(ZU_IDC_CAP_PAGE_WIDTH), "85");
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(site_.status_changes,
            std::vector<DWORD>{PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE})
      << "Apply lowers the flag without a notice";
  Reload();
  EXPECT_EQ(ItemText(ZU_IDC_CAP_PAGE_WIDTH), "80");

  // Without any control there is nothing to show or set.
  IUnknown* plain[] = {&plain_};
  ASSERT_EQ(page_->SetObjects(1, plain), S_OK);
  Reload();
  EXPECT_EQ(View(), "width= height= bits=-1 elapse= format=-1 device=-1 system=0 custom= popup=0");
  TypeText(Item(ZU_IDC_CAP_PAGE_ELAPSE), L"10");
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
}

// The number at the start of an entry names the driver, not the entry's position.
TEST_F(CapturePageTest, DeviceEntriesAreNumberedByDriverIndex) {
  const std::string gaps = "driver 0 name=Front; driver 2 name=\"Side Cam\"; driver 3 name=Back";
  const std::vector<std::wstring> gap_entries = {L"-1 - Auto Selection", L"0 - Front",
                                                 L"2 - Side Cam", L"3 - Back"};
  struct Row {
    std::string drivers;
    short device;
    std::vector<std::wstring> entries;
    long shown;
    long chosen;  // -1: left as shown
    short applied;
  };
  const Row rows[] = {
      {"driver 0 name=Solo", 0, {L"-1 - Auto Selection", L"0 - Solo"}, 1, -1, 0},
      {gaps, 3, gap_entries, 3, -1, 3},
      {gaps, 2, gap_entries, 2, 3, 3},
      {gaps, -1, gap_entries, 0, 2, 2},
      {"", -1, {L"-1 - Auto Selection"}, 0, -1, -1},
  };
  IUnknown* objects[] = {control_.Get()};
  ASSERT_EQ(page_->SetObjects(1, objects), S_OK);
  AdvisePropertySink(&sink_a_);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "\"" << row.drivers << "\", DeviceID " << row.device);
    Configure(row.drivers);
    ASSERT_EQ(control_->put_DeviceID(row.device), S_OK);
    Reload();
    log_.clear();
    const HWND list = Item(ZU_IDC_CAP_PAGE_DEVICE);
    EXPECT_EQ(ListEntries(list), row.entries);
    EXPECT_EQ(ListSelection(list), row.shown);
    if (row.chosen >= 0) ChooseListEntry(list, row.chosen);
    ASSERT_EQ(page_->Apply(), S_OK);
    short device = -9;
    ASSERT_EQ(control_->get_DeviceID(&device), S_OK);
    EXPECT_EQ(device, row.applied);
    EXPECT_NE(std::find(log_.begin(), log_.end(), "A changed 12"), log_.end());
  }
}

// ---------------------------------------------------------------- rules between the controls

TEST_F(CapturePageTest, SystemDriverSettingLocksWhatTheDriverWouldImpose) {
  struct Row {
    long entry;  // chosen before the clicks
    std::string cleared;
  };
  const Row rows[] = {{2, "+++-"}, {6, "++++"}, {4, "+++-"}};
  Open({control_.Get()});
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "bit count entry " << row.entry);
    ChooseListEntry(Item(ZU_IDC_CAP_PAGE_BIT_COUNT), row.entry);
    ClickButton(Item(ZU_IDC_CAP_PAGE_SYSTEM_SETTING));
    EXPECT_TRUE(Checked(ZU_IDC_CAP_PAGE_SYSTEM_SETTING));
    EXPECT_EQ(Enabled(), "----");
    EXPECT_TRUE(IsWindowEnabled(Item(ZU_IDC_CAP_PAGE_WIDTH_LABEL))) << "labels stay enabled";
    ClickButton(Item(ZU_IDC_CAP_PAGE_SYSTEM_SETTING));
    EXPECT_EQ(Enabled(), row.cleared);
  }
  // A control that keeps the driver's settings opens with them locked.
  ASSERT_EQ(control_->put_EnableSystemDriverSetting(1), S_OK);
  ASSERT_EQ(control_->put_BitCount(vcpBitCustom), S_OK);
  Reload();
  EXPECT_EQ(Enabled(), "----");
}

// Custom bits go after BitCount and decide it.
TEST_F(CapturePageTest, BitCountEntryAndCustomBitsTogether) {
  struct Row {
    long entry;
    const wchar_t* typed;  // into custom bits after the choice, or null
    std::string shown;     // custom bits' text and state after the choice
    VcpBitCount bits;      // applied
    short custom;
  };
  const Row rows[] = {
      {2, nullptr, "8-", vcpBit8, 8},    {0, nullptr, "1-", vcpBit1, 1},
      {6, nullptr, "24+", vcpBit24, 24}, {6, L"12", "12+", vcpBitCustom, 12},
      {5, nullptr, "32-", vcpBit32, 32},
  };
  Open({control_.Get()});
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "entry " << row.entry);
    ASSERT_EQ(control_->put_BitCount(vcpBit24), S_OK);
    Reload();
    ChooseListEntry(Item(ZU_IDC_CAP_PAGE_BIT_COUNT), row.entry);
    if (row.typed) TypeText(Item(ZU_IDC_CAP_PAGE_CUSTOM_BITS), row.typed);
    EXPECT_EQ(ItemText(ZU_IDC_CAP_PAGE_CUSTOM_BITS) + Enabled().substr(3), row.shown);
    ASSERT_EQ(page_->Apply(), S_OK);
    VcpBitCount bits = vcpBit1;
    short custom = 0;
    ASSERT_EQ(control_->get_BitCount(&bits), S_OK);
    ASSERT_EQ(control_->get_CustomBitCount(&custom), S_OK);
    EXPECT_EQ(bits, row.bits);
    EXPECT_EQ(custom, row.custom);
  }
}

// ---------------------------------------------------------------- dirty

TEST_F(CapturePageTest, EveryEditTellsTheSiteOnce) {
  struct Row {
    const char* action;
    std::function<void()> act;
    bool edit;
  };
  auto command = [this](int id, WORD code) {
    SendMessageW(GetParent(Item(id)), WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(Item(id)));
  };
  const Row rows[] = {
      {"type width", [&] { TypeText(Item(ZU_IDC_CAP_PAGE_WIDTH), L"1"); }, true},
      {"type height", [&] { TypeText(Item(ZU_IDC_CAP_PAGE_HEIGHT), L"2"); }, true},
      {"type elapse", [&] { TypeText(Item(ZU_IDC_CAP_PAGE_ELAPSE), L"3"); }, true},
      {"type custom bits", [&] { TypeText(Item(ZU_IDC_CAP_PAGE_CUSTOM_BITS), L"4"); }, true},
      {"choose bit count", [&] { ChooseListEntry(Item(ZU_IDC_CAP_PAGE_BIT_COUNT), 1); }, true},
      {"choose format", [&] { ChooseListEntry(Item(ZU_IDC_CAP_PAGE_FORMAT), 1); }, true},
      {"choose device", [&] { ChooseListEntry(Item(ZU_IDC_CAP_PAGE_DEVICE), 1); }, true},
      {"click system setting",
       [&] { ClickButton(Item(ZU_IDC_CAP_PAGE_SYSTEM_SETTING)); }, true},
      {"click popup menu", [&] { ClickButton(Item(ZU_IDC_CAP_PAGE_POPUP_MENU)); }, true},
      {"focus width", [&] { command(ZU_IDC_CAP_PAGE_WIDTH, EN_SETFOCUS); }, false},
      {"drop down format", [&] { command(ZU_IDC_CAP_PAGE_FORMAT, CBN_DROPDOWN); }, false},
  };
  ASSERT_EQ(control_->put_BitCount(vcpBitCustom), S_OK);  // custom bits open
  Open({control_.Get()});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.action);
    site_.status_changes.clear();
    row.act();
    EXPECT_EQ(page_->IsPageDirty(), row.edit ? S_OK : S_FALSE);
    // A new load lowers the flag and says so.
    Reload();
    EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
    const std::vector<DWORD> told = {PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE, 0};
    EXPECT_EQ(site_.status_changes, row.edit ? told : std::vector<DWORD>());
  }
}

// ---------------------------------------------------------------- page information and template

TEST_F(CapturePageTest, PageInfoNamesThePageAndSizesItByTheTemplateFont) {
  PageInfo info;
  ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
  EXPECT_EQ(Text(info.pszTitle), L"General");
  EXPECT_EQ(Text(info.pszDocString), L"ZuVCap Properties");
  EXPECT_EQ(Text(info.pszHelpFile), L"");
  EXPECT_EQ(info.dwHelpContext, 0u);
  const SIZE expected = DialogManagerPageSize(parent_, ZU_IDD_CAP_PAGE, 260, 202);
  EXPECT_EQ(info.size.cx, expected.cx);
  EXPECT_EQ(info.size.cy, expected.cy);
}

// A template control's kind, by its class atom and the type bits of its style.
std::string Kind(const DialogTemplateItem& item) {
  const DWORD type = item.style & 0x0F;
  if (item.class_atom == 0x0080 && type == BS_AUTOCHECKBOX) return "check";
  if (item.class_atom == 0x0080 && type == BS_GROUPBOX) return "group";
  if (item.class_atom == 0x0081 && (item.style & WS_BORDER)) return "edit";
  if (item.class_atom == 0x0082 && type == SS_LEFT) return "label";
  if (item.class_atom == 0x0085 && type == CBS_DROPDOWNLIST && (item.style & WS_VSCROLL)) {
    return "list";
  }
  return "other";
}

TEST(CapturePageTemplate, HoldsTheControlsOfItsTable) {
  struct Row {
    WORD id;
    const char* kind;
    const wchar_t* text;
    std::vector<int> rect;
  };
  const Row rows[] = {
      {209, "label", L"Device&ID", {15, 14, 59, 10}},
      {212, "list", L"", {75, 11, 87, 35}},
      {213, "check", L"EnableSystem&DriverSetting", {15, 33, 101, 10}},
      {0xFFFF, "group", L"DriverSetting", {15, 51, 207, 78}},
      {207, "label", L"Capture&Width: ", {22, 70, 59, 10}},
      {208, "edit", L"", {82, 70, 54, 13}},
      {210, "label", L"Capture&Height:", {22, 88, 59, 12}},
      {211, "edit", L"", {82, 88, 54, 13}},
      {201, "label", L"&BitCount: ", {22, 106, 59, 12}},
      {204, "list", L"", {82, 106, 84, 104}},
      {214, "edit", L"", {171, 106, 28, 13}},
      {0xFFFF, "label", L"bits", {204, 110, 12, 8}},
      {202, "label", L"Capture&Elapse: ", {15, 138, 59, 12}},
      {205, "edit", L"", {75, 138, 84, 13}},
      {203, "label", L"Capture&Format: ", {15, 156, 59, 12}},
      {206, "list", L"", {75, 156, 87, 35}},
      {215, "check", L"Enable&PopupMenu", {15, 177, 73, 10}},
  };
  const std::vector<uint8_t> bytes = DialogResource(ZU_IDD_CAP_PAGE);
  ASSERT_FALSE(bytes.empty()) << "DIALOG " << ZU_IDD_CAP_PAGE << " is not linked in";
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  EXPECT_EQ(layout.width, 260);
  EXPECT_EQ(layout.height, 202);
  EXPECT_EQ(layout.point_size, 8);
  EXPECT_STREQ(layout.face, L"MS Sans Serif");
  const DWORD style = *reinterpret_cast<const DWORD*>(bytes.data());
  EXPECT_EQ(style & (WS_CHILD | WS_CAPTION | DS_CONTROL),
            static_cast<DWORD>(WS_CHILD | DS_CONTROL));

  std::vector<DialogTemplateItem> items;
  ASSERT_TRUE(ReadDialogTemplateItems(bytes.data(), bytes.size(), &items));
  ASSERT_EQ(items.size(), std::size(rows));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const DialogTemplateItem& item = items[i];
    const Row& row = rows[i];
    SCOPED_TRACE(testing::Message() << "control " << i << ", id " << row.id);
    EXPECT_EQ(item.id, row.id);
    EXPECT_EQ(Kind(item), row.kind);
    EXPECT_EQ(item.text, row.text);
    EXPECT_EQ(ItemRectangle(item), row.rect);
    EXPECT_TRUE(item.style & WS_VISIBLE);
    const bool inert = Kind(item) == "label" || Kind(item) == "group";
    EXPECT_EQ((item.style & WS_TABSTOP) != 0, !inert);
    if (item.class_atom == 0x0081) {
      EXPECT_EQ((item.style & ES_AUTOHSCROLL) != 0, row.id == ZU_IDC_CAP_PAGE_WIDTH)
          << "only the width edit scrolls";
    }
  }
}

}  // namespace
}  // namespace zu::test
