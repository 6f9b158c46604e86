// The line-buffered standard output, driven by a random sequence of writes
// and platform answers (short writes, a failure). Properties: the platform
// receives the bytes it was given, in order, never more and never twice;
// after each successful write everything up to its last line feed has
// arrived; after a final flush, everything has.
#include <string>

#include "fuzz_support.h"
#include "runtime/stdio.h"
#include "support/fake_win32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::reset();
    auto& platform = fake::world();
    vantle_native::runtime::StandardOutput output;
    std::string given;
    std::size_t must_have_arrived = 0;
    bool failed = false;
    for (std::size_t at = 0; at + 2 <= size && !failed;) {
        const std::uint8_t op = data[at];
        const std::size_t length = data[at + 1] * 16 + (op & 0x0F);
        at += 2;
        if ((op & 0xF0) == 0xF0) {
            platform.write_limit = length == 0 ? static_cast<std::size_t>(-1) : length;
            continue;
        }
        if ((op & 0xF0) == 0xE0) {
            platform.fail_next("WriteFile", 232);
            continue;
        }
        // The bytes of a write: taken from the input, with line feeds where it has them.
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i) {
            const bool line_feed = at < size && data[at++] % 5 == 0;
            bytes += line_feed ? '\n' : static_cast<char>('a' + i % 26);
        }
        given += bytes;
        const bool ok = output.write_all(bytes).ok();
        const std::string& received = platform.file_bytes[fake::stdout_handle];
        fuzz::check(received.size() <= given.size() && given.compare(0, received.size(), received) == 0);
        if (!ok) {
            failed = true;
            break;
        }
        const std::size_t last_line_feed = given.rfind('\n');
        if (last_line_feed != std::string::npos) must_have_arrived = last_line_feed + 1;
        fuzz::check(received.size() >= must_have_arrived);
    }
    if (!failed) {
        platform.write_limit = static_cast<std::size_t>(-1);
        platform.failures.clear();
        fuzz::check(output.flush().ok());
        fuzz::check(platform.file_bytes[fake::stdout_handle] == given);
    }
    return 0;
}
