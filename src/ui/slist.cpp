#include "ui/slist.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/video.h"

static int Max(int a, int b) { return a > b ? a : b; }

static int RectWidth(const SLIST* list) { return list->rx - list->lx + 1; }
static int RectHeight(const SLIST* list) { return list->ry - list->ly + 1; }

static void ResetColumnWidth(SLIST* list)
{
    list->colwidth = Max(list->mincolwidth, RectWidth(list) / list->columns);
}

SLIST* SList_New(int lx, int ly, int rx, int ry, int flags, int rowheight, SLIST_DRAWFN draw,
                 SLIST_FREEFN release)
{
    ASSERT(rowheight > 0);
    ASSERT(lx <= rx && ly <= ry);
    SLIST* list = (SLIST*)Debug_MallocFor(sizeof(SLIST), "slist");
    *list = SLIST{};
    list->entries = GLL_Create();
    list->lx = lx;
    list->ly = ly;
    list->rx = rx;
    list->ry = ry;
    list->flags = flags;
    list->bkcolour = 0;
    list->selbkcolour = 5;
    list->columns = 1;
    list->rowheight = rowheight;
    list->colwidth = rx - lx;
    list->draw = draw;
    list->release = release;
    return list;
}

static void FreeEntry(SLIST* list, SLISTENTRY* e)
{
    if (list->release) list->release(e->text, e->data1, e->data2);
    Debug_Free(&e->text);
    Debug_Free(&e);
}

void SList_Delete(SLIST* list)
{
    if (!list) return;
    SList_Clear(list);
    GLL_Destroy(list->entries, nullptr);
    Debug_Free(&list);
}

void SList_SetColumns(SLIST* list, int columns, int mincolwidth)
{
    list->columns = Max(columns, 1);
    list->mincolwidth = Max(mincolwidth, 0);
    ResetColumnWidth(list);
    SList_Scroll(list, 0, 0);
}

static int MeasureText(const SLIST* list, const char* text)
{
    return Max(Font_StringWidth(text, list->font), Font_StringWidth(text, list->selfont));
}

static SLISTENTRY* EntryAt(SLIST* list, int index)
{
    if (index < 0 || index >= list->entries->count) return nullptr;
    return (SLISTENTRY*)GLL_GoTo(list->entries, index + 1);
}

static int SortedIndex(SLIST* list, const char* text, int keyed, int32_t key)
{
    int index = 0;
    for (SLISTENTRY* e = (SLISTENTRY*)GLL_GoFirst(list->entries); e;
         e = (SLISTENTRY*)GLL_GoNext(list->entries), index++) {
        if (keyed && e->data2 > key) continue;
        // Entries with a smaller key end the new one's group.
        if (keyed && e->data2 < key) break;
        if (strcasecmp(e->text, text) >= 0) break;
    }
    return index;
}

static int ResolvePosition(SLIST* list, int position, const char* text, int32_t data2)
{
    int count = list->entries->count;
    int sel = list->selected - 1; // -1 for none
    int index;
    switch (position) {
    case SLIST_AFTERNEXT: index = sel < 0 ? 1 : sel + 2; break;
    case SLIST_AFTERSEL: index = sel + 1; break;
    case SLIST_START: index = 0; break;
    case SLIST_SORTED: index = SortedIndex(list, text, 0, 0); break;
    case SLIST_SORTEDKEY: index = SortedIndex(list, text, 1, data2); break;
    default: index = position < 0 ? count : position; break; // -4 and unknown: the end
    }
    return index > count ? count : index;
}

int SList_AddEntry(SLIST* list, int position, const char* text, int32_t data1, int32_t data2,
                   int width)
{
    if (!text) text = "";
    int index = ResolvePosition(list, position, text, data2);
    SLISTENTRY* e = (SLISTENTRY*)Debug_MallocFor(sizeof(SLISTENTRY), "slistentry");
    e->text = Debug_Strdup(text);
    e->data1 = data1;
    e->data2 = data2;
    e->selected = 0;
    e->width = list->draw ? width : MeasureText(list, text);
    if (index == list->entries->count) {
        GLL_GoLast(list->entries);
        GLL_InsertAfter(list->entries, e);
    } else {
        GLL_GoTo(list->entries, index + 1);
        GLL_InsertBefore(list->entries, e);
    }
    if (list->selected && index <= list->selected - 1) list->selected++;
    if (e->width > list->colwidth) list->colwidth = e->width;
    return index;
}

void SList_Clear(SLIST* list)
{
    while (SLISTENTRY* e = (SLISTENTRY*)GLL_GoFirst(list->entries)) {
        GLL_DeleteCurrent(list->entries);
        FreeEntry(list, e);
    }
    list->selected = 0;
    list->selentry = nullptr;
    list->scrollx = list->scrolly = 0;
    ResetColumnWidth(list);
}

int SList_DeleteEntry(SLIST* list, int index)
{
    SLISTENTRY* e = EntryAt(list, index);
    if (!e) return 0;
    GLL_DeleteCurrent(list->entries);
    if (list->selected == index + 1) {
        list->selected = 0;
        list->selentry = nullptr;
    } else if (list->selected > index + 1) {
        list->selected--;
    }
    FreeEntry(list, e);
    SList_Scroll(list, 0, 0);
    return 1;
}

int SList_ReadDirectory(SLIST* list, const char* dir, int flags)
{
    std::string resolved = Fs_Resolve(dir);
    DIR* d = opendir(resolved.c_str());
    if (!d) {
        TLOG(TLOG_WARNING, "Unable to read directory [%s]", dir);
        return 0;
    }
    while (struct dirent* ent = readdir(d)) {
        std::string name = ent->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (stat((resolved + "/" + name).c_str(), &st) != 0) continue;
        int isdir = S_ISDIR(st.st_mode);
        if ((isdir && (flags & SLIST_DIRS)) || (!isdir && (flags & SLIST_FILES)))
            SList_AddEntry(list, SLIST_SORTEDKEY, name.c_str(), 0, 0, 0);
    }
    closedir(d);
    return 1;
}

int SList_CellWidth(const SLIST* list)
{
    if (list->mincolwidth) return list->mincolwidth;
    if (list->columns >= 2) return list->colwidth;
    return RectWidth(list);
}

int SList_MaxScrollX(const SLIST* list)
{
    return Max(SList_CellWidth(list) * list->columns - RectWidth(list), 0);
}

int SList_MaxScrollY(const SLIST* list)
{
    int rows = (list->entries->count + list->columns - 1) / list->columns;
    return Max(rows * list->rowheight - RectHeight(list), 0);
}

static int Clamp(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

int SList_Scroll(SLIST* list, int dx, int dy)
{
    int x = Clamp(list->scrollx + dx, SList_MaxScrollX(list));
    int y = Clamp(list->scrolly + dy, SList_MaxScrollY(list));
    int moved = x != list->scrollx || y != list->scrolly;
    list->scrollx = x;
    list->scrolly = y;
    return moved;
}

// The index of the cell under a screen point; -1 outside the rectangle or
// beyond the last column, where no cell of an entry lies.
static int CellIndex(const SLIST* list, int x, int y)
{
    if (x < list->lx || x > list->rx || y < list->ly || y > list->ry) return -1;
    int cw = SList_CellWidth(list);
    if (cw < 1) return -1;
    int row = (y + list->scrolly - list->ly) / list->rowheight;
    int column = (x + list->scrollx - list->lx) / cw;
    if (column >= list->columns) return -1;
    int index = row * list->columns + column;
    return index < list->entries->count ? index : -1;
}

static void ClearFlags(SLIST* list, const SLISTENTRY* except)
{
    for (SLISTENTRY* e = (SLISTENTRY*)GLL_GoFirst(list->entries); e;
         e = (SLISTENTRY*)GLL_GoNext(list->entries))
        if (e != except) e->selected = 0;
}

int SList_ClickAt(SLIST* list, int x, int y, int toggle)
{
    int index = CellIndex(list, x, y);
    if (index < 0) return -1;
    SLISTENTRY* e = EntryAt(list, index);
    if (!(list->flags & SLIST_MULTI)) ClearFlags(list, e);
    e->selected = toggle ? !e->selected : 1;
    if (e->selected) {
        list->selected = index + 1;
        list->selentry = e;
    } else {
        list->selected = 0;
        list->selentry = nullptr;
    }
    return index;
}

int SList_Select(SLIST* list, int index)
{
    ClearFlags(list, nullptr);
    list->selected = 0;
    list->selentry = nullptr;
    SLISTENTRY* e = EntryAt(list, index);
    if (!e) return 0;
    e->selected = 1;
    list->selected = index + 1;
    list->selentry = e;
    return 1;
}

int SList_GetSelected(SLIST* list, const char** text, int32_t* data1, int32_t* data2)
{
    if (!list->selected) return -1;
    SLISTENTRY* e = list->selentry;
    if (text) *text = e->text;
    if (data1) *data1 = e->data1;
    if (data2) *data2 = e->data2;
    return list->selected - 1;
}

int SList_ReplaceSelected(SLIST* list, const char* text, int32_t data1, int32_t data2, int width)
{
    if (!list->selected) return 0;
    SLISTENTRY* e = list->selentry;
    if (list->release && e->data1 != data1) list->release(e->text, e->data1, e->data2);
    char* copy = Debug_Strdup(text ? text : "");
    Debug_Free(&e->text);
    e->text = copy;
    e->data1 = data1;
    e->data2 = data2;
    e->width = list->draw ? width : MeasureText(list, e->text);
    if (e->width > list->colwidth) list->colwidth = e->width;
    return 1;
}

int SList_SelectAt(SLIST* list, int x, int y, const char** text, int32_t* data1, int32_t* data2)
{
    int index = CellIndex(list, x, y);
    if (index < 0) return -1;
    SLISTENTRY* e = EntryAt(list, index);
    if (text) *text = e->text;
    if (data1) *data1 = e->data1;
    if (data2) *data2 = e->data2;
    return index;
}

static void DrawCell(SLIST* list, BITMAP* dst, const GRECT* clip, int index, int x, int y, int cw)
{
    SLISTENTRY* e = EntryAt(list, index);
    if (list->draw) {
        if (e) list->draw(index, x, y, e->text, e->data1, e->data2, e->selected, clip);
        else list->draw(-1, x, y, nullptr, 0, 0, 0, clip);
        return;
    }
    if (!e) {
        Graph_FillRect(dst, clip, 0, x, y, cw, list->rowheight, list->bkcolour);
        return;
    }
    Graph_FillRect(dst, clip, 0, x, y, cw, list->rowheight,
                   e->selected ? list->selbkcolour : list->bkcolour);
    int font = e->selected ? list->selfont : list->font;
    Font_Print(x, y + list->rowheight - Font_GetHeight(font), e->text, 0, font, nullptr, clip, dst);
}

void SList_DrawTo(SLIST* list, BITMAP* dst)
{
    if (!dst) return;
    GRECT clip = {list->lx, list->ly, RectWidth(list), RectHeight(list)};
    int cw = SList_CellWidth(list);
    if (cw < 1) return;
    int first = list->scrolly / list->rowheight;
    int top = list->ly - list->scrolly % list->rowheight;
    int rows = (list->ry - list->ly - 1) / list->rowheight + 2;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < list->columns; c++) {
            int x = list->lx - list->scrollx + c * cw;
            int y = top + r * list->rowheight;
            DrawCell(list, dst, &clip, (first + r) * list->columns + c, x, y, cw);
        }
}

void SList_Draw(SLIST* list) { SList_DrawTo(list, Backbuf_Lock()); }

int SList_Count(const SLIST* list) { return list->entries->count; }

void SList_GetRect(const SLIST* list, int* lx, int* ly, int* rx, int* ry)
{
    *lx = list->lx;
    *ly = list->ly;
    *rx = list->rx;
    *ry = list->ry;
}

void SList_SetFonts(SLIST* list, int font, int selfont)
{
    list->font = font;
    list->selfont = selfont;
}

void SList_SetColours(SLIST* list, uint8_t bkcolour, uint8_t selbkcolour)
{
    list->bkcolour = bkcolour;
    list->selbkcolour = selbkcolour;
}

int SList_FindData2(SLIST* list, int32_t data2)
{
    int index = 0;
    for (SLISTENTRY* e = (SLISTENTRY*)GLL_GoFirst(list->entries); e;
         e = (SLISTENTRY*)GLL_GoNext(list->entries), index++)
        if (e->data2 == data2) return index;
    return -1;
}

const char* SList_GetSelectedText(SLIST* list)
{
    return list->selected ? list->selentry->text : nullptr;
}
