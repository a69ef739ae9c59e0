#include "process/actions.h"

#include "process/holding.h"
#include "process/paused_processes.h"
#include "process/process_api.h"

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
// How many threads one pause by walks can keep suspended; a process with more
// cannot be paused that way (the pause fails and resumes what it suspended).
constexpr int MAX_PAUSED_THREADS = 4096;

enum class WalkOutcome { Settled, Changed, Failed };

// True when the pause has suspended the thread with that id already.
static bool HasSuspended(const PausedThreads& suspended, DWORD threadId) {
    for (intptr_t i = 0; i < suspended.count; ++i) {
        if (suspended.entries[i].id == threadId) return true;
    }
    return false;
}

// Suspends one thread of the process and keeps it, with the count that the pause
// leaves it at (SuspendThread gives the one before). Ended when its id no longer
// names a thread of the process, or it is on its way out; Refused for any other
// failure, a full record among them.
//
// SuspendThread only asks the thread to stop, and it may run on for a moment. The
// thread's context is not read to wait for that: under Wine such a read can wait
// for ever on a thread of a process whose threads are being suspended (seen within
// a few pauses of a process that starts hundreds of threads a second). The repeated
// walks catch what such a moment starts.
static bool SuspendThreadOf(DWORD processId, DWORD threadId, PausedThreads& suspended,
                            OpenFailure& failure) {
    HANDLE thread = OpenThreadOf(processId, threadId, PAUSED_THREAD_ACCESS, &failure);
    if (!thread) return false;
    const DWORD before = SuspendThread(thread);
    if (before != FAILED && suspended.count < MAX_PAUSED_THREADS &&
        KeepPausedThread(suspended, thread, threadId, before + 1)) {
        return true;
    }
    // No room to keep it: the pause could not be undone exactly.
    if (before != FAILED) ResumeThread(thread);
    // A thread on its way out refuses; only one that still runs is a refusal.
    failure = before == FAILED && HasEnded(thread) ? OpenFailure::Ended : OpenFailure::Refused;
    CloseHandle(thread);
    return false;
}

// One walk of a pause: suspends every listed thread of the process that this
// pause has not suspended yet. Settled when every listed thread had been
// suspended already; Changed when this walk suspended one or met one that had
// ended, so that another walk must look for threads started meanwhile; Failed
// when a thread refuses, the record is full, no snapshot can be taken or the
// process has no thread left.
static WalkOutcome PauseWalk(DWORD processId, PausedThreads& suspended) {
    int listed = 0;
    bool settled = true, failed = false;
    bool walked = WalkThreadsOf(processId, [&](DWORD threadId) {
        ++listed;
        if (HasSuspended(suspended, threadId)) return true;
        settled = false;
        OpenFailure failure = OpenFailure::Ended;
        // One that has ended was not suspended: the next walk looks again.
        failed = !SuspendThreadOf(processId, threadId, suspended, failure) &&
                 failure == OpenFailure::Refused;
        return !failed;
    });
    if (!walked || failed || listed == 0) return WalkOutcome::Failed;
    return settled ? WalkOutcome::Settled : WalkOutcome::Changed;
}

// A pause by walks of thread snapshots, for systems without the process-wide calls
// and processes that refuse them. Each thread that it suspends is kept in suspended,
// by its handle. All or nothing: a pause that cannot stop every thread undoes its
// suspensions on those handles, since a process that runs on must not be shown as
// paused.
static bool PauseByWalks(DWORD processId, PausedThreads& suspended) {
    const DWORD start = GetTickCount();
    for (int walk = 0; walk < MAX_PAUSE_WALKS && GetTickCount() - start < MAX_PAUSE_MS; ++walk) {
        WalkOutcome outcome = PauseWalk(processId, suspended);
        if (outcome == WalkOutcome::Settled) return true;
        if (outcome == WalkOutcome::Failed) break;
    }
    for (intptr_t i = 0; i < suspended.count; ++i)
        ResumeThread(suspended.entries[i].thread);
    EmptyPausedThreads(suspended);
    return false;
}

enum class LookOutcome { Stopped, Caught, Failed };

// One look at the threads of a process suspended as a whole: a thread still at
// count 0 is suspended on the handle that the walk gave. Stopped when every thread was
// suspended already; Caught when this look suspended one (another look must
// follow); Failed when a thread can be neither read nor suspended, the threads
// cannot be walked, the process has none, or the record has no room. The look
// keeps in suspended every thread that it found suspended, with its count after
// the look: what the last look keeps is what the pause did.
static LookOutcome LookAtThreads(HANDLE process, PausedThreads& suspended) {
    EmptyPausedThreads(suspended);
    bool caught = false, failed = false;
    const bool walked = WalkThreadHandles(process, PAUSED_THREAD_ACCESS, [&](HANDLE thread) {
        // Whether it has ended is asked only of a thread that does not read as suspended:
        // asked of every thread, it would cost PAUSE one more request a thread.
        LONG count = SuspendCount(thread);
        if (count == 0 && SuspendThread(thread) != FAILED) {
            count = 1;
            caught = true;
        }
        // A thread on its way out refuses; only one that still runs fails.
        if (count <= 0) {
            failed = count < 0 || !HasEnded(thread);
            return failed ? Visit::Stop : Visit::Next;
        }
        failed = !KeepPausedThread(suspended, thread, 0, count);
        return failed ? Visit::Stop : Visit::Keep;
    });
    if (!walked || failed || suspended.count == 0) return LookOutcome::Failed;
    return caught ? LookOutcome::Caught : LookOutcome::Stopped;
}

// A pause by the process-wide calls; false, with the suspension undone, when it
// cannot be confirmed.
static bool PauseWhole(HANDLE process, PausedThreads& suspended) {
    for (int look = 0; look < MAX_PAUSE_LOOKS; ++look) {
        const LookOutcome outcome = LookAtThreads(process, suspended);
        if (outcome == LookOutcome::Stopped) return true;
        if (outcome == LookOutcome::Failed) break;
    }
    // Lowers by one what the call raised and what the looks raised: every thread got
    // one suspension from this pause.
    ProcessApi.ntResumeProcess(process);
    EmptyPausedThreads(suspended);
    return false;
}

// True where the process-wide calls are there to pause and resume, and the
// threads' suspend counts can be read to confirm a pause (Windows 8.1 on).
static bool HasProcessWideCalls() {
    return ProcessApi.ntSuspendProcess && ProcessApi.ntResumeProcess &&
           ProcessApi.ntGetNextThread && ProcessApi.ntQueryInformationThread;
}

bool PauseProcess(HANDLE process, uint32_t processId, PausedThreads* record) {
    PausedThreads own = {};
    PausedThreads& suspended = record ? *record : own;
    EmptyPausedThreads(suspended);
    bool paused = false;
    // Suspending the host would stop the thread that runs the window, and this call
    // with it: the program would freeze for good. A process that the system marks
    // critical may serve every window of the session, this one's included, which
    // could then never resume it.
    if (processId != GetCurrentProcessId() && !IsCriticalProcess(process)) {
        // A handle refused the access (a process that grants only limited query
        // access) is left to the walks, which open the threads one by one.
        paused = HasProcessWideCalls() && ProcessApi.ntSuspendProcess(process) >= 0
                     ? PauseWhole(process, suspended)
                     : PauseByWalks(processId, suspended);
    }
    FreePausedThreads(own);
    return paused;
}

bool ResumeProcess(HANDLE process, uint32_t processId) {
    if (HasProcessWideCalls() && ProcessApi.ntResumeProcess(process) >= 0) return true;
    bool resumed = false;
    WalkThreadsOf(processId, [&](DWORD threadId) {
        if (HANDLE thread = OpenThreadOf(processId, threadId, PAUSED_THREAD_ACCESS)) {
            resumed |= ResumeThread(thread) != FAILED;
            CloseHandle(thread);
        }
        return true;
    });
    return resumed;
}

bool PauseAndNote(HANDLE process, const ProcessIdentity& identity) {
    PausedThreads threads = {};
    bool noted = identity.created != 0 && PauseProcess(process, identity.id, &threads);
    if (noted && !NotePause(identity, threads)) {
        UndoPause(threads);
        noted = false;
    }
    // Empty once the note took the threads over.
    FreePausedThreads(threads);
    return noted;
}

bool ResumeAndLetGo(HANDLE process, const ProcessIdentity& identity) {
    if (!ResumeProcess(process, identity.id)) return false;
    LetGoOfPause(identity);
    return true;
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
    return processId != GetCurrentProcessId() && !IsCriticalProcess(process);
}

bool KillProcess(HANDLE process, uint32_t exitCode) {
    // One that ended while the question was open has nothing left to kill.
    return !HasProcessEnded(process) && TerminateProcess(process, exitCode) != FALSE;
}
