#include "process/paused_threads.h"

bool KeepPausedThread(PausedThreads& threads, HANDLE thread, DWORD id, ULONG count) {
    return Append(threads, {thread, id, count}) != nullptr;
}

void EmptyPausedThreads(PausedThreads& threads) {
    for (intptr_t i = 0; i < threads.count; ++i)
        CloseHandle(threads.entries[i].thread);
    threads.count = 0;
}

void FreePausedThreads(PausedThreads& threads) {
    EmptyPausedThreads(threads);
    FreeArray(threads);
}

bool PauseInForce(const PausedThreads& threads) {
    for (intptr_t i = 0; i < threads.count; ++i) {
        const LONG count = LiveSuspendCount(threads.entries[i].thread);
        if (count == COUNT_UNKNOWN ||
            (count >= 0 && static_cast<ULONG>(count) >= threads.entries[i].count)) {
            return true;
        }
    }
    return false;
}

bool UndoPause(const PausedThreads& threads) {
    // The pause is one act: while it is in force, every thread that it suspended is
    // lowered by one, a thread let go from outside meanwhile included (ResumeThread
    // leaves a thread at 0 as it is). Once it has lapsed, it has been undone from
    // outside, and nothing is lowered.
    if (!PauseInForce(threads)) return true;
    bool undone = true;
    for (intptr_t i = 0; i < threads.count; ++i) {
        HANDLE thread = threads.entries[i].thread;
        if (HasEnded(thread)) continue;
        if (ResumeThread(thread) == FAILED && !HasEnded(thread)) undone = false;
    }
    return undone;
}
