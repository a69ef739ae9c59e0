// What the benchmark programs share: a millisecond clock, the median of a run's
// figures; and starting a program that stands beside the benchmark, as the tests
// start theirs (support/start_beside.h).
#pragma once

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/start_beside.h"

// Milliseconds from the performance counter.
inline double Now() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

// The median of n figures (sorts them in place).
inline double Median(double* values, int n) {
    qsort(values, n, sizeof *values, [](const void* a, const void* b) {
        double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
        return x < y ? -1 : x > y;
    });
    return values[n / 2];
}
