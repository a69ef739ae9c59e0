#include "toolkit/message_box.h"

#include "runtime/module_state.h"
#include "runtime/text.h"

DynamicObjectList DisabledWindowList;

static BOOL CALLBACK DisableIfThreadWindow(HWND window, LPARAM) {
    const DWORD thread = GetCurrentThreadId();
    if (GetWindowThreadProcessId(window, nullptr) != thread || !IsWindowVisible(window) ||
        !IsWindowEnabled(window) || window == GetForegroundWindow()) {
        return TRUE;
    }
    // The node comes first: a window that could not be remembered would never
    // be enabled again.
    auto* node =
        static_cast<DisabledWindow*>(NewDynamicRecord(DisabledWindowList, sizeof(DisabledWindow)));
    if (!node) return TRUE;
    node->threadId = thread;
    node->window = window;
    EnableWindow(window, FALSE);
    return TRUE;
}

// The thread's windows are disabled here rather than by a task-modal box
// (MB_TASKMODAL): that flag acts only for a box without an owner and disables
// every top-level window of the thread; this walk spares the foreground window,
// which then owns the box (the system disables an owner for the box's time).
void DisableThreadWindows() {
    EnumWindows(DisableIfThreadWindow, 0);
}

HWND FindMessageOwner() {
    // Only a window of this thread: the box disables its owner, and disabling a
    // window of another thread waits on that thread, which may itself be waiting
    // for this one (a host blocked until Main returns).
    HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    return GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId() ? foreground
                                                                                 : nullptr;
}

// The first node of the calling thread, or null.
static DisabledWindow* FirstOfThread(DWORD thread) {
    for (DynamicNode* node = DisabledWindowList.head; node; node = node->next) {
        auto* entry = static_cast<DisabledWindow*>(RecordOfNode(node));
        if (entry->threadId == thread) return entry;
    }
    return nullptr;
}

void RestoreThreadWindows() {
    // Without ListHeap there are no nodes to walk (they went with it).
    if (!ListHeap) return;
    const DWORD thread = GetCurrentThreadId();
    // Each node is unlinked before its window hears WM_ENABLE, and the walk starts
    // over after it, so a handler that shows a message of its own cannot leave this
    // walk holding a freed node.
    while (DisabledWindow* entry = FirstOfThread(thread)) {
        HWND window = entry->window;
        DeleteDynamicRecord(DisabledWindowList, entry);
        EnableWindow(window, TRUE);
    }
}

// A box that a ShowMessage call has open: each call keeps its own on its stack for
// the box's life, linked to the call's around it (a box's loop may run another).
struct ShownBox {
    DWORD threadId;
    HWND box; // null until the box's window is created
    ShownBox* outer;
};
// The innermost box of the ShowMessage calls under way; null when none is.
static ShownBox* ShownBoxes;

// Sees the box's window created during MessageBoxA, on the calling thread: the
// first window of the system's dialog class is the innermost call's box.
static LRESULT CALLBACK NoteShownBox(int code, WPARAM wParam, LPARAM lParam) {
    ShownBox* shown = ShownBoxes;
    if (code == HCBT_CREATEWND && shown && !shown->box && shown->threadId == GetCurrentThreadId()) {
        char name[8] = "";
        HWND window = reinterpret_cast<HWND>(wParam);
        GetClassNameA(window, name, sizeof name);
        if (TextEquals(name, "#32770")) shown->box = window;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void EndMessageBoxes() {
    const DWORD thread = GetCurrentThreadId();
    for (ShownBox* shown = ShownBoxes; shown; shown = shown->outer) {
        if (shown->threadId == thread && shown->box) EndDialog(shown->box, 0);
    }
}

int32_t ShowMessage(const char* title, const char* text, UINT flags) {
    const DWORD thread = GetCurrentThreadId();
    ShownBox shown = {thread, nullptr, ShownBoxes};
    ShownBoxes = &shown;
    HHOOK hook = SetWindowsHookExA(WH_CBT, NoteShownBox, nullptr, thread);
    DisableThreadWindows();
    // After the disabling, which spared the foreground window.
    HWND owner = FindMessageOwner();
    const int32_t result = MessageBoxA(owner, text, title, flags);
    RestoreThreadWindows();
    if (hook) UnhookWindowsHookEx(hook);
    ShownBoxes = shown.outer;
    return result;
}
