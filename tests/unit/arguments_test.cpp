#include "runtime/arguments.h"
#include "win/arguments.h"

#include "runtime/fatal.h"
#include "support/world_test.h"

using vantle_native::runtime::command_line_arguments;
using vantle_native::runtime::FatalUnwind;
using vantle_native::runtime::split_command_line;

namespace {

using Arguments = std::vector<std::u16string>;

struct SplitCase {
    const char16_t* line;
    Arguments expected;
};

class SplitCommandLine : public WorldTest {};

TEST_F(SplitCommandLine, FollowsTheProgramArgumentRules) {
    const SplitCase cases[] = {
        {u"prog", {u"prog"}},
        {u"prog a  b\tc", {u"prog", u"a", u"b", u"c"}},
        {u"\"C:\\Program Files\\v.exe\" --read_files", {u"C:\\Program Files\\v.exe", u"--read_files"}},
        // A quoted program name followed directly by text.
        {u"\"prog\"next x", {u"prog", u"next", u"x"}},
        {u"\"prog never closed", {u"prog never closed"}},
        // A blank before the program name makes argument 0 empty.
        {u" prog --read_files", {u"", u"prog", u"--read_files"}},
        {u"prog\x01tail", {u"prog", u"tail"}},
        // Backslashes: 2n before a quote give n and the quote toggles quoting;
        // 2n+1 give n and a literal quote; otherwise they stay as they are.
        {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
        {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
        {u"p C:\\dir\\ x\\\\", {u"p", u"C:\\dir\\", u"x\\\\"}},
        // "" inside quotes: one literal quote, and quoting ends.
        {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
        {u"p \"a\"\"b\" c", {u"p", u"a\"b c"}},
        {u"p \"a b\"c", {u"p", u"a bc"}},
        {u"p \"\" x", {u"p", u"", u"x"}},
        {u"p \"\"", {u"p", u""}},
        {u"p \"open to the end", {u"p", u"open to the end"}},
        {u"p \"", {u"p", u""}},
        // Only blank and tab separate: other control units are characters.
        {u"p a\x01" u"b\nc", {u"p", u"a\x01" u"b\nc"}},
        {u"p   ", {u"p"}},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(split_command_line(line), expected) << std::string(line, line + std::u16string_view(line).size());
    }
}

TEST_F(SplitCommandLine, MissingOrEmptyLineGivesTheModulePath) {
    EXPECT_EQ(split_command_line(nullptr), Arguments{u"C:\\apps\\vantle_native.exe"});
    EXPECT_EQ(split_command_line(u""), Arguments{u"C:\\apps\\vantle_native.exe"});
    platform().module_path = std::u16string(300, u'x');
    EXPECT_EQ(split_command_line(u""), Arguments{std::u16string(300, u'x')});
    // Past the last doubling (16,640 units), up to the platform's 32,767.
    for (const std::size_t length : {16640u, 32767u}) {
        platform().module_path = std::u16string(length, u'y');
        EXPECT_EQ(split_command_line(u""), Arguments{platform().module_path}) << length;
    }
    platform().module_path = std::u16string(32768, u'z');
    EXPECT_EQ(split_command_line(u""), Arguments{u""});
    platform().fail_next("GetModuleFileNameW", 5);
    EXPECT_EQ(split_command_line(u""), Arguments{u""});
}

class CommandLineArguments : public WorldTest {};

TEST_F(CommandLineArguments, DecodesEveryArgumentToUtf8) {
    platform().command_line = units({u'p', u' ', 0x00E9, u' ', 0xD83D, 0xDE00});
    EXPECT_EQ(command_line_arguments(), (std::vector<std::string>{"p", "é", "😀"}));
}

TEST_F(CommandLineArguments, AnUnpairedSurrogateAnywhereIsFatal) {
    for (const auto& line : {units({u'p', u' ', u'x', u' ', u'a', 0xD800, u'b'}), units({0xDC00, u'p', u' ', u'x'})}) {
        fake::reset();
        platform().command_line = line;
        EXPECT_THROW((void)command_line_arguments(), FatalUnwind);
        const std::string report = platform().file_bytes[fake::stderr_handle];
        EXPECT_EQ(report.substr(0, report.find('\n') + 1),
                  line[0] == u'p'
                      ? "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: \"a\\u{d800}b\"', "
                        "library\\std\\src\\env:772:51\n"
                      : "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: \"\\u{dc00}p\"', "
                        "library\\std\\src\\env:772:51\n");
    }
}

}  // namespace
