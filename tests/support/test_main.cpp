// The test programs' main: GoogleTest's own, with the one thread that GoogleTest
// starts by itself started and running before the first test.
//
// The first trace (SCOPED_TRACE) or failure on a thread makes GoogleTest start a
// thread that waits for that thread's end. Left to the tests, it starts moments
// before the program ends; under Wine a process that ends while one of its threads
// is still being set up can die of a segmentation fault after every test passed
// (the thread takes the exit's signal before its own state is in place). Started
// here, it is long past that by the end.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/child_process.h"
#include "support/wait.h"

namespace {

// Threads that have started running in this program: the system calls the
// program's TLS callbacks on each new thread once it is set up, before its own code.
volatile LONG ThreadsStarted = 0;

void NTAPI CountThreadStart(void*, DWORD reason, void*) {
    if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&ThreadsStarted);
}

} // namespace

// Among the program's TLS callbacks, which the linker gathers from .CRT$XLA to .CRT$XLZ.
extern "C" __attribute__((section(".CRT$XLK"), used))
const PIMAGE_TLS_CALLBACK KelvorTestThreadStart = CountThreadStart;

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const LONG started = ThreadsStarted;
    const auto before = static_cast<LONG>(ThreadIdsOf(GetCurrentProcessId()).size());
    { testing::ScopedTrace first(__FILE__, __LINE__, "start-up"); }
    const LONG added = static_cast<LONG>(ThreadIdsOf(GetCurrentProcessId()).size()) - before;
    if (added > 0) WaitUntil([&] { return ThreadsStarted - started >= added; }, 10000);
    return RUN_ALL_TESTS();
}
