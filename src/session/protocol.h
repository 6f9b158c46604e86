// The session's messages: JSON-RPC 2.0, one message per line. A line is
// decoded into a request of one of the session's methods with typed params,
// or into the error reply it earns; replies and notifications are encoded
// here too. Nothing else in the program sees JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "file_clipboard.h"
#include "result.h"

namespace vantle_native::session {

// JSON-RPC's error codes, and the program's own for a failing clipboard call.
enum class ErrorCode : int {
    parse_error = -32700,
    invalid_request = -32600,
    method_not_found = -32601,
    invalid_params = -32602,
    clipboard_failure = 1,
};

// A request's id as JSON text ("7", "\"a\"", "null"), written back as it
// came; none for a notification, which gets no reply at all.
using RequestId = std::optional<std::string>;

inline constexpr std::string_view null_id = "null";

struct FilesParams {
    // Each path followed by a NUL, as clipboard::for_each_name walks them: a
    // view into the request's own line, where the parse left them.
    std::string_view names;
};
struct ReadParams {};
struct WatchParams {
    bool enabled;
};

enum class Method { copy_files, cut_files, read_files, watch };
using Params = std::variant<FilesParams, ReadParams, WatchParams>;

// One decoded request; it owns the parsed line that its params view.
class Request {
public:
    Request(RequestId id, Method method, Params params, std::unique_ptr<const std::string> line);

    [[nodiscard]] const RequestId& id() const { return id_; }
    [[nodiscard]] Method method() const { return method_; }
    [[nodiscard]] const Params& params() const { return params_; }
    // Lets go of the parsed line; the params' views die with it.
    void release() {
        params_ = ReadParams{};
        line_.reset();
    }

private:
    RequestId id_;
    Method method_;
    Params params_;
    // On the heap, so that the params' views into a short line, which a
    // string keeps inside itself, survive the request's moves.
    std::unique_ptr<const std::string> line_;
};

struct ErrorReply {
    RequestId id;
    ErrorCode code;
    std::string message;
    // The platform's error code, for a failing clipboard call.
    std::optional<std::int32_t> os_error;
};

// A line of input, without its line break: the request it holds, or the
// error reply it gets (whose id is none when the line was a notification).
// The line is parsed in place: the request keeps it, and nothing of the size
// of the line is built beside it.
[[nodiscard]] Result<Request, ErrorReply> decode_request(std::string line);

// The reply to a line too long to be read.
[[nodiscard]] ErrorReply line_too_long_reply(std::size_t limit);

// The encoded lines, each ending in a line feed.
[[nodiscard]] std::string encode_error(const ErrorReply& reply);
[[nodiscard]] std::string encode_sequence_result(const std::string& id, std::uint64_t sequence);
[[nodiscard]] std::string encode_read_result(const std::string& id, const std::optional<clipboard::FileDrop>& drop,
                                             std::uint64_t sequence);
[[nodiscard]] std::string encode_change(std::uint64_t sequence, bool has_files);

}  // namespace vantle_native::session
