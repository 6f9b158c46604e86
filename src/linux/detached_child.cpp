#include "linux/detached_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "linux/deadline.h"
#include "linux/descriptor.h"
#include "selection/bounds.h"

namespace vantle_native::linux_room {
namespace {

// What the child tells its parent through the pipe: "owned"; "taken" when a
// hand-over found that another program had taken the selection already; or
// "error", the os error's code (or "-") and the error's text.
constexpr std::string_view owned_message = "owned";
constexpr std::string_view taken_message = "taken";
constexpr std::string_view error_word = "error ";
constexpr std::string_view no_code = "-";
constexpr std::string_view silent_child_text = "the clipboard's server ended before it owned the selection";
constexpr std::string_view slow_child_text = "the clipboard's server did not own the selection within 15 s";
static_assert(selection::hand_over_timeout == selection::Milliseconds{15000}, "the text names the timeout");

// The child's working directory: it must not keep the caller's busy (a
// file system that could not be unmounted while a copy is served).
constexpr char root_directory[] = "/";
// Where the child keeps the pipe to its parent: above the standard streams,
// which it sets up.
constexpr int lowest_report_descriptor = 10;
// The first descriptor after the standard streams.
constexpr int first_other_descriptor = 3;
constexpr int child_failure_status = 1;
constexpr std::size_t read_chunk_bytes = 512;

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string failure_message(const ClipboardError& error) {
    const Pasteboard& failure = known_alternative<Pasteboard>(error);
    std::string message(error_word);
    message += failure.os_error ? std::to_string(*failure.os_error) : std::string(no_code);
    message += ' ';
    message += failure.text;
    return message;
}

ClipboardError error_of_message(std::string_view message) {
    if (!message.starts_with(error_word)) return clipboard_error(silent_child_text);
    message.remove_prefix(error_word.size());
    const std::size_t space = message.find(' ');
    const std::string_view code = message.substr(0, space);
    const std::string_view text = space == std::string_view::npos ? std::string_view() : message.substr(space + 1);
    std::int32_t number = 0;
    const bool has_code = std::from_chars(code.data(), code.data() + code.size(), number).ec == std::errc();
    return Pasteboard{std::string(text), has_code ? std::optional<std::int32_t>(number) : std::nullopt};
}

// The descriptors from `first` to `last`: close_range where the kernel has
// it (Linux 5.9 on), else one by one up to the limit on descriptors.
void close_descriptors(int first, unsigned last) {
    if (close_range(static_cast<unsigned>(first), last, 0) == 0) return;
    const long limit = std::min(static_cast<long>(last) + 1, sysconf(_SC_OPEN_MAX));
    for (long fd = first; fd < limit; ++fd) (void)close(static_cast<int>(fd));
}

// Every descriptor above the standard streams but those in `kept`.
void close_descriptors_but(std::vector<int> kept) {
    std::sort(kept.begin(), kept.end());
    int first = first_other_descriptor;
    for (const int fd : kept) {
        if (fd > first) close_descriptors(first, static_cast<unsigned>(fd - 1));
        first = std::max(first, fd + 1);
    }
    close_descriptors(first, ~0U);
}

// Leaves the caller's session, its working directory, the signals a session
// holds back (the child ends on them as any process does) and every
// descriptor of the parent but the pipe to it and those in `kept`. Returns
// where the pipe is now.
int detach(int report, std::span<const int> kept) {
    (void)setsid();
    (void)!chdir(root_directory);
    sigset_t none{};
    (void)sigemptyset(&none);
    (void)sigprocmask(SIG_SETMASK, &none, nullptr);
    const int moved = fcntl(report, F_DUPFD, lowest_report_descriptor);
    const int null = open(null_device, O_RDWR);
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) (void)dup2(null, standard);
    std::vector<int> kept_here(kept.begin(), kept.end());
    kept_here.push_back(moved);
    close_descriptors_but(std::move(kept_here));
    return moved;
}

// The child: detaches, then serves. It never returns: its parent's scopes
// are the parent's to end.
[[noreturn]] void run_child(int report, const ChildServer& serve, std::span<const int> kept) {
    serve(ParentReport(detach(report, kept)));
    _exit(0);
}

// The child as its parent holds it until the child owns the selection: one
// that has not said so by the end of its scope is ended and reaped, so that
// a failed copy leaves no server behind.
class StartingChild {
public:
    StartingChild(pid_t pid, Descriptor report) : pid_(pid), report_(std::move(report)) {}
    StartingChild(const StartingChild&) = delete;
    StartingChild& operator=(const StartingChild&) = delete;
    ~StartingChild() {
        if (owning_) return;
        (void)kill(pid_, SIGKILL);
        (void)waitpid(pid_, nullptr, 0);
    }

    // Everything the child says until it closes the pipe, or nothing when
    // the deadline passes first.
    std::optional<std::string> message() {
        const Deadline deadline = Deadline::after(selection::hand_over_timeout);
        std::string said;
        std::array<char, read_chunk_bytes> chunk{};
        for (;;) {
            pollfd ready{report_.get(), POLLIN, 0};
            const int timeout = deadline.poll_timeout();
            if (timeout == 0) return std::nullopt;
            if (poll(&ready, 1, timeout) <= 0) continue;
            const ssize_t got = read(report_.get(), chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return said;
            said.append(chunk.data(), static_cast<std::size_t>(got));
        }
    }
    // The child serves on its own from now on.
    void let_go() { owning_ = true; }

private:
    pid_t pid_;
    Descriptor report_;
    bool owning_ = false;
};

}  // namespace

void ParentReport::owned() const {
    write_all(report_, owned_message);
    (void)close(report_);
}

void ParentReport::taken() const { write_all(report_, taken_message); }

void ParentReport::failed(const ClipboardError& error) const {
    write_all(report_, failure_message(error));
    _exit(child_failure_status);
}

Status<ClipboardError> start_detached_child(const ChildServer& serve, std::span<const int> kept) {
    auto pipe = open_pipe();
    if (!pipe.ok()) return Failure{std::move(pipe.error())};
    const pid_t pid = fork();
    if (pid < 0) return Failure{clipboard_error(last_os_error())};
    if (pid == 0) run_child(pipe.value().write_end.get(), serve, kept);
    pipe.value().write_end.reset();
    StartingChild child(pid, std::move(pipe.value().read_end));
    const auto message = child.message();
    if (!message) return Failure{clipboard_error(slow_child_text)};
    if (*message == taken_message) return Done{};
    if (*message != owned_message) return Failure{error_of_message(*message)};
    child.let_go();
    return Done{};
}

}  // namespace vantle_native::linux_room
