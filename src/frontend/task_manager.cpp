#include "frontend/task_manager.h"

#include <windows.h>

#include "lifecycle/module.h"
#include "process/actions.h"
#include "process/enumeration.h"
#include "process/holding.h"
#include "process/paused_processes.h"
#include "process/run_state.h"
#include "runtime/scratch.h"
#include "runtime/text.h"
#include "toolkit/app_window.h"
#include "toolkit/controls.h"
#include "toolkit/event_pump.h"
#include "toolkit/focus.h"
#include "toolkit/message_box.h"
#include "toolkit/report_list.h"

// The commands that fit a row's status: their buttons are the enabled ones.
struct FittingCommands {
    bool pause, resume, kill;
};

// What a row shows for its process's state, and the commands that fit it. A row
// whose status cell holds no word of this table fits no command.
struct StatusWord {
    RunState state;
    const char* word;
    FittingCommands fits;
};
constexpr StatusWord STATUS_WORDS[] = {
    {RunState::Running, "RUN", {true, false, true}},
    {RunState::Paused, "PAUSE", {false, true, true}},
    {RunState::Ended, "KILL", {false, false, false}},
};

// Longer than any status word, so a cut copy of a longer text never equals one.
constexpr size_t STATUS_TEXT_SIZE = 16;

constexpr size_t STATUS_WORD_COUNT = sizeof STATUS_WORDS / sizeof STATUS_WORDS[0];

static const char* WordOf(RunState state) {
    for (size_t i = 0; i < STATUS_WORD_COUNT; ++i) {
        if (STATUS_WORDS[i].state == state) return STATUS_WORDS[i].word;
    }
    return "";
}

// The identity of each row's process as LIST found it, in row order. Rows change
// only in LIST, which rewrites this table; a row past its end has no identity.
static IdentityTable RowIdentities;

// The loop's view of the selection, refreshed at every control event.
struct Selection {
    intptr_t row;                  // -1 when no row is selected
    char status[STATUS_TEXT_SIZE]; // the row's status cell, empty when none
};

// The lowest-index selected row and its status word.
static Selection ScanSelection() {
    Selection selection = {};
    selection.row = -1;
    for (intptr_t row = CountRows(LIST_PROCESSES) - 1; row >= 0; --row) {
        if (GetRowState(LIST_PROCESSES, row) == 0) continue;
        ScratchMark mark;
        selection.row = row;
        CopyText(selection.status, sizeof selection.status,
                 GetCellText(LIST_PROCESSES, row, COL_STATUS));
    }
    return selection;
}

static void EnableButton(intptr_t button, bool enabled) {
    DisableControl(button, enabled ? 0 : 1);
}

static void DisableCommandButtons() {
    EnableButton(BTN_PAUSE, false);
    EnableButton(BTN_RESUME, false);
    EnableButton(BTN_KILL, false);
}

static FittingCommands CommandsFor(const Selection& selection) {
    for (size_t i = 0; selection.row >= 0 && i < STATUS_WORD_COUNT; ++i) {
        if (TextEquals(selection.status, STATUS_WORDS[i].word)) return STATUS_WORDS[i].fits;
    }
    return {false, false, false};
}

static void UpdateButtons(const Selection& selection) {
    const FittingCommands fits = CommandsFor(selection);
    // Enabling first: a focused button that is disabled passes the focus on to the
    // next enabled control, which after PAUSE is RESUME.
    for (int pass = 0; pass < 2; ++pass) {
        const bool enabling = pass == 0;
        if (fits.pause == enabling) EnableButton(BTN_PAUSE, enabling);
        if (fits.resume == enabling) EnableButton(BTN_RESUME, enabling);
        if (fits.kill == enabling) EnableButton(BTN_KILL, enabling);
    }
}

// Set when the session's end is confirmed: no question is asked after it.
static bool SessionEnding;

// Shows text in a box titled with the main window's caption; returns the answer,
// or 0 at once once the session ends.
static int32_t AskUser(const char* text, UINT flags) {
    if (SessionEnding) return 0;
    ScratchMark mark;
    // The caption is the first text written since the mark, so it starts there.
    GetWindowCaption(WIN_MAIN);
    ScratchKeepText();
    return ShowMessage(mark.start(), text, flags);
}

// The id in the row's Handle cell: the id that the commands act on.
static uint32_t RowProcessId(intptr_t row) {
    ScratchMark mark;
    return static_cast<uint32_t>(ParseDecimal(GetCellText(LIST_PROCESSES, row, COL_HANDLE)));
}

// A row's process, held open for one command with the access the command needs, so
// that its id cannot pass to a new process while it is acted on; let go when the
// command is done. Held only while the row has an identity (LIST could read its
// creation time: not for id 0 or a process that cannot be opened even for limited
// query), its Handle cell still shows that identity's id, and the id still names
// the same process (the same creation time), which has not ended. A row that fails
// any of these is never acted on: its id alone may name any process by now.
class RowProcess {
  public:
    RowProcess(intptr_t row, DWORD access) {
        const ProcessIdentity* listed = EntryAt(RowIdentities, row);
        if (!listed || listed->created == 0) return;
        identity_ = *listed;
        if (identity_.id == RowProcessId(row)) process_ = HoldProcess(identity_, access, &ended_);
    }
    ~RowProcess() { ReleaseProcess(process_); }
    RowProcess(const RowProcess&) = delete;
    RowProcess& operator=(const RowProcess&) = delete;
    bool held() const { return process_ != nullptr; }
    HANDLE process() const { return process_; }
    const ProcessIdentity& identity() const { return identity_; }
    // True when the process that the row was listed for has ended: found so when it
    // was to be held, or asked now of the held handle (after a command failed).
    bool HasEnded() const { return ended_ || (process_ && HasProcessEnded(process_)); }

  private:
    ProcessIdentity identity_ = {0, 0};
    HANDLE process_ = nullptr;
    bool ended_ = false; // HoldProcess found the process ended
};

static void ShowWord(intptr_t row, RunState state) {
    SetCellText(LIST_PROCESSES, row, WordOf(state), COL_STATUS);
}

// Shows the state of the held process in the row's status cell.
static void ShowRowState(intptr_t row, const RowProcess& held) {
    ShowWord(row, ReadRunState(held.process(), held.identity().id, IsPausedHere(held.identity())));
}

// A command refused for a row's process, or failed on it: the error box, then, where
// the process has ended, the row shows so, with no command left to offer. A refusal
// may be the first sight that a process has ended, or that a pause was undone from
// outside: such pauses go, with the handles that keep them.
static void RefuseRow(intptr_t row, const RowProcess& held, const char* error) {
    const bool ended = held.HasEnded();
    LetGoOfLapsedPauses();
    AskUser(error, MB_OK);
    if (ended) ShowWord(row, RunState::Ended);
}

// Pause and resume: the row's process held (which asks first whether it has ended),
// the operation carried out on it (which brings the note of what this window paused
// up to date) and the state after it shown, "KILL" if the process has ended since;
// the error box when the process cannot be held or the operation fails.
static void ChangeRowState(intptr_t row, bool (*operation)(HANDLE, const ProcessIdentity&),
                           const char* error) {
    RowProcess held(row, SUSPEND_ACCESS);
    if (!held.held() || !operation(held.process(), held.identity())) {
        RefuseRow(row, held, error);
        return;
    }
    ShowRowState(row, held);
}

// PAUSE: what the pause did is noted, so that the close, the session's end and the
// library's unloading undo it.
static void PauseRow(intptr_t row) {
    ChangeRowState(row, PauseAndNote, "ERROR: can not pause process!");
}

// RESUME: lowers each thread's suspend count by one, whoever raised it: a process
// paused twice elsewhere still shows "PAUSE" after it.
static void ResumeRow(intptr_t row) {
    ChangeRowState(row, ResumeAndLetGo, "ERROR: can not resume process!");
}

// KILL: asks first, with No as the default answer (Enter pressed by habit must not
// end a process), and terminates the process held since before the question. A row
// whose process cannot be held (it has ended, or its id names another process now)
// or that KILL must not end (it hosts this window, or its end would stop the system)
// is refused before any question: one Yes must not lose every program's work.
static void KillRow(intptr_t row) {
    constexpr const char* error = "ERROR: can not kill process!";
    RowProcess held(row, KILL_ACCESS);
    if (!held.held() || !MayKill(held.process(), held.identity().id)) {
        RefuseRow(row, held, error);
        return;
    }
    ScratchMark mark;
    const char* name = GetCellText(LIST_PROCESSES, row, COL_NAME);
    ScratchKeepText();
    const char* question = ScratchJoinText("KILL:", name);
    ScratchKeepText();
    if (AskUser(question, MB_YESNO | MB_DEFBUTTON2) != IDYES) return;
    if (!KillProcess(held.process(), 0)) {
        RefuseRow(row, held, error);
        return;
    }
    LetGoOfPause(held.identity());
    ShowWord(row, RunState::Ended);
}

void ListProcesses() {
    RowIdentities.count = 0;
    // A pause undone from outside, or whose process has ended (it gets no row), goes
    // with the handles that keep it, before the rows' states are read.
    LetGoOfLapsedPauses();
    // Repainting is held for the whole command: a visible list view otherwise
    // repaints (and updates its scroll bar) on every row and cell.
    SetListRedraw(LIST_PROCESSES, false);
    for (intptr_t row = CountRows(LIST_PROCESSES) - 1; row >= 0; --row) {
        RemoveRow(LIST_PROCESSES, row);
    }
    if (SnapshotProcessIds() != 0) {
        char number[DECIMAL_TEXT_SIZE];
        while (NextProcessEntry() != 0) {
            const RunState state = EntryRunState();
            // One that has ended since the snapshot no longer runs: it gets no row.
            if (state == RunState::Ended) continue;
            ScratchMark mark;
            const uint32_t id = EntryProcessId();
            intptr_t row = CountRows(LIST_PROCESSES);
            AddRow(LIST_PROCESSES, row, EntryProcessName());
            FormatSigned(static_cast<int32_t>(id), number);
            SetCellText(LIST_PROCESSES, row, number, COL_HANDLE);
            SetCellText(LIST_PROCESSES, row, EntryProcessPath(), COL_FILE);
            // Unsigned, so that a working set of 2 GiB or more is not shown as negative;
            // a figure that the counters capped says that the real one is larger.
            const size_t digits = FormatUnsigned(EntryWorkingSet(), number);
            if (EntryWorkingSetCapped()) CopyText(number + digits, sizeof number - digits, "+");
            SetCellText(LIST_PROCESSES, row, number, COL_MEMORY);
            // Read with the texts above, on the same handle, before them. Rows and
            // identities stay in step: once one cannot be kept, the rows after it
            // have none either.
            if (RowIdentities.count == row) Append(RowIdentities, {id, EntryCreationTime()});
            ShowWord(row, state);
        }
    }
    SetListRedraw(LIST_PROCESSES, true);
    // With more rows than the list shows, the scroll bar would cover the Status column.
    FitColumnBesideScrollBar(LIST_PROCESSES, COL_FILE, FILE_COLUMN_WIDTH);
}

// Carries out the command of a control on the selected row. A command that does
// not fit the row's status does nothing: a second PAUSE of a row already paused
// (a double click) must not suspend its threads twice, nor a second RESUME wake
// threads that the process suspended itself, nor a second KILL ask again.
static void RunCommand(intptr_t control, const Selection& selection) {
    if (control == BTN_LIST) {
        ListProcesses();
        // The old rows stayed on screen while LIST rebuilt them: a click or key made
        // meanwhile was aimed at a row that is no longer where the user saw it.
        DiscardQueuedInput(AppWindowHandle(WIN_MAIN));
        return;
    }
    const FittingCommands fits = CommandsFor(selection);
    switch (control) {
    case BTN_PAUSE:
        if (fits.pause) PauseRow(selection.row);
        break;
    case BTN_RESUME:
        if (fits.resume) ResumeRow(selection.row);
        break;
    case BTN_KILL:
        if (fits.kill) KillRow(selection.row);
        break;
    default: break;
    }
}

static void HandleControlEvent(intptr_t control) {
    const Selection before = ScanSelection();
    UpdateButtons(before);
    RunCommand(control, before);
    // The command may have changed the row's status (or, LIST, every row): the
    // buttons follow at once, not only from the next control event.
    if (control != LIST_PROCESSES) UpdateButtons(ScanSelection());
}

// Before the window closes: a process paused from it would otherwise stay frozen
// for good, since no later window knows it was paused. Asks whether to resume
// them; Yes undoes each pause that still holds a thread, No leaves them (and they
// are not resumed later, when the library is unloaded).
static void OfferToResumePaused() {
    // Only what is still paused is asked about.
    LetGoOfLapsedPauses();
    if (AnyPauseNoted() &&
        AskUser("Processes paused here are still paused. Resume them?", MB_YESNO) == IDYES &&
        !ResumePausedProcesses()) {
        AskUser("ERROR: can not resume process!", MB_OK);
    }
    LetGoOfAllPauses();
}

// The session ends: a frozen program could neither answer the system nor save
// its work, and there is no time for questions. Resumes what this window paused,
// without asking, and shows the paused rows' state, in case the end is called off
// ("KILL" where the process has ended, with no box: the system waits for the
// answer). Once the end is confirmed, any open box is ended unanswered and no
// question follows; the loop then ends and Main returns.
static void EndForSession(bool confirmed) {
    ResumePausedProcesses();
    LetGoOfAllPauses();
    if (confirmed) {
        SessionEnding = true;
        EndMessageBoxes();
        return;
    }
    for (intptr_t row = 0, rows = CountRows(LIST_PROCESSES); row < rows; ++row) {
        ScratchMark mark;
        if (!TextEquals(GetCellText(LIST_PROCESSES, row, COL_STATUS), WordOf(RunState::Paused))) {
            continue;
        }
        RowProcess held(row, SUSPEND_ACCESS);
        if (held.held()) {
            ShowRowState(row, held);
        } else if (held.HasEnded()) {
            ShowWord(row, RunState::Ended);
        }
    }
    UpdateButtons(ScanSelection());
}

// Nonzero while a Main runs: the window, its tables and the event state are the
// module's own, so a second Main at the same time (a host with two threads)
// would share them with the first.
static volatile LONG MainRunning = 0;

static int RunTaskManager() {
    // No close request of an earlier window may end this one.
    ResetEventState();
    SessionEnding = false;
    BuildMainWindow();
    // Without its window the loop could never see the close event.
    if (!AppWindowHandle(WIN_MAIN)) return 0;
    DisableCommandButtons();
    // The window was activated before its controls existed: the focus goes to the
    // first enabled one (the list) as when the window gets it back.
    FocusFirstControl(AppWindowHandle(WIN_MAIN));
    SessionEndHandler = EndForSession;

    int32_t event = 0;
    while (event != EV_CLOSE && event != EV_ENDSESSION) {
        event = WaitEvent();
        if (event == EV_CONTROL) HandleControlEvent(EventControl());
    }
    // The session may end while the question is open: the handler stays until then.
    if (event == EV_CLOSE) OfferToResumePaused();
    SessionEndHandler = nullptr;
    CloseAppWindow(WIN_MAIN);
    FreeArray(RowIdentities);
    return 1;
}

extern "C" int Main() {
    if (!ModuleReady()) return 0;
    if (InterlockedCompareExchange(&MainRunning, 1, 0) != 0) return 0;
    const int result = RunTaskManager();
    InterlockedExchange(&MainRunning, 0);
    return result;
}
