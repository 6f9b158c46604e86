// Standard output and standard error: the lowest-level write to a standard
// handle, and the one line-buffered writer of standard output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "errors.h"
// ReentrantLock: each platform's room has its own, chosen by its include path.
#include "reentrant_lock.h"
#include "result.h"

namespace vantle_native::runtime {

enum class StandardStream { output, error };

struct IoError {
    enum class Kind { os, console_non_utf8, buffered_data_unwritten, whole_buffer_unwritten };
    Kind kind;
    OsError os{0};
};

[[nodiscard]] std::string to_text(const IoError& error);

// The platform's handle behind a standard stream (a HANDLE's value on
// Windows, a descriptor on Linux), and whether it is a console.
struct StandardTarget {
    std::intptr_t handle;
    bool console;
};

// The platform's side of the standard streams; each platform's room defines
// it. Windows: GetStdHandle, then GetConsoleMode; a null handle is OsError 6.
[[nodiscard]] Result<StandardTarget, IoError> find_standard_target(StandardStream stream);

// Writes some of `bytes` to the stream's handle and says how many it consumed.
// On a Windows console the bytes must be UTF-8 and go through WriteConsoleW.
// On standard output, no usable handle (Windows' error 6, Linux's EBADF)
// counts as everything written.
[[nodiscard]] Result<std::size_t, IoError> write_standard_handle(StandardStream stream, std::string_view bytes);
// The same with the target already found.
[[nodiscard]] Result<std::size_t, IoError> write_standard_target(StandardStream stream,
                                                                const Result<StandardTarget, IoError>& target,
                                                                std::string_view bytes);

// Writes all of `bytes` to standard error, giving up silently at the first
// failure: the fatal report has nowhere left to complain to.
void write_standard_error(std::string_view bytes);

// Line-buffered standard output: whatever ends in a line feed reaches the
// platform before a write returns; the rest waits while it fits the buffer.
class StandardOutput {
public:
    static constexpr std::size_t capacity = 1024;

    [[nodiscard]] Status<IoError> write_all(std::string_view bytes);
    [[nodiscard]] Status<IoError> flush();

    // Held across the writes that make up one line.
    ReentrantLock& lock() { return lock_; }

private:
    [[nodiscard]] Status<IoError> buffer_or_write(std::string_view bytes);
    [[nodiscard]] Status<IoError> write_direct(std::string_view bytes);
    // Standard output's handle and kind are found at the first write and kept:
    // they cannot change during a run, and asking the platform whether the
    // handle is a console costs a server round trip per line under Wine.
    [[nodiscard]] Result<std::size_t, IoError> write_platform(std::string_view bytes);

    std::optional<Result<StandardTarget, IoError>> target_;

    std::array<char, capacity> buffer_{};
    std::size_t held_ = 0;
    ReentrantLock lock_;
};

// Writes `text` and a line feed to standard output; a failure is fatal.
void print_line(std::string_view text);

// Writes `text` as it is, in as few platform writes as it takes; a failure
// is fatal.
void print_text(std::string_view text);

// All of standard input, up to its end, as bytes. No standard input, or one
// the platform rejects as invalid, reads as empty. Each platform's room
// defines it.
[[nodiscard]] Result<std::string, IoError> read_standard_input();

// How much of standard input is asked for at a time, by a whole read and by
// the session's reads alike.
inline constexpr std::size_t standard_input_chunk_bytes = std::size_t{64} * 1024;

// The end-of-run step: empties standard output if it exists and its lock is
// free; a failure here is ignored.
void flush_standard_output_at_exit();

}  // namespace vantle_native::runtime
