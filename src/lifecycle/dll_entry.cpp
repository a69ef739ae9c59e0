// The module entry point of kelvor.dll.
#include <windows.h>

#include "lifecycle/module.h"

// Start-up and shutdown run here, on the loader's thread under the loader lock. The
// system's guidance for entry points advises against loading libraries and
// registering window classes under that lock; the library does both all the same,
// because it has no set-up export: attach is the only moment to make everything
// ready before the host can call Main, and detach the only one to tear it down.
// What it loads is a system library (psapi.dll, from the system folder where the
// system can restrict the search to it, else by the usual search order), and the
// classes are its own. Detach also acts on other processes: it resumes the ones
// that this module paused and that are still paused, so that none stays frozen
// when the library goes. Never wait here for another thread, whether on its handle,
// on an event it should set or through a message sent to its window: that thread
// may need the loader lock itself, and both would hang.
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
