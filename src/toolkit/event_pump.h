// The event pump: WaitEvent takes one message, lets the active toolkit
// window's accelerators act, dispatches it and returns the event that the
// window procedure recorded, or the message's own identifier.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "toolkit/messages.h"

// Event state, written by the translation.
extern int32_t PendingEvent;       // last event recorded since WaitEvent last returned (a
                                   // close request and a session end are kept apart); 0 none
extern int32_t EventSubtype;       // SUB_NONE at the start of every WaitEvent
extern intptr_t EventControlValue; // control number or command of the last control event

// Called when the system asks whether the session may end (WM_QUERYENDSESSION,
// confirmed false), before the toolkit's window answers yes, and when it says that
// the session ends (WM_ENDSESSION with TRUE, confirmed true), before the window's
// handling returns: the moments to put things in order without asking, since the
// system may end the process as soon as either returns, whatever box is open. A
// confirmed end may come without the question first. Null for none; set by the
// program.
extern void (*SessionEndHandler)(bool confirmed);

// Resets the event state (called at start-up, and by a program before it opens its
// window, so that no request of an earlier window is left). Cannot fail.
void ResetEventState();
// Waits for one message of the calling thread (GetMessageA), applies the active
// window's accelerators, dispatches it and returns the event that its handling
// recorded (the last one when several were), else the message's own identifier.
// WM_QUIT is returned as its identifier like any message that records nothing.
// A close request (EV_CLOSE) and a confirmed session end (EV_ENDSESSION) are kept
// until returned, never lost: after an event that the same dispatch recorded, or,
// for one that came while no WaitEvent ran (under a message box's own loop), by the
// next WaitEvent at once.
int32_t WaitEvent();
// Removes, unhandled, the keys and the mouse input waiting in the calling thread's
// queue for the window and its controls: what the user aimed while a long command
// ran, at a window that the command has changed under it since. The system keys
// (Alt+F4, Alt+Space, Alt+Tab), the caption's mouse input and the input of the
// thread's other windows stay. Cannot fail.
void DiscardQueuedInput(HWND window);
// The control (or command) of the last control or command event; 0 before any.
intptr_t EventControl();
// The message that WaitEvent took from the queue last (for diagnostics); all zero
// before the first.
const MSG& LastEventMessage();
// The window procedure of every toolkit window: TranslateWindowMessage, and
// DefWindowProcA for what it leaves (NOT_HANDLED).
LRESULT CALLBACK WindowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Records the event that a message to a toolkit window stands for (close, move,
// size, control notifications, pointer and private messages) and returns the
// message's result, or NOT_HANDLED for one that the default procedure must handle.
LRESULT TranslateWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The accelerators that WaitEvent applies for a window: the toolkit window's own
// table (null for other windows), but null while Tab alone is down in a control
// whose class begins with "Rich", which takes a plain Tab itself.
HACCEL FindWindowAccelerators(HWND hwnd);
