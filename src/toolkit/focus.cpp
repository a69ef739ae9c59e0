#include "toolkit/focus.h"

#include <windows.h>

// State of one walk, kept for the length of a call.
static HWND WalkStart;       // the focused descendant when the walk began, or null
static bool WalkPassedStart; // forward walk: the start has just been seen
static HWND WalkLast;        // backward walk: the last candidate seen
static bool WalkDone;        // backward walk: the focus has been set

static bool IsFocusCandidate(HWND window) {
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP) != 0;
}

// The focused window if it lies inside the active window, else null.
static HWND FocusedDescendant(HWND active) {
    HWND focus = GetFocus();
    return focus && IsChild(active, focus) ? focus : nullptr;
}

static BOOL CALLBACK StepForward(HWND window, LPARAM) {
    if (!IsFocusCandidate(window)) return TRUE;
    if (WalkPassedStart) {
        SetFocus(window);
        WalkPassedStart = false;
        return FALSE;
    }
    if (!WalkStart) {
        SetFocus(window);
        return FALSE;
    }
    if (window == WalkStart) WalkPassedStart = true;
    return TRUE;
}

static BOOL CALLBACK StepBackward(HWND window, LPARAM) {
    if (!IsFocusCandidate(window)) return TRUE;
    if (window == WalkStart && WalkLast) {
        SetFocus(WalkLast);
        WalkDone = true;
        return FALSE;
    }
    WalkLast = window;
    return TRUE;
}

void FocusNextControl() {
    HWND active = GetActiveWindow();
    // Without an active window EnumChildWindows would walk the top-level windows.
    if (!active) return;
    WalkStart = FocusedDescendant(active);
    WalkPassedStart = false;
    EnumChildWindows(active, StepForward, 0);
    if (WalkPassedStart) {
        // The start was the last candidate: wrap to the first.
        WalkStart = nullptr;
        WalkPassedStart = false;
        EnumChildWindows(active, StepForward, 0);
    }
}

void FocusPreviousControl() {
    HWND active = GetActiveWindow();
    if (!active) return;
    WalkStart = FocusedDescendant(active);
    WalkLast = nullptr;
    WalkDone = false;
    EnumChildWindows(active, StepBackward, 0);
    if (!WalkDone && WalkLast) SetFocus(WalkLast);
}
