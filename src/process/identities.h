// Telling one process from another that later gets the same id: a process is
// identified by its id together with its creation time.
#pragma once

#include <stdint.h>

#include "runtime/growing_array.h"

struct ProcessIdentity {
    uint32_t id;
    uint64_t created; // creation time; 0 when it could not be read
};

// Identities in the order of what they belong to (LIST's rows); one whose index is
// past the end has none (EntryAt gives null).
using IdentityTable = GrowingArray<ProcessIdentity, 512>;
