#include "toolkit/focus.h"

#include <windows.h>

#include "toolkit/app_window.h"
#include "toolkit/messages.h"

// State of one walk, kept for the length of a call.
static HWND WalkStart;       // the focused descendant when the walk began, or null
static bool WalkPassedStart; // forward walk: the start has just been seen
static HWND WalkLast;        // backward walk: the last candidate seen
static bool WalkDone;        // backward walk: the focus has been set

static bool IsFocusCandidate(HWND window) {
    return IsWindowEnabled(window) && IsWindowVisible(window) &&
           (GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP) != 0;
}

HWND FocusedDescendant(HWND window) {
    HWND focus = GetFocus();
    return focus && IsChild(window, focus) ? focus : nullptr;
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

// Focuses the next candidate inside window after start, wrapping round to the
// first; the first when start is null. Nothing when start is no candidate.
static void StepFrom(HWND window, HWND start) {
    WalkStart = start;
    WalkPassedStart = false;
    EnumChildWindows(window, StepForward, 0);
    if (WalkPassedStart) {
        // The start was the last candidate: wrap to the first.
        WalkStart = nullptr;
        WalkPassedStart = false;
        EnumChildWindows(window, StepForward, 0);
    }
}

void FocusNextControl() {
    HWND active = GetActiveWindow();
    // Without an active window EnumChildWindows would walk the top-level windows.
    if (active) StepFrom(active, FocusedDescendant(active));
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

// Gives the focus to control, if it is still the window's own and can take it,
// else to the window's first candidate. False when it landed on neither.
static bool HandFocusOn(HWND window, HWND control) {
    if (control && IsChild(window, control) && IsWindowEnabled(control) &&
        IsWindowVisible(control)) {
        SetFocus(control);
    } else {
        StepFrom(window, nullptr);
    }
    return FocusedDescendant(window) != nullptr;
}

void NoteFocus(HWND control) {
    if (WindowRecord* record = WindowRecordOf(GetAncestor(control, GA_ROOT))) {
        record->focus = control;
    }
}

LRESULT KeepFocus(HWND window, UINT message, WPARAM wParam) {
    WindowRecord* record = WindowRecordOf(window);
    // A minimized window gives no control the focus: it gets it again when restored.
    if (!record || IsIconic(window)) return NOT_HANDLED;
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE || FocusedDescendant(window)) return NOT_HANDLED;
        break;
    case WM_SETFOCUS: {
        // From one of its own controls (the last candidate disabled) the window keeps it.
        HWND previous = reinterpret_cast<HWND>(wParam);
        if (previous && IsChild(window, previous)) return NOT_HANDLED;
        break;
    }
    default: return NOT_HANDLED;
    }
    return HandFocusOn(window, record->focus) ? 0 : NOT_HANDLED;
}

static BOOL CALLBACK FindFirstCandidate(HWND window, LPARAM found) {
    if (!IsFocusCandidate(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void FocusFirstControl(HWND window) {
    WindowRecord* record = WindowRecordOf(window);
    if (!record) return;
    HWND first = nullptr;
    EnumChildWindows(window, FindFirstCandidate, reinterpret_cast<LPARAM>(&first));
    record->focus = first;
    if (first && GetActiveWindow() == window) SetFocus(first);
}

void PassFocusOn(HWND control) {
    HWND focus = GetFocus();
    if (!focus || (focus != control && !IsChild(control, focus))) return;
    HWND window = GetAncestor(control, GA_ROOT);
    StepFrom(window, control);
    // No other candidate: the window itself keeps the keys, so that Tab still works.
    focus = GetFocus();
    if (focus == control || IsChild(control, focus)) SetFocus(window);
}
