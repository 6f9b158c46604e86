// The quoted form. Properties: it is one line between double quotes, with no
// control character and no unescaped quote or backslash, and undoing the
// escapes gives back the code points of the text (raw units included).
#include "errors.h"
#include "win/wide_text.h"
#include "fuzz_support.h"
#include "unicode/utf16_strict.h"
#include "unicode/utf.h"

namespace {

std::u32string unquote(const std::string& quoted) {
    fuzz::check(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"');
    std::u32string points;
    const std::string_view body = std::string_view(quoted).substr(1, quoted.size() - 2);
    for (std::size_t i = 0; i < body.size();) {
        const auto byte = static_cast<unsigned char>(body[i]);
        fuzz::check(byte >= 0x20 && byte != 0x7F && byte != '"');
        if (byte != '\\') {
            points += vantle_native::unicode::next_utf8_code_point(body, i);
            continue;
        }
        fuzz::check(i + 1 < body.size());
        const char escape = body[i + 1];
        i += 2;
        if (escape == 't') points += U'\t';
        else if (escape == 'n') points += U'\n';
        else if (escape == 'r') points += U'\r';
        else if (escape == '\\' || escape == '"' || escape == '\'') points += static_cast<char32_t>(escape);
        else {
            fuzz::check(escape == 'u' && i < body.size() && body[i] == '{');
            const std::size_t close = body.find('}', i);
            fuzz::check(close != std::string_view::npos && close > i + 1 && close - i - 1 <= 6);
            points += static_cast<char32_t>(std::strtoul(std::string(body.substr(i + 1, close - i - 1)).c_str(), nullptr, 16));
            i = close + 1;
        }
    }
    return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Units units = fuzz::units_of(data, size);
    std::u32string points;
    vantle_native::unicode::for_each_utf16_code_point(vantle_native::platform::WideView(units), [&](char32_t c) {
        points += c;
        return true;
    });
    fuzz::check(unquote(vantle_native::quoted_form(vantle_native::platform::WideView(units))) == points);
    const auto decoded = vantle_native::unicode::decode_utf16_strict(units);
    if (decoded.ok()) fuzz::check(unquote(vantle_native::quoted_form(std::string_view(decoded.value()))) == points);
    return 0;
}
