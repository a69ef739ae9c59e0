// Placeholder until focus cycling lands.
#include "toolkit/focus.h"
void FocusNextControl() {}
void FocusPreviousControl() {}
