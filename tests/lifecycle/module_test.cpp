#include <gtest/gtest.h>

#include "frontend/task_manager.h"
#include "lifecycle/module.h"
#include "process/actions.h"
#include "process/holding.h"
#include "runtime/module_state.h"
#include "support/child_process.h"
#include "support/test_module.h"

namespace {

// Address space this test holds so that no heap can be created.
class AddressSpaceHog {
  public:
    // Reserves every free range of 64 KiB or more, then gives back the first
    // `hole` bytes of one large range.
    explicit AddressSpaceHog(SIZE_T hole) {
        for (SIZE_T size = SIZE_T{1} << 30; size >= 0x10000; size /= 2) {
            while (count_ < MAX_RANGES) {
                void* range = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
                if (!range) break;
                ranges_[count_++] = range;
            }
        }
        if (hole == 0) return;
        for (int i = 0; i < count_; ++i) {
            MEMORY_BASIC_INFORMATION info = {};
            VirtualQuery(ranges_[i], &info, sizeof(info));
            if (info.RegionSize < 2 * hole) continue;
            char* base = static_cast<char*>(ranges_[i]);
            VirtualFree(base, 0, MEM_RELEASE);
            ranges_[i] =
                VirtualAlloc(base + hole, info.RegionSize - hole, MEM_RESERVE, PAGE_NOACCESS);
            return;
        }
    }
    ~AddressSpaceHog() {
        for (int i = 0; i < count_; ++i) {
            if (ranges_[i]) VirtualFree(ranges_[i], 0, MEM_RELEASE);
        }
    }
    AddressSpaceHog(const AddressSpaceHog&) = delete;
    AddressSpaceHog& operator=(const AddressSpaceHog&) = delete;

  private:
    static constexpr int MAX_RANGES = 8192;
    void* ranges_[MAX_RANGES];
    int count_ = 0;
};

// What start-up left behind, read while the address space is held (nothing here
// may allocate) and checked after it has been given back.
struct StartUpOutcome {
    int heapsCreatable = 0;
    bool mainHeap = false;
    bool listHeap = false;
    bool ready = true;
    int mainResult = -1;
    DWORD heapsBefore = 0;
    DWORD heapsAfterDetach = 0;
};

// Holds the address space but for a hole, and runs start-up and shutdown if exactly
// `heaps` heaps can then be created.
StartUpOutcome StartUpWithRoomFor(SIZE_T hole, int heaps) {
    StartUpOutcome outcome;
    outcome.heapsBefore = GetProcessHeaps(0, nullptr);
    AddressSpaceHog hog(hole);

    // How many heaps the system can still make, without keeping any.
    HANDLE probes[2] = {};
    for (HANDLE& probe : probes) {
        probe = HeapCreate(0, MAIN_HEAP_INITIAL_SIZE, 0);
        outcome.heapsCreatable += probe != nullptr;
    }
    for (HANDLE probe : probes) {
        if (probe) HeapDestroy(probe);
    }
    if (outcome.heapsCreatable != heaps) return outcome;

    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
    outcome.mainHeap = MainHeap != nullptr;
    outcome.listHeap = ListHeap != nullptr;
    outcome.ready = ModuleReady();
    outcome.mainResult = Main();
    ModuleDetach();
    outcome.heapsAfterDetach = GetProcessHeaps(0, nullptr);
    return outcome;
}

} // namespace

TEST(ModuleStartUp, WithoutItsHeapsTheModuleStaysInertAndMainRefuses) {
    if (sizeof(void*) == 8) {
        GTEST_SKIP()
            << "a 64-bit address space takes minutes to fill; the 32-bit build covers this";
    }
    for (int heaps : {0, 1}) {
        SCOPED_TRACE(heaps == 0 ? "no heap at all" : "MainHeap but no ListHeap");
        // How much room one heap needs is the system's business: try a few holes.
        StartUpOutcome outcome;
        for (SIZE_T hole = heaps ? 0x180000 : 0; hole <= 0x800000; hole += 0x80000) {
            outcome = StartUpWithRoomFor(hole, heaps);
            if (outcome.heapsCreatable == heaps) break;
        }
        ASSERT_EQ(outcome.heapsCreatable, heaps) << "could not set the scene up";
        EXPECT_FALSE(outcome.mainHeap);
        EXPECT_FALSE(outcome.listHeap);
        EXPECT_FALSE(outcome.ready);
        EXPECT_EQ(outcome.mainResult, 0);
        EXPECT_EQ(outcome.heapsAfterDetach, outcome.heapsBefore) << "a heap was left behind";
    }
}

TEST(ModuleShutdown, UnloadingResumesWhatTheWindowLeftPaused) {
    CountingChild child;
    ASSERT_TRUE(child.Start(2));
    {
        ModuleScope module;
        HANDLE process = child.process().handle();
        ASSERT_TRUE(PauseAndNote(process, {child.id(), HandleCreationTime(process)}));
    } // detach as FreeLibrary runs it, the process going on
    EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
    EXPECT_TRUE(child.AllCount());
}
