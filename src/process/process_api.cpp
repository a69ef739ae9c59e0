// Placeholder until the binding lands.
#include "process/process_api.h"
ProcessApiTable ProcessApi;
int BindProcessApi() { return 0; }
int ReleaseProcessApi() { return 0; }
