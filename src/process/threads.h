// The threads of a process, one at a time: opening one by its id as a thread of
// that process, reading its suspend count without touching it, telling whether it
// has ended, and walking a process's threads, on the process's handle or in a
// tool-help snapshot.
#pragma once

#include <windows.h>
#include <stdint.h>

// The least access that asks which process a thread belongs to (Vista and later).
constexpr DWORD LIMITED_THREAD_QUERY_ACCESS = 0x0800; // THREAD_QUERY_LIMITED_INFORMATION
// The access a read of a thread's suspend count asks for; SYNCHRONIZE tells a
// thread that has ended (and whose count says nothing) from one that runs.
constexpr DWORD THREAD_STATE_ACCESS = LIMITED_THREAD_QUERY_ACCESS | SYNCHRONIZE;
// What SuspendThread and ResumeThread answer when they fail.
constexpr DWORD FAILED = static_cast<DWORD>(-1);

// Why a thread could not be opened by its id.
enum class OpenFailure {
    Ended,   // it has ended: its id names no thread, or now names a thread of another process
    Refused, // it runs, but refuses the access
};
// Opens a thread of the process by its id with the access, and where the system
// knows it limited query access too, to check its owner: a thread id taken from a
// snapshot may have passed to a thread of another process. Null when it cannot be
// opened as a thread of the process; failure, if given, then tells why.
HANDLE OpenThreadOf(DWORD processId, DWORD threadId, DWORD access, OpenFailure* failure = nullptr);
// True when the thread, open with SYNCHRONIZE, has ended. The system still lists
// such a thread while a handle keeps it, with the count it had, which then tells
// nothing.
bool HasEnded(HANDLE thread);
// What the count reads answer for a count that cannot be read (a system before
// Windows 8.1, or a handle without the query access), and LiveSuspendCount for a
// thread that has ended.
constexpr LONG COUNT_UNKNOWN = -1;
constexpr LONG THREAD_ENDED = -2;
// A thread's suspend count as the system keeps it, read without touching the thread
// on a handle with LIMITED_THREAD_QUERY_ACCESS, or COUNT_UNKNOWN. A thread that has
// ended keeps the count it had: where that matters, LiveSuspendCount.
LONG SuspendCount(HANDLE thread);
// The suspend count of a thread open with THREAD_STATE_ACCESS that has not ended,
// THREAD_ENDED for one that has (checked first), or COUNT_UNKNOWN.
LONG LiveSuspendCount(HANDLE thread);

// A visit of each item of a walk, without allocation: the caller's function object
// and one function that calls it. The walks themselves are compiled once.
template <class Item, class Result = bool> struct Visitor {
    Result (*call)(void* visit, Item item);
    void* visit;
    template <class Visit>
    explicit Visitor(Visit& v)
        : call([](void* f, Item item) -> Result { return (*static_cast<Visit*>(f))(item); }),
          visit(&v) {}
    Result operator()(Item item) const { return call(visit, item); }
};

// What the visit of a thread tells the walk of a process's threads.
enum class Visit {
    Next, // go on; the walk closes the thread's handle once it has moved past it
    Keep, // go on; the visit keeps the handle, and closes it itself
    Stop, // stop here; the walk closes the handle
};
// Calls visit(thread) for each thread of the process, opened with the access by the
// process's handle (NtGetNextThread). True when it got to the last thread or visit
// stopped it; false when the system lacks the call, the handle lacks
// PROCESS_QUERY_INFORMATION, or a thread could not be opened.
bool WalkThreadHandles(HANDLE process, DWORD access, Visitor<HANDLE, Visit> visit);
template <class V> bool WalkThreadHandles(HANDLE process, DWORD access, V visit) {
    return WalkThreadHandles(process, access, Visitor<HANDLE, Visit>(visit));
}

// A thread as tool-help's snapshot lists it: the id of its process and its own.
struct ThreadIds {
    DWORD process, thread;
};
// Calls visit(ids) for each thread of every process in a fresh system-wide thread
// snapshot, until visit returns false. False when the tool-help snapshot calls are
// missing or no snapshot can be taken.
bool WalkThreadSnapshot(Visitor<ThreadIds> visit);
template <class V> bool WalkThreadSnapshot(V visit) {
    return WalkThreadSnapshot(Visitor<ThreadIds>(visit));
}
// The same for the threads of one process: calls visit(thread id), until visit
// returns false.
bool WalkThreadsOf(DWORD processId, Visitor<DWORD> visit);
template <class V> bool WalkThreadsOf(DWORD processId, V visit) {
    return WalkThreadsOf(processId, Visitor<DWORD>(visit));
}
// Where a reader finds the ids of a process's threads when the process's handle
// cannot walk them (limited access, a system without the call): a walk like
// WalkThreadsOf, over a fresh snapshot or a table taken once for many reads.
using ThreadIdWalk = bool (*)(DWORD processId, Visitor<DWORD> visit);
