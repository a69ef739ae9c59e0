// Helpers for tests that put test functions into the binding table's slots.
#pragma once

#include "process/process_api.h"

// Restores every slot of the binding table, as it was at construction, on destruction;
// only the process-id buffer stays as it is then (a snapshot may have replaced it).
class SavedProcessApi {
  public:
    SavedProcessApi() : saved_(ProcessApi) {}
    ~SavedProcessApi() {
        DWORD* buffer = ProcessApi.processIdBuffer;
        DWORD size = ProcessApi.processIdBufferSize;
        ProcessApi = saved_;
        ProcessApi.processIdBuffer = buffer;
        ProcessApi.processIdBufferSize = size;
    }
    SavedProcessApi(const SavedProcessApi&) = delete;
    SavedProcessApi& operator=(const SavedProcessApi&) = delete;
    const ProcessApiTable& saved() const { return saved_; }

  private:
    ProcessApiTable saved_;
};
