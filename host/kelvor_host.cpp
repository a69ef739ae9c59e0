// Launcher: loads kelvor.dll from its own folder and runs its Main export.
// A windowed program, so that a double-click opens no console beside the task
// manager. Exits with 0 when Main returned 1; otherwise it says what happened in a
// message box (and on the console it was started from, or in the file its error
// output goes to) and exits with
//   1  Main returned something other than 1,
//   2  kelvor.dll cannot be loaded or has no export named Main,
//   3  its own folder cannot be found, or its name is too long.
// Paths are wide-character throughout: a folder named outside the system's ANSI
// code page (a user name with letters of another script) must work too.
#include <windows.h>

namespace {

constexpr wchar_t LIBRARY_NAME[] = L"kelvor.dll";
constexpr wchar_t CAPTION[] = L"KELVOR";
// The longest path the system handles, terminator included.
constexpr DWORD PATH_CHARS = 32768;
// Room for the longest message: a path and a few lines around it.
constexpr DWORD TEXT_CHARS = PATH_CHARS + 1024;
// LoadLibraryEx and SetDefaultDllDirectories: search the system folder only.
constexpr DWORD SEARCH_SYSTEM32 = 0x800;

constexpr int EXIT_MAIN_FAILED = 1;
constexpr int EXIT_NOT_LOADED = 2;
constexpr int EXIT_NO_FOLDER = 3;

using MainFn = int (*)();
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);

// The launcher's own path, then kelvor.dll's beside it; written by wWinMain.
wchar_t LibraryPath[PATH_CHARS];
// The message being built and its length; written by the Append functions.
wchar_t Text[TEXT_CHARS];
DWORD TextLength;
// The message as UTF-8 for output that is not a console; written by WriteToConsole.
char Utf8[3 * TEXT_CHARS];

// Appends text to the message, cutting it off where the buffer ends.
void Append(const wchar_t* text) {
    while (*text && TextLength < TEXT_CHARS - 1)
        Text[TextLength++] = *text++;
    Text[TextLength] = L'\0';
}

void AppendNumber(long value) {
    wchar_t digits[16];
    wchar_t* start = digits + 15;
    *start = L'\0';
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : value;
    do {
        *--start = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--start = L'-';
    Append(start);
}

// Appends the system's description of an error code and the code itself.
void AppendError(DWORD error) {
    wchar_t description[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, description, 512, nullptr);
    // The description ends with a line break (and often a full stop) of its own.
    while (n > 0 && (description[n - 1] == L'\r' || description[n - 1] == L'\n' ||
                     description[n - 1] == L' ' || description[n - 1] == L'.')) {
        --n;
    }
    description[n] = L'\0';
    if (n > 0) {
        Append(description);
        Append(L" ");
    }
    Append(L"(error ");
    AppendNumber(static_cast<long>(error));
    Append(L").");
}

// A windowed program has no console of its own. Started with its error output
// redirected (a script) it writes there, as UTF-8 unless it is a console; started
// from a console window without redirection it attaches to that console.
void WriteToConsole() {
    HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        opened =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (opened == INVALID_HANDLE_VALUE) return;
        out = opened;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, L"kelvor-host: ", 13, &written, nullptr);
        WriteConsoleW(out, Text, TextLength, &written, nullptr);
        WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
    } else {
        WriteFile(out, "kelvor-host: ", 13, &written, nullptr);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, Text, static_cast<int>(TextLength), Utf8,
                                        sizeof Utf8, nullptr, nullptr);
        if (bytes > 0) WriteFile(out, Utf8, static_cast<DWORD>(bytes), &written, nullptr);
        WriteFile(out, "\r\n", 2, &written, nullptr);
    }
    if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
}

// Says the message on the console (if any) and in a message box; returns code.
int Fail(int code) {
    WriteToConsole();
    MessageBoxW(nullptr, Text, CAPTION, MB_OK | MB_ICONERROR);
    return code;
}

// Where the system offers it (Windows 8 and later; Vista and 7 with their update),
// every DLL loaded from now on, kelvor.dll's imports included, comes from the
// system folder only, so that a DLL of the same name planted beside the launcher
// (a Downloads folder) is never loaded. Looked up at run time: a program that
// imported it would not start on systems without it.
void RestrictDllSearch() {
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(SEARCH_SYSTEM32);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    DWORD n = GetModuleFileNameW(nullptr, LibraryPath, PATH_CHARS);
    if (n == 0 || n >= PATH_CHARS) {
        Append(L"KELVOR cannot find the folder it was started from: ");
        AppendError(n == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
        return Fail(EXIT_NO_FOLDER);
    }
    DWORD folderLength = n;
    while (folderLength > 0 && LibraryPath[folderLength - 1] != L'\\')
        --folderLength;
    if (folderLength + sizeof LIBRARY_NAME / sizeof(wchar_t) > PATH_CHARS) {
        Append(L"The name of KELVOR's folder is too long: move the folder closer to the top of "
               L"the drive.");
        return Fail(EXIT_NO_FOLDER);
    }
    for (DWORD i = 0; i < sizeof LIBRARY_NAME / sizeof(wchar_t); ++i)
        LibraryPath[folderLength + i] = LIBRARY_NAME[i];

    RestrictDllSearch();
    // By its full path: the DLL search order plays no part in finding kelvor.dll.
    HMODULE library = LoadLibraryExW(LibraryPath, nullptr, 0);
    if (!library) {
        DWORD error = GetLastError();
        if (GetFileAttributesW(LibraryPath) == INVALID_FILE_ATTRIBUTES) {
            Append(L"kelvor.dll is missing. It must be in the same folder as kelvor-host.exe:\r\n");
            Append(LibraryPath);
            Append(L"\r\nUnpack the whole zip into one folder and start kelvor-host.exe there.");
        } else {
            Append(L"KELVOR cannot load\r\n");
            Append(LibraryPath);
            Append(L"\r\n");
            AppendError(error);
        }
        return Fail(EXIT_NOT_LOADED);
    }
    auto run = reinterpret_cast<MainFn>(reinterpret_cast<void*>(GetProcAddress(library, "Main")));
    if (!run) {
        Append(L"This kelvor.dll is not KELVOR's task manager (it has no export named Main):\r\n");
        Append(LibraryPath);
        FreeLibrary(library);
        return Fail(EXIT_NOT_LOADED);
    }
    int result = run();
    FreeLibrary(library);
    if (result != 1) {
        Append(L"The task manager ended with an error (Main returned ");
        AppendNumber(result);
        Append(L").");
        return Fail(EXIT_MAIN_FAILED);
    }
    return 0;
}
