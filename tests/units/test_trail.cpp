// Trails: waypoint order, removal rules, copying, following by mode and the
// waypoint free list.
#include "units/trail.h"

#include <gtest/gtest.h>

#include <string>

#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

class TrailTest : public testing::Test {
protected:
    void SetUp() override { Trail_Init(&t_); }
    void TearDown() override { Trail_Clear(&t_); }

    // The trail as x values, checking the back links and the tail on the way.
    std::string Trace() const
    {
        std::string s;
        const WAYPOINT* prev = nullptr;
        for (const WAYPOINT* w = t_.head; w != nullptr; prev = w, w = w->next) {
            EXPECT_EQ(w->prev, prev);
            s += (s.empty() ? "" : " ") + std::to_string(w->x);
        }
        EXPECT_EQ(t_.tail, prev);
        return s;
    }
    WAYPOINT* Add(int x, int type = WPT_MOVE) { return Trail_AddWaypoint(&t_, type, x, 0, x * 10); }
    // The x values visited from the first waypoint over n steps ("-" for none).
    std::string Walk(int mode, int direction, int n)
    {
        WAYPOINT* w = t_.head;
        std::string s = std::to_string(w->x);
        for (int i = 0; i < n && w != nullptr; i++) {
            w = Trail_Follow(&t_, w, mode, &direction);
            s += w != nullptr ? " " + std::to_string(w->x) : " -";
        }
        return s;
    }

    TRAIL t_;
};

class TrailEdit : public TrailTest {};

TEST_F(TrailEdit, InsertAfterTheLastThenAppendKeepsEveryWaypointInOrder)
{
    WAYPOINT* a = Add(1);
    WAYPOINT* b = Trail_InsertWaypoint(&t_, a, WPT_MOVE, 2, 0, 0);
    EXPECT_EQ(t_.tail, b);
    Add(3);
    Trail_InsertWaypoint(&t_, b, WPT_FIRE, 25, 0, 0);
    Trail_InsertWaypoint(&t_, nullptr, WPT_MOVE, 0, 0, 0);
    EXPECT_EQ(Trace(), "0 1 2 25 3");
    EXPECT_EQ(Trail_FindWaypoint(&t_, 25, 0), b->next);
    EXPECT_EQ(Trail_FindWaypoint(&t_, 25, 1), nullptr);
}

TEST_F(TrailEdit, PopFirstCopiesTheFieldsAndLeavesOutArgumentsAloneWhenEmpty)
{
    Trail_AddWaypoint(&t_, WPT_FIRE, 7, 8, 9);
    int type = -1, x = -1, y = -1, value = -1;
    ASSERT_EQ(Trail_PopFirst(&t_, &type, &x, &y, &value), 1);
    EXPECT_EQ(type * 1000 + x * 100 + y * 10 + value, 1789);
    EXPECT_EQ(t_.head, nullptr);
    EXPECT_EQ(t_.tail, nullptr);
    type = x = y = value = -1;
    EXPECT_EQ(Trail_PopFirst(&t_, &type, &x, &y, &value), 0);
    EXPECT_EQ(type + x + y + value, -4);
}

TEST_F(TrailEdit, RemoveGivesTheFollowerElseThePredecessorElseNone)
{
    WAYPOINT* a = Add(1);
    WAYPOINT* b = Add(2);
    WAYPOINT* c = Add(3);
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, b), c);
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, c), a);
    EXPECT_EQ(Trace(), "1");
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, a), nullptr);
    EXPECT_EQ(Trace(), "");
    QV_EXPECT_FATAL(Trail_RemoveWaypoint(&t_, nullptr), "ASSERT (w)");
}

TEST_F(TrailEdit, DeletingAMoveTakesOnlyTheFireWaypointsRightAfterIt)
{
    Add(1);
    WAYPOINT* move = Add(2);
    Add(21, WPT_FIRE);
    Add(22, WPT_FIRE);
    WAYPOINT* next = Add(3);
    WAYPOINT* fire = Add(31, WPT_FIRE);
    EXPECT_EQ(Trail_DeleteWaypoint(&t_, move), next);
    EXPECT_EQ(Trace(), "1 3 31");
    EXPECT_EQ(Trail_DeleteWaypoint(&t_, fire), next);   // a fire waypoint goes alone
    EXPECT_EQ(Trace(), "1 3");
}

TEST_F(TrailEdit, CopyAppendsAndACopyOntoItselfDoublesInsteadOfLoopingForever)
{
    TRAIL src;
    Trail_Init(&src);
    Trail_AddWaypoint(&src, WPT_FIRE, 5, 6, 50);
    Add(1);
    Trail_Copy(&t_, &src);
    EXPECT_EQ(Trace(), "1 5");
    EXPECT_EQ(t_.tail->type, WPT_FIRE);
    EXPECT_EQ(t_.tail->value, 50);
    EXPECT_NE(t_.tail, src.head);
    Trail_Clear(&src);
    Trail_Copy(&t_, &t_);
    EXPECT_EQ(Trace(), "1 5 1 5");
}

class TrailFollow : public TrailTest {};

TEST_F(TrailFollow, EachModePicksTheNextWaypointItsOwnWay)
{
    Add(1);
    Add(2);
    Add(3);
    EXPECT_EQ(Walk(TRAIL_REVERSE, 0, 6), "1 2 3 2 1 2 3");
    EXPECT_EQ(Walk(TRAIL_REVERSE, 1, 2), "1 2 3");
    EXPECT_EQ(Walk(TRAIL_LOOP, 0, 4), "1 2 3 1 2");
    EXPECT_EQ(Walk(TRAIL_STOP, 0, 4), "1 2 3 -");
    Trail_RemoveWaypoint(&t_, t_.head->next);
    Trail_RemoveWaypoint(&t_, t_.head->next);
    EXPECT_EQ(Walk(TRAIL_REVERSE, 0, 1), "1 -");   // one waypoint: nowhere to go
}

TEST_F(TrailFollow, AnUnknownModeIsLoggedAndGivesNone)
{
    QvLogCapture log;
    Add(1);
    Add(2);
    int direction = 0;
    EXPECT_EQ(Trail_Follow(&t_, t_.head, 3, &direction), nullptr);
    EXPECT_NE(log.text().find("Unknown trail mode [3]"), std::string::npos);
}

class TrailPool : public TrailTest {};

TEST_F(TrailPool, FreedWaypointsAreMarkedAndReusedBeforeAllocatingMore)
{
    Trail_Startup();
    int base = Trail_Allocated();
    WAYPOINT* w = Add(1);
    Add(2);
    Trail_Clear(&t_);
    EXPECT_EQ(w->x, WAYPOINT_FREED);
    EXPECT_EQ(w->y, WAYPOINT_FREED);
    EXPECT_EQ(w->value, 0);
    Add(3);
    Add(4);
    EXPECT_EQ(Trail_Allocated(), base + 2);
    Add(5);
    EXPECT_EQ(Trail_Allocated(), base + 3);
}

TEST_F(TrailPool, ShutdownFreesTheFreeListAndReportsWaypointsStillOnTrails)
{
    Trail_Startup();
    int base = Trail_Allocated();
    QvLogCapture log(TLOG_DIAG);
    Add(1);
    Add(2);
    TRAIL* local = Trail_New();
    Trail_AddWaypoint(local, WPT_MOVE, 1, 1, 0);
    Trail_Free(&local);
    EXPECT_EQ(local, nullptr);
    Trail_Shutdown();
    EXPECT_EQ(Trail_Allocated(), base + 2);
    EXPECT_NE(log.text().find("Total malloced = " + std::to_string(base + 2)), std::string::npos);
}

}   // namespace
