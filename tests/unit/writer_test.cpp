#include "support/world_test.h"
#include "win/clipboard.h"

using namespace vantle_native::win::clipboard;
using vantle_native::debug_form;
using vantle_native::max_level;
using vantle_native::Pasteboard;

namespace {

using Paths = std::vector<std::string_view>;

std::vector<std::byte> header_then(std::initializer_list<int> list_bytes) {
    std::vector<std::byte> block = bytes_of({0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    for (const int b : list_bytes) block.push_back(static_cast<std::byte>(b));
    return block;
}

TEST(BuildDropList, LaysOutHeaderUnitsAndTerminators) {
    EXPECT_EQ(build_drop_list(Paths{""}), header_then({0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"C:\\a"}), header_then({0x43, 0, 0x3A, 0, 0x5C, 0, 0x61, 0, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"\xF0\x9F\x98\x80"}), header_then({0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"a", "", "b;c"}),
              header_then({'a', 0, 0, 0, 0, 0, 'b', 0, ';', 0, 'c', 0, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{std::string_view("\0", 1)}), header_then({0, 0, 0, 0, 0, 0}));
}

TEST(BuildDropList, LengthIsHeaderPlusEachPathAndItsTerminatorPlusTheEnd) {
    std::vector<std::string> storage;
    for (int i = 0; i < 1000; ++i) storage.push_back("C:\\dir\\é" + std::to_string(i));
    const Paths paths(storage.begin(), storage.end());
    std::size_t expected = 20 + 2;
    for (const auto& p : storage) expected += 2 * (p.size() - 1 + 1);  // é: two bytes, one unit
    EXPECT_EQ(build_drop_list(paths).size(), expected);
}

class WriteFileList : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        platform().system_messages[5] = u"Access denied.\r\n";
        platform().system_messages[8] = u"Not enough memory.\r\n";
        platform().system_messages[1418] = u"Clipboard not open.\r\n";
        earlier = platform().put_on_clipboard(CF_UNICODETEXT, bytes_of({'h', 0, 0, 0}));
    }
    HGLOBAL earlier = nullptr;
};

TEST_F(WriteFileList, CopiesWithTheExactCallSequence) {
    ASSERT_TRUE(write_file_list(Paths{"C:\\a"}).ok());
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"OpenClipboard", "GlobalAlloc(0x42,32)", "GlobalLock", "GlobalUnlock",
                                        "EmptyClipboard", "SetClipboardData(15)", "CloseClipboard"}));
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), build_drop_list(Paths{"C:\\a"}));
    EXPECT_EQ(platform().clipboard.count(CF_UNICODETEXT), 0u);
    EXPECT_EQ(platform().blocks.at(platform().clipboard[CF_HDROP])->locks, 0);
    EXPECT_FALSE(platform().clipboard_open);
}

TEST_F(WriteFileList, AnEmptyListDoesNotOpenTheClipboard) {
    ASSERT_TRUE(write_file_list(Paths{}).ok());
    EXPECT_TRUE(platform().calls.empty());
}

TEST_F(WriteFileList, OpenFailureReturnsItsErrorAndClosesNothing) {
    platform().fail_next("OpenClipboard", 5);
    auto written = write_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(debug_form(written.error()), R"x(Pasteboard("Clipboard error: Access denied. (os error 5)"))x");
    EXPECT_EQ(platform().calls, std::vector<std::string>{"OpenClipboard"});
    EXPECT_TRUE(received_records().empty());
    EXPECT_EQ(platform().format_calls.size(), 1u);  // the record's text was never made
}

TEST_F(WriteFileList, AllocationFailureLeavesTheClipboardAsItWas) {
    platform().fail_next("GlobalAlloc", 8);
    auto written = write_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(std::get<Pasteboard>(written.error()).text, "Clipboard error: Not enough memory. (os error 8)");
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"OpenClipboard", "GlobalAlloc(0x42,32)", "CloseClipboard"}));
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);
}

TEST_F(WriteFileList, RefusalEmptiesFreesAndReturnsTheHandOverError) {
    platform().fail_next("SetClipboardData", 5);
    platform().error_after_free = 1234;
    auto written = write_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(std::get<Pasteboard>(written.error()).text, "Clipboard error: Access denied. (os error 5)");
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"OpenClipboard", "GlobalAlloc(0x42,32)", "GlobalLock", "GlobalUnlock",
                                        "EmptyClipboard", "SetClipboardData(15)", "GlobalFree", "CloseClipboard"}));
    EXPECT_TRUE(platform().clipboard.empty());
    EXPECT_TRUE(platform().blocks.empty());
}

TEST_F(WriteFileList, ALockWithoutAnAddressTakesTheRefusedWayOut) {
    platform().fail_next("GlobalLock", 8);
    auto written = write_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(std::get<Pasteboard>(written.error()).text, "Clipboard error: Not enough memory. (os error 8)");
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"OpenClipboard", "GlobalAlloc(0x42,32)", "GlobalLock",
                                                          "GlobalFree", "CloseClipboard"}));
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);
}

TEST_F(WriteFileList, AFailingCloseLeavesSuccessAsSuccess) {
    platform().fail_next("CloseClipboard", 1418);
    EXPECT_TRUE(write_file_list(Paths{"C:\\a"}).ok());
    EXPECT_EQ(platform().calls_starting("CloseClipboard").size(), 1u);
}

TEST_F(WriteFileList, AFailingEmptyIsNotLookedAtAndTheHandOverDecides) {
    platform().fail_next("EmptyClipboard", 1418);
    EXPECT_TRUE(write_file_list(Paths{"C:\\a"}).ok());
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), build_drop_list(Paths{"C:\\a"}));
}

TEST_F(WriteFileList, AdmittedRecordsCarryTheirTextsAndLines) {
    max_level = vantle_native::level_error;
    platform().fail_next("OpenClipboard", 5);
    (void)write_file_list(Paths{"C:\\a"});
    platform().fail_next("SetClipboardData", 8);
    (void)write_file_list(Paths{"C:\\a"});
    ASSERT_EQ(received_records().size(), 2u);
    const auto& opened = received_records()[0];
    EXPECT_EQ(opened.level, 1u);
    EXPECT_EQ(opened.target, "vantle_native::win::clipboard");
    EXPECT_EQ(opened.message, "Error creating clipboard: Access denied. (os error 5)");
    EXPECT_EQ(opened.module_path, "vantle_native::win::clipboard");
    EXPECT_EQ(opened.file, "src\\win\\clipboard");
    EXPECT_EQ(opened.line, 67u);
    EXPECT_EQ(received_records()[1].message, "Error writing files to clipboard: Not enough memory. (os error 8)");
    EXPECT_EQ(received_records()[1].line, 62u);
}

std::vector<std::byte> move_effect() { return bytes_of({2, 0, 0, 0}); }

TEST_F(WriteFileList, CutHandsOverTheListAndThenItsMoveEffectInOneOpen) {
    ASSERT_TRUE(cut_file_list(Paths{"C:\\a"}).ok());
    const UINT effect = platform().format_named(u"Preferred DropEffect");
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"RegisterClipboardFormatW", "OpenClipboard", "GlobalAlloc(0x42,32)",
                                        "GlobalLock", "GlobalUnlock", "GlobalAlloc(0x42,4)", "GlobalLock",
                                        "GlobalUnlock", "EmptyClipboard", "SetClipboardData(15)",
                                        "SetClipboardData(" + std::to_string(effect) + ")", "CloseClipboard"}));
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), build_drop_list(Paths{"C:\\a"}));
    EXPECT_EQ(platform().clipboard_bytes(effect), move_effect());
    EXPECT_EQ(platform().clipboard.size(), 2u);
}

TEST_F(WriteFileList, ACutThatFailsLeavesNoListWithoutItsEffect) {
    // Registration refused: the clipboard is never opened.
    platform().fail_next("RegisterClipboardFormatW", 8);
    auto unregistered = cut_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(unregistered.ok());
    EXPECT_EQ(std::get<Pasteboard>(unregistered.error()).text, "Clipboard error: Not enough memory. (os error 8)");
    EXPECT_EQ(platform().calls, std::vector<std::string>{"RegisterClipboardFormatW"});
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);

    // The effect's block cannot be had: nothing was emptied yet.
    platform().calls.clear();
    platform().pass_next("GlobalAlloc");
    platform().fail_next("GlobalAlloc", 8);
    ASSERT_FALSE(cut_file_list(Paths{"C:\\a"}).ok());
    EXPECT_TRUE(platform().calls_starting("EmptyClipboard").empty());
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);
    EXPECT_EQ(platform().blocks.size(), 1u);  // the list's block was freed

    // The effect refused after the list was handed over: emptied again.
    platform().calls.clear();
    platform().pass_next("SetClipboardData");
    platform().fail_next("SetClipboardData", 5);
    platform().error_after_free = 1234;
    auto refused = cut_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(std::get<Pasteboard>(refused.error()).text, "Clipboard error: Access denied. (os error 5)");
    const auto tail = std::vector<std::string>(platform().calls.end() - 5, platform().calls.end());
    EXPECT_EQ(tail[0], "SetClipboardData(15)");
    EXPECT_EQ(std::vector<std::string>(tail.begin() + 2, tail.end()),
              (std::vector<std::string>{"EmptyClipboard", "GlobalFree", "CloseClipboard"}));
    EXPECT_TRUE(platform().clipboard.empty());
    EXPECT_TRUE(platform().blocks.empty());
    EXPECT_FALSE(platform().clipboard_open);
}

TEST_F(WriteFileList, AGuardClosesOnceWhenAFatalErrorUnwindsThroughIt) {
    struct Unwind {};
    try {
        auto guard = ClipboardGuard::open();
        ASSERT_TRUE(guard.ok());
        ClipboardGuard moved(std::move(guard.value()));
        throw Unwind{};
    } catch (const Unwind&) {
    }
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"OpenClipboard", "CloseClipboard"}));
}

}  // namespace
