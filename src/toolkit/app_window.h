// Numbered top-level windows. Each open window has its own window class
// ("WindowClass_<identity>", registered from the template class when it opens
// and unregistered when it closes), a Tab/Shift+Tab accelerator table and a
// record in the window table. Sizes given to OpenAppWindow are client sizes.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "toolkit/object_table.h"

// Flags of OpenAppWindow with a toolkit meaning; every other bit is a window style.
constexpr uint32_t WIN_SCREEN_CENTERED = 0x1;
constexpr uint32_t WIN_ACTIVE_CENTERED = 0x2;
constexpr uint32_t WIN_INVISIBLE = 0x10000000;

constexpr int WINDOW_TABLE_CAPACITY = 10;
constexpr int WINDOW_CAPTION_LIMIT = 32000;
constexpr const char* TEMPLATE_CLASS_NAME = "TemplateClass";

struct WindowRecord {
    HWND hwnd; // null while the record is free
    int32_t acceleratorCount;
    ACCEL* accelerators; // two entries in MainHeap
    HACCEL acceleratorTable;
    HWND focus; // the control that had the focus last (NoteFocus), or null
};

extern ObjectTable WindowTable;

// Zeroes the window state, sets up the window table and registers "TemplateClass"
// with the given window procedure, which every window's own class inherits.
void RegisterTemplateClass(WNDPROC windowProcedure);
// Opens a window; the handle for a number, the identity for AUTO_NUMBER, 0 on failure.
intptr_t OpenAppWindow(intptr_t number, int x, int y, int width, int height, uint32_t flags,
                       const char* title);
// The handle of the window most recently opened (kept after it closes).
HWND CurrentWindowHandle();
// Closes the window if it exists.
void CloseAppWindow(intptr_t window);
// Closes every open window: dynamic ones first, then numbers from the highest down.
void CloseAllWindows();
// Writes the caption at the scratch buffer's free end (at most 31999 characters, and no
// more than fits) and returns the new free end; empty for a window that does not exist.
char* GetWindowCaption(intptr_t window);
// Handle of a window by number or identity; null when it does not exist.
HWND AppWindowHandle(intptr_t window);
// The record of the open toolkit window with this handle; null for any other window.
WindowRecord* WindowRecordOf(HWND hwnd);
// The accelerator table of the toolkit window with this handle; null for any other window.
HACCEL WindowAccelerators(HWND hwnd);
