// The processes that this module paused, each with what its pause did to each
// thread. They would stay frozen for good once the window that paused them is
// gone, since no later window knows they were paused: they are resumed for the
// user when the window closes (if the user agrees), when the session ends, and
// when the library is unloaded or the host process ends under a window still open.
// A pause is one act on its process: while it still holds a thread (one that it
// suspended is at or above the count it left it at), undoing it lowers every thread
// that it suspended by one, never below 0; once it holds none (undone from outside,
// or its process has ended), it is let go as soon as it is looked at, and nothing
// is lowered. A thread that the program, a debugger or another tool held before
// the pause stays held.
#pragma once

#include <windows.h>

#include "process/identities.h"

// Pauses the process, held by the caller with SUSPEND_ACCESS, and notes what the
// pause did (in place of what an earlier pause of it noted). False, noting
// nothing, when the pause fails or cannot be noted (no memory): a pause that could
// not be undone later is not made.
bool PauseAndNote(HANDLE process, const ProcessIdentity& identity);
// Resumes the process, held by the caller with SUSPEND_ACCESS: every thread's count
// lowered by one, whoever raised it (the user's own choice). The note of its pause
// is then forgotten; false, keeping it, when the resume fails.
bool ResumeAndForget(HANDLE process, const ProcessIdentity& identity);
// Forgets a process that has been killed.
void ForgetPaused(const ProcessIdentity& identity);
// True while the pause noted for the process still holds one of its threads: a
// thread that has not ended is at or above the count the pause left it at (or its
// count cannot be read). A noted pause that no longer holds is let go here, its
// handles closed: the process is no longer paused here.
bool PauseHolds(const ProcessIdentity& identity);
// Lets go of the pause noted for the process if it no longer holds: a refused
// command may be the first sight that the process has ended.
void LetGoIfLapsed(const ProcessIdentity& identity);
// Lets go of every noted pause that no longer holds, closing its handles: those
// undone from outside and those whose process has ended.
void LetGoOfLapsedPauses();
// True when a noted pause still holds; lets go of the rest first.
bool AnyPauseHolds();
// Undoes every noted pause that still holds a thread, as one act each: every
// thread that it suspended lowered by one, never below 0. It uses only the
// threads' own handles and allocates nothing, so that it can run while the host
// process ends (a thread that ended then may have left a heap's lock held). False
// when a thread could not be lowered. The notes stay.
bool ResumePausedProcesses();
// Forgets every noted process and leaves them as they are.
void ForgetPausedProcesses();
