// The pauses that this module made, each with what it did to each thread of its
// process. Those processes would stay frozen for good once the window that paused
// them is gone, since no later window knows they were paused: their pauses are
// undone for the user when the window closes (if the user agrees), when the session
// ends, and when the library is unloaded or the host process ends under a window
// still open. A pause is one act on its process: while it is in force (a thread that
// it suspended is still at or above the count it left it at), undoing it lowers
// every thread that it suspended by one, never below 0; once it has lapsed (undone
// from outside, or its process has ended), it is let go at the next let-go step, and
// nothing is lowered. A thread that the program, a debugger or another tool kept
// suspended before the pause stays suspended.
//
// Looking changes nothing here: only NotePause and the let-go steps write the table.
#pragma once

#include <windows.h>

#include "process/identities.h"
#include "process/paused_threads.h"

// Notes a pause of the process, taking its threads over (in place of what an earlier
// pause of it noted, whose handles are closed). False, noting nothing and leaving the
// threads to the caller, when the process has no identity or no memory can be had.
bool NotePause(const ProcessIdentity& identity, PausedThreads& threads);
// True when a pause of the process is noted here. Every noted pause was in force
// when it was last looked at: a pause is noted as it is made and let go when RESUME
// or KILL ends it, and LIST, a refused command and the close let go of those that
// have lapsed (LetGoOfLapsedPauses) before they read a state.
bool IsPausedHere(const ProcessIdentity& identity);
// True when any pause is noted here.
bool AnyPauseNoted();
// Lets go of the pause noted for the process, if any: its thread handles are closed
// and its threads left as they are (RESUME or KILL has just ended it).
void LetGoOfPause(const ProcessIdentity& identity);
// Lets go of every noted pause that has lapsed: those undone from outside and those
// whose process has ended (a refused command or LIST may be the first sight of that).
// Reads each pause's threads' counts up to the first thread that keeps it in force.
void LetGoOfLapsedPauses();
// Undoes every noted pause that is in force, as one act each: every thread that it
// suspended lowered by one, never below 0. It uses only the threads' own handles
// and allocates nothing, so that it can run while the host process ends (a thread
// that ended then may have left a heap's lock held). False when a thread could not
// be lowered. The notes stay.
bool ResumePausedProcesses();
// Lets go of every noted pause and leaves their processes as they are.
void LetGoOfAllPauses();
