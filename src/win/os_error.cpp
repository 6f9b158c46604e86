// The Windows side of errors.h: the last error and the system's messages.
#include <algorithm>
#include <array>

#include "errors.h"
#include "unicode/properties.h"
#include "unicode/utf.h"
#include "unicode/utf16_strict.h"
#include "win/wide_text.h"

namespace vantle_native {
namespace {

constexpr DWORD system_message_flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
// Codes of the NT layer carry this facility bit; their texts live in NTDLL.
constexpr std::uint32_t nt_status_bit = 0x10000000;
constexpr platform::WideLiteral ntdll_name("NTDLL.DLL");
constexpr DWORD message_language = LANG_SYSTEM_DEFAULT;
constexpr DWORD message_capacity = 2048;

constexpr std::string_view os_error_fallback_prefix = "OS Error ";
constexpr std::string_view format_message_error_prefix = " (FormatMessageW() returned error ";
constexpr std::string_view format_message_error_suffix = ")";
constexpr std::string_view format_message_invalid_text = " (FormatMessageW() returned invalid UTF-16)";

// White_Space lies wholly in the Basic Multilingual Plane, so trimming units
// before decoding removes exactly the trailing white space characters.
platform::WideView trim_trailing_white_space(platform::WideView units) {
    while (!units.empty() && unicode::is_white_space(static_cast<std::uint16_t>(units.back()))) {
        units.remove_suffix(1);
    }
    return units;
}

std::string os_error_fallback(std::int32_t message_number, std::string_view detail) {
    std::string text(os_error_fallback_prefix);
    text += std::to_string(message_number);
    text += detail;
    return text;
}

}  // namespace

std::string os_error_text(std::int32_t code) {
    DWORD flags = system_message_flags;
    HMODULE source = nullptr;
    auto message_number = static_cast<std::uint32_t>(code);
    if ((message_number & nt_status_bit) != 0) {
        source = GetModuleHandleW(ntdll_name.c_str());
        if (source != nullptr) {
            message_number &= ~nt_status_bit;
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    std::array<WCHAR, message_capacity> buffer{};
    const DWORD length = FormatMessageW(flags, source, message_number, message_language, buffer.data(),
                                        message_capacity, nullptr);
    const auto shown_number = static_cast<std::int32_t>(message_number);
    if (length == 0) {
        const auto format_error = static_cast<std::int32_t>(GetLastError());
        std::string detail(format_message_error_prefix);
        detail += std::to_string(format_error);
        detail += format_message_error_suffix;
        return os_error_fallback(shown_number, detail);
    }
    const platform::WideView message(buffer.data(), std::min(length, message_capacity));
    auto decoded = unicode::decode_utf16_strict(trim_trailing_white_space(message));
    if (!decoded.ok()) return os_error_fallback(shown_number, format_message_invalid_text);
    return std::move(decoded.value());
}

OsError last_os_error() { return OsError{static_cast<std::int32_t>(GetLastError())}; }

std::string quoted_form(platform::WideView units) {
    std::string out;
    out.reserve(units.size() + 2);
    out += '"';
    unicode::for_each_utf16_code_point(units, [&](char32_t c) {
        append_quoted_code_point(out, c);
        return true;
    });
    out += '"';
    return out;
}

}  // namespace vantle_native
