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
