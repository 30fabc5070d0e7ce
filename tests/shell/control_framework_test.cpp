// The parts of a control that the framework provides, on its own test control: the interface
// table, late binding through the registered type library, class and error information, object
// safety, connection points and events (also frozen), the enumeration setters and the stock
// properties with what they tell the control's surroundings.
#include <windows.h>

#include <msstkppg.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "shell/com_util.h"
#include "shell/module.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/test_control_fixture.h"
#include "tests/shell/test_pictures.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

using Log = std::vector<std::string>;

class ControlFramework : public TestControlTest {
 protected:
  void SetUp() override {
    TestControlTest::SetUp();
    self_ = Self(control_);
  }
  void TearDown() override {
    self_ = nullptr;
    TestControlTest::TearDown();
  }

  DISPID IdOf(const wchar_t* name, LCID locale = 0x409) {
    DISPID id = 12345;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, locale, &id);
    EXPECT_EQ(hr, S_OK) << Narrow(name) << ": " << HexCode(hr);
    return id;
  }

  HRESULT PutByDispatch(DISPID id, VARIANT value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &named, 1, 1};
    return control_->Invoke(id, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                            nullptr);
  }

  ComPtr<IConnectionPoint> Point(const IID& iid) {
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(As<IConnectionPointContainer>(control_)->FindConnectionPoint(iid, &point), S_OK);
    return point;
  }
  ComPtr<IConnectionPoint> PropertyPoint() { return Point(IID_IPropertyNotifySink); }
  ComPtr<IConnectionPoint> EventPoint() { return Point(DIID__IZuTestCtlEvents); }

  ZuTestCtl* self_ = nullptr;
};

// ---------------------------------------------------------------- identity

TEST_F(ControlFramework, AnswersEveryInterfaceOfTheTableWithOneIdentity) {
  EXPECT_TRUE(HasReferences(control_.Get(), 1));
  EXPECT_TRUE(AnswersInterfaces(
      control_.Get(),
      {ZU_IID(IUnknown), ZU_IID(IZuTestCtl), ZU_IID(IDispatch), ZU_IID(IObjectSafety),
       ZU_IID(IViewObjectEx), ZU_IID(IViewObject2), ZU_IID(IViewObject),
       ZU_IID(IOleInPlaceObjectWindowless), ZU_IID(IOleInPlaceObject), ZU_IID(IOleWindow),
       ZU_IID(IOleInPlaceActiveObject), ZU_IID(IOleControl), ZU_IID(IOleObject),
       ZU_IID(IPersistPropertyBag), ZU_IID(IPersistStreamInit), ZU_IID(IPersist),
       ZU_IID(ISupportErrorInfo), ZU_IID(IConnectionPointContainer),
       ZU_IID(ISpecifyPropertyPages), ZU_IID(IQuickActivate), ZU_IID(IPersistStorage),
       ZU_IID(IDataObject), ZU_IID(IProvideClassInfo), ZU_IID(IProvideClassInfo2)}));
  EXPECT_TRUE(RefusesInterfaces(control_.Get(), {ZU_IID(IClassFactory), ZU_IID(IConnectionPoint),
                                                 ZU_IID(IPropertyNotifySink), ZU_IID(IPersistStream),
                                                 ZU_IID(IPersistPropertyBag2),
                                                 ZU_IID(IPropertyPage)}));
}

TEST_F(ControlFramework, ListsThePagesOfItsMapOnceEachInMapOrder) {
  CAUUID pages = {};
  ASSERT_EQ(As<ISpecifyPropertyPages>(control_)->GetPages(&pages), S_OK);
  ASSERT_EQ(pages.cElems, 3u);
  EXPECT_EQ(GuidText(pages.pElems[0]), GuidText(CLSID_ZuTestPpg));
  EXPECT_EQ(GuidText(pages.pElems[1]), GuidText(CLSID_StockColorPage));
  EXPECT_EQ(GuidText(pages.pElems[2]), GuidText(CLSID_StockPicturePage));
  CoTaskMemFree(pages.pElems);
}

// ---------------------------------------------------------------- late binding

TEST_F(ControlFramework, NamesGiveTheirDispatchIdentifiersWhateverTheirCase) {
  struct Row {
    const wchar_t* name;
    DISPID id;
  };
  for (const Row& row : {Row{L"BackColor", DISPID_BACKCOLOR}, Row{L"Picture", DISPID_PICTURE},
                         Row{L"Shape", 1}, Row{L"Level", 2}, Row{L"Measure", 3},
                         Row{L"Deliver", 4}, Row{L"Version", 5}, Row{L"measure", 3},
                         Row{L"LEVEL", 2}}) {
    EXPECT_EQ(IdOf(row.name), row.id) << Narrow(row.name);
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
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Measure"), const_cast<LPOLESTR>(L"nData")};
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
  EXPECT_EQ(GuidText(attributes->guid), GuidText(IID_IZuTestCtl));
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
  V_I4(&value) = ztcShapeRound;
  ASSERT_EQ(PutByDispatch(1, value), S_OK);
  ZtcShape shape = ztcShapeSquare;
  ASSERT_EQ(control_->get_Shape(&shape), S_OK);
  EXPECT_EQ(shape, ztcShapeRound);

  // The setter's own rules apply to late-bound values: out of range gives the fallback.
  ASSERT_EQ(control_->put_Level(ztcLevelLow), S_OK);
  V_I4(&value) = 9;
  ASSERT_EQ(PutByDispatch(2, value), S_OK);
  ZtcLevel level = ztcLevelLow;
  ASSERT_EQ(control_->get_Level(&level), S_OK);
  EXPECT_EQ(level, ztcLevelMid);

  // A string converts to the declared type on the way.
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(L"2");
  EXPECT_EQ(PutByDispatch(2, value), S_OK);
  VariantClear(&value);
  ASSERT_EQ(control_->get_Level(&level), S_OK);
  EXPECT_EQ(level, ztcLevelHigh);
  EXPECT_EQ(log, (Log{"sink changed 1", "sink changed 2", "sink changed 2", "sink changed 2"}));
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
  EXPECT_EQ(V_I4(&result.Get()), kTestControlVersion);
}

TEST_F(ControlFramework, AMethodByDispatchGetsItsArgumentsAndGivesItsResult) {
  // What a script passes: a string whose characters carry two bytes each, and the byte count;
  // the declared string by reference is made from it on the way.
  const uint8_t bytes[] = {1, 2, 3, 4, 250, 5};
  VARIANT args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocStringLen(nullptr, sizeof bytes / 2);
  std::memcpy(V_BSTR(&args[1]), bytes, sizeof bytes);
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 5;
  DISPPARAMS params = {args, nullptr, 2, 0};
  Variant result;
  ASSERT_EQ(control_->Invoke(3, IID_NULL, 0x409, DISPATCH_METHOD, &params, result.Put(), nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(result.Type(), VT_I4);
  EXPECT_EQ(V_I4(&result.Get()), 260);

  // More bytes than the string holds.
  V_I4(&args[0]) = sizeof bytes + 2;
  ASSERT_EQ(control_->Invoke(3, IID_NULL, 0x409, DISPATCH_METHOD, &params, result.Put(), nullptr,
                             nullptr),
            S_OK);
  EXPECT_EQ(V_I4(&result.Get()), -1);
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
  ComPtr<IZuTestCtl> second = NewControl();
  ComPtr<ITypeInfo> first_info, second_info;
  ASSERT_EQ(control_->GetTypeInfo(0, 0x409, &first_info), S_OK);
  ASSERT_EQ(second->GetTypeInfo(0, 0x409, &second_info), S_OK);
  EXPECT_EQ(first_info.Get(), second_info.Get());

  // Kept while the module lives, even when the registration goes away...
  RegDeleteTreeW(sandbox_.Root(), L"TypeLib");
  EXPECT_EQ(IdOf(L"Level"), 2);
  // ...and gone after unload.
  Module::Current().Terminate();
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Level")};
  EXPECT_EQ(second->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), TYPE_E_LIBNOTREGISTERED);
}

// ---------------------------------------------------------------- class and error information

TEST_F(ControlFramework, ClassInformationIsTheCoclassWithTheEventsAsDefaultSource) {
  ComPtr<IProvideClassInfo2> info = As<IProvideClassInfo2>(control_);
  ASSERT_TRUE(info);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(info->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(CLSID_ZuTestCtl));
  coclass->ReleaseTypeAttr(attributes);
  EXPECT_EQ(info->GetClassInfo(nullptr), E_POINTER);

  GUID guid = {};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
  EXPECT_EQ(GuidText(guid), GuidText(DIID__IZuTestCtlEvents));
  for (DWORD kind : {0ul, 2ul, 0xFFFFFFFFul}) {
    guid = IID_IDispatch;
    EXPECT_EQ(info->GetGUID(kind, &guid), E_FAIL) << kind;
    EXPECT_EQ(GuidText(guid), GuidText(GUID_NULL)) << kind;
  }
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
}

TEST_F(ControlFramework, ErrorInformationIsForTheDualInterfaceOnly) {
  ComPtr<ISupportErrorInfo> errors = As<ISupportErrorInfo>(control_);
  ASSERT_TRUE(errors);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IZuTestCtl), S_OK);
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
  void TearDown() override {
    safety_.Reset();
    ControlFramework::TearDown();
  }

  std::pair<DWORD, DWORD> Options(const IID& iid) {
    DWORD supported = 0xDEAD, enabled = 0xDEAD;
    last_ = safety_->GetInterfaceSafetyOptions(iid, &supported, &enabled);
    return {supported, enabled};
  }

  ComPtr<IObjectSafety> safety_;
  HRESULT last_ = S_OK;
};

// The test control, as the play control, supports only "safe for untrusted callers".
TEST_F(ObjectSafety, RecordsWhatItIsToldOncePerControl) {
  EXPECT_EQ(Options(IID_IDispatch), std::make_pair(DWORD{1}, DWORD{0}));
  EXPECT_EQ(last_, S_OK);
  EXPECT_EQ(safety_->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), S_OK);
  EXPECT_EQ(Options(IID_IDispatch), std::make_pair(DWORD{1}, DWORD{1}));
  // One record per control, whatever interface was named.
  EXPECT_EQ(Options(IID_IZuTestCtl), std::make_pair(DWORD{1}, DWORD{1}));
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

TEST_F(ControlFramework, AControlThatFiresEventsOffersItsEventPointThenPropertyNotification) {
  ComPtr<IConnectionPointContainer> container = As<IConnectionPointContainer>(control_);
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, nullptr), E_POINTER);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* listed[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(3, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  const IID* expected[] = {&DIID__IZuTestCtlEvents, &IID_IPropertyNotifySink};
  for (ULONG i = 0; i < fetched; ++i) {
    IID iid = {};
    EXPECT_EQ(listed[i]->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(GuidText(iid), GuidText(*expected[i])) << i;
    ComPtr<IConnectionPoint> found;
    ASSERT_EQ(container->FindConnectionPoint(iid, &found), S_OK);
    EXPECT_EQ(found.Get(), listed[i]) << i;
    listed[i]->Release();
  }
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

// The event point also takes a sink that answers only IDispatch, as script engines' do; the
// property point takes nothing but a property sink.
TEST_F(ControlFramework, AdviseChecksTheSinkAndItsOutPointer) {
  Log log;
  AdviseSink wrong(&log);
  DispatchSink plain(&log, "plain");  // IDispatch, not the event interface
  DWORD cookie = 77;
  EXPECT_EQ(PropertyPoint()->Advise(&wrong, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(wrong.references, 1);
  cookie = 77;
  EXPECT_EQ(EventPoint()->Advise(&wrong, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(PropertyPoint()->Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(plain.references, 1);
  EXPECT_EQ(EventPoint()->Advise(&plain, &cookie), S_OK);
  EXPECT_EQ(plain.references, 2);
  EXPECT_EQ(EventPoint()->Unadvise(cookie), S_OK);
  EXPECT_EQ(plain.references, 1);
  EXPECT_EQ(PropertyPoint()->Advise(nullptr, &cookie), E_POINTER);
  PropertySink sink(&log);
  EXPECT_EQ(PropertyPoint()->Advise(&sink, nullptr), E_POINTER);
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
  Log log;
  PropertySink sink(&log);
  DispatchSink events(&log, "events", DIID__IZuTestCtlEvents);
  DWORD cookie = 0;
  ASSERT_EQ(PropertyPoint()->Advise(&sink, &cookie), S_OK);
  ASSERT_EQ(EventPoint()->Advise(&events, &cookie), S_OK);
  control_.Reset();
  self_ = nullptr;
  EXPECT_EQ(sink.references, 1);
  EXPECT_EQ(events.references, 1);
}

// ---------------------------------------------------------------- events

TEST_F(ControlFramework, AnEventReachesEverySinkInOrderEvenWhenOneLeavesDuringTheCall) {
  ComPtr<IConnectionPoint> point = EventPoint();
  Log log;
  DispatchSink first(&log, "first", DIID__IZuTestCtlEvents);
  DispatchSink second(&log, "second", DIID__IZuTestCtlEvents);
  DWORD cookie_first = 0, cookie_second = 0;
  ASSERT_EQ(point->Advise(&first, &cookie_first), S_OK);
  ASSERT_EQ(point->Advise(&second, &cookie_second), S_OK);
  first.unadvise_from = point.Get();
  first.cookie = cookie_first;

  // Delivered(string of 6 bytes by reference, 6): arguments in reverse order.
  ASSERT_EQ(control_->Deliver(6), S_OK);
  EXPECT_EQ(log, (Log{"first 1 locale 1024 flags 1 args 3 16392(6) named 0",
                      "second 1 locale 1024 flags 1 args 3 16392(6) named 0"}));
  EXPECT_EQ(first.references, 1) << "it left during its call and is no longer held";

  log.clear();
  ASSERT_EQ(control_->Deliver(0), S_OK);
  EXPECT_EQ(log, Log{"second 1 locale 1024 flags 1 args 3 16392(0) named 0"});
  EXPECT_EQ(point->Unadvise(cookie_second), S_OK);
  EXPECT_EQ(second.references, 1);
}

// What a sink leaves in the result is cleared before the next sink is called and afterwards.
TEST_F(ControlFramework, AFiredEventsResultIsClearedForEverySink) {
  ConnectionPoint events(As<IConnectionPointContainer>(control_).Get(), IID_IDispatch);
  Log log;
  DispatchSink first(&log, "first"), second(&log, "second");
  DWORD cookie = 0;
  ASSERT_EQ(events.Advise(&first, &cookie), S_OK);
  ASSERT_EQ(events.Advise(&second, &cookie), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Variant result;
  FireDispatchEvent(events, 2, &none, result.Ptr());
  EXPECT_EQ(log, (Log{"first 2 locale 1024 flags 1 args named 0 result",
                      "second 2 locale 1024 flags 1 args named 0 result"}));
  EXPECT_EQ(result.Type(), VT_EMPTY);
  events.UnadviseAll();
  EXPECT_EQ(first.references, 1);
}

// Each row: a FreezeEvents call (or none), then whether an event and a property notice arrive.
TEST_F(ControlFramework, FrozenEventsFireNothingNestedFreezesCountAndPropertyNoticesGoOn) {
  Log log;
  DispatchSink events(&log, "event", DIID__IZuTestCtlEvents);
  PropertySink notices(&log, "notice");
  DWORD event_cookie = 0, notice_cookie = 0;
  ASSERT_EQ(EventPoint()->Advise(&events, &event_cookie), S_OK);
  ASSERT_EQ(PropertyPoint()->Advise(&notices, &notice_cookie), S_OK);
  ComPtr<IOleControl> control = As<IOleControl>(control_);
  enum Freeze { kNone, kFreeze, kThaw };
  struct Row {
    Freeze call;
    bool fires;
  };
  const Row rows[] = {{kNone, true},   {kFreeze, false}, {kFreeze, false}, {kThaw, false},
                      {kThaw, true},   {kThaw, true},    {kFreeze, false}, {kThaw, true}};
  LONG level = ztcLevelLow;
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& row = rows[i];
    if (row.call != kNone) {
      ASSERT_EQ(control->FreezeEvents(row.call == kFreeze), S_OK) << i;
    }
    log.clear();
    ASSERT_EQ(control_->Deliver(1), S_OK);
    level = level == ztcLevelLow ? ztcLevelHigh : ztcLevelLow;
    ASSERT_EQ(control_->put_Level(static_cast<ZtcLevel>(level)), S_OK);
    Log expected;
    if (row.fires) expected.push_back("event 1 locale 1024 flags 1 args 3 16392(1) named 0");
    expected.push_back("notice changed 2");
    EXPECT_EQ(log, expected) << "row " << i;
  }
  EXPECT_EQ(EventPoint()->Unadvise(event_cookie), S_OK);
  EXPECT_EQ(PropertyPoint()->Unadvise(notice_cookie), S_OK);
}

// The container's event sink from quick activation goes to the default source interface.
TEST_F(ControlFramework, QuickActivationConnectsTheEventSinkToTheEventInterface) {
  Log log;
  DispatchSink events(&log, "event", DIID__IZuTestCtlEvents);
  QACONTAINER request = {};
  request.cbSize = sizeof request;
  request.pUnkEventSink = &events;
  QACONTROL answer = {};
  answer.cbSize = sizeof answer;
  ASSERT_EQ(As<IQuickActivate>(control_)->QuickActivate(&request, &answer), S_OK);
  EXPECT_NE(answer.dwEventCookie, 0u);
  EXPECT_EQ(answer.dwPropNotifyCookie, 0u) << "no property sink was given";
  ASSERT_EQ(control_->Deliver(2), S_OK);
  EXPECT_EQ(log, Log{"event 1 locale 1024 flags 1 args 3 16392(2) named 0"});
  EXPECT_EQ(EventPoint()->Unadvise(answer.dwEventCookie), S_OK);
}

// ---------------------------------------------------------------- enumeration properties

// Each row sets one property and says what it holds afterwards and whether sinks heard of it:
// a value out of range becomes the fallback (Level's is not its first value), an equal value is
// no change.
TEST_F(ControlFramework, EnumerationSettersClampAndTellPropertySinksOnlyOfChanges) {
  ComPtr<IConnectionPoint> point = PropertyPoint();
  Log log;
  PropertySink sink(&log);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  enum Property { kShape, kLevel };
  struct Row {
    Property property;
    LONG value;
    LONG held;
    bool told;
  };
  const Row rows[] = {
      {kShape, ztcShapeRound, ztcShapeRound, true}, {kShape, ztcShapeRound, ztcShapeRound, false},
      {kShape, 2, ztcShapeSquare, true},            {kShape, -1, ztcShapeSquare, false},
      {kLevel, ztcLevelMid, ztcLevelMid, false},    {kLevel, ztcLevelHigh, ztcLevelHigh, true},
      {kLevel, 3, ztcLevelMid, true},               {kLevel, ztcLevelLow, ztcLevelLow, true},
      {kLevel, -7, ztcLevelMid, true},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& row = rows[i];
    log.clear();
    LONG held = -100;
    if (row.property == kShape) {
      ASSERT_EQ(control_->put_Shape(static_cast<ZtcShape>(row.value)), S_OK);
      ASSERT_EQ(control_->get_Shape(reinterpret_cast<ZtcShape*>(&held)), S_OK);
    } else {
      ASSERT_EQ(control_->put_Level(static_cast<ZtcLevel>(row.value)), S_OK);
      ASSERT_EQ(control_->get_Level(reinterpret_cast<ZtcLevel*>(&held)), S_OK);
    }
    EXPECT_EQ(held, row.held) << "row " << i;
    const Log told = {"sink changed " + std::to_string(row.property == kShape ? 1 : 2)};
    EXPECT_EQ(log, row.told ? told : Log{}) << "row " << i;
  }
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_FALSE)
      << "only the stock properties mark the control";
  ASSERT_EQ(point->Unadvise(cookie), S_OK);
}

// ---------------------------------------------------------------- stock properties

// The container's sinks connected as a container connects them: property notifications, the
// view advise sink and a data advise sink (advise flags 0, so the holder asks for the data).
class StockProperty : public ControlFramework {
 protected:
  void SetUp() override {
    ControlFramework::SetUp();
    point_ = PropertyPoint();
    ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
    ASSERT_EQ(As<IViewObject>(control_)->SetAdvise(DVASPECT_CONTENT, 0, &view_), S_OK);
    FORMATETC format = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    ASSERT_EQ(As<IDataObject>(control_)->DAdvise(&format, 0, &data_, &data_cookie_), S_OK);
  }
  void TearDown() override {
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    if (control_) {
      As<IViewObject>(control_)->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
      As<IDataObject>(control_)->DUnadvise(data_cookie_);
    }
    ControlFramework::TearDown();
    EXPECT_EQ(view_.references, 1);
    EXPECT_EQ(data_.references, 1);
  }

  // The data sink's notice: the advised format, and no medium (the control offers no data).
  static std::string DataNotice() { return "data " + std::to_string(CF_METAFILEPICT) + " 0"; }

  Log log_;
  PropertySink sink_{&log_};
  AdviseSink view_{&log_};
  AdviseSink data_{&log_};
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  DWORD data_cookie_ = 0;
};

TEST_F(StockProperty, BackColorAsksThenMarksNotifiesRedrawsAndTellsDataSinks) {
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_FALSE);
  ASSERT_EQ(control_->put_BackColor(0x000000FF), S_OK);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink changed -501", "view 1 -1", DataNotice()}));
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK);
  // The holder asked the control itself for the advised format.
  EXPECT_EQ(self_->DataRequests(), std::vector<CLIPFORMAT>{CF_METAFILEPICT});
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
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_FALSE);
  EXPECT_TRUE(self_->DataRequests().empty());
  OLE_COLOR color = 0;
  ASSERT_EQ(control_->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, kDefaultBackColor);
  point_->Unadvise(other_cookie);
}

TEST_F(StockProperty, InPlaceTheWindowIsInvalidatedInsteadOfTellingTheView) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  HWND window = self_->CreateControlWindow(parent, RECT{0, 0, 64, 48});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(self_->Window(), window);
  ValidateRect(window, nullptr);
  ASSERT_EQ(control_->put_BackColor(0x00FF0000), S_OK);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink changed -501", DataNotice()}));
  RECT update = {};
  EXPECT_TRUE(GetUpdateRect(window, &update, FALSE));
  EXPECT_EQ(update.right - update.left, 64);
  EXPECT_EQ(update.bottom - update.top, 48);

  // Gone with its window, the control tells the view again.
  self_->DestroyControlWindow();
  EXPECT_EQ(self_->Window(), nullptr);
  log_.clear();
  ASSERT_EQ(control_->put_BackColor(0x0000FF00), S_OK);
  EXPECT_EQ(log_, (Log{"sink request -501", "sink changed -501", "view 1 -1", DataNotice()}));
  DestroyWindow(parent);
}

TEST_F(StockProperty, WithNobodyToTellTheChangeStillHappens) {
  point_->Unadvise(cookie_);
  ASSERT_EQ(As<IViewObject>(control_)->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
  ASSERT_EQ(As<IDataObject>(control_)->DUnadvise(data_cookie_), S_OK);
  EXPECT_EQ(As<IDataObject>(control_)->DUnadvise(data_cookie_), OLE_E_NOCONNECTION);
  ASSERT_EQ(control_->put_BackColor(0x00010203), S_OK);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(As<IPersistStreamInit>(control_)->IsDirty(), S_OK);
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
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", DataNotice()}));
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
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", DataNotice()}));
}

TEST_F(StockProperty, APictureThatCannotBeCopiedLeavesNoPictureButIsStillAnnounced) {
  ComPtr<IPictureDisp> real = MakePicture(2, 2);
  ASSERT_EQ(control_->putref_Picture(real.Get()), S_OK);
  log_.clear();
  UnsavablePicture unsavable;
  ASSERT_EQ(control_->put_Picture(&unsavable), S_OK);
  ComPtr<IPictureDisp> held;
  ASSERT_EQ(control_->get_Picture(&held), S_OK);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(unsavable.references, 1);
  EXPECT_TRUE(HasReferences(real.Get(), 1));
  EXPECT_EQ(log_, (Log{"sink request -523", "sink changed -523", "view 1 -1", DataNotice()}));
}

// ---------------------------------------------------------------- the control window

TEST_F(ControlFramework, TheWindowPaintsThroughTheControlAndOffersItsMessagesToTheHook) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  HWND window = self_->CreateControlWindow(parent, RECT{4, 4, 44, 34});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(self_->CreateControlWindow(parent, RECT{0, 0, 10, 10}), nullptr) << "only one";
  const int draws = self_->Draws();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(self_->Draws(), draws + 1);
  EXPECT_EQ(SendMessageW(window, kTestMessage, 0, 0), kTestMessageAnswer);
  EXPECT_EQ(SendMessageW(window, kTestMessage + 1, 0, 0), 0) << "not the hook's: default";
  DestroyWindow(parent);
  EXPECT_EQ(self_->Window(), nullptr) << "the control saw its window go with its parent";
}

}  // namespace
}  // namespace zu::test
