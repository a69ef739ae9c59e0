#include "process/actions.h"

#include "process/process_api.h"

// The privilege a kill enables first.
constexpr char DEBUG_PRIVILEGE[] = "SeDebugPrivilege";

using ThreadActionFn = DWORD(WINAPI*)(HANDLE thread);

// Walks a system-wide thread snapshot and applies action to every thread of the
// process. 1 when the snapshot held a thread of it (opened or not), else 0; 0 as
// well when any of the tool-help entry points is missing, since then the walk
// cannot be carried out at all.
static int32_t ForEachThreadOf(DWORD processId, ThreadActionFn action) {
    if (!ProcessApi.createToolhelp32Snapshot || !ProcessApi.thread32First ||
        !ProcessApi.thread32Next || !ProcessApi.openThread) {
        return 0;
    }
    HANDLE snapshot = ProcessApi.createToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!snapshot || snapshot == INVALID_HANDLE_VALUE) return 0;

    bool found = false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ProcessApi.thread32First(snapshot, &entry); more;
         more = ProcessApi.thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        found = true;
        // A thread that cannot be opened (ended, access denied) is passed over.
        if (HANDLE thread =
                ProcessApi.openThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            action(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return found ? 1 : 0;
}

int32_t SuspendProcessThreads(uint32_t processId) {
    // Suspending the host would stop the thread that runs the window, and this walk
    // with it: the program would freeze for good.
    if (processId == GetCurrentProcessId()) return 0;
    return ForEachThreadOf(processId, SuspendThread);
}

int32_t ResumeProcessThreads(uint32_t processId) {
    return ForEachThreadOf(processId, ResumeThread);
}

int32_t TerminateProcessById(uint32_t processId, uint32_t exitCode) {
    // Lets the kill reach processes that the token may open only as a debugger;
    // whether that worked does not matter, the kill is tried anyway. The access is
    // checked when the process is opened, so the privilege goes back to its former
    // state right after that.
    EnabledPrivilege debug = EnablePrivilege(DEBUG_PRIVILEGE);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    RestorePrivilege(debug);
    if (!process) return 0;
    BOOL terminated = TerminateProcess(process, exitCode);
    CloseHandle(process);
    return terminated;
}

EnabledPrivilege EnablePrivilege(const char* privilegeName) {
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

void RestorePrivilege(EnabledPrivilege& enabled) {
    if (!enabled.token) return;
    if (enabled.previous.PrivilegeCount != 0) {
        AdjustTokenPrivileges(enabled.token, FALSE, &enabled.previous, 0, nullptr, nullptr);
    }
    CloseHandle(enabled.token);
    enabled.token = nullptr;
}
