// A message-only window: invisible, never enumerated, and enough to own the
// clipboard while this program has it open. Opening the clipboard with a
// window makes the open exclusive between processes under Wine as it is on
// Windows; an open without one is not, there.
#pragma once

#include <optional>

#include "platform/win32.h"

namespace vantle_native::win {

class MessageWindow {
public:
    // A window of the system's "STATIC" class under HWND_MESSAGE, or nothing
    // when the desktop gives none (a Wine session without a display).
    [[nodiscard]] static std::optional<MessageWindow> create();

    MessageWindow(MessageWindow&& other) noexcept;
    MessageWindow& operator=(MessageWindow&&) = delete;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow();

    [[nodiscard]] HWND handle() const { return handle_; }

private:
    explicit MessageWindow(HWND handle) : handle_(handle) {}
    HWND handle_;
};

// The handle of an optional window, or none: what OpenClipboard takes.
[[nodiscard]] inline HWND handle_or_none(const std::optional<MessageWindow>& window) {
    return window ? window->handle() : nullptr;
}

}  // namespace vantle_native::win
