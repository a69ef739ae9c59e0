#include "toolkit/sizing.h"

#include <algorithm>
#include <iterator>

#include "toolkit/messages.h"

// Edge codes (the system's WMSZ values); 0 while a keyboard sizing has not chosen one.
constexpr int EDGE_NONE = 0;

constexpr int IDC_SIZENWSE_ID = 32642;
constexpr int IDC_SIZENESW_ID = 32643;
constexpr int IDC_SIZEWE_ID = 32644;
constexpr int IDC_SIZENS_ID = 32645;
constexpr int IDC_SIZEALL_ID = 32646;

// Pixels an arrow key moves an edge once one is chosen.
constexpr int ARROW_STEP = 10;
// The cursor sits this far inside a right or bottom edge (and a top-left corner).
constexpr int EDGE_INSET = 2;

// One sizing at a time: the mouse capture keeps its messages on one window.
struct SizingStateRecord {
    bool active;
    HWND window; // the window being sized, which holds the capture
    int edge;
    MINMAXINFO limits;
    RECT start;   // screen coordinates
    RECT current; // screen coordinates
    POINT savedCursor;
    bool restoreCursor;
};
static SizingStateRecord SizingState;

static void SetSizingCursor(int cursorId) {
    SetCursor(static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(cursorId), IMAGE_CURSOR, 0,
                                              0, LR_DEFAULTSIZE | LR_SHARED)));
}

static bool DragsLeft(int edge) {
    return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
}
static bool DragsRight(int edge) {
    return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
}
static bool DragsTop(int edge) {
    return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
}
static bool DragsBottom(int edge) {
    return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
}

// The new place of a dragged side: the span to the fixed side is kept within the
// track limits by moving the dragged side back. sign is +1 when the dragged side
// lies after the fixed one (right, bottom) and -1 when before it (left, top).
static LONG DragSide(LONG position, LONG fixed, int sign, LONG minimum, LONG maximum) {
    const LONG span = sign * (position - fixed);
    if (span < minimum) return fixed + sign * minimum;
    if (span > maximum) return fixed + sign * maximum;
    return position;
}

// Moves the chosen edge (or both sides of a corner) to follow the cursor at (x, y),
// within the window's track limits.
static void TrackSizingPoint(int x, int y) {
    RECT& r = SizingState.current;
    const POINT minimum = SizingState.limits.ptMinTrackSize;
    const POINT maximum = SizingState.limits.ptMaxTrackSize;
    const int edge = SizingState.edge;
    // The cursor sits on a left or top edge, 2 pixels inside a right or bottom
    // edge, and 2 pixels inside both for the top-left corner.
    const int corner = edge == WMSZ_TOPLEFT ? EDGE_INSET : 0;
    if (DragsLeft(edge)) r.left = DragSide(x - corner, r.right, -1, minimum.x, maximum.x);
    if (DragsRight(edge)) r.right = DragSide(x + EDGE_INSET, r.left, +1, minimum.x, maximum.x);
    if (DragsTop(edge)) r.top = DragSide(y - corner, r.bottom, -1, minimum.y, maximum.y);
    if (DragsBottom(edge)) r.bottom = DragSide(y + EDGE_INSET, r.top, +1, minimum.y, maximum.y);
}

void MoveToSizingRect(HWND hwnd, const RECT& rect) {
    RECT r = rect;
    if (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) {
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    }
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

static void PlaceSizingCursor(int cursorId, int x, int y) {
    SetCursorPos(x, y);
    SetSizingCursor(cursorId);
}

// Tells the window the proposed rectangle (it may change it) and moves it there.
static void ApplySizing(HWND hwnd) {
    SendMessageA(hwnd, WM_SIZING, SizingState.edge, reinterpret_cast<LPARAM>(&SizingState.current));
    MoveToSizingRect(hwnd, SizingState.current);
}

// Moves the cursor to (x, y) and the chosen edge with it.
static void StepSizing(HWND hwnd, int x, int y) {
    SetCursorPos(x, y);
    TrackSizingPoint(x, y);
    ApplySizing(hwnd);
}

static void FillLimits(HWND hwnd) {
    MINMAXINFO& limits = SizingState.limits;
    limits.ptReserved = {0, 0};
    limits.ptMaxSize = {GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED)};
    if (GetWindowLongA(hwnd, GWL_STYLE) & WS_BORDER) {
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)};
    } else if (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_WINDOWEDGE) {
        limits.ptMaxPosition = {GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE)};
    } else {
        limits.ptMaxPosition = {0, 0};
    }
    limits.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    limits.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessageA(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
}

static LRESULT StartSizing(HWND hwnd, WPARAM wParam) {
    BOOL fullDrag = FALSE;
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &fullDrag, 0);
    if (!fullDrag) return NOT_HANDLED; // the system sizes with its outline instead

    // Active from here on, so that the messages sent below pass the filter unchanged.
    SizingState.active = true;
    SizingState.window = hwnd;
    SizingState.edge = static_cast<int>(wParam & 0xF);
    GetWindowRect(hwnd, &SizingState.current);
    SizingState.start = SizingState.current;
    FillLimits(hwnd);
    if (GetKeyState(VK_LBUTTON) == 0) SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SetCapture(hwnd);
    PostMessageA(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    if (SizingState.edge == EDGE_NONE) {
        SizingState.restoreCursor = true;
        GetCursorPos(&SizingState.savedCursor);
        SetSizingCursor(IDC_SIZEALL_ID);
    } else {
        SizingState.restoreCursor = false;
    }
    return 0;
}

static void FinishSizing(HWND hwnd) {
    PostMessageA(hwnd, WM_EXITSIZEMOVE, 0, 0);
    SizingState.active = false;
    if (SizingState.restoreCursor)
        SetCursorPos(SizingState.savedCursor.x, SizingState.savedCursor.y);
}

// The arrow keys: the side each one chooses and the way each one steps.
struct ArrowKey {
    WPARAM key;
    int side; // WMSZ_LEFT, WMSZ_RIGHT, WMSZ_TOP or WMSZ_BOTTOM
    int dx, dy;
};
constexpr ArrowKey ARROW_KEYS[] = {{VK_LEFT, WMSZ_LEFT, -1, 0},
                                   {VK_RIGHT, WMSZ_RIGHT, 1, 0},
                                   {VK_UP, WMSZ_TOP, 0, -1},
                                   {VK_DOWN, WMSZ_BOTTOM, 0, 1}};

static bool IsLeftOrRight(int edge) {
    return edge == WMSZ_LEFT || edge == WMSZ_RIGHT;
}

static bool IsSide(int edge) {
    return IsLeftOrRight(edge) || edge == WMSZ_TOP || edge == WMSZ_BOTTOM;
}

// Moves the cursor onto a newly chosen edge or corner (just inside the window on
// its right and bottom sides), keeping the coordinate along a side.
static void PlaceCursorOnEdge(int edge, POINT p) {
    const RECT& cur = SizingState.current;
    const int right = cur.right - EDGE_INSET, bottom = cur.bottom - EDGE_INSET;
    switch (edge) {
    case WMSZ_LEFT: PlaceSizingCursor(IDC_SIZEWE_ID, cur.left, p.y); break;
    case WMSZ_RIGHT: PlaceSizingCursor(IDC_SIZEWE_ID, right, p.y); break;
    case WMSZ_TOP: PlaceSizingCursor(IDC_SIZENS_ID, p.x, cur.top); break;
    case WMSZ_BOTTOM: PlaceSizingCursor(IDC_SIZENS_ID, p.x, bottom); break;
    case WMSZ_TOPLEFT:
        PlaceSizingCursor(IDC_SIZENWSE_ID, cur.left + EDGE_INSET, cur.top + EDGE_INSET);
        break;
    case WMSZ_TOPRIGHT: PlaceSizingCursor(IDC_SIZENESW_ID, right, cur.top); break;
    case WMSZ_BOTTOMLEFT: PlaceSizingCursor(IDC_SIZENESW_ID, cur.left, bottom); break;
    case WMSZ_BOTTOMRIGHT: PlaceSizingCursor(IDC_SIZENWSE_ID, right, bottom); break;
    default: break;
    }
}

// An arrow key: with no edge chosen it chooses its side; on a side across its own
// direction it turns that side into a corner; otherwise it steps the chosen edge.
static void SizeByArrow(HWND hwnd, WPARAM key) {
    const ArrowKey* arrow = std::find_if(std::begin(ARROW_KEYS), std::end(ARROW_KEYS),
                                         [key](const ArrowKey& a) { return a.key == key; });
    if (arrow == std::end(ARROW_KEYS)) return;
    POINT p;
    GetCursorPos(&p);
    int& edge = SizingState.edge;
    if (edge == EDGE_NONE) {
        edge = arrow->side;
    } else if (IsSide(edge) && IsLeftOrRight(edge) != IsLeftOrRight(arrow->side)) {
        // The WMSZ_ codes of a top or bottom side and a left or right one add up
        // to their corner's (WMSZ_TOP + WMSZ_LEFT == WMSZ_TOPLEFT).
        edge += arrow->side;
    } else {
        StepSizing(hwnd, p.x + arrow->dx * ARROW_STEP, p.y + arrow->dy * ARROW_STEP);
        return;
    }
    PlaceCursorOnEdge(edge, p);
}

LRESULT SizingFilter(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!SizingState.active) {
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_SIZE)
            return StartSizing(hwnd, wParam);
        return NOT_HANDLED;
    }
    switch (message) {
    case WM_MOUSEMOVE: {
        SizingState.restoreCursor = false;
        POINT p = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        MapWindowPoints(hwnd, nullptr, &p, 1);
        TrackSizingPoint(p.x, p.y);
        ApplySizing(hwnd);
        return 0;
    }
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_ESCAPE:
            ReleaseCapture(); // finishes, through WM_CAPTURECHANGED
            MoveToSizingRect(hwnd, SizingState.start);
            return 0;
        case VK_RETURN: ReleaseCapture(); return 0;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: SizeByArrow(hwnd, wParam); return NOT_HANDLED;
        default: return NOT_HANDLED;
        }
    case WM_LBUTTONUP: ReleaseCapture(); return 0;
    case WM_CAPTURECHANGED:
        // However the sized window loses the capture (released above, taken by
        // another window, or the window destroyed), the sizing ends with it;
        // otherwise it would stay active and take the mouse moves of whichever
        // toolkit window came next. The window that had the capture before the
        // sizing took it hears of it too, and is no reason to stop.
        if (reinterpret_cast<HWND>(lParam) != SizingState.window) FinishSizing(SizingState.window);
        return NOT_HANDLED;
    case WM_DESTROY:
        // A window destroyed while it holds the capture need not hear that it lost it.
        if (hwnd == SizingState.window) FinishSizing(hwnd);
        return NOT_HANDLED;
    default: return NOT_HANDLED;
    }
}
