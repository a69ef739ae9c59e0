// Child program for pausing a process that keeps starting threads. Arguments:
// the id of the process to outlive no longer, the name of a shared CounterBoard
// mapping, the number of thread chains and how long (ms) each thread counts.
// Each chain counts in its own slot of the board, but no thread of it lives
// long: it counts for the given time, starts its successor and ends, so the
// process starts chains * 1000 / lifetime threads a second. threadsStarted
// counts every thread started. The main thread waits for the parent to end and
// then exits with 3.
#include <windows.h>
#include <stdlib.h>

#include "../support/counter_board.h"

static CounterBoard* Board;
static DWORD LifetimeMs;

static DWORD WINAPI Count(void* slot) {
    volatile LONG* counter = &Board->counters[reinterpret_cast<INT_PTR>(slot)];
    InterlockedIncrement(&Board->threadsStarted);
    const DWORD start = GetTickCount();
    do {
        InterlockedIncrement(counter);
        Sleep(1);
    } while (GetTickCount() - start < LifetimeMs);
    // A successor that cannot be started ends the chain: its counter stops, which
    // the tests notice.
    if (HANDLE next = CreateThread(nullptr, 0, Count, slot, 0, nullptr)) CloseHandle(next);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[1], nullptr, 10));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
    if (!mapping) return 2;
    Board = static_cast<CounterBoard*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!Board) return 2;
    int chains = atoi(argv[3]);
    LifetimeMs = strtoul(argv[4], nullptr, 10);
    if (chains < 1 || chains > COUNTER_BOARD_MAX_THREADS) return 2;
    for (INT_PTR i = 0; i < chains; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, Count, reinterpret_cast<void*>(i), 0, nullptr);
        if (!thread) return 2;
        CloseHandle(thread);
    }
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
