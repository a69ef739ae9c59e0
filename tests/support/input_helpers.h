// Real mouse and keyboard input (SendInput), and the screen points to aim it at.
#pragma once

#include <windows.h>

// Moves the cursor to a screen point and clicks there.
void ClickAt(POINT screen, bool right = false);
void DoubleClickAt(POINT screen, bool right = false);
// Lets the double-click time pass (pumping events), so that the next click pairs with no earlier
// one.
void WaitOutDoubleClickTime();
// Presses and releases a key, with Shift or Alt held when asked.
void TapKey(WORD key, bool shift = false, bool alt = false);
// A point of the window's client area in screen coordinates.
POINT ClientPointOnScreen(HWND hwnd, int x, int y);
// The centre of the window's client area in screen coordinates.
POINT ClientCenterOnScreen(HWND hwnd);
// Finds a screen point where the window's hit test gives this code.
bool FindHitTestPoint(HWND hwnd, LRESULT hit, POINT* screen);
// Makes the window the foreground window (pumping events while it waits).
bool BringToFront(HWND hwnd);
