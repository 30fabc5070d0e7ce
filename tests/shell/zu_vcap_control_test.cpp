// The capture control as ZuVCap.dll serves it once registered: late binding through the
// registered type library, class information, error information and connection points, its
// object-safety answers, the stream and property bag it persists, and its about box.
#include <windows.h>

#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "shell/zuvcap/zuvcap_resources.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "tests/shell/test_pictures.h"
#include "tests/support/modal_watcher.h"
#include "zu_video_cap.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

// A capture control made by the DLL's class object, with the DLL registered in a sandbox.
class CaptureServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_TRUE(sandbox_.Ok());
    RemoveLibraryEscapes(sandbox_, IID_IZuVideoCapCtl, DIID__IZuVideoCapCtlEvents);
    ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
    control_ = NewControl();
    ASSERT_TRUE(control_);
  }
  void TearDown() override {
    control_.Reset();
    EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
    CoUninitialize();
  }

  ComPtr<IZuVideoCapCtl> NewControl() {
    ComPtr<IClassFactory> factory;
    ComPtr<IZuVideoCapCtl> control;
    EXPECT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoCapture, IID_PPV_ARGS(&factory)), S_OK);
    if (factory) EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&control)), S_OK);
    return control;
  }

  template <class I>
  ComPtr<I> As(IUnknown* object) {
    ComPtr<I> wanted;
    EXPECT_EQ(object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(wanted.GetAddressOf())), S_OK);
    return wanted;
  }

  // A late-bound call by name: the identifier from GetIDsOfNames, then Invoke.
  HRESULT Call(IZuVideoCapCtl* control, const wchar_t* name, WORD flags, VARIANT* argument,
               VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {argument, argument && flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                         argument ? 1u : 0u, argument && flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                           nullptr);
  }

  std::vector<uint8_t> Saved(IUnknown* control) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    EXPECT_EQ(As<IPersistStreamInit>(control)->Save(stream.Get(), TRUE), S_OK);
    return Contents(stream.Get());
  }
  static std::vector<uint8_t> Contents(IStream* stream) {
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
  }
  static ComPtr<IStream> StreamOf(const std::vector<uint8_t>& bytes) {
    ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return stream;
  }

  RegistrySandbox sandbox_;
  ServerDll dll_{L"ZuVCap.dll"};
  ComPtr<IZuVideoCapCtl> control_;
};

// ---------------------------------------------------------------- automation

TEST_F(CaptureServer, LateBoundCallsEndInTheSameSetters) {
  struct Row {
    const wchar_t* name;
    DISPID id;  // DISPID_UNKNOWN: not a member
  };
  for (const Row& row : {Row{L"CaptureWidth", 6}, Row{L"AboutBox", DISPID_ABOUTBOX},
                         Row{L"BitCount", 1}, Row{L"EnablePopupMenu", 15}, Row{L"Version", 9},
                         Row{L"Capture", DISPID_UNKNOWN}, Row{L"CaptureEx", DISPID_UNKNOWN}}) {
    DISPID id = 12345;
    LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
    HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id);
    if (row.id == DISPID_UNKNOWN) {
      EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << Narrow(row.name) << ": events are not members";
    } else {
      EXPECT_EQ(hr, S_OK) << Narrow(row.name);
      EXPECT_EQ(id, row.id) << Narrow(row.name);
    }
  }

  // BitCount 9 is out of range: the setter keeps 24 bits, early or late bound alike.
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = 9;
  EXPECT_EQ(Call(control_.Get(), L"BitCount", DISPATCH_PROPERTYPUT, &value, nullptr), S_OK);
  VcpBitCount bits = vcpBit1;
  EXPECT_EQ(control_->get_BitCount(&bits), S_OK);
  EXPECT_EQ(bits, vcpBit24);
  V_I4(&value) = 85;  // rounded down to a multiple of 8 by the setter
  EXPECT_EQ(Call(control_.Get(), L"CaptureWidth", DISPATCH_PROPERTYPUT, &value, nullptr), S_OK);
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(control_.Get(), L"CaptureWidth", DISPATCH_PROPERTYGET, nullptr, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 80);
  // Version is hidden from browsers but still read by name.
  EXPECT_EQ(Call(control_.Get(), L"Version", DISPATCH_PROPERTYGET, nullptr, &result), S_OK);
  EXPECT_EQ(V_I4(&result), 65536);
}

TEST_F(CaptureServer, NamesItsClassEventsErrorInterfaceAndTwoConnectionPoints) {
  ComPtr<IProvideClassInfo2> class_info = As<IProvideClassInfo2>(control_.Get());
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(class_info->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(CLSID_ZuVideoCapture));
  coclass->ReleaseTypeAttr(attributes);
  GUID guid = {};
  EXPECT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_EQ(GuidText(guid), GuidText(DIID__IZuVideoCapCtlEvents));
  guid = DIID__IZuVideoCapCtlEvents;
  EXPECT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &guid), E_FAIL);
  EXPECT_EQ(GuidText(guid), GuidText(GUID_NULL));
  EXPECT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);

  ComPtr<ISupportErrorInfo> errors = As<ISupportErrorInfo>(control_.Get());
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IZuVideoCapCtl), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(As<IConnectionPointContainer>(control_.Get())->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* listed[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(3, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  std::vector<std::string> iids;
  for (ULONG i = 0; i < fetched; ++i) {
    IID iid = {};
    listed[i]->GetConnectionInterface(&iid);
    iids.push_back(GuidText(iid));
    listed[i]->Release();
  }
  EXPECT_EQ(iids, (std::vector<std::string>{GuidText(DIID__IZuVideoCapCtlEvents),
                                            GuidText(IID_IPropertyNotifySink)}));
}

// Safe for untrusted data, which makes it loadable from a page's parameters, and nothing else.
TEST_F(CaptureServer, AnswersObjectSafetyForUntrustedDataOnly) {
  ComPtr<IObjectSafety> safety;  // mingw's headers give IObjectSafety no __uuidof
  ASSERT_EQ(control_->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())),
            S_OK);
  constexpr DWORD kCaller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
  constexpr DWORD kData = INTERFACESAFE_FOR_UNTRUSTED_DATA;
  struct Row {
    const IID* iid;
    DWORD mask, options;
    HRESULT expected;
    DWORD enabled_after;  // as reported for that interface afterwards
  };
  const Row rows[] = {
      {&IID_IDispatch, kCaller, kCaller, E_FAIL, 0},
      {&IID_IPersistPropertyBag, kData, kData, S_OK, 0},    // allowed, never recorded
      {&IID_IPersistPropertyBag, kData, 0, E_FAIL, 0},
      {&IID_IPersistStreamInit, kData, kData, S_OK, kData},
      {&IID_IPersistStreamInit, kData, 0, S_OK, 0},
      {&IID_IDispatch, kData | kCaller, kData, E_FAIL, 0},
      {&IID_IClassFactory, kData, kData, E_NOINTERFACE, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(GuidText(*row.iid) + " mask " + std::to_string(row.mask));
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(*row.iid, row.mask, row.options), row.expected);
    DWORD supported = 99, enabled = 99;
    HRESULT hr = safety->GetInterfaceSafetyOptions(*row.iid, &supported, &enabled);
    const bool answered = row.expected != E_NOINTERFACE;
    EXPECT_EQ(hr, answered ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(supported, answered ? kData : 0u);
    EXPECT_EQ(enabled, row.enabled_after);
  }
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, nullptr), E_POINTER);
}

// ---------------------------------------------------------------- persistence

void AppendI4(std::vector<uint8_t>* out, VARTYPE type, uint32_t value, int bytes) {
  out->push_back(static_cast<uint8_t>(type));
  out->push_back(0);
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// What a new control writes: the map version, the extent, "_Version", then every property in
// map order with the picture twice ("Picture" and "ForePicture"), none set.
std::vector<uint8_t> DefaultStream() {
  std::vector<uint8_t> bytes = {0x00, 0x03, 0x00, 0x00, 0xD8, 0x13, 0x00, 0x00, 0xD8, 0x13, 0x00, 0x00};
  AppendI4(&bytes, VT_I4, 65536, 4);       // _Version
  AppendI4(&bytes, VT_I4, 4, 4);           // BitCount
  AppendI4(&bytes, VT_I4, 3000, 4);        // CaptureElapse
  AppendI4(&bytes, VT_I4, 0, 4);           // CaptureFormat
  AppendI4(&bytes, VT_I4, 80, 4);          // CaptureWidth
  AppendI4(&bytes, VT_I4, 60, 4);          // CaptureHeight
  AppendI4(&bytes, VT_UI4, 0x8000000F, 4); // BackColor
  for (int picture = 0; picture < 2; ++picture) {
    AppendI4(&bytes, VT_DISPATCH, 0, 0);
    bytes.insert(bytes.end(), 16, 0);      // no picture
  }
  AppendI4(&bytes, VT_BOOL, 0, 2);         // CaptureExEvent
  AppendI4(&bytes, VT_I2, 0xFFFF, 2);      // DeviceID -1
  AppendI4(&bytes, VT_I4, 0, 4);           // EnableSystemDriverSetting
  AppendI4(&bytes, VT_I2, 24, 2);          // CustomBitCount
  AppendI4(&bytes, VT_I4, 0, 4);           // EnablePopupMenu
  return bytes;
}

TEST_F(CaptureServer, ADefaultControlWritesExactlyTheseBytes) {
  ASSERT_EQ(As<IPersistStreamInit>(control_.Get())->InitNew(), S_OK);
  EXPECT_EQ(Saved(control_.Get()), DefaultStream());
}

TEST_F(CaptureServer, APictureIsWrittenTwiceAndLoadedTwice) {
  ComPtr<IPictureDisp> picture = MakePicture(4, 3);
  ASSERT_TRUE(picture);
  ASSERT_EQ(control_->putref_Picture(picture.Get()), S_OK);
  const std::vector<uint8_t> bytes = Saved(control_.Get());
  const std::vector<uint8_t> plain = DefaultStream();
  // Before the pictures and after them the stream reads as a default one does; in between, the
  // same picture object twice: its class identifier, then the same data.
  constexpr size_t kBefore = 12 + 7 * 6;  // map version, extent, _Version and six properties
  constexpr size_t kAfter = 4 + 4 + 6 + 4 + 6;
  ASSERT_GT(bytes.size(), plain.size());
  const size_t part = (bytes.size() - kBefore - kAfter - 4) / 2;
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + kBefore, bytes.begin()));
  EXPECT_TRUE(std::equal(plain.end() - kAfter, plain.end(), bytes.end() - kAfter));
  EXPECT_EQ(bytes[kBefore], VT_DISPATCH);
  EXPECT_EQ(bytes[kBefore + 2 + part], VT_DISPATCH);
  const std::vector<uint8_t> first(bytes.begin() + kBefore + 2, bytes.begin() + kBefore + 2 + part);
  const std::vector<uint8_t> second(bytes.begin() + kBefore + 4 + part,
                                    bytes.begin() + kBefore + 4 + 2 * part);
  EXPECT_EQ(first, second);
  CLSID picture_class = {};
  std::memcpy(&picture_class, first.data(), sizeof picture_class);
  EXPECT_EQ(GuidText(picture_class), GuidText(CLSID_StdPicture));

  ComPtr<IZuVideoCapCtl> copy = NewControl();
  std::vector<std::string> log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(As<IConnectionPointContainer>(copy.Get())->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  ASSERT_EQ(As<IPersistStreamInit>(copy.Get())->Load(StreamOf(bytes).Get()), S_OK);
  point->Unadvise(cookie);
  int picture_puts = 0;
  for (const std::string& entry : log) picture_puts += entry == "sink changed -523";
  EXPECT_EQ(picture_puts, 2) << "Picture, then ForePicture";
  ComPtr<IPictureDisp> loaded;
  ASSERT_EQ(copy->get_Picture(&loaded), S_OK);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(Saved(copy.Get()), bytes);
}

TEST_F(CaptureServer, StreamVersionsUpToTheMapsAreReadAndANewerOneIsRefused) {
  ASSERT_EQ(control_->put_CaptureWidth(160), S_OK);
  std::vector<uint8_t> bytes = Saved(control_.Get());
  struct Row {
    uint8_t version_low, version_high;
    HRESULT expected;
    LONG width_after;
  };
  for (const Row& row : {Row{0x00, 0x03, S_OK, 160}, Row{0xFF, 0x02, S_OK, 160},
                         Row{0x01, 0x03, E_FAIL, 80}}) {
    bytes[0] = row.version_low;
    bytes[1] = row.version_high;
    ComPtr<IZuVideoCapCtl> copy = NewControl();
    EXPECT_EQ(As<IPersistStreamInit>(copy.Get())->Load(StreamOf(bytes).Get()), row.expected);
    LONG width = 0;
    copy->get_CaptureWidth(&width);
    EXPECT_EQ(width, row.width_after) << std::hex << int(row.version_high) << int(row.version_low);
  }
}

TEST_F(CaptureServer, APropertyBagWithAMissingAndAMistypedEntryLoadsTheRest) {
  MemoryBag bag;
  bag.Set(L"CaptureWidth", VT_I4, 320);
  bag.SetText(L"CaptureHeight", L"tall");   // cannot be a long
  bag.Set(L"CaptureElapse", VT_I4, 100);
  bag.Set(L"EnablePopupMenu", VT_I4, 1);
  bag.Set(L"CustomBitCount", VT_I2, 8);
  bag.Set(L"_Version", VT_I4, 7);
  // DeviceID and the rest are missing.
  ASSERT_EQ(As<IPersistPropertyBag>(control_.Get())->Load(&bag, nullptr), S_OK);
  LONG width = 0, height = 0, elapse = 0, popup = 0, version = 0;
  short device = 0, custom = 0;
  VcpBitCount bits = vcpBit1;
  control_->get_CaptureWidth(&width);
  control_->get_CaptureHeight(&height);
  control_->get_CaptureElapse(&elapse);
  control_->get_EnablePopupMenu(&popup);
  control_->get_Version(&version);
  control_->get_DeviceID(&device);
  control_->get_CustomBitCount(&custom);
  control_->get_BitCount(&bits);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 60);
  EXPECT_EQ(elapse, 100);
  EXPECT_EQ(popup, 1);
  EXPECT_EQ(version, 65536);
  EXPECT_EQ(device, -1);
  EXPECT_EQ(custom, 8);
  EXPECT_EQ(bits, vcpBit8) << "BitCount follows CustomBitCount";
  // Every name was asked for, in map order.
  const std::vector<std::wstring> names = {
      L"_cx", L"_cy", L"_Version", L"BitCount", L"CaptureElapse", L"CaptureFormat",
      L"CaptureWidth", L"CaptureHeight", L"BackColor", L"Picture", L"ForePicture",
      L"CaptureExEvent", L"DeviceID", L"EnableSystemDriverSetting", L"CustomBitCount",
      L"EnablePopupMenu"};
  EXPECT_EQ(bag.reads, names);
}

// ---------------------------------------------------------------- about box

// The box's own behaviour (owner, position, Escape) is the framework's and tested there; this is
// the capture library's dialog behind the DISPID.
TEST_F(CaptureServer, TheAboutBoxShowsItsTextsAndReturnsOnceClosed) {
  ASSERT_EQ(GetActiveWindow(), nullptr) << "a test left a window active";
  ModalWatcher watcher;
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(control_.Get(), L"AboutBox", DISPATCH_METHOD, nullptr, &result), S_OK);
  ASSERT_TRUE(ExpectedDialog(watcher, L"About Pelmar/OCX Video Capture",
                             L"Pelmar/OCX Video Capture Version 1.0 R.00"));
  const DialogRecord record = watcher.Seen().at(0);
  EXPECT_EQ(record.answer, IDOK);
  EXPECT_EQ(record.default_id, IDOK);
  std::map<int, std::wstring> texts;
  for (const DialogControl& control : record.controls) texts[control.id] = control.text;
  EXPECT_EQ(texts[IDOK], L"OK");
  EXPECT_EQ(texts[ZU_IDC_CAP_ABOUT_VERSION], L"Pelmar/OCX Video Capture Version 1.0 R.00");
  EXPECT_NE(texts[ZU_IDC_CAP_ABOUT_LEGAL].find(L"Pelmar"), std::wstring::npos);
  EXPECT_EQ(texts[ZU_IDC_CAP_ABOUT_HOME_LABEL], L"Home Page: ");
  EXPECT_EQ(texts[ZU_IDC_CAP_ABOUT_SUPPORT_LABEL], L"Support: ");
  EXPECT_FALSE(texts[ZU_IDC_CAP_ABOUT_HOME].empty());
  EXPECT_FALSE(texts[ZU_IDC_CAP_ABOUT_SUPPORT].empty());
}

}  // namespace
}  // namespace zu::test
