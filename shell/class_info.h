// Class and error information of a control: IProvideClassInfo2 from the coclass's type
// information, ISupportErrorInfo for the control's own dual interface only.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oaidl.h>

#include "shell/com_util.h"
#include "shell/type_info_cache.h"

namespace zu {

class ProvideClassInfo2Impl : public IProvideClassInfo2 {
 public:
  ProvideClassInfo2Impl(TypeInfoCache& coclass, const IID& default_source)
      : coclass_(coclass), default_source_(default_source) {}

  // ---------------------------------------------------------------- IProvideClassInfo
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
    ZU_CHECK_AND_CLEAR(info);
    return coclass_.Get(LOCALE_USER_DEFAULT, info);
  }

  // ---------------------------------------------------------------- IProvideClassInfo2
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    ZU_CHECK_AND_CLEAR(guid);
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_FAIL;
    *guid = default_source_;
    return S_OK;
  }

 private:
  TypeInfoCache& coclass_;
  IID default_source_;
};

class SupportErrorInfoImpl : public ISupportErrorInfo {
 public:
  explicit SupportErrorInfoImpl(const IID& dual) : dual_(dual) {}

  // ---------------------------------------------------------------- ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, dual_) ? S_OK : S_FALSE;
  }

 private:
  IID dual_;
};

}  // namespace zu
