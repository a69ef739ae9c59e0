// Child program for the pause and resume tests. Arguments: the id of the
// process to outlive no longer, the name of a shared CounterBoard mapping and
// the number of counting threads. Each thread counts in its own slot of the
// board; the main thread waits for the parent to end and then exits with 3.
#include <windows.h>
#include <stdlib.h>

#include "../support/counter_board.h"

static CounterBoard* Board;

static DWORD WINAPI Count(void* slot) {
    volatile LONG* counter = &Board->counters[reinterpret_cast<INT_PTR>(slot)];
    InterlockedIncrement(&Board->threadsStarted);
    for (;;) {
        InterlockedIncrement(counter);
        Sleep(1);
    }
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
    for (INT_PTR i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, Count, reinterpret_cast<void*>(i), 0, nullptr);
        if (!thread) return 2;
        CloseHandle(thread);
    }
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
