// The dispatcher: the command line in, exactly one action out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle_native {

struct CommandOptions {
    std::optional<std::string> copy_files;
    std::optional<std::string> set_folder_icon;
    std::optional<std::string> hide_extension;
    bool read_files = false;
};

// Never fails: unknown arguments and a value-taking option with no value
// after it are ignored. Argument 0 is skipped.
[[nodiscard]] CommandOptions parse_command_line(std::vector<std::string> arguments);

// The pieces of `text` between occurrences of ";;;"; at least one, empty
// pieces included. The pieces view `text`.
[[nodiscard]] std::vector<std::string_view> split_list(std::string_view text);

// The run: parse the command line, run its one action, print what a read gives.
// A fatal report leaves it by unwinding, on purpose: the process frame catches
// that and nothing else can be thrown.
void main();  // NOLINT(bugprone-exception-escape)

}  // namespace vantle_native
