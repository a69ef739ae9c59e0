#include "process/process_api.h"

// The bound entry points and buffers; written by BindProcessApi and
// ReleaseProcessApi on the loader's thread, read by the process operations.
ProcessApiTable ProcessApi;

// Looks name up in module and stores it in slot; a missing name leaves null.
template <class Fn> static void BindSlot(Fn& slot, HMODULE module, const char* name) {
    // Through void*: the entry point's real prototype is the slot's, not FARPROC's.
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
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
    if (HMODULE psapi = ProcessApi.psapiModule) {
        BindSlot(ProcessApi.enumProcesses, psapi, "EnumProcesses");
        BindSlot(ProcessApi.enumProcessModules, psapi, "EnumProcessModules");
        BindSlot(ProcessApi.getModuleBaseNameA, psapi, "GetModuleBaseNameA");
        BindSlot(ProcessApi.getModuleFileNameExA, psapi, "GetModuleFileNameExA");
        BindSlot(ProcessApi.enumDeviceDrivers, psapi, "EnumDeviceDrivers");
        BindSlot(ProcessApi.getDeviceDriverBaseNameA, psapi, "GetDeviceDriverBaseNameA");
        BindSlot(ProcessApi.getDeviceDriverFileNameA, psapi, "GetDeviceDriverFileNameA");
        BindSlot(ProcessApi.getProcessMemoryInfo, psapi, "GetProcessMemoryInfo");
        BindSlot(ProcessApi.emptyWorkingSet, psapi, "EmptyWorkingSet");
        ProcessApi.processIdBuffer =
            static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE));
        if (ProcessApi.processIdBuffer) ProcessApi.processIdBufferSize = PROCESS_ID_BUFFER_SIZE;
        ProcessApi.secondBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
        ProcessApi.thirdBuffer = GlobalAlloc(GMEM_FIXED, PROCESS_ID_BUFFER_SIZE);
    }

    // The tool-help functions and the image-name, thread-owner and times queries are
    // looked up by name as well, so that a kernel32 without them still lets the
    // library load.
    ProcessApi.kernel32Module = LoadLibraryA("kernel32.dll");
    if (HMODULE kernel32 = ProcessApi.kernel32Module) {
        BindSlot(ProcessApi.createToolhelp32Snapshot, kernel32, "CreateToolhelp32Snapshot");
        BindSlot(ProcessApi.thread32First, kernel32, "Thread32First");
        BindSlot(ProcessApi.thread32Next, kernel32, "Thread32Next");
        BindSlot(ProcessApi.openThread, kernel32, "OpenThread");
        BindSlot(ProcessApi.queryFullProcessImageNameA, kernel32, "QueryFullProcessImageNameA");
        BindSlot(ProcessApi.getProcessIdOfThread, kernel32, "GetProcessIdOfThread");
        BindSlot(ProcessApi.process32First, kernel32, "Process32First");
        BindSlot(ProcessApi.process32Next, kernel32, "Process32Next");
        BindSlot(ProcessApi.getProcessTimes, kernel32, "GetProcessTimes");
        BindSlot(ProcessApi.isProcessCritical, kernel32, "IsProcessCritical");
    }
    // ntdll is in every process from its start: no load, and nothing to give back.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    BindSlot(ProcessApi.ntQueryInformationThread, ntdll, "NtQueryInformationThread");
    BindSlot(ProcessApi.ntQueryInformationProcess, ntdll, "NtQueryInformationProcess");
    return 0;
}

int ReleaseProcessApi() {
    if (ProcessApi.processIdBuffer) GlobalFree(ProcessApi.processIdBuffer);
    if (ProcessApi.secondBuffer) GlobalFree(ProcessApi.secondBuffer);
    if (ProcessApi.thirdBuffer) GlobalFree(ProcessApi.thirdBuffer);
    // After the buffers: nothing of psapi.dll is in use any more.
    if (ProcessApi.psapiModule) FreeLibrary(ProcessApi.psapiModule);
    // The kernel32 handle is not given back (kernel32 stays loaded anyway). Every
    // slot is cleared so that nothing can reach a freed buffer or an unloaded module.
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
