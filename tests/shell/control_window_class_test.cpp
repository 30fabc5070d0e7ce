// The control windows' classes: one per window procedure, the same one each time it is asked for,
// and gone at module clean-up. A program that holds two controls' code, each with a procedure of
// its own, must make each control's window with its own procedure.
#include "shell/control_window_class.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/module.h"
#include "tests/shell/registry_sandbox.h"

namespace zu::test {
namespace {

constexpr UINT kWhichProcedure = WM_APP + 3;

LRESULT CALLBACK FirstProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWhichProcedure) return 1;
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK SecondProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWhichProcedure) return 2;
  return DefWindowProcW(window, message, wparam, lparam);
}

bool IsRegistered(ATOM atom, WNDPROC* procedure = nullptr) {
  WNDCLASSEXW description = {};
  description.cbSize = sizeof description;
  if (!GetClassInfoExW(ThisImage(), MAKEINTATOM(atom), &description)) return false;
  if (procedure) *procedure = description.lpfnWndProc;
  return true;
}

class ControlWindowClass : public ::testing::Test {
 protected:
  void TearDown() override { Module::Current().Terminate(); }
};

TEST_F(ControlWindowClass, EachProcedureHasAClassOfItsOwnAndGetsItAgainWhenAskedAgain) {
  const ATOM first = RegisterControlWindowClass(&FirstProcedure, ThisImage());
  const ATOM second = RegisterControlWindowClass(&SecondProcedure, ThisImage());
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(RegisterControlWindowClass(&FirstProcedure, ThisImage()), first);
  EXPECT_EQ(RegisterControlWindowClass(&SecondProcedure, ThisImage()), second);

  struct Row {
    ATOM atom;
    LRESULT answer;  // which procedure the class's windows reach
  };
  std::wstring names[2];
  int i = 0;
  for (const Row& row : {Row{first, 1}, Row{second, 2}}) {
    HWND window = CreateWindowExW(0, MAKEINTATOM(row.atom), nullptr, WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, ThisImage(), nullptr);
    ASSERT_NE(window, nullptr) << row.answer;
    EXPECT_EQ(SendMessageW(window, kWhichProcedure, 0, 0), row.answer);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    names[i++] = name;
    EXPECT_EQ(names[i - 1].rfind(L"ATL:", 0), 0u) << Narrow(names[i - 1]);
    DestroyWindow(window);
  }
  EXPECT_NE(names[0], names[1]);
}

TEST_F(ControlWindowClass, ModuleCleanUpUnregistersEveryClassAndAFreshOneCanFollow) {
  const ATOM first = RegisterControlWindowClass(&FirstProcedure, ThisImage());
  const ATOM second = RegisterControlWindowClass(&SecondProcedure, ThisImage());
  ASSERT_TRUE(IsRegistered(first));
  ASSERT_TRUE(IsRegistered(second));
  Module::Current().Terminate();
  EXPECT_FALSE(IsRegistered(first));
  EXPECT_FALSE(IsRegistered(second));

  // As the module loaded again would: the class comes back with its procedure.
  const ATOM again = RegisterControlWindowClass(&SecondProcedure, ThisImage());
  WNDPROC procedure = nullptr;
  ASSERT_TRUE(IsRegistered(again, &procedure));
  EXPECT_EQ(procedure, &SecondProcedure);
}

}  // namespace
}  // namespace zu::test
