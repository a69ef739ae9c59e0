// A scratch block with guard bytes behind it, for tests of text reads near the
// block's end.
#pragma once

#include <stddef.h>

#include "runtime/scratch.h"

// Points the module's scratch buffer (and its free end) at a block filled with a
// non-zero pattern and followed by guard bytes, until scope end.
class GuardedScratch {
  public:
    GuardedScratch();
    ~GuardedScratch();
    GuardedScratch(const GuardedScratch&) = delete;
    GuardedScratch& operator=(const GuardedScratch&) = delete;

    // One past the block's last byte: where the guard bytes begin.
    char* end();
    // True when no write reached the guard bytes.
    bool guardsIntact() const;

  private:
    char* savedBuffer_;
    char* savedEnd_;
};
