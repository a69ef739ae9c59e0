// Tab and Shift+Tab focus cycling among the active window's enabled, visible
// tab-stop controls.
#pragma once

void FocusNextControl();
void FocusPreviousControl();
