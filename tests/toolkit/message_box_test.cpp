#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "lifecycle/module.h"
#include "support/child_process.h"
#include "support/control_helpers.h"
#include "support/input_helpers.h"
#include "support/test_module.h"
#include "support/wait.h"
#include "toolkit/message_box.h"
#include "frontend/main_window.h"

namespace {

size_t NodesOfThread(DWORD thread) {
    size_t count = 0;
    for (DynamicNode* node = DisabledWindowList.head; node; node = node->next) {
        if (static_cast<DisabledWindow*>(RecordOfNode(node))->threadId == thread) ++count;
    }
    return count;
}

// What a WH_CBT hook saw of the first message box of this thread when it was
// activated; the hook then answers it with `Answer`.
struct BoxSeen {
    bool seen = false;
    std::string caption, text;
    HWND owner = nullptr;
    bool hasOk = false, hasYes = false, hasNo = false;
    std::vector<bool> watchedEnabled; // IsWindowEnabled of each of Watched
    size_t threadNodes = 0;
};
BoxSeen Seen;
std::vector<HWND> Watched;
WPARAM Answer;

LRESULT CALLBACK AnswerBox(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char text[256] = {};
    if (code == HCBT_ACTIVATE && !Seen.seen && GetClassNameA(box, text, sizeof text) &&
        strcmp(text, "#32770") == 0) {
        Seen.seen = true;
        GetWindowTextA(box, text, sizeof text);
        Seen.caption = text;
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // the message's static control
        Seen.text = text;
        Seen.owner = GetWindow(box, GW_OWNER);
        Seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
        Seen.hasYes = GetDlgItem(box, IDYES) != nullptr;
        Seen.hasNo = GetDlgItem(box, IDNO) != nullptr;
        for (HWND window : Watched)
            Seen.watchedEnabled.push_back(IsWindowEnabled(window));
        Seen.threadNodes = NodesOfThread(GetCurrentThreadId());
        PostMessageA(box, WM_COMMAND, Answer, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ShowMessage with the box answered by the hook.
int32_t ShowAnswered(const char* title, const char* text, UINT flags, WPARAM answer,
                     std::vector<HWND> watched = {}) {
    Seen = BoxSeen{};
    Watched = std::move(watched);
    Answer = answer;
    HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerBox, nullptr, GetCurrentThreadId());
    const int32_t result = ShowMessage(title, text, flags);
    UnhookWindowsHookEx(hook);
    return result;
}

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
    ASSERT_TRUE(BringToFront(front.hwnd()));

    EXPECT_EQ(ShowAnswered(MAIN_WINDOW_TITLE, "Kill the process?", MB_YESNO, IDYES,
                           {other.hwnd(), disabled.hwnd(), hidden.hwnd()}),
              IDYES);
    ASSERT_TRUE(Seen.seen);
    EXPECT_EQ(Seen.caption, MAIN_WINDOW_TITLE);
    EXPECT_EQ(Seen.text, "Kill the process?");
    EXPECT_TRUE(Seen.hasYes && Seen.hasNo && !Seen.hasOk);
    EXPECT_EQ(Seen.owner, front.hwnd()) << "the foreground window of this process owns the box";
    EXPECT_EQ(Seen.watchedEnabled, (std::vector<bool>{false, false, true}))
        << "another visible window is disabled; a hidden one is left alone";
    EXPECT_EQ(Seen.threadNodes, 1u) << "only the window that was disabled is remembered";

    EXPECT_TRUE(IsWindowEnabled(front.hwnd()));
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));
    EXPECT_FALSE(IsWindowEnabled(disabled.hwnd())) << "it was disabled before the call";
    EXPECT_TRUE(IsWindowEnabled(hidden.hwnd()));
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
}

TEST_F(MessageBoxTest, AnswersAreTheButtonIds) {
    TestParent front(20, 20, 300, 200);
    ASSERT_TRUE(BringToFront(front.hwnd()));
    EXPECT_EQ(ShowAnswered("t", "question", MB_YESNO, IDNO), IDNO);
    EXPECT_TRUE(Seen.seen);
    EXPECT_EQ(ShowAnswered("KELVOR", "ERROR: can not pause process!", MB_OK, IDOK), IDOK);
    EXPECT_EQ(Seen.text, "ERROR: can not pause process!");
    EXPECT_TRUE(Seen.hasOk && !Seen.hasYes);
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
}

TEST_F(MessageBoxTest, WindowsWithoutANodeAreNeverLeftDisabled) {
    TestParent front(20, 20, 300, 200), other(340, 20, 300, 200);
    ASSERT_TRUE(BringToFront(front.hwnd()));
    HANDLE listHeap = ListHeap;

    ListHeap = nullptr; // no node can be had while it is missing
    DisableThreadWindows();
    ListHeap = listHeap;
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));

    ListHeap = nullptr;
    const int32_t answer = ShowAnswered("t", "no nodes", MB_OK, IDOK, {other.hwnd()});
    ListHeap = listHeap;
    EXPECT_EQ(answer, IDOK);
    EXPECT_TRUE(Seen.seen);
    EXPECT_TRUE(IsWindowEnabled(other.hwnd()));
    EXPECT_EQ(NodesOfThread(GetCurrentThreadId()), 0u);
}

// A window on a thread of its own that disables its thread's windows and
// later restores them, each on a signal.
struct OtherThread {
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD id = 0;

    static DWORD WINAPI Run(void* self) {
        auto* me = static_cast<OtherThread*>(self);
        TestParent own(340, 300, 300, 200);
        me->window = own.hwnd();
        me->id = GetCurrentThreadId();
        SetEvent(me->done);
        void (*steps[])() = {DisableThreadWindows, RestoreThreadWindows, [] {}};
        for (auto step : steps) {
            while (MsgWaitForMultipleObjects(1, &me->go, FALSE, 20000, QS_ALLINPUT) ==
                   WAIT_OBJECT_0 + 1) {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
            }
            step();
            SetEvent(me->done);
        }
        return 0;
    }
    bool Step() {
        SetEvent(go);
        return WaitForSingleObject(done, 10000) == WAIT_OBJECT_0;
    }
};

TEST_F(MessageBoxTest, EachThreadRestoresOnlyWhatItDisabled) {
    OtherThread other;
    HANDLE thread = CreateThread(nullptr, 0, OtherThread::Run, &other, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other.done, 10000), WAIT_OBJECT_0);
    TestParent front(20, 20, 300, 200), mine(340, 20, 300, 200);
    ASSERT_TRUE(BringToFront(front.hwnd()));

    ASSERT_TRUE(other.Step()); // it disables its own window, and only that
    EXPECT_FALSE(IsWindowEnabled(other.window));
    EXPECT_TRUE(IsWindowEnabled(mine.hwnd()));

    EXPECT_EQ(ShowAnswered("t", "two threads", MB_OK, IDOK, {mine.hwnd()}), IDOK);
    EXPECT_EQ(Seen.watchedEnabled, std::vector<bool>{false});
    EXPECT_TRUE(IsWindowEnabled(mine.hwnd()));
    EXPECT_FALSE(IsWindowEnabled(other.window)) << "the other thread's window stays disabled";
    EXPECT_EQ(NodesOfThread(other.id), 1u);

    ASSERT_TRUE(other.Step()); // it restores its own
    EXPECT_TRUE(IsWindowEnabled(other.window));
    EXPECT_FALSE(DisabledWindowList.head);
    other.Step();
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST_F(MessageBoxTest, NoOwnerWhenTheForegroundBelongsToAnotherThread) {
    // Owning the box would disable that thread's window from here, which waits on
    // a thread that may be waiting for this one.
    OtherThread other;
    HANDLE thread = CreateThread(nullptr, 0, OtherThread::Run, &other, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other.done, 10000), WAIT_OBJECT_0);
    TestParent mine(20, 20, 300, 200);
    ASSERT_TRUE(BringToFront(other.window));
    EXPECT_EQ(FindMessageOwner(), nullptr);
    EXPECT_EQ(ShowAnswered("t", "owned by nobody", MB_OK, IDOK), IDOK);
    ASSERT_TRUE(Seen.seen);
    EXPECT_EQ(Seen.owner, nullptr);
    EXPECT_TRUE(IsWindowEnabled(other.window));
    for (int step = 0; step < 3; ++step)
        other.Step();
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST_F(MessageBoxTest, NoOwnerWhenTheForegroundBelongsToAnotherProcess) {
    TestParent mine(20, 20, 300, 200);
    ChildProcess child;
    ASSERT_TRUE(child.Start("foreground_window.exe"));
    const bool childInFront = WaitUntil(
        [&] {
            DWORD process = 0;
            GetWindowThreadProcessId(GetForegroundWindow(), &process);
            return process == child.id();
        },
        15000, Meanwhile::PumpEvents);
    if (childInFront) {
        EXPECT_EQ(FindMessageOwner(), nullptr);
        EXPECT_EQ(ShowAnswered("t", "owned by nobody", MB_OK, IDOK, {mine.hwnd()}), IDOK);
        ASSERT_TRUE(Seen.seen);
        EXPECT_EQ(Seen.owner, nullptr);
        EXPECT_EQ(Seen.watchedEnabled, std::vector<bool>{false}) << "no window of ours is in front";
        EXPECT_TRUE(IsWindowEnabled(mine.hwnd()));
    }
    child.End();
    EXPECT_TRUE(childInFront) << "the helper's window never reached the foreground";
}

} // namespace
