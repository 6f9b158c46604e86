#include "runtime/fatal.h"

#include <algorithm>
#include <array>

#include "errors.h"
#include "platform/win32.h"
#include "text.h"
#include "runtime/process.h"
#include "runtime/stdio.h"
#include "unicode/utf16_strict.h"

namespace vantle_native::runtime {
namespace {

constexpr platform::WideLiteral backtrace_variable("RUST_BACKTRACE");
constexpr platform::WideLiteral backtrace_off("0");
constexpr platform::WideLiteral backtrace_full("full");
constexpr std::string_view backtrace_hint =
    "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n";
constexpr std::string_view backtrace_header = "stack backtrace:\n";
constexpr std::string_view backtrace_short_note =
    "note: Some details are omitted, run with `RUST_BACKTRACE=full` for a verbose backtrace.\n";

// Room for any value the comparison cares about; longer values are neither
// "0" nor "full" and need not be read.
constexpr DWORD backtrace_value_capacity = 8;
constexpr DWORD max_frames = 62;
constexpr DWORD module_path_capacity = 1024;
constexpr std::size_t frame_index_width = 4;
constexpr unsigned address_digits = 16;

enum class BacktraceStyle { off, brief, full };

BacktraceStyle backtrace_style() {
    std::array<WCHAR, backtrace_value_capacity> value{};
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(backtrace_variable.c_str(), value.data(), backtrace_value_capacity);
    // 0 with an error means the variable is not set; 0 without one, that it is empty.
    if (length == 0 && GetLastError() != 0) return BacktraceStyle::off;
    if (length >= backtrace_value_capacity) return BacktraceStyle::brief;
    const platform::WideView text(value.data(), length);
    if (text == backtrace_off.view()) return BacktraceStyle::off;
    if (text == backtrace_full.view()) return BacktraceStyle::full;
    return BacktraceStyle::brief;
}

// " - module+0xoffset" for the module that holds `address`, or nothing when
// no module does. A full trace names the module by its whole path.
std::string module_and_offset(void* address, BacktraceStyle style) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module)) return {};
    std::array<WCHAR, module_path_capacity> buffer{};
    const DWORD length = GetModuleFileNameW(module, buffer.data(), module_path_capacity);
    platform::WideView path(buffer.data(), std::min(length, module_path_capacity));
    const std::size_t slash = path.find_last_of(static_cast<WCHAR>('\\'));
    if (style != BacktraceStyle::full && slash != platform::WideView::npos) path.remove_prefix(slash + 1);
    auto name = unicode::decode_utf16_strict(path);
    std::string text = " - ";
    text += name.ok() ? name.value() : quoted_form(path);
    text += "+0x";
    append_hex(text, reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module));
    return text;
}

// One line per frame: index, address, and module+offset where the module is
// known. Names would need debug information the release build does not carry.
std::string frame_line(unsigned index, void* address, BacktraceStyle style) {
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
    const WORD captured = RtlCaptureStackBackTrace(0, max_frames, frames.data(), nullptr);
    std::string trace(backtrace_header);
    // A null return address is the bottom of the stack.
    for (WORD i = 0; i < captured && frames[i] != nullptr; ++i) trace += frame_line(i, frames[i], style);
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
