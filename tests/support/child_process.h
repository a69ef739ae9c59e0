// Child processes for the tests: programs from the tests' folder that end with
// the test (they wait on this process), observed through the system's own calls.
#pragma once

#include <windows.h>

#include <vector>

#include "support/counter_board.h"

// A child program started from the tests' folder with this process's id as its
// first argument. Ended (if still running) and released when the object goes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (e.g. "idle_child.exe") with the given further arguments.
    bool Start(const char* program, const char* arguments = "");
    // Starts the program at a full path in wide characters (a name that the ANSI
    // code page may not spell), with this process's id as its argument.
    bool StartAt(const wchar_t* path);
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }
    // Waits for the process to end; true when it has.
    bool WaitForExit(DWORD timeoutMs);
    // The exit code (STILL_ACTIVE while it runs).
    DWORD ExitCode() const;
    // Terminates the process and waits for it to end.
    void End();
    // Ends the process and closes every handle this object holds to it, so that the
    // system can forget it and its id.
    void Release();
    // Releases the process and waits until its id no longer opens; true when it does not.
    bool Forget(DWORD timeoutMs = 5000);

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// A named shared CounterBoard and the counting child program that fills it.
class CountingChild {
  public:
    CountingChild() = default;
    ~CountingChild();
    CountingChild(const CountingChild&) = delete;
    CountingChild& operator=(const CountingChild&) = delete;

    // What the child has beside its counting threads.
    enum Extras : unsigned {
        NONE = 0,
        HELD_THREAD = 1,    // a thread it started suspended and never lets go
        ENDED_THREADS = 2,  // a thread terminated while suspended and one that ran out,
                            // their handles kept
        LIMITED_ACCESS = 4, // it grants others only limited query access
    };
    // Starts the child with threads counting threads and waits until every one counts.
    // With a lifetime, each of them is a chain of threads instead: every thread counts
    // for lifetimeMs, starts its successor and ends.
    bool Start(int threads, DWORD lifetimeMs = 0, unsigned extras = NONE);
    ChildProcess& process() { return child_; }
    DWORD id() const { return child_.id(); }
    // True once every counter has moved on from its value at the call.
    bool AllCount(DWORD timeoutMs = 5000) const;
    // True once no counter has changed for a quiet period (a suspended thread may
    // still run briefly after SuspendThread returns).
    bool SettlesStill(DWORD timeoutMs = 5000) const;
    // True when no counter changes during the whole window.
    bool StaysStill(DWORD windowMs) const;

    // Threads the child has started so far, every thread of every chain included.
    LONG ThreadsStarted() const { return board_ ? board_->threadsStarted : 0; }

  private:
    void Read(LONG (&out)[COUNTER_BOARD_MAX_THREADS]) const;

    HANDLE mapping_ = nullptr;
    CounterBoard* board_ = nullptr;
    int threads_ = 0;
    ChildProcess child_;
};

// Ids of the threads of a process, from a tool-help snapshot of this test's own.
std::vector<DWORD> ThreadIdsOf(DWORD processId);
// A thread's suspend count (on systems before Windows 8.1 read by suspending and
// resuming it once); -1 when it cannot be opened.
int SuspendCountOf(DWORD threadId);
// True when the process has threads and each has this suspend count.
bool EveryThreadSuspended(DWORD processId, int times);
// Suspends, or resumes, every thread of the process once, as another tool would;
// false when a thread cannot be opened. Only for a process that the caller holds.
bool SuspendEveryThread(DWORD processId, bool suspend);
// The working-set size the system reports for a process (kernel32's own
// memory-information call, not the one under test); 0 when it cannot be read.
SIZE_T SystemWorkingSet(HANDLE process);
