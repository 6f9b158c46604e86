#include "session/protocol.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <array>
#include <utility>

#include "unicode/utf.h"

namespace vantle_native::session {
namespace {

using Document = rapidjson::Document;
using Value = rapidjson::Value;
using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

// Strict: the line must be one JSON value, its strings valid UTF-8.
constexpr unsigned parse_flags = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag;

constexpr std::string_view protocol_version = "2.0";
constexpr std::string_view change_method = "changed";

struct MethodName {
    std::string_view name;
    Method method;
};
constexpr std::array method_names{
    MethodName{"copyFiles", Method::copy_files},
    MethodName{"cutFiles", Method::cut_files},
    MethodName{"readFiles", Method::read_files},
    MethodName{"watch", Method::watch},
};

std::string_view view_of(const Value& string) { return {string.GetString(), string.GetStringLength()}; }

const Value* member(const Value& object, std::string_view name) {
    const auto found = object.FindMember(Value(rapidjson::StringRef(name.data(), name.size())));
    return found == object.MemberEnd() ? nullptr : &found->value;
}

std::string json_text(const Value& value) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    value.Accept(writer);
    return {buffer.GetString(), buffer.GetSize()};
}

ErrorReply error(RequestId id, ErrorCode code, std::string message) {
    return ErrorReply{std::move(id), code, std::move(message), std::nullopt};
}

// A JSON text with an unpaired high surrogate escape does not parse; the
// escape is turned into \u0000, which no path may hold either, so that such
// a path is refused as invalid params and not as a broken line.
constexpr std::string_view lone_surrogate_stand_in = "\\u0000";

bool parse(Document& document, std::string_view line) {
    document.Parse<parse_flags>(line.data(), line.size());
    if (document.GetParseError() == rapidjson::kParseErrorStringUnicodeSurrogateInvalid) {
        std::string patched(line);
        while (document.GetParseError() == rapidjson::kParseErrorStringUnicodeSurrogateInvalid) {
            patched.replace(document.GetErrorOffset(), lone_surrogate_stand_in.size(), lone_surrogate_stand_in);
            document.Parse<parse_flags>(patched.data(), patched.size());
        }
    }
    return !document.HasParseError();
}

// Why a path cannot be placed, or nothing when it can.
std::optional<std::string_view> path_fault(const Value& path) {
    if (!path.IsString()) return "is not a string";
    const std::string_view text = view_of(path);
    if (text.empty()) return "is empty";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = unicode::valid_utf8_sequence_length(text.substr(i));
        // A lone low surrogate escape arrives as the three bytes of its code
        // point, which are no UTF-8.
        if (length == 0 || text[i] == '\0') return "holds a NUL or an unpaired surrogate";
        i += length;
    }
    return std::nullopt;
}

Result<Params, std::string> files_params(const Value* params) {
    const Value* files = params == nullptr ? nullptr : member(*params, "files");
    if (files == nullptr) return Failure{std::string("files is missing")};
    if (!files->IsArray()) return Failure{std::string("files is not an array")};
    if (files->Empty()) return Failure{std::string("files is empty")};
    FilesParams decoded;
    decoded.files.reserve(files->Size());
    for (rapidjson::SizeType i = 0; i < files->Size(); ++i) {
        if (const auto fault = path_fault((*files)[i])) {
            return Failure{"files[" + std::to_string(i) + "] " + std::string(*fault)};
        }
        decoded.files.push_back(view_of((*files)[i]));
    }
    return Params{std::move(decoded)};
}

Result<Params, std::string> watch_params(const Value* params) {
    const Value* enabled = params == nullptr ? nullptr : member(*params, "enabled");
    if (enabled == nullptr || !enabled->IsBool()) return Failure{std::string("enabled is not a boolean")};
    return Params{WatchParams{enabled->GetBool()}};
}

// The typed params of `method`; `params` is the params object, or null when
// the request has none.
Result<Params, std::string> decode_params(Method method, const Value* params) {
    if (params != nullptr && !params->IsObject()) return Failure{std::string("params must be an object")};
    switch (method) {
        case Method::copy_files:
        case Method::cut_files: return files_params(params);
        case Method::watch: return watch_params(params);
        case Method::read_files: break;
    }
    return Params{ReadParams{}};
}

// Writes {"jsonrpc":"2.0","id":ID, then the caller's members, then }.
template <class Members>
std::string encode_reply(std::string_view id, Members&& members) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    writer.Key("jsonrpc");
    writer.String(protocol_version.data(), static_cast<rapidjson::SizeType>(protocol_version.size()));
    writer.Key("id");
    writer.RawValue(id.data(), id.size(), rapidjson::kObjectType);
    members(writer);
    writer.EndObject();
    std::string line(buffer.GetString(), buffer.GetSize());
    line += '\n';
    return line;
}

void write_string(Writer& writer, std::string_view text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

}  // namespace

Request::Request(RequestId id, Method method, Params params, std::shared_ptr<const void> storage)
    : id_(std::move(id)), method_(method), params_(std::move(params)), storage_(std::move(storage)) {}

Result<Request, ErrorReply> decode_request(std::string_view line) {
    // The document holds its own copies of the strings that params view.
    auto document = std::make_shared<Document>();
    if (!parse(*document, line)) {
        std::string message = "Parse error: ";
        message += rapidjson::GetParseError_En(document->GetParseError());
        return Failure{error(std::string(null_id), ErrorCode::parse_error, std::move(message))};
    }
    const Document& root = *document;
    if (root.IsArray()) {
        return Failure{error(std::string(null_id), ErrorCode::invalid_request, "Invalid Request: batches are not supported")};
    }
    if (!root.IsObject()) {
        return Failure{error(std::string(null_id), ErrorCode::invalid_request, "Invalid Request: not an object")};
    }
    const Value* id_value = member(root, "id");
    if (id_value != nullptr && !id_value->IsString() && !id_value->IsNumber() && !id_value->IsNull()) {
        return Failure{error(std::string(null_id), ErrorCode::invalid_request,
                             "Invalid Request: id must be a string, a number or null")};
    }
    const RequestId id = id_value == nullptr ? RequestId() : RequestId(json_text(*id_value));
    const std::string reply_id = id.value_or(std::string(null_id));
    const Value* version = member(root, "jsonrpc");
    if (version == nullptr || !version->IsString() || view_of(*version) != protocol_version) {
        return Failure{error(reply_id, ErrorCode::invalid_request, "Invalid Request: jsonrpc must be \"2.0\"")};
    }
    const Value* method_value = member(root, "method");
    if (method_value == nullptr || !method_value->IsString()) {
        return Failure{error(reply_id, ErrorCode::invalid_request, "Invalid Request: method must be a string")};
    }
    const std::string_view method_name = view_of(*method_value);
    const auto known = std::find_if(method_names.begin(), method_names.end(),
                                    [&](const MethodName& m) { return m.name == method_name; });
    if (known == method_names.end()) {
        return Failure{error(id, ErrorCode::method_not_found, "Method not found: " + std::string(method_name))};
    }
    auto params = decode_params(known->method, member(root, "params"));
    if (!params.ok()) return Failure{error(id, ErrorCode::invalid_params, "Invalid params: " + params.error())};
    return Request(id, known->method, std::move(params.value()), std::move(document));
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
        writer.Int(static_cast<int>(reply.code));
        writer.Key("message");
        write_string(writer, reply.message);
        if (reply.os_error) {
            writer.Key("data");
            writer.StartObject();
            writer.Key("osError");
            writer.Int(*reply.os_error);
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
        writer.Uint64(sequence);
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
        std::string_view names = drop->names;
        for (std::size_t end = names.find('\0'); end != std::string_view::npos; end = names.find('\0')) {
            write_string(writer, names.substr(0, end));
            names.remove_prefix(end + 1);
        }
        writer.EndArray();
        writer.Key("sequence");
        writer.Uint64(sequence);
        writer.EndObject();
    });
}

std::string encode_change(std::uint64_t sequence, bool has_files) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    writer.Key("jsonrpc");
    write_string(writer, protocol_version);
    writer.Key("method");
    write_string(writer, change_method);
    writer.Key("params");
    writer.StartObject();
    writer.Key("sequence");
    writer.Uint64(sequence);
    writer.Key("hasFiles");
    writer.Bool(has_files);
    writer.EndObject();
    writer.EndObject();
    std::string line(buffer.GetString(), buffer.GetSize());
    line += '\n';
    return line;
}

}  // namespace vantle_native::session
