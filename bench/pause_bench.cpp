// Times PAUSE (PauseProcess) and RESUME (ResumeProcess) against the bare calls
// that they are built on, NtSuspendProcess and NtResumeProcess, made on the same
// process in the same round, and counts what went wrong: pauses that failed,
// pauses after which the process ran on, and rounds after which a thread did not
// run again. Each series runs both ways that PAUSE and RESUME know: the
// process-wide calls, which suspend the process in one call and confirm on its
// handle that every thread stopped, and the walks of thread snapshots that remain
// for systems without those calls (their slots emptied here, as on such a system).
//
// The processes: one with 50 idle threads, on the system as it is and with about
// 300 idle processes more; then, with those 300 still running, two that keep
// starting threads (16 chains of threads living 25 or 50 ms), paused and resumed
// 20 rounds each the process-wide way and 10 by snapshot walks (a failing pause
// by walks takes up to 3 s). A process ran on when its counters moved in the
// 100 ms after the pause, or one of its threads was not suspended; it runs again
// when every thread's suspend count is 0 and every chain's counter moves.
//
// Prints one table: medians of the rounds, and of each round's ratio of PAUSE to
// the bare NtSuspendProcess and of RESUME to the bare NtResumeProcess.
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
#include "process/holding.h"
#include "process/process_api.h"
#include "process/threads.h"

#include "support/counter_board.h"

constexpr int RUNS = 15;
constexpr int THREADS = 50;
constexpr int IDLE_CHILDREN = 300;
constexpr int CHURN_CHAINS = 16;
// Thread lifetimes of the churning children (16 * 1000 / lifetime threads a
// second at most).
constexpr int CHURN_LIFETIMES_MS[] = {25, 50};
constexpr int CHURN_ROUNDS = 20;
constexpr int CHURN_ROUNDS_BY_WALKS = 10;
constexpr int MAX_ROUNDS = 20;
// How long a churning child's counters must stand still to count a pause as held.
constexpr DWORD STILL_MS = 100;
// How long every chain of a churning child has to show that it counts again.
constexpr DWORD RUN_AGAIN_MS = 2000;
constexpr int MAX_ROWS = 8;
// How many held threads a read of a process's threads names.
constexpr int MAX_HELD_IDS = 64;

// The binding table as bound, with the real entry points: the bare calls and the
// checks use these whatever slots a series empties.
static ProcessApiTable Bound;

// Walks of the threads that the code under test starts: thread snapshots, and
// walks of a process's threads on its handle (NtGetNextThread from the first).
static LONG Walks;

static HANDLE WINAPI CountingSnapshot(DWORD flags, DWORD processId) {
    ++Walks;
    return Bound.createToolhelp32Snapshot(flags, processId);
}

static LONG WINAPI CountingNextThread(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                      ULONG attributes, ULONG flags, HANDLE* next) {
    if (!thread) ++Walks;
    return Bound.ntGetNextThread(process, thread, access, attributes, flags, next);
}

enum class Way { ProcessWide, SnapshotWalks };

// Puts the counting slots in place and, for the snapshot walks, empties the slots
// of the process-wide calls, as on a system without them.
static void UseWay(Way way) {
    ProcessApi.createToolhelp32Snapshot = CountingSnapshot;
    ProcessApi.ntGetNextThread = CountingNextThread;
    if (way == Way::SnapshotWalks) {
        ProcessApi.ntSuspendProcess = nullptr;
        ProcessApi.ntResumeProcess = nullptr;
        ProcessApi.ntGetNextThread = nullptr;
    }
}

// A process under measurement, held as PAUSE holds a row's process.
struct Subject {
    HANDLE process;
    DWORD id;
    const CounterBoard* board; // null for a child without counters
};

// What one read of a process's threads found: the threads that run (suspend count
// 0) and those that are held (1 or more), on its handle with the real
// NtGetNextThread; threads that have ended are passed over. The ids of held threads
// are asked only where needed: that is one more request per thread.
struct ThreadCounts {
    bool read; // every thread was walked and its count read
    int running, held;
    DWORD heldIds[MAX_HELD_IDS]; // the first MAX_HELD_IDS held threads
};

static ThreadCounts CountThreads(HANDLE process, bool heldIds = false) {
    ThreadCounts counts = {};
    counts.read = true;
    HANDLE thread = nullptr;
    for (;;) {
        HANDLE next = nullptr;
        const LONG status =
            Bound.ntGetNextThread(process, thread, THREAD_STATE_ACCESS, 0, 0, &next);
        if (thread) CloseHandle(thread);
        if (status < 0) {
            counts.read &= status == STATUS_NO_MORE_ENTRIES;
            return counts;
        }
        thread = next;
        const LONG count = SuspendCount(thread);
        if (count > 0) {
            if (heldIds && counts.held < MAX_HELD_IDS) {
                counts.heldIds[counts.held] = GetThreadId(thread);
            }
            ++counts.held;
        } else if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
            counts.read &= count == 0;
            counts.running += count == 0;
        }
    }
}

static void ReadCounters(const CounterBoard* board, LONG* counters) {
    for (int i = 0; i < CHURN_CHAINS; ++i)
        counters[i] = board->counters[i];
    counters[CHURN_CHAINS] = board->threadsStarted;
}

// Whether the paused process ran on: its counters moved within STILL_MS, or a
// thread of it is not suspended. lookMs gets the time of that read of every
// thread's suspend count.
static bool RanOn(const Subject& subject, double* lookMs) {
    LONG before[CHURN_CHAINS + 1] = {}, after[CHURN_CHAINS + 1] = {};
    if (subject.board) {
        ReadCounters(subject.board, before);
        Sleep(STILL_MS);
        ReadCounters(subject.board, after);
    }
    const double start = Now();
    const ThreadCounts counts = CountThreads(subject.process);
    *lookMs = Now() - start;
    return !counts.read || counts.running > 0 || counts.held == 0 ||
           memcmp(before, after, sizeof before) != 0;
}

// Whether every thread of the process runs again: every chain's counter moves
// within RUN_AGAIN_MS, and no thread stays suspended. A new thread shows a count of
// 1 for a moment: CreateThread makes it suspended and then lets it go, and a pause
// can stop the creating thread between the two; only a thread still held STILL_MS
// later, after every chain moved, counts.
static bool RunsAgain(const Subject& subject) {
    const ThreadCounts first = CountThreads(subject.process, true);
    if (!first.read || first.running == 0) return false;
    bool moved = true;
    if (subject.board) {
        LONG start[CHURN_CHAINS + 1], now[CHURN_CHAINS + 1];
        ReadCounters(subject.board, start);
        for (DWORD begin = GetTickCount();; Sleep(10)) {
            ReadCounters(subject.board, now);
            int chains = 0;
            for (int i = 0; i < CHURN_CHAINS; ++i)
                chains += now[i] != start[i];
            moved = chains == CHURN_CHAINS;
            if (moved || GetTickCount() - begin >= RUN_AGAIN_MS) break;
        }
    }
    if (first.held == 0 || !moved) return moved;
    Sleep(STILL_MS);
    const ThreadCounts later = CountThreads(subject.process, true);
    if (!later.read) return false;
    if (first.held > MAX_HELD_IDS) return later.held == 0;
    for (int i = 0; i < first.held; ++i) {
        for (int j = 0; j < later.held && j < MAX_HELD_IDS; ++j) {
            if (first.heldIds[i] == later.heldIds[j]) return false;
        }
    }
    return true;
}

// One line of the table.
struct Row {
    char process[64];
    Way way;
    int rounds;
    double bareSuspend, bareResume, look, pause, pauseMax, resume;
    double pauseRatio, resumeRatio; // medians of the rounds' ratios; 0 without a resume
    double walks, walksMax;
    int failed, ranOn, notRunning, bareRanOn, bareNotRunning;
};
static Row Rows[MAX_ROWS];
static int RowCount = 0;

// Pauses and resumes the process `rounds` times the given way, each round after a
// bare NtSuspendProcess and NtResumeProcess on it, and adds a line to the table.
static void Measure(const Subject& subject, const char* label, Way way, int rounds) {
    double bareSuspend[MAX_ROUNDS], bareResume[MAX_ROUNDS], pause[MAX_ROUNDS], walks[MAX_ROUNDS];
    double resume[MAX_ROUNDS], pauseRatio[MAX_ROUNDS], resumeRatio[MAX_ROUNDS], look[MAX_ROUNDS];
    Row& row = Rows[RowCount++];
    row = Row{};
    lstrcpynA(row.process, label, sizeof row.process);
    row.way = way;
    row.rounds = rounds;
    int resumes = 0;
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        Bound.ntSuspendProcess(subject.process);
        bareSuspend[round] = Now() - start;
        row.bareRanOn += RanOn(subject, &look[round]);
        start = Now();
        Bound.ntResumeProcess(subject.process);
        bareResume[round] = Now() - start;
        row.bareNotRunning += !RunsAgain(subject);

        UseWay(way);
        const LONG walksBefore = Walks;
        start = Now();
        const bool paused = PauseProcess(subject.process, subject.id);
        pause[round] = Now() - start;
        walks[round] = Walks - walksBefore;
        pauseRatio[round] = pause[round] / bareSuspend[round];
        bool resumed = true;
        if (paused) {
            double unused;
            row.ranOn += RanOn(subject, &unused);
            start = Now();
            resumed = ResumeProcess(subject.process, subject.id);
            resume[resumes] = Now() - start;
            resumeRatio[resumes] = resume[resumes] / bareResume[round];
            ++resumes;
        } else {
            ++row.failed;
        }
        ProcessApi = Bound;
        // A failed pause must have let every thread go too.
        row.notRunning += !RunsAgain(subject) || !resumed;
    }
    row.bareSuspend = Median(bareSuspend, rounds);
    row.bareResume = Median(bareResume, rounds);
    row.look = Median(look, rounds);
    row.pause = Median(pause, rounds);
    row.pauseMax = pause[rounds - 1];
    row.pauseRatio = Median(pauseRatio, rounds);
    row.walks = Median(walks, rounds);
    row.walksMax = walks[rounds - 1];
    if (resumes > 0) {
        row.resume = Median(resume, resumes);
        row.resumeRatio = Median(resumeRatio, resumes);
    }
}

// Holds the child as PAUSE holds a row's process: by its id and creation time,
// with SUSPEND_ACCESS.
static HANDLE Hold(HANDLE child, DWORD id) {
    return HoldProcess({id, HandleCreationTime(child)}, SUSPEND_ACCESS);
}

// Processes and threads running now.
static void CountSystem(int* processes, int* threads) {
    *processes = *threads = 0;
    HANDLE snapshot = Bound.createToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        ++*processes;
        *threads += entry.cntThreads;
    }
    CloseHandle(snapshot);
}

// Times both ways on the 50-thread child, RUNS rounds each.
static void MeasureThreadsChild(HANDLE child, DWORD id) {
    Subject subject = {Hold(child, id), id, nullptr};
    if (!subject.process) {
        printf("the %d-thread child could not be held\n", THREADS);
        return;
    }
    int processes = 0, threads = 0;
    CountSystem(&processes, &threads);
    char label[64];
    wsprintfA(label, "%d threads; %d processes", THREADS, processes);
    Measure(subject, label, Way::ProcessWide, RUNS);
    Measure(subject, label, Way::SnapshotWalks, RUNS);
    ReleaseProcess(subject.process);
}

// Starts a churning child whose threads live lifetimeMs, measures both ways on it
// and ends it.
static void MeasureChurn(int lifetimeMs) {
    char boardName[64], arguments[128];
    wsprintfA(boardName, "pause-bench-%lu-%d", GetCurrentProcessId(), lifetimeMs);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(CounterBoard), boardName);
    auto* board = static_cast<CounterBoard*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    wsprintfA(arguments, "%lu %s %d %d", GetCurrentProcessId(), boardName, CHURN_CHAINS,
              lifetimeMs);
    DWORD id = 0;
    HANDLE child = board ? StartBeside("counting_child.exe", arguments, &id) : nullptr;
    Subject subject = {child ? Hold(child, id) : nullptr, id, board};
    if (subject.process) {
        // Every chain starts, then the child runs free for a second to measure its rate.
        Sleep(300);
        const LONG started = board->threadsStarted;
        const double begin = Now();
        Sleep(1000);
        const double rate = (board->threadsStarted - started) * 1000.0 / (Now() - begin);
        char label[64];
        wsprintfA(label, "%d x %d ms threads, %d/s", CHURN_CHAINS, lifetimeMs,
                  static_cast<int>(rate + 0.5));
        Measure(subject, label, Way::ProcessWide, CHURN_ROUNDS);
        Measure(subject, label, Way::SnapshotWalks, CHURN_ROUNDS_BY_WALKS);
        ReleaseProcess(subject.process);
    } else {
        printf("churning child (%d ms threads): could not be started or held\n", lifetimeMs);
    }
    if (child) {
        TerminateProcess(child, 0);
        WaitForSingleObject(child, 5000);
        CloseHandle(child);
    }
    if (board) UnmapViewOfFile(board);
    if (mapping) CloseHandle(mapping);
}

// How many of the processes have a thread in a fresh snapshot.
static int CountWithThreads(const DWORD* ids, int count) {
    bool seen[IDLE_CHILDREN] = {};
    HANDLE snapshot = Bound.createToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
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

// Waits (10 s at most) until the process has the given number of threads.
static bool WaitForThreads(HANDLE process, int threads) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        const ThreadCounts counts = CountThreads(process);
        if (counts.read && counts.running + counts.held == threads) return true;
    }
    return false;
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

static void PrintTable() {
    printf("%-30s %-14s %6s | %7s %7s %7s | %7s %7s %7s | %6s %6s | %7s | %6s %6s %7s | %s\n",
           "process", "way", "rounds", "bare", "bare", "one", "PAUSE", "PAUSE", "RESUME", "PAUSE/",
           "RESUME/", "walks", "failed", "ran on", "stopped", "bare: ran on,");
    printf("%-30s %-14s %6s | %7s %7s %7s | %7s %7s %7s | %6s %6s | %7s | %6s %6s %7s | %s\n", "",
           "", "", "suspend", "resume", "look", "", "max", "", "bare", "bare", "med/max", "", "",
           "", "stopped");
    for (int i = 0; i < RowCount; ++i) {
        const Row& r = Rows[i];
        char resume[16] = "-", resumeRatio[16] = "-";
        if (r.failed < r.rounds) {
            snprintf(resume, sizeof resume, "%.2f", r.resume);
            snprintf(resumeRatio, sizeof resumeRatio, "%.2f", r.resumeRatio);
        }
        printf("%-30s %-14s %6d | %7.2f %7.2f %7.2f | %7.2f %7.1f %7s | %6.2f %6s | %3.0f/%3.0f "
               "| %6d %6d %7d | %d, %d\n",
               r.process, r.way == Way::ProcessWide ? "process-wide" : "snapshot walks", r.rounds,
               r.bareSuspend, r.bareResume, r.look, r.pause, r.pauseMax, resume, r.pauseRatio,
               resumeRatio, r.walks, r.walksMax, r.failed, r.ranOn, r.notRunning, r.bareRanOn,
               r.bareNotRunning);
    }
    printf("(times in ms, medians of the rounds; PAUSE/ and RESUME/ bare: medians of each round's "
           "ratio to the\nbare NtSuspendProcess and NtResumeProcess, target for PAUSE the "
           "process-wide way: at most 2.00;\none look: one read of every thread's suspend count "
           "on the process's handle after the bare\nNtSuspendProcess, as PAUSE reads them to "
           "confirm; walks: per pause, the walks of the threads on\nthe handle the process-wide "
           "way, the thread snapshots by walks; stopped: rounds after which a\nthread did not run "
           "again, or RESUME failed; bare: rounds in which the process ran on after the\nbare "
           "NtSuspendProcess, or did not run again after NtResumeProcess)\n");
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "threads") == 0) {
        return RunThreadsChild(atoi(argv[2]), strtoul(argv[3], nullptr, 10));
    }
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
    if (!ModuleReady() || !ProcessApi.createToolhelp32Snapshot || !ProcessApi.ntSuspendProcess ||
        !ProcessApi.ntResumeProcess || !ProcessApi.ntGetNextThread ||
        !ProcessApi.ntQueryInformationThread) {
        fprintf(stderr, "pause_bench: the module did not start, or tool help, the process-wide "
                        "calls or the thread suspend counts are missing\n");
        return 1;
    }
    Bound = ProcessApi;

    char arguments[64];
    wsprintfA(arguments, "threads %d %lu", THREADS, GetCurrentProcessId());
    DWORD threadsChildId = 0;
    HANDLE threadsChild = StartBeside("pause_bench.exe", arguments, &threadsChildId);
    if (!threadsChild || !WaitForThreads(threadsChild, THREADS)) {
        fprintf(stderr, "pause_bench: the child with %d threads did not start\n", THREADS);
        return 1;
    }
    MeasureThreadsChild(threadsChild, threadsChildId);

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
    MeasureThreadsChild(threadsChild, threadsChildId);
    for (int lifetimeMs : CHURN_LIFETIMES_MS)
        MeasureChurn(lifetimeMs);

    printf("PAUSE and RESUME against the bare NtSuspendProcess and NtResumeProcess on the same\n"
           "process in the same round, the process-wide way and by snapshot walks; the last\n"
           "rows with %d idle processes more running (%d-bit build)\n\n",
           started, static_cast<int>(sizeof(void*) * 8));
    PrintTable();

    for (int i = 0; i < started; ++i) {
        TerminateProcess(idle[i], 0);
        CloseHandle(idle[i]);
    }
    TerminateProcess(threadsChild, 0);
    CloseHandle(threadsChild);
    ModuleDetach();
    return 0;
}
