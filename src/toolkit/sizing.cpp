// Placeholder until emulated sizing lands.
#include "toolkit/sizing.h"
#include "toolkit/event_pump.h"
LRESULT SizingFilter(HWND, UINT, WPARAM, LPARAM) { return NOT_HANDLED; }
void TrackSizingPoint(int, int) {}
void MoveToSizingRect(HWND, const RECT&) {}
void PlaceSizingCursor(int, int, int) {}
void StepSizing(HWND, int, int) {}
