// Runs other programs from a test: the system's regsvr32 of this program's bitness (registering or
// unregistering a DLL the way an installer does), or any command line, in a process of its own.
#pragma once

#include <string>

namespace zu::test {

// Runs `command_line` (the program's quoted path first) and waits for it; its exit code, or -1
// when it cannot start or takes over a minute.
int RunCommand(std::wstring command_line);

// Runs `regsvr32 /s <arguments>`, silently; its exit code as RunCommand gives it.
int RunRegsvr32(const std::wstring& arguments);

}  // namespace zu::test
