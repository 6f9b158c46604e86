#include "win/arguments.h"

#include <algorithm>

#include "errors.h"
#include "runtime/arguments.h"
#include "runtime/fatal.h"
#include "unicode/utf16_strict.h"
#include "win/wide_text.h"

namespace vantle_native::runtime {
namespace {

constexpr DWORD first_module_path_capacity = 260;
constexpr DWORD max_module_path_capacity = 32768;

constexpr WCHAR quote = '"';
constexpr WCHAR backslash = '\\';
constexpr WCHAR blank = ' ';
constexpr WCHAR tab = '\t';
constexpr WCHAR last_control_unit = 0x20;

bool ends_program_name(WCHAR unit) { return unit >= 1 && unit <= last_control_unit; }

// Doubling from the common size, and the platform's largest path last.
RawArgument own_module_path() {
    for (DWORD capacity = first_module_path_capacity;; capacity = std::min(2 * capacity, max_module_path_capacity)) {
        RawArgument path(capacity, WCHAR{});
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), capacity);
        if (length == 0) return {};
        if (length < capacity) {
            path.resize(length);
            return path;
        }
        if (capacity == max_module_path_capacity) return {};
    }
}

// Cuts argument 0 off the front of `line` by the program-name rules and
// leaves `line` at the first unit after it.
RawArgument cut_program_name(platform::WideView& line) {
    if (line.front() == quote) {
        const std::size_t closing = line.find(quote, 1);
        RawArgument name(line.substr(1, closing == platform::WideView::npos ? platform::WideView::npos : closing - 1));
        line.remove_prefix(closing == platform::WideView::npos ? line.size() : closing + 1);
        return name;
    }
    std::size_t end = 0;
    while (end < line.size() && !ends_program_name(line[end])) ++end;
    RawArgument name(line.substr(0, end));
    line.remove_prefix(end < line.size() ? end + 1 : end);
    return name;
}

// Splits what follows argument 0, appending each argument to `arguments`.
class ArgumentSplitter {
public:
    explicit ArgumentSplitter(std::vector<RawArgument>& arguments) : arguments_(arguments) {}

    void take(WCHAR unit) {
        if (unit == backslash) {
            ++backslashes_;
            just_closed_ = false;
        } else if (unit == quote) {
            take_quote();
        } else if ((unit == blank || unit == tab) && !in_quotes_) {
            add_pending_backslashes(backslashes_);
            end_argument();
            just_closed_ = false;
        } else {
            add_pending_backslashes(backslashes_);
            current_ += unit;
            just_closed_ = false;
        }
    }

    void finish() {
        add_pending_backslashes(backslashes_);
        if (!current_.empty() || just_closed_ || in_quotes_) arguments_.push_back(std::move(current_));
    }

private:
    void take_quote() {
        if (backslashes_ % 2 == 0) {
            add_pending_backslashes(backslashes_ / 2);
            if (just_closed_) {
                current_ += quote;
                just_closed_ = false;
            } else {
                just_closed_ = in_quotes_;
                in_quotes_ = !in_quotes_;
            }
        } else {
            add_pending_backslashes((backslashes_ - 1) / 2);
            current_ += quote;
            just_closed_ = false;
        }
    }

    // Adds `count` backslashes for the pending run, which then ends.
    void add_pending_backslashes(std::size_t count) {
        current_.append(count, backslash);
        backslashes_ = 0;
    }

    void end_argument() {
        if (!current_.empty() || just_closed_) arguments_.push_back(std::move(current_));
        current_.clear();
    }

    std::vector<RawArgument>& arguments_;
    RawArgument current_;
    std::size_t backslashes_ = 0;
    bool in_quotes_ = false;
    bool just_closed_ = false;
};

}  // namespace

std::vector<RawArgument> split_command_line(const WCHAR* command_line) {
    if (command_line == nullptr || *command_line == 0) return {own_module_path()};
    platform::WideView line(command_line);
    std::vector<RawArgument> arguments{cut_program_name(line)};
    ArgumentSplitter splitter(arguments);
    for (const WCHAR unit : line) splitter.take(unit);
    splitter.finish();
    return arguments;
}

std::vector<std::string> command_line_arguments() {
    const std::vector<RawArgument> raw = split_command_line(GetCommandLineW());
    std::vector<std::string> arguments;
    arguments.reserve(raw.size());
    for (const RawArgument& argument : raw) {
        auto decoded = unicode::decode_utf16_strict(argument);
        if (!decoded.ok()) fatal_unwrap(quoted_form(platform::WideView(argument)), undecodable_argument_location);
        arguments.push_back(std::move(decoded.value()));
    }
    return arguments;
}

}  // namespace vantle_native::runtime
