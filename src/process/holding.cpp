#include "process/holding.h"

#include "process/process_api.h"

// The privilege that opening a process to terminate it enables first.
constexpr char DEBUG_PRIVILEGE[] = "SeDebugPrivilege";

// A privilege enabled for one operation: the token, and the state that the
// enabling changed, to be put back by RestorePrivilege.
struct EnabledPrivilege {
    HANDLE token; // null when the token could not be opened
    TOKEN_PRIVILEGES previous;
};

// Enables the named privilege in this process's token; reports nothing (a token
// without the privilege stays as it is).
static EnabledPrivilege EnablePrivilege(const char* privilegeName) {
    // A failed step leaves its output zero and the steps after it fail quietly.
    EnabledPrivilege enabled = {};
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &enabled.token);
    LUID privilege = {};
    LookupPrivilegeValueA("", privilegeName, &privilege); // "": the local system
    TOKEN_PRIVILEGES request = {};
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = privilege;
    request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD previousLength = 0;
    // The previous state lists only what the call changed: nothing when the
    // privilege was enabled already or the token does not hold it.
    AdjustTokenPrivileges(enabled.token, FALSE, &request, sizeof(request), &enabled.previous,
                          &previousLength);
    return enabled;
}

// Puts the privilege back as it was before EnablePrivilege and closes the token.
static void RestorePrivilege(EnabledPrivilege& enabled) {
    if (!enabled.token) return;
    if (enabled.previous.PrivilegeCount != 0) {
        AdjustTokenPrivileges(enabled.token, FALSE, &enabled.previous, 0, nullptr, nullptr);
    }
    CloseHandle(enabled.token);
    enabled.token = nullptr;
}

HANDLE OpenProcessAtBest(uint32_t processId, DWORD access, bool* whole) {
    const DWORD ladder[] = {access | LIMITED_QUERY_ACCESS, LIMITED_QUERY_ACCESS,
                            access | PROCESS_QUERY_INFORMATION, PROCESS_QUERY_INFORMATION};
    for (size_t step = 0; step < sizeof ladder / sizeof ladder[0]; ++step) {
        if (HANDLE process = OpenProcess(ladder[step], FALSE, processId)) {
            if (whole) *whole = (ladder[step] & access) == access;
            return process;
        }
    }
    return nullptr;
}

static uint64_t TimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool ReadProcessTimes(HANDLE process, uint64_t& created, uint64_t& exited) {
    FILETIME creation, exit, kernel, user;
    if (!ProcessApi.getProcessTimes ||
        !ProcessApi.getProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return false;
    }
    created = TimeValue(creation);
    exited = TimeValue(exit);
    return true;
}

uint64_t HandleCreationTime(HANDLE process) {
    uint64_t created = 0, exited = 0;
    ReadProcessTimes(process, created, exited);
    return created;
}

HANDLE HoldProcess(const ProcessIdentity& identity, DWORD access, bool* ended) {
    if (ended) *ended = false;
    if (identity.created == 0) return nullptr;
    // The access is checked when the process is opened: the privilege is needed no
    // longer than that.
    const bool terminate = (access & PROCESS_TERMINATE) != 0;
    EnabledPrivilege debug = {};
    if (terminate) debug = EnablePrivilege(DEBUG_PRIVILEGE);
    HANDLE process = OpenProcessAtBest(identity.id, access);
    const DWORD openError = GetLastError();
    if (terminate) RestorePrivilege(debug);
    // Its id names no process any more.
    bool hasEnded = !process && openError == ERROR_INVALID_PARAMETER;
    if (process) {
        const uint64_t created = HandleCreationTime(process);
        // Another creation time: the id has passed to another process.
        hasEnded = created == identity.created ? HasProcessEnded(process) : created != 0;
        if (created != identity.created || hasEnded) {
            CloseHandle(process);
            process = nullptr;
        }
    }
    if (ended) *ended = hasEnded;
    return process;
}

void ReleaseProcess(HANDLE process) {
    if (process) CloseHandle(process);
}

bool HasProcessEnded(HANDLE process) {
    DWORD exitCode = 0;
    return GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE;
}
