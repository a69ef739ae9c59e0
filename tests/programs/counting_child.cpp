// Child program for the pause and resume tests. Arguments: the id of the
// process to outlive no longer, the name of a shared CounterBoard mapping, the
// number of counting threads, optionally a lifetime in ms and extras: "held" for
// one more thread that the child starts suspended and never lets go, "ended" for
// two threads that have ended but whose handles the child keeps (the system still
// lists them to a walk of the process's threads): one started suspended and
// terminated, one that ran to its end, "limited" for a
// process that grants others only limited query access (its own security
// descriptor). Each counting thread counts in its own slot of the board. Without a
// lifetime the threads count for ever; with one, each slot is a chain of
// short-lived threads: a thread counts for that long, starts its successor and
// ends, so the process keeps starting threads. threadsStarted counts every thread
// started; ready is set once all is in place. The main thread waits for the parent
// to end and then exits with 3.
#include <windows.h>
#include <aclapi.h>
#include <stdlib.h>
#include <string.h>

#include "../support/counter_board.h"

static CounterBoard* Board;
static DWORD LifetimeMs; // 0: the threads never end

static DWORD WINAPI NeverRuns(void*) {
    return 0;
}

static DWORD WINAPI Count(void* slot) {
    volatile LONG* counter = &Board->counters[reinterpret_cast<INT_PTR>(slot)];
    InterlockedIncrement(&Board->threadsStarted);
    const DWORD start = GetTickCount();
    do {
        InterlockedIncrement(counter);
        Sleep(1);
    } while (LifetimeMs == 0 || GetTickCount() - start < LifetimeMs);
    // A successor that cannot be started ends the chain: its counter stops, which
    // the tests notice.
    if (HANDLE next = CreateThread(nullptr, 0, Count, slot, 0, nullptr)) CloseHandle(next);
    return 0;
}

// Grants everyone only limited query access and waiting on the process; handles
// opened before keep their access.
static bool GrantOnlyLimitedAccess() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    char buffer[256];
    auto* acl = reinterpret_cast<ACL*>(buffer);
    const bool granted =
        InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                            everyone) &&
        SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, acl, nullptr) == ERROR_SUCCESS;
    FreeSid(everyone);
    return granted;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[1], nullptr, 10));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, argv[2]);
    if (!mapping) return 2;
    Board = static_cast<CounterBoard*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!Board) return 2;
    int threads = atoi(argv[3]);
    if (threads < 1 || threads > COUNTER_BOARD_MAX_THREADS) return 2;
    if (argc > 4) LifetimeMs = strtoul(argv[4], nullptr, 10);
    for (INT_PTR i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, Count, reinterpret_cast<void*>(i), 0, nullptr);
        if (!thread) return 2;
        CloseHandle(thread);
    }
    for (int i = 5; i < argc; ++i) {
        HANDLE extra = nullptr;
        if (strcmp(argv[i], "held") == 0 || strcmp(argv[i], "ended") == 0) {
            extra = CreateThread(nullptr, 0, NeverRuns, nullptr, CREATE_SUSPENDED, nullptr);
            if (!extra) return 2;
        }
        if (strcmp(argv[i], "ended") == 0) {
            HANDLE ran = CreateThread(nullptr, 0, NeverRuns, nullptr, 0, nullptr);
            if (!ran || WaitForSingleObject(ran, 5000) != WAIT_OBJECT_0 ||
                !TerminateThread(extra, 0) || WaitForSingleObject(extra, 5000) != WAIT_OBJECT_0) {
                return 2;
            }
        }
        if (strcmp(argv[i], "limited") == 0 && !GrantOnlyLimitedAccess()) return 2;
    }
    InterlockedExchange(&Board->ready, 1);
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
