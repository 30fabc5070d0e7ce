#include "tests/shell/test_control_fixture.h"

#include <string>

#include "shell/module.h"
#include "shell/registrar.h"
#include "tests/shell/server_dll.h"

namespace zu::test {

using Microsoft::WRL::ComPtr;

void TestControlTest::SetUp() {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  ASSERT_TRUE(sandbox_.Ok());
  for (const GUID* iid : {&IID_IZuTestCtl, &DIID__IZuTestCtlEvents}) {
    wchar_t text[40];
    StringFromGUID2(*iid, text, 40);
    sandbox_.RemoveEscapesAt(std::wstring(L"Interface\\") + text);
  }
  ASSERT_EQ(RegisterLibrary(), S_OK);
  control_ = NewControl();
  ASSERT_TRUE(control_);
}

void TestControlTest::TearDown() {
  control_.Reset();
  Module::Current().Terminate();
  EXPECT_EQ(Module::Current().LockCount(), 0) << "an object was left behind";
  CoUninitialize();
}

HRESULT TestControlTest::RegisterLibrary() {
  return RegisterModuleTypeLibrary(BesideTestProgram(L"zu_test.tlb"));
}

ComPtr<IZuTestCtl> TestControlTest::NewControl() {
  ComPtr<IZuTestCtl> control;
  EXPECT_EQ(ZuTestCtl::Create(IID_PPV_ARGS(&control)), S_OK);
  return control;
}

}  // namespace zu::test
