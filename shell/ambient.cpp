#include "shell/ambient.h"

#include <oaidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include "shell/com_util.h"

namespace zu {
namespace {

HRESULT ReadAmbient(IOleClientSite* site, DISPID dispid, Variant* value) {
  if (site == nullptr) return E_UNEXPECTED;
  Microsoft::WRL::ComPtr<IDispatch> ambients;
  ZU_RETURN_IF_FAILED(site->QueryInterface(IID_PPV_ARGS(&ambients)));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return ambients->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                          value->Put(), nullptr, nullptr);
}

}  // namespace

std::optional<bool> ReadAmbientBool(IOleClientSite* site, DISPID dispid) {
  Variant value;
  if (FAILED(ReadAmbient(site, dispid, &value)) || value.Type() != VT_BOOL) return std::nullopt;
  return V_BOOL(&value.Get()) != VARIANT_FALSE;
}

std::optional<LCID> ReadAmbientLocale(IOleClientSite* site) {
  Variant value;
  if (FAILED(ReadAmbient(site, DISPID_AMBIENT_LOCALEID, &value))) return std::nullopt;
  // Containers hand the locale out as VT_I4 or VT_UI4.
  if (value.Type() == VT_I4) return static_cast<LCID>(V_I4(&value.Get()));
  if (value.Type() == VT_UI4) return static_cast<LCID>(V_UI4(&value.Get()));
  return std::nullopt;
}

}  // namespace zu
