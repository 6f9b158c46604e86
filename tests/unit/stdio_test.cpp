#include "runtime/stdio.h"

#include "runtime/fatal.h"
#include "support/world_test.h"

using vantle_native::runtime::FatalUnwind;
using vantle_native::runtime::IoError;
using vantle_native::runtime::print_line;
using vantle_native::runtime::StandardOutput;
using vantle_native::runtime::StandardStream;
using vantle_native::runtime::write_standard_handle;

namespace {

class StandardOutputTest : public WorldTest {
protected:
    std::string& output() { return platform().file_bytes[fake::stdout_handle]; }
    std::u16string& console() { return platform().console_units[fake::stdout_handle]; }
    StandardOutput out;
};

void write_line(StandardOutput& out, std::string_view text) {
    ASSERT_TRUE(out.write_all(text).ok());
    ASSERT_TRUE(out.write_all("\n").ok());
}

TEST_F(StandardOutputTest, ALineShorterThanTheBufferGoesOutWithItsLineFeedInOneWrite) {
    write_line(out, "C:\\a");
    write_line(out, std::string(1023, 'x'));
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"WriteFile(stdout,5)", "WriteFile(stdout,1024)"}));
    EXPECT_EQ(output(), "C:\\a\n" + std::string(1023, 'x') + "\n");
}

TEST_F(StandardOutputTest, ALongerLineGoesOutDirectlyThenItsLineFeed) {
    write_line(out, std::string(1024, 'y'));
    write_line(out, std::string(1025, 'z'));
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"WriteFile(stdout,1024)", "WriteFile(stdout,1)",
                                                          "WriteFile(stdout,1025)", "WriteFile(stdout,1)"}));
    EXPECT_EQ(output(), std::string(1024, 'y') + "\n" + std::string(1025, 'z') + "\n");
}

TEST_F(StandardOutputTest, TextAfterTheLastLineFeedWaitsInTheBuffer) {
    ASSERT_TRUE(out.write_all("one\ntwo\nthr").ok());
    EXPECT_EQ(output(), "one\ntwo\n");
    ASSERT_TRUE(out.write_all("ee").ok());
    EXPECT_EQ(output(), "one\ntwo\n");
    ASSERT_TRUE(out.flush().ok());
    EXPECT_EQ(output(), "one\ntwo\nthree");
}

TEST_F(StandardOutputTest, ShortWritesAreRepeatedUntilEverythingIsOut) {
    platform().write_limit = 3;
    write_line(out, "abcdefgh");
    write_line(out, std::string(2000, 'q'));
    EXPECT_EQ(output(), "abcdefgh\n" + std::string(2000, 'q') + "\n");
}

TEST_F(StandardOutputTest, AFailedFlushKeepsExactlyTheUnwrittenRest) {
    ASSERT_TRUE(out.write_all("abcdefghij").ok());
    platform().write_limit = 3;
    platform().pass_next("WriteFile");
    platform().fail_next("WriteFile", 232);
    ASSERT_FALSE(out.flush().ok());
    EXPECT_EQ(output(), "abc");
    platform().write_limit = static_cast<std::size_t>(-1);
    ASSERT_TRUE(out.flush().ok());
    EXPECT_EQ(output(), "abcdefghij");
}

TEST_F(StandardOutputTest, ZeroByteWritesAreErrorsWithTheirOwnTexts) {
    platform().write_limit = 0;
    auto buffered = out.write_all("short\n");
    ASSERT_FALSE(buffered.ok());
    EXPECT_EQ(to_text(buffered.error()), "failed to write the buffered data");
    StandardOutput fresh;
    auto direct = fresh.write_all(std::string(1500, 'd'));
    ASSERT_FALSE(direct.ok());
    EXPECT_EQ(to_text(direct.error()), "failed to write whole buffer");
}

TEST_F(StandardOutputTest, PlatformErrorsCarryTheirCodeText) {
    platform().system_messages[232] = u"Pipe closed.\r\n";
    platform().fail_next("WriteFile", 232);
    auto written = out.write_all("x\n");
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(to_text(written.error()), "Pipe closed. (os error 232)");
}

TEST_F(StandardOutputTest, MissingOrRejectedStandardOutputDropsTheBytes) {
    platform().standard_output = nullptr;
    write_line(out, "lost");
    platform().standard_output = fake::stdout_handle;
    StandardOutput rejected;
    platform().fail_next("WriteFile", ERROR_INVALID_HANDLE);
    write_line(rejected, "lost too");
    write_line(rejected, "written");
    EXPECT_EQ(output(), "written\n");
    // Standard error gets no such pass.
    platform().standard_error = nullptr;
    auto to_error = write_standard_handle(StandardStream::error, "x");
    ASSERT_FALSE(to_error.ok());
    EXPECT_EQ(to_error.error().os.code, 6);
}

TEST_F(StandardOutputTest, AnInvalidHandleValueReportsTheLastError) {
    platform().fail_next("GetStdHandle", 87);
    auto written = write_standard_handle(StandardStream::output, "x");
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().os.code, 87);
}

TEST_F(StandardOutputTest, ConsoleGetsUtf16InChunksOfAtMost4096Utf8Bytes) {
    platform().consoles.insert(fake::stdout_handle);
    // 4095 ASCII bytes then a 4-byte character that the 4096-byte chunk cuts.
    const std::string line = std::string(4095, 'a') + "\xF0\x9F\x98\x80" + "é";
    write_line(out, line);
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"WriteConsoleW(stdout,4095)", "WriteConsoleW(stdout,3)",
                                                          "WriteConsoleW(stdout,1)"}));
    EXPECT_EQ(console(), std::u16string(4095, u'a') + units({0xD83D, 0xDE00, 0x00E9}) + u"\n");
}

TEST_F(StandardOutputTest, ConsoleShortWriteCountsTheBytesOfTheUnitsWritten) {
    platform().consoles.insert(fake::stdout_handle);
    platform().write_limit = 1;
    write_line(out, "é😀");
    EXPECT_EQ(console(), units({0x00E9, 0xD83D, 0xDE00, u'\n'}));
}

TEST_F(StandardOutputTest, AConsoleWriteFailureCarriesItsCode) {
    platform().consoles.insert(fake::stdout_handle);
    platform().system_messages[31] = u"General failure.\r\n";
    platform().fail_next("WriteConsoleW", 31);
    auto written = write_standard_handle(StandardStream::output, "x");
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(to_text(written.error()), "General failure. (os error 31)");
}

TEST_F(StandardOutputTest, ConsoleRefusesBytesThatAreNotUtf8) {
    platform().consoles.insert(fake::stdout_handle);
    for (const std::string_view bad : {"\xFF", "\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
        auto written = write_standard_handle(StandardStream::output, bad);
        ASSERT_FALSE(written.ok());
        EXPECT_EQ(to_text(written.error()),
                  "Windows stdio in console mode does not support writing non-UTF-8 byte sequences");
    }
    // Valid text before the bad byte still goes out.
    auto written = write_standard_handle(StandardStream::output, "ok\xFF");
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(written.value(), 2u);
}

TEST_F(StandardOutputTest, APrintFailureIsFatalWithThePlatformText) {
    platform().system_messages[232] = u"Pipe closed.\r\n";
    platform().fail_next("WriteFile", 232);
    EXPECT_THROW(print_line("C:\\x"), FatalUnwind);
    const std::string report = platform().file_bytes[fake::stderr_handle];
    EXPECT_EQ(report.substr(0, report.find('\n') + 1),
              "thread 'main' panicked at 'failed printing to stdout: Pipe closed. (os error 232)', "
              "library\\std\\src\\io\\stdio:993:9\n");
}

TEST_F(StandardOutputTest, TheEndOfRunStepLeavesAHeldBufferAlone) {
    platform().fail_next("WriteFile", 232);
    EXPECT_THROW(print_line("kept"), FatalUnwind);
    platform().critical_section_busy = true;
    platform().calls.clear();
    vantle_native::runtime::flush_standard_output_at_exit();
    EXPECT_TRUE(platform().calls.empty());
    platform().critical_section_busy = false;
    vantle_native::runtime::flush_standard_output_at_exit();
    EXPECT_EQ(output(), "kept\n");
}

}  // namespace
