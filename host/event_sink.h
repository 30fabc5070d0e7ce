// EventSink: a dispatch sink for a control's outgoing (source) interface. It answers IUnknown,
// IDispatch and the one source interface it was made for, and hands each Invoke to a handler:
//
//   auto sink = EventSink::Make(DIID_SomeEvents, [&](DISPID id, DISPPARAMS* args) {
//     if (id == 1) Take(*V_BSTRREF(EventArgument(args, 0)), V_I4(EventArgument(args, 1)));
//     return S_OK;
//   });
//
// Events arrive as positional arguments in reverse order, as IDispatch passes them;
// EventArgument counts in the event's own parameter order. What the handler returns goes back
// to the firing control (which may ignore it); an exception from the handler goes no further
// (E_OUTOFMEMORY for an allocation failure, else E_FAIL).
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <functional>

namespace zu {

using EventHandler = std::function<HRESULT(DISPID dispid, DISPPARAMS* params)>;

// Parameter `index` of an event in declaration order; null when there are fewer. A by-reference
// argument is the VARIANT holding the reference (VT_BYREF | ...).
VARIANT* EventArgument(DISPPARAMS* params, UINT index);

class EventSink final : public IDispatch {
 public:
  static Microsoft::WRL::ComPtr<EventSink> Make(REFIID events, EventHandler handler);

  const IID& events() const { return events_; }

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // ---------------------------------------------------------------- IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* bad_argument) override;

 private:
  EventSink(REFIID events, EventHandler handler);
  ~EventSink() = default;

  LONG references_ = 1;
  IID events_;
  EventHandler handler_;
};

}  // namespace zu
