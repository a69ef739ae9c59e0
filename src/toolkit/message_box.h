// Modal message box that keeps the calling thread's other windows disabled while it is up.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "toolkit/object_table.h"

// A window that a ShowMessage call disabled, with the thread that made the call.
struct DisabledWindow {
    DWORD threadId;
    HWND window;
};
// Nodes in ListHeap; between calls on a thread it holds none of that thread.
extern DynamicObjectList DisabledWindowList;

// MessageBoxA's result (1 OK, 6 Yes, 7 No...), 0 when no box was shown.
int32_t ShowMessage(const char* title, const char* text, UINT flags = MB_OK);
// Ends every box that a ShowMessage call of the calling thread has open, unanswered:
// each such call returns 0 once its box's loop sees the end (at its next message).
// Any other dialog of the thread (the host program's own) is left as it is. For an
// end that leaves no time for answers, such as the session's.
void EndMessageBoxes();
// Disables and remembers the calling thread's visible, enabled top-level windows
// except the foreground window. A window for which no node can be had is left enabled.
void DisableThreadWindows();
// Re-enables and forgets what DisableThreadWindows remembered for the calling thread.
void RestoreThreadWindows();
// The foreground window when it belongs to the calling thread, else null.
HWND FindMessageOwner();
