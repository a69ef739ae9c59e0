// The codes that the toolkit's windows, the event pump, focus cycling and the
// emulated sizing share: event codes and subtypes, private messages, accelerator
// commands and the "not handled" result. Includes nothing of the toolkit, so that
// any of its files can use them without depending on another.
#pragma once

#include <stdint.h>

// Event codes returned by WaitEvent.
constexpr int32_t EV_MOVE = 3;
constexpr int32_t EV_SIZE = 5;
constexpr int32_t EV_CLOSE = 16;
// The session ends (WM_ENDSESSION, when the system confirms the end).
constexpr int32_t EV_ENDSESSION = 22;
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
constexpr unsigned int UM_RELAYPOINTER = 12501;
constexpr unsigned int UM_POINTEREVENT = 12502;
constexpr unsigned int UM_CONTROLEVENT = 13103;

// Commands of every window's accelerator table.
constexpr uint16_t CMD_FOCUS_NEXT = 1212;
constexpr uint16_t CMD_FOCUS_PREVIOUS = 1213;

// Result of a message left to DefWindowProcA (an LRESULT).
constexpr intptr_t NOT_HANDLED = static_cast<intptr_t>(0xD0D0D0D1u);
// Control id whose WM_COMMAND is reported as EV_COMMAND.
constexpr intptr_t COMMAND_CONTROL_ID = -10000;
