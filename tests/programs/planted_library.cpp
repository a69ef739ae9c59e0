// A library that the package test plants beside the launcher under the name of a
// system library that the system loads by name when the first window opens
// (uxtheme.dll). A process that loads it says so on its error output and ends at
// once with exit code 86: a launcher that takes a system library from its own
// folder fails visibly.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        static const char text[] = "the library planted beside the program was loaded\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, sizeof text - 1, &written, nullptr);
        TerminateProcess(GetCurrentProcess(), 86);
    }
    return TRUE;
}
