// Child program that only waits: for the process whose id is its argument to
// end (then it exits with 3), or for ever without an argument.
#include <windows.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    HANDLE parent =
        argc > 1 ? OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[1], nullptr, 10)) : nullptr;
    WaitForSingleObject(parent ? parent : GetCurrentThread(), INFINITE);
    return 3;
}
