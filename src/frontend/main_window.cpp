#include "frontend/main_window.h"

#include <windows.h>

#include "toolkit/app_window.h"
#include "toolkit/button.h"
#include "toolkit/controls.h"
#include "toolkit/report_list.h"

constexpr int MAIN_X = 216;
constexpr int MAIN_Y = 0;
constexpr int MAIN_WIDTH = 600;
constexpr int MAIN_HEIGHT = 300;
// A title bar with the system menu and a minimize box: no maximize box, no sizing border.
constexpr uint32_t MAIN_FLAGS = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Grid lines and full-row selection; one selected row at most.
constexpr uint32_t LIST_FLAGS = LIST_GRIDLINES | LIST_FULLROWSELECT;

// The list's columns, indexed by COL_*: title and width. The list is created with
// the first; each further one is appended after it.
struct Column {
    intptr_t number; // its COL_ number, which is its place in COLUMNS
    const char* title;
    int width;
};
constexpr Column COLUMNS[] = {
    {COL_NAME, "Name", 120},    {COL_HANDLE, "Handle", 80}, {COL_FILE, "File", FILE_COLUMN_WIDTH},
    {COL_MEMORY, "Memory", 80}, {COL_STATUS, "Status", 50},
};
constexpr intptr_t COLUMN_COUNT = sizeof COLUMNS / sizeof COLUMNS[0];

// True when each entry stands at its own number.
constexpr bool EachColumnAtItsNumber() {
    for (intptr_t i = 0; i < COLUMN_COUNT; ++i) {
        if (COLUMNS[i].number != i) return false;
    }
    return true;
}
static_assert(EachColumnAtItsNumber() && COLUMN_COUNT == COL_STATUS + 1,
              "COLUMNS holds the columns in the order of their numbers, from 0 to COL_STATUS");

constexpr int BUTTON_X = 505;
constexpr int BUTTON_WIDTH = 80;
constexpr int BUTTON_HEIGHT = 25;

void BuildMainWindow() {
    if (!OpenAppWindow(WIN_MAIN, MAIN_X, MAIN_Y, MAIN_WIDTH, MAIN_HEIGHT, MAIN_FLAGS,
                       MAIN_WINDOW_TITLE)) {
        return;
    }
    if (!SetControlParent(CurrentWindowHandle())) return;

    CreateListView(LIST_PROCESSES, 5, 5, 485, 290, COLUMNS[COL_NAME].title, COLUMNS[COL_NAME].width,
                   LIST_FLAGS);
    // A column's position is one past the last (1-based), so each is appended.
    for (intptr_t column = COL_NAME + 1; column < COLUMN_COUNT; ++column) {
        AddListColumn(LIST_PROCESSES, column + 1, COLUMNS[column].title, COLUMNS[column].width);
    }

    CreateButton(BTN_PAUSE, BUTTON_X, 55, BUTTON_WIDTH, BUTTON_HEIGHT, "PAUSE    |  |");
    CreateButton(BTN_RESUME, BUTTON_X, 90, BUTTON_WIDTH, BUTTON_HEIGHT, "RESUME   >>");
    CreateButton(BTN_KILL, BUTTON_X, 125, BUTTON_WIDTH, BUTTON_HEIGHT, "KILL     [ X ]");
    CreateButton(BTN_LIST, BUTTON_X, 265, BUTTON_WIDTH, BUTTON_HEIGHT, "LIST      ...");
}
