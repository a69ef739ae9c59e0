// The module entry point of kelvor.dll.
#include <windows.h>

#include "lifecycle/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Stored first: registering the template class during start-up uses it.
        ModuleInstance = instance;
        ModuleAttach();
        break;
    case DLL_PROCESS_DETACH:
        ModuleDetach();
        break;
    default: // thread notifications change nothing
        break;
    }
    return TRUE;
}
