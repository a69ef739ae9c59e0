// Launcher: loads kelvor.dll from its own folder and runs its Main export.
// Exits with 0 when Main returned 1; otherwise says what happened and exits non-zero.
#include <windows.h>
#include <stdio.h>

using MainFn = int (*)();

int main() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        fprintf(stderr, "kelvor-host: cannot find its own folder\n");
        return 3;
    }
    char* slash = strrchr(path, '\\');
    if (slash) slash[1] = '\0';
    if (strlen(path) + sizeof("kelvor.dll") > sizeof(path)) {
        fprintf(stderr, "kelvor-host: folder name too long\n");
        return 3;
    }
    strcat(path, "kelvor.dll");

    HMODULE library = LoadLibraryA(path);
    if (!library) {
        fprintf(stderr, "kelvor-host: cannot load %s (error %lu)\n", path, GetLastError());
        return 2;
    }
    auto run = reinterpret_cast<MainFn>(reinterpret_cast<void*>(GetProcAddress(library, "Main")));
    if (!run) {
        fprintf(stderr, "kelvor-host: %s has no export named Main\n", path);
        FreeLibrary(library);
        return 2;
    }
    int result = run();
    FreeLibrary(library);
    if (result != 1) {
        fprintf(stderr, "kelvor-host: Main returned %d\n", result);
        return 1;
    }
    return 0;
}
