// The processes that this module paused and has not resumed since. They would
// stay frozen for good once the window that paused them is gone, since no later
// window knows they were paused: they are resumed for the user when the window
// closes (if the user agrees), when the session ends, and when the library is
// unloaded or the host process ends under a window still open.
#pragma once

#include <windows.h>

#include "process/identity_table.h"
#include "process/run_state.h"

// Notes a process that a pause has just stopped (once, however often it is noted).
// A process that cannot be noted (no memory) is only not resumed later.
void NotePaused(const ProcessIdentity& identity);
// Forgets a process that has been resumed or killed.
void ForgetPaused(const ProcessIdentity& identity);
// True when the process is noted as paused here.
bool IsPausedHere(const ProcessIdentity& identity);
// How far a state read must go for the process: a process noted here stays paused
// by this module while any of its threads is still suspended (another tool may
// have resumed one of them, or a thread been started into it), so every thread is
// read; for any other process the first running thread tells enough.
ReadDepth DepthFor(const ProcessIdentity& identity);
// Whether a process in this state counts as paused: every thread suspended, whoever
// did it; or noted here and not known to run wholly again (its threads read as far
// as DepthFor asks, or unreadable: then the note tells).
bool CountsAsPaused(RunState state, const ProcessIdentity& identity);
// The state of a process held by the caller with SUSPEND_ACCESS, read as far as
// DepthFor asks.
RunState HeldProcessState(HANDLE process, const ProcessIdentity& identity);
// True when a noted process is still paused: the same process, not ended, and with
// a thread still suspended (or whose threads cannot be read).
bool AnyStillPaused();
// Resumes once each noted process that is still paused, then forgets them all;
// false when one of them could not be resumed. While the host process ends, only
// the calls on each process's handle are used, which allocate nothing (a thread
// snapshot does, and could wait for ever on a heap lock that an ended thread held);
// where the system lacks them, nothing is resumed then.
bool ResumePausedProcesses(bool processEnding = false);
// Forgets every noted process and leaves them as they are.
void ForgetPausedProcesses();
