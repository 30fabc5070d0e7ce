#include "tests/shell/com_assertions.h"

#include <cstdio>

namespace zu::test {
namespace {

ULONG CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

::testing::AssertionResult AnswersInterfaces(IUnknown* object,
                                             std::initializer_list<NamedIid> iids) {
  if (object == nullptr) return ::testing::AssertionFailure() << "object is null";
  ULONG before = CountOf(object);
  IUnknown* identity = nullptr;
  object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  auto failure = ::testing::AssertionFailure();
  bool failed = false;
  for (const NamedIid& iid : iids) {
    void* answer = nullptr;
    HRESULT hr = object->QueryInterface(*iid.iid, &answer);
    if (hr != S_OK || answer == nullptr) {
      failure << "\n  " << iid.name << ": " << HexCode(hr) << (answer ? "" : ", null pointer");
      failed = true;
      continue;
    }
    IUnknown* back = nullptr;
    static_cast<IUnknown*>(answer)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back));
    if (back != identity) {
      failure << "\n  " << iid.name << ": leads to another object";
      failed = true;
    }
    if (back) back->Release();
    static_cast<IUnknown*>(answer)->Release();
  }
  if (identity) identity->Release();
  ULONG after = CountOf(object);
  if (after != before) {
    failure << "\n  reference count went from " << before << " to " << after;
    failed = true;
  }
  return failed ? failure : ::testing::AssertionSuccess();
}

::testing::AssertionResult RefusesInterfaces(IUnknown* object,
                                             std::initializer_list<NamedIid> iids) {
  if (object == nullptr) return ::testing::AssertionFailure() << "object is null";
  auto failure = ::testing::AssertionFailure();
  bool failed = false;
  for (const NamedIid& iid : iids) {
    void* answer = reinterpret_cast<void*>(1);
    HRESULT hr = object->QueryInterface(*iid.iid, &answer);
    if (hr != E_NOINTERFACE || answer != nullptr) {
      failure << "\n  " << iid.name << ": " << HexCode(hr)
              << (answer ? ", pointer not cleared" : "");
      failed = true;
      if (SUCCEEDED(hr) && answer) static_cast<IUnknown*>(answer)->Release();
    }
  }
  return failed ? failure : ::testing::AssertionSuccess();
}

::testing::AssertionResult HasReferences(IUnknown* object, ULONG expected) {
  if (object == nullptr) return ::testing::AssertionFailure() << "object is null";
  ULONG raised = object->AddRef();
  ULONG lowered = object->Release();
  if (raised == expected + 1 && lowered == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected " << expected << " references, AddRef said "
                                       << raised << " and Release " << lowered;
}

::testing::AssertionResult SameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return ::testing::AssertionFailure() << "a pointer is null";
  IUnknown* identity_a = nullptr;
  IUnknown* identity_b = nullptr;
  a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_a));
  b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_b));
  bool same = identity_a && identity_a == identity_b;
  if (identity_a) identity_a->Release();
  if (identity_b) identity_b->Release();
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "IUnknown " << identity_a << " vs " << identity_b;
}

}  // namespace zu::test
