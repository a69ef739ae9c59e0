#include "process/process_api.h"

#include <string.h>

// The bound entry points and buffers; written by BindProcessApi and
// ReleaseProcessApi on the loader's thread, read by the process operations.
ProcessApiTable ProcessApi;

// The libraries that the slots are bound from.
enum Library { PSAPI, KERNEL32, NTDLL, LIBRARY_COUNT };

// A slot of the binding table, the library and the name of the entry point bound
// into it.
struct SlotBinding {
    Library library;
    void* slot; // the address of one of ProcessApi's entry-point slots
    const char* name;
};

static const SlotBinding SLOTS[] = {
    {PSAPI, &ProcessApi.enumProcesses, "EnumProcesses"},
    {PSAPI, &ProcessApi.enumProcessModules, "EnumProcessModules"},
    {PSAPI, &ProcessApi.getModuleBaseNameA, "GetModuleBaseNameA"},
    {PSAPI, &ProcessApi.getModuleFileNameExA, "GetModuleFileNameExA"},
    {PSAPI, &ProcessApi.enumDeviceDrivers, "EnumDeviceDrivers"},
    {PSAPI, &ProcessApi.getDeviceDriverBaseNameA, "GetDeviceDriverBaseNameA"},
    {PSAPI, &ProcessApi.getDeviceDriverFileNameA, "GetDeviceDriverFileNameA"},
    {PSAPI, &ProcessApi.getProcessMemoryInfo, "GetProcessMemoryInfo"},
    {PSAPI, &ProcessApi.emptyWorkingSet, "EmptyWorkingSet"},
    {KERNEL32, &ProcessApi.createToolhelp32Snapshot, "CreateToolhelp32Snapshot"},
    {KERNEL32, &ProcessApi.thread32First, "Thread32First"},
    {KERNEL32, &ProcessApi.thread32Next, "Thread32Next"},
    {KERNEL32, &ProcessApi.openThread, "OpenThread"},
    {KERNEL32, &ProcessApi.queryFullProcessImageNameA, "QueryFullProcessImageNameA"},
    {KERNEL32, &ProcessApi.getProcessIdOfThread, "GetProcessIdOfThread"},
    {KERNEL32, &ProcessApi.process32First, "Process32First"},
    {KERNEL32, &ProcessApi.process32Next, "Process32Next"},
    {KERNEL32, &ProcessApi.getProcessTimes, "GetProcessTimes"},
    {KERNEL32, &ProcessApi.isProcessCritical, "IsProcessCritical"},
    {NTDLL, &ProcessApi.ntQueryInformationThread, "NtQueryInformationThread"},
    {NTDLL, &ProcessApi.ntQueryInformationProcess, "NtQueryInformationProcess"},
    {NTDLL, &ProcessApi.ntSuspendProcess, "NtSuspendProcess"},
    {NTDLL, &ProcessApi.ntResumeProcess, "NtResumeProcess"},
    {NTDLL, &ProcessApi.ntGetNextThread, "NtGetNextThread"},
    {NTDLL, &ProcessApi.ntWow64QueryInformationProcess64, "NtWow64QueryInformationProcess64"},
    {NTDLL, &ProcessApi.ntQuerySystemInformation, "NtQuerySystemInformation"},
};

// psapi.dll from the system folder only, so that a psapi.dll planted beside the
// host program is never loaded. Systems without that search flag (before Windows 8,
// and 7 or Vista without their update) refuse it with ERROR_INVALID_PARAMETER and
// load psapi.dll by the usual search order.
static HMODULE LoadPsapi() {
    HMODULE psapi = LoadLibraryExA("psapi.dll", nullptr, SEARCH_SYSTEM32);
    if (!psapi && GetLastError() == ERROR_INVALID_PARAMETER) psapi = LoadLibraryA("psapi.dll");
    return psapi;
}

int BindProcessApi() {
    ProcessApi.psapiModule = LoadPsapi();
    if (ProcessApi.psapiModule) {
        ProcessApi.processIdBuffer =
            static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE));
        if (ProcessApi.processIdBuffer) ProcessApi.processIdBufferSize = PROCESS_ID_BUFFER_SIZE;
        ProcessApi.secondBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
        ProcessApi.thirdBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
    }
    // kernel32 and ntdll are in every process from its start: they are found, not
    // loaded, and nothing is given back. Their entry points are looked up by name as
    // well, so that a system without one still lets the library load.
    ProcessApi.kernel32Module = GetModuleHandleA("kernel32.dll");
    const HMODULE modules[LIBRARY_COUNT] = {ProcessApi.psapiModule, ProcessApi.kernel32Module,
                                            GetModuleHandleA("ntdll.dll")};
    for (const SlotBinding& binding : SLOTS) {
        const HMODULE module = modules[binding.library];
        // A missing library or name leaves the slot null.
        FARPROC entry = module ? GetProcAddress(module, binding.name) : nullptr;
        // Copied, not converted: the slot's type is the entry point's real prototype.
        memcpy(binding.slot, &entry, sizeof entry);
    }
    // Systems before Windows 8.1 know the thread query but not the suspend count's
    // class: there the slot stays empty, and no read asks it again.
    ULONG count = 0;
    if (ProcessApi.ntQueryInformationThread &&
        ProcessApi.ntQueryInformationThread(GetCurrentThread(), THREAD_SUSPEND_COUNT_CLASS, &count,
                                            sizeof count, nullptr) < 0) {
        ProcessApi.ntQueryInformationThread = nullptr;
    }
    return 0;
}

int ReleaseProcessApi() {
    if (ProcessApi.processIdBuffer) GlobalFree(ProcessApi.processIdBuffer);
    if (ProcessApi.secondBuffer) GlobalFree(ProcessApi.secondBuffer);
    if (ProcessApi.thirdBuffer) GlobalFree(ProcessApi.thirdBuffer);
    // After the buffers: nothing of psapi.dll is in use any more.
    if (ProcessApi.psapiModule) FreeLibrary(ProcessApi.psapiModule);
    // Every slot is cleared so that nothing can reach a freed buffer or an unloaded
    // module.
    ProcessApi = ProcessApiTable{};
    return 0;
}

bool GrowProcessIdBuffer() {
    const DWORD size = ProcessApi.processIdBufferSize;
    if (!ProcessApi.processIdBuffer || size >= MAX_PROCESS_ID_BUFFER_SIZE) return false;
    auto* grown = static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, SIZE_T{2} * size));
    if (!grown) return false;
    GlobalFree(ProcessApi.processIdBuffer);
    ProcessApi.processIdBuffer = grown;
    ProcessApi.processIdBufferSize = 2 * size;
    return true;
}
