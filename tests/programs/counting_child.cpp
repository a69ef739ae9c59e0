// Child program for the pause and resume tests. Arguments: the id of the
// process to outlive no longer, the name of a shared CounterBoard mapping, the
// number of counting threads, optionally a lifetime in ms and, optionally, "held"
// for one more thread that the child starts suspended and never lets go. Each thread
// counts in its own slot of the board. Without a lifetime the threads count for
// ever; with one, each slot is a chain of short-lived threads: a thread counts
// for that long, starts its successor and ends, so the process keeps starting
// threads. threadsStarted counts every thread started. The main thread waits
// for the parent to end and then exits with 3.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "../support/counter_board.h"

static CounterBoard* Board;
static DWORD LifetimeMs; // 0: the threads never end

static DWORD WINAPI NeverRuns(void*) {
    return 0;
}

static DWORD WINAPI Count(void* slot) {
    volatile LONG* counter = &Board->counters[reinterpret_cast<INT_PTR>(slot)];
    InterlockedIncrement(&Board->threadsStarted);
    const DWORD start = GetTickCount();
    do {
        InterlockedIncrement(counter);
        Sleep(1);
    } while (LifetimeMs == 0 || GetTickCount() - start < LifetimeMs);
    // A successor that cannot be started ends the chain: its counter stops, which
    // the tests notice.
    if (HANDLE next = CreateThread(nullptr, 0, Count, slot, 0, nullptr)) CloseHandle(next);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[1], nullptr, 10));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
    if (!mapping) return 2;
    Board = static_cast<CounterBoard*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!Board) return 2;
    int threads = atoi(argv[3]);
    if (threads < 1 || threads > COUNTER_BOARD_MAX_THREADS) return 2;
    if (argc > 4) LifetimeMs = strtoul(argv[4], nullptr, 10);
    for (INT_PTR i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, Count, reinterpret_cast<void*>(i), 0, nullptr);
        if (!thread) return 2;
        CloseHandle(thread);
    }
    if (argc > 5 && strcmp(argv[5], "held") == 0 &&
        !CreateThread(nullptr, 0, NeverRuns, nullptr, CREATE_SUSPENDED, nullptr)) {
        return 2;
    }
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
