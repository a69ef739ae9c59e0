// Soak: hosts kelvor.dll as the launcher does and drives its real window for
// many rounds of LIST, select, PAUSE, RESUME and KILL answered No on a child
// process, then reports how this process's resources moved between the end of
// a warm-up and the end of the run.
//
//   kelvor_soak [ROUNDS [WARMUP]]   (default 1000 rounds after 10 warm-up rounds)
//
// Exits 0 when every round worked and no count of objects (handles, windows,
// GDI and USER objects) grew after the warm-up; 1 when one of them grew; 2 when
// a round failed.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "frontend/task_manager.h"
#include "support/child_process.h"
#include "support/task_manager_session.h"
#include "support/test_module.h"

namespace {

constexpr int DEFAULT_ROUNDS = 1000;
constexpr int DEFAULT_WARMUP = 10;
constexpr int MAX_DLL_HEAPS = 4;
constexpr ULONG SYSTEM_HANDLE_INFORMATION_CLASS = 16;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);

// One row of the system handle list. Windows keeps only the owner id's low
// 16 bits in the first field; Wine fills all 32.
struct HandleEntry {
    ULONG ownerId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};

struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

struct Figures {
    long handles;
    long windows;
    DWORD gdiObjects;
    DWORD userObjects;
    SIZE_T workingSet;
    SIZE_T heapCommitted[MAX_DLL_HEAPS];
    SIZE_T heapInUse[MAX_DLL_HEAPS];
};

HANDLE DllHeaps[MAX_DLL_HEAPS];
int DllHeapCount = 0;

// This process's handles, counted in the system's handle list: under Wine
// GetProcessHandleCount answers 0. The list's buffer lives outside the heaps
// being measured and is kept between calls.
long CountHandles() {
    static auto query = reinterpret_cast<QuerySystemInformationFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    static void* buffer = nullptr;
    static ULONG size = 0;
    if (!query) return -1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!buffer) {
            size = size ? size * 2 : 1 << 20;
            buffer = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            if (!buffer) return -1;
        }
        ULONG needed = 0;
        LONG status = query(SYSTEM_HANDLE_INFORMATION_CLASS, buffer, size, &needed);
        if (status == STATUS_INFO_LENGTH_MISMATCH) {
            VirtualFree(buffer, 0, MEM_RELEASE);
            buffer = nullptr;
            continue;
        }
        if (status < 0) return -1;
        const auto* list = static_cast<const HandleList*>(buffer);
        const ULONG self = GetCurrentProcessId() & 0xFFFF;
        long count = 0;
        for (ULONG i = 0; i < list->count; ++i) {
            if ((list->entries[i].ownerId & 0xFFFF) == self) ++count;
        }
        return count;
    }
    return -1;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, CountChild, count);
    return TRUE;
}

// This process's windows, top-level and child: GetGuiResources answers 0 under Wine.
long CountWindows() {
    long count = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Bytes committed in a heap (the sum of its regions' committed sizes), and the
// bytes of its allocated blocks: the heap commits in large steps, so a small
// leak shows in the blocks long before it shows in the commit.
void MeasureHeap(HANDLE heap, SIZE_T& committed, SIZE_T& inUse) {
    committed = inUse = 0;
    if (!HeapLock(heap)) return;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_REGION) committed += entry.Region.dwCommittedSize;
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) inUse += entry.cbData;
    }
    HeapUnlock(heap);
}

Figures Measure() {
    Figures figures = {};
    figures.handles = CountHandles();
    figures.windows = CountWindows();
    figures.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    figures.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    figures.workingSet = SystemWorkingSet(GetCurrentProcess());
    for (int i = 0; i < DllHeapCount; ++i) {
        MeasureHeap(DllHeaps[i], figures.heapCommitted[i], figures.heapInUse[i]);
    }
    return figures;
}

// Loads kelvor.dll and notes the heaps that its start-up created. The system
// libraries it imports are loaded first, so that their heaps are not counted.
bool FindDllHeaps() {
    for (const char* name : {"comctl32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"}) {
        if (!LoadLibraryA(name)) return false;
    }
    HANDLE before[256];
    DWORD beforeCount = GetProcessHeaps(256, before);
    char path[MAX_PATH];
    PathBesideTests("kelvor.dll", path);
    if (!LoadLibraryA(path)) return false;
    HANDLE after[256];
    DWORD afterCount = GetProcessHeaps(256, after);
    if (beforeCount > 256 || afterCount > 256) return false;
    for (DWORD i = 0; i < afterCount; ++i) {
        bool old = false;
        for (DWORD j = 0; j < beforeCount && !old; ++j)
            old = after[i] == before[j];
        if (!old && DllHeapCount < MAX_DLL_HEAPS) DllHeaps[DllHeapCount++] = after[i];
    }
    return DllHeapCount > 0;
}

// Says which step failed, with what the window shows: the child's status and
// the text of a message box, if one came up.
bool Fail(TaskManagerSession& session, DWORD child, int round, const char* step) {
    int row = session.RowOfProcess(child);
    std::string status = row >= 0 ? session.Cell(row, COL_STATUS) : "(no row)";
    HWND box = session.WaitMessageBox(1000);
    std::string text = box ? MessageBoxText(box) : "none";
    fprintf(stderr,
            "round %d: %s failed; the child's status: %s; row selected: %d; PAUSE, RESUME, "
            "KILL enabled: %d%d%d; message box: %s\n",
            round, step, status.c_str(), row >= 0 && session.IsSelected(row),
            session.IsEnabled(BTN_PAUSE), session.IsEnabled(BTN_RESUME),
            session.IsEnabled(BTN_KILL), text.c_str());
    return false;
}

bool Press(TaskManagerSession& session, intptr_t button) {
    return session.ClickControl(session.button(button));
}

// One round; the child is left running and its row as it was.
bool Round(TaskManagerSession& session, DWORD child, int round) {
    if (!session.PressList()) return Fail(session, child, round, "LIST");
    int row = session.RowOfProcess(child);
    if (row < 0) return Fail(session, child, round, "finding the child's row");
    if (!session.ClickRow(row) || !session.IsSelected(row))
        return Fail(session, child, round, "select");
    if (!Press(session, BTN_PAUSE)) return Fail(session, child, round, "pressing PAUSE");
    if (session.Cell(row, COL_STATUS) != "PAUSE") return Fail(session, child, round, "PAUSE");
    // The buttons follow the row's new status from its next click on.
    if (!session.ClickRow(row) || !Press(session, BTN_RESUME) ||
        session.Cell(row, COL_STATUS) != "RUN") {
        return Fail(session, child, round, "RESUME");
    }
    if (!session.ClickRow(row) || !Press(session, BTN_KILL))
        return Fail(session, child, round, "KILL");
    HWND box = session.WaitMessageBox();
    if (!box) return Fail(session, child, round, "waiting for the KILL question");
    if (!session.AnswerMessageBox(box, IDNO)) return Fail(session, child, round, "answering No");
    return true;
}

void PrintRow(const char* name, long long warm, long long end) {
    printf("%-34s %14lld %14lld %+10lld\n", name, warm, end, end - warm);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : DEFAULT_ROUNDS;
    const int warmup = argc > 2 ? atoi(argv[2]) : DEFAULT_WARMUP;
    if (rounds < 1 || warmup < 1) {
        fprintf(stderr, "usage: kelvor_soak [ROUNDS [WARMUP]]\n");
        return 2;
    }
    if (!FindDllHeaps()) {
        fprintf(stderr, "kelvor.dll did not load, or created no heap\n");
        return 2;
    }
    CountingChild child;
    TaskManagerSession session;
    if (!child.Start(2) || !session.Start()) {
        fprintf(stderr, "the child or the window did not start\n");
        return 2;
    }

    for (int round = 1; round <= warmup; ++round) {
        if (!Round(session, child.id(), round)) return 2;
    }
    session.WaitIdle();
    const Figures warm = Measure();
    const DWORD start = GetTickCount();
    for (int round = 1; round <= rounds; ++round) {
        if (!Round(session, child.id(), warmup + round)) return 2;
    }
    session.WaitIdle();
    const Figures end = Measure();
    const DWORD elapsed = GetTickCount() - start;

    printf("%d rounds of LIST, select, PAUSE, RESUME, KILL answered No, after %d warm-up "
           "rounds (%lu ms a round)\n",
           rounds, warmup, static_cast<unsigned long>(elapsed / rounds));
    printf("button clicks repeated because the button took none: %d\n", session.clicksRepeated());
    printf("%-34s %14s %14s %10s\n", "", "after warm-up", "at the end", "change");
    PrintRow("handles (system handle list)", warm.handles, end.handles);
    PrintRow("windows", warm.windows, end.windows);
    PrintRow("GDI objects (GetGuiResources)", warm.gdiObjects, end.gdiObjects);
    PrintRow("USER objects (GetGuiResources)", warm.userObjects, end.userObjects);
    PrintRow("working set, KiB", warm.workingSet / 1024, end.workingSet / 1024);
    for (int i = 0; i < DllHeapCount; ++i) {
        char name[64];
        snprintf(name, sizeof name, "kelvor.dll heap %d committed, bytes", i + 1);
        PrintRow(name, warm.heapCommitted[i], end.heapCommitted[i]);
        snprintf(name, sizeof name, "kelvor.dll heap %d in blocks, bytes", i + 1);
        PrintRow(name, warm.heapInUse[i], end.heapInUse[i]);
    }
    if (end.gdiObjects == 0 && end.userObjects == 0) {
        printf("(GetGuiResources counts nothing on this system; windows are counted instead)\n");
    }
    fflush(stdout);
    if (warm.handles < 0) {
        fprintf(stderr, "the system handle list could not be read\n");
        return 2;
    }
    const bool grew = end.handles > warm.handles || end.windows > warm.windows ||
                      end.gdiObjects > warm.gdiObjects || end.userObjects > warm.userObjects;
    return grew ? 1 : 0;
}
