#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "lifecycle/module.h"
#include "support/event_helpers.h"
#include "support/input_helpers.h"
#include "support/message_names.h"
#include "support/test_module.h"
#include "toolkit/app_window.h"
#include "toolkit/event_pump.h"
#include "frontend/main_window.h"

namespace {

constexpr intptr_t BUTTON_ID = 7;
constexpr intptr_t LIST_BOX_ID = 5;
constexpr intptr_t LIST_VIEW_ID = 21;

// A window opened the way the front end opens its own, with real child controls added.
class EventPumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ModuleReady());
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES |
                                                    ICC_DATE_CLASSES | ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&icc);
        window = reinterpret_cast<HWND>(OpenAppWindow(
            0, 216, 0, 600, 300, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, MAIN_WINDOW_TITLE));
        ASSERT_TRUE(IsWindow(window));
        SettleEvents();
    }

    HWND Child(const char* className, const char* text, DWORD style, intptr_t id, int x, int y,
               int width, int height) {
        HWND child =
            CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                            window, reinterpret_cast<HMENU>(id), ModuleInstance, nullptr);
        EXPECT_TRUE(IsWindow(child)) << className;
        return child;
    }

    // Runs WaitEvent until an event with this code names this control.
    const EventEntry* AwaitControlEvent(EventLog& log, int32_t code, intptr_t control) {
        PumpEvents(log,
                   [&](const EventEntry& e) { return e.code == code && e.control == control; });
        return log.entries.empty() || log.entries.back().code != code ? nullptr
                                                                      : &log.entries.back();
    }

    ModuleScope module;
    HWND window = nullptr;
};

TEST_F(EventPumpTest, MessagesThatRecordNothingReturnTheirOwnIdentifier) {
    // Start-up left no control event behind, and opening a window records none.
    EXPECT_EQ(EventControl(), 0);

    EXPECT_EQ(DispatchPosted(window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20)).code, WM_MOUSEMOVE);
    EXPECT_EQ(DispatchPosted(window, WM_USER + 7, 1, 2).code, WM_USER + 7);
    EXPECT_EQ(DispatchPosted(window, WM_APP, 0, 0).code, WM_APP);
    EventEntry quit = DispatchPosted(nullptr, WM_QUIT, 0, 0);
    EXPECT_EQ(quit.code, WM_QUIT);
    EXPECT_EQ(quit.subtype, SUB_NONE);
    EXPECT_EQ(EventControl(), 0);
    EXPECT_EQ(PendingEvent, 0);
}

TEST(EventPumpCreation, EventsOfTheWindowsCreationWaitForTheNextWaitEvent) {
    ModuleScope module;
    ASSERT_EQ(PendingEvent, 0);
    HWND hwnd = reinterpret_cast<HWND>(OpenAppWindow(0, 100, 100, 300, 200, 0, "created"));
    ASSERT_TRUE(IsWindow(hwnd));
    // Creation sends WM_SIZE and then WM_MOVE; the last one is pending.
    EXPECT_EQ(PendingEvent, EV_MOVE);
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 1, 0, 0));
    EventLog log;
    PumpEvents(log, [](const EventEntry&) { return true; });
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].code, EV_MOVE) << log.Describe();
    EXPECT_EQ(PendingEvent, 0);
}

TEST_F(EventPumpTest, TheCloseBoxGivesEvCloseAndTheWindowStays) {
    ASSERT_TRUE(BringToFront(window));
    POINT closeBox;
    ASSERT_TRUE(FindHitTestPoint(window, HTCLOSE, &closeBox));
    ClickAt(closeBox);
    EventLog log;
    EXPECT_TRUE(PumpUntilEvent(log, EV_CLOSE)) << log.Describe();
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));

    // The system menu's Close goes the same way.
    EXPECT_EQ(DispatchPosted(window, WM_SYSCOMMAND, SC_CLOSE, 0).code, EV_CLOSE);
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(AppWindowHandle(0), window);
}

TEST_F(EventPumpTest, AButtonClickGivesEvControlWithItsNumberAndSubtypeZero) {
    HWND button = Child("BUTTON", "Press", BS_PUSHBUTTON | WS_TABSTOP, BUTTON_ID, 20, 20, 100, 30);
    ASSERT_TRUE(BringToFront(window));
    ClickAt(ClientCenterOnScreen(button));
    EventLog log;
    const EventEntry* click = AwaitControlEvent(log, EV_CONTROL, BUTTON_ID);
    ASSERT_NE(click, nullptr) << log.Describe();
    EXPECT_EQ(click->subtype, SUB_LEFT_CLICK);
    EXPECT_EQ(click->message, static_cast<UINT>(WM_LBUTTONUP)) << log.Describe();
}

TEST_F(EventPumpTest, PointerRelaysAreReportedOneWaitEventLater) {
    struct Case {
        UINT mouse;
        int32_t code; // of the second WaitEvent
        int32_t subtype;
    } cases[] = {
        {WM_LBUTTONUP, EV_POINTER, SUB_LEFT_CLICK},
        {WM_RBUTTONUP, EV_POINTER, SUB_RIGHT_CLICK},
        {WM_LBUTTONDBLCLK, EV_POINTER, SUB_LEFT_DOUBLE},
        {WM_RBUTTONDBLCLK, EV_POINTER, SUB_RIGHT_DOUBLE},
        {WM_MOUSEMOVE, static_cast<int32_t>(UM_POINTEREVENT), SUB_NONE},
        {WM_LBUTTONDOWN, static_cast<int32_t>(UM_POINTEREVENT), SUB_NONE},
    };
    intptr_t control = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(DescribeMessage(c.mouse));
        EventEntry relay = DispatchPosted(window, UM_RELAYPOINTER, control, c.mouse);
        EXPECT_EQ(relay.code, static_cast<int32_t>(UM_RELAYPOINTER));
        EventLog log;
        ASSERT_TRUE(PumpEvents(log, [](const EventEntry& e) {
            return e.message == UM_POINTEREVENT;
        })) << log.Describe();
        const EventEntry& report = log.entries.back();
        EXPECT_EQ(report.code, c.code);
        EXPECT_EQ(report.subtype, c.subtype);
        EXPECT_EQ(report.control, control) << "the number is taken whatever the mouse message";
        ++control;
    }

    // The report replaces an event that was still pending.
    SendMessageA(window, UM_CONTROLEVENT, 3, 1);
    ASSERT_EQ(PendingEvent, EV_CONTROL);
    EXPECT_EQ(DispatchPosted(window, UM_POINTEREVENT, 9, WM_MOUSEMOVE).code,
              static_cast<int32_t>(UM_POINTEREVENT));
}

TEST_F(EventPumpTest, ControlEventsFromThePrivateMessageAndFromScrollBars) {
    EventEntry e = DispatchPosted(window, UM_CONTROLEVENT, 12, 3);
    EXPECT_EQ(e.code, EV_CONTROL);
    EXPECT_EQ(e.control, 12);
    EXPECT_EQ(e.subtype, 3);
    EXPECT_EQ(SendMessageA(window, UM_CONTROLEVENT, 13, 77), 77);
    PendingEvent = 0;

    HWND bar = Child("SCROLLBAR", "", SBS_HORZ, 11, 20, 200, 300, 20);
    e = DispatchPosted(window, WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(e.code, EV_CONTROL);
    EXPECT_EQ(e.control, 11);
    EXPECT_EQ(e.subtype, SUB_NONE) << "scrolling sets no subtype";
    // The window's own scroll bars send no handle: control 0.
    e = DispatchPosted(window, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(e.code, EV_CONTROL);
    EXPECT_EQ(e.control, 0);
}

TEST_F(EventPumpTest, CommandsWithoutAControlWindow) {
    struct Case {
        WPARAM wParam;
        int32_t code;
        intptr_t control;
    } cases[] = {
        {42, EV_COMMAND, 42},                // a menu item
        {MAKEWPARAM(77, 1), EV_COMMAND, 77}, // an accelerator's command
        {MAKEWPARAM(CMD_FOCUS_NEXT, 0), EV_COMMAND, CMD_FOCUS_NEXT},
        {MAKEWPARAM(CMD_FOCUS_NEXT, 1), WM_COMMAND, -1}, // focus commands record nothing
        {MAKEWPARAM(CMD_FOCUS_PREVIOUS, 1), WM_COMMAND, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wParam 0x" << std::hex << c.wParam);
        EventControlValue = -1;
        EventEntry e = DispatchPosted(window, WM_COMMAND, c.wParam, 0);
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.control, c.control);
    }
}

TEST_F(EventPumpTest, CommandsFromControlsFollowTheirClass) {
    HWND button = Child("BUTTON", "b", BS_PUSHBUTTON, BUTTON_ID, 10, 10, 60, 25);
    HWND listBox = Child("LISTBOX", "", LBS_NOTIFY, LIST_BOX_ID, 10, 50, 100, 80);
    struct Case {
        HWND from;
        WORD notification;
        int32_t code;
        int32_t subtype;
    } cases[] = {
        {button, BN_CLICKED, EV_CONTROL, 0},
        {button, 1, EV_CONTROL, 1}, // passes through: only list boxes turn 1 into a click
        {button, BN_SETFOCUS, EV_CONTROL, BN_SETFOCUS},
        {listBox, LBN_SELCHANGE, EV_CONTROL, SUB_LEFT_CLICK},
        {listBox, LBN_DBLCLK, EV_CONTROL, SUB_LEFT_DOUBLE},
        {listBox, LBN_SETFOCUS, WM_COMMAND, LBN_SETFOCUS},
        {listBox, LBN_KILLFOCUS, WM_COMMAND, LBN_KILLFOCUS},
        {listBox, LBN_SELCANCEL, WM_COMMAND, LBN_SELCANCEL},
    };
    for (const Case& c : cases) {
        const intptr_t id = GetWindowLongPtrA(c.from, GWLP_ID);
        SCOPED_TRACE(testing::Message() << "control " << id << ", notification " << c.notification);
        EventEntry e = DispatchPosted(window, WM_COMMAND, MAKEWPARAM(id, c.notification),
                                      reinterpret_cast<LPARAM>(c.from));
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.control, id);
        EXPECT_EQ(e.subtype, c.subtype);
    }

    // A list box's other notifications also discard an event that was pending.
    SendMessageA(window, UM_CONTROLEVENT, 3, 0);
    ASSERT_EQ(PendingEvent, EV_CONTROL);
    EXPECT_EQ(DispatchPosted(window, WM_COMMAND, MAKEWPARAM(LIST_BOX_ID, LBN_SETFOCUS),
                             reinterpret_cast<LPARAM>(listBox))
                  .code,
              WM_COMMAND);
}

TEST_F(EventPumpTest, TheCommandControlIdTurnsAClickIntoACommand) {
    HWND button = Child("BUTTON", "cmd", BS_PUSHBUTTON, COMMAND_CONTROL_ID, 10, 10, 80, 25);
    ASSERT_EQ(GetWindowLongPtrA(button, GWLP_ID), COMMAND_CONTROL_ID);
    EventEntry e = DispatchPosted(button, BM_CLICK, 0, 0);
    EXPECT_EQ(e.code, EV_COMMAND);
    // The command is the low word of the id that WM_COMMAND carries.
    EXPECT_EQ(e.control, LOWORD(COMMAND_CONTROL_ID));
    EXPECT_EQ(e.subtype, BN_CLICKED);
}

TEST_F(EventPumpTest, AListBoxClickIsASelection) {
    HWND listBox = Child("LISTBOX", "", LBS_NOTIFY | WS_BORDER, LIST_BOX_ID, 20, 20, 150, 120);
    for (const char* item : {"alpha", "beta", "gamma"}) {
        SendMessageA(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    RECT item;
    SendMessageA(listBox, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    ASSERT_TRUE(BringToFront(window));

    ClickAt(ClientPointOnScreen(listBox, 10, (item.top + item.bottom) / 2));
    EventLog log;
    const EventEntry* click = AwaitControlEvent(log, EV_CONTROL, LIST_BOX_ID);
    ASSERT_NE(click, nullptr) << log.Describe();
    EXPECT_EQ(click->subtype, SUB_LEFT_CLICK) << log.Describe();
    EXPECT_EQ(SendMessageA(listBox, LB_GETCURSEL, 0, 0), 1);
}

class ListViewTest : public EventPumpTest {
  protected:
    void SetUp() override {
        EventPumpTest::SetUp();
        list = Child(WC_LISTVIEWA, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER, LIST_VIEW_ID, 10,
                     10, 400, 200);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<char*>("Name");
        SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        for (int i = 0; i < 3; ++i) {
            char text[] = "row 0";
            text[4] = static_cast<char>('0' + i);
            LVITEMA row = {};
            row.mask = LVIF_TEXT;
            row.iItem = i;
            row.pszText = text;
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
        }
        ASSERT_TRUE(BringToFront(window));
        SettleEvents();
    }

    POINT RowOnScreen(int row) {
        RECT r = {};
        r.left = LVIR_LABEL;
        SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
        return ClientPointOnScreen(list, r.left + 10, (r.top + r.bottom) / 2);
    }

    // Pumps until WaitEvent reports the list with this subtype.
    bool AwaitList(EventLog& log, int32_t subtype) {
        return PumpEvents(log, [subtype](const EventEntry& e) {
            return e.code == EV_CONTROL && e.control == LIST_VIEW_ID && e.subtype == subtype;
        });
    }

    HWND list = nullptr;
};

TEST_F(ListViewTest, ClicksOnRowsAreReportedWithTheirKind) {
    ClickAt(RowOnScreen(1));
    EventLog log;
    ASSERT_TRUE(AwaitList(log, SUB_LEFT_CLICK)) << log.Describe();
    // The selection change came first, with no subtype of its own.
    const EventEntry* change = log.Find(EV_CONTROL);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->control, LIST_VIEW_ID);
    EXPECT_EQ(change->subtype, SUB_NONE) << log.Describe();
    EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 1);

    WaitOutDoubleClickTime();
    EventLog right;
    ClickAt(RowOnScreen(2), true);
    EXPECT_TRUE(AwaitList(right, SUB_RIGHT_CLICK)) << right.Describe();

    WaitOutDoubleClickTime();
    EventLog twice;
    DoubleClickAt(RowOnScreen(0));
    EXPECT_TRUE(AwaitList(twice, SUB_LEFT_DOUBLE)) << twice.Describe();
}

TEST_F(ListViewTest, AnUnknownNotificationCountsOnlyAfterAKnownOneOfTheSameDispatch) {
    constexpr intptr_t OTHER_ID = 99;
    WindowSpy spy(window);
    bool sendAfterClick = true;
    NMHDR unknown = {list, OTHER_ID, static_cast<UINT>(LVN_HOTTRACK)};
    spy.after = [&](HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
        const bool afterClick = message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code ==
                                                            static_cast<UINT>(NM_CLICK);
        if ((afterClick && sendAfterClick) || message == WM_APP) {
            if (afterClick) sendAfterClick = false;
            SendMessageA(hwnd, WM_NOTIFY, OTHER_ID, reinterpret_cast<LPARAM>(&unknown));
        }
    };

    // Alone, while no subtype has been set, it records nothing.
    EXPECT_EQ(DispatchPosted(window, WM_APP, 0, 0).code, WM_APP);
    EXPECT_NE(EventControl(), OTHER_ID);

    // After NM_CLICK in the same dispatch it is reported with the click's subtype.
    ClickAt(RowOnScreen(2));
    EventLog log;
    EXPECT_TRUE(PumpEvents(log, [](const EventEntry& e) { return e.control == OTHER_ID; }))
        << log.Describe();
    EXPECT_EQ(log.entries.back().code, EV_CONTROL);
    EXPECT_EQ(log.entries.back().subtype, SUB_LEFT_CLICK);
}

TEST_F(EventPumpTest, NotificationRulesGoByClassAndCode) {
    HWND listView = Child(WC_LISTVIEWA, "", 0, 1, 0, 0, 50, 50);
    HWND treeView = Child(WC_TREEVIEWA, "", 0, 2, 0, 0, 50, 50);
    HWND datePicker = Child(DATETIMEPICK_CLASSA, "", 0, 3, 0, 0, 50, 50);
    HWND calendar = Child(MONTHCAL_CLASSA, "", 0, 4, 0, 0, 50, 50);
    HWND upDown = Child(UPDOWN_CLASSA, "", 0, 5, 0, 0, 20, 50);
    HWND button = Child("BUTTON", "", 0, 6, 0, 0, 50, 50);
    constexpr int32_t NOTHING = 0;
    struct Case {
        HWND from;
        UINT code;
        int32_t event;
        int32_t subtype;
        int delta;
    } cases[] = {
        {listView, NM_CLICK, EV_CONTROL, SUB_LEFT_CLICK, 0},
        {listView, NM_DBLCLK, EV_CONTROL, SUB_LEFT_DOUBLE, 0},
        {listView, NM_RCLICK, EV_CONTROL, SUB_RIGHT_CLICK, 0},
        {listView, NM_RDBLCLK, EV_CONTROL, SUB_RIGHT_DOUBLE, 0},
        {listView, LVN_ITEMACTIVATE, EV_CONTROL, SUB_LEFT_DOUBLE, 0},
        {listView, LVN_ITEMCHANGED, EV_CONTROL, SUB_NONE, 0},
        {listView, LVN_DELETEITEM, NOTHING, SUB_NONE, 0},
        {treeView, TVN_SELCHANGEDA, EV_CONTROL, SUB_NONE, 0},
        {treeView, NM_RCLICK, EV_CONTROL, SUB_RIGHT_CLICK, 0},
        {treeView, TVN_SELCHANGEDW, NOTHING, SUB_NONE, 0},
        {datePicker, DTN_DATETIMECHANGE, EV_CONTROL, SUB_NONE, 0},
        {datePicker, MCN_SELCHANGE, NOTHING, SUB_NONE, 0},
        {datePicker, NM_CLICK, NOTHING, SUB_NONE, 0},
        {calendar, MCN_SELCHANGE, EV_CONTROL, SUB_NONE, 0},
        {calendar, DTN_DATETIMECHANGE, NOTHING, SUB_NONE, 0},
        {button, NM_CLICK, NOTHING, SUB_NONE, 0},
        {upDown, UDN_DELTAPOS, EV_CONTROL, 2, 2},
        {button, UDN_DELTAPOS, EV_CONTROL, -3, -3}, // whatever the class
    };
    for (const Case& c : cases) {
        const intptr_t id = GetWindowLongPtrA(c.from, GWLP_ID);
        SCOPED_TRACE(testing::Message()
                     << "control " << id << ", code " << static_cast<int>(c.code));
        NMUPDOWN nm = {};
        nm.hdr = NMHDR{c.from, static_cast<UINT_PTR>(id), c.code};
        nm.iDelta = c.delta;
        // The state that WaitEvent starts a dispatch with.
        PendingEvent = 0;
        EventSubtype = SUB_NONE;
        EventControlValue = -99;
        EXPECT_EQ(SendMessageA(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&nm)), 0);
        EXPECT_EQ(PendingEvent, c.event);
        EXPECT_EQ(EventControlValue, c.event ? id : -99);
        EXPECT_EQ(EventSubtype, c.subtype);
    }
}

TEST_F(EventPumpTest, TabAndShiftTabBecomeFocusCommandsAndWaitEventReturnsTheKey) {
    HWND button = Child("BUTTON", "b", BS_PUSHBUTTON | WS_TABSTOP, BUTTON_ID, 10, 10, 60, 25);
    ASSERT_TRUE(BringToFront(window));
    SetFocus(button);
    WindowSpy spy(window);
    const auto isTabDown = [](const EventEntry& e) {
        return e.message == WM_KEYDOWN && e.wParam == VK_TAB;
    };

    TapKey(VK_TAB);
    EventLog log;
    ASSERT_TRUE(PumpEvents(log, isTabDown)) << log.Describe();
    EXPECT_EQ(log.entries.back().code, WM_KEYDOWN);
    EXPECT_EQ(spy.Count(WM_COMMAND, MAKEWPARAM(CMD_FOCUS_NEXT, 1), 0), 1);

    TapKey(VK_TAB, true);
    EventLog shifted;
    ASSERT_TRUE(PumpEvents(shifted, isTabDown)) << shifted.Describe();
    EXPECT_EQ(shifted.entries.back().code, WM_KEYDOWN);
    EXPECT_EQ(spy.Count(WM_COMMAND, MAKEWPARAM(CMD_FOCUS_PREVIOUS, 1), 0), 1);
    EXPECT_EQ(spy.Count(WM_COMMAND, MAKEWPARAM(CMD_FOCUS_NEXT, 1), 0), 1);
}

TEST_F(EventPumpTest, ARichEditKeepsPlainTabButNotShiftTab) {
    if (!LoadLibraryA("riched20.dll")) GTEST_SKIP() << "no rich-edit library";
    HWND rich =
        Child("RichEdit20A", "", ES_MULTILINE | ES_WANTRETURN | WS_TABSTOP, 8, 10, 10, 200, 80);
    ASSERT_TRUE(BringToFront(window));
    SetFocus(rich);
    ASSERT_EQ(GetFocus(), rich);
    WindowSpy spy(window);
    const auto isTabUp = [](const EventEntry& e) {
        return e.message == WM_KEYUP && e.wParam == VK_TAB;
    };

    TapKey(VK_TAB);
    EventLog log;
    ASSERT_TRUE(PumpEvents(log, isTabUp)) << log.Describe();
    EXPECT_EQ(spy.Count(WM_COMMAND), 0);
    char text[16] = "";
    GetWindowTextA(rich, text, sizeof text);
    EXPECT_STREQ(text, "\t") << "the rich edit took the Tab itself";

    TapKey(VK_TAB, true);
    EventLog shifted;
    ASSERT_TRUE(PumpEvents(shifted, isTabUp)) << shifted.Describe();
    EXPECT_EQ(spy.Count(WM_COMMAND, MAKEWPARAM(CMD_FOCUS_PREVIOUS, 1), 0), 1);
    GetWindowTextA(rich, text, sizeof text);
    EXPECT_STREQ(text, "\t");
}

} // namespace
