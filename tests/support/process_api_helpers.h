// Helpers for tests that put test functions into the binding table's slots.
#pragma once

#include "process/process_api.h"

// Restores every slot of the binding table, as it was at construction, on destruction.
class SavedProcessApi {
  public:
    SavedProcessApi() : saved_(ProcessApi) {}
    ~SavedProcessApi() { ProcessApi = saved_; }
    SavedProcessApi(const SavedProcessApi&) = delete;
    SavedProcessApi& operator=(const SavedProcessApi&) = delete;
    const ProcessApiTable& saved() const { return saved_; }

  private:
    ProcessApiTable saved_;
};
