// The task manager's event loop and its commands.
#pragma once

#include <stdint.h>

#include "frontend/main_window.h"

// The LIST command: removes every row, then adds one "RUN" row per process of a
// fresh snapshot, with the list's repainting held until the end.
void ListProcesses();
// The exported entry: runs the window until it is closed and returns 1; 0 when
// the module did not start or the window cannot be built.
extern "C" int Main();
