#include "process/thread_state.h"

// NtQueryInformationThread's class for a thread's suspend count (Windows 8.1 on).
constexpr ULONG THREAD_SUSPEND_COUNT_CLASS = 35;
// Its answer on a system that does not know the class.
constexpr LONG STATUS_INVALID_INFO_CLASS = static_cast<LONG>(0xC0000003);

bool CanReadSuspendCounts() {
    return ProcessApi.ntQueryInformationThread && ProcessApi.openThread;
}

bool RunStateReader::Read(DWORD threadId) {
    if (!CanReadSuspendCounts()) {
        unread_ = true;
        return true;
    }
    HANDLE thread = ProcessApi.openThread(LIMITED_THREAD_QUERY_ACCESS, FALSE, threadId);
    if (!thread) {
        // A thread that has ended since the snapshot says nothing about the others.
        if (GetLastError() != ERROR_INVALID_PARAMETER) unread_ = true;
        return true;
    }
    ULONG count = 0;
    const LONG status = ProcessApi.ntQueryInformationThread(thread, THREAD_SUSPEND_COUNT_CLASS,
                                                            &count, sizeof count, nullptr);
    CloseHandle(thread);
    // A system without the class answers so for every thread: it is not asked again.
    if (status == STATUS_INVALID_INFO_CLASS) ProcessApi.ntQueryInformationThread = nullptr;
    if (status < 0) {
        unread_ = true;
    } else if (count == 0) {
        running_ = true;
    } else {
        suspended_ = true;
    }
    return !running_;
}

RunState RunStateReader::State() const {
    if (running_) return RunState::Running;
    return suspended_ && !unread_ ? RunState::Paused : RunState::Unknown;
}

RunState ProcessRunState(uint32_t processId) {
    if (!CanReadSuspendCounts()) return RunState::Unknown;
    RunStateReader reader;
    WalkThreadsOf(processId, [&](DWORD threadId) { return reader.Read(threadId); });
    return reader.State();
}
