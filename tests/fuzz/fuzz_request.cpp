// The session's request decoder: a line in, a request or an error reply out.
// Properties: it never touches the platform; the files of a request are
// non-empty UTF-8 without NUL; and whatever comes out encodes as exactly one
// line of JSON in UTF-8, a reply with the line's id or null.
#include <rapidjson/document.h>

#include <variant>

#include "fuzz_support.h"
#include "session/protocol.h"
#include "support/fake_win32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantle_native::session;
    auto decoded = decode_request(std::string(reinterpret_cast<const char*>(data), size));
    std::string reply;
    if (decoded.ok()) {
        if (const auto* params = std::get_if<FilesParams>(&decoded.value().params())) {
            fuzz::check(params->names.ends_with('\0'));
            vantle_native::clipboard::for_each_name(
                params->names, [](std::string_view file) { fuzz::check(!file.empty() && fuzz::is_path_text(file)); });
        }
        reply = encode_sequence_result(decoded.value().id().value_or(std::string(null_id)), 1);
    } else {
        reply = encode_error(decoded.error());
    }
    fuzz::check(!reply.empty() && reply.find('\n') == reply.size() - 1 && fuzz::is_path_text(reply));
    rapidjson::Document document;
    document.Parse(reply.data(), reply.size() - 1);
    fuzz::check(!document.HasParseError() && document.IsObject() && document.HasMember("id"));
    fuzz::check(fake::world().calls.empty());
    return 0;
}
