#include "lifecycle/module.h"

#include "process/enumeration.h"
#include "process/paused_processes.h"
#include "process/process_api.h"
#include "runtime/scratch.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"
#include "toolkit/event_pump.h"
#include "toolkit/report_list.h"

void ModuleAttach() {
    MainHeap = HeapCreate(0, MAIN_HEAP_INITIAL_SIZE, 0);
    ListHeap = HeapCreate(0, LIST_HEAP_INITIAL_SIZE, 0);
    if (!MainHeap || !ListHeap) {
        // Every table, record and text lives in these heaps: without both the
        // module stays inert and Main refuses to run.
        if (MainHeap) HeapDestroy(MainHeap);
        if (ListHeap) HeapDestroy(ListHeap);
        MainHeap = ListHeap = nullptr;
        return;
    }
    ++HeapGeneration;
    ResetEventState();
    // Every toolkit window's messages go through the event pump's translation.
    RegisterTemplateClass(WindowClassProc);
    InitControlLayer();
    BindProcessApi();
    CreateScratchBuffer();
}

void ModuleDetach(bool processEnding) {
    if (ModuleReady()) ResumePausedProcesses();
    // Tearing down would touch what the ended threads left half changed (a heap's
    // lock, a window mid-message) and unload libraries still mapped for nothing.
    if (processEnding) return;
    LetGoOfAllPauses();
    // Before the heaps go: the snapshot keeps the list's buffer, and a walk left
    // unfinished tool-help's tables.
    ReleaseSnapshot();
    ReleaseProcessApi();
    if (!MainHeap || !ListHeap) return;
    CloseAllWindows();
    HeapDestroy(ListHeap);
    HeapDestroy(MainHeap);
    ListHeap = MainHeap = nullptr;
    // What lived in MainHeap is gone with it.
    ScratchBuffer = ScratchFreeEnd = nullptr;
    ResetListImageCache();
}

bool ModuleReady() {
    return MainHeap && ListHeap && ScratchBuffer;
}
