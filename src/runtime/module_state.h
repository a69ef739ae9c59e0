// Module-wide state that every layer uses: the library's own module handle and
// its two private heaps. Start-up (lifecycle) sets them; everything above reads them.
#pragma once

#include <windows.h>

constexpr SIZE_T MAIN_HEAP_INITIAL_SIZE = 4000;
constexpr SIZE_T LIST_HEAP_INITIAL_SIZE = 1024;

// The library's own module handle, stored by the entry point before start-up.
extern HINSTANCE ModuleInstance;
// Private heap for the toolkit's tables, records, texts and the scratch buffer;
// null before start-up, after shutdown, and when it could not be created.
extern HANDLE MainHeap;
// Private heap holding only the nodes of the dynamic object lists; null as MainHeap.
extern HANDLE ListHeap;
