// Units in play on the stepped world: rings of units waiting for each
// other's tiles, units held up by idle units in a narrow way, boarders
// beside their carrier, and units whose stored path begins elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "core/gamestate.h"
#include "map/cre.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "support/world.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/unitsorder.h"

namespace {

enum { WALL = 9, LIMIT = 200 };

// Tanks on a walled map with the path search, orders and the per-update
// unit walk running; each unit's longest stand in a wait is kept.
class UnitsInPlay : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        g_LocalTeam = 7;   // nobody's: no message is played
        g_UpdateCount = 1;
        EFFECTTYPE* table = Effects_NewTable("Treads", 100, 2);
        Effects_SetEffect(table, 17, 1, 0, 0);   // special effect 9: wall
        tank_->effects = table;
        tank_->speed = 100;
        PREREQ_Init();
        Orders_Init();
    }
    void TearDown() override
    {
        Orders_Close();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        Pathsrch_Close();
        CRE_Close();
        PREREQ_Done();
        QvWorldTest::TearDown();
        g_UpdateCount = 0;
    }
    static void Wall(int x, int y) { MAP_ELEMENT_AT(x, y)->effect = WALL; }
    // The walls are in: the search learns the map.
    static void Ready() { Pathsrch_Init(); }
    UNIT* Tank(int x, int y, int team = 1) { return Units_NewAt(tank_, team, -1, x, y); }
    // A corridor one tile wide along row y from x0 to x1, walled round,
    // with the open niches given below it.
    static void Corridor(int y, int x0, int x1, std::initializer_list<UNIT_POS> niches)
    {
        for (int x = x0 - 1; x <= x1 + 1; x++)
            for (int yy = y - 1; yy <= y + 3; yy++)
                if (yy != y || x < x0 || x > x1) Wall(x, yy);
        for (UNIT_POS p : niches) MAP_ELEMENT_AT(p.x, p.y)->effect = MAP_EFFECT_NONE;
    }
    // n updates of the searches and the units' walk. A unit stands in a wait
    // from the update it waits (for a tile or a path) on a tile until it
    // leaves the tile or the wait.
    void Update(int n)
    {
        for (int i = 0; i < n; i++) {
            Pathsrch_Update();
            Units_ProcessAll();
            Orders_AfterUpdate();
            g_UpdateCount++;
            for (size_t k = 0; k < units_.size(); k++) {
                const UNIT* u = units_[k];
                const bool waiting = u->state == US_WAITFOROBSTACLE || u->state == US_WAITFORPATH;
                Stand& s = stands_[k];
                if (!waiting || s.since < 0 || s.x != u->tilepos.x || s.y != u->tilepos.y)
                    s = waiting ? Stand{u->tilepos.x, u->tilepos.y, (int)g_UpdateCount} : Stand{};
                if (s.since >= 0) longest_ = std::max(longest_, (int)g_UpdateCount - s.since);
            }
        }
    }
    void Watch(UNIT* u)
    {
        units_.push_back(u);
        stands_.emplace_back();
    }
    struct Stand {
        int x = 0, y = 0, since = -1;
    };
    std::vector<UNIT*> units_;
    std::vector<Stand> stands_;
    int longest_ = 0;
};

// Four units on a 2 x 2 square, each sent onto the next one's tile round the
// square: each waited for the next for ever. The one that has waited longest
// gives way and the ring turns.
TEST_F(UnitsInPlay, SquareOfUnitsEachWaitingForTheNextNoLongerWaitsForEver)
{
    Ready();
    const UNIT_POS square[4] = {{10, 10}, {11, 10}, {11, 11}, {10, 11}};
    for (UNIT_POS p : square) Watch(Tank(p.x, p.y));
    for (int k = 0; k < 4; k++) Units_MoveTo(units_[k], square[(k + 1) % 4].x, square[(k + 1) % 4].y, Units_AllocGroupId());
    Update(2000);
    EXPECT_LE(longest_, LIMIT);
    int home = 0;
    for (int k = 0; k < 4; k++) {
        const UNIT* u = units_[k];
        EXPECT_EQ(u->state, US_NONE) << k;
        const UNIT_POS want = square[(k + 1) % 4];
        EXPECT_LE(std::max(abs(u->tilepos.x - want.x), abs(u->tilepos.y - want.y)), 1) << k;
        home += u->tilepos.x == want.x && u->tilepos.y == want.y;
    }
    EXPECT_GE(home, 3) << "all but the one that gave way reach their tiles";
}

// Four units crossing a junction of two roads two tiles wide, each going
// straight over: they met in the middle, each waiting for the tile of the
// next, and stood there under their move orders.
TEST_F(UnitsInPlay, FourUnitsCrossingAJunctionUnderMoveOrdersNoLongerJam)
{
    // Roads: rows 20 and 21 across, columns 20 and 21 down; walls elsewhere
    // within the square 10..31.
    for (int y = 10; y <= 31; y++)
        for (int x = 10; x <= 31; x++)
            if (!(y == 20 || y == 21 || x == 20 || x == 21)) Wall(x, y);
    Ready();
    struct Leg { UNIT_POS from, to; bool (*past)(const UNIT*); };
    const Leg legs[4] = {
        {{11, 20}, {30, 20}, [](const UNIT* u) { return u->tilepos.x >= 26; }},   // eastward
        {{21, 11}, {21, 30}, [](const UNIT* u) { return u->tilepos.y >= 26; }},   // southward
        {{30, 21}, {11, 21}, [](const UNIT* u) { return u->tilepos.x <= 15; }},   // westward
        {{20, 30}, {20, 11}, [](const UNIT* u) { return u->tilepos.y <= 15; }},   // northward
    };
    for (const Leg& l : legs) Watch(Tank(l.from.x, l.from.y));
    for (int k = 0; k < 4; k++) Units_SOrderMove(units_[k], legs[k].to.x, legs[k].to.y);
    Update(2000);
    EXPECT_LE(longest_, LIMIT);
    for (int k = 0; k < 4; k++) {
        EXPECT_TRUE(legs[k].past(units_[k])) << k << " at " << units_[k]->tilepos.x << "," << units_[k]->tilepos.y;
        EXPECT_EQ(units_[k]->sorder.code, SO_NONE) << k;
    }
}

// A unit going down a corridor one tile wide with an idle tank in its way:
// the detour table finds nothing and the search, which does not see units,
// gave the same path for ever. The idle tank, of the unit's team or a
// neutral one, steps aside (on ahead, the only way open) and the unit gets
// through, stopping a tile short where the tank ends up on its goal.
TEST_F(UnitsInPlay, RegressionAnIdleUnitInTheWayStepsAsideInANarrowWay)
{
    struct Row { const char* name; int team; int relation; };
    const Row rows[] = {{"own team", 1, TR_ALLY}, {"neutral team", 2, TR_NEUTRAL}};
    for (const Row& r : rows) Corridor(10 + 10 * (int)(&r - rows), 10, 30, {});
    Ready();
    for (const Row& r : rows) {
        const int y = 10 + 10 * (int)(&r - rows);
        Team_ForceRelation(1, r.team, r.relation);
        Team_ForceRelation(r.team, 1, r.relation);
        Tank(20, y, r.team);
        Watch(Tank(11, y));
        Units_MoveTo(units_.back(), 25, y, Units_AllocGroupId());
        Update(300);
        EXPECT_GE(units_.back()->tilepos.x, 24) << r.name;
        EXPECT_EQ(units_.back()->state, US_NONE) << r.name;
    }
    EXPECT_LE(longest_, LIMIT);
}

// Three idle tanks in a row in the corridor: the first has no free
// neighbour, but the last has; the three step aside together.
TEST_F(UnitsInPlay, RegressionIdleUnitsInTheWayStepAsideTogetherThroughACrowd)
{
    Corridor(10, 10, 30, {});
    Ready();
    for (int x = 20; x <= 22; x++) Tank(x, 10);
    Watch(Tank(11, 10));
    Units_MoveTo(units_[0], 25, 10, Units_AllocGroupId());
    Update(400);
    EXPECT_GE(units_[0]->tilepos.x, 24);
    EXPECT_EQ(units_[0]->state, US_NONE);
    EXPECT_LE(longest_, LIMIT);
}

// A boarder whose route passes its idle carrier: once beside it, the next
// step is still allowed, and it was stopped a step early. It takes that step,
// stops whole on the tile and boards when there is room; with none it stays
// there.
TEST_F(UnitsInPlay, BoarderBesideItsCarrierTakesTheStepItIsAllowed)
{
    Ready();
    UNITTYPE* carrier = QvWorld_UnitType("Carrier");
    carrier->holdmass = 10;
    struct Row { const char* name; int room; };
    const Row rows[] = {{"room", 1}, {"full", 0}};
    for (const Row& r : rows) {
        const int y = 10 + 10 * (int)(&r - rows);
        carrier->hold = (uint8_t)r.room;
        UNIT* c = Units_NewAt(carrier, 1, -1, 10, y);
        UNIT* u = Tank(11, y + 1);
        Units_SOrderBoard(u, c);
        for (int x = 10; x >= 7; x--) Path_Append(&u->move.path, x, y + 1);
        u->move.srchtilepos = {7, y + 1};
        u->state = US_MOVING;
        int stopped = 0;
        for (int i = 0; i < 100 && !stopped; i++) {
            Update(1);
            if (!u->onmap || Units_IsStationary(u)) stopped = i + 1;
        }
        ASSERT_GT(stopped, 0) << r.name;
        EXPECT_EQ(u->tilepos.x, 10) << r.name << ": one step past the tile where it came in reach";
        EXPECT_EQ(u->tilepos.y, y + 1) << r.name;
        EXPECT_EQ(u->pixelpos.x, 10 * 24) << r.name << ": not left in the step";
        EXPECT_EQ(u->pixelpos.y, (y + 1) * 24) << r.name;
        EXPECT_EQ(Path_Count(&u->move.path), 0) << r.name;
        Update(2);
        EXPECT_EQ(u->onmap, r.room ? 0 : 1) << r.name;
        EXPECT_EQ(Units_HoldHowMany(c), r.room) << r.name;
        EXPECT_EQ(u->sorder.code, SO_NONE) << r.name;
    }
}

// A unit whose stored path ends short of its goal (a path cut short, or the
// one tile of a step aside) and whose last stored step is held by a unit
// that won't step aside stopped there for good, its goal forgotten. Far from
// its goal it searches on and gets there; near it, it still stops.
TEST_F(UnitsInPlay, RegressionAUnitHeldAtTheEndOfAPathCutShortSearchesOn)
{
    Ready();
    Team_ForceRelation(1, 2, TR_ENEMY);
    Team_ForceRelation(2, 1, TR_ENEMY);
    struct Row { const char* name; int goalx; bool arrives; };
    const Row rows[] = {{"far", 20, true}, {"near", 13, false}};
    for (const Row& r : rows) {
        const int y = 10 + 10 * (int)(&r - rows);
        Tank(12, y, 2);   // an enemy: it is not asked aside
        Watch(Tank(10, y));
        UNIT* u = units_.back();
        Path_Append(&u->move.path, 11, y);
        Path_Append(&u->move.path, 12, y);
        u->move.srchtilepos = {r.goalx, y};
        u->state = US_MOVING;
        Update(400);
        EXPECT_EQ(u->state, US_NONE) << r.name;
        if (r.arrives) {
            EXPECT_EQ(u->tilepos.x, r.goalx) << r.name;
            EXPECT_EQ(u->tilepos.y, y) << r.name;
        } else {
            EXPECT_EQ(u->tilepos.x, 11) << r.name << ": stops short beside its goal";
        }
    }
    EXPECT_LE(longest_, LIMIT);
}

// A unit put back on the map away from where its stored path begins (a crew
// ordered on while inside the site it builds comes out on another side of
// it): it jumped onto the path's first tile four tiles off, or, with that
// tile held, took a detour that did not join its path (an assertion). It
// searches anew from its tile and walks there a tile a step.
TEST_F(UnitsInPlay, RegressionAUnitWhosePathBeginsElsewhereSearchesAnewFromItsTile)
{
    Ready();
    Team_ForceRelation(1, 2, TR_ENEMY);
    Team_ForceRelation(2, 1, TR_ENEMY);
    for (int held = 0; held < 2; held++) {
        const int y = 10 + 10 * held;
        if (held) Tank(14, y, 2);
        UNIT* u = Tank(10, y);
        for (int x = 14; x <= 17; x++) Path_Append(&u->move.path, x, y);
        u->move.srchtilepos = {17, y};
        u->state = US_MOVING;
        int jump = 0;
        for (int t = 0; t < 300; t++) {
            const UNIT_POS was = u->tilepos;
            Update(1);
            jump = std::max({jump, abs(u->tilepos.x - was.x), abs(u->tilepos.y - was.y)});
        }
        EXPECT_LE(jump, 1) << "held " << held;
        EXPECT_EQ(u->tilepos.x, 17) << "held " << held;
    }
}

} // namespace
