#include <gtest/gtest.h>

#include <string.h>

#include <aclapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "process/enumeration.h"
#include "process/holding.h"
#include "process/process_api.h"
#include "runtime/scratch.h"
#include "support/child_process.h"
#include "support/process_api_helpers.h"
#include "support/start_beside.h"
#include "support/test_module.h"
#include "support/wait.h"

namespace {

// The texts of the current entry, copied out with the free end put back.
std::string Name() {
    ScratchMark mark;
    return EntryProcessName();
}
std::string Path() {
    ScratchMark mark;
    return EntryProcessPath();
}

// Takes a snapshot and walks it to the entry with the id; its position, or 0.
int32_t WalkTo(DWORD id) {
    SnapshotProcessIds();
    while (int32_t position = NextProcessEntry()) {
        if (EntryProcessId() == id) return position;
    }
    return 0;
}

// An entry is read once, by its first query: after the slots change, the entry at
// the cursor is walked to again so that the next query reads it afresh.
void ReadAgain() {
    ASSERT_NE(WalkTo(EntryProcessId()), 0);
}

// The working set under test agrees with the system's own figure: within the
// figures read around it (equal to them when they stand still). A child that has
// just started may still be settling, and its figure can fall and rise again
// between two readings: then it is read again, for up to 3 s.
template <class Query> void ExpectWorkingSetAgrees(HANDLE process, Query query) {
    SIZE_T before = 0, after = 0;
    size_t value = 0;
    WaitUntil(
        [&] {
            before = SystemWorkingSet(process);
            value = query();
            after = SystemWorkingSet(process);
            return value >= (before < after ? before : after) &&
                   value <= (before < after ? after : before);
        },
        3000);
    EXPECT_GT(value, 0u);
    EXPECT_GE(value, before < after ? before : after);
    EXPECT_LE(value, before < after ? after : before);
}

// Gives everyone only that access to the process, as a protected or elevated
// process, or the system's own, does; handles opened before (the test's own) keep
// theirs. True when it did.
bool GrantOnly(HANDLE process, DWORD access) {
    EXPLICIT_ACCESS_A grant = {};
    grant.grfAccessPermissions = access;
    grant.grfAccessMode = SET_ACCESS;
    BuildTrusteeWithNameA(&grant.Trustee, const_cast<char*>("EVERYONE"));
    PACL acl = nullptr;
    if (SetEntriesInAclA(1, &grant, nullptr, &acl) != ERROR_SUCCESS) return false;
    const DWORD set = SetSecurityInfo(
        process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    return set == ERROR_SUCCESS;
}

} // namespace

// The module started, as the DLL starts it.
class Enumeration : public ::testing::Test {
  protected:
    ModuleScope module;
};

TEST_F(Enumeration, FindsEachChildWithItsIdNamePathAndWorkingSet) {
    ChildProcess children[3];
    for (ChildProcess& child : children)
        ASSERT_TRUE(child.Start("idle_child.exe"));
    char expectedPath[MAX_PATH];
    PathBesideTests("idle_child.exe", expectedPath);

    std::map<DWORD, int> seen;
    ASSERT_GT(SnapshotProcessIds(), 3);
    while (NextProcessEntry()) {
        DWORD id = EntryProcessId();
        ++seen[id];
        for (ChildProcess& child : children) {
            if (child.id() != id) continue;
            SCOPED_TRACE(id);
            EXPECT_EQ(Name(), "idle_child.exe");
            EXPECT_EQ(lstrcmpiA(Path().c_str(), expectedPath), 0) << Path();
            // Each try reads the entry afresh; the walk goes on from it.
            ExpectWorkingSetAgrees(child.handle(), [] {
                ReadAgain();
                return EntryWorkingSet();
            });
        }
    }
    for (ChildProcess& child : children)
        EXPECT_EQ(seen[child.id()], 1) << child.id();
    EXPECT_EQ(seen[GetCurrentProcessId()], 1);
}

TEST_F(Enumeration, TextsAreWrittenAtTheFreeEndOfTheScratchBuffer) {
    ASSERT_NE(WalkTo(GetCurrentProcessId()), 0);
    char ownPath[MAX_PATH];
    GetModuleFileNameA(nullptr, ownPath, MAX_PATH);

    ScratchMark mark;
    char* start = ScratchFreeEnd;
    const char* name = EntryProcessName();
    const size_t nameLength = strlen(name);
    EXPECT_EQ(name, start);
    EXPECT_STREQ(name, strrchr(ownPath, '\\') + 1);
    EXPECT_EQ(ScratchFreeEnd, start + nameLength);

    // The next text starts at the first one's terminator, leaving its characters.
    const char* path = EntryProcessPath();
    EXPECT_EQ(path, start + nameLength);
    EXPECT_EQ(lstrcmpiA(path, ownPath), 0) << path;
    EXPECT_EQ(ScratchFreeEnd, path + strlen(path));
    EXPECT_EQ(strncmp(start, strrchr(ownPath, '\\') + 1, nameLength), 0) << start;
}

TEST_F(Enumeration, CursorRunsOneToNThenRestsOnTheLastEntry) {
    int32_t count = SnapshotProcessIds();
    ASSERT_GT(count, 1);
    std::vector<DWORD> ids;
    for (int32_t expected = 1; expected <= count; ++expected) {
        ASSERT_EQ(NextProcessEntry(), expected);
        ids.push_back(EntryProcessId());
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(NextProcessEntry(), 0);
    EXPECT_EQ(EntryProcessId(), ids.back());
    EXPECT_FALSE(Name().empty()) << "the queries answer for the last entry";

    // A new snapshot in the middle of a walk starts again from the first entry.
    SnapshotProcessIds();
    EXPECT_EQ(NextProcessEntry(), 1);
    EXPECT_EQ(NextProcessEntry(), 2);
    count = SnapshotProcessIds();
    ASSERT_GT(count, 1);
    EXPECT_EQ(NextProcessEntry(), 1);
}

TEST_F(Enumeration, EndedProcessGivesEmptyTextsAndZero) {
    // One child ends while this test still holds a handle to it: the system keeps
    // the process object, which still opens but has no modules left to name, only
    // its image. The other is forgotten by the system altogether and no longer opens.
    ChildProcess held, gone;
    ASSERT_TRUE(held.Start("idle_child.exe"));
    ASSERT_TRUE(gone.Start("idle_child.exe"));
    const DWORD heldId = held.id(), goneId = gone.id();

    int examined = 0;
    SnapshotProcessIds();
    while (NextProcessEntry()) {
        DWORD id = EntryProcessId();
        if (id != heldId && id != goneId) continue;
        SCOPED_TRACE(id == heldId ? "ended, handle held" : "ended and released");
        if (id == heldId) held.End();
        if (id == goneId) {
            ASSERT_TRUE(gone.Forget());
        }
        ++examined;
        if (id == goneId) {
            EXPECT_EQ(Name(), "");
            EXPECT_EQ(Path(), "");
        } else {
            // Named by its image if at all: never by anything else.
            EXPECT_TRUE(Name() == "" || Name() == "idle_child.exe") << Name();
            EXPECT_TRUE(Path() == "" || Path().find("idle_child.exe") != std::string::npos);
        }
        EXPECT_EQ(EntryProcessId(), id);
        // The kept object's memory figure is the system's own business.
        if (id == goneId) {
            EXPECT_EQ(EntryWorkingSet(), 0u);
        }
    }
    EXPECT_EQ(examined, 2);
}

TEST_F(Enumeration, ProcessThatRefusesModuleAccessIsReadWithLimitedAccess) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("idle_child.exe"));
    // The child's process object grants everyone limited query access only, as a
    // protected or elevated process does; this test's own handle keeps full access.
    ASSERT_TRUE(GrantOnly(child.handle(), LIMITED_QUERY_ACCESS | SYNCHRONIZE));
    HANDLE wide = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child.id());
    if (wide) CloseHandle(wide);
    ASSERT_EQ(wide, nullptr) << "the system grants what the process's DACL refuses";

    ASSERT_NE(WalkTo(child.id()), 0);
    EXPECT_EQ(Name(), "idle_child.exe");
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetProcessTimes(child.handle(), &created, &exited, &kernel, &user));
    EXPECT_EQ(EntryCreationTime(),
              (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    ExpectWorkingSetAgrees(child.handle(), [] {
        ReadAgain();
        return EntryWorkingSet();
    });
}

// The system's list gives the rows that EnumProcesses gives, on real processes of
// each kind: the same names, paths and states, and working sets that agree with the
// system's, read before the snapshot and at the row; only a process that cannot be
// opened now shows the list's working set instead of 0. One child ends while each
// snapshot is walked. (KELVOR_LARGE_CHILD=1 adds, in a 64-bit build, a child with
// 4.5 GiB in its working set: touching it takes half a minute or more under Wine.)
TEST_F(Enumeration, TheSystemListGivesTheRowsThatEnumProcessesGives) {
    // Each child: its program, the mebibytes it touches, whether it grants nothing.
    struct Case {
        const char *program, *arguments;
        bool sealed;
    };
    std::vector<Case> cases = {{"idle_child.exe", "", false}, {"idle_child.exe", "", true}};
    if (SystemRuns32BitPrograms()) cases.push_back({"idle_child32.exe", "", false});
    if (SystemIs64Bit()) cases.push_back({"idle_child64.exe", "", false});
    const bool large =
        sizeof(void*) == 8 && GetEnvironmentVariableA("KELVOR_LARGE_CHILD", nullptr, 0);
    if (large) cases.push_back({"idle_child64.exe", "4608", false});
    std::vector<ChildProcess> children(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_TRUE(children[i].Start(cases[i].program, cases[i].arguments));
        if (cases[i].sealed) {
            ASSERT_TRUE(GrantOnly(children[i].handle(), SYNCHRONIZE));
        }
    }
    if (large) {
        ASSERT_TRUE(WaitUntil(
            [&] { return SystemWorkingSet(children.back().handle()) >= (SIZE_T(4608) << 20); },
            120000));
    }
    // A process that has just started grows and shrinks for a moment: until every
    // child's figure stands still for a while.
    std::vector<SIZE_T> settled(children.size());
    WaitUntil(
        [&] {
            bool still = true;
            for (size_t i = 0; i < children.size(); ++i) {
                const SIZE_T now = SystemWorkingSet(children[i].handle());
                still &= now == settled[i];
                settled[i] = now;
            }
            Sleep(200);
            return still;
        },
        10000);
    struct Row {
        std::string name, path;
        uint64_t workingSet;
        RunState state;
        SIZE_T low, high; // the system's figure before the snapshot and at the row
    };
    std::map<DWORD, Row> rows[2]; // by the list, by EnumProcesses
    for (int way = 0; way < 2; ++way) {
        SavedProcessApi saved;
        if (way == 1) ProcessApi.ntQuerySystemInformation = nullptr;
        ChildProcess ending;
        ASSERT_TRUE(ending.Start("idle_child.exe"));
        std::vector<SIZE_T> before;
        for (ChildProcess& child : children)
            before.push_back(SystemWorkingSet(child.handle()));
        ASSERT_GT(SnapshotProcessIds(), 0);
        while (NextProcessEntry()) {
            const DWORD id = EntryProcessId();
            if (id == ending.id()) ending.End();
            rows[way][id] = {Name(), Path(), EntryWorkingSet(), EntryRunState(), 0, 0};
            for (size_t i = 0; i < cases.size(); ++i) {
                if (children[i].id() != id) continue;
                const SIZE_T now = SystemWorkingSet(children[i].handle());
                rows[way][id].low = std::min(before[i], now);
                rows[way][id].high = std::max(before[i], now);
            }
        }
        EXPECT_EQ(rows[way][ending.id()].state, RunState::Ended) << "the child that ended";
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(std::string(cases[i].program) + " " + cases[i].arguments +
                     (cases[i].sealed ? " sealed" : ""));
        const Row &listed = rows[0][children[i].id()], &enumerated = rows[1][children[i].id()];
        EXPECT_EQ(listed.name, enumerated.name);
        EXPECT_EQ(listed.path, enumerated.path);
        EXPECT_EQ(listed.state, RunState::Running);
        EXPECT_EQ(enumerated.state, RunState::Running);
        for (const Row* row : {&listed, &enumerated}) {
            if (row == &enumerated && cases[i].sealed) {
                EXPECT_EQ(row->workingSet, 0u);
                continue;
            }
            EXPECT_GE(row->workingSet, row->low);
            EXPECT_LE(row->workingSet, row->high);
        }
    }
}

// Test functions for the binding table's slots, for what a real system cannot
// be made to do on demand.
namespace {

// What the fake EnumProcesses lists and reports.
std::vector<DWORD> FakeIds;
BOOL FakeResult = TRUE;
DWORD FakeExtraBytes = 0;

BOOL WINAPI FakeEnumProcesses(DWORD* ids, DWORD bytes, DWORD* bytesReturned) {
    DWORD written = 0;
    for (DWORD id : FakeIds) {
        if (written + sizeof(DWORD) > bytes) break;
        ids[written / sizeof(DWORD)] = id;
        written += sizeof(DWORD);
    }
    *bytesReturned = written + FakeExtraBytes;
    return FakeResult;
}

// What the fake name and path functions write (nothing at all when null), and the
// length they report. A text longer than the size fills it without a terminator.
const char* FakeText = nullptr;
DWORD FakeLength = 0;

DWORD WINAPI FakeModuleText(HANDLE, HMODULE, LPSTR text, DWORD size) {
    if (FakeText) {
        DWORD length = static_cast<DWORD>(strlen(FakeText));
        memcpy(text, FakeText, length < size ? length : size);
        if (length < size) text[length] = '\0';
    }
    return FakeLength;
}

// What the fake image-name query reports; it fails when null.
const char* FakeImagePath = nullptr;

BOOL WINAPI FakeImageName(HANDLE, DWORD, LPSTR name, DWORD* size) {
    if (!FakeImagePath) return FALSE;
    DWORD length = static_cast<DWORD>(strlen(FakeImagePath));
    if (length >= *size) return FALSE;
    memcpy(name, FakeImagePath, length + 1);
    *size = length;
    return TRUE;
}

// A process as the fake system list shows it.
struct FakeListed {
    DWORD id;
    uint64_t created;
    const wchar_t* image;
    SIZE_T workingSet;
    std::vector<DWORD> threads;
};
// The list that the fake NtQuerySystemInformation gives, laid out as the system lays
// it out; how many of its calls answer "too small" first, and how many were made.
std::vector<BYTE> FakeListBytes;
int FakeTooSmall = 0;
int FakeListCalls = 0;
void FakeList(const std::vector<FakeListed>& processes) {
    FakeListBytes.clear();
    size_t last = 0;
    for (const FakeListed& p : processes) {
        last = FakeListBytes.size();
        FakeListBytes.resize(last + sizeof(ListedProcess) +
                             p.threads.size() * sizeof(ListedThread));
        auto* listed = reinterpret_cast<ListedProcess*>(FakeListBytes.data() + last);
        listed->nextEntryOffset = static_cast<ULONG>(FakeListBytes.size() - last);
        listed->threadCount = static_cast<ULONG>(p.threads.size());
        listed->createTime.QuadPart = static_cast<LONGLONG>(p.created);
        listed->imageName.length = static_cast<USHORT>(wcslen(p.image) * sizeof(wchar_t));
        listed->imageName.buffer = const_cast<wchar_t*>(p.image);
        listed->processId = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(p.id));
        listed->workingSetSize = p.workingSet;
        auto* threads = reinterpret_cast<ListedThread*>(listed + 1);
        for (size_t t = 0; t < p.threads.size(); ++t) {
            threads[t].processId = listed->processId;
            threads[t].threadId = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(p.threads[t]));
        }
    }
    reinterpret_cast<ListedProcess*>(FakeListBytes.data() + last)->nextEntryOffset = 0;
}
LONG WINAPI FakeProcessList(ULONG infoClass, void* info, ULONG size, ULONG* returned) {
    ++FakeListCalls;
    if (infoClass != PROCESS_LIST_CLASS) return LONG(0xC0000003);
    *returned = static_cast<ULONG>(FakeListBytes.size());
    if (FakeTooSmall > 0 || size < FakeListBytes.size()) {
        if (FakeTooSmall > 0) --FakeTooSmall;
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    memcpy(info, FakeListBytes.data(), FakeListBytes.size());
    return 0;
}

// Installs the fake enumeration with the given ids.
void FakeSnapshot(std::vector<DWORD> ids) {
    FakeIds = std::move(ids);
    FakeResult = TRUE;
    FakeExtraBytes = 0;
    ProcessApi.enumProcesses = FakeEnumProcesses;
}

} // namespace

// The module started and the binding table saved, with every fake reset: a test
// puts the fakes it needs into the slots, and all of it is undone after it. The
// system's process list is emptied: these are the ways of EnumProcesses and psapi,
// which a system without that list takes.
class EnumerationFakes : public ::testing::Test {
  protected:
    void SetUp() override {
        ProcessApi.ntQuerySystemInformation = nullptr;
        FakeIds.clear();
        FakeResult = TRUE;
        FakeExtraBytes = 0;
        FakeText = nullptr;
        FakeLength = 0;
        FakeImagePath = nullptr;
    }
    // The texts may have been a test's own strings, gone with it.
    void TearDown() override { FakeText = FakeImagePath = nullptr; }
    ModuleScope module;
    SavedProcessApi saved;
};

TEST_F(EnumerationFakes, SnapshotGrowsUntilEveryIdFits) {
    std::vector<DWORD> many;
    for (DWORD i = 1; i <= 3000; ++i)
        many.push_back(4 * i);
    FakeSnapshot(many);
    ASSERT_EQ(SnapshotProcessIds(), 3000);
    for (int32_t expected = 1; expected <= 3000; ++expected) {
        ASSERT_EQ(NextProcessEntry(), expected);
        ASSERT_EQ(EntryProcessId(), 4u * expected) << "in the order the system gave";
    }
    EXPECT_EQ(NextProcessEntry(), 0);

    // A smaller list later fits the grown buffer, which stays at least a block.
    FakeSnapshot({8, 12});
    EXPECT_EQ(SnapshotProcessIds(), 2);
    EXPECT_GE(ProcessApi.processIdBufferSize, PROCESS_ID_BUFFER_SIZE);
    // A byte count beyond what was offered does not widen the snapshot.
    FakeSnapshot(many);
    FakeExtraBytes = 1 << 20;
    const int32_t count = SnapshotProcessIds();
    EXPECT_EQ(count, static_cast<int32_t>(ProcessApi.processIdBufferSize / 4));
}

TEST_F(EnumerationFakes, FailedOrEmptyEnumerationListsNothing) {
    ASSERT_GT(SnapshotProcessIds(), 0);
    ASSERT_EQ(NextProcessEntry(), 1);

    // A failing call, even one that reports bytes, must not leave the previous
    // snapshot listed as if it were current.
    FakeSnapshot({8, 12});
    FakeResult = FALSE;
    EXPECT_EQ(SnapshotProcessIds(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
    EXPECT_EQ(EntryProcessId(), 0u);
    EXPECT_EQ(Name(), "");
    EXPECT_EQ(EntryWorkingSet(), 0u);

    FakeSnapshot({});
    EXPECT_EQ(SnapshotProcessIds(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
}

TEST_F(EnumerationFakes, IdleProcessAndTheQuestionMarkName) {
    const DWORD self = GetCurrentProcessId();
    FakeSnapshot({0, self});
    ASSERT_EQ(SnapshotProcessIds(), 2);
    ASSERT_EQ(NextProcessEntry(), 1);
    EXPECT_EQ(Name(), "IDLE");
    EXPECT_EQ(Path(), "");
    EXPECT_EQ(EntryWorkingSet(), 0u);

    ASSERT_EQ(NextProcessEntry(), 2);
    ProcessApi.getModuleBaseNameA = FakeModuleText;
    // psapi's own rules, without the image-name query or tool-help behind them.
    ProcessApi.queryFullProcessImageNameA = nullptr;
    ProcessApi.process32First = nullptr;
    struct Case {
        const char* written;
        DWORD length;
        const char* name;
    } cases[] = {
        {"?", 1, "System"},
        {"?x", 2, "?x"},
        {"??", 2, "??"},
        {"", 0, ""},
        // Nothing written at all: the empty text, not whatever the buffer held.
        {nullptr, 0, ""},
    };
    for (const Case& c : cases) {
        FakeText = c.written;
        FakeLength = c.length;
        ReadAgain();
        EXPECT_EQ(Name(), c.name) << '"' << (c.written ? c.written : "(nothing)") << '"';
    }
}

TEST_F(EnumerationFakes, LongTextsAreCutToTheirBuffers) {
    ASSERT_NE(WalkTo(GetCurrentProcessId()), 0);
    ProcessApi.getModuleBaseNameA = FakeModuleText;
    ProcessApi.getModuleFileNameExA = FakeModuleText;
    std::string longText(600, 'n');
    FakeText = longText.c_str();
    // Longer than a result may be: cut, and the cut shows.
    FakeLength = 600;
    const std::string cut = std::string(MAX_PROCESS_TEXT - 3, 'n') + "...";
    EXPECT_EQ(Name(), cut);
    EXPECT_EQ(Path(), cut);
    // A text that fits exactly is whole.
    FakeLength = MAX_PROCESS_TEXT;
    ReadAgain();
    EXPECT_EQ(Name(), std::string(MAX_PROCESS_TEXT, 'n'));
    // A call that fills the whole size it is given, unterminated, and reports more.
    const std::string longer(2000, 'n');
    FakeText = longer.c_str();
    FakeLength = 2000;
    ReadAgain();
    EXPECT_EQ(Path(), cut);
    FakeText = longText.c_str();

    // Near the end of the scratch buffer the text is cut to the room left.
    ScratchMark mark;
    char* end = ScratchBuffer + SCRATCH_BUFFER_SIZE;
    ScratchFreeEnd = end - 10;
    end[-1] = 'x';
    const char* name = EntryProcessName();
    EXPECT_EQ(strlen(name), 9u);
    EXPECT_EQ(end[-1], '\0');
    EXPECT_EQ(ScratchFreeEnd, end - 1);
}

TEST_F(EnumerationFakes, CutsLeaveNoPartOfALetter) {
    if (SystemIgnoresUtf8CodePage())
        GTEST_SKIP() << "this Windows gives programs no UTF-8 code page";
    ASSERT_EQ(GetACP(), UINT(CP_UTF8)) << "the test programs declare UTF-8 as their code page";
    ASSERT_NE(WalkTo(GetCurrentProcessId()), 0);
    std::string cyrillic, chinese;
    for (int i = 0; i < 200; ++i) {
        cyrillic += "Ж"; // two bytes
        chinese += "中"; // three bytes
    }
    // psapi's name, cut by the call itself inside a letter.
    ProcessApi.getModuleBaseNameA = FakeModuleText;
    FakeText = cyrillic.c_str();
    FakeLength = 201;
    EXPECT_EQ(Name(), cyrillic.substr(0, 200));
    // Cut to its bound, before a whole letter, with the mark.
    FakeLength = 400;
    ReadAgain();
    EXPECT_EQ(Name(), cyrillic.substr(0, 252) + "...");
    // The image path, cut to its bound inside a letter.
    ProcessApi.getModuleFileNameExA = FakeModuleText;
    ProcessApi.queryFullProcessImageNameA = FakeImageName;
    FakeText = nullptr;
    FakeLength = 0;
    const std::string path = "C:\\Ж" + chinese + "\\tool.exe";
    FakeImagePath = path.c_str();
    ReadAgain();
    EXPECT_EQ(Path(), path.substr(0, 251) + "..."); // "C:\\Ж" and 82 letters of three bytes
}

TEST_F(EnumerationFakes, MissingEntryPointsGiveNothing) {
    char ownName[MAX_PATH];
    GetModuleFileNameA(nullptr, ownName, MAX_PATH);
    const char* baseName = strrchr(ownName, '\\') + 1;

    ProcessApi.enumProcesses = nullptr;
    EXPECT_EQ(SnapshotProcessIds(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
    ProcessApi.enumProcesses = saved.saved().enumProcesses;
    ProcessApi.processIdBuffer = nullptr;
    EXPECT_EQ(SnapshotProcessIds(), 0);
    EXPECT_EQ(NextProcessEntry(), 0);
    ProcessApi.processIdBuffer = saved.saved().processIdBuffer;

    ASSERT_NE(WalkTo(GetCurrentProcessId()), 0);
    // Without the module list the null module stands for the executable.
    ProcessApi.enumProcessModules = nullptr;
    EXPECT_EQ(Name(), baseName);
    ProcessApi.getModuleBaseNameA = nullptr;
    ProcessApi.getModuleFileNameExA = nullptr;
    ProcessApi.getProcessMemoryInfo = nullptr;
    ProcessApi.queryFullProcessImageNameA = nullptr;
    ProcessApi.process32Next = nullptr;
    ReadAgain();
    EXPECT_EQ(Name(), "");
    EXPECT_EQ(Path(), "");
    EXPECT_EQ(EntryWorkingSet(), 0u);
    EXPECT_EQ(EntryProcessId(), GetCurrentProcessId());
}

TEST_F(EnumerationFakes, WherePsapiNamesNothingTheImagePathDoes) {
    char ownPath[MAX_PATH];
    GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    ASSERT_NE(WalkTo(GetCurrentProcessId()), 0);
    // psapi opens the process but writes nothing, as for a 64-bit process seen
    // from a 32-bit one: the real image-name query names it.
    ProcessApi.getModuleBaseNameA = FakeModuleText;
    ProcessApi.getModuleFileNameExA = FakeModuleText;
    FakeText = nullptr;
    FakeLength = 0;
    EXPECT_EQ(Name(), strrchr(ownPath, '\\') + 1);
    EXPECT_EQ(lstrcmpiA(Path().c_str(), ownPath), 0) << Path();

    // A path longer than a result may be: the path is cut, the name is whole.
    ProcessApi.queryFullProcessImageNameA = FakeImageName;
    ProcessApi.createToolhelp32Snapshot = nullptr;
    std::string longPath = "C:\\" + std::string(400, 'd') + "\\tool.exe";
    FakeImagePath = longPath.c_str();
    ReadAgain();
    EXPECT_EQ(Name(), "tool.exe");
    EXPECT_EQ(Path(), longPath.substr(0, MAX_PROCESS_TEXT - 3) + "...");
    // A failed query leaves both empty; where psapi answers, it is not asked.
    FakeImagePath = nullptr;
    ReadAgain();
    EXPECT_EQ(Name(), "");
    EXPECT_EQ(Path(), "");
    FakeImagePath = "C:\\other.exe";
    FakeText = "psapi.exe";
    FakeLength = 9;
    ReadAgain();
    EXPECT_EQ(Name(), "psapi.exe");
}

// What the system's list answers is taken from it, what it cannot say is checked on
// the row's own handle; each case is an entry of a fake list, which a real system
// cannot be made to give: the idle process and the system's own (Wine lists
// neither), a process without a thread, an id that has passed to a newer process.
TEST_F(EnumerationFakes, TheSystemListsAnswersAndTheRowsChecks) {
    ChildProcess sealed;
    ASSERT_TRUE(sealed.Start("idle_child.exe"));
    ASSERT_TRUE(GrantOnly(sealed.handle(), SYNCHRONIZE)); // as the system's own processes
    const DWORD self = GetCurrentProcessId();
    const uint64_t selfCreated = HandleCreationTime(GetCurrentProcess());
    const std::vector<DWORD> selfThreads = ThreadIdsOf(self);
    char ownPath[MAX_PATH];
    GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    struct Case {
        const char* name;
        FakeListed listed;
        RunState state;
        const char *shown, *path; // path null: this program's own
    } cases[] = {
        {"the idle process", {0, 0, L"", 0, {}}, RunState::Running, "IDLE", ""},
        // Beyond 2 GiB (on a 64-bit build beyond 4 GiB) and shown whole.
        {"a process named by the list",
         {self, selfCreated, L"listed.exe",
          SIZE_T(sizeof(SIZE_T) == 8 ? 6000000000ull : 3000000000u), selfThreads},
         RunState::Running,
         "listed.exe",
         nullptr},
        // The most a 32-bit caller's figure holds, marked as capped.
        {"the system's own, which grants nothing",
         {sealed.id(), HandleCreationTime(sealed.handle()), L"System", SIZE_T(-1),
          ThreadIdsOf(sealed.id())},
         RunState::Running,
         "System",
         ""},
        {"a process without a thread",
         {self, selfCreated, L"x.exe", 1, {}},
         RunState::Ended,
         "",
         ""},
        {"its id now names a newer process",
         {self, selfCreated - 1, L"x.exe", 1, selfThreads},
         RunState::Ended,
         "",
         ""},
    };
    std::vector<FakeListed> processes;
    for (const Case& c : cases)
        processes.push_back(c.listed);
    FakeList(processes);
    FakeTooSmall = 2;
    FakeListCalls = 0;
    ProcessApi.ntQuerySystemInformation = FakeProcessList;
    // The list's own figure, as on a system without the 64-bit counters.
    ProcessApi.ntWow64QueryInformationProcess64 = nullptr;
    ASSERT_EQ(SnapshotProcessIds(), 5);
    EXPECT_EQ(FakeListCalls, 3) << "the buffer grown while the call says it is too small";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(NextProcessEntry(), 0);
        EXPECT_EQ(EntryProcessId(), c.listed.id);
        EXPECT_EQ(EntryRunState(), c.state);
        if (c.state == RunState::Ended) continue;
        EXPECT_EQ(Name(), c.shown);
        if (c.path) {
            EXPECT_EQ(Path(), c.path);
        } else {
            EXPECT_EQ(lstrcmpiA(Path().c_str(), ownPath), 0) << Path();
        }
        EXPECT_EQ(EntryWorkingSet(), c.listed.workingSet);
        EXPECT_EQ(EntryWorkingSetCapped(), c.listed.workingSet == SIZE_T(-1));
        EXPECT_EQ(EntryCreationTime(), c.listed.created);
    }
    EXPECT_EQ(NextProcessEntry(), 0);
}
