// The reader's check of a clipboard block. Properties: a block it accepts is
// walked by the platform's queries without reading past its end (the block
// sits in an exact-size allocation, so AddressSanitizer sees any overread);
// a block it refuses really does send an unbounded walk past its end; and the
// one-walk read of a list, wide or narrow, names exactly what the platform's
// queries name.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "support/fake_win32.h"
#include "file_clipboard.h"
#include "win/drop_files.h"

namespace {

constexpr UINT max_compared_names = 200;

// Where an unbounded walk of the names would first read: true if it stays
// inside `size` bytes.
bool walk_stays_inside(const std::uint8_t* block, std::size_t size) {
    if (size < 20) return false;
    std::uint32_t offset = 0;
    std::uint32_t wide = 0;
    std::memcpy(&offset, block, 4);
    std::memcpy(&wide, block + 16, 4);
    const std::size_t unit = wide != 0 ? 2 : 1;
    bool name_empty = true;
    for (std::size_t at = offset; at <= size && size - at >= unit; at += unit) {
        const bool zero = block[at] == 0 && (unit == 1 || block[at + 1] == 0);
        if (zero && name_empty) return true;
        name_empty = zero;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span block(reinterpret_cast<const std::byte*>(data), size);
    const bool readable = vantle_native::win::drop_files::is_readable_drop_block(block);
    fuzz::check(readable == walk_stays_inside(data, size));
    if (!readable) return 0;

    const auto copy = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(copy.get(), data, size);
    const auto drop = reinterpret_cast<HDROP>(copy.get());
    // Every query walks from the list's start, so the count and the last
    // name between them read all that any query would.
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count > 0) {
        std::basic_string<WCHAR> name(DragQueryFileW(drop, count - 1, nullptr, 0) + std::size_t{1}, WCHAR{});
        DragQueryFileW(drop, count - 1, name.data(), static_cast<UINT>(name.size()));
    }
    // The queries restart from the first name each time: compare the two
    // reads on lists short enough to keep the fuzzer fast.
    if (count <= max_compared_names) {
        fake::world().put_on_clipboard(CF_HDROP, std::vector<std::byte>(block.begin(), block.end()));
        auto queried = vantle_native::clipboard::read_file_list();
        auto walked = vantle_native::clipboard::read_file_drop();
        fuzz::check(queried.ok() && walked.ok() && walked.value().has_value());
        std::string queried_names;
        for (const std::string& name : queried.value()) queried_names += name + '\0';
        fuzz::check(walked.value()->names == queried_names);
    }
    fake::reset();
    return 0;
}
