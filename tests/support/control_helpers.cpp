#include "support/control_helpers.h"

#include "support/test_module.h"

std::vector<ChildNotice> ChildNotices;
std::function<void(HWND)> OnChildCreated;

static const char TEST_PARENT_CLASS[] = "KelvorTestParent";

static LRESULT CALLBACK TestParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            ChildNotices.push_back({message,
                                    GetWindowLongPtrA(reinterpret_cast<HWND>(lParam), GWLP_ID),
                                    HIWORD(wParam)});
        }
        return 0;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        ChildNotices.push_back(
            {message, static_cast<intptr_t>(header->idFrom), static_cast<int>(header->code)});
        return 0;
    }
    case WM_PARENTNOTIFY:
        if (LOWORD(wParam) == WM_CREATE && OnChildCreated) {
            OnChildCreated(reinterpret_cast<HWND>(lParam));
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TestParent::TestParent(int x, int y, int width, int height) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestParentProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = TEST_PARENT_CLASS;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    hwnd_ =
        CreateWindowExA(0, TEST_PARENT_CLASS, "test parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                        width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TestParent::~TestParent() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

static BOOL CALLBACK CountOne(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int CountChildWindows(HWND parent) {
    int count = 0;
    EnumChildWindows(parent, CountOne, reinterpret_cast<LPARAM>(&count));
    return count;
}
