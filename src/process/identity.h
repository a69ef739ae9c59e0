// Telling one process from another that later gets the same id: a process is
// identified by its id together with its creation time.
#pragma once

#include <windows.h>
#include <stdint.h>

// The creation time (in 100 ns units since 1601) of a process already open with
// any query access; 0 when it cannot be read.
uint64_t HandleCreationTime(HANDLE process);
// Opens the process with limited query access and keeps it open if it is the process
// created at `created` (a time that HandleCreationTime gave, not 0): while it is
// held, its id cannot pass to another process. Null when the id no longer names
// that process, or it cannot be opened at all.
HANDLE HoldProcess(uint32_t processId, uint64_t created);
// Lets go of a process that HoldProcess returned.
void ReleaseProcess(HANDLE process);
