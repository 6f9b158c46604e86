// The dispatcher: the command line in, exactly one action out.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantle_native {

struct CommandOptions {
    std::optional<std::string> copy_files;
    std::optional<std::string> set_folder_icon;
    std::optional<std::string> hide_extension;
    bool read_files = false;
    std::optional<std::string> cut_files;
    bool copy_files_stdin = false;
    bool cut_files_stdin = false;
    bool read_files_with_effect = false;
    bool serve = false;
};

// Never fails: unknown arguments and a value-taking option with no value
// after it are ignored. Argument 0 is skipped.
[[nodiscard]] CommandOptions parse_command_line(std::vector<std::string> arguments);

// The run: parse the command line, run its one action, print what a read gives.
// A fatal report leaves it by unwinding, on purpose: the process frame catches
// that and nothing else can be thrown.
void main();  // NOLINT(bugprone-exception-escape)

}  // namespace vantle_native
