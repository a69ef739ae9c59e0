// Placeholder until process actions land.
#include "process/actions.h"
int32_t SuspendProcessThreads(uint32_t) { return 0; }
int32_t ResumeProcessThreads(uint32_t) { return 0; }
int32_t TerminateProcessById(uint32_t, uint32_t) { return 0; }
void EnablePrivilege(const char*) {}
