// Emulated window sizing: the toolkit's windows answer WM_SYSCOMMAND/SC_SIZE with
// a sizing loop of their own, run inside the normal message flow (WaitEvent keeps
// turning), rather than the system's modal loop, during which the event pump
// would see nothing. The mouse or the arrow keys size; Enter or the button's
// release keeps the new size, Escape puts the window back, and losing the mouse
// capture in any other way ends the sizing where it stands.
#pragma once

#include <windows.h>

// Filters one message of a toolkit window: starts a sizing on SC_SIZE (only where
// the system drags full windows; otherwise SC_SIZE is left to the system) and,
// while one runs, turns mouse moves, arrow keys, Enter, Escape and the button's
// release into sizing steps. 0 for a message it consumed, NOT_HANDLED for one that
// the window handles as usual (every message while no sizing runs, but SC_SIZE).
LRESULT SizingFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Moves the window to a rectangle in screen coordinates (mapped into the parent's
// client area for a child window). Nothing is reported.
void MoveToSizingRect(HWND hwnd, const RECT& rect);
