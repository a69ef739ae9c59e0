// Placeholder until the event pump lands.
#include "toolkit/event_pump.h"
int32_t WaitEvent() { return 0; }
intptr_t EventControl() { return 0; }
