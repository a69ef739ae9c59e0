// Placeholder until the control core lands.
#include "toolkit/controls.h"
ObjectTable ControlTable;
void InitControlLayer() {}
HWND SetControlParent(HWND parent) { return parent; }
intptr_t DisableControl(intptr_t, intptr_t) { return 0; }
intptr_t AddListColumn(intptr_t, intptr_t, const char*, intptr_t) { return 0; }
intptr_t AddRow(intptr_t, intptr_t, const char*) { return 0; }
intptr_t RemoveRow(intptr_t, intptr_t) { return 0; }
intptr_t CountRows(intptr_t) { return 0; }
intptr_t GetRowState(intptr_t, intptr_t) { return 0; }
const char* GetCellText(intptr_t, intptr_t, intptr_t) { return ""; }
intptr_t SetCellText(intptr_t, intptr_t, const char*, intptr_t) { return 0; }
