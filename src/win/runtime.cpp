// The Windows side of runtime/platform.h.
#include <algorithm>
#include <array>

#include "errors.h"
#include "platform/win32.h"
#include "runtime/fatal.h"
#include "runtime/platform.h"
#include "runtime/process.h"
#include "text.h"
#include "unicode/utf16_strict.h"
#include "win/wide_text.h"

namespace vantle_native::runtime {
namespace {

constexpr platform::WideLiteral kernel_module("kernel32.dll");
constexpr char thread_description_function[] = "SetThreadDescription";
constexpr platform::WideLiteral main_thread_description(main_thread_name);

constexpr platform::WideLiteral backtrace_variable("RUST_BACKTRACE");
constexpr platform::WideLiteral backtrace_off("0");
constexpr platform::WideLiteral backtrace_full("full");
// Room for any value the comparison cares about; longer values are neither
// "0" nor "full" and need not be read.
constexpr DWORD backtrace_value_capacity = 8;
constexpr DWORD module_path_capacity = 1024;

// x64 has one calling convention, so no WINAPI annotation is needed.
using SetThreadDescriptionFunction = long (*)(HANDLE, const WCHAR*);

}  // namespace

// Thread names exist from Windows 10 on; looked up at run time so that the
// program still starts where they do not.
void prepare_process() {
    const FARPROC found = GetProcAddress(GetModuleHandleW(kernel_module.c_str()), thread_description_function);
    if (found == nullptr) return;
    // Through void (*)() so the compiler accepts the change of signature.
    const auto set_description =
        reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(found));
    set_description(GetCurrentThread(), main_thread_description.c_str());
}

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

std::size_t capture_stack(std::span<void*> frames) {
    return RtlCaptureStackBackTrace(0, static_cast<DWORD>(frames.size()), frames.data(), nullptr);
}

void end_after_allocation_failure(std::string_view note) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        (void)WriteFile(handle, note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
    }
    platform::request_fail_fast(FAST_FAIL_FATAL_APP_EXIT);
}

}  // namespace vantle_native::runtime
