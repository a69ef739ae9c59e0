// Pause, resume and kill a process by id.
#pragma once

#include <stdint.h>

// Suspends every thread of the process found in a thread snapshot. 1 when the
// snapshot held a thread of it, else 0. Refuses (0) the process that hosts the library.
int32_t SuspendProcessThreads(uint32_t processId);
// Resumes every thread of the process; results as SuspendProcessThreads.
int32_t ResumeProcessThreads(uint32_t processId);
// Enables the debug privilege, then terminates the process with the exit code.
// TerminateProcess's result, or 0 when the process cannot be opened.
int32_t TerminateProcessById(uint32_t processId, uint32_t exitCode);
// Enables the named privilege in this process's token; reports nothing.
void EnablePrivilege(const char* privilegeName);
