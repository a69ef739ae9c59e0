#include "support/task_manager_session.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include "support/input_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "frontend/main_window.h"

namespace {

using MainFn = int (*)();

DWORD WINAPI RunMain(void* entry) {
    return static_cast<DWORD>(reinterpret_cast<MainFn>(entry)());
}

// Button and key releases that the main thread has taken from its queue.
volatile LONG ReleasesTaken = 0;
volatile LONG KeyReleasesTaken = 0;
// Idle markers (posted WM_NULL with this wParam) that it has taken.
constexpr WPARAM IDLE_MARKER = 0x4B1D;
volatile LONG MarkersTaken = 0;

LRESULT CALLBACK WatchMessages(int code, WPARAM removal, LPARAM message) {
    const MSG* msg = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == WM_LBUTTONUP) {
        InterlockedIncrement(&ReleasesTaken);
    }
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == WM_KEYUP) {
        InterlockedIncrement(&KeyReleasesTaken);
    }
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == WM_NULL &&
        msg->wParam == IDLE_MARKER) {
        InterlockedIncrement(&MarkersTaken);
    }
    return CallNextHookEx(nullptr, code, removal, message);
}

// Clicks that a button of the main thread reported to its parent (BN_CLICKED).
volatile LONG ButtonClicks = 0;

LRESULT CALLBACK WatchSentMessages(int code, WPARAM sent, LPARAM message) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(message);
    if (code == HC_ACTION && msg->message == WM_COMMAND && msg->lParam != 0 &&
        HIWORD(msg->wParam) == BN_CLICKED) {
        InterlockedIncrement(&ButtonClicks);
    }
    return CallNextHookEx(nullptr, code, sent, message);
}

// The message box that the main thread has open (created, and not yet destroyed),
// as its window-creation hook saw it; null when none.
HWND volatile OpenBox = nullptr;

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char className[16] = "";
    if (code == HCBT_CREATEWND && GetClassNameA(window, className, sizeof className) &&
        lstrcmpA(className, "#32770") == 0) {
        OpenBox = window;
    } else if (code == HCBT_DESTROYWND && window == OpenBox) {
        OpenBox = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The box's static control that holds its message.
constexpr int MESSAGE_CONTROL_ID = 0xFFFF;

std::string MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, MESSAGE_CONTROL_ID));
}

std::wstring WideMessageBoxText(HWND box) {
    wchar_t text[1024] = L"";
    GetWindowTextW(GetDlgItem(box, MESSAGE_CONTROL_ID), text, 1024);
    return text;
}

TaskManagerSession::~TaskManagerSession() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (sentHook_) UnhookWindowsHookEx(sentHook_);
    if (boxHook_) UnhookWindowsHookEx(boxHook_);
    if (thread_) {
        if (window_ && IsWindow(window_)) Close();
        CloseHandle(thread_);
    }
    // The library stays loaded: its window thread may still be running after a
    // failed test, and unloading code under a running thread would crash it.
}

bool TaskManagerSession::Start() {
    char path[MAX_PATH];
    PathBesideTests("kelvor.dll", path);
    library_ = LoadLibraryA(path);
    if (!library_) return false;
    void* entry = reinterpret_cast<void*>(GetProcAddress(library_, "Main"));
    if (!entry) return false;
    return StartLinked(reinterpret_cast<MainFn>(entry));
}

bool TaskManagerSession::StartLinked(int (*main)()) {
    thread_ = CreateThread(nullptr, 0, RunMain, reinterpret_cast<void*>(main), 0, &threadId_);
    if (!thread_) return false;
    WaitUntil(
        [&] {
            window_ = FindWindowA(nullptr, MAIN_WINDOW_TITLE);
            return window_ != nullptr && button(BTN_LIST) != nullptr;
        },
        10000);
    if (!window_) return false;
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, threadId_);
    sentHook_ = SetWindowsHookExA(WH_CALLWNDPROC, WatchSentMessages, nullptr, threadId_);
    boxHook_ = SetWindowsHookExA(WH_CBT, WatchBoxes, nullptr, threadId_);
    if (!hook_ || !sentHook_ || !boxHook_) return false;
    list_ = GetDlgItem(window_, static_cast<int>(LIST_PROCESSES));
    return list_ != nullptr && WaitIdle();
}

bool TaskManagerSession::WaitIdle(DWORD timeoutMs) const {
    // A posted marker is taken only once the thread is back in a message loop. A
    // sent message would not do: the thread also handles those while it waits on
    // a message that it sends to another thread in the middle of its work.
    LONG before = MarkersTaken;
    const bool posted = PostMessageA(window_, WM_NULL, IDLE_MARKER, 0) != FALSE;
    return WaitUntil(
        [&] {
            return (posted && MarkersTaken != before) ||
                   WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
}

bool TaskManagerSession::ClickAndWait(POINT screen, DWORD idleTimeoutMs) {
    LONG before = ReleasesTaken;
    ClickAt(screen);
    return WaitUntil([&] { return ReleasesTaken != before; }, 5000) && WaitIdle(idleTimeoutMs);
}

bool TaskManagerSession::ClickControl(HWND control, DWORD idleTimeoutMs) {
    // Under Wine the desktop now and then delivers a stale pointer move between a
    // button's press and its release; the button then lets go without a click.
    // An enabled button that reported no click was not clicked, so it is clicked
    // again (and the repeat counted).
    char className[16] = "";
    GetClassNameA(control, className, sizeof className);
    const bool button = lstrcmpiA(className, "Button") == 0;
    for (int attempt = 1;; ++attempt) {
        const LONG before = ButtonClicks;
        const bool enabled = IsWindowEnabled(control) && IsWindowVisible(control);
        RECT rect;
        GetWindowRect(control, &rect);
        if (!ClickAndWait({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2},
                          idleTimeoutMs)) {
            return false;
        }
        if (!button || !enabled || ButtonClicks != before || attempt == 3) return true;
        ++clicksRepeated_;
    }
}

int TaskManagerSession::DoubleClickControl(HWND control) {
    const LONG releases = ReleasesTaken, clicks = ButtonClicks;
    RECT rect;
    GetWindowRect(control, &rect);
    DoubleClickAt({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    WaitUntil([&] { return ReleasesTaken - releases >= 2; }, 5000);
    WaitIdle();
    return static_cast<int>(ButtonClicks - clicks);
}

POINT TaskManagerSession::RowPoint(int row) const {
    SendMessageA(list_, LVM_ENSUREVISIBLE, row, FALSE);
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    SendMessageA(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    POINT point = {rect.left + 30, (rect.top + rect.bottom) / 2};
    ClientToScreen(list_, &point);
    return point;
}

bool TaskManagerSession::ClickRow(int row) {
    return ClickAndWait(RowPoint(row));
}

bool TaskManagerSession::Activate() {
    if (GetForegroundWindow() != window_) SetForegroundWindow(window_);
    return WaitUntil([&] { return GetForegroundWindow() == window_; }, 5000) && WaitIdle();
}

bool TaskManagerSession::TapKeyAndWait(WORD key, bool shift) {
    const LONG before = KeyReleasesTaken;
    TapKey(key, shift);
    return WaitUntil([&] { return KeyReleasesTaken != before; }, 5000) && WaitIdle();
}

bool TaskManagerSession::PressList() {
    return ClickControl(button(BTN_LIST), ListTimeoutMs()) && RowCount() > 0;
}

DWORD ListTimeoutMs() {
    // A row takes a few milliseconds on a quiet machine; many times that on a busy
    // one, where hundreds of processes may run.
    constexpr DWORD FIXED_MS = 10000, PER_PROCESS_MS = 250;
    DWORD processes = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        ++processes;
    CloseHandle(snapshot);
    return FIXED_MS + PER_PROCESS_MS * processes;
}

int TaskManagerSession::RowCount() const {
    return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

std::string TaskManagerSession::Cell(int row, intptr_t column) const {
    char text[1024] = "";
    LVITEMA item = {};
    item.iSubItem = static_cast<int>(column);
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring TaskManagerSession::WideCell(int row, intptr_t column) const {
    wchar_t text[1024] = L"";
    LVITEMW item = {};
    item.iSubItem = static_cast<int>(column);
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void TaskManagerSession::SetCell(int row, intptr_t column, const std::string& text) {
    LVITEMA item = {};
    item.iSubItem = static_cast<int>(column);
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

int TaskManagerSession::RowOfProcess(DWORD processId) const {
    std::string id = std::to_string(processId);
    for (int row = 0, n = RowCount(); row < n; ++row) {
        if (Cell(row, COL_HANDLE) == id) return row;
    }
    return -1;
}

bool TaskManagerSession::IsSelected(int row) const {
    return SendMessageA(list_, LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0;
}

HWND TaskManagerSession::WaitMessageBox(DWORD timeoutMs) const {
    // Visible: by then the box has its buttons and takes clicks.
    HWND box = nullptr;
    WaitUntil(
        [&] {
            box = OpenBox;
            return box && IsWindowVisible(box);
        },
        timeoutMs);
    return box && IsWindowVisible(box) ? box : nullptr;
}

bool TaskManagerSession::AnswerMessageBox(HWND box, int buttonId) {
    HWND button = GetDlgItem(box, buttonId);
    if (!button) return false;
    return ClickControl(button) && WaitUntil([&] { return !IsWindow(box); }, 10000) && WaitIdle();
}

bool TaskManagerSession::AnswerMessageBoxWithKey(HWND box, WORD key) {
    SetForegroundWindow(box);
    if (!WaitUntil([&] { return GetForegroundWindow() == box; }, 5000)) return false;
    TapKey(key);
    return WaitUntil([&] { return !IsWindow(box); }, 10000) && WaitIdle();
}

int TaskManagerSession::Close() {
    RequestClose();
    return WaitMainReturn();
}

void TaskManagerSession::RequestClose() {
    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

int TaskManagerSession::WaitMainReturn(DWORD timeoutMs) {
    if (WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD result = 0;
    GetExitCodeThread(thread_, &result);
    return static_cast<int>(result);
}
