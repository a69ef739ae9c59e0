// The task manager from end to end: the real kelvor.dll runs Main on its own
// thread; the tests click its window as a user would and read it back.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frontend/task_manager.h"
#include "process/process_api.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"
#include "support/child_process.h"
#include "support/process_api_helpers.h"
#include "support/start_beside.h"
#include "support/test_module.h"
#include "support/input_helpers.h"
#include "support/task_manager_session.h"
#include "support/wait.h"

namespace {

// The processes running now, id to executable name, from the system's tool-help snapshot.
std::map<DWORD, std::string> RunningProcesses() {
    std::map<DWORD, std::string> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        processes[entry.th32ProcessID] = entry.szExeFile;
    }
    CloseHandle(snapshot);
    return processes;
}

// The widths of the list's five columns, and the right edge of the last one.
std::vector<int> ColumnWidths(HWND list) {
    std::vector<int> widths;
    for (int column = 0; column < 5; ++column)
        widths.push_back(static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0)));
    return widths;
}
int ColumnsRight(HWND list) {
    int right = 0;
    for (int width : ColumnWidths(list))
        right += width;
    return right;
}

// A copy of the idle child in a folder beside the tests, the folder and the file
// named with Polish, Cyrillic and Chinese letters, which no ANSI code page spells
// all of; removed again when it goes (after the child that runs it has ended).
class ChildCopiedToForeignName {
  public:
    explicit ChildCopiedToForeignName(const std::wstring& folderName = L"Łódź Жук 中文") {
        wchar_t own[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, own, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        std::wstring beside(own, wcsrchr(own, L'\\') + 1);
        folder_ = beside + folderName;
        path_ = folder_ + L"\\Жук中.exe";
        copied_ = (CreateDirectoryW(folder_.c_str(), nullptr) ||
                   GetLastError() == ERROR_ALREADY_EXISTS) &&
                  CopyFileW((beside + L"idle_child.exe").c_str(), path_.c_str(), FALSE);
    }
    ~ChildCopiedToForeignName() {
        // An ended program's file may stay in use for a moment.
        WaitUntil(
            [&] { return DeleteFileW(path_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
        RemoveDirectoryW(folder_.c_str());
    }
    ChildCopiedToForeignName(const ChildCopiedToForeignName&) = delete;
    ChildCopiedToForeignName& operator=(const ChildCopiedToForeignName&) = delete;
    bool copied() const { return copied_; }
    const wchar_t* path() const { return path_.c_str(); }

  private:
    std::wstring folder_, path_;
    bool copied_ = false;
};

// The full path of a process's image, as the system spells it; "" when it cannot tell.
std::wstring SystemImagePath(HANDLE process) {
    // By name: Vista and later, beyond the headers' Windows version.
    using QueryImageFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
    static auto query = reinterpret_cast<QueryImageFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    return query && query(process, 0, path, &size) ? path : L"";
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           lstrcmpiA(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

class TaskManager : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(session.Start()); }
    // Every window ends as a user ends it: closed, and Main returns 1. (A test that
    // closed it already finds Main returned.)
    void TearDown() override { EXPECT_EQ(session.Close(), 1); }

    // LIST, then the row of a process, selected with a real click.
    int ListAndSelect(DWORD processId) {
        EXPECT_TRUE(session.PressList());
        int row = session.RowOfProcess(processId);
        EXPECT_GE(row, 0) << "process " << processId << " is not listed";
        if (row >= 0) Select(row);
        return row;
    }

    // Starts a counting child with that many threads (chains of threads that live
    // lifetimeMs each, if given), lists it and selects its row.
    void SelectCountingChild(int threads, DWORD lifetimeMs = 0) {
        ASSERT_TRUE(child.Start(threads, lifetimeMs));
        row = ListAndSelect(child.id());
        ASSERT_GE(row, 0);
    }

    // Clicks a button of the window and returns once the click has been handled.
    bool Press(intptr_t button) { return session.ClickControl(session.button(button)); }

    // Pauses the row's process with PAUSE; its status shows at once.
    void PauseRow(int row) {
        ASSERT_TRUE(Press(BTN_PAUSE));
        ASSERT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
    }

    void Select(int row) {
        EXPECT_TRUE(session.ClickRow(row));
        EXPECT_TRUE(session.IsSelected(row));
    }

    // The enabled states of PAUSE, RESUME and KILL as a three-letter mask.
    std::string Buttons() {
        session.WaitIdle();
        std::string mask;
        for (intptr_t b : {BTN_PAUSE, BTN_RESUME, BTN_KILL}) {
            mask += session.IsEnabled(b) ? "1" : "0";
        }
        return mask;
    }

    // Presses a command button and expects a box with the window's title, the text
    // and an OK button only; answers it.
    void ExpectErrorBox(intptr_t button, const char* text) {
        ASSERT_TRUE(Press(button));
        ExpectErrorBoxShown(text);
    }

    // The error box that a command brought up: title, text and OK alone; answered.
    void ExpectErrorBoxShown(const char* text) {
        HWND box = session.WaitMessageBox();
        ASSERT_NE(box, nullptr) << text;
        EXPECT_EQ(WindowText(box), MAIN_WINDOW_TITLE);
        EXPECT_EQ(MessageBoxText(box), text);
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
        EXPECT_EQ(GetDlgItem(box, IDNO), nullptr);
        EXPECT_TRUE(session.AnswerMessageBox(box, IDOK));
    }

    // KILL pressed and its question answered Yes.
    void KillAnsweredYes() {
        ASSERT_TRUE(Press(BTN_KILL));
        HWND box = session.WaitMessageBox();
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(session.AnswerMessageBox(box, IDYES));
    }

    TaskManagerSession session;
    CountingChild child; // started by SelectCountingChild
    int row = -1;        // the row that SelectCountingChild selected
};

TEST_F(TaskManager, OpensWithItsLayoutAndAnEmptyList) {
    HWND window = session.window();
    EXPECT_TRUE(IsWindowVisible(window));
    LONG style = GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS;
    EXPECT_EQ(style, WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    EXPECT_EQ(outer.left, 216);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 300);

    HWND list = session.list();
    EXPECT_EQ(session.RowCount(), 0);
    EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & 0xFFFF,
              LVS_REPORT | LVS_SINGLESEL | LVS_SHAREIMAGELISTS);
    DWORD extended = static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              DWORD(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    const char* titles[] = {"Name", "Handle", "File", "Memory", "Status"};
    const int widths[] = {120, 80, 150, 80, 50};
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 5);
    for (int column = 0; column < 5; ++column) {
        char text[32] = "";
        LVCOLUMNA description = {};
        description.mask = LVCF_TEXT | LVCF_WIDTH;
        description.pszText = text;
        description.cchTextMax = sizeof text;
        ASSERT_TRUE(
            SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&description)));
        EXPECT_STREQ(text, titles[column]);
        EXPECT_EQ(description.cx, widths[column]);
    }

    struct Expected {
        intptr_t number;
        const char* text;
        int y;
        bool enabled;
    } buttons[] = {{BTN_PAUSE, "PAUSE    |  |", 55, false},
                   {BTN_RESUME, "RESUME   >>", 90, false},
                   {BTN_KILL, "KILL     [ X ]", 125, false},
                   {BTN_LIST, "LIST      ...", 265, true}};
    for (const Expected& b : buttons) {
        HWND button = session.button(b.number);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(WindowText(button), b.text);
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 505);
        EXPECT_EQ(rect.top, b.y);
        EXPECT_EQ(rect.right - rect.left, 80);
        EXPECT_EQ(rect.bottom - rect.top, 25);
        EXPECT_EQ(session.IsEnabled(b.number), b.enabled) << b.text;
    }
}

TEST_F(TaskManager, ListShowsEveryProcessThatRunsOnceEach) {
    // More processes than 256, the most that a snapshot of 1024 bytes could hold.
    ChildProcess more[260];
    for (ChildProcess& child : more)
        ASSERT_TRUE(child.Start("idle_child.exe"));
    ChildProcess idle;
    ASSERT_TRUE(idle.Start("idle_child.exe"));
    std::map<DWORD, std::string> before = RunningProcesses();
    ASSERT_TRUE(session.PressList());
    std::map<DWORD, std::string> after = RunningProcesses();

    std::set<DWORD> listed;
    for (int r = 0, n = session.RowCount(); r < n; ++r) {
        DWORD id = std::stoul(session.Cell(r, COL_HANDLE));
        EXPECT_TRUE(listed.insert(id).second) << "listed twice: " << id;
        EXPECT_EQ(session.Cell(r, COL_STATUS), "RUN");
        // Anything listed ran at one of the two moments around the LIST.
        EXPECT_TRUE(before.count(id) || after.count(id)) << "not a running process: " << id;
    }
    // Everything that ran throughout is listed.
    for (const auto& [id, name] : before) {
        if (after.count(id)) {
            EXPECT_TRUE(listed.count(id)) << "missing process " << id;
        }
    }
    EXPECT_GT(listed.size(), 261u);
    row = session.RowOfProcess(idle.id());
    ASSERT_GE(row, 0);
    EXPECT_EQ(session.Cell(row, COL_NAME), "idle_child.exe");
    EXPECT_NE(session.Cell(row, COL_FILE).find("idle_child.exe"), std::string::npos);
    EXPECT_GT(std::stoul(session.Cell(row, COL_MEMORY)), 0u);
    // The rows overflow: the scroll bar shows, and the Status column stays in view.
    RECT client;
    GetClientRect(session.list(), &client);
    EXPECT_TRUE(GetWindowLongA(session.list(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_LE(ColumnsRight(session.list()), client.right);

    // A second LIST replaces the rows: each process still appears once.
    ASSERT_TRUE(session.PressList());
    std::set<std::string> ids;
    for (int r = 0, n = session.RowCount(); r < n; ++r) {
        EXPECT_TRUE(ids.insert(session.Cell(r, COL_HANDLE)).second)
            << "listed twice: " << session.Cell(r, COL_HANDLE);
    }
}

TEST_F(TaskManager, EveryLiveProcessIsNamedWithItsPath) {
    // Both kinds of process side by side where the system runs both.
    std::vector<const char*> programs;
    if (SystemRuns32BitPrograms()) programs.push_back("idle_child32.exe");
    if (SystemIs64Bit()) programs.push_back("idle_child64.exe");
    const int kinds = static_cast<int>(programs.size());
    ChildProcess children[2];
    for (int i = 0; i < kinds; ++i)
        ASSERT_TRUE(children[i].Start(programs[i])) << programs[i];
    ASSERT_TRUE(session.PressList());
    std::map<DWORD, std::string> running = RunningProcesses();

    int named = 0;
    for (int r = 0, n = session.RowCount(); r < n; ++r) {
        const DWORD id = std::stoul(session.Cell(r, COL_HANDLE));
        auto process = running.find(id);
        if (process == running.end()) continue; // ended since
        SCOPED_TRACE(process->second);
        const std::string name = session.Cell(r, COL_NAME), file = session.Cell(r, COL_FILE);
        EXPECT_EQ(lstrcmpiA(name.c_str(), process->second.c_str()), 0) << name;
        EXPECT_TRUE(EndsWithIgnoringCase(file, "\\" + process->second)) << file;
        ++named;
    }
    EXPECT_GT(named, 3);
    for (int i = 0; i < kinds; ++i) {
        row = session.RowOfProcess(children[i].id());
        ASSERT_GE(row, 0) << programs[i];
        char path[MAX_PATH];
        PathBesideTests(programs[i], path);
        EXPECT_EQ(session.Cell(row, COL_NAME), programs[i]);
        EXPECT_EQ(lstrcmpiA(session.Cell(row, COL_FILE).c_str(), path), 0)
            << session.Cell(row, COL_FILE);
    }
}

TEST_F(TaskManager, NamesOutsideTheAnsiCodePageShowAsTheSystemSpellsThem) {
    if (SystemIgnoresUtf8CodePage())
        GTEST_SKIP() << "this Windows gives programs no UTF-8 code page";
    ChildCopiedToForeignName copy;
    ASSERT_TRUE(copy.copied());
    ChildProcess named;
    ASSERT_TRUE(named.StartAt(copy.path()));
    const std::wstring path = SystemImagePath(named.handle());
    ASSERT_NE(path, L"");
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);

    row = ListAndSelect(named.id());
    ASSERT_GE(row, 0);
    EXPECT_EQ(session.WideCell(row, COL_NAME), name);
    EXPECT_EQ(session.WideCell(row, COL_FILE), path);
    ASSERT_TRUE(Press(BTN_KILL));
    HWND box = session.WaitMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WideMessageBoxText(box), L"KILL:" + name);
    ASSERT_TRUE(session.AnswerMessageBox(box, IDNO));
    EXPECT_EQ(named.ExitCode(), DWORD(STILL_ACTIVE));

    // Paths longer than a cell holds, in folders of 120 Cyrillic letters (two bytes
    // each in UTF-8) and one letter more, so that the cut falls inside a letter in
    // one of them: each File cell is a whole-lettered beginning of the real path,
    // marked as cut.
    for (const wchar_t* pad : {L"", L"x"}) {
        ChildCopiedToForeignName deep(std::wstring(120, L'Ж') + pad);
        ASSERT_TRUE(deep.copied());
        ChildProcess child;
        ASSERT_TRUE(child.StartAt(deep.path()));
        const std::wstring full = SystemImagePath(child.handle());
        ASSERT_TRUE(session.PressList());
        std::wstring cell = session.WideCell(session.RowOfProcess(child.id()), COL_FILE);
        ASSERT_GT(cell.size(), 100u);
        EXPECT_EQ(cell.substr(cell.size() - 3), L"...");
        cell.resize(cell.size() - 3);
        EXPECT_LT(cell.size(), full.size());
        EXPECT_EQ(full.compare(0, cell.size(), cell), 0) << "not a beginning of the path";
    }
}

TEST_F(TaskManager, PauseResumeAndKillFollowTheSelectedRow) {
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    EXPECT_EQ(Buttons(), "101"); // a running row: PAUSE and KILL

    PauseRow(row);
    EXPECT_TRUE(child.SettlesStill());
    EXPECT_TRUE(child.StaysStill(300));
    // The buttons follow the new status at once.
    EXPECT_EQ(Buttons(), "011");
    // A PAUSE that reaches the paused row anyway (a click as the button was being
    // disabled) does not suspend its threads again.
    PostMessageA(session.window(), WM_COMMAND, MAKEWPARAM(BTN_PAUSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(session.button(BTN_PAUSE)));
    ASSERT_TRUE(session.WaitIdle());
    EXPECT_TRUE(EveryThreadSuspended(child.id(), 1));

    ASSERT_TRUE(Press(BTN_RESUME));
    ASSERT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(child.AllCount());
    EXPECT_EQ(Buttons(), "101");

    // The question names the process; No leaves everything as it was.
    ASSERT_TRUE(Press(BTN_KILL));
    HWND box = session.WaitMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), MAIN_WINDOW_TITLE);
    EXPECT_EQ(MessageBoxText(box), "KILL:counting_child.exe");
    EXPECT_FALSE(IsWindowEnabled(session.window())) << "the window is disabled under the box";
    // Enter takes the default answer, which is No.
    ASSERT_TRUE(session.AnswerMessageBoxWithKey(box, VK_RETURN));
    EXPECT_TRUE(IsWindowEnabled(session.window()));
    EXPECT_EQ(child.process().ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");

    // Yes ends it with exit code 0; its row stays, marked, with nothing left to do.
    ASSERT_NO_FATAL_FAILURE(KillAnsweredYes());
    ASSERT_TRUE(child.process().WaitForExit(5000));
    EXPECT_EQ(child.process().ExitCode(), 0u);
    EXPECT_EQ(session.Cell(row, COL_STATUS), "KILL");
    EXPECT_EQ(session.RowOfProcess(child.id()), row);
    EXPECT_EQ(Buttons(), "000");
}

TEST_F(TaskManager, ListShowsAPausedProcessPausedUntilItIsResumed) {
    // Beside it, one that grants only limited access, paused from outside: its
    // threads are read in a thread snapshot, since its handle cannot walk them.
    CountingChild limited;
    ASSERT_TRUE(limited.Start(1, 0, CountingChild::LIMITED_ACCESS));
    ASSERT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, limited.id()), nullptr);
    ASSERT_TRUE(SuspendEveryThread(limited.id(), true));
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    PauseRow(row);

    ASSERT_TRUE(session.PressList());
    EXPECT_EQ(session.Cell(session.RowOfProcess(limited.id()), COL_STATUS), "PAUSE");
    ASSERT_TRUE(SuspendEveryThread(limited.id(), false));
    row = session.RowOfProcess(child.id());
    ASSERT_GE(row, 0);
    EXPECT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
    EXPECT_FALSE(session.IsSelected(row));
    EXPECT_TRUE(child.StaysStill(200));
    Select(row);
    EXPECT_EQ(Buttons(), "011");

    // One RESUME undoes the one PAUSE: every thread runs again.
    ASSERT_TRUE(Press(BTN_RESUME));
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(child.AllCount());
    for (DWORD thread : ThreadIdsOf(child.id()))
        EXPECT_EQ(SuspendCountOf(thread), 0) << "thread " << thread;
    ASSERT_TRUE(session.PressList());
    EXPECT_EQ(session.Cell(session.RowOfProcess(child.id()), COL_STATUS), "RUN");
}

TEST_F(TaskManager, ARowActsOnlyOnTheProcessItWasListedFor) {
    CountingChild other;
    ASSERT_TRUE(other.Start(1));
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(1));
    // The row's id now names another live process, as when the system has given
    // the id of an ended process to a new one.
    session.SetCell(row, COL_HANDLE, std::to_string(other.id()));

    ExpectErrorBox(BTN_PAUSE, "ERROR: can not pause process!");
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(other.AllCount());

    ExpectErrorBox(BTN_KILL, "ERROR: can not kill process!"); // no question first
    EXPECT_EQ(other.process().ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_TRUE(other.AllCount());
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
}

TEST_F(TaskManager, PausingOrKillingItsOwnProcessIsRefusedAndTheWindowStaysResponsive) {
    row = ListAndSelect(GetCurrentProcessId());
    ASSERT_GE(row, 0);
    ExpectErrorBox(BTN_PAUSE, "ERROR: can not pause process!");
    // Its end would close the window unasked and leave what it paused frozen.
    ExpectErrorBox(BTN_KILL, "ERROR: can not kill process!"); // no question first
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(session.WaitIdle(2000));
}

TEST_F(TaskManager, CommandsWithoutASelectionDoNothing) {
    ASSERT_TRUE(session.PressList());
    // Right after LIST no row is selected, and the buttons stay disabled.
    for (int r = 0, n = session.RowCount(); r < n; ++r)
        EXPECT_FALSE(session.IsSelected(r));
    EXPECT_EQ(Buttons(), "000");
    // A command that arrives anyway (posted, as a stray click would) changes nothing.
    PostMessageA(session.window(), WM_COMMAND, MAKEWPARAM(BTN_PAUSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(session.button(BTN_PAUSE)));
    session.WaitIdle();
    EXPECT_EQ(session.WaitMessageBox(300), nullptr);
    EXPECT_EQ(Buttons(), "000");
}

// The focused window of the task manager's thread.
HWND FocusOf(DWORD threadId) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

TEST_F(TaskManager, TabMovesBetweenTheListAndListButtonOnly) {
    HWND list = session.list(), listButton = session.button(BTN_LIST);
    // The window opened active, with the focus on its first enabled control.
    EXPECT_EQ(FocusOf(session.mainThreadId()), list);
    // Activate the window with a click on its caption.
    RECT rect;
    GetWindowRect(session.window(), &rect);
    ClickAt({rect.left + 150,
             rect.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2});
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == session.window(); }));
    session.WaitIdle();
    // PAUSE, RESUME and KILL are disabled at start: only the list and LIST take the focus.
    HWND expected[] = {listButton, list, listButton, list};
    for (HWND next : expected) {
        TapKey(VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(session.mainThreadId()) == next; }));
    }
    TapKey(VK_TAB, true);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(session.mainThreadId()) == listButton; }));
}

// A keyboard user keeps their place: a command's button that its own Space
// disables passes the focus on to the next enabled control, a box gives it back to
// the control that had it, and Tab moves on from there.
TEST_F(TaskManager, TheFocusStaysWhereTheKeyboardUserLeftIt) {
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(1)); // the click focused the list
    auto focusIs = [&](intptr_t button) {
        return FocusOf(session.mainThreadId()) == session.button(button);
    };
    ASSERT_TRUE(session.TapKeyAndWait(VK_TAB));
    ASSERT_TRUE(focusIs(BTN_PAUSE));
    ASSERT_TRUE(session.TapKeyAndWait(VK_SPACE));
    ASSERT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
    EXPECT_TRUE(focusIs(BTN_RESUME)); // enabled by the same command
    ASSERT_TRUE(session.TapKeyAndWait(VK_SPACE));
    ASSERT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(focusIs(BTN_KILL));
    ASSERT_TRUE(session.TapKeyAndWait(VK_SPACE));
    HWND box = session.WaitMessageBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(session.AnswerMessageBoxWithKey(box, 'N'));
    EXPECT_TRUE(focusIs(BTN_KILL));
    ASSERT_TRUE(session.TapKeyAndWait(VK_TAB));
    EXPECT_TRUE(focusIs(BTN_LIST));
}

TEST_F(TaskManager, PauseHoldsAProcessThatKeepsStartingThreads) {
    // 16 chains of threads that each count for 50 ms, start their successor and
    // end: a few hundred new threads a second. (Shorter lives make the pause take
    // many walks on a busy machine, since under Wine a thread snapshot can take
    // longer than a thread lives; see the pause benchmark.)
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(16, 50));
    const LONG started = child.ThreadsStarted();
    ASSERT_TRUE(WaitUntil([&] { return child.ThreadsStarted() - started >= 100; }, 1000))
        << "the child does not start hundreds of threads a second";
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // Once PAUSE is done no counter may move, and every thread is suspended. (A
        // new thread starts suspended until its creator lets it go, so one whose
        // creator was paused before that shows 2.)
        PauseRow(row);
        EXPECT_TRUE(child.StaysStill(150));
        for (DWORD thread : ThreadIdsOf(child.id()))
            EXPECT_GE(SuspendCountOf(thread), 1) << "thread " << thread;
        // Each thread was suspended once: one RESUME lets every chain count again.
        Select(row);
        ASSERT_TRUE(Press(BTN_RESUME));
        ASSERT_EQ(session.Cell(row, COL_STATUS), "RUN");
        EXPECT_TRUE(child.AllCount());
        Select(row);
    }
}

DWORD WINAPI RunLoadedMain(void*) {
    auto main = reinterpret_cast<int (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kelvor.dll"), "Main")));
    return static_cast<DWORD>(main());
}

TEST_F(TaskManager, ASecondMainWhileOneRunsReturnsAtOnce) {
    // A host with two threads: the second Main must leave the first window alone.
    HANDLE second = CreateThread(nullptr, 0, RunLoadedMain, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(second, 5000), WAIT_OBJECT_0) << "the second Main runs on";
    DWORD result = 1;
    GetExitCodeThread(second, &result);
    CloseHandle(second);
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(session.PressList());
    EXPECT_EQ(session.Close(), 1);

    // Once the first has returned, a new Main works like the first.
    TaskManagerSession again;
    ASSERT_TRUE(again.Start());
    EXPECT_TRUE(again.PressList());
    EXPECT_EQ(again.Close(), 1);
}

// Closes the session's window (unless a close is under way already), answers the
// question about paused processes and returns Main's result.
int CloseAnsweringResume(TaskManagerSession& window, int answer, bool requestClose = true) {
    if (requestClose) window.RequestClose();
    HWND box = window.WaitMessageBox();
    if (!box) return -2;
    EXPECT_EQ(MessageBoxText(box), "Processes paused here are still paused. Resume them?");
    window.AnswerMessageBox(box, answer);
    return window.WaitMainReturn();
}

TEST_F(TaskManager, ClosingAsksToResumeWhatTheWindowPaused) {
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    PauseRow(row);
    EXPECT_EQ(CloseAnsweringResume(session, IDYES), 1);
    EXPECT_TRUE(child.AllCount());
    for (DWORD thread : ThreadIdsOf(child.id()))
        EXPECT_EQ(SuspendCountOf(thread), 0) << "thread " << thread;

    // No leaves it paused.
    TaskManagerSession again;
    ASSERT_TRUE(again.Start());
    ASSERT_TRUE(again.PressList());
    ASSERT_TRUE(again.ClickRow(again.RowOfProcess(child.id())));
    ASSERT_TRUE(again.ClickControl(again.button(BTN_PAUSE)));
    EXPECT_EQ(CloseAnsweringResume(again, IDNO), 1);
    for (DWORD thread : ThreadIdsOf(child.id()))
        EXPECT_EQ(SuspendCountOf(thread), 1) << "thread " << thread;
    // And forgets them: the next window has nothing to ask about.
    TaskManagerSession third;
    ASSERT_TRUE(third.Start());
    EXPECT_EQ(third.Close(), 1);
    EXPECT_TRUE(EveryThreadSuspended(child.id(), 1));
}

TEST_F(TaskManager, ACloseRequestUnderABoxClosesTheWindowOnceTheBoxIsAnswered) {
    // As the system or a script closes a program: WM_CLOSE, here while the KILL
    // question is open, and after it a notification of the list (as when it gets
    // the focus back), which must not make the request go.
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    PauseRow(row);
    ASSERT_TRUE(Press(BTN_KILL));
    HWND box = session.WaitMessageBox();
    ASSERT_NE(box, nullptr);
    PostMessageA(session.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(session.WaitIdle());
    LVITEMA unfocused = {};
    unfocused.stateMask = LVIS_FOCUSED;
    SendMessageA(session.list(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&unfocused));
    ASSERT_TRUE(session.AnswerMessageBox(box, IDNO));
    // The window closes as if the request came now: it asks about what it paused.
    EXPECT_EQ(CloseAnsweringResume(session, IDYES, false), 1);
    EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
}

// Resumes one thread of a process from outside, as another tool or a debugger
// does; true when it did.
bool ResumeOneThread(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId);
    const bool resumed = thread && ResumeThread(thread) != DWORD(-1);
    if (thread) CloseHandle(thread);
    return resumed;
}

TEST_F(TaskManager, SessionEndResumesWhatTheWindowPausedWhereverItsLoopIs) {
    ASSERT_EQ(session.Close(), 1); // each case opens its own window
    ASSERT_TRUE(child.Start(2));
    enum class Box { None, KillQuestion, CloseQuestion };
    // Where the loop is, whether the system asks first, and whether one thread was
    // resumed from outside after PAUSE.
    struct Case {
        const char* name;
        Box box;
        bool asked, oneThreadResumed;
    } cases[] = {
        {"in the loop, asked first", Box::None, true, true},
        {"under the KILL question, unasked", Box::KillQuestion, false, false},
        {"under the close question, asked first", Box::CloseQuestion, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TaskManagerSession window;
        ASSERT_TRUE(window.Start());
        ASSERT_TRUE(window.PressList());
        ASSERT_TRUE(window.ClickRow(window.RowOfProcess(child.id())));
        ASSERT_TRUE(window.ClickControl(window.button(BTN_PAUSE)));
        if (c.oneThreadResumed) {
            ASSERT_TRUE(ResumeOneThread(ThreadIdsOf(child.id()).front()));
        }
        if (c.box == Box::KillQuestion) {
            ASSERT_TRUE(window.ClickControl(window.button(BTN_KILL)));
        } else if (c.box == Box::CloseQuestion) {
            window.RequestClose();
        }
        if (c.box != Box::None) {
            ASSERT_NE(window.WaitMessageBox(), nullptr);
        }

        DWORD_PTR answer = 0;
        if (c.asked) {
            ASSERT_TRUE(SendMessageTimeoutA(window.window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL,
                                            10000, &answer));
            EXPECT_EQ(answer, DWORD_PTR(TRUE));
            EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
        }
        // The system may end the process once this returns: all is resumed by then.
        ASSERT_TRUE(SendMessageTimeoutA(window.window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000,
                                        &answer));
        EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
        EXPECT_TRUE(child.AllCount());
        // Any box goes unanswered, no question follows, and Main returns.
        EXPECT_EQ(window.WaitMainReturn(), 1);
    }
}

TEST_F(TaskManager, AProcessPausedHereStaysPausedWhileAnyThreadIsHeld) {
    // Beside it, a process that nobody here paused, one of whose threads another
    // tool holds: it runs.
    CountingChild other;
    ASSERT_TRUE(other.Start(2));
    HANDLE held = OpenThread(THREAD_SUSPEND_RESUME, FALSE, ThreadIdsOf(other.id()).front());
    ASSERT_NE(SuspendThread(held), DWORD(-1));
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    PauseRow(row);
    ASSERT_TRUE(ResumeOneThread(ThreadIdsOf(child.id()).front()));

    ASSERT_TRUE(session.PressList());
    EXPECT_EQ(session.Cell(session.RowOfProcess(other.id()), COL_STATUS), "RUN");
    row = session.RowOfProcess(child.id());
    EXPECT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
    Select(row);
    ASSERT_TRUE(Press(BTN_RESUME));
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
    ResumeThread(held);
    CloseHandle(held);
}

TEST_F(TaskManager, PausesUndoneElsewhereTogetherAreAllLetGoAtList) {
    CountingChild children[2];
    for (CountingChild& paused : children) {
        ASSERT_TRUE(paused.Start(1));
        ASSERT_GE(ListAndSelect(paused.id()), 0);
        ASSERT_TRUE(Press(BTN_PAUSE));
    }
    for (CountingChild& paused : children)
        ASSERT_TRUE(SuspendEveryThread(paused.id(), false));
    ASSERT_TRUE(session.PressList());
    // No handle of the window keeps their threads: once they end, neither id opens.
    for (CountingChild& paused : children)
        EXPECT_TRUE(paused.process().Forget());
    // And the close asks about nothing (TearDown).
}

// A pause is one act on its process, by either way of pausing: while it still
// holds a thread, the close (Yes) and the session's end lower every thread that it
// suspended by one, never below 0; once it no longer holds (undone from outside, or
// its process has ended), the window lets it go when it sees that, and a later pause
// by someone else is not taken for it. Each case: the child's threads, a hold of the
// program's own on the last one (HELD_THREAD) or ended threads of its own, steps
// before and after PAUSE ("sN"/"rN" another tool suspends or resumes thread N,
// "P"/"R" every thread, "L" LIST, "E" the child ends), whether the close asks, and
// each thread's count afterwards (GONE: the thread has ended).
class PauseAsOneAct : public ::testing::TestWithParam<Way> {
  protected:
    void SetUp() override {
        if (GetParam() == Way::SnapshotWalks) {
            module.emplace();
            UseSnapshotWalks();
        }
    }
    void TearDown() override { module.reset(); }
    std::optional<ModuleScope> module; // for the linked Main that walks snapshots
};

constexpr int GONE = -1;

// One step of a case on the child and the window; false when it could not be taken.
bool TakeStep(const char*& step, CountingChild& child, const std::vector<DWORD>& threads,
              TaskManagerSession& window) {
    switch (*step++) {
    case 's':
    case 'r': {
        const bool suspend = step[-1] == 's';
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threads.at(*step++ - '0'));
        const bool done =
            thread && (suspend ? SuspendThread(thread) : ResumeThread(thread)) != DWORD(-1);
        if (thread) CloseHandle(thread);
        return done;
    }
    case 'P': return SuspendEveryThread(child.id(), true);
    case 'R': return SuspendEveryThread(child.id(), false);
    case 'L': return window.PressList();
    case 'E': child.process().End(); return true;
    default: return false;
    }
}

TEST_P(PauseAsOneAct, UndoneWholeWhileItHoldsAndLetGoOnceItNoLongerDoes) {
    using C = CountingChild;
    struct Case {
        const char* name;
        unsigned extras;
        const char *before, *after;
        bool asks;
        std::vector<int> counts;
    } cases[] = {
        {"own hold, resumed elsewhere", C::HELD_THREAD, "", "R", false, {0, 0, 1}},
        {"a tool's hold let go", C::NONE, "s2", "r2", true, {0, 0, 0}},
        {"one thread resumed elsewhere", C::NONE, "", "r0", true, {0, 0, 0}},
        {"resumed, seen, paused elsewhere", C::NONE, "", "RLP", false, {1, 1, 1}},
        {"a tool's pause before", C::NONE, "P", "", true, {1, 1, 1}},
        {"own hold let go until it ends", C::HELD_THREAD, "", "r2r2", true, {0, 0, GONE}},
        {"ended threads, resumed elsewhere", C::ENDED_THREADS, "", "R", false, {0, 0, 0}},
        {"the process ends, seen by LIST", C::NONE, "", "EL", false, {}},
    };
    for (const Case& c : cases) {
        for (const bool sessionEnds : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (sessionEnds ? ", the session ends" : ", closed"));
            CountingChild child;
            ASSERT_TRUE(child.Start(c.extras & C::HELD_THREAD ? 1 : 2, 0, c.extras));
            std::vector<DWORD> threads = ThreadIdsOf(child.id());
            ASSERT_EQ(threads.size(), 3u);
            // The held thread last.
            std::stable_partition(threads.begin(), threads.end(),
                                  [](DWORD thread) { return SuspendCountOf(thread) == 0; });
            TaskManagerSession window;
            ASSERT_TRUE(module ? window.StartLinked(Main) : window.Start());
            ASSERT_TRUE(window.PressList());
            ASSERT_TRUE(window.ClickRow(window.RowOfProcess(child.id())));
            // After LIST, so that the row still shows "RUN" and PAUSE is offered.
            for (const char* step = c.before; *step;)
                ASSERT_TRUE(TakeStep(step, child, threads, window)) << step;
            ASSERT_TRUE(window.ClickControl(window.button(BTN_PAUSE)));
            ASSERT_EQ(window.Cell(window.RowOfProcess(child.id()), COL_STATUS), "PAUSE");
            for (const char* step = c.after; *step;)
                ASSERT_TRUE(TakeStep(step, child, threads, window)) << step;
            if (c.counts.empty()) {
                // No row, and no handle of the window keeps the ended process any more.
                EXPECT_EQ(window.RowOfProcess(child.id()), -1);
                EXPECT_TRUE(child.process().Forget());
            }
            DWORD_PTR answer = 0;
            if (sessionEnds) {
                ASSERT_TRUE(SendMessageTimeoutA(window.window(), WM_ENDSESSION, TRUE, 0,
                                                SMTO_NORMAL, 10000, &answer));
                EXPECT_EQ(window.WaitMainReturn(), 1);
            } else {
                EXPECT_EQ(c.asks ? CloseAnsweringResume(window, IDYES) : window.Close(), 1);
            }
            for (size_t i = 0; i < c.counts.size(); ++i) {
                const std::vector<DWORD> now = ThreadIdsOf(child.id());
                if (c.counts[i] == GONE) {
                    EXPECT_EQ(std::count(now.begin(), now.end(), threads[i]), 0) << "thread " << i;
                } else {
                    EXPECT_EQ(SuspendCountOf(threads[i]), c.counts[i]) << "thread " << i;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, PauseAsOneAct, ::testing::Values(Way::ProcessWide, Way::SnapshotWalks),
                         WayName);

// Every process's creation time one tick later: as if the id of each row had
// passed to a process started since the LIST.
BOOL WINAPI LaterCreationTime(HANDLE process, FILETIME* created, FILETIME* exited, FILETIME* kernel,
                              FILETIME* user) {
    const BOOL read = GetProcessTimes(process, created, exited, kernel, user);
    ++created->dwLowDateTime;
    return read;
}

// The child that the fakes below end once the command has done its work, as a
// program that exits the moment it is resumed, seen by a window thread slowed on
// purpose right after; null once it has been ended.
HANDLE EndingChild = nullptr;
void EndTheEndingChild() {
    if (!EndingChild) return;
    TerminateProcess(EndingChild, 0);
    WaitForSingleObject(EndingChild, 5000);
    EndingChild = nullptr;
}
NtResumeProcessFn RealNtResumeProcess;
LONG WINAPI ResumingThenEnding(HANDLE process) {
    const LONG status = RealNtResumeProcess(process);
    EndTheEndingChild();
    return status;
}
Thread32NextFn RealThread32Next;
BOOL WINAPI WalkingThenEnding(HANDLE snapshot, THREADENTRY32* entry) {
    const BOOL more = RealThread32Next(snapshot, entry);
    if (!more) EndTheEndingChild();
    return more;
}
NtGetNextThreadFn RealNtGetNextThread;
LONG WINAPI LookingThenEnding(HANDLE process, HANDLE thread, ACCESS_MASK access, ULONG attributes,
                              ULONG flags, HANDLE* next) {
    const LONG status = RealNtGetNextThread(process, thread, access, attributes, flags, next);
    if (status == STATUS_NO_MORE_ENTRIES) EndTheEndingChild();
    return status;
}

// A command on a row whose process has ended, by either way of pausing: the row
// then shows "KILL", with no command left to offer, after the command's error box
// where the command could not be done (none at the session's question, where the
// system waits for the answer, nor where the process ended only once the command had
// worked). Each case: whether the row was paused here first, what happens to the
// process ('E' it ends, the test still holding it; 'F' it ends and its id names no
// process; 'N' its id names a newer process; 'X' it ends as the command finishes),
// the command (0: the session's question) and its box.
class CommandsOnAnEndedProcess : public ::testing::TestWithParam<Way> {
  protected:
    void SetUp() override {
        if (GetParam() == Way::SnapshotWalks) UseSnapshotWalks();
        ASSERT_TRUE(session.StartLinked(Main));
    }
    void TearDown() override { EXPECT_EQ(session.Close(), 1); }
    ModuleScope module;
    TaskManagerSession session;
};

TEST_P(CommandsOnAnEndedProcess, TheRowShowsKillAfterTheError) {
    const bool walks = GetParam() == Way::SnapshotWalks;
    const char* pauseError = "ERROR: can not pause process!";
    const char* resumeError = "ERROR: can not resume process!";
    const char* killError = "ERROR: can not kill process!";
    struct Case {
        const char* name;
        bool paused;
        char fate;
        intptr_t command;
        const char* box;
    } cases[] = {
        {"RESUME, ended", true, 'E', BTN_RESUME, resumeError},
        {"KILL of a paused row, ended", true, 'E', BTN_KILL, killError},
        {"PAUSE, its id names no process", false, 'F', BTN_PAUSE, pauseError},
        {"KILL, its id names no process", false, 'F', BTN_KILL, killError},
        {"PAUSE, its id names a newer process", false, 'N', BTN_PAUSE, pauseError},
        {"KILL, its id names a newer process", false, 'N', BTN_KILL, killError},
        {"RESUME, it exits as it is resumed", true, 'X', BTN_RESUME, nullptr},
        {"PAUSE, it ends once the pause is confirmed", false, 'X', BTN_PAUSE, nullptr},
        {"the session's question, ended", true, 'E', 0, nullptr},
    };
    for (const Case& c : cases) {
        // The walks confirm a pause with a walk like the first: no fake tells them apart.
        if (walks && c.fate == 'X' && c.command == BTN_PAUSE) continue;
        SCOPED_TRACE(c.name);
        CountingChild child;
        ASSERT_TRUE(child.Start(1));
        ASSERT_TRUE(session.PressList());
        const int row = session.RowOfProcess(child.id());
        ASSERT_GE(row, 0);
        ASSERT_TRUE(session.ClickRow(row));
        if (c.paused) {
            ASSERT_TRUE(session.ClickControl(session.button(BTN_PAUSE)));
            ASSERT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
        }
        SavedProcessApi saved;
        if (c.fate == 'E') child.process().End();
        if (c.fate == 'F') {
            ASSERT_TRUE(child.process().Forget());
        }
        if (c.fate == 'N') ProcessApi.getProcessTimes = LaterCreationTime;
        if (c.fate == 'X') {
            EndingChild = child.process().handle();
            RealNtResumeProcess = saved.saved().ntResumeProcess;
            RealThread32Next = saved.saved().thread32Next;
            RealNtGetNextThread = saved.saved().ntGetNextThread;
            if (c.command == BTN_PAUSE) {
                ProcessApi.ntGetNextThread = LookingThenEnding;
            } else if (walks) {
                ProcessApi.thread32Next = WalkingThenEnding;
            } else {
                ProcessApi.ntResumeProcess = ResumingThenEnding;
            }
        }
        if (c.command == 0) {
            DWORD_PTR answer = 0;
            ASSERT_TRUE(SendMessageTimeoutA(session.window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL,
                                            10000, &answer));
            EXPECT_EQ(answer, DWORD_PTR(TRUE));
        } else {
            ASSERT_TRUE(session.ClickControl(session.button(c.command)));
        }
        // KILL asks nothing about a process that has ended: the box is its error.
        HWND box = session.WaitMessageBox(c.box ? 10000 : 300);
        if (c.box) {
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), c.box);
            ASSERT_TRUE(session.AnswerMessageBox(box, IDOK));
        } else {
            EXPECT_EQ(box, nullptr);
        }
        EXPECT_EQ(EndingChild, nullptr) << "the command did not get as far as its fake";
        EXPECT_EQ(session.Cell(row, COL_STATUS), "KILL");
        ASSERT_TRUE(session.WaitIdle());
        for (intptr_t button : {BTN_PAUSE, BTN_RESUME, BTN_KILL})
            EXPECT_FALSE(session.IsEnabled(button)) << "button " << button;
        if (c.fate == 'N') {
            EXPECT_TRUE(child.AllCount());
            EXPECT_EQ(child.process().ExitCode(), DWORD(STILL_ACTIVE));
        }
        // The window let go of the threads that the pause kept, which kept the process.
        if (c.paused) {
            EXPECT_TRUE(child.process().Forget());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, CommandsOnAnEndedProcess,
                         ::testing::Values(Way::ProcessWide, Way::SnapshotWalks), WayName);

TEST(TaskManagerHost, AHostThatEndsUnderTheWindowResumesWhatItPaused) {
    // The second child grants only limited access: it is paused thread by thread.
    for (unsigned extras : {0u, unsigned(CountingChild::LIMITED_ACCESS)}) {
        SCOPED_TRACE(extras ? "limited access" : "full access");
        CountingChild child;
        ASSERT_TRUE(child.Start(2, 0, extras));
        // The host pauses the child from its window, then ends from its main thread.
        ChildProcess host;
        ASSERT_TRUE(host.Start("exiting_host.exe", std::to_string(child.id()).c_str()));
        ASSERT_TRUE(host.WaitForExit(60000));
        ASSERT_EQ(host.ExitCode(), 0u) << "the host did not pause the child";
        EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
        EXPECT_TRUE(child.AllCount());
    }
}

// The window with the Main linked into this program, whose binding table takes
// the scripted OpenThread.
class TaskManagerWithFakes : public TaskManager {
  protected:
    void SetUp() override {
        module.emplace();
        ProcessApi.openThread = ScriptedOpenThread;
        ASSERT_TRUE(session.StartLinked(Main));
    }
    void TearDown() override {
        TaskManager::TearDown();
        module.reset();
    }
    std::optional<ModuleScope> module;
};

TEST_F(TaskManagerWithFakes, PauseThatCannotStopEveryThreadIsReportedAndUndone) {
    UseSnapshotWalks();
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(4));
    const std::vector<DWORD> threads = ThreadIdsOf(child.id());
    ASSERT_GT(threads.size(), 1u);
    struct Case {
        const char* name;
        size_t firstRefused; // threads from this index on refuse to open
    } cases[] = {{"no thread opens", 0}, {"the last thread refuses", threads.size() - 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenThreadFailures.clear();
        for (size_t i = c.firstRefused; i < threads.size(); ++i)
            OpenThreadFailures[threads[i]] = {ERROR_ACCESS_DENIED, -1};
        GrantedThreadOpens = 0;
        Select(row);
        ExpectErrorBox(BTN_PAUSE, "ERROR: can not pause process!");
        EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
        // Whatever the pause suspended before the refusal it has resumed again.
        EXPECT_EQ(GrantedThreadOpens > 0, c.firstRefused > 0);
        for (DWORD thread : threads)
            EXPECT_EQ(SuspendCountOf(thread), 0) << "thread " << thread;
        EXPECT_TRUE(child.AllCount());
    }
}

TEST_F(TaskManagerWithFakes, AThreadIdThatPassedToAnotherProcessIsLeftAlone) {
    // Threads go by their ids only where the process-wide calls are missing.
    UseSnapshotWalks();
    CountingChild other;
    ASSERT_TRUE(other.Start(1));
    ASSERT_TRUE(SuspendEveryThread(other.id(), true));
    ASSERT_TRUE(child.Start(2));
    const std::vector<DWORD> threads = ThreadIdsOf(child.id()), foreign = ThreadIdsOf(other.id());
    ASSERT_FALSE(threads.empty());
    ASSERT_FALSE(foreign.empty());
    // As if each of its threads had ended after LIST's snapshot and its id gone to a
    // suspended thread of the other process: LIST does not take those for its own.
    OpenThreadFailures.clear();
    OpenThreadRedirects.clear();
    for (DWORD thread : threads)
        OpenThreadRedirects[thread] = {foreign.front(), 1};
    row = ListAndSelect(child.id());
    ASSERT_GE(row, 0);
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    ASSERT_TRUE(SuspendEveryThread(other.id(), false));

    // The first open of one of its threads by PAUSE gets the other child's thread.
    OpenThreadRedirects.clear();
    OpenThreadRedirects[threads.back()] = {foreign.front(), 1};
    PauseRow(row);
    for (DWORD thread : foreign)
        EXPECT_EQ(SuspendCountOf(thread), 0) << "the other process's thread " << thread;
    EXPECT_TRUE(other.AllCount());
    for (DWORD thread : threads)
        EXPECT_EQ(SuspendCountOf(thread), 1) << "thread " << thread;
    OpenThreadRedirects.clear();
    ASSERT_TRUE(Press(BTN_RESUME));
}

// Reads of threads' suspend counts, by thread id, through the binding table's slot.
std::map<DWORD, int> CountReads;
NtQueryInformationThreadFn RealCountRead;
LONG WINAPI CountingCountReads(HANDLE thread, ULONG infoClass, void* info, ULONG size,
                               ULONG* returned) {
    if (infoClass == THREAD_SUSPEND_COUNT_CLASS) ++CountReads[GetThreadId(thread)];
    return RealCountRead(thread, infoClass, info, size, returned);
}

TEST_F(TaskManagerWithFakes, ListReadsEachPausedThreadsCountOnce) {
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(3));
    PauseRow(row);
    {
        SavedProcessApi saved;
        RealCountRead = saved.saved().ntQueryInformationThread;
        ProcessApi.ntQueryInformationThread = CountingCountReads;
        CountReads.clear();
        ASSERT_TRUE(session.PressList());
        row = session.RowOfProcess(child.id());
        EXPECT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
        for (DWORD thread : ThreadIdsOf(child.id()))
            EXPECT_LE(CountReads[thread], 1) << "thread " << thread;
    }
    Select(row);
    ASSERT_TRUE(Press(BTN_RESUME));
}

TEST_F(TaskManagerWithFakes, WhereCountsCannotBeReadARowShowsWhatTheWindowDid) {
    ProcessApi.ntQueryInformationThread = nullptr; // as before Windows 8.1
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    PauseRow(row);
    ASSERT_TRUE(session.PressList());
    row = session.RowOfProcess(child.id());
    EXPECT_EQ(session.Cell(row, COL_STATUS), "PAUSE");
    Select(row);
    ASSERT_TRUE(Press(BTN_RESUME));
    EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
    EXPECT_TRUE(child.AllCount());
}

// The process that the fakes below report as critical, as the system reports its own.
DWORD CriticalProcessId = 0;
BOOL WINAPI CriticalByQuestion(HANDLE process, BOOL* critical) {
    *critical = GetProcessId(process) == CriticalProcessId;
    return TRUE;
}
LONG WINAPI CriticalByBreakOnTermination(HANDLE process, ULONG infoClass, void* info, ULONG size,
                                         ULONG*) {
    if (infoClass != BREAK_ON_TERMINATION_CLASS || size != sizeof(ULONG)) return LONG(0xC0000003);
    *static_cast<ULONG*>(info) = GetProcessId(process) == CriticalProcessId;
    return 0;
}

TEST_F(TaskManagerWithFakes, AProcessTheSystemMarksCriticalIsNeitherPausedNorKilled) {
    ASSERT_NO_FATAL_FAILURE(SelectCountingChild(2));
    CriticalProcessId = child.id();
    struct Way {
        const char* name;
        void (*mark)();
    } ways[] = {
        {"IsProcessCritical", [] { ProcessApi.isProcessCritical = CriticalByQuestion; }},
        {"break on termination",
         [] {
             ProcessApi.isProcessCritical = nullptr;
             ProcessApi.ntQueryInformationProcess = CriticalByBreakOnTermination;
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        SavedProcessApi saved;
        way.mark();
        ExpectErrorBox(BTN_PAUSE, "ERROR: can not pause process!");
        ExpectErrorBox(BTN_KILL, "ERROR: can not kill process!"); // no question first
        EXPECT_EQ(session.Cell(row, COL_STATUS), "RUN");
        EXPECT_TRUE(EveryThreadSuspended(child.id(), 0));
        EXPECT_TRUE(child.AllCount());
        EXPECT_EQ(child.process().ExitCode(), DWORD(STILL_ACTIVE));
    }
}

// Real input made while LIST runs, from inside its enumeration (the old rows
// removed, the list not yet repainted), once: clicks on a row and on PAUSE, and keys
// (with Alt, if asked). The enumeration goes on once the input waits in the queue.
struct ListInput {
    std::vector<POINT> clicks;
    std::vector<WORD> keys;
    bool alt;
};
std::optional<ListInput> InputDuringList;
NtQuerySystemInformationFn RealProcessList;
int ListsRun = 0;
LONG WINAPI InputWhileListing(ULONG infoClass, void* info, ULONG size, ULONG* returned) {
    ++ListsRun;
    if (const std::optional<ListInput> input = std::exchange(InputDuringList, std::nullopt)) {
        for (POINT point : input->clicks)
            ClickAt(point);
        for (WORD key : input->keys)
            TapKey(key, false, input->alt);
        MSG queued;
        const UINT last = input->keys.empty() ? WM_LBUTTONUP : input->alt ? WM_SYSKEYUP : WM_KEYUP;
        WaitUntil([&] { return PeekMessageA(&queued, nullptr, last, last, PM_NOREMOVE); });
    }
    return RealProcessList(infoClass, info, size, returned);
}

// Main beside a window of the host's own on the same thread: an edit box, as a
// host's document window might be.
HWND HostEdit = nullptr;
int MainBesideAHostEdit() {
    HostEdit = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 400, 300, 100,
                               nullptr, nullptr, nullptr, nullptr);
    const int result = Main();
    DestroyWindow(HostEdit);
    return result;
}

// The old rows stay on screen while LIST rebuilds them: the clicks and keys aimed at
// the window meanwhile are dropped, while the system keys and what the user typed
// into the host's own window are kept.
TEST_F(TaskManagerWithFakes, InputMadeWhileListRunsIsDroppedOnlyWhereItWasAimed) {
    ASSERT_EQ(session.Close(), 1); // each case opens its own window beside the host's
    enum Kept { Nothing, TheClose, TheTyping };
    struct Case {
        const char* name;
        bool clicks;
        std::vector<WORD> keys;
        bool alt;
        Kept kept;
    } cases[] = {
        {"a click on a row and on PAUSE", true, {}, false, Nothing},
        {"Space on LIST, Tab and Down", false, {VK_SPACE, VK_TAB, VK_DOWN}, false, Nothing},
        {"Alt+F4", false, {VK_F4}, true, TheClose},
        {"typed into the host's window", false, {'A', 'B'}, false, TheTyping},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Three children listed in a row; the first ends before the next LIST, so
        // that the row which showed the second shows the third after it.
        ChildProcess above, shown, below;
        ASSERT_TRUE(above.Start("idle_child.exe"));
        ASSERT_TRUE(shown.Start("idle_child.exe"));
        ASSERT_TRUE(below.Start("idle_child.exe"));
        TaskManagerSession window;
        ASSERT_TRUE(window.StartLinked(MainBesideAHostEdit));
        ASSERT_TRUE(window.Activate());
        ASSERT_TRUE(window.PressList());
        row = window.RowOfProcess(shown.id());
        ASSERT_EQ(window.RowOfProcess(below.id()), row + 1);
        ASSERT_TRUE(above.Forget());
        ListsRun = 0;
        InputDuringList = ListInput{{}, c.keys, c.alt};
        if (c.clicks) {
            InputDuringList->clicks = {window.RowPoint(row),
                                       ClientCenterOnScreen(window.button(BTN_PAUSE))};
        }
        RealProcessList = ProcessApi.ntQuerySystemInformation;
        ProcessApi.ntQuerySystemInformation = InputWhileListing;
        if (c.kept == TheTyping) {
            ASSERT_TRUE(BringToFront(HostEdit));
            // As a click whose command is still on its way when the user turns away.
            PostMessageA(window.window(), WM_COMMAND, MAKEWPARAM(BTN_LIST, BN_CLICKED),
                         reinterpret_cast<LPARAM>(window.button(BTN_LIST)));
            EXPECT_TRUE(WaitUntil([&] { return ListsRun > 0; }) &&
                        window.WaitIdle(ListTimeoutMs()));
        } else {
            EXPECT_TRUE(window.ClickControl(window.button(BTN_LIST), ListTimeoutMs()));
        }
        ProcessApi.ntQuerySystemInformation = RealProcessList;
        if (c.kept == TheClose) {
            EXPECT_EQ(window.WaitMainReturn(), 1) << "the window did not close";
            continue;
        }
        // Input is taken after posted messages: a key pressed now is taken only once
        // what came before it has been handled, or dropped.
        ASSERT_TRUE(window.TapKeyAndWait(VK_SHIFT));
        EXPECT_EQ(ListsRun, 1);
        if (c.kept == TheTyping) {
            EXPECT_EQ(WindowText(HostEdit), "ab");
        } else {
            EXPECT_EQ(window.RowOfProcess(below.id()), row);
            for (int r = 0; r < window.RowCount(); ++r)
                EXPECT_FALSE(window.IsSelected(r)) << "row " << r;
            for (intptr_t b : {BTN_PAUSE, BTN_RESUME, BTN_KILL})
                EXPECT_FALSE(window.IsEnabled(b));
            EXPECT_EQ(FocusOf(window.mainThreadId()), window.button(BTN_LIST));
            EXPECT_EQ(window.WaitMessageBox(0), nullptr);
            EXPECT_TRUE(EveryThreadSuspended(shown.id(), 0));
            EXPECT_TRUE(EveryThreadSuspended(below.id(), 0));
        }
        EXPECT_EQ(window.Close(), 1);
    }
}

// Main run by a host that has a modeless dialog of its own open on the same thread;
// whether that dialog was still shown when Main returned.
HWND HostDialog = nullptr;
bool HostDialogShownAfterMain = false;
INT_PTR CALLBACK HostDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
int MainBesideAHostDialog() {
    struct alignas(4) {
        DLGTEMPLATE head;
        WORD menu, windowClass, title;
    } dialog = {};
    dialog.head.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    dialog.head.cx = 100;
    dialog.head.cy = 40;
    HostDialog = CreateDialogIndirectParamA(nullptr, &dialog.head, nullptr, HostDialogProc, 0);
    const int result = Main();
    HostDialogShownAfterMain = IsWindowVisible(HostDialog) != FALSE;
    DestroyWindow(HostDialog);
    return result;
}

TEST_F(TaskManagerWithFakes, TheSessionsEndLeavesTheHostsOwnDialogsAlone) {
    ASSERT_EQ(session.Close(), 1);
    TaskManagerSession window;
    ASSERT_TRUE(window.StartLinked(MainBesideAHostDialog));
    ASSERT_NE(HostDialog, nullptr);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(
        SendMessageTimeoutA(window.window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer));
    EXPECT_EQ(window.WaitMainReturn(), 1);
    EXPECT_TRUE(HostDialogShownAfterMain);
}

BOOL WINAPI OnlyIdZero(DWORD* ids, DWORD, DWORD* written) {
    ids[0] = 0;
    *written = sizeof(DWORD);
    return TRUE;
}

TEST_F(TaskManagerWithFakes, ARowWithoutAnIdentityIsRefusedAtOnce) {
    CountingChild other;
    ASSERT_TRUE(other.Start(1));
    SavedProcessApi saved;
    // No creation time can be read for id 0 (EnumProcesses', the list's way lacking).
    ProcessApi.ntQuerySystemInformation = nullptr;
    ProcessApi.enumProcesses = OnlyIdZero;
    ASSERT_TRUE(session.PressList());
    // Its Handle cell now names a live process, as a reused id would.
    session.SetCell(0, COL_HANDLE, std::to_string(other.id()));
    Select(0);
    EXPECT_EQ(Buttons(), "101");
    ExpectErrorBox(BTN_PAUSE, "ERROR: can not pause process!");
    ExpectErrorBox(BTN_KILL, "ERROR: can not kill process!"); // no question first
    EXPECT_EQ(session.Cell(0, COL_STATUS), "RUN");
    EXPECT_EQ(other.process().ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_TRUE(other.AllCount());
}

} // namespace

TEST(TaskManagerStart, MainRefusesToRunWithoutStartUp) {
    // The module in this program was never started: no heaps, no tables.
    EXPECT_EQ(Main(), 0);
}

namespace {

// A window procedure that refuses to create its window.
LRESULT CALLBACK RefuseCreation(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return FALSE;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// At or above 2 GiB, and on a 64-bit build above 4 GiB.
constexpr bool WIDE_SIZES = sizeof(SIZE_T) == 8;
constexpr unsigned long long HUGE_WORKING_SET = WIDE_SIZES ? 6000000000ull : 3000000000ull;

// The ids that ListedIds gives as the running processes.
std::vector<DWORD> ListedIdsGiven;
BOOL WINAPI ListedIds(DWORD* ids, DWORD bytes, DWORD* written) {
    const size_t count = std::min<size_t>(ListedIdsGiven.size(), bytes / sizeof(DWORD));
    std::copy_n(ListedIdsGiven.begin(), count, ids);
    *written = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}
// LIST takes its ids from ListedIds, by the way of a system without the process list.
void UseListedIds() {
    ProcessApi.ntQuerySystemInformation = nullptr;
    ProcessApi.enumProcesses = ListedIds;
}

// The real process snapshot, counted.
int ProcessSnapshots = 0;
HANDLE WINAPI CountedSnapshot(DWORD flags, DWORD processId) {
    if (flags & TH32CS_SNAPPROCESS) ++ProcessSnapshots;
    return CreateToolhelp32Snapshot(flags, processId);
}

BOOL WINAPI HugeWorkingSet(HANDLE, PROCESS_MEMORY_COUNTERS* counters, DWORD) {
    counters->WorkingSetSize = static_cast<SIZE_T>(HUGE_WORKING_SET);
    return TRUE;
}
// The most the counters hold, as the system gives a larger figure to a 32-bit caller.
BOOL WINAPI CappedWorkingSet(HANDLE, PROCESS_MEMORY_COUNTERS* counters, DWORD) {
    counters->WorkingSetSize = static_cast<SIZE_T>(-1);
    return TRUE;
}
// The 64-bit counters that 64-bit Windows gives a 32-bit process, for a 64-bit
// process with 5.2 GB in its working set.
LONG WINAPI WideCounters(HANDLE, ULONG infoClass, void* info, ULONG size, ULONG*) {
    if (infoClass != VM_COUNTERS_CLASS || size != sizeof(VmCounters64)) return LONG(0xC0000003);
    static_cast<VmCounters64*>(info)->workingSetSize = 5200000000ull;
    return 0;
}

} // namespace

TEST(TaskManagerStart, MainReturnsAtOnceWhenItsWindowCannotBeBuilt) {
    ModuleScope module;
    // The main window's class name is taken by a class whose windows cannot be created.
    WNDCLASSA refusing = {};
    refusing.lpfnWndProc = RefuseCreation;
    refusing.hInstance = GetModuleHandleA(nullptr);
    refusing.lpszClassName = "WindowClass_0";
    ASSERT_TRUE(RegisterClassA(&refusing));
    EXPECT_EQ(Main(), 0);
    EXPECT_EQ(AppWindowHandle(WIN_MAIN), nullptr);
    // Later tests in this process build the main window under that class name.
    EXPECT_TRUE(UnregisterClassA(refusing.lpszClassName, refusing.hInstance));
}

TEST(TaskManagerList, MemoryOfTwoGibibytesOrMoreIsShownWhole) {
    ModuleScope module;
    SavedProcessApi saved;
    ListedIdsGiven = {GetCurrentProcessId()};
    UseListedIds();
    BuildMainWindow();
    struct Case {
        const char* name;
        GetProcessMemoryInfoFn counters;
        NtWow64QueryInformationProcess64Fn wideCounters;
        std::string shown;
    } cases[] = {
        {"unsigned", HugeWorkingSet, nullptr, WIDE_SIZES ? "6000000000" : "3000000000"},
        {"the 64-bit counters", CappedWorkingSet, WideCounters, "5200000000"},
        {"capped", CappedWorkingSet, nullptr, std::to_string(SIZE_T(-1)) + "+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessApi.getProcessMemoryInfo = c.counters;
        ProcessApi.ntWow64QueryInformationProcess64 = c.wideCounters;
        ListProcesses();
        ASSERT_EQ(CountRows(LIST_PROCESSES), 1);
        EXPECT_EQ(std::string(GetCellText(LIST_PROCESSES, 0, COL_MEMORY)), c.shown);
    }
    char id[16];
    wsprintfA(id, "%ld", static_cast<long>(GetCurrentProcessId()));
    EXPECT_STREQ(GetCellText(LIST_PROCESSES, 0, COL_HANDLE), id);
    EXPECT_STREQ(GetCellText(LIST_PROCESSES, 0, COL_STATUS), "RUN");
    CloseAppWindow(WIN_MAIN);
}

TEST(TaskManagerList, ProcessesThatEndedSinceTheSnapshotGetNoRow) {
    ModuleScope module;
    SavedProcessApi saved;
    // One that has ended but that a handle here keeps, and one gone for good.
    ChildProcess ended, gone;
    ASSERT_TRUE(ended.Start("idle_child.exe"));
    ended.End();
    ASSERT_TRUE(gone.Start("idle_child.exe"));
    ASSERT_TRUE(gone.Forget());
    ListedIdsGiven = {ended.id(), GetCurrentProcessId(), gone.id()};
    UseListedIds();
    BuildMainWindow();
    ListProcesses();
    ASSERT_EQ(CountRows(LIST_PROCESSES), 1);
    EXPECT_EQ(atol(GetCellText(LIST_PROCESSES, 0, COL_HANDLE)), long(GetCurrentProcessId()));
    CloseAppWindow(WIN_MAIN);
}

TEST(TaskManagerList, FileColumnGivesUpTheScrollBarsWidthOnlyWhileItShows) {
    ModuleScope module;
    SavedProcessApi saved;
    UseListedIds();
    BuildMainWindow();
    HWND list = ControlHandle(LIST_PROCESSES);
    RECT client;
    ListedIdsGiven.assign(300, GetCurrentProcessId());
    ListProcesses();
    ASSERT_EQ(CountRows(LIST_PROCESSES), 300);
    ASSERT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(ColumnWidths(list),
              (std::vector<int>{120, 80, 150 - GetSystemMetrics(SM_CXVSCROLL), 80, 50}));
    GetClientRect(list, &client);
    EXPECT_LE(ColumnsRight(list), client.right) << "the Status column is covered";

    // Few rows again: the columns are as the window opened with them.
    ListedIdsGiven.assign(3, GetCurrentProcessId());
    ListProcesses();
    ASSERT_EQ(CountRows(LIST_PROCESSES), 3);
    EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(ColumnWidths(list), (std::vector<int>{120, 80, 150, 80, 50}));
    CloseAppWindow(WIN_MAIN);
}

TEST(TaskManagerList, ProcessesThatNothingElseNamesAreNamedByTheListOrToolHelpOnce) {
    ModuleScope module;
    // The system's list names every process; without it, tool-help's process list
    // names those that nothing else does, taken once per LIST.
    for (const bool withList : {true, false}) {
        SCOPED_TRACE(withList ? "the system's list" : "EnumProcesses");
        SavedProcessApi saved;
        if (!withList) ProcessApi.ntQuerySystemInformation = nullptr;
        // Neither psapi nor the image path names anything, as for the system's own processes.
        ProcessApi.getModuleBaseNameA = nullptr;
        ProcessApi.getModuleFileNameExA = nullptr;
        ProcessApi.queryFullProcessImageNameA = nullptr;
        ProcessApi.createToolhelp32Snapshot = CountedSnapshot;
        ProcessSnapshots = 0;
        BuildMainWindow();
        std::map<DWORD, std::string> before = RunningProcesses();
        ListProcesses();
        std::map<DWORD, std::string> after = RunningProcesses();

        int named = 0;
        for (intptr_t r = 0, n = CountRows(LIST_PROCESSES); r < n; ++r) {
            const DWORD id = static_cast<DWORD>(atol(GetCellText(LIST_PROCESSES, r, COL_HANDLE)));
            if (!before.count(id) || !after.count(id)) continue; // started or ended meanwhile
            SCOPED_TRACE(before[id]);
            EXPECT_EQ(std::string(GetCellText(LIST_PROCESSES, r, COL_NAME)), before[id]);
            EXPECT_STREQ(GetCellText(LIST_PROCESSES, r, COL_FILE), "");
            ++named;
        }
        EXPECT_GT(named, 3);
        EXPECT_EQ(ProcessSnapshots, withList ? 0 : 1) << "process snapshots in one LIST";
        CloseAppWindow(WIN_MAIN);
    }
}
