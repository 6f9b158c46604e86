/* The speed baseline: the same Win32 calls as vantle_native.exe for one job,
 * with no argument parsing beyond finding the option, no checks and no
 * formatting.
 *
 *   baseline --copy_files VALUE   (VALUE the last thing on the command line)
 *   baseline --read_files
 */
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string.h>

static void copy_files(const wchar_t *value) {
    size_t units = wcslen(value);
    /* Header, the value with each ";;;" turned into one 0 unit, two 0 units. */
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + (units + 2) * sizeof(wchar_t));
    DROPFILES *drop = GlobalLock(block);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    wchar_t *out = (wchar_t *)(drop + 1);
    for (size_t i = 0; i < units; ++i) {
        if (i + 2 < units && value[i] == L';' && value[i + 1] == L';' && value[i + 2] == L';') {
            *out++ = 0;
            i += 2;
        } else {
            *out++ = value[i];
        }
    }
    GlobalUnlock(block);
    OpenClipboard(NULL);
    EmptyClipboard();
    SetClipboardData(CF_HDROP, block);
    CloseClipboard();
}

static void read_files(void) {
    static wchar_t name[32768];
    static char line[3 * 32768 + 1];
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    OpenClipboard(NULL);
    HANDLE data = GetClipboardData(CF_HDROP);
    HDROP drop = GlobalLock(data);
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, NULL, 0);
        DragQueryFileW(drop, i, name, length + 1);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, name, (int)length, line, sizeof line - 1, NULL, NULL);
        line[bytes++] = '\n';
        DWORD written;
        WriteFile(out, line, (DWORD)bytes, &written, NULL);
    }
    GlobalUnlock(data);
    CloseClipboard();
}

int main(void) {
    const wchar_t *line = GetCommandLineW();
    const wchar_t *copy = wcsstr(line, L"--copy_files ");
    if (copy != NULL) {
        copy_files(copy + wcslen(L"--copy_files "));
    } else if (wcsstr(line, L"--read_files") != NULL) {
        read_files();
    }
    return 0;
}
