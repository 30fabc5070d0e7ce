// The capture control's properties without a window: defaults, the setters' validation,
// comparison and notification rules, the bit-count conversions and the stock properties'
// permission refusal.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/capture/capture_test_support.h"

namespace zu::test {
namespace {

using Properties = CaptureFixture;

using Values = std::map<std::string, long>;

// Every property read through the interface.
Values Read(IZuVideoCapCtl* c) {
  LONG width = 0, height = 0, elapse = 0, system = 0, popup = 0, version = 0;
  VcpBitCount bits = vcpBit1;
  VcpCaptureFormat format = vcpFormatPNG;
  VARIANT_BOOL ex = 1;
  short device = 0, custom = 0;
  OLE_COLOR back = 0;
  IPictureDisp* picture = reinterpret_cast<IPictureDisp*>(1);
  c->get_CaptureWidth(&width);
  c->get_CaptureHeight(&height);
  c->get_BitCount(&bits);
  c->get_CustomBitCount(&custom);
  c->get_CaptureElapse(&elapse);
  c->get_CaptureFormat(&format);
  c->get_CaptureExEvent(&ex);
  c->get_DeviceID(&device);
  c->get_EnableSystemDriverSetting(&system);
  c->get_EnablePopupMenu(&popup);
  c->get_BackColor(&back);
  c->get_Picture(&picture);
  c->get_Version(&version);
  return {{"CaptureWidth", width},        {"CaptureHeight", height},
          {"BitCount", bits},             {"CustomBitCount", custom},
          {"CaptureElapse", elapse},      {"CaptureFormat", format},
          {"CaptureExEvent", ex},         {"DeviceID", device},
          {"EnableSystemDriverSetting", system}, {"EnablePopupMenu", popup},
          {"BackColor", static_cast<long>(back)}, {"Picture", picture != nullptr},
          {"Version", version}};
}

const Values kDefaults = {{"CaptureWidth", 80},   {"CaptureHeight", 60},
                          {"BitCount", 4},        {"CustomBitCount", 24},
                          {"CaptureElapse", 3000}, {"CaptureFormat", 0},
                          {"CaptureExEvent", 0},  {"DeviceID", -1},
                          {"EnableSystemDriverSetting", 0}, {"EnablePopupMenu", 0},
                          {"BackColor", static_cast<long>(0x8000000F)}, {"Picture", 0},
                          {"Version", 65536}};

TEST_F(Properties, ANewControlHoldsTheDefaults) { EXPECT_EQ(Read(control_.Get()), kDefaults); }

struct SetterRow {
  const char* what;
  std::function<HRESULT(IZuVideoCapCtl*)> set;
  Values changed;           // what differs from the defaults afterwards
  std::string notices;      // the property sink's log, ";" between entries
};

// One row a rule of the setters; each starts from a new control (one driver, at index 0).
TEST_F(Properties, SettersValidateCompareAndNotifyAsTheirRulesSay) {
  const SetterRow rows[] = {
      {"width 85 rounds to the default 80", [](auto* c) { return c->put_CaptureWidth(85); }, {}, ""},
      {"width rounds towards zero", [](auto* c) { return c->put_CaptureWidth(-15); },
       {{"CaptureWidth", -8}}, "changed 6"},
      {"width 7 is 0", [](auto* c) { return c->put_CaptureWidth(7); }, {{"CaptureWidth", 0}},
       "changed 6"},
      {"height takes any value", [](auto* c) { return c->put_CaptureHeight(61); },
       {{"CaptureHeight", 61}}, "changed 7"},
      {"an equal height says nothing", [](auto* c) { return c->put_CaptureHeight(60); }, {}, ""},
      {"bit count 9 is 24, the default",
       [](auto* c) { return c->put_BitCount(static_cast<VcpBitCount>(9)); }, {}, ""},
      {"bit count 8 bits sets the custom count",
       [](auto* c) { return c->put_BitCount(vcpBit8); },
       {{"BitCount", 2}, {"CustomBitCount", 8}}, "changed 1"},
      {"custom bit count keeps the custom count",
       [](auto* c) { return c->put_BitCount(vcpBitCustom); }, {{"BitCount", 6}}, "changed 1"},
      {"custom 12 is custom", [](auto* c) { return c->put_CustomBitCount(12); },
       {{"BitCount", 6}, {"CustomBitCount", 12}}, "changed 14"},
      {"custom 16 is 16 bits", [](auto* c) { return c->put_CustomBitCount(16); },
       {{"BitCount", 3}, {"CustomBitCount", 16}}, "changed 14"},
      {"custom 24 again still notifies", [](auto* c) { return c->put_CustomBitCount(24); }, {},
       "changed 14"},
      {"format 5 is BMP, the default",
       [](auto* c) { return c->put_CaptureFormat(static_cast<VcpCaptureFormat>(5)); }, {}, ""},
      {"format PNG", [](auto* c) { return c->put_CaptureFormat(vcpFormatPNG); },
       {{"CaptureFormat", 1}}, "changed 3"},
      {"elapse", [](auto* c) { return c->put_CaptureElapse(40); }, {{"CaptureElapse", 40}},
       "changed 2"},
      {"an equal elapse says nothing", [](auto* c) { return c->put_CaptureElapse(3000); }, {}, ""},
      {"ex event is not compared", [](auto* c) { return c->put_CaptureExEvent(VARIANT_FALSE); },
       {}, "changed 10"},
      {"ex event true is -1", [](auto* c) { return c->put_CaptureExEvent(VARIANT_TRUE); },
       {{"CaptureExEvent", -1}}, "changed 10"},
      {"a device without a driver is ignored", [](auto* c) { return c->put_DeviceID(7); }, {},
       "changed 12"},
      {"a device with a driver", [](auto* c) { return c->put_DeviceID(0); }, {{"DeviceID", 0}},
       "changed 12"},
      {"system setting", [](auto* c) { return c->put_EnableSystemDriverSetting(5); },
       {{"EnableSystemDriverSetting", 5}}, "changed 13"},
      {"popup menu is not compared", [](auto* c) { return c->put_EnablePopupMenu(0); }, {},
       "changed 15"},
      {"version is ignored", [](auto* c) { return c->put_Version(3); }, {}, ""},
  };
  for (const SetterRow& row : rows) {
    Microsoft::WRL::ComPtr<IZuVideoCapCtl> fresh;
    ASSERT_EQ(CreateComObject<ZuVideoCapCtl>(nullptr, IID_PPV_ARGS(&fresh)), S_OK);
    control_ = fresh;
    self_ = static_cast<ZuVideoCapCtl*>(fresh.Get());
    std::vector<std::string> log;
    PropertySink sink(&log, "");
    AdvisePropertySink(&sink);
    EXPECT_EQ(row.set(fresh.Get()), S_OK) << row.what;
    Values expected = kDefaults;
    for (const auto& [name, value] : row.changed) expected[name] = value;
    EXPECT_EQ(Read(fresh.Get()), expected) << row.what;
    std::string notices;
    for (const std::string& entry : log) notices += (notices.empty() ? "" : ";") + entry.substr(1);
    EXPECT_EQ(notices, row.notices) << row.what;
    // The control goes before its sink.
    fresh.Reset();
    control_.Reset();
    self_ = nullptr;
  }
  EXPECT_TRUE(MessageBoxes().empty()) << "no setter shows anything without a window";
}

TEST(BitCountConversions, FollowTheirTables) {
  const struct {
    LONG bit_count;
    int16_t custom;
    uint32_t bits;
  } to_bits[] = {{0, 0, 1},  {1, 0, 4},  {2, 0, 8},     {3, 0, 16},     {4, 0, 24},
                 {5, 0, 32}, {6, 12, 12}, {6, -1, 65535}, {7, 12, 24}, {-1, 12, 24}};
  for (const auto& row : to_bits) {
    EXPECT_EQ(BitCountToBits(row.bit_count, row.custom), row.bits) << row.bit_count;
  }
  const struct {
    uint32_t bits;
    LONG bit_count;
  } to_count[] = {{1, 0}, {4, 1}, {8, 2}, {16, 3}, {24, 4}, {32, 5}, {12, 6}, {0, 6}, {2, 6}};
  for (const auto& row : to_count) EXPECT_EQ(BitsToBitCount(row.bits), row.bit_count) << row.bits;
}

// A container that refuses the edit keeps the old colour; the control's own setters never ask.
TEST_F(Properties, StockPropertiesAskFirstAndARefusalChangesNothing) {
  std::vector<std::string> log;
  PropertySink sink(&log, "");
  sink.refuse = true;
  AdvisePropertySink(&sink);
  EXPECT_EQ(control_->put_BackColor(0x00FF00), S_FALSE);
  OLE_COLOR color = 0;
  control_->get_BackColor(&color);
  EXPECT_EQ(color, 0x8000000Fu);
  EXPECT_EQ(control_->put_CaptureElapse(10), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{" request -501", " changed 2"}));
  control_.Reset();  // before the sink goes
  self_ = nullptr;
}

}  // namespace
}  // namespace zu::test
