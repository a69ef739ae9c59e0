#include "runtime/growing_array.h"

#include "runtime/module_state.h"

void* GrowArray(void* entries, intptr_t& count, intptr_t& capacity, unsigned& generation,
                intptr_t more, intptr_t first, SIZE_T entrySize) {
    if (entries && generation != HeapGeneration) {
        // Its block went with an earlier heap.
        entries = nullptr;
        count = capacity = 0;
    }
    const intptr_t needed = count + more;
    if (needed > capacity) {
        intptr_t grown = capacity ? capacity : first;
        while (grown < needed)
            grown *= 2;
        void* block = GrowHeapBlock(MainHeap, entries, static_cast<SIZE_T>(grown) * entrySize);
        if (!block) return nullptr;
        entries = block;
        capacity = grown;
        generation = HeapGeneration;
    }
    count = needed;
    return entries;
}

void FreeArrayBlock(void* entries, unsigned generation) {
    if (entries && generation == HeapGeneration && MainHeap) HeapFree(MainHeap, 0, entries);
}
