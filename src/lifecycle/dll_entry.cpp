// The module entry point of kelvor.dll.
#include <windows.h>

#include "lifecycle/module.h"

// Start-up and shutdown run here, on the loader's thread under the loader lock, by
// design: the library has no set-up export, so attach is where everything is made
// ready before the host can call Main, and detach is the one moment to tear it
// down. What they do is safe under the lock: heaps, loading system libraries,
// window classes, destroying windows. Never wait here for another thread, whether
// on its handle, on an event it should set or through a message sent to its window:
// that thread may need the loader lock itself, and both would hang.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Stored first: registering the template class during start-up uses it.
        ModuleInstance = instance;
        ModuleAttach();
        break;
    // Not null when the whole process ends rather than the library being freed.
    case DLL_PROCESS_DETACH: ModuleDetach(reserved != nullptr); break;
    default: // thread notifications change nothing
        break;
    }
    return TRUE;
}
