// Helper of the run script on a virtual display: finds the task manager's
// window and writes screen rectangles, or asks the window to close.
//   kelvor-probe window     -> "x y width height" of the window, once it is visible
//   kelvor-probe button N   -> "x y width height" of the window's control N
//   kelvor-probe rows       -> the number of rows in the process list
//   kelvor-probe cells      -> "name<TAB>file" of every row of the list, as UTF-8
//   kelvor-probe click N    -> clicks the window's button N (posts its BN_CLICKED)
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

// Prints wide text as UTF-8, whatever the code page; false when it is empty.
static bool PrintUtf8(const wchar_t* text) {
    static char utf8[3 * 32768];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    if (bytes <= 1) return false;
    fwrite(utf8, 1, bytes - 1, stdout);
    return true;
}

static int PrintBoxText(HWND box) {
    static wchar_t text[32768];
    text[0] = L'\0';
    EnumChildWindows(box, KeepLongestText, reinterpret_cast<LPARAM>(text));
    if (!PrintUtf8(text)) return 1;
    putchar('\n');
    return 0;
}

// Prints the Name and File cells of every row, read as wide text. The list is
// another process's control: the item and the buffer that it fills lie in that
// process's memory.
static int PrintCells(HWND list) {
    constexpr int TEXT_CHARS = 1024;
    struct Remote {
        LVITEMW item;
        wchar_t text[TEXT_CHARS];
    };
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return 1;
    auto* remote = static_cast<Remote*>(
        VirtualAllocEx(process, nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
    DWORD_PTR rows = 0;
    bool read = remote && SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL,
                                              SEND_TIMEOUT_MS, &rows);
    const intptr_t columns[] = {COL_NAME, COL_FILE};
    for (DWORD_PTR row = 0; read && row < rows; ++row) {
        for (intptr_t column : columns) {
            LVITEMW item = {};
            item.iSubItem = static_cast<int>(column);
            item.pszText = remote->text;
            item.cchTextMax = TEXT_CHARS;
            static wchar_t text[TEXT_CHARS];
            DWORD_PTR length = 0;
            read = WriteProcessMemory(process, &remote->item, &item, sizeof item, nullptr) &&
                   SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row,
                                       reinterpret_cast<LPARAM>(&remote->item), SMTO_NORMAL,
                                       SEND_TIMEOUT_MS, &length) &&
                   ReadProcessMemory(process, remote->text, text, sizeof text, nullptr);
            if (!read) break;
            text[TEXT_CHARS - 1] = L'\0';
            PrintUtf8(text);
            putchar(column == COL_NAME ? '\t' : '\n');
        }
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return read ? 0 : 1;
}

// Posts the click of button id to the window (a box or the task manager), as the
// button reports one; 0, or 1 when there is no such button.
static int PostClick(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (!button) return 1;
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button))
               ? 0
               : 1;
}

int main(int argc, char** argv) {
    if (argc > 2 && strcmp(argv[1], "version") == 0) return PrintVersion(argv[2]);
    if (argc > 2 && (strcmp(argv[1], "box") == 0 || strcmp(argv[1], "press") == 0)) {
        HWND box = FindWindowA(DIALOG_CLASS, argv[2]);
        if (!box || !IsWindowVisible(box)) return 1;
        if (argv[1][0] == 'b') return PrintBoxText(box);
        return argc > 3 ? PostClick(box, atoi(argv[3])) : 1;
    }
    HWND window = FindWindowA(nullptr, MAIN_WINDOW_TITLE);
    if (!window || argc < 2) return 1;
    if (strcmp(argv[1], "window") == 0 && !IsWindowVisible(window)) return 1;
    if (strcmp(argv[1], "close") == 0) return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    HWND list = GetDlgItem(window, static_cast<int>(LIST_PROCESSES));
    if (strcmp(argv[1], "cells") == 0) return PrintCells(list);
    if (strcmp(argv[1], "click") == 0 && argc > 2) return PostClick(window, atoi(argv[2]));
    if (strcmp(argv[1], "rows") == 0) {
        // Sent, so it answers once the window's thread is idle again.
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
