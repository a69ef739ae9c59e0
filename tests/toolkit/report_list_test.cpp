#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <string>
#include <vector>

#include "lifecycle/module.h"
#include "runtime/scratch.h"
#include "support/control_helpers.h"
#include "support/test_module.h"
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

    // Creates list `number` with columns titled by each line of `titles`.
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
    HWND single = reinterpret_cast<HWND>(CreateListView(0, 0, 0, 300, 200, "Name", 90, 0x40010000));
    const auto singleMessages = ExtendedStyleMessages;
    ExtendedStyleMessages.clear();
    HWND multi = reinterpret_cast<HWND>(CreateListView(1, 0, 210, 300, 200, "Name", 90, 0x4));
    const auto multiMessages = ExtendedStyleMessages;
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(single);
    ASSERT_TRUE(multi);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(single, GWL_STYLE)), 0x50010045u);
    EXPECT_EQ(SendMessageA(single, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x21);
    ASSERT_EQ(singleMessages.size(), 1u);
    EXPECT_EQ(singleMessages[0].first, 0x21u);
    EXPECT_EQ(singleMessages[0].second, 0x21);

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(multi, GWL_STYLE)), 0x50010041u);
    EXPECT_EQ(SendMessageA(multi, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0);
    EXPECT_TRUE(multiMessages.empty());

    for (HWND list : {single, multi}) {
        char text[32] = {};
        GetClassNameA(list, text, sizeof text);
        EXPECT_STREQ(text, "SysListView32");
        EXPECT_TRUE(GetWindowLongA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)),
                  DefaultControlFont);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, "Name");
        EXPECT_EQ(column.cx, 90);
    }

    // Check boxes, grid lines, header drag and drop, full-row selection.
    HWND all = reinterpret_cast<HWND>(
        CreateListView(2, 0, 0, 300, 200, "Name", 90, 0x1 | 0x10000 | 0x10000000 | 0x40000000));
    ASSERT_TRUE(all);
    EXPECT_EQ(SendMessageA(all, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x4 | 0x1 | 0x10 | 0x20);
}

TEST_F(ReportList, RowsGoWhereThePositionSays) {
    MakeList(0, 2);
    for (const char* name : {"a", "b", "c"})
        AddRow(0, -1, name);
    AddRow(0, -1, "d");
    ASSERT_EQ(CountRows(0), 4);
    EXPECT_EQ(Cell(0, 3, 0), "d");

    AddRow(0, 0, "z");
    EXPECT_EQ(Cell(0, 0, 0), "z");
    EXPECT_EQ(Cell(0, 1, 0), "a");
    EXPECT_EQ(Cell(0, 4, 0), "d");

    // Past the end: appended, and its further cells land in the appended row.
    AddRow(0, 99, "p\nq");
    ASSERT_EQ(CountRows(0), 6);
    EXPECT_EQ(Cell(0, 5, 0), "p");
    EXPECT_EQ(Cell(0, 5, 1), "q");
    EXPECT_EQ(Cell(0, 4, 1), "");
}

TEST_F(ReportList, RowTextsSplitIntoCellsAtLineFeeds) {
    MakeList(0, 4);
    AddRow(0, -1, "a\n\nc");
    AddRow(0, -1, "one\n");
    AddRow(0, -1, "x\r\ny\n\n");
    AddRow(0, -1, nullptr);
    char own[] = "k\nl";
    AddRow(0, -1, own);
    ASSERT_EQ(CountRows(0), 5);

    EXPECT_EQ(Cell(0, 0, 0), "a");
    EXPECT_EQ(Cell(0, 0, 1), "");
    EXPECT_EQ(Cell(0, 0, 2), "c");
    EXPECT_EQ(Cell(0, 1, 0), "one");
    EXPECT_EQ(Cell(0, 1, 1), "");
    EXPECT_EQ(Cell(0, 2, 0), "x\r") << "a carriage return stays part of the cell";
    EXPECT_EQ(Cell(0, 2, 1), "y");
    EXPECT_EQ(Cell(0, 2, 2), "");
    EXPECT_EQ(Cell(0, 3, 0), "");
    EXPECT_EQ(Cell(0, 4, 1), "l");
    EXPECT_STREQ(own, "k\nl") << "the caller's text is not cut";

    // Single cells are written as they are, line feeds included.
    EXPECT_NE(SetCellText(0, 1, "two\nlines", 3), 0);
    EXPECT_EQ(Cell(0, 1, 3), "two\nlines");
    EXPECT_NE(SetCellText(0, 1, nullptr, 0), 0);
    EXPECT_EQ(Cell(0, 1, 0), "");
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

// Points the module's scratch buffer at an array with guard bytes behind it.
class GuardedScratch {
  public:
    GuardedScratch() : savedBuffer_(ScratchBuffer), savedEnd_(ScratchFreeEnd) {
        memset(arena_, 'g', sizeof arena_);
        ScratchBuffer = arena_;
    }
    ~GuardedScratch() {
        ScratchBuffer = savedBuffer_;
        ScratchFreeEnd = savedEnd_;
    }
    char* end() { return arena_ + SCRATCH_BUFFER_SIZE; }
    bool guardsIntact() const {
        for (size_t i = SCRATCH_BUFFER_SIZE; i < sizeof arena_; ++i) {
            if (arena_[i] != 'g') return false;
        }
        return true;
    }

  private:
    char* savedBuffer_;
    char* savedEnd_;
    static char arena_[SCRATCH_BUFFER_SIZE + 4096];
};
char GuardedScratch::arena_[SCRATCH_BUFFER_SIZE + 4096];

TEST_F(ReportList, LongCellsStopAtTheLimitAndAtTheBufferEnd) {
    HWND list = MakeList(0, 2);
    AddRow(0, -1, "first");
    const std::string longCell(12000, 'x');
    ASSERT_NE(SetCellText(0, 0, longCell.c_str(), 1), 0);
    const std::string longerCell(61000, 'y');
    ASSERT_NE(SetCellText(0, 0, longerCell.c_str(), 0), 0);
    Ops(0).SetState(list, 0);

    GuardedScratch scratch;
    ScratchFreeEnd = ScratchBuffer;
    const char* text = GetCellText(0, 0, 1);
    EXPECT_EQ(strlen(text), 9999u);
    EXPECT_EQ(ScratchFreeEnd, text + 9999);
    // The selected row's first cell reads up to 60000 bytes with the terminator.
    ScratchFreeEnd = ScratchBuffer;
    text = reinterpret_cast<const char*>(Ops(0).GetText(list));
    EXPECT_EQ(strlen(text), 59999u);

    // Near the end only what is left is used, terminator included.
    for (const char* cell : {"cell", "row"}) {
        ScratchFreeEnd = scratch.end() - 100;
        text = cell[0] == 'c' ? GetCellText(0, 0, 1)
                              : reinterpret_cast<const char*>(Ops(0).GetText(list));
        EXPECT_EQ(text, scratch.end() - 100) << cell;
        EXPECT_EQ(strlen(text), 99u) << cell;
        EXPECT_EQ(ScratchFreeEnd, scratch.end() - 1) << cell;
        EXPECT_TRUE(scratch.guardsIntact()) << cell;
    }
    // With no room left nothing is written at all.
    ScratchFreeEnd = scratch.end();
    EXPECT_STREQ(GetCellText(0, 0, 1), "");
    EXPECT_STREQ(reinterpret_cast<const char*>(Ops(0).GetText(list)), "");
    EXPECT_EQ(ScratchFreeEnd, scratch.end());
    EXPECT_TRUE(scratch.guardsIntact());
}

TEST_F(ReportList, RowStatesReportSelectionAndCheckBoxes) {
    HWND plain = MakeList(0, 1);
    for (int i = 0; i < 3; ++i)
        AddRow(0, -1, "row");
    EXPECT_EQ(Ops(0).GetState(plain), -1);
    Ops(0).SetState(plain, 1);
    EXPECT_EQ(GetRowState(0, 0), 0);
    EXPECT_EQ(GetRowState(0, 1), 1);
    EXPECT_EQ(Ops(0).GetState(plain), 1);
    EXPECT_EQ(GetRowState(0, 7), 0);

    HWND checked = reinterpret_cast<HWND>(CreateListView(1, 0, 0, 300, 200, "Name", 90, 0x1 | 0x4));
    ASSERT_TRUE(checked);
    for (int i = 0; i < 4; ++i)
        AddRow(1, -1, "row");
    EXPECT_EQ(GetRowState(1, 0), 0) << "new rows carry the unchecked box";
    Ops(1).SetItemState(checked, 1, 3);
    Ops(1).SetItemState(checked, 2, 1);
    Ops(1).SetItemState(checked, 3, 3);
    EXPECT_EQ(GetRowState(1, 1), 3);
    EXPECT_EQ(GetRowState(1, 2), 1);
    EXPECT_EQ(GetRowState(1, 3), 3);
    EXPECT_EQ(GetRowState(1, 9), 2) << "a missing row has state image 0, which is not 'unchecked'";

    // -1 clears every selection and leaves the check marks.
    Ops(1).SetState(checked, -1);
    EXPECT_EQ(Ops(1).GetState(checked), -1);
    EXPECT_EQ(GetRowState(1, 1), 2);
    EXPECT_EQ(GetRowState(1, 2), 0);
    EXPECT_EQ(GetRowState(1, 3), 2);
    Ops(1).SetItemState(checked, 3, 0);
    EXPECT_EQ(GetRowState(1, 3), 0);
}

TEST_F(ReportList, RemovingMissingRowsChangesNothing) {
    MakeList(0, 1);
    for (const char* name : {"a", "b", "c"})
        AddRow(0, -1, name);
    EXPECT_EQ(RemoveRow(0, 3), 0);
    EXPECT_EQ(RemoveRow(0, -1), 0);
    EXPECT_EQ(CountRows(0), 3);
    EXPECT_NE(RemoveRow(0, 1), 0);
    ASSERT_EQ(CountRows(0), 2);
    EXPECT_EQ(Cell(0, 1, 0), "c");

    HWND list = ControlHandle(0);
    Ops(0).ClearItems(list);
    EXPECT_EQ(CountRows(0), 0);
}

TEST_F(ReportList, ColumnsAppendPastTheEnd) {
    HWND list = MakeList(0, 1);
    EXPECT_EQ(AddListColumn(0, 2, "Two", 50), 1);
    EXPECT_EQ(AddListColumn(0, 1, nullptr, 50), 1);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_NE(Ops(0).RemoveColumn(list, 1), 0);
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 2);
}

TEST_F(ReportList, SelectedRowTextIsWrittenAndRead) {
    HWND list = MakeList(0, 3);
    AddRow(0, -1, "a\n1\n2");
    AddRow(0, -1, "b\n3\n4");

    // No row selected: nothing is written and the read is empty.
    Ops(0).SetText(list, "X\nY");
    EXPECT_EQ(Cell(0, 0, 0), "a");
    {
        ScratchMark mark;
        EXPECT_STREQ(reinterpret_cast<const char*>(Ops(0).GetText(list)), "");
    }

    Ops(0).SetState(list, 1);
    // A literal lives in read-only memory: the row text must be cut in a copy.
    Ops(0).SetText(list, "B\n\nZ");
    EXPECT_EQ(Cell(0, 1, 0), "B");
    EXPECT_EQ(Cell(0, 1, 1), "");
    EXPECT_EQ(Cell(0, 1, 2), "Z");
    EXPECT_EQ(Cell(0, 0, 0), "a");
    ScratchMark mark;
    EXPECT_STREQ(reinterpret_cast<const char*>(Ops(0).GetText(list)), "B");
}

TEST_F(ReportList, RowsWithOneBitmapShareAnIndexFromOne) {
    HWND list = MakeList(0, 1);
    EXPECT_FALSE(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(ImageIndexFor(nullptr), -1);

    HBITMAP bitmap = CreateBitmap(16, 16, 1, 32, nullptr);
    HBITMAP other = CreateBitmap(16, 16, 1, 32, nullptr);
    HICON icon = LoadIcon(nullptr, IDI_APPLICATION);
    ASSERT_TRUE(bitmap && other && icon);
    Ops(0).AddItemWithImage(list, -1, "one", bitmap);
    Ops(0).AddItemWithImage(list, -1, "two", bitmap);
    Ops(0).AddItemWithImage(list, -1, "three", other);
    Ops(0).AddItemWithImage(list, -1, "four", icon);
    Ops(0).AddItemWithImage(list, -1, "five", nullptr);
    ASSERT_EQ(CountRows(0), 5);

    int images[5];
    for (int row = 0; row < 5; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        images[row] = item.iImage;
    }
    EXPECT_GE(images[0], 1) << "index 0 is the transparent placeholder";
    EXPECT_EQ(images[1], images[0]);
    EXPECT_NE(images[2], images[0]);
    EXPECT_GE(images[2], 1);
    EXPECT_NE(images[3], images[2]);
    EXPECT_GE(images[3], 1);
    EXPECT_EQ(ImageIndexFor(bitmap), images[0]);
    EXPECT_EQ(Cell(0, 3, 0), "four");

    // The shared lists are attached on the first row with an image and outlive the list.
    HIMAGELIST small =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    HIMAGELIST large =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    ASSERT_TRUE(small && large);
    const int count = ImageList_GetImageCount(small);
    EXPECT_EQ(count, 4) << "placeholder, two bitmaps, one icon";
    FreeControl(0);
    EXPECT_EQ(ImageList_GetImageCount(small), count);

    HWND next = MakeList(1, 1);
    Ops(1).AddItemWithImage(next, -1, "again", other);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageA(next, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
              small);
    EXPECT_EQ(ImageList_GetImageCount(small), count) << "a cached image is not added twice";
    DeleteObject(bitmap);
    DeleteObject(other);
}

// Counts WM_PAINT messages that reach the list, in front of ControlProc.
int ListPaints = 0;
WNDPROC ListProcBehind = nullptr;
LRESULT CALLBACK CountPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++ListPaints;
    return CallWindowProcA(ListProcBehind, hwnd, message, wParam, lParam);
}

TEST_F(ReportList, RowsAddedWhileRedrawIsHeldShowAfterRelease) {
    HWND list = MakeList(0, 2);
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    ASSERT_TRUE(PumpUntil([list, header] {
        return !GetUpdateRect(list, nullptr, FALSE) && !GetUpdateRect(header, nullptr, FALSE);
    }));
    ListProcBehind = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPaints)));

    SetListRedraw(0, false);
    for (int i = 0; i < 50; ++i)
        AddRow(0, -1, "name\nvalue");
    EXPECT_EQ(CountRows(0), 50);
    EXPECT_EQ(Cell(0, 49, 1), "value");
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE))
        << "nothing is queued for painting while held";
    SetListRedraw(0, true);

    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsWindowVisible(list));
    RECT update;
    ASSERT_TRUE(GetUpdateRect(list, &update, FALSE)) << "the release invalidates the list";
    RECT client;
    GetClientRect(list, &client);
    EXPECT_TRUE(EqualRect(&update, &client)) << "the whole list, once";
    EXPECT_TRUE(GetUpdateRect(header, nullptr, FALSE)) << "its header too";
    ListPaints = 0;
    EXPECT_TRUE(PumpUntil([] { return ListPaints > 0; }));
    EXPECT_GT(SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0), 0);

    SetListRedraw(42, false); // names no control: nothing happens
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProcBehind));
}

TEST_F(ReportList, AutoNumberedListNotifiesUnderItsIdentity) {
    intptr_t identity = CreateListView(AUTO_NUMBER, 0, 0, 300, 200, "Name", 90);
    ASSERT_TRUE(identity);
    HWND list = ControlHandle(identity);
    ASSERT_TRUE(list);
    EXPECT_EQ(GetWindowLongPtrA(list, GWLP_ID), identity);
    AddRow(identity, -1, "a\nb");
    AddRow(identity, -1, "c\nd");
    EXPECT_EQ(CountRows(identity), 2);
    EXPECT_EQ(Cell(identity, 1, 0), "c");

    ChildNotices.clear();
    Ops(identity).SetState(list, 1);
    bool changed = false;
    for (const ChildNotice& notice : ChildNotices) {
        if (notice.message == WM_NOTIFY && notice.code == static_cast<int>(LVN_ITEMCHANGED)) {
            EXPECT_EQ(notice.controlId, identity);
            changed = true;
        }
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(GetRowState(identity, 1), 1);

    FreeControl(identity);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_FALSE(ControlTable.dynamicList.head);
}

} // namespace
