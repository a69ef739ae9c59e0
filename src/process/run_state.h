// A process's run state, as a row shows it: whether it has ended, and else whether
// it is paused (every thread suspended, whoever did it, or paused by this module
// while its pause holds) or runs. Read in one place, from the process's handle and
// its threads' suspend counts, without touching them.
#pragma once

#include <windows.h>

#include "process/identities.h"
#include "process/threads.h"

enum class RunState {
    Running, // a thread runs, or the counts cannot be read (Windows before 8.1,
             // access refused) and nothing says otherwise
    Paused,  // every thread's count is at least 1, or this module's pause holds
    Ended,   // the process has ended (a handle may keep it from going)
};

// The state of the process of the identity. Ended when its handle (any query access)
// says so; else its threads' suspend counts are read until one runs, on the handle,
// or where that cannot walk them (or there is none) on the threads that walkIds
// names, opened by id; and a process that this module paused counts as paused while
// its pause holds (PauseHolds, which lets go of one that no longer does).
RunState ReadRunState(HANDLE process, const ProcessIdentity& identity,
                      ThreadIdWalk walkIds = WalkThreadsOf);
