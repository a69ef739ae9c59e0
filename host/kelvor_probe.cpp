// Helper of the run script on a virtual display: finds the task manager's
// window and writes screen rectangles, or asks the window to close.
//   kelvor-probe window     -> "x y width height" of the window
//   kelvor-probe button N   -> "x y width height" of the window's control N
//   kelvor-probe rows       -> the number of rows in the process list
//   kelvor-probe close      -> posts WM_CLOSE to the window
// Exits 1 when the window (or control) does not exist.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    HWND window = FindWindowA(nullptr, "KELVOR - Task Manager");
    if (!window || argc < 2) return 1;
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
