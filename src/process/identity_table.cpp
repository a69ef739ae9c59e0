#include "process/identity_table.h"

#include "runtime/module_state.h"

// Entries of a table's first block; each further block is twice as large.
constexpr intptr_t FIRST_CAPACITY = 512;

// Forgets a block that went with an earlier heap: the tables are module-global
// and outlive a restart of the module, its heaps do not.
static void ForgetStaleBlock(IdentityTable& table) {
    if (table.entries && table.generation != HeapGeneration) table = IdentityTable{};
}

bool AppendIdentity(IdentityTable& table, const ProcessIdentity& identity) {
    ForgetStaleBlock(table);
    void* room = RoomForOneMore(table.entries, table.count, table.capacity, FIRST_CAPACITY,
                                sizeof(ProcessIdentity));
    if (!room) return false;
    table.entries = static_cast<ProcessIdentity*>(room);
    table.generation = HeapGeneration;
    table.entries[table.count++] = identity;
    return true;
}

const ProcessIdentity* IdentityAt(const IdentityTable& table, intptr_t index) {
    return index >= 0 && index < table.count ? &table.entries[index] : nullptr;
}

void FreeIdentities(IdentityTable& table) {
    ForgetStaleBlock(table);
    if (table.entries) HeapFree(MainHeap, 0, table.entries);
    table = IdentityTable{};
}
