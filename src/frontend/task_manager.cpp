// Until the window lands, Main shows that the library started and returns.
#include "frontend/task_manager.h"
#include "lifecycle/module.h"
void BuildMainWindow() {}
extern "C" int Main() { return ModuleReady() ? 1 : 0; }
