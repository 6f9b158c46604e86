#include "runtime/fatal.h"

#include <array>

#include "text.h"
#include "runtime/platform.h"
#include "runtime/process.h"
#include "runtime/stdio.h"

namespace vantle_native::runtime {
namespace {

constexpr std::string_view backtrace_hint =
    "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n";
constexpr std::string_view backtrace_header = "stack backtrace:\n";
constexpr std::string_view backtrace_short_note =
    "note: Some details are omitted, run with `RUST_BACKTRACE=full` for a verbose backtrace.\n";

constexpr std::size_t max_frames = 62;
constexpr std::size_t frame_index_width = 4;
constexpr unsigned address_digits = 16;

// One line per frame: index, address, and module+offset where the module is
// known. Names would need debug information the release build does not carry.
std::string frame_line(std::size_t index, void* address, BacktraceStyle style) {
    const std::string number = std::to_string(index);
    std::string line(number.size() < frame_index_width ? frame_index_width - number.size() : 0, ' ');
    line += number;
    line += ": 0x";
    append_hex(line, reinterpret_cast<std::uintptr_t>(address), address_digits);
    line += module_and_offset(address, style);
    line += '\n';
    return line;
}

void write_backtrace(BacktraceStyle style) {
    std::array<void*, max_frames> frames{};
    const std::size_t captured = capture_stack(frames);
    std::string trace(backtrace_header);
    // A null return address is the bottom of the stack.
    for (std::size_t i = 0; i < captured && frames[i] != nullptr; ++i) trace += frame_line(i, frames[i], style);
    if (style != BacktraceStyle::full) trace += backtrace_short_note;
    write_standard_error(trace);
}

}  // namespace

std::string to_text(const SourceLocation& location) {
    std::string text(location.file);
    text += ':';
    text += std::to_string(location.line);
    text += ':';
    text += std::to_string(location.column);
    return text;
}

void fatal_report(std::string_view message, const SourceLocation& location) {
    std::string line = "thread '";
    line += main_thread_name;
    line += "' panicked at '";
    line += message;
    line += "', ";
    line += to_text(location);
    line += '\n';
    write_standard_error(line);
    const BacktraceStyle style = backtrace_style();
    if (style == BacktraceStyle::off) {
        write_standard_error(backtrace_hint);
    } else {
        write_backtrace(style);
    }
    throw FatalUnwind{};
}

void fatal_unwrap(std::string_view debug_form, const SourceLocation& location) {
    std::string message(unwrap_failure_message);
    message += debug_form;
    fatal_report(message, location);
}

}  // namespace vantle_native::runtime
