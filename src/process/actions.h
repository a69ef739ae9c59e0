// Pause, resume and kill a process by id.
#pragma once

#include <windows.h>
#include <stdint.h>

// Suspends every thread of the process once, walking thread snapshots again until
// a walk finds no thread that this call has not suspended, so that threads started
// meanwhile are caught. 1 when every thread was suspended; 0, with every suspension
// of this call undone, when a thread refuses, the process has no thread or does not
// settle within 64 walks and 3 seconds. Refuses (0) the process that hosts the library.
// Where the system names a thread's process, a thread id that has passed to another
// process's thread is never suspended or resumed (here or by ResumeProcessThreads).
int32_t SuspendProcessThreads(uint32_t processId);
// Resumes every thread of the process in one snapshot walk; 1 when at least one
// thread of it was resumed, else 0.
int32_t ResumeProcessThreads(uint32_t processId);
// True when the system marks the process, open with limited query access, critical:
// its end stops the system and a pause of it can hang the whole session. False
// where the system does not say.
bool IsCriticalProcess(HANDLE process);
// Terminates the process with the exit code, with the debug privilege enabled while
// the process is opened and put back as it was right after. TerminateProcess's
// result, or 0 when the process cannot be opened.
int32_t TerminateProcessById(uint32_t processId, uint32_t exitCode);
