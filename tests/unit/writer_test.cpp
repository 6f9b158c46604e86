#include "file_clipboard.h"
#include "support/world_test.h"
#include "win/clipboard.h"
#include "win/drop_files.h"

using namespace vantle_native::clipboard;
using vantle_native::win::clipboard::ClipboardGuard;
using vantle_native::win::drop_files::build_drop_list;
using vantle_native::debug_form;
using vantle_native::max_level;
using vantle_native::Pasteboard;

namespace {

using Paths = std::vector<std::string_view>;

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

TEST_F(WriteFileList, ABlockThatCannotBeHadLeavesTheClipboardAsItWas) {
    // No memory, or a block that cannot be locked to be filled.
    for (const char* failing : {"GlobalAlloc", "GlobalLock"}) {
        platform().fail_next(failing, 8);
        auto written = write_file_list(Paths{"C:\\a"});
        ASSERT_FALSE(written.ok()) << failing;
        EXPECT_EQ(std::get<Pasteboard>(written.error()).text, "Clipboard error: Not enough memory. (os error 8)");
        EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);
        EXPECT_EQ(platform().blocks.size(), 1u) << failing;  // nothing but the earlier content
        EXPECT_FALSE(platform().clipboard_open);
    }
}

TEST_F(WriteFileList, RefusalEmptiesFreesAndReturnsTheHandOverError) {
    platform().fail_next("SetClipboardData", 5);
    platform().error_after_free = 1234;
    auto written = write_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(std::get<Pasteboard>(written.error()).text, "Clipboard error: Access denied. (os error 5)");
    EXPECT_TRUE(platform().clipboard.empty());
    EXPECT_TRUE(platform().blocks.empty());
    EXPECT_FALSE(platform().clipboard_open);
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

// What --cut_files does with its list.
vantle_native::Status<vantle_native::ClipboardError> cut_file_list(Paths paths) {
    return place_file_list(prepare_file_list(paths), DropEffect::move);
}

TEST_F(WriteFileList, CutHandsOverTheListAndItsMoveEffectInOneOpenByAWindowOfItsOwn) {
    ASSERT_TRUE(cut_file_list(Paths{"C:\\a"}).ok());
    const UINT effect = platform().format_named(u"Preferred DropEffect");
    EXPECT_EQ(platform().calls_starting("OpenClipboard").size(), 1u);
    EXPECT_NE(platform().clipboard_opener, nullptr);
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), build_drop_list(Paths{"C:\\a"}));
    EXPECT_EQ(platform().clipboard_bytes(effect), move_effect());
    EXPECT_EQ(platform().clipboard.size(), 2u);
    EXPECT_FALSE(platform().clipboard_open);
    EXPECT_TRUE(platform().windows.empty());

    // A copy placed the same way leaves no effect behind.
    ASSERT_TRUE(place_file_list(prepare_file_list(Paths{"C:\\b"}), DropEffect::copy).ok());
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), build_drop_list(Paths{"C:\\b"}));
    EXPECT_EQ(platform().clipboard.size(), 1u);
}

TEST_F(WriteFileList, ACutThatFailsLeavesNoListWithoutItsEffect) {
    // Registration refused: the clipboard is never opened.
    platform().fail_next("RegisterClipboardFormatW", 8);
    auto unregistered = cut_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(unregistered.ok());
    EXPECT_EQ(std::get<Pasteboard>(unregistered.error()).text, "Clipboard error: Not enough memory. (os error 8)");
    EXPECT_TRUE(platform().calls_starting("OpenClipboard").empty());
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);

    // The effect's block cannot be had: nothing was emptied yet.
    platform().pass_next("GlobalAlloc");
    platform().fail_next("GlobalAlloc", 8);
    ASSERT_FALSE(cut_file_list(Paths{"C:\\a"}).ok());
    EXPECT_EQ(platform().clipboard.at(CF_UNICODETEXT), earlier);
    EXPECT_EQ(platform().blocks.size(), 1u);  // the list's block was freed

    // The effect refused after the list was handed over: emptied again.
    platform().pass_next("SetClipboardData");
    platform().fail_next("SetClipboardData", 5);
    platform().error_after_free = 1234;
    auto refused = cut_file_list(Paths{"C:\\a"});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(std::get<Pasteboard>(refused.error()).text, "Clipboard error: Access denied. (os error 5)");
    EXPECT_TRUE(platform().clipboard.empty());
    EXPECT_TRUE(platform().blocks.empty());
    EXPECT_FALSE(platform().clipboard_open);
    EXPECT_TRUE(platform().windows.empty());
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
