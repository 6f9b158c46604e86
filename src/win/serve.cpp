// The session's loop on Windows: one wait for standard input (through the
// input pump's thread) and for the messages of the session's window, which
// the platform tells of every change of the clipboard.
#include "session/serve.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "session/line_reader.h"
#include "session/session.h"
#include "win/bounded_work.h"
#include "win/clipboard.h"
#include "win/input_pump.h"
#include "win/message_window.h"

namespace vantle_native::session {
namespace {

// The window's place in the platform's list of clipboard listeners: while it
// exists, every change of the clipboard posts WM_CLIPBOARDUPDATE to it.
class ClipboardListener {
public:
    [[nodiscard]] static Result<ClipboardListener, OsError> add(HWND window) {
        if (!AddClipboardFormatListener(window)) return Failure{last_os_error()};
        return ClipboardListener(window);
    }
    ClipboardListener(ClipboardListener&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
    ClipboardListener& operator=(ClipboardListener&&) = delete;
    ClipboardListener(const ClipboardListener&) = delete;
    ClipboardListener& operator=(const ClipboardListener&) = delete;
    ~ClipboardListener() {
        if (window_ != nullptr) (void)RemoveClipboardFormatListener(window_);
    }

private:
    explicit ClipboardListener(HWND window) : window_(window) {}
    HWND window_;
};

// The clipboard as the session sees it, opened by the session's own window,
// which keeps every open exclusive.
class WindowsDesktop final : public Desktop {
public:
    explicit WindowsDesktop(HWND window) : window_(window) {}

    Result<std::uint64_t, ClipboardError> place(clipboard::PreparedList list, clipboard::DropEffect effect) override {
        own_.reset();
        auto placed = win::clipboard::place_file_list(list, effect, window_);
        if (!placed.ok()) return Failure{std::move(placed.error())};
        // Taken once the clipboard is closed: the number of this change.
        const DWORD placed_sequence = GetClipboardSequenceNumber();
        own_.emplace(OwnList{std::move(list), effect, placed_sequence});
        return std::uint64_t{placed_sequence};
    }

    // The session's own list, while the clipboard still holds it, is read
    // from the session's copy: the same bytes, without a trip through the
    // clipboard (under Wine, each read-back of a process's own data keeps
    // about a kilobyte for good). The session's window still owning the
    // clipboard rules out a change that slipped in before the number was
    // taken.
    Result<Read, ClipboardError> read() override {
        if (own_ && own_->sequence == GetClipboardSequenceNumber() && GetClipboardOwner() == window_) {
            auto names = win::clipboard::names_of_drop_list(own_->list.bytes);
            return Read{clipboard::FileDrop{own_->effect, std::move(names)}, own_->sequence};
        }
        auto read = win::clipboard::read_file_drop_within_bound(worker_, window_);
        if (!read.ok()) return Failure{std::move(read.error())};
        return Read{std::move(read.value().drop), read.value().sequence};
    }

    // Whether a read was given up while its thread still holds the clipboard
    // open: the session cannot go on, and ends once that read is answered.
    [[nodiscard]] bool held() const { return worker_.held(); }

    std::uint64_t sequence() override { return GetClipboardSequenceNumber(); }

    Status<ClipboardError> watch(bool enabled) override {
        if (!enabled) {
            listener_.reset();
            return Done{};
        }
        if (listener_) return Done{};
        auto added = ClipboardListener::add(window_);
        if (!added.ok()) return Failure{clipboard_error(added.error())};
        listener_.emplace(std::move(added.value()));
        return Done{};
    }

private:
    // cppcheck does not follow members read through an optional.
    struct OwnList {
        clipboard::PreparedList list;  // cppcheck-suppress unusedStructMember
        clipboard::DropEffect effect;  // cppcheck-suppress unusedStructMember
        DWORD sequence;                // cppcheck-suppress unusedStructMember
    };

    HWND window_;
    std::optional<ClipboardListener> listener_;
    std::optional<OwnList> own_;
    // Every read of the session is done by one worker thread.
    win::Worker worker_;
};

// Takes the window's messages; tells the session when the clipboard changed.
// Wine can post two updates for one change, and the session notifies each
// sequence number once.
void take_messages(Session& session) {
    bool changed = false;
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_CLIPBOARDUPDATE) {
            changed = true;
        } else {
            (void)DispatchMessageW(&message);
        }
    }
    if (changed) session.changed(GetClipboardSequenceNumber(), IsClipboardFormatAvailable(CF_HDROP) != FALSE);
}

}  // namespace

Status<ClipboardError> serve() {
    const auto window = win::MessageWindow::create();
    if (!window) return Failure{clipboard_error(last_os_error())};
    WindowsDesktop desktop(window->handle());
    Session session(desktop);
    auto pump = win::InputPump::start();
    if (!pump.ok()) return Failure{clipboard_error(pump.error())};
    LineReader lines;
    // Nothing is answered after a read that still holds the clipboard.
    const auto on_line = [&](std::string line) {
        if (!desktop.held()) session.handle_line(std::move(line));
    };
    const auto on_too_long = [&] {
        if (!desktop.held()) session.handle_too_long_line();
    };
    for (;;) {
        const HANDLE ready = pump.value().ready();
        const DWORD woke = MsgWaitForMultipleObjects(1, &ready, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            const std::string_view chunk = pump.value().chunk();
            if (chunk.empty()) {
                lines.finish(on_line);
            } else {
                lines.take(chunk, on_line, on_too_long);
            }
            if (desktop.held()) return Failure{win::clipboard::unrendered_error()};
            if (chunk.empty()) return Done{};
            pump.value().read_on();
        }
        // Every turn, so that a flood of input does not hold back changes.
        take_messages(session);
    }
}

}  // namespace vantle_native::session
