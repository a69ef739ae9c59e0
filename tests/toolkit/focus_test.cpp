// Tab and Shift+Tab, pressed for real, move the focus among a toolkit
// window's enabled, visible tab-stop controls.
#include <gtest/gtest.h>

#include "support/event_helpers.h"
#include "support/input_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "toolkit/app_window.h"
#include "toolkit/button.h"
#include "toolkit/controls.h"
#include "toolkit/focus.h"

namespace {

class FocusCycling : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(OpenAppWindow(1, 100, 100, 400, 300, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                  "focus"));
        window = AppWindowHandle(1);
        SetControlParent(window);
        // Candidates: 1, 3 and 6. Not candidates: 2 disabled, 4 hidden, 5 without WS_TABSTOP.
        for (intptr_t n = 1; n <= 6; ++n) {
            ASSERT_TRUE(CreateButton(n, 10, static_cast<int>(n) * 30, 80, 25, "button"));
        }
        DisableControl(2, 1);
        ShowWindow(ControlHandle(4), SW_HIDE);
        HWND plain = ControlHandle(5);
        SetWindowLongA(plain, GWL_STYLE, GetWindowLongA(plain, GWL_STYLE) & ~WS_TABSTOP);
        ASSERT_TRUE(BringToFront(window));
        // Opening the window recorded a move; let it go so that the first key's
        // event is the key's own.
        SettleEvents();
    }
    void TearDown() override { CloseAppWindow(1); }

    // Presses the key and waits for the focus to settle on the expected control.
    bool TabTo(intptr_t expected, bool shift = false) {
        TapKey(VK_TAB, shift);
        HWND target = ControlHandle(expected);
        return WaitUntil([&] { return GetFocus() == target; }, 3000, Meanwhile::PumpEvents);
    }

    ModuleScope module;
    HWND window = nullptr;
};

TEST_F(FocusCycling, TabVisitsCandidatesInOrderAndWraps) {
    ASSERT_EQ(GetFocus(), window); // nothing inside has the focus yet
    EXPECT_TRUE(TabTo(1));
    EXPECT_TRUE(TabTo(3));
    EXPECT_TRUE(TabTo(6));
    EXPECT_TRUE(TabTo(1)); // wraps to the first
}

TEST_F(FocusCycling, ShiftTabGoesBackAndWrapsToTheLast) {
    EXPECT_TRUE(TabTo(6, true)); // nothing focused: the last candidate
    EXPECT_TRUE(TabTo(3, true));
    EXPECT_TRUE(TabTo(1, true));
    EXPECT_TRUE(TabTo(6, true)); // wraps to the last
}

TEST_F(FocusCycling, FocusOnANonCandidateStaysForTabAndGoesLastForShiftTab) {
    HWND plain = ControlHandle(5);
    SetFocus(plain);
    ASSERT_EQ(GetFocus(), plain);
    EventLog log;
    TapKey(VK_TAB);
    // The Tab has been handled once its key-up has come through the pump.
    ASSERT_TRUE(PumpEvents(
        log, [](const EventEntry& e) { return e.message == WM_KEYUP; }, 3000));
    EXPECT_EQ(GetFocus(), plain);
    EXPECT_TRUE(TabTo(6, true));
}

TEST_F(FocusCycling, DisablingTheFocusedControlPassesTheFocusOn) {
    ASSERT_TRUE(TabTo(1));
    ASSERT_TRUE(TabTo(3));
    DisableControl(1, 1); // not focused: the focus stays
    EXPECT_EQ(GetFocus(), ControlHandle(3));
    DisableControl(1, 0);
    DisableControl(3, 1);
    EXPECT_EQ(GetFocus(), ControlHandle(6));
    DisableControl(6, 1); // wraps round
    EXPECT_EQ(GetFocus(), ControlHandle(1));
    DisableControl(1, 1); // none left: the window keeps the keys
    EXPECT_EQ(GetFocus(), window);
}

// Controls made after their window was activated: the active window gives the first
// candidate the focus; an inactive one is not activated for it (it hands the focus
// on once activated, as the table below shows).
TEST_F(FocusCycling, TheFirstControlGetsTheFocusOnlyInTheActiveWindow) {
    FocusFirstControl(window);
    EXPECT_EQ(GetFocus(), ControlHandle(1));
    ASSERT_TRUE(OpenAppWindow(2, 300, 300, 100, 100, 0, "other"));
    HWND other = AppWindowHandle(2);
    ASSERT_TRUE(BringToFront(other));
    FocusFirstControl(window);
    EXPECT_EQ(GetActiveWindow(), other);
    CloseAppWindow(2);
}

// Whatever took the focus from the window, the control that had it last has it
// again when the window gets it back (the first candidate if that one was disabled
// meanwhile), and Tab moves on from there. Under Wine a minimized window stays
// active, and when restored takes the focus before it is told that it is active;
// an active window given the focus itself is told nothing else either.
TEST_F(FocusCycling, TheFocusComesBackWhenTheWindowIsActiveAgain) {
    ASSERT_TRUE(OpenAppWindow(2, 300, 300, 100, 100, 0, "other"));
    ASSERT_TRUE(BringToFront(window));
    enum Away { OtherWindow, Minimized, FocusedItself, DisabledMeanwhile };
    struct Case {
        Away away;
        intptr_t focused, back, afterTab;
    } cases[] = {
        {OtherWindow, 3, 3, 6},
        {Minimized, 6, 6, 1}, // the focus moved on since the window was inactive
        {FocusedItself, 3, 3, 6},
        {DisabledMeanwhile, 3, 1, 6}, // (3 stays disabled)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.away);
        ASSERT_TRUE(BringToFront(window));
        SettleEvents();
        SetFocus(ControlHandle(c.focused));
        if (c.away == Minimized) {
            POINT minimize;
            ASSERT_TRUE(FindHitTestPoint(window, HTMINBUTTON, &minimize));
            ClickAt(minimize);
            ASSERT_TRUE(
                WaitUntil([&] { return IsIconic(window) != FALSE; }, 3000, Meanwhile::PumpEvents));
            PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0); // as a task bar does
        } else if (c.away == FocusedItself) {
            SetFocus(nullptr); // taken away to nowhere, the window still active
            SetFocus(window);
        } else {
            ASSERT_TRUE(BringToFront(AppWindowHandle(2)));
            if (c.away == DisabledMeanwhile) DisableControl(3, 1);
            ASSERT_TRUE(BringToFront(window));
        }
        ASSERT_TRUE(WaitUntil([&] { return !IsIconic(window) && GetActiveWindow() == window; },
                              3000, Meanwhile::PumpEvents));
        EXPECT_EQ(GetFocus(), ControlHandle(c.back));
        EXPECT_TRUE(TabTo(c.afterTab));
    }
    CloseAppWindow(2);
}

} // namespace
