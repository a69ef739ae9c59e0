// The task manager's window: its numbers, its list's columns and its layout.
#pragma once

#include <stdint.h>

// The main window's title, which the message boxes take too.
constexpr char MAIN_WINDOW_TITLE[] = "KELVOR - Task Manager";

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
constexpr intptr_t COL_STATUS = 4; // the last: main_window.cpp checks its columns up to it

// The File column's width; it gives up the vertical scroll bar's width while the
// list shows one.
constexpr int FILE_COLUMN_WIDTH = 150;

// Opens the main window with its list and four buttons; when the window cannot be
// opened nothing else is created (AppWindowHandle(WIN_MAIN) is then null).
void BuildMainWindow();
