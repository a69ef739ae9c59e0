// Modal message box that keeps the calling thread's other windows disabled while it is up.
#pragma once

#include <windows.h>
#include <stdint.h>

// MessageBoxA's result (1 OK, 6 Yes, 7 No...), 0 when no box was shown.
int32_t ShowMessage(const char* title, const char* text, UINT flags = MB_OK);
// Disables and remembers the calling thread's visible, enabled top-level windows
// except the foreground window.
void DisableThreadWindows();
// Re-enables and forgets what DisableThreadWindows remembered for the calling thread.
void RestoreThreadWindows();
// The foreground window when it belongs to this process, else null.
HWND FindMessageOwner();
