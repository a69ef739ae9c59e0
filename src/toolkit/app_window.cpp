// Placeholder until the windows land.
#include "toolkit/app_window.h"
ObjectTable WindowTable;
void RegisterTemplateClass() {}
intptr_t OpenAppWindow(intptr_t, int, int, int, int, uint32_t, const char*) { return 0; }
HWND CurrentWindowHandle() { return nullptr; }
void CloseAppWindow(intptr_t) {}
void CloseAllWindows() {}
char* GetWindowCaption(intptr_t) { return nullptr; }
HWND AppWindowHandle(intptr_t) { return nullptr; }
