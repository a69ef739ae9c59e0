#include "process/paused_processes.h"

#include "process/actions.h"
#include "process/paused_threads.h"

// A process that this module paused, and what the pause did to its threads.
struct PausedProcess {
    ProcessIdentity identity;
    PausedThreads threads;
};

// Written by PAUSE (through PauseAndNote), RESUME and KILL (ForgetPaused), every
// look that lets go of a pause that no longer holds (a row's state, LIST, a refused
// command, the close), and the close, the session's end and detach, which forget
// them all; read by the same and by the resumes of the close, the session's end and
// detach. Its entries keep no order.
static GrowingArray<PausedProcess, 8> PausedHere;

// The process's entry; null when none is noted.
static PausedProcess* Find(const ProcessIdentity& identity) {
    if (identity.created == 0) return nullptr;
    for (intptr_t i = 0; i < PausedHere.count; ++i) {
        const ProcessIdentity& noted = PausedHere.entries[i].identity;
        if (noted.id == identity.id && noted.created == identity.created) {
            return &PausedHere.entries[i];
        }
    }
    return nullptr;
}

// Closes the entry's threads, gives their block back and removes it (the last
// entry takes its place).
static void Remove(PausedProcess* entry) {
    FreePausedThreads(entry->threads);
    *entry = PausedHere.entries[--PausedHere.count];
}

bool PauseAndNote(HANDLE process, const ProcessIdentity& identity) {
    if (identity.created == 0) return false;
    PausedProcess* entry = Find(identity);
    if (!entry) entry = Append(PausedHere, {identity, {}});
    if (!entry) return false;
    if (PauseProcess(process, identity.id, &entry->threads)) return true;
    Remove(entry);
    return false;
}

bool ResumeAndForget(HANDLE process, const ProcessIdentity& identity) {
    if (!ResumeProcess(process, identity.id)) return false;
    ForgetPaused(identity);
    return true;
}

void ForgetPaused(const ProcessIdentity& identity) {
    if (PausedProcess* entry = Find(identity)) Remove(entry);
}

bool PauseHolds(const ProcessIdentity& identity) {
    PausedProcess* entry = Find(identity);
    if (!entry) return false;
    if (PauseHolds(entry->threads)) return true;
    // Undone from outside, or its process has ended: a later pause by someone else
    // must not be taken for it.
    Remove(entry);
    return false;
}

void LetGoIfLapsed(const ProcessIdentity& identity) {
    PauseHolds(identity);
}

void LetGoOfLapsedPauses() {
    // Backwards: Remove puts the last entry in the removed one's place.
    for (intptr_t i = PausedHere.count - 1; i >= 0; --i) {
        if (!PauseHolds(PausedHere.entries[i].threads)) Remove(&PausedHere.entries[i]);
    }
}

bool AnyPauseHolds() {
    LetGoOfLapsedPauses();
    return PausedHere.count > 0;
}

bool ResumePausedProcesses() {
    bool resumed = true;
    for (intptr_t i = 0; i < PausedHere.count; ++i)
        resumed &= UndoPause(PausedHere.entries[i].threads);
    return resumed;
}

void ForgetPausedProcesses() {
    while (PausedHere.count > 0)
        Remove(&PausedHere.entries[PausedHere.count - 1]);
    FreeArray(PausedHere);
}
