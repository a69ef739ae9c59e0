// Pause, resume and kill a process that the caller holds open.
#pragma once

#include <windows.h>
#include <stdint.h>

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
// The threads that it suspended are kept, held open, each with its count right
// after the pause: in the record, if given (what was there before is closed
// first), else only for the pause's own length. The record is left empty when the
// pause fails, and a pause that cannot keep a thread fails.
bool PauseProcess(HANDLE process, uint32_t processId, PausedThreads* record = nullptr);
// Lowers every thread's suspend count by one, whoever raised it (NtResumeProcess,
// else one snapshot walk). True when the process has a thread and the resume
// reached it; else false.
bool ResumeProcess(HANDLE process, uint32_t processId);
// True when the system marks the process, open with limited query access, critical:
// its end stops the system and a pause of it can hang the whole session. False
// where the system does not say.
bool IsCriticalProcess(HANDLE process);
// True when a kill of the process, held on a handle with KILL_ACCESS, is to be
// offered at all: it still runs, it is not the process that hosts the library (its
// end would close the window unasked and leave what it paused frozen), and the
// system does not mark it critical.
bool MayKill(HANDLE process, uint32_t processId);
// Terminates the process, held on a handle with KILL_ACCESS, with the exit code;
// false when the system refuses or the process has ended already.
bool KillProcess(HANDLE process, uint32_t exitCode);
