// A process's run state, as a row shows it: whether it has ended, and else whether
// it is paused (every thread suspended, whoever did it, or paused by this module)
// or runs. Read in one place, from the process's handle and its threads' suspend
// counts, without touching them; reading changes nothing.
#pragma once

#include <windows.h>

#include "process/threads.h"

enum class RunState {
    Running, // a thread runs, or the counts cannot be read (Windows before 8.1,
             // access refused) and nothing says otherwise
    Paused,  // every thread's count is at least 1, or this module's pause is in force
    Ended,   // the process has ended (a handle may keep it from going)
};

// The state of the process, open with any query access (or null where it cannot be
// opened). Ended when its handle says so; else Paused when pausedHere (a pause of this
// module is in force: the caller knows, IsPausedHere); else its threads' suspend
// counts are read until one runs, on the handle, or where that cannot walk them (or
// there is none) on the threads that walkIds names, opened by id.
RunState ReadRunState(HANDLE process, DWORD processId, bool pausedHere,
                      ThreadIdWalk walkIds = WalkThreadsOf);
// The same for a process that the caller knows not to have ended: Paused or Running.
RunState ReadPausedOrRunning(HANDLE process, DWORD processId, bool pausedHere,
                             ThreadIdWalk walkIds);
