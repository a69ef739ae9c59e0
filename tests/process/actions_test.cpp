#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "process/actions.h"
#include "process/holding.h"
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

// The real NtGetNextThread, for the fake below.
NtGetNextThreadFn SavedNtGetNextThread;

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

// The module started, as the DLL starts it, with the binding table saved (a test may
// put fakes in its slots); for the walks, the process-wide calls emptied.
class PauseResume : public ::testing::TestWithParam<Way> {
  protected:
    void SetUp() override {
        if (GetParam() == Way::SnapshotWalks) UseSnapshotWalks();
    }
    ModuleScope module;
    SavedProcessApi saved;
};
INSTANTIATE_TEST_SUITE_P(, PauseResume, ::testing::Values(Way::ProcessWide, Way::SnapshotWalks),
                         WayName);

// The same, with a child whose threads all count.
class PausingAChild : public PauseResume {
  protected:
    void SetUp() override {
        PauseResume::SetUp();
        ASSERT_TRUE(child.Start(COUNTING_THREADS));
    }
    bool Pause() { return PauseProcess(child.process().handle(), child.id()); }
    bool Resume() { return ResumeProcess(child.process().handle(), child.id()); }
    // The child paused once: a resume that reaches no thread, every one refusing to
    // open, fails and changes nothing; once they open again, it resumes them.
    void ExpectResumeOnlyOnceTheThreadsOpen() {
        ProcessApi.openThread = ScriptedOpenThread;
        for (DWORD thread : ThreadIdsOf(child.id()))
            OpenThreadFailures[thread] = {ERROR_ACCESS_DENIED, -1};
        EXPECT_FALSE(Resume());
        ExpectSuspendCounts(child.id(), 1);
        OpenThreadFailures.clear();
        EXPECT_TRUE(Resume());
        ExpectSuspendCounts(child.id(), 0);
    }
    CountingChild child;
};
INSTANTIATE_TEST_SUITE_P(, PausingAChild, ::testing::Values(Way::ProcessWide, Way::SnapshotWalks),
                         WayName);
// What the walks alone do, and what the process-wide calls alone do.
class WalkingAChild : public PausingAChild {};
INSTANTIATE_TEST_SUITE_P(, WalkingAChild, ::testing::Values(Way::SnapshotWalks), WayName);
class PausingAsAWhole : public PausingAChild {};
INSTANTIATE_TEST_SUITE_P(, PausingAsAWhole, ::testing::Values(Way::ProcessWide), WayName);

TEST_P(PausingAChild, PauseStopsEveryThreadAndResumeRestartsThem) {
    EXPECT_TRUE(Pause());
    EXPECT_TRUE(child.SettlesStill());
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));
    ExpectSuspendCounts(child.id(), 1);

    EXPECT_TRUE(Resume());
    EXPECT_TRUE(child.AllCount());
    ExpectSuspendCounts(child.id(), 0);
}

TEST_P(PausingAChild, TwoPausesNeedTwoResumes) {
    EXPECT_TRUE(Pause());
    EXPECT_TRUE(Pause());
    ExpectSuspendCounts(child.id(), 2);
    EXPECT_TRUE(Resume());
    ExpectSuspendCounts(child.id(), 1);
    EXPECT_TRUE(child.SettlesStill());
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));

    EXPECT_TRUE(Resume());
    EXPECT_TRUE(child.AllCount());
}

TEST_P(PauseResume, AThreadTheProcessHoldsItselfStaysHeldOnce) {
    CountingChild child;
    ASSERT_TRUE(child.Start(COUNTING_THREADS, 0, CountingChild::HELD_THREAD));
    // The counting threads, the main thread and the one the child holds.
    const std::vector<DWORD> threads = ThreadIdsOf(child.id());
    ASSERT_EQ(threads.size(), COUNTING_THREADS + 2u);
    std::vector<int> before;
    for (DWORD thread : threads)
        before.push_back(SuspendCountOf(thread));
    ASSERT_EQ(std::count(before.begin(), before.end(), 1), 1);
    // Each thread suspended once more by PAUSE, and once less by RESUME.
    auto expectCounts = [&](int added) {
        for (size_t i = 0; i < threads.size(); ++i)
            EXPECT_EQ(SuspendCountOf(threads[i]), before[i] + added) << "thread " << threads[i];
    };
    HANDLE process = child.process().handle();
    ASSERT_TRUE(PauseProcess(process, child.id()));
    expectCounts(1);
    ASSERT_TRUE(ResumeProcess(process, child.id()));
    expectCounts(0);
    EXPECT_TRUE(child.AllCount());
}

TEST_P(PauseResume, AnEndedProcessIsNotPausedNorHeld) {
    ChildProcess held;
    const DWORD id = EndedChildId(held);
    ASSERT_NE(id, 0u);
    // Its threads have gone with it: there is nothing to suspend.
    EXPECT_FALSE(PauseProcess(held.handle(), id));
    // The process-wide resume would reach it all the same: the hold tells first.
    bool ended = false;
    EXPECT_EQ(HoldProcess({id, HandleCreationTime(held.handle())}, SUSPEND_ACCESS, &ended),
              nullptr);
    EXPECT_TRUE(ended);
}

TEST_P(PauseResume, OwnProcessIsNeverPaused) {
    // A second thread of this process that must keep running.
    DWORD workerId = 0;
    stopTicking = 0;
    HANDLE worker = CreateThread(nullptr, 0, Tick, nullptr, 0, &workerId);
    ASSERT_NE(worker, nullptr);

    EXPECT_FALSE(PauseProcess(GetCurrentProcess(), GetCurrentProcessId()));
    LONG before = ticks;
    EXPECT_TRUE(WaitUntil([&] { return ticks > before + 10; }));
    EXPECT_EQ(SuspendCountOf(workerId), 0);

    // Resuming this process is harmless: its threads are not suspended.
    EXPECT_TRUE(ResumeProcess(GetCurrentProcess(), GetCurrentProcessId()));
    EXPECT_EQ(SuspendCountOf(workerId), 0);

    stopTicking = 1;
    EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
    CloseHandle(worker);
}

// NtGetNextThread that gives a process's first thread and refuses the next, as
// when access to it is denied: a pause cannot confirm every thread stopped.
LONG WINAPI RefusingAfterTheFirstThread(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                        ULONG attributes, ULONG flags, HANDLE* next) {
    if (thread) return LONG(0xC0000022); // STATUS_ACCESS_DENIED
    return SavedNtGetNextThread(process, thread, access, attributes, flags, next);
}

TEST_P(PausingAChild, APauseThatCannotStopEveryThreadIsUndone) {
    // Walks: the last thread refuses to open. Process-wide: the threads after the
    // first cannot be looked at once the process was suspended.
    const DWORD last = ThreadIdsOf(child.id()).back();
    OpenThreadFailures = {{last, {ERROR_ACCESS_DENIED, -1}}};
    ProcessApi.openThread = ScriptedOpenThread;
    SavedNtGetNextThread = saved.saved().ntGetNextThread;
    if (GetParam() == Way::ProcessWide) ProcessApi.ntGetNextThread = RefusingAfterTheFirstThread;
    EXPECT_FALSE(Pause());
    ExpectSuspendCounts(child.id(), 0);
    EXPECT_TRUE(child.AllCount());
    OpenThreadFailures.clear();
}

// The process-wide calls as a busy system can leave them, through their slots.
NtSuspendProcessFn SavedNtSuspendProcess;
LONG WINAPI SuspendingNothing(HANDLE) {
    return 0;
}
// Suspends the process, then lets its newest thread go, as if it had been started
// during the call.
LONG WINAPI SuspendingAllButTheNewest(HANDLE process) {
    const LONG status = SavedNtSuspendProcess(process);
    HANDLE thread = nullptr, next = nullptr;
    while (SavedNtGetNextThread(process, thread, THREAD_SUSPEND_RESUME, 0, 0, &next) >= 0) {
        if (thread) CloseHandle(thread);
        thread = next;
    }
    ResumeThread(thread);
    CloseHandle(thread);
    return status;
}
// Lets the first thread go at the start of every walk: each look finds one running.
LONG WINAPI WakingTheFirstThread(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                 ULONG attributes, ULONG flags, HANDLE* next) {
    const LONG status = SavedNtGetNextThread(process, thread, access, attributes, flags, next);
    if (!thread && status >= 0) ResumeThread(*next);
    return status;
}
LONG WINAPI ResumingNothing(HANDLE) {
    return LONG(0xC0000022); // STATUS_ACCESS_DENIED
}

TEST_P(PausingAsAWhole, TheLooksCompleteASuspensionThatLeftThreadsRunningOrUndoIt) {
    SavedNtSuspendProcess = saved.saved().ntSuspendProcess;
    SavedNtGetNextThread = saved.saved().ntGetNextThread;
    struct Case {
        const char* name;
        NtSuspendProcessFn suspend;
        NtGetNextThreadFn next;
        bool paused;
    } cases[] = {
        {"the call suspended nothing", SuspendingNothing, SavedNtGetNextThread, true},
        {"the newest thread escaped", SuspendingAllButTheNewest, SavedNtGetNextThread, true},
        {"every look finds one running", SavedNtSuspendProcess, WakingTheFirstThread, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessApi.ntSuspendProcess = c.suspend;
        ProcessApi.ntGetNextThread = c.next;
        EXPECT_EQ(Pause(), c.paused);
        ExpectSuspendCounts(child.id(), c.paused ? 1 : 0);
        ProcessApi.ntGetNextThread = SavedNtGetNextThread;
        if (c.paused) {
            EXPECT_TRUE(Resume());
        }
        EXPECT_TRUE(child.AllCount());
    }
}

// The thread that the fakes below hand without the access to suspend it, its count
// reading 0 as if the process-wide call had missed it; and whether threads that have
// ended (their handles kept) are handed so too, as the system refuses to suspend one.
DWORD RefusingThreadId = 0;
bool EndedThreadsRefuse = false;
bool Refuses(HANDLE thread) {
    return GetThreadId(thread) == RefusingThreadId ||
           (EndedThreadsRefuse && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0);
}
LONG WINAPI HandingRefusingThreads(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                   ULONG attributes, ULONG flags, HANDLE* next) {
    const LONG status = SavedNtGetNextThread(process, thread, access, attributes, flags, next);
    HANDLE limited = nullptr;
    if (status >= 0 && Refuses(*next) &&
        DuplicateHandle(GetCurrentProcess(), *next, GetCurrentProcess(), &limited,
                        THREAD_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, 0)) {
        CloseHandle(*next);
        *next = limited;
    }
    return status;
}
NtQueryInformationThreadFn SavedNtQueryInformationThread;
LONG WINAPI ZeroForTheRefusingThread(HANDLE thread, ULONG infoClass, void* info, ULONG size,
                                     ULONG* returned) {
    const LONG status = SavedNtQueryInformationThread(thread, infoClass, info, size, returned);
    if (status >= 0 && GetThreadId(thread) == RefusingThreadId) *static_cast<ULONG*>(info) = 0;
    return status;
}

TEST_P(PausingAsAWhole, AThreadThatCannotBeSuspendedFailsThePauseUnlessItHasEnded) {
    SavedNtGetNextThread = saved.saved().ntGetNextThread;
    SavedNtQueryInformationThread = saved.saved().ntQueryInformationThread;
    ProcessApi.ntGetNextThread = HandingRefusingThreads;
    ProcessApi.ntQueryInformationThread = ZeroForTheRefusingThread;
    // A running thread: the pause fails and is undone.
    RefusingThreadId = ThreadIdsOf(child.id()).front();
    EXPECT_FALSE(Pause());
    ExpectSuspendCounts(child.id(), 0);
    EXPECT_TRUE(child.AllCount());
    // Threads on their way out: passed over, the others paused.
    RefusingThreadId = 0;
    EndedThreadsRefuse = true;
    CountingChild ending;
    ASSERT_TRUE(ending.Start(COUNTING_THREADS, 0, CountingChild::ENDED_THREADS));
    EXPECT_TRUE(PauseProcess(ending.process().handle(), ending.id()));
    ExpectSuspendCounts(ending.id(), 1);
    EXPECT_TRUE(ResumeProcess(ending.process().handle(), ending.id()));
    EndedThreadsRefuse = false;
}

TEST_P(PausingAsAWhole, AResumeThatFailsIsReportedAsFailed) {
    ASSERT_TRUE(Pause());
    // Refused as a whole, the threads are resumed one by one.
    ProcessApi.ntResumeProcess = ResumingNothing;
    ExpectResumeOnlyOnceTheThreadsOpen();
}

TEST_P(WalkingAChild, MissingToolHelpEntryPointRefusesAndTouchesNothing) {
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
        EXPECT_FALSE(Pause());
        EXPECT_FALSE(Resume());
        ExpectSuspendCounts(child.id(), 0);
    }
    EXPECT_TRUE(child.AllCount());
}

TEST_P(WalkingAChild, ThreadsThatDoNotOpen) {
    const DWORD last = ThreadIdsOf(child.id()).back();
    ProcessApi.openThread = ScriptedOpenThread;

    // A thread that looks gone for a moment is no refusal: a later walk suspends it.
    OpenThreadFailures = {{last, {ERROR_INVALID_PARAMETER, 1}}};
    EXPECT_TRUE(Pause());
    ExpectSuspendCounts(child.id(), 1);
    EXPECT_TRUE(child.StaysStill(STILL_WINDOW_MS));

    ExpectResumeOnlyOnceTheThreadsOpen();

    // Listed in every walk but never opened: the pause cannot settle, so it gives up
    // and resumes the threads it suspended.
    OpenThreadFailures = {{last, {ERROR_INVALID_PARAMETER, -1}}};
    GrantedThreadOpens = 0;
    EXPECT_FALSE(Pause());
    EXPECT_GT(GrantedThreadOpens, 0) << "no other thread was suspended first";
    ExpectSuspendCounts(child.id(), 0);
    EXPECT_TRUE(child.AllCount());
    OpenThreadFailures.clear();
}

class Kill : public ::testing::Test {
  protected:
    ModuleScope module;
};

// Holds the process as the KILL command does and kills it; false when either fails.
bool HoldAndKill(DWORD id, uint64_t created, uint32_t exitCode) {
    HANDLE held = HoldProcess({id, created}, KILL_ACCESS);
    const bool killed = held && KillProcess(held, exitCode);
    ReleaseProcess(held);
    return killed;
}
bool HoldAndKill(ChildProcess& child, uint32_t exitCode) {
    return HoldAndKill(child.id(), HandleCreationTime(child.handle()), exitCode);
}

TEST_F(Kill, EndsTheProcessWithTheExitCode) {
    for (uint32_t exitCode : {0u, 42u}) {
        ChildProcess child;
        ASSERT_TRUE(child.Start("idle_child.exe"));
        EXPECT_TRUE(HoldAndKill(child, exitCode));
        ASSERT_TRUE(child.WaitForExit(5000));
        EXPECT_EQ(child.ExitCode(), exitCode);
    }
}

TEST_F(Kill, ProcessThatDoesNotOpenOrHasEndedGivesFalse) {
    EXPECT_FALSE(HoldAndKill(UNOPENABLE_ID, 1, 0));
    ChildProcess ended;
    ASSERT_NE(EndedChildId(ended), 0u);
    EXPECT_FALSE(HoldAndKill(ended, 0));
    EXPECT_EQ(ended.ExitCode(), 99u) << "killed again with another exit code";
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
        EXPECT_FALSE(HoldAndKill(UNOPENABLE_ID, 1, 0));
        EXPECT_TRUE(HoldAndKill(victims[0], 0));
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
        EXPECT_FALSE(HoldAndKill(UNOPENABLE_ID, 1, 0));
        EXPECT_EQ(DebugPrivilegeState(), before);
        EXPECT_TRUE(HoldAndKill(victim, 0));
        EXPECT_TRUE(victim.WaitForExit(5000));
        EXPECT_EQ(DebugPrivilegeState(), before);
    }
}
