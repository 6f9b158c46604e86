// The fatal report: the one way a run ends early. It writes the report to
// standard error and then unwinds to the process frame, so every scope that is
// open on the way (an open clipboard above all) is closed before the exit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantle_native::runtime {

struct SourceLocation {
    std::string_view file;
    std::uint32_t line;
    std::uint32_t column;
};

[[nodiscard]] std::string to_text(const SourceLocation& location);

// Thrown by fatal_report once the report is written; only the process frame
// catches it.
struct FatalUnwind {};

inline constexpr std::string_view unwrap_failure_message = "called `Result::unwrap()` on an `Err` value: ";

[[noreturn]] void fatal_report(std::string_view message, const SourceLocation& location);

// The report of an error value that the program does not recover from:
// unwrap_failure_message followed by the error's debug form.
[[noreturn]] void fatal_unwrap(std::string_view debug_form, const SourceLocation& location);

}  // namespace vantle_native::runtime
