// The scratch buffer: one block in which text results are built. An operation
// that returns text writes it at the free end, moves the free end to the
// text's terminator and returns where the text starts (or, for a few, the new
// free end). Callers note the free end, copy out what they keep and put the
// free end back. Every write is bounded by the room left in the block.
#pragma once

#include <stddef.h>

constexpr size_t SCRATCH_BUFFER_SIZE = 64000;

// Start of the 64000-byte block (null until start-up creates it).
extern char* ScratchBuffer;
// The free end: where the next text result is written.
extern char* ScratchFreeEnd;

// Allocates the zero-filled block from MainHeap unless it exists; sets the free end to its start.
void CreateScratchBuffer();
// Bytes that a text read may use at the free end, terminator included, at most limit:
// min(limit, room left). 0 when there is no buffer.
size_t ScratchRoom(size_t limit);
// Writes an empty text (a terminator) at the free end and returns it; the free end stays.
// Without a buffer it returns a static empty text.
char* ScratchEmptyText();
// Copies text (up to limit - 1 characters, and no more than fits) to the free end, advances
// the free end to its terminator and returns where the copy starts.
char* ScratchPutText(const char* text, size_t limit = SCRATCH_BUFFER_SIZE);
// Writes first and then second at the free end as one text, advances the free end
// to its terminator and returns where it starts; bounded by the room left.
char* ScratchJoinText(const char* first, const char* second);
// Moves the free end past a text that a caller has just written at it (its length is
// measured up to the terminator, bounded by the block, and a text cut there loses a
// letter it holds in part), writes the terminator and returns where the text starts.
char* ScratchCommitText();
// Keeps the text that ends at the free end: moves the free end one past its
// terminator, so that further results are written after it. Does nothing when
// the buffer is full.
void ScratchKeepText();

// Notes the free end and puts it back when it goes out of scope.
class ScratchMark {
  public:
    ScratchMark() : saved_(ScratchFreeEnd) {}
    ~ScratchMark() { ScratchFreeEnd = saved_; }
    ScratchMark(const ScratchMark&) = delete;
    ScratchMark& operator=(const ScratchMark&) = delete;
    // The free end as it was noted: where the first text written since begins.
    char* start() const { return saved_; }

  private:
    char* saved_;
};
