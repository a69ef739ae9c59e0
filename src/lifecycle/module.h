// Module start-up and shutdown: the heaps and the order in which the
// subsystems are set up when the library is attached and torn down when it
// is detached.
#pragma once

#include <windows.h>

constexpr SIZE_T MAIN_HEAP_INITIAL_SIZE = 4000;
constexpr SIZE_T LIST_HEAP_INITIAL_SIZE = 1024;

// The library's own module handle, stored by the entry point before start-up.
extern HINSTANCE ModuleInstance;
// Private heap for the toolkit's tables, records, texts and the scratch buffer.
extern HANDLE MainHeap;
// Private heap holding only the nodes of the dynamic object lists.
extern HANDLE ListHeap;

// Start-up, in order: heaps, window table and template class, control layer,
// process binding, scratch buffer. When a heap cannot be created nothing after
// it runs and the module stays unusable (ModuleReady() is false).
void ModuleAttach();
// Shutdown, in order: process binding, open windows, ListHeap, MainHeap.
void ModuleDetach();
// True when start-up completed: both heaps and the scratch buffer exist.
bool ModuleReady();
