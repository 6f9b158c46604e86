#include "runtime/fatal.h"

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/process.h"
#include "support/world_test.h"

using vantle_native::runtime::exit_fatal;
using vantle_native::runtime::exit_success;
using vantle_native::runtime::fatal_report;
using vantle_native::runtime::print_line;
using vantle_native::runtime::run_process;

namespace {

constexpr char report_line[] = "thread 'main' panicked at 'it broke \"here\"\nand there', src/x:1:2\n";
constexpr char hint_line[] = "note: run with `RUST_BACKTRACE=1` environment variable to display a backtrace\n";
constexpr char brief_note[] =
    "note: Some details are omitted, run with `RUST_BACKTRACE=full` for a verbose backtrace.\n";
// The stand-in's stack: two frames in no known module.
constexpr char frames[] =
    "   0: 0x0000000140001234\n"
    "   1: 0x00000000007ff000\n";

class FatalReport : public WorldTest {
protected:
    std::string run_failing() {
        EXPECT_EQ(run_process([] { fatal_report("it broke \"here\"\nand there", {"src/x", 1, 2}); }), exit_fatal);
        return platform().file_bytes[fake::stderr_handle];
    }
};

TEST_F(FatalReport, UnsetOrZeroGivesTheHintLine) {
    EXPECT_EQ(run_failing(), std::string(report_line) + hint_line);
    fake::reset();
    platform().environment[u"RUST_BACKTRACE"] = u"0";
    EXPECT_EQ(run_failing(), std::string(report_line) + hint_line);
}

TEST_F(FatalReport, AnyOtherValueGivesABriefTrace) {
    for (const char16_t* value : {u"1", u"", u"full ", u"FULL", u"a long value that does not fit"}) {
        fake::reset();
        platform().environment[u"RUST_BACKTRACE"] = value;
        EXPECT_EQ(run_failing(), std::string(report_line) + "stack backtrace:\n" + frames + brief_note);
    }
}

TEST_F(FatalReport, FullGivesTheTraceWithoutTheNote) {
    platform().environment[u"RUST_BACKTRACE"] = u"full";
    EXPECT_EQ(run_failing(), std::string(report_line) + "stack backtrace:\n" + frames);
}

TEST_F(FatalReport, WriteErrorsAreIgnoredAndTheStatusIsStill101) {
    platform().standard_error = nullptr;
    EXPECT_EQ(run_failing(), "");
}

TEST_F(FatalReport, StandardOutputIsEmptiedAfterTheReport) {
    EXPECT_EQ(run_process([] {
                  print_line("kept");
                  fatal_report("stop", {"f", 3, 4});
              }),
              exit_fatal);
    EXPECT_EQ(platform().file_bytes[fake::stdout_handle], "kept\n");
    EXPECT_EQ(platform().calls_starting("WriteFile(stderr").size(), 2u);
}

TEST_F(FatalReport, ANormalReturnIsStatusZeroWithOutputFlushed) {
    EXPECT_EQ(run_process([] {}), exit_success);
    EXPECT_TRUE(platform().file_bytes[fake::stderr_handle].empty());
}

using MemoryExhaustion = WorldTest;

TEST_F(MemoryExhaustion, EndsAtOnceWithTheNoteAndFailFastCode) {
    const auto allocate_too_much = [] {
        // One more than the sanitizer's allocator will ever give.
        void* block = ::operator new(static_cast<std::size_t>(1) << 45);
        ::operator delete(block);
    };
    EXPECT_EXIT(allocate_too_much(), ::testing::ExitedWithCode(7),
                "memory allocation of 35184372088832 bytes failed$");
}

}  // namespace
