// The control core: numbered child controls, the per-class operation table
// (ControlOps) and the operations that dispatch through it, and the window
// procedure installed on every control.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "toolkit/object_table.h"

constexpr int CONTROL_TABLE_CAPACITY = 30;

// One per class; an empty slot makes its dispatch return 0 or an empty text.
// Every operation gets the control's window handle first.
struct ControlOps {
    intptr_t (*Destroy)(HWND);
    intptr_t (*GetState)(HWND);
    intptr_t (*SetState)(HWND, intptr_t state);
    intptr_t (*GetText)(HWND); // a char* into the scratch buffer
    intptr_t (*SetText)(HWND, const char* text);
    intptr_t (*AddItem)(HWND, intptr_t position, const char* text);
    intptr_t (*AddItemWithImage)(HWND, intptr_t position, const char* text, HANDLE image);
    intptr_t (*RemoveItem)(HWND, intptr_t row);
    intptr_t (*ClearItems)(HWND);
    void* reserved10;
    intptr_t (*CountItems)(HWND);
    intptr_t (*GetItemState)(HWND, intptr_t row);
    intptr_t (*SetItemState)(HWND, intptr_t row, intptr_t state);
    intptr_t (*GetItemText)(HWND, intptr_t row, intptr_t column); // a char* into the scratch buffer
    intptr_t (*SetItemText)(HWND, intptr_t row, const char* text, intptr_t column);
    void* reserved16to21[6];
    intptr_t (*AddColumn)(HWND, intptr_t position, const char* title, intptr_t width);
    intptr_t (*RemoveColumn)(HWND, intptr_t column);
    void* reserved24to27[4];
};
static_assert(sizeof(ControlOps) == 27 * sizeof(void*), "ControlOps has 27 slots");

struct ControlRecord {
    HWND hwnd; // null when the record names no live control
    const ControlOps* ops;
    WNDPROC previousProc;
};

extern ObjectTable ControlTable;
// Font given to every new control.
extern HFONT DefaultControlFont;

// Creation parameters that a class creator sets before CreateControlWindow.
struct ControlCreation {
    const char* className;
    const char* text;
    int x, y, width, height;
    const ControlOps* ops;
};
extern ControlCreation NextControl;

// Resets the control layer, sets up the control table, fetches the default
// font and initialises the common controls.
void InitControlLayer();
// Parent of the controls created from now on; returns the handle unchanged.
HWND SetControlParent(HWND parent);
HWND ControlParent();
// The record for a new control: AUTO_NUMBER gives a dynamic record; a number
// frees the control that bears it first. Null when no record can be had.
ControlRecord* AcquireControlRecord(intptr_t number);
// Creates the control described by NextControl; the handle for a number, the
// identity for AUTO_NUMBER, 0 on failure.
intptr_t CreateControlWindow(intptr_t number, DWORD style, DWORD exStyle);
// The first half of a creation: the record (through AcquireControlRecord) and
// the window of class NextControl.className in the control parent, its child id
// the number or, for AUTO_NUMBER, the identity. Null when either cannot be had;
// a dynamic record is then released again. The record is not filled.
HWND CreateChildWindow(intptr_t number, DWORD style, DWORD exStyle, ControlRecord*& record);
// Installs ControlProc on the record's window, keeping the replaced procedure.
// The record must already hold the window handle.
void SubclassControl(ControlRecord* record);
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Destroys the control if the number names one.
void FreeControl(intptr_t control);
// State 0 enables the control; any other disables it, and first passes the keyboard
// focus on to the next candidate if the control has it (PassFocusOn). EnableWindow's
// result.
intptr_t DisableControl(intptr_t control, intptr_t state);
// The control's window handle; null when it names no control.
HWND ControlHandle(intptr_t control);

// Dispatch operations; an empty slot gives 0 or an empty text.
intptr_t AddListColumn(intptr_t control, intptr_t position, const char* title, intptr_t width);
intptr_t AddRow(intptr_t control, intptr_t position, const char* text);
intptr_t RemoveRow(intptr_t control, intptr_t row);
intptr_t CountRows(intptr_t control);
intptr_t GetRowState(intptr_t control, intptr_t row);
const char* GetCellText(intptr_t control, intptr_t row, intptr_t column);
intptr_t SetCellText(intptr_t control, intptr_t row, const char* text, intptr_t column);
