// The path search, the connected regions and the step rule and costs that
// both take from the movement code.
#include "map/pathsrch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/uid.h"
#include "map/cre.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/path.h"
#include "platform/effects.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/unit.h"
#include "units/unitmove.h"

namespace {

using Tiles = std::vector<std::pair<int, int>>;

enum { WALL_EFFECT = 9, SLOW_EFFECT = 10 };   // cells (17, 1) and (17, 2)

class SearchWorld : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        // Every texture cell speed 100, climb 2; special effect 9 is a wall
        // (speed 0), special effect 10 slow ground (speed 25).
        table_ = Effects_NewTable("Wheels", 100, 2);
        Effects_SetEffect(table_, 17, 1, 0, 0);
        Effects_SetEffect(table_, 17, 2, 25, 2);
        tank_->effects = table_;
        Pathsrch_SetBudget(0);
    }
    void TearDown() override
    {
        Pathsrch_Close();
        CRE_Close();
        QvWorldTest::TearDown();
        Pathsrch_SetBudget(0);
    }
    static MAP_ELEMENT* El(int x, int y) { return MAP_ELEMENT_AT(x, y); }
    // A wall along column x from y0 to y1 (inclusive).
    static void WallColumn(int x, int y0, int y1)
    {
        for (int y = y0; y <= y1; y++) El(x, y)->effect = WALL_EFFECT;
    }
    // Terrain is final: build the regions and the search's tables.
    static void Ready() { Pathsrch_Init(); }
    static void Ask(UNIT* u, int x, int y)
    {
        u->move.srchtilepos = UNIT_POS{x, y};
        Pathsrch_StartUnitSearch(u);
    }
    static Tiles PathOf(const UNIT* u)
    {
        Tiles t;
        int x, y;
        for (int n = 0; Path_Peek(&u->move.path, &x, &y, n); n++) t.push_back({x, y});
        return t;
    }
    // The cost of one step as the search counts it, from the public rule.
    static uint64_t StepCost(const UNIT* u, int x1, int y1, int x2, int y2)
    {
        const long base = lroundf(Units_ComputeInverseRelativeSpeed(u, x1, y1, x2, y2) * 100.0f);
        return (uint64_t)base * ((x1 != x2 && y1 != y2) ? 14 : 10);
    }
    // Checks that every step of the unit's path obeys Units_CanTravel and
    // gives the path's cost.
    static uint64_t WalkCost(const UNIT* u)
    {
        uint64_t cost = 0;
        int px = u->tilepos.x, py = u->tilepos.y;
        for (auto [x, y] : PathOf(u)) {
            EXPECT_LE(std::abs(x - px), 1);
            EXPECT_LE(std::abs(y - py), 1);
            EXPECT_TRUE(Units_CanTravel(u, px, py, x, y)) << px << "," << py << " -> " << x << "," << y;
            cost += StepCost(u, px, py, x, y);
            px = x;
            py = y;
        }
        return cost;
    }
    // A plain Dijkstra over the public step rule and costs: the cheapest cost
    // from the unit's tile to every tile, UINT64_MAX where unreachable.
    static std::vector<uint64_t> ReferenceCosts(const UNIT* u)
    {
        std::vector<uint64_t> dist((size_t)mapsizex * mapsizey, UINT64_MAX);
        using Item = std::pair<uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
        const int s = u->tilepos.y * mapsizex + u->tilepos.x;
        dist[(size_t)s] = 0;
        open.push({0, s});
        while (!open.empty()) {
            auto [d, i] = open.top();
            open.pop();
            if (d != dist[(size_t)i]) continue;
            const int x = i % mapsizex, y = i / mapsizex;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    if ((dx || dy) && Units_CanTravel(u, x, y, x + dx, y + dy)) {
                        const int j = (y + dy) * mapsizex + x + dx;
                        const uint64_t nd = d + StepCost(u, x, y, x + dx, y + dy);
                        if (nd < dist[(size_t)j]) {
                            dist[(size_t)j] = nd;
                            open.push({nd, j});
                        }
                    }
                }
        }
        return dist;
    }
    // Hills, slow patches and walls from a fixed seed.
    static void RoughTerrain(unsigned seed)
    {
        std::mt19937 rng(seed);
        for (int y = 1; y < 64; y++)
            for (int x = 1; x < 64; x++) {
                MAP_ELEMENT* e = El(x, y);
                e->altitude = (x / 8 + y / 11) % 4 + (rng() % 2);
                const unsigned r = rng() % 10;
                e->effect = r == 0 ? (int)WALL_EFFECT : r == 1 ? (int)SLOW_EFFECT : (int)MAP_EFFECT_NONE;
            }
    }

    EFFECTTYPE* table_ = nullptr;
};

// ---- the step rule and the costs

class UnitStepRule : public SearchWorld {};

TEST_F(UnitStepRule, CanTravelNeedsTheMapSpeedAndBothClimbLimits)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 10);
    El(11, 10)->effect = WALL_EFFECT;
    // Climb 2 everywhere but at (10, 13) and (10, 14), variation 3: climb 9.
    El(10, 12)->altitude = 6;
    El(10, 13)->altitude = 7;
    Effects_SetEffect(table_, 1, 3, 100, 9);
    for (int y : {13, 14}) El(10, y)->tile = (El(10, y)->tile & ~(7u << 18)) | 3u << 18;
    const struct {
        int x1, y1, x2, y2;
        bool can;
        const char* why;
    } rows[] = {
        {10, 10, 11, 10, false, "into a wall"},
        {11, 10, 12, 10, true, "out of a wall: only the target's speed counts"},
        {10, 11, 10, 12, true, "a climb of 2"},
        {10, 11, 10, 13, false, "a climb of 3, although the target allows 9"},
        {10, 14, 10, 13, true, "a drop of 3 between tiles that allow 9"},
        {63, 5, 64, 5, false, "past the far edge"},
        {0, 5, 1, 5, false, "out of column 0"},
    };
    for (const auto& r : rows) EXPECT_EQ(Units_CanTravel(u, r.x1, r.y1, r.x2, r.y2) != 0, r.can) << r.why;
}

TEST_F(UnitStepRule, AFlyerPaysNoClimbAndAWallCostsMostOfAll)
{
    Units_InitInverseRelativeSpeed();
    EXPECT_GT(g_InverseRelativeSpeed[0], g_InverseRelativeSpeed[1]);
    UNIT* j = Units_NewAt(jet_, 0, -1, 20, 20);
    El(21, 20)->altitude = 9;
    EXPECT_FLOAT_EQ(Units_ComputeInverseRelativeSpeed(j, 20, 20, 21, 20), 1.0f);
}

// ---- connected regions

class ConnectedRegions : public SearchWorld {};

TEST_F(ConnectedRegions, WallsAndCliffsSplitTheMapPerMovementClass)
{
    WallColumn(30, 1, 63);
    Ready();
    const int wheels = CRE_ClassOf(table_);
    EXPECT_EQ(CRE_RegionCount(wheels), 2);
    EXPECT_EQ(CRE_ClassRegionAt(wheels, 30, 5), CRE_REGION_NONE);
    EXPECT_NE(CRE_ClassRegionAt(wheels, 29, 5), CRE_ClassRegionAt(wheels, 31, 5));
    // The wall is a special effect only the table knows: the class of types
    // without a table walks through it.
    EXPECT_EQ(CRE_RegionCount(CRE_CLASS_ANY), 1);
    // Off the map or an unknown class: no region.
    EXPECT_EQ(CRE_ClassRegionAt(wheels, 64, 5), CRE_REGION_NONE);
    EXPECT_EQ(CRE_ClassRegionAt(-1, 5, 5), CRE_REGION_NONE);
}

TEST_F(ConnectedRegions, ADiagonalGapConnectsAndAClimbTooSteepSeparates)
{
    // Wall with one diagonal gap: (30,20) open, walls around it except
    // diagonally.
    WallColumn(30, 1, 63);
    El(30, 20)->effect = MAP_EFFECT_NONE;
    // Plateau at altitude 9 in the corner (climb 2 everywhere: a cliff).
    for (int y = 50; y < 64; y++)
        for (int x = 50; x < 64; x++) El(x, y)->altitude = 9;
    Ready();
    const int wheels = CRE_ClassOf(table_);
    EXPECT_EQ(CRE_ClassRegionAt(wheels, 29, 19), CRE_ClassRegionAt(wheels, 31, 21));
    EXPECT_NE(CRE_ClassRegionAt(wheels, 55, 55), CRE_ClassRegionAt(wheels, 45, 45));
    EXPECT_EQ(CRE_RegionCount(wheels), 2);
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    // Every region answer agrees with the step rule: a plain search over
    // Units_CanTravel reaches exactly the tiles of the unit's region.
    const std::vector<uint64_t> cost = ReferenceCosts(u);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            EXPECT_EQ(Units_Can_Reach_X_Y(u, x, y) != 0, cost[(size_t)(y * 64 + x)] != UINT64_MAX)
                << x << "," << y;
}

// Regression: the regions were built once, so a wall of buildings or things
// placed later was reported reachable across and the search aimed past it.
TEST_F(ConnectedRegions, FootprintsAndThingsPlacedLaterSplitAndJoinRegions)
{
    // A wall along column 30 with a gap at rows 20..23 that a footprint or
    // a thing's effects close.
    WallColumn(30, 1, 19);
    WallColumn(30, 24, 63);
    Ready();
    BUILDINGTYPE* gate = QvWorld_BuildingType("Gate", 1, 4);
    for (int y = 0; y < 4; y++) Effects_OvlEntry(gate->footprint, 0, y)[0] = WALL_EFFECT;
    Ovl_Init();
    OVERLAYTYPE* rocks = Ovl_NewType();
    snprintf(rocks->effectname, sizeof rocks->effectname, "Gate");
    BUILDING* b = nullptr;
    struct Row {
        const char* what;
        std::function<void()> close, open;
    } rows[] = {
        {"a building", [&] { b = Build_New(gate, 0, -1, 30, 20); }, [&] { Build_Remove(b); }},
        {"a thing", [] { Ovl_GetEffects(0, 30, 20); },
         [] {
             for (int y = 20; y < 24; y++) El(30, y)->effect = MAP_EFFECT_NONE;
             CRE_TilesChanged(30, 20, 1, 4);
         }},
    };
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 22);
    for (const Row& r : rows) {
        ASSERT_TRUE(Units_Can_Reach_X_Y(u, 40, 22)) << r.what;
        r.close();
        ASSERT_EQ(El(30, 21)->effect, (uint32_t)WALL_EFFECT) << r.what;
        // Only the class whose terrain changed is built again; a type
        // without a table walks through walls anyway.
        EXPECT_EQ(CRE_StaleClasses(), 1) << r.what;
        EXPECT_FALSE(Units_Can_Reach_X_Y(u, 40, 22)) << r.what;
        EXPECT_EQ(CRE_StaleClasses(), 0);
        Ask(u, 40, 22);
        Pathsrch_RunAll();
        EXPECT_EQ(PathOf(u).back(), std::make_pair(29, 22)) << r.what;
        r.open();
        EXPECT_TRUE(Units_Can_Reach_X_Y(u, 40, 22)) << r.what;
    }
    // Writing the same terrain again is no change.
    CRE_TilesChanged(1, 1, 63, 63);
    EXPECT_EQ(CRE_StaleClasses(), 0);
    Ovl_FreeAll();
}

// ---- the search

class PathSearch : public SearchWorld {};

TEST_F(PathSearch, APathHoldsTheStepsAfterTheStartUpToTheGoal)
{
    Ready();
    const struct {
        int gx, gy;
        Tiles path;
    } rows[] = {
        {10, 10, {}},   // at the goal: the empty path, ready at once
        {14, 10, {{11, 10}, {12, 10}, {13, 10}, {14, 10}}},
        {8, 12, {{9, 11}, {8, 12}}},
    };
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(tank_, 0, -1, 10, 10);
        Path_Append(&u->move.path, 11, 10);   // an old path is dropped
        Ask(u, r.gx, r.gy);
        EXPECT_EQ(u->move.pathready, r.path.empty() ? 1 : 0);
        Pathsrch_Update();
        EXPECT_EQ(u->move.pathready, 1);
        EXPECT_EQ(PathOf(u), r.path) << r.gx << "," << r.gy;
        Units_Delete(u);
    }
}

TEST_F(PathSearch, PathsOverRoughTerrainCostWhatAPlainSearchFinds)
{
    RoughTerrain(7);
    El(3, 3)->effect = MAP_EFFECT_NONE;
    Ready();
    UNIT* u = Units_NewAt(tank_, 0, -1, 3, 3);
    const int goals[][2] = {{60, 60}, {10, 55}, {55, 8}, {33, 31}};
    const std::vector<uint64_t> cost = ReferenceCosts(u);
    int checked = 0;
    size_t longest = 0;
    for (const auto& g : goals) {
        if (!Units_Can_Reach_X_Y(u, g[0], g[1])) continue;
        checked++;
        Ask(u, g[0], g[1]);
        Pathsrch_RunAll();
        longest = std::max(longest, PathOf(u).size());
        EXPECT_EQ(PathOf(u).back(), std::make_pair(g[0], g[1]));
        EXPECT_EQ(WalkCost(u), cost[(size_t)(g[1] * 64 + g[0])]) << g[0] << "," << g[1];
    }
    EXPECT_GE(checked, 3);
    EXPECT_GT(longest, (size_t)PATH_NODESTEPS + 1);
}

TEST_F(PathSearch, AnUnreachableGoalGivesThePathToTheNearestReachableTile)
{
    WallColumn(30, 1, 63);
    Ready();
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 20);
    const uint32_t before = Pathsrch_Expansions();
    Ask(u, 50, 22);
    Pathsrch_RunAll();
    // The region map names (29, 22) at once: the search runs straight to it
    // instead of flooding the 1700 tiles of its side.
    EXPECT_EQ(PathOf(u).back(), std::make_pair(29, 22));
    EXPECT_LT(Pathsrch_Expansions() - before, 40u);
    // A goal on the wall itself, next to the start: the start is nearest,
    // so nothing is expanded and the path is empty.
    UNIT* v = Units_NewAt(tank_, 0, -1, 29, 40);
    const uint32_t mid = Pathsrch_Expansions();
    Ask(v, 30, 40);
    Pathsrch_RunAll();
    EXPECT_EQ(Pathsrch_Expansions(), mid);
    EXPECT_EQ(Path_Count(&v->move.path), 0);
}

TEST_F(PathSearch, AStartOutsideEveryRegionStillFindsItsWayOut)
{
    // The unit stands on a wall tile (it was put there): it has no region,
    // so the search expands and steps out; a goal beyond a closed ring is
    // answered with the nearest tile it reached.
    for (int x = 40; x <= 46; x++) El(x, 40)->effect = El(x, 46)->effect = WALL_EFFECT;
    WallColumn(40, 40, 46);
    WallColumn(46, 40, 46);
    El(10, 10)->effect = WALL_EFFECT;
    Ready();
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 10);
    EXPECT_EQ(Units_Get_Connected_Region(u), CRE_REGION_NONE);
    Ask(u, 43, 43);
    Pathsrch_RunAll();
    const Tiles p = PathOf(u);
    ASSERT_FALSE(p.empty());
    const auto end = p.back();
    EXPECT_EQ(std::max(std::abs(end.first - 43), std::abs(end.second - 43)), 4);
}

TEST_F(PathSearch, ASearchSpreadOverUpdatesFindsTheSamePathAsOneRun)
{
    RoughTerrain(11);
    El(2, 2)->effect = El(61, 58)->effect = El(4, 60)->effect = MAP_EFFECT_NONE;
    Ready();
    UNIT* a = Units_NewAt(tank_, 0, -1, 2, 2);
    UNIT* b = Units_NewAt(tank_, 1, -1, 4, 60);
    Ask(a, 61, 58);
    Ask(b, 61, 58);
    Pathsrch_RunAll();
    const Tiles whole_a = PathOf(a), whole_b = PathOf(b);
    Ask(a, 61, 58);
    Ask(b, 61, 58);
    Pathsrch_SetBudget(7);
    int updates = 0;
    while (Pathsrch_Pending() > 0 && updates < 10000) {
        Pathsrch_Update();
        updates++;
    }
    EXPECT_GT(updates, 10);
    EXPECT_EQ(PathOf(a), whole_a);
    EXPECT_EQ(PathOf(b), whole_b);
}

TEST_F(PathSearch, AUnitParkedShortOfAnUnreachableGoalDoesNotSearchAgain)
{
    WallColumn(30, 1, 63);
    Ready();
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 20);
    Ask(u, 50, 20);
    int searches = 1;
    // Movement's rule, simulated: wait for the path, walk it, and at its end
    // search again when more than 4 tiles from the destination.
    for (int update = 0; update < 200; update++) {
        Pathsrch_Update();
        if (u->state != US_WAITFORPATH || !u->move.pathready) continue;
        int x, y;
        while (Path_Pop(&u->move.path, &x, &y)) Units_SetUnitPosition(u, x, y);
        if (std::abs(u->tilepos.x - u->move.srchtilepos.x) > 4 ||
            std::abs(u->tilepos.y - u->move.srchtilepos.y) > 4) {
            Pathsrch_StartUnitSearch(u);
            searches++;
        } else {
            u->state = US_NONE;
        }
    }
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(u->state, US_NONE);
    EXPECT_EQ(u->tilepos.x, 29);
}

TEST_F(PathSearch, ADeadUnitsSearchIsDroppedAndItsRecordNotWritten)
{
    Ready();
    Pathsrch_SetBudget(5);
    UNIT* u = Units_NewAt(tank_, 0, -1, 2, 2);
    Ask(u, 60, 60);
    Pathsrch_Update();              // running, not finished
    ASSERT_EQ(Pathsrch_Pending(), 1);
    Units_Delete(u);
    EXPECT_EQ(Pathsrch_Pending(), 0);
    // A record that came to hold another unit without the search hearing of
    // it: the handle no longer matches and the new unit is left alone.
    UNIT* v = Units_NewAt(tank_, 0, -1, 3, 3);
    Ask(v, 60, 60);
    Pathsrch_Update();
    v->id = (int)Uid_Next();
    Pathsrch_RunAll();
    EXPECT_EQ(v->move.pathready, 0);
    EXPECT_EQ(Path_Count(&v->move.path), 0);
}

TEST_F(PathSearch, AskingAgainRestartsTheRequestWithTheNewDestination)
{
    Ready();
    Pathsrch_SetBudget(5);
    UNIT* u = Units_NewAt(tank_, 0, -1, 2, 2);
    UNIT* w = Units_NewAt(tank_, 0, -1, 4, 2);
    Ask(u, 60, 60);
    Ask(w, 6, 2);
    Pathsrch_Update();
    Ask(u, 2, 40);                  // while its first search runs
    Ask(w, 7, 2);                   // while queued behind it
    Pathsrch_RunAll();
    EXPECT_EQ(PathOf(u).back(), std::make_pair(2, 40));
    EXPECT_EQ(PathOf(w).back(), std::make_pair(7, 2));
}

TEST_F(PathSearch, AFullQueueLogsAndTheRequestWaitsForTheNextUpdate)
{
    Ready();
    std::vector<UNIT*> units;
    for (int i = 0; i < 1025; i++) units.push_back(Units_NewAt(tank_, i % 8, -1, 1 + i % 60, 1 + i / 60));
    for (UNIT* u : units) Ask(u, u->tilepos.x, 62);
    EXPECT_NE(log_.text().find("Search queue filled - make it bigger"), std::string::npos);
    EXPECT_EQ(Pathsrch_Pending(), 1025);
    Pathsrch_RunAll();
    for (UNIT* u : units) {
        ASSERT_EQ(u->move.pathready, 1);
        EXPECT_EQ(PathOf(u).back(), std::make_pair(u->tilepos.x, 62));
    }
}

TEST_F(PathSearch, RequestsAreCheckedWhenMade)
{
    Ready();
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    u->move.srchtilepos = UNIT_POS{0, 5};
    QV_EXPECT_FATAL(Pathsrch_StartUnitSearch(u),
                    "ASSERT (Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y))");
    u->move.srchtilepos = UNIT_POS{6, 5};
    u->team = 9;
    QV_EXPECT_FATAL(Pathsrch_StartUnitSearch(u), "ASSERT (u->team < TEAM_MAXTEAMS)");
    u->team = 0;
    // Without the search open the unit is answered at once and stays.
    Pathsrch_Close();
    Ask(u, 8, 5);
    EXPECT_EQ(u->move.pathready, 1);
    EXPECT_NE(log_.text().find("no path search open"), std::string::npos);
}

} // namespace
