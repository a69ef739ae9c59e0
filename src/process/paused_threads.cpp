#include "process/paused_threads.h"

#include "process/thread_state.h"
#include "runtime/module_state.h"

// Entries of a list's first block; each further block is twice as large.
constexpr intptr_t FIRST_CAPACITY = 16;

bool KeepPausedThread(PausedThreads& threads, HANDLE thread, ULONG count) {
    void* room = RoomForOneMore(threads.entries, threads.count, threads.capacity, FIRST_CAPACITY,
                                sizeof(PausedThread));
    if (!room) return false;
    threads.entries = static_cast<PausedThread*>(room);
    threads.entries[threads.count++] = {thread, count};
    return true;
}

void ClosePausedThreads(PausedThreads& threads) {
    for (intptr_t i = 0; i < threads.count; ++i)
        CloseHandle(threads.entries[i].thread);
    threads.count = 0;
}

void FreePausedThreads(PausedThreads& threads) {
    ClosePausedThreads(threads);
    if (threads.entries && MainHeap) HeapFree(MainHeap, 0, threads.entries);
    threads = PausedThreads{};
}

// True while the pause still holds the thread: it has not ended, and it is at or
// above the count that the pause left it at, or its count cannot be read.
static bool StillPaused(const PausedThread& paused) {
    if (HasEnded(paused.thread)) return false;
    const LONG count = ThreadSuspendCount(paused.thread);
    return count < 0 || static_cast<ULONG>(count) >= paused.count;
}

bool PauseStillHolds(const PausedThreads& threads) {
    for (intptr_t i = 0; i < threads.count; ++i) {
        if (StillPaused(threads.entries[i])) return true;
    }
    return false;
}

constexpr DWORD FAILED = static_cast<DWORD>(-1);

bool UndoPause(const PausedThreads& threads) {
    // The pause is one act: while it still holds a thread, every thread that it
    // suspended is lowered by one, a thread let go from outside meanwhile included
    // (ResumeThread leaves a thread at 0 as it is). Once it holds none, it has been
    // undone from outside, and nothing is lowered.
    if (!PauseStillHolds(threads)) return true;
    bool undone = true;
    for (intptr_t i = 0; i < threads.count; ++i) {
        HANDLE thread = threads.entries[i].thread;
        if (HasEnded(thread)) continue;
        if (ResumeThread(thread) == FAILED && !HasEnded(thread)) undone = false;
    }
    return undone;
}
