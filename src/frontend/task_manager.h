// The task manager's window and its event loop.
#pragma once

#include <stdint.h>

constexpr intptr_t WIN_MAIN = 0;
constexpr intptr_t LIST_PROCESSES = 0;
constexpr intptr_t BTN_PAUSE = 1;
constexpr intptr_t BTN_RESUME = 2;
constexpr intptr_t BTN_KILL = 3;
constexpr intptr_t BTN_LIST = 4;

constexpr intptr_t COL_NAME = 0;
constexpr intptr_t COL_HANDLE = 1;
constexpr intptr_t COL_FILE = 2;
constexpr intptr_t COL_MEMORY = 3;
constexpr intptr_t COL_STATUS = 4;

// Opens the main window with its list and four buttons.
void BuildMainWindow();
// The LIST command: removes every row, then adds one "RUN" row per process of a
// fresh snapshot, with the list's repainting held until the end.
void ListProcesses();
// The exported entry: runs the window until it is closed and returns 1; 0 when
// the module did not start or the window cannot be built.
extern "C" int Main();
