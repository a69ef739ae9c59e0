#include "support/child_process.h"

#include <tlhelp32.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include "process/process_api.h"
#include "support/start_beside.h"
#include "support/test_module.h"
#include "support/wait.h"

// How long a quiet period lasts before the counters count as still.
constexpr DWORD QUIET_MS = 200;

ChildProcess::~ChildProcess() {
    Release();
}

bool ChildProcess::Start(const char* program, const char* arguments) {
    // The child's first argument is this process's id: it ends with this process.
    char line[MAX_PATH];
    snprintf(line, sizeof line, "%lu %s", GetCurrentProcessId(), arguments);
    process_ = StartBeside(program, line, &id_);
    return process_ != nullptr;
}

bool ChildProcess::StartAt(const wchar_t* path) {
    wchar_t line[2 * MAX_PATH];
    wsprintfW(line, L"\"%s\" %lu", path, GetCurrentProcessId());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(path, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = 0;
    if (!process_ || !GetExitCodeProcess(process_, &code)) return 0xFFFFFFFF;
    return code;
}

void ChildProcess::End() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
}

void ChildProcess::Release() {
    End();
    if (process_) CloseHandle(process_);
    process_ = nullptr;
}

bool ChildProcess::Forget(DWORD timeoutMs) {
    Release();
    // The system lets go of an ended process a little after its last handle closes.
    return WaitUntil(
        [&] {
            HANDLE again = OpenProcess(SYNCHRONIZE, FALSE, id_);
            if (again) CloseHandle(again);
            return again == nullptr;
        },
        timeoutMs);
}

CountingChild::~CountingChild() {
    child_.Release();
    if (board_) UnmapViewOfFile(board_);
    if (mapping_) CloseHandle(mapping_);
}

bool CountingChild::Start(int threads, DWORD lifetimeMs, unsigned extras) {
    char name[64];
    static int serial = 0;
    snprintf(name, sizeof(name), "kelvor-counters-%lu-%d", GetCurrentProcessId(), ++serial);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(CounterBoard), name);
    if (!mapping_) return false;
    board_ = static_cast<CounterBoard*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    if (!board_) return false;
    threads_ = threads;
    char arguments[128];
    snprintf(arguments, sizeof(arguments), "%s %d %lu%s%s%s", name, threads, lifetimeMs,
             extras & HELD_THREAD ? " held" : "", extras & ENDED_THREADS ? " ended" : "",
             extras & LIMITED_ACCESS ? " limited" : "");
    if (!child_.Start("counting_child.exe", arguments)) return false;
    if (!WaitUntil([&] { return board_->ready || child_.WaitForExit(0); }, 10000) ||
        !board_->ready) {
        return false;
    }
    return AllCount();
}

void CountingChild::Read(LONG (&out)[COUNTER_BOARD_MAX_THREADS]) const {
    for (int i = 0; i < COUNTER_BOARD_MAX_THREADS; ++i)
        out[i] = board_->counters[i];
}

bool CountingChild::AllCount(DWORD timeoutMs) const {
    LONG before[COUNTER_BOARD_MAX_THREADS];
    Read(before);
    return WaitUntil(
        [&] {
            int moved = 0;
            for (int i = 0; i < threads_; ++i)
                moved += board_->counters[i] != before[i];
            return moved == threads_;
        },
        timeoutMs);
}

bool CountingChild::SettlesStill(DWORD timeoutMs) const {
    LONG last[COUNTER_BOARD_MAX_THREADS];
    Read(last);
    DWORD stillSince = GetTickCount();
    return WaitUntil(
        [&] {
            LONG now[COUNTER_BOARD_MAX_THREADS];
            Read(now);
            const DWORD tick = GetTickCount();
            if (memcmp(now, last, sizeof(now)) != 0) {
                memcpy(last, now, sizeof(now));
                stillSince = tick;
            }
            return tick - stillSince >= QUIET_MS;
        },
        timeoutMs);
}

bool CountingChild::StaysStill(DWORD windowMs) const {
    LONG before[COUNTER_BOARD_MAX_THREADS];
    Read(before);
    // Still when no counter has moved by the end of the window.
    return !WaitUntil(
        [&] {
            LONG now[COUNTER_BOARD_MAX_THREADS];
            Read(now);
            return memcmp(before, now, sizeof(now)) != 0;
        },
        windowMs);
}

std::vector<DWORD> ThreadIdsOf(DWORD processId) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) ids.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

int SuspendCountOf(DWORD threadId) {
    // Read without touching the thread where the system can tell (Windows 8.1 and
    // later, Wine): a thread listed a moment ago may have ended, and its id passed
    // to a thread of another process. Older systems are asked by a suspension
    // undone at once, which leaves any thread as it was.
    static auto query = reinterpret_cast<NtQueryInformationThreadFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread) return -1;
    ULONG count = 0;
    int result = -1;
    if (query && query(thread, THREAD_SUSPEND_COUNT_CLASS, &count, sizeof count, nullptr) >= 0) {
        result = static_cast<int>(count);
    } else {
        DWORD previous = SuspendThread(thread);
        ResumeThread(thread);
        if (previous != static_cast<DWORD>(-1)) result = static_cast<int>(previous);
    }
    CloseHandle(thread);
    return result;
}

bool EveryThreadSuspended(DWORD processId, int times) {
    const std::vector<DWORD> threads = ThreadIdsOf(processId);
    for (DWORD thread : threads) {
        if (SuspendCountOf(thread) != times) return false;
    }
    return !threads.empty();
}

bool SuspendEveryThread(DWORD processId, bool suspend) {
    bool all = true;
    for (DWORD id : ThreadIdsOf(processId)) {
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
        all =
            all && thread && (suspend ? SuspendThread(thread) : ResumeThread(thread)) != DWORD(-1);
        if (thread) CloseHandle(thread);
    }
    return all;
}

SIZE_T SystemWorkingSet(HANDLE process) {
    // Taken from kernel32 by name: the test programs do not link psapi.dll.
    using MemoryInfoFn = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
    static auto memoryInfo = reinterpret_cast<MemoryInfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!memoryInfo || !memoryInfo(process, &counters, sizeof(counters))) return 0;
    return counters.WorkingSetSize;
}
