#include "tests/shell/test_control/zu_test_ctl.h"

#include <initguid.h>  // defines the stock page identifiers below

#include <msstkppg.h>
#include <objsafe.h>
#include <olectl.h>

#include "shell/control_drawing.h"

namespace zu::test {
namespace {

constexpr LCID kTestLibraryLocale = 0x409;

const ControlDefinition kTestControlDefinition = {
    &CLSID_ZuTestCtl,     &DIID__IZuTestCtlEvents,
    true,                 &TestControlTypeInfo,
    &TestClassTypeInfo,   kTestPropertyMap,
    INTERFACESAFE_FOR_UNTRUSTED_CALLER,
    SIZEL{kTestExtentCx, kTestExtentCy},
    kOpaqueViewStatus};

}  // namespace

TypeInfoCache& TestControlTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuTestCtlLIB, 1, 0, kTestLibraryLocale, IID_IZuTestCtl);
  return cache;
}

TypeInfoCache& TestClassTypeInfo() {
  static TypeInfoCache cache(LIBID_ZuTestCtlLIB, 1, 0, kTestLibraryLocale, CLSID_ZuTestCtl);
  return cache;
}

const PropertyMapEntry kTestPropertyMap[] = {
    ZU_PROPERTY_ENTRY(L"_Version", 5, CLSID_NULL),
    ZU_EXTENT_ENTRY(L"_cx", cx),
    ZU_EXTENT_ENTRY(L"_cy", cy),
    ZU_PROPERTY_ENTRY(L"Shape", 1, CLSID_ZuTestPpg),
    ZU_PROPERTY_ENTRY(L"Level", 2, CLSID_ZuTestPpg),
    ZU_PROPERTY_ENTRY(L"BackColor", DISPID_BACKCOLOR, CLSID_StockColorPage),
    ZU_PROPERTY_ENTRY(L"Picture", DISPID_PICTURE, CLSID_StockPicturePage),
    ZU_END_OF_MAP,
};

ZuTestCtl::ZuTestCtl(IUnknown* outer) : ControlObject(outer, kTestControlDefinition) {}

HRESULT ZuTestCtl::Create(REFIID riid, void** object) {
  return CreateComObject<ZuTestCtl>(nullptr, riid, object);
}

HRESULT ZuTestCtl::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return CreateComObject<ZuTestCtl>(outer, riid, object);
}

// ---------------------------------------------------------------- IZuTestCtl

STDMETHODIMP ZuTestCtl::get_Shape(ZtcShape* pVal) {
  return ReadProperty(shape_, pVal);
}

STDMETHODIMP ZuTestCtl::put_Shape(ZtcShape newVal) {
  SetEnumProperty(shape_, newVal, ztcShapeSquare, ztcShapeRound, ztcShapeSquare, 1);
  return S_OK;
}

STDMETHODIMP ZuTestCtl::get_Level(ZtcLevel* pVal) {
  return ReadProperty(level_, pVal);
}

STDMETHODIMP ZuTestCtl::put_Level(ZtcLevel newVal) {
  SetEnumProperty(level_, newVal, ztcLevelLow, ztcLevelHigh, ztcLevelMid, 2);
  return S_OK;
}

STDMETHODIMP ZuTestCtl::Measure(BSTR* pbstrData, LONG nData, LONG* pnBytes) {
  if (pnBytes == nullptr) return E_POINTER;
  *pnBytes = -1;
  if (pbstrData == nullptr || *pbstrData == nullptr || nData < 0 ||
      static_cast<UINT>(nData) > SysStringByteLen(*pbstrData)) {
    return S_OK;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(*pbstrData);
  LONG sum = 0;
  for (LONG i = 0; i < nData; ++i) sum += bytes[i];
  *pnBytes = sum;
  return S_OK;
}

STDMETHODIMP ZuTestCtl::Deliver(LONG nData) {
  if (nData < 0) return E_INVALIDARG;
  BSTR text = SysAllocStringByteLen(nullptr, static_cast<UINT>(nData));
  if (text == nullptr) return E_OUTOFMEMORY;
  auto* bytes = reinterpret_cast<unsigned char*>(text);
  for (LONG i = 0; i < nData; ++i) bytes[i] = static_cast<unsigned char>(i);
  VARIANT args[2];
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = nData;
  V_VT(&args[1]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&args[1]) = &text;
  DISPPARAMS params = {args, nullptr, 2, 0};
  FireDispatchEvent(events_, 1, &params, nullptr);
  // A sink may have put another string in its place; whichever is there now is ours to free.
  SysFreeString(text);
  return S_OK;
}

STDMETHODIMP ZuTestCtl::get_Version(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = kTestControlVersion;
  return S_OK;
}

STDMETHODIMP ZuTestCtl::put_Version(LONG) { return S_OK; }

// ---------------------------------------------------------------- IDataObject

STDMETHODIMP ZuTestCtl::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
  data_requests_.push_back(pformatetcIn ? pformatetcIn->cfFormat : CLIPFORMAT{0});
  return ControlObject::GetData(pformatetcIn, pmedium);
}

// ---------------------------------------------------------------- drawing and messages

HRESULT ZuTestCtl::OnDraw(HDC dc, const RECT& bounds) noexcept {
  ++draws_;
  DrawControlSurface(dc, bounds, stock_.BackColor(), stock_.Picture());
  return S_OK;
}

bool ZuTestCtl::OnControlMessage(UINT message, WPARAM, LPARAM, LRESULT* result) noexcept {
  if (message != kTestMessage) return false;
  *result = kTestMessageAnswer;
  return true;
}

}  // namespace zu::test
