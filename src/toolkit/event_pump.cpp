#include "toolkit/event_pump.h"

#include <commctrl.h>

#include "runtime/text.h"
#include "toolkit/app_window.h"
#include "toolkit/focus.h"
#include "toolkit/sizing.h"

int32_t PendingEvent;
int32_t EventSubtype;
intptr_t EventControlValue;
void (*SessionEndHandler)(bool confirmed);
// The one record of a close request (EV_CLOSE) or confirmed session end
// (EV_ENDSESSION) that WaitEvent has not returned yet; 0 for none. Kept apart from
// PendingEvent, which the next notification overwrites. The session's end
// outranks a close.
static int32_t KeptRequest;
// The message that WaitEvent took from the queue last.
static MSG EventMessage;

// Class-name buffer of the translation; its first character is cleared before
// every read so that a failed read matches no prefix.
constexpr int CLASS_NAME_SIZE = 50;

void ResetEventState() {
    PendingEvent = 0;
    EventSubtype = 0;
    EventControlValue = 0;
    KeptRequest = 0;
    EventMessage = MSG{};
}

const MSG& LastEventMessage() {
    return EventMessage;
}

static void RecordEvent(int32_t code) {
    PendingEvent = code;
}

static void RecordControlEvent(int32_t code, intptr_t control) {
    PendingEvent = code;
    EventControlValue = control;
}

static void RecordControlEvent(int32_t code, intptr_t control, int32_t subtype) {
    RecordControlEvent(code, control);
    EventSubtype = subtype;
}

// True when the window's class name begins with the four characters of prefix.
static bool ClassBeginsWith(const char* className, const char* prefix) {
    for (int i = 0; i < 4; ++i) {
        if (className[i] != prefix[i]) return false;
    }
    return true;
}

static void ReadClassName(HWND hwnd, char (&name)[CLASS_NAME_SIZE]) {
    name[0] = '\0';
    GetClassNameA(hwnd, name, CLASS_NAME_SIZE);
}

static intptr_t ControlIdOf(HWND hwnd) {
    return GetWindowLongPtrA(hwnd, GWLP_ID);
}

static bool IsKeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// Keeps a request until WaitEvent returns it.
static void KeepRequest(int32_t code) {
    if (KeptRequest != EV_ENDSESSION) KeptRequest = code;
}

// Returns the kept request and forgets it.
static int32_t TakeRequest() {
    const int32_t kept = KeptRequest;
    KeptRequest = 0;
    return kept;
}

int32_t WaitEvent() {
    // One that came while no WaitEvent ran (under a message box's own loop).
    if (KeptRequest) return TakeRequest();
    EventSubtype = SUB_NONE;
    EventMessage = MSG{};
    GetMessageA(&EventMessage, nullptr, 0, 0);
    HWND active = GetActiveWindow();
    HACCEL table = FindWindowAccelerators(active);
    if (!table || !TranslateAcceleratorA(active, table, &EventMessage)) {
        TranslateMessage(&EventMessage);
        DispatchMessageA(&EventMessage);
    }
    // A request comes after an event that the same dispatch recorded.
    if (const int32_t event = PendingEvent) {
        PendingEvent = 0;
        return event;
    }
    if (KeptRequest) return TakeRequest();
    return static_cast<int32_t>(EventMessage.message);
}

// Removes the keys and the mouse input in the client area that wait for this one
// window. System keys (WM_SYSKEYDOWN to WM_SYSDEADCHAR: Alt+F4, Alt+Space, Alt+Tab)
// and the caption's mouse input stay.
static void DiscardInputFor(HWND window) {
    MSG message;
    while (PeekMessageA(&message, window, WM_KEYDOWN, WM_DEADCHAR, PM_REMOVE)) {
    }
    while (PeekMessageA(&message, window, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

static BOOL CALLBACK DiscardChildInput(HWND child, LPARAM) {
    DiscardInputFor(child);
    return TRUE;
}

void DiscardQueuedInput(HWND window) {
    if (!window) return;
    DiscardInputFor(window);
    EnumChildWindows(window, DiscardChildInput, 0);
}

intptr_t EventControl() {
    return EventControlValue;
}

HACCEL FindWindowAccelerators(HWND hwnd) {
    // A rich-edit control takes a plain Tab itself.
    if (IsKeyDown(VK_TAB) && !IsKeyDown(VK_CONTROL) && !IsKeyDown(VK_SHIFT) &&
        !IsKeyDown(VK_MENU)) {
        char name[CLASS_NAME_SIZE];
        ReadClassName(GetFocus(), name);
        if (ClassBeginsWith(name, "Rich")) return nullptr;
    }
    return WindowAccelerators(hwnd);
}

LRESULT CALLBACK WindowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = TranslateWindowMessage(hwnd, message, wParam, lParam);
    if (result == NOT_HANDLED) return DefWindowProcA(hwnd, message, wParam, lParam);
    return result;
}

// WM_NOTIFY from a common control.
static void TranslateNotification(const NMHDR* header) {
    if (!header) return;
    char name[CLASS_NAME_SIZE];
    ReadClassName(header->hwndFrom, name);
    const intptr_t control = static_cast<intptr_t>(header->idFrom);
    const UINT code = header->code;

    if (ClassBeginsWith(name, "SysT") || ClassBeginsWith(name, "SysL")) {
        switch (code) {
        case NM_CLICK: EventSubtype = SUB_LEFT_CLICK; break;
        case NM_DBLCLK: EventSubtype = SUB_LEFT_DOUBLE; break;
        case NM_RCLICK: EventSubtype = SUB_RIGHT_CLICK; break;
        case NM_RDBLCLK: EventSubtype = SUB_RIGHT_DOUBLE; break;
        case LVN_ITEMACTIVATE: EventSubtype = SUB_LEFT_DOUBLE; break;
        default: break;
        }
        // A subtype set by an earlier notification of the same dispatch counts too.
        if (EventSubtype != SUB_NONE || code == TVN_SELCHANGEDA || code == LVN_ITEMCHANGED) {
            RecordControlEvent(EV_CONTROL, control, EventSubtype);
            return;
        }
    }
    const bool dateChanged = ClassBeginsWith(name, "SysD") && code == DTN_DATETIMECHANGE;
    const bool monthChanged = ClassBeginsWith(name, "SysM") && code == MCN_SELCHANGE;
    if (dateChanged || monthChanged) {
        RecordControlEvent(EV_CONTROL, control);
    } else if (code == UDN_DELTAPOS) {
        RecordControlEvent(EV_CONTROL, control, reinterpret_cast<const NMUPDOWN*>(header)->iDelta);
    }
}

// WM_COMMAND from a control window.
static void TranslateControlCommand(HWND control, WPARAM wParam) {
    const intptr_t id = ControlIdOf(control);
    RecordControlEvent(EV_CONTROL, id, HIWORD(wParam));
    if (id == COMMAND_CONTROL_ID) RecordControlEvent(EV_COMMAND, LOWORD(wParam));

    char name[CLASS_NAME_SIZE];
    ReadClassName(control, name);
    if (ClassBeginsWith(name, "List")) {
        // A list box reports its selection as a left click and its double click
        // as it is; its other notifications (focus, cancel) are no events.
        if (EventSubtype == LBN_SELCHANGE) {
            EventSubtype = SUB_LEFT_CLICK;
        } else if (EventSubtype != LBN_DBLCLK) {
            PendingEvent = 0;
        }
    }
}

static LRESULT TranslateCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam) {
        TranslateControlCommand(reinterpret_cast<HWND>(lParam), wParam);
    } else if (HIWORD(wParam) == 0) {
        RecordControlEvent(EV_COMMAND, static_cast<intptr_t>(wParam));
    } else if (LOWORD(wParam) == CMD_FOCUS_NEXT) {
        FocusNextControl();
    } else if (LOWORD(wParam) == CMD_FOCUS_PREVIOUS) {
        FocusPreviousControl();
    } else {
        RecordControlEvent(EV_COMMAND, LOWORD(wParam));
    }
    return 0;
}

static void TranslatePointerEvent(WPARAM control, LPARAM mouseMessage) {
    PendingEvent = 0;
    EventControlValue = static_cast<intptr_t>(control);
    int32_t subtype;
    switch (mouseMessage) {
    case WM_LBUTTONUP: subtype = SUB_LEFT_CLICK; break;
    case WM_RBUTTONUP: subtype = SUB_RIGHT_CLICK; break;
    case WM_LBUTTONDBLCLK: subtype = SUB_LEFT_DOUBLE; break;
    case WM_RBUTTONDBLCLK: subtype = SUB_RIGHT_DOUBLE; break;
    default: return; // moves and presses are no events
    }
    RecordControlEvent(EV_POINTER, EventControlValue, subtype);
}

LRESULT TranslateWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A message that the emulated sizing consumed goes no further: neither the
    // rules below nor the system's own sizing loop may act on it as well.
    if (SizingFilter(hwnd, message, wParam, lParam) == 0) return 0;

    switch (message) {
    case UM_CONTROLEVENT:
        RecordControlEvent(EV_CONTROL, static_cast<intptr_t>(wParam), static_cast<int32_t>(lParam));
        return lParam;
    case WM_NOTIFY: TranslateNotification(reinterpret_cast<const NMHDR*>(lParam)); return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        // A window's own scroll bar sends no handle and so counts as control 0.
        RecordControlEvent(EV_CONTROL, lParam ? ControlIdOf(reinterpret_cast<HWND>(lParam)) : 0);
        return 0;
    case WM_COMMAND: return TranslateCommand(wParam, lParam);
    case UM_POINTEREVENT: TranslatePointerEvent(wParam, lParam); return 0;
    case UM_RELAYPOINTER:
        // Reported one message later, once the control's own handling is over.
        PostMessageA(hwnd, UM_POINTEREVENT, wParam, lParam);
        return 0;
    case WM_CLOSE:
        // Kept until WaitEvent returns it: the system and scripts close programs this
        // way, also while a message box is open, and a later notification must not
        // make it go. It never reaches DefWindowProcA: the program decides when to
        // close.
        KeepRequest(EV_CLOSE);
        return 0;
    case WM_ACTIVATE:
    case WM_SETFOCUS: return KeepFocus(hwnd, message, wParam);
    case WM_MOVE:
    case WM_SIZE:
        // EV_MOVE and EV_SIZE are the messages' own numbers.
        RecordEvent(static_cast<int32_t>(message));
        return 0;
    case WM_QUERYENDSESSION:
        if (SessionEndHandler) SessionEndHandler(false);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            KeepRequest(EV_ENDSESSION);
            if (SessionEndHandler) SessionEndHandler(true);
            // Sent, and handled inside GetMessageA, which does not return for it: a
            // posted message lets the waiting WaitEvent return the kept request.
            PostMessageA(hwnd, WM_NULL, 0, 0);
        }
        return 0;
    default: return NOT_HANDLED;
    }
}
