// Times PAUSE (SuspendProcessThreads) and RESUME of a process with 50 threads,
// first on the system as it is and then with about 300 more processes running,
// against a single walk of a thread snapshot that suspends (or resumes) the
// threads it finds, which is what a pause cost when it walked once. Also pauses
// processes that keep starting threads 20 times each and counts the walks each
// pause took (one walk is one thread snapshot), the pauses that failed and those
// that let the process run on.
//
// The children are this program (run as "pause_bench threads N PARENT") and the
// tests' idle_child.exe and counting_child.exe from the same folder.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench_support.h"
#include "lifecycle/module.h"
#include "process/actions.h"
#include "process/process_api.h"

#include "../tests/support/counter_board.h"

constexpr int RUNS = 15;
constexpr int THREADS = 50;
constexpr int IDLE_CHILDREN = 300;
constexpr int CHURN_CHAINS = 16;
// Thread lifetimes of the churning children (16 * 1000 / lifetime threads a
// second at most).
constexpr int CHURN_LIFETIMES_MS[] = {25, 50};
constexpr int CHURN_PAUSES = 20;
constexpr int CHURN_PAUSES_BUSY = 5;
// How long the churning child's counters must stand still to count a pause as held.
constexpr DWORD STILL_MS = 100;

// Thread snapshots taken by the code under test: one per walk.
static LONG Snapshots;
static CreateToolhelp32SnapshotFn RealSnapshot;

static HANDLE WINAPI CountingSnapshot(DWORD flags, DWORD processId) {
    ++Snapshots;
    return RealSnapshot(flags, processId);
}

// One walk of a fresh thread snapshot that applies action to every thread of the
// process: the single-walk pause (SuspendThread) or resume (ResumeThread). Like
// PAUSE, it leaves alone a thread id that has passed to another process's thread
// since the snapshot: the resume walk would never find that thread again.
static int OneWalk(DWORD processId, DWORD(WINAPI* action)(HANDLE)) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        ++found;
        if (!action) continue;
        const DWORD access = THREAD_SUSPEND_RESUME | LIMITED_THREAD_QUERY_ACCESS;
        if (HANDLE thread = OpenThread(access, FALSE, entry.th32ThreadID)) {
            if (ProcessApi.getProcessIdOfThread(thread) == processId) action(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return found;
}

// Processes and threads running now.
static void CountSystem(int* processes, int* threads) {
    *processes = *threads = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        ++*processes;
        *threads += entry.cntThreads;
    }
    CloseHandle(snapshot);
}

// Waits (10 s at most) until the process has the given number of threads.
static bool WaitForThreads(DWORD processId, int threads) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        if (OneWalk(processId, nullptr) == threads) return true;
    }
    return false;
}

// How many of the processes have a thread in a fresh snapshot.
static int CountWithThreads(const DWORD* ids, int count) {
    bool seen[IDLE_CHILDREN] = {};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        for (int i = 0; i < count; ++i) {
            if (ids[i] == entry.th32OwnerProcessID) seen[i] = true;
        }
    }
    CloseHandle(snapshot);
    int n = 0;
    for (int i = 0; i < count; ++i)
        n += seen[i];
    return n;
}

static DWORD WINAPI IdleThread(void*) {
    Sleep(INFINITE);
    return 0;
}

// Child mode: threads in all, until the parent ends.
static int RunThreadsChild(int threads, DWORD parentId) {
    for (int i = 1; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
        if (!thread) return 2;
        CloseHandle(thread);
    }
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}

// Times PAUSE and RESUME of the 50-thread child, a bare snapshot walk and the
// single walks, and prints one line.
static void MeasurePause(DWORD child) {
    HANDLE process = OpenProcess(SUSPEND_ACCESS | LIMITED_QUERY_ACCESS, FALSE, child);
    double bare[RUNS], pause[RUNS], resume[RUNS], walkPause[RUNS], walkResume[RUNS];
    LONG walks = 0, failures = 0;
    for (int run = 0; run < RUNS; ++run) {
        double start = Now();
        OneWalk(child, nullptr);
        bare[run] = Now() - start;

        start = Now();
        LONG before = Snapshots;
        failures += !PauseProcess(process, child);
        pause[run] = Now() - start;
        walks += Snapshots - before;
        start = Now();
        failures += !ResumeProcess(process, child);
        resume[run] = Now() - start;

        start = Now();
        OneWalk(child, SuspendThread);
        walkPause[run] = Now() - start;
        start = Now();
        OneWalk(child, ResumeThread);
        walkResume[run] = Now() - start;
    }
    int processes, threads;
    CountSystem(&processes, &threads);
    double p = Median(pause, RUNS), r = Median(resume, RUNS);
    double wp = Median(walkPause, RUNS), wr = Median(walkResume, RUNS);
    printf("%9d %8d | %7.1f ms | %7.1f ms %4.1f walks | %7.1f ms | %7.1f ms %7.1f ms | "
           "%5.2f %5.2f%s\n",
           processes, threads, Median(bare, RUNS), p, static_cast<double>(walks) / RUNS, r, wp, wr,
           p / wp, r / wr, failures ? "  (some calls failed!)" : "");
}

// Starts a churning child whose threads live lifetimeMs, pauses it `pauses` times
// and prints the walks each pause took, how long it took, the pauses that failed
// and those that succeeded but let the child run on.
static void MeasureChurn(int lifetimeMs, int pauses) {
    char boardName[64], arguments[128];
    wsprintfA(boardName, "pause-bench-%lu-%d", GetCurrentProcessId(), lifetimeMs);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(CounterBoard), boardName);
    auto* board = static_cast<CounterBoard*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    wsprintfA(arguments, "%lu %s %d %d", GetCurrentProcessId(), boardName, CHURN_CHAINS,
              lifetimeMs);
    DWORD child = 0;
    HANDLE process = board ? StartBeside("counting_child.exe", arguments, &child) : nullptr;
    if (!process) {
        printf("churning child: could not be started\n");
        return;
    }
    // Every chain starts, then the child runs free for a second to measure its rate.
    Sleep(300);
    LONG started = board->threadsStarted;
    double begin = Now();
    Sleep(1000);
    double rate = (board->threadsStarted - started) * 1000.0 / (Now() - begin);

    double times[CHURN_PAUSES], walks[CHURN_PAUSES];
    int failed = 0, ranOn = 0;
    for (int round = 0; round < pauses; ++round) {
        LONG before = Snapshots;
        double start = Now();
        int paused = PauseProcess(process, child);
        times[round] = Now() - start;
        walks[round] = Snapshots - before;
        LONG counters[COUNTER_BOARD_MAX_THREADS];
        memcpy(counters, const_cast<const LONG*>(board->counters), sizeof counters);
        Sleep(STILL_MS);
        bool moved =
            memcmp(counters, const_cast<const LONG*>(board->counters), sizeof counters) != 0;
        failed += !paused;
        ranOn += paused && moved;
        if (paused) ResumeProcess(process, child);
        Sleep(STILL_MS);
    }
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    UnmapViewOfFile(board);
    CloseHandle(mapping);

    double t = Median(times, pauses), w = Median(walks, pauses);
    double tMax = times[pauses - 1], wMin = walks[0], wMax = walks[pauses - 1];
    printf("churning child, %d chains of %d ms threads (%.0f threads/s):\n", CHURN_CHAINS,
           lifetimeMs, rate);
    printf("  %d pauses: walks min %.0f median %.0f max %.0f; PAUSE median %.0f ms, max %.0f "
           "ms; failed %d; paused but ran on %d\n",
           pauses, wMin, w, wMax, t, tMax, failed, ranOn);
    printf("  walks per pause, sorted:");
    for (int i = 0; i < pauses; ++i)
        printf(" %.0f", walks[i]);
    printf("\n");
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "threads") == 0) {
        return RunThreadsChild(atoi(argv[2]), strtoul(argv[3], nullptr, 10));
    }
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
    if (!ModuleReady() || !ProcessApi.createToolhelp32Snapshot ||
        !ProcessApi.getProcessIdOfThread) {
        fprintf(stderr, "pause_bench: the module did not start, or tool help or "
                        "GetProcessIdOfThread is missing\n");
        return 1;
    }
    RealSnapshot = ProcessApi.createToolhelp32Snapshot;
    ProcessApi.createToolhelp32Snapshot = CountingSnapshot;

    char arguments[64];
    wsprintfA(arguments, "threads %d %lu", THREADS, GetCurrentProcessId());
    DWORD threadsChildId = 0;
    HANDLE threadsChild = StartBeside("pause_bench.exe", arguments, &threadsChildId);
    if (!threadsChild || !WaitForThreads(threadsChildId, THREADS)) {
        fprintf(stderr, "pause_bench: the child with %d threads did not start\n", THREADS);
        return 1;
    }

    printf("PAUSE and RESUME of a process with %d threads (median of %d runs each), against\n"
           "one walk that suspends / resumes the threads it finds (what they cost before):\n",
           THREADS, RUNS);
    printf("processes  threads | snapshot |  PAUSE, walks taken  |  RESUME   | one walk: "
           "suspend  resume | ratios\n");
    MeasurePause(threadsChildId);
    for (int lifetimeMs : CHURN_LIFETIMES_MS)
        MeasureChurn(lifetimeMs, CHURN_PAUSES);

    HANDLE idle[IDLE_CHILDREN];
    DWORD idleIds[IDLE_CHILDREN];
    int started = 0;
    wsprintfA(arguments, "%lu", GetCurrentProcessId());
    while (started < IDLE_CHILDREN &&
           (idle[started] = StartBeside("idle_child.exe", arguments, &idleIds[started]))) {
        ++started;
    }
    // Each child is running once its one thread shows in a snapshot.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(100)) {
        if (CountWithThreads(idleIds, started) == started) break;
    }
    printf("\nwith %d idle processes more:\n", started);
    MeasurePause(threadsChildId);
    // Fewer pauses here: each failing one takes every walk it may.
    for (int lifetimeMs : CHURN_LIFETIMES_MS)
        MeasureChurn(lifetimeMs, CHURN_PAUSES_BUSY);

    for (int i = 0; i < started; ++i) {
        TerminateProcess(idle[i], 0);
        CloseHandle(idle[i]);
    }
    TerminateProcess(threadsChild, 0);
    ProcessApi.createToolhelp32Snapshot = RealSnapshot;
    ModuleDetach();
    return 0;
}
