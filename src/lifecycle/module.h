// Module start-up and shutdown: the heaps and the order in which the
// subsystems are set up when the library is attached and torn down when it
// is detached.
#pragma once

#include "runtime/module_state.h"

// Start-up, in order: heaps, window table and template class, control layer,
// process binding, scratch buffer. When a heap cannot be created nothing after
// it runs and the module stays unusable (ModuleReady() is false).
void ModuleAttach();
// Shutdown: first the pauses that this module made and that still hold a thread are
// undone (a window that ends without the user's answer must not leave them frozen).
// When the process itself ends, that is all: its other threads are gone already and
// the system reclaims windows, libraries and heaps. Otherwise, in order: the notes
// of those pauses, process binding, open windows, ListHeap, MainHeap.
void ModuleDetach(bool processEnding = false);
// True when start-up completed: both heaps and the scratch buffer exist.
bool ModuleReady();
