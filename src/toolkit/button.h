// Push buttons.
#pragma once

#include <stdint.h>

// An enabled push button showing text; clicks raise EV_CONTROL with its number.
// The handle for a number, the identity for AUTO_NUMBER, 0 on failure.
intptr_t CreateButton(intptr_t number, int x, int y, int width, int height, const char* text);
