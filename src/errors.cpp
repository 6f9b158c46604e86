#include "errors.h"

#include "text.h"
#include "unicode/properties.h"
#include "unicode/utf.h"

namespace vantle_native {
namespace {

constexpr std::string_view os_error_code_prefix = " (os error ";
constexpr std::string_view os_error_code_suffix = ")";
constexpr std::string_view pasteboard_variant_name = "Pasteboard";
constexpr std::string_view input_variant_name = "Input";

void append_escaped(std::string& out, char32_t c) {
    out += "\\u{";
    append_hex(out, c);
    out += '}';
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

ClipboardError clipboard_error(OsError error) {
    std::string text(clipboard_error_prefix);
    text += to_text(error);
    return Pasteboard{std::move(text), error.code};
}

std::string debug_form(const ClipboardError& error) {
    return variant_debug_form(pasteboard_variant_name, known_alternative<Pasteboard>(error).text);
}

InputError input_error(std::string_view detail) {
    std::string text(input_error_prefix);
    text += detail;
    return InputError{std::move(text)};
}

std::string debug_form(const InputError& error) { return variant_debug_form(input_variant_name, error.text); }

}  // namespace vantle_native
