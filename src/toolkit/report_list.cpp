#include "toolkit/report_list.h"

#include <commctrl.h>

#include "runtime/growing_array.h"
#include "runtime/module_state.h"
#include "runtime/scratch.h"
#include "runtime/text.h"
#include "toolkit/controls.h"

// The shared image lists must outlive every list that shows them.
constexpr DWORD LIST_BASE_STYLE =
    WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS;
constexpr DWORD LIST_WINDOW_EX_STYLE = WS_EX_CLIENTEDGE;

// Flags that select an extended list style, and the style each selects.
static const struct {
    uint32_t flag;
    DWORD extendedStyle;
} ExtendedStyleFlags[] = {
    {LIST_CHECKBOXES, LVS_EX_CHECKBOXES},
    {LIST_GRIDLINES, LVS_EX_GRIDLINES},
    {LIST_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP},
    {LIST_FULLROWSELECT, LVS_EX_FULLROWSELECT},
};

// Shared by every report list; cleared and filled at each CreateListView.
static ControlOps ListOps;

// The shared image resources, made on first use and kept for the life of the process.
static HIMAGELIST LargeImageList = nullptr;
static HIMAGELIST SmallImageList = nullptr;
static HBITMAP SmallMask = nullptr; // 16 by 16, all black
static HBITMAP LargeMask = nullptr; // 32 by 32, all black
// Set once index 0 of both lists holds the transparent placeholder.
static bool PlaceholderAdded = false;

struct ImageCacheEntry {
    HANDLE image;
    int index; // -1 when the image could not be added
};
// Images already in the shared lists.
static GrowingArray<ImageCacheEntry, 20> ImageCache;

void ResetListImageCache() {
    ImageCache = {};
}

// ---- Row texts -------------------------------------------------------------

// A private, writable copy of a row text, cut at its first line feed into the
// first cell and the rest. The caller's text is never written.
class RowText {
  public:
    explicit RowText(const char* text) {
        if (!text) return;
        const size_t size = TextLength(text) + 1;
        copy_ = MainHeap ? static_cast<char*>(HeapAlloc(MainHeap, 0, size)) : nullptr;
        if (!copy_) return;
        CopyText(copy_, size, text);
        first_ = copy_;
        if (char* feed = FindCharacter(copy_, '\n')) {
            *feed = '\0';
            rest_ = feed + 1;
        }
    }
    ~RowText() {
        if (copy_) HeapFree(MainHeap, 0, copy_);
    }
    RowText(const RowText&) = delete;
    RowText& operator=(const RowText&) = delete;

    bool copied() const { return copy_ != nullptr; }
    char* first() { return first_; }
    char* rest() { return rest_; }

  private:
    char* copy_ = nullptr;
    char* first_ = const_cast<char*>("");
    char* rest_ = nullptr;
};

// Writes the lines of rest to cells 1, 2, ... of the row. An empty line gives an
// empty cell; a final line feed adds none.
static void SplitCells(HWND hwnd, intptr_t row, char* rest) {
    if (!rest) return;
    LVITEMA item = {};
    for (int column = 1; *rest; ++column) {
        char* feed = FindCharacter(rest, '\n');
        if (feed) *feed = '\0';
        item.iSubItem = column;
        item.pszText = rest;
        SendMessageA(hwnd, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        rest = feed ? feed + 1 : rest + TextLength(rest);
    }
}

static intptr_t FirstSelectedRow(HWND hwnd) {
    return SendMessageA(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
}

// Reads one cell at the scratch buffer's free end, at most limit bytes with the
// terminator and never past the buffer's end. An empty text when the read fails.
static intptr_t ReadCell(HWND hwnd, intptr_t row, intptr_t column, size_t limit) {
    const size_t room = ScratchRoom(limit);
    if (room == 0) return reinterpret_cast<intptr_t>(ScratchEmptyText());
    char* start = ScratchFreeEnd;
    // A control that answers without writing must not leave an old text behind.
    *start = '\0';
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.iSubItem = static_cast<int>(column);
    item.pszText = start;
    item.cchTextMax = static_cast<int>(room);
    if (!SendMessageA(hwnd, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return reinterpret_cast<intptr_t>(ScratchEmptyText());
    }
    // The control may answer with a text of its own instead of filling the buffer.
    if (item.pszText && item.pszText != start) {
        return reinterpret_cast<intptr_t>(ScratchPutText(item.pszText, room));
    }
    if (!item.pszText) return reinterpret_cast<intptr_t>(ScratchEmptyText());
    start[room - 1] = '\0';
    return reinterpret_cast<intptr_t>(ScratchCommitText());
}

// ---- Slot operations -------------------------------------------------------

static intptr_t GetListState(HWND hwnd) {
    return FirstSelectedRow(hwnd);
}

static intptr_t SetListState(HWND hwnd, intptr_t row) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (row >= 0) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    } else if (row == -1) {
        // Walks on from each cleared row, so a row whose parent refuses the change
        // cannot hold the loop.
        intptr_t selected = -1;
        while ((selected = SendMessageA(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(selected),
                                        LVNI_SELECTED)) >= 0) {
            item.state = 0;
            SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(selected),
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    return 0;
}

static intptr_t GetListText(HWND hwnd) {
    const intptr_t row = FirstSelectedRow(hwnd);
    if (row < 0) return reinterpret_cast<intptr_t>(ScratchEmptyText());
    return ReadCell(hwnd, row, 0, ROW_TEXT_LIMIT);
}

static intptr_t SetListText(HWND hwnd, const char* text) {
    const intptr_t row = FirstSelectedRow(hwnd);
    if (row < 0) return 0;
    RowText rowText(text ? text : "");
    // Without a copy nothing is written rather than blanking the row.
    if (!rowText.copied()) return 0;
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.pszText = rowText.first();
    SendMessageA(hwnd, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SplitCells(hwnd, row, rowText.rest());
    return 0;
}

static intptr_t AddListItemWithImage(HWND hwnd, intptr_t position, const char* text, HANDLE image) {
    if (position == -1) position = SendMessageA(hwnd, LVM_GETITEMCOUNT, 0, 0);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    if (image) {
        const int index = ImageIndexFor(image);
        if (index >= 0) {
            if (!SendMessageA(hwnd, LVM_GETIMAGELIST, LVSIL_NORMAL, 0)) {
                SendMessageA(hwnd, LVM_SETIMAGELIST, LVSIL_NORMAL,
                             reinterpret_cast<LPARAM>(LargeImageList));
            }
            if (!SendMessageA(hwnd, LVM_GETIMAGELIST, LVSIL_SMALL, 0)) {
                SendMessageA(hwnd, LVM_SETIMAGELIST, LVSIL_SMALL,
                             reinterpret_cast<LPARAM>(SmallImageList));
            }
            item.mask |= LVIF_IMAGE;
            item.iImage = index;
        }
    }
    // Without a copy the row gets an empty first cell and no further cells.
    RowText rowText(text);
    item.iItem = static_cast<int>(position);
    item.pszText = rowText.first();
    const intptr_t row = SendMessageA(hwnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    // The control says where the row went: a position past the end appends.
    if (row >= 0) SplitCells(hwnd, row, rowText.rest());
    return row;
}

static intptr_t AddListItem(HWND hwnd, intptr_t position, const char* text) {
    return AddListItemWithImage(hwnd, position, text, nullptr);
}

static intptr_t RemoveListItem(HWND hwnd, intptr_t row) {
    return SendMessageA(hwnd, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

static intptr_t ClearListItems(HWND hwnd) {
    return SendMessageA(hwnd, LVM_DELETEALLITEMS, 0, 0);
}

static intptr_t CountListItems(HWND hwnd) {
    return SendMessageA(hwnd, LVM_GETITEMCOUNT, 0, 0);
}

// Bit 0: selected; bit 1: checked, which any state image other than 1 (the
// unchecked box) counts as in a list with check boxes.
static intptr_t GetListItemState(HWND hwnd, intptr_t row) {
    intptr_t value = 0;
    if (SendMessageA(hwnd, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED)) value = 1;
    if (SendMessageA(hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES) {
        const LRESULT image =
            (SendMessageA(hwnd, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) &
             LVIS_STATEIMAGEMASK) >>
            12;
        if (image != 1) value |= 2;
    }
    return value;
}

static intptr_t SetListItemState(HWND hwnd, intptr_t row, intptr_t state) {
    LVITEMA item = {};
    item.mask = LVIF_STATE;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = (state & 1) ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK((state & 2) ? 2 : 1);
    return SendMessageA(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
}

static intptr_t GetListItemText(HWND hwnd, intptr_t row, intptr_t column) {
    return ReadCell(hwnd, row, column, CELL_TEXT_LIMIT);
}

static intptr_t SetListItemText(HWND hwnd, intptr_t row, const char* text, intptr_t column) {
    if (!text) text = "";
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.iSubItem = static_cast<int>(column);
    item.pszText = const_cast<char*>(text);
    item.cchTextMax = static_cast<int>(TextLength(text));
    return SendMessageA(hwnd, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

static intptr_t AddListColumnAt(HWND hwnd, intptr_t position, const char* title, intptr_t width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = static_cast<int>(width);
    column.pszText = const_cast<char*>(title ? title : "");
    column.iSubItem = static_cast<int>(position);
    return SendMessageA(hwnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(position),
                        reinterpret_cast<LPARAM>(&column));
}

static intptr_t RemoveListColumn(HWND hwnd, intptr_t column) {
    return SendMessageA(hwnd, LVM_DELETECOLUMN, static_cast<WPARAM>(column), 0);
}

static void FillListOps() {
    ListOps = ControlOps{};
    ListOps.GetState = GetListState;
    ListOps.SetState = SetListState;
    ListOps.GetText = GetListText;
    ListOps.SetText = SetListText;
    ListOps.AddItem = AddListItem;
    ListOps.AddItemWithImage = AddListItemWithImage;
    ListOps.RemoveItem = RemoveListItem;
    ListOps.ClearItems = ClearListItems;
    ListOps.CountItems = CountListItems;
    ListOps.GetItemState = GetListItemState;
    ListOps.SetItemState = SetListItemState;
    ListOps.GetItemText = GetListItemText;
    ListOps.SetItemText = SetListItemText;
    ListOps.AddColumn = AddListColumnAt;
    ListOps.RemoveColumn = RemoveListColumn;
}

// ---- Creation --------------------------------------------------------------

intptr_t CreateListView(intptr_t number, int x, int y, int width, int height, const char* title,
                        int columnWidth, uint32_t flags) {
    DWORD style = flags | LIST_BASE_STYLE;
    if (flags & LIST_MULTISELECT) {
        style &= ~static_cast<DWORD>(LVS_SINGLESEL);
    } else {
        style |= LVS_SINGLESEL;
    }
    DWORD extendedStyle = 0;
    for (const auto& entry : ExtendedStyleFlags) {
        // A loop over a flag table reads plainer than std::accumulate with a lambda.
        // cppcheck-suppress useStlAlgorithm
        if (flags & entry.flag) extendedStyle |= entry.extendedStyle;
    }

    NextControl = ControlCreation{WC_LISTVIEWA, "", x, y, width, height, &ListOps};
    ControlRecord* record = nullptr;
    HWND hwnd = CreateChildWindow(number, style, LIST_WINDOW_EX_STYLE, record);
    if (!hwnd) return 0;
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultControlFont), 1);
    if (extendedStyle) {
        SendMessageA(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, extendedStyle, extendedStyle);
    }
    FillListOps();
    record->hwnd = hwnd;
    record->ops = &ListOps;
    AddListColumnAt(hwnd, 0, title, columnWidth);
    SubclassControl(record);
    return number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record)
                                 : reinterpret_cast<intptr_t>(hwnd);
}

void SetListRedraw(intptr_t control, bool on) {
    HWND hwnd = ControlHandle(control);
    if (!hwnd) return;
    SendMessageA(hwnd, WM_SETREDRAW, on, 0);
    if (on) {
        // Rows added while held were never painted: repaint the whole list once.
        RedrawWindow(hwnd, nullptr, nullptr,
                     RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
}

void FitColumnBesideScrollBar(intptr_t control, intptr_t column, int width) {
    HWND hwnd = ControlHandle(control);
    if (!hwnd) return;
    if (GetWindowLongA(hwnd, GWL_STYLE) & WS_VSCROLL) width -= GetSystemMetrics(SM_CXVSCROLL);
    if (width < 0) width = 0;
    // Only a change is sent: setting the same width still repaints the header.
    if (SendMessageA(hwnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0) == width) return;
    SendMessageA(hwnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0));
}

// ---- Shared images ---------------------------------------------------------

// Makes the two all-black mask bitmaps; leaves them missing when the screen
// cannot be opened, to be tried again on the next call.
static void MakeMasks() {
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!screen) return;
    HDC memory = CreateCompatibleDC(screen);
    if (memory) {
        HBITMAP* masks[] = {&SmallMask, &LargeMask};
        const int sizes[] = {16, 32};
        for (int i = 0; i < 2; ++i) {
            if (*masks[i]) continue;
            HBITMAP mask = CreateCompatibleBitmap(screen, sizes[i], sizes[i]);
            if (!mask) continue;
            HGDIOBJ previous = SelectObject(memory, mask);
            RECT all = {0, 0, sizes[i], sizes[i]};
            FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            SelectObject(memory, previous);
            *masks[i] = mask;
        }
        DeleteDC(memory);
    }
    DeleteDC(screen);
}

// Adds the image to both lists; the small list's index, -1 on failure.
static int AddToImageLists(HANDLE image) {
    if (GetObjectType(image) == OBJ_BITMAP) {
        // The all-black masks make the bitmap fully opaque.
        ImageList_Add(LargeImageList, static_cast<HBITMAP>(image), LargeMask);
        return ImageList_Add(SmallImageList, static_cast<HBITMAP>(image), SmallMask);
    }
    ImageList_ReplaceIcon(LargeImageList, -1, static_cast<HICON>(image));
    return ImageList_ReplaceIcon(SmallImageList, -1, static_cast<HICON>(image));
}

int ImageIndexFor(HANDLE image) {
    if (!image) return -1;
    if (!SmallMask || !LargeMask) MakeMasks();
    if (!SmallMask || !LargeMask) return -1;
    if (!LargeImageList) {
        LargeImageList = ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                          ILC_COLOR32 | ILC_MASK, 1, 1);
    }
    if (!SmallImageList) {
        SmallImageList =
            ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                             ILC_COLOR32 | ILC_MASK, 1, 1);
    }
    if (!LargeImageList || !SmallImageList) return -1;
    if (!PlaceholderAdded) {
        // Index 0 of both lists is fully transparent: real images start at 1.
        ImageList_AddMasked(LargeImageList, LargeMask, RGB(0, 0, 0));
        ImageList_AddMasked(SmallImageList, SmallMask, RGB(0, 0, 0));
        PlaceholderAdded = true;
    }

    ImageCacheEntry* entry = nullptr;
    for (intptr_t i = 0; i < ImageCache.count; ++i) {
        if (ImageCache.entries[i].image == image) {
            if (ImageCache.entries[i].index != -1) return ImageCache.entries[i].index;
            // An image that failed before is tried again in its own entry.
            entry = &ImageCache.entries[i];
            break;
        }
    }
    const int index = AddToImageLists(image);
    if (entry) {
        entry->index = index;
    } else {
        Append(ImageCache, {image, index});
    }
    return index;
}
