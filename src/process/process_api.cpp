#include "process/process_api.h"

#include <string.h>

// The bound entry points and buffers; written by BindProcessApi and
// ReleaseProcessApi on the loader's thread, read by the process operations.
ProcessApiTable ProcessApi;

// A slot of the binding table and the name of the entry point bound into it.
struct SlotBinding {
    void* slot; // the address of one of ProcessApi's entry-point slots
    const char* name;
};

static const SlotBinding PSAPI_SLOTS[] = {
    {&ProcessApi.enumProcesses, "EnumProcesses"},
    {&ProcessApi.enumProcessModules, "EnumProcessModules"},
    {&ProcessApi.getModuleBaseNameA, "GetModuleBaseNameA"},
    {&ProcessApi.getModuleFileNameExA, "GetModuleFileNameExA"},
    {&ProcessApi.enumDeviceDrivers, "EnumDeviceDrivers"},
    {&ProcessApi.getDeviceDriverBaseNameA, "GetDeviceDriverBaseNameA"},
    {&ProcessApi.getDeviceDriverFileNameA, "GetDeviceDriverFileNameA"},
    {&ProcessApi.getProcessMemoryInfo, "GetProcessMemoryInfo"},
    {&ProcessApi.emptyWorkingSet, "EmptyWorkingSet"},
};
static const SlotBinding KERNEL32_SLOTS[] = {
    {&ProcessApi.createToolhelp32Snapshot, "CreateToolhelp32Snapshot"},
    {&ProcessApi.thread32First, "Thread32First"},
    {&ProcessApi.thread32Next, "Thread32Next"},
    {&ProcessApi.openThread, "OpenThread"},
    {&ProcessApi.queryFullProcessImageNameA, "QueryFullProcessImageNameA"},
    {&ProcessApi.getProcessIdOfThread, "GetProcessIdOfThread"},
    {&ProcessApi.process32First, "Process32First"},
    {&ProcessApi.process32Next, "Process32Next"},
    {&ProcessApi.getProcessTimes, "GetProcessTimes"},
    {&ProcessApi.isProcessCritical, "IsProcessCritical"},
};
static const SlotBinding NTDLL_SLOTS[] = {
    {&ProcessApi.ntQueryInformationThread, "NtQueryInformationThread"},
    {&ProcessApi.ntQueryInformationProcess, "NtQueryInformationProcess"},
    {&ProcessApi.ntSuspendProcess, "NtSuspendProcess"},
    {&ProcessApi.ntResumeProcess, "NtResumeProcess"},
    {&ProcessApi.ntGetNextThread, "NtGetNextThread"},
};

// Looks each name up in module and stores it in its slot; a missing name (or
// module) leaves null.
static void BindSlots(HMODULE module, const SlotBinding* bindings, size_t count) {
    if (!module) return;
    for (size_t i = 0; i < count; ++i) {
        FARPROC entry = GetProcAddress(module, bindings[i].name);
        // Copied, not converted: the slot's type is the entry point's real prototype.
        memcpy(bindings[i].slot, &entry, sizeof entry);
    }
}

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
    BindSlots(ProcessApi.psapiModule, PSAPI_SLOTS, sizeof PSAPI_SLOTS / sizeof *PSAPI_SLOTS);
    if (ProcessApi.psapiModule) {
        ProcessApi.processIdBuffer =
            static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE));
        if (ProcessApi.processIdBuffer) ProcessApi.processIdBufferSize = PROCESS_ID_BUFFER_SIZE;
        ProcessApi.secondBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
        ProcessApi.thirdBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
    }
    // The tool-help functions and the image-name, thread-owner and times queries are
    // looked up by name as well, so that a kernel32 without them still lets the
    // library load. kernel32 and ntdll are in every process from its start: they
    // are found, not loaded, and nothing is given back.
    ProcessApi.kernel32Module = GetModuleHandleA("kernel32.dll");
    BindSlots(ProcessApi.kernel32Module, KERNEL32_SLOTS,
              sizeof KERNEL32_SLOTS / sizeof *KERNEL32_SLOTS);
    BindSlots(GetModuleHandleA("ntdll.dll"), NTDLL_SLOTS, sizeof NTDLL_SLOTS / sizeof *NTDLL_SLOTS);
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
    auto* grown = static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, 2 * size));
    if (!grown) return false;
    GlobalFree(ProcessApi.processIdBuffer);
    ProcessApi.processIdBuffer = grown;
    ProcessApi.processIdBufferSize = 2 * size;
    return true;
}
