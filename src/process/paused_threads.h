// The threads that one pause suspended, each held open with its suspend count
// right after the pause: what the pause did, so that it can be undone as one act
// while it holds, and left alone once it has been undone from outside.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/threads.h"
#include "runtime/growing_array.h"

// The access a paused thread is held with: to lower its count, to read it, and to
// tell whether it has ended. (Where the system knows no limited query access,
// before Vista, a thread is held without it and its count is not read.)
constexpr DWORD PAUSED_THREAD_ACCESS = THREAD_SUSPEND_RESUME | THREAD_STATE_ACCESS;

struct PausedThread {
    HANDLE thread; // held with PAUSED_THREAD_ACCESS (or without the limited query)
    DWORD id;      // its id, where a walk of thread snapshots suspended it (else 0)
    ULONG count;   // its suspend count right after the pause
};

// One pause's threads; all zero before the first.
using PausedThreads = GrowingArray<PausedThread, 16>;

// Adds a thread, taking its handle over; false, leaving the handle to the caller and
// the list as it was, when no memory can be had.
bool KeepPausedThread(PausedThreads& threads, HANDLE thread, DWORD id, ULONG count);
// Closes every thread's handle and empties the list; its block stays for reuse.
void ClosePausedThreads(PausedThreads& threads);
// Closes every handle and gives the block back; the list is all zero afterwards.
void FreePausedThreads(PausedThreads& threads);
// True while the pause holds: a thread that has not ended is at or above the count
// that the pause left it at, or its count cannot be read.
bool PauseHolds(const PausedThreads& threads);
// Undoes the pause while it holds (PauseHolds): every thread that has not ended is
// lowered by one, never below 0; a pause that no longer holds is left alone.
// Allocates nothing. False when a thread that has not ended could not be lowered.
bool UndoPause(const PausedThreads& threads);
