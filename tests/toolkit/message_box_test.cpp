#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "lifecycle/module.h"
#include "support/control_helpers.h"
#include "support/test_module.h"
#include "toolkit/message_box.h"

namespace {

// The box as a WH_CBT hook saw it when it was activated, before it was answered.
struct BoxSeen {
    bool seen = false;
    std::string caption, text;
    HWND owner = nullptr;
    bool hasOk = false, hasYes = false, hasNo = false;
    std::vector<bool> watchedEnabled; // IsWindowEnabled of each watched window
    size_t threadNodes = 0;           // DisabledWindowList nodes of this thread
};

size_t NodesOfThread(DWORD thread) {
    size_t count = 0;
    for (DynamicNode* node = DisabledWindowList.head; node; node = node->next) {
        if (static_cast<DisabledWindow*>(RecordOfNode(node))->threadId == thread) ++count;
    }
    return count;
}

// Answers the first message box of this thread with a button id and notes what it saw.
class BoxAnswerer {
  public:
    BoxAnswerer(WPARAM answer, std::vector<HWND> watched) {
        answer_ = answer;
        watched_ = std::move(watched);
        seen_ = BoxSeen{};
        hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    }
    ~BoxAnswerer() { UnhookWindowsHookEx(hook_); }
    bool hooked() const { return hook_ != nullptr; }
    const BoxSeen& seen() const { return seen_; }

  private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char name[16] = {};
        if (code == HCBT_ACTIVATE && !seen_.seen && GetClassNameA(box, name, sizeof name) &&
            strcmp(name, "#32770") == 0) {
            seen_.seen = true;
            char text[256] = {};
            GetWindowTextA(box, text, sizeof text);
            seen_.caption = text;
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // the message's static control
            seen_.text = text;
            seen_.owner = GetWindow(box, GW_OWNER);
            seen_.hasOk = GetDlgItem(box, IDOK) != nullptr;
            seen_.hasYes = GetDlgItem(box, IDYES) != nullptr;
            seen_.hasNo = GetDlgItem(box, IDNO) != nullptr;
            for (HWND window : watched_)
                seen_.watchedEnabled.push_back(IsWindowEnabled(window));
            seen_.threadNodes = NodesOfThread(GetCurrentThreadId());
            PostMessageA(box, WM_COMMAND, answer_, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HHOOK hook_;
    static WPARAM answer_;
    static std::vector<HWND> watched_;
    static BoxSeen seen_;
};
WPARAM BoxAnswerer::answer_;
std::vector<HWND> BoxAnswerer::watched_;
BoxSeen BoxAnswerer::seen_;

class MessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ModuleReady()); }
    ModuleScope module;
};

TEST_F(MessageBoxTest, OtherWindowsOfTheThreadAreDisabledOnlyWhileTheBoxIsUp) {
    TestParent front(20, 20, 300, 200), other(340, 20, 300, 200), disabled(20, 300, 300, 200),
        hidden(340, 300, 300, 200);
    EnableWindow(disabled.hwnd(), FALSE);
    ShowWindow(hidden.hwnd(), SW_HIDE);
    ASSERT_TRUE(MakeForeground(front.hwnd()));

    BoxAnswerer answerer(IDYES, {other.hwnd(), disabled.hwnd(), hidden.hwnd()});
    ASSERT_TRUE(answerer.hooked());
    EXPECT_EQ(ShowMessage("KELVOR - Task Manager", "Kill the process?", MB_YESNO), IDYES);

    const BoxSeen& seen = answerer.seen();
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.caption, "KELVOR - Task Manager");
    EXPECT_EQ(seen.text, "Kill the process?");
    EXPECT_TRUE(seen.hasYes);
    EXPECT_TRUE(seen.hasNo);
    EXPECT_FALSE(seen.hasOk);
    EXPECT_EQ(seen.owner, front.hwnd()) << "the foreground window of this process owns the box";
    ASSERT_EQ(seen.watchedEnabled.size(), 3u);
    EXPECT_FALSE(seen.watchedEnabled[0]) << "another visible window is disabled";
    EXPECT_FALSE(seen.watchedEnabled[1]);
    EXPECT_TRUE(seen.watchedEnabled[2]) << "a hidden window is left alone";
    EXPECT_EQ(seen.threadNodes, 1u) << "only the window that was disabled is remembered";

    EXPECT_TRUE(IsWindowEnabled(front.hwnd()));
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));
    EXPECT_FALSE(IsWindowEnabled(disabled.hwnd())) << "it was disabled before the call";
    EXPECT_TRUE(IsWindowEnabled(hidden.hwnd()));
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
}

TEST_F(MessageBoxTest, AnswersAreTheButtonIds) {
    TestParent front(20, 20, 300, 200);
    ASSERT_TRUE(MakeForeground(front.hwnd()));
    {
        BoxAnswerer answerer(IDNO, {});
        EXPECT_EQ(ShowMessage("t", "question", MB_YESNO), IDNO);
        EXPECT_TRUE(answerer.seen().seen);
    }
    {
        BoxAnswerer answerer(IDOK, {});
        EXPECT_EQ(ShowMessage("KELVOR", "ERROR: can not pause process!"), IDOK);
        const BoxSeen& seen = answerer.seen();
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(seen.caption, "KELVOR");
        EXPECT_EQ(seen.text, "ERROR: can not pause process!");
        EXPECT_TRUE(seen.hasOk);
        EXPECT_FALSE(seen.hasYes);
    }
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
    EXPECT_TRUE(IsWindowEnabled(front.hwnd()));
}

TEST_F(MessageBoxTest, WindowsWithoutANodeAreNeverLeftDisabled) {
    TestParent front(20, 20, 300, 200), other(340, 20, 300, 200);
    ASSERT_TRUE(MakeForeground(front.hwnd()));
    HANDLE listHeap = ListHeap;

    // ListHeap cannot supply a node while it is missing.
    ListHeap = nullptr;
    DisableThreadWindows();
    ListHeap = listHeap;
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);

    BoxAnswerer answerer(IDOK, {other.hwnd()});
    ListHeap = nullptr;
    const int32_t answer = ShowMessage("t", "no nodes");
    ListHeap = listHeap;
    EXPECT_EQ(answer, IDOK);
    ASSERT_TRUE(answerer.seen().seen);
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
}

// A window on a thread of its own, which disables and restores on request.
struct OtherThread {
    HANDLE disable = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE restore = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE quit = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD id = 0;

    static DWORD WINAPI Run(void* self) {
        auto* me = static_cast<OtherThread*>(self);
        TestParent own(340, 300, 300, 200);
        me->window = own.hwnd();
        me->id = GetCurrentThreadId();
        SetEvent(me->done);
        HANDLE events[] = {me->disable, me->restore, me->quit};
        for (;;) {
            const DWORD which = MsgWaitForMultipleObjects(3, events, FALSE, 20000, QS_ALLINPUT);
            if (which == WAIT_OBJECT_0 + 3) {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
                continue;
            }
            if (which == WAIT_OBJECT_0) {
                DisableThreadWindows();
            } else if (which == WAIT_OBJECT_0 + 1) {
                RestoreThreadWindows();
            } else {
                return 0; // quit, or the test went away
            }
            SetEvent(me->done);
        }
    }
};

TEST_F(MessageBoxTest, EachThreadRestoresOnlyWhatItDisabled) {
    OtherThread other;
    HANDLE thread = CreateThread(nullptr, 0, OtherThread::Run, &other, 0, nullptr);
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(other.done, 10000), WAIT_OBJECT_0);
    TestParent front(20, 20, 300, 200), mine(340, 20, 300, 200);
    ASSERT_TRUE(MakeForeground(front.hwnd()));

    SetEvent(other.disable);
    ASSERT_EQ(WaitForSingleObject(other.done, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindowEnabled(other.window)) << "its own thread disabled it";
    EXPECT_TRUE(IsWindowEnabled(mine.hwnd())) << "another thread's window is not touched";
    EXPECT_EQ(NodesOfThread(other.id), 1u);

    BoxAnswerer answerer(IDOK, {mine.hwnd(), other.window});
    EXPECT_EQ(ShowMessage("t", "two threads"), IDOK);
    ASSERT_TRUE(answerer.seen().seen);
    EXPECT_FALSE(answerer.seen().watchedEnabled[0]);
    EXPECT_TRUE(IsWindowEnabled(mine.hwnd()));
    EXPECT_FALSE(IsWindowEnabled(other.window)) << "the other thread's window stays disabled";
    EXPECT_EQ(NodesOfThread(other.id), 1u);

    SetEvent(other.restore);
    ASSERT_EQ(WaitForSingleObject(other.done, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(IsWindowEnabled(other.window));
    EXPECT_FALSE(DisabledWindowList.head);
    SetEvent(other.quit);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST_F(MessageBoxTest, NoOwnerWhenTheForegroundBelongsToAnotherProcess) {
    TestParent mine(20, 20, 300, 200);
    char path[MAX_PATH];
    PathBesideTests("foreground_window.exe", path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child));
    const bool childInFront = PumpUntil(
        [&] {
            DWORD process = 0;
            GetWindowThreadProcessId(GetForegroundWindow(), &process);
            return process == child.dwProcessId;
        },
        15000);

    if (childInFront) {
        EXPECT_EQ(FindMessageOwner(), nullptr);
        BoxAnswerer answerer(IDOK, {mine.hwnd()});
        EXPECT_EQ(ShowMessage("t", "owned by nobody"), IDOK);
        ASSERT_TRUE(answerer.seen().seen);
        EXPECT_EQ(answerer.seen().owner, nullptr);
        EXPECT_FALSE(answerer.seen().watchedEnabled[0]) << "no window of ours is in front";
        EXPECT_TRUE(IsWindowEnabled(mine.hwnd()));
    }
    TerminateProcess(child.hProcess, 0);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(childInFront) << "the helper's window never reached the foreground";
}

} // namespace
