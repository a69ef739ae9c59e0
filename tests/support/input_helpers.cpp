#include "support/input_helpers.h"

#include "support/event_helpers.h"
#include "support/wait.h"

namespace {
INPUT MouseInput(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

INPUT KeyInput(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, 0));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Every event carries the absolute position: under Wine the desktop may report
// the pointer's earlier place after a cursor move, and a button event without a
// position of its own would then land there.
INPUT MouseInputAt(POINT screen, DWORD flags) {
    INPUT input = MouseInput(flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE);
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    return input;
}

void Clicks(POINT screen, bool right, int count) {
    const DWORD down = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    const DWORD up = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    INPUT inputs[5];
    UINT n = 0;
    inputs[n++] = MouseInputAt(screen, 0);
    for (int i = 0; i < count; ++i) {
        inputs[n++] = MouseInputAt(screen, down);
        inputs[n++] = MouseInputAt(screen, up);
    }
    SendInput(n, inputs, sizeof(INPUT));
}
} // namespace

void ClickAt(POINT screen, bool right) {
    Clicks(screen, right, 1);
}

void DoubleClickAt(POINT screen, bool right) {
    Clicks(screen, right, 2);
}

void WaitOutDoubleClickTime() {
    WaitUntil([] { return false; }, GetDoubleClickTime() + 50, Meanwhile::PumpEvents);
}

void TapKey(WORD key, bool shift, bool alt) {
    INPUT inputs[6];
    UINT n = 0;
    if (shift) inputs[n++] = KeyInput(VK_SHIFT, false);
    if (alt) inputs[n++] = KeyInput(VK_MENU, false);
    inputs[n++] = KeyInput(key, false);
    inputs[n++] = KeyInput(key, true);
    if (alt) inputs[n++] = KeyInput(VK_MENU, true);
    if (shift) inputs[n++] = KeyInput(VK_SHIFT, true);
    SendInput(n, inputs, sizeof(INPUT));
}

POINT ClientPointOnScreen(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    return p;
}

POINT ClientCenterOnScreen(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return ClientPointOnScreen(hwnd, r.right / 2, r.bottom / 2);
}

bool FindHitTestPoint(HWND hwnd, LRESULT hit, POINT* screen) {
    RECT r;
    GetWindowRect(hwnd, &r);
    // From the top-right corner inwards: where the caption's buttons sit.
    for (LONG y = r.top; y < r.bottom; y += 2) {
        for (LONG x = r.right - 1; x >= r.left; x -= 2) {
            if (SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == hit) {
                // Aim a little inside the area rather than at its edge.
                LONG cx = x, cy = y;
                while (cx - 1 >= r.left &&
                       SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(cx - 1, y)) == hit) {
                    --cx;
                }
                while (cy + 1 < r.bottom &&
                       SendMessageA(hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, cy + 1)) == hit) {
                    ++cy;
                }
                *screen = POINT{(x + cx) / 2, (y + cy) / 2};
                return true;
            }
        }
    }
    return false;
}

bool BringToFront(HWND hwnd) {
    SetForegroundWindow(hwnd);
    return WaitUntil([hwnd] { return GetForegroundWindow() == hwnd; }, 5000, Meanwhile::PumpEvents);
}
