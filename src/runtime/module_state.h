// Module-wide state that every layer uses: the library's own module handle and
// its two private heaps. Start-up (lifecycle) sets them; everything above reads them.
#pragma once

#include <windows.h>

constexpr SIZE_T MAIN_HEAP_INITIAL_SIZE = 4000;
constexpr SIZE_T LIST_HEAP_INITIAL_SIZE = 1024;

// The library's own module handle, stored by the entry point before start-up.
extern HINSTANCE ModuleInstance;
// Private heap for the toolkit's tables, records and texts, the process layer's
// tables (the rows' identities, the pauses' threads, the system's process list,
// tool-help's tables) and the scratch buffer; null before start-up, after shutdown,
// and when it could not be created.
extern HANDLE MainHeap;
// Private heap holding only the nodes of the dynamic object lists; null as MainHeap.
extern HANDLE ListHeap;
// How many times the heaps have been created; an array that outlives a restart of
// the module (a test program starts it many times) tells by it that its block
// went with the heap it came from (GrowingArray).
extern unsigned HeapGeneration;

// A block (null for none yet) resized to bytes in the heap, zero-filled beyond its
// old end: how GrowingArray and the object tables grow. (The process-id buffer, a
// GlobalAlloc block of the process layer's binding table, grows by its own doubling.)
// The new address, or null, leaving the block as it was, when the heap is missing
// or has no room.
void* GrowHeapBlock(HANDLE heap, void* block, SIZE_T bytes);
