#include "process/paused_processes.h"

#include "process/actions.h"
#include "process/identity.h"
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

// Calls visit(id) for each noted process that is still paused, while it is held.
template <class Visit> static void ForEachStillPaused(Visit visit) {
    for (intptr_t i = 0; i < PausedHere.count; ++i) {
        const ProcessIdentity& identity = PausedHere.entries[i];
        HANDLE held = HoldProcess(identity.id, identity.created);
        if (!held) continue; // gone: nothing left to resume
        // One that has ended, but that some handle keeps from going, has no threads.
        DWORD exitCode = 0;
        if (GetExitCodeProcess(held, &exitCode) && exitCode == STILL_ACTIVE &&
            ProcessRunState(identity.id) != RunState::Running) {
            visit(identity.id);
        }
        ReleaseProcess(held);
    }
}

bool AnyStillPaused() {
    bool any = false;
    ForEachStillPaused([&](uint32_t) { any = true; });
    return any;
}

bool ResumePausedProcesses() {
    bool resumed = true;
    ForEachStillPaused([&](uint32_t id) { resumed &= ResumeProcessThreads(id) != 0; });
    ForgetPausedProcesses();
    return resumed;
}

void ForgetPausedProcesses() {
    // The block stays for the next notes: freeing it could wait for ever on a heap
    // lock that a thread killed by the process's end still held.
    PausedHere.count = 0;
}
