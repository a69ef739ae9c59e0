#include "process/enumeration.h"

#include <string.h>

#include "process/identity.h"
#include "process/process_api.h"
#include "runtime/module_state.h"
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
// Room for the full image path, so that the base name is found even when the path
// itself is longer than a result may be.
constexpr DWORD IMAGE_PATH_SIZE = 1024;
// First size of the tool-help name table; it doubles when full.
constexpr SIZE_T NAME_TABLE_STEP = 4096;

// The current entry as read on one handle by the first query after the cursor moved.
struct EntryRecord {
    bool read; // false until a query reads the entry at the cursor
    uint64_t created;
    size_t workingSet;
    char name[NAME_BUFFER_SIZE];
    char path[NAME_BUFFER_SIZE];
};
static EntryRecord Current;

// Tool-help's process names, taken at most once per snapshot, when the first entry
// that nothing else names is read. In MainHeap, packed: per process its id (4 bytes)
// and its terminated name.
static char* NameTable = nullptr;
static SIZE_T NameTableSize = 0; // bytes allocated
static SIZE_T NameTableUsed = 0; // bytes filled
static bool NameTableTaken = false;

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
// of: modules and memory; limited query access (Vista and later); query access
// alone (older systems, which know no limited access). Closed when out of scope.
class EntryHandle {
  public:
    explicit EntryHandle(DWORD id)
        : handle_(OpenProcess(QUERY_ACCESS, FALSE, id)), readsModules_(handle_ != nullptr) {
        if (handle_) return;
        handle_ = OpenProcess(LIMITED_QUERY_ACCESS, FALSE, id);
        if (!handle_) handle_ = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
        // Refused, rather than gone: the process runs but keeps its details.
        if (!handle_) refused_ = GetLastError() == ERROR_ACCESS_DENIED;
    }
    ~EntryHandle() {
        if (handle_) CloseHandle(handle_);
    }
    EntryHandle(const EntryHandle&) = delete;
    EntryHandle& operator=(const EntryHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool readsModules() const { return readsModules_; }
    bool refused() const { return refused_; }

  private:
    HANDLE handle_ = nullptr;
    bool readsModules_ = false;
    bool refused_ = false;
};

using ModuleTextFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR text, DWORD size);

// Reads a text about the process's module (its base name or its full path) into
// text, terminated. The text is what the call reports as written: empty when it
// wrote nothing, never longer than the buffer.
static void ReadModuleText(HANDLE process, HMODULE module, ModuleTextFn read,
                           char (&text)[NAME_BUFFER_SIZE]) {
    text[0] = '\0';
    if (!read) return;
    DWORD length = read(process, module, text, MAX_PROCESS_TEXT);
    if (length > MAX_PROCESS_TEXT) length = MAX_PROCESS_TEXT;
    text[length] = '\0';
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
    if (entry.path[0] == '\0') CopyText(entry.path, NAME_BUFFER_SIZE, path);
    if (entry.name[0] == '\0') {
        const char* start = path;
        for (const char* c = path; *c; ++c) {
            if (*c == '\\') start = c + 1;
        }
        CopyText(entry.name, NAME_BUFFER_SIZE, start);
    }
}

void ReleaseEntryNames() {
    if (NameTable && MainHeap) HeapFree(MainHeap, 0, NameTable);
    NameTable = nullptr;
    NameTableSize = NameTableUsed = 0;
    // A later entry that needs the names takes them afresh.
    NameTableTaken = false;
}

// Appends one process's name to the table, growing it; false when no memory can be had.
static bool AddTableName(DWORD id, const char* name) {
    const size_t length = TextLength(name, MAX_PROCESS_TEXT);
    const SIZE_T needed = NameTableUsed + sizeof id + length + 1;
    if (needed > NameTableSize) {
        const SIZE_T size = NameTableSize ? 2 * NameTableSize : NAME_TABLE_STEP;
        void* grown = GrowHeapBlock(MainHeap, NameTable, size);
        if (!grown) return false;
        NameTable = static_cast<char*>(grown);
        NameTableSize = size;
    }
    char* at = NameTable + NameTableUsed;
    memcpy(at, &id, sizeof id); // the table is packed: ids are not aligned
    CopyText(at + sizeof id, length + 1, name);
    NameTableUsed = needed;
    return true;
}

// Walks tool-help's process list once into the name table. A missing slot, a
// failed snapshot or a lack of memory leaves the table with what it got.
static void TakeNameTable() {
    NameTableTaken = true;
    if (!MainHeap || !ProcessApi.createToolhelp32Snapshot || !ProcessApi.process32First ||
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
        if (!AddTableName(process.th32ProcessID, process.szExeFile)) break;
    }
    CloseHandle(snapshot);
}

// The process's name in tool-help's list, into name; empty when it is not listed.
static void ReadTableName(DWORD id, char (&name)[NAME_BUFFER_SIZE]) {
    if (!NameTableTaken) TakeNameTable();
    for (SIZE_T at = 0; at < NameTableUsed;) {
        DWORD listed;
        memcpy(&listed, NameTable + at, sizeof listed);
        const char* text = NameTable + at + sizeof listed;
        if (listed == id) {
            CopyText(name, NAME_BUFFER_SIZE, text);
            return;
        }
        at += sizeof listed + TextLength(text) + 1;
    }
}

// Reads the entry at the cursor, on one handle, unless it has been read already.
static const EntryRecord& CurrentEntry() {
    if (Current.read) return Current;
    Current.read = true;
    Current.created = 0;
    Current.workingSet = 0;
    Current.name[0] = Current.path[0] = '\0';
    DWORD id = 0;
    if (!CurrentProcessId(id)) return Current;
    // The system idle process has no image to ask about.
    if (id == 0) {
        CopyText(Current.name, NAME_BUFFER_SIZE, "IDLE");
        return Current;
    }
    EntryHandle process(id);
    if (HANDLE handle = process.get()) {
        // First, so that a process that ends meanwhile, or whose id passes to
        // another, cannot lend its texts to the identity read here.
        Current.created = HandleCreationTime(handle);
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
        if (ProcessApi.getProcessMemoryInfo) {
            // The record's own size field stays 0: the size goes only in the argument.
            PROCESS_MEMORY_COUNTERS counters = {};
            if (ProcessApi.getProcessMemoryInfo(handle, &counters, sizeof(counters))) {
                Current.workingSet = counters.WorkingSetSize;
            }
        }
    }
    // A process that runs but answers none of the name queries (the system's own,
    // some protected ones) is named from tool-help's list; one that has ended is not.
    if (Current.name[0] == '\0' && (process.get() || process.refused())) {
        ReadTableName(id, Current.name);
    }
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
    ReleaseEntryNames();
    return EntryCount();
}

int32_t NextProcessEntry() {
    ++Cursor;
    if (Cursor <= EntryCount()) {
        Current.read = false;
        return Cursor;
    }
    // Past the end the cursor rests on the last entry, whose answers stand; the
    // walk is over, and with it the need for tool-help's names.
    Cursor = EntryCount();
    ReleaseEntryNames();
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

size_t EntryWorkingSet() {
    return CurrentEntry().workingSet;
}

uint64_t EntryCreationTime() {
    return CurrentEntry().created;
}
