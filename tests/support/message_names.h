// Names of window messages and event codes, so that a failing test says
// "WM_NOTIFY" or "EV_CONTROL" rather than 78 or 13100.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>

// The message's name, or null when the table does not know it.
const char* MessageName(UINT message);
// The name, or the number in decimal and hexadecimal.
std::string DescribeMessage(UINT message);
// An event code's name (EV_...), else as DescribeMessage.
std::string DescribeEvent(int32_t code);
