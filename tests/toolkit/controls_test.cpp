#include <gtest/gtest.h>

#include <string.h>

#include "lifecycle/module.h"
#include "runtime/scratch.h"
#include "support/control_helpers.h"
#include "support/test_module.h"
#include "toolkit/button.h"
#include "toolkit/controls.h"
#include "toolkit/report_list.h"

namespace {

class ControlCore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ModuleReady());
        ASSERT_TRUE(parent.hwnd());
        ASSERT_EQ(SetControlParent(parent.hwnd()), parent.hwnd());
        ChildNotices.clear();
        OnChildCreated = nullptr;
    }
    void TearDown() override { OnChildCreated = nullptr; }

    ModuleScope module;
    TestParent parent;
};

TEST_F(ControlCore, ButtonIsAChildPushButtonWithTheDefaultFont) {
    intptr_t result = CreateButton(0, 10, 20, 80, 25, "PAUSE");
    HWND button = ControlHandle(0);
    ASSERT_TRUE(button);
    EXPECT_EQ(result, reinterpret_cast<intptr_t>(button));
    EXPECT_EQ(GetParent(button), parent.hwnd());

    char text[32] = {};
    GetClassNameA(button, text, sizeof text);
    EXPECT_STREQ(text, "Button");
    GetWindowTextA(button, text, sizeof text); // answered through ControlProc
    EXPECT_STREQ(text, "PAUSE");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE)), 0x50030000u);
    EXPECT_EQ(GetWindowLongA(button, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
    EXPECT_EQ(GetWindowLongPtrA(button, GWLP_ID), 0);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0)), DefaultControlFont);
    EXPECT_TRUE(DefaultControlFont);

    RECT box;
    GetWindowRect(button, &box);
    MapWindowPoints(nullptr, parent.hwnd(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.top, 20);
    EXPECT_EQ(box.right - box.left, 80);
    EXPECT_EQ(box.bottom - box.top, 25);
}

TEST_F(ControlCore, RecreatingANumberDestroysTheOldControlFirst) {
    HWND old = reinterpret_cast<HWND>(CreateButton(3, 0, 0, 50, 20, "old"));
    ASSERT_TRUE(old);

    bool oldAliveDuringCreation = true;
    bool recordLiveDuringCreation = true;
    OnChildCreated = [&](HWND) {
        oldAliveDuringCreation = IsWindow(old);
        recordLiveDuringCreation = FindRecord(ControlTable, 3).live != nullptr;
    };
    HWND fresh = reinterpret_cast<HWND>(CreateButton(3, 0, 30, 50, 20, "new"));
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(oldAliveDuringCreation);
    EXPECT_FALSE(recordLiveDuringCreation) << "the old window's WM_NCDESTROY clears the record";
    EXPECT_EQ(ControlHandle(3), fresh);
    EXPECT_EQ(CountChildWindows(parent.hwnd()), 1);

    // A report list under the same number replaces the button the same way.
    HWND list = reinterpret_cast<HWND>(CreateListView(3, 0, 0, 200, 100, "Name", 80));
    ASSERT_TRUE(list);
    EXPECT_FALSE(IsWindow(fresh));
    EXPECT_EQ(ControlHandle(3), list);
    EXPECT_EQ(CountRows(3), 0);
    EXPECT_EQ(AddRow(3, -1, "row"), 0);
    EXPECT_EQ(CountRows(3), 1);
}

TEST_F(ControlCore, ControlsOfADestroyedParentNameNothing) {
    ASSERT_TRUE(CreateButton(0, 0, 0, 50, 20, "a"));
    ASSERT_TRUE(CreateButton(5, 0, 30, 50, 20, "b"));
    ASSERT_TRUE(CreateButton(AUTO_NUMBER, 0, 60, 50, 20, "c"));
    ASSERT_TRUE(CreateListView(7, 60, 0, 200, 100, "Name", 80));
    ASSERT_TRUE(CreateListView(AUTO_NUMBER, 60, 110, 200, 100, "Name", 80));
    ASSERT_TRUE(ControlTable.dynamicList.head);

    DestroyWindow(parent.hwnd());
    for (intptr_t number : {0, 5, 7})
        EXPECT_FALSE(ControlHandle(number)) << number;
    EXPECT_FALSE(ControlTable.dynamicList.head) << "dynamic controls are freed with their windows";

    TestParent next;
    SetControlParent(next.hwnd());
    HWND again = reinterpret_cast<HWND>(CreateButton(5, 0, 0, 50, 20, "again"));
    ASSERT_TRUE(again);
    EXPECT_EQ(ControlHandle(5), again);
    EXPECT_EQ(GetParent(again), next.hwnd());
    EXPECT_EQ(DisableControl(5, 1), 0);
    EXPECT_FALSE(IsWindowEnabled(again));
}

TEST_F(ControlCore, WithoutAParentOrARecordNothingIsCreated) {
    EXPECT_EQ(SetControlParent(nullptr), nullptr);
    EXPECT_EQ(CreateButton(2, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateButton(AUTO_NUMBER, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateListView(1, 0, 0, 100, 100, "x", 50), 0);
    EXPECT_EQ(CreateListView(AUTO_NUMBER, 0, 0, 100, 100, "x", 50), 0);
    EXPECT_FALSE(ControlHandle(2));
    EXPECT_FALSE(ControlHandle(1));
    EXPECT_FALSE(ControlTable.dynamicList.head) << "a failed creation leaves no dynamic record";

    // With a parent again, but no record to be had: ListHeap holds the dynamic
    // records, and a negative number is never an index.
    SetControlParent(parent.hwnd());
    HANDLE listHeap = ListHeap;
    ListHeap = nullptr;
    EXPECT_EQ(CreateButton(AUTO_NUMBER, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateListView(AUTO_NUMBER, 0, 0, 100, 100, "x", 50), 0);
    ListHeap = listHeap;
    EXPECT_EQ(CreateButton(-5, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateListView(-5, 0, 0, 100, 100, "x", 50), 0);
    EXPECT_EQ(CountChildWindows(parent.hwnd()), 0);

    // A number far past the table's capacity grows it.
    EXPECT_TRUE(CreateButton(1000, 0, 0, 50, 20, "far"));
    EXPECT_TRUE(ControlHandle(1000));
}

TEST_F(ControlCore, ClicksNameTheNumberOrTheIdentity) {
    HWND numbered = reinterpret_cast<HWND>(CreateButton(4, 0, 0, 60, 24, "LIST"));
    intptr_t identity = CreateButton(AUTO_NUMBER, 0, 30, 60, 24, "auto");
    ASSERT_TRUE(numbered);
    ASSERT_TRUE(identity);
    HWND automatic = ControlHandle(identity);
    ASSERT_TRUE(automatic);
    EXPECT_NE(reinterpret_cast<intptr_t>(automatic), identity);
    EXPECT_EQ(GetWindowLongPtrA(automatic, GWLP_ID), identity);

    SendMessageA(numbered, BM_CLICK, 0, 0);
    SendMessageA(automatic, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return ChildNotices.size() >= 2; }));
    EXPECT_EQ(ChildNotices[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(ChildNotices[0].controlId, 4);
    EXPECT_EQ(ChildNotices[0].code, BN_CLICKED);
    EXPECT_EQ(ChildNotices[1].controlId, identity);
    EXPECT_EQ(ChildNotices[1].code, BN_CLICKED);

    // Its record goes when its window does.
    FreeControl(identity);
    EXPECT_FALSE(IsWindow(automatic));
    EXPECT_FALSE(ControlTable.dynamicList.head);
}

TEST_F(ControlCore, DisableAndFree) {
    HWND button = reinterpret_cast<HWND>(CreateButton(1, 0, 0, 60, 24, "PAUSE"));
    ASSERT_TRUE(button);
    EXPECT_EQ(DisableControl(1, 1), 0) << "it was enabled";
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_NE(DisableControl(1, 0), 0) << "it was disabled";
    EXPECT_TRUE(IsWindowEnabled(button));
    DisableControl(1, -1);
    EXPECT_FALSE(IsWindowEnabled(button));
    DisableControl(1, 0);
    EXPECT_TRUE(IsWindowEnabled(button));

    // Numbers that name no control: inside the table, past it, and freed.
    for (intptr_t number : {9, 31, 500}) {
        EXPECT_EQ(DisableControl(number, 1), 0);
        FreeControl(number);
    }
    EXPECT_TRUE(IsWindow(button));
    FreeControl(1);
    EXPECT_FALSE(IsWindow(button));
    EXPECT_FALSE(ControlHandle(1));
    FreeControl(1);
    EXPECT_EQ(DisableControl(1, 0), 0);
}

TEST_F(ControlCore, ListOperationsOnAButtonGiveEmptyResults) {
    HWND button = reinterpret_cast<HWND>(CreateButton(2, 0, 0, 60, 24, "KILL"));
    ASSERT_TRUE(button);
    // 2 is a button, 20 names nothing at all.
    for (intptr_t number : {2, 20}) {
        EXPECT_EQ(CountRows(number), 0);
        EXPECT_EQ(RemoveRow(number, 0), 0);
        EXPECT_EQ(GetRowState(number, 0), 0);
        EXPECT_EQ(AddRow(number, 0, "a\nb"), 0);
        EXPECT_EQ(AddListColumn(number, 1, "c", 50), 0);
        EXPECT_EQ(SetCellText(number, 0, "d", 0), 0);

        char* before = ScratchFreeEnd;
        before[0] = 'x';
        const char* text = GetCellText(number, 0, 0);
        EXPECT_EQ(text, before);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(ScratchFreeEnd, before);
    }
    char text[16] = {};
    GetWindowTextA(button, text, sizeof text);
    EXPECT_STREQ(text, "KILL");
}

} // namespace
