#include "linux/byte_text.h"

#include "errors.h"
#include "unicode/utf.h"

namespace vantle_native::linux_room {

bool is_utf8(std::string_view bytes) { return unicode::valid_utf8_prefix_length(bytes) == bytes.size(); }

std::string quoted_bytes(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        if (unicode::valid_utf8_sequence_length(bytes.substr(i)) == 0) {
            const auto byte = static_cast<unsigned char>(bytes[i++]);
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
            continue;
        }
        append_quoted_code_point(out, unicode::next_utf8_code_point(bytes, i));
    }
    out += '"';
    return out;
}

}  // namespace vantle_native::linux_room
