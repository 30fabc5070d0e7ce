// The capture type library as hosts read it, from the copy this program carries as TYPELIB 1
// (as ZuVCap.dll does): its six types in order, the interface's slots and DISPIDs, the events,
// and OLE_COLOR where BackColor is.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zu_video_cap.h"

namespace zu::test {
namespace {

using Microsoft::WRL::ComPtr;

class CaptureTypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, &library_), S_OK);
  }
  std::string Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string out;
    for (const wchar_t* c = name; c && *c; ++c) out += static_cast<char>(*c);
    SysFreeString(name);
    return out;
  }
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
  const struct {
    UINT index;  // slot - 7
    const char* name;
    MEMBERID id;
    INVOKEKIND kind;
  } rows[] = {{0, "BackColor", DISPID_BACKCOLOR, INVOKE_PROPERTYPUT},
              {2, "Picture", DISPID_PICTURE, INVOKE_PROPERTYPUTREF},
              {5, "BitCount", 1, INVOKE_PROPERTYGET},
              {11, "Start", 4, INVOKE_FUNC},
              {13, "CaptureWidth", 6, INVOKE_PROPERTYGET},
              {18, "Version", 9, INVOKE_PROPERTYGET},
              {22, "Snapshot", 11, INVOKE_FUNC},
              {23, "DeviceID", 12, INVOKE_PROPERTYGET},
              {33, "AboutBox", DISPID_ABOUTBOX, INVOKE_FUNC}};
  for (const auto& row : rows) {
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(row.index, &function), S_OK) << row.name;
    EXPECT_EQ(Name(vtable.Get(), function->memid), row.name) << row.index;
    EXPECT_EQ(function->memid, row.id) << row.name;
    EXPECT_EQ(function->invkind, row.kind) << row.name;
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + row.index) * sizeof(void*))) << row.name;
    EXPECT_EQ((function->wFuncFlags & FUNCFLAG_FNONBROWSABLE) != 0, row.id == 9) << row.name;
    if (row.index == 0) {
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
