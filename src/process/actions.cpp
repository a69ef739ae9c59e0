#include "process/actions.h"

#include "process/process_api.h"
#include "process/thread_state.h"

// The privilege a kill enables first.
constexpr char DEBUG_PRIVILEGE[] = "SeDebugPrivilege";

// How many snapshot walks one pause may take to catch the threads that the
// process starts while it is being paused. A walk misses a thread that starts
// after its snapshot, or that ends before it is reached (its successor is not in
// the snapshot); a process starting hundreds of threads a second took up to a few
// dozen walks on a busy machine. The rest is margin.
constexpr int MAX_PAUSE_WALKS = 64;
// How long those walks may take together. The window answers nothing while it
// pauses, and where a snapshot takes longer than such threads live (under Wine with
// hundreds of processes), no number of walks catches them: the pause fails then
// within this time instead of after every walk.
constexpr DWORD MAX_PAUSE_MS = 3000;
// How many threads one pause can hold suspended; a process with more cannot be
// paused (the pause fails and resumes what it suspended).
constexpr int MAX_PAUSED_THREADS = 4096;

// Ids of the threads that the pause in progress has suspended, PausedThreadCount
// of them; written by SuspendProcessThreads, meaningless between calls.
static DWORD PausedThreads[MAX_PAUSED_THREADS];
static int PausedThreadCount;

enum class ThreadOutcome { Suspended, Gone, Refused };
enum class WalkOutcome { Settled, Changed, Failed };

// Opens a thread of the process for suspend or resume. Null when it cannot be
// opened (Refused, or Gone when its id names no thread any more), and also, where
// the system can tell, when the id now names a thread of another process (Gone):
// the process's own thread ended after the snapshot and its id passed on.
static HANDLE OpenThreadOf(DWORD processId, DWORD threadId, ThreadOutcome& failure) {
    const bool checkOwner = ProcessApi.getProcessIdOfThread != nullptr;
    const DWORD access = THREAD_SUSPEND_RESUME | (checkOwner ? LIMITED_THREAD_QUERY_ACCESS : 0);
    HANDLE thread = ProcessApi.openThread(access, FALSE, threadId);
    if (!thread) {
        failure = GetLastError() == ERROR_INVALID_PARAMETER ? ThreadOutcome::Gone
                                                            : ThreadOutcome::Refused;
        return nullptr;
    }
    if (checkOwner && ProcessApi.getProcessIdOfThread(thread) != processId) {
        CloseHandle(thread);
        failure = ThreadOutcome::Gone;
        return nullptr;
    }
    return thread;
}

// Lowers the thread's suspend count by one; false when it cannot be opened as a
// thread of the process or cannot be resumed.
static bool ResumeThreadOf(DWORD processId, DWORD threadId) {
    ThreadOutcome failure;
    HANDLE thread = OpenThreadOf(processId, threadId, failure);
    if (!thread) return false;
    bool resumed = ResumeThread(thread) != static_cast<DWORD>(-1);
    CloseHandle(thread);
    return resumed;
}

// Whether a thread that could not be suspended has ended meanwhile: a thread on
// its way out refuses SuspendThread, and only one that still runs is a refusal.
static bool ThreadHasEnded(DWORD threadId) {
    HANDLE thread = ProcessApi.openThread(SYNCHRONIZE, FALSE, threadId);
    if (!thread) return GetLastError() == ERROR_INVALID_PARAMETER; // no such thread any more
    bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

// Suspends one thread of the process. An id that no longer names a thread of it
// is Gone; any other failure is a refusal.
//
// SuspendThread only asks the thread to stop, and it may run on for a moment. The
// thread's context is not read to wait for that: under Wine such a read can wait
// for ever on a thread of a process whose threads are being suspended (seen within
// a few pauses of a process that starts hundreds of threads a second). The repeated
// walks catch what such a moment starts.
static ThreadOutcome SuspendThreadOf(DWORD processId, DWORD threadId) {
    ThreadOutcome outcome = ThreadOutcome::Suspended;
    HANDLE thread = OpenThreadOf(processId, threadId, outcome);
    if (!thread) return outcome;
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
        outcome = ThreadHasEnded(threadId) ? ThreadOutcome::Gone : ThreadOutcome::Refused;
    }
    CloseHandle(thread);
    return outcome;
}

static bool IsPausedThread(DWORD threadId) {
    for (int i = 0; i < PausedThreadCount; ++i) {
        if (PausedThreads[i] == threadId) return true;
    }
    return false;
}

// One walk of a pause: suspends every listed thread of the process that this
// pause has not suspended yet. Settled when every listed thread had been
// suspended already; Changed when this walk suspended one or met one that had
// ended, so that another walk must look for threads started meanwhile; Failed
// when a thread refuses, the bookkeeping is full, no snapshot can be taken or
// the process has no thread left.
static WalkOutcome PauseWalk(DWORD processId) {
    int listed = 0;
    bool settled = true, failed = false;
    bool walked = WalkThreadsOf(processId, [&](DWORD threadId) {
        ++listed;
        if (IsPausedThread(threadId)) return true;
        settled = false;
        if (PausedThreadCount == MAX_PAUSED_THREADS) {
            failed = true;
            return false;
        }
        switch (SuspendThreadOf(processId, threadId)) {
        case ThreadOutcome::Suspended: PausedThreads[PausedThreadCount++] = threadId; break;
        case ThreadOutcome::Gone: break; // not suspended: the next walk looks again
        case ThreadOutcome::Refused: failed = true; return false;
        }
        return true;
    });
    if (!walked || failed || listed == 0) return WalkOutcome::Failed;
    return settled ? WalkOutcome::Settled : WalkOutcome::Changed;
}

int32_t SuspendProcessThreads(uint32_t processId) {
    // Suspending the host would stop the thread that runs the window, and this walk
    // with it: the program would freeze for good.
    if (processId == GetCurrentProcessId()) return 0;
    // All or nothing: a pause that cannot stop every thread undoes its suspensions,
    // since a process that runs on must not be shown as paused.
    PausedThreadCount = 0;
    const DWORD start = GetTickCount();
    for (int walk = 0; walk < MAX_PAUSE_WALKS && GetTickCount() - start < MAX_PAUSE_MS; ++walk) {
        WalkOutcome outcome = PauseWalk(processId);
        if (outcome == WalkOutcome::Settled) return 1;
        if (outcome == WalkOutcome::Failed) break;
    }
    // A suspended thread does not end (one already on its way out may, and then its
    // id names nothing, or rarely a newer thread, which the owner check passes over).
    for (int i = 0; i < PausedThreadCount; ++i)
        ResumeThreadOf(processId, PausedThreads[i]);
    PausedThreadCount = 0;
    return 0;
}

int32_t ResumeProcessThreads(uint32_t processId) {
    bool resumed = false;
    WalkThreadsOf(processId, [&](DWORD threadId) {
        resumed |= ResumeThreadOf(processId, threadId);
        return true;
    });
    return resumed ? 1 : 0;
}

bool IsCriticalProcess(HANDLE process) {
    BOOL critical = FALSE;
    if (ProcessApi.isProcessCritical && ProcessApi.isProcessCritical(process, &critical)) {
        return critical != FALSE;
    }
    // ProcessBreakOnTermination: nonzero when the process's end stops the system.
    constexpr ULONG BREAK_ON_TERMINATION_CLASS = 29;
    ULONG breaks = 0;
    return ProcessApi.ntQueryInformationProcess &&
           ProcessApi.ntQueryInformationProcess(process, BREAK_ON_TERMINATION_CLASS, &breaks,
                                                sizeof breaks, nullptr) >= 0 &&
           breaks != 0;
}

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
