// The session's framing and request decoder on their own; the protocol's
// replies end to end are proved under Wine (tests/e2e/test_session.py).
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "session/line_reader.h"
#include "session/protocol.h"

using namespace vantle_native::session;

namespace {

// What a reader gives for chunks, then the end: the lines, and "!" for each
// line too long.
std::vector<std::string> framed(const std::vector<std::string>& chunks, std::size_t limit) {
    LineReader reader(limit);
    std::vector<std::string> seen;
    const auto on_line = [&](std::string_view line) { seen.emplace_back(line); };
    for (const std::string& chunk : chunks) reader.take(chunk, on_line, [&] { seen.emplace_back("!"); });
    reader.finish(on_line);
    return seen;
}

TEST(LineReader, SplitsLinesAcrossChunksAndSkipsWhatIsTooLongOnce) {
    using Lines = std::vector<std::string>;
    const struct {
        std::vector<std::string> chunks;
        Lines lines;
    } cases[] = {
        {{"a\nb\n"}, {"a", "b"}},
        {{"a\r", "\nb"}, {"a", "b"}},
        {{"\n\r\n", "\n"}, {}},
        {{"x\ry\r\n"}, {"x\ry"}},
        {{"abcdef\nxy\n"}, {"!", "xy"}},
        {{"ab", "cdef", "gh", "ij\nxy"}, {"!", "xy"}},
        {{"abcd\n", "abcde"}, {"abcd", "!"}},
    };
    for (const auto& [chunks, lines] : cases) EXPECT_EQ(framed(chunks, 4), lines) << chunks.front();
}

TEST(DecodeRequest, TheEnvelopeKeepsOnlyWhatTheProtocolNames) {
    const struct {
        std::string line;
        std::optional<ErrorCode> code;
        std::string id;
    } cases[] = {
        {std::string("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"readFiles\"}\0x", 47), ErrorCode::parse_error, "null"},
        {R"({"jsonrpc":"2.0","id":"a\ud800","method":"readFiles"})", ErrorCode::invalid_request, "null"},
        {R"({"jsonrpc":"2.0","id":"\udc00","method":"readFiles"})", ErrorCode::invalid_request, "null"},
        {R"({"jsonrpc":"2.0","id":7,"method":"cutFiles","params":{"files":["\ud800\ud801x"]}})",
         ErrorCode::invalid_params, "7"},
        {R"({"jsonrpc":"2.0","id":1.50,"method":"copyFiles","params":{"files":["a"]},"x":{"y":[["b"]]}})", std::nullopt,
         "1.50"},
        {R"({"x":{"files":["b"]},"jsonrpc":"2.0","id":"q","method":"copyFiles","params":{"files":["a"],"z":[["c"]]}})",
         std::nullopt, "\"q\""},
    };
    for (const auto& [line, code, id] : cases) {
        auto decoded = decode_request(line);
        ASSERT_EQ(decoded.ok(), !code.has_value()) << line;
        if (code) {
            EXPECT_EQ(decoded.error().code, *code) << line;
            EXPECT_EQ(decoded.error().id, id) << line;
            continue;
        }
        EXPECT_EQ(decoded.value().id(), id) << line;
        EXPECT_EQ(std::get<FilesParams>(decoded.value().params()).names, std::string_view("a\0", 2)) << line;
    }
}

}  // namespace
