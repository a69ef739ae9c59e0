#include "process/enumeration.h"

#include <string.h>

#include "process/holding.h"
#include "process/paused_processes.h"
#include "process/process_api.h"
#include "process/process_list.h"
#include "runtime/growing_array.h"
#include "runtime/scratch.h"
#include "runtime/text.h"

// Where the last snapshot came from: the system's process list, which names every
// process with its creation time, working set and threads in one call; or, where that
// call is missing or fails, EnumProcesses' ids in the process-id buffer, each row
// then asking its process for all of it.
static bool FromList = false;
// Processes in the last snapshot; never more ids than the process-id buffer holds.
static int32_t SnapshotCount = 0;
// 1-based position of the current entry; 0 before the first NextProcessEntry.
static int32_t Cursor = 0;
// The list's process at the cursor, where the snapshot came from the list.
static const ListedProcess* Listed = nullptr;

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
// the first entry that needs it is read, and released at the end of the walk. Only
// a snapshot from EnumProcesses takes them: the list names every process and lists
// its threads.
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

// The current entry's id; false when no entry is current.
static bool CurrentProcessId(DWORD& id) {
    if (Cursor < 1 || Cursor > SnapshotCount) return false;
    if (FromList) {
        if (!Listed) return false;
        id = ListedProcessId(Listed);
        return true;
    }
    if (!ProcessApi.processIdBuffer) return false;
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
    if (entry.name[0] == '\0') CopyTextMarkingCut(entry.name, NAME_BUFFER_SIZE, PathLastPart(path));
}

// Fills whichever of name and path is still empty from psapi's module calls, on a
// handle that reads the process's modules. Only the first module, the executable,
// is asked for; a failed call leaves the module null, which the text calls take as
// the executable too.
static void ReadModuleTexts(HANDLE process, EntryRecord& entry) {
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (ProcessApi.enumProcessModules) {
        // The size is the bytes of one module handle, which is a pointer type.
        // NOLINTNEXTLINE(bugprone-sizeof-expression)
        ProcessApi.enumProcessModules(process, &module, sizeof(module), &needed);
    }
    if (entry.name[0] == '\0') {
        ReadModuleText(process, module, ProcessApi.getModuleBaseNameA, entry.name);
    }
    if (entry.path[0] == '\0') {
        ReadModuleText(process, module, ProcessApi.getModuleFileNameExA, entry.path);
    }
}

template <class Entry, intptr_t FIRST> static void ReleaseTable(EntryTable<Entry, FIRST>& table) {
    FreeArray(table.entries);
    // A later entry that needs the table takes it afresh.
    table.taken = false;
}

static void ReleaseEntryTables() {
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

// Walks the ids of the threads that the list shows for the process at the cursor:
// the state read's ids for a process whose handle cannot walk its threads.
static bool WalkListedThreads(DWORD processId, Visitor<DWORD> visit) {
    if (!Listed || ListedProcessId(Listed) != processId) return false;
    const ListedThread* threads = ListedThreadsOf(Listed);
    for (ULONG i = 0; i < Listed->threadCount; ++i) {
        if (!visit(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(threads[i].threadId)))) break;
    }
    return true;
}

// Reads the working set where a 32-bit process on 64-bit Windows can ask the system
// in its 64-bit layouts (a 64-bit process's figure does not fit 32 bits); false
// where it cannot.
static bool ReadWideWorkingSet(HANDLE process, EntryRecord& entry) {
    VmCounters64 wide = {};
    if (!ProcessApi.ntWow64QueryInformationProcess64 ||
        ProcessApi.ntWow64QueryInformationProcess64(process, VM_COUNTERS_CLASS, &wide, sizeof wide,
                                                    nullptr) < 0) {
        return false;
    }
    entry.workingSet = wide.workingSetSize;
    entry.workingSetCapped = false;
    return true;
}

// A working set of all ones is no working set (those are whole pages) but the most
// that a 32-bit caller's counters hold: the system caps a larger one so.
static void TakeWorkingSet(SIZE_T bytes, EntryRecord& entry) {
    entry.workingSet = bytes;
    entry.workingSetCapped = bytes == static_cast<SIZE_T>(-1);
}

// Reads the working set: the 64-bit counters where they can be had, else psapi's.
static void ReadWorkingSet(HANDLE process, EntryRecord& entry) {
    if (ReadWideWorkingSet(process, entry) || !ProcessApi.getProcessMemoryInfo) return;
    // The record's own size field stays 0: the size goes only in the argument.
    PROCESS_MEMORY_COUNTERS counters = {};
    if (ProcessApi.getProcessMemoryInfo(process, &counters, sizeof(counters))) {
        TakeWorkingSet(counters.WorkingSetSize, entry);
    }
}

// The list's name of the process, turned into the ANSI code page of the other texts;
// empty where the list has none (the idle process).
static void ReadListedName(const ListedProcess& listed, char (&name)[NAME_BUFFER_SIZE]) {
    name[0] = '\0';
    const CountedWideText& image = listed.imageName;
    if (!image.buffer || image.length < sizeof(wchar_t)) return;
    // A file's name has at most 255 letters: one more than a result holds is enough
    // for a longer one to be cut with the mark.
    int letters = static_cast<int>(image.length / sizeof(wchar_t));
    if (letters > static_cast<int>(NAME_BUFFER_SIZE)) letters = NAME_BUFFER_SIZE;
    char whole[IMAGE_PATH_SIZE];
    const int length = WideCharToMultiByte(CP_ACP, 0, image.buffer, letters, whole,
                                           IMAGE_PATH_SIZE - 1, nullptr, nullptr);
    whole[length > 0 ? length : 0] = '\0';
    CopyTextMarkingCut(name, NAME_BUFFER_SIZE, whole);
}

// Whether the process, open on the row's handle, is the one the list showed and has
// not ended, from its creation and exit times in one request (the exit code where
// they cannot be read). A process whose id has passed to another since the list was
// taken has ended too.
static bool HasListedProcessEnded(HANDLE process, EntryRecord& entry) {
    uint64_t created = 0, exited = 0;
    if (!ReadProcessTimes(process, created, exited)) return HasProcessEnded(process);
    // A list without creation times takes the handle's.
    if (entry.created == 0) entry.created = created;
    return created != entry.created || exited != 0;
}

// Reads the entry of a snapshot from the list: the name, the working set, the
// creation time and the threads from the list; on the row's own handle whether it is
// still the process listed, its state and its image path, and the 64-bit counters
// where a 32-bit build can have them. A process that refuses every access keeps the
// list's answers.
static void ReadListedEntry(const ListedProcess& listed, DWORD id) {
    Current.created = static_cast<uint64_t>(listed.createTime.QuadPart);
    // A process that the list shows without a thread has ended (a handle keeps it).
    if (listed.threadCount == 0) {
        Current.state = RunState::Ended;
        return;
    }
    EntryHandle process(id);
    HANDLE handle = process.get();
    if (process.ended() || (handle && HasListedProcessEnded(handle, Current))) {
        Current.state = RunState::Ended;
        return;
    }
    ReadListedName(listed, Current.name);
    TakeWorkingSet(listed.workingSetSize, Current);
    Current.state =
        ReadPausedOrRunning(handle, id, IsPausedHere({id, Current.created}), WalkListedThreads);
    if (!handle) return;
    ReadImageTexts(handle, Current);
    if (Current.path[0] == '\0' && process.readsModules()) ReadModuleTexts(handle, Current);
    ReadWideWorkingSet(handle, Current);
}

// Reads the entry of a snapshot from EnumProcesses, all of it on the row's handle:
// the creation time first, then the state, psapi's name and path (the image path
// where psapi names nothing), the working set; tool-help's process list names a
// process that none of these does.
static void ReadEnumeratedEntry(DWORD id) {
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
    if (Current.state == RunState::Ended) return;
    if (handle) {
        if (process.readsModules()) ReadModuleTexts(handle, Current);
        if (Current.name[0] == '\0' || Current.path[0] == '\0') ReadImageTexts(handle, Current);
        ReadWorkingSet(handle, Current);
    }
    // A process that runs but answers none of the name queries (the system's own,
    // some protected ones) is named from tool-help's list.
    if (Current.name[0] == '\0' && runs) ReadTableName(id, Current.name);
}

// Reads the entry at the cursor, unless it has been read already.
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
    if (FromList) {
        ReadListedEntry(*Listed, id);
    } else {
        ReadEnumeratedEntry(id);
    }
    if (Current.state != RunState::Ended && TextEquals(Current.name, "?")) {
        CopyText(Current.name, NAME_BUFFER_SIZE, "System");
    }
    return Current;
}

// Today's snapshot where the list cannot be had: EnumProcesses into the process-id
// buffer, grown until the whole list fits; the number of ids.
static int32_t SnapshotIds() {
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
    return static_cast<int32_t>(bytes / sizeof(DWORD));
}

int32_t SnapshotProcessIds() {
    Cursor = 0;
    Listed = nullptr;
    Current.read = false;
    ReleaseEntryTables();
    SnapshotCount = TakeProcessList();
    FromList = SnapshotCount > 0;
    if (!FromList) SnapshotCount = SnapshotIds();
    return SnapshotCount;
}

int32_t NextProcessEntry() {
    ++Cursor;
    if (Cursor <= SnapshotCount) {
        if (FromList) Listed = Listed ? NextListedProcess(Listed) : FirstListedProcess();
        Current.read = false;
        return Cursor;
    }
    // Past the end the cursor rests on the last entry, whose answers stand; the
    // walk is over, and with it the need for tool-help's tables.
    Cursor = SnapshotCount;
    ReleaseEntryTables();
    return 0;
}

void ReleaseSnapshot() {
    SnapshotCount = Cursor = 0;
    Listed = nullptr;
    FromList = false;
    Current.read = false;
    ReleaseEntryTables();
    ReleaseProcessList();
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
