// The task manager's event loop and its commands.
#pragma once

#include <stdint.h>

#include "frontend/main_window.h"

// The LIST command: removes every row, then adds one row per process of a fresh
// snapshot that still runs when it is read, with the list's repainting held until
// the end. A row shows its process's state as its threads' suspend counts tell it:
// "PAUSE" when every thread is suspended, whoever suspended it, and for a process
// that this window paused (the same id and creation time) while that pause still
// holds one of its threads or where the counts cannot be read; "RUN" otherwise.
// Then the File column gives up the vertical scroll bar's width while the list
// shows one.
void ListProcesses();
// The exported entry: runs the window until it is closed and returns 1; 0 at once
// when the module did not start, the window cannot be built, or another Main runs
// (one window at a time: it owns the module's tables). Closing the window while
// processes that it paused are still paused asks whether to resume them first.
// When the session ends, they are resumed without a question, any box of its own
// that is open is ended unanswered, and Main returns 1. Those resumes undo only
// what its pauses did.
extern "C" int Main();
