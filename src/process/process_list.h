// The system's list of every running process with its name, creation time, working
// set and threads, taken in one call (NtQuerySystemInformation) into a buffer that
// is kept from one list to the next and grows when the call says it is too small.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/process_api.h"

// The most the kept buffer grows to: a list larger than this is not taken.
constexpr intptr_t MAX_PROCESS_LIST_SIZE = intptr_t{64} * 1024 * 1024;

// Takes a fresh list; returns the number of processes in it, or 0, with no list,
// where the call is missing, fails, or needs more than MAX_PROCESS_LIST_SIZE.
int32_t TakeProcessList();
// The list's first process; null when there is none.
const ListedProcess* FirstListedProcess();
// The process after the given one; null after the last.
const ListedProcess* NextListedProcess(const ListedProcess* process);
// The process's threads: process->threadCount of them.
const ListedThread* ListedThreadsOf(const ListedProcess* process);
// The process's id, as the other calls take it.
DWORD ListedProcessId(const ListedProcess* process);
// Gives the buffer back; called before the module's heaps are destroyed.
void ReleaseProcessList();
