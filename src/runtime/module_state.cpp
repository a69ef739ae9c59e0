#include "runtime/module_state.h"

HINSTANCE ModuleInstance = nullptr;
HANDLE MainHeap = nullptr;
HANDLE ListHeap = nullptr;
unsigned HeapGeneration = 0;

void* RoomForOneMore(void* entries, intptr_t count, intptr_t& capacity, intptr_t first,
                     SIZE_T entrySize) {
    if (count < capacity) return entries;
    const intptr_t grown = capacity ? 2 * capacity : first;
    void* block = GrowHeapBlock(MainHeap, entries, static_cast<SIZE_T>(grown) * entrySize);
    if (block) capacity = grown;
    return block;
}

void* GrowHeapBlock(HANDLE heap, void* block, SIZE_T bytes) {
    if (!heap) return nullptr;
    return block ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, bytes)
                 : HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}
