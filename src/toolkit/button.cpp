#include "toolkit/button.h"

#include <windows.h>

#include "toolkit/controls.h"

constexpr DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON;

// Shared by every button; only the check-state slots are filled.
static ControlOps ButtonOps;

static intptr_t GetButtonState(HWND hwnd) {
    return SendMessageA(hwnd, BM_GETCHECK, 0, 0);
}

static intptr_t SetButtonState(HWND hwnd, intptr_t state) {
    return SendMessageA(hwnd, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

intptr_t CreateButton(intptr_t number, int x, int y, int width, int height, const char* text) {
    ButtonOps.GetState = GetButtonState;
    ButtonOps.SetState = SetButtonState;
    NextControl = ControlCreation{"BUTTON", text, x, y, width, height, &ButtonOps};
    return CreateControlWindow(number, BUTTON_STYLE, 0);
}
