// Numbered object tables. Windows and controls are named by numbers the caller
// chooses (0 or more), which index an array of records, or created under
// AUTO_NUMBER, which gives them a record in the table's dynamic list; the
// address of that record is then the object's identity and is passed back
// wherever a number is expected. Every record starts with the object's window
// handle; a record whose handle is null is free.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Asks for a dynamic object whose identity is its record's address.
constexpr intptr_t AUTO_NUMBER = -1;

// Links of one dynamic-list node in ListHeap; the record follows them.
struct DynamicNode {
    DynamicNode* next;
    DynamicNode* previous; // not read for the head node
};

struct DynamicObjectList {
    DynamicNode* head; // newest node first; null while empty
};

struct ObjectTable {
    intptr_t capacity; // largest value taken as an index; the array holds capacity + 2 records
    char* records;     // zero-filled array in MainHeap
    DynamicObjectList dynamicList;
    size_t recordSize;
    const void* emptyRecord; // all zeros, handed out for objects that do not exist
};

// What FindRecord resolves a value to.
struct FoundRecord {
    void* live;         // the record, or null when it names no object
    const void* record; // the record, or the table's empty record: always readable
};

// Zeroes the table and allocates capacity + 2 zeroed records from MainHeap.
// emptyRecord must point at recordSize zero bytes that nobody writes.
void SetUpObjectTable(ObjectTable& table, size_t recordSize, intptr_t capacity,
                      const void* emptyRecord);

// AUTO_NUMBER: a new zeroed record in the dynamic list. Any other number is an
// index: the table grows (capacity number + 30) unless number < capacity, and the
// record is returned as it is, not cleared. Null when no memory can be had.
void* AcquireRecord(ObjectTable& table, intptr_t number);
// Resolves an index (0 <= value <= capacity) or an identity (any other value).
FoundRecord FindRecord(const ObjectTable& table, intptr_t value);
// An index: clears the record's window handle, keeping its other fields. An
// identity: unlinks and frees its node.
void ReleaseRecord(ObjectTable& table, intptr_t value);
// True when value is taken as an index of this table.
bool IsTableIndex(const ObjectTable& table, intptr_t value);

// A new zeroed node at the head of the list; returns its record, or null when
// ListHeap cannot supply one.
void* NewDynamicRecord(DynamicObjectList& list, size_t recordSize);
// Unlinks the record's node and frees it.
void DeleteDynamicRecord(DynamicObjectList& list, void* record);

inline void* RecordOfNode(DynamicNode* node) {
    return node + 1;
}
inline DynamicNode* NodeOfRecord(void* record) {
    return static_cast<DynamicNode*>(record) - 1;
}
