// Tab and Shift+Tab focus cycling among the active window's enabled, visible
// tab-stop controls, in the order of its child windows. The toolkit walks the
// children itself rather than calling IsDialogMessage: its windows are not dialogs,
// and the dialog manager would also take Enter, Escape and the arrow keys from them.
#pragma once

// Focuses the next candidate after the focused one, wrapping round to the first;
// the first when nothing inside the active window has the focus. Does nothing
// without an active window or a candidate.
void FocusNextControl();
// Focuses the candidate before the focused one, wrapping round to the last; the
// last when nothing inside the active window has the focus. Does nothing without
// an active window or a candidate.
void FocusPreviousControl();
