// The one place that brings in the Win32 API.
//
// On Windows this is the system headers. Elsewhere (the host build that runs
// the unit tests) it declares exactly the subset the program calls, with the
// same names and the Windows sizes: 32-bit DWORD, 16-bit UTF-16 units. The
// definitions of that subset live in the test suite's stand-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

namespace vantle_native::platform {
// The platform's fail-fast request (`__fastfail`), which MinGW-w64 does not
// declare: interrupt 0x29 with the code in ECX ends the process at once,
// without unwinding and without running any exit handler.
[[noreturn]] inline void request_fail_fast(unsigned int code) {
    __asm__ volatile("int $0x29" : : "c"(code) : "memory");
    __builtin_unreachable();
}
}  // namespace vantle_native::platform

#else  // host build: declarations only

#include <cstdarg>

using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using WCHAR = char16_t;
using SIZE_T = std::size_t;
using LPVOID = void*;
using PVOID = void*;
using LPCVOID = const void*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;
using HANDLE = void*;
using HGLOBAL = void*;
// Distinct handle types under the platform's own (reserved) names.
using HWND = struct HWND__*;          // NOLINT(bugprone-reserved-identifier)
using HMODULE = struct HINSTANCE__*;  // NOLINT(bugprone-reserved-identifier)
using HDROP = struct HDROP__*;        // NOLINT(bugprone-reserved-identifier)
using HMENU = struct HMENU__*;        // NOLINT(bugprone-reserved-identifier)
using HINSTANCE = HMODULE;
using FARPROC = long long (*)();
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct POINT {
    long x;
    long y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
// Opaque here: the stand-in keeps its state elsewhere, keyed by address.
struct CRITICAL_SECTION {
    void* reserved[5];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr UINT CF_UNICODETEXT = 13;
inline constexpr UINT CF_HDROP = 15;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x0200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x0800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
inline constexpr DWORD LANG_SYSTEM_DEFAULT = 0x0800;
inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);
// The platform's value is a pointer made from -1.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));  // NOLINT(performance-no-int-to-ptr)
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT WM_CLIPBOARDUPDATE = 0x031D;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr DWORD QS_ALLINPUT = 0x04FF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
// The platform's parent of message-only windows is a pointer made from -3.
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-3));  // NOLINT(performance-no-int-to-ptr)
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_BROKEN_PIPE = 109;
inline constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;
inline constexpr unsigned int FAST_FAIL_STACK_COOKIE_CHECK_FAILURE = 2;
inline constexpr unsigned int FAST_FAIL_FATAL_APP_EXIT = 7;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
union LARGE_INTEGER {
    std::int64_t QuadPart;
};

// kernel32
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPWSTR buffer,
                     DWORD size, va_list* arguments);
HMODULE GetModuleHandleW(LPCWSTR module_name);
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR module_name, HMODULE* module);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size);
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
HANDLE GetCurrentThread();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
void GetSystemTimeAsFileTime(FILETIME* time);
std::uint64_t GetTickCount64();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
LPWSTR GetCommandLineW();
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
HANDLE GetStdHandle(DWORD std_handle);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD units, LPDWORD written, LPVOID reserved);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPVOID overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPVOID overlapped);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);
SIZE_T GlobalSize(HGLOBAL memory);
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int bytes, LPWSTR wide, int units);
BOOL CloseHandle(HANDLE object);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack_size, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD thread_id);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCWSTR name);
BOOL SetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
WORD RtlCaptureStackBackTrace(DWORD frames_to_skip, DWORD frames_to_capture, PVOID* back_trace,
                              PDWORD back_trace_hash);

// user32
HWND CreateWindowExW(DWORD extended_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
BOOL DestroyWindow(HWND window);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds, DWORD wake_mask);
BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove);
LPARAM DispatchMessageW(const MSG* message);
BOOL AddClipboardFormatListener(HWND window);
BOOL RemoveClipboardFormatListener(HWND window);
DWORD GetClipboardSequenceNumber();
HWND GetClipboardOwner();
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
HANDLE SetClipboardData(UINT format, HANDLE memory);
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
UINT RegisterClipboardFormatW(LPCWSTR format_name);

// shell32
UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT capacity);

namespace vantle_native::platform {
// Ends the process at once; the stand-in defines it.
[[noreturn]] void request_fail_fast(unsigned int code);
}  // namespace vantle_native::platform

#endif

namespace vantle_native::platform {

// Text as the platform takes it: UTF-16 units of the platform's own type.
using WideView = std::basic_string_view<WCHAR>;

// A wide literal for both builds: `L"..."` is not UTF-16 on Linux, so ASCII
// names the program passes to the platform are widened here at compile time.
template <std::size_t N>
struct WideLiteral {
    WCHAR units[N]{};
    // Implicit, so that a literal initialises one directly.
    // cppcheck-suppress noExplicitConstructor
    consteval WideLiteral(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) units[i] = static_cast<WCHAR>(text[i]);
    }
    [[nodiscard]] const WCHAR* c_str() const { return units; }
    [[nodiscard]] constexpr WideView view() const { return WideView(units, N - 1); }
};

}  // namespace vantle_native::platform
