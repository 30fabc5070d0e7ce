// zuframe: the frame tool for hosts that record, relay or inspect frames. The whole tool lives
// here so the tests can drive it; main only hands over its arguments and streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zu {

constexpr int kToolExitOk = 0;
constexpr int kToolExitBadInput = 1;  // unreadable, unwritable or faulty data, or a failed check
constexpr int kToolExitUsage = 2;

// `args` excludes the program name. Reports go to `out`; problems go to `err` as one line,
// "zuframe: WHAT: PROBLEM". Returns the exit code.
int RunFrameTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zu
