#include "main.h"

#include "runtime/process.h"
#include "support/world_test.h"

using vantle_native::parse_command_line;
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

TEST_F(Dispatch, AnUndecodableArgumentEndsTheRunBeforeTheClipboard) {
    EXPECT_EQ(run(units({u'p', u' ', u'-', u'-', u'c', u'o', u'p', u'y', u'_', u'f', u'i', u'l', u'e', u's', u' ', u'x',
                         u' ', 0xDBFF})),
              101);
    EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());
}

}  // namespace
