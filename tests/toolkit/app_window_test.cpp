#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "lifecycle/module.h"
#include "runtime/scratch.h"
#include "support/scratch_helpers.h"
#include "runtime/text.h"
#include "support/event_helpers.h"
#include "support/heap_helpers.h"
#include "support/input_helpers.h"
#include "support/test_module.h"
#include "toolkit/app_window.h"
#include "toolkit/event_pump.h"
#include "frontend/main_window.h"

namespace {

const char* const FrontEndTitle = MAIN_WINDOW_TITLE;
// Every top-level window reads back WS_CLIPSIBLINGS under Wine.
constexpr DWORD STYLE_COMPARED = ~static_cast<DWORD>(WS_CLIPSIBLINGS);

std::string ClassOf(HWND hwnd) {
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

bool ClassRegistered(const std::string& name) {
    WNDCLASSA info;
    return GetClassInfoA(ModuleInstance, name.c_str(), &info) != 0;
}

std::string ClassNameFor(intptr_t identity) {
    char digits[DECIMAL_TEXT_SIZE];
    FormatSigned(identity, digits);
    return std::string("WindowClass_") + digits;
}

HWND HandleOf(intptr_t result) {
    return reinterpret_cast<HWND>(result);
}

// Sees every toolkit window as it is created and destroyed (a thread CBT hook),
// with the style and rectangle that CreateWindowExA was given.
struct WindowWatch {
    struct Created {
        HWND hwnd;
        DWORD style;
        int x, y, cx, cy;
    };
    std::vector<Created> created;
    std::vector<HWND> destroyed;
    // Maximize and minimize requests (the SW_ command of each).
    std::vector<int> minMax;
    // Called when a toolkit window is about to be created.
    std::function<void()> onCreate;

    WindowWatch() {
        current = this;
        hook = SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~WindowWatch() {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }

  private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (current && ClassOf(hwnd).rfind("WindowClass_", 0) == 0) {
            if (code == HCBT_CREATEWND) {
                const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
                current->created.push_back(
                    Created{hwnd, static_cast<DWORD>(cs->style), cs->x, cs->y, cs->cx, cs->cy});
                if (current->onCreate) current->onCreate();
            } else if (code == HCBT_MINMAX) {
                current->minMax.push_back(LOWORD(lParam));
            } else if (code == HCBT_DESTROYWND) {
                current->destroyed.push_back(hwnd);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static WindowWatch* current;
    HHOOK hook;
};
WindowWatch* WindowWatch::current = nullptr;

SIZE OuterSize(DWORD style, int width, int height) {
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, style, FALSE);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

class AppWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ModuleReady()); }
    ModuleScope module;
};

TEST_F(AppWindowTest, TheFrontEndsWindowHasItsStylePlaceAndClientSize) {
    intptr_t result =
        OpenAppWindow(0, 216, 0, 600, 300, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FrontEndTitle);
    HWND hwnd = HandleOf(result);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(AppWindowHandle(0), hwnd);
    EXPECT_EQ(CurrentWindowHandle(), hwnd);

    EXPECT_EQ(GetWindowLongA(hwnd, GWL_STYLE) & STYLE_COMPARED,
              DWORD(WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    RECT outer, client;
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    EXPECT_EQ(outer.left, 216);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 300);

    EXPECT_EQ(ClassOf(hwnd), "WindowClass_0");
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_WNDPROC), reinterpret_cast<LONG_PTR>(WindowClassProc));
    EXPECT_EQ(GetClassLongA(hwnd, GCL_STYLE), static_cast<DWORD>(CS_DBLCLKS));
    EXPECT_EQ(GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
    EXPECT_TRUE(ClassRegistered(TEMPLATE_CLASS_NAME));

    char caption[64] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    EXPECT_STREQ(caption, FrontEndTitle);

    // Tab and Shift+Tab become the two focus commands.
    HACCEL table = FindWindowAccelerators(hwnd);
    ASSERT_NE(table, nullptr);
    ACCEL entries[3] = {};
    ASSERT_EQ(CopyAcceleratorTableA(table, entries, 3), 2);
    EXPECT_EQ(entries[0].fVirt, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(entries[0].key, VK_TAB);
    EXPECT_EQ(entries[0].cmd, CMD_FOCUS_NEXT);
    EXPECT_EQ(entries[1].fVirt, FVIRTKEY | FNOINVERT | FSHIFT);
    EXPECT_EQ(entries[1].key, VK_TAB);
    EXPECT_EQ(entries[1].cmd, CMD_FOCUS_PREVIOUS);

    // Windows that are not the toolkit's have none.
    HWND stranger = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                    ModuleInstance, nullptr);
    EXPECT_EQ(FindWindowAccelerators(stranger), nullptr);
    EXPECT_EQ(FindWindowAccelerators(nullptr), nullptr);
    DestroyWindow(stranger);
}

TEST_F(AppWindowTest, FlagsDecideCaptionVisibilityAndMaximizing) {
    // Creating a window with WS_MAXIMIZE maximizes it once; the toolkit's
    // ShowWindow(SW_SHOWMAXIMIZED) for a visible window asks a second time.
    struct Case {
        uint32_t flags;
        DWORD created; // the style CreateWindowExA gets
        bool visible;
        bool zoomed;
        size_t maximizeRequests;
    } cases[] = {
        {0, WS_VISIBLE | WS_CAPTION, true, false, 0},
        {WIN_INVISIBLE, WS_CAPTION, false, false, 0},
        // Hidden: WS_MAXIMIZE stays in the style, but nothing shows the window.
        {WIN_INVISIBLE | WS_MAXIMIZE, WS_MAXIMIZE, false, true, 1},
        {WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
         WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, true, true, 2},
        // Only 0 and WIN_INVISIBLE alone get a caption.
        {WS_POPUP | WS_BORDER, WS_VISIBLE | WS_POPUP | WS_BORDER, true, false, 0},
        {WIN_SCREEN_CENTERED, WS_VISIBLE | WS_CAPTION, true, false, 0},
        {WIN_SCREEN_CENTERED | WIN_ACTIVE_CENTERED | WIN_INVISIBLE, WS_CAPTION, false, false, 0},
    };
    intptr_t number = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        WindowWatch watch;
        HWND hwnd = HandleOf(OpenAppWindow(number, 10, 10, 200, 100, c.flags, "flags"));
        ASSERT_TRUE(IsWindow(hwnd));
        ASSERT_EQ(watch.created.size(), 1u);
        EXPECT_EQ(watch.created[0].style, c.created);
        EXPECT_EQ(IsWindowVisible(hwnd) != 0, c.visible);
        EXPECT_EQ((GetWindowLongA(hwnd, GWL_STYLE) & WS_MAXIMIZE) != 0, c.zoomed);
        EXPECT_EQ(watch.minMax.size(), c.maximizeRequests);
        CloseAppWindow(number++);
    }
}

TEST_F(AppWindowTest, CentringFollowsTheActiveWindowOrTheScreen) {
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const SIZE big = OuterSize(WS_CAPTION, 400, 300);
    WindowWatch watch;

    // No window of this thread is active yet: both flags centre on the screen.
    ASSERT_EQ(GetActiveWindow(), nullptr);
    OpenAppWindow(1, 5, 5, 400, 300, WIN_SCREEN_CENTERED | WIN_ACTIVE_CENTERED, "screen");
    ASSERT_EQ(watch.created.size(), 1u);
    EXPECT_EQ(watch.created[0].x, (sw >> 1) - (big.cx >> 1));
    EXPECT_EQ(watch.created[0].y, (sh >> 1) - (big.cy >> 1));
    EXPECT_EQ(watch.created[0].cx, big.cx);
    EXPECT_EQ(watch.created[0].cy, big.cy);

    // Centred on an active window.
    HWND anchor = HandleOf(OpenAppWindow(2, 300, 200, 200, 100, 0, "anchor"));
    ASSERT_TRUE(BringToFront(anchor));
    ASSERT_EQ(GetActiveWindow(), anchor);
    RECT a;
    GetWindowRect(anchor, &a);
    OpenAppWindow(3, 5, 5, 400, 300, WIN_ACTIVE_CENTERED | WIN_INVISIBLE, "on active");
    EXPECT_EQ(watch.created.back().x, a.left - (big.cx >> 1) + ((a.right - a.left) >> 1));
    EXPECT_EQ(watch.created.back().y, a.top - (big.cy >> 1) + ((a.bottom - a.top) >> 1));

    // An active window in the corner: the new one stops at 0, not below.
    MoveWindow(anchor, 0, 0, 120, 60, TRUE);
    OpenAppWindow(5, 5, 5, 400, 300, WIN_ACTIVE_CENTERED | WIN_INVISIBLE, "corner");
    EXPECT_EQ(watch.created.back().x, 0);
    EXPECT_EQ(watch.created.back().y, 0);

    // Wider than the screen: from the left edge.
    OpenAppWindow(6, 5, 5, sw + 400, 100, WIN_SCREEN_CENTERED | WIN_INVISIBLE, "wide");
    EXPECT_EQ(watch.created.back().x, 0);
}

TEST_F(AppWindowTest, OpeningANumberAgainReplacesItsWindow) {
    HWND first = HandleOf(OpenAppWindow(0, 10, 10, 200, 100, 0, "first"));
    ASSERT_TRUE(IsWindow(first));
    WindowWatch watch;
    bool firstGoneAtCreation = false;
    watch.onCreate = [&] { firstGoneAtCreation = !IsWindow(first); };

    HWND second = HandleOf(OpenAppWindow(0, 20, 20, 200, 100, 0, "second"));
    ASSERT_TRUE(IsWindow(second));
    EXPECT_TRUE(firstGoneAtCreation) << "the old window must be closed before the new one opens";
    EXPECT_EQ(watch.destroyed, std::vector<HWND>{first});
    EXPECT_EQ(AppWindowHandle(0), second);
    EXPECT_EQ(ClassOf(second), "WindowClass_0");
    EXPECT_EQ(FindWindowA("WindowClass_0", nullptr), second);
    EXPECT_NE(FindWindowAccelerators(second), nullptr);
    EXPECT_TRUE(HeapValidate(MainHeap, 0, nullptr));
}

TEST_F(AppWindowTest, AutoNumberWindowsAreNamedByTheirRecord) {
    intptr_t first = OpenAppWindow(AUTO_NUMBER, 10, 10, 200, 100, 0, "auto one");
    intptr_t second = OpenAppWindow(AUTO_NUMBER, 30, 30, 200, 100, 0, "auto two");
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_NE(first, second);
    // The identity is the record's address: the newest record heads the list.
    EXPECT_EQ(second, reinterpret_cast<intptr_t>(RecordOfNode(WindowTable.dynamicList.head)));
    HWND h1 = AppWindowHandle(first), h2 = AppWindowHandle(second);
    ASSERT_TRUE(IsWindow(h1));
    ASSERT_TRUE(IsWindow(h2));
    EXPECT_EQ(CurrentWindowHandle(), h2);

    // Signed decimal of the identity, as "%ld" prints it on this build.
    char printed[64];
    wsprintfA(printed, "WindowClass_%ld", static_cast<long>(first));
    EXPECT_EQ(ClassOf(h1), printed);
    EXPECT_EQ(ClassOf(h1), ClassNameFor(first));
    EXPECT_EQ(ClassOf(h2), ClassNameFor(second));
    EXPECT_EQ(WindowTable.capacity, WINDOW_TABLE_CAPACITY) << "dynamic windows take no index";

    CloseAppWindow(first);
    EXPECT_FALSE(IsWindow(h1));
    EXPECT_FALSE(ClassRegistered(ClassNameFor(first)));
    EXPECT_TRUE(IsWindow(h2));
    EXPECT_EQ(WindowTable.dynamicList.head->next, nullptr);
}

TEST_F(AppWindowTest, CaptionsAreBoundedByTheirLimitAndTheRoomLeft) {
    GuardedScratch scratch;
    HWND hwnd = HandleOf(OpenAppWindow(0, 10, 10, 300, 100, WIN_INVISIBLE, "short caption"));
    ASSERT_TRUE(IsWindow(hwnd));

    char* start = ScratchFreeEnd;
    char* end = GetWindowCaption(0);
    EXPECT_STREQ(start, "short caption");
    EXPECT_EQ(end, start + 13);
    EXPECT_EQ(ScratchFreeEnd, end);

    std::string longCaption(40000, 'c');
    longCaption[31998] = 'L';
    longCaption[31999] = 'X'; // first character beyond the limit
    ASSERT_TRUE(SetWindowTextA(hwnd, longCaption.c_str()));

    {
        ScratchMark mark;
        start = ScratchFreeEnd;
        end = GetWindowCaption(0);
        EXPECT_EQ(end - start, 31999);
        EXPECT_EQ(start[31998], 'L');
        EXPECT_EQ(*end, '\0');
    }
    // Less room left than the limit: as much as fits, the terminator on the last byte.
    for (size_t room : {size_t{100}, size_t{2}, size_t{1}}) {
        SCOPED_TRACE(room);
        ScratchMark mark;
        ScratchFreeEnd = scratch.end() - room;
        start = ScratchFreeEnd;
        end = GetWindowCaption(0);
        EXPECT_EQ(static_cast<size_t>(end - start), room - 1);
        EXPECT_EQ(strlen(start), room - 1);
        EXPECT_TRUE(scratch.guardsIntact());
    }
    EXPECT_TRUE(scratch.guardsIntact());

    // No such window: an empty text at the free end, which stays.
    start = ScratchFreeEnd;
    *start = 'x';
    EXPECT_EQ(GetWindowCaption(7), start);
    EXPECT_EQ(*start, '\0');
    EXPECT_EQ(GetWindowCaption(AUTO_NUMBER), start);
}

TEST_F(AppWindowTest, ClosingForgetsTheWindowButNotTheLastHandle) {
    HWND hwnd = HandleOf(OpenAppWindow(3, 10, 10, 200, 100, 0, "three"));
    ASSERT_TRUE(IsWindow(hwnd));
    ASSERT_TRUE(ClassRegistered("WindowClass_3"));

    CloseAppWindow(3);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(ClassRegistered("WindowClass_3"));
    EXPECT_EQ(AppWindowHandle(3), nullptr);
    EXPECT_EQ(CurrentWindowHandle(), hwnd);
    EXPECT_EQ(FindWindowAccelerators(hwnd), nullptr);

    // A second close finds no window and frees nothing again.
    CloseAppWindow(3);
    CloseAppWindow(4); // never opened
    EXPECT_TRUE(HeapValidate(MainHeap, 0, nullptr));
    HWND again = HandleOf(OpenAppWindow(3, 10, 10, 200, 100, 0, "three again"));
    EXPECT_TRUE(IsWindow(again));
    EXPECT_NE(FindWindowAccelerators(again), nullptr);
}

TEST_F(AppWindowTest, CloseAllWindowsClosesDynamicWindowsFirstThenNumbersDownwards) {
    std::vector<HWND> expected;
    intptr_t autos[3];
    for (intptr_t& a : autos)
        a = OpenAppWindow(AUTO_NUMBER, 10, 10, 100, 50, 0, "auto");
    for (int i = 2; i >= 0; --i)
        expected.push_back(AppWindowHandle(autos[i]));
    HWND h0 = HandleOf(OpenAppWindow(0, 10, 10, 100, 50, 0, "zero"));
    HWND h9 = HandleOf(OpenAppWindow(9, 10, 10, 100, 50, 0, "nine"));
    HWND h25 = HandleOf(OpenAppWindow(25, 10, 10, 100, 50, 0, "twenty-five"));
    EXPECT_EQ(WindowTable.capacity, 55);
    expected.insert(expected.end(), {h25, h9, h0});

    WindowWatch watch;
    CloseAllWindows();
    EXPECT_EQ(watch.destroyed, expected);
    for (HWND h : expected)
        EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(WindowTable.dynamicList.head, nullptr);
    for (intptr_t a : autos)
        EXPECT_FALSE(ClassRegistered(ClassNameFor(a)));
    EXPECT_FALSE(ClassRegistered("WindowClass_25"));
    EXPECT_TRUE(HeapValidate(MainHeap, 0, nullptr));
}

TEST(AppWindowShutdown, DetachClosesTheWindowsStillOpen) {
    HWND numbered, dynamic;
    {
        ModuleScope module;
        numbered = HandleOf(OpenAppWindow(0, 10, 10, 100, 50, 0, "left open"));
        dynamic = AppWindowHandle(OpenAppWindow(AUTO_NUMBER, 10, 10, 100, 50, 0, "left open"));
        ASSERT_TRUE(IsWindow(numbered));
        ASSERT_TRUE(IsWindow(dynamic));
    }
    EXPECT_FALSE(IsWindow(numbered));
    EXPECT_FALSE(IsWindow(dynamic));
    EXPECT_FALSE(ClassRegistered("WindowClass_0"));
}

TEST(AppWindowMemory, WithoutMemoryNoWindowOrOneWithoutAccelerators) {
    // The window table is set up again in a small heap of its own, which must
    // outlive the module's shutdown (that walks the table).
    FixedHeap small(64 * 1024);
    FixedHeap list(64 * 1024);
    ModuleScope module;
    ASSERT_TRUE(ModuleReady());
    HeapSwap useMain(MainHeap, small.handle);
    HeapSwap useList(ListHeap, list.handle);
    RegisterTemplateClass(WindowClassProc);
    small.Exhaust();
    list.Exhaust();

    WindowWatch watch;
    EXPECT_EQ(OpenAppWindow(AUTO_NUMBER, 10, 10, 100, 50, 0, "no node"), 0);
    EXPECT_EQ(OpenAppWindow(50, 10, 10, 100, 50, 0, "no growth"), 0);
    EXPECT_TRUE(watch.created.empty());
    EXPECT_FALSE(ClassRegistered("WindowClass_50"));
    EXPECT_EQ(WindowTable.capacity, WINDOW_TABLE_CAPACITY);
    EXPECT_EQ(WindowTable.dynamicList.head, nullptr);

    // A number that fits gets its window, only without Tab cycling.
    HWND hwnd = HandleOf(OpenAppWindow(5, 10, 10, 100, 50, 0, "no accelerators"));
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(FindWindowAccelerators(hwnd), nullptr);
    auto* record = static_cast<const WindowRecord*>(FindRecord(WindowTable, 5).live);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->acceleratorCount, 0);
    CloseAppWindow(5);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(HeapValidate(small.handle, 0, nullptr));
}

} // namespace
