// What only regfree_activated_tests runs, the program without a manifest of its own: COM finds
// nothing of the controls until the test makes the manifest active, and other programs, each in
// a process of its own, make their controls from a manifest: the demo's play host from the one it
// is given, the C++ sample host from the one beside it.
#include <windows.h>

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/dist/regfree_support.h"
#include "tests/support/regsvr32.h"

using Microsoft::WRL::ComPtr;

namespace zu::test {
namespace {

// Without the manifest active, COM finds none of the classes: what the other tests create comes
// from the manifests alone.
TEST(RegFreeRegistry, WithoutTheManifestNoClassIsFound) {
  OleScope ole;
  ASSERT_TRUE(SUCCEEDED(ole.result()));
  for (const ClassRow& row : Classes()) {
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(*row.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)),
              REGDB_E_CLASSNOTREG)
        << row.name;
    CLSID clsid = {};
    EXPECT_FALSE(SUCCEEDED(CLSIDFromProgID(row.progids[0].c_str(), &clsid))) << row.name;
  }
}

// ---------------------------------------------------------------- the demo host's manifest mode

// The play host of the demo, pointed at a port where no sender listens: it ends with 3 (no frame
// arrived) once it made its play control, and with 1 when it could not.
TEST(RegFreeDemoHost, MakesItsPlayControlFromTheManifestItIsGiven) {
  const wchar_t* host = _wgetenv(L"ZU_DEMO_HOST");
  ASSERT_NE(host, nullptr) << "ZU_DEMO_HOST names demo_host.exe";
  const std::wstring command = L"\"" + std::wstring(host) + L"\" --port 1 --seconds 1";
  EXPECT_EQ(RunCommand(command + L" --manifest \"" + BesideProgram(L"ZuControls.manifest") + L"\""), 3);
  EXPECT_EQ(RunCommand(command), 1) << "the host found a play control without the manifest";
}

// ---------------------------------------------------------------- the C++ sample host

// samples/relay_host.cpp, with the application manifest beside it as relay_host.exe.manifest: the
// controls in atl.dll's host windows, each PNG frame of the capture control's events handed to
// the play control. It ends with 0 when the play control took frames, 2 when it took none.
TEST(RegFreeSampleHost, RelaysFramesThroughTheManifestBesideIt) {
  EXPECT_EQ(RunCommand(L"\"" + BesideProgram(L"relay_host.exe") + L"\" png 1"), 0);
}

}  // namespace
}  // namespace zu::test
