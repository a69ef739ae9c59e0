// Helpers for tests that put test functions into the binding table's slots.
#pragma once

#include <gtest/gtest.h>

#include "process/process_api.h"

#include <map>
#include <ostream>
#include <string>

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

// Empties the slots of the process-wide calls (NtSuspendProcess, NtResumeProcess,
// NtGetNextThread), as on a system without them: pauses, resumes and state reads
// then walk thread snapshots and open each thread by its id.
inline void UseSnapshotWalks() {
    ProcessApi.ntSuspendProcess = nullptr;
    ProcessApi.ntResumeProcess = nullptr;
    ProcessApi.ntGetNextThread = nullptr;
}

// The two ways pauses and resumes go, for tests that run both: by the process-wide
// calls, and by walks of thread snapshots (UseSnapshotWalks).
enum class Way { ProcessWide, SnapshotWalks };
inline const char* NameOf(Way way) {
    return way == Way::ProcessWide ? "ProcessWide" : "SnapshotWalks";
}
// The test's name suffix and GoogleTest's print of the parameter.
inline std::string WayName(const testing::TestParamInfo<Way>& way) {
    return NameOf(way.param);
}
inline void PrintTo(Way way, std::ostream* out) {
    *out << NameOf(way);
}

// A fake for the OpenThread slot: the thread ids in OpenThreadFailures fail to open
// (null, with the listed error) as many times as listed (-1: every time), the rest
// open with the real OpenThread and are counted in GrantedThreadOpens. The test
// fills both before it puts ScriptedOpenThread into the slot.
struct ThreadOpenFailure {
    DWORD error; // ERROR_ACCESS_DENIED: a refusal; ERROR_INVALID_PARAMETER: no such thread
    int times;
};
inline std::map<DWORD, ThreadOpenFailure> OpenThreadFailures;
inline volatile LONG GrantedThreadOpens = 0;
// Thread ids that open another thread instead (as when a thread ended and its id
// passed to a thread of another process), for as many times as listed.
struct ThreadOpenRedirect {
    DWORD otherThreadId;
    int times;
};
inline std::map<DWORD, ThreadOpenRedirect> OpenThreadRedirects;

inline HANDLE WINAPI ScriptedOpenThread(DWORD access, BOOL inherit, DWORD threadId) {
    auto redirect = OpenThreadRedirects.find(threadId);
    if (redirect != OpenThreadRedirects.end() && redirect->second.times != 0) {
        if (redirect->second.times > 0) --redirect->second.times;
        threadId = redirect->second.otherThreadId;
    }
    auto failure = OpenThreadFailures.find(threadId);
    if (failure != OpenThreadFailures.end() && failure->second.times != 0) {
        if (failure->second.times > 0) --failure->second.times;
        SetLastError(failure->second.error);
        return nullptr;
    }
    InterlockedIncrement(&GrantedThreadOpens);
    return OpenThread(access, inherit, threadId);
}
