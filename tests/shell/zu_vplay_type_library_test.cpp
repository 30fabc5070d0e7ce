// The play type library as hosts read it once ZuVPlay.dll has registered it: exactly its six
// types in order, BackColor typed as stdole's OLE_COLOR (what makes a form designer offer a
// colour picker), the property page's IUnknown taken from stdole, the dual interface's members in
// the slots hosts compiled against, and help strings on the enumeration values.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/com_util.h"
#include "tests/shell/com_assertions.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "zu_video_play.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::ExpectJapanese;
using test::GuidText;
using test::HexCode;
using test::Narrow;

const GUID kStdole = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kOleColor = {
    0x66504301, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

std::wstring Name(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  Bstr name;
  EXPECT_EQ(info->GetDocumentation(member, name.Put(), nullptr, nullptr, nullptr), S_OK);
  return name.Get() ? name.Get() : L"";
}

std::wstring HelpString(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  Bstr help;
  EXPECT_EQ(info->GetDocumentation(member, nullptr, help.Put(), nullptr, nullptr), S_OK);
  return help.Get() ? help.Get() : L"";
}

// What a type description ends in, as "OLE_COLOR in {library}" or a variant type number, with
// one "*" per pointer on the way.
std::string Describe(ITypeInfo* from, const TYPEDESC& type) {
  if (type.vt == VT_PTR) return Describe(from, *type.lptdesc) + "*";
  if (type.vt != VT_USERDEFINED) return "vt " + std::to_string(type.vt);
  ComPtr<ITypeInfo> target;
  HRESULT hr = from->GetRefTypeInfo(type.hreftype, &target);
  if (hr != S_OK) return "unresolved " + HexCode(hr);
  ComPtr<ITypeLib> library;
  UINT index = 0;
  if (target->GetContainingTypeLib(&library, &index) != S_OK) return "no library";
  TLIBATTR* attributes = nullptr;
  library->GetLibAttr(&attributes);
  std::string text = Narrow(Name(target.Get())) + " in " + GuidText(attributes->guid);
  library->ReleaseTLibAttr(attributes);
  return text;
}

GUID TypeGuid(ITypeInfo* info) {
  TYPEATTR* attributes = nullptr;
  if (info->GetTypeAttr(&attributes) != S_OK) return GUID_NULL;
  GUID guid = attributes->guid;
  info->ReleaseTypeAttr(attributes);
  return guid;
}

class ZuVPlayTypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_TRUE(sandbox_.Ok());
    test::RemovePlayLibraryEscapes(sandbox_);
    // Registration runs RegisterTypeLib on the embedded library.
    ASSERT_EQ(dll_.DllRegisterServer(), S_OK);
    ASSERT_EQ(LoadRegTypeLib(LIBID_ZuVideoPlayLIB, 1, 0, 0x409, &library_), S_OK);
  }
  void TearDown() override {
    library_.Reset();
    CoUninitialize();
  }

  ComPtr<ITypeInfo> Type(const GUID& guid) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library_->GetTypeInfoOfGuid(guid, &info), S_OK) << GuidText(guid);
    return info;
  }
  // The vtable side of the dual interface; the library's own entry is its dispatch side.
  ComPtr<ITypeInfo> VtableSide() {
    ComPtr<ITypeInfo> dispatch = Type(IID_IZuVideoPlayCtl), vtable;
    HREFTYPE href = 0;
    EXPECT_EQ(dispatch->GetRefTypeOfImplType(-1, &href), S_OK);
    EXPECT_EQ(dispatch->GetRefTypeInfo(href, &vtable), S_OK);
    return vtable;
  }

  test::RegistrySandbox sandbox_;
  test::ServerDll dll_{L"ZuVPlay.dll"};
  ComPtr<ITypeLib> library_;
};

TEST_F(ZuVPlayTypeLibrary, HoldsExactlyItsSixTypesInOrderWhereverItIsLoadedFrom) {
  const struct {
    const wchar_t* name;
    TYPEKIND kind;
    const GUID* guid;  // null for the enumerations
    WORD flags;        // all type flags
    DWORD help_context;
  } kTypes[] = {
      {L"_IZuVideoPlayCtlEvents", TKIND_DISPATCH, &DIID__IZuVideoPlayCtlEvents,
       TYPEFLAG_FDISPATCHABLE, 0},
      {L"ZuVideoPlay", TKIND_COCLASS, &CLSID_ZuVideoPlay, TYPEFLAG_FCANCREATE, 0},
      // The library marks the interface dual and automation-compatible; oleaut32 shows the
      // latter on the vtable side only.
      {L"IZuVideoPlayCtl", TKIND_DISPATCH, &IID_IZuVideoPlayCtl,
       TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, 0},
      {L"VpyFrameFormat", TKIND_ENUM, nullptr, 0, 300},
      {L"VpySizeMode", TKIND_ENUM, nullptr, 0, 310},
      {L"ZuVPlayPpg", TKIND_COCLASS, &CLSID_ZuVPlayPpg, 0, 0},
  };
  ComPtr<ITypeLib> from_dll, from_file;
  ASSERT_EQ(LoadTypeLibEx(dll_.Path().c_str(), REGKIND_NONE, &from_dll), S_OK);
  ASSERT_EQ(LoadTypeLibEx(test::BesideTestProgram(L"zu_video_play.tlb").c_str(), REGKIND_NONE,
                          &from_file),
            S_OK);
  for (ITypeLib* library : {library_.Get(), from_dll.Get(), from_file.Get()}) {
    ASSERT_EQ(library->GetTypeInfoCount(), std::size(kTypes));
    for (UINT i = 0; i < std::size(kTypes); ++i) {
      SCOPED_TRACE(Narrow(kTypes[i].name));
      ComPtr<ITypeInfo> info;
      ASSERT_EQ(library->GetTypeInfo(i, &info), S_OK);
      EXPECT_EQ(Name(info.Get()), kTypes[i].name);
      TYPEATTR* attributes = nullptr;
      ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
      EXPECT_EQ(attributes->typekind, kTypes[i].kind);
      EXPECT_EQ(GuidText(attributes->guid), GuidText(kTypes[i].guid ? *kTypes[i].guid : GUID_NULL));
      EXPECT_EQ(attributes->wTypeFlags, kTypes[i].flags);
      info->ReleaseTypeAttr(attributes);
      DWORD help_context = 12345;
      ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, nullptr, &help_context, nullptr),
                S_OK);
      EXPECT_EQ(help_context, kTypes[i].help_context);
    }
    // widl's copy of IUnknown is gone: the library finds no IUnknown of its own.
    ComPtr<ITypeInfo> unknown;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IUnknown, &unknown), TYPE_E_ELEMENTNOTFOUND);
  }
  EXPECT_EQ(HelpString(Type(CLSID_ZuVideoPlay).Get()), L"ZuVPlayCtl Class");
  EXPECT_EQ(HelpString(Type(CLSID_ZuVPlayPpg).Get()), L"ZuVPlayPpg Class");
  EXPECT_EQ(HelpString(Type(DIID__IZuVideoPlayCtlEvents).Get()),
            L"_IZuVideoPlayCtlEvents Interface");
}

TEST_F(ZuVPlayTypeLibrary, BackColorIsStdolesOleColorOnBothSidesOfTheDualInterface) {
  const std::string ole_color = "OLE_COLOR in " + GuidText(kStdole);
  for (const ComPtr<ITypeInfo>& info : {Type(IID_IZuVideoPlayCtl), VtableSide()}) {
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    SCOPED_TRACE(attributes->typekind == TKIND_DISPATCH ? "dispatch side" : "vtable side");
    int found = 0;
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      ASSERT_EQ(info->GetFuncDesc(i, &function), S_OK);
      if (function->memid == DISPID_BACKCOLOR && function->invkind == INVOKE_PROPERTYPUT) {
        ASSERT_GE(function->cParams, 1);
        EXPECT_EQ(Describe(info.Get(), function->lprgelemdescParam[function->cParams - 1].tdesc),
                  ole_color);
        ++found;
      }
      if (function->memid == DISPID_BACKCOLOR && function->invkind == INVOKE_PROPERTYGET) {
        // The dispatch side shows the retval as the result, the vtable side as a pointer.
        const TYPEDESC& type =
            function->cParams ? function->lprgelemdescParam[0].tdesc : function->elemdescFunc.tdesc;
        EXPECT_EQ(Describe(info.Get(), type), function->cParams ? ole_color + "*" : ole_color);
        ++found;
      }
      info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(found, 2);
  }

  // What the alias is in stdole: a 32-bit unsigned integer under stdole's own GUID.
  FUNCDESC* put = nullptr;
  ComPtr<ITypeInfo> vtable = VtableSide(), alias;
  ASSERT_EQ(vtable->GetFuncDesc(0, &put), S_OK);
  ASSERT_EQ(put->lprgelemdescParam[0].tdesc.vt, VT_USERDEFINED);
  ASSERT_EQ(vtable->GetRefTypeInfo(put->lprgelemdescParam[0].tdesc.hreftype, &alias), S_OK);
  vtable->ReleaseFuncDesc(put);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(alias->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_ALIAS);
  EXPECT_EQ(attributes->tdescAlias.vt, VT_UI4);
  EXPECT_EQ(GuidText(attributes->guid), GuidText(kOleColor));
  alias->ReleaseTypeAttr(attributes);
}

TEST_F(ZuVPlayTypeLibrary, TheClassesImplementWhatTheyDeclareAndThePageUsesStdolesIUnknown) {
  const struct {
    const GUID* coclass;
    std::vector<std::pair<std::string, int>> implemented;  // "Name in {library}", flags
  } kClasses[] = {
      {&CLSID_ZuVideoPlay,
       {{"IZuVideoPlayCtl in " + GuidText(LIBID_ZuVideoPlayLIB), IMPLTYPEFLAG_FDEFAULT},
        {"IZuVideoPlayCtl in " + GuidText(LIBID_ZuVideoPlayLIB), 0},
        {"_IZuVideoPlayCtlEvents in " + GuidText(LIBID_ZuVideoPlayLIB),
         IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}},
      {&CLSID_ZuVPlayPpg, {{"IUnknown in " + GuidText(kStdole), IMPLTYPEFLAG_FDEFAULT}}},
  };
  for (const auto& row : kClasses) {
    ComPtr<ITypeInfo> info = Type(*row.coclass);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    std::vector<std::pair<std::string, int>> implemented;
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
      HREFTYPE href = 0;
      INT flags = -1;
      ASSERT_EQ(info->GetRefTypeOfImplType(i, &href), S_OK);
      ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
      TYPEDESC type = {};
      type.vt = VT_USERDEFINED;
      type.hreftype = href;
      implemented.emplace_back(Describe(info.Get(), type), flags);
    }
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(implemented, row.implemented) << GuidText(*row.coclass);
  }
  ComPtr<ITypeInfo> page = Type(CLSID_ZuVPlayPpg), unknown;
  HREFTYPE href = 0;
  ASSERT_EQ(page->GetRefTypeOfImplType(0, &href), S_OK);
  ASSERT_EQ(page->GetRefTypeInfo(href, &unknown), S_OK);
  EXPECT_EQ(GuidText(TypeGuid(unknown.Get())), GuidText(IID_IUnknown));
}

TEST_F(ZuVPlayTypeLibrary, TheDualInterfaceKeepsItsMembersIdsAndSlots) {
  const struct {
    MEMBERID id;
    INVOKEKIND kind;
    int parameters;
    WORD flags;
  } kMembers[] = {
      {DISPID_BACKCOLOR, INVOKE_PROPERTYPUT, 1, 0},
      {DISPID_BACKCOLOR, INVOKE_PROPERTYGET, 1, 0},
      {DISPID_PICTURE, INVOKE_PROPERTYPUTREF, 1, 0},
      {DISPID_PICTURE, INVOKE_PROPERTYPUT, 1, 0},
      {DISPID_PICTURE, INVOKE_PROPERTYGET, 1, 0},
      {1, INVOKE_PROPERTYGET, 1, 0},
      {1, INVOKE_PROPERTYPUT, 1, 0},
      {2, INVOKE_PROPERTYGET, 1, 0},
      {2, INVOKE_PROPERTYPUT, 1, 0},
      {3, INVOKE_FUNC, 3, 0},
      {4, INVOKE_FUNC, 3, 0},
      {5, INVOKE_PROPERTYGET, 1, FUNCFLAG_FNONBROWSABLE},
      {5, INVOKE_PROPERTYPUT, 1, FUNCFLAG_FNONBROWSABLE},
      {DISPID_ABOUTBOX, INVOKE_FUNC, 0, 0},
  };
  // The member's name and its parameters' names, as GetNames gives them for the first member
  // with the id (a put's value has no name).
  const struct {
    MEMBERID id;
    const wchar_t* names;
  } kNames[] = {
      {DISPID_BACKCOLOR, L"BackColor"},
      {DISPID_PICTURE, L"Picture"},
      {1, L"FrameFormat pVal"},
      {2, L"SizeMode pVal"},
      {3, L"RefreshFrame pbstrFrameData nFrameData pbSuccess"},
      {4, L"RefreshFrameEx vFrameData nFrameData pbSuccess"},
      {5, L"Version pVal"},
      {DISPID_ABOUTBOX, L"AboutBox"},
  };
  ComPtr<ITypeInfo> info = VtableSide();
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attributes->wTypeFlags,
            TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  ASSERT_EQ(attributes->cFuncs, std::size(kMembers));
  EXPECT_EQ(attributes->cbSizeVft, (7 + std::size(kMembers)) * sizeof(void*));
  info->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < std::size(kMembers); ++i) {
    SCOPED_TRACE("slot " + std::to_string(7 + i));
    FUNCDESC* function = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(function->memid, kMembers[i].id);
    EXPECT_EQ(function->invkind, kMembers[i].kind);
    EXPECT_EQ(function->cParams, kMembers[i].parameters);
    EXPECT_EQ(function->wFuncFlags, kMembers[i].flags);
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
    info->ReleaseFuncDesc(function);
  }
  for (const auto& row : kNames) {
    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(row.id, names, 4, &count), S_OK) << row.id;
    std::wstring joined;
    for (UINT n = 0; n < count; ++n) {
      joined += (n ? L" " : L"") + std::wstring(names[n]);
      SysFreeString(names[n]);
    }
    EXPECT_EQ(joined, row.names) << row.id;
  }
}

TEST_F(ZuVPlayTypeLibrary, EnumerationValuesCarryTheirHelpStrings) {
  const struct {
    const wchar_t* type;
    const wchar_t* type_help;
    std::vector<std::pair<std::wstring, std::wstring>> values;  // name, help string
  } kEnums[] = {
      {L"VpyFrameFormat",
       L"画像データのフォーマット",
       {{L"vpyFormatBMP", L"画像データのフォーマット:BMP"},
        {L"vpyFormatPNG", L"画像データのフォーマット:PNG"}}},
      {L"VpySizeMode",
       L"画像データの表示サイズモード",
       {{L"vpySizeCLIP", L"画像データの表示サイズモード:クリップ(画像サイズのまま中央に表示)"},
        {L"vpySizeZOOM", L"画像データの表示サイズモード:ズーム(縦横比を保持)"},
        {L"vpySizeSTRETCH", L"画像データの表示サイズモード:ストレッチ"}}},
  };
  for (UINT index : {3u, 4u}) {
    const auto& row = kEnums[index - 3];
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library_->GetTypeInfo(index, &info), S_OK);
    ASSERT_EQ(Name(info.Get()), row.type);
    // The strings are code page 932 bytes: they read as written only under a Japanese locale.
    if (ExpectJapanese()) {
      EXPECT_EQ(HelpString(info.Get()), row.type_help);
    }
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    ASSERT_EQ(attributes->cVars, row.values.size());
    info->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < row.values.size(); ++i) {
      SCOPED_TRACE(Narrow(row.values[i].first));
      VARDESC* value = nullptr;
      ASSERT_EQ(info->GetVarDesc(i, &value), S_OK);
      EXPECT_EQ(value->varkind, VAR_CONST);
      EXPECT_EQ(V_VT(value->lpvarValue), VT_I4);
      EXPECT_EQ(V_I4(value->lpvarValue), static_cast<LONG>(i));
      const MEMBERID id = value->memid;
      info->ReleaseVarDesc(value);
      EXPECT_EQ(Name(info.Get(), id), row.values[i].first);
      const std::wstring help = HelpString(info.Get(), id);
      if (ExpectJapanese()) {
        EXPECT_EQ(help, row.values[i].second);
      } else {
        EXPECT_FALSE(help.empty());
      }
    }
  }
}

TEST_F(ZuVPlayTypeLibrary, ALateBoundBackColorGoesThroughTheAliasToTheSetter) {
  // ITypeInfo::Invoke has to follow the alias into stdole to convert the argument.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll_.DllGetClassObject(CLSID_ZuVideoPlay, IID_IClassFactory, &factory), S_OK);
  ComPtr<IZuVideoPlayCtl> control;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IZuVideoPlayCtl, &control), S_OK);
  VARIANT value;
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(L"1193046");  // 0x123456
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  HRESULT hr = control->Invoke(DISPID_BACKCOLOR, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &params,
                               nullptr, nullptr, nullptr);
  VariantClear(&value);
  ASSERT_EQ(hr, S_OK) << HexCode(hr);
  OLE_COLOR color = 0;
  ASSERT_EQ(control->get_BackColor(&color), S_OK);
  EXPECT_EQ(color, 0x123456u);
  control.Reset();
  factory.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zu
