#include "runtime/scratch.h"

#include <windows.h>

#include "runtime/module_state.h"
#include "runtime/text.h"

char* ScratchBuffer = nullptr;
char* ScratchFreeEnd = nullptr;

// What text results point at when there is no buffer at all.
static char NoBufferText[1];

void CreateScratchBuffer() {
    if (!ScratchBuffer && MainHeap) {
        ScratchBuffer =
            static_cast<char*>(HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, SCRATCH_BUFFER_SIZE));
    }
    ScratchFreeEnd = ScratchBuffer;
}

static size_t RoomLeft() {
    if (!ScratchBuffer || ScratchFreeEnd < ScratchBuffer ||
        ScratchFreeEnd >= ScratchBuffer + SCRATCH_BUFFER_SIZE) {
        return 0;
    }
    return static_cast<size_t>(ScratchBuffer + SCRATCH_BUFFER_SIZE - ScratchFreeEnd);
}

size_t ScratchRoom(size_t limit) {
    size_t room = RoomLeft();
    return room < limit ? room : limit;
}

char* ScratchEmptyText() {
    if (RoomLeft() == 0) {
        NoBufferText[0] = '\0';
        return NoBufferText;
    }
    *ScratchFreeEnd = '\0';
    return ScratchFreeEnd;
}

char* ScratchPutText(const char* text, size_t limit) {
    size_t room = ScratchRoom(limit);
    if (room == 0) return ScratchEmptyText();
    char* start = ScratchFreeEnd;
    ScratchFreeEnd += CopyText(start, room, text ? text : "");
    return start;
}

char* ScratchJoinText(const char* first, const char* second) {
    char* start = ScratchPutText(first);
    // Starts on the first text's terminator, so the two read as one.
    ScratchPutText(second);
    return start;
}

char* ScratchCommitText() {
    size_t room = RoomLeft();
    if (room == 0) return ScratchEmptyText();
    char* start = ScratchFreeEnd;
    size_t length = TextLength(start, room - 1);
    // A text that fills the room was cut by whoever wrote it, maybe inside a letter.
    if (length == room - 1) length = WholeCharactersLength(start, length);
    ScratchFreeEnd += length;
    *ScratchFreeEnd = '\0';
    return start;
}

void ScratchKeepText() {
    if (RoomLeft() > 1) *ScratchFreeEnd++ = '\0';
}
