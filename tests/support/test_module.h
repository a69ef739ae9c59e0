// Helpers that set the system's module state up in a test program: the code
// under test is linked in statically, so the tests run start-up themselves.
#pragma once

#include <windows.h>

// Runs start-up with this program as the module instance; ModuleDetach on destruction.
class ModuleScope {
  public:
    ModuleScope();
    ~ModuleScope();
    ModuleScope(const ModuleScope&) = delete;
    ModuleScope& operator=(const ModuleScope&) = delete;
};

// Pumps this thread's messages until done() or the timeout; returns done().
template <class Done> bool PumpUntil(Done done, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return done();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Path of a file in the folder of this test program.
void PathBesideTests(const char* name, char (&out)[MAX_PATH]);
