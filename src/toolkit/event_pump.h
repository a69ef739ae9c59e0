// The event pump: WaitEvent takes one message, lets the active toolkit
// window's accelerators act, dispatches it and returns the event that the
// window procedure recorded, or the message's own identifier.
#pragma once

#include <windows.h>
#include <stdint.h>

// Event codes returned by WaitEvent.
constexpr int32_t EV_MOVE = 3;
constexpr int32_t EV_SIZE = 5;
constexpr int32_t EV_CLOSE = 16;
constexpr int32_t EV_CONTROL = 13100;
constexpr int32_t EV_COMMAND = 13101;
constexpr int32_t EV_POINTER = 13102;

// Event subtypes.
constexpr int32_t SUB_NONE = -1;
constexpr int32_t SUB_LEFT_CLICK = 0;
constexpr int32_t SUB_RIGHT_CLICK = 1;
constexpr int32_t SUB_LEFT_DOUBLE = 2;
constexpr int32_t SUB_RIGHT_DOUBLE = 3;

// Private messages every toolkit window accepts.
constexpr UINT UM_RELAYPOINTER = 12501;
constexpr UINT UM_POINTEREVENT = 12502;
constexpr UINT UM_CONTROLEVENT = 13103;

// Result of a message left to DefWindowProcA.
constexpr LRESULT NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);
// Control id whose WM_COMMAND is reported as EV_COMMAND.
constexpr intptr_t COMMAND_CONTROL_ID = -10000;

// Event state, written by the translation.
extern int32_t PendingEvent;       // last event recorded since WaitEvent last returned; 0 none
extern int32_t EventSubtype;       // SUB_NONE at the start of every WaitEvent
extern intptr_t EventControlValue; // control number or command of the last control event

// Resets the event state (called from RegisterTemplateClass).
void ResetEventState();
// Takes, translates and dispatches one message; returns its event code or its identifier.
int32_t WaitEvent();
// The control (or command) of the last control or command event; 0 before any.
intptr_t EventControl();
// The message that WaitEvent took from the queue last (for diagnostics).
const MSG& LastEventMessage();
LRESULT CALLBACK WindowClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TranslateWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Accelerator table of a toolkit window; null for other windows, and null while Tab
// alone is down in a control whose class begins with "Rich".
HACCEL FindWindowAccelerators(HWND hwnd);
