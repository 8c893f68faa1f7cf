// Scroll lists: positions, selection, scroll limits, hit tests and drawing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/debug.h"
#include "platform/graph.h"
#include "support/testsupport.h"
#include "ui/slist.h"

namespace {

std::vector<std::string> Texts(SLIST* l)
{
    std::vector<std::string> out;
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        out.push_back(SList_GetSelectedText(l));
    }
    return out;
}

using Strings = std::vector<std::string>;

// Each row: a list "a b c d" with entry sel selected (-1 none), then "N"
// added at position; the order after and which text stays selected.
struct PositionCase {
    const char* name;
    int sel;
    int position;
    Strings order;
    int newindex;
};

const PositionCase kPositions[] = {
    {"index", 2, 1, {"a", "N", "b", "c", "d"}, 1},
    {"index past the count appends", -1, 99, {"a", "b", "c", "d", "N"}, 4},
    {"after the next of the selected", 1, SLIST_AFTERNEXT, {"a", "b", "c", "N", "d"}, 3},
    {"after the next, none selected", -1, SLIST_AFTERNEXT, {"a", "N", "b", "c", "d"}, 1},
    {"after the next of the last", 3, SLIST_AFTERNEXT, {"a", "b", "c", "d", "N"}, 4},
    {"right after the selected", 1, SLIST_AFTERSEL, {"a", "b", "N", "c", "d"}, 2},
    {"right after, none selected", -1, SLIST_AFTERSEL, {"N", "a", "b", "c", "d"}, 0},
    {"start before the selected", 0, SLIST_START, {"N", "a", "b", "c", "d"}, 0},
    {"end", 3, SLIST_END, {"a", "b", "c", "d", "N"}, 4},
};

class SListPosition : public testing::TestWithParam<PositionCase> {};

TEST_P(SListPosition, LandsWhereTheTableSaysAndKeepsTheSelection)
{
    const PositionCase& c = GetParam();
    SLIST* l = SList_New(0, 0, 99, 99, 0, 10, nullptr, nullptr);
    for (const char* t : {"a", "b", "c", "d"}) SList_AddEntry(l, SLIST_END, t, 0, 0, 0);
    std::string seltext;
    if (c.sel >= 0) {
        SList_Select(l, c.sel);
        seltext = SList_GetSelectedText(l);
    }
    EXPECT_EQ(SList_AddEntry(l, c.position, "N", 0, 0, 0), c.newindex);
    if (c.sel >= 0) {
        EXPECT_EQ(SList_GetSelectedText(l), seltext);
    } else {
        EXPECT_EQ(SList_GetSelected(l, nullptr, nullptr, nullptr), -1);
    }
    EXPECT_EQ(Texts(l), c.order);
    SList_Delete(l);
}

INSTANTIATE_TEST_SUITE_P(Rows, SListPosition, testing::ValuesIn(kPositions),
                         [](const testing::TestParamInfo<PositionCase>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; p++)
                                 n += isalnum((unsigned char)*p) ? *p : '_';
                             return n;
                         });

TEST(SListSorted, CaseInsensitiveAndKeyedOrders)
{
    SLIST* l = SList_New(0, 0, 99, 99, 0, 10, nullptr, nullptr);
    for (const char* t : {"b", "A", "c"}) SList_AddEntry(l, SLIST_SORTED, t, 0, 0, 0);
    EXPECT_EQ(Texts(l), (Strings{"A", "b", "c"}));
    SList_Clear(l);
    // Higher keys first, texts sorted within a key.
    SList_AddEntry(l, SLIST_SORTEDKEY, "zed", 0, 1, 0);
    SList_AddEntry(l, SLIST_SORTEDKEY, "beta", 0, 0, 0);
    SList_AddEntry(l, SLIST_SORTEDKEY, "alpha", 0, 0, 0);
    SList_AddEntry(l, SLIST_SORTEDKEY, "yak", 0, 1, 0);
    SList_AddEntry(l, SLIST_SORTEDKEY, "top", 0, 2, 0);
    EXPECT_EQ(Texts(l), (Strings{"top", "yak", "zed", "alpha", "beta"}));
    EXPECT_EQ(SList_FindData2(l, 0), 3);
    EXPECT_EQ(SList_FindData2(l, 7), -1);
    SList_Delete(l);
}

int g_Freed;
void CountFree(const char*, int32_t, int32_t) { g_Freed++; }

TEST(SListSelection, ClicksTogglesDeletesAndReplaces)
{
    g_Freed = 0;
    // Two columns of 50 x 10 cells.
    SLIST* l = SList_New(0, 0, 99, 19, 0, 10, nullptr, CountFree);
    SList_SetColumns(l, 2, 50);
    for (const char* t : {"a", "b", "c"}) SList_AddEntry(l, SLIST_END, t, 7, 0, 0);
    EXPECT_EQ(SList_ClickAt(l, 60, 5, 0), 1);
    EXPECT_EQ(SList_ClickAt(l, 10, 15, 0), 2);    // single selection: b loses its flag
    EXPECT_EQ(SList_ClickAt(l, 60, 15, 0), -1);   // an empty cell
    EXPECT_EQ(SList_ClickAt(l, 10, 15, 1), 2);    // toggle the selected one off
    EXPECT_EQ(SList_GetSelected(l, nullptr, nullptr, nullptr), -1);
    // Selecting at the index, then deleting before it keeps the entry.
    SList_Select(l, 2);
    ASSERT_TRUE(SList_DeleteEntry(l, 0));
    const char* text = nullptr;
    int32_t d1 = 0;
    EXPECT_EQ(SList_GetSelected(l, &text, &d1, nullptr), 1);
    EXPECT_STREQ(text, "c");
    // Same data1: no free; another: the old values are freed first.
    ASSERT_TRUE(SList_ReplaceSelected(l, "c2", 7, 0, 0));
    EXPECT_EQ(g_Freed, 1);
    ASSERT_TRUE(SList_ReplaceSelected(l, "c3", 8, 0, 0));
    EXPECT_EQ(g_Freed, 2);
    // Deleting the selected entry leaves nothing selected.
    ASSERT_TRUE(SList_DeleteEntry(l, 1));
    EXPECT_EQ(SList_GetSelected(l, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(SList_ReplaceSelected(l, "x", 0, 0, 0), 0);
    EXPECT_FALSE(SList_DeleteEntry(l, 5));
    SList_Delete(l);
    EXPECT_EQ(g_Freed, 4);
}

TEST(SListSelection, SelectAtIsAPureHitTest)
{
    SLIST* l = SList_New(10, 10, 109, 49, 0, 10, nullptr, nullptr);
    SList_AddEntry(l, SLIST_END, "a", 1, 2, 0);
    SList_AddEntry(l, SLIST_END, "b", 3, 4, 0);
    SList_Select(l, 0);
    const char* text;
    int32_t d1, d2;
    EXPECT_EQ(SList_SelectAt(l, 20, 25, &text, &d1, &d2), 1);
    EXPECT_STREQ(text, "b");
    EXPECT_EQ(d1 * 10 + d2, 34);
    EXPECT_EQ(SList_GetSelected(l, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(SList_SelectAt(l, 5, 25, nullptr, nullptr, nullptr), -1); // outside
    SList_Delete(l);
}

TEST(SListScroll, LimitsOfThreeColumnsAndAnEmptyList)
{
    SLIST* l = SList_New(0, 0, 89, 29, 0, 10, nullptr, nullptr);
    EXPECT_EQ(SList_Scroll(l, 5, 5), 0);
    EXPECT_EQ(l->scrollx + l->scrolly, 0);
    SList_SetColumns(l, 3, 40); // 120 wide against 90
    for (int i = 0; i < 10; i++) SList_AddEntry(l, SLIST_END, "e", 0, 0, 0);
    EXPECT_EQ(SList_MaxScrollX(l), 30);
    EXPECT_EQ(SList_MaxScrollY(l), 4 * 10 - 30);
    EXPECT_EQ(SList_Scroll(l, 100, 100), 1);
    EXPECT_EQ(l->scrollx, 30);
    EXPECT_EQ(l->scrolly, 10);
    // The scrolled view's top-left point is row 1, column 0.
    EXPECT_EQ(SList_SelectAt(l, 0, 0, nullptr, nullptr, nullptr), 3);
    EXPECT_EQ(SList_SelectAt(l, 89, 29, nullptr, nullptr, nullptr), -1); // index 11
    // Fewer entries: the offsets are clamped again.
    for (int i = 0; i < 6; i++) SList_DeleteEntry(l, 0);
    EXPECT_EQ(l->scrolly, 0);
    SList_Clear(l);
    EXPECT_EQ(l->colwidth, 40);
    SList_Delete(l);
}

TEST(SListDirectory, ReadsSortedAndWarnsOnAMissingDirectory)
{
    QvTempDir dir;
    dir.write("d/b.txt", "");
    dir.write("d/A.txt", "");
    dir.write("d/sub/x", "");
    dir.write("empty/.keep", "");
    SLIST* l = SList_New(0, 0, 99, 99, 0, 10, nullptr, nullptr);
    EXPECT_EQ(SList_ReadDirectory(l, dir.file("d").c_str(), SLIST_FILES), 1);
    EXPECT_EQ(Texts(l), (Strings{"A.txt", "b.txt"}));
    SList_Clear(l);
    EXPECT_EQ(SList_ReadDirectory(l, dir.file("d").c_str(), SLIST_DIRS), 1);
    EXPECT_EQ(Texts(l), (Strings{"sub"}));
    SList_Clear(l);
    EXPECT_EQ(SList_ReadDirectory(l, dir.file("empty").c_str(), SLIST_DIRS), 1);
    EXPECT_EQ(SList_Count(l), 0);
    QvLogCapture log;
    std::string missing = dir.file("none");
    EXPECT_EQ(SList_ReadDirectory(l, missing.c_str(), 3), 0);
    EXPECT_NE(log.text().find("Unable to read directory [" + missing + "]"), std::string::npos);
    SList_Delete(l);
}

struct Cell {
    int position, x, y;
};
std::vector<Cell> g_Cells;
void RecordCell(int position, int x, int y, const char*, int32_t, int32_t, int, const GRECT*)
{
    g_Cells.push_back({position, x, y});
}

TEST(SListDraw, CellsFillWithinTheRectangleOnly)
{
    BITMAP b;
    Graph_InitBitmap(&b, 60, 60, nullptr);
    Graph_ClearBitmap(&b, 200);
    SLIST* l = SList_New(10, 10, 49, 39, 0, 10, nullptr, nullptr);
    SList_SetColours(l, 1, 2);
    SList_AddEntry(l, SLIST_END, "a", 0, 0, 0);
    SList_AddEntry(l, SLIST_END, "b", 0, 0, 0);
    SList_Select(l, 1);
    SList_Scroll(l, 0, 3); // no room to scroll: 2 rows in 30 pixels
    SList_DrawTo(l, &b);
    EXPECT_EQ(b.data[10 * 60 + 10], 1);
    EXPECT_EQ(b.data[25 * 60 + 49], 2);   // the selected second row
    EXPECT_EQ(b.data[39 * 60 + 30], 1);   // an empty cell in the background colour
    EXPECT_EQ(b.data[9 * 60 + 30], 200);  // nothing outside
    EXPECT_EQ(b.data[40 * 60 + 30], 200);
    EXPECT_EQ(b.data[20 * 60 + 50], 200);
    SList_Delete(l);
    // With a callback: cells of rows partly shown, -1 for cells without entry.
    g_Cells.clear();
    l = SList_New(0, 0, 19, 19, 0, 8, RecordCell, nullptr);
    for (int i = 0; i < 5; i++) SList_AddEntry(l, SLIST_END, "x", 0, 0, 30);
    EXPECT_EQ(l->colwidth, 30); // the owner's width
    SList_Scroll(l, 0, 20);
    SList_DrawTo(l, &b);
    ASSERT_EQ(g_Cells.size(), 4u); // (19 - 0 - 1) / 8 + 2
    EXPECT_EQ(g_Cells[0].position, 2);
    EXPECT_EQ(g_Cells[0].y, -4);
    EXPECT_EQ(g_Cells[3].position, -1);
    SList_Delete(l);
    Graph_FreeBitmap(&b);
}

} // namespace
