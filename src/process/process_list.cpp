#include "process/process_list.h"

#include "runtime/growing_array.h"

// The last list, as the call wrote it: count is the bytes it holds (0: no list).
// Written by TakeProcessList, given back by ReleaseProcessList.
static GrowingArray<BYTE, intptr_t{64} * 1024> ListBuffer;

// How many times one list is asked for: each "too small" grows the buffer to what
// the call needs, and processes that start meanwhile may need a little more again.
constexpr int MAX_LIST_CALLS = 8;
// Room beyond what the call said it needs, for processes and threads that start
// before the next call.
constexpr ULONG LIST_SLACK = 16 * 1024;

// True when the entry at offset and its threads lie inside the list's bytes.
static bool FitsInList(intptr_t offset) {
    if (offset < 0 || ListBuffer.count - offset < static_cast<intptr_t>(sizeof(ListedProcess)))
        return false;
    const auto* process = reinterpret_cast<const ListedProcess*>(ListBuffer.entries + offset);
    const intptr_t threads = ListBuffer.count - offset - static_cast<intptr_t>(sizeof *process);
    return process->threadCount <= static_cast<uintptr_t>(threads) / sizeof(ListedThread);
}

// The number of entries in the list; 0, and no list, when one of them does not lie
// whole inside what the call wrote.
static int32_t CountListed() {
    int32_t count = 0;
    for (intptr_t offset = 0; FitsInList(offset);) {
        ++count;
        const ULONG next =
            reinterpret_cast<const ListedProcess*>(ListBuffer.entries + offset)->nextEntryOffset;
        if (next == 0) return count;
        if (next < sizeof(ListedProcess)) break;
        offset += next;
    }
    ListBuffer.count = 0;
    return 0;
}

int32_t TakeProcessList() {
    ListBuffer.count = 0;
    if (!ProcessApi.ntQuerySystemInformation) return 0;
    for (int call = 0; call < MAX_LIST_CALLS; ++call) {
        ULONG needed = 0;
        const LONG status =
            ProcessApi.ntQuerySystemInformation(PROCESS_LIST_CLASS, ListBuffer.entries,
                                                static_cast<ULONG>(ListBuffer.capacity), &needed);
        if (status >= 0) {
            const auto written = static_cast<intptr_t>(needed);
            ListBuffer.count = written < ListBuffer.capacity ? written : ListBuffer.capacity;
            return CountListed();
        }
        if (status != STATUS_INFO_LENGTH_MISMATCH) break;
        // Grown (by the arrays' own doubling) to what the call needs, and at least once.
        const intptr_t wanted = static_cast<intptr_t>(needed) + LIST_SLACK;
        const intptr_t room = wanted > ListBuffer.capacity ? wanted : ListBuffer.capacity + 1;
        if (room > MAX_PROCESS_LIST_SIZE || !AppendRoom(ListBuffer, room)) break;
        ListBuffer.count = 0;
    }
    return 0;
}

const ListedProcess* FirstListedProcess() {
    return ListBuffer.count > 0 ? reinterpret_cast<const ListedProcess*>(ListBuffer.entries)
                                : nullptr;
}

const ListedProcess* NextListedProcess(const ListedProcess* process) {
    if (!process || process->nextEntryOffset == 0) return nullptr;
    // CountListed checked every entry up to the last.
    return reinterpret_cast<const ListedProcess*>(reinterpret_cast<const BYTE*>(process) +
                                                  process->nextEntryOffset);
}

const ListedThread* ListedThreadsOf(const ListedProcess* process) {
    return reinterpret_cast<const ListedThread*>(process + 1);
}

DWORD ListedProcessId(const ListedProcess* process) {
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process->processId));
}

void ReleaseProcessList() {
    FreeArray(ListBuffer);
}
