// The engine's containers: the cursor list, the cell list, the sorted array,
// the priority queue and the ranged matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/gll.h"
#include "core/linklist.h"
#include "core/nrmatrix.h"
#include "core/priqueue.h"
#include "core/sortarr.h"
#include "support/testsupport.h"

namespace {

// ---------------------------------------------------------------------------
// GLL

class Gll : public ::testing::Test {
protected:
    void SetUp() override { list = GLL_Create(); }
    void TearDown() override { GLL_Destroy(list, nullptr); }

    // Appends v[0..n-1] in order.
    void Fill(int n)
    {
        for (int i = 0; i < n; i++) GLL_InsertAfter(list, &v[i]);
    }

    // The links agree in both directions, count matches, and the cursor is
    // the pos-th node (or on no node with pos 0).
    void ExpectConsistent()
    {
        int n = 0;
        GLL_NODE* prev = nullptr;
        bool cursor_seen = list->curr == nullptr;
        for (GLL_NODE* node = list->first; node; node = node->next) {
            n++;
            EXPECT_EQ(node->prev, prev);
            if (node == list->curr) {
                EXPECT_EQ(list->pos, n);
                cursor_seen = true;
            }
            prev = node;
        }
        EXPECT_EQ(list->last, prev);
        EXPECT_EQ(list->count, n);
        EXPECT_TRUE(cursor_seen) << "cursor is not a node of the list";
        if (!list->curr) {
            EXPECT_EQ(list->pos, 0);
        }
    }

    // The elements in order, as indexes into v.
    std::vector<int> Order()
    {
        std::vector<int> out;
        for (GLL_NODE* node = list->first; node; node = node->next)
            out.push_back((int)((int*)node->element - v));
        return out;
    }

    GLL* list = nullptr;
    int v[16] = {};
};

// One edit at one cursor position: the order, the cursor and what a delete
// returns.
TEST_F(Gll, EditsLeaveTheOrderAndCursorAsDocumented)
{
    enum { AFTER, BEFORE, DELETE };
    struct Row {
        int fill, at, op;
        std::vector<int> order;
        int pos;
        int current;   // index into v, -1 for no node
        int deleted;   // DELETE: index into v, -1 for null
    };
    const Row rows[] = {
        {3, 1, AFTER, {0, 9, 1, 2}, 2, 9, 0},    // in the middle: the cursor follows
        {2, 0, AFTER, {0, 1, 9}, 3, 9, 0},       // off the list: appends
        {3, 0, BEFORE, {9, 0, 1, 2}, 1, 9, 0},   // off the list: the new first
        {4, 2, DELETE, {0, 2, 3}, 2, 2, 1},      // the cursor moves to the next
        {3, 3, DELETE, {0, 1}, 0, -1, 2},        // the last: the cursor leaves the list
        {1, 1, DELETE, {}, 0, -1, 0},
    };
    for (const Row& row : rows) {
        GLL_Destroy(list, nullptr);
        list = GLL_Create();
        Fill(row.fill);
        GLL_GoTo(list, row.at);
        if (row.op == AFTER) GLL_InsertAfter(list, &v[9]);
        if (row.op == BEFORE) GLL_InsertBefore(list, &v[9]);
        if (row.op == DELETE) {
            EXPECT_EQ(GLL_DeleteCurrent(list), row.deleted < 0 ? nullptr : &v[row.deleted]);
        }
        EXPECT_EQ(Order(), row.order) << row.fill << " " << row.at << " " << row.op;
        EXPECT_EQ(list->pos, row.pos);
        EXPECT_EQ(GLL_GetCurrent(list), row.current < 0 ? nullptr : &v[row.current]);
        ExpectConsistent();
    }
}

TEST_F(Gll, GoToAndStepsReachEveryNodeAndLeaveTheListOffItsEnds)
{
    Fill(9);
    EXPECT_EQ(GLL_GoTo(list, 9), &v[8]);
    EXPECT_EQ(GLL_GoNext(list), nullptr);
    ExpectConsistent();
    GLL_GoFirst(list);
    EXPECT_EQ(GLL_GoPrev(list), nullptr);
    GLL_GoTo(list, 2);
    EXPECT_EQ(GLL_GoTo(list, 10), nullptr);
    ExpectConsistent();
}

// ---------------------------------------------------------------------------
// LinkList

class LinkList : public ::testing::Test {
protected:
    void SetUp() override { LinkList_Init(&list); }
    void TearDown() override { LinkList_Clear(&list); }

    void Fill(int n)
    {
        for (int i = 0; i < n; i++) LinkList_AddTail(&list, &v[i]);
    }

    // Every index reads the right data, in both directions of travel.
    void ExpectContents(const std::vector<int>& expected)
    {
        ASSERT_EQ(list.count, (int32_t)expected.size());
        for (int i = 0; i < (int)expected.size(); i++)
            EXPECT_EQ(LinkList_GetAt(&list, i), &v[expected[i]]) << "index " << i;
        for (int i = (int)expected.size() - 1; i >= 0; i--)
            EXPECT_EQ(LinkList_GetAt(&list, i), &v[expected[i]]) << "index " << i;
    }

    LINKLIST list;
    int v[64] = {};
};

// A GetAt leaves a cached cell; each edit must leave the cache true (a
// stale one answers the wrong cell, a freed one is walked from).
TEST_F(LinkList, EditsAroundTheCachedCellKeepEveryIndexRight)
{
    struct Row {
        int cached;
        int remove;   // index into v removed, or -1 for AddHead of v[9]
        std::vector<int> contents;
    };
    const Row rows[] = {
        {4, 1, {0, 2, 3, 4, 5}}, // before the cached cell
        {2, 2, {0, 1, 3, 4, 5}}, // the cached cell itself
        {2, 4, {0, 1, 2, 3, 5}}, // after it
        {2, -1, {9, 0, 1, 2, 3, 4, 5}},
    };
    for (const Row& row : rows) {
        LinkList_Clear(&list);
        Fill(6);
        EXPECT_EQ(LinkList_GetAt(&list, 6), nullptr);
        EXPECT_EQ(LinkList_GetAt(&list, -1), nullptr);
        EXPECT_EQ(LinkList_GetAt(&list, row.cached), &v[row.cached]);
        if (row.remove >= 0) LinkList_Remove(&list, &v[row.remove]);
        else LinkList_AddHead(&list, &v[9]);
        // The index next to the cached one first, as the walk would take it.
        EXPECT_EQ(LinkList_GetAt(&list, row.cached), &v[row.contents[row.cached]]);
        ExpectContents(row.contents);
    }
}

TEST_F(LinkList, RemoveTakesTheFirstMatchOnlyAndKeepsHeadAndTailRight)
{
    Fill(2);
    LinkList_AddTail(&list, &v[0]);
    LinkList_Remove(&list, &v[9]); // absent: nothing
    LinkList_Remove(&list, &v[0]);
    ExpectContents({1, 0});
    LinkList_Remove(&list, &v[0]); // the tail
    LinkList_AddTail(&list, &v[7]);
    ExpectContents({1, 7});
}

// ---------------------------------------------------------------------------
// SortedArray

class SortedArray : public ::testing::Test {
protected:
    void TearDown() override { SortedArray_Destroy(array); }
    SORTEDARRAY* array = nullptr;
    int v[16] = {};
};

// Ascending keys; an equal key goes after the earlier ones.
TEST_F(SortedArray, KeepsKeysAscendingInInsertionOrderForEqualOnes)
{
    array = SortedArray_Create(8);
    const double keys[] = {2.0, -1.5, 2.0, -1.5, 2.0, 100.0, 0.25};
    const int at[] = {0, 0, 2, 1, 4, 5, 2};
    for (int i = 0; i < 7; i++) EXPECT_EQ(SortedArray_Insert(array, &v[i], keys[i]), at[i]) << i;
    const int expected[] = {1, 3, 6, 0, 2, 4, 5};
    for (int i = 0; i < 7; i++) EXPECT_EQ(SortedArray_GetAt(array, i), &v[expected[i]]) << i;
}

TEST_F(SortedArray, FullArrayRefusesAndANanKeyStops)
{
    array = SortedArray_Create(2);
    SortedArray_Insert(array, &v[0], 1.0);
    SortedArray_Insert(array, &v[1], 2.0);
    EXPECT_EQ(SortedArray_Insert(array, &v[2], 0.5), -1);
    EXPECT_EQ(SortedArray_GetAt(array, 0), &v[0]);
    SortedArray_Destroy(array);
    array = SortedArray_Create(4);
    QV_EXPECT_FATAL(SortedArray_Insert(array, &v[0], std::numeric_limits<double>::quiet_NaN()),
                    "ASSERT (key == key)");
    EXPECT_EQ(array->count, 0);
}

// ---------------------------------------------------------------------------
// PriQueue

class PriQueue : public ::testing::Test {
protected:
    void TearDown() override { PriQueue_Destroy(queue); }
    PRIQUEUE* queue = nullptr;
    int v[64] = {};
};

// Interleaved pushes and pops against a stable sort by key: the heap's order
// must be exactly {key, push order}, whatever shape the heap has.
TEST_F(PriQueue, MatchesStableOrderUnderInterleavedUse)
{
    queue = PriQueue_Create(0); // grows from nothing
    struct REF { int32_t key; int seq; int id; };
    std::vector<REF> ref;
    uint32_t state = 12345;
    int seq = 0;
    for (int step = 0; step < 2000; step++) {
        state = state * 1103515245u + 12345u;
        if ((state >> 16) % 3 != 0) {
            int id = step % 64;
            // Mostly ties, and the extremes, where a subtraction would wrap.
            int32_t key = (int32_t)((state >> 8) % 5);
            if (key == 4) key = (state >> 28) & 1 ? INT32_MAX : INT32_MIN;
            PriQueue_Push(queue, &v[id], key);
            ref.push_back({key, seq++, id});
        } else {
            auto best = std::min_element(ref.begin(), ref.end(), [](const REF& a, const REF& b) {
                return a.key != b.key ? a.key < b.key : a.seq < b.seq;
            });
            if (best == ref.end()) {
                EXPECT_EQ(PriQueue_Pop(queue), nullptr);
                seq = 0;
                continue;
            }
            ASSERT_EQ(PriQueue_Pop(queue), &v[best->id]) << "step " << step;
            ref.erase(best);
        }
        ASSERT_EQ(PriQueue_Count(queue), (int32_t)ref.size());
    }
}

TEST_F(PriQueue, ClearEmptiesAndRestartsTheTieOrder)
{
    queue = PriQueue_Create(4);
    PriQueue_Push(queue, &v[0], 1);
    PriQueue_Push(queue, &v[1], 1);
    PriQueue_Clear(queue);
    EXPECT_EQ(PriQueue_Pop(queue), nullptr);
    PriQueue_Push(queue, &v[2], 1);
    PriQueue_Push(queue, &v[3], 1);
    EXPECT_EQ(PriQueue_Pop(queue), &v[2]);
    EXPECT_EQ(PriQueue_Pop(queue), &v[3]);
}

// ---------------------------------------------------------------------------
// NR matrices

TEST(NrMatrix, MatricesIndexTheirWholeRanges)
{
    struct RANGE { int32_t rl, rh, cl, ch; };
    for (RANGE g : {RANGE{-3, 2, -5, -1}, RANGE{-2, 3, 2, 6}, RANGE{0, 0, 0, 0}}) {
        int32_t** m = NR_Imatrix(g.rl, g.rh, g.cl, g.ch);
        for (int r = g.rl; r <= g.rh; r++)
            for (int c = g.cl; c <= g.ch; c++) m[r][c] = r * 1000 + c;
        for (int r = g.rl; r <= g.rh; r++)
            for (int c = g.cl; c <= g.ch; c++) EXPECT_EQ(m[r][c], r * 1000 + c);
        NR_FreeMatrix(m, g.rl, g.rh, g.cl, g.ch);
    }
}

TEST(NrMatrix, RefusesReversedRangesHugeSizesAndFreesWithOtherRanges)
{
    QV_EXPECT_FATAL(NR_Imatrix(2, 1, 0, 0), "ASSERT (row_high >= row_low)");
    QV_EXPECT_FATAL(NR_Ptr_Matrix(0, 0, 0, -1), "ASSERT (col_high >= col_low)");
    QV_EXPECT_FATAL(NR_Imatrix(0, INT32_MAX, INT32_MIN, INT32_MAX),
                    "allocation failure 2 in NR_Ptr_Matrix()");
    EXPECT_EQ(Error_LastClass(), ERRC_MEMORY);
    int32_t** m = NR_Imatrix(-1, 1, 0, 2);
    QV_EXPECT_FATAL(NR_FreeMatrix(m, -1, 1, 0, 3),
                    "ASSERT (header->col_low == col_low && header->col_high == col_high)");
    NR_FreeMatrix(m, -1, 1, 0, 2);
}

} // namespace
