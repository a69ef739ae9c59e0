#include "process/actions.h"

#include "process/identity.h"
#include "process/process_api.h"
#include "process/thread_state.h"

// How many times a pause looks at the process's threads after suspending it, to
// catch a thread that was being created during the call (the system can let one
// start unsuspended): each look suspends those still running, and another follows
// in case one of them started a thread before it stopped.
constexpr int MAX_PAUSE_LOOKS = 16;

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
// How many threads one pause by walks can hold suspended; a process with more
// cannot be paused that way (the pause fails and resumes what it suspended).
constexpr int MAX_PAUSED_THREADS = 4096;

// Ids of the threads that the pause by walks in progress has suspended,
// PausedIdCount of them; written by PauseByWalks, meaningless between calls.
static DWORD PausedThreadIds[MAX_PAUSED_THREADS];
static int PausedIdCount;

enum class ThreadOutcome { Suspended, Gone, Refused };
enum class WalkOutcome { Settled, Changed, Failed };

constexpr DWORD FAILED = static_cast<DWORD>(-1);

// Opens a thread of the process to suspend or resume it, with the access that a
// paused thread is held with where the system knows it. Null when it cannot be
// opened (Refused, or Gone when its id names no thread any more), and also, where
// the system can tell, when the id now names a thread of another process (Gone):
// the process's own thread ended after the snapshot and its id passed on.
static HANDLE OpenThreadOf(DWORD processId, DWORD threadId, ThreadOutcome& failure) {
    // Systems that cannot tell a thread's process (before Vista) refuse the limited
    // query access too.
    const DWORD access = ProcessApi.getProcessIdOfThread ? PAUSED_THREAD_ACCESS
                                                         : THREAD_SUSPEND_RESUME | SYNCHRONIZE;
    HANDLE thread = ProcessApi.openThread(access, FALSE, threadId);
    if (!thread) {
        failure = GetLastError() == ERROR_INVALID_PARAMETER ? ThreadOutcome::Gone
                                                            : ThreadOutcome::Refused;
        return nullptr;
    }
    if (!IsThreadOf(thread, processId)) {
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
    bool resumed = ResumeThread(thread) != FAILED;
    CloseHandle(thread);
    return resumed;
}

// Suspends one thread of the process, and with a record keeps it there. An id that
// no longer names a thread of it is Gone; any other failure is a refusal.
//
// SuspendThread only asks the thread to stop, and it may run on for a moment. The
// thread's context is not read to wait for that: under Wine such a read can wait
// for ever on a thread of a process whose threads are being suspended (seen within
// a few pauses of a process that starts hundreds of threads a second). The repeated
// walks catch what such a moment starts.
static ThreadOutcome SuspendThreadOf(DWORD processId, DWORD threadId, PausedThreads* record) {
    ThreadOutcome outcome = ThreadOutcome::Suspended;
    HANDLE thread = OpenThreadOf(processId, threadId, outcome);
    if (!thread) return outcome;
    const DWORD before = SuspendThread(thread);
    if (before == FAILED) {
        // A thread on its way out refuses; only one that still runs is a refusal.
        outcome = HasEnded(thread) ? ThreadOutcome::Gone : ThreadOutcome::Refused;
    } else if (record) {
        // Kept with the count the pause leaves it at (SuspendThread gives the one before).
        if (KeepPausedThread(*record, thread, before + 1)) return outcome;
        ResumeThread(thread); // no room to keep it: the pause cannot be undone exactly
        outcome = ThreadOutcome::Refused;
    }
    CloseHandle(thread);
    return outcome;
}

static bool IsPausedThread(DWORD threadId) {
    for (int i = 0; i < PausedIdCount; ++i) {
        if (PausedThreadIds[i] == threadId) return true;
    }
    return false;
}

// One walk of a pause: suspends every listed thread of the process that this
// pause has not suspended yet. Settled when every listed thread had been
// suspended already; Changed when this walk suspended one or met one that had
// ended, so that another walk must look for threads started meanwhile; Failed
// when a thread refuses, the bookkeeping is full, no snapshot can be taken or
// the process has no thread left.
static WalkOutcome PauseWalk(DWORD processId, PausedThreads* record) {
    int listed = 0;
    bool settled = true, failed = false;
    bool walked = WalkThreadsOf(processId, [&](DWORD threadId) {
        ++listed;
        if (IsPausedThread(threadId)) return true;
        settled = false;
        if (PausedIdCount == MAX_PAUSED_THREADS) {
            failed = true;
            return false;
        }
        switch (SuspendThreadOf(processId, threadId, record)) {
        case ThreadOutcome::Suspended: PausedThreadIds[PausedIdCount++] = threadId; break;
        case ThreadOutcome::Gone: break; // not suspended: the next walk looks again
        case ThreadOutcome::Refused: failed = true; return false;
        }
        return true;
    });
    if (!walked || failed || listed == 0) return WalkOutcome::Failed;
    return settled ? WalkOutcome::Settled : WalkOutcome::Changed;
}

// A pause by walks of thread snapshots, for systems without the process-wide calls.
// All or nothing: a pause that cannot stop every thread undoes its suspensions,
// since a process that runs on must not be shown as paused.
static bool PauseByWalks(DWORD processId, PausedThreads* record) {
    PausedIdCount = 0;
    const DWORD start = GetTickCount();
    for (int walk = 0; walk < MAX_PAUSE_WALKS && GetTickCount() - start < MAX_PAUSE_MS; ++walk) {
        WalkOutcome outcome = PauseWalk(processId, record);
        if (outcome == WalkOutcome::Settled) return true;
        if (outcome == WalkOutcome::Failed) break;
    }
    // A suspended thread does not end (one already on its way out may, and then its
    // id names nothing, or rarely a newer thread, which the owner check passes over).
    for (int i = 0; i < PausedIdCount; ++i)
        ResumeThreadOf(processId, PausedThreadIds[i]);
    PausedIdCount = 0;
    if (record) ClosePausedThreads(*record);
    return false;
}

enum class LookOutcome { Held, Caught, Failed };

// One look at the threads of a process suspended as a whole: a thread still at
// count 0 is suspended on the handle that the walk gave. Held when every thread was
// suspended already; Caught when this look suspended one (another look must
// follow); Failed when a thread can be neither read nor suspended, the threads
// cannot be walked, the process has none, or the record has no room. With a record,
// the look writes there every thread that it found suspended, with its count
// after the look: what the last look writes is what the pause did.
static LookOutcome LookAtThreads(HANDLE process, PausedThreads* record) {
    if (record) ClosePausedThreads(*record);
    int threads = 0;
    bool caught = false, failed = false;
    const bool walked = WalkThreadHandles(process, PAUSED_THREAD_ACCESS, [&](HANDLE& thread) {
        const LONG count = ThreadSuspendCount(thread);
        bool held = count > 0;
        if (count == 0 && SuspendThread(thread) != FAILED) held = caught = true;
        // A thread on its way out refuses; only one that still runs fails.
        failed = count < 0 || (!held && !HasEnded(thread));
        if (held) ++threads;
        if (!record || !held) return !failed;
        // Kept with the count that the pause leaves it at; the walk no longer closes it.
        failed = !KeepPausedThread(*record, thread, count > 0 ? count : 1);
        if (!failed) thread = nullptr;
        return !failed;
    });
    if (!walked || failed || threads == 0) return LookOutcome::Failed;
    return caught ? LookOutcome::Caught : LookOutcome::Held;
}

// A pause by the process-wide calls; false, with the suspension undone, when it
// cannot be confirmed.
static bool PauseWhole(HANDLE process, PausedThreads* record) {
    for (int look = 0; look < MAX_PAUSE_LOOKS; ++look) {
        const LookOutcome outcome = LookAtThreads(process, record);
        if (outcome == LookOutcome::Held) return true;
        if (outcome == LookOutcome::Failed) break;
    }
    // Lowers by one what the call raised and what the looks raised: every thread got
    // one suspension from this pause.
    ProcessApi.ntResumeProcess(process);
    if (record) ClosePausedThreads(*record);
    return false;
}

// True where the process-wide calls are there to pause and resume, and the
// threads' suspend counts can be read to confirm a pause (Windows 8.1 on).
static bool HasProcessWideCalls() {
    return ProcessApi.ntSuspendProcess && ProcessApi.ntResumeProcess &&
           ProcessApi.ntGetNextThread && ProcessApi.ntQueryInformationThread;
}

bool PauseProcess(HANDLE process, uint32_t processId, PausedThreads* record) {
    if (record) ClosePausedThreads(*record);
    // Suspending the host would stop the thread that runs the window, and this call
    // with it: the program would freeze for good. A process that the system marks
    // critical may serve every window of the session, this one's included, which
    // could then never resume it.
    if (processId == GetCurrentProcessId() || IsCriticalProcess(process)) return false;
    // A handle refused the access (a process that grants only limited query access)
    // is left to the walks, which open the threads one by one.
    if (HasProcessWideCalls() && ProcessApi.ntSuspendProcess(process) >= 0) {
        return PauseWhole(process, record);
    }
    return PauseByWalks(processId, record);
}

bool ResumeProcess(HANDLE process, uint32_t processId) {
    if (HasProcessWideCalls() && ProcessApi.ntResumeProcess(process) >= 0) {
        // An ended process that the handle keeps has no thread left to resume.
        return !HasProcessEnded(process);
    }
    bool resumed = false;
    WalkThreadsOf(processId, [&](DWORD threadId) {
        resumed |= ResumeThreadOf(processId, threadId);
        return true;
    });
    return resumed;
}

bool IsCriticalProcess(HANDLE process) {
    BOOL critical = FALSE;
    if (ProcessApi.isProcessCritical && ProcessApi.isProcessCritical(process, &critical)) {
        return critical != FALSE;
    }
    ULONG breaks = 0;
    return ProcessApi.ntQueryInformationProcess &&
           ProcessApi.ntQueryInformationProcess(process, BREAK_ON_TERMINATION_CLASS, &breaks,
                                                sizeof breaks, nullptr) >= 0 &&
           breaks != 0;
}

bool MayKill(HANDLE process, uint32_t processId) {
    return !HasProcessEnded(process) && processId != GetCurrentProcessId() &&
           !IsCriticalProcess(process);
}

bool KillProcess(HANDLE process, uint32_t exitCode) {
    // One that ended while the question was open has nothing left to kill.
    return !HasProcessEnded(process) && TerminateProcess(process, exitCode) != FALSE;
}
