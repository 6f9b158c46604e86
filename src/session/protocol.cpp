#include "session/protocol.h"

#include <rapidjson/encodedstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <array>
#include <utility>

#include "unicode/utf.h"

namespace vantle_native::session {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
using SizeType = rapidjson::SizeType;

// Strict: the line must be one JSON value (its UTF-8 is checked first). Numbers
// stay the text they came as: the only number the protocol reads is an id,
// which goes back exactly as it came. Iterative: nesting as deep as a line
// can hold costs heap, not the stack.
constexpr unsigned parse_flags = rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseIterativeFlag;

constexpr std::string_view protocol_version = "2.0";
constexpr std::string_view change_method = "changed";

// cppcheck does not follow members read through iterators and optionals.
struct MethodName {
    std::string_view name;
    Method method;  // cppcheck-suppress unusedStructMember
};
constexpr std::array method_names{
    MethodName{"copyFiles", Method::copy_files},
    MethodName{"cutFiles", Method::cut_files},
    MethodName{"readFiles", Method::read_files},
    MethodName{"watch", Method::watch},
};

// What JSON value a member held, as far as the protocol cares.
enum class Kind { absent, null, boolean, number, string, object, array };

// The JSON text of a string value.
std::string json_string(std::string_view text) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.String(text.data(), static_cast<SizeType>(text.size()));
    return {buffer.GetString(), buffer.GetSize()};
}

// The reader's handler: keeps, of a line's JSON, the members the protocol
// names (jsonrpc, id, method, params with its files or enabled), each as it
// came, and passes over everything else at any depth.
class Envelope : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Envelope> {
public:
    Kind root = Kind::absent;
    Kind version = Kind::absent;
    std::string version_text;
    Kind id = Kind::absent;
    std::string id_json;
    Kind method = Kind::absent;
    std::string method_text;
    Kind params = Kind::absent;
    Kind files = Kind::absent;
    // The files that are strings, one after another, and where each lies;
    // the index of the first that is not a string.
    std::string file_text;
    std::vector<std::pair<std::size_t, std::size_t>> file_spans;
    std::optional<std::size_t> first_non_string_file;
    Kind enabled = Kind::absent;
    bool enabled_value = false;
    // Whether escapes of unpaired surrogates were replaced before the parse.
    bool surrogates_replaced = false;

    // The id as JSON text, or none for a notification.
    [[nodiscard]] RequestId request_id() const {
        if (id == Kind::absent) return std::nullopt;
        return id == Kind::null ? std::string(null_id) : id_json;
    }

    bool Null() { return scalar(Kind::null, {}); }
    bool Bool(bool value) {
        if (place() == Place::params_member && key_ == "enabled") enabled_value = value;
        return scalar(Kind::boolean, {});
    }
    bool RawNumber(const char* text, SizeType length, bool) { return scalar(Kind::number, {text, length}); }
    bool String(const char* text, SizeType length, bool) { return scalar(Kind::string, {text, length}); }
    bool Key(const char* text, SizeType length, bool) {
        if (depth_ <= 2) key_.assign(text, length);
        return true;
    }
    bool StartObject() { return open(Kind::object); }
    bool StartArray() { return open(Kind::array); }
    bool EndObject(SizeType) { return close(); }
    bool EndArray(SizeType) { return close(); }

private:
    // Where the value that comes next stands.
    enum class Place { root, root_member, params_member, file, elsewhere };

    [[nodiscard]] Place place() const {
        switch (depth_) {
            case 0: return Place::root;
            case 1: return root == Kind::object ? Place::root_member : Place::elsewhere;
            case 2: return in_params_ ? Place::params_member : Place::elsewhere;
            case 3: return in_params_ && in_files_ ? Place::file : Place::elsewhere;
            default: return Place::elsewhere;
        }
    }

    // Notes a value's kind where the protocol looks for it.
    void note(Kind kind, std::string_view text) {
        place_ = place();
        switch (place_) {
            case Place::root: root = kind; break;
            case Place::root_member:
                if (key_ == "jsonrpc") version = kind, version_text.assign(text);
                if (key_ == "method") method = kind, method_text.assign(text);
                if (key_ == "params") params = kind;
                if (key_ == "id") id = kind, id_json = kind == Kind::string ? json_string(text) : std::string(text);
                break;
            case Place::params_member:
                if (key_ == "files") files = kind, file_text.clear(), file_spans.clear(), first_non_string_file.reset();
                if (key_ == "enabled") enabled = kind;
                break;
            case Place::file:
                if (kind == Kind::string) {
                    file_spans.emplace_back(file_text.size(), text.size());
                    file_text += text;
                } else if (!first_non_string_file) {
                    first_non_string_file = file_spans.size();
                }
                break;
            case Place::elsewhere: break;
        }
    }

    bool scalar(Kind kind, std::string_view text) {
        note(kind, text);
        return true;
    }

    // A container opened at a member's place: the params object and its
    // files array are the ones whose insides the protocol reads.
    bool open(Kind kind) {
        note(kind, {});
        if (place_ == Place::root_member) in_params_ = key_ == "params" && kind == Kind::object;
        if (place_ == Place::params_member) in_files_ = key_ == "files" && kind == Kind::array;
        ++depth_;
        return true;
    }

    bool close() {
        --depth_;
        return true;
    }

    std::size_t depth_ = 0;
    std::string key_;
    Place place_ = Place::root;
    bool in_params_ = false;
    bool in_files_ = false;
};

// The value of four hex digits, or nothing.
std::optional<char32_t> hex4(std::string_view digits) {
    if (digits.size() < 4) return std::nullopt;
    char32_t value = 0;
    for (const char c : digits.substr(0, 4)) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<char32_t>(digit);
    }
    return value;
}

// The reader refuses a text with an escaped high surrogate that no low one
// follows. Each such escape becomes \u0000, which no path may hold either, so
// that such a path is refused as invalid params and not as a broken line.
// One pass over the escapes: a backslash outside a string is no JSON anyway.
std::string without_lone_high_surrogates(std::string_view line) {
    constexpr std::string_view stand_in = "\\u0000";
    constexpr std::size_t escape_length = 6;
    std::string text;
    text.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t length = line[i] != '\\' ? 1 : line.substr(i, 2) == "\\u" ? escape_length : 2;
        const auto unit = length == escape_length ? hex4(line.substr(i + 2)) : std::nullopt;
        if (unit && unicode::is_high_surrogate(*unit)) {
            const auto next = line.substr(i + escape_length, 2) == "\\u" ? hex4(line.substr(i + escape_length + 2)) : std::nullopt;
            if (!next || !unicode::is_low_surrogate(*next)) {
                text += stand_in;
                i += escape_length;
                continue;
            }
        }
        text += line.substr(i, length);
        i += length;
    }
    return text;
}

rapidjson::ParseResult parse(Envelope& envelope, std::string_view line) {
    const auto read = [&](std::string_view text) {
        envelope = Envelope();
        rapidjson::MemoryStream memory(text.data(), text.size());
        rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> stream(memory);
        rapidjson::Reader reader;
        return reader.Parse<parse_flags>(stream, envelope);
    };
    const rapidjson::ParseResult result = read(line);
    if (result.Code() != rapidjson::kParseErrorStringUnicodeSurrogateInvalid) return result;
    const rapidjson::ParseResult patched = read(without_lone_high_surrogates(line));
    envelope.surrogates_replaced = true;
    return patched;
}

// Why a path cannot be placed, or nothing when it can.
std::optional<std::string_view> path_fault(std::string_view text) {
    if (text.empty()) return "is empty";
    // A lone low surrogate escape arrives as the three bytes of its code
    // point, which are no UTF-8.
    if (!unicode::is_path_text(text)) {
        return "holds a NUL or an unpaired surrogate";
    }
    return std::nullopt;
}

ErrorReply error(RequestId id, ErrorCode code, std::string_view message) {
    return ErrorReply{std::move(id), code, std::string(message), std::nullopt};
}

struct LineFault {
    ErrorCode code;            // cppcheck-suppress unusedStructMember
    std::string_view message;  // cppcheck-suppress unusedStructMember
    // Whether the reply can carry the request's id.
    bool with_id;  // cppcheck-suppress unusedStructMember
};

bool is_id(Kind kind) { return kind == Kind::absent || kind == Kind::string || kind == Kind::number || kind == Kind::null; }

// Reads the line into `envelope`; why it is no request of this protocol, or
// nothing when it is one.
std::optional<LineFault> line_fault(std::string_view line, Envelope& envelope) {
    if (unicode::valid_utf8_prefix_length(line) < line.size()) {
        return LineFault{ErrorCode::parse_error, "Parse error: not valid UTF-8", false};
    }
    // The reader would take a NUL for the end of the line.
    if (line.find('\0') != std::string_view::npos || parse(envelope, line).IsError()) {
        return LineFault{ErrorCode::parse_error, "Parse error: not JSON", false};
    }
    if (envelope.root == Kind::array) {
        return LineFault{ErrorCode::invalid_request, "Invalid Request: batches are not supported", false};
    }
    if (envelope.root != Kind::object) return LineFault{ErrorCode::invalid_request, "Invalid Request: not an object", false};
    if (!is_id(envelope.id)) {
        return LineFault{ErrorCode::invalid_request, "Invalid Request: id must be a string, a number or null", false};
    }
    // An id that held an unpaired surrogate could not go back as it came.
    if (envelope.surrogates_replaced && envelope.id_json.find("\\u0000") != std::string::npos) {
        return LineFault{ErrorCode::invalid_request, "Invalid Request: id must be valid Unicode", false};
    }
    if (envelope.version != Kind::string || envelope.version_text != protocol_version) {
        return LineFault{ErrorCode::invalid_request, "Invalid Request: jsonrpc must be \"2.0\"", true};
    }
    if (envelope.method != Kind::string) {
        return LineFault{ErrorCode::invalid_request, "Invalid Request: method must be a string", true};
    }
    return std::nullopt;
}

Result<FilesParams, std::string> files_params(const Envelope& envelope) {
    if (envelope.files == Kind::absent) return Failure{std::string("files is missing")};
    if (envelope.files != Kind::array) return Failure{std::string("files is not an array")};
    if (envelope.file_spans.empty() && !envelope.first_non_string_file) return Failure{std::string("files is empty")};
    FilesParams decoded;
    decoded.files.reserve(envelope.file_spans.size());
    for (const auto& [offset, length] : envelope.file_spans) {
        const std::size_t index = decoded.files.size();
        if (envelope.first_non_string_file == index) break;
        const std::string_view file = std::string_view(envelope.file_text).substr(offset, length);
        if (const auto fault = path_fault(file)) return Failure{"files[" + std::to_string(index) + "] " + std::string(*fault)};
        decoded.files.push_back(file);
    }
    if (envelope.first_non_string_file) {
        return Failure{"files[" + std::to_string(*envelope.first_non_string_file) + "] is not a string"};
    }
    return decoded;
}

// The typed params of `method`.
Result<Params, std::string> decode_params(Method method, const Envelope& envelope) {
    if (envelope.params != Kind::absent && envelope.params != Kind::object) {
        return Failure{std::string("params must be an object")};
    }
    switch (method) {
        case Method::copy_files:
        case Method::cut_files: {
            auto files = files_params(envelope);
            if (!files.ok()) return Failure{std::move(files.error())};
            return Params{std::move(files.value())};
        }
        case Method::watch:
            if (envelope.enabled != Kind::boolean) return Failure{std::string("enabled is not a boolean")};
            return Params{WatchParams{envelope.enabled_value}};
        case Method::read_files: break;
    }
    return Params{ReadParams{}};
}

// An integer, in the digits that std::to_string gives: the writer's own
// integer formatting would bring tables of its own into the exe.
template <class Integer>
void write_integer(Writer& writer, Integer value) {
    const std::string digits = std::to_string(value);
    writer.RawValue(digits.data(), digits.size(), rapidjson::kNumberType);
}

void write_string(Writer& writer, std::string_view text) {
    writer.String(text.data(), static_cast<SizeType>(text.size()));
}

// One message's line: {"jsonrpc":"2.0", then the caller's members, then },
// and the line feed.
template <class Members>
std::string encode_message(Members&& members) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    writer.Key("jsonrpc");
    write_string(writer, protocol_version);
    members(writer);
    writer.EndObject();
    std::string line(buffer.GetString(), buffer.GetSize());
    line += '\n';
    return line;
}

// A reply: the message with the request's id first.
template <class Members>
std::string encode_reply(std::string_view id, Members&& members) {
    return encode_message([&](Writer& writer) {
        writer.Key("id");
        writer.RawValue(id.data(), id.size(), rapidjson::kObjectType);
        members(writer);
    });
}

}  // namespace

Request::Request(RequestId id, Method method, Params params, std::shared_ptr<const void> storage)
    : id_(std::move(id)), method_(method), params_(std::move(params)), storage_(std::move(storage)) {}

Result<Request, ErrorReply> decode_request(std::string_view line) {
    auto envelope = std::make_shared<Envelope>();
    if (const auto fault = line_fault(line, *envelope)) {
        // An invalid request is answered even without an id: it is no
        // notification, for it is no request.
        const RequestId& id = fault->with_id ? envelope->request_id() : RequestId();
        return Failure{error(id.value_or(std::string(null_id)), fault->code, fault->message)};
    }
    const Envelope& request = *envelope;
    const RequestId id = request.request_id();
    const auto known = std::find_if(method_names.begin(), method_names.end(),
                                    [&](const MethodName& m) { return m.name == request.method_text; });
    if (known == method_names.end()) {
        return Failure{error(id, ErrorCode::method_not_found, "Method not found: " + request.method_text)};
    }
    auto params = decode_params(known->method, request);
    if (!params.ok()) return Failure{error(id, ErrorCode::invalid_params, "Invalid params: " + params.error())};
    return Request(id, known->method, std::move(params.value()), std::move(envelope));
}

ErrorReply line_too_long_reply(std::size_t limit) {
    return error(std::string(null_id), ErrorCode::invalid_request,
                 "Invalid Request: line longer than " + std::to_string(limit) + " bytes");
}

std::string encode_error(const ErrorReply& reply) {
    return encode_reply(reply.id.value_or(std::string(null_id)), [&](Writer& writer) {
        writer.Key("error");
        writer.StartObject();
        writer.Key("code");
        write_integer(writer, static_cast<int>(reply.code));
        writer.Key("message");
        write_string(writer, reply.message);
        if (reply.os_error) {
            writer.Key("data");
            writer.StartObject();
            writer.Key("osError");
            write_integer(writer, *reply.os_error);
            writer.EndObject();
        }
        writer.EndObject();
    });
}

std::string encode_sequence_result(const std::string& id, std::uint64_t sequence) {
    return encode_reply(id, [&](Writer& writer) {
        writer.Key("result");
        writer.StartObject();
        writer.Key("sequence");
        write_integer(writer, sequence);
        writer.EndObject();
    });
}

std::string encode_read_result(const std::string& id, const std::optional<clipboard::FileDrop>& drop,
                               std::uint64_t sequence) {
    return encode_reply(id, [&](Writer& writer) {
        writer.Key("result");
        if (!drop) {
            writer.Null();
            return;
        }
        writer.StartObject();
        writer.Key("effect");
        write_string(writer, clipboard::effect_word(drop->effect));
        writer.Key("files");
        writer.StartArray();
        clipboard::for_each_name(drop->names, [&](std::string_view name) { write_string(writer, name); });
        writer.EndArray();
        writer.Key("sequence");
        write_integer(writer, sequence);
        writer.EndObject();
    });
}

std::string encode_change(std::uint64_t sequence, bool has_files) {
    return encode_message([&](Writer& writer) {
        writer.Key("method");
        write_string(writer, change_method);
        writer.Key("params");
        writer.StartObject();
        writer.Key("sequence");
        write_integer(writer, sequence);
        writer.Key("hasFiles");
        writer.Bool(has_files);
        writer.EndObject();
    });
}

}  // namespace vantle_native::session
