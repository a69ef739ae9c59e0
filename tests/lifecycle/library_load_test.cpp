#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "process/enumeration.h"
#include "process/process_api.h"
#include "runtime/scratch.h"
#include "support/test_module.h"

namespace {

using EntryPointFn = BOOL(WINAPI*)(HINSTANCE, DWORD, void*);

HMODULE LoadKelvor() {
    char path[MAX_PATH];
    PathBesideTests("kelvor.dll", path);
    return LoadLibraryA(path);
}

DWORD HeapCount() {
    return GetProcessHeaps(0, nullptr);
}

DWORD WINAPI DoNothing(void*) {
    return 0;
}

// The module entry point the loader calls, from the library's own headers.
EntryPointFn EntryPointOf(HMODULE module) {
    auto* base = reinterpret_cast<char*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return reinterpret_cast<EntryPointFn>(
        reinterpret_cast<void*>(base + nt->OptionalHeader.AddressOfEntryPoint));
}

} // namespace

TEST(LibraryLoad, AttachBindsPsapiAndDetachReleasesItOnce) {
    ASSERT_EQ(GetModuleHandleA("psapi.dll"), nullptr) << "this test program loaded psapi.dll";
    const DWORD heaps = HeapCount();

    HMODULE library = LoadKelvor();
    ASSERT_NE(library, nullptr) << GetLastError();
    EXPECT_NE(GetModuleHandleA("psapi.dll"), nullptr);
    EXPECT_EQ(HeapCount(), heaps + 2) << "the two private heaps";
    EXPECT_NE(GetProcAddress(library, "Main"), nullptr);

    // With a reference of this test's own, psapi.dll must stay loaded after the
    // library lets go (it released it at most once) and go with the test's
    // reference (it released it at least once).
    HMODULE psapi = LoadLibraryA("psapi.dll");
    ASSERT_NE(psapi, nullptr);
    ASSERT_TRUE(FreeLibrary(library));
    EXPECT_EQ(HeapCount(), heaps);
    EXPECT_EQ(GetModuleHandleA("psapi.dll"), psapi) << "released more than once";
    FreeLibrary(psapi);
    EXPECT_EQ(GetModuleHandleA("psapi.dll"), nullptr) << "never released";
}

// A psapi.dll that is no library, in a folder that the usual search order visits
// before the system folder (the DLL directory): start-up must bind the system's.
TEST(LibraryLoad, PsapiComesFromTheSystemFolder) {
    ASSERT_EQ(GetModuleHandleA("psapi.dll"), nullptr) << "this test program loaded psapi.dll";
    char folder[MAX_PATH];
    char planted[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    snprintf(folder + strlen(folder), MAX_PATH - strlen(folder), "kelvor-planted-%lu",
             GetCurrentProcessId());
    snprintf(planted, sizeof(planted), "%s\\psapi.dll", folder);
    ASSERT_TRUE(CreateDirectoryA(folder, nullptr)) << GetLastError();
    if (FILE* file = fopen(planted, "wb")) {
        fputs("not a library", file);
        fclose(file);
    }
    ASSERT_TRUE(SetDllDirectoryA(folder));
    {
        ModuleScope module;
        EXPECT_NE(ProcessApi.psapiModule, nullptr);
        EXPECT_NE(ProcessApi.enumProcesses, nullptr);
        EXPECT_NE(SnapshotProcessIds(), 0);
    }
    SetDllDirectoryA(nullptr);
    DeleteFileA(planted);
    RemoveDirectoryA(folder);
}

TEST(LibraryLoad, ThreadNotificationsChangeNothing) {
    HMODULE library = LoadKelvor();
    ASSERT_NE(library, nullptr) << GetLastError();
    const DWORD heaps = HeapCount();
    const HMODULE psapi = GetModuleHandleA("psapi.dll");
    ASSERT_NE(psapi, nullptr);

    // Threads that start and end while the library is loaded notify it.
    for (int i = 0; i < 4; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    // The entry point answers TRUE to thread notifications and to reasons it does not know.
    EntryPointFn entry = EntryPointOf(library);
    for (DWORD reason : {DWORD{DLL_THREAD_ATTACH}, DWORD{DLL_THREAD_DETACH}, DWORD{7}}) {
        EXPECT_EQ(entry(library, reason, nullptr), TRUE) << "reason " << reason;
    }
    EXPECT_EQ(HeapCount(), heaps) << "start-up ran again or shutdown ran";
    EXPECT_EQ(GetModuleHandleA("psapi.dll"), psapi);

    ASSERT_TRUE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleA("psapi.dll"), nullptr) << "psapi.dll was loaded more than once";
}

// A copy of this test program, beside it under a name of its own, for which the
// registry disables psapi.dll. Wine takes a child's DLL overrides from the
// parent's own start-up environment, not from the environment block given to
// CreateProcess, so an override for one child only has to be set per program.
class ProgramWithoutPsapi {
  public:
    ProgramWithoutPsapi() {
        char name[64];
        snprintf(name, sizeof(name), "nopsapi_%lu.exe", GetCurrentProcessId());
        snprintf(key_, sizeof(key_), "Software\\Wine\\AppDefaults\\%s\\DllOverrides", name);
        PathBesideTests(name, path_);
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        copied_ = CopyFileA(self, path_, FALSE);
        HKEY overrides = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &overrides, nullptr) == ERROR_SUCCESS) {
            keyed_ = RegSetValueExA(overrides, "psapi", 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>("d"), 2) == ERROR_SUCCESS;
            RegCloseKey(overrides);
        }
    }
    ~ProgramWithoutPsapi() {
        RegDeleteKeyA(HKEY_CURRENT_USER, key_);
        *strrchr(key_, '\\') = '\0';
        RegDeleteKeyA(HKEY_CURRENT_USER, key_);
        if (copied_) DeleteFileA(path_);
    }
    ProgramWithoutPsapi(const ProgramWithoutPsapi&) = delete;
    ProgramWithoutPsapi& operator=(const ProgramWithoutPsapi&) = delete;

    bool ready() const { return copied_ && keyed_; }
    const char* path() const { return path_; }

  private:
    char path_[MAX_PATH];
    char key_[MAX_PATH];
    bool copied_ = false;
    bool keyed_ = false;
};

// A system without psapi.dll: this test program runs again with psapi.dll
// disabled, and the other half of the test runs there. Only Wine can disable a
// system library for one program; on Windows (the test kit) the test is skipped.
TEST(PsapiMissing, LibraryLoadsAndListsEveryProcess) {
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        GTEST_SKIP() << "psapi.dll cannot be disabled for one program outside Wine";
    }
    ProgramWithoutPsapi program;
    ASSERT_TRUE(program.ready());
    char outputPath[MAX_PATH];
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    snprintf(outputPath, sizeof(outputPath), "%skelvor-psapi-missing-%lu.txt", folder,
             GetCurrentProcessId());

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    char commandLine[2 * MAX_PATH];
    snprintf(commandLine, sizeof(commandLine),
             "\"%s\" --gtest_filter=PsapiMissing.DISABLED_ChildSide "
             "--gtest_also_run_disabled_tests",
             program.path());
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessA(program.path(), commandLine, nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &child);
    CloseHandle(output);
    ASSERT_TRUE(started) << GetLastError();
    DWORD waited = WaitForSingleObject(child.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, 5000);
    DWORD exitCode = 1;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    std::string text;
    if (FILE* file = fopen(outputPath, "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0)
            text.append(chunk, n);
        fclose(file);
    }
    DeleteFileA(outputPath);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(exitCode, 0u) << text;
    EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
}

TEST(PsapiMissing, DISABLED_ChildSide) {
    ASSERT_EQ(LoadLibraryA("psapi.dll"), nullptr) << "the override did not disable psapi.dll";

    {
        ModuleScope module;
        EXPECT_EQ(ProcessApi.psapiModule, nullptr);
        EXPECT_EQ(ProcessApi.enumProcesses, nullptr);
        EXPECT_EQ(ProcessApi.getProcessMemoryInfo, nullptr);
        EXPECT_EQ(ProcessApi.processIdBuffer, nullptr);
        EXPECT_EQ(ProcessApi.thirdBuffer, nullptr);
        EXPECT_NE(ProcessApi.kernel32Module, nullptr);
        EXPECT_NE(ProcessApi.createToolhelp32Snapshot, nullptr);
        EXPECT_NE(ProcessApi.openThread, nullptr);

        // The system's process list names every process, this one with its path.
        ASSERT_GT(SnapshotProcessIds(), 1);
        char ownPath[MAX_PATH];
        GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
        bool found = false;
        while (NextProcessEntry()) {
            if (EntryProcessId() != GetCurrentProcessId()) continue;
            found = true;
            ScratchMark mark;
            EXPECT_STREQ(EntryProcessName(), strrchr(ownPath, '\\') + 1);
            EXPECT_EQ(lstrcmpiA(EntryProcessPath(), ownPath), 0);
            EXPECT_GT(EntryWorkingSet(), 0u);
        }
        EXPECT_TRUE(found);
        // Without it too, EnumProcesses (psapi's) lists nothing.
        ProcessApi.ntQuerySystemInformation = nullptr;
        EXPECT_EQ(SnapshotProcessIds(), 0);
        EXPECT_EQ(NextProcessEntry(), 0);
        EXPECT_EQ(NextProcessEntry(), 0);
        ScratchMark mark;
        EXPECT_STREQ(EntryProcessName(), "");
        EXPECT_EQ(EntryWorkingSet(), 0u);
        EXPECT_EQ(EntryProcessId(), 0u);
    }

    // The real library starts up and shuts down here too.
    HMODULE library = LoadKelvor();
    ASSERT_NE(library, nullptr) << GetLastError();
    EXPECT_NE(GetProcAddress(library, "Main"), nullptr);
    EXPECT_TRUE(FreeLibrary(library));
}
