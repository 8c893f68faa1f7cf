// Scroll lists under random operations: a rectangle, flags, row height and
// columns from the first bytes, then operations of four bytes (code and three
// arguments): adds at any position, deletes, scrolls, clicks, hit tests,
// selects, replaces, clears, draws, and reads of a directory whose files the
// input names. After each one the selection must name an entry of the list
// whose flag is set, and both offsets must lie within the scroll limits.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/gll.h"
#include "fuzzsupport.h"
#include "platform/graph.h"
#include "ui/slist.h"

static int s_Freed;
static void Release(const char*, int32_t, int32_t) { s_Freed++; }
static void DrawCell(int, int, int, const char*, int32_t, int32_t, int, const GRECT*) {}

static void Check(SLIST* l)
{
    if (l->scrollx < 0 || l->scrollx > SList_MaxScrollX(l)) abort();
    if (l->scrolly < 0 || l->scrolly > SList_MaxScrollY(l)) abort();
    if (l->selected < 0 || l->selected > SList_Count(l)) abort();
    if (l->selected) {
        SLISTENTRY* e = (SLISTENTRY*)GLL_GoTo(l->entries, l->selected);
        if (e != l->selentry || !e->selected) abort();
    }
}

static void ReadDir(SLIST* l, const uint8_t* a)
{
    std::string dir = std::string(QvFuzz_Dir()) + "/slist";
    mkdir(dir.c_str(), 0700);
    char name[8];
    snprintf(name, sizeof name, "%c%c", 'a' + a[0] % 26, 'A' + a[1] % 26);
    std::string path = dir + "/" + name;
    if (a[2] & 1) mkdir(path.c_str(), 0700);
    else if (FILE* f = fopen(path.c_str(), "w")) fclose(f);
    SList_ReadDirectory(l, (a[2] & 2) ? (dir + "/none").c_str() : dir.c_str(), a[2] >> 2);
}

static void fuzz_List(const uint8_t* data, size_t n)
{
    if (n < 8) return;
    int lx = data[0], ly = data[1];
    SLIST* l = SList_New(lx, ly, lx + data[2], ly + data[3], data[4] & 1, 1 + data[5] % 20,
                         (data[4] & 2) ? DrawCell : nullptr, Release);
    SList_SetColumns(l, data[6] % 5, (data[7] & 1) ? data[7] : 0);
    BITMAP b;
    Graph_InitBitmap(&b, 320, 240, nullptr);
    static const char* const kTexts[] = {"alpha", "Beta", "gamma", "", "delta epsilon", "b"};
    for (size_t at = 8; at + 4 <= n; at += 4) {
        const uint8_t* a = data + at + 1;
        int sa = (int8_t)a[0], sb = (int8_t)a[1];
        const char* text = kTexts[a[2] % 6];
        switch (data[at] % 12) {
        case 0: SList_AddEntry(l, sa, text, a[1], a[2] % 3, a[1]); break;
        case 1: SList_DeleteEntry(l, sa); break;
        case 2: SList_Scroll(l, sa * 4, sb * 4); break;
        case 3: SList_ClickAt(l, a[0] + lx - 8, a[1] + ly - 8, a[2] & 1); break;
        case 4: SList_SelectAt(l, a[0], a[1], nullptr, nullptr, nullptr); break;
        case 5: SList_Select(l, sa); break;
        case 6: SList_ReplaceSelected(l, text, a[1], a[0], a[2]); break;
        case 7: if (a[0] < 16) SList_Clear(l); break;
        case 8: SList_DrawTo(l, &b); break;
        case 9: ReadDir(l, a); break;
        case 10: SList_SetColumns(l, a[0] % 5, a[1] & 1 ? a[1] : 0); break;
        default: SList_FindData2(l, a[0] % 3); SList_GetSelectedText(l); break;
        }
        Check(l);
    }
    Graph_FreeBitmap(&b);
    SList_Delete(l);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_List(data, size));
    return 0;
}
