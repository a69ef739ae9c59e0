// Pause, resume and kill a process that the caller holds open.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/identities.h"
#include "process/paused_threads.h"

// The access that pausing and resuming ask of a held process: NtSuspendProcess and
// NtResumeProcess need PROCESS_SUSPEND_RESUME, NtGetNextThread PROCESS_QUERY_INFORMATION.
constexpr DWORD SUSPEND_ACCESS = PROCESS_SUSPEND_RESUME | PROCESS_QUERY_INFORMATION;
// The access that killing asks of a held process.
constexpr DWORD KILL_ACCESS = PROCESS_TERMINATE;

// Suspends every thread of the process once. The process is held on a handle with
// SUSPEND_ACCESS (HoldProcess) and named by its id. It is suspended in one call
// (NtSuspendProcess), then its threads are looked at on its handle until every one
// is suspended; where the system lacks those calls, or the handle was refused their
// access, by walks of thread snapshots instead. True when every thread was
// suspended; false, with every suspension of this call undone, when a thread cannot
// be suspended, the process has no thread or does not settle. Refuses (false) the
// process that hosts the library and a process that the system marks critical.
// The threads that it suspended are kept open, each with its count right
// after the pause: in the record, if given (what was there before is closed
// first), else only for the pause's own length. The record is left empty when the
// pause fails, and a pause that cannot keep a thread fails.
bool PauseProcess(HANDLE process, uint32_t processId, PausedThreads* record = nullptr);
// Lowers every thread's suspend count by one, whoever raised it (NtResumeProcess,
// else one snapshot walk). True when the resume reached the process (the process-wide
// call) or a thread of it (the walk); else false. The process-wide call also
// succeeds on a process that has ended and that the handle keeps: whether it has
// ended is the caller's to ask first (HoldProcess does).
bool ResumeProcess(HANDLE process, uint32_t processId);
// Pauses the process of the identity, held by the caller with SUSPEND_ACCESS, and
// notes what the pause did (NotePause), so that the close, the session's end and the
// library's unloading undo it. False, noting nothing, when the pause fails or cannot
// be noted (no memory): a pause that could not be undone later is undone at once.
bool PauseAndNote(HANDLE process, const ProcessIdentity& identity);
// Resumes the process, held by the caller with SUSPEND_ACCESS: every thread's count
// lowered by one, whoever raised it (the user's own choice). The note of its pause
// is then let go; false, keeping it, when the resume fails.
bool ResumeAndLetGo(HANDLE process, const ProcessIdentity& identity);
// True when the system marks the process, open with limited query access, critical:
// its end stops the system and a pause of it can hang the whole session. False
// where the system does not say.
bool IsCriticalProcess(HANDLE process);
// True when a kill of the process, held on a handle with KILL_ACCESS, is to be
// offered at all: it is not the process that hosts the library (its end would close
// the window unasked and leave what it paused frozen), and the system does not mark
// it critical.
bool MayKill(HANDLE process, uint32_t processId);
// Terminates the process, held on a handle with KILL_ACCESS, with the exit code;
// false when it has ended already (asked first: the question may have been open a
// while) or the system refuses.
bool KillProcess(HANDLE process, uint32_t exitCode);
