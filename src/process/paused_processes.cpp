#include "process/paused_processes.h"

// A process that this module paused, and what the pause did to its threads.
struct PausedProcess {
    ProcessIdentity identity;
    PausedThreads threads;
};

// Written by PAUSE (NotePause), RESUME and KILL (LetGoOfPause), the let-go steps of
// LIST, a refused command and the close (LetGoOfLapsedPauses), and the close, the
// session's end and detach (LetGoOfAllPauses); read by the state reads and by the
// undoing of the close, the session's end and detach. Its entries keep no order.
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

// Closes the entry's thread handles, gives their block back and takes the entry out
// of the table (the last entry takes its place).
static void LetGo(PausedProcess* entry) {
    FreePausedThreads(entry->threads);
    *entry = PausedHere.entries[--PausedHere.count];
}

bool NotePause(const ProcessIdentity& identity, PausedThreads& threads) {
    if (identity.created == 0) return false;
    PausedProcess* entry = Find(identity);
    if (!entry) entry = Append(PausedHere, {identity, {}});
    if (!entry) return false;
    FreePausedThreads(entry->threads);
    entry->threads = threads;
    threads = PausedThreads{};
    return true;
}

bool IsPausedHere(const ProcessIdentity& identity) {
    return Find(identity) != nullptr;
}

bool AnyPauseNoted() {
    return PausedHere.count > 0;
}

void LetGoOfPause(const ProcessIdentity& identity) {
    if (PausedProcess* entry = Find(identity)) LetGo(entry);
}

void LetGoOfLapsedPauses() {
    // Backwards: LetGo puts the last entry, already looked at, in the place of the one
    // it takes out.
    for (intptr_t i = PausedHere.count - 1; i >= 0; --i) {
        if (!PauseInForce(PausedHere.entries[i].threads)) LetGo(&PausedHere.entries[i]);
    }
}

bool ResumePausedProcesses() {
    bool resumed = true;
    for (intptr_t i = 0; i < PausedHere.count; ++i)
        resumed &= UndoPause(PausedHere.entries[i].threads);
    return resumed;
}

void LetGoOfAllPauses() {
    while (PausedHere.count > 0)
        LetGo(&PausedHere.entries[PausedHere.count - 1]);
    FreeArray(PausedHere);
}
