// What the play control makes of the framework (which its own tests cover on the test control):
// its dispatch identifiers, type and class information, its object-safety option, that it offers
// only the property-notification point, and its property map with the exact stream it writes.
#include <windows.h>

#include <msstkppg.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "play/zu_video_play_ctl.h"
#include "shell/module.h"
#include "shell/registrar.h"
#include "shell/zuvplay/zuvplay_library.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

// A play control with the play type library registered in a sandbox.
class PlayFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_TRUE(sandbox_.Ok());
    RemovePlayLibraryEscapes(sandbox_);
    ASSERT_EQ(RegisterModuleTypeLibrary(BesideTestProgram(L"zu_video_play.tlb")), S_OK);
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&control_)), S_OK);
  }
  void TearDown() override {
    control_.Reset();
    Module::Current().Terminate();
    EXPECT_EQ(Module::Current().LockCount(), 0);
    CoUninitialize();
  }

  RegistrySandbox sandbox_;
  ComPtr<IZuVideoPlayCtl> control_;
};

TEST_F(PlayFramework, NamesGiveThePlayDispatchIdentifiers) {
  struct Row {
    const wchar_t* name;
    DISPID id;
  };
  for (const Row& row : {Row{L"BackColor", DISPID_BACKCOLOR}, Row{L"Picture", DISPID_PICTURE},
                         Row{L"FrameFormat", 1}, Row{L"SizeMode", 2}, Row{L"RefreshFrame", 3},
                         Row{L"RefreshFrameEx", 4}, Row{L"Version", 5},
                         Row{L"AboutBox", DISPID_ABOUTBOX}}) {
    DISPID id = 12345;
    LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
    EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK) << Narrow(row.name);
    EXPECT_EQ(id, row.id) << Narrow(row.name);
  }
}

TEST_F(PlayFramework, TypeAndClassInformationAreThePlayLibrarys) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(control_->GetTypeInfo(0, 0x409, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(IID_IZuVideoPlayCtl));
  info->ReleaseTypeAttr(attributes);

  ComPtr<IProvideClassInfo2> class_info;
  ASSERT_EQ(control_.As(&class_info), S_OK);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(class_info->GetClassInfo(&coclass), S_OK);
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(CLSID_ZuVideoPlay));
  coclass->ReleaseTypeAttr(attributes);
  GUID source = {};
  ASSERT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(GuidText(source), GuidText(DIID__IZuVideoPlayCtlEvents));
}

TEST_F(PlayFramework, IsSafeForUntrustedCallersOnly) {
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(control_->QueryInterface(IID_IObjectSafety,
                                     reinterpret_cast<void**>(safety.GetAddressOf())),
            S_OK);
  DWORD supported = 0, enabled = 0;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER));
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                              INTERFACESAFE_FOR_UNTRUSTED_DATA),
            E_FAIL);
}

// Its class names an event interface as default source, but it fires no events.
TEST_F(PlayFramework, OffersOnlyThePropertyNotificationPoint) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(control_.As(&container), S_OK);
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(container->FindConnectionPoint(DIID__IZuVideoPlayCtlEvents, &point),
            CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  IID iid = {};
  EXPECT_EQ(listed[0]->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(GuidText(iid), GuidText(IID_IPropertyNotifySink));
  listed[0]->Release();
}

TEST_F(PlayFramework, ItsSettersNotifyWithItsDispatchIdentifiersOnly) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(control_.As(&container), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
  std::vector<std::string> log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  ASSERT_EQ(control_->put_FrameFormat(vpyFormatPNG), S_OK);
  ASSERT_EQ(control_->put_SizeMode(vpySizeZOOM), S_OK);
  ASSERT_EQ(control_->put_Version(3), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{"sink changed 1", "sink changed 2"}));
  ASSERT_EQ(point->Unadvise(cookie), S_OK);
}

TEST_F(PlayFramework, ADefaultControlWritesExactlyTheseBytes) {
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(control_.As(&persist), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(persist->InitNew(), S_OK);
  ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
  const std::vector<uint8_t> expected = {
      0x00, 0x03, 0x00, 0x00,                          // map version
      0x03, 0x00, 0x00, 0x00, 0x01, 0x00,              // _Version: VT_I4 65536
      0xD8, 0x13, 0x00, 0x00, 0xD8, 0x13, 0x00, 0x00,  // extent 5080 x 5080
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00,              // FrameFormat: VT_I4 0
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00,              // SizeMode: VT_I4 0
      0x13, 0x00, 0x0F, 0x00, 0x00, 0x80,              // BackColor: VT_UI4 0x8000000F
      0x09, 0x00,                                      // Picture: VT_DISPATCH, none
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  STATSTG stat = {};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  std::vector<uint8_t> saved(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start = {};
  ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
  ULONG read = 0;
  ASSERT_EQ(stream->Read(saved.data(), static_cast<ULONG>(saved.size()), &read), S_OK);
  EXPECT_EQ(saved, expected);
}

// Names, identifiers and pages in stream order; the bag keys are these names.
TEST(PlayPropertyMap, IsVersionExtentTheTwoEnumerationsThenTheStockProperties) {
  struct Row {
    const wchar_t* name;
    DISPID dispid;  // for property entries
    const CLSID* page;
    bool data;
  };
  const Row expected[] = {
      {L"_Version", 5, &CLSID_NULL, false},
      {L"_cx", 0, &CLSID_NULL, true},
      {L"_cy", 0, &CLSID_NULL, true},
      {L"FrameFormat", 1, &CLSID_ZuVPlayPpg, false},
      {L"SizeMode", 2, &CLSID_ZuVPlayPpg, false},
      {L"BackColor", DISPID_BACKCOLOR, &CLSID_StockColorPage, false},
      {L"Picture", DISPID_PICTURE, &CLSID_StockPicturePage, false},
  };
  size_t i = 0;
  for (const PropertyMapEntry* entry = kPlayPropertyMap; !IsEndOfMap(*entry); ++entry, ++i) {
    ASSERT_LT(i, sizeof expected / sizeof expected[0]) << "more entries than expected";
    const Row& row = expected[i];
    EXPECT_EQ(std::wstring(entry->name), row.name) << i;
    EXPECT_EQ(IsDataEntry(*entry), row.data) << i;
    if (!row.data) {
      EXPECT_EQ(entry->dispid, row.dispid) << i;
    }
    EXPECT_EQ(GuidText(*entry->page), GuidText(*row.page)) << i;
  }
  EXPECT_EQ(i, sizeof expected / sizeof expected[0]);
  std::vector<CLSID> pages = PropertyPages(kPlayPropertyMap);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(GuidText(pages[0]), GuidText(CLSID_ZuVPlayPpg));
  EXPECT_EQ(GuidText(pages[1]), GuidText(CLSID_StockColorPage));
  EXPECT_EQ(GuidText(pages[2]), GuidText(CLSID_StockPicturePage));
}

}  // namespace
}  // namespace zu::test
