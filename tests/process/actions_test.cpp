#include <gtest/gtest.h>

#include <stdio.h>

#include <vector>

#include "process/actions.h"
#include "process/process_api.h"
#include "support/child_process.h"
#include "support/process_api_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"

namespace {

constexpr int COUNTING_THREADS = 4;
// How long counters must stand still to show that a process stays paused.
constexpr DWORD STILL_WINDOW_MS = 300;

// Every thread of the process has the given suspend count.
void ExpectSuspendCounts(DWORD processId, int expected) {
    std::vector<DWORD> threads = ThreadIdsOf(processId);
    ASSERT_GT(threads.size(), static_cast<size_t>(COUNTING_THREADS));
    for (DWORD thread : threads)
        EXPECT_EQ(SuspendCountOf(thread), expected) << "thread " << thread;
}

// A child that has ended while the test holds its handle: until the ChildProcess
// lets go, the id cannot pass to another process. (Windows gives a freed id to a
// new process within seconds: a test that acted on it could pause or kill a
// process of the user's.)
DWORD EndedChildId(ChildProcess& child) {
    if (!child.Start("idle_child.exe")) return 0;
    child.End();
    return child.id();
}

// An id that no process can be opened by, whatever runs: OpenProcess refuses id 0
// (the system's idle process on Windows, no process under Wine).
constexpr DWORD UNOPENABLE_ID = 0;

// Counts until told to stop: a thread of this process that must keep running.
volatile LONG ticks = 0;
volatile LONG stopTicking = 0;
DWORD WINAPI Tick(void*) {
    while (!stopTicking) {
        InterlockedIncrement(&ticks);
        Sleep(1);
    }
    return 0;
}

} // namespace

// The module started, as the DLL starts it.
class PauseResume : public ::testing::Test {
  protected:
    ModuleScope module;
};
class Kill : public PauseResume {};

// The module started, the binding table saved (a test may put fakes in its slots)
// and a child whose threads all count.
class PausingAChild : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(child.Start(COUNTING_THREADS)); }
    ModuleScope module;
    SavedProcessApi saved;
    CountingChild child;
};

TEST_F(PausingAChild, PauseStopsEveryThreadAndResumeRestartsThem) {

    EXPECT_EQ(SuspendProcessThreads(child.id()), 1);
    EXPECT_TRUE(child.SettlesStill());
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));
    ExpectSuspendCounts(child.id(), 1);

    EXPECT_EQ(ResumeProcessThreads(child.id()), 1);
    EXPECT_TRUE(child.AllCount());
    ExpectSuspendCounts(child.id(), 0);
}

TEST_F(PausingAChild, TwoPausesNeedTwoResumes) {

    EXPECT_EQ(SuspendProcessThreads(child.id()), 1);
    EXPECT_EQ(SuspendProcessThreads(child.id()), 1);
    ExpectSuspendCounts(child.id(), 2);
    EXPECT_EQ(ResumeProcessThreads(child.id()), 1);
    ExpectSuspendCounts(child.id(), 1);
    EXPECT_TRUE(child.SettlesStill());
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));

    EXPECT_EQ(ResumeProcessThreads(child.id()), 1);
    EXPECT_TRUE(child.AllCount());
}

TEST_F(PauseResume, EndedProcessGivesZero) {
    ChildProcess held;
    const DWORD id = EndedChildId(held);
    ASSERT_NE(id, 0u);
    // Its threads have gone with it: there is nothing to suspend or resume.
    EXPECT_EQ(SuspendProcessThreads(id), 0);
    EXPECT_EQ(ResumeProcessThreads(id), 0);
}

TEST_F(PauseResume, OwnProcessIsNeverPaused) {
    // A second thread of this process that must keep running.
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, Tick, nullptr, 0, &workerId);
    ASSERT_NE(worker, nullptr);

    EXPECT_EQ(SuspendProcessThreads(GetCurrentProcessId()), 0);
    LONG before = ticks;
    EXPECT_TRUE(WaitUntil([&] { return ticks > before + 10; }));
    EXPECT_EQ(SuspendCountOf(workerId), 0);

    // Resuming this process is harmless: its threads are not suspended.
    EXPECT_EQ(ResumeProcessThreads(GetCurrentProcessId()), 1);
    EXPECT_EQ(SuspendCountOf(workerId), 0);

    stopTicking = 1;
    EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
    CloseHandle(worker);
}

TEST_F(PausingAChild, MissingToolHelpEntryPointRefusesAndTouchesNothing) {
    struct Slot {
        const char* name;
        void (*clear)();
    } slots[] = {
        {"CreateToolhelp32Snapshot", [] { ProcessApi.createToolhelp32Snapshot = nullptr; }},
        {"Thread32First", [] { ProcessApi.thread32First = nullptr; }},
        {"Thread32Next", [] { ProcessApi.thread32Next = nullptr; }},
        {"OpenThread", [] { ProcessApi.openThread = nullptr; }},
    };
    for (const Slot& slot : slots) {
        SCOPED_TRACE(slot.name);
        SavedProcessApi saved;
        slot.clear();
        EXPECT_EQ(SuspendProcessThreads(child.id()), 0);
        EXPECT_EQ(ResumeProcessThreads(child.id()), 0);
        ExpectSuspendCounts(child.id(), 0);
    }
    EXPECT_TRUE(child.AllCount());
}

TEST_F(PausingAChild, ThreadsThatDoNotOpen) {
    const DWORD last = ThreadIdsOf(child.id()).back();
    ProcessApi.openThread = ScriptedOpenThread;

    // A thread that looks gone for a moment is no refusal: a later walk suspends it.
    OpenThreadFailures = {{last, {ERROR_INVALID_PARAMETER, 1}}};
    EXPECT_EQ(SuspendProcessThreads(child.id()), 1);
    ExpectSuspendCounts(child.id(), 1);
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));

    // A resume that reaches no thread fails and changes nothing.
    for (DWORD thread : ThreadIdsOf(child.id()))
        OpenThreadFailures[thread] = {ERROR_ACCESS_DENIED, -1};
    EXPECT_EQ(ResumeProcessThreads(child.id()), 0);
    ExpectSuspendCounts(child.id(), 1);
    OpenThreadFailures.clear();
    EXPECT_EQ(ResumeProcessThreads(child.id()), 1);
    ExpectSuspendCounts(child.id(), 0);

    // Listed in every walk but never opened: the pause cannot settle, so it gives up
    // and resumes the threads it suspended.
    OpenThreadFailures = {{last, {ERROR_INVALID_PARAMETER, -1}}};
    GrantedThreadOpens = 0;
    EXPECT_EQ(SuspendProcessThreads(child.id()), 0);
    EXPECT_GT(GrantedThreadOpens, 0) << "no other thread was suspended first";
    ExpectSuspendCounts(child.id(), 0);
    EXPECT_TRUE(child.AllCount());
}

TEST_F(Kill, EndsTheProcessWithTheExitCode) {
    for (uint32_t exitCode : {0u, 42u}) {
        ChildProcess child;
        ASSERT_TRUE(child.Start("idle_child.exe"));
        EXPECT_NE(TerminateProcessById(child.id(), exitCode), 0);
        ASSERT_TRUE(child.WaitForExit(5000));
        EXPECT_EQ(child.ExitCode(), exitCode);
    }
}

TEST_F(Kill, ProcessThatDoesNotOpenGivesZero) {
    EXPECT_EQ(TerminateProcessById(UNOPENABLE_ID, 0), 0);
}

namespace {

enum class PrivilegeState { NotHeld, Disabled, Enabled };

PrivilegeState DebugPrivilegeState() {
    LUID debug = {};
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug);
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(TOKEN_PRIVILEGES) char buffer[4096];
    DWORD length = 0;
    PrivilegeState state = PrivilegeState::NotHeld;
    if (token && GetTokenInformation(token, TokenPrivileges, buffer, sizeof(buffer), &length)) {
        auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
            if (p.Luid.LowPart != debug.LowPart || p.Luid.HighPart != debug.HighPart) continue;
            state = (p.Attributes & SE_PRIVILEGE_ENABLED) ? PrivilegeState::Enabled
                                                          : PrivilegeState::Disabled;
        }
    }
    if (token) CloseHandle(token);
    return state;
}

void SetDebugPrivilege(bool enabled) {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);
    TOKEN_PRIVILEGES request = {};
    request.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &request.Privileges[0].Luid);
    request.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
    AdjustTokenPrivileges(token, FALSE, &request, sizeof(request), nullptr, nullptr);
    if (token) CloseHandle(token);
}

} // namespace

TEST_F(Kill, LeavesTheDebugPrivilegeAsItWas) {
    ChildProcess victims[2];

    if (DebugPrivilegeState() == PrivilegeState::NotHeld) {
        // Nothing to enable: a kill request neither grants the privilege nor
        // stops trying the kill.
        printf("note: this token does not hold the debug privilege\n");
        ASSERT_TRUE(victims[0].Start("idle_child.exe"));
        EXPECT_EQ(TerminateProcessById(UNOPENABLE_ID, 0), 0);
        EXPECT_NE(TerminateProcessById(victims[0].id(), 0), 0);
        EXPECT_EQ(DebugPrivilegeState(), PrivilegeState::NotHeld);
        return;
    }
    // The privilege is enabled only around the kill, failed or successful.
    for (bool enabled : {false, true}) {
        SCOPED_TRACE(enabled ? "enabled before" : "disabled before");
        const PrivilegeState before = enabled ? PrivilegeState::Enabled : PrivilegeState::Disabled;
        ChildProcess& victim = victims[enabled];
        ASSERT_TRUE(victim.Start("idle_child.exe"));
        SetDebugPrivilege(enabled);
        ASSERT_EQ(DebugPrivilegeState(), before);
        EXPECT_EQ(TerminateProcessById(UNOPENABLE_ID, 0), 0);
        EXPECT_EQ(DebugPrivilegeState(), before);
        EXPECT_NE(TerminateProcessById(victim.id(), 0), 0);
        EXPECT_TRUE(victim.WaitForExit(5000));
        EXPECT_EQ(DebugPrivilegeState(), before);
    }
}
