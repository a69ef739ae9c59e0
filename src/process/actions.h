// Pause, resume and kill a process by id.
#pragma once

#include <windows.h>
#include <stdint.h>

// Suspends every thread of the process found in a thread snapshot. 1 when the
// snapshot held a thread of it, else 0. Refuses (0) the process that hosts the library.
int32_t SuspendProcessThreads(uint32_t processId);
// Resumes every thread of the process; results as SuspendProcessThreads.
int32_t ResumeProcessThreads(uint32_t processId);
// Terminates the process with the exit code, with the debug privilege enabled while
// the process is opened and put back as it was right after. TerminateProcess's
// result, or 0 when the process cannot be opened.
int32_t TerminateProcessById(uint32_t processId, uint32_t exitCode);

// A privilege enabled for one operation: the token, and the state that the
// enabling changed, to be put back by RestorePrivilege.
struct EnabledPrivilege {
    HANDLE token; // null when the token could not be opened
    TOKEN_PRIVILEGES previous;
};
// Enables the named privilege in this process's token; reports nothing (a token
// without the privilege stays as it is).
EnabledPrivilege EnablePrivilege(const char* privilegeName);
// Puts the privilege back as it was before EnablePrivilege and closes the token.
void RestorePrivilege(EnabledPrivilege& enabled);
