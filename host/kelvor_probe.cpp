// Helper of the run script on a virtual display: finds the task manager's
// window and writes screen rectangles, or asks the window to close.
//   kelvor-probe window     -> "x y width height" of the window, once it is visible
//   kelvor-probe button N   -> "x y width height" of the window's control N
//   kelvor-probe rows       -> the number of rows in the process list
//   kelvor-probe close      -> posts WM_CLOSE to the window
//   kelvor-probe version F  -> the version resource of file F, one "Name=value" a line
// Exits 1 when the window (or control, or version resource) does not exist.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Prints the fixed file version and the strings Windows shows for the file.
static int PrintVersion(const char* file) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) return 1;
    static char data[16384];
    if (size > sizeof data || !GetFileVersionInfoA(file, 0, size, data)) return 1;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) return 1;
    printf("FILEVERSION=%u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
           unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
           unsigned{LOWORD(fixed->dwFileVersionLS)});
    static const char* const names[] = {"FileVersion", "ProductVersion", "ProductName",
                                        "FileDescription"};
    for (const char* name : names) {
        char query[64];
        snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
        char* value = nullptr;
        if (VerQueryValueA(data, query, reinterpret_cast<void**>(&value), &length) && value) {
            printf("%s=%s\n", name, value);
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "version") == 0) return PrintVersion(argv[2]);
    HWND window = FindWindowA(nullptr, "KELVOR - Task Manager");
    if (!window || argc < 2) return 1;
    if (strcmp(argv[1], "window") == 0 && !IsWindowVisible(window)) return 1;
    if (strcmp(argv[1], "close") == 0) return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (strcmp(argv[1], "rows") == 0) {
        // LVM_GETITEMCOUNT; sent, so it answers once the window's thread is idle again.
        DWORD_PTR rows = 0;
        if (!SendMessageTimeoutA(GetDlgItem(window, 0), 0x1004, 0, 0, SMTO_NORMAL, 10000, &rows)) {
            return 1;
        }
        printf("%lu\n", static_cast<unsigned long>(rows));
        return 0;
    }
    HWND target = window;
    if (strcmp(argv[1], "button") == 0 && argc > 2) {
        target = GetDlgItem(window, atoi(argv[2]));
        if (!target) return 1;
    }
    RECT rect;
    GetWindowRect(target, &rect);
    printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
           rect.bottom - rect.top);
    return 0;
}
