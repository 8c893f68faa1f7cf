// Unit movement: the step curve table, directions, step speeds, state
// commands, walking, blocking, phasing and moving aside.
#include "units/unitmove.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "core/crc32.h"
#include "core/gamestate.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/mapgrid.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "rules/gamemsg.h"
#include "support/world.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/prereq.h"
#include "units/target.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

// Saved games and replays carry the table: any change to it must be a
// deliberate one that updates this value.
TEST(StepCurves, TableIsStable)
{
    static_assert(sizeof(PIXELARRAY) == 3);
    EXPECT_EQ(sizeof(g_StepCurves), 1800u);
    EXPECT_EQ(Crc32_Block(g_StepCurves, sizeof(g_StepCurves)), 0x7E419DC2u);
}

// The fixed points the curves are drawn through: straight curves by their
// formula, curve 2 as curve 1's mirror, the landmarks of curves 1, 4 and 5.
TEST(StepCurves, PassThroughTheirFixedPoints)
{
    auto at = [](int c, int i) { return g_StepCurves[c * UNITS_CURVEPOINTS + i]; };
    auto point = [](const PIXELARRAY& p) { return std::vector<int>({p.xoff, p.yoff, p.facing}); };
    for (int i = 0; i < UNITS_CURVEPOINTS; i++) {
        const int s = i * 24 / 100;
        EXPECT_EQ(point(at(0, i)), std::vector<int>({s, 0, 0})) << i;
        EXPECT_EQ(point(at(3, i)), std::vector<int>({s, -s, 32})) << i;
        EXPECT_EQ(at(1, i).xoff * 100 + at(4, i).xoff, s * 101) << i;
        EXPECT_EQ(point(at(2, i)), std::vector<int>({at(1, i).xoff, -at(1, i).yoff, -at(1, i).facing}));
    }
    // Curve 1's landmarks: its bow and its facing over ranges of points.
    struct Span { int from, to, y, facing; };
    const int any = 99;
    const Span spans[] = {
        {0, 23, 0, any},   {24, 36, -1, any}, {37, 49, -2, any}, {50, 80, -3, any},
        {81, 89, -2, any}, {90, 95, -1, any}, {96, 99, 0, any},  {30, 36, any, 13},
        {65, 67, any, 0},  {99, 99, any, -31},
    };
    for (const Span& r : spans) {
        for (int i = r.from; i <= r.to; i++) {
            if (r.y != any) {
                EXPECT_EQ(at(1, i).yoff, r.y) << "curve 1 point " << i;
            }
            if (r.facing != any) {
                EXPECT_EQ(at(1, i).facing, r.facing) << "curve 1 point " << i;
            }
        }
    }
    // ...and only there: the facing rises to 13 and falls through 0.
    for (int i : {29, 37}) EXPECT_LT(at(1, i).facing, 13) << i;
    for (int i : {64, 68}) EXPECT_NE(at(1, i).facing, 0) << i;
    struct Row { int curve, i, x, y, facing; };
    const Row rows[] = {
        {4, 25, 6, -7, 37},  {4, 50, 12, -15, 36}, {4, 75, 18, -21, 27}, {4, 99, 23, -23, 0},
        {5, 25, 7, -6, 26},  {5, 50, 15, -12, 27}, {5, 75, 21, -18, 36}, {5, 99, 23, -23, 63},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(point(at(r.curve, r.i)), std::vector<int>({r.x, r.y, r.facing}))
            << "curve " << r.curve << " point " << r.i;
    }
}

TEST(StepDirections, VectorsAndNeighbours)
{
    QvLogCapture log;
    struct Row { int dx, dy, dir; };
    const Row rows[] = {
        {3, 0, 0}, {2, -5, 1}, {0, -1, 2}, {-1, -1, 3}, {-4, 0, 4}, {-1, 7, 5}, {0, 2, 6}, {9, 9, 7},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Units_GetVectorDir(20, 20, 20 + r.dx, 20 + r.dy), r.dir);
        int x = 20, y = 20;
        Units_DirToNeighbour(r.dir, &x, &y);
        EXPECT_EQ(Units_GetVectorDir(20, 20, x, y), r.dir);
        Units_DirToPrevious(r.dir, &x, &y);
        Units_DirToPrevious(r.dir, &x, &y);
        EXPECT_EQ(Units_GetVectorDir(x, y, 20, 20), r.dir);
    }
    EXPECT_TRUE(log.text().empty());
    EXPECT_EQ(Units_GetVectorDir(5, 6, 5, 6), 0);
    EXPECT_NE(log.text().find("GetVectorDir 5,6 -> 5,6 invalid coz its the same tile"),
              std::string::npos);
}

using StepSpeed = QvWorldTest;

TEST_F(StepSpeed, ComputedFromTypeSpeedAndClimb)
{
    struct Row { int typespeed; int climb; bool fly; int want; };
    const Row rows[] = {
        {10, 0, false, 10},  // 200000 x 17/17
        {10, 1, false, 9},   // 200000 x 16/17 = 188235
        {10, 17, false, 1},  // nothing left: at least 1
        {10, 20, false, 1},  // a drop beyond 17 turns the factor negative
        {10, 20, true, 10},  // fliers ignore the climb
        {100, 0, false, 59}, // at most 59
    };
    for (const Row& r : rows) {
        UNITTYPE* type = r.fly ? jet_ : tank_;
        type->speed = (uint8_t)r.typespeed;
        UNIT* u = Units_NewAt(type, 1, -1, 5, 5);
        MAP_ELEMENT_AT(6, 5)->altitude = (uint32_t)(4 + r.climb) & 31;
        MAP_ELEMENT_AT(5, 5)->altitude = 4;
        int s = -1;
        EXPECT_EQ(Units_ComputeSpeed(u, 5, 5, 6, 5, &s), r.want)
            << "speed " << r.typespeed << " climb " << r.climb;
        EXPECT_EQ(s, 100);
        Units_Delete(u);
    }
}

class StepCommands : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Pathsrch_Init();
    }
    void TearDown() override
    {
        Pathsrch_Close();
        CRE_Close();
        PREREQ_Done();
        QvWorldTest::TearDown();
    }
};

// A command acts at once on a unit between steps; during a step it is kept
// and acts the same way when the pending command runs, which clears it.
TEST_F(StepCommands, ActAtOnceOrWaitForTheStep)
{
    TARGET ground;
    Target_Setup(&ground, FM_GROUND, nullptr, nullptr, 9, 9);
    struct Row { const char* name; std::function<void(UNIT*)> command; int state; int pending; };
    const Row rows[] = {
        {"stop", [](UNIT* u) { Units_StopMove(u); }, US_NONE, UNS_STOP},
        {"wait", [](UNIT* u) { Units_Wait(u, 7); }, US_WAITING, UNS_WAIT},
        {"move", [](UNIT* u) { Units_MoveTo(u, 20, 21, 4); }, US_WAITFORPATH, UNS_MOVE},
        {"move here", [](UNIT* u) { Units_MoveTo(u, 5, 5, 4); }, US_NONE, UNS_MOVE},
        {"turn", [](UNIT* u) { Units_TurnTo(u, 96); }, US_NONE, UNS_ROTATE},
        {"fire", [&](UNIT* u) { Units_Fire(u, &ground); }, US_FIRING, UNS_FIRE},
        {"fire once", [&](UNIT* u) { Units_FireOnce(u, &ground); }, US_FIRINGONCE, UNS_FIREONCE},
        {"obstacle", [](UNIT* u) { Units_WaitForObstacle(u); }, US_WAITFOROBSTACLE,
         UNS_WAITFOROBSTACLE},
        {"phase, unable", [](UNIT* u) { Units_Phase(u); }, US_NONE, UNS_PHASE},
    };
    for (const Row& r : rows) {
        for (bool stepping : {false, true}) {
            UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
            u->state = stepping ? US_MOVING : US_NONE;
            r.command(u);
            if (stepping) {
                EXPECT_EQ(u->state, US_MOVING) << r.name;
                EXPECT_EQ(u->nextstate.type, r.pending) << r.name;
                Units_RunPendingMoveCommand(u);
            }
            EXPECT_EQ(u->state, r.state) << r.name << (stepping ? " after the step" : "");
            EXPECT_EQ(u->nextstate.type, UNS_NONE) << r.name;
            if (r.pending == UNS_WAIT) {
                EXPECT_EQ(u->move.waituntil, g_UpdateCount + 7);
            }
            if (r.pending == UNS_MOVE) {
                EXPECT_EQ(u->move.srchtilepos.x, r.state == US_NONE ? 5 : 20) << r.name;
                EXPECT_EQ(u->move.groupid, 4u) << r.name;
            }
            Units_Delete(u);
        }
    }
}

using MoveMode = QvWorldTest;

TEST_F(MoveMode, ChangeRefusedOnAnOccupiedLevel)
{
    UNIT* u = Units_NewAt(tank_, 1, -1, 8, 8);
    UNIT* above = Units_NewAt(jet_, 1, -1, 8, 8);
    ASSERT_NE(above, nullptr);
    EXPECT_EQ(Units_SetMoveMode(u, MM_FLY), 0);
    EXPECT_EQ(u->movemode, MM_GROUND);
    EXPECT_EQ(MAP_ELEMENT_AT(8, 8)->unit[ML_GROUND], u);
    EXPECT_EQ(Units_SetMoveMode(u, MM_HOVER), 1);   // the same level: its own tile
    EXPECT_EQ(Units_SetMoveMode(u, MM_TUNNEL), 1);
    EXPECT_EQ(u->maplevel, ML_TUNNEL);
    EXPECT_EQ(MAP_ELEMENT_AT(8, 8)->unit[ML_TUNNEL], u);
    EXPECT_EQ(MAP_ELEMENT_AT(8, 8)->unit[ML_GROUND], nullptr);
}

enum { WALL = 9 };   // special effect of a wall tile in the walkers' table

class Walking : public StepCommands {
protected:
    void SetUp() override
    {
        StepCommands::SetUp();
        Pathsrch_Close();
        EFFECTTYPE* table = Effects_NewTable("Treads", 100, 2);
        Effects_SetEffect(table, 17, 1, 0, 0);   // special effect 9: wall
        tank_->effects = table;
        tank_->speed = 100;
    }
    void Ready() { Pathsrch_Init(); }
    static void Wall(int x, int y) { MAP_ELEMENT_AT(x, y)->effect = WALL; }
    // One update of every unit's movement, with searches run to their end.
    static void Update()
    {
        Pathsrch_RunAll();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_UpdateMovement(u);
        g_UpdateCount++;
    }
    // Updates until every unit stands still (at most limit); the count.
    static int Settle(int limit)
    {
        for (int n = 1; n <= limit; n++) {
            Update();
            bool still = true;
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            while (UNIT* u = Iterate_UnitNext(&it)) still = still && Units_IsStationary(u);
            if (still && Pathsrch_Pending() == 0) return n;
        }
        return limit + 1;
    }
};

// From standing, the step speed ramps by 3; at full speed (59) a tile takes
// two updates, and what passes the tile's end carries into the next step.
TEST_F(Walking, StepSpeedRampsAndCarriesOver)
{
    Ready();
    struct Row { int startspeed; int pos[8]; int x[8]; };
    const Row rows[] = {
        {0, {3, 9, 18, 30, 45, 63, 84, 108}, {6, 6, 6, 6, 6, 6, 6, 6}},
        {59, {59, 118, 77, 136, 95, 154, 113, 72}, {6, 6, 7, 7, 8, 8, 9, 10}},
    };
    for (const Row& r : rows) {
        UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
        for (int x = 6; x <= 20; x++) Path_Append(&u->move.path, x, 5);
        u->move.srchtilepos = {20, 5};
        u->state = US_MOVING;
        u->move.curspeed = (uint8_t)r.startspeed;
        for (int i = 0; i < 8; i++) {
            Update();
            EXPECT_EQ(u->move.curvepos, r.pos[i]) << "from " << r.startspeed << " update " << i;
            EXPECT_EQ(u->tilepos.x, r.x[i]) << "from " << r.startspeed << " update " << i;
        }
        Path_Clear(&u->move.path);
        Units_Delete(u);
    }
}

// For every direction and turn, the step's last point lies on the way to the
// neighbour in that direction (a pixel short of its tile) and the curve's
// last facing is the table's end facing, to within one.
TEST_F(Walking, EveryStepEndsTowardsItsNeighbourWithTheEndFacing)
{
    Ready();
    for (int d1 = 0; d1 < 8; d1++)
        for (int turn = 0; turn < 8; turn++) {
            UNIT* u = Units_NewAt(tank_, 1, -1, 20, 20);
            int x = 20, y = 20;
            Units_DirToNeighbour(d1, &x, &y);
            Path_Append(&u->move.path, x, y);
            Units_DirToNeighbour(((d1 & ~1) + turn) & 7, &x, &y);
            Path_Append(&u->move.path, x, y);
            u->state = US_MOVING;
            ASSERT_EQ(Units_BeginPathStep(u), 1);
            u->move.curvepos = UNITS_CURVEPOINTS - 1;
            Units_ApplyStepCurve(u);
            int nx = 0, ny = 0;
            Units_DirToNeighbour(d1, &nx, &ny);
            EXPECT_EQ(u->pixelpos.x, 20 * 24 + nx * 23) << d1 << " turn " << turn;
            EXPECT_EQ(u->pixelpos.y, 20 * 24 + ny * 23) << d1 << " turn " << turn;
            const int last = u->move.pixelarray[UNITS_CURVEPOINTS - 1].facing + u->move.basefacing;
            EXPECT_LE(abs((int8_t)(uint8_t)(last - u->move.facing)), 1) << d1 << " turn " << turn;
            Path_Clear(&u->move.path);
            Units_Delete(u);
        }
}

// A unit sent somewhere gets there and stops on the tile; one sent to a
// walled-in goal stops where its path ends, and no search starts again.
TEST_F(Walking, ArrivesOrStopsWherePathEnds)
{
    for (int y = 10; y <= 14; y++) Wall(30, y), Wall(34, y);
    for (int x = 30; x <= 34; x++) Wall(x, 10), Wall(x, 14);
    Ready();
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    Units_MoveTo(u, 20, 12, Units_AllocGroupId());
    EXPECT_LE(Settle(200), 200);
    EXPECT_EQ(u->pixelpos.x, 20 * 24);
    EXPECT_EQ(u->pixelpos.y, 12 * 24);
    EXPECT_EQ(MAP_ELEMENT_AT(20, 12)->unit[ML_GROUND], u);

    Units_MoveTo(u, 32, 12, Units_AllocGroupId());
    EXPECT_LE(Settle(200), 200);
    const uint32_t searched = Pathsrch_Expansions();
    for (int i = 0; i < 20; i++) Update();
    EXPECT_EQ(Pathsrch_Expansions(), searched);
    EXPECT_EQ(u->state, US_NONE);
    EXPECT_EQ(u->move.srchtilepos.x, u->tilepos.x);
    EXPECT_LE(abs(u->tilepos.x - 32), 3);
}

// A wall on the next tile: the detours of the step's parity and turn in the
// table's order, then a new search when none is open; on the last step, a
// stop.
TEST_F(Walking, BlockedStepTriesTheDetoursInOrderThenSearches)
{
    Ready();
    struct Row {
        const char* name;
        int d1, steps, state;                // the path's length, the state after
        std::vector<UNIT_POS> walls, want;   // want: the path's next tiles
    };
    const Row rows[] = {
        {"east, first", 0, 3, US_MOVING, {{11, 10}}, {{11, 9}, {12, 10}}},
        {"east, second", 0, 3, US_MOVING, {{11, 10}, {11, 9}}, {{11, 11}, {12, 10}}},
        {"east, none", 0, 3, US_WAITFORPATH, {{11, 10}, {11, 9}, {11, 11}}, {}},
        {"north-east, first", 1, 3, US_MOVING, {{11, 9}}, {{11, 10}, {12, 9}, {12, 8}}},
        {"north-east, second", 1, 3, US_MOVING, {{11, 9}, {11, 10}}, {{10, 9}, {11, 8}, {12, 8}}},
        {"north-east, none", 1, 3, US_WAITFORPATH, {{11, 9}, {11, 10}, {10, 9}}, {}},
        {"last step: stops", 0, 1, US_NONE, {{11, 10}}, {}},
    };
    for (const Row& r : rows) {
        for (UNIT_POS w : r.walls) Wall(w.x, w.y);
        UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
        for (int k = 1; k <= r.steps; k++) Path_Append(&u->move.path, 10 + k, 10 - k * r.d1);
        u->move.srchtilepos = {10 + r.steps, 10 - r.steps * r.d1};
        u->state = US_MOVING;
        EXPECT_EQ(Units_BeginPathStep(u), 0) << r.name;
        EXPECT_EQ(u->state, r.state) << r.name;
        if (r.state == US_NONE) {
            EXPECT_EQ(u->move.srchtilepos.x, 10) << "stopped at home";
        }
        for (size_t k = 0; k < r.want.size(); k++) {
            int x = 0, y = 0;
            Path_Peek(&u->move.path, &x, &y, (int)k);
            EXPECT_EQ(std::pair(x, y), std::pair(r.want[k].x, r.want[k].y)) << r.name << " " << k;
        }
        Units_Delete(u);
        for (UNIT_POS w : r.walls) MAP_ELEMENT_AT(w.x, w.y)->effect = MAP_EFFECT_NONE;
    }
}

// An idle unit in the way is asked aside only by an ally standing on a tile
// of special effect 2 or 4; then the step waits for the tile.
TEST_F(Walking, IdleAlliesStepAsideOnSpecialTiles)
{
    Ready();
    Team_SetRelation(1, 3, TR_ALLY);
    Team_SetRelation(3, 1, TR_ALLY);
    struct Row { int team, effect; bool aside; };
    const Row rows[] = {{3, 2, true}, {3, 4, true}, {3, 3, false}, {2, 2, false}};
    for (const Row& r : rows) {
        MAP_ELEMENT_AT(10, 10)->effect = (uint32_t)r.effect;
        UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
        UNIT* o = Units_NewAt(tank_, r.team, -1, 11, 10);
        for (int x = 11; x <= 13; x++) Path_Append(&u->move.path, x, 10);
        u->state = US_MOVING;
        Units_BeginPathStep(u);
        EXPECT_EQ(o->state, r.aside ? US_WAITFORPATH : US_NONE) << r.team << " " << r.effect;
        EXPECT_EQ(u->state, r.aside ? US_WAITFOROBSTACLE : US_MOVING) << r.team << " " << r.effect;
        int x = 0, y = 0;
        Path_Peek(&u->move.path, &x, &y, 0);
        EXPECT_EQ(std::pair(x, y), std::pair(11, r.aside ? 10 : 9)) << "waits, or goes round";
        Units_Delete(u);
        Units_Delete(o);
    }
    MAP_ELEMENT_AT(10, 10)->effect = MAP_EFFECT_NONE;
}

// A unit waiting for the tile ahead stops waiting when the unit there is
// heading for its own tile; it keeps waiting for one going elsewhere.
TEST_F(Walking, HeadOnMeetingEndsTheWait)
{
    Ready();
    struct Row { int bnextx; int state; };
    const Row rows[] = {{5, US_NONE}, {7, US_WAITFOROBSTACLE}};
    for (const Row& r : rows) {
        UNIT* a = Units_NewAt(tank_, 1, -1, 5, 5);
        UNIT* b = Units_NewAt(tank_, 1, -1, 6, 5);
        Path_Append(&a->move.path, 6, 5);
        Path_Append(&b->move.path, r.bnextx, 5);
        a->move.srchtilepos = {6, 5};
        b->move.srchtilepos = {r.bnextx, 5};
        a->state = US_WAITFOROBSTACLE;
        b->state = US_MOVING;
        Units_UpdateMovement(a);
        EXPECT_EQ(a->state, r.state) << r.bnextx;
        Path_Clear(&a->move.path);
        Path_Clear(&b->move.path);
        Units_Delete(a);
        Units_Delete(b);
    }
}

TEST_F(Walking, MoveAsideTakesTheFirstFreeNeighbour)
{
    Ready();
    UNIT* u = Units_NewAt(tank_, 1, -1, 10, 10);
    struct Row { int taken; int wantx, wanty; };   // directions 0..taken-1 walled
    const Row rows[] = {{0, 11, 10}, {1, 11, 9}, {5, 9, 11}, {8, 0, 0}};
    for (const Row& r : rows) {
        for (int d = 0; d < 8; d++) {
            int x = 10, y = 10;
            Units_DirToNeighbour(d, &x, &y);
            MAP_ELEMENT_AT(x, y)->effect = d < r.taken ? (uint32_t)WALL : (uint32_t)MAP_EFFECT_NONE;
        }
        u->state = US_NONE;
        Path_Clear(&u->move.path);
        EXPECT_EQ(Pathsrch_MoveAside(u, 0), r.taken < 8 ? 1 : 0) << r.taken;
        if (r.taken < 8) {
            EXPECT_EQ(u->move.srchtilepos.x, r.wantx) << r.taken;
            EXPECT_EQ(u->move.srchtilepos.y, r.wanty) << r.taken;
        }
    }
}

TEST_F(Walking, CrushingOnlyWeakerEnemies)
{
    Ready();
    UNITTYPE* crusher = QvWorld_UnitType("Crusher");
    crusher->rundowninfo.attack = 5;
    Team_SetRelation(1, 2, TR_ENEMY);
    Team_SetRelation(1, 3, TR_NEUTRAL);
    struct Row { int team; int defence; bool crushed; };
    const Row rows[] = {{2, 4, true}, {2, 5, false}, {3, 0, false}};
    for (const Row& r : rows) {
        tank_->rundowninfo.defence = r.defence;
        UNIT* c = Units_NewAt(crusher, 1, -1, 5, 5);
        UNIT* v = Units_NewAt(tank_, r.team, -1, 6, 5);
        const int kills = teamdata[1].stats.kills_units;
        Units_CanEnterTile(c, 6, 5);
        EXPECT_EQ(v->hitpoints == 0, r.crushed) << r.team << " " << r.defence;
        EXPECT_EQ(teamdata[1].stats.kills_units - kills, r.crushed ? 1 : 0);
        Units_Delete(c);
        Units_Delete(v);
    }
}

// Units crossing an obstacle field both ways: every unit stays where the map
// says it is, the fog matches a fresh sweep, the grid cells follow, and a
// second run goes exactly the same way.
class Crossing : public Walking {
protected:
    std::vector<uint64_t> Run()
    {
        for (int x = 20; x < 44; x += 3)
            for (int y = 3 + (x % 2); y < 60; y += 4) Wall(x, y);
        Ready();
        g_UpdateCount = 0;
        // 100 a side in two columns, each heading for the other side's rows
        // in reverse order.
        for (int i = 0; i < 100; i++) {
            const int y = 5 + i % 50, col = i / 50;
            UNIT* a = Units_NewAt(tank_, 1, -1, 4 + col, y);
            UNIT* b = Units_NewAt(tank_, 2, -1, 59 - col, y);
            Units_MoveTo(a, 56 + col, 59 - y, Units_AllocGroupId());
            Units_MoveTo(b, 7 - col, 59 - y, Units_AllocGroupId());
        }
        std::vector<uint64_t> digests;
        for (int n = 0; n < 500; n++) {
            Pathsrch_Update();
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            while (UNIT* u = Iterate_UnitNext(&it)) Units_UpdateMovement(u);
            g_UpdateCount++;
            digests.push_back(QvDigest_State());
            if (n % 100 == 99) CheckConsistent();
        }
        int crossed = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it))
            crossed += u->team == 1 ? u->tilepos.x > 44 : u->tilepos.x < 20;
        // Jams in the middle wait for orders that send them on again.
        EXPECT_GT(crossed, 30);
        return digests;
    }
    void CheckConsistent()
    {
        int units = 0, claimed = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) {
            units++;
            EXPECT_EQ(MAP_ELEMENT_AT(u->tilepos.x, u->tilepos.y)->unit[u->maplevel], u);
            ITERATOR cell;
            Iterate_UnitInitMapGrid(&cell, u->team, 0, MM_ALL, u->tilepos.x, u->tilepos.y,
                                    u->tilepos.x, u->tilepos.y);
            int found = 0;
            while (UNIT* v = Iterate_UnitNextMapGrid(&cell)) found += v == u;
            EXPECT_EQ(found, 1) << "unit " << u->id << " in the grid at its tile";
        }
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++)
                for (int l = 0; l < ML_LEVELS; l++) claimed += MAP_ELEMENT_AT(x, y)->unit[l] != nullptr;
        EXPECT_EQ(claimed, units);
        std::vector<int> seen;
        for (int t = 1; t <= 2; t++)
            for (int y = 1; y < mapsizey; y++)
                for (int x = 1; x < mapsizex; x++) seen.push_back(Fog_SeenCount(x, y, t));
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Fog_UnsweepUnit(u);
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Fog_SweepUnit(u);
        size_t k = 0;
        int mismatched = 0;
        for (int t = 1; t <= 2; t++)
            for (int y = 1; y < mapsizey; y++)
                for (int x = 1; x < mapsizex; x++) mismatched += seen[k++] != Fog_SeenCount(x, y, t);
        EXPECT_EQ(mismatched, 0);
    }
};

TEST_F(Crossing, ConsistentAndRepeatable)
{
    const std::vector<uint64_t> first = Run();
    TearDown();
    SetUp();
    const std::vector<uint64_t> second = Run();
    for (size_t i = 0; i < first.size(); i++) ASSERT_EQ(first[i], second[i]) << "update " << i;
}

class PhasedUnit : public Walking {
protected:
    void SetUp() override
    {
        Walking::SetUp();
        gate_ = QvWorld_BuildingType("Gate", 1, 1);
        gate_->prereq.id = 7;
        tank_->abilities.canphase = 1;
        tank_->phaseinfo.a = 50;
        tank_->phaseinfo.buildingtype = gate_;
        Ready();
        PREREQ_Init();
        PREREQ_Add(gate_, 7, 1);
    }
    BUILDINGTYPE* gate_ = nullptr;
};

TEST_F(PhasedUnit, PhasingNeedsEveryConditionAndGivesTheLevelBack)
{
    struct Row { const char* name; std::function<void(UNIT*)> spoil; bool able; };
    const Row rows[] = {
        {"able", [](UNIT*) {}, true},
        {"off the map", [](UNIT* u) { Units_RemoveFromMap(u); }, false},
        {"type can't", [this](UNIT*) { tank_->abilities.canphase = 0; }, false},
        {"phased", [](UNIT* u) { u->isphased = 1; }, false},
        {"hurt", [this](UNIT* u) { u->hitpoints = tank_->maxhitpoints / 2 - 1; }, false},
        {"just enough", [this](UNIT* u) { u->hitpoints = tank_->maxhitpoints / 2; }, true},
        {"no building type", [this](UNIT*) { tank_->phaseinfo.buildingtype = nullptr; }, false},
        {"no building", [](UNIT* u) { u->team = 2; }, false},
        {"unit below",
         [this](UNIT*) { MAP_ELEMENT_AT(8, 8)->unit[ML_TUNNEL] = Units_NewAt(jet_, 1, -1, 3, 3); },
         false},
        {"bare corner", [](UNIT*) { MAP_ELEMENT_AT(8, 8)->tile = 0x1101; }, false},
    };
    for (const Row& r : rows) {
        MAP_ELEMENT_AT(8, 8)->tile = 0x1111;
        tank_->abilities.canphase = 1;
        tank_->phaseinfo.buildingtype = gate_;
        UNIT* u = Units_NewAt(tank_, 1, -1, 8, 8);
        r.spoil(u);
        EXPECT_EQ(Units_AbleToPhase(u) != 0, r.able) << r.name;
        u->team = 1;
        u->isphased = 0;
        MAP_ELEMENT_AT(8, 8)->unit[ML_TUNNEL] = nullptr;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* v = Iterate_UnitNext(&it)) Units_Delete(v);
    }

}

// What a phased unit does by itself, and a move given while it is below
// that it carries out once surfaced.
TEST_F(PhasedUnit, SurfacesDiesOrStays)
{
    struct Row {
        const char* name;
        std::function<void(UNIT*)> event;
        int state;           // after the updates
        bool dead;
        int level;
    };
    const Row rows[] = {
        {"stays", [](UNIT*) {}, US_PHASING, false, ML_TUNNEL},
        {"told to surface", [](UNIT* u) { Units_UnPhase(u); }, US_NONE, false, ML_GROUND},
        {"hurt", [this](UNIT* u) { u->hitpoints = tank_->maxhitpoints / 4; }, US_NONE, false,
         ML_GROUND},
        {"gate gone", [this](UNIT*) { PREREQ_Remove(gate_, 7, 1); }, US_NONE, false, ML_GROUND},
        {"gate gone, unit above",
         [this](UNIT*) {
             PREREQ_Remove(gate_, 7, 1);
             Units_NewAt(tank_, 1, -1, 8, 8)->sorder.code = SO_MOVE;
         },
         US_NONE, true, ML_TUNNEL},
        {"ordered to move",
         [](UNIT* u) {
             u->sorder.code = SO_MOVE;
             Units_MoveTo(u, 20, 21, 6);
         },
         US_WAITFORPATH, false, ML_GROUND},
    };
    for (const Row& r : rows) {
        if (PREREQ_HowMany(7, 1) == 0) PREREQ_Add(gate_, 7, 1);
        UNIT* u = Units_NewAt(tank_, 1, -1, 8, 8);
        Units_Phase(u);
        ASSERT_EQ(u->state, US_PHASING) << r.name;
        r.event(u);
        for (int i = 0; i < 3; i++) Units_UpdateMovement(u);
        if (!r.dead) {
            EXPECT_EQ(u->state, r.state) << r.name;
        }
        EXPECT_EQ(u->hitpoints == 0, r.dead) << r.name;
        EXPECT_EQ(u->maplevel, r.level) << r.name;
        EXPECT_EQ(PhaseEff_First() == nullptr, r.level == ML_GROUND) << r.name;
        if (r.state == US_WAITFORPATH) {
            EXPECT_EQ(std::pair(u->move.srchtilepos.x, u->move.srchtilepos.y), std::pair(20, 21));
            EXPECT_EQ(u->move.groupid, 6u) << "the move keeps its arguments across surfacing";
        }
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* v = Iterate_UnitNext(&it)) Units_Delete(v);
    }
}

// The frame loop's check: the local team hears its phase buildings go
// offline when the last one goes, and online when it has one again, once.
TEST_F(PhasedUnit, PhaseMessagesOnceWhenTheLastBuildingGoesAndComesBack)
{
    {
        QvLocalMessages local("CreateMsg(\"MSG_PHASEOFFLINE\") { }\n"
                              "CreateMsg(\"MSG_PHASEONLINE\") { }\n");
        GameMsg_Init();
    }
    GameMsg_LookupStdIds();
    const int oldlocal = g_LocalTeam;
    g_LocalTeam = 1;
    Units_ResetPhaseMessages();
    struct Row { int change; bool offline, online; };   // gates added (+) or removed (-)
    const Row rows[] = {{0, false, false}, {+1, false, false}, {-1, false, false},
                        {-1, true, false}, {0, false, false},  {+1, false, true},
                        {0, false, false}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const Row& r = rows[i];
        if (r.change > 0) PREREQ_Add(gate_, 7, 1);
        if (r.change < 0) PREREQ_Remove(gate_, 7, 1);
        for (int m : {MSG_PHASEOFFLINE, MSG_PHASEONLINE}) GameMsg_Std(m)->lasttime = -1000000;
        Units_CheckPhaseMessages();
        EXPECT_EQ(GameMsg_Std(MSG_PHASEOFFLINE)->lasttime != -1000000, r.offline) << "check " << i;
        EXPECT_EQ(GameMsg_Std(MSG_PHASEONLINE)->lasttime != -1000000, r.online) << "check " << i;
    }
    g_LocalTeam = oldlocal;
    GameMsg_ResetStdIds();
    GameMsg_Close();
}

// An attacker without guns walks on only towards a target it can run over.
TEST_F(Walking, AttackersStopWhenTheyCantReachTheirTarget)
{
    Ready();
    UNITTYPE* crusher = QvWorld_UnitType("Crusher");
    crusher->rundowninfo.attack = 5;
    struct Row { bool target; int defence; int enter; };
    const Row rows[] = {{false, 0, 0}, {true, 4, 1}};
    for (const Row& r : rows) {
        tank_->rundowninfo.defence = r.defence;
        UNIT* c = Units_NewAt(crusher, 1, -1, 5, 5);
        UNIT* v = Units_NewAt(tank_, 2, -1, 20, 5);
        c->sorder.code = SO_ATTACK;
        Target_Setup(&c->sorder.attack.target, r.target ? FM_UNIT : FM_NONE, v, nullptr, 0, 0);
        Path_Append(&c->move.path, 7, 5);
        c->state = US_MOVING;
        EXPECT_EQ(Units_CanEnterTile(c, 6, 5), r.enter) << r.target << " " << r.defence;
        EXPECT_EQ(Path_Count(&c->move.path), r.enter) << "a stop clears the path";
        Path_Clear(&c->move.path);
        Units_Delete(c);
        Units_Delete(v);
    }
}

// A boarding unit keeps its route aimed at the carrier (its destination
// while it moves); within a tile of it, the step is its last.
TEST_F(Walking, BoardersFollowTheirCarrier)
{
    Ready();
    enum { GONE, NEAR, FAR, MOVING };
    struct Row { int carrier; bool heads; int enter, state, movex; };
    const Row rows[] = {{GONE, false, 0, US_NONE, -1}, {NEAR, false, 1, US_MOVING, -1},
                        {FAR, false, 0, US_MOVING, 12}, {FAR, true, 1, US_MOVING, -1},
                        {MOVING, false, 0, US_MOVING, 15}, {MOVING, true, 1, US_MOVING, -1}};
    for (const Row& r : rows) {
        UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
        UNIT* c = Units_NewAt(tank_, 1, -1, r.carrier == NEAR ? 6 : 12, 5);
        c->move.srchtilepos = {15, 9};
        c->state = r.carrier == MOVING ? US_MOVING : US_NONE;
        u->sorder.code = SO_BOARD;
        u->sorder.board = {{c, c->id}, 0};
        if (r.carrier == GONE) Units_Delete(c);
        u->move.srchtilepos = !r.heads ? UNIT_POS{30, 30} : r.carrier == MOVING ? UNIT_POS{15, 9} : UNIT_POS{12, 5};
        Path_Append(&u->move.path, 7, 5);
        u->state = US_MOVING;
        EXPECT_EQ(Units_CanEnterTile(u, 6, 6), r.enter) << r.carrier << r.heads;
        EXPECT_EQ(u->state, r.state) << r.carrier << r.heads;
        EXPECT_EQ(u->nextstate.type == UNS_MOVE ? u->nextstate.move.x : -1, r.movex) << r.carrier;
        if (r.carrier == NEAR) {
            EXPECT_EQ(Path_Count(&u->move.path), 0) << "no step after this one";
        }
        u->nextstate.type = UNS_NONE;
        Path_Clear(&u->move.path);
        Units_Delete(u);
        if (r.carrier != GONE) Units_Delete(c);
    }
}

} // namespace
