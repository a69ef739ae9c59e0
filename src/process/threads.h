// The threads of a process: walking them, on the process's handle or in a tool-help
// snapshot, and reading from their suspend counts, without touching them, whether
// the process runs.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "process/process_api.h"
#include "process/run_state.h"

// A thread's suspend count, read without touching it, on a handle with at least
// LIMITED_THREAD_QUERY_ACCESS; -1 where the system cannot tell it.
LONG ThreadSuspendCount(HANDLE thread);
// True when the thread, open with SYNCHRONIZE, has ended. The system still lists
// such a thread while a handle keeps it, with the count it had, which then tells
// nothing.
bool HasEnded(HANDLE thread);
// True when the thread, open with LIMITED_THREAD_QUERY_ACCESS where the system knows
// it, belongs to the process; also where the system cannot tell (before Vista). A
// thread id taken from a snapshot may have passed to a thread of another process.
bool IsThreadOf(HANDLE thread, DWORD processId);

// A visit of each item of a walk, without allocation: the caller's function object
// and one function that calls it. The walks themselves are compiled once.
template <class Item> struct Visitor {
    bool (*call)(void* visit, Item item);
    void* visit;
    template <class Visit>
    explicit Visitor(Visit& v)
        : call([](void* f, Item item) { return (*static_cast<Visit*>(f))(item); }), visit(&v) {}
    bool operator()(Item item) const { return call(visit, item); }
};

// Calls visit(thread) for each thread of the process, opened with the access by the
// process's handle (NtGetNextThread), until visit returns false. The walk closes
// each handle once it has moved past it, unless the visit took it over by setting
// thread to null (it then keeps the handle open and closes it itself). True when it
// got to the last thread or visit stopped it; false when the system lacks the call,
// the handle lacks PROCESS_QUERY_INFORMATION, or a thread could not be opened.
bool WalkThreadHandles(HANDLE process, DWORD access, Visitor<HANDLE&> visit);
template <class Visit> bool WalkThreadHandles(HANDLE process, DWORD access, Visit visit) {
    return WalkThreadHandles(process, access, Visitor<HANDLE&>(visit));
}

// Calls visit(thread id) for each thread of the process in a fresh system-wide
// thread snapshot, until visit returns false. False when any of the tool-help
// entry points is missing or no snapshot can be taken.
bool WalkThreadsOf(DWORD processId, Visitor<DWORD> visit);
template <class Visit> bool WalkThreadsOf(DWORD processId, Visit visit) {
    return WalkThreadsOf(processId, Visitor<DWORD>(visit));
}

// Where a state read finds the ids of a process's threads when the process's handle
// cannot walk them (limited access, a system without the call): a walk like
// WalkThreadsOf, over a fresh snapshot or a table taken once for many reads.
using ThreadIdWalk = bool (*)(DWORD processId, Visitor<DWORD> visit);

// The one read of a process's state: its threads' suspend counts, read until one
// runs, on the process's handle, or where that cannot walk them (or there is no
// handle) on the threads that walkIds names, opened by id. Unknown where the counts
// cannot be read.
RunState ReadRunState(HANDLE process, DWORD processId, ThreadIdWalk walkIds = WalkThreadsOf);
