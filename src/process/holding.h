// Holding a process open: with the most access it grants, as the process of an
// identity (while it is held its id cannot pass to another process), and telling
// whether it has ended.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/identities.h"

// The least access that asks about a process's image and times (Vista and later);
// older systems refuse it.
constexpr DWORD LIMITED_QUERY_ACCESS = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

// Opens the process with the access asked for and limited query access; where that
// is refused, with limited query access alone; on systems before Vista, which know
// no limited access, the same with the wider query access instead. Sets whole, if
// given, to whether the handle has the access asked for. Null when the process
// cannot be opened at all; GetLastError then tells why (ERROR_ACCESS_DENIED: it
// runs but refuses; ERROR_INVALID_PARAMETER: its id names no process).
HANDLE OpenProcessAtBest(uint32_t processId, DWORD access, bool* whole = nullptr);
// The creation and exit times (in 100 ns units since 1601; the exit time 0 while it
// runs) of a process already open with any query access, read in one request; false,
// leaving both as they were, when they cannot be read.
bool ReadProcessTimes(HANDLE process, uint64_t& created, uint64_t& exited);
// The creation time of a process already open with any query access; 0 when it
// cannot be read.
uint64_t HandleCreationTime(HANDLE process);
// Opens the process and keeps it open if it is the process of the identity (whose
// creation time HandleCreationTime gave, not 0) and has not ended: while it is held,
// its id cannot pass to another process. It is opened as OpenProcessAtBest opens it
// (what needs more than the handle has then fails, or takes a way that needs no
// more). A request to terminate is made with the debug privilege enabled, which
// reaches processes that the token may open only as a debugger; the privilege goes
// back to its former state right after. Null when it cannot be held; ended, if
// given, then tells whether that is because the process of the identity has ended:
// its exit code is set, or its id names no process or a process with another
// creation time. Any other cause (no identity, access refused, a creation time that
// cannot be read) leaves ended false: the process may still run.
HANDLE HoldProcess(const ProcessIdentity& identity, DWORD access = 0, bool* ended = nullptr);
// Lets go of a process that HoldProcess returned.
void ReleaseProcess(HANDLE process);
// True when the process, open with any query access, has ended (its exit code is
// set): a handle (to it or to one of its threads) keeps an ended process, and its
// id, from going.
bool HasProcessEnded(HANDLE process);
