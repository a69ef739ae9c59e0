#include "process/paused_processes.h"

#include "process/actions.h"
#include "process/identity.h"
#include "process/process_api.h"
#include "process/thread_state.h"

// Written by the pause and resume commands, read at the close, at the session's
// end and at detach; its block stays in MainHeap until shutdown.
static IdentityTable PausedHere;

void NotePaused(const ProcessIdentity& identity) {
    if (!HoldsIdentity(PausedHere, identity)) AppendIdentity(PausedHere, identity);
}

void ForgetPaused(const ProcessIdentity& identity) {
    RemoveIdentity(PausedHere, identity);
}

bool IsPausedHere(const ProcessIdentity& identity) {
    return HoldsIdentity(PausedHere, identity);
}

ReadDepth DepthFor(const ProcessIdentity& identity) {
    return IsPausedHere(identity) ? ReadDepth::EveryThread : ReadDepth::UntilOneRuns;
}

bool CountsAsPaused(RunState state, const ProcessIdentity& identity) {
    return state == RunState::Paused || (state != RunState::Running && IsPausedHere(identity));
}

RunState HeldProcessState(HANDLE process, const ProcessIdentity& identity) {
    return ProcessRunState(process, identity.id, DepthFor(identity));
}

// A noted process that is still paused, held with the access to resume it.
struct StillPaused {
    HANDLE process;
    uint32_t id;
};

// Calls visit(still paused) for each noted process that is still paused, until it
// returns false.
static void ForEachStillPaused(SnapshotUse snapshots, Visitor<const StillPaused&> visit) {
    for (intptr_t i = 0; i < PausedHere.count; ++i) {
        const ProcessIdentity& identity = PausedHere.entries[i];
        HANDLE held = HoldProcess(identity, SUSPEND_ACCESS);
        if (!held) continue; // gone: nothing left to resume
        // One that has ended, but that some handle keeps from going, has no threads.
        DWORD exitCode = 0;
        const bool stillPaused =
            GetExitCodeProcess(held, &exitCode) && exitCode == STILL_ACTIVE &&
            CountsAsPaused(ProcessRunState(held, identity.id, ReadDepth::EveryThread, snapshots),
                           identity);
        const bool more = !stillPaused || visit({held, identity.id});
        ReleaseProcess(held);
        if (!more) return;
    }
}

bool AnyStillPaused() {
    bool any = false;
    auto note = [&](const StillPaused&) {
        any = true;
        return false; // one is enough
    };
    ForEachStillPaused(SnapshotUse::Allowed, Visitor<const StillPaused&>(note));
    return any;
}

bool ResumePausedProcesses(bool processEnding) {
    bool resumed = true;
    auto resume = [&](const StillPaused& paused) {
        if (!processEnding) {
            resumed &= ResumeProcess(paused.process, paused.id);
        } else {
            resumed &=
                ProcessApi.ntResumeProcess && ProcessApi.ntResumeProcess(paused.process) >= 0;
        }
        return true;
    };
    ForEachStillPaused(processEnding ? SnapshotUse::Refused : SnapshotUse::Allowed,
                       Visitor<const StillPaused&>(resume));
    ForgetPausedProcesses();
    return resumed;
}

void ForgetPausedProcesses() {
    // The block stays for the next notes: freeing it could wait for ever on a heap
    // lock that a thread killed by the process's end still held.
    PausedHere.count = 0;
}
