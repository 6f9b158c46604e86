// A session that an app starts once: requests in, one at a time and in
// order; a reply for each (none for a notification); and, while watching, a
// "changed" notification for each new state of the clipboard. The platform
// runs the loop that feeds it lines and changes, and gives it the clipboard
// through a Desktop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "errors.h"
#include "file_clipboard.h"
#include "result.h"
#include "session/protocol.h"

namespace vantle_native::session {

// The clipboard as a session sees it: the operations of file_clipboard.h
// with the clipboard's sequence number, and change notifications.
class Desktop {
public:
    struct Read {
        std::optional<clipboard::FileDrop> drop;
        std::uint64_t sequence;
    };

    Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;
    virtual ~Desktop() = default;

    // Places a list with its effect; the sequence number of that change. The
    // desktop may keep the list.
    [[nodiscard]] virtual Result<std::uint64_t, ClipboardError> place(clipboard::PreparedList list,
                                                                     clipboard::DropEffect effect) = 0;
    // The file list with its effect, and the sequence number of what was read.
    [[nodiscard]] virtual Result<Read, ClipboardError> read() = 0;
    [[nodiscard]] virtual std::uint64_t sequence() = 0;
    // Starts or stops the platform's notifications of changes.
    [[nodiscard]] virtual Status<ClipboardError> watch(bool enabled) = 0;
};

class Session {
public:
    explicit Session(Desktop& desktop) : desktop_(desktop) {}

    // One line of input, without its line break; its reply is written at once.
    void handle_line(std::string line);
    // A line that was too long to be read.
    void handle_too_long_line();
    // The clipboard changed and is now at `sequence`; notified once per
    // sequence number, and only while watching.
    void changed(std::uint64_t sequence, bool has_files);
    // Whether the app asked for change notifications: a platform that must
    // ask the new owner what it offers asks only then.
    [[nodiscard]] bool watching() const { return watching_; }

private:
    void handle(Request request);

    Desktop& desktop_;
    bool watching_ = false;
    std::optional<std::uint64_t> last_notified_;
};

}  // namespace vantle_native::session
