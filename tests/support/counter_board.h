// Shared memory through which the counting child program reports its progress:
// each of its counting threads increments a counter of its own.
#pragma once

#include <windows.h>

constexpr int COUNTER_BOARD_MAX_THREADS = 16;

struct CounterBoard {
    volatile LONG ready; // set once every thread has started and the extras are in place
    volatile LONG threadsStarted;
    volatile LONG counters[COUNTER_BOARD_MAX_THREADS];
};
