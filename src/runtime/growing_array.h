// Arrays in MainHeap that grow as entries are appended: every table of the module
// that grows by appending is one of these (the object tables, indexed by the
// numbers their callers choose, grow to a number through GrowHeapBlock instead).
#pragma once

#include <windows.h>
#include <stdint.h>

// Entries, count and capacity in MainHeap; all zero before the first entry. Full, it
// moves to a block twice as large (FIRST entries at first), zero-filled beyond the
// entries. Emptied by setting count to 0, it keeps its block for the next entries.
// The arrays are module-global and outlive a restart of the module, its heaps do
// not. An array that still holds a block when the heaps go points into a destroyed
// heap: EntryAt and a loop up to count would read it and a removal write it, until
// the next AppendRoom (or Append) or FreeArray drops it, neither freeing nor writing
// it. So each owner empties its array before ModuleDetach destroys the heaps, or
// zeroes it then.
template <class Entry, intptr_t FIRST> struct GrowingArray {
    Entry* entries;
    intptr_t count;
    intptr_t capacity;
    unsigned generation; // HeapGeneration when entries was allocated
};

// The untyped work of AppendRoom: count raised by more, the block grown first where
// it has no room for them. The block's address (new, or entries), or null, leaving
// the figures as they were, when no memory can be had.
void* GrowArray(void* entries, intptr_t& count, intptr_t& capacity, unsigned& generation,
                intptr_t more, intptr_t first, SIZE_T entrySize);
// The untyped work of FreeArray.
void FreeArrayBlock(void* entries, unsigned generation);

// Room for more entries at the array's end, counted as filled; null, leaving the
// array as it was, when no memory can be had.
template <class Entry, intptr_t FIRST>
Entry* AppendRoom(GrowingArray<Entry, FIRST>& array, intptr_t more = 1) {
    void* block = GrowArray(array.entries, array.count, array.capacity, array.generation, more,
                            FIRST, sizeof(Entry));
    if (!block) return nullptr;
    array.entries = static_cast<Entry*>(block);
    return array.entries + (array.count - more);
}

// Adds an entry at the end; the added entry, or null, leaving the array as it was,
// when no memory can be had.
template <class Entry, intptr_t FIRST>
Entry* Append(GrowingArray<Entry, FIRST>& array, const Entry& entry) {
    Entry* added = AppendRoom(array);
    if (added) *added = entry;
    return added;
}

// The entry at an index; null when the array holds none there.
template <class Entry, intptr_t FIRST>
Entry* EntryAt(const GrowingArray<Entry, FIRST>& array, intptr_t index) {
    return index >= 0 && index < array.count ? &array.entries[index] : nullptr;
}

// Gives the array's block back; the array is all zero afterwards.
template <class Entry, intptr_t FIRST> void FreeArray(GrowingArray<Entry, FIRST>& array) {
    FreeArrayBlock(array.entries, array.generation);
    array = GrowingArray<Entry, FIRST>{};
}
