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

    TRAIL t_;
};

TEST_F(TrailTest, InsertAppendRemoveAndPopKeepTheLinksAndTheTail)
{
    WAYPOINT* a = Add(1);
    WAYPOINT* b = Trail_InsertWaypoint(&t_, a, WPT_MOVE, 2, 0, 0);
    WAYPOINT* c = Add(3);
    WAYPOINT* f = Trail_InsertWaypoint(&t_, b, WPT_FIRE, 25, 0, 0);
    Trail_InsertWaypoint(&t_, nullptr, WPT_FIRE, 0, 8, 9);
    EXPECT_EQ(Trace(), "0 1 2 25 3");
    // Removal gives the follower, else the predecessor, else none.
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, b), f);
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, c), f);
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, f), a);
    int v[4] = {-1, -1, -1, -1};
    ASSERT_EQ(Trail_PopFirst(&t_, &v[0], &v[1], &v[2], &v[3]), 1);
    EXPECT_EQ(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], 1089);
    EXPECT_EQ(Trail_RemoveWaypoint(&t_, a), nullptr);
    EXPECT_EQ(Trace(), "");
}

TEST_F(TrailTest, DeletingAMoveTakesOnlyTheFireWaypointsRightAfterIt)
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
    Trail_Copy(&t_, &t_);
    EXPECT_EQ(Trace(), "1 3 1 3") << "a copy onto itself doubles instead of looping for ever";
    EXPECT_EQ(t_.tail->value, 30);
}

TEST_F(TrailTest, EachModePicksTheNextWaypointItsOwnWay)
{
    struct Row {
        const char* name;
        int waypoints, mode, direction, steps;
        const char* visited;   // x values from the first waypoint, "-" for none
    } rows[] = {
        {"reverse turns at both ends", 3, TRAIL_REVERSE, 0, 6, "1 2 3 2 1 2 3"},
        {"loop", 3, TRAIL_LOOP, 0, 4, "1 2 3 1 2"},
        {"stop", 3, TRAIL_STOP, 0, 4, "1 2 3 -"},
        {"reverse on one waypoint", 1, TRAIL_REVERSE, 0, 1, "1 -"},
        {"unknown mode", 2, 3, 0, 1, "1 -"},
    };
    QvLogCapture log;
    for (const Row& r : rows) {
        Trail_Clear(&t_);
        for (int x = 1; x <= r.waypoints; x++) Add(x);
        int direction = r.direction, i = 0;
        std::string s = "1";
        for (WAYPOINT* w = t_.head; i++ < r.steps && w != nullptr;) {
            w = Trail_Follow(&t_, w, r.mode, &direction);
            s += w != nullptr ? " " + std::to_string(w->x) : " -";
        }
        EXPECT_EQ(s, r.visited) << r.name;
    }
    EXPECT_NE(log.text().find("Unknown trail mode [3]"), std::string::npos);
}

TEST_F(TrailTest, FreedWaypointsAreMarkedReusedAndCountedUntilShutdown)
{
    Trail_Startup();
    const int base = Trail_Allocated();
    QvLogCapture log(TLOG_DIAG);
    WAYPOINT* w = Add(1);
    TRAIL* local = Trail_New();
    Trail_AddWaypoint(local, WPT_MOVE, 1, 1, 0);
    Trail_Free(&local);
    Trail_Clear(&t_);
    EXPECT_EQ(w->x, WAYPOINT_FREED);
    Add(3);
    EXPECT_EQ(Trail_Allocated(), base + 2) << "reused before allocating";
    Trail_Shutdown();   // frees the one left on the free list
    EXPECT_NE(log.text().find("Total malloced = " + std::to_string(base + 1)), std::string::npos);
}

}   // namespace
