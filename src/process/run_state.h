// What a process's threads tell of it: whether it runs, as far as their suspend
// counts were read.
#pragma once

enum class RunState {
    Unknown, // the counts cannot be read (before Windows 8.1, access refused, no thread)
    Running, // a thread runs (a read stops at the first one)
    Paused,  // every thread's count is at least 1, whoever suspended it
};
