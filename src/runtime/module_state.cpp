#include "runtime/module_state.h"

HINSTANCE ModuleInstance = nullptr;
HANDLE MainHeap = nullptr;
HANDLE ListHeap = nullptr;
