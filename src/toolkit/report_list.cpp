// Placeholder until the report list lands.
#include "toolkit/report_list.h"
intptr_t CreateListView(intptr_t, int, int, int, int, const char*, int, uint32_t) { return 0; }
void SetListRedraw(intptr_t, bool) {}
