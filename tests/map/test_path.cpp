// Stored paths: order of steps, node boundaries, pushes and the node list.
#include "map/path.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "map/map.h"
#include "support/testsupport.h"

namespace {

using Tiles = std::vector<std::pair<int, int>>;

class PathSteps : public testing::Test {
protected:
    void SetUp() override
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, 64, 64, 4, 1};
        ASSERT_EQ(Map_Load(nullptr), 1);
        Path_Init(&path_);
        inUse_ = Path_NodesInUse();
    }
    void TearDown() override
    {
        Path_Clear(&path_);
        EXPECT_EQ(Path_NodesInUse(), inUse_);
        Map_Free();
    }
    // A walk along row y from x0 eastwards, n tiles.
    static Tiles Row(int x0, int y, int n)
    {
        Tiles t;
        for (int i = 0; i < n; i++) t.push_back({x0 + i, y});
        return t;
    }
    void AppendAll(const Tiles& tiles)
    {
        for (auto [x, y] : tiles) Path_Append(&path_, x, y);
    }
    Tiles Peeked() const
    {
        Tiles t;
        int x, y;
        for (int n = 0; Path_Peek(&path_, &x, &y, n); n++) t.push_back({x, y});
        return t;
    }
    Tiles PopAll()
    {
        Tiles t;
        int x, y;
        while (Path_Pop(&path_, &x, &y)) t.push_back({x, y});
        return t;
    }

    PATH path_;
    int inUse_ = 0;
};

TEST_F(PathSteps, StepsComeBackInOrderAcrossNodeBoundaries)
{
    // 1 head tile + 69 deltas: three nodes, the last one partly used; the
    // walk turns through straight and diagonal steps both ways.
    Tiles walk = Row(2, 10, 30);
    for (int i = 1; i <= 20; i++) walk.push_back({31 + i, 10 + i});
    for (int i = 1; i <= 20; i++) walk.push_back({51 - i, 30 - (i % 2)});
    AppendAll(walk);
    EXPECT_EQ(Path_Count(&path_), 70);
    EXPECT_EQ(Path_NodesInUse() - inUse_, 3);
    EXPECT_EQ(Peeked(), walk);
    EXPECT_EQ(PopAll(), walk);
}

TEST_F(PathSteps, EmptyPathsAndPeeksPastTheEndLeaveTheOutputsAlone)
{
    int x = -7, y = -7;
    EXPECT_EQ(Path_Pop(&path_, &x, &y), 0);
    AppendAll(Row(5, 5, 33));   // exactly one full node of deltas
    EXPECT_EQ(Path_NodesInUse() - inUse_, 1);
    EXPECT_EQ(Path_Peek(&path_, &x, &y, 33) + Path_Peek(&path_, &x, &y, -1), 0);
    EXPECT_EQ(x, -7);
    // Appending after the last pop of a node starts a new one cleanly.
    PopAll();
    AppendAll(Row(9, 9, 3));
    EXPECT_EQ(Peeked(), Row(9, 9, 3));
}

TEST_F(PathSteps, PushesGoInFrontAndFillANodeBackwards)
{
    AppendAll(Row(45, 20, 5));
    // Push a 40-tile detour back step by step: more than a node of pushes.
    Tiles expect = Row(45, 20, 5);
    for (int i = 1; i <= 40; i++) {
        Path_Push(&path_, 45 - i, 20 + (i % 2));
        expect.insert(expect.begin(), {45 - i, 20 + (i % 2)});
    }
    // Appending still works behind the pushed nodes.
    Path_Append(&path_, 50, 21);
    expect.push_back({50, 21});
    EXPECT_EQ(PopAll(), expect);
}

TEST_F(PathSteps, PushOptimalCancelsAWalkThereAndBack)
{
    AppendAll({{10, 10}, {11, 10}, {12, 11}});
    // The unit stands beside (10, 10); going to (11, 10) first and then
    // back over (10, 10) is dropped: (11, 10) becomes the next step.
    Path_PushOptimal(&path_, 11, 10);
    EXPECT_EQ(Peeked(), (Tiles{{11, 10}, {12, 11}}));
    // With a single step there is nothing to cancel.
    Path_Clear(&path_);
    Path_Append(&path_, 10, 10);
    Path_PushOptimal(&path_, 11, 11);
    EXPECT_EQ(Peeked(), (Tiles{{11, 11}, {10, 10}}));
}

TEST_F(PathSteps, TilesOffTheMapOrNotAdjacentAreAssertionFailures)
{
    QV_EXPECT_FATAL(Path_Append(&path_, 0, 5), "ASSERT (Map_IsValidTile(x, y))");
    Path_Append(&path_, 5, 5);
    QV_EXPECT_FATAL(Path_Append(&path_, 7, 5),
                    "ASSERT (Adjacent(path->lastx, path->lasty, x, y))");
    QV_EXPECT_FATAL(Path_Push(&path_, 5, 3), "ASSERT (Adjacent(path->headx, path->heady, x, y))");
    // Nothing was changed by the refused calls.
    EXPECT_EQ(Peeked(), (Tiles{{5, 5}}));
}

TEST_F(PathSteps, ClearedNodesAreReusedAndCleanUpFreesOnlyTheFreeOnes)
{
    AppendAll(Row(1, 1, 60));
    const int allocated = Path_NodesAllocated();
    Path_Clear(&path_);
    AppendAll(Row(1, 2, 60));
    EXPECT_EQ(Path_NodesAllocated(), allocated); // taken from the free list
    // The path's own nodes survive the clean-up and stay readable.
    Path_CleanUp();
    EXPECT_EQ(Path_NodesAllocated(), Path_NodesInUse());
    EXPECT_EQ(PopAll(), Row(1, 2, 60));
}

} // namespace
