#include "process/enumeration.h"

#include <string.h>

#include "process/holding.h"
#include "process/paused_processes.h"
#include "process/process_api.h"
#include "runtime/growing_array.h"
#include "runtime/scratch.h"
#include "runtime/text.h"

// Bytes of process ids that the last snapshot holds in the process-id buffer; never
// more than the buffer's size.
static DWORD SnapshotBytes = 0;
// 1-based position of the current entry; 0 before the first NextProcessEntry.
static int32_t Cursor = 0;

// Access needed to read a process's modules, names and memory counters.
constexpr DWORD QUERY_ACCESS = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// Size of the local name buffer: 255 characters and the terminator.
constexpr DWORD NAME_BUFFER_SIZE = MAX_PROCESS_TEXT + 1;
// Room for a whole name or path as the system gives it: the base name is found even
// when the path is longer than a result may be, and a longer text is cut with a mark.
constexpr DWORD IMAGE_PATH_SIZE = 1024;
// The current entry as read on one handle by the first query after the cursor moved.
struct EntryRecord {
    bool read; // false until a query reads the entry at the cursor
    uint64_t created;
    uint64_t workingSet;
    bool workingSetCapped; // the counters could not tell more than workingSet
    RunState state;        // Ended: nothing more was read
    char name[NAME_BUFFER_SIZE];
    char path[NAME_BUFFER_SIZE];
};
static EntryRecord Current;

// A table taken from a tool-help snapshot at most once per process snapshot, when
// the first entry that needs it is read, and released at the end of the walk.
template <class Entry, intptr_t FIRST> struct EntryTable {
    GrowingArray<Entry, FIRST> entries;
    bool taken;
};
// Per process its id (4 bytes) and its terminated name, packed byte by byte: the
// names of the processes that nothing else names.
static EntryTable<char, 4096> NameTable;
// Per thread the ids of its process and its own: whether a process runs, where its
// handle cannot walk its threads.
static EntryTable<ThreadIds, 512> ThreadTable;

static int32_t EntryCount() {
    return static_cast<int32_t>(SnapshotBytes / sizeof(DWORD));
}

// The current entry's id; false when no entry is current.
static bool CurrentProcessId(DWORD& id) {
    if (!ProcessApi.processIdBuffer || Cursor < 1 || Cursor > EntryCount()) return false;
    id = ProcessApi.processIdBuffer[Cursor - 1];
    return true;
}

// A process opened for every query of its entry, with the widest access it grants
// of: modules and memory, else query access alone (OpenProcessAtBest). Closed when
// out of scope.
class EntryHandle {
  public:
    explicit EntryHandle(DWORD id) {
        handle_ = OpenProcessAtBest(id, QUERY_ACCESS, &readsModules_);
        if (handle_) return;
        // Refused, rather than ended: the process runs but keeps its details.
        refused_ = GetLastError() == ERROR_ACCESS_DENIED;
        ended_ = GetLastError() == ERROR_INVALID_PARAMETER;
    }
    ~EntryHandle() {
        if (handle_) CloseHandle(handle_);
    }
    EntryHandle(const EntryHandle&) = delete;
    EntryHandle& operator=(const EntryHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool readsModules() const { return readsModules_; }
    bool refused() const { return refused_; }
    // True when its id names no process: it has ended.
    bool ended() const { return ended_; }

  private:
    HANDLE handle_ = nullptr;
    bool readsModules_ = false;
    bool refused_ = false;
    bool ended_ = false;
};

using ModuleTextFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR text, DWORD size);

// Reads a text about the process's module (its base name or its full path) into
// text: what the call wrote, up to its terminator, empty when it wrote nothing.
// It is read whole into a larger buffer first, so that a text longer than a result
// may be is cut with a mark; a letter that the call's own cut left in part is
// dropped (a call that cuts writes its terminator in the last byte, right after it).
static void ReadModuleText(HANDLE process, HMODULE module, ModuleTextFn read,
                           char (&text)[NAME_BUFFER_SIZE]) {
    text[0] = '\0';
    if (!read) return;
    char whole[IMAGE_PATH_SIZE];
    DWORD length = read(process, module, whole, IMAGE_PATH_SIZE - 1);
    if (length > IMAGE_PATH_SIZE - 1) length = IMAGE_PATH_SIZE - 1;
    whole[length] = '\0';
    whole[WholeCharactersLength(whole, TextLength(whole))] = '\0';
    CopyTextMarkingCut(text, NAME_BUFFER_SIZE, whole);
}

// Fills whichever of name and path psapi left empty from the process's full image
// path: the whole path, or its last component for the name. psapi reads no modules
// of a 64-bit process from a 32-bit one (nor of some protected processes), while
// the image-name query answers for any process that limited query access opens.
static void ReadImageTexts(HANDLE process, EntryRecord& entry) {
    if (!ProcessApi.queryFullProcessImageNameA) return;
    char path[IMAGE_PATH_SIZE];
    DWORD size = IMAGE_PATH_SIZE;
    if (!ProcessApi.queryFullProcessImageNameA(process, 0, path, &size)) return;
    path[size < IMAGE_PATH_SIZE ? size : IMAGE_PATH_SIZE - 1] = '\0';
    if (entry.path[0] == '\0') CopyTextMarkingCut(entry.path, NAME_BUFFER_SIZE, path);
    if (entry.name[0] == '\0') {
        const char* start = path;
        for (const char* c = path; *c; ++c) {
            if (*c == '\\') start = c + 1;
        }
        CopyTextMarkingCut(entry.name, NAME_BUFFER_SIZE, start);
    }
}

template <class Entry, intptr_t FIRST> static void ReleaseTable(EntryTable<Entry, FIRST>& table) {
    FreeArray(table.entries);
    // A later entry that needs the table takes it afresh.
    table.taken = false;
}

void ReleaseEntryTables() {
    ReleaseTable(NameTable);
    ReleaseTable(ThreadTable);
}

// Walks tool-help's process list once into the name table. A missing slot, a failed
// snapshot or a lack of memory leaves the table with what it got.
static void TakeNameTable() {
    NameTable.taken = true;
    if (!ProcessApi.createToolhelp32Snapshot || !ProcessApi.process32First ||
        !ProcessApi.process32Next) {
        return;
    }
    HANDLE snapshot = ProcessApi.createToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 process;
    process.dwSize = sizeof process;
    for (BOOL more = ProcessApi.process32First(snapshot, &process); more;
         more = ProcessApi.process32Next(snapshot, &process)) {
        process.szExeFile[MAX_PATH - 1] = '\0';
        const size_t length = TextLength(process.szExeFile);
        char* at = AppendRoom(NameTable.entries, static_cast<intptr_t>(sizeof(DWORD) + length + 1));
        if (!at) break;
        // Packed: ids are not aligned.
        memcpy(at, &process.th32ProcessID, sizeof(DWORD));
        CopyText(at + sizeof(DWORD), length + 1, process.szExeFile);
    }
    CloseHandle(snapshot);
}

// The process's name in tool-help's list, into name; empty when it is not listed.
static void ReadTableName(DWORD id, char (&name)[NAME_BUFFER_SIZE]) {
    if (!NameTable.taken) TakeNameTable();
    const GrowingArray<char, 4096>& names = NameTable.entries;
    for (intptr_t at = 0; at < names.count;) {
        DWORD listed;
        memcpy(&listed, names.entries + at, sizeof listed);
        const char* text = names.entries + at + sizeof listed;
        if (listed == id) {
            CopyTextMarkingCut(name, NAME_BUFFER_SIZE, text);
            return;
        }
        at += static_cast<intptr_t>(sizeof listed + TextLength(text) + 1);
    }
}

// Walks the ids of the process's threads in the thread table, taken once per
// snapshot when the first entry needs it: the state read's ids for a process whose
// handle cannot walk its threads.
static bool WalkTableThreads(DWORD processId, Visitor<DWORD> visit) {
    if (!ThreadTable.taken) {
        // A lack of memory leaves the table with what it got.
        ThreadTable.taken = true;
        WalkThreadSnapshot(
            [](ThreadIds ids) { return Append(ThreadTable.entries, ids) != nullptr; });
    }
    const GrowingArray<ThreadIds, 512>& threads = ThreadTable.entries;
    for (intptr_t i = 0; i < threads.count; ++i) {
        if (threads.entries[i].process == processId && !visit(threads.entries[i].thread)) break;
    }
    return true;
}

// Reads the working set: where a 32-bit process on 64-bit Windows can ask the
// system in its 64-bit layouts, so (a 64-bit process's figure does not fit 32
// bits); else from psapi's counters. A figure of all ones there is no working set
// (those are whole pages) but the most that the counters can hold: the system
// caps a larger one so for a 32-bit caller.
static void ReadWorkingSet(HANDLE process, EntryRecord& entry) {
    VmCounters64 wide = {};
    if (ProcessApi.ntWow64QueryInformationProcess64 &&
        ProcessApi.ntWow64QueryInformationProcess64(process, VM_COUNTERS_CLASS, &wide, sizeof wide,
                                                    nullptr) >= 0) {
        entry.workingSet = wide.workingSetSize;
        return;
    }
    if (!ProcessApi.getProcessMemoryInfo) return;
    // The record's own size field stays 0: the size goes only in the argument.
    PROCESS_MEMORY_COUNTERS counters = {};
    if (!ProcessApi.getProcessMemoryInfo(process, &counters, sizeof(counters))) return;
    entry.workingSet = counters.WorkingSetSize;
    entry.workingSetCapped = counters.WorkingSetSize == static_cast<SIZE_T>(-1);
}

// Reads the entry at the cursor, on one handle, unless it has been read already.
static const EntryRecord& CurrentEntry() {
    if (Current.read) return Current;
    Current.read = true;
    Current.created = 0;
    Current.workingSet = 0;
    Current.workingSetCapped = false;
    Current.state = RunState::Running;
    Current.name[0] = Current.path[0] = '\0';
    DWORD id = 0;
    if (!CurrentProcessId(id)) return Current;
    // The system idle process has no image to ask about.
    if (id == 0) {
        CopyText(Current.name, NAME_BUFFER_SIZE, "IDLE");
        return Current;
    }
    EntryHandle process(id);
    HANDLE handle = process.get();
    // A process that refuses every access still runs: its threads may say more.
    const bool runs = handle || process.refused();
    // First, so that a process that ends meanwhile, or whose id passes to another,
    // cannot lend its texts to the identity read here.
    if (handle) Current.created = HandleCreationTime(handle);
    if (process.ended()) Current.state = RunState::Ended;
    if (runs) {
        Current.state =
            ReadRunState(handle, id, IsPausedHere({id, Current.created}), WalkTableThreads);
    }
    if (Current.state == RunState::Ended) return Current;
    if (handle) {
        if (process.readsModules()) {
            // Only the first module, the executable, is asked for. A failed call
            // leaves the module null, which the text functions take as the
            // executable too.
            HMODULE module = nullptr;
            DWORD needed = 0;
            if (ProcessApi.enumProcessModules) {
                // The size is the bytes of one module handle, which is a pointer type.
                // NOLINTNEXTLINE(bugprone-sizeof-expression)
                ProcessApi.enumProcessModules(handle, &module, sizeof(module), &needed);
            }
            ReadModuleText(handle, module, ProcessApi.getModuleBaseNameA, Current.name);
            ReadModuleText(handle, module, ProcessApi.getModuleFileNameExA, Current.path);
        }
        if (Current.name[0] == '\0' || Current.path[0] == '\0') ReadImageTexts(handle, Current);
        ReadWorkingSet(handle, Current);
    }
    // A process that runs but answers none of the name queries (the system's own,
    // some protected ones) is named from tool-help's list.
    if (Current.name[0] == '\0' && runs) ReadTableName(id, Current.name);
    if (TextEquals(Current.name, "?")) CopyText(Current.name, NAME_BUFFER_SIZE, "System");
    return Current;
}

int32_t SnapshotProcessIds() {
    DWORD bytes = 0;
    if (ProcessApi.enumProcesses && ProcessApi.processIdBuffer) {
        for (;;) {
            const DWORD offered = ProcessApi.processIdBufferSize;
            // A failed call lists nothing, rather than the previous snapshot again.
            if (!ProcessApi.enumProcesses(ProcessApi.processIdBuffer, offered, &bytes)) {
                bytes = 0;
                break;
            }
            // A full buffer may have cut the list short: ask again with more room. At
            // the largest buffer (or without memory) what fits is listed.
            if (bytes < offered || !GrowProcessIdBuffer()) {
                if (bytes > offered) bytes = offered;
                break;
            }
        }
    }
    SnapshotBytes = bytes;
    Cursor = 0;
    Current.read = false;
    ReleaseEntryTables();
    return EntryCount();
}

int32_t NextProcessEntry() {
    ++Cursor;
    if (Cursor <= EntryCount()) {
        Current.read = false;
        return Cursor;
    }
    // Past the end the cursor rests on the last entry, whose answers stand; the
    // walk is over, and with it the need for tool-help's tables.
    Cursor = EntryCount();
    ReleaseEntryTables();
    return 0;
}

uint32_t EntryProcessId() {
    DWORD id = 0;
    CurrentProcessId(id);
    return id;
}

const char* EntryProcessName() {
    return ScratchPutText(CurrentEntry().name, NAME_BUFFER_SIZE);
}

const char* EntryProcessPath() {
    return ScratchPutText(CurrentEntry().path, NAME_BUFFER_SIZE);
}

uint64_t EntryWorkingSet() {
    return CurrentEntry().workingSet;
}

bool EntryWorkingSetCapped() {
    return CurrentEntry().workingSetCapped;
}

uint64_t EntryCreationTime() {
    return CurrentEntry().created;
}

RunState EntryRunState() {
    return CurrentEntry().state;
}
