#include "runtime/module_state.h"

HINSTANCE ModuleInstance = nullptr;
HANDLE MainHeap = nullptr;
HANDLE ListHeap = nullptr;
unsigned HeapGeneration = 0;

void* GrowHeapBlock(HANDLE heap, void* block, SIZE_T bytes) {
    if (!heap) return nullptr;
    return block ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, bytes)
                 : HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}
