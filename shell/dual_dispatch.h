// IDispatch of a dual interface, served from the registered type library: a late-bound call is
// handed to the type information, which converts the arguments and calls the same vtable member
// an early-bound client calls.
//
//   class Control : ..., public DualDispatch<IZuVideoPlayCtl> {
//     Control() : DualDispatch(TypeInfoOfIZuVideoPlayCtl()) {}
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include "shell/com_util.h"
#include "shell/type_info_cache.h"

namespace zu {

template <class DualInterface>
class DualDispatch : public DualInterface {
 public:
  explicit DualDispatch(TypeInfoCache& type_info) : type_info_(type_info) {}

  // ---------------------------------------------------------------- IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    ZU_CHECK_AND_CLEAR(info);
    if (index != 0) return DISP_E_BADINDEX;
    return type_info_.Get(locale, info);
  }

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return type_info_.GetIDsOfNames(names, count, locale, ids);
  }

  STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    ZU_RETURN_IF_FAILED(type_info_.Get(locale, &info));
    return info->Invoke(static_cast<DualInterface*>(this), member, flags, params, result,
                        exception, argument_error);
  }

 private:
  TypeInfoCache& type_info_;
};

}  // namespace zu
