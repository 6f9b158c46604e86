// Error values, the system's text for a platform error code and the quoted
// form of text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "result.h"

namespace vantle_native {

// A platform error code exactly as the platform gave it (GetLastError on
// Windows, errno on Linux), read as signed.
struct OsError {
    std::int32_t code;
};

// The calling thread's last platform error, read at once.
[[nodiscard]] OsError last_os_error();

// The system's message for `code`, trailing white space removed; never fails.
// Each platform's room defines these two.
[[nodiscard]] std::string os_error_text(std::int32_t code);

// The message, then " (os error <code>)" with the code as captured.
[[nodiscard]] std::string to_text(OsError error);

// The text between double quotes, with quotes, backslashes, control and
// invisible characters escaped so that the result is one unambiguous line.
[[nodiscard]] std::string quoted_form(std::string_view utf8);
// Appends one code point as quoted_form shows it: for the quoted forms of the
// platforms' raw text (UTF-16 units, bytes that are not UTF-8).
void append_quoted_code_point(std::string& out, char32_t c);

// The clipboard operations' error; its single variant carries a text that
// begins with clipboard_error_prefix, and the platform's code when a
// platform call failed.
struct Pasteboard {
    std::string text;
    std::optional<std::int32_t> os_error;
};
using ClipboardError = std::variant<Pasteboard>;

// The platform's code behind a clipboard error, if a platform call failed.
[[nodiscard]] inline std::optional<std::int32_t> os_error_code(const ClipboardError& error) {
    return known_alternative<Pasteboard>(error).os_error;
}

inline constexpr std::string_view clipboard_error_prefix = "Clipboard error: ";

[[nodiscard]] ClipboardError clipboard_error(OsError error);
// A clipboard error that no platform code lies behind (a timeout, a refusal
// of the protocol): the prefix, then `detail`. Inline, so that a platform
// that has no such error carries no code for it.
[[nodiscard]] inline ClipboardError clipboard_error(std::string_view detail) {
    std::string text(clipboard_error_prefix);
    text += detail;
    return Pasteboard{std::move(text), std::nullopt};
}

// `Pasteboard("...")`, as shown in the fatal report.
[[nodiscard]] std::string debug_form(const ClipboardError& error);

// A file list on standard input that cannot be used; its text begins with
// input_error_prefix.
struct InputError {
    std::string text;
};

inline constexpr std::string_view input_error_prefix = "Standard input error: ";

// The prefix, then `detail`.
[[nodiscard]] InputError input_error(std::string_view detail);

// `Input("...")`, as shown in the fatal report.
[[nodiscard]] std::string debug_form(const InputError& error);

}  // namespace vantle_native
