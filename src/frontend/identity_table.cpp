#include "frontend/identity_table.h"

#include <windows.h>

// Entries of a table's first block; each further block is twice as large.
constexpr intptr_t FIRST_CAPACITY = 512;

bool AppendIdentity(IdentityTable& table, const ProcessIdentity& identity) {
    if (table.count == table.capacity) {
        const intptr_t capacity = table.capacity ? 2 * table.capacity : FIRST_CAPACITY;
        auto* grown = static_cast<ProcessIdentity*>(
            GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(capacity) * sizeof(ProcessIdentity)));
        if (!grown) return false;
        for (intptr_t i = 0; i < table.count; ++i)
            grown[i] = table.entries[i];
        if (table.entries) GlobalFree(table.entries);
        table.entries = grown;
        table.capacity = capacity;
    }
    table.entries[table.count++] = identity;
    return true;
}

const ProcessIdentity* IdentityAt(const IdentityTable& table, intptr_t index) {
    return index >= 0 && index < table.count ? &table.entries[index] : nullptr;
}

bool HoldsIdentity(const IdentityTable& table, const ProcessIdentity& identity) {
    if (identity.created == 0) return false;
    for (intptr_t i = 0; i < table.count; ++i) {
        const ProcessIdentity& entry = table.entries[i];
        if (entry.id == identity.id && entry.created == identity.created) return true;
    }
    return false;
}

void FreeIdentities(IdentityTable& table) {
    if (table.entries) GlobalFree(table.entries);
    table = IdentityTable{};
}
