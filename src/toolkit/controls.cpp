#include "toolkit/controls.h"

#include <commctrl.h>

#include "runtime/module_state.h"
#include "runtime/scratch.h"
#include "toolkit/focus.h"

ObjectTable ControlTable;
HFONT DefaultControlFont = nullptr;
ControlCreation NextControl;

// Window that new controls are created in; set by SetControlParent.
static HWND ControlParentWindow = nullptr;
// Handed out by FindRecord for numbers that name no control; never written.
static const ControlRecord EmptyControlRecord = {};

void InitControlLayer() {
    ControlParentWindow = nullptr;
    NextControl = ControlCreation{};
    SetUpObjectTable(ControlTable, sizeof(ControlRecord), CONTROL_TABLE_CAPACITY,
                     &EmptyControlRecord);
    DefaultControlFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    InitCommonControls();
}

HWND SetControlParent(HWND parent) {
    ControlParentWindow = parent;
    return parent;
}

HWND ControlParent() {
    return ControlParentWindow;
}

// The record a number or identity resolves to: the live record, or the empty
// one, whose handle and operation table are null.
static const ControlRecord& ResolveControl(intptr_t control) {
    return *static_cast<const ControlRecord*>(FindRecord(ControlTable, control).record);
}

HWND ControlHandle(intptr_t control) {
    return ResolveControl(control).hwnd;
}

ControlRecord* AcquireControlRecord(intptr_t number) {
    if (number != AUTO_NUMBER) FreeControl(number);
    return static_cast<ControlRecord*>(AcquireRecord(ControlTable, number));
}

// The child-window id of a control: its number, or for a dynamic control the
// identity, so that a lookup by id finds the record either way.
static intptr_t ChildIdFor(intptr_t number, const ControlRecord* record) {
    return number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record) : number;
}

HWND CreateChildWindow(intptr_t number, DWORD style, DWORD exStyle, ControlRecord*& record) {
    record = AcquireControlRecord(number);
    if (!record) return nullptr;
    const intptr_t id = ChildIdFor(number, record);
    HWND hwnd =
        CreateWindowExA(exStyle, NextControl.className, NextControl.text, style, NextControl.x,
                        NextControl.y, NextControl.width, NextControl.height, ControlParentWindow,
                        reinterpret_cast<HMENU>(id), ModuleInstance, nullptr);
    if (!hwnd) {
        // A dynamic record that names no window would only linger in the list.
        if (number == AUTO_NUMBER) ReleaseRecord(ControlTable, id);
        record = nullptr;
        return nullptr;
    }
    // Creation runs the parent's window procedure, which may have created
    // controls of its own and moved the table: look the record up again.
    if (number != AUTO_NUMBER)
        record = static_cast<ControlRecord*>(AcquireRecord(ControlTable, number));
    return hwnd;
}

intptr_t CreateControlWindow(intptr_t number, DWORD style, DWORD exStyle) {
    ControlRecord* record = nullptr;
    HWND hwnd = CreateChildWindow(number, style, exStyle, record);
    if (!hwnd) return 0;
    record->hwnd = hwnd;
    record->ops = NextControl.ops;
    SubclassControl(record);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultControlFont), 1);
    return number == AUTO_NUMBER ? ChildIdFor(number, record) : reinterpret_cast<intptr_t>(hwnd);
}

void SubclassControl(ControlRecord* record) {
    // The record must hold the handle before ControlProc sees the first message.
    record->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(record->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const intptr_t id = GetWindowLongPtrA(hwnd, GWLP_ID);
    const ControlRecord& record = ResolveControl(id);
    if (!record.hwnd || !record.previousProc) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    // Read before the release: a dynamic record is freed by it.
    const WNDPROC previous = record.previousProc;
    if (message == WM_NCDESTROY) ReleaseRecord(ControlTable, id);
    if (message == WM_SETFOCUS) NoteFocus(hwnd);
    return CallWindowProcA(previous, hwnd, message, wParam, lParam);
}

void FreeControl(intptr_t control) {
    const ControlRecord& record = ResolveControl(control);
    if (!record.hwnd) return;
    if (record.ops && record.ops->Destroy) {
        record.ops->Destroy(record.hwnd);
    } else {
        // WM_NCDESTROY releases the record (ControlProc).
        DestroyWindow(record.hwnd);
    }
}

intptr_t DisableControl(intptr_t control, intptr_t state) {
    HWND hwnd = ControlHandle(control);
    if (!hwnd) return 0;
    if (state != 0) PassFocusOn(hwnd);
    return EnableWindow(hwnd, state == 0);
}

// Calls a class operation of the control with its window handle and the
// arguments; 0 when the number names no control or the class left the slot empty.
template <class Slot, class... Args>
static intptr_t Dispatch(intptr_t control, Slot ControlOps::*slot, Args... args) {
    const ControlRecord& record = ResolveControl(control);
    if (!record.ops || !(record.ops->*slot)) return 0;
    return (record.ops->*slot)(record.hwnd, args...);
}

intptr_t AddListColumn(intptr_t control, intptr_t position, const char* title, intptr_t width) {
    return Dispatch(control, &ControlOps::AddColumn, position, title ? title : "", width);
}

intptr_t AddRow(intptr_t control, intptr_t position, const char* text) {
    return Dispatch(control, &ControlOps::AddItem, position, text ? text : "");
}

intptr_t RemoveRow(intptr_t control, intptr_t row) {
    return Dispatch(control, &ControlOps::RemoveItem, row);
}

intptr_t CountRows(intptr_t control) {
    return Dispatch(control, &ControlOps::CountItems);
}

intptr_t GetRowState(intptr_t control, intptr_t row) {
    return Dispatch(control, &ControlOps::GetItemState, row);
}

const char* GetCellText(intptr_t control, intptr_t row, intptr_t column) {
    const intptr_t text = Dispatch(control, &ControlOps::GetItemText, row, column);
    return text ? reinterpret_cast<const char*>(text) : ScratchEmptyText();
}

intptr_t SetCellText(intptr_t control, intptr_t row, const char* text, intptr_t column) {
    return Dispatch(control, &ControlOps::SetItemText, row, text, column);
}
