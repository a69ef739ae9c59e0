// What a process's threads tell of it: whether it runs, as far as their suspend
// counts were read.
#pragma once

enum class RunState {
    Unknown,      // the counts cannot be read (before Windows 8.1, access refused, no thread)
    Running,      // a thread runs (a read that stops there); with every thread read, none is held
    PartlyPaused, // some threads are suspended and others run (only a read of every thread)
    Paused,       // every thread's count is at least 1, whoever suspended it
};

// How far a read of the counts goes.
enum class ReadDepth {
    UntilOneRuns, // stops at the first running thread: enough to tell a running process
    EveryThread,  // reads on, to tell a process that is still partly paused
};
