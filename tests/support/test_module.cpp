#include "support/test_module.h"

#include <string.h>

#include "lifecycle/module.h"

ModuleScope::ModuleScope() {
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
}

ModuleScope::~ModuleScope() {
    ModuleDetach();
}

void PathBesideTests(const char* name, char (&out)[MAX_PATH]) {
    DWORD n = GetModuleFileNameA(nullptr, out, MAX_PATH);
    out[n < MAX_PATH ? n : MAX_PATH - 1] = '\0';
    char* slash = strrchr(out, '\\');
    if (slash) slash[1] = '\0';
    strncat(out, name, MAX_PATH - strlen(out) - 1);
}
