// Emulated window sizing: answers WM_SYSCOMMAND/SC_SIZE with a sizing loop run
// inside the normal message flow.
#pragma once

#include <windows.h>

// 0 for a message it consumed, NOT_HANDLED otherwise.
LRESULT SizingFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void TrackSizingPoint(int x, int y);
void MoveToSizingRect(HWND hwnd, const RECT& rect);
void PlaceSizingCursor(int cursorId, int x, int y);
void StepSizing(HWND hwnd, int x, int y);
