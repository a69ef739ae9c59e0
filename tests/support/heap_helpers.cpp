#include "support/heap_helpers.h"

FixedHeap::FixedHeap(SIZE_T size) : handle(HeapCreate(0, size, size)) {}

FixedHeap::~FixedHeap() {
    if (handle) HeapDestroy(handle);
}

void FixedHeap::Exhaust() {
    for (SIZE_T size = 64 * 1024; size > 0;) {
        if (!HeapAlloc(handle, 0, size)) size /= 2;
    }
}
