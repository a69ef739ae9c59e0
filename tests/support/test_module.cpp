#include "support/test_module.h"

#include <string.h>

#include <string>

#include "lifecycle/module.h"

ModuleScope::ModuleScope() {
    ModuleInstance = GetModuleHandleA(nullptr);
    ModuleAttach();
}

ModuleScope::~ModuleScope() {
    ModuleDetach();
}

bool SystemIgnoresUtf8CodePage() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const void* manifest = found ? LockResource(LoadResource(nullptr, found)) : nullptr;
    if (!manifest) return false;
    const std::string text(static_cast<const char*>(manifest), SizeofResource(nullptr, found));
    return text.find(">UTF-8</activeCodePage>") != std::string::npos && GetACP() != CP_UTF8;
}

void PathBesideTests(const char* name, char (&out)[MAX_PATH]) {
    DWORD n = GetModuleFileNameA(nullptr, out, MAX_PATH);
    out[n < MAX_PATH ? n : MAX_PATH - 1] = '\0';
    char* slash = strrchr(out, '\\');
    if (slash) slash[1] = '\0';
    strncat(out, name, MAX_PATH - strlen(out) - 1);
}
