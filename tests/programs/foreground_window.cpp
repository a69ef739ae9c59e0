// Test helper: shows a window of its own and brings it to the foreground, so
// that a test can see the foreground window belong to another process. Runs
// until the test ends it, or a minute at most.
#include <windows.h>

int main() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KelvorForegroundHelper";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "foreground helper",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400, 300, 200, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window) return 1;
    SetForegroundWindow(window);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 60000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
    return 0;
}
