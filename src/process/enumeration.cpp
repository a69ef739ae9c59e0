// Placeholder until enumeration lands.
#include "process/enumeration.h"
int32_t SnapshotProcessIds() { return 0; }
int32_t NextProcessEntry() { return 0; }
uint32_t EntryProcessId() { return 0; }
const char* EntryProcessName() { return ""; }
const char* EntryProcessPath() { return ""; }
uint32_t EntryWorkingSet() { return 0; }
