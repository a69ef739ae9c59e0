// Starting a program that stands beside the running one: the tests' children and
// the benchmarks'. Header only, so that the benchmarks use it without the tests'
// support library.
#pragma once

#include <windows.h>
#include <stdio.h>
#include <string.h>

// Starts program from this program's folder with the given arguments; gives its
// process handle and id, or null when it cannot be started.
inline HANDLE StartBeside(const char* program, const char* arguments, DWORD* id) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    char* slash = strrchr(path, '\\');
    if (!slash || static_cast<size_t>(slash + 1 - path) + strlen(program) >= MAX_PATH)
        return nullptr;
    strcpy(slash + 1, program);
    char commandLine[2 * MAX_PATH + 64];
    wsprintfA(commandLine, "\"%s\" %s", path, arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Under Wine a start can fail for a moment while hundreds of processes start:
    // two more tries tell a passing shortage from a lasting one; each failure is told.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            break;
        }
        fprintf(stderr, "starting %s failed (attempt %d, error %lu)\n", program, attempt,
                GetLastError());
        if (attempt == 3) return nullptr;
        Sleep(250);
    }
    CloseHandle(info.hThread);
    if (id) *id = info.dwProcessId;
    return info.hProcess;
}

// True on 64-bit Windows, where this program may itself run through WoW64.
inline bool SystemIs64Bit() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// False on a 64-bit system without its 32-bit subsystem (a server installed without
// WoW64, or Wine without its 32-bit loader): its own 32-bit command prompt does not
// start there.
inline bool SystemRuns32BitPrograms() {
    char folder[MAX_PATH];
    const UINT n = GetSystemWow64DirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 20) return !SystemIs64Bit();
    char line[MAX_PATH + 20];
    wsprintfA(line, "\"%s\\cmd.exe\" /c exit", folder);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}
