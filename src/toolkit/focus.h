// Tab and Shift+Tab focus cycling among the active window's enabled, visible
// tab-stop controls (the candidates), in the order of its child windows, and the
// focus kept where the user left it: a toolkit window notes the control that last
// had the focus and hands the focus back to it whenever the window itself gets it
// (active again, restored after a minimize), and a control that is disabled while
// it has the focus passes it on. The toolkit walks the children itself rather than
// calling IsDialogMessage: its windows are not dialogs, and the dialog manager
// would also take Enter, Escape and the arrow keys from them.
#pragma once

#include <windows.h>

// Focuses the next candidate after the focused one, wrapping round to the first;
// the first when nothing inside the active window has the focus. Does nothing
// without an active window or a candidate.
void FocusNextControl();
// Focuses the candidate before the focused one, wrapping round to the last; the
// last when nothing inside the active window has the focus. Does nothing without
// an active window or a candidate.
void FocusPreviousControl();
// The window's descendant that has the focus, or null.
HWND FocusedDescendant(HWND window);
// Notes control, which has just got the focus, as the one to give it back to in its
// top-level toolkit window (called by every control on WM_SETFOCUS).
void NoteFocus(HWND control);
// A toolkit window's handling of WM_ACTIVATE and WM_SETFOCUS, the way a dialog's
// goes: when the window is active again, or gets the focus itself from outside it
// (under Wine a restored window takes it before it is told that it is active), the
// focus goes on to the control that last had it, or to the first candidate when
// that one can no longer take it (gone, hidden, disabled) or there was none. 0 when
// it did; NOT_HANDLED, for the default handling, for any other message, a window
// that is minimized or no toolkit window, a deactivation, a window that has a
// control focused already or that takes the focus from one of its own controls
// (the last candidate disabled), or when no candidate is left.
LRESULT KeepFocus(HWND window, UINT message, WPARAM wParam);
// For a window whose controls were made after it was activated (the system then
// left the focus on the window itself): notes its first candidate as the control to
// hand the focus to, and gives it the focus if the window is the active one. An
// inactive window only notes it: SetFocus would activate the window, taking
// activation from whichever window the user is in.
void FocusFirstControl(HWND window);
// Before control is disabled: if it (or a window inside it) has the focus, moves
// the focus to the next candidate, or to the top-level window when there is none.
// A disabled window cannot keep the focus, and the system would leave it nowhere.
void PassFocusOn(HWND control);
