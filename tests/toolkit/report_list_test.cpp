#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "lifecycle/module.h"
#include "runtime/scratch.h"
#include "support/scratch_helpers.h"
#include "support/control_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "toolkit/controls.h"
#include "toolkit/report_list.h"

namespace {

class ReportList : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ModuleReady());
        ASSERT_TRUE(SetControlParent(parent.hwnd()));
        ChildNotices.clear();
    }

    // Creates list `number` with that many columns.
    HWND MakeList(intptr_t number, int columns, uint32_t flags = 0) {
        HWND list = reinterpret_cast<HWND>(CreateListView(number, 0, 0, 500, 300, "C0", 60, flags));
        for (int c = 1; c < columns; ++c)
            AddListColumn(number, c, "C", 60);
        return list;
    }

    // The cell's text, with the scratch buffer's free end put back.
    static std::string Cell(intptr_t list, intptr_t row, intptr_t column) {
        ScratchMark mark;
        return GetCellText(list, row, column);
    }

    // The first `columns` cells of a row, joined by '|'.
    static std::string Row(intptr_t list, intptr_t row, int columns) {
        std::string joined = Cell(list, row, 0);
        for (int c = 1; c < columns; ++c)
            joined += "|" + Cell(list, row, c);
        return joined;
    }

    static const ControlOps& Ops(intptr_t list) {
        return *static_cast<const ControlRecord*>(FindRecord(ControlTable, list).record)->ops;
    }

    ModuleScope module;
    TestParent parent;
};

// Counts LVM_SETEXTENDEDLISTVIEWSTYLE messages sent on this thread.
std::vector<std::pair<WPARAM, LPARAM>> ExtendedStyleMessages;
LRESULT CALLBACK WatchSentMessages(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == LVM_SETEXTENDEDLISTVIEWSTYLE) {
        ExtendedStyleMessages.push_back({sent->wParam, sent->lParam});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(ReportList, CreationFlagsGiveTheStyles) {
    HHOOK hook =
        SetWindowsHookExA(WH_CALLWNDPROC, WatchSentMessages, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    HWND single = reinterpret_cast<HWND>(
        CreateListView(0, 0, 0, 300, 200, "Name", 90, LIST_GRIDLINES | LIST_FULLROWSELECT));
    const auto singleMessages = ExtendedStyleMessages;
    ExtendedStyleMessages.clear();
    HWND multi = reinterpret_cast<HWND>(CreateListView(1, 0, 210, 300, 200, "Name", 90, 0x4));
    const auto multiMessages = ExtendedStyleMessages;
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(single);
    ASSERT_TRUE(multi);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(single, GWL_STYLE)),
              DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                    LVS_SHAREIMAGELISTS));
    EXPECT_EQ(SendMessageA(single, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
              LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    ASSERT_EQ(singleMessages.size(), 1u);
    EXPECT_EQ(singleMessages[0].first, WPARAM(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    EXPECT_EQ(singleMessages[0].second, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(multi, GWL_STYLE)),
              DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS));
    EXPECT_EQ(SendMessageA(multi, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0);
    EXPECT_TRUE(multiMessages.empty());

    // Check boxes, grid lines, header drag and drop, full-row selection.
    HWND all = reinterpret_cast<HWND>(CreateListView(2, 0, 0, 300, 200, "Name", 90,
                                                     LIST_CHECKBOXES | LIST_GRIDLINES |
                                                         LIST_HEADERDRAGDROP | LIST_FULLROWSELECT));
    EXPECT_EQ(SendMessageA(all, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
              LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);
}

TEST_F(ReportList, RowsGoWhereThePositionSays) {
    MakeList(0, 2);
    for (const char* name : {"a", "b", "c"})
        AddRow(0, -1, name);
    AddRow(0, -1, "d");
    AddRow(0, 0, "z");
    AddRow(0, 99, "p\nq"); // past the end: appended, further cells in the appended row
    ASSERT_EQ(CountRows(0), 6);
    std::string rows;
    for (int row = 0; row < 6; ++row)
        rows += Row(0, row, 2) + " ";
    EXPECT_EQ(rows, "z| a| b| c| d| p|q ");
}

TEST_F(ReportList, RowTextsSplitIntoCellsAtLineFeeds) {
    MakeList(0, 4);
    char own[] = "k\nl";
    for (const char* text : {"a\n\nc", "one\n", "x\r\ny\n\n", static_cast<const char*>(nullptr),
                             static_cast<const char*>(own)}) {
        AddRow(0, -1, text);
    }
    EXPECT_EQ(Row(0, 0, 4), "a||c|");
    EXPECT_EQ(Row(0, 1, 4), "one|||");
    EXPECT_EQ(Row(0, 2, 4), "x\r|y||") << "a carriage return stays part of the cell";
    EXPECT_EQ(Row(0, 3, 4), "|||");
    EXPECT_EQ(Row(0, 4, 4), "k|l||");
    EXPECT_STREQ(own, "k\nl") << "the caller's text is not cut";

    // Single cells are written as they are, line feeds included.
    EXPECT_NE(SetCellText(0, 1, "two\nlines", 3), 0);
    EXPECT_NE(SetCellText(0, 1, nullptr, 0), 0);
    EXPECT_EQ(Row(0, 1, 4), "|||two\nlines");
    EXPECT_EQ(SetCellText(0, 9, "nowhere", 0), 0);
}

TEST_F(ReportList, MissingRowsAndColumnsReadEmptyInPlace) {
    MakeList(0, 2);
    for (int i = 0; i < 5; ++i)
        AddRow(0, -1, "cell\nsecond");
    struct {
        intptr_t row, column;
    } missing[] = {{7, 0}, {5, 0}, {-1, 0}, {0, 9}, {0, 2}};
    for (const auto& at : missing) {
        char* before = ScratchFreeEnd;
        strcpy(before, "stale");
        const char* text = GetCellText(0, at.row, at.column);
        EXPECT_EQ(text, before) << at.row << "," << at.column;
        EXPECT_STREQ(text, "") << at.row << "," << at.column;
        EXPECT_EQ(ScratchFreeEnd, before) << at.row << "," << at.column;
    }
    // A real read moves the free end to the text's terminator.
    char* before = ScratchFreeEnd;
    const char* text = GetCellText(0, 4, 1);
    EXPECT_EQ(text, before);
    EXPECT_STREQ(text, "second");
    EXPECT_EQ(ScratchFreeEnd, before + 6);
}

TEST_F(ReportList, LongCellsStopAtTheLimitAndAtTheBufferEnd) {
    HWND list = MakeList(0, 2);
    AddRow(0, -1, "first");
    ASSERT_NE(SetCellText(0, 0, std::string(12000, 'x').c_str(), 1), 0);
    ASSERT_NE(SetCellText(0, 0, std::string(61000, 'y').c_str(), 0), 0);
    Ops(0).SetState(list, 0);
    auto readCell = [] { return GetCellText(0, 0, 1); };
    auto readRow = [list] { return reinterpret_cast<const char*>(Ops(0).GetText(list)); };

    GuardedScratch scratch;
    ScratchFreeEnd = ScratchBuffer;
    EXPECT_EQ(strlen(readCell()), 9999u);
    EXPECT_EQ(ScratchFreeEnd, ScratchBuffer + 9999);
    ScratchFreeEnd = ScratchBuffer;
    EXPECT_EQ(strlen(readRow()), 59999u) << "the selected row's first cell, up to 60000 bytes";

    // Near the end only what is left is used, terminator included; at the end, nothing.
    for (auto read :
         {std::function<const char*()>(readCell), std::function<const char*()>(readRow)}) {
        ScratchFreeEnd = scratch.end() - 100;
        const char* text = read();
        EXPECT_EQ(text, scratch.end() - 100);
        EXPECT_EQ(strlen(text), 99u);
        EXPECT_EQ(ScratchFreeEnd, scratch.end() - 1);
        ScratchFreeEnd = scratch.end();
        EXPECT_STREQ(read(), "");
        EXPECT_EQ(ScratchFreeEnd, scratch.end());
        EXPECT_TRUE(scratch.guardsIntact());
    }
}

TEST_F(ReportList, RowStatesReportSelectionAndCheckBoxes) {
    HWND plain = MakeList(0, 1);
    for (int i = 0; i < 3; ++i)
        AddRow(0, -1, "row");
    EXPECT_EQ(Ops(0).GetState(plain), -1);
    Ops(0).SetState(plain, 1);
    EXPECT_EQ(Ops(0).GetState(plain), 1);
    EXPECT_EQ(GetRowState(0, 0), 0);
    EXPECT_EQ(GetRowState(0, 1), 1);
    EXPECT_EQ(GetRowState(0, 7), 0);

    // A dynamic list with check boxes and multiple selection.
    const intptr_t checks = CreateListView(AUTO_NUMBER, 0, 0, 300, 200, "Name", 90, 0x1 | 0x4);
    HWND checked = ControlHandle(checks);
    ASSERT_TRUE(checked);
    for (int i = 0; i < 4; ++i)
        AddRow(checks, -1, "row");
    EXPECT_EQ(GetRowState(checks, 0), 0) << "new rows carry the unchecked box";
    ChildNotices.clear();
    for (int row = 1; row < 4; ++row)
        Ops(checks).SetItemState(checked, row, row == 2 ? 1 : 3);
    EXPECT_EQ(GetRowState(checks, 1), 3);
    EXPECT_EQ(GetRowState(checks, 2), 1);
    EXPECT_EQ(GetRowState(checks, 9), 2) << "a missing row has state image 0, not 'unchecked'";
    ASSERT_FALSE(ChildNotices.empty());
    EXPECT_EQ(ChildNotices.back().code, static_cast<int>(LVN_ITEMCHANGED));
    EXPECT_EQ(ChildNotices.back().controlId, checks) << "notifications name the identity";

    // -1 clears every selection and leaves the check marks.
    Ops(checks).SetState(checked, -1);
    EXPECT_EQ(Ops(checks).GetState(checked), -1);
    EXPECT_EQ(GetRowState(checks, 1), 2);
    EXPECT_EQ(GetRowState(checks, 3), 2);
    Ops(checks).SetItemState(checked, 3, 0);
    EXPECT_EQ(GetRowState(checks, 3), 0);
}

TEST_F(ReportList, MissingRowsAreNotRemovedAndColumnsAppend) {
    HWND list = MakeList(0, 1);
    for (const char* name : {"a", "b", "c"})
        AddRow(0, -1, name);
    EXPECT_EQ(RemoveRow(0, 3), 0);
    EXPECT_EQ(RemoveRow(0, -1), 0);
    EXPECT_EQ(CountRows(0), 3);
    EXPECT_NE(RemoveRow(0, 1), 0);
    EXPECT_EQ(Cell(0, 1, 0), "c");

    EXPECT_EQ(AddListColumn(0, 2, "Two", 50), 1) << "past the end: appended";
    EXPECT_EQ(AddListColumn(0, 1, nullptr, 50), 1);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3);
}

TEST_F(ReportList, SelectedRowTextIsWrittenAndRead) {
    HWND list = MakeList(0, 3);
    AddRow(0, -1, "a\n1\n2");
    AddRow(0, -1, "b\n3\n4");
    ScratchMark mark;
    Ops(0).SetText(list, "X\nY"); // no row selected: nothing is written, nothing read
    EXPECT_STREQ(reinterpret_cast<const char*>(Ops(0).GetText(list)), "");

    Ops(0).SetState(list, 1);
    // A literal lives in read-only memory: the row text must be cut in a copy.
    Ops(0).SetText(list, "B\n\nZ");
    EXPECT_EQ(Row(0, 0, 3), "a|1|2");
    EXPECT_EQ(Row(0, 1, 3), "B||Z");
    EXPECT_STREQ(reinterpret_cast<const char*>(Ops(0).GetText(list)), "B");
}

TEST_F(ReportList, RowsWithOneBitmapShareAnIndexFromOne) {
    HWND list = MakeList(0, 1);
    EXPECT_FALSE(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) << "attached on first use";
    EXPECT_EQ(ImageIndexFor(nullptr), -1);

    HBITMAP bitmap = CreateBitmap(16, 16, 1, 32, nullptr);
    HBITMAP other = CreateBitmap(16, 16, 1, 32, nullptr);
    HANDLE images[] = {bitmap, bitmap, other, LoadIcon(nullptr, IDI_APPLICATION)};
    int index[4];
    for (int row = 0; row < 4; ++row) {
        ASSERT_TRUE(images[row]);
        Ops(0).AddItemWithImage(list, -1, "row", images[row]);
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        index[row] = item.iImage;
    }
    EXPECT_EQ(index[0], 1) << "index 0 is the transparent placeholder";
    EXPECT_EQ(index[1], 1);
    EXPECT_EQ(index[2], 2);
    EXPECT_EQ(index[3], 3);

    // The shared lists outlive the list that showed them, and the cache keeps an
    // image from being added twice.
    HIMAGELIST small =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_TRUE(small);
    EXPECT_TRUE(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    EXPECT_EQ(ImageList_GetImageCount(small), 4);
    FreeControl(0);
    HWND next = MakeList(1, 1);
    Ops(1).AddItemWithImage(next, -1, "again", other);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageA(next, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
              small);
    EXPECT_EQ(ImageList_GetImageCount(small), 4);
    DeleteObject(bitmap);
    DeleteObject(other);
}

TEST_F(ReportList, RowsAddedWhileRedrawIsHeldShowAfterRelease) {
    HWND list = MakeList(0, 2);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    auto painted = [list, header] {
        return !GetUpdateRect(list, nullptr, FALSE) && !GetUpdateRect(header, nullptr, FALSE);
    };
    ASSERT_TRUE(WaitUntil(painted, 5000, Meanwhile::PumpEvents));

    SetListRedraw(0, false);
    for (int i = 0; i < 50; ++i)
        AddRow(0, -1, "name\nvalue");
    EXPECT_EQ(CountRows(0), 50);
    EXPECT_EQ(Row(0, 49, 2), "name|value");
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE)) << "nothing queued for painting while held";

    SetListRedraw(0, true);
    EXPECT_TRUE(IsWindowVisible(list));
    RECT update, client;
    ASSERT_TRUE(GetUpdateRect(list, &update, FALSE));
    GetClientRect(list, &client);
    EXPECT_TRUE(EqualRect(&update, &client)) << "the whole list is repainted";
    EXPECT_TRUE(GetUpdateRect(header, nullptr, FALSE)) << "its header too";
    EXPECT_TRUE(WaitUntil(painted, 5000, Meanwhile::PumpEvents));
    SetListRedraw(42, false); // names no control: nothing happens
}

} // namespace
