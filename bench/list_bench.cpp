// Times the LIST command on the real task manager window against the bare
// process queries its rows need, with about 300 real processes running: the
// benchmark starts idle children (32-bit and, on 64-bit Windows, 64-bit ones, so
// that some rows need the image-name query) until that many run.
//
// Prints the median of several runs of each and the ratios LIST / bare queries.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench_support.h"
#include "frontend/task_manager.h"
#include "lifecycle/module.h"
#include "process/enumeration.h"
#include "process/identity.h"
#include "process/process_api.h"
#include "runtime/scratch.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"

constexpr int RUNS = 7;
// How many processes the benchmark makes run, counting those that run already.
constexpr int32_t PROCESSES = 300;
constexpr int MAX_CHILDREN = PROCESSES;

static HANDLE Children[MAX_CHILDREN];
static int ChildCount = 0;

static bool SystemIs64Bit() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// Starts an idle child from this program's folder that ends with this process.
static bool StartChild(const char* program) {
    char arguments[16];
    wsprintfA(arguments, "%lu", GetCurrentProcessId());
    HANDLE process = StartBeside(program, arguments, nullptr);
    if (!process) return false;
    Children[ChildCount++] = process;
    return true;
}

static void EndChildren() {
    for (int i = 0; i < ChildCount; ++i) {
        TerminateProcess(Children[i], 0);
        WaitForSingleObject(Children[i], 5000);
        CloseHandle(Children[i]);
    }
    ChildCount = 0;
}

static void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The queries LIST makes per row, without the list: the baseline.
static double TimeBareQueries(int32_t& rows) {
    double start = Now();
    rows = SnapshotProcessIds();
    while (NextProcessEntry()) {
        ScratchMark mark;
        EntryProcessName();
        ProcessCreationTime(EntryProcessId());
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

    const bool wide = SystemIs64Bit();
    int started = 0;
    for (int32_t running = SnapshotProcessIds(); running + started < PROCESSES; ++started) {
        const char* program = wide && started % 2 ? "idle_child64.exe" : "idle_child32.exe";
        if (!StartChild(program)) {
            fprintf(stderr, "list_bench: cannot start %s\n", program);
            EndChildren();
            return 1;
        }
    }
    // Let the children finish starting, so that every run sees the same processes.
    Sleep(2000);
    ListProcesses();
    PumpPending();

    double bare[RUNS], empty[RUNS], full[RUNS];
    int32_t snapshot = 0;
    intptr_t listed = 0;
    for (int run = 0; run < RUNS; ++run) {
        bare[run] = TimeBareQueries(snapshot);
        // Start each LIST-into-empty from an empty list.
        while (CountRows(LIST_PROCESSES) > 0)
            RemoveRow(LIST_PROCESSES, 0);
        PumpPending();
        empty[run] = TimeList(window);
        full[run] = TimeList(window);
        listed = CountRows(LIST_PROCESSES);
    }
    EndChildren();
    double b = Median(bare, RUNS), e = Median(empty, RUNS), f = Median(full, RUNS);
    printf("processes running:             %d (%d started here%s)\n", static_cast<int>(snapshot),
           started, wide ? ", half of them 64-bit" : "");
    printf("rows listed by the last LIST:  %d\n", static_cast<int>(listed));
    printf("bare process queries:          %8.1f ms\n", b);
    printf("LIST into an empty list:       %8.1f ms   ratio %.2f\n", e, e / b);
    printf("LIST over a full list:         %8.1f ms   ratio %.2f\n", f, f / b);
    printf("(median of %d runs each; target ratio <= 1.20)\n", RUNS);
    CloseAppWindow(WIN_MAIN);
    ModuleDetach();
    return 0;
}
