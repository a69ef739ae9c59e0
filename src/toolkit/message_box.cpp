// Placeholder until the message box lands.
#include "toolkit/message_box.h"
int32_t ShowMessage(const char*, const char*, UINT) { return 0; }
