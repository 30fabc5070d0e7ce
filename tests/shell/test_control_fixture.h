// The framework's tests on its own test control: COM on the test's thread, the control's type
// library registered in a registry sandbox, and a control. Each test ends as a module unload
// would, so that the cached type information of one test never serves the next, and checks that
// no object was left behind.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include "tests/shell/registry_sandbox.h"
#include "tests/shell/test_control/zu_test_ctl.h"

namespace zu::test {

class TestControlTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The type library file beside the program, registered in the sandbox.
  static HRESULT RegisterLibrary();
  static Microsoft::WRL::ComPtr<IZuTestCtl> NewControl();
  static ZuTestCtl* Self(const Microsoft::WRL::ComPtr<IZuTestCtl>& control) {
    return static_cast<ZuTestCtl*>(control.Get());
  }
  template <class Interface>
  static Microsoft::WRL::ComPtr<Interface> As(const Microsoft::WRL::ComPtr<IZuTestCtl>& control) {
    Microsoft::WRL::ComPtr<Interface> out;
    control.As(&out);
    return out;
  }

  RegistrySandbox sandbox_;
  Microsoft::WRL::ComPtr<IZuTestCtl> control_;
};

}  // namespace zu::test
