#include "shell/connection_point.h"

#include <algorithm>
#include <new>
#include <utility>

#include "shell/com_object.h"
#include "shell/com_util.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

void HoldItem(const CONNECTDATA& item) { item.pUnk->AddRef(); }
void DropItem(const CONNECTDATA& item) { item.pUnk->Release(); }
void HoldItem(IConnectionPoint* item) { item->AddRef(); }
void DropItem(IConnectionPoint* item) { item->Release(); }

// An enumerator over a snapshot taken when it was made: later advises and unadvises do not
// change what it lists. It holds a reference on every item it lists and hands out new ones.
template <class Enum, class Item>
class SnapshotEnumerator final : public ComObjectRoot, public Enum {
 public:
  ZU_DELEGATING_UNKNOWN

  explicit SnapshotEnumerator(IUnknown* outer) : ComObjectRoot(outer) {}

  // `items` are held by the caller; the enumerator takes its own references.
  static HRESULT Make(const std::vector<Item>& items, size_t position, const IID& iid,
                      Enum** out) {
    *out = nullptr;
    auto* made = new (std::nothrow) SnapshotEnumerator(nullptr);
    if (made == nullptr) return E_OUTOFMEMORY;
    IUnknown* inner = made->InnerUnknown();
    inner->AddRef();
    HRESULT hr = Guarded([&]() -> HRESULT {
      made->items_.reserve(items.size());
      for (const Item& item : items) {
        HoldItem(item);
        made->items_.push_back(item);
      }
      return S_OK;
    });
    made->position_ = position;
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(iid, reinterpret_cast<void**>(out));
    inner->Release();
    return hr;
  }

  // ---------------------------------------------------------------- IEnumXxx
  STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (items == nullptr) return E_POINTER;
    if (count != 1 && fetched == nullptr) return E_POINTER;
    ULONG given = 0;
    while (given < count && position_ < items_.size()) {
      HoldItem(items_[position_]);
      items[given++] = items_[position_++];
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) override {
    size_t left = items_.size() - position_;
    position_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }

  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(Enum** copy) override {
    ZU_CHECK_AND_CLEAR(copy);
    return Make(items_, position_, Iid(), copy);
  }

 protected:
  HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
    if (!IsEqualIID(riid, Iid())) return E_NOINTERFACE;
    auto* self = static_cast<Enum*>(this);
    self->AddRef();
    *object = self;
    return S_OK;
  }

 private:
  ~SnapshotEnumerator() override {
    for (const Item& item : items_) DropItem(item);
  }

  static const IID& Iid();

  std::vector<Item> items_;
  size_t position_ = 0;
};

using ConnectionsEnumerator = SnapshotEnumerator<IEnumConnections, CONNECTDATA>;
using PointsEnumerator = SnapshotEnumerator<IEnumConnectionPoints, IConnectionPoint*>;

template <>
const IID& ConnectionsEnumerator::Iid() {
  return IID_IEnumConnections;
}
template <>
const IID& PointsEnumerator::Iid() {
  return IID_IEnumConnectionPoints;
}

}  // namespace

// ---------------------------------------------------------------- ConnectionPoint

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& iid,
                                 const LONG* freeze_count, bool dispatch_sinks)
    : container_(container), iid_(iid), freeze_count_(freeze_count),
      dispatch_sinks_(dispatch_sinks) {}

ConnectionPoint::~ConnectionPoint() { UnadviseAll(); }

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  ZU_CHECK_AND_CLEAR(object);
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) {
    return E_NOINTERFACE;
  }
  AddRef();
  *object = static_cast<IConnectionPoint*>(this);
  return S_OK;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return container_->AddRef(); }

STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return container_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  ZU_CHECK_AND_CLEAR(container);
  container_->AddRef();
  *container = container_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  IUnknown* connected = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&connected))) || !connected) {
    connected = nullptr;
    if (!dispatch_sinks_ ||
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&connected))) ||
        !connected) {
      return CONNECT_E_CANNOTCONNECT;
    }
  }
  return Guarded([&]() -> HRESULT {
    auto free_slot = std::find(slots_.begin(), slots_.end(), nullptr);
    size_t slot = static_cast<size_t>(free_slot - slots_.begin());
    if (free_slot == slots_.end()) {
      try {
        slots_.push_back(nullptr);
      } catch (...) {
        connected->Release();
        throw;
      }
    }
    slots_[slot] = connected;
    *cookie = static_cast<DWORD>(slot + 1);
    return S_OK;
  });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > slots_.size() || slots_[cookie - 1] == nullptr) {
    return CONNECT_E_NOCONNECTION;
  }
  IUnknown* sink = std::exchange(slots_[cookie - 1], nullptr);
  sink->Release();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  ZU_CHECK_AND_CLEAR(connections);
  return Guarded([&]() -> HRESULT {
    std::vector<CONNECTDATA> items;
    for (size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i]) items.push_back(CONNECTDATA{slots_[i], static_cast<DWORD>(i + 1)});
    }
    return ConnectionsEnumerator::Make(items, 0, IID_IEnumConnections, connections);
  });
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<ComPtr<IUnknown>> sinks;
  for (IUnknown* sink : slots_) {
    if (sink) sinks.emplace_back(sink);
  }
  return sinks;
}

bool ConnectionPoint::HasSinks() const {
  return std::any_of(slots_.begin(), slots_.end(), [](IUnknown* sink) { return sink != nullptr; });
}

void ConnectionPoint::UnadviseAll() {
  for (IUnknown*& sink : slots_) {
    if (IUnknown* held = std::exchange(sink, nullptr)) held->Release();
  }
}

// ---------------------------------------------------------------- ConnectionPointContainerImpl

STDMETHODIMP ConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  ZU_CHECK_AND_CLEAR(points);
  return Guarded([&]() -> HRESULT {
    std::vector<IConnectionPoint*> items(points_.begin(), points_.end());
    return PointsEnumerator::Make(items, 0, IID_IEnumConnectionPoints, points);
  });
}

STDMETHODIMP ConnectionPointContainerImpl::FindConnectionPoint(REFIID riid,
                                                               IConnectionPoint** point) {
  ZU_CHECK_AND_CLEAR(point);
  for (ConnectionPoint* candidate : points_) {
    if (IsEqualIID(candidate->Iid(), riid)) {
      candidate->AddRef();
      *point = candidate;
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

// ---------------------------------------------------------------- firing

HRESULT FireRequestEdit(const ConnectionPoint& point, DISPID dispid) {
  if (!point.HasSinks()) return S_OK;
  return Guarded([&]() -> HRESULT {
    for (const ComPtr<IUnknown>& sink : point.Sinks()) {
      auto* notify = static_cast<IPropertyNotifySink*>(sink.Get());
      if (notify->OnRequestEdit(dispid) == S_FALSE) return S_FALSE;
    }
    return S_OK;
  });
}

void FireChanged(const ConnectionPoint& point, DISPID dispid) {
  if (point.Frozen() || !point.HasSinks()) return;
  Guarded([&]() -> HRESULT {
    for (const ComPtr<IUnknown>& sink : point.Sinks()) {
      static_cast<IPropertyNotifySink*>(sink.Get())->OnChanged(dispid);
    }
    return S_OK;
  });
}

void FireDispatchEvent(const ConnectionPoint& point, DISPID dispid, DISPPARAMS* params,
                       VARIANT* result) {
  if (point.Frozen() || !point.HasSinks()) return;
  Guarded([&]() -> HRESULT {
    for (const ComPtr<IUnknown>& sink : point.Sinks()) {
      static_cast<IDispatch*>(sink.Get())
          ->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, result, nullptr,
                   nullptr);
      if (result) VariantClear(result);
    }
    return S_OK;
  });
}

}  // namespace zu
