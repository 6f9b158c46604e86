// The Windows command line: split by the platform's rules for a program's
// arguments (runtime/arguments.h gives them decoded).
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace vantle_native::runtime {

using RawArgument = std::basic_string<WCHAR>;

// Splits a command line (null-terminated, or null for none). A missing or
// empty line gives the program's own path as the only argument.
[[nodiscard]] std::vector<RawArgument> split_command_line(const WCHAR* command_line);

}  // namespace vantle_native::runtime
