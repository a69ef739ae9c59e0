// The report list: a list-view control in report view. Rows are read and
// written as row texts, one cell per line (line feed separated).
#pragma once

#include <windows.h>
#include <stdint.h>

// Creation flags.
constexpr uint32_t LIST_CHECKBOXES = 0x1;
constexpr uint32_t LIST_MULTISELECT = 0x4;
constexpr uint32_t LIST_GRIDLINES = 0x10000;
constexpr uint32_t LIST_HEADERDRAGDROP = 0x10000000;
constexpr uint32_t LIST_FULLROWSELECT = 0x40000000;

constexpr size_t CELL_TEXT_LIMIT = 10000;
constexpr size_t ROW_TEXT_LIMIT = 60000;

// Creates the list with its first column; the handle for a number, the identity
// for AUTO_NUMBER, 0 on failure.
intptr_t CreateListView(intptr_t number, int x, int y, int width, int height, const char* title,
                        int columnWidth, uint32_t flags = 0);
// Index of the image in the shared image lists (0 is the transparent placeholder),
// -1 for a null handle or an image that cannot be added.
int ImageIndexFor(HANDLE image);
// Forgets the image cache, whose storage goes with MainHeap; the shared image lists
// themselves stay. Called at shutdown, once MainHeap is destroyed.
void ResetListImageCache();
// Holds (off) or releases (on) the list's repainting; releasing repaints it once.
void SetListRedraw(intptr_t control, bool on);
// Gives the list's vertical scroll bar room out of one column: sets the column to
// width, less the scroll bar's width while the list shows one, so that the columns
// right of it stay in view. Call it once the rows are in and repainting is on.
// Does nothing for a control that is not there.
void FitColumnBesideScrollBar(intptr_t control, intptr_t column, int width);
