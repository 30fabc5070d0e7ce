// The parts of a control that the shell provides, on the play control built from them: late
// binding through the registered type library, class and error information, object safety,
// connection points and the stock properties.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "play/zu_video_play_ctl.h"
#include "shell/com_util.h"
#include "shell/module.h"
#include "shell/registrar.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/test_pictures.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/zu_vplay_dll.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::AnswersInterfaces;
using test::BesideTestProgram;
using test::DataAdviseHolderFake;
using test::DispatchSink;
using test::GuidText;
using test::HasReferences;
using test::HexCode;
using test::MakePicture;
using test::PropertySink;
using test::RefusesInterfaces;
using test::RegistrySandbox;
using test::SameObject;
using test::ViewSink;

using Log = std::vector<std::string>;

// A control with the play type library registered in a sandbox. Each test ends as a module
// unload would, so the cached type information of one test never serves the next.
class ControlFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_TRUE(sandbox_.Ok());
    test::RemovePlayLibraryEscapes(sandbox_);
    ASSERT_EQ(RegisterLibrary(), S_OK);
    ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&control_)), S_OK);
    self_ = static_cast<ZuVideoPlayCtl*>(control_.Get());
  }
  void TearDown() override {
    self_ = nullptr;
    control_.Reset();
    Module::Current().Terminate();
    EXPECT_EQ(Module::Current().LockCount(), 0);
    CoUninitialize();
  }

  static HRESULT RegisterLibrary() {
    return RegisterModuleTypeLibrary(BesideTestProgram(L"zu_video_play.tlb"));
  }

  DISPID IdOf(const wchar_t* name, LCID locale = 0x409) {
    DISPID id = 12345;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, locale, &id);
    EXPECT_EQ(hr, S_OK) << test::Narrow(name) << ": " << HexCode(hr);
    return id;
  }

  HRESULT PutByDispatch(DISPID id, VARIANT value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &named, 1, 1};
    return control_->Invoke(id, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                            nullptr);
  }

  ComPtr<IConnectionPoint> PropertyPoint() {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(control_.As(&container), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, &point), S_OK);
    return point;
  }

  RegistrySandbox sandbox_;
  ComPtr<IZuVideoPlayCtl> control_;
  ZuVideoPlayCtl* self_ = nullptr;
};

// ---------------------------------------------------------------- identity

TEST_F(ControlFramework, AnswersTheShellInterfacesWithOneIdentity) {
  EXPECT_TRUE(HasReferences(control_.Get(), 1));
  EXPECT_TRUE(AnswersInterfaces(control_.Get(),
                                {ZU_IID(IUnknown), ZU_IID(IZuVideoPlayCtl), ZU_IID(IDispatch),
                                 ZU_IID(IObjectSafety), ZU_IID(ISupportErrorInfo),
                                 ZU_IID(IConnectionPointContainer), ZU_IID(IProvideClassInfo),
                                 ZU_IID(IProvideClassInfo2), ZU_IID(IPersist),
                                 ZU_IID(IPersistStreamInit), ZU_IID(IPersistStorage),
                                 ZU_IID(IPersistPropertyBag)}));
  EXPECT_TRUE(RefusesInterfaces(control_.Get(), {ZU_IID(IClassFactory), ZU_IID(IConnectionPoint),
                                                 ZU_IID(IPropertyNotifySink), ZU_IID(IPersistStream),
                                                 ZU_IID(IPersistPropertyBag2)}));
}

// ---------------------------------------------------------------- late binding

TEST_F(ControlFramework, NamesGiveTheirDispatchIdentifiers) {
  struct Row {
    const wchar_t* name;
    DISPID id;
  };
  for (const Row& row : {Row{L"BackColor", DISPID_BACKCOLOR}, Row{L"Picture", DISPID_PICTURE},
                         Row{L"FrameFormat", 1}, Row{L"SizeMode", 2}, Row{L"RefreshFrame", 3},
                         Row{L"RefreshFrameEx", 4}, Row{L"Version", 5},
                         Row{L"AboutBox", DISPID_ABOUTBOX}, Row{L"refreshframe", 3},
                         Row{L"SIZEMODE", 2}}) {
    EXPECT_EQ(IdOf(row.name), row.id) << test::Narrow(row.name);
  }
}

TEST_F(ControlFramework, UnknownNamesAndForeignInterfacesAreRefused) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Capture")};
  EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(control_->GetIDsOfNames(IID_IDispatch, names, 1, 0x409, &id), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(control_->Invoke(3, IID_IDispatch, 0x409, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                             nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ControlFramework, ArgumentNamesGoToTheTypeInformation) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"RefreshFrame"), const_cast<LPOLESTR>(L"nFrameData")};
  DISPID ids[2] = {};
  ASSERT_EQ(control_->GetIDsOfNames(IID_NULL, names, 2, 0x409, ids), S_OK);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 1);  // the parameter's position
}

TEST_F(ControlFramework, ACallersOtherLocaleFindsTheLibraryToo) {
  EXPECT_EQ(IdOf(L"Version", 0x411), 5);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
}

TEST_F(ControlFramework, TypeInformationIsTheDualInterfacesAndThereIsOne) {
  UINT count = 0;
  ASSERT_EQ(control_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(control_->GetTypeInfoCount(nullptr), E_POINTER);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(control_->GetTypeInfo(0, 0x409, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(IID_IZuVideoPlayCtl));
  info->ReleaseTypeAttr(attributes);
  ITypeInfo* other = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(control_->GetTypeInfo(1, 0x409, &other), DISP_E_BADINDEX);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(control_->GetTypeInfo(0, 0x409, nullptr), E_POINTER);
}

TEST_F(ControlFramework, APropertyPutByDispatchRunsTheSameSetter) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = vpyFormatPNG;
  ASSERT_EQ(PutByDispatch(1, value), S_OK);
  VpyFrameFormat format = vpyFormatBMP;
  ASSERT_EQ(control_->get_FrameFormat(&format), S_OK);
  EXPECT_EQ(format, vpyFormatPNG);

  // The setter's own rules apply to late-bound values: out of range gives the default, which is
  // no change here, so nobody is told.
  V_I4(&value) = 9;
  ASSERT_EQ(PutByDispatch(2, value), S_OK);
  VpySizeMode mode = vpySizeZOOM;
  ASSERT_EQ(control_->get_SizeMode(&mode), S_OK);
  EXPECT_EQ(mode, vpySizeCLIP);

  // A string converts to the declared type on the way.
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(L"2");
  EXPECT_EQ(PutByDispatch(2, value), S_OK);
  VariantClear(&value);
  ASSERT_EQ(control_->get_SizeMode(&mode), S_OK);
  EXPECT_EQ(mode, vpySizeSTRETCH);
  EXPECT_EQ(log, (Log{"sink changed 1", "sink changed 2"}));
  point->Unadvise(cookie);
}

TEST_F(ControlFramework, APropertyGetByDispatchReturnsTheVtableValue) {
  ASSERT_EQ(control_->put_BackColor(0x00123456), S_OK);
  Variant result;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(control_->Invoke(DISPID_BACKCOLOR, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none,
                             result.Put(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.Type(), VT_UI4);  // OLE_COLOR
  EXPECT_EQ(V_UI4(&result.Get()), 0x00123456u);
  ASSERT_EQ(control_->Invoke(5, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, result.Put(),
                             nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.Type(), VT_I4);
  EXPECT_EQ(V_I4(&result.Get()), 0x10000);
}

TEST_F(ControlFramework, AMethodByDispatchGetsItsArgumentsAndGivesItsResult) {
  // What a script passes: a string whose characters carry two bytes each, and the byte count.
  // The frame: 2 x 2 pixels at 24 bits, rows of 6 bytes padded to 8.
  const uint8_t frame[] = {40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                           16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
  VARIANT args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocStringLen(nullptr, sizeof frame / 2);
  std::memcpy(V_BSTR(&args[1]), frame, sizeof frame);
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = sizeof frame;
  DISPPARAMS params = {args, nullptr, 2, 0};
  Variant success;
  ASSERT_EQ(control_->Invoke(4, IID_NULL, 0x409, DISPATCH_METHOD, &params, success.Put(), nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(success.Type(), VT_BOOL);
  EXPECT_EQ(V_BOOL(&success.Get()), 1);
  EXPECT_EQ(self_->CurrentFrameSize(), static_cast<int32_t>(sizeof frame));

  // More bytes than the string holds: refused, and the flag says so.
  V_I4(&args[0]) = sizeof frame + 2;
  ASSERT_EQ(control_->Invoke(4, IID_NULL, 0x409, DISPATCH_METHOD, &params, success.Put(), nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(V_BOOL(&success.Get()), 0);
  VariantClear(&args[1]);
}

TEST_F(ControlFramework, WithoutARegisteredLibraryLateBindingFailsAndTriesAgainLater) {
  Module::Current().Terminate();  // as an unload would: nothing cached
  RegDeleteTreeW(sandbox_.Root(), L"TypeLib");

  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Version")};
  HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id);
  EXPECT_EQ(hr, TYPE_E_LIBNOTREGISTERED) << HexCode(hr);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(control_->GetTypeInfo(0, 0x409, &info), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info, nullptr);
  // Early binding does not need the library.
  LONG version = 0;
  EXPECT_EQ(control_->get_Version(&version), S_OK);

  ASSERT_EQ(RegisterLibrary(), S_OK);
  EXPECT_EQ(IdOf(L"Version"), 5);
}

TEST_F(ControlFramework, TypeInformationIsLoadedOnceForAllControlsAndDroppedAtUnload) {
  ComPtr<IZuVideoPlayCtl> second;
  ASSERT_EQ(ZuVideoPlayCtl::Create(IID_PPV_ARGS(&second)), S_OK);
  ComPtr<ITypeInfo> first_info, second_info;
  ASSERT_EQ(control_->GetTypeInfo(0, 0x409, &first_info), S_OK);
  ASSERT_EQ(second->GetTypeInfo(0, 0x409, &second_info), S_OK);
  EXPECT_EQ(first_info.Get(), second_info.Get());

  // Kept while the module lives, even when the registration goes away...
  RegDeleteTreeW(sandbox_.Root(), L"TypeLib");
  EXPECT_EQ(IdOf(L"SizeMode"), 2);
  // ...and gone after unload.
  Module::Current().Terminate();
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"SizeMode")};
  EXPECT_EQ(second->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), TYPE_E_LIBNOTREGISTERED);
}

// ---------------------------------------------------------------- class and error information

TEST_F(ControlFramework, ClassInformationIsTheCoclassWithTheEventsAsDefaultSource) {
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(control_.As(&info), S_OK);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(info->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(CLSID_ZuVideoPlay));
  coclass->ReleaseTypeAttr(attributes);
  EXPECT_EQ(info->GetClassInfo(nullptr), E_POINTER);

  GUID guid = {};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_EQ(GuidText(guid), GuidText(DIID__IZuVideoPlayCtlEvents));
  for (DWORD kind : {0ul, 2ul, 0xFFFFFFFFul}) {
    guid = IID_IDispatch;
    EXPECT_EQ(info->GetGUID(kind, &guid), E_FAIL) << kind;
    EXPECT_EQ(GuidText(guid), GuidText(GUID_NULL)) << kind;
  }
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
}

TEST_F(ControlFramework, ErrorInformationIsForTheDualInterfaceOnly) {
  ComPtr<ISupportErrorInfo> errors;
  ASSERT_EQ(control_.As(&errors), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IZuVideoPlayCtl), S_OK);
  for (const IID* iid : {&IID_IDispatch, &IID_IUnknown, &IID_IObjectSafety, &GUID_NULL}) {
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*iid), S_FALSE) << GuidText(*iid);
  }
}

// ---------------------------------------------------------------- object safety

class ObjectSafety : public ControlFramework {
 protected:
  void SetUp() override {
    ControlFramework::SetUp();
    // No ComPtr::As: MinGW's objsafe.h gives IObjectSafety no __uuidof.
    ASSERT_EQ(control_->QueryInterface(IID_IObjectSafety,
                                       reinterpret_cast<void**>(safety_.GetAddressOf())),
              S_OK);
  }

  std::pair<DWORD, DWORD> Options(const IID& iid) {
    DWORD supported = 0xDEAD, enabled = 0xDEAD;
    last_ = safety_->GetInterfaceSafetyOptions(iid, &supported, &enabled);
    return {supported, enabled};
  }

  void TearDown() override {
    safety_.Reset();
    ControlFramework::TearDown();
  }

  ComPtr<IObjectSafety> safety_;
  HRESULT last_ = S_OK;
};

TEST_F(ObjectSafety, ThePlayControlIsSafeForCallersAndRecordsWhatItIsTold) {
  EXPECT_EQ(Options(IID_IDispatch), std::make_pair(DWORD{1}, DWORD{0}));
  EXPECT_EQ(last_, S_OK);
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), S_OK);
  EXPECT_EQ(Options(IID_IDispatch), std::make_pair(DWORD{1}, DWORD{1}));
  // One record per control, whatever interface was named.
  EXPECT_EQ(Options(IID_IZuVideoPlayCtl), std::make_pair(DWORD{1}, DWORD{1}));
  // A mask without the option leaves it; one with it and a cleared value clears it.
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 0, 0), S_OK);
  EXPECT_EQ(Options(IID_IDispatch).second, 1u);
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), S_OK);
  EXPECT_EQ(Options(IID_IDispatch).second, 0u);
}

TEST_F(ObjectSafety, AnOptionItDoesNotSupportIsRefused) {
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 2, 2), E_FAIL);
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), E_FAIL);
  EXPECT_EQ(Options(IID_IDispatch).second, 0u);
}

TEST_F(ObjectSafety, PropertyBagInitialisationIsAcceptedForUntrustedDataOnlyAndNotRecorded) {
  struct Row {
    DWORD mask;
    DWORD enabled;
    HRESULT expected;
  };
  for (const Row& row : {Row{2, 2, S_OK}, Row{3, 2, S_OK}, Row{0, 2, S_OK}, Row{1, 1, E_FAIL},
                         Row{3, 3, E_FAIL}, Row{2, 0, E_FAIL}}) {
    HRESULT hr = safety_->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, row.mask, row.enabled);
    EXPECT_EQ(hr, row.expected) << "mask " << row.mask << " enabled " << row.enabled;
  }
  EXPECT_EQ(Options(IID_IDispatch).second, 0u);
}

TEST_F(ObjectSafety, InterfacesTheControlLacksAreRefusedWithZeroOptions) {
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IClassFactory, 1, 1), E_NOINTERFACE);
  EXPECT_EQ(Options(IID_IClassFactory), std::make_pair(DWORD{0}, DWORD{0}));
  EXPECT_EQ(last_, E_NOINTERFACE);
  DWORD value = 0;
  EXPECT_EQ(safety_->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &value), E_POINTER);
  EXPECT_EQ(safety_->GetInterfaceSafetyOptions(IID_IDispatch, &value, nullptr), E_POINTER);
}

// The capture control's options, on an object with only IObjectSafety and IDispatch.
class CaptureSafetyProbe final : public ComObjectRoot, public ObjectSafetyImpl {
 public:
  ZU_DELEGATING_UNKNOWN
  explicit CaptureSafetyProbe(IUnknown* outer)
      : ComObjectRoot(outer), ObjectSafetyImpl(INTERFACESAFE_FOR_UNTRUSTED_DATA) {}

 protected:
  HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
    static const InterfaceEntry kTable[] = {
        ZU_INTERFACE(IID_IObjectSafety, CaptureSafetyProbe, IObjectSafety),
        // Stands in for the control's dual interface and its property bag.
        {&IID_IDispatch, InterfaceOffset<CaptureSafetyProbe, IObjectSafety>()},
        {&IID_IPersistPropertyBag, InterfaceOffset<CaptureSafetyProbe, IObjectSafety>()},
        {nullptr, 0}};
    return QueryInterfaceTable(this, kTable, riid, object);
  }
};

TEST_F(ObjectSafety, TheCaptureControlsOptionRefusesScripting) {
  ComPtr<IObjectSafety> capture;
  ASSERT_EQ(CreateComObject<CaptureSafetyProbe>(nullptr, IID_IObjectSafety, &capture), S_OK);
  EXPECT_EQ(capture->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), E_FAIL);
  EXPECT_EQ(capture->SetInterfaceSafetyOptions(IID_IDispatch, 2, 2), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(capture->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 2u);
  EXPECT_EQ(enabled, 2u);
  EXPECT_EQ(capture->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 2, 2), S_OK);
  EXPECT_EQ(capture->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 1, 1), E_FAIL);
}

// ---------------------------------------------------------------- connection points

TEST_F(ControlFramework, OnlyThePropertyNotificationPointIsOffered) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(control_.As(&container), S_OK);
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(container->FindConnectionPoint(DIID__IZuVideoPlayCtlEvents, &point),
            CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, nullptr), E_POINTER);

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

TEST_F(ControlFramework, ThePointLeadsBackToItsControlAndKeepsItAlive) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  ASSERT_TRUE(point);
  EXPECT_TRUE(HasReferences(control_.Get(), 2));
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(&container), S_OK);
  EXPECT_TRUE(SameObject(container.Get(), control_.Get()));
  EXPECT_TRUE(AnswersInterfaces(point.Get(), {ZU_IID(IConnectionPoint)}));
  EXPECT_TRUE(RefusesInterfaces(point.Get(), {ZU_IID(IConnectionPointContainer)}));
  container.Reset();
  control_.Reset();
  self_ = nullptr;
  // The point alone holds the control now.
  IID iid = {};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(Module::Current().LockCount(), 1);
  point.Reset();
  EXPECT_EQ(Module::Current().LockCount(), 0);
}

TEST_F(ControlFramework, CookiesAreSlotPlusOneAndFreedSlotsAreReused) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink a(&log, "a"), b(&log, "b"), c(&log, "c"), d(&log, "d");
  DWORD cookies[3] = {};
  ASSERT_EQ(point->Advise(&a, &cookies[0]), S_OK);
  ASSERT_EQ(point->Advise(&b, &cookies[1]), S_OK);
  ASSERT_EQ(point->Advise(&c, &cookies[2]), S_OK);
  EXPECT_EQ(cookies[0], 1u);
  EXPECT_EQ(cookies[1], 2u);
  EXPECT_EQ(cookies[2], 3u);
  EXPECT_EQ(point->Unadvise(2), S_OK);
  DWORD reused = 0;
  ASSERT_EQ(point->Advise(&d, &reused), S_OK);
  EXPECT_EQ(reused, 2u);
  EXPECT_EQ(b.references, 1);
  EXPECT_EQ(d.references, 2);

  for (DWORD bad : {0ul, 4ul, 99ul}) EXPECT_EQ(point->Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
  EXPECT_EQ(point->Unadvise(1), S_OK);
  EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(a.references, 1);
  // The sinks go before the control does.
  EXPECT_EQ(point->Unadvise(2), S_OK);
  EXPECT_EQ(point->Unadvise(3), S_OK);
  EXPECT_EQ(c.references, 1);
  EXPECT_EQ(d.references, 1);
}

TEST_F(ControlFramework, AdviseChecksTheSinkAndItsOutPointer) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  ViewSink wrong(&log);
  DWORD cookie = 77;
  EXPECT_EQ(point->Advise(&wrong, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(wrong.references, 1);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  PropertySink sink(&log);
  EXPECT_EQ(point->Advise(&sink, nullptr), E_POINTER);
  EXPECT_EQ(sink.references, 1);
}

TEST_F(ControlFramework, EnumeratingConnectionsTakesASnapshotWithItsOwnReferences) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink a(&log, "a"), b(&log, "b");
  DWORD cookie_a = 0, cookie_b = 0;
  ASSERT_EQ(point->Advise(&a, &cookie_a), S_OK);
  ASSERT_EQ(point->Advise(&b, &cookie_b), S_OK);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(&connections), S_OK);
  EXPECT_EQ(a.references, 3);
  ASSERT_EQ(point->Unadvise(cookie_a), S_OK);

  CONNECTDATA data[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(data[0].dwCookie, cookie_a);
  EXPECT_EQ(data[1].dwCookie, cookie_b);
  EXPECT_TRUE(SameObject(data[0].pUnk, &a));
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();

  EXPECT_EQ(connections->Reset(), S_OK);
  EXPECT_EQ(connections->Skip(1), S_OK);
  ComPtr<IEnumConnections> copy;
  ASSERT_EQ(connections->Clone(&copy), S_OK);
  EXPECT_EQ(copy->Next(1, data, nullptr), S_OK);
  EXPECT_EQ(data[0].dwCookie, cookie_b);
  data[0].pUnk->Release();
  EXPECT_EQ(copy->Skip(1), S_FALSE);
  EXPECT_EQ(connections->Next(2, data, nullptr), E_POINTER);

  copy.Reset();
  connections.Reset();
  EXPECT_EQ(a.references, 1);
  EXPECT_EQ(b.references, 2);
  EXPECT_EQ(point->Unadvise(cookie_b), S_OK);
}

TEST_F(ControlFramework, ReleasingTheControlLetsGoOfItsSinks) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  point.Reset();
  control_.Reset();
  self_ = nullptr;
  EXPECT_EQ(sink.references, 1);
}

TEST_F(ControlFramework, EventsReachEveryDispatchSinkInOrderEvenWhenOneLeavesDuringTheCall) {
  // The firing helper the capture control uses, on a point of its own.
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(control_.As(&container), S_OK);
  ConnectionPoint events(container.Get(), IID_IDispatch);
  Log log;
  DispatchSink first(&log, "first"), second(&log, "second");
  DWORD cookie_first = 0, cookie_second = 0;
  ASSERT_EQ(events.Advise(&first, &cookie_first), S_OK);
  ASSERT_EQ(events.Advise(&second, &cookie_second), S_OK);
  first.unadvise_from = &events;
  first.cookie = cookie_first;

  VARIANT args[2];
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 6;
  Variant data;
  V_VT(data.Ptr()) = VT_BSTR;
  V_BSTR(data.Ptr()) = SysAllocStringLen(nullptr, 6);
  V_VT(&args[1]) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&args[1]) = data.Ptr();
  DISPPARAMS params = {args, nullptr, 2, 0};
  Variant result;
  FireDispatchEvent(events, 2, &params, result.Ptr());

  EXPECT_EQ(log, (Log{"first 2 locale 1024 flags 1 args 3 16396 named 0 result",
                      "second 2 locale 1024 flags 1 args 3 16396 named 0 result"}));
  EXPECT_EQ(result.Type(), VT_EMPTY);
  EXPECT_EQ(first.references, 1);  // it left during its call and is no longer held

  log.clear();
  FireDispatchEvent(events, 1, &params, nullptr);
  EXPECT_EQ(log, Log{"second 1 locale 1024 flags 1 args 3 16396 named 0"});
  events.UnadviseAll();
  EXPECT_EQ(second.references, 1);
}

TEST_F(ControlFramework, ItsOwnSettersTellPropertySinksOnlyWhenTheValueChanges) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  control_->put_FrameFormat(vpyFormatPNG);
  control_->put_FrameFormat(vpyFormatPNG);
  control_->put_SizeMode(vpySizeZOOM);
  control_->put_SizeMode(static_cast<VpySizeMode>(9));
  control_->put_SizeMode(vpySizeCLIP);
  control_->put_Version(3);
  EXPECT_EQ(log, (Log{"sink changed 1", "sink changed 2", "sink changed 2"}));
  EXPECT_FALSE(self_->ChangeTargets().needs_save) << "only the stock properties mark the control";
  ASSERT_EQ(point->Unadvise(cookie), S_OK);
}

// ---------------------------------------------------------------- stock properties

class StockProperty : public ControlFramework {
 protected:
  void SetUp() override {
    ControlFramework::SetUp();
    point_ = PropertyPoint();
    ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
    self_->ChangeTargets().view_sink = &view_;
    self_->ChangeTargets().data_advise = &data_;
    self_->ChangeTargets().data_object = reinterpret_cast<IDataObject*>(0x1234);
  }
  void TearDown() override {
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    ControlFramework::TearDown();
  }

  Log log_;
  PropertySink sink_{&log_};
  ViewSink view_{&log_};
  DataAdviseHolderFake data_{&log_};
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

TEST_F(StockProperty, BackColorAsksThenMarksNotifiesRedrawsAndTellsDataSinks) {
  EXPECT_FALSE(self_->ChangeTargets().needs_save);
  ASSERT_EQ(control_->put_BackColor(0x000000FF), S_OK);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink changed -501", "view 1 -1", "data-change 0"}));
  EXPECT_TRUE(self_->ChangeTargets().needs_save);
  EXPECT_EQ(data_.named, reinterpret_cast<IDataObject*>(0x1234));
  OLE_COLOR color = 0;
  ASSERT_EQ(control_->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, 0x000000FFu);
  EXPECT_EQ(control_->get_BackColor(nullptr), E_POINTER);
}

TEST_F(StockProperty, ARefusedEditChangesNothingAndAsksNoFurther) {
  Log other_log;
  PropertySink other(&other_log, "other");
  DWORD other_cookie = 0;
  ASSERT_EQ(point_->Advise(&other, &other_cookie), S_OK);
  sink_.refuse = true;
  EXPECT_EQ(control_->put_BackColor(0x000000FF), S_FALSE);
  EXPECT_EQ(control_->putref_Picture(nullptr), S_FALSE);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink request -523"}));
  EXPECT_TRUE(other_log.empty());
  EXPECT_FALSE(self_->ChangeTargets().needs_save);
  OLE_COLOR color = 0;
  ASSERT_EQ(control_->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, kDefaultBackColor);
  point_->Unadvise(other_cookie);
}

TEST_F(StockProperty, InPlaceTheWindowIsInvalidatedInsteadOfTellingTheContainer) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  HWND window = self_->CreateControlWindow(parent, RECT{0, 0, 64, 48});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(self_->ChangeTargets().window, window);
  ValidateRect(window, nullptr);
  ASSERT_EQ(control_->put_BackColor(0x00FF0000), S_OK);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink changed -501", "data-change 0"}));
  RECT update = {};
  EXPECT_TRUE(GetUpdateRect(window, &update, FALSE));
  EXPECT_EQ(update.right - update.left, 64);
  EXPECT_EQ(update.bottom - update.top, 48);
  self_->DestroyControlWindow();
  EXPECT_EQ(self_->ChangeTargets().window, nullptr);
  DestroyWindow(parent);
}

TEST_F(StockProperty, WithNobodyToTellTheChangeStillHappens) {
  point_->Unadvise(cookie_);
  self_->ChangeTargets().view_sink.Reset();
  self_->ChangeTargets().data_advise.Reset();
  ASSERT_EQ(control_->put_BackColor(0x00010203), S_OK);
  EXPECT_TRUE(log_.empty());
  EXPECT_TRUE(self_->ChangeTargets().needs_save);
  OLE_COLOR color = 0;
  ASSERT_EQ(control_->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, 0x00010203u);
}

TEST_F(StockProperty, PictureByReferenceKeepsTheObjectItself) {
  ComPtr<IPictureDisp> picture = MakePicture(8, 4);
  ASSERT_TRUE(picture);
  ASSERT_EQ(control_->putref_Picture(picture.Get()), S_OK);
  EXPECT_TRUE(HasReferences(picture.Get(), 2));
  ComPtr<IPictureDisp> held;
  ASSERT_EQ(control_->get_Picture(&held), S_OK);
  EXPECT_EQ(held.Get(), picture.Get());
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", "data-change 0"}));
  held.Reset();
  ASSERT_EQ(control_->putref_Picture(nullptr), S_OK);
  EXPECT_TRUE(HasReferences(picture.Get(), 1));
  ASSERT_EQ(control_->get_Picture(&held), S_OK);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(control_->get_Picture(nullptr), E_POINTER);
}

TEST_F(StockProperty, PictureByValueKeepsAPrivateCopy) {
  ComPtr<IPictureDisp> picture = MakePicture(8, 4);
  ASSERT_TRUE(picture);
  ASSERT_EQ(control_->put_Picture(picture.Get()), S_OK);
  EXPECT_TRUE(HasReferences(picture.Get(), 1));
  ComPtr<IPictureDisp> held;
  ASSERT_EQ(control_->get_Picture(&held), S_OK);
  ASSERT_NE(held, nullptr);
  EXPECT_NE(held.Get(), picture.Get());
  ComPtr<IPicture> original, copy;
  ASSERT_EQ(picture.As(&original), S_OK);
  ASSERT_EQ(held.As(&copy), S_OK);
  OLE_XSIZE_HIMETRIC original_width = 0, copy_width = 0;
  OLE_YSIZE_HIMETRIC original_height = 0, copy_height = 0;
  original->get_Width(&original_width);
  original->get_Height(&original_height);
  copy->get_Width(&copy_width);
  copy->get_Height(&copy_height);
  EXPECT_EQ(copy_width, original_width);
  EXPECT_EQ(copy_height, original_height);
  SHORT type = 0;
  EXPECT_EQ(copy->get_Type(&type), S_OK);
  EXPECT_EQ(type, PICTYPE_BITMAP);
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", "data-change 0"}));
}

TEST_F(StockProperty, APictureThatCannotBeCopiedLeavesNoPictureButIsStillAnnounced) {
  ComPtr<IPictureDisp> real = MakePicture(2, 2);
  ASSERT_EQ(control_->putref_Picture(real.Get()), S_OK);
  log_.clear();
  test::UnsavablePicture unsavable;
  ASSERT_EQ(control_->put_Picture(&unsavable), S_OK);
  ComPtr<IPictureDisp> held;
  ASSERT_EQ(control_->get_Picture(&held), S_OK);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(unsavable.references, 1);
  EXPECT_TRUE(HasReferences(real.Get(), 1));
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", "data-change 0"}));
}

}  // namespace
}  // namespace zu
