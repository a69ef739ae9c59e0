// Emulated sizing of a toolkit window with a sizing border, driven by real
// keys and mouse input through the toolkit's own event pump.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/event_helpers.h"
#include "support/input_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "toolkit/app_window.h"
#include "toolkit/event_pump.h"
#include "toolkit/sizing.h"

namespace {

constexpr uint32_t SIZABLE = WS_OVERLAPPEDWINDOW; // caption, system menu, sizing border
// How long the cursor must stay put before it counts as settled.
constexpr DWORD QUIET_MS = 300;

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
        // pointer is reported as entered, which moves the cursor back there later.
        ASSERT_TRUE(HoldCursorAt({5, 760}));
        ASSERT_TRUE(OpenAppWindow(1, 200, 150, 400, 300, SIZABLE, "sizing"));
        window = AppWindowHandle(1);
        ASSERT_TRUE(BringToFront(window));
        start = WindowRect(window);
        spy = std::make_unique<WindowSpy>(window);
        spy->after = [this](HWND, UINT message, WPARAM, LPARAM lParam) {
            if (message == WM_SIZING && !keyHandled) proposed = *reinterpret_cast<RECT*>(lParam);
            if (message == WM_KEYDOWN) keyHandled = true;
        };
    }
    void TearDown() override {
        if (GetCapture() == window) Press(VK_ESCAPE);
        spy.reset();
        CloseAppWindow(1);
    }

    // Starts a keyboard sizing: the system command with no edge.
    void StartKeyboardSizing() {
        PostMessageA(window, WM_SYSCOMMAND, SC_SIZE, 0);
        ASSERT_TRUE(WaitUntil([&] { return GetCapture() == window; }, 5000, Meanwhile::PumpEvents));
        // Taking the capture makes the system report the cursor once; let that
        // report come through before an edge is chosen.
        EventLog log;
        PumpEvents(
            log, [](const EventEntry& e) { return e.message == WM_MOUSEMOVE; }, 500);
    }

    // Presses a key and pumps until its key-up has been handled; `proposed` is
    // then the rectangle that the key's own handling offered in WM_SIZING.
    // Then waits until the pointer has been quiet for a while: the cursor moves the
    // key made cross the window's edges, and the desktop reports those crossings
    // a little later; they must not arrive after the next key has moved the cursor.
    void Press(WORD key, EventLog* seen = nullptr) {
        EventLog log;
        proposed = {};
        keyHandled = false;
        TapKey(key);
        EXPECT_TRUE(PumpEvents(log, [](const EventEntry& e) { return e.message == WM_KEYUP; }));
        const auto moved = [](const EventEntry& e) { return e.message == WM_MOUSEMOVE; };
        for (int i = 0; i < 10 && PumpEvents(log, moved, QUIET_MS); ++i) {
        }
        if (seen) *seen = log;
    }

    // Pumps until the window has this rectangle. A cursor placed by the sizing is
    // reported back as mouse moves, which the wait lets through.
    ::testing::AssertionResult SettlesAt(const RECT& expected) {
        if (WaitUntil([&] { return SameRect(WindowRect(window), expected); }, 5000,
                      Meanwhile::PumpEvents))
            return ::testing::AssertionSuccess();
        const RECT r = WindowRect(window);
        const POINT c = Cursor();
        return ::testing::AssertionFailure()
               << "window at (" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom
               << "), expected (" << expected.left << ", " << expected.top << ", " << expected.right
               << ", " << expected.bottom << "); cursor at (" << c.x << ", " << c.y << ")";
    }

    static RECT Moved(RECT r, int left, int top, int right, int bottom) {
        r.left += left;
        r.top += top;
        r.right += right;
        r.bottom += bottom;
        return r;
    }

    // Puts the cursor on a point until it stays there. The desktop, while it
    // starts, reports where the pointer was when its window appeared, and that
    // report may come after a cursor move and undo it.
    static bool HoldCursorAt(
        POINT p, const std::function<bool()>& settled = [] { return true; }) {
        const auto there = [&] { return Cursor().x == p.x && Cursor().y == p.y && settled(); };
        for (int attempt = 0; attempt < 10; ++attempt) {
            SetCursorPos(p.x, p.y);
            if (!WaitUntil(there, 1000, Meanwhile::PumpEvents)) continue;
            if (!WaitUntil([&] { return !there(); }, QUIET_MS, Meanwhile::PumpEvents)) return true;
        }
        return false;
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
    std::unique_ptr<WindowSpy> spy;
    RECT proposed = {};      // what the last key offered in WM_SIZING
    bool keyHandled = false; // whether the last key's WM_KEYDOWN has been handled
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

    // Now both edges follow the keys. The cursor is inside the window from here
    // on, and the desktop reports where a cursor move inside a window started
    // from, late; holding the cursor where the key put it lets that pass.
    Press(VK_UP);
    EXPECT_TRUE(SameRect(proposed, Moved(start, 0, -10, 0, 0)));
    EXPECT_TRUE(HoldCursorAt({start.left + 2, start.top - 8},
                             [&] { return SameRect(WindowRect(window), proposed); }));
    Press(VK_LEFT);
    EXPECT_TRUE(SameRect(proposed, Moved(start, -10, -10, 0, 0)));
    EXPECT_TRUE(HoldCursorAt({start.left - 8, start.top - 8},
                             [&] { return SameRect(WindowRect(window), proposed); }));
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
    // A real press on the right border: the system turns it into SC_SIZE.
    POINT edge = {start.right - 2, (start.top + start.bottom) / 2};
    ASSERT_TRUE(HoldCursorAt(edge));
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &input, sizeof input);
    ASSERT_TRUE(WaitUntil([&] { return GetCapture() == window; }, 5000, Meanwhile::PumpEvents));

    // Far to the left of the window's own left edge. As the window narrows, the
    // pointer leaves it, and the desktop may then report an earlier place; the
    // move is repeated until the window stays at its narrowest.
    RECT narrowest = start;
    narrowest.right = start.left + GetSystemMetrics(SM_CXMINTRACK);
    EXPECT_TRUE(HoldCursorAt({start.left - 100, edge.y},
                             [&] { return SameRect(WindowRect(window), narrowest); }));

    input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
    EXPECT_TRUE(WaitUntil([&] { return GetCapture() == nullptr; }, 5000, Meanwhile::PumpEvents));
    EXPECT_TRUE(SameRect(WindowRect(window), narrowest));
    // Released: the pointer no longer drags the edge.
    EXPECT_TRUE(HoldCursorAt({start.right + 50, edge.y}));
    EXPECT_TRUE(SameRect(WindowRect(window), narrowest));
}

TEST_F(Sizing, ClosingTheWindowDuringASizingEndsIt) {
    StartKeyboardSizing();
    Press(VK_DOWN);
    spy.reset();
    CloseAppWindow(1);
    // The next toolkit window's mouse moves are its own again.
    ASSERT_TRUE(OpenAppWindow(2, 300, 200, 200, 100, SIZABLE, "next"));
    HWND next = AppWindowHandle(2);
    const RECT before = WindowRect(next);
    EXPECT_EQ(SizingFilter(next, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)), NOT_HANDLED);
    EXPECT_TRUE(SameRect(WindowRect(next), before));
    CloseAppWindow(2);
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
