#include "process/enumeration.h"

#include "process/process_api.h"
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

static int32_t EntryCount() {
    return static_cast<int32_t>(SnapshotBytes / sizeof(DWORD));
}

// The current entry's id; false when no entry is current.
static bool CurrentProcessId(DWORD& id) {
    if (!ProcessApi.processIdBuffer || Cursor < 1 || Cursor > EntryCount()) return false;
    id = ProcessApi.processIdBuffer[Cursor - 1];
    return true;
}

// A process opened for queries, closed when it goes out of scope.
class QueryHandle {
  public:
    QueryHandle(DWORD id, DWORD access) : handle_(OpenProcess(access, FALSE, id)) {}
    ~QueryHandle() {
        if (handle_) CloseHandle(handle_);
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

using ModuleTextFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR text, DWORD size);

// Reads a text about the process's executable module (its base name or its full
// path) into name, terminated. The text is what the call reports as written:
// empty when it wrote nothing, never longer than the buffer.
static void ReadModuleText(DWORD id, ModuleTextFn read, char (&name)[NAME_BUFFER_SIZE]) {
    name[0] = '\0';
    if (!read) return;
    QueryHandle process(id, QUERY_ACCESS);
    if (!process.get()) return;
    // Only the first module, the executable, is asked for. A failed call leaves
    // the handle null, which the text functions take as the executable too.
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (ProcessApi.enumProcessModules) {
        // The size is the bytes of one module handle, which is a pointer type.
        // NOLINTNEXTLINE(bugprone-sizeof-expression)
        ProcessApi.enumProcessModules(process.get(), &module, sizeof(module), &needed);
    }
    DWORD length = read(process.get(), module, name, MAX_PROCESS_TEXT);
    if (length > MAX_PROCESS_TEXT) length = MAX_PROCESS_TEXT;
    name[length] = '\0';
}

// What psapi could not read, taken from the process's full image path: the whole
// path, or its last component for the base name. psapi reads no modules of a
// 64-bit process from a 32-bit one (nor of some protected processes), while the
// image-name query answers for any process that limited query access opens.
// Leaves text empty when the slot is missing or the query fails.
static void ReadImageText(DWORD id, bool baseName, char (&text)[NAME_BUFFER_SIZE]) {
    text[0] = '\0';
    if (!ProcessApi.queryFullProcessImageNameA) return;
    QueryHandle process(id, LIMITED_QUERY_ACCESS);
    if (!process.get()) return;
    char path[IMAGE_PATH_SIZE];
    DWORD size = IMAGE_PATH_SIZE;
    if (!ProcessApi.queryFullProcessImageNameA(process.get(), 0, path, &size)) return;
    path[size < IMAGE_PATH_SIZE ? size : IMAGE_PATH_SIZE - 1] = '\0';
    const char* start = path;
    if (baseName) {
        for (const char* c = path; *c; ++c) {
            if (*c == '\\') start = c + 1;
        }
    }
    CopyText(text, NAME_BUFFER_SIZE, start);
}

// The psapi text, or where psapi wrote nothing, the image-name query's.
static void ReadProcessText(DWORD id, ModuleTextFn read, bool baseName,
                            char (&text)[NAME_BUFFER_SIZE]) {
    ReadModuleText(id, read, text);
    if (text[0] == '\0') ReadImageText(id, baseName, text);
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
    return EntryCount();
}

int32_t NextProcessEntry() {
    ++Cursor;
    if (Cursor <= EntryCount()) return Cursor;
    // Past the end the cursor rests on the last entry.
    Cursor = EntryCount();
    return 0;
}

uint32_t EntryProcessId() {
    DWORD id = 0;
    CurrentProcessId(id);
    return id;
}

const char* EntryProcessName() {
    DWORD id = 0;
    if (!CurrentProcessId(id)) return ScratchEmptyText();
    // The system idle process has no image to ask about.
    if (id == 0) return ScratchPutText("IDLE");
    char name[NAME_BUFFER_SIZE];
    ReadProcessText(id, ProcessApi.getModuleBaseNameA, true, name);
    if (name[0] == '?' && name[1] == '\0') return ScratchPutText("System");
    return ScratchPutText(name, NAME_BUFFER_SIZE);
}

const char* EntryProcessPath() {
    DWORD id = 0;
    if (!CurrentProcessId(id)) return ScratchEmptyText();
    char path[NAME_BUFFER_SIZE];
    ReadProcessText(id, ProcessApi.getModuleFileNameExA, false, path);
    return ScratchPutText(path, NAME_BUFFER_SIZE);
}

size_t EntryWorkingSet() {
    DWORD id = 0;
    if (!CurrentProcessId(id) || !ProcessApi.getProcessMemoryInfo) return 0;
    QueryHandle process(id, QUERY_ACCESS);
    if (!process.get()) return 0;
    // The record's own size field stays 0: the size goes only in the argument.
    PROCESS_MEMORY_COUNTERS counters = {};
    ProcessApi.getProcessMemoryInfo(process.get(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}
