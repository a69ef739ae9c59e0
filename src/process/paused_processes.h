// The processes that this module paused and has not resumed since. They would
// stay frozen for good once the window that paused them is gone, since no later
// window knows they were paused: they are resumed for the user when the window
// closes (if the user agrees), when the session ends, and when the host process
// ends under a window still open.
#pragma once

#include "process/identity_table.h"

// Notes a process that a pause has just stopped (once, however often it is noted).
// A process that cannot be noted (no memory) is only not resumed later.
void NotePaused(const ProcessIdentity& identity);
// Forgets a process that has been resumed or killed.
void ForgetPaused(const ProcessIdentity& identity);
// True when the process is noted as paused here.
bool IsPausedHere(const ProcessIdentity& identity);
// True when a noted process is still paused: the same process, not ended, and not
// running again (some other tool may have resumed it).
bool AnyStillPaused();
// Resumes once each noted process that is still paused, then forgets them all;
// false when one of them could not be resumed. Allocates and frees nothing, so
// that it can run while the process ends.
bool ResumePausedProcesses();
// Forgets every noted process and leaves them as they are.
void ForgetPausedProcesses();
