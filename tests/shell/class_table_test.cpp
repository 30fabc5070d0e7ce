// The module's class table, class objects, lock count and object root, with classes of the test
// program's own: creation and its failures, aggregation, identity, exact reference counts, and
// when the module may unload.
#include "shell/class_table.h"

#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <vector>

#include "shell/com_object.h"
#include "shell/module.h"
#include "tests/shell/com_assertions.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::AnswersInterfaces;
using test::HasReferences;
using test::HexCode;
using test::RefusesInterfaces;
using test::SameObject;

const CLSID kProbeClsid = {0x5a1d0001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
const CLSID kEmptyClsid = {0x5a1d0002, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};
const CLSID kUnknownClsid = {0x5a1d0003, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x03}};
const GUID kTestLibrary = {0x5a1d00ff, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0xff}};

// What the probes did, for the tests to check.
struct ProbeLog {
  int constructed = 0;
  int destroyed = 0;
  HRESULT initialize_result = S_OK;
  bool touch_itself_when_destroyed = false;
};
ProbeLog g_log;

class Probe final : public ComObjectRoot, public IPersist, public ISupportErrorInfo {
 public:
  ZU_DELEGATING_UNKNOWN

  explicit Probe(IUnknown* outer) : ComObjectRoot(outer) { ++g_log.constructed; }

  HRESULT Initialize() { return g_log.initialize_result; }

  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = kProbeClsid;
    return S_OK;
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_FALSE; }

 protected:
  HRESULT QueryInterfaceInner(REFIID riid, void** object) override {
    static const InterfaceEntry kTable[] = {
        ZU_INTERFACE(IID_IPersist, Probe, IPersist),
        ZU_INTERFACE(IID_ISupportErrorInfo, Probe, ISupportErrorInfo),
        {nullptr, 0}};
    return QueryInterfaceTable(this, kTable, riid, object);
  }

 private:
  ~Probe() override {
    ++g_log.destroyed;
    if (g_log.touch_itself_when_destroyed) {
      // As a destructor that hands itself to someone who lets go at once.
      AddRef();
      Release();
    }
  }
};

// An outer object that counts what reaches its own IUnknown and keeps its inner object.
class CountingOuter final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, object) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    ++add_refs;
    return static_cast<ULONG>(++references);
  }
  STDMETHODIMP_(ULONG) Release() override {
    ++releases;
    return static_cast<ULONG>(--references);
  }

  LONG references = 1;
  int add_refs = 0;
  int releases = 0;
  IUnknown* inner = nullptr;
};

class ClassTable : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = ProbeLog{};
    ASSERT_EQ(Module::Current().LockCount(), 0) << "a test before this one leaked an object";
    Module::Current().Initialize(GetModuleHandleW(nullptr), kTestLibrary, classes_, 2);
  }
  void TearDown() override {
    Module::Current().Terminate();
    EXPECT_EQ(Module::Current().LockCount(), 0);
    EXPECT_EQ(g_log.constructed, g_log.destroyed);
  }

  ComPtr<IClassFactory> Factory(const CLSID& clsid = kProbeClsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(Module::Current().GetClassObject(clsid, IID_IClassFactory, &factory), S_OK);
    return factory;
  }

  ClassEntry classes_[2] = {
      {&kProbeClsid, 101, CreateComObject<Probe>, nullptr},
      {&kEmptyClsid, 102, CreateNothing, nullptr},
  };
};

// ---------------------------------------------------------------- class objects

TEST_F(ClassTable, UnknownClassIsNotAvailableAndClearsThePointer) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(Module::Current().GetClassObject(kUnknownClsid, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Module::Current().GetClassObject(kProbeClsid, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassTable, ClassObjectIsMadeOnceAndAnswersOnlyItsInterfaces) {
  ComPtr<IClassFactory> first = Factory();
  ComPtr<IClassFactory> second = Factory();
  ASSERT_TRUE(first);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_TRUE(AnswersInterfaces(first.Get(), {ZU_IID(IUnknown), ZU_IID(IClassFactory)}));
  EXPECT_TRUE(RefusesInterfaces(first.Get(), {ZU_IID(IDispatch), ZU_IID(IPersist),
                                               ZU_IID(IClassFactory2)}));
  // The table's reference and ours.
  EXPECT_TRUE(HasReferences(first.Get(), 3));
  EXPECT_NE(Factory(kEmptyClsid).Get(), first.Get());
}

TEST_F(ClassTable, AClassObjectAskedForAnotherInterfaceIsStillCachedOnce) {
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(Module::Current().GetClassObject(kProbeClsid, IID_IDispatch, &dispatch),
            E_NOINTERFACE);
  EXPECT_EQ(dispatch, nullptr);
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_TRUE(HasReferences(factory.Get(), 2));
}

TEST_F(ClassTable, TheRowWithoutAnObjectSaysSo) {
  ComPtr<IClassFactory> factory = Factory(kEmptyClsid);
  ASSERT_TRUE(factory);
  ComPtr<IUnknown> object;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &object), E_NOTIMPL);
  EXPECT_EQ(object, nullptr);
}

// ---------------------------------------------------------------- the lock count

TEST_F(ClassTable, HeldClassObjectCountsAsOneLockWhateverTheNumberOfHolders) {
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> first = Factory();
  EXPECT_EQ(Module::Current().LockCount(), 1);
  ComPtr<IClassFactory> second = Factory();
  EXPECT_EQ(Module::Current().LockCount(), 1);
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_FALSE);
  first.Reset();
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_FALSE);
  second.Reset();
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_OK);
}

TEST_F(ClassTable, LockServerCountsEachCall) {
  ComPtr<IClassFactory> factory = Factory();
  IClassFactory* held = factory.Get();
  factory.Reset();
  EXPECT_EQ(held->LockServer(TRUE), S_OK);
  EXPECT_EQ(held->LockServer(TRUE), S_OK);
  EXPECT_EQ(Module::Current().LockCount(), 2);
  EXPECT_EQ(held->LockServer(FALSE), S_OK);
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_FALSE);
  EXPECT_EQ(held->LockServer(FALSE), S_OK);
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_OK);
}

TEST_F(ClassTable, EveryLiveObjectCountsUntilItIsDestroyed) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IPersist> one, two;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &one), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &two), S_OK);
  factory.Reset();
  EXPECT_EQ(Module::Current().LockCount(), 2);
  one.Reset();
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_FALSE);
  two.Reset();
  EXPECT_EQ(Module::Current().CanUnloadNow(), S_OK);
  EXPECT_EQ(g_log.destroyed, 2);
}

// ---------------------------------------------------------------- creation

TEST_F(ClassTable, CreatedObjectHasOneReferenceAndOneIdentity) {
  ComPtr<IPersist> persist;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IPersist, &persist), S_OK);
  EXPECT_TRUE(HasReferences(persist.Get(), 1));
  EXPECT_TRUE(AnswersInterfaces(persist.Get(), {ZU_IID(IUnknown), ZU_IID(IPersist),
                                                 ZU_IID(ISupportErrorInfo)}));
  EXPECT_TRUE(RefusesInterfaces(persist.Get(), {ZU_IID(IDispatch), ZU_IID(IPersistStream),
                                                 ZU_IID(IClassFactory)}));
  ComPtr<ISupportErrorInfo> other;
  ASSERT_EQ(persist.As(&other), S_OK);
  EXPECT_TRUE(SameObject(persist.Get(), other.Get()));
  CLSID clsid = {};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kProbeClsid));
}

TEST_F(ClassTable, CreateInstanceChecksItsArgumentsBeforeMakingAnything) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
  CountingOuter outer;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IPersist, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_log.constructed, 0);
}

TEST_F(ClassTable, AnInterfaceTheObjectLacksDestroysTheNewObject) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_log.constructed, 1);
  EXPECT_EQ(g_log.destroyed, 1);
}

TEST_F(ClassTable, AFailedStartUpDestroysTheNewObjectAndReturnsItsCode) {
  g_log.initialize_result = E_ACCESSDENIED;
  ComPtr<IPersist> persist;
  EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IPersist, &persist), E_ACCESSDENIED);
  EXPECT_EQ(persist, nullptr);
  EXPECT_EQ(g_log.destroyed, 1);
}

TEST_F(ClassTable, ADestructorThatTouchesItsObjectDoesNotDestroyItTwice) {
  g_log.touch_itself_when_destroyed = true;
  ComPtr<IPersist> persist;
  ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IPersist, &persist), S_OK);
  persist.Reset();
  EXPECT_EQ(g_log.destroyed, 1);
}

// ---------------------------------------------------------------- aggregation

TEST_F(ClassTable, AggregatedObjectDelegatesToItsOuterObject) {
  CountingOuter outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
  ASSERT_NE(inner, nullptr);
  outer.inner = inner;
  EXPECT_TRUE(HasReferences(inner, 1));
  EXPECT_EQ(outer.add_refs, 0);

  // The inner unknown hands out interfaces whose references go to the outer object.
  IPersist* persist = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
  EXPECT_EQ(outer.add_refs, 1);
  EXPECT_TRUE(HasReferences(inner, 1));

  // Asked for IUnknown, those interfaces give the outer object; the inner one gives itself.
  IUnknown* identity = nullptr;
  ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  IUnknown* self = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
  EXPECT_EQ(self, inner);
  self->Release();

  // Other interfaces through the outer object reach the inner one.
  ISupportErrorInfo* info = nullptr;
  ASSERT_EQ(persist->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  info->Release();
  persist->Release();
  EXPECT_EQ(outer.references, 1);
  EXPECT_EQ(outer.add_refs, outer.releases);

  EXPECT_EQ(Module::Current().LockCount(), 1);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(g_log.destroyed, 1);
}

// ---------------------------------------------------------------- unloading

struct CleanupLog {
  std::vector<int> order;
};

void RecordOne(void* context) { static_cast<CleanupLog*>(context)->order.push_back(1); }
void RecordTwo(void* context) { static_cast<CleanupLog*>(context)->order.push_back(2); }

TEST_F(ClassTable, TerminateReleasesClassObjectsAndRunsCleanupsNewestFirstOnce) {
  CleanupLog log;
  ASSERT_TRUE(Module::Current().AddCleanup(RecordOne, &log));
  ASSERT_TRUE(Module::Current().AddCleanup(RecordTwo, &log));
  ComPtr<IClassFactory> held = Factory();
  Module::Current().Terminate();
  EXPECT_EQ(log.order, (std::vector<int>{2, 1}));
  // Only the client's reference is left; the next request makes a new class object.
  EXPECT_TRUE(HasReferences(held.Get(), 1));
  Module::Current().Initialize(GetModuleHandleW(nullptr), kTestLibrary, classes_, 2);
  EXPECT_NE(Factory().Get(), held.Get());
  Module::Current().Terminate();
  EXPECT_EQ(log.order.size(), 2u);
  // Released last, the old class object no longer counts against unloading.
  held.Reset();
}

}  // namespace
}  // namespace zu
