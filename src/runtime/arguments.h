// The command line, split by the platform's rules for a program's arguments
// and decoded to UTF-8. Each platform's room defines it.
#pragma once

#include <string>
#include <vector>

#include "runtime/fatal.h"

namespace vantle_native::runtime {

// Where the report of an argument that does not decode says it failed.
inline constexpr SourceLocation undecodable_argument_location{R"(library\std\src\env)", 772, 51};

// Every argument, argument 0 included, as UTF-8. An argument that does not
// decode (an unpaired surrogate on Windows, bytes that are not UTF-8 on
// Linux) ends the run with a fatal report that quotes it.
[[nodiscard]] std::vector<std::string> command_line_arguments();

}  // namespace vantle_native::runtime
