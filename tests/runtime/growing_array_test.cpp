#include <gtest/gtest.h>

#include <windows.h>

#include "runtime/growing_array.h"
#include "runtime/module_state.h"
#include "support/test_module.h"

namespace {

using Numbers = GrowingArray<uint64_t, 4>;

TEST(GrowingArray, KeepsEveryEntryInOrderAcrossEachBlocksEnd) {
    ModuleScope module;
    Numbers numbers = {};
    // One by one past the first blocks' ends, then a run that needs a larger block
    // than the next; a write past a block's end breaks the heap, as HeapValidate sees.
    for (uint64_t n = 1; n <= 9; ++n) {
        ASSERT_NE(Append(numbers, ~n), nullptr);
        ASSERT_TRUE(HeapValidate(MainHeap, 0, nullptr)) << "after entry " << n;
    }
    uint64_t* room = AppendRoom(numbers, 24);
    ASSERT_NE(room, nullptr);
    for (uint64_t n = 10; n <= 33; ++n)
        *room++ = ~n;
    ASSERT_TRUE(HeapValidate(MainHeap, 0, nullptr)) << "after a run of 24";

    ASSERT_EQ(numbers.count, 33);
    for (intptr_t i = 0; i < numbers.count; ++i)
        EXPECT_EQ(*EntryAt(numbers, i), ~uint64_t(i + 1)) << "entry " << i;
    EXPECT_EQ(EntryAt(numbers, 33), nullptr);
    EXPECT_EQ(EntryAt(numbers, -1), nullptr);

    FreeArray(numbers);
    EXPECT_EQ(numbers.entries, nullptr);
    EXPECT_EQ(numbers.count, 0);
    EXPECT_EQ(numbers.capacity, 0);
    EXPECT_EQ(numbers.generation, 0u);
}

TEST(GrowingArray, TakesNoBlockThatWentWithAnEarlierHeap) {
    Numbers numbers = {};
    {
        ModuleScope module;
        ASSERT_NE(Append(numbers, ~uint64_t{1}), nullptr);
    } // the module restarts: its heaps go and come anew
    ModuleScope module;
    ASSERT_NE(Append(numbers, ~uint64_t{2}), nullptr);
    EXPECT_EQ(numbers.count, 1);
    EXPECT_EQ(*EntryAt(numbers, 0), ~uint64_t{2});
    EXPECT_TRUE(HeapValidate(MainHeap, 0, numbers.entries)) << "not a block of the new heap";
    FreeArray(numbers);
}

} // namespace
