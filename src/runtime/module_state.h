// Module-wide state that every layer uses: the library's own module handle and
// its two private heaps. Start-up (lifecycle) sets them; everything above reads them.
#pragma once

#include <windows.h>

constexpr SIZE_T MAIN_HEAP_INITIAL_SIZE = 4000;
constexpr SIZE_T LIST_HEAP_INITIAL_SIZE = 1024;

// The library's own module handle, stored by the entry point before start-up.
extern HINSTANCE ModuleInstance;
// Private heap for the toolkit's tables, records and texts, the process layer's
// tables (the rows' identities, the pauses' threads, tool-help's tables) and the
// scratch buffer; null before start-up, after shutdown, and when it could not be
// created.
extern HANDLE MainHeap;
// Private heap holding only the nodes of the dynamic object lists; null as MainHeap.
extern HANDLE ListHeap;
// How many times the heaps have been created; a table that outlives a restart of
// the module (a test program starts it many times) tells by it that its block
// went with the heap it came from.
extern unsigned HeapGeneration;

// The only way the module grows an array: block (null for none yet) resized to
// bytes in the heap, zero-filled beyond its old end. The new address, or null,
// leaving the block as it was, when the heap is missing or has no room.
void* GrowHeapBlock(HANDLE heap, void* block, SIZE_T bytes);
// An array in MainHeap (entries, null for none yet) that holds count entries of
// entrySize bytes in room for capacity, with room for one more: the same block
// while there is room, else one twice as large (first entries at first), capacity
// updated. Null, leaving both as they were, when no memory can be had.
void* RoomForOneMore(void* entries, intptr_t count, intptr_t& capacity, intptr_t first,
                     SIZE_T entrySize);
