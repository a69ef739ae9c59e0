#include <gtest/gtest.h>

#include "lifecycle/module.h"
#include "runtime/scratch.h"
#include "support/control_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "toolkit/button.h"
#include "toolkit/controls.h"
#include "toolkit/report_list.h"

namespace {

class ControlCore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ModuleReady());
        ASSERT_EQ(SetControlParent(parent.hwnd()), parent.hwnd());
        ChildNotices.clear();
        OnChildCreated = nullptr;
    }
    void TearDown() override { OnChildCreated = nullptr; }

    ModuleScope module;
    TestParent parent;
};

TEST_F(ControlCore, ButtonsAreSubclassedChildrenNamedByNumberOrIdentity) {
    HWND numbered = reinterpret_cast<HWND>(CreateButton(4, 10, 20, 80, 25, "LIST"));
    intptr_t identity = CreateButton(AUTO_NUMBER, 10, 50, 80, 25, "auto");
    ASSERT_TRUE(numbered);
    ASSERT_TRUE(identity);
    HWND automatic = ControlHandle(identity);
    ASSERT_TRUE(automatic);
    EXPECT_EQ(ControlHandle(4), numbered);
    EXPECT_EQ(GetWindowLongPtrA(numbered, GWLP_ID), 4);
    EXPECT_EQ(GetWindowLongPtrA(automatic, GWLP_ID), identity);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(numbered, GWL_STYLE)),
              DWORD(WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(numbered, WM_GETFONT, 0, 0)),
              DefaultControlFont);
    char text[16] = {};
    GetWindowTextA(numbered, text, sizeof text); // answered through ControlProc
    EXPECT_STREQ(text, "LIST");

    SendMessageA(numbered, BM_CLICK, 0, 0);
    SendMessageA(automatic, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return ChildNotices.size() >= 2; }, 5000, Meanwhile::PumpEvents));
    EXPECT_EQ(ChildNotices[0].controlId, 4);
    EXPECT_EQ(ChildNotices[0].code, BN_CLICKED);
    EXPECT_EQ(ChildNotices[1].controlId, identity);

    FreeControl(identity);
    EXPECT_FALSE(IsWindow(automatic));
    EXPECT_FALSE(ControlTable.dynamicList.head) << "the record goes with the window";
}

TEST_F(ControlCore, RecreatingANumberDestroysTheOldControlFirst) {
    HWND old = reinterpret_cast<HWND>(CreateButton(3, 0, 0, 50, 20, "old"));
    ASSERT_TRUE(old);
    bool oldAlive = true, recordLive = true;
    OnChildCreated = [&](HWND) {
        oldAlive = IsWindow(old);
        recordLive = FindRecord(ControlTable, 3).live != nullptr;
    };
    HWND fresh = reinterpret_cast<HWND>(CreateButton(3, 0, 30, 50, 20, "new"));
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(oldAlive);
    EXPECT_FALSE(recordLive) << "the old window's WM_NCDESTROY clears the record";
    EXPECT_EQ(ControlHandle(3), fresh);

    // A list under the same number replaces the button the same way.
    HWND list = reinterpret_cast<HWND>(CreateListView(3, 0, 0, 200, 100, "Name", 80));
    ASSERT_TRUE(list);
    EXPECT_FALSE(IsWindow(fresh));
    EXPECT_EQ(CountChildWindows(parent.hwnd()), 2); // the list and its header
}

TEST_F(ControlCore, ControlsOfADestroyedParentNameNothing) {
    ASSERT_TRUE(CreateButton(0, 0, 0, 50, 20, "a"));
    ASSERT_TRUE(CreateButton(AUTO_NUMBER, 0, 60, 50, 20, "b"));
    ASSERT_TRUE(CreateListView(7, 60, 0, 200, 100, "Name", 80));
    ASSERT_TRUE(CreateListView(AUTO_NUMBER, 60, 110, 200, 100, "Name", 80));

    DestroyWindow(parent.hwnd());
    EXPECT_FALSE(ControlHandle(0));
    EXPECT_FALSE(ControlHandle(7));
    EXPECT_FALSE(ControlTable.dynamicList.head);

    TestParent next;
    SetControlParent(next.hwnd());
    HWND again = reinterpret_cast<HWND>(CreateButton(7, 0, 0, 50, 20, "again"));
    ASSERT_TRUE(again);
    EXPECT_EQ(ControlHandle(7), again);
    EXPECT_EQ(CountRows(7), 0) << "no operation of the old list is left on the number";
}

TEST_F(ControlCore, WithoutAParentOrARecordNothingIsCreated) {
    EXPECT_EQ(SetControlParent(nullptr), nullptr);
    EXPECT_EQ(CreateButton(2, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateButton(AUTO_NUMBER, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateListView(1, 0, 0, 100, 100, "x", 50), 0);
    EXPECT_EQ(CreateListView(AUTO_NUMBER, 0, 0, 100, 100, "x", 50), 0);
    EXPECT_FALSE(ControlHandle(2));
    EXPECT_FALSE(ControlTable.dynamicList.head) << "a failed creation leaves no dynamic record";

    // A parent again, but no record: ListHeap holds the dynamic ones, and a
    // negative number is never an index.
    SetControlParent(parent.hwnd());
    HANDLE listHeap = ListHeap;
    ListHeap = nullptr;
    EXPECT_EQ(CreateButton(AUTO_NUMBER, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CreateListView(AUTO_NUMBER, 0, 0, 100, 100, "x", 50), 0);
    ListHeap = listHeap;
    EXPECT_EQ(CreateButton(-5, 0, 0, 50, 20, "x"), 0);
    EXPECT_EQ(CountChildWindows(parent.hwnd()), 0);
    EXPECT_TRUE(CreateButton(1000, 0, 0, 50, 20, "far")) << "the table grows";
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

    for (intptr_t number : {9, 31, 500}) { // inside the table, past it, far past it
        EXPECT_EQ(DisableControl(number, 1), 0);
        FreeControl(number);
    }
    EXPECT_TRUE(IsWindow(button));
    FreeControl(1);
    EXPECT_FALSE(IsWindow(button));
    EXPECT_FALSE(ControlHandle(1));
    FreeControl(1);
}

TEST_F(ControlCore, ListOperationsOnAButtonGiveEmptyResults) {
    ASSERT_TRUE(CreateButton(2, 0, 0, 60, 24, "KILL"));
    for (intptr_t number : {2, 20}) { // a button, and a number that names nothing
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
}

} // namespace
