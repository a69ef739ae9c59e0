// Telling one process from another that later gets the same id: a process is
// identified by its id together with its creation time.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/identity_table.h"

// The creation time (in 100 ns units since 1601) of a process already open with
// any query access; 0 when it cannot be read.
uint64_t HandleCreationTime(HANDLE process);
// Opens the process and keeps it open if it is the process of the identity (whose
// creation time HandleCreationTime gave, not 0): while it is held, its id cannot
// pass to another process. It is opened with the access asked for and limited query
// access; where the system refuses that, with limited query access alone (what
// needs more then fails, or takes a way that needs no more). A request to
// terminate is made with the debug privilege enabled, which reaches processes that
// the token may open only as a debugger; the privilege goes back to its former
// state right after. Null when the id no longer names that process, or it cannot
// be opened at all.
HANDLE HoldProcess(const ProcessIdentity& identity, DWORD access = 0);
// Lets go of a process that HoldProcess returned.
void ReleaseProcess(HANDLE process);
// True when the process, open with any query access, has ended: a handle (to it or
// to one of its threads) keeps an ended process, and its id, from going.
bool HasProcessEnded(HANDLE process);
