// Emulated sizing of a toolkit window with a sizing border, driven by real
// keys and mouse input through the toolkit's own event pump.
#include <gtest/gtest.h>

#include "support/event_helpers.h"
#include "support/input_helpers.h"
#include "support/test_module.h"
#include "toolkit/app_window.h"
#include "toolkit/event_pump.h"
#include "toolkit/sizing.h"

namespace {

constexpr uint32_t SIZABLE = WS_OVERLAPPEDWINDOW; // caption, system menu, sizing border

RECT WindowRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

bool SameRect(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

// Keeps the system's full-window dragging setting as it was.
class DragSetting {
  public:
    DragSetting() { SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &saved_, 0); }
    ~DragSetting() { Set(saved_); }
    static void Set(BOOL on) { SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on, nullptr, 0); }

  private:
    BOOL saved_ = TRUE;
};

class Sizing : public ::testing::Test {
  protected:
    void SetUp() override {
        DragSetting::Set(TRUE);
        // Keep the pointer clear of the window: a window that appears under the
        // pointer makes the desktop report the pointer's old place again later,
        // which would undo the cursor moves that a sizing makes.
        SetCursorPos(5, 760);
        ASSERT_TRUE(PumpEventsUntil([] { return Cursor().x == 5 && Cursor().y == 760; }));
        ASSERT_TRUE(OpenAppWindow(1, 200, 150, 400, 300, SIZABLE, "sizing"));
        window = AppWindowHandle(1);
        ASSERT_TRUE(BringToFront(window));
        start = WindowRect(window);
    }
    void TearDown() override {
        if (GetCapture() == window) Press(VK_ESCAPE);
        CloseAppWindow(1);
    }

    // Starts a keyboard sizing: the system command with no edge.
    void StartKeyboardSizing() {
        PostMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
        ASSERT_TRUE(PumpEventsUntil([&] { return GetCapture() == window; }));
        // Taking the capture makes the system report the cursor once; let that
        // report come through before an edge is chosen.
        EventLog log;
        PumpEvents(
            log, [](const EventEntry& e) { return e.message == WM_MOUSEMOVE; }, 500);
    }

    // Presses a key and pumps until its key-up has been handled.
    void Press(WORD key, EventLog* seen = nullptr) {
        EventLog log;
        TapKey(key);
        EXPECT_TRUE(PumpEvents(log, [](const EventEntry& e) { return e.message == WM_KEYUP; }));
        if (seen) *seen = log;
    }

    // Pumps until the window has this rectangle. A cursor placed by the sizing is
    // reported back as mouse moves, which the wait lets through.
    bool SettlesAt(const RECT& expected) {
        return PumpEventsUntil([&] { return SameRect(WindowRect(window), expected); });
    }

    static RECT Moved(RECT r, int left, int top, int right, int bottom) {
        r.left += left;
        r.top += top;
        r.right += right;
        r.bottom += bottom;
        return r;
    }

    static POINT Cursor() {
        POINT p;
        GetCursorPos(&p);
        return p;
    }

    DragSetting setting;
    ModuleScope module;
    HWND window = nullptr;
    RECT start = {};
};

TEST_F(Sizing, KeyboardSizingMovesTheLeftEdgeByTenPixelsPerKey) {
    StartKeyboardSizing();
    Press(VK_LEFT); // chooses the left edge: the cursor goes onto it
    EXPECT_EQ(Cursor().x, start.left);
    EXPECT_TRUE(SettlesAt(start));

    EventLog events;
    Press(VK_LEFT, &events);
    // The move and resize reach the program as events.
    EXPECT_NE(events.Find(EV_SIZE), nullptr) << events.Describe();
    EXPECT_TRUE(SettlesAt(Moved(start, -10, 0, 0, 0)));
    Press(VK_LEFT);
    EXPECT_TRUE(SettlesAt(Moved(start, -20, 0, 0, 0)));

    Press(VK_RETURN); // Enter keeps the new rectangle
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(SettlesAt(Moved(start, -20, 0, 0, 0)));
}

TEST_F(Sizing, UpThenLeftChoosesTheTopLeftCornerWithTheCursorInside) {
    StartKeyboardSizing();
    Press(VK_UP);
    EXPECT_EQ(Cursor().y, start.top);
    Press(VK_LEFT);
    EXPECT_EQ(Cursor().x, start.left + 2);
    EXPECT_EQ(Cursor().y, start.top + 2);
    EXPECT_TRUE(SettlesAt(start));
    // Now both edges follow the keys.
    Press(VK_UP);
    EXPECT_TRUE(SettlesAt(Moved(start, 0, -10, 0, 0)));
    Press(VK_LEFT);
    EXPECT_TRUE(SettlesAt(Moved(start, -10, -10, 0, 0)));
}

TEST_F(Sizing, EscapeRestoresTheStartRectangle) {
    StartKeyboardSizing();
    Press(VK_DOWN);
    Press(VK_DOWN);
    Press(VK_DOWN);
    EXPECT_TRUE(SettlesAt(Moved(start, 0, 0, 0, 20)));
    Press(VK_ESCAPE);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(SettlesAt(start));
}

TEST_F(Sizing, DraggingAnEdgePastTheMinimumStopsThereWithTheOtherEdgeFixed) {
    // A real drag of the right border: the system turns the press into SC_SIZE.
    POINT edge = {start.right - 2, (start.top + start.bottom) / 2};
    SetCursorPos(edge.x, edge.y);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &input, sizeof input);
    ASSERT_TRUE(PumpEventsUntil([&] { return GetCapture() == window; }));

    // Far to the left of the window's own left edge. The desktop may still report
    // the pointer's earlier place once after the move, so the move is repeated
    // until the window has settled.
    input.mi.dx = (start.left - 100) * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = edge.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    RECT narrowest = start;
    narrowest.right = start.left + GetSystemMetrics(SM_CXMINTRACK);
    bool settled = false;
    for (int attempt = 0; attempt < 10 && !settled; ++attempt) {
        SendInput(1, &input, sizeof input);
        settled = PumpEventsUntil([&] { return SameRect(WindowRect(window), narrowest); }, 300);
    }
    EXPECT_TRUE(settled);

    input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
    EXPECT_TRUE(PumpEventsUntil([&] { return GetCapture() == nullptr; }));
    // Released: the window keeps its width however the pointer moves now.
    SetCursorPos(start.right + 50, edge.y);
    EventLog log;
    PumpEvents(
        log, [](const EventEntry&) { return false; }, 200);
    RECT after = WindowRect(window);
    EXPECT_EQ(after.left, start.left);
    EXPECT_EQ(after.right - after.left, GetSystemMetrics(SM_CXMINTRACK));
}

TEST_F(Sizing, WithoutFullWindowDraggingTheSystemKeepsItsOwnSizing) {
    DragSetting::Set(FALSE);
    EXPECT_EQ(SizingFilter(window, WM_SYSCOMMAND, SC_SIZE | WMSZ_LEFT, 0), NOT_HANDLED);
    EXPECT_EQ(GetCapture(), nullptr);
    // Not sizing: the messages of a sizing pass on untouched.
    EXPECT_EQ(SizingFilter(window, WM_MOUSEMOVE, 0, 0), NOT_HANDLED);
    EXPECT_TRUE(SameRect(WindowRect(window), start));
}

TEST(SizingMove, AChildWindowIsMovedInItsParentsClientCoordinates) {
    ModuleScope module;
    ASSERT_TRUE(OpenAppWindow(1, 100, 100, 400, 300, SIZABLE, "parent"));
    HWND parent = AppWindowHandle(1);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, parent,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    POINT origin = {0, 0};
    ClientToScreen(parent, &origin);
    RECT target = {origin.x + 30, origin.y + 40, origin.x + 130, origin.y + 90};
    MoveToSizingRect(child, target);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right, 130);
    EXPECT_EQ(r.bottom, 90);
    CloseAppWindow(1);
}

} // namespace
