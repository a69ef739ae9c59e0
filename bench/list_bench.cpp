// Times the LIST command on the real task manager window against a floor: the least
// work that fills the same rows, made in the same rounds and alternated with LIST.
// The floor calls nothing of the process layer, only the system and the toolkit's
// list calls:
//   - the system's process list in one call (NtQuerySystemInformation, class 5, into
//     a buffer kept from one call to the next, grown when it is too small);
//   - per row eight requests: the process opened (for query and memory reads, else
//     for limited query), its image path (QueryFullProcessImageNameA), its creation
//     and exit times (GetProcessTimes), its first thread (NtGetNextThread), whether
//     that thread has ended (WaitForSingleObject, no wait), its suspend count
//     (NtQueryInformationThread, class 35), and both handles closed;
//   - the list's calls as LIST makes them: repainting held during the fill, the rows
//     removed first, a row added with the list's name (turned into ANSI) and four
//     cells set (the id and the working set as decimal texts, the path, the state),
//     the File column fitted beside the scroll bar.
// Both sides include the repaint that follows. Each round times LIST and the floor
// into an empty list and over a full one, the side that goes first alternating from
// one round to the next, so that a drift of the machine's load weighs on both.
//
// With about 100, 300 and 600 real processes running (idle children, half of them
// 64-bit where the system runs both kinds) it prints each round, and LIST / floor
// as min / median / max of the rounds' own ratios, then one summary of the three.
//
// "list_bench --trace" instead marks stretches for a count of the requests that this
// thread (the window's) makes to Wine's server, as bench/list_trace.sh runs it: with
// about 100 and then 300 processes, a click on LIST up to the event it makes, the LIST
// over a full list that follows, its repaint, the floor and its repaint, each stretch
// opened by a request that stands out in the server's trace (a find_atom of the name
// "kelvor-trace N STRETCH"), the last one closed by "kelvor-trace N end". It prints
// the rows each side filled.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "bench_support.h"
#include "frontend/task_manager.h"
#include "lifecycle/module.h"
#include "process/process_api.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"
#include "toolkit/event_pump.h"
#include "toolkit/report_list.h"

namespace {

constexpr int ROUNDS = 9;
// How many processes the benchmark makes run, counting those that run already, one
// number after the other; the target is set for about 300. The trace takes the first
// two.
constexpr int32_t PROCESS_COUNTS[] = {100, 300, 600};
constexpr int COUNTS = sizeof PROCESS_COUNTS / sizeof PROCESS_COUNTS[0];
constexpr int TRACE_COUNTS = 2;
constexpr int MAX_CHILDREN = 600;
// Target: LIST's median ratio to the floor.
constexpr double TARGET_RATIO = 1.20;

// ---- The floor's system calls, bound here from ntdll and kernel32 ----------------

// The entry points' types and the list's layout are the binding table's
// (process/process_api.h); the floor binds the calls itself and calls no function
// of the process layer.
struct FloorCalls {
    NtQuerySystemInformationFn querySystem;
    NtGetNextThreadFn nextThread;
    NtQueryInformationThreadFn queryThread;
    QueryFullProcessImageNameAFn imageName;
};
FloorCalls Calls;

constexpr DWORD QUERY_ACCESS = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr DWORD LIMITED_QUERY_ACCESS = 0x1000;              // PROCESS_QUERY_LIMITED_INFORMATION
constexpr DWORD THREAD_STATE_ACCESS = 0x0800 | SYNCHRONIZE; // THREAD_QUERY_LIMITED_INFORMATION
constexpr DWORD IMAGE_PATH_SIZE = 1024;

bool BindFloorCalls() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!ntdll || !kernel32) return false;
    Calls.querySystem = reinterpret_cast<NtQuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    Calls.nextThread = reinterpret_cast<NtGetNextThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtGetNextThread")));
    Calls.queryThread = reinterpret_cast<NtQueryInformationThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationThread")));
    Calls.imageName = reinterpret_cast<QueryFullProcessImageNameAFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "QueryFullProcessImageNameA")));
    return Calls.querySystem && Calls.nextThread && Calls.queryThread && Calls.imageName;
}

// The list's buffer, kept from one call to the next and grown when the call says
// that it is too small.
BYTE* ListBuffer = nullptr;
ULONG ListCapacity = 0;

// Takes the system's process list; false when it cannot be had.
bool TakeList() {
    for (int call = 0; call < 8; ++call) {
        ULONG needed = 0;
        const LONG status =
            Calls.querySystem(PROCESS_LIST_CLASS, ListBuffer, ListCapacity, &needed);
        if (status >= 0) return ListBuffer != nullptr;
        if (status != STATUS_INFO_LENGTH_MISMATCH) return false;
        // Room for processes that start before the next call.
        const ULONG wanted = (needed > ListCapacity ? needed : 2 * ListCapacity) + 64 * 1024;
        if (ListBuffer) VirtualFree(ListBuffer, 0, MEM_RELEASE);
        ListBuffer = static_cast<BYTE*>(
            VirtualAlloc(nullptr, wanted, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ListCapacity = ListBuffer ? wanted : 0;
    }
    return false;
}

// Calls visit(entry) for each process in the list just taken.
template <class Visit> void EachListed(Visit visit) {
    for (const BYTE* at = ListBuffer; at;) {
        const auto* entry = reinterpret_cast<const ListedProcess*>(at);
        visit(*entry);
        at = entry->nextEntryOffset ? at + entry->nextEntryOffset : nullptr;
    }
}

// The processes running now, as the system's list counts them.
int32_t CountProcesses() {
    int32_t count = 0;
    if (TakeList()) EachListed([&](const ListedProcess&) { ++count; });
    return count;
}

// The decimal text of value; text has room for 21 characters.
void Decimal(uint64_t value, char* text) {
    char digits[21];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *text++ = digits[--n];
    *text = '\0';
}

// What the floor reads of one process on its own handle: its path, whether it has
// ended (or its id names another process by now), whether its first thread is held.
struct RowFacts {
    char path[IMAGE_PATH_SIZE];
    bool ended;
    bool held;
};

// The eight requests of a row.
void ReadRow(const ListedProcess& listed, DWORD id, RowFacts& facts) {
    facts.path[0] = '\0';
    facts.ended = facts.held = false;
    HANDLE process = OpenProcess(QUERY_ACCESS, FALSE, id);
    if (!process) process = OpenProcess(LIMITED_QUERY_ACCESS, FALSE, id);
    if (!process) return;
    DWORD size = IMAGE_PATH_SIZE;
    if (!Calls.imageName(process, 0, facts.path, &size)) facts.path[0] = '\0';
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        const LONGLONG creation = static_cast<LONGLONG>(
            (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
        facts.ended = (exited.dwHighDateTime | exited.dwLowDateTime) != 0 ||
                      creation != listed.createTime.QuadPart;
    }
    HANDLE thread = nullptr;
    if (Calls.nextThread(process, nullptr, THREAD_STATE_ACCESS, 0, 0, &thread) >= 0) {
        ULONG count = 0;
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0 &&
            Calls.queryThread(thread, THREAD_SUSPEND_COUNT_CLASS, &count, sizeof count, nullptr) >=
                0) {
            facts.held = count > 0;
        }
        CloseHandle(thread);
    }
    CloseHandle(process);
}

// The floor: the list's rows filled from the system's list and each row's eight
// requests, with the list calls that LIST makes. Returns the rows added.
intptr_t FillFloor() {
    SetListRedraw(LIST_PROCESSES, false);
    for (intptr_t row = CountRows(LIST_PROCESSES) - 1; row >= 0; --row)
        RemoveRow(LIST_PROCESSES, row);
    intptr_t rows = 0;
    if (TakeList()) {
        EachListed([&](const ListedProcess& listed) {
            const auto id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(listed.processId));
            RowFacts facts;
            if (id != 0) {
                ReadRow(listed, id, facts);
                if (facts.ended || listed.threadCount == 0) return;
            } else {
                facts.path[0] = '\0';
                facts.held = false;
            }
            char name[2 * MAX_PATH] = {};
            if (id == 0) lstrcpyA(name, "IDLE");
            if (listed.imageName.buffer && listed.imageName.length > 0) {
                const int length =
                    WideCharToMultiByte(CP_ACP, 0, listed.imageName.buffer,
                                        listed.imageName.length / static_cast<int>(sizeof(wchar_t)),
                                        name, sizeof name - 1, nullptr, nullptr);
                name[length > 0 ? length : 0] = '\0';
            }
            char number[24];
            AddRow(LIST_PROCESSES, rows, name);
            Decimal(id, number);
            SetCellText(LIST_PROCESSES, rows, number, COL_HANDLE);
            SetCellText(LIST_PROCESSES, rows, facts.path, COL_FILE);
            Decimal(listed.workingSetSize, number);
            SetCellText(LIST_PROCESSES, rows, number, COL_MEMORY);
            SetCellText(LIST_PROCESSES, rows, facts.held ? "PAUSE" : "RUN", COL_STATUS);
            ++rows;
        });
    }
    SetListRedraw(LIST_PROCESSES, true);
    FitColumnBesideScrollBar(LIST_PROCESSES, COL_FILE, FILE_COLUMN_WIDTH);
    return rows;
}

// ---- Children, the window, the clock ---------------------------------------------

HANDLE Children[MAX_CHILDREN];
int ChildCount = 0;

// Starts an idle child from this program's folder that ends with this process.
bool StartChild(const char* program) {
    char arguments[16];
    wsprintfA(arguments, "%lu", GetCurrentProcessId());
    HANDLE process = StartBeside(program, arguments, nullptr);
    if (!process) return false;
    Children[ChildCount++] = process;
    return true;
}

void EndChildren() {
    for (int i = 0; i < ChildCount; ++i) {
        TerminateProcess(Children[i], 0);
        WaitForSingleObject(Children[i], 5000);
        CloseHandle(Children[i]);
    }
    ChildCount = 0;
}

// Starts children until about `processes` run (half of them 64-bit where the system
// runs both kinds), then lets them settle so that every round sees the same ones.
bool RunProcesses(int32_t processes, int& started) {
    const bool wide = SystemIs64Bit();
    const bool both = wide && SystemRuns32BitPrograms();
    for (int32_t running = CountProcesses(); running < processes && ChildCount < MAX_CHILDREN;
         ++running) {
        const char* program =
            wide && (!both || started % 2) ? "idle_child64.exe" : "idle_child32.exe";
        if (!StartChild(program)) {
            fprintf(stderr, "list_bench: cannot start %s\n", program);
            return false;
        }
        ++started;
    }
    Sleep(2000);
    return true;
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The repaint that a fill causes, as the window's loop would make it.
void Repaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
}

// Empties the list, untimed (repainting held: with a scroll bar shown, each removal
// would otherwise repaint it).
void EmptyList(HWND window) {
    SetListRedraw(LIST_PROCESSES, false);
    for (intptr_t row = CountRows(LIST_PROCESSES) - 1; row >= 0; --row)
        RemoveRow(LIST_PROCESSES, row);
    SetListRedraw(LIST_PROCESSES, true);
    Repaint(window);
}

double TimeList(HWND window) {
    const double start = Now();
    ListProcesses();
    Repaint(window);
    return Now() - start;
}

double TimeFloor(HWND window) {
    const double start = Now();
    FillFloor();
    Repaint(window);
    return Now() - start;
}

// ---- Timing --------------------------------------------------------------------

struct Spread {
    double min, median, max;
};

Spread SpreadOf(const double* values, int n) {
    double sorted[ROUNDS];
    memcpy(sorted, values, n * sizeof *values);
    const double median = Median(sorted, n); // sorts
    return {sorted[0], median, sorted[n - 1]};
}

// The ratios of one number of processes, for the summary.
struct CountResult {
    int32_t processes;
    Spread empty, full;
};

// Times ROUNDS rounds of LIST and the floor, into an empty list and over a full one,
// and prints them.
CountResult Measure(HWND window, int started) {
    const int32_t processes = CountProcesses();
    printf("== %d processes running (%d started here)\n", static_cast<int>(processes), started);
    double listEmpty[ROUNDS], floorEmpty[ROUNDS], listFull[ROUNDS], floorFull[ROUNDS];
    double emptyRatio[ROUNDS], fullRatio[ROUNDS];
    intptr_t listRows = 0, floorRows = 0;
    for (int round = 0; round < ROUNDS; ++round) {
        // Each side into an empty list, then each over the other's full list, the
        // side that goes first alternating between rounds.
        const bool floorFirst = round % 2 == 0;
        for (int side = 0; side < 2; ++side) {
            EmptyList(window);
            if ((side == 0) == floorFirst) {
                floorEmpty[round] = TimeFloor(window);
                floorRows = CountRows(LIST_PROCESSES);
            } else {
                listEmpty[round] = TimeList(window);
                listRows = CountRows(LIST_PROCESSES);
            }
        }
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == floorFirst) {
                floorFull[round] = TimeFloor(window);
            } else {
                listFull[round] = TimeList(window);
            }
        }
        emptyRatio[round] = listEmpty[round] / floorEmpty[round];
        fullRatio[round] = listFull[round] / floorFull[round];
        printf("round %d (%s first): into empty LIST %7.1f, floor %6.1f ms (%.2f); "
               "over full LIST %7.1f, floor %6.1f ms (%.2f)\n",
               round + 1, floorFirst ? "floor" : "LIST", listEmpty[round], floorEmpty[round],
               emptyRatio[round], listFull[round], floorFull[round], fullRatio[round]);
    }
    const CountResult result = {processes, SpreadOf(emptyRatio, ROUNDS),
                                SpreadOf(fullRatio, ROUNDS)};
    const double listEmptyMedian = SpreadOf(listEmpty, ROUNDS).median;
    const double floorEmptyMedian = SpreadOf(floorEmpty, ROUNDS).median;
    printf("rows: LIST %d, floor %d\n", static_cast<int>(listRows), static_cast<int>(floorRows));
    printf("medians, into an empty list: LIST %.1f ms (%.3f ms a row), floor %.1f ms (%.3f ms a "
           "row)\n",
           listEmptyMedian, listEmptyMedian / (listRows ? listRows : 1), floorEmptyMedian,
           floorEmptyMedian / (floorRows ? floorRows : 1));
    printf("medians, over a full list:   LIST %.1f ms, floor %.1f ms\n",
           SpreadOf(listFull, ROUNDS).median, SpreadOf(floorFull, ROUNDS).median);
    printf("LIST / floor into an empty list: min %.2f, median %.2f, max %.2f\n", result.empty.min,
           result.empty.median, result.empty.max);
    printf("LIST / floor over a full list:   min %.2f, median %.2f, max %.2f\n", result.full.min,
           result.full.median, result.full.max);
    return result;
}

void PrintSummary(const CountResult* results, int n) {
    printf("== LIST / floor (%d-bit build), min / median / max of %d rounds, each round's own "
           "ratio; target: median at most %.2f\n",
           static_cast<int>(8 * sizeof(void*)), ROUNDS, TARGET_RATIO);
    printf("processes   into an empty list            over a full list\n");
    for (int i = 0; i < n; ++i) {
        const CountResult& r = results[i];
        printf("%9d   %5.2f / %5.2f / %5.2f %-6s   %5.2f / %5.2f / %5.2f %s\n",
               static_cast<int>(r.processes), r.empty.min, r.empty.median, r.empty.max,
               r.empty.median <= TARGET_RATIO ? "met" : "missed", r.full.min, r.full.median,
               r.full.max, r.full.median <= TARGET_RATIO ? "met" : "missed");
    }
}

// ---- Trace ---------------------------------------------------------------------

// A request to Wine's server that nothing else makes: the trace's mark.
void Mark(int32_t processes, const char* stretch) {
    char name[64];
    wsprintfA(name, "kelvor-trace %d %s", static_cast<int>(processes), stretch);
    GlobalFindAtomA(name);
}

// A mouse event of SendInput at a point of the screen.
INPUT MouseAt(POINT screen, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    return input;
}

// A click on LIST as a user's, taken by the window's own event loop: the pointer's
// events through the system, then the loop's events up to the control event of
// LIST, which the loop would now carry out. The timer, set before and killed after
// the trace's last stretch, ends a click that missed after 10 s; false then.
UINT_PTR ClickTimer = 0;
bool ClickList(int32_t processes) {
    RECT rect;
    GetWindowRect(ControlHandle(BTN_LIST), &rect);
    const POINT center = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    INPUT inputs[] = {MouseAt(center, MOUSEEVENTF_LEFTDOWN), MouseAt(center, MOUSEEVENTF_LEFTUP)};
    ClickTimer = SetTimer(nullptr, 0, 10000, nullptr);
    Mark(processes, "click");
    SendInput(2, inputs, sizeof(INPUT));
    int32_t event = 0;
    while (!(event == EV_CONTROL && EventControl() == BTN_LIST) && event != WM_TIMER)
        event = WaitEvent();
    Mark(processes, "list");
    return event != WM_TIMER;
}

// A click on LIST up to its event, then the LIST over a full list, its repaint, the
// floor and its repaint, each opened by its mark; a LIST and a floor before them
// fill the list and grow both buffers. False when the click missed.
bool TraceOnce(HWND window, int32_t processes) {
    TimeList(window);
    TimeFloor(window);
    TimeList(window);
    if (!ClickList(processes)) {
        KillTimer(nullptr, ClickTimer);
        fprintf(stderr, "list_bench: the click on LIST made no event\n");
        return false;
    }
    ListProcesses();
    Mark(processes, "list-repaint");
    Repaint(window);
    const intptr_t listRows = CountRows(LIST_PROCESSES);
    Mark(processes, "floor");
    FillFloor();
    Mark(processes, "floor-repaint");
    Repaint(window);
    Mark(processes, "end");
    KillTimer(nullptr, ClickTimer);
    printf("trace %d: LIST rows %d, floor rows %d\n", static_cast<int>(processes),
           static_cast<int>(listRows), static_cast<int>(CountRows(LIST_PROCESSES)));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool trace = argc > 1 && strcmp(argv[1], "--trace") == 0;
    if (!BindFloorCalls()) {
        fprintf(stderr, "list_bench: the system lacks a call that the floor makes\n");
        return 1;
    }
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
    if (!ModuleReady()) {
        fprintf(stderr, "list_bench: the module did not start\n");
        return 1;
    }
    BuildMainWindow();
    HWND window = AppWindowHandle(WIN_MAIN);
    if (!window) {
        fprintf(stderr, "list_bench: the main window could not be built\n");
        return 1;
    }
    PumpPending();

    CountResult results[COUNTS];
    int measured = 0, started = 0;
    bool ok = true;
    for (int i = 0; i < (trace ? TRACE_COUNTS : COUNTS) && ok; ++i) {
        ok = RunProcesses(PROCESS_COUNTS[i], started);
        if (!ok) break;
        if (trace) {
            ok = TraceOnce(window, PROCESS_COUNTS[i]);
        } else {
            results[measured++] = Measure(window, started);
        }
        fflush(stdout);
    }
    if (measured > 0) PrintSummary(results, measured);
    EndChildren();
    CloseAppWindow(WIN_MAIN);
    ModuleDetach();
    return ok ? 0 : 1;
}
