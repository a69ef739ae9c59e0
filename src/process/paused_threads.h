// The threads that one pause suspended, each held open with its suspend count
// right after the pause: what the pause did, so that it can be undone as one act
// while it is in force, and left alone once it has lapsed (been undone from outside).
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/threads.h"
#include "runtime/growing_array.h"

// The access a paused thread is kept open with: to lower its count, to read it, and to
// tell whether it has ended. (Where the system knows no limited query access,
// before Vista, a thread is kept without it and its count is not read.)
constexpr DWORD PAUSED_THREAD_ACCESS = THREAD_SUSPEND_RESUME | THREAD_STATE_ACCESS;

struct PausedThread {
    HANDLE thread; // open with PAUSED_THREAD_ACCESS (or without the limited query)
    DWORD id;      // its id, where a walk of thread snapshots suspended it (else 0)
    ULONG count;   // its suspend count right after the pause
};

// One pause's threads; all zero before the first.
using PausedThreads = GrowingArray<PausedThread, 16>;

// Adds a thread, taking its handle over; false, leaving the handle to the caller and
// the list as it was, when no memory can be had.
bool KeepPausedThread(PausedThreads& threads, HANDLE thread, DWORD id, ULONG count);
// Closes every thread's handle and empties the list; its block stays for reuse.
void EmptyPausedThreads(PausedThreads& threads);
// Closes every handle and gives the block back; the list is all zero afterwards.
void FreePausedThreads(PausedThreads& threads);
// True while the pause is in force: a thread that has not ended is at or above the
// count that the pause left it at, or its count cannot be read. Once none is, the
// pause has lapsed: every thread has been let go from outside, or has ended. Reads
// the counts only up to the first such thread; changes nothing.
bool PauseInForce(const PausedThreads& threads);
// Undoes the pause while it is in force: every thread that has not ended is lowered
// by one, never below 0; a pause that has lapsed is left alone. Allocates nothing.
// False when a thread that has not ended could not be lowered.
bool UndoPause(const PausedThreads& threads);
