#include "toolkit/object_table.h"

#include <windows.h>

#include "runtime/module_state.h"

// Margin added beyond a number that makes the table grow.
constexpr intptr_t GROWTH_MARGIN = 30;
// The array always holds this many records beyond the capacity.
constexpr intptr_t EXTRA_RECORDS = 2;

void SetUpObjectTable(ObjectTable& table, size_t recordSize, intptr_t capacity,
                      const void* emptyRecord) {
    table = ObjectTable{};
    table.recordSize = recordSize;
    table.emptyRecord = emptyRecord;
    if (!MainHeap) return;
    table.records = static_cast<char*>(
        HeapAlloc(MainHeap, HEAP_ZERO_MEMORY, (capacity + EXTRA_RECORDS) * recordSize));
    if (table.records) table.capacity = capacity;
}

// Addresses below 64 KiB (and their negatives) are never records: such a value
// that is not an index names no object.
static bool MayBeIdentity(intptr_t value) {
    return value <= -0x10000 || value >= 0x10000;
}

bool IsTableIndex(const ObjectTable& table, intptr_t value) {
    return table.records && value >= 0 && value <= table.capacity;
}

// Grows the array so that index number fits; leaves the table as it was on failure.
static bool GrowTable(ObjectTable& table, intptr_t number) {
    const uintptr_t limit =
        (static_cast<uintptr_t>(INTPTR_MAX) / table.recordSize) - GROWTH_MARGIN - EXTRA_RECORDS;
    if (static_cast<uintptr_t>(number) > limit) return false;
    const size_t bytes = (number + GROWTH_MARGIN + EXTRA_RECORDS) * table.recordSize;
    void* grown = GrowHeapBlock(MainHeap, table.records, bytes);
    if (!grown) return false;
    table.records = static_cast<char*>(grown);
    table.capacity = number + GROWTH_MARGIN;
    return true;
}

void* AcquireRecord(ObjectTable& table, intptr_t number) {
    if (number == AUTO_NUMBER) return NewDynamicRecord(table.dynamicList, table.recordSize);
    if (!table.records ||
        static_cast<uintptr_t>(number) >= static_cast<uintptr_t>(table.capacity)) {
        if (!GrowTable(table, number)) return nullptr;
    }
    return table.records + number * table.recordSize;
}

FoundRecord FindRecord(const ObjectTable& table, intptr_t value) {
    void* record = nullptr;
    if (IsTableIndex(table, value)) {
        record = table.records + value * table.recordSize;
    } else if (MayBeIdentity(value)) {
        // Anything else names a dynamic object by its record's address.
        record = reinterpret_cast<void*>(value);
    }
    if (record && *static_cast<void**>(record) != nullptr) return {record, record};
    return {nullptr, table.emptyRecord};
}

void ReleaseRecord(ObjectTable& table, intptr_t value) {
    if (IsTableIndex(table, value)) {
        *reinterpret_cast<void**>(table.records + value * table.recordSize) = nullptr;
    } else if (MayBeIdentity(value)) {
        DeleteDynamicRecord(table.dynamicList, reinterpret_cast<void*>(value));
    }
}

void* NewDynamicRecord(DynamicObjectList& list, size_t recordSize) {
    if (!ListHeap) return nullptr;
    auto* node = static_cast<DynamicNode*>(
        HeapAlloc(ListHeap, HEAP_ZERO_MEMORY, sizeof(DynamicNode) + recordSize));
    if (!node) return nullptr;
    if (list.head) {
        list.head->previous = node;
        node->next = list.head;
    }
    list.head = node;
    return RecordOfNode(node);
}

void DeleteDynamicRecord(DynamicObjectList& list, void* record) {
    if (!record || !ListHeap) return;
    DynamicNode* node = NodeOfRecord(record);
    if (node == list.head) {
        list.head = node->next;
        // The new head's previous link is never read; keep it from naming freed memory.
        if (list.head) list.head->previous = nullptr;
    } else {
        node->previous->next = node->next;
        if (node->next) node->next->previous = node->previous;
    }
    HeapFree(ListHeap, 0, node);
}
