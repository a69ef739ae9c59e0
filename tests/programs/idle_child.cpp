// Child program that only waits: for the process whose id is its argument to
// end (then it exits with 3), or for ever without an argument. A second argument
// gives mebibytes of memory that it first commits and touches, so that its working
// set is that large.
#include <windows.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    HANDLE parent =
        argc > 1 ? OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[1], nullptr, 10)) : nullptr;
    if (argc > 2) {
        const SIZE_T bytes = static_cast<SIZE_T>(strtoul(argv[2], nullptr, 10)) << 20;
        auto* memory = static_cast<volatile char*>(
            VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!memory) return 2;
        for (SIZE_T at = 0; at < bytes; at += 4096)
            memory[at] = 1;
    }
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
