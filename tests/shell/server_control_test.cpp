// Each control as its DLL serves it: made by the DLL's class object (also aggregated), and driven
// by a client the project did not write: a JScript run by Wine's cscript.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/shell/com_assertions.h"
#include "tests/shell/fake_sinks.h"
#include "tests/shell/registry_sandbox.h"
#include "tests/shell/server_dll.h"
#include "tests/shell/server_libraries.h"

using Microsoft::WRL::ComPtr;

namespace zu {
namespace {

using test::AnswersInterfaces;
using test::ExpectJapanese;
using test::HasReferences;
using test::Narrow;
using test::RefusesInterfaces;
using test::ServerDll;
using test::ServerLibrary;

class ServerControl : public ::testing::TestWithParam<const ServerLibrary*> {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path());
    ASSERT_EQ(dll_.DllGetClassObject(*library_.control, IID_IClassFactory, &factory_), S_OK);
  }
  void TearDown() override {
    factory_.Reset();
    EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
    CoUninitialize();
  }

  ComPtr<IDispatch> NewControl() {
    ComPtr<IDispatch> control;
    EXPECT_EQ(factory_->CreateInstance(nullptr, *library_.dual, &control), S_OK);
    return control;
  }

  const ServerLibrary& library_ = *GetParam();
  ServerDll dll_{library_.file};
  ComPtr<IClassFactory> factory_;
};

INSTANTIATE_TEST_SUITE_P(Dll, ServerControl, ::testing::ValuesIn(test::ServerLibraries()),
                         test::ServerLibraryName());

// ---------------------------------------------------------------- the object

TEST_P(ServerControl, AnswersItsInterfacesWithOneIdentityAndOneReference) {
  ComPtr<IDispatch> control = NewControl();
  ASSERT_TRUE(control);
  EXPECT_TRUE(HasReferences(control.Get(), 1));
  EXPECT_TRUE(AnswersInterfaces(
      control.Get(),
      {ZU_IID(IUnknown), test::NamedIid{library_.dual, "the dual interface"}, ZU_IID(IDispatch),
       ZU_IID(IObjectSafety), ZU_IID(IViewObjectEx), ZU_IID(IOleInPlaceObject), ZU_IID(IOleControl),
       ZU_IID(IOleObject), ZU_IID(IQuickActivate), ZU_IID(IDataObject), ZU_IID(ISpecifyPropertyPages),
       ZU_IID(IPersistPropertyBag), ZU_IID(IPersistStreamInit), ZU_IID(IPersist),
       ZU_IID(ISupportErrorInfo), ZU_IID(IConnectionPointContainer), ZU_IID(IPersistStorage),
       ZU_IID(IProvideClassInfo), ZU_IID(IProvideClassInfo2)}));
  EXPECT_TRUE(RefusesInterfaces(control.Get(), {ZU_IID(IClassFactory), ZU_IID(IPersistStream),
                                                ZU_IID(IConnectionPoint), ZU_IID(IPropertyPage)}));
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_FALSE);
  control.Reset();
  factory_.Reset();
  EXPECT_EQ(dll_.DllCanUnloadNow(), S_OK);
}

TEST_P(ServerControl, CanBeAggregatedAndThenAnswersOnlyForItsOuterObject) {
  class Outer final : public test::StackObject<IUnknown> {
   public:
    Outer() : StackObject(IID_IUnknown) {}
  } outer;
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(&outer, *library_.dual, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  EXPECT_TRUE(HasReferences(inner, 1));
  IDispatch* control = nullptr;
  ASSERT_EQ(inner->QueryInterface(*library_.dual, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(outer.references, 2);
  IUnknown* identity = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  control->Release();
  EXPECT_EQ(outer.references, 1);
  EXPECT_EQ(inner->Release(), 0u);
}

TEST_P(ServerControl, WithoutItsTypeLibraryRegisteredItCannotSave) {
  // Property entries are read through IDispatch, which needs the registered library.
  ComPtr<IDispatch> control = NewControl();
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(control.As(&persist), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  EXPECT_EQ(persist->Save(stream.Get(), TRUE), E_FAIL);
  // Its own members still answer through the vtable.
  ComPtr<IOleObject> object;
  ASSERT_EQ(control.As(&object), S_OK);
  CLSID clsid = {};
  EXPECT_EQ(object->GetUserClassID(&clsid), S_OK);
  EXPECT_EQ(test::GuidText(clsid), test::GuidText(*library_.control));
}

// ---------------------------------------------------------------- a script host

// Runs `command` with its output piped back; the exit code, or -1.
int RunCapturing(std::wstring command, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return -1;
  }
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output->append(buffer, got);
  CloseHandle(read_end);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::wstring SystemTool(const wchar_t* name) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  return L"\"" + std::wstring(system) + L"\\" + name + L"\"";
}

class ScriptHost : public ::testing::TestWithParam<const ServerLibrary*> {
 protected:
  void SetUp() override { ASSERT_TRUE(dll_.Ok()) << Narrow(dll_.Path()); }
  // The prefix is left as it was found, whatever happened.
  void TearDown() override {
    std::string ignored;
    RunCapturing(SystemTool(L"regsvr32.exe") + L" /s /u \"" + dll_.Path() + L"\"", &ignored);
  }

  const ServerLibrary& library_ = *GetParam();
  ServerDll dll_{library_.file};
};

INSTANTIATE_TEST_SUITE_P(Dll, ScriptHost, ::testing::ValuesIn(test::ServerLibraries()),
                         test::ServerLibraryName());

// The script sets and reads the properties late-bound and calls the methods that need no window.
TEST_P(ScriptHost, AJScriptCreatesTheControlByProgramIdentifierAndDrivesIt) {
  std::string output;
  ASSERT_EQ(RunCapturing(SystemTool(L"regsvr32.exe") + L" /s \"" + dll_.Path() + L"\"", &output), 0)
      << output;
  // The program identifier the user's locale registered.
  const std::wstring& progid = library_.Script().progid;
  std::wstring script = test::BesideTestProgram(library_.script);
  output.clear();
  int code = RunCapturing(SystemTool(L"cscript.exe") + L" //nologo \"" + script + L"\" " + progid,
                          &output);
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("OK"), std::string::npos) << output;
}

}  // namespace
}  // namespace zu
