// Test-suite helper that runs under Wine beside vantle_native.exe. It sets up
// and inspects the clipboard the way other programs on the desktop would, and
// starts a program with an exact UTF-16 command line and chosen standard
// handles, which `wine prog args...` cannot do.
//
//   put-hdrop FILE [EFFECT]  put the bytes of FILE on the clipboard as CF_HDROP
//                            and, if given, the bytes of the hex text EFFECT
//                            beside it as "Preferred DropEffect"
//   put-text TEXT            put TEXT on the clipboard as CF_UNICODETEXT
//   dump-hdrop               print the CF_HDROP block as hex, or "none"
//   dump-effect              the same for the "Preferred DropEffect" block
//   can-open                 exit 0 if OpenClipboard(NULL) succeeds, 4 if not
//   state                    print the clipboard's sequence number and 1 if
//                            it announces CF_HDROP, else 0 (nothing rendered)
//   hold READY RELEASE       hold the clipboard open with an owner window,
//                            create READY, wait until RELEASE exists
//   hold-for MS              hold the clipboard open with an owner window for
//                            MS milliseconds if it can be had; exit 4 if not
//   window READY RELEASE     keep a window alive, create READY once it is
//                            there, wait until RELEASE exists, however long
//   hung-owner READY RELEASE take the clipboard with an owner window, announce
//                            CF_HDROP for delayed rendering, create READY and
//                            never render: the thread waits for RELEASE
//                            without taking a message, so WM_RENDERFORMAT is
//                            never answered
//   format-message CODE      print the system's message for CODE
//   run EXE LINE OUT ERR [NAME=VALUE | -NAME]...
//                            start EXE with the command line held in the
//                            file LINE (UTF-16LE units, any length the
//                            platform takes); OUT is file:PATH, none or
//                            closed-pipe; ERR a file path; print "exit=N"
//   time EXE LINE RUNS [IN]  start EXE with the command line in LINE, output
//                            to NUL and standard input from the file IN (or
//                            none), RUNS times; print the wall time of each
//                            run in microseconds (for the benchmark)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int usage_status = 64;
// Never 1: Wine's loader exits 1 when it fails to start a process at all,
// and the harness starts such a run again.
constexpr int refused_status = 4;
constexpr DWORD poll_interval_ms = 20;
constexpr int poll_limit = 3000;  // one minute

void write_out(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string to_utf8(const wchar_t* text, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::vector<wchar_t> read_units(const wchar_t* path) {
    std::vector<wchar_t> units;
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return units;
    units.resize(GetFileSize(file, nullptr) / sizeof(wchar_t));
    DWORD read = 0;
    ReadFile(file, units.data(), static_cast<DWORD>(units.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    units.resize(read / sizeof(wchar_t));
    return units;
}

bool file_exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

void touch(const wchar_t* path) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool wait_for_file(const wchar_t* path) {
    for (int i = 0; i < poll_limit; ++i) {
        if (file_exists(path)) return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(poll_interval_ms);
    }
    return false;
}

// Opens the clipboard for a fixture, waiting out a moment in which another
// process (Wine's desktop, syncing with the X selection) has it open: up to
// a minute, for a loaded machine.
bool open_for_fixture() {
    for (int i = 0; i < poll_limit; ++i) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(poll_interval_ms);
    }
    return false;
}

HWND create_window() {
    return CreateWindowExW(0, L"STATIC", L"clip_helper", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

const wchar_t drop_effect_format[] = L"Preferred DropEffect";

struct Block {
    UINT format;
    std::string bytes;
};

// Replaces the clipboard's content with the blocks, in one open.
int put_on_clipboard(const std::vector<Block>& blocks) {
    std::vector<HGLOBAL> handles;
    for (const Block& block : blocks) {
        const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, block.bytes.size());
        if (handle == nullptr) return 2;
        if (!block.bytes.empty()) {
            std::memcpy(GlobalLock(handle), block.bytes.data(), block.bytes.size());
            GlobalUnlock(handle);
        }
        handles.push_back(handle);
    }
    if (!open_for_fixture()) return 3;
    EmptyClipboard();
    bool placed = true;
    for (std::size_t i = 0; i < blocks.size(); ++i) placed = SetClipboardData(blocks[i].format, handles[i]) && placed;
    CloseClipboard();
    return placed ? 0 : 4;
}

std::string bytes_of(const void* data, std::size_t size) { return std::string(static_cast<const char*>(data), size); }

std::string from_hex(const wchar_t* hex) {
    std::string bytes;
    for (std::size_t i = 0; hex[i] != 0 && hex[i + 1] != 0; i += 2) {
        const wchar_t pair[3] = {hex[i], hex[i + 1], 0};
        bytes += static_cast<char>(std::wcstol(pair, nullptr, 16));
    }
    return bytes;
}

int dump_format(UINT format) {
    if (!open_for_fixture()) return 3;
    const HANDLE data = GetClipboardData(format);
    std::string hex;
    if (data == nullptr) {
        hex = "none";
    } else {
        const auto* bytes = static_cast<const unsigned char*>(GlobalLock(data));
        const SIZE_T size = GlobalSize(data);
        char digits[3];
        for (SIZE_T i = 0; i < size; ++i) {
            std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
            hex += digits;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    write_out(hex + "\n");
    return 0;
}

int can_open() {
    if (!OpenClipboard(nullptr)) return refused_status;
    CloseClipboard();
    return 0;
}

int hold(const wchar_t* ready, const wchar_t* release) {
    const HWND window = create_window();
    if (window == nullptr || !OpenClipboard(window)) return 2;
    touch(ready);
    const bool released = wait_for_file(release);
    CloseClipboard();
    DestroyWindow(window);
    return released ? 0 : 5;
}

int hold_for(const wchar_t* milliseconds) {
    const HWND window = create_window();
    const bool held = window != nullptr && OpenClipboard(window);
    if (held) {
        Sleep(static_cast<DWORD>(std::wcstol(milliseconds, nullptr, 10)));
        CloseClipboard();
    }
    if (window != nullptr) DestroyWindow(window);
    return held ? 0 : refused_status;
}

int hung_owner(const wchar_t* ready, const wchar_t* release) {
    const HWND window = create_window();
    if (window == nullptr || !OpenClipboard(window)) return 2;
    EmptyClipboard();
    SetClipboardData(CF_HDROP, nullptr);
    CloseClipboard();
    touch(ready);
    while (!file_exists(release)) Sleep(poll_interval_ms);
    return 0;
}

int keep_window(const wchar_t* ready, const wchar_t* release) {
    const HWND window = create_window();
    if (window == nullptr) return 2;
    touch(ready);
    // As long as it takes: the test session keeps its desktop through this
    // window until the session ends.
    while (!wait_for_file(release)) {
    }
    DestroyWindow(window);
    return 0;
}

int format_message(const wchar_t* code_text) {
    const auto code = static_cast<DWORD>(std::wcstoll(code_text, nullptr, 10));
    wchar_t buffer[2048] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        LANG_SYSTEM_DEFAULT, buffer, 2048, nullptr);
    if (length == 0) return refused_status;
    write_out(to_utf8(buffer, static_cast<int>(length)));
    return 0;
}

// NAME=VALUE sets a variable for the child, -NAME removes it.
void apply_environment(const wchar_t* setting) {
    if (setting[0] == L'-') {
        SetEnvironmentVariableW(setting + 1, nullptr);
        return;
    }
    const std::wstring assignment(setting);
    const std::size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos) return;
    SetEnvironmentVariableW(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str());
}

HANDLE inheritable_file(const wchar_t* path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
}

// The child's standard output, by name: file:PATH, none (no handle at all),
// or closed-pipe (the write end of a pipe whose read end is already closed).
HANDLE output_handle(const std::wstring& kind) {
    if (kind == L"none") return nullptr;
    if (kind == L"closed-pipe") {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE reader = nullptr;
        HANDLE writer = nullptr;
        if (!CreatePipe(&reader, &writer, &inherit, 0)) return INVALID_HANDLE_VALUE;
        CloseHandle(reader);  // the reader has gone before the child writes
        return writer;
    }
    if (kind.rfind(L"file:", 0) == 0) return inheritable_file(kind.c_str() + 5);
    return INVALID_HANDLE_VALUE;
}

// Starts EXE with exactly `line` as its command line and the given standard
// handles, waits for it and gives its exit status, or nothing if it did not start.
std::optional<DWORD> run_to_end(const wchar_t* exe, std::vector<wchar_t> line, HANDLE out, HANDLE err,
                                HANDLE in = nullptr) {
    line.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    return status;
}

int run(int argc, wchar_t** argv) {
    if (argc < 6) return usage_status;
    for (int i = 6; i < argc; ++i) apply_environment(argv[i]);
    const HANDLE out = output_handle(argv[4]);
    const HANDLE err = inheritable_file(argv[5]);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) return 2;
    const std::optional<DWORD> status = run_to_end(argv[2], read_units(argv[3]), out, err);
    // Closed only now: the child holds its own copies, and a pipe's write end
    // must stay ours until it has been handed over.
    if (out != nullptr) CloseHandle(out);
    CloseHandle(err);
    if (!status) return 3;
    write_out("exit=" + std::to_string(*status) + "\n");
    return 0;
}

int time_runs(const wchar_t* exe, const wchar_t* line_path, int runs, const wchar_t* input_path) {
    const std::vector<wchar_t> line = read_units(line_path);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE input = nullptr;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::string report;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER started;
        LARGE_INTEGER ended;
        if (input_path != nullptr) {
            input = CreateFileW(input_path, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
        }
        QueryPerformanceCounter(&started);
        const bool ran = run_to_end(exe, line, nul, nul, input).has_value();
        if (input != nullptr) CloseHandle(input);
        if (!ran) return 3;
        QueryPerformanceCounter(&ended);
        const long long micros = (ended.QuadPart - started.QuadPart) * 1000000 / frequency.QuadPart;
        report += std::to_string(micros) + "\n";
    }
    write_out(report);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return usage_status;
    const std::wstring command(argv[1]);
    if (command == L"put-hdrop" && (argc == 3 || argc == 4)) {
        const std::vector<wchar_t> units = read_units(argv[2]);
        std::vector<Block> blocks{{CF_HDROP, bytes_of(units.data(), units.size() * sizeof(wchar_t))}};
        if (argc == 4) blocks.push_back({RegisterClipboardFormatW(drop_effect_format), from_hex(argv[3])});
        return put_on_clipboard(blocks);
    }
    if (command == L"put-text" && argc == 3) {
        return put_on_clipboard({{CF_UNICODETEXT, bytes_of(argv[2], (std::wcslen(argv[2]) + 1) * sizeof(wchar_t))}});
    }
    if (command == L"dump-hdrop") return dump_format(CF_HDROP);
    if (command == L"dump-effect") return dump_format(RegisterClipboardFormatW(drop_effect_format));
    if (command == L"can-open") return can_open();
    if (command == L"state") {
        write_out(std::to_string(GetClipboardSequenceNumber()) + " " +
                  (IsClipboardFormatAvailable(CF_HDROP) ? "1" : "0") + "\n");
        return 0;
    }
    if (command == L"hold" && argc == 4) return hold(argv[2], argv[3]);
    if (command == L"hold-for" && argc == 3) return hold_for(argv[2]);
    if (command == L"hung-owner" && argc == 4) return hung_owner(argv[2], argv[3]);
    if (command == L"window" && argc == 4) return keep_window(argv[2], argv[3]);
    if (command == L"format-message" && argc == 3) return format_message(argv[2]);
    if (command == L"run") return run(argc, argv);
    if (command == L"time" && (argc == 5 || argc == 6)) {
        return time_runs(argv[2], argv[3], static_cast<int>(std::wcstol(argv[4], nullptr, 10)),
                         argc == 6 ? argv[5] : nullptr);
    }
    return usage_status;
}
