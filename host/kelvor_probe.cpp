// Helper of the run script on a virtual display: finds the task manager's
// window and writes screen rectangles, or asks the window to close.
//   kelvor-probe window     -> "x y width height" of the window, once it is visible
//   kelvor-probe button N   -> "x y width height" of the window's control N
//   kelvor-probe rows       -> the number of rows in the process list
//   kelvor-probe close      -> posts WM_CLOSE to the window
//   kelvor-probe version F  -> the version resource of file F, one "Name=value" a line
//   kelvor-probe box T      -> the text of the visible message box titled T, as UTF-8
//   kelvor-probe press T N  -> presses button N (IDOK 1, IDYES 6, IDNO 7) of that box
// Exits 1 when the window (or control, or version resource, or box) does not exist.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "frontend/main_window.h"

// The system's class of dialog boxes, message boxes among them.
constexpr char DIALOG_CLASS[] = "#32770";
// How long a message sent to another process's window may take.
constexpr UINT SEND_TIMEOUT_MS = 10000;

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

// Keeps the longest text of the box's static controls: the message (the other
// static holds the icon and no text).
static BOOL CALLBACK KeepLongestText(HWND child, LPARAM longest) {
    char name[16];
    if (!GetClassNameA(child, name, sizeof name) || lstrcmpiA(name, "Static") != 0) return TRUE;
    static wchar_t text[32768];
    DWORD_PTR length = 0;
    // Sent: another process's control answers only WM_GETTEXT, not GetWindowText.
    if (SendMessageTimeoutW(child, WM_GETTEXT, 32768, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            SEND_TIMEOUT_MS, &length) &&
        static_cast<int>(length) > lstrlenW(reinterpret_cast<wchar_t*>(longest))) {
        lstrcpyW(reinterpret_cast<wchar_t*>(longest), text);
    }
    return TRUE;
}

static int PrintBoxText(HWND box) {
    static wchar_t text[32768];
    static char utf8[3 * 32768];
    text[0] = L'\0';
    EnumChildWindows(box, KeepLongestText, reinterpret_cast<LPARAM>(text));
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    if (bytes <= 1) return 1;
    fwrite(utf8, 1, bytes - 1, stdout);
    putchar('\n');
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "version") == 0) return PrintVersion(argv[2]);
    if (argc > 2 && (strcmp(argv[1], "box") == 0 || strcmp(argv[1], "press") == 0)) {
        HWND box = FindWindowA(DIALOG_CLASS, argv[2]);
        if (!box || !IsWindowVisible(box)) return 1;
        if (argv[1][0] == 'b') return PrintBoxText(box);
        if (argc < 4) return 1;
        HWND button = GetDlgItem(box, atoi(argv[3]));
        if (!button) return 1;
        return PostMessageA(box, WM_COMMAND, MAKEWPARAM(atoi(argv[3]), BN_CLICKED),
                            reinterpret_cast<LPARAM>(button))
                   ? 0
                   : 1;
    }
    HWND window = FindWindowA(nullptr, MAIN_WINDOW_TITLE);
    if (!window || argc < 2) return 1;
    if (strcmp(argv[1], "window") == 0 && !IsWindowVisible(window)) return 1;
    if (strcmp(argv[1], "close") == 0) return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (strcmp(argv[1], "rows") == 0) {
        // Sent, so it answers once the window's thread is idle again.
        HWND list = GetDlgItem(window, static_cast<int>(LIST_PROCESSES));
        DWORD_PTR rows = 0;
        if (!SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &rows)) {
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
