// The event pump: WaitEvent takes one message, lets the active toolkit
// window's accelerators act, dispatches it and returns the event that the
// window procedure recorded, or the message's own identifier.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "toolkit/messages.h"

// Event state, written by the translation.
extern int32_t PendingEvent;       // last event recorded since WaitEvent last returned; 0 none
extern int32_t EventSubtype;       // SUB_NONE at the start of every WaitEvent
extern intptr_t EventControlValue; // control number or command of the last control event

// Resets the event state (called at start-up).
void ResetEventState();
// Takes, translates and dispatches one message; returns its event code or its identifier.
int32_t WaitEvent();
// The control (or command) of the last control or command event; 0 before any.
intptr_t EventControl();
// The message that WaitEvent took from the queue last (for diagnostics).
const MSG& LastEventMessage();
LRESULT CALLBACK WindowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TranslateWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The accelerators that WaitEvent applies for a window: the toolkit window's own
// table (null for other windows), but null while Tab alone is down in a control
// whose class begins with "Rich", which takes a plain Tab itself.
HACCEL FindWindowAccelerators(HWND hwnd);
