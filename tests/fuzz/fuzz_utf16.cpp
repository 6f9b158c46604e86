// Strict decoding. Properties: a run that decodes re-encodes to itself; a
// run that fails holds an unpaired surrogate (re-encoding what the lenient
// walk sees would otherwise match).
#include "errors.h"
#include "fuzz_support.h"
#include "unicode/utf16_strict.h"
#include "unicode/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Units units = fuzz::units_of(data, size);
    const auto decoded = vantle_native::unicode::decode_utf16_strict(units);
    bool unpaired = false;
    vantle_native::unicode::for_each_utf16_code_point(vantle_native::platform::WideView(units), [&](char32_t c) {
        unpaired = unpaired || vantle_native::unicode::is_surrogate(c);
        return true;
    });
    fuzz::check(decoded.ok() == !unpaired);
    if (!decoded.ok()) return 0;

    const std::string& text = decoded.value();
    fuzz::Units encoded;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = vantle_native::unicode::valid_utf8_sequence_length(std::string_view(text).substr(i));
        fuzz::check(length > 0);
        std::size_t at = i;
        vantle_native::unicode::encode_utf16(vantle_native::unicode::next_utf8_code_point(text, at),
                                             [&](std::uint16_t unit) { encoded += static_cast<WCHAR>(unit); });
        fuzz::check(at == i + length);
        i = at;
    }
    fuzz::check(encoded == units);
    return 0;
}
