#include "support/scratch_helpers.h"

#include <string.h>

namespace {
constexpr size_t GUARD_SIZE = 4096;
constexpr char GUARD = 0x5A;
char Block[SCRATCH_BUFFER_SIZE + GUARD_SIZE];
} // namespace

GuardedScratch::GuardedScratch() : savedBuffer_(ScratchBuffer), savedEnd_(ScratchFreeEnd) {
    // Not zeroed: a text read that leaves out its terminator runs on visibly.
    memset(Block, 'g', SCRATCH_BUFFER_SIZE);
    memset(Block + SCRATCH_BUFFER_SIZE, GUARD, GUARD_SIZE);
    ScratchBuffer = ScratchFreeEnd = Block;
}

GuardedScratch::~GuardedScratch() {
    ScratchBuffer = savedBuffer_;
    ScratchFreeEnd = savedEnd_;
}

char* GuardedScratch::end() {
    return Block + SCRATCH_BUFFER_SIZE;
}

bool GuardedScratch::guardsIntact() const {
    for (size_t i = 0; i < GUARD_SIZE; ++i) {
        if (Block[SCRATCH_BUFFER_SIZE + i] != GUARD) return false;
    }
    return true;
}
