#include "errors.h"

#include <algorithm>
#include <array>

#include "text.h"
#include "unicode/properties.h"
#include "unicode/utf.h"
#include "unicode/utf16_strict.h"

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
constexpr std::string_view os_error_code_prefix = " (os error ";
constexpr std::string_view os_error_code_suffix = ")";
constexpr std::string_view pasteboard_variant_name = "Pasteboard";
constexpr std::string_view input_variant_name = "Input";

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

void append_escaped(std::string& out, char32_t c) {
    out += "\\u{";
    append_hex(out, c);
    out += '}';
}

void append_quoted_code_point(std::string& out, char32_t c) {
    switch (c) {
        case U'\t': out += "\\t"; return;
        case U'\n': out += "\\n"; return;
        case U'\r': out += "\\r"; return;
        case U'\\': out += "\\\\"; return;
        case U'"': out += "\\\""; return;
        case U'\'': out += "\\'"; return;
        default: break;
    }
    if (unicode::is_grapheme_extend(c) || (c != U' ' && unicode::is_escaped_category(c))) {
        append_escaped(out, c);
    } else {
        unicode::append_utf8(out, c);
    }
}

// A one-variant error's debug form: the variant's name, then its text quoted
// in parentheses.
std::string variant_debug_form(std::string_view variant_name, std::string_view text) {
    std::string out(variant_name);
    out += '(';
    out += quoted_form(text);
    out += ')';
    return out;
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

std::string to_text(OsError error) {
    std::string text = os_error_text(error.code);
    text += os_error_code_prefix;
    text += std::to_string(error.code);
    text += os_error_code_suffix;
    return text;
}

std::string quoted_form(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < utf8.size();) append_quoted_code_point(out, unicode::next_utf8_code_point(utf8, i));
    out += '"';
    return out;
}

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

ClipboardError clipboard_error(OsError error) {
    std::string text(clipboard_error_prefix);
    text += to_text(error);
    return Pasteboard{std::move(text), error.code};
}

std::string debug_form(const ClipboardError& error) {
    return variant_debug_form(pasteboard_variant_name, std::get<Pasteboard>(error).text);
}

InputError input_error(std::string_view detail) {
    std::string text(input_error_prefix);
    text += detail;
    return InputError{std::move(text)};
}

std::string debug_form(const InputError& error) { return variant_debug_form(input_variant_name, error.text); }

}  // namespace vantle_native
