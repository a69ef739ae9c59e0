#include "process/identity.h"

#include "process/process_api.h"

// Opens the process for questions about its times; systems older than Vista know
// only the wider query access.
static HANDLE OpenForTimes(uint32_t processId) {
    HANDLE process = OpenProcess(LIMITED_QUERY_ACCESS, FALSE, processId);
    if (!process) process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    return process;
}

uint64_t HandleCreationTime(HANDLE process) {
    FILETIME created = {}, exited, kernel, user;
    if (!ProcessApi.getProcessTimes ||
        !ProcessApi.getProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

HANDLE HoldProcess(uint32_t processId, uint64_t created) {
    HANDLE process = OpenForTimes(processId);
    if (!process) return nullptr;
    if (HandleCreationTime(process) != created) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

void ReleaseProcess(HANDLE process) {
    if (process) CloseHandle(process);
}
