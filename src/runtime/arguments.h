// The command line, split by the platform's rules for a program's arguments
// and decoded to UTF-8.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace vantle_native::runtime {

using RawArgument = std::basic_string<WCHAR>;

// Splits a command line (null-terminated, or null for none). A missing or
// empty line gives the program's own path as the only argument.
[[nodiscard]] std::vector<RawArgument> split_command_line(const WCHAR* command_line);

// Every argument of GetCommandLineW, argument 0 included, as UTF-8. An argument
// that is not valid UTF-16 ends the run with a fatal report.
[[nodiscard]] std::vector<std::string> command_line_arguments();

}  // namespace vantle_native::runtime
