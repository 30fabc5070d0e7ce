// Connection points: the outgoing interfaces a control offers (property-change notifications,
// event dispinterfaces) and the container interface that finds them.
//
// A ConnectionPoint is a member of its control and shares the control's lifetime: its AddRef and
// Release go to the control. Sinks sit in slots; a sink's cookie is its slot number plus one, so
// no cookie is ever 0, and a freed slot is reused by the next Advise.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <vector>

namespace zu {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `container` is the control's container interface; its references stand for the point's.
  // With `freeze_count`, the point fires nothing while the count is above zero (the container
  // froze the control's events). An event dispinterface's point (`dispatch_sinks`) also takes a
  // sink that answers only IDispatch, as script engines' and many hosts' sinks do.
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid,
                  const LONG* freeze_count = nullptr, bool dispatch_sinks = false);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // ---------------------------------------------------------------- IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  const IID& Iid() const { return iid_; }
  // The connected sinks in slot order, each already asked for Iid() and held by the copy, so a
  // sink that unadvises while it is being called stays alive until the caller is done with it.
  std::vector<Microsoft::WRL::ComPtr<IUnknown>> Sinks() const;
  bool HasSinks() const;
  bool Frozen() const { return freeze_count_ != nullptr && *freeze_count_ > 0; }
  // Releases every sink (the control is going away).
  void UnadviseAll();

 private:
  IConnectionPointContainer* container_;
  IID iid_;
  const LONG* freeze_count_;
  bool dispatch_sinks_;
  std::vector<IUnknown*> slots_;  // held references; null marks a free slot
};

// IConnectionPointContainer over a control's fixed list of points.
class ConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  // ---------------------------------------------------------------- IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 protected:
  // Called once per point from the control's constructor, in the order enumeration gives.
  void AddConnectionPoint(ConnectionPoint* point) { points_.push_back(point); }

 private:
  std::vector<ConnectionPoint*> points_;
};

// ---------------------------------------------------------------- firing

// Asks every IPropertyNotifySink of `point` OnRequestEdit(dispid); S_FALSE as soon as one
// refuses, else S_OK.
HRESULT FireRequestEdit(const ConnectionPoint& point, DISPID dispid);
// Tells every IPropertyNotifySink of `point` OnChanged(dispid).
void FireChanged(const ConnectionPoint& point, DISPID dispid);
// Calls every IDispatch sink of `point` with the method `dispid` and `params` (arguments in
// reverse order), locale user default, no named arguments. With `result`, each call gets it and
// it is cleared afterwards. What the sinks return is ignored. A frozen point calls nobody.
void FireDispatchEvent(const ConnectionPoint& point, DISPID dispid, DISPPARAMS* params,
                       VARIANT* result);

}  // namespace zu
