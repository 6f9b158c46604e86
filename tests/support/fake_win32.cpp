#include "support/fake_win32.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace fake {
namespace {

World* current = nullptr;

// Takes the next scripted failure of `function`, setting the last error.
bool scripted_failure(const std::string& function) {
    auto found = world().failures.find(function);
    if (found == world().failures.end() || found->second.empty()) return false;
    const std::optional<DWORD> error = found->second.front();
    found->second.pop_front();
    if (error) world().last_error = *error;
    return error.has_value();
}

void log(std::string call) { world().calls.push_back(std::move(call)); }

// An event, or a thread's handle (which nothing waits for); abandoned when
// the world it was made in is reset, which fails every wait for it.
struct KernelObject {
    std::mutex mutex;
    std::condition_variable changed;
    bool manual_reset = true;
    bool signalled = false;
    bool abandoned = false;
};

// Kept apart from the world, which a waiting thread must never touch while
// a reset replaces it, and never destroyed: a worker the tests left waiting
// may look its event up while the process exits. Handles are never made
// twice in a process.
struct KernelObjects {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<KernelObject>> objects;
    std::uintptr_t made = 0;
};

KernelObjects& kernel_objects() {
    static auto* const registry = new KernelObjects();
    return *registry;
}

HANDLE new_kernel_object(std::shared_ptr<KernelObject> object) {
    KernelObjects& registry = kernel_objects();
    const std::lock_guard lock(registry.mutex);
    const auto handle = reinterpret_cast<HANDLE>(0x2000 + ++registry.made);
    registry.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> kernel_object(HANDLE handle) {
    KernelObjects& registry = kernel_objects();
    const std::lock_guard lock(registry.mutex);
    const auto found = registry.objects.find(handle);
    return found == registry.objects.end() ? nullptr : found->second;
}

bool close_kernel_object(HANDLE handle) {
    KernelObjects& registry = kernel_objects();
    const std::lock_guard lock(registry.mutex);
    return registry.objects.erase(handle) != 0;
}

void abandon_kernel_objects() {
    KernelObjects& registry = kernel_objects();
    const std::lock_guard lock(registry.mutex);
    for (const auto& [handle, object] : registry.objects) {
        const std::lock_guard abandoning(object->mutex);
        object->abandoned = true;
        object->changed.notify_all();
    }
    registry.objects.clear();
}

void signal(KernelObject& object) {
    const std::lock_guard lock(object.mutex);
    object.signalled = true;
    object.changed.notify_all();
}

std::string handle_name(HANDLE handle) {
    if (handle == stdout_handle) return "stdout";
    if (handle == stderr_handle) return "stderr";
    return "handle";
}

GlobalBlock* block_of(HGLOBAL handle) {
    auto found = world().blocks.find(handle);
    return found == world().blocks.end() ? nullptr : found->second.get();
}

void free_block(HGLOBAL handle) {
    world().blocks.erase(handle);
    ++world().freed_blocks;
}

std::uint32_t read_u32(const std::byte* bytes) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The names of a file-drop block, read like the platform does: from the list
// offset, each name up to its 0 unit, until an empty name.
std::vector<std::u16string> names_of(const std::byte* drop) {
    const std::uint32_t offset = read_u32(drop);
    const bool wide = read_u32(drop + 16) != 0;
    std::vector<std::u16string> names;
    const std::byte* at = drop + offset;
    for (;;) {
        std::u16string name;
        for (;;) {
            char16_t unit = 0;
            if (wide) {
                std::memcpy(&unit, at, 2);
                at += 2;
            } else {
                unit = static_cast<unsigned char>(*at);
                at += 1;
            }
            if (unit == 0) break;
            name += unit;
        }
        if (name.empty()) return names;
        names.push_back(std::move(name));
    }
}

UINT simulated_drag_query(HDROP drop, UINT index, LPWSTR file, UINT capacity) {
    const auto names = names_of(reinterpret_cast<const std::byte*>(drop));
    if (index == 0xFFFFFFFF) return static_cast<UINT>(names.size());
    if (index >= names.size()) return 0;
    const std::u16string& name = names[index];
    if (file == nullptr || capacity == 0) return static_cast<UINT>(name.size());
    const std::size_t copied = std::min<std::size_t>(name.size(), capacity - 1);
    std::copy_n(name.begin(), copied, file);
    file[copied] = 0;
    return static_cast<UINT>(copied);
}

}  // namespace

World& world() {
    if (current == nullptr) current = new World();
    return *current;
}

void reset() {
    abandon_kernel_objects();
    delete current;
    current = new World();
}

HGLOBAL World::put_on_clipboard(UINT format, std::vector<std::byte> bytes) {
    auto block = std::make_unique<GlobalBlock>();
    block->bytes = std::move(bytes);
    const HGLOBAL handle = block.get();
    blocks[handle] = std::move(block);
    clipboard[format] = handle;
    return handle;
}

UINT World::format_named(const std::u16string& name) {
    const auto next = static_cast<UINT>(0xC000 + registered_formats.size());
    return registered_formats.try_emplace(name, next).first->second;
}

std::vector<std::byte> World::clipboard_bytes(UINT format) const {
    auto found = clipboard.find(format);
    if (found == clipboard.end()) return {};
    return blocks.at(found->second)->bytes;
}

std::vector<std::string> World::calls_starting(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const auto& call : calls) {
        if (call.rfind(prefix, 0) == 0) matching.push_back(call);
    }
    return matching;
}

std::vector<std::byte> drop_block(const std::vector<std::u16string>& names) {
    std::vector<std::byte> bytes(20);
    bytes[0] = std::byte{20};
    bytes[16] = std::byte{1};
    auto unit = [&](char16_t u) {
        bytes.push_back(static_cast<std::byte>(u & 0xFF));
        bytes.push_back(static_cast<std::byte>(u >> 8));
    };
    for (const auto& name : names) {
        for (const char16_t u : name) unit(u);
        unit(0);
    }
    unit(0);
    return bytes;
}

}  // namespace fake

using fake::world;

DWORD GetLastError() { return world().last_error; }
void SetLastError(DWORD code) { world().last_error = code; }

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPWSTR buffer, DWORD size,
                     va_list*) {
    const bool zeroed = std::all_of(buffer, buffer + size, [](WCHAR unit) { return unit == 0; });
    world().format_calls.push_back({flags, source, message_id, language_id, size, zeroed});
    if (fake::scripted_failure("FormatMessageW")) return 0;
    const auto& table = source == fake::ntdll_module ? world().ntdll_messages : world().system_messages;
    auto found = table.find(message_id);
    if (found == table.end()) {
        world().last_error = 317;  // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    const std::size_t length = std::min<std::size_t>(found->second.size(), size - 1);
    std::copy_n(found->second.begin(), length, buffer);
    return static_cast<DWORD>(length);
}

HMODULE GetModuleHandleW(LPCWSTR module_name) {
    const std::u16string name(module_name);
    if (name == u"NTDLL.DLL") return world().ntdll_loaded ? fake::ntdll_module : nullptr;
    if (name == u"kernel32.dll") return fake::kernel32_module;
    return nullptr;
}

BOOL GetModuleHandleExW(DWORD, LPCWSTR, HMODULE*) {
    world().last_error = 126;  // no module in the stand-in holds an address
    return FALSE;
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR file_name, DWORD size) {
    if (fake::scripted_failure("GetModuleFileNameW")) return 0;
    const std::u16string& path = world().module_path;
    const std::size_t copied = std::min<std::size_t>(path.size(), size - 1);
    std::copy_n(path.begin(), copied, file_name);
    file_name[copied] = 0;
    return static_cast<DWORD>(path.size() < size ? path.size() : size);
}

FARPROC GetProcAddress(HMODULE, LPCSTR) { return nullptr; }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(-2); }

LPWSTR GetCommandLineW() {
    auto& line = world().command_line;
    return line ? line->data() : nullptr;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    auto found = world().environment.find(std::u16string(name));
    if (found == world().environment.end()) {
        world().last_error = ERROR_ENVVAR_NOT_FOUND;
        return 0;
    }
    const std::u16string& value = found->second;
    if (value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);
    std::copy(value.begin(), value.end(), buffer);
    buffer[value.size()] = 0;
    return static_cast<DWORD>(value.size());
}

HANDLE GetStdHandle(DWORD std_handle) {
    if (fake::scripted_failure("GetStdHandle")) return INVALID_HANDLE_VALUE;
    if (std_handle == STD_INPUT_HANDLE) return world().standard_input;
    return std_handle == STD_OUTPUT_HANDLE ? world().standard_output : world().standard_error;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPVOID) {
    fake::log("ReadFile(" + std::to_string(bytes) + ")");
    if (fake::scripted_failure("ReadFile")) return FALSE;
    auto& w = world();
    const std::size_t count = file == fake::stdin_handle ? std::min<std::size_t>(bytes, w.input_bytes.size() - w.input_taken) : 0;
    std::memcpy(buffer, w.input_bytes.data() + w.input_taken, count);
    w.input_taken += count;
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    if (world().consoles.count(console) == 0) {
        world().last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *mode = 3;
    return TRUE;
}

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD units, LPDWORD written, LPVOID) {
    fake::log("WriteConsoleW(" + fake::handle_name(console) + "," + std::to_string(units) + ")");
    if (fake::scripted_failure("WriteConsoleW")) return FALSE;
    const auto count = static_cast<DWORD>(std::min<std::size_t>(units, world().write_limit));
    const auto* text = static_cast<const char16_t*>(buffer);
    world().console_units[console].append(text, count);
    *written = count;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPVOID) {
    fake::log("WriteFile(" + fake::handle_name(file) + "," + std::to_string(bytes) + ")");
    if (fake::scripted_failure("WriteFile")) return FALSE;
    const auto count = static_cast<DWORD>(std::min<std::size_t>(bytes, world().write_limit));
    world().file_bytes[file].append(static_cast<const char*>(buffer), count);
    *written = count;
    return TRUE;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "GlobalAlloc(0x%x,%zu)", flags, bytes);
    fake::log(text);
    if (fake::scripted_failure("GlobalAlloc")) return nullptr;
    auto block = std::make_unique<fake::GlobalBlock>();
    // Filled with a pattern: only GMEM_ZEROINIT promises zeros.
    block->bytes.assign(bytes, (flags & GMEM_ZEROINIT) ? std::byte{0} : std::byte{0xCD});
    const HGLOBAL handle = block.get();
    world().blocks[handle] = std::move(block);
    return handle;
}

LPVOID GlobalLock(HGLOBAL memory) {
    fake::log("GlobalLock");
    if (fake::scripted_failure("GlobalLock")) return nullptr;
    fake::GlobalBlock* block = fake::block_of(memory);
    if (block == nullptr) return nullptr;
    ++block->locks;
    return block->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
    fake::log("GlobalUnlock");
    if (fake::GlobalBlock* block = fake::block_of(memory)) --block->locks;
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    fake::log("GlobalFree");
    fake::free_block(memory);
    world().last_error = world().error_after_free;
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL memory) {
    fake::GlobalBlock* block = fake::block_of(memory);
    return block == nullptr ? 0 : block->bytes.size();
}

// One thread in the tests: a critical section is a re-entry count.
void InitializeCriticalSection(LPCRITICAL_SECTION section) { world().critical_sections[section] = 0; }
void DeleteCriticalSection(LPCRITICAL_SECTION section) { world().critical_sections.erase(section); }
void EnterCriticalSection(LPCRITICAL_SECTION section) { ++world().critical_sections[section]; }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (world().critical_section_busy) return FALSE;
    ++world().critical_sections[section];
    return TRUE;
}
void LeaveCriticalSection(LPCRITICAL_SECTION section) { --world().critical_sections[section]; }

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL, LPCWSTR) {
    if (fake::scripted_failure("CreateEventW")) return nullptr;
    auto event = std::make_shared<fake::KernelObject>();
    event->manual_reset = manual_reset != FALSE;
    return fake::new_kernel_object(std::move(event));
}
BOOL SetEvent(HANDLE event) {
    const auto object = fake::kernel_object(event);
    if (object) fake::signal(*object);
    return static_cast<BOOL>(object != nullptr);
}
HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD, LPDWORD) {
    if (fake::scripted_failure("CreateThread")) return nullptr;
    std::thread(start, parameter).detach();
    return fake::new_kernel_object(std::make_shared<fake::KernelObject>());
}
DWORD WaitForSingleObject(HANDLE handle, DWORD bound_ms) {
    const auto object = fake::kernel_object(handle);
    if (!object) return WAIT_FAILED;
    std::unique_lock lock(object->mutex);
    const auto settled = [&] { return object->signalled || object->abandoned; };
    if (bound_ms == INFINITE) {
        object->changed.wait(lock, settled);
    } else if (!object->changed.wait_for(lock, std::chrono::milliseconds(bound_ms), settled)) {
        return WAIT_TIMEOUT;
    }
    if (object->abandoned) return WAIT_FAILED;
    if (!object->manual_reset) object->signalled = false;
    return WAIT_OBJECT_0;
}
BOOL CloseHandle(HANDLE object) {
    return static_cast<BOOL>(fake::close_kernel_object(object));
}

WORD RtlCaptureStackBackTrace(DWORD, DWORD frames_to_capture, PVOID* back_trace, PDWORD) {
    const auto& stack = world().stack;
    const std::size_t count = std::min<std::size_t>(stack.size(), frames_to_capture);
    std::copy_n(stack.begin(), count, back_trace);
    return static_cast<WORD>(count);
}

HWND CreateWindowExW(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
    fake::log("CreateWindowExW");
    if (world().no_windows) return nullptr;
    static std::uintptr_t next_window = 0x5000;
    const auto window = reinterpret_cast<HWND>(next_window++);  // NOLINT(performance-no-int-to-ptr)
    world().windows.insert(window);
    return window;
}

BOOL DestroyWindow(HWND window) {
    fake::log("DestroyWindow");
    return world().windows.erase(window) == 1 ? TRUE : FALSE;
}

BOOL OpenClipboard(HWND owner) {
    fake::log("OpenClipboard");
    if (fake::scripted_failure("OpenClipboard")) return FALSE;
    world().clipboard_open = true;
    world().clipboard_opener = owner;
    return TRUE;
}

BOOL CloseClipboard() {
    fake::log("CloseClipboard");
    const bool was_open = world().clipboard_open;
    world().clipboard_open = false;
    if (fake::scripted_failure("CloseClipboard")) return FALSE;
    if (!was_open) world().last_error = 1418;  // ERROR_CLIPBOARD_NOT_OPEN
    return was_open ? TRUE : FALSE;
}

DWORD GetClipboardSequenceNumber() { return world().clipboard_sequence; }

BOOL EmptyClipboard() {
    fake::log("EmptyClipboard");
    if (fake::scripted_failure("EmptyClipboard")) return FALSE;
    ++world().clipboard_sequence;
    for (const auto& [format, handle] : world().clipboard) fake::free_block(handle);
    world().clipboard.clear();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) {
    fake::log("SetClipboardData(" + std::to_string(format) + ")");
    if (fake::scripted_failure("SetClipboardData")) return nullptr;
    world().clipboard[format] = memory;
    return memory;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    fake::log("IsClipboardFormatAvailable(" + std::to_string(format) + ")");
    return world().clipboard.count(format) != 0 ? TRUE : FALSE;
}

UINT RegisterClipboardFormatW(LPCWSTR format_name) {
    fake::log("RegisterClipboardFormatW");
    if (fake::scripted_failure("RegisterClipboardFormatW")) return 0;
    return world().format_named(format_name);
}

HANDLE GetClipboardData(UINT format) {
    fake::log("GetClipboardData(" + std::to_string(format) + ")");
    if (fake::scripted_failure("GetClipboardData")) return nullptr;
    auto found = world().clipboard.find(format);
    return found == world().clipboard.end() ? nullptr : found->second;
}

// The narrow code page of the stand-in is Latin-1: each byte is the unit of
// the same value.
int MultiByteToWideChar(UINT, DWORD, LPCSTR multi_byte, int bytes, LPWSTR wide, int units) {
    if (wide == nullptr) return bytes;
    const int converted = std::min(bytes, units);
    for (int i = 0; i < converted; ++i) wide[i] = static_cast<unsigned char>(multi_byte[i]);
    return converted;
}

UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT capacity) {
    fake::log("DragQueryFileW(" + std::to_string(static_cast<int>(index)) + "," + std::to_string(capacity) + ")");
    if (world().drag_query) return world().drag_query(drop, index, file, capacity);
    return fake::simulated_drag_query(drop, index, file, capacity);
}

namespace vantle_native::platform {
// Shows what the program wrote to its standard error on the real one, so that
// a death test can match it, and ends the process with the fail-fast code.
void request_fail_fast(unsigned int code) {
    const std::string& report = world().file_bytes[world().standard_error];
    (void)!write(2, report.data(), report.size());
    _exit(static_cast<int>(code));
}
}  // namespace vantle_native::platform
