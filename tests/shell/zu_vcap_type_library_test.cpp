// The capture type library as hosts read it once ZuVCap.dll has registered it: its six types in
// order, every member of the interface in its slot with its DISPID, kind and flags, the events,
// and OLE_COLOR where BackColor is.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "zu_video_cap.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

class CaptureTypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_TRUE(sandbox_.Ok());
    RemoveLibraryEscapes(sandbox_, IID_IZuVideoCapCtl, DIID__IZuVideoCapCtlEvents);
    ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
    ASSERT_EQ(LoadRegTypeLib(LIBID_ZuVideoCapLIB, 1, 0, 0x409, &library_), S_OK);
  }
  void TearDown() override { library_.Reset(); }
  std::string Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string out;
    for (const wchar_t* c = name; c && *c; ++c) out += static_cast<char>(*c);
    SysFreeString(name);
    return out;
  }
  RegistrySandbox sandbox_;
  ServerDll dll_{L"ZuVCap.dll"};
  ComPtr<ITypeLib> library_;
};

TEST_F(CaptureTypeLibrary, HoldsItsSixTypesInOrder) {
  const struct {
    const char* name;
    TYPEKIND kind;
  } expected[] = {{"_IZuVideoCapCtlEvents", TKIND_DISPATCH}, {"ZuVideoCapture", TKIND_COCLASS},
                  {"IZuVideoCapCtl", TKIND_DISPATCH},        {"VcpBitCount", TKIND_ENUM},
                  {"VcpCaptureFormat", TKIND_ENUM},          {"ZuVCapPpg", TKIND_COCLASS}};
  ASSERT_EQ(library_->GetTypeInfoCount(), 6u);
  for (UINT i = 0; i < 6; ++i) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library_->GetTypeInfo(i, &info), S_OK);
    TYPEKIND kind;
    library_->GetTypeInfoType(i, &kind);
    EXPECT_EQ(Name(info.Get()), expected[i].name) << i;
    EXPECT_EQ(kind, expected[i].kind) << i;  // a dual interface reads as its dispatch side
  }
}

// Slot, DISPID and kind of the members that hosts compile against, on the vtable side.
TEST_F(CaptureTypeLibrary, TheInterfaceKeepsItsSlotsAndDispatchIds) {
  ComPtr<ITypeInfo> dispatch, vtable;
  ASSERT_EQ(library_->GetTypeInfoOfGuid(IID_IZuVideoCapCtl, &dispatch), S_OK);
  HREFTYPE vtable_ref = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &vtable_ref), S_OK);
  ASSERT_EQ(dispatch->GetRefTypeInfo(vtable_ref, &vtable), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->cFuncs, 34);
  vtable->ReleaseTypeAttr(attributes);
  // In slot order from slot 7.
  const struct {
    const char* name;
    MEMBERID id;
    INVOKEKIND kind;
  } rows[] = {{"BackColor", DISPID_BACKCOLOR, INVOKE_PROPERTYPUT},
              {"BackColor", DISPID_BACKCOLOR, INVOKE_PROPERTYGET},
              {"Picture", DISPID_PICTURE, INVOKE_PROPERTYPUTREF},
              {"Picture", DISPID_PICTURE, INVOKE_PROPERTYPUT},
              {"Picture", DISPID_PICTURE, INVOKE_PROPERTYGET},
              {"BitCount", 1, INVOKE_PROPERTYGET},
              {"BitCount", 1, INVOKE_PROPERTYPUT},
              {"CaptureElapse", 2, INVOKE_PROPERTYGET},
              {"CaptureElapse", 2, INVOKE_PROPERTYPUT},
              {"CaptureFormat", 3, INVOKE_PROPERTYGET},
              {"CaptureFormat", 3, INVOKE_PROPERTYPUT},
              {"Start", 4, INVOKE_FUNC},
              {"Stop", 5, INVOKE_FUNC},
              {"CaptureWidth", 6, INVOKE_PROPERTYGET},
              {"CaptureWidth", 6, INVOKE_PROPERTYPUT},
              {"CaptureHeight", 7, INVOKE_PROPERTYGET},
              {"CaptureHeight", 7, INVOKE_PROPERTYPUT},
              {"ShowVideoFormat", 8, INVOKE_FUNC},
              {"Version", 9, INVOKE_PROPERTYGET},
              {"Version", 9, INVOKE_PROPERTYPUT},
              {"CaptureExEvent", 10, INVOKE_PROPERTYGET},
              {"CaptureExEvent", 10, INVOKE_PROPERTYPUT},
              {"Snapshot", 11, INVOKE_FUNC},
              {"DeviceID", 12, INVOKE_PROPERTYGET},
              {"DeviceID", 12, INVOKE_PROPERTYPUT},
              {"EnableSystemDriverSetting", 13, INVOKE_PROPERTYGET},
              {"EnableSystemDriverSetting", 13, INVOKE_PROPERTYPUT},
              {"CustomBitCount", 14, INVOKE_PROPERTYGET},
              {"CustomBitCount", 14, INVOKE_PROPERTYPUT},
              {"EnablePopupMenu", 15, INVOKE_PROPERTYGET},
              {"EnablePopupMenu", 15, INVOKE_PROPERTYPUT},
              {"ShowVideoSource", 16, INVOKE_FUNC},
              {"ShowVideoDisplay", 17, INVOKE_FUNC},
              {"AboutBox", DISPID_ABOUTBOX, INVOKE_FUNC}};
  static_assert(sizeof rows / sizeof rows[0] == 34);
  for (UINT index = 0; index < 34; ++index) {
    const auto& row = rows[index];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(index, &function), S_OK) << row.name;
    EXPECT_EQ(Name(vtable.Get(), function->memid), row.name) << index;
    EXPECT_EQ(function->memid, row.id) << row.name;
    EXPECT_EQ(function->invkind, row.kind) << row.name;
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + index) * sizeof(void*))) << row.name;
    EXPECT_EQ(function->callconv, CC_STDCALL) << row.name;
    EXPECT_EQ((function->wFuncFlags & FUNCFLAG_FNONBROWSABLE) != 0, row.id == 9) << row.name;
    if (index == 0) {
      // BackColor's value is stdole's OLE_COLOR, which form designers offer a colour picker for.
      const TYPEDESC& type = function->lprgelemdescParam[0].tdesc;
      ASSERT_EQ(type.vt, VT_USERDEFINED);
      ComPtr<ITypeInfo> alias;
      ASSERT_EQ(vtable->GetRefTypeInfo(type.hreftype, &alias), S_OK);
      EXPECT_EQ(Name(alias.Get()), "OLE_COLOR");
    }
    vtable->ReleaseFuncDesc(function);
  }
  LPOLESTR capture[] = {const_cast<LPOLESTR>(L"Capture")};
  MEMBERID id = 0;
  EXPECT_NE(dispatch->GetIDsOfNames(capture, 1, &id), S_OK) << "events are not members";
}

TEST_F(CaptureTypeLibrary, TheEventsAreCaptureAndCaptureEx) {
  ComPtr<ITypeInfo> events;
  ASSERT_EQ(library_->GetTypeInfoOfGuid(DIID__IZuVideoCapCtlEvents, &events), S_OK);
  const struct {
    const char* name;
    MEMBERID id;
    VARTYPE data;
  } rows[] = {{"Capture", 1, VT_PTR}, {"CaptureEx", 2, VT_VARIANT}};
  for (UINT i = 0; i < 2; ++i) {
    FUNCDESC* function = nullptr;
    ASSERT_EQ(events->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(Name(events.Get(), function->memid), rows[i].name);
    EXPECT_EQ(function->memid, rows[i].id);
    ASSERT_EQ(function->cParams, 2);
    EXPECT_EQ(function->lprgelemdescParam[0].tdesc.vt, rows[i].data) << rows[i].name;
    EXPECT_EQ(function->lprgelemdescParam[1].tdesc.vt, VT_I4) << rows[i].name;
    events->ReleaseFuncDesc(function);
  }
}

}  // namespace
}  // namespace zu::test
