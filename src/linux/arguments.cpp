// The Linux side of runtime/arguments.h: the arguments as the kernel keeps
// them, checked to be UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "errors.h"
#include "linux/byte_text.h"
#include "linux/descriptor.h"
#include "runtime/arguments.h"
#include "runtime/fatal.h"

namespace vantle_native::runtime {
namespace {

// The arguments, each ending in a NUL, as the kernel shows them; read
// there rather than kept from main's parameters, so that no global holds
// them and the shared entry point stays free of the platform's types.
constexpr char command_line_file[] = "/proc/self/cmdline";
constexpr std::string_view unreadable_text = "cannot read the command line from /proc/self/cmdline: ";
constexpr std::size_t read_chunk_bytes = 4096;

// Without /proc (a container or chroot that lacks it) the program cannot
// know what it was asked to do: that is the fatal report, never a run that
// silently does nothing and succeeds.
[[noreturn]] void fail_unreadable() {
    std::string message(unreadable_text);
    message += to_text(last_os_error());
    fatal_report(message, undecodable_argument_location);
}

std::string read_command_line() {
    const linux_room::Descriptor file(open(command_line_file, O_RDONLY | O_CLOEXEC));
    if (!file) fail_unreadable();
    std::string bytes;
    std::array<char, read_chunk_bytes> chunk{};
    for (;;) {
        const ssize_t got = read(file.get(), chunk.data(), chunk.size());
        if (got == 0) return bytes;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail_unreadable();
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace

std::vector<std::string> command_line_arguments() {
    const std::string line = read_command_line();
    std::vector<std::string> arguments;
    std::string_view rest = line;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\0');
        const std::string_view argument = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!linux_room::is_utf8(argument)) fatal_unwrap(linux_room::quoted_bytes(argument), undecodable_argument_location);
        arguments.emplace_back(argument);
    }
    return arguments;
}

}  // namespace vantle_native::runtime
