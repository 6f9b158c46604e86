#include "main.h"

#include "path_lists.h"
#include "runtime/process.h"
#include "support/world_test.h"

using vantle_native::parse_command_line;
using vantle_native::split_input_lines;
using vantle_native::split_list;
using vantle_native::runtime::run_process;

namespace {

using Pieces = std::vector<std::string_view>;

TEST(SplitList, SplitsAtEveryThreeSemicolonsLeftToRight) {
    EXPECT_EQ(split_list("C:\\a;;;C:\\b"), (Pieces{"C:\\a", "C:\\b"}));
    EXPECT_EQ(split_list(""), (Pieces{""}));
    EXPECT_EQ(split_list("a;b;;c"), (Pieces{"a;b;;c"}));
    EXPECT_EQ(split_list(";;;"), (Pieces{"", ""}));
    EXPECT_EQ(split_list(";;;;"), (Pieces{"", ";"}));
    EXPECT_EQ(split_list(";;;;;;"), (Pieces{"", "", ""}));
    EXPECT_EQ(split_list("a;;;;b"), (Pieces{"a", ";b"}));
    EXPECT_EQ(split_list(";;;a;;;"), (Pieces{"", "a", ""}));
}

TEST(ParseCommandLine, RecognisesOnlyTheFourExactOptions) {
    const auto options = parse_command_line({"prog", "--COPY_FILES", "x", "--copy_files=y", "-r", "", "--read_files"});
    EXPECT_FALSE(options.copy_files);
    EXPECT_FALSE(options.set_folder_icon);
    EXPECT_FALSE(options.hide_extension);
    EXPECT_TRUE(options.read_files);
    // Argument 0 is never an option.
    EXPECT_FALSE(parse_command_line({"--read_files"}).read_files);
}

TEST(ParseCommandLine, ValuesAreTakenVerbatimAndTheLastOneWins) {
    const auto options = parse_command_line(
        {"prog", "--copy_files", "first", "--set_folder_icon", "a;;;b", "--copy_files", "--read_files", "--hide_extension"});
    EXPECT_EQ(options.copy_files, "--read_files");
    EXPECT_EQ(options.set_folder_icon, "a;;;b");
    EXPECT_FALSE(options.hide_extension);  // last, with no value
    EXPECT_FALSE(options.read_files);
}

TEST(SplitInputLines, OnePathPerLineAndNothingElse) {
    const std::pair<std::string_view, Pieces> cases[] = {
        {"", {}},
        {"\n\r\n\n", {}},
        {"C:\\a\nC:\\b", {"C:\\a", "C:\\b"}},
        {"C:\\a\r\n\r\nC:\\b;;;c\r\n", {"C:\\a", "C:\\b;;;c"}},
        {"\xEF\xBB\xBF" "C:\\\xC3\xA9\xF0\x9F\x98\x80\n", {"C:\\\xC3\xA9\xF0\x9F\x98\x80"}},
        {" x\ry \r\r\n", {" x\ry \r"}},
    };
    for (const auto& [input, paths] : cases) {
        auto split = split_input_lines(input);
        ASSERT_TRUE(split.ok()) << input;
        EXPECT_EQ(split.value(), paths) << input;
    }
    const std::pair<std::string_view, std::string_view> refused[] = {
        {"ok\nbad\xFF\n", "Standard input error: line 2 is not valid UTF-8"},
        {"\xED\xA0\x80", "Standard input error: line 1 is not valid UTF-8"},
        {"a\n\nb\xC3", "Standard input error: line 3 is not valid UTF-8"},
        {std::string_view("a\r\nb\0c", 6), "Standard input error: line 2 holds a NUL"},
    };
    for (const auto& [input, text] : refused) {
        auto split = split_input_lines(input);
        ASSERT_FALSE(split.ok()) << input;
        EXPECT_EQ(split.error().text, text);
    }
}

class Dispatch : public WorldTest {
protected:
    int run(std::u16string command_line) {
        platform().command_line = std::move(command_line);
        return run_process(vantle_native::main);
    }
    std::vector<std::byte> on_clipboard() { return platform().clipboard_bytes(CF_HDROP); }
};

TEST_F(Dispatch, WithoutACopyOrReadTheClipboardIsNeverTouched) {
    for (const char16_t* line : {u"prog", u"prog --set_folder_icon a;;;b", u"prog --hide_extension x",
                                 u"prog --copy_files", u"prog unknown --Read_files"}) {
        fake::reset();
        EXPECT_EQ(run(line), 0);
        EXPECT_TRUE(platform().calls.empty()) << platform().calls.front();
    }
}

TEST_F(Dispatch, CopyTakesPrecedenceOverRead) {
    EXPECT_EQ(run(u"prog --read_files --copy_files C:\\a --set_folder_icon z"), 0);
    EXPECT_EQ(platform().calls_starting("GetClipboardData").size(), 0u);
    EXPECT_EQ(on_clipboard().size(), 32u);
    EXPECT_TRUE(platform().file_bytes[fake::stdout_handle].empty());
}

TEST_F(Dispatch, ReadPrintsOneLineFeedTerminatedLinePerPath) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"C:\\a", u"D:\\\x00e9", u"E:\\x y"}));
    EXPECT_EQ(run(u"prog --read_files --set_folder_icon z"), 0);
    EXPECT_EQ(platform().file_bytes[fake::stdout_handle], "C:\\a\nD:\\é\nE:\\x y\n");
}

TEST_F(Dispatch, AFailedCopyIsTheFatalReportAtItsLocation) {
    platform().system_messages[5] = u"Access denied.\r\n";
    platform().fail_next("OpenClipboard", 5);
    EXPECT_EQ(run(u"prog --copy_files C:\\a"), 101);
    EXPECT_EQ(platform().file_bytes[fake::stderr_handle],
              "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: "
              "Pasteboard(\"Clipboard error: Access denied. (os error 5)\")', src/main:40:36\n"
              "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n");
}

TEST_F(Dispatch, AFailedReadIsTheFatalReportAtItsLocation) {
    platform().system_messages[0] = u"Success.\r\n";
    EXPECT_EQ(run(u"prog --read_files"), 101);
    EXPECT_EQ(platform().file_bytes[fake::stderr_handle],
              "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: "
              "Pasteboard(\"Clipboard error: Success. (os error 0)\")', src/main:44:41\n"
              "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n");
    EXPECT_FALSE(platform().clipboard_open);
}

TEST_F(Dispatch, EachNewActionReportsAtItsOwnLocation) {
    platform().system_messages[5] = u"Access denied.\r\n";
    const std::pair<const char16_t*, std::string> cases[] = {
        {u"prog --cut_files C:\\a", "Pasteboard(\"Clipboard error: Access denied. (os error 5)\")', src/main:48:35"},
        {u"prog --copy_files_stdin", "Pasteboard(\"Clipboard error: Access denied. (os error 5)\")', src/main:52:47"},
        {u"prog --cut_files_stdin", "Pasteboard(\"Clipboard error: Access denied. (os error 5)\")', src/main:56:46"},
        {u"prog --read_files_with_effect",
         "Pasteboard(\"Clipboard error: Access denied. (os error 5)\")', src/main:60:52"},
    };
    for (const auto& [line, report] : cases) {
        fake::reset();
        platform().system_messages[5] = u"Access denied.\r\n";
        platform().input_bytes = "C:\\a\n";
        platform().fail_next("OpenClipboard", 5);
        EXPECT_EQ(run(line), 101);
        EXPECT_EQ(platform().file_bytes[fake::stderr_handle],
                  "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: " + report +
                      "\nnote: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n");
    }
}

TEST_F(Dispatch, StandardInputIsReadWholeAndCheckedBeforeTheClipboard) {
    platform().system_messages[5] = u"Access denied.\r\n";
    platform().input_bytes = "C:\\a\n\xFF\n";
    EXPECT_EQ(run(u"prog --copy_files_stdin"), 101);
    EXPECT_EQ(platform().file_bytes[fake::stderr_handle],
              "thread 'main' panicked at 'called `Result::unwrap()` on an `Err` value: "
              "Input(\"Standard input error: line 2 is not valid UTF-8\")', src/main:52:47\n"
              "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n");
    EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());

    fake::reset();
    platform().system_messages[5] = u"Access denied.\r\n";
    platform().input_bytes = std::string(200000, 'x');
    platform().pass_next("ReadFile");
    platform().fail_next("ReadFile", 5);
    EXPECT_EQ(run(u"prog --cut_files_stdin"), 101);
    EXPECT_NE(platform().file_bytes[fake::stderr_handle].find(
                  "Input(\"Standard input error: Access denied. (os error 5)\")', src/main:56:46"),
              std::string::npos);
    EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());

    // A pipe's end, a missing input and blank lines only: nothing to place.
    for (const std::optional<DWORD> end : {std::optional<DWORD>(109), std::optional<DWORD>()}) {
        fake::reset();
        platform().input_bytes = "\r\n\n";
        if (end) platform().fail_next("ReadFile", *end);
        if (!end) platform().standard_input = nullptr;
        EXPECT_EQ(run(u"prog --cut_files_stdin"), 0);
        EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());
    }

    // Input longer than any one read is taken whole.
    fake::reset();
    platform().input_bytes = std::string(200000, 'x') + "\r\ny";
    EXPECT_EQ(run(u"prog --copy_files_stdin"), 0);
    EXPECT_EQ(on_clipboard().size(), 20u + 2 * 200001 + 2 * 2 + 2);
}

TEST_F(Dispatch, AnUndecodableArgumentEndsTheRunBeforeTheClipboard) {
    EXPECT_EQ(run(units({u'p', u' ', u'-', u'-', u'c', u'o', u'p', u'y', u'_', u'f', u'i', u'l', u'e', u's', u' ', u'x',
                         u' ', 0xDBFF})),
              101);
    EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());
}

}  // namespace
