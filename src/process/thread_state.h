// The threads of a process: walking them in a tool-help snapshot, and whether
// they run, read from their suspend counts without touching them.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/process_api.h"

// A process's state as its threads' suspend counts tell it.
enum class RunState {
    Unknown, // the counts cannot be read (before Windows 8.1, access refused, no thread)
    Running, // a thread's count is 0
    Paused,  // every thread's count is at least 1, whoever suspended it
};

// Reads the suspend counts of one process's threads, given one at a time, until
// the process's state is known.
class RunStateReader {
  public:
    // Reads one more thread; false once a thread at count 0 shows the process runs.
    bool Read(DWORD threadId);
    RunState State() const;

  private:
    bool running_ = false;
    bool suspended_ = false; // a thread with a count of 1 or more was seen
    bool unread_ = false;    // a thread's count could not be read
};

// True when suspend counts can be read at all (the system's query is there).
bool CanReadSuspendCounts();
// The process's state, from a fresh thread snapshot; Unknown when the counts
// cannot be read.
RunState ProcessRunState(uint32_t processId);

// Calls visit(thread id) for each thread of the process in a fresh system-wide
// thread snapshot, until visit returns false. False when any of the tool-help
// entry points is missing or no snapshot can be taken.
template <class Visit> bool WalkThreadsOf(DWORD processId, Visit visit) {
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
