// Tables of process identities (id and creation time): what LIST learnt about the
// process of each row.
#pragma once

#include <stdint.h>

struct ProcessIdentity {
    uint32_t id;
    uint64_t created; // creation time; 0 when it could not be read
};

// A table that grows as identities are added, in MainHeap; all zero before its first
// entry. Emptied by setting its count to 0, it keeps its block for the next entries.
struct IdentityTable {
    ProcessIdentity* entries;
    intptr_t count;
    intptr_t capacity;
    unsigned generation; // HeapGeneration when entries was allocated
};

// Adds an identity at the end; false, leaving the table as it was, when no memory
// can be had.
bool AppendIdentity(IdentityTable& table, const ProcessIdentity& identity);
// The entry at an index; null when the table holds none there.
const ProcessIdentity* IdentityAt(const IdentityTable& table, intptr_t index);
// Gives the table's memory back; the table is empty afterwards. A table whose
// block went with an earlier heap (the module was restarted) is only emptied.
void FreeIdentities(IdentityTable& table);
