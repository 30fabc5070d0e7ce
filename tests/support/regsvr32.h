// Registers or unregisters a DLL the way an installer does: the system's regsvr32 of this
// program's bitness, silently, in its own process.
#pragma once

#include <string>

namespace zu::test {

// Runs `regsvr32 /s <arguments>`; its exit code, or -1 when it cannot start or takes over a
// minute.
int RunRegsvr32(const std::wstring& arguments);

}  // namespace zu::test
