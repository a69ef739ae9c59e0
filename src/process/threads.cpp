#include "process/threads.h"

#include "process/process_api.h"

// True when the thread, open with LIMITED_THREAD_QUERY_ACCESS where the system knows
// it, belongs to the process; also where the system cannot tell (before Vista).
static bool IsThreadOf(HANDLE thread, DWORD processId) {
    return !ProcessApi.getProcessIdOfThread || ProcessApi.getProcessIdOfThread(thread) == processId;
}

HANDLE OpenThreadOf(DWORD processId, DWORD threadId, DWORD access, OpenFailure* failure) {
    // Limited query access too, to ask for the thread's owner, where the system knows
    // it (Vista on); older systems refuse it.
    if (ProcessApi.getProcessIdOfThread) {
        access |= LIMITED_THREAD_QUERY_ACCESS;
    } else {
        access &= ~LIMITED_THREAD_QUERY_ACCESS;
    }
    OpenFailure why = OpenFailure::Refused;
    HANDLE thread =
        ProcessApi.openThread ? ProcessApi.openThread(access, FALSE, threadId) : nullptr;
    if (thread && !IsThreadOf(thread, processId)) {
        // The process's own thread ended after the snapshot and its id passed on.
        CloseHandle(thread);
        thread = nullptr;
        why = OpenFailure::Ended;
    } else if (!thread && ProcessApi.openThread && GetLastError() == ERROR_INVALID_PARAMETER) {
        why = OpenFailure::Ended;
    }
    if (!thread && failure) *failure = why;
    return thread;
}

bool HasEnded(HANDLE thread) {
    return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

LONG SuspendCount(HANDLE thread) {
    ULONG count = 0;
    if (!ProcessApi.ntQueryInformationThread ||
        ProcessApi.ntQueryInformationThread(thread, THREAD_SUSPEND_COUNT_CLASS, &count,
                                            sizeof count, nullptr) < 0) {
        return COUNT_UNKNOWN;
    }
    return static_cast<LONG>(count);
}

LONG LiveSuspendCount(HANDLE thread) {
    return HasEnded(thread) ? THREAD_ENDED : SuspendCount(thread);
}

bool WalkThreadHandles(HANDLE process, DWORD access, Visitor<HANDLE, Visit> visit) {
    if (!ProcessApi.ntGetNextThread) return false;
    HANDLE thread = nullptr;
    bool close = false; // the walk closes thread: the visit did not keep it
    for (;;) {
        HANDLE next = nullptr;
        // The handle of the thread before leads the call to the next: it is closed
        // only after it.
        const LONG status = ProcessApi.ntGetNextThread(process, thread, access, 0, 0, &next);
        if (close) CloseHandle(thread);
        if (status < 0) return status == STATUS_NO_MORE_ENTRIES;
        thread = next;
        const Visit step = visit(thread);
        if (step == Visit::Stop) {
            CloseHandle(thread);
            return true;
        }
        close = step == Visit::Next;
    }
}

bool WalkThreadSnapshot(Visitor<ThreadIds> visit) {
    if (!ProcessApi.createToolhelp32Snapshot || !ProcessApi.thread32First ||
        !ProcessApi.thread32Next) {
        return false;
    }
    HANDLE snapshot = ProcessApi.createToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!snapshot || snapshot == INVALID_HANDLE_VALUE) return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ProcessApi.thread32First(snapshot, &entry); more;
         more = ProcessApi.thread32Next(snapshot, &entry)) {
        if (!visit({entry.th32OwnerProcessID, entry.th32ThreadID})) break;
    }
    CloseHandle(snapshot);
    return true;
}

bool WalkThreadsOf(DWORD processId, Visitor<DWORD> visit) {
    return WalkThreadSnapshot(
        [&](ThreadIds ids) { return ids.process != processId || visit(ids.thread); });
}
