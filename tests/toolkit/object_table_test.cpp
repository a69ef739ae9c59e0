#include <gtest/gtest.h>

#include <vector>

#include "lifecycle/module.h"
#include "support/heap_helpers.h"
#include "support/test_module.h"
#include "toolkit/object_table.h"

namespace {

struct TestRecord {
    void* handle;
    int a;
    int b;
};
const TestRecord EmptyTestRecord = {};

TestRecord* At(const ObjectTable& table, intptr_t index) {
    return reinterpret_cast<TestRecord*>(table.records) + index;
}

// The records of a list from its head, checking the back links on the way.
std::vector<void*> Walk(const DynamicObjectList& list) {
    std::vector<void*> records;
    DynamicNode* previous = nullptr;
    for (DynamicNode* node = list.head; node; node = node->next) {
        if (previous) {
            EXPECT_EQ(node->previous, previous) << "back link of node " << records.size();
        }
        records.push_back(RecordOfNode(node));
        previous = node;
    }
    return records;
}

class ObjectTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ModuleReady());
        SetUpObjectTable(table, sizeof(TestRecord), 10, &EmptyTestRecord);
    }
    ModuleScope module;
    ObjectTable table;
};

TEST_F(ObjectTableTest, GrowthKeepsRecordsAndZeroesTheNewOnes) {
    ASSERT_EQ(table.capacity, 10);
    for (int i = 0; i < 10; ++i) {
        auto* record = static_cast<TestRecord*>(AcquireRecord(table, i));
        ASSERT_EQ(record, At(table, i));
        *record = TestRecord{record, i * 3, -i};
    }
    EXPECT_EQ(table.capacity, 10) << "numbers below the capacity need no growth";

    // The capacity itself is an index: the array's spare records hold it.
    FoundRecord found = FindRecord(table, 10);
    EXPECT_EQ(found.live, nullptr);
    EXPECT_EQ(found.record, &EmptyTestRecord);

    auto* ten = static_cast<TestRecord*>(AcquireRecord(table, 10));
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(table.capacity, 40);
    EXPECT_EQ(ten, At(table, 10));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(At(table, i)->a, i * 3) << i;
        EXPECT_EQ(At(table, i)->b, -i) << i;
        EXPECT_EQ(FindRecord(table, i).live, At(table, i)) << i;
    }
    for (int i = 10; i < 42; ++i) {
        EXPECT_EQ(At(table, i)->handle, nullptr) << i;
        EXPECT_EQ(At(table, i)->a, 0) << i;
    }
    EXPECT_EQ(HeapSize(MainHeap, 0, table.records), 42 * sizeof(TestRecord));

    AcquireRecord(table, 40);
    EXPECT_EQ(table.capacity, 70);
    EXPECT_EQ(At(table, 7)->a, 21);
}

TEST_F(ObjectTableTest, ReleaseFreesTheNumberButKeepsTheOtherFields) {
    auto* record = static_cast<TestRecord*>(AcquireRecord(table, 4));
    *record = TestRecord{record, 11, 12};
    EXPECT_EQ(FindRecord(table, 4).live, record);

    ReleaseRecord(table, 4);
    FoundRecord found = FindRecord(table, 4);
    EXPECT_EQ(found.live, nullptr);
    EXPECT_EQ(found.record, &EmptyTestRecord);
    EXPECT_EQ(static_cast<const TestRecord*>(found.record)->handle, nullptr);

    auto* again = static_cast<TestRecord*>(AcquireRecord(table, 4));
    EXPECT_EQ(again, record);
    EXPECT_EQ(again->handle, nullptr);
    EXPECT_EQ(again->a, 11);
    EXPECT_EQ(again->b, 12);
}

TEST_F(ObjectTableTest, ValuesThatNameNothingResolveToTheEmptyRecord) {
    AcquireRecord(table, 10); // capacity 40
    // Neither an index nor an address: small numbers beyond the capacity and
    // negative numbers.
    for (intptr_t value : {intptr_t{41}, intptr_t{500}, intptr_t{-5}, AUTO_NUMBER}) {
        FoundRecord found = FindRecord(table, value);
        EXPECT_EQ(found.live, nullptr) << value;
        EXPECT_EQ(found.record, &EmptyTestRecord) << value;
        ReleaseRecord(table, value);
    }
    EXPECT_EQ(table.capacity, 40);
    // A negative number is no index: it must not make the table grow.
    EXPECT_EQ(AcquireRecord(table, -5), nullptr);
    EXPECT_EQ(table.capacity, 40);
}

TEST_F(ObjectTableTest, DynamicRecordsLinkNewestFirstAndUnlinkAnywhere) {
    std::vector<void*> r;
    for (int i = 0; i < 5; ++i)
        r.push_back(AcquireRecord(table, AUTO_NUMBER));
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{r[4], r[3], r[2], r[1], r[0]}));
    EXPECT_EQ(static_cast<TestRecord*>(r[4])->handle, nullptr);
    EXPECT_EQ(table.capacity, 10) << "dynamic records live outside the array";
    // The identity is the record's address; it resolves once the handle is set.
    EXPECT_EQ(FindRecord(table, reinterpret_cast<intptr_t>(r[2])).live, nullptr);
    static_cast<TestRecord*>(r[2])->handle = r[2];
    EXPECT_EQ(FindRecord(table, reinterpret_cast<intptr_t>(r[2])).live, r[2]);

    ReleaseRecord(table, reinterpret_cast<intptr_t>(r[4])); // head
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{r[3], r[2], r[1], r[0]}));
    ReleaseRecord(table, reinterpret_cast<intptr_t>(r[2])); // middle
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{r[3], r[1], r[0]}));
    ReleaseRecord(table, reinterpret_cast<intptr_t>(r[0])); // end
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{r[3], r[1]}));
    void* fresh = AcquireRecord(table, AUTO_NUMBER);
    ReleaseRecord(table, reinterpret_cast<intptr_t>(r[3])); // middle, after the head changed
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{fresh, r[1]}));
    ReleaseRecord(table, reinterpret_cast<intptr_t>(fresh));
    ReleaseRecord(table, reinterpret_cast<intptr_t>(r[1])); // the only one
    EXPECT_EQ(table.dynamicList.head, nullptr);
    EXPECT_TRUE(HeapValidate(ListHeap, 0, nullptr));
}

TEST(ObjectTableMemory, ExhaustedHeapsGiveNullAndLeaveTheTableAsItWas) {
    ModuleScope module;
    ASSERT_TRUE(ModuleReady());
    // Real private heaps of fixed size, filled until they refuse every request.
    FixedHeap main(64 * 1024);
    FixedHeap list(64 * 1024);
    HeapSwap useMain(MainHeap, main.handle);
    HeapSwap useList(ListHeap, list.handle);

    ObjectTable table;
    SetUpObjectTable(table, sizeof(TestRecord), 10, &EmptyTestRecord);
    ASSERT_EQ(table.capacity, 10);
    At(table, 3)->a = 33;
    void* dynamic = AcquireRecord(table, AUTO_NUMBER);
    ASSERT_NE(dynamic, nullptr);
    main.Exhaust();
    list.Exhaust();

    char* before = table.records;
    EXPECT_EQ(AcquireRecord(table, 10), nullptr);
    EXPECT_EQ(table.capacity, 10);
    EXPECT_EQ(table.records, before);
    EXPECT_EQ(At(table, 3)->a, 33);
    EXPECT_NE(AcquireRecord(table, 9), nullptr) << "numbers that fit still work";

    EXPECT_EQ(AcquireRecord(table, AUTO_NUMBER), nullptr);
    EXPECT_EQ(Walk(table.dynamicList), (std::vector<void*>{dynamic}));
}

} // namespace
