#include "session/protocol.h"

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "unicode/utf.h"

namespace vantle_native::session {
namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
using SizeType = rapidjson::SizeType;

// Strict: the line must be one JSON value (its UTF-8 is checked first). Numbers
// stay the text they came as: the only number the protocol reads is an id,
// which goes back exactly as it came. Iterative: nesting as deep as a line
// can hold costs heap, not the stack. In place: strings are decoded into the
// line itself, so that no text of the line's size is built beside it.
constexpr unsigned parse_flags =
    rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;

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

// Why a path cannot be placed, or nothing when it can. An escaped unpaired
// surrogate arrives as a NUL (see replace_unpaired_surrogates).
std::optional<std::string_view> path_fault(std::string_view text) {
    if (text.empty()) return "is empty";
    if (!unicode::is_path_text(text)) return "holds a NUL or an unpaired surrogate";
    return std::nullopt;
}

// The first element of files that is no path, and why.
struct FileFault {
    std::size_t index;        // cppcheck-suppress unusedStructMember
    std::string_view reason;  // cppcheck-suppress unusedStructMember
};

// The reader's handler: keeps, of a line's JSON, the members the protocol
// names (jsonrpc, id, method, params with its files or enabled), each as it
// came, and passes over everything else at any depth. The files are moved to
// the start of the line, each followed by a NUL, as they come: a file's text
// lies in the line behind everything read before it, and takes no more room
// than its JSON did, so they never reach a byte the reader has yet to read.
class Envelope : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Envelope> {
public:
    explicit Envelope(char* line) : line_(line) {}

    Kind root = Kind::absent;
    Kind version = Kind::absent;
    std::string version_text;
    Kind id = Kind::absent;
    std::string id_json;
    Kind method = Kind::absent;
    std::string method_text;
    Kind params = Kind::absent;
    Kind files = Kind::absent;
    std::size_t file_count = 0;
    std::optional<FileFault> file_fault;
    Kind enabled = Kind::absent;
    bool enabled_value = false;
    // Whether escapes of unpaired surrogates were replaced before the parse.
    bool surrogates_replaced = false;

    // The files up to the first that is no path, each followed by a NUL.
    [[nodiscard]] std::string_view names() const { return {line_, names_length_}; }

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
                if (key_ == "files") files = kind, file_count = 0, file_fault.reset(), names_length_ = 0;
                if (key_ == "enabled") enabled = kind;
                break;
            case Place::file: take_file(kind, text); break;
            case Place::elsewhere: break;
        }
    }

    void take_file(Kind kind, std::string_view text) {
        const std::size_t index = file_count++;
        if (file_fault) return;
        const auto fault = kind == Kind::string ? path_fault(text) : std::optional<std::string_view>("is not a string");
        if (fault) {
            file_fault = FileFault{index, *fault};
            return;
        }
        std::memmove(line_ + names_length_, text.data(), text.size());
        names_length_ += text.size();
        line_[names_length_++] = '\0';
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

    char* line_;
    std::size_t names_length_ = 0;
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

// The reader refuses an escaped high surrogate that no low one follows, and
// decodes an escaped low one that no high one precedes into three bytes that
// are no UTF-8, which a reply must never carry. Each such escape becomes
// \u0000 in place (it is as long): a NUL, which no path may hold either, so
// that such a path is refused as invalid params and not as a broken line, and
// such an id is refused. Whether any was replaced. A backslash outside a
// string is no JSON anyway.
bool replace_unpaired_surrogates(std::string& line) {
    constexpr std::size_t escape_length = 6;
    const auto escaped_unit = [&](std::size_t at) {
        const std::string_view rest = std::string_view(line).substr(std::min(at, line.size()));
        return rest.starts_with("\\u") ? hex4(rest.substr(2)) : std::nullopt;
    };
    bool replaced = false;
    for (std::size_t i = line.find('\\'); i != std::string::npos; i = line.find('\\', i)) {
        const auto unit = escaped_unit(i);
        if (!unit || !unicode::is_surrogate(*unit)) {
            i += 2;
            continue;
        }
        const auto next = escaped_unit(i + escape_length);
        if (unicode::is_high_surrogate(*unit) && next && unicode::is_low_surrogate(*next)) {
            i += 2 * escape_length;
            continue;
        }
        line.replace(i + 2, 4, "0000");
        replaced = true;
        i += escape_length;
    }
    return replaced;
}

rapidjson::ParseResult parse(Envelope& envelope, std::string& line) {
    envelope.surrogates_replaced = replace_unpaired_surrogates(line);
    rapidjson::InsituStringStream stream(line.data());
    rapidjson::Reader reader;
    return reader.Parse<parse_flags>(stream, envelope);
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
std::optional<LineFault> line_fault(std::string& line, Envelope& envelope) {
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
    if (envelope.file_count == 0) return Failure{std::string("files is empty")};
    if (const auto& fault = envelope.file_fault) {
        return Failure{"files[" + std::to_string(fault->index) + "] " + std::string(fault->reason)};
    }
    return FilesParams{envelope.names()};
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
            return Params{files.value()};
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

Request::Request(RequestId id, Method method, Params params, std::unique_ptr<const std::string> line)
    : id_(std::move(id)), method_(method), params_(params), line_(std::move(line)) {}

Result<Request, ErrorReply> decode_request(std::string line) {
    // In its place for good before the parse: the files' views point into it.
    auto kept = std::make_unique<std::string>(std::move(line));
    Envelope envelope(kept->data());
    if (const auto fault = line_fault(*kept, envelope)) {
        // An invalid request is answered even without an id: it is no
        // notification, for it is no request.
        const RequestId& id = fault->with_id ? envelope.request_id() : RequestId();
        return Failure{error(id.value_or(std::string(null_id)), fault->code, fault->message)};
    }
    const RequestId id = envelope.request_id();
    const auto known = std::find_if(method_names.begin(), method_names.end(),
                                    [&](const MethodName& m) { return m.name == envelope.method_text; });
    if (known == method_names.end()) {
        return Failure{error(id, ErrorCode::method_not_found, "Method not found: " + envelope.method_text)};
    }
    auto params = decode_params(known->method, envelope);
    if (!params.ok()) return Failure{error(id, ErrorCode::invalid_params, "Invalid params: " + params.error())};
    return Request(id, known->method, params.value(), std::move(kept));
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
