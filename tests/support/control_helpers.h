// A plain top-level window to hold controls in tests, made with Win32 alone,
// and a record of the notifications that its children send it.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <functional>
#include <vector>

// One WM_COMMAND or WM_NOTIFY that reached a test parent.
struct ChildNotice {
    UINT message;
    intptr_t controlId; // GWLP_ID of the sender (WM_COMMAND) or idFrom (WM_NOTIFY)
    int code;           // HIWORD(wParam) of WM_COMMAND, or NMHDR code
};

// Every notice that reached any test parent, oldest first.
extern std::vector<ChildNotice> ChildNotices;
// Called with the new child's handle when a test parent hears WM_PARENTNOTIFY
// for WM_CREATE, that is, while the child is being created.
extern std::function<void(HWND child)> OnChildCreated;

class TestParent {
  public:
    explicit TestParent(int x = 40, int y = 40, int width = 640, int height = 480);
    ~TestParent(); // destroys the window unless it is gone already
    TestParent(const TestParent&) = delete;
    TestParent& operator=(const TestParent&) = delete;

    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_;
};

// Number of child windows (at any depth) of a window.
int CountChildWindows(HWND parent);
