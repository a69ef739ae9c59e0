// Real heaps that run out of memory, for the paths where an allocation fails.
#pragma once

#include <windows.h>

// A private heap of fixed size (it never grows), destroyed at scope end.
class FixedHeap {
  public:
    explicit FixedHeap(SIZE_T size);
    ~FixedHeap();
    FixedHeap(const FixedHeap&) = delete;
    FixedHeap& operator=(const FixedHeap&) = delete;
    // Allocates until the heap refuses even a single byte.
    void Exhaust();
    HANDLE handle;
};

// Points a module heap variable at another heap until scope end.
class HeapSwap {
  public:
    HeapSwap(HANDLE& variable, HANDLE replacement) : variable_(variable), saved_(variable) {
        variable_ = replacement;
    }
    ~HeapSwap() { variable_ = saved_; }
    HeapSwap(const HeapSwap&) = delete;
    HeapSwap& operator=(const HeapSwap&) = delete;

  private:
    HANDLE& variable_;
    HANDLE saved_;
};
