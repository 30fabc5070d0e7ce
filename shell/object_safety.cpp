#include "shell/object_safety.h"

#include <ocidl.h>

namespace zu {

bool ObjectSafetyImpl::Answers(REFIID riid) {
  IUnknown* answer = nullptr;
  if (FAILED(QueryInterface(riid, reinterpret_cast<void**>(&answer))) || answer == nullptr) {
    return false;
  }
  answer->Release();
  return true;
}

STDMETHODIMP ObjectSafetyImpl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                         DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  *supported = 0;
  *enabled = 0;
  if (!Answers(riid)) return E_NOINTERFACE;
  *supported = supported_;
  *enabled = enabled_;
  return S_OK;
}

STDMETHODIMP ObjectSafetyImpl::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (!Answers(riid)) return E_NOINTERFACE;
  if (IsEqualIID(riid, IID_IPersistPropertyBag)) {
    return enabled == INTERFACESAFE_FOR_UNTRUSTED_DATA ? S_OK : E_FAIL;
  }
  if ((mask & ~supported_) != 0) return E_FAIL;
  enabled_ = (enabled_ & ~mask) | (enabled & mask);
  return S_OK;
}

}  // namespace zu
