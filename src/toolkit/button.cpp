// Placeholder until buttons land.
#include "toolkit/button.h"
intptr_t CreateButton(intptr_t, int, int, int, int, const char*) { return 0; }
