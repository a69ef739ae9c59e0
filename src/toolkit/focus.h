// Tab and Shift+Tab focus cycling among the active window's enabled, visible
// tab-stop controls (the candidates), in the order of its child windows, and the
// focus kept where the user left it when a window is deactivated or its focused
// control is disabled. The toolkit walks the children itself rather than calling
// IsDialogMessage: its windows are not dialogs, and the dialog manager would also
// take Enter, Escape and the arrow keys from them.
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
// Gives the focus back to control, the window's descendant that had it, or to the
// first candidate when control can no longer take it (gone, hidden or disabled).
// False, leaving the focus alone, when control is null or no candidate is left.
bool RestoreFocus(HWND window, HWND control);
// Before control is disabled: if it (or a window inside it) has the focus, moves
// the focus to the next candidate, or to the top-level window when there is none.
// A disabled window cannot keep the focus, and the system would leave it nowhere.
void PassFocusOn(HWND control);
