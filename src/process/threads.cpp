#include "process/thread_state.h"

bool WalkThreadHandles(HANDLE process, DWORD access, Visitor<HANDLE&> visit) {
    if (!ProcessApi.ntGetNextThread) return false;
    HANDLE thread = nullptr;
    bool close = false; // the walk closes thread: the visit did not take it over
    for (;;) {
        HANDLE next = nullptr;
        // The handle of the thread before leads the call to the next: it is closed
        // only after it.
        const LONG status = ProcessApi.ntGetNextThread(process, thread, access, 0, 0, &next);
        if (close) CloseHandle(thread);
        if (status < 0) return status == STATUS_NO_MORE_ENTRIES;
        thread = next;
        HANDLE offered = thread;
        const bool more = visit(offered);
        close = offered != nullptr;
        if (!more) {
            if (close) CloseHandle(thread);
            return true;
        }
    }
}

bool WalkThreadsOf(DWORD processId, Visitor<DWORD> visit) {
    if (!ProcessApi.createToolhelp32Snapshot || !ProcessApi.thread32First ||
        !ProcessApi.thread32Next || !ProcessApi.openThread) {
        return false;
    }
    HANDLE snapshot = ProcessApi.createToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!snapshot || snapshot == INVALID_HANDLE_VALUE) return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ProcessApi.thread32First(snapshot, &entry); more;
         more = ProcessApi.thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId && !visit(entry.th32ThreadID)) break;
    }
    CloseHandle(snapshot);
    return true;
}

LONG ThreadSuspendCount(HANDLE thread) {
    ULONG count = 0;
    if (!ProcessApi.ntQueryInformationThread ||
        ProcessApi.ntQueryInformationThread(thread, THREAD_SUSPEND_COUNT_CLASS, &count,
                                            sizeof count, nullptr) < 0) {
        return -1;
    }
    return static_cast<LONG>(count);
}

bool HasEnded(HANDLE thread) {
    return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

bool IsThreadOf(HANDLE thread, DWORD processId) {
    return !ProcessApi.getProcessIdOfThread || ProcessApi.getProcessIdOfThread(thread) == processId;
}

namespace {

// Reads the suspend counts of one process's threads, given one at a time, until
// one runs.
class RunStateReader {
  public:
    // Reads a thread open with THREAD_STATE_ACCESS; one that has ended is passed over
    // before its count is read. False once the state is known.
    bool Read(HANDLE thread) {
        if (HasEnded(thread)) return true;
        const LONG count = ThreadSuspendCount(thread);
        (count > 0 ? suspended_ : count == 0 ? running_ : unread_) = true;
        return !running_;
    }
    // Opens the thread by id and reads it. A thread that has ended, or whose id now
    // names a thread of another process, is passed over. False once the state is known.
    bool ReadById(DWORD processId, DWORD threadId) {
        HANDLE thread = ProcessApi.openThread
                            ? ProcessApi.openThread(THREAD_STATE_ACCESS, FALSE, threadId)
                            : nullptr;
        if (!thread) {
            // A thread that has ended since the snapshot says nothing about the others.
            if (!ProcessApi.openThread || GetLastError() != ERROR_INVALID_PARAMETER) {
                unread_ = true;
            }
            return true;
        }
        const bool more = !IsThreadOf(thread, processId) || Read(thread);
        CloseHandle(thread);
        return more;
    }
    RunState State() const {
        if (running_) return RunState::Running;
        return suspended_ && !unread_ ? RunState::Paused : RunState::Unknown;
    }

  private:
    bool running_ = false;
    bool suspended_ = false; // a thread with a count of 1 or more was seen
    bool unread_ = false;    // a thread's count could not be read
};

} // namespace

RunState ReadRunState(HANDLE process, DWORD processId, ThreadIdWalk walkIds) {
    if (!ProcessApi.ntQueryInformationThread) return RunState::Unknown;
    RunStateReader reader;
    // A walk on the handle that fails part way gives way to the ids from the start.
    if (process && WalkThreadHandles(process, THREAD_STATE_ACCESS,
                                     [&](HANDLE thread) { return reader.Read(thread); })) {
        return reader.State();
    }
    reader = RunStateReader();
    auto readById = [&](DWORD threadId) { return reader.ReadById(processId, threadId); };
    if (walkIds) walkIds(processId, Visitor<DWORD>(readById));
    return reader.State();
}
