#include "toolkit/app_window.h"

#include "runtime/module_state.h"
#include "runtime/scratch.h"
#include "runtime/text.h"
#include "toolkit/messages.h"

ObjectTable WindowTable;

// Handed out by FindRecord for windows that do not exist; never written.
static const WindowRecord EmptyWindowRecord = {};

// Filled once at start-up and registered under every window's own class name.
static WNDCLASSA TemplateClass;
// "WindowClass_<identity>" of the window being opened or closed.
static char ClassNameBuffer[50];
// The window most recently opened; never cleared.
static HWND CurrentWindow;

constexpr int ACCELERATOR_COUNT = 2;

// Per-window class names are built the same way when opening and closing, so
// the class registered for an identity is the one unregistered for it.
static const char* FormatClassName(intptr_t identity) {
    static const char prefix[] = "WindowClass_";
    char digits[DECIMAL_TEXT_SIZE];
    FormatSigned(identity, digits);
    size_t used = CopyText(ClassNameBuffer, sizeof ClassNameBuffer, prefix);
    CopyText(ClassNameBuffer + used, sizeof ClassNameBuffer - used, digits);
    return ClassNameBuffer;
}

static WindowRecord* LiveWindowRecord(intptr_t window) {
    return static_cast<WindowRecord*>(FindRecord(WindowTable, window).live);
}

HWND AppWindowHandle(intptr_t window) {
    WindowRecord* record = LiveWindowRecord(window);
    return record ? record->hwnd : nullptr;
}

WindowRecord* WindowRecordOf(HWND hwnd) {
    // Free records hold a null handle: a null window matches none of them.
    if (!hwnd) return nullptr;
    for (DynamicNode* node = WindowTable.dynamicList.head; node; node = node->next) {
        auto* record = static_cast<WindowRecord*>(RecordOfNode(node));
        if (record->hwnd == hwnd) return record;
    }
    for (intptr_t number = 0; number < WindowTable.capacity; ++number) {
        auto* record = reinterpret_cast<WindowRecord*>(WindowTable.records) + number;
        if (record->hwnd == hwnd) return record;
    }
    return nullptr;
}

HACCEL WindowAccelerators(HWND hwnd) {
    const WindowRecord* record = WindowRecordOf(hwnd);
    return record ? record->acceleratorTable : nullptr;
}

void RegisterTemplateClass(WNDPROC windowProcedure) {
    CurrentWindow = nullptr;
    ClassNameBuffer[0] = '\0';
    SetUpObjectTable(WindowTable, sizeof(WindowRecord), WINDOW_TABLE_CAPACITY, &EmptyWindowRecord);

    TemplateClass = WNDCLASSA{};
    TemplateClass.style = CS_DBLCLKS;
    TemplateClass.lpfnWndProc = windowProcedure;
    TemplateClass.hInstance = ModuleInstance;
    // The module carries no icon resource: this is null and the system's default icon shows.
    TemplateClass.hIcon = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(1));
    TemplateClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    TemplateClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    TemplateClass.lpszClassName = TEMPLATE_CLASS_NAME;
    RegisterClassA(&TemplateClass);
}

// Gives the window its Tab/Shift+Tab table. Without memory for the entries the
// window simply has no accelerators. The entries stay in the record beside the
// table made from them, although the table alone serves TranslateAccelerator:
// the record's count, entries and table are released together when the window
// closes, and a count of 0 is what tells a second close that nothing is left.
static void BuildWindowAccelerators(intptr_t identity) {
    WindowRecord* record = LiveWindowRecord(identity);
    if (!record) return;
    record->acceleratorCount = 0;
    record->accelerators = nullptr;
    record->acceleratorTable = nullptr;
    auto* entries = static_cast<ACCEL*>(HeapAlloc(MainHeap, 0, ACCELERATOR_COUNT * sizeof(ACCEL)));
    if (!entries) return;
    entries[0] = ACCEL{FVIRTKEY | FNOINVERT, VK_TAB, CMD_FOCUS_NEXT};
    entries[1] = ACCEL{FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CMD_FOCUS_PREVIOUS};
    record->acceleratorCount = ACCELERATOR_COUNT;
    record->accelerators = entries;
    record->acceleratorTable = CreateAcceleratorTableA(entries, ACCELERATOR_COUNT);
}

namespace {
enum class Placement { AsGiven, ScreenCentered, ActiveCentered };

// The style and placement that the flags of OpenAppWindow ask for.
struct ReducedFlags {
    DWORD style;
    Placement placement;
    bool maximize;
};
} // namespace

static ReducedFlags ReduceFlags(uint32_t flags) {
    ReducedFlags reduced{0, Placement::AsGiven, false};
    if (flags & WIN_SCREEN_CENTERED) {
        flags &= ~WIN_SCREEN_CENTERED;
        reduced.placement = Placement::ScreenCentered;
    }
    if (flags & WIN_ACTIVE_CENTERED) {
        flags &= ~WIN_ACTIVE_CENTERED;
        reduced.placement = Placement::ActiveCentered;
    }
    if (flags == 0 || flags == WIN_INVISIBLE) flags |= WS_CAPTION;
    // WIN_INVISIBLE is WS_VISIBLE inverted.
    if (flags & WIN_INVISIBLE) {
        flags &= ~WIN_INVISIBLE;
    } else {
        flags |= WS_VISIBLE;
        reduced.maximize = (flags & WS_MAXIMIZE) != 0;
    }
    reduced.style = flags;
    return reduced;
}

// Centres a length on the screen; one wider than the screen starts at 0.
static int CenterOnScreen(int screen, int length) {
    if (length > screen) length = screen;
    return (screen >> 1) - (length >> 1);
}

static POINT PlaceWindow(Placement placement, int x, int y, int width, int height) {
    HWND active = placement == Placement::ActiveCentered ? GetActiveWindow() : nullptr;
    if (placement == Placement::ActiveCentered && active) {
        RECT a;
        GetWindowRect(active, &a);
        LONG left = a.left - (width >> 1) + ((a.right - a.left) >> 1);
        LONG top = a.top - (height >> 1) + ((a.bottom - a.top) >> 1);
        return POINT{left < 0 ? 0 : left, top < 0 ? 0 : top};
    }
    if (placement != Placement::AsGiven) {
        return POINT{CenterOnScreen(GetSystemMetrics(SM_CXSCREEN), width),
                     CenterOnScreen(GetSystemMetrics(SM_CYSCREEN), height)};
    }
    return POINT{x, y};
}

intptr_t OpenAppWindow(intptr_t number, int x, int y, int width, int height, uint32_t flags,
                       const char* title) {
    auto* record = static_cast<WindowRecord*>(AcquireRecord(WindowTable, number));
    if (!record) return 0;
    const bool dynamic = number == AUTO_NUMBER;
    const intptr_t identity = dynamic ? reinterpret_cast<intptr_t>(record) : number;
    if (!dynamic) CloseAppWindow(number);

    const char* className = FormatClassName(identity);
    TemplateClass.lpszClassName = className;
    RegisterClassA(&TemplateClass);

    const ReducedFlags reduced = ReduceFlags(flags);
    RECT rect = {x, y, x + width, y + height};
    AdjustWindowRect(&rect, reduced.style, FALSE);
    const int outerWidth = rect.right - rect.left;
    const int outerHeight = rect.bottom - rect.top;
    const POINT at = PlaceWindow(reduced.placement, x, y, outerWidth, outerHeight);

    HWND hwnd = CreateWindowExA(0, className, title, reduced.style, at.x, at.y, outerWidth,
                                outerHeight, nullptr, nullptr, ModuleInstance, nullptr);
    // The record of a numbered window lies in the table's array: look it up again
    // rather than trust a pointer held across the creation's messages.
    if (!dynamic) record = static_cast<WindowRecord*>(AcquireRecord(WindowTable, number));
    record->hwnd = hwnd;
    // A numbered record may have served an earlier window.
    record->focus = nullptr;
    if (!hwnd) return 0;

    CurrentWindow = hwnd;
    if (reduced.maximize) ShowWindow(hwnd, SW_SHOWMAXIMIZED);
    BuildWindowAccelerators(identity);
    return dynamic ? identity : reinterpret_cast<intptr_t>(hwnd);
}

HWND CurrentWindowHandle() {
    return CurrentWindow;
}

void CloseAppWindow(intptr_t window) {
    WindowRecord* record = LiveWindowRecord(window);
    if (!record) return;
    HWND hwnd = record->hwnd;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner) SetActiveWindow(owner);
    DestroyWindow(hwnd);
    UnregisterClassA(FormatClassName(window), ModuleInstance);
    if (record->acceleratorCount != 0) {
        HeapFree(MainHeap, 0, record->accelerators);
        DestroyAcceleratorTable(record->acceleratorTable);
        // Nothing stale is left behind that a later close could free again.
        record->acceleratorCount = 0;
        record->accelerators = nullptr;
        record->acceleratorTable = nullptr;
    }
    ReleaseRecord(WindowTable, window);
}

void CloseAllWindows() {
    // Each node's successor is read before the node's window is closed, since
    // closing an AUTO_NUMBER window frees its node.
    DynamicNode* node = WindowTable.dynamicList.head;
    while (node) {
        DynamicNode* next = node->next;
        CloseAppWindow(reinterpret_cast<intptr_t>(RecordOfNode(node)));
        node = next;
    }
    for (intptr_t number = WindowTable.capacity - 1; number >= 0; --number) {
        CloseAppWindow(number);
    }
}

char* GetWindowCaption(intptr_t window) {
    const size_t room = ScratchRoom(WINDOW_CAPTION_LIMIT);
    if (room == 0) return ScratchEmptyText();
    HWND hwnd = AppWindowHandle(window);
    if (hwnd) {
        int copied = GetWindowTextA(hwnd, ScratchFreeEnd, static_cast<int>(room));
        if (copied > 0) {
            ScratchFreeEnd +=
                static_cast<size_t>(copied) < room ? static_cast<size_t>(copied) : room - 1;
        }
    }
    *ScratchFreeEnd = '\0';
    return ScratchFreeEnd;
}
