// The Win32 stand-in of the host build: a small simulated platform (clipboard,
// global memory, standard handles, environment, system messages) whose calls a
// test can make fail with a chosen last-error code, and which logs the calls
// that matter, in order.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace fake {

inline const HANDLE stdin_handle = reinterpret_cast<HANDLE>(0x1000);
inline const HANDLE stdout_handle = reinterpret_cast<HANDLE>(0x1001);
inline const HANDLE stderr_handle = reinterpret_cast<HANDLE>(0x1002);
inline const HMODULE ntdll_module = reinterpret_cast<HMODULE>(0x7000);
inline const HMODULE kernel32_module = reinterpret_cast<HMODULE>(0x7100);

struct GlobalBlock {
    std::vector<std::byte> bytes;
    int locks = 0;
};

struct FormatMessageCall {
    DWORD flags;
    LPCVOID source;
    DWORD message_id;
    DWORD language;
    DWORD size;
    bool buffer_zeroed;
};

struct World {
    // Calls of the clipboard, global memory, DragQueryFileW and writes, in order.
    std::vector<std::string> calls;
    // The next calls of a function (by name) fail with these last-error codes;
    // an empty entry lets that call through.
    std::map<std::string, std::deque<std::optional<DWORD>>> failures;
    DWORD last_error = 0;

    // Windows that exist; creating one fails while no_windows is set, as it
    // does where the desktop has no display.
    std::set<HWND> windows;
    bool no_windows = false;

    // Clipboard, and the window it was last opened with.
    bool clipboard_open = false;
    HWND clipboard_opener = nullptr;
    // Rises with every change of the clipboard's content.
    DWORD clipboard_sequence = 1;
    std::map<UINT, HGLOBAL> clipboard;
    // Registered formats by name, numbered from 0xC000 as the platform does.
    std::map<std::u16string, UINT> registered_formats;
    // Last error that GlobalFree leaves behind, to show it is not the one reported.
    DWORD error_after_free = 0;

    // Global memory, by handle.
    std::map<HGLOBAL, std::unique_ptr<GlobalBlock>> blocks;
    int freed_blocks = 0;
    // Replaces DragQueryFileW when set.
    std::function<UINT(HDROP, UINT, LPWSTR, UINT)> drag_query;

    // System messages.
    std::map<DWORD, std::u16string> system_messages;
    std::map<DWORD, std::u16string> ntdll_messages;
    bool ntdll_loaded = true;
    std::vector<FormatMessageCall> format_calls;

    // Process.
    std::optional<std::u16string> command_line;
    std::u16string module_path = u"C:\\apps\\vantle_native.exe";
    std::map<std::u16string, std::u16string> environment;
    std::vector<void*> stack = {reinterpret_cast<void*>(0x140001234), reinterpret_cast<void*>(0x7ff000)};

    // Entry counts of critical sections; busy makes every try fail, as if
    // another thread held them.
    std::map<LPCRITICAL_SECTION, int> critical_sections;
    bool critical_section_busy = false;

    // Standard handles.
    HANDLE standard_input = stdin_handle;
    // What standard input holds; reads take it in order, then find its end.
    std::string input_bytes;
    std::size_t input_taken = 0;
    HANDLE standard_output = stdout_handle;
    HANDLE standard_error = stderr_handle;
    std::set<HANDLE> consoles;
    std::map<HANDLE, std::string> file_bytes;
    std::map<HANDLE, std::u16string> console_units;
    // Each write consumes at most this many bytes (or units on a console).
    std::size_t write_limit = static_cast<std::size_t>(-1);

    void fail_next(const std::string& function, DWORD error) { failures[function].push_back(error); }
    void pass_next(const std::string& function) { failures[function].push_back(std::nullopt); }
    // The number RegisterClipboardFormatW gives `name`, registering it if new.
    UINT format_named(const std::u16string& name);
    // Puts `bytes` on the clipboard under `format` as the clipboard's own block.
    HGLOBAL put_on_clipboard(UINT format, std::vector<std::byte> bytes);
    [[nodiscard]] std::vector<std::byte> clipboard_bytes(UINT format) const;
    [[nodiscard]] std::vector<std::string> calls_starting(const std::string& prefix) const;
};

World& world();
// A fresh world for the next test. Events and threads are real ones (a wait
// really waits, within its bound) and outlive no world: a reset abandons
// them, so that a worker thread an earlier test left waiting ends.
void reset();

// Builds a file-drop block from raw UTF-16 names (which may hold unpaired
// surrogates), the way another program might.
std::vector<std::byte> drop_block(const std::vector<std::u16string>& names);

}  // namespace fake
