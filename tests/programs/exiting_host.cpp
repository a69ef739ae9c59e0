// A host that ends under the task manager's open window: it runs kelvor.dll's
// Main on a thread of its own, pauses the process whose id is its second argument
// with real clicks, and then its main thread ends the process while the window is
// still open. (The first argument, the parent's id, is not used.) Exits with 0
// from that ExitProcess; with 2 when the window did not open, 3 when the pause
// failed.
#include <windows.h>
#include <stdlib.h>

#include "frontend/main_window.h"
#include "support/task_manager_session.h"

int main(int argc, char** argv) {
    if (argc < 3) return 1;
    const DWORD target = strtoul(argv[2], nullptr, 10);
    // Never destroyed: the process ends under it.
    auto* session = new TaskManagerSession;
    if (!session->Start() || !session->PressList()) return 2;
    const int row = session->RowOfProcess(target);
    if (row < 0 || !session->ClickRow(row) || !session->ClickControl(session->button(BTN_PAUSE)) ||
        session->Cell(row, COL_STATUS) != "PAUSE") {
        return 3;
    }
    ExitProcess(0);
}
