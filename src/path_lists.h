// The two forms in which a caller hands over a list of paths: one value
// joined with ";;;", and the lines of standard input.
#pragma once

#include <string_view>
#include <vector>

#include "errors.h"
#include "result.h"

namespace vantle_native {

// The pieces of `text` between occurrences of ";;;"; at least one, empty
// pieces included. The pieces view `text`.
[[nodiscard]] std::vector<std::string_view> split_list(std::string_view text);

// The paths of a list on standard input: one per line, LF or CRLF, the last
// line's break optional, blank lines skipped, a leading byte-order mark
// dropped. Text that is not UTF-8 or holds a NUL is refused, naming its line.
// The paths view `input`.
[[nodiscard]] Result<std::vector<std::string_view>, InputError> split_input_lines(std::string_view input);

}  // namespace vantle_native
