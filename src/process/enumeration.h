// Process snapshot and per-process queries. SnapshotProcessIds takes one list
// of every running process's id, NextProcessEntry walks it, and the Entry
// queries answer for the process at the cursor. The first query after the
// cursor moves opens that process once and reads the whole entry on that one
// handle, its creation time first; the others answer from what it read.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "process/run_state.h"

// Longest name or path a query returns.
constexpr uint32_t MAX_PROCESS_TEXT = 255;

// Takes a new list of ids, in the system's order, and puts the cursor before the
// first; returns the count. The id buffer grows until the whole list fits (up to
// MAX_PROCESS_ID_BUFFER_SIZE). A failed enumeration gives 0.
int32_t SnapshotProcessIds();
// Advances the cursor: 1..n, then 0 on every further call until the next snapshot.
int32_t NextProcessEntry();
// The process id at the cursor.
uint32_t EntryProcessId();
// Base name ("IDLE" for id 0, "System" for "?"), written at the scratch buffer's
// free end. Where psapi names nothing, the last component of the image path;
// where that fails too, the name in tool-help's process list (taken at most
// once per snapshot); empty when none answers or the process has ended.
const char* EntryProcessName();
// Full executable path (psapi's, else the image path), written at the scratch
// buffer's free end; empty when unknown.
const char* EntryProcessPath();
// Working-set size in bytes, read with limited query access where the wider access
// is refused: the full figure also where a 32-bit build looks at a 64-bit process,
// wherever the system offers its 64-bit counters; 0 when the process cannot be
// examined.
uint64_t EntryWorkingSet();
// True when the working set is larger than the counters could tell, and
// EntryWorkingSet gives the most they hold (a 32-bit build on a system without the
// 64-bit counters).
bool EntryWorkingSetCapped();
// The creation time (100 ns units since 1601), read on the handle that read the
// other answers, before them: with the id it identifies the process they describe.
// 0 when it could not be read.
uint64_t EntryCreationTime();
// The process's run state (ReadRunState), read on the handle that read the other
// answers, after them: paused where this module's pause of it is noted (the caller
// lets go of lapsed pauses before the snapshot). Where that handle cannot walk the threads (limited
// access, a system without the call), its threads' counts come from one thread snapshot taken at
// most once per snapshot, when the first entry needs it. Ended when the process has ended since the
// snapshot (its id names no process, or one that has ended but that a handle keeps from going): the
// other queries then answer nothing more.
RunState EntryRunState();
// Frees the tool-help tables if a walk left them; called before the module's
// heaps are destroyed.
void ReleaseEntryTables();
