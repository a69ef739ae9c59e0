// Process snapshot and per-process queries. SnapshotProcessIds takes one list of
// every running process, NextProcessEntry walks it, and the Entry queries answer for
// the process at the cursor. The list is the system's process list, one call that
// names every process with its creation time, working set and threads; where that
// call is missing or fails, EnumProcesses' ids. The first query after the cursor
// moves reads the whole entry, opening that process once: from the system's list
// only what it does not say (that the process is still the one listed, its state,
// its image path), from EnumProcesses all of it on that one handle, its creation
// time first. The others answer from what it read.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "process/run_state.h"

// Longest name or path a query returns.
constexpr uint32_t MAX_PROCESS_TEXT = 255;

// Takes a new list, in the system's order, and puts the cursor before the first;
// returns the count. The system's list goes into a buffer kept from one snapshot to
// the next, grown when the call says it is too small (up to MAX_PROCESS_LIST_SIZE);
// EnumProcesses' ids into the id buffer, grown until the whole list fits (up to
// MAX_PROCESS_ID_BUFFER_SIZE). A failed enumeration gives 0.
int32_t SnapshotProcessIds();
// Advances the cursor: 1..n, then 0 on every further call until the next snapshot.
int32_t NextProcessEntry();
// The process id at the cursor.
uint32_t EntryProcessId();
// Base name ("IDLE" for id 0, "System" for "?"), written at the scratch buffer's
// free end: the system list's name, or where it has none the last component of the
// image path. From EnumProcesses: psapi's name, where psapi names nothing the last
// component of the image path, where that fails too the name in tool-help's process
// list (taken at most once per snapshot). Empty when none answers or the process has
// ended.
const char* EntryProcessName();
// Full executable path, written at the scratch buffer's free end: the image path
// (psapi's where the system's list was taken and that names nothing); from
// EnumProcesses psapi's, else the image path. Empty when unknown.
const char* EntryProcessPath();
// Working-set size in bytes: the system list's figure; from EnumProcesses psapi's,
// read with limited query access where the wider access is refused. A 32-bit build
// reads the full figure of a 64-bit process instead wherever the system offers it its
// 64-bit counters. 0 when the process cannot be examined (from EnumProcesses).
uint64_t EntryWorkingSet();
// True when the working set is larger than the counters could tell, and
// EntryWorkingSet gives the most they hold (a 32-bit build on a system without the
// 64-bit counters).
bool EntryWorkingSetCapped();
// The creation time (100 ns units since 1601): the system list's, which the process
// opened for the entry must have too; from EnumProcesses read on the handle that read
// the other answers, before them. With the id it identifies the process they
// describe. 0 when it could not be read.
uint64_t EntryCreationTime();
// The process's run state (ReadRunState), read on the handle that read the other
// answers: paused where this module's pause of it is noted (the caller lets go of
// lapsed pauses before the snapshot). Where that handle cannot walk the threads
// (limited access, a system without the call), its threads' counts come from the
// system list's thread ids, or from EnumProcesses from one thread snapshot taken at
// most once per snapshot, when the first entry needs it. Ended when the process has
// ended since the snapshot: its id names no process or another process (another
// creation time), or it has ended but a handle keeps it from going (an exit time,
// no thread in the list, an exit code); the other queries then answer nothing more.
RunState EntryRunState();
// Forgets the snapshot and gives back what it keeps (the list's buffer, tool-help's
// tables if a walk left them); called before the module's heaps are destroyed.
void ReleaseSnapshot();
