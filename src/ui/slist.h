// Scroll lists: the game screen's one list control.
//
// A list shows text entries in one or more columns of equal cells, row after
// row, scrolled by pixels on both axes. Entries live in a GLL in display
// order; the list keeps the selection as an index + 1 (0 = none) beside a
// pointer to the entry, so every insertion and deletion before the selected
// entry moves the index and the same entry stays selected. The owner decides
// what goes in and when; the list only keeps and draws.
#pragma once

#include <cstdint>

struct GLL;
struct GRECT;
struct BITMAP;

enum {
    SLIST_MULTI = 1, // flags: multiple selection
    // SList_AddEntry positions below 0
    SLIST_AFTERNEXT = -1,
    SLIST_AFTERSEL = -2,
    SLIST_START = -3,
    SLIST_END = -4,
    SLIST_SORTED = -5,
    SLIST_SORTEDKEY = -6,
    // SList_ReadDirectory flags
    SLIST_DIRS = 1,
    SLIST_FILES = 2,
};

// Draws one cell instead of the list: the entry's position (-1 for a cell
// without an entry, whose text is null and data 0), the cell's top-left, the
// entry and its selected flag, and the clip rectangle (the list's).
typedef void (*SLIST_DRAWFN)(int position, int x, int y, const char* text, int32_t data1,
                             int32_t data2, int selected, const GRECT* clip);
// Called for each entry that leaves the list, with its text and data.
typedef void (*SLIST_FREEFN)(const char* text, int32_t data1, int32_t data2);

struct SLISTENTRY {
    char* text;
    int32_t data1, data2;
    int selected;
    int width;
};

struct SLIST {
    GLL* entries;
    int lx, ly, rx, ry; // inclusive
    int flags;
    int font, selfont;
    uint8_t bkcolour, selbkcolour;
    int columns, mincolwidth;
    int rowheight;
    int colwidth;
    int selected;          // index + 1, 0 for none
    SLISTENTRY* selentry;
    int scrollx, scrolly;
    SLIST_DRAWFN draw;
    SLIST_FREEFN release;
};

// A new empty list over the rectangle: one column, fonts 0, background 0,
// selected background 5, column width rx - lx. Asserts rowheight > 0 and
// lx <= rx, ly <= ry; out of memory is fatal naming "slist".
SLIST* SList_New(int lx, int ly, int rx, int ry, int flags, int rowheight, SLIST_DRAWFN draw,
                 SLIST_FREEFN release);
// Clears and frees the list; null is nothing to do.
void SList_Delete(SLIST* list);
// Column count (at least 1) and minimum column width; the column width
// becomes max(mincolwidth, (rx - lx + 1) / columns).
void SList_SetColumns(SLIST* list, int columns, int mincolwidth);
// Adds a copy of text with the owner's data at position (an index from 0,
// one past the count or more appending, or an SLIST_ position) and returns
// its index. width is the owner's cell width for lists with a draw callback;
// other entries measure their text in both fonts.
int SList_AddEntry(SLIST* list, int position, const char* text, int32_t data1, int32_t data2,
                   int width);
// Frees every entry (free callback first), no selection, scroll 0, column
// width as SList_SetColumns.
void SList_Clear(SLIST* list);
// Removes the entry at index (free callback first) and re-clamps the view;
// 0 when there is none.
int SList_DeleteEntry(SLIST* list, int index);
// Adds dir's subdirectories (SLIST_DIRS) and other files (SLIST_FILES) in
// sorted position with data 0, "." and ".." skipped. A directory that can't
// be read logs "Unable to read directory [%s]" and gives 0, else 1.
int SList_ReadDirectory(SLIST* list, const char* dir, int flags);
// Moves the view by dx, dy clamped to the scroll limits; 1 when it moved.
int SList_Scroll(SLIST* list, int dx, int dy);
// The entry under screen point (x, y), selected (toggled with toggle); a
// single-selection list keeps no other selected flag. -1 when none.
int SList_ClickAt(SLIST* list, int x, int y, int toggle);
// Clears every flag, then selects the entry at index; 1 when it exists.
int SList_Select(SLIST* list, int index);
// The selected index (-1 for none) and, for the outputs given, its data.
int SList_GetSelected(SLIST* list, const char** text, int32_t* data1, int32_t* data2);
// Replaces the selected entry's text and data (the free callback gets the old
// ones when data1 changes) and measures it again; 0 when none is selected.
int SList_ReplaceSelected(SLIST* list, const char* text, int32_t data1, int32_t data2, int width);
// Hit test only: the index and data of the entry under the point, or -1.
int SList_SelectAt(SLIST* list, int x, int y, const char** text, int32_t* data1, int32_t* data2);
// Draws the visible cells into dst clipped to the list's rectangle.
void SList_DrawTo(SLIST* list, BITMAP* dst);
// SList_DrawTo on the back buffer (nothing before the display exists).
void SList_Draw(SLIST* list);

// Accessors.
int SList_Count(const SLIST* list);
void SList_GetRect(const SLIST* list, int* lx, int* ly, int* rx, int* ry);
void SList_SetFonts(SLIST* list, int font, int selfont);
void SList_SetColours(SLIST* list, uint8_t bkcolour, uint8_t selbkcolour);
// The index of the first entry whose data2 is data2, or -1.
int SList_FindData2(SLIST* list, int32_t data2);
// The selected entry's text, or null.
const char* SList_GetSelectedText(SLIST* list);
// The width of a cell: the minimum column width when set, the column width
// with two or more columns, else the rectangle's width.
int SList_CellWidth(const SLIST* list);
// The scroll limits (each at least 0).
int SList_MaxScrollX(const SLIST* list);
int SList_MaxScrollY(const SLIST* list);
