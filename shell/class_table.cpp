#include "shell/class_table.h"

#include <new>

#include "shell/module.h"

namespace zu {
namespace {

// One per class, cached in the class table for the life of the module. The table holds one
// reference; while clients hold more, the class object counts as one lock on the module, so a
// host that keeps a class object keeps the module loaded.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : create_(entry.create) {}

  // ---------------------------------------------------------------- IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    LONG count = InterlockedIncrement(&references_);
    if (count == 2) Module::Current().Lock();
    return static_cast<ULONG>(count);
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = InterlockedDecrement(&references_);
    if (count == 1) Module::Current().Unlock();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  // ---------------------------------------------------------------- IClassFactory
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return create_(outer, riid, object);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      Module::Current().Lock();
    } else {
      Module::Current().Unlock();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() = default;

  LONG references_ = 1;
  CreateFunction create_;
};

}  // namespace

HRESULT CreateNothing(IUnknown* outer, REFIID riid, void** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}

IClassFactory* NewClassFactory(const ClassEntry& entry) {
  return new (std::nothrow) ClassFactory(entry);
}

HRESULT Module::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (std::size_t i = 0; i < class_count_; ++i) {
    ClassEntry& entry = classes_[i];
    if (!IsEqualCLSID(*entry.clsid, clsid)) continue;
    // Read without the lock first: once made, the slot does not change until unload.
    PVOID* slot = reinterpret_cast<PVOID*>(&entry.class_object);
    if (InterlockedCompareExchangePointer(slot, nullptr, nullptr) == nullptr) {
      EnterCriticalSection(&class_object_lock_);
      // Another thread may have made it while this one waited.
      if (entry.class_object == nullptr) entry.class_object = NewClassFactory(entry);
      LeaveCriticalSection(&class_object_lock_);
      if (entry.class_object == nullptr) return E_OUTOFMEMORY;
    }
    return entry.class_object->QueryInterface(riid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace zu
