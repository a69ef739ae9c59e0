// Run-time binding of the process-status, tool-help, image-name and native
// process and thread entry points. The library does not import psapi.dll, the
// tool-help functions, QueryFullProcessImageNameA or ntdll's calls: they are looked
// up by name at start-up, and a missing one is a null slot that no operation calls.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <psapi.h>

constexpr DWORD PROCESS_ID_BUFFER_SIZE = 4096;
// The process-id buffer grows, when a snapshot fills it, up to this size (262144 ids).
constexpr DWORD MAX_PROCESS_ID_BUFFER_SIZE = 1024 * 1024;

// NtQueryInformationThread's class for a thread's suspend count (Windows 8.1 on).
constexpr ULONG THREAD_SUSPEND_COUNT_CLASS = 35;
// NtQueryInformationProcess's class ProcessBreakOnTermination: nonzero when the
// process's end stops the system.
constexpr ULONG BREAK_ON_TERMINATION_CLASS = 29;
// NtGetNextThread's answer after a process's last thread.
constexpr LONG STATUS_NO_MORE_ENTRIES = static_cast<LONG>(0x8000001A);

// LoadLibraryEx: search the system folder only (Windows 8, and Vista or 7 with
// their update); older systems refuse it.
constexpr DWORD SEARCH_SYSTEM32 = 0x800; // LOAD_LIBRARY_SEARCH_SYSTEM32

using EnumProcessesFn = BOOL(WINAPI*)(DWORD* ids, DWORD bytes, DWORD* bytesReturned);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD bytes,
                                           DWORD* bytesNeeded);
using GetModuleBaseNameAFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR name, DWORD size);
using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR name,
                                              DWORD size);
using EnumDeviceDriversFn = BOOL(WINAPI*)(LPVOID* bases, DWORD bytes, DWORD* bytesNeeded);
using GetDeviceDriverBaseNameAFn = DWORD(WINAPI*)(LPVOID base, LPSTR name, DWORD size);
using GetDeviceDriverFileNameAFn = DWORD(WINAPI*)(LPVOID base, LPSTR name, DWORD size);
using GetProcessMemoryInfoFn = BOOL(WINAPI*)(HANDLE process, PROCESS_MEMORY_COUNTERS* counters,
                                             DWORD size);
using EmptyWorkingSetFn = BOOL(WINAPI*)(HANDLE process);
using CreateToolhelp32SnapshotFn = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using Thread32FirstFn = BOOL(WINAPI*)(HANDLE snapshot, THREADENTRY32* entry);
using Thread32NextFn = BOOL(WINAPI*)(HANDLE snapshot, THREADENTRY32* entry);
using OpenThreadFn = HANDLE(WINAPI*)(DWORD access, BOOL inherit, DWORD threadId);
using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name,
                                                   DWORD* size);
using GetProcessIdOfThreadFn = DWORD(WINAPI*)(HANDLE thread);
using Process32FirstFn = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);
using Process32NextFn = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);
using NtQueryInformationThreadFn = LONG(WINAPI*)(HANDLE thread, ULONG infoClass, void* info,
                                                 ULONG size, ULONG* returned);
using GetProcessTimesFn = BOOL(WINAPI*)(HANDLE process, FILETIME* created, FILETIME* exited,
                                        FILETIME* kernel, FILETIME* user);
using IsProcessCriticalFn = BOOL(WINAPI*)(HANDLE process, BOOL* critical);
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE process, ULONG infoClass, void* info,
                                                  ULONG size, ULONG* returned);
using NtSuspendProcessFn = LONG(WINAPI*)(HANDLE process);
using NtResumeProcessFn = LONG(WINAPI*)(HANDLE process);
using NtGetNextThreadFn = LONG(WINAPI*)(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                        ULONG attributes, ULONG flags, HANDLE* next);
using NtWow64QueryInformationProcess64Fn = LONG(WINAPI*)(HANDLE process, ULONG infoClass,
                                                         void* info, ULONG size, ULONG* returned);
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG infoClass, void* info, ULONG size,
                                                 ULONG* returned);

// NtQueryInformationProcess's class for a process's memory counters.
constexpr ULONG VM_COUNTERS_CLASS = 3; // ProcessVmCounters
// The memory counters as a 64-bit process keeps them, whatever the caller's build.
struct VmCounters64 {
    ULONGLONG peakVirtualSize;
    ULONGLONG virtualSize;
    ULONG pageFaultCount;
    ULONG padding;
    ULONGLONG peakWorkingSetSize;
    ULONGLONG workingSetSize;
    ULONGLONG rest[6]; // pool and page-file figures
};

// NtQuerySystemInformation's class for the list of every process with its threads,
// and its answer when the buffer offered is too small for it.
constexpr ULONG PROCESS_LIST_CLASS = 5; // SystemProcessInformation
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);

// A text as the system's native calls give it: its length in bytes, and its
// characters, not terminated.
struct CountedWideText {
    USHORT length;
    USHORT maximumLength;
    wchar_t* buffer;
};
// One thread of a process in the system's process list.
struct ListedThread {
    LARGE_INTEGER kernelTime, userTime, createTime;
    ULONG waitTime;
    void* startAddress;
    HANDLE processId, threadId;
    LONG priority, basePriority;
    ULONG contextSwitches, state, waitReason;
};
// One process in the system's process list, as the system lays it out for a caller
// of this build's width: its threads (threadCount ListedThreads) follow it, and the
// next process starts nextEntryOffset bytes after it (0: it is the last).
struct ListedProcess {
    ULONG nextEntryOffset;
    ULONG threadCount;
    LARGE_INTEGER workingSetPrivateSize;
    ULONG hardFaultCount, threadCountHighWatermark;
    ULONGLONG cycleTime;
    LARGE_INTEGER createTime, userTime, kernelTime;
    CountedWideText imageName; // its executable's base name; empty for the idle process
    LONG basePriority;
    HANDLE processId, parentProcessId;
    ULONG handleCount, sessionId;
    ULONG_PTR uniqueProcessKey;
    SIZE_T peakVirtualSize, virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSetSize, workingSetSize;
    SIZE_T quotaPeakPagedPool, quotaPagedPool, quotaPeakNonPagedPool, quotaNonPagedPool;
    SIZE_T pagefileUsage, peakPagefileUsage, privatePageCount;
    LARGE_INTEGER ioCounters[6];
};
static_assert(sizeof(ListedProcess) == (sizeof(void*) == 8 ? 256 : 184) &&
                  sizeof(ListedThread) == (sizeof(void*) == 8 ? 80 : 64),
              "the layouts that the system gives a caller of this width");

// The binding table: psapi's slots, the process-id buffer with its size and the two
// other buffers, then kernel32's slots, then ntdll's. Some slots have no caller (the device-driver
// queries, EmptyWorkingSet, the second and third buffers): they are bound and released all the
// same, so that the table keeps one fixed layout whatever the operations use. Only BindProcessApi
// and ReleaseProcessApi write it (and tests, which empty or fake a slot to stand in for a system
// without the entry point).
struct ProcessApiTable {
    HMODULE psapiModule;
    EnumProcessesFn enumProcesses;
    EnumProcessModulesFn enumProcessModules;
    GetModuleBaseNameAFn getModuleBaseNameA;
    GetModuleFileNameExAFn getModuleFileNameExA;
    EnumDeviceDriversFn enumDeviceDrivers;
    GetDeviceDriverBaseNameAFn getDeviceDriverBaseNameA;
    GetDeviceDriverFileNameAFn getDeviceDriverFileNameA;
    GetProcessMemoryInfoFn getProcessMemoryInfo;
    EmptyWorkingSetFn emptyWorkingSet;
    DWORD* processIdBuffer;    // 4096 bytes at first; grown by GrowProcessIdBuffer
    DWORD processIdBufferSize; // bytes of processIdBuffer; 0 while there is none
    void* secondBuffer;
    void* thirdBuffer;
    HMODULE kernel32Module;
    CreateToolhelp32SnapshotFn createToolhelp32Snapshot;
    Thread32FirstFn thread32First;
    Thread32NextFn thread32Next;
    OpenThreadFn openThread;
    // Vista and later: names the image of any process that limited query access
    // opens, also where psapi cannot read the modules (a 64-bit process seen
    // from a 32-bit one).
    QueryFullProcessImageNameAFn queryFullProcessImageNameA;
    // Vista and later: the process an opened thread belongs to, so that a thread id
    // that passed to another process's thread is not acted on.
    GetProcessIdOfThreadFn getProcessIdOfThread;
    // Tool-help's process walk: names the processes that neither psapi nor the
    // image-name query can (the system's own, some protected ones).
    Process32FirstFn process32First;
    Process32NextFn process32Next;
    // Reads a process's creation time, which tells it from a later process with its
    // id; bound like the others, so that a test can stand in for such a process.
    GetProcessTimesFn getProcessTimes;
    // Whether the system marks a process critical (its end stops the system): kernel32's
    // question from Windows 8.1 on, ntdll's process query (class 29) before.
    IsProcessCriticalFn isProcessCritical;
    // ntdll's calls. The thread query is bound only where it tells a thread's
    // suspend count (class 35, Windows 8.1 on) without touching the thread: it is
    // asked once, at binding, about the calling thread.
    NtQueryInformationThreadFn ntQueryInformationThread;
    NtQueryInformationProcessFn ntQueryInformationProcess;
    // Suspend or resume every thread of a process in one call, each thread's count
    // raised or lowered by one (Windows XP on).
    NtSuspendProcessFn ntSuspendProcess;
    NtResumeProcessFn ntResumeProcess;
    // Opens a process's threads one after the other by its handle, without thread
    // ids that could pass to another process meanwhile (Vista on).
    NtGetNextThreadFn ntGetNextThread;
    // Only a 32-bit process on 64-bit Windows has this: it asks the system in its
    // 64-bit layouts, so that a 64-bit process's memory figures are not cut to 32 bits.
    NtWow64QueryInformationProcess64Fn ntWow64QueryInformationProcess64;
    // Lists every process with its name, creation time, working set and threads in
    // one call (PROCESS_LIST_CLASS; every version of Windows NT).
    NtQuerySystemInformationFn ntQuerySystemInformation;
};

// All null until BindProcessApi runs.
extern ProcessApiTable ProcessApi;

// Loads psapi.dll (from the system folder where the system can say so), finds
// kernel32.dll and ntdll.dll (in every process from its start) and fills the
// slots; always returns 0.
int BindProcessApi();
// Frees the three buffers, then psapi.dll, and clears every slot; always returns 0.
int ReleaseProcessApi();
// Replaces the process-id buffer by one twice its size (its contents are not kept).
// False, leaving the buffer as it was, when there is none, when it has reached
// MAX_PROCESS_ID_BUFFER_SIZE or when no memory can be had.
bool GrowProcessIdBuffer();
