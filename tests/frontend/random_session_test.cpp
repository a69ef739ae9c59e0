// A seeded random session of real input on the window: LIST, row selections,
// PAUSE, RESUME and KILL (clicked, or Tab to the button and Space; boxes answered
// Yes or No, by click, Enter, letter or Esc), double clicks, Tab and Shift+Tab,
// children killed, paused and resumed from outside (all their threads, or one, as
// another tool does), new ones started (some holding a thread of their own
// suspended), and the window
// closed (keeping what it paused paused, with a second close request left behind)
// or ended with the session, and opened again by a new Main. After every step the
// children's threads' suspend counts, their rows' status, the enabled buttons and
// the focused control are checked against a small model of what the window must
// have done: after LIST and after each command a row shows its process's state, a
// pause is one act (undone whole at the close or the session's end while it still
// holds a thread, let go once LIST sees that it no longer does), and the focus stays
// where the user left it (passed on to the next enabled control when its button is
// disabled).
//
// It runs twice: on the real kelvor.dll, which pauses and resumes by the
// process-wide calls, and on the Main linked into this program with those calls'
// slots emptied, which walks thread snapshots instead.
//
// Prints its seed; KELVOR_SEED=N replays a session.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/main_window.h"
#include "frontend/task_manager.h"
#include "support/child_process.h"
#include "support/input_helpers.h"
#include "support/process_api_helpers.h"
#include "support/task_manager_session.h"
#include "support/test_module.h"
#include "support/wait.h"

namespace {

constexpr int STEPS = 150;
constexpr int MAX_LIVE_CHILDREN = 4;
constexpr int CHILD_THREADS = 2;
// The session suspends a child's threads from outside while they are suspended
// fewer times than this.
constexpr int MAX_OUTSIDE_PAUSES = 2;

enum class Life { Live, EndedByWindow, EndedOutside };

struct Child {
    std::unique_ptr<CountingChild> process = std::make_unique<CountingChild>();
    Life life = Life::Live;
    std::vector<DWORD> threads; // its threads, as they were once it counted
    std::vector<int> own;       // each thread's suspend count as the child keeps it itself
    std::vector<int> suspended; // each thread's suspend count, whoever raised it
    std::vector<int> pausedAt;  // each thread's count right after the window's pause; 0 none
    int row = -1;               // its row since the last LIST; -1 when it has none
    std::string status;         // what its row must show

    // With held, the child holds a thread of its own suspended.
    bool Start(bool held) {
        if (!process->Start(CHILD_THREADS, 0,
                            held ? CountingChild::HELD_THREAD : CountingChild::NONE))
            return false;
        threads = ThreadIdsOf(process->id());
        for (DWORD thread : threads)
            own.push_back(SuspendCountOf(thread));
        suspended = own;
        pausedAt.assign(threads.size(), 0);
        return threads.size() == CHILD_THREADS + 1u + held;
    }
    // Every thread suspended beyond what the child holds itself.
    bool AllHeld() const {
        for (size_t t = 0; t < threads.size(); ++t)
            if (suspended[t] == 0) return false;
        return true;
    }
    bool AnyHeldFromOutside() const {
        for (size_t t = 0; t < threads.size(); ++t)
            if (suspended[t] > own[t]) return true;
        return false;
    }
    // The window's pause still holds a thread: one is at or above what it left it at.
    bool PausedHere() const {
        for (size_t t = 0; t < threads.size(); ++t)
            if (pausedAt[t] > 0 && suspended[t] >= pausedAt[t]) return true;
        return false;
    }
    // Every thread suspended once more, or resumed once (a count of 0 stays 0).
    void SuspendAll(bool suspend) {
        for (int& n : suspended)
            n = suspend ? n + 1 : std::max(0, n - 1);
        EndWokenThreads();
    }
    // The thread that the child holds itself ends once it is let go (RESUME lowers
    // every thread, whoever raised it): it is no longer listed or counted.
    void EndWokenThreads() {
        for (size_t t = threads.size(); t-- > 0;) {
            if (own[t] == 0 || suspended[t] > 0) continue;
            for (auto* list : {&own, &suspended, &pausedAt})
                list->erase(list->begin() + static_cast<std::ptrdiff_t>(t));
            threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(t));
        }
    }
    // What the window's close (Yes) and the session's end do: the pause is one act,
    // so while it still holds a thread every thread is lowered by one (one let go
    // from outside meanwhile too), never below 0; then the pause is forgotten.
    void UndoWindowPause(bool undo) {
        const bool holds = undo && PausedHere();
        for (size_t t = 0; t < threads.size(); ++t) {
            if (holds && suspended[t] > 0) --suspended[t];
            pausedAt[t] = 0;
        }
        EndWokenThreads();
    }
    // A pause that no longer holds is let go once the window sees it (LIST): a later
    // pause from outside is not the window's.
    void LetGoIfLapsed() {
        if (!PausedHere()) pausedAt.assign(threads.size(), 0);
    }
};

bool IsLive(const Child& child) {
    return child.life == Life::Live;
}

// What a user sees in the Status column: "PAUSE" while every thread is held, whoever
// holds it, and for a process that this window paused while its pause still holds
// a thread.
std::string RealStatus(const Child& child) {
    return child.AllHeld() || child.PausedHere() ? "PAUSE" : "RUN";
}

// Paused by the window and still paused: the window asks about it when it closes.
bool LeftPaused(const Child& child) {
    return IsLive(child) && child.PausedHere();
}

unsigned SessionSeed() {
    char text[32] = "";
    if (GetEnvironmentVariableA("KELVOR_SEED", text, sizeof text)) return std::stoul(text);
    return GetTickCount() ^ (GetCurrentProcessId() << 16);
}

class RandomSession : public ::testing::TestWithParam<Way> {
  protected:
    void SetUp() override {
        seed = SessionSeed();
        random.seed(seed);
        printf("random session seed %u (replay with KELVOR_SEED=%u)\n", seed, seed);
        if (GetParam() == Way::SnapshotWalks) {
            module.emplace();
            UseSnapshotWalks();
        }
        ASSERT_TRUE(StartWindow());
    }
    // The window goes before the linked module that runs it.
    void TearDown() override {
        session.reset();
        module.reset();
    }

    // A new window: the real DLL's, or the linked Main's for the walks. It opens
    // active, with the focus on the list, its first enabled control.
    bool StartWindow() {
        focus = LIST_PROCESSES;
        session = std::make_unique<TaskManagerSession>();
        return module ? session->StartLinked(Main) : session->Start();
    }

    // The child whose row is selected, or null.
    Child* Selected() { return selected >= 0 ? &children[selected] : nullptr; }

    // PAUSE, RESUME and KILL as the selected row's status enables them.
    std::string ExpectedButtons() {
        const Child* child = Selected();
        if (!child) return "000";
        if (child->status == "RUN") return "101";
        if (child->status == "PAUSE") return "011";
        return "000";
    }

    std::string Buttons() {
        std::string mask;
        for (intptr_t b : {BTN_PAUSE, BTN_RESUME, BTN_KILL})
            mask += session->IsEnabled(b) ? "1" : "0";
        return mask;
    }

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }

    // Whether a control takes the focus now: the list and LIST always, a command
    // button while it is enabled. Controls are numbered in their Tab order.
    bool TakesFocus(intptr_t control) {
        return control == LIST_PROCESSES || control == BTN_LIST ||
               ExpectedButtons()[control - BTN_PAUSE] == '1';
    }

    // Where Tab (or Shift+Tab) moves the focus from a control (-1: none inside).
    intptr_t NextFocus(intptr_t from, bool back) {
        intptr_t control = from >= 0 ? from : back ? LIST_PROCESSES : BTN_LIST;
        do
            control = (control + (back ? BTN_LIST : 1)) % (BTN_LIST + 1);
        while (!TakesFocus(control));
        return control;
    }

    // After a command: a focused button that it disabled passed the focus on.
    void PassFocusOn() {
        if (focus >= 0 && !TakesFocus(focus)) focus = NextFocus(focus, false);
    }

    // The control that has the window's focus; -1 when none inside it has.
    intptr_t FocusedControl() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(session->mainThreadId(), &info);
        HWND control = info.hwndFocus;
        return control && IsChild(session->window(), control) ? GetDlgCtrlID(control) : -1;
    }

    // Tabs until the focus is on the button; "" when every Tab went where the model says.
    std::string TabTo(intptr_t button) {
        if (!session->Activate()) return "the window did not come to the front";
        while (focus != button) {
            if (!session->TapKeyAndWait(VK_TAB)) return "the window took no Tab";
            focus = NextFocus(focus, false);
            if (FocusedControl() != focus) return "Tab went elsewhere";
        }
        return "";
    }

    // Children that have a row, or that are live, by index.
    std::vector<int> Matching(bool (*fits)(const Child&)) {
        std::vector<int> found;
        for (int i = 0; i < static_cast<int>(children.size()); ++i)
            if (fits(children[i])) found.push_back(i);
        return found;
    }

    // Answers the box that must be up now with its text, by a click on the button,
    // or by a key that gives that answer; "" when all went as expected.
    std::string AnswerBox(const std::string& text, int button, WORD key = 0) {
        HWND box = session->WaitMessageBox(5000);
        if (!box) return "no message box \"" + text + "\"";
        const std::string shown = MessageBoxText(box);
        if (shown != text) return "the box says \"" + shown + "\", not \"" + text + "\"";
        const bool answered = key ? session->AnswerMessageBoxWithKey(box, key)
                                  : session->AnswerMessageBox(box, button);
        return answered ? "" : "the box could not be answered";
    }

    // What PAUSE or RESUME does to a live child in the model: every thread's count
    // raised or lowered by one, and the row shows the state after it.
    void PauseOrResume(Child& child, bool pause) {
        child.SuspendAll(pause);
        for (size_t t = 0; t < child.threads.size(); ++t)
            child.pausedAt[t] = pause ? child.suspended[t] : 0;
        child.status = RealStatus(child);
    }

    // An error box, answered OK by a click, Enter or Esc.
    std::string AnswerError(const std::string& text) {
        const WORD keys[] = {0, VK_RETURN, VK_ESCAPE};
        const char* ways[] = {", OK", ", Enter", ", Esc"};
        const int way = Pick(3);
        history.back() += ways[way];
        return AnswerBox(text, IDOK, keys[way]);
    }

    // A command on a child that has ended outside: its error box, then its row shows
    // "KILL", with no command left, and a focused button passes the focus on.
    std::string Refused(Child& child, const char* error) {
        std::string problem = AnswerError(error);
        child.status = "KILL";
        PassFocusOn();
        return problem;
    }

    // What a command button does to the selected row in the model, with its box
    // answered; "" when the window did what the model expects. By keys: Tab to the
    // button (enabled) and Space.
    std::string Command(intptr_t button, bool doubleClick, bool keys) {
        Child* child = Selected();
        const bool enabled = ExpectedButtons()[button - BTN_PAUSE] == '1';
        HWND control = session->button(button);
        // Clicks that the button took: each is one command (a disabled button takes
        // none). The second click of a double click acts only if the first left the
        // button enabled (a RESUME of a process paused twice).
        int clicks = 0;
        if (keys) {
            if (std::string problem = TabTo(button); !problem.empty()) return problem;
            clicks = session->TapKeyAndWait(VK_SPACE) ? 1 : -1;
        } else if (doubleClick) {
            clicks = session->DoubleClickControl(control);
            // A double click that the desktop turned into no click is tried once more.
            if (clicks == 0 && enabled) clicks = session->ClickControl(control) ? 1 : -1;
        } else {
            clicks = session->ClickControl(control) ? (enabled ? 1 : 0) : -1;
        }
        if (clicks < 0) return "the click was not taken";
        if (!enabled) return clicks == 0 ? "" : "a disabled button took a click";
        // A click focuses the button it takes, as Tab does.
        focus = button;
        const bool ended = child->life == Life::EndedOutside;
        // A process that has ended is refused before any question.
        if (button == BTN_KILL && ended) return Refused(*child, "ERROR: can not kill process!");
        if (button == BTN_KILL) {
            // No is the default answer: Enter gives it, and so does its letter.
            const int answer = Pick(4);
            const bool yes = answer == 0;
            const WORD answerKeys[] = {0, 0, VK_RETURN, 'N'};
            const char* answers[] = {", Yes", ", No", ", Enter", ", N"};
            history.back() += answers[answer];
            std::string problem =
                AnswerBox("KILL:counting_child.exe", yes ? IDYES : IDNO, answerKeys[answer]);
            if (!problem.empty() || !yes) return problem;
            child->life = Life::EndedByWindow;
            child->status = "KILL";
            PassFocusOn();
            return "";
        }
        const bool pause = button == BTN_PAUSE;
        if (ended) {
            return Refused(*child, pause ? "ERROR: can not pause process!"
                                         : "ERROR: can not resume process!");
        }
        for (int click = 0; click < clicks; ++click) {
            if (click > 0 && ExpectedButtons()[button - BTN_PAUSE] != '1')
                return "the second click acted on a disabled button";
            PauseOrResume(*child, pause);
            PassFocusOn();
        }
        return "";
    }

    std::string List(bool doubleClick) {
        HWND list = session->button(BTN_LIST);
        if (!(doubleClick ? session->DoubleClickControl(list) > 0 ||
                                session->ClickControl(list, ListTimeoutMs())
                          : session->ClickControl(list, ListTimeoutMs()))) {
            return "LIST was not clicked";
        }
        focus = BTN_LIST;
        selected = -1;
        for (Child& child : children) {
            child.row = IsLive(child) ? session->RowOfProcess(child.process->id()) : -1;
            child.LetGoIfLapsed();
            child.status = RealStatus(child);
            if (IsLive(child) && child.row < 0) return "a live child is not listed";
        }
        return "";
    }

    // Suspends or resumes a live child's threads behind the window's back, every
    // one or a single one, as another tool or a debugger does; its row shows the
    // change only after the next LIST or command. A thread that the child holds
    // itself is never resumed from outside below its own count (it would run and end).
    std::string FromOutside(bool pause, bool oneThread) {
        std::vector<int> eligible;
        for (int i : Matching(IsLive)) {
            const Child& c = children[i];
            bool fits = true;
            for (size_t t = 0; t < c.threads.size(); ++t) {
                fits &= pause ? oneThread || c.suspended[t] - c.own[t] < MAX_OUTSIDE_PAUSES
                              : oneThread || c.own[t] == 0 || c.suspended[t] > c.own[t];
            }
            if (fits && (pause || c.AnyHeldFromOutside())) eligible.push_back(i);
        }
        if (eligible.empty()) {
            history.push_back("(nothing to do)");
            return "";
        }
        Child& child = children[eligible[Pick(static_cast<int>(eligible.size()))]];
        const std::string name = "child " + std::to_string(&child - children.data());
        if (!oneThread) {
            history.push_back(name + (pause ? " paused from outside" : " resumed from outside"));
            if (!SuspendEveryThread(child.process->id(), pause)) return "its threads did not open";
            child.SuspendAll(pause);
            return "";
        }
        // One thread: one that is held from outside let go, or one suspended once more.
        std::vector<size_t> fitting;
        for (size_t t = 0; t < child.threads.size(); ++t) {
            if (pause ? child.suspended[t] - child.own[t] < MAX_OUTSIDE_PAUSES
                      : child.suspended[t] > child.own[t]) {
                fitting.push_back(t);
            }
        }
        if (fitting.empty()) {
            history.push_back("(nothing to do)");
            return "";
        }
        const size_t t = fitting[Pick(static_cast<int>(fitting.size()))];
        history.push_back(name + ": thread " + std::to_string(t) +
                          (pause ? " suspended from outside" : " resumed from outside"));
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, child.threads[t]);
        const bool done =
            thread && (pause ? SuspendThread(thread) : ResumeThread(thread)) != DWORD(-1);
        if (thread) CloseHandle(thread);
        if (!done) return "the thread did not change";
        child.suspended[t] += pause ? 1 : -1;
        return "";
    }

    // Closes the window, answering the question about what it left paused (asked
    // only when there is such a process); "" when all went as the model expects.
    // With twice, a second close request follows the first (a double click on the
    // close box), and may be left over when Main returns.
    std::string CloseWindow(bool resume, bool twice = false) {
        bool asked = false;
        for (const Child& child : children)
            asked |= LeftPaused(child);
        session->RequestClose();
        if (twice) session->RequestClose();
        if (asked) {
            std::string problem = AnswerBox("Processes paused here are still paused. Resume them?",
                                            resume ? IDYES : IDNO);
            if (!problem.empty()) return problem;
        }
        if (session->WaitMainReturn() != 1) return "Main did not return 1";
        Forget(resume);
        return "";
    }

    // The window has gone: what it paused is undone or left, and no row is left.
    void Forget(bool undo) {
        focus = -1;
        for (Child& child : children) {
            child.UndoWindowPause(undo && IsLive(child));
            child.row = -1;
        }
        selected = -1;
    }

    // The session ends under the window, wherever it is (a box may be open): every
    // pause of the window is undone without a question and Main returns.
    std::string EndSession() {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(session->window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000,
                                 &answer) ||
            answer != TRUE) {
            return "the window did not let the session end";
        }
        if (!SendMessageTimeoutA(session->window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000,
                                 &answer)) {
            return "the window did not take the session's end";
        }
        if (session->WaitMainReturn() != 1) return "Main did not return 1";
        Forget(true);
        return "";
    }

    // The window closed twice over (No to the question), or ended with the session,
    // and a new Main opened: the processes that the old one paused stay paused (or
    // are resumed by the session's end), the new one has no rows yet, and no close
    // request of the old one ends it.
    std::string Reopen() {
        const bool sessionEnds = Pick(2) == 0;
        history.push_back(sessionEnds ? "the session ends, and a new window"
                                      : "close twice, No, and a new window");
        std::string problem = sessionEnds ? EndSession() : CloseWindow(false, true);
        if (!problem.empty()) return problem;
        return StartWindow() ? "" : "the new window did not open";
    }

    // One random step; "" when the window did what the model expects.
    std::string Step() {
        const std::vector<int> listed = Matching([](const Child& c) { return c.row >= 0; });
        const std::vector<int> live = Matching(IsLive);
        // Kinds of step, weighted by how many numbers each takes. A command needs a
        // selected row and a selection a listed one: without them the step does what
        // they need first.
        int kind = Pick(24);
        if (kind >= 5 && kind <= 12 && !Selected()) kind = 1;
        if (kind >= 1 && kind <= 4 && listed.empty()) kind = 0;
        switch (kind) {
        case 0: history.push_back("LIST"); return List(false);
        case 1:
        case 2:
        case 3:
        case 4:
            selected = listed[Pick(static_cast<int>(listed.size()))];
            history.push_back("select the row of child " + std::to_string(selected));
            // Not a double click with the last row click, which leaves the focus alone.
            WaitUntil([&] { return GetTickCount() - rowClickedAt > GetDoubleClickTime(); },
                      GetDoubleClickTime() + 100);
            focus = LIST_PROCESSES;
            if (!session->ClickRow(children[selected].row)) return "the row was not clicked";
            rowClickedAt = GetTickCount();
            return "";
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12: {
            const intptr_t button = BTN_PAUSE + Pick(3);
            const int way = Pick(4);
            // Only an enabled button can be reached with Tab.
            const bool keys = way == 1 && ExpectedButtons()[button - BTN_PAUSE] == '1';
            const char* names[] = {"PAUSE", "RESUME", "KILL"};
            const std::string name = names[button - BTN_PAUSE];
            history.push_back(keys ? "Tab to " + name + ", Space"
                                   : (way == 0 ? "double click " : "click ") + name);
            return Command(button, way == 0, keys);
        }
        case 13: history.push_back("double click LIST"); return List(true);
        case 14:
            if (live.empty()) break;
            {
                const int victim = live[Pick(static_cast<int>(live.size()))];
                history.push_back("child " + std::to_string(victim) + " killed from outside");
                children[victim].process->process().Forget();
                children[victim].life = Life::EndedOutside;
            }
            return "";
        case 15:
            if (static_cast<int>(live.size()) >= MAX_LIVE_CHILDREN) break;
            {
                const bool held = Pick(2) == 0;
                history.push_back("child " + std::to_string(children.size()) + " started" +
                                  (held ? ", holding a thread of its own" : ""));
                children.emplace_back();
                return children.back().Start(held) ? "" : "the child did not start";
            }
        case 16: {
            const bool back = Pick(2) == 0;
            history.push_back(back ? "Shift+Tab" : "Tab");
            if (!session->Activate()) return "the window did not come to the front";
            if (!session->TapKeyAndWait(VK_TAB, back)) return "the window took no Tab";
            focus = NextFocus(focus, back);
            return "";
        }
        case 17: return FromOutside(true, false);
        case 18: return FromOutside(true, true);
        case 19:
        case 20: return FromOutside(false, false);
        case 21:
        case 22: return FromOutside(false, true);
        case 23: return Reopen();
        }
        history.push_back("(nothing to do)");
        return "";
    }

    // The window and the children against the model; "" when they agree.
    std::string Check() {
        if (!session->WaitIdle(5000)) return "the window does not answer";
        if (HWND box = session->WaitMessageBox(0)) {
            return "an unexpected box: " + MessageBoxText(box);
        }
        if (Buttons() != ExpectedButtons()) {
            return "buttons " + Buttons() + ", expected " + ExpectedButtons();
        }
        if (FocusedControl() != focus) {
            return "the focus is on control " + std::to_string(FocusedControl()) + ", expected " +
                   std::to_string(focus);
        }
        for (size_t i = 0; i < children.size(); ++i) {
            Child& child = children[i];
            const std::string name = "child " + std::to_string(i) + ": ";
            if (child.row >= 0 && session->Cell(child.row, COL_STATUS) != child.status) {
                return name + "its row shows " + session->Cell(child.row, COL_STATUS) +
                       ", expected " + child.status;
            }
            CountingChild& process = *child.process;
            if (child.life == Life::EndedByWindow) {
                if (!process.process().WaitForExit(5000)) return name + "still runs after KILL";
                if (process.process().ExitCode() != 0)
                    return name + "ended with a code other than 0";
            }
            if (!IsLive(child)) continue;
            if (const std::string problem = CountsDiffer(child); !problem.empty())
                return name + problem;
            if (!child.AnyHeldFromOutside() && !process.AllCount()) return name + "does not count";
        }
        return "";
    }

    // "" when each thread of the child is suspended as often as the model says.
    static std::string CountsDiffer(const Child& child) {
        for (size_t t = 0; t < child.threads.size(); ++t) {
            const int count = SuspendCountOf(child.threads[t]);
            if (count != child.suspended[t]) {
                return "its thread " + std::to_string(t) + " is suspended " +
                       std::to_string(count) + " times, not " + std::to_string(child.suspended[t]);
            }
        }
        return "";
    }

    // At the close, the window asks to resume what it left paused; the children
    // are then as the answer says.
    std::string CloseAndCheck() {
        const bool yes = Pick(2) == 0;
        history.push_back(yes ? "close, resume Yes (if asked)" : "close, resume No (if asked)");
        std::string problem = CloseWindow(yes);
        for (size_t i = 0; problem.empty() && i < children.size(); ++i) {
            const Child& child = children[i];
            if (IsLive(child) && !CountsDiffer(child).empty())
                problem = "child " + std::to_string(i) +
                          " was not left as the answer says: " + CountsDiffer(child);
        }
        return problem;
    }

    std::string History() const {
        std::ostringstream text;
        for (size_t i = 0; i < history.size(); ++i)
            text << "  " << i + 1 << ". " << history[i] << "\n";
        return text.str();
    }

    std::optional<ModuleScope> module; // for the linked Main
    std::unique_ptr<TaskManagerSession> session;
    std::mt19937 random;
    unsigned seed = 0;
    std::vector<Child> children;
    int selected = -1;
    intptr_t focus = -1; // the control that has the focus (-1: none inside the window)
    DWORD rowClickedAt = 0;
    std::vector<std::string> history;
};

TEST_P(RandomSession, EveryClickActsOnceAndRowsShowTheRealState) {
    children.resize(2);
    for (size_t i = 0; i < children.size(); ++i)
        ASSERT_TRUE(children[i].Start(i == 1));
    for (int step = 1; step <= STEPS; ++step) {
        std::string problem = Step();
        if (problem.empty()) problem = Check();
        ASSERT_TRUE(problem.empty()) << "step " << step << " (" << history.back()
                                     << "): " << problem << "\nseed " << seed << ", steps so far:\n"
                                     << History();
    }
    const std::string problem = CloseAndCheck();
    EXPECT_TRUE(problem.empty()) << problem << "\nseed " << seed << ", steps:\n" << History();
}

INSTANTIATE_TEST_SUITE_P(, RandomSession, ::testing::Values(Way::ProcessWide, Way::SnapshotWalks),
                         WayName);

} // namespace
