#include "linux/byte_text.h"

#include "errors.h"
#include "text.h"
#include "unicode/utf.h"

namespace vantle_native::linux_room {

bool is_utf8(std::string_view bytes) { return unicode::valid_utf8_prefix_length(bytes) == bytes.size(); }

std::string quoted_bytes(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        if (unicode::valid_utf8_sequence_length(bytes.substr(i)) == 0) {
            out += "\\x";
            append_hex_byte(out, static_cast<unsigned char>(bytes[i++]));
            continue;
        }
        append_quoted_code_point(out, unicode::next_utf8_code_point(bytes, i));
    }
    out += '"';
    return out;
}

}  // namespace vantle_native::linux_room
