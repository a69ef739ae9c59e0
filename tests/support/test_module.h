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

// Path of a file in the folder of this test program.
void PathBesideTests(const char* name, char (&out)[MAX_PATH]);
// True when this program's manifest asks for UTF-8 as its code page and the system
// does not give it (Windows before 10 version 1903): there the letters of other
// scripts come out as question marks by design, and tests of them are skipped.
bool SystemIgnoresUtf8CodePage();
