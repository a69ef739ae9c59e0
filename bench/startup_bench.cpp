// Times the task manager's start-up, from LoadLibrary of kelvor.dll until its
// window is visible, against a bare Win32 program's window of the same style and
// size (register a class, create and show the window, run a message loop),
// started alternately in the same run, each on a thread of its own. Also timed:
// until the window's thread is back in its message loop, ready for input (for
// the task manager, once its list and buttons are built too).
//
// kelvor.dll is freed after each start, so every start loads and starts it
// afresh. The system libraries in its import table are loaded once beforehand,
// as a program that imports them has them loaded at its start, the way the bare
// program has user32 and gdi32: their one-time load is printed on its own.
//
// Prints the median of several starts of each and the ratios kelvor / bare.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench_support.h"
#include "frontend/main_window.h"

constexpr int RUNS = 15;
constexpr const char* BARE_CLASS = "StartupBenchBare";
// The task manager's window: WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, a client
// area of 600 x 300 at (216, 0).
constexpr DWORD WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr RECT CLIENT = {216, 0, 216 + 600, 0 + 300};

using MainFn = int (*)();

static HANDLE Shown;
static HWND ShownWindow;
static double ShownAt;

// Watches the started thread for the first top-level window it shows.
static LRESULT CALLBACK WatchShow(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam &&
        !(GetWindowLongA(message->hwnd, GWL_STYLE) & WS_CHILD) && !ShownWindow) {
        ShownWindow = message->hwnd;
        ShownAt = Now();
        SetEvent(Shown);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

static LRESULT CALLBACK BareWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The baseline program's whole life: class, window, message loop.
static DWORD WINAPI RunBare(void*) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = BARE_CLASS;
    if (!RegisterClassA(&windowClass)) return 1;
    RECT rect = CLIENT;
    AdjustWindowRect(&rect, WINDOW_STYLE, FALSE);
    HWND hwnd = CreateWindowExA(0, BARE_CLASS, "bare", WINDOW_STYLE | WS_VISIBLE, rect.left,
                                rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (!hwnd) return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    UnregisterClassA(BARE_CLASS, windowClass.hInstance);
    return 0;
}

static DWORD WINAPI RunMain(void* entry) {
    return static_cast<DWORD>(reinterpret_cast<MainFn>(entry)());
}

struct Start {
    double shown; // ms from the start until the window was shown
    double ready; // ms from the start until its thread took messages again
};

// Starts the thread, waits for its window to show and for the thread to come
// back to its message loop; then closes the window and waits for the thread.
// False when any of it fails.
static bool TimeWindow(LPTHREAD_START_ROUTINE run, void* argument, double start, Start& out) {
    ShownWindow = nullptr;
    ResetEvent(Shown);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, run, argument, CREATE_SUSPENDED, &threadId);
    if (!thread) return false;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchShow, nullptr, threadId);
    ResumeThread(thread);
    bool ok = false;
    DWORD_PTR ignored;
    // A sent message is handled once the window's thread takes messages again.
    if (hook && WaitForSingleObject(Shown, 10000) == WAIT_OBJECT_0 &&
        SendMessageTimeoutA(ShownWindow, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored)) {
        out.ready = Now() - start;
        out.shown = ShownAt - start;
        ok = true;
    }
    if (hook) UnhookWindowsHookEx(hook);
    if (ShownWindow) PostMessageA(ShownWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0) ok = false;
    CloseHandle(thread);
    return ok;
}

static bool TimeKelvor(const char* path, Start& out) {
    double start = Now();
    HMODULE library = LoadLibraryA(path);
    if (!library) return false;
    void* entry = reinterpret_cast<void*>(GetProcAddress(library, "Main"));
    bool ok = entry && TimeWindow(RunMain, entry, start, out);
    FreeLibrary(library);
    return ok;
}

static bool TimeBare(Start& out) {
    return TimeWindow(RunBare, nullptr, Now(), out);
}

int main() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = n && n < MAX_PATH ? strrchr(path, '\\') : nullptr;
    if (!slash || slash + sizeof "kelvor.dll" > path + MAX_PATH) return 2;
    lstrcpyA(slash + 1, "kelvor.dll");
    Shown = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    double start = Now();
    static const char* const imports[] = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                          "comctl32.dll", "advapi32.dll", "msvcrt.dll"};
    for (const char* name : imports) {
        if (!LoadLibraryA(name)) return 2;
    }
    double importsMs = Now() - start;

    Start warm, kelvor[RUNS], bare[RUNS];
    // One start of each first, not counted: the first window of a process pays
    // for the system's own one-time set-up.
    bool ok = TimeKelvor(path, warm) && TimeBare(warm);
    for (int run = 0; ok && run < RUNS; ++run) {
        ok = TimeKelvor(path, kelvor[run]) && TimeBare(bare[run]);
    }
    if (!ok) {
        fprintf(stderr, "startup_bench: a window did not start or close\n");
        return 1;
    }
    double kelvorShown[RUNS], kelvorReady[RUNS], bareShown[RUNS], bareReady[RUNS];
    for (int run = 0; run < RUNS; ++run) {
        kelvorShown[run] = kelvor[run].shown;
        kelvorReady[run] = kelvor[run].ready;
        bareShown[run] = bare[run].shown;
        bareReady[run] = bare[run].ready;
    }
    double ks = Median(kelvorShown, RUNS), kr = Median(kelvorReady, RUNS);
    double bs = Median(bareShown, RUNS), br = Median(bareReady, RUNS);
    printf("bare window, from the class:    visible %7.2f ms   ready %7.2f ms\n", bs, br);
    printf("kelvor.dll, from LoadLibrary:   visible %7.2f ms   ready %7.2f ms\n", ks, kr);
    printf("ratio kelvor / bare:            visible %7.2f      ready %7.2f\n", ks / bs, kr / br);
    printf("(median of %d starts each; target ratio to visible <= 1.50)\n", RUNS);
    printf("first load of the system libraries kelvor.dll imports, once: %.2f ms\n", importsMs);
    return 0;
}
