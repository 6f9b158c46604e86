// The session's framing on input: one message per line. A line feed ends a
// line and a carriage return before it is dropped; empty lines carry nothing.
// A line longer than the limit is reported once, as soon as it passes the
// limit, and the rest of it is skipped without being held.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace vantle_native::session {

inline constexpr std::size_t max_line_bytes = std::size_t{64} * 1024 * 1024;

class LineReader {
public:
    explicit LineReader(std::size_t limit = max_line_bytes) : limit_(limit) {}

    // Takes the next bytes of the input: calls on_line(line) for each whole
    // line, handing it over as a string of its own, and on_too_long() for
    // each line that passes the limit.
    template <class OnLine, class OnTooLong>
    void take(std::string_view bytes, OnLine&& on_line, OnTooLong&& on_too_long) {
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, end);
            bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
            if (!skipping_ && pending_.size() + piece.size() > limit_) {
                skipping_ = true;
                std::string().swap(pending_);
                on_too_long();
            }
            if (!skipping_) pending_ += piece;
            if (end == std::string_view::npos) return;
            if (!skipping_) deliver(on_line);
            skipping_ = false;
        }
    }

    // The end of the input: a last line without its line feed is a line too.
    template <class OnLine>
    void finish(OnLine&& on_line) {
        if (!skipping_) deliver(on_line);
        skipping_ = false;
    }

private:
    template <class OnLine>
    void deliver(OnLine& on_line) {
        std::string line = std::exchange(pending_, std::string());
        if (line.ends_with('\r')) line.pop_back();
        if (!line.empty()) on_line(std::move(line));
    }

    std::size_t limit_;
    std::string pending_;
    bool skipping_ = false;
};

}  // namespace vantle_native::session
