#include "host/event_sink.h"

#include <new>
#include <utility>

namespace zu {

using Microsoft::WRL::ComPtr;

VARIANT* EventArgument(DISPPARAMS* params, UINT index) {
  if (params == nullptr || params->rgvarg == nullptr || index >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - index];
}

ComPtr<EventSink> EventSink::Make(REFIID events, EventHandler handler) {
  ComPtr<EventSink> sink;
  // MinGW's ComPtr::Attach adds a reference; the new sink's own one is handed over directly.
  *sink.GetAddressOf() = new (std::nothrow) EventSink(events, std::move(handler));
  return sink;
}

EventSink::EventSink(REFIID events, EventHandler handler)
    : events_(events), handler_(std::move(handler)) {}

// ---------------------------------------------------------------- IUnknown

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
      !IsEqualIID(riid, events_)) {
    return E_NOINTERFACE;
  }
  *object = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) EventSink::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) EventSink::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---------------------------------------------------------------- IDispatch

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;  // controls fire events by identifier
}

STDMETHODIMP EventSink::Invoke(DISPID dispid, REFIID riid, LCID, WORD, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO*, UINT*) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (result) VariantInit(result);
  if (!handler_) return S_OK;
  // The handler may drop the last connection and so this sink.
  ComPtr<EventSink> keep(this);
  try {
    return handler_(dispid, params);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace zu
