#include "process/paused_processes.h"

#include "process/actions.h"
#include "process/paused_threads.h"
#include "runtime/module_state.h"

// Entries of the table's first block; each further block is twice as large.
constexpr intptr_t FIRST_CAPACITY = 8;

// A process that this module paused, and what the pause did to its threads.
struct PausedProcess {
    ProcessIdentity identity;
    PausedThreads threads;
};

// Written by PAUSE (through PauseAndNote), RESUME and KILL (ForgetPaused), every
// look that lets go of a pause that no longer holds (a row's state, LIST, the close)
// and the close, the session's end and detach, which forget them all; read by
// every row's state, the close, the session's end and detach. In MainHeap.
static struct {
    PausedProcess* entries;
    intptr_t count;
    intptr_t capacity;
} PausedHere;

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

// A new entry at the end, with no threads; null when no memory can be had.
static PausedProcess* Append(const ProcessIdentity& identity) {
    void* room = RoomForOneMore(PausedHere.entries, PausedHere.count, PausedHere.capacity,
                                FIRST_CAPACITY, sizeof(PausedProcess));
    if (!room) return nullptr;
    PausedHere.entries = static_cast<PausedProcess*>(room);
    PausedProcess& added = PausedHere.entries[PausedHere.count++];
    added = {identity, {}};
    return &added;
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
    if (!entry) entry = Append(identity);
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

// The process's entry while its pause still holds. A pause that no longer holds
// (undone from outside, or its process has ended) is let go: a later pause by
// someone else must not be taken for it.
static PausedProcess* FindHolding(const ProcessIdentity& identity) {
    PausedProcess* entry = Find(identity);
    if (!entry || PauseStillHolds(entry->threads)) return entry;
    Remove(entry);
    return nullptr;
}

bool IsPausedHere(const ProcessIdentity& identity) {
    return FindHolding(identity) != nullptr;
}

void LetGoIfLapsed(const ProcessIdentity& identity) {
    FindHolding(identity);
}

bool CountsAsPaused(RunState state, const ProcessIdentity& identity) {
    // Read first: the read lets go of a pause that no longer holds.
    const bool pausedHere = IsPausedHere(identity);
    return state == RunState::Paused || pausedHere;
}

void LetGoOfLapsedPauses() {
    // Backwards: Remove puts the last entry in the removed one's place.
    for (intptr_t i = PausedHere.count - 1; i >= 0; --i) {
        if (!PauseStillHolds(PausedHere.entries[i].threads)) Remove(&PausedHere.entries[i]);
    }
}

bool AnyStillPaused() {
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
    if (PausedHere.entries && MainHeap) HeapFree(MainHeap, 0, PausedHere.entries);
    PausedHere = {};
}
