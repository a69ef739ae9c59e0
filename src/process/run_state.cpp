#include "process/run_state.h"

#include "process/holding.h"
#include "process/process_api.h"

namespace {

// Reads the suspend counts of one process's threads, given one at a time, until
// one runs.
class CountReader {
  public:
    // Reads a thread open with THREAD_STATE_ACCESS; one that has ended is passed
    // over. False once a thread runs.
    bool Read(HANDLE thread) {
        const LONG count = LiveSuspendCount(thread);
        if (count == THREAD_ENDED) return true;
        (count > 0 ? suspended_ : count == 0 ? running_ : unread_) = true;
        return !running_;
    }
    // Opens the thread by id and reads it. A thread that has ended, or whose id now
    // names a thread of another process, says nothing about the others.
    bool ReadById(DWORD processId, DWORD threadId) {
        OpenFailure failure = OpenFailure::Ended;
        HANDLE thread = OpenThreadOf(processId, threadId, THREAD_STATE_ACCESS, &failure);
        if (!thread) {
            unread_ |= failure == OpenFailure::Refused;
            return true;
        }
        const bool more = Read(thread);
        CloseHandle(thread);
        return more;
    }
    // Every thread read was suspended.
    bool AllSuspended() const { return suspended_ && !running_ && !unread_; }

  private:
    bool running_ = false;
    bool suspended_ = false; // a thread with a count of 1 or more was seen
    bool unread_ = false;    // a thread's count could not be read
};

// Whether every thread of the process is suspended, as far as the counts tell.
bool AllThreadsSuspended(HANDLE process, DWORD processId, ThreadIdWalk walkIds) {
    // Before Windows 8.1 no count can be read: the walks would tell nothing.
    if (!ProcessApi.ntQueryInformationThread) return false;
    CountReader reader;
    // A walk on the handle that fails part way gives way to the ids from the start.
    if (process && WalkThreadHandles(process, THREAD_STATE_ACCESS, [&](HANDLE thread) {
            return reader.Read(thread) ? Visit::Next : Visit::Stop;
        })) {
        return reader.AllSuspended();
    }
    reader = CountReader();
    auto readById = [&](DWORD threadId) { return reader.ReadById(processId, threadId); };
    if (walkIds) walkIds(processId, Visitor<DWORD>(readById));
    return reader.AllSuspended();
}

} // namespace

RunState ReadPausedOrRunning(HANDLE process, DWORD processId, bool pausedHere,
                             ThreadIdWalk walkIds) {
    return pausedHere || AllThreadsSuspended(process, processId, walkIds) ? RunState::Paused
                                                                          : RunState::Running;
}

RunState ReadRunState(HANDLE process, DWORD processId, bool pausedHere, ThreadIdWalk walkIds) {
    if (process && HasProcessEnded(process)) return RunState::Ended;
    return ReadPausedOrRunning(process, processId, pausedHere, walkIds);
}
