// Runs the real kelvor.dll's Main on a thread of the test program and drives
// its window the way a user does: real mouse clicks delivered by the window
// system, and reads of the window's state.
#pragma once

#include <windows.h>

#include <string>

class TaskManagerSession {
  public:
    TaskManagerSession() = default;
    ~TaskManagerSession();
    TaskManagerSession(const TaskManagerSession&) = delete;
    TaskManagerSession& operator=(const TaskManagerSession&) = delete;

    // Loads kelvor.dll from the tests' folder, starts Main on a new thread and
    // waits for its window; false when any of it fails.
    bool Start();
    // The same with the Main linked into the test program (after ModuleScope has
    // started the module), so that the test's fakes in the binding table apply.
    bool StartLinked(int (*main)());
    HWND window() const { return window_; }
    HWND list() const { return list_; }
    HWND button(intptr_t number) const { return GetDlgItem(window_, static_cast<int>(number)); }
    DWORD mainThreadId() const { return threadId_; }
    // How many button clicks were repeated because the button took no click.
    int clicksRepeated() const { return clicksRepeated_; }

    // Real left click at the centre of a window of the main thread (a control, a
    // message box button); returns once the main thread has taken the click and
    // handled it (within the timeout). An enabled button that takes no click is
    // clicked again.
    bool ClickControl(HWND control, DWORD idleTimeoutMs = 10000);
    // Real double click at the centre of a control; returns once both releases have
    // been taken and handled, with the number of clicks that buttons reported.
    int DoubleClickControl(HWND control);
    // Real left click on a row of the list (scrolled into view first); returns as
    // ClickControl does.
    bool ClickRow(int row);
    // The screen point that ClickRow clicks, with the row scrolled into view.
    POINT RowPoint(int row) const;
    // Makes the window the foreground window, so that keys go to it.
    bool Activate();
    // Presses and releases a key (with Shift, if asked) and returns once the main
    // thread has taken the release from its queue and handled it.
    bool TapKeyAndWait(WORD key, bool shift = false);
    // Presses LIST and waits until the list holds rows and the window is idle again
    // (within ListTimeoutMs).
    bool PressList();

    int RowCount() const;
    std::string Cell(int row, intptr_t column) const;
    // The same read as wide characters (LVM_GETITEMTEXTW), whatever the code page.
    std::wstring WideCell(int row, intptr_t column) const;
    // Writes a cell's text behind the window's back (as the list control itself would).
    void SetCell(int row, intptr_t column, const std::string& text);
    // The row whose Handle cell is the process id; -1 when there is none.
    int RowOfProcess(DWORD processId) const;
    bool IsSelected(int row) const;
    bool IsEnabled(intptr_t number) const { return IsWindowEnabled(button(number)) != FALSE; }
    // Waits until the main thread is back in its message loop with nothing to do,
    // or has left Main.
    bool WaitIdle(DWORD timeoutMs = 10000) const;

    // The message box shown by the main thread (seen by a window-creation hook on
    // it), waited for; null when none comes.
    HWND WaitMessageBox(DWORD timeoutMs = 10000) const;
    // Clicks the box's button with that id and waits for the box to go.
    bool AnswerMessageBox(HWND box, int buttonId);
    // Brings the box to the front, presses a key there and waits for the box to go.
    bool AnswerMessageBoxWithKey(HWND box, WORD key);

    // Closes the window through its system menu command and returns Main's result;
    // -1 when Main does not return in time.
    int Close();
    // Asks the window to close through its system menu command, and returns at once.
    void RequestClose();
    // Main's result once it has returned; -1 when it does not return in time.
    int WaitMainReturn(DWORD timeoutMs = 10000);

  private:
    // Clicks at a screen point and waits for the main thread to take the button's
    // release from its queue and to finish handling it.
    bool ClickAndWait(POINT screen, DWORD idleTimeoutMs = 10000);

    HMODULE library_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HHOOK hook_ = nullptr;
    HHOOK sentHook_ = nullptr;
    HHOOK boxHook_ = nullptr;
    int clicksRepeated_ = 0;
};

// How long a LIST may take with the processes that run now, on a busy machine.
DWORD ListTimeoutMs();
// Text of a window (a caption, a static text).
std::string WindowText(HWND window);
// The message of a message box (its static control).
std::string MessageBoxText(HWND box);
// The same read as wide characters, whatever the code page.
std::wstring WideMessageBoxText(HWND box);
