// Times the LIST command on the real task manager window against the bare
// process queries its rows need, for 256 rows. The EnumProcesses slot is given
// a function that repeats the ids of the processes really running until 256
// are listed, so every row still costs real process queries.
//
// Prints the median of several runs of each and the ratios LIST / bare queries.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "frontend/task_manager.h"
#include "lifecycle/module.h"
#include "process/enumeration.h"
#include "process/process_api.h"
#include "runtime/scratch.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"

constexpr int RUNS = 7;
constexpr DWORD ROWS = 256;

static EnumProcessesFn RealEnumProcesses;

static BOOL WINAPI RepeatedEnumProcesses(DWORD* ids, DWORD bytes, DWORD* written) {
    DWORD real[1024];
    DWORD realBytes = 0;
    if (!RealEnumProcesses(real, sizeof real, &realBytes) || realBytes < sizeof(DWORD)) {
        return FALSE;
    }
    DWORD count = realBytes / sizeof(DWORD);
    DWORD wanted = bytes / sizeof(DWORD);
    for (DWORD i = 0; i < wanted; ++i)
        ids[i] = real[i % count];
    *written = wanted * sizeof(DWORD);
    return TRUE;
}

static double Now() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

static void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static int CompareDoubles(const void* a, const void* b) {
    double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
    return x < y ? -1 : x > y;
}

static double Median(double* values, int n) {
    qsort(values, n, sizeof *values, CompareDoubles);
    return values[n / 2];
}

// The queries LIST makes per row, without the list: the baseline.
static double TimeBareQueries() {
    double start = Now();
    SnapshotProcessIds();
    while (NextProcessEntry()) {
        ScratchMark mark;
        EntryProcessName();
        EntryProcessId();
        EntryProcessPath();
        EntryWorkingSet();
    }
    return Now() - start;
}

// One LIST, including the repaint of the window that it causes.
static double TimeList(HWND window) {
    double start = Now();
    ListProcesses();
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
    return Now() - start;
}

int main() {
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
    if (!ModuleReady() || !ProcessApi.enumProcesses) {
        fprintf(stderr, "list_bench: the module did not start or psapi.dll is missing\n");
        return 1;
    }
    BuildMainWindow();
    HWND window = AppWindowHandle(WIN_MAIN);
    if (!window) {
        fprintf(stderr, "list_bench: the main window could not be built\n");
        return 1;
    }
    PumpPending();

    // What a user sees: LIST of the processes that really run now.
    double real[RUNS];
    for (int run = 0; run < RUNS; ++run) real[run] = TimeList(window);
    int running = static_cast<int>(CountRows(LIST_PROCESSES));
    double r = Median(real, RUNS);

    RealEnumProcesses = ProcessApi.enumProcesses;
    ProcessApi.enumProcesses = RepeatedEnumProcesses;

    double bare[RUNS], empty[RUNS], full[RUNS];
    for (int run = 0; run < RUNS; ++run) {
        bare[run] = TimeBareQueries();
        // Start each LIST-into-empty from an empty list.
        while (CountRows(LIST_PROCESSES) > 0)
            RemoveRow(LIST_PROCESSES, 0);
        PumpPending();
        empty[run] = TimeList(window);
        if (CountRows(LIST_PROCESSES) != static_cast<intptr_t>(ROWS)) {
            fprintf(stderr, "list_bench: LIST gave %d rows, not %lu\n",
                    static_cast<int>(CountRows(LIST_PROCESSES)), ROWS);
            return 1;
        }
        full[run] = TimeList(window);
    }
    double b = Median(bare, RUNS), e = Median(empty, RUNS), f = Median(full, RUNS);
    printf("LIST of the %3d processes running now: %8.1f ms\n", running, r);
    printf("rows per LIST below:           %lu\n", ROWS);
    printf("bare process queries:          %8.1f ms\n", b);
    printf("LIST into an empty list:       %8.1f ms   ratio %.2f\n", e, e / b);
    printf("LIST over a list of 256 rows:  %8.1f ms   ratio %.2f\n", f, f / b);
    printf("(median of %d runs each; target ratio <= 1.20)\n", RUNS);
    CloseAppWindow(WIN_MAIN);
    ModuleDetach();
    return 0;
}
