// Module start-up and shutdown: the heaps and the order in which the
// subsystems are set up when the library is attached and torn down when it
// is detached.
#pragma once

#include "runtime/module_state.h"

// Start-up, in order: heaps, window table and template class, control layer,
// process binding, scratch buffer. When a heap cannot be created nothing after
// it runs and the module stays unusable (ModuleReady() is false).
void ModuleAttach();
// Shutdown, in order: process binding, open windows, ListHeap, MainHeap.
void ModuleDetach();
// True when start-up completed: both heaps and the scratch buffer exist.
bool ModuleReady();
