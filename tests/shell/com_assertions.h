// Checks on COM objects that point at the caller's line when they fail: the interfaces an
// object answers and refuses, its exact reference count, and object identity.
#pragma once

#include <windows.h>

#include <objsafe.h>
#include <unknwn.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace zu::test {

struct NamedIid {
  const IID* iid;
  const char* name;
};
#define ZU_IID(name) ::zu::test::NamedIid{&IID_##name, #name}

std::string HexCode(HRESULT hr);
std::string GuidText(const GUID& guid);

// Every listed interface is answered with S_OK and a non-null pointer that leads back to the
// same object; the reference count is unchanged afterwards.
::testing::AssertionResult AnswersInterfaces(IUnknown* object, std::initializer_list<NamedIid> iids);
// Every listed interface is refused with E_NOINTERFACE and a cleared pointer.
::testing::AssertionResult RefusesInterfaces(IUnknown* object, std::initializer_list<NamedIid> iids);
// The count that AddRef and Release report is exactly `expected` (AddRef's answer minus one).
::testing::AssertionResult HasReferences(IUnknown* object, ULONG expected);
// Both pointers' IUnknown is the same pointer.
::testing::AssertionResult SameObject(IUnknown* a, IUnknown* b);

}  // namespace zu::test
