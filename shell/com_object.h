// The root of every COM object of the shell: reference counting on a small nondelegating inner
// IUnknown, aggregation, the interface table, the module lock and the creation sequence.
//
//   class Thing final : public ComObjectRoot, public IFoo, public IBar {
//    public:
//     ZU_DELEGATING_UNKNOWN
//     explicit Thing(IUnknown* outer) : ComObjectRoot(outer) {}
//    protected:
//     HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
//       static const InterfaceEntry kTable[] = {
//           ZU_INTERFACE(IID_IFoo, Thing, IFoo), ZU_INTERFACE(IID_IBar, Thing, IBar), {}};
//       return QueryInterfaceTable(this, kTable, riid, object);
//     }
//   };
//   CreateComObject<Thing>(outer, riid, object);
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <cstddef>
#include <new>

#include "shell/module.h"

namespace zu {

struct InterfaceEntry {
  const IID* iid;          // null ends the table
  std::ptrdiff_t offset;   // from the most derived object to the interface
};

// Where interface `Iface` lies in `Class`, reached through its base `Via` when `Iface` is a
// shared base (IDispatch through the dual interface, IPersist through IPersistStreamInit).
template <class Class, class Iface, class Via = Iface>
std::ptrdiff_t InterfaceOffset() {
  // A made-up address: only the pointer adjustment of the casts is wanted.
  constexpr std::ptrdiff_t kBase = 0x10000;
  Class* object = reinterpret_cast<Class*>(kBase);
  Iface* part = static_cast<Iface*>(static_cast<Via*>(object));
  return reinterpret_cast<std::ptrdiff_t>(part) - kBase;
}

#define ZU_INTERFACE(iid, Class, Iface) {&(iid), ::zu::InterfaceOffset<Class, Iface>()}
#define ZU_INTERFACE_VIA(iid, Class, Iface, Via) \
  {&(iid), ::zu::InterfaceOffset<Class, Iface, Via>()}

// Finds `riid` in `table` (IUnknown is not in tables: the inner unknown answers it). On success
// the interface is AddRef'd through itself, that is through the object's owner.
template <class Class>
HRESULT QueryInterfaceTable(Class* object, const InterfaceEntry* table, REFIID riid,
                            void** out) {
  for (const InterfaceEntry* entry = table; entry->iid; ++entry) {
    if (IsEqualIID(*entry->iid, riid)) {
      auto* part = reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(object) + entry->offset);
      part->AddRef();
      *out = part;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

class ComObjectRoot {
 public:
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;

  // The object's own IUnknown: its identity when it stands alone, what the outer object holds
  // when it is aggregated.
  IUnknown* InnerUnknown() { return &inner_; }
  bool IsAggregated() const { return owner_ != &inner_; }

  // Start-up work after construction; a failure destroys the object. Classes hide it.
  HRESULT Initialize() { return S_OK; }

  // Clean-up work when the last reference goes, while the whole object still stands (a
  // destructor runs with the derived parts already gone). Nothing by default.
  virtual void FinalRelease() noexcept {}

 protected:
  explicit ComObjectRoot(IUnknown* outer) : inner_(this), owner_(outer ? outer : &inner_) {
    Module::Current().Lock();
  }
  virtual ~ComObjectRoot() { Module::Current().Unlock(); }

  // Every interface except IUnknown, from the class's table.
  virtual HRESULT QueryInterfaceInner(REFIID riid, void** object) = 0;

  // Where the delegating IUnknown of every interface goes.
  IUnknown* Owner() const { return owner_; }

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObjectRoot* root) : root_(root) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
      if (object == nullptr) return E_POINTER;
      *object = nullptr;
      if (IsEqualIID(riid, IID_IUnknown)) {
        AddRef();
        *object = static_cast<IUnknown*>(this);
        return S_OK;
      }
      return root_->QueryInterfaceInner(riid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
      return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
      LONG left = InterlockedDecrement(&references_);
      if (left == 0) {
        // A destructor that hands out and drops a reference to itself must not come back here.
        references_ = kDestroying;
        root_->FinalRelease();
        delete root_;
      }
      return static_cast<ULONG>(left);
    }
    LONG references_ = 0;

   private:
    static constexpr LONG kDestroying = 0x40000000;
    ComObjectRoot* root_;
  };

  Inner inner_;
  IUnknown* owner_;
};

// IUnknown of every interface of an object, forwarded to its owner.
#define ZU_DELEGATING_UNKNOWN                                                       \
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {                \
    return Owner()->QueryInterface(riid, object);                                   \
  }                                                                                 \
  STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }              \
  STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }

// Creates a T(outer), runs its Initialize and answers `riid` (with an outer object: its inner
// unknown, which the class object has made sure was asked for). Nothing is left behind on
// failure.
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  T* created = new (std::nothrow) T(outer);
  if (created == nullptr) return E_OUTOFMEMORY;
  ComObjectRoot* root = created;
  IUnknown* inner = root->InnerUnknown();
  inner->AddRef();
  HRESULT hr = created->Initialize();
  if (SUCCEEDED(hr)) {
    if (outer) {
      *object = inner;
      return S_OK;
    }
    hr = inner->QueryInterface(riid, object);
  }
  inner->Release();
  return hr;
}

}  // namespace zu
