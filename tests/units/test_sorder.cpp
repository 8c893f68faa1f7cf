// Service orders, automatic targeting and the player orders that give them.
#include "units/unitproc.h"
#include "units/unitsorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "ai/aip.h"
#include "ai/aiprog.h"
#include "ai/aiteam.h"
#include "core/angle.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "gen_sprites.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/pathsrch.h"
#include "map/region.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/autotarget.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitstate.h"
#include "units/vortex.h"
#include "units/weapon.h"

namespace {

// Tanks of a body and a turret carrying a gun of 4 tiles' reach, on a 64 x 64
// map with the path search, parts, projectiles and orders running.
class SOrderTest : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        SortDisp_Init();
        Parts_Init();
        Projectile_Init();
        Weapon_Init();
        Damage_Init();
        Pathsrch_Init();
        Cfg_SetDefaults(&g_Config);
        Orders_Init();
        g_UpdateCount = 1;
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 4, 8, 8, 8, &g);
        g.sectionno = {0, 1};
        g.sections = {{0, 0, SPRITE_SPEED_ONE, 0}, {1, 3, SPRITE_SPEED_ONE, 0}};
        SPRITE_DESC d = g.Desc();
        const std::string path = dir_.file("part.spr");
        ASSERT_EQ(Sprite_Write(path.c_str(), &d), 1);
        sprite_ = Sprite_Load(path.c_str());
        gun_ = Weapon_NewType();
        gun_->kind = WLINEAR;
        gun_->CanShootGround = 1;
        gun_->tilerange = 4;
        gun_->range = 4.5f * 24;
        gun_->initialspeed = 12;
        gun_->firedelay = 6;
        gun_->maxammo = 0;
        gun_->directhitpointdamage = 20;
        gun_->oinfo = OFFENSEINFO{-1, 0, 0};
        for (int i = 0; i < 2; i++) {
            PARTTYPE* t = Parts_NewType();
            t->sprite = sprite_;
            t->nrweapons = i;
            t->weapons[0] = {gun_, 1, 1};
            tank_->partinfo.parttype[i] = t;
        }
        tank_->partinfo.nrparts = 2;
        tank_->maxhitpoints = 100;
        tank_->seeingrange = 6;
        tank_->scandelay = 1;
    }
    void TearDown() override
    {
        Orders_Close();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Pathsrch_Close();
        CRE_Close();
        PREREQ_Done();
        Vortex_Close();
        Swave_Close();
        Projectile_Close();
        Parts_Close();
        Weapon_Close();
        Damage_Close();
        Region_FreeAll();
        Sprite_Free(sprite_);
        SortDisp_Close();
        Fog_SetSeeAll(0);
        QvWorldTest::TearDown();
        g_UpdateCount = 0;
    }
    UNIT* Tank(int team, int x, int y) { return Units_NewAt(tank_, team, -1, x, y); }
    // One update: the searches, the units' step, then the shots fly and the
    // orders given during the update are carried out.
    void Update()
    {
        Pathsrch_Update();
        Units_ProcessAll();
        Weapon_UpdateProjectiles();
        Orders_AfterUpdate();
        g_UpdateCount++;
    }
    static UNITLIST Ids(const std::vector<UNIT*>& units)
    {
        UNITLIST l;
        Units_ListInit(&l);
        for (UNIT* u : units) Units_ListAppend(&l, nullptr, u->id);
        return l;
    }
    static int Count(int team)
    {
        int n = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) n += u->team == team && u->hitpoints >= 1;
        return n;
    }

    QvTempDir dir_;
    SPRITE* sprite_ = nullptr;
    WEAPONTYPE* gun_ = nullptr;
};

// ------------------------------------------------------------------ the battle

// Two companies a screen apart roam until they meet, then fight and answer
// hits on their own until one side is gone.
// Team 1 a computer team under a started frame (every type armed, as
// the strengths need); the frame closed at the end of the scope.
struct ComputerTeam1 {
    explicit ComputerTeam1(UNITTYPE* jet, UNITTYPE* tank)
    {
        jet->partinfo = tank->partinfo;
        for (TEAM_DATA& td : teamdata) td.type = TT_HUMAN;
        teamdata[1].type = TT_COMPUTER;
        PREREQ_Init();
        AI_Init();
        AI_Activate(1);
    }
    ~ComputerTeam1() { AI_Close(); }
};

TEST_F(SOrderTest, AComputerTeamsIdleIndirectFireUnitsJoinItsFirstAttack)
{
    gun_->CanShootIndirect = 1;
    ComputerTeam1 ai(jet_, tank_);
    UNIT* a = Tank(1, 10, 10);
    UNIT* b = Tank(1, 10, 12);
    UNIT* other = Tank(3, 30, 30);   // not a computer team: never listed
    for (UNIT* u : {a, b, other}) u->sorder.nextscantime = INT32_MAX;
    Update();
    EXPECT_EQ(Units_ListSize(&teamdata[1].idleindirectfireunits), 2);
    EXPECT_EQ(Units_ListSize(&teamdata[3].idleindirectfireunits), 0);
    UNIT* enemy = Tank(2, 12, 11);
    TARGET t;
    Target_Setup(&t, FM_UNIT, enemy, nullptr, 0, 0);
    Units_SOrderAttack(a, &t, a->tilepos.x, a->tilepos.y, -1, -1);
    EXPECT_EQ(b->sorder.code, SO_ATTACK);
    EXPECT_EQ(b->sorder.attack.target.unit.id, enemy->id);
    EXPECT_EQ(b->tactaiinfo.tenacity, TACTAI_LOW);
    // Switched off, the team keeps no list and rallies no one.
    AI_Deactivate(1);
    Units_SOrderStop(b);
    Units_SOrderAttack(a, &t, a->tilepos.x, a->tilepos.y, -1, -1);
    EXPECT_EQ(b->sorder.code, SO_NONE);
}

TEST_F(SOrderTest, AComputerTeamWithAPlanTargetsTheNearestEnemyOthersScore)
{
    ComputerTeam1 ai(jet_, tank_);
    UNIT* u = Tank(1, 10, 10);
    UNIT* near = Tank(2, 11, 10);
    UNIT* far = Tank(2, 13, 10);
    far->hitpoints = 1;   // worth the most by the score
    AIP_struct plan{};
    plan.construction_program = AIBuild_ProgramNew();
    TARGET t;
    ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
    EXPECT_EQ(t.unit.id, far->id);   // no plan: mode 2
    AI_Team::SetPlan(AI_GetTeam(1), &plan);
    ASSERT_EQ(AI_TargetMode(1), 0);
    ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
    EXPECT_EQ(t.unit.id, near->id);
    AI_Team::SetPlan(AI_GetTeam(1), nullptr);
    AIBuild_ProgramDelete(plan.construction_program);
}

TEST_F(SOrderTest, TwoRoamingCompaniesFindEachOtherAndFightToTheEnd)
{
    std::vector<UNIT*> a, b;
    for (int i = 0; i < 20; i++) {
        a.push_back(Tank(0, 6 + i % 4, 14 + i / 4 * 2));
        b.push_back(Tank(1, 36 + i % 4, 14 + i / 4 * 2));
    }
    for (int team = 0; team < 2; team++) {
        UNITLIST sel = Ids(team ? b : a);
        Orders_QAutoMoveOn(team, &sel, TACTAI_HIGH);
        Units_ListClose(&sel);
    }
    Orders_AfterUpdate();
    int updates = 0;
    while (Count(0) > 0 && Count(1) > 0 && updates < 3000) {
        Update();
        updates++;
    }
    EXPECT_TRUE(Count(0) == 0 || Count(1) == 0)
        << Count(0) << " against " << Count(1) << " after " << updates << " updates";
    EXPECT_GT(teamdata[0].stats.kills_units + teamdata[1].stats.kills_units, 19);
}

// ------------------------------------------------------------------ setters and handlers

TEST_F(SOrderTest, AnOrderOutOfReachEndsAtLowTenacityAndAMoveEndsNearItsDestination)
{
    UNIT* u = Tank(0, 10, 10);
    UNIT* far = Tank(1, 30, 10);
    u->tactaiinfo.tenacity = TACTAI_LOW;
    TARGET t;
    Target_Setup(&t, FM_UNIT, far, nullptr, 0, 0);
    Units_SOrderAttack(u, &t, 10, 10, -1, -1);
    EXPECT_EQ(u->sorder.code, SO_NONE);
    EXPECT_EQ(u->state, US_NONE);

    // Within 3 tiles on both axes the move has arrived, wherever the unit is.
    const struct { int dx, dy, code; } rows[] = {{3, -3, SO_NONE}, {4, 0, SO_MOVE}, {0, 4, SO_MOVE}};
    for (const auto& r : rows) {
        Units_SetMoveOrder(u, 10 + r.dx, 10 + r.dy, 7);
        Units_StopMove(u);
        Units_ProcessSOrder(u);
        EXPECT_EQ(u->sorder.code, r.code) << r.dx << "," << r.dy;
        EXPECT_EQ(u->sorder.code == SO_MOVE ? u->sorder.move.retries : 1, 1);
    }
}

TEST_F(SOrderTest, MorphsCountDownTheirTimeAndOneMoreDispatch)
{
    UNITTYPE* into = QvWorld_UnitType("Decoy");
    into->abilities.canbemorphedinto = 1;
    into->partinfo = tank_->partinfo;
    tank_->abilities.canmorphunit = 1;
    tank_->morphunitinfo.n = 3;
    UNIT* u = Tank(0, 10, 10);
    Units_SOrderMorphUnit(u, into, 1);
    ASSERT_EQ(u->sorder.code, SO_MORPHUNIT);
    int dispatches = 0;
    while (u->sorder.code == SO_MORPHUNIT && dispatches < 10) {
        Units_ProcessSOrder(u);
        dispatches++;
    }
    EXPECT_EQ(dispatches, 4);
    EXPECT_EQ(u->operation.code, UO_MORPHUNIT);
    EXPECT_EQ(u->apparentteam[2], 1) << "a team that never saw it is fooled";
}

TEST_F(SOrderTest, ARestoredRoamingOrderBringsBackItsLevels)
{
    UNIT* u = Tank(0, 10, 10);
    Units_SetUserTenacity(u, TACTAI_LOW);
    Units_SOrderAutomove(u, TACTAI_MEDIUM);
    u->snextorder = u->sorder;
    Units_SOrderStop(u);
    EXPECT_EQ(u->tactaiinfo.tenacity, TACTAI_LOW) << "ending an order restores the user's level";
    Units_ProcessSOrder(u);
    EXPECT_EQ(u->sorder.code, SO_AUTOMOVE);
    EXPECT_EQ(u->tactaiinfo.tenacity, TACTAI_HIGH);
    EXPECT_EQ(u->tactaiinfo.autonomy, TACTAI_MEDIUM);
}

TEST_F(SOrderTest, GroupMovesKeepFormationOrSpreadAndAreClampedToTheMap)
{
    UNIT* a = Tank(0, 10, 10);
    UNIT* b = Tank(0, 12, 14);
    UNIT* c = Tank(0, 14, 12);    // centre (12, 12), spread 1
    UNITLIST ids = Ids({a, b, c});
    a->snextorder.code = SO_DUMMY;
    Units_SOrderMoveGroup(&ids, 40, 62, 1, 0);
    EXPECT_EQ(a->sorder.move.destpos.x, 38);
    EXPECT_EQ(b->sorder.move.destpos.y, 63) << "clamped to size - 1";
    EXPECT_EQ(c->sorder.move.destpos.x, 42);
    EXPECT_EQ(a->sorder.move.groupid, c->sorder.move.groupid);
    EXPECT_EQ(a->snextorder.code, SO_NONE) << "a queued order is dropped";

    // Spread: two draws a unit, x first, each in -spread/2 .. spread - 1 - spread/2.
    UNITLIST four = Ids({a, b, c, Tank(0, 20, 20)});
    Rand_SetPosition(5);
    std::vector<int> want;
    for (int i = 0; i < 8; i++) want.push_back(Rand_Next(2) - 1);
    Rand_SetPosition(5);
    c->sorder.code = SO_ATTACK;
    Units_SOrderMoveGroup(&four, 1, 30, 0, 0);
    EXPECT_EQ(a->sorder.move.destpos.x, 1) << "below 2 becomes 1";
    EXPECT_EQ(b->sorder.move.destpos.y, 30 + want[3]);
    EXPECT_EQ(c->tactaiinfo.autonomy, TACTAI_MEDIUM) << "one was attacking: all keep looking";

    // Every unit died while the order travelled: nothing happens.
    UNITLIST gone = Ids({Tank(0, 30, 30)});
    Units_Delete(Units_IdToUnitPtr(gone.head->u.id, 0));
    const uint32_t group = Units_GetGroupIdCounter();
    Units_SOrderMoveGroup(&gone, 20, 20, 0, 0);
    EXPECT_EQ(Units_GetGroupIdCounter(), group + 1);
    for (UNITLIST* l : {&ids, &four, &gone}) Units_ListClose(l);
}

TEST_F(SOrderTest, AnAttackerTooCloseBacksOffWithinTheMap)
{
    gun_->mintilerange = 3;
    Fog_SetSeeAll(1);
    UNIT* u = Tank(0, 1, 10);
    UNIT* v = Tank(1, 2, 10);
    u->tactaiinfo.tenacity = TACTAI_HIGH;
    TARGET t;
    Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
    Units_SOrderAttack(u, &t, 1, 10, -1, -1);
    Units_ProcessSOrder(u);
    EXPECT_EQ(u->move.srchtilepos.x, 1) << "2 x 1 - 2 = 0, clamped";
    EXPECT_EQ(u->sorder.code, SO_ATTACK);
}

// A building's tile is its top-left corner. From the far side the
// attacker's team saw the building's near side but not that corner: it gave
// up, took the building again at once, and stood out of range for good. So
// did an attacker that saw nothing of the building yet (a vortex gun stood
// 28,000 updates seven tiles from a depot).
TEST_F(SOrderTest, RegressionAnAttackerOnTheFarSideOfABuildingClosesInOnIt)
{
    gun_->CanShootBuilding = 1;
    BUILDING* b = Build_New(QvWorld_BuildingType("Works", 3, 3), 1, -1, 20, 20);
    ASSERT_NE(b, nullptr);
    TARGET t;
    Target_Setup(&t, FM_BUILDING, nullptr, b, b->tilex, b->tiley);
    for (const int at : {28, 40}) {
        SCOPED_TRACE(at);
        UNIT* u = Tank(0, at, at);
        u->tactaiinfo.tenacity = TACTAI_HIGH;   // no leash to its home
        ASSERT_EQ(Fog_AnySeenInTiles(20, 20, 22, 22, 0), 0);
        Units_SOrderAttack(u, &t, at, at, -1, -1);
        for (int n = 0; n < 900 && Units_CheckTargetWithWeapons(u, &t) != TARGETRANGE_OK; n++) Update();
        EXPECT_EQ(Units_CheckTargetWithWeapons(u, &t), TARGETRANGE_OK)
            << "stands at " << u->tilepos.x << "," << u->tilepos.y;
        EXPECT_EQ(u->sorder.code, SO_ATTACK);
        Units_Delete(u);
    }
}

// Each player order through its builder, as a network game delivers it.
TEST_F(SOrderTest, PlayerOrdersReachTheSelectedUnits)
{
    UNIT* u = Tank(0, 10, 10);
    UNIT* v = Tank(0, 11, 10);
    UNIT* foe = Tank(1, 12, 10);
    UNITLIST sel = Ids({u, v});
    struct Row {
        const char* name;
        void (*give)(const UNITLIST*, UNIT*);
        bool (*check)(UNIT*, UNIT*);
    };
    const Row rows[] = {
        {"move keeps formation", [](const UNITLIST* s, UNIT*) { Orders_QMove(0, s, 30, 30, 1); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_MOVE && a->sorder.move.destpos.x - a->tilepos.x == 20; }},
        {"stop", [](const UNITLIST* s, UNIT*) { Orders_QStop(0, s); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_NONE; }},
        {"fire without moving", [](const UNITLIST* s, UNIT* f) { Orders_QFireAtUnit(0, s, f->id, UAM_FIRENOMV); },
         [](UNIT* a, UNIT* f) { return a->sorder.code == SO_ATTACK && a->tactaiinfo.tenacity == TACTAI_LOW &&
                                       a->sorder.attack.target.unit.id == f->id; }},
        {"tenacity", [](const UNITLIST* s, UNIT*) { Orders_QSetTenacity(0, s, TACTAI_HIGH); },
         [](UNIT* a, UNIT*) { return a->usertactaiinfo.tenacity == TACTAI_HIGH; }},
        {"fire at ground", [](const UNITLIST* s, UNIT*) { Orders_QFireAtGround(0, s, 13, 10, UAM_FIRE); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_ATTACK && a->sorder.attack.target.mode == FM_GROUND; }},
        {"roam", [](const UNITLIST* s, UNIT*) { Orders_QAutoMoveOn(0, s, TACTAI_MEDIUM); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_AUTOMOVE && a->tactaiinfo.autonomy == TACTAI_MEDIUM; }},
        {"roam off", [](const UNITLIST* s, UNIT*) { Orders_QAutoMoveOff(0, s); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_NONE && a->snextorder.code == SO_NONE; }},
        {"rotate", [](const UNITLIST* s, UNIT*) { Orders_QRotate(0, s, 10, 5, 0); },
         [](UNIT* a, UNIT*) {
             const int facing = (Util_VectorAngle(10.f - a->tilepos.x, 5.f - a->tilepos.y) >> 16) & 255;
             return a->sorder.code == SO_NONE && a->basepart->state.angle == facing << 16;
         }},
        {"scatter", [](const UNITLIST* s, UNIT*) { Orders_QScatter(0, s); },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_MOVE && abs(a->sorder.move.destpos.x - a->tilepos.x) <= 3; }},
        {"board", [](const UNITLIST* s, UNIT* f) { Orders_QBoardUnit(0, s, f->id); },
         [](UNIT* a, UNIT* f) { return a->sorder.code == SO_BOARD && a->sorder.board.unit.id == f->id; }},
        {"local trail", [](const UNITLIST* s, UNIT*) {
             TRAIL* t = Trail_New();
             Trail_AddWaypoint(t, WPT_MOVE, 20, 20, 0);
             Orders_QLocalTrail(0, s, t);
             Orders_QLocalExecute(0, s, TRAIL_LOOP);
             Trail_Free(&t);
         },
         [](UNIT* a, UNIT*) { return a->sorder.code == SO_TRAIL && a->sorder.trail.waypoint &&
                                     a->sorder.trail.waypoint->x == 20; }},
    };
    for (const Row& r : rows) {
        r.give(&sel, foe);
        Orders_AfterUpdate();
        EXPECT_TRUE(r.check(u, foe)) << r.name;
        EXPECT_TRUE(r.check(v, foe)) << r.name << " " << v->sorder.code;
    }
    EXPECT_EQ(log_.text().find("refused"), std::string::npos) << log_.text();
    Units_ListClose(&sel);
}

TEST_F(SOrderTest, BadPayloadsAreRefusedAndLoggedWithTheirTeam)
{
    UNIT* u = Tank(2, 10, 10);
    UNIT* friendGone = Tank(2, 11, 10);
    UNITLIST sel = Ids({u, friendGone});
    const struct { const char* name; void (*give)(const UNITLIST*); const char* log; } rows[] = {
        {"tile 0", [](const UNITLIST* s) { Orders_QMove(2, s, 0, 5, 0); }, "tile 0,5 off the map"},
        {"tile at size", [](const UNITLIST* s) { Orders_QFireAtGround(2, s, 5, 64, 0); }, "tile 5,64 off the map"},
        {"attack mode", [](const UNITLIST* s) { Orders_QFireAtGround(2, s, 5, 5, 3); }, "attack mode 3"},
        {"gone unit", [](const UNITLIST* s) { Orders_QFireAtUnit(2, s, 4242, 0); }, "no unit 4242"},
        {"gone building", [](const UNITLIST* s) { Orders_QFireAtBuilding(2, s, 99, 0); }, "no building 99"},
        {"level", [](const UNITLIST* s) { Orders_QSetAutonomy(2, s, 3); }, "level 3"},
        {"unit type", [](const UNITLIST* s) { Orders_QMorphIntoUnit(2, s, 77, 1); }, "unit type 77"},
        {"morph team", [](const UNITLIST* s) { Orders_QMorphIntoUnit(2, s, 0, 9); }, "team 9"},
        {"thing type", [](const UNITLIST* s) { Orders_QMorphIntoOvl(2, s, 5); }, "thing type 5"},
        {"slot", [](const UNITLIST*) { Orders_QGlobalTrailList(2, 30, nullptr); }, "trail slot 30"},
        {"roam mode", [](const UNITLIST* s) { Orders_QAutoMoveOn(2, s, 7); }, "mode 7"},
        {"builder", [](const UNITLIST*) { Orders_QConstructBuilding(2, 4242, 0, 5, 5); }, "no unit of the team 4242"},
    };
    for (const auto& r : rows) {
        log_.clear();
        r.give(&sel);
        Orders_AfterUpdate();
        EXPECT_NE(log_.text().find(r.log), std::string::npos) << r.name << ": " << log_.text();
        EXPECT_NE(log_.text().find("of team 2"), std::string::npos) << r.name;
        EXPECT_EQ(u->sorder.code, SO_NONE) << r.name;
    }
    // A selection holding a dead and a given-away unit: only the live own
    // unit moves.
    UNIT* given = Tank(2, 12, 10);
    UNIT* dead = Tank(2, 13, 10);
    UNITLIST three = Ids({u, given, dead});
    Orders_QMove(2, &three, 30, 30, 1);
    Units_GiveUnitToOtherTeam(given, 3);
    Units_Delete(dead);
    Orders_AfterUpdate();
    EXPECT_EQ(u->sorder.code, SO_MOVE);
    EXPECT_EQ(u->sorder.move.destpos.x, 30) << "the centre is its own tile: the others left";
    EXPECT_EQ(given->sorder.code, SO_NONE);
    Units_ListClose(&sel);
    Units_ListClose(&three);
}

// ------------------------------------------------------------------ targeting

TEST_F(SOrderTest, EnemiesAreScoredByThreatWeaknessAndNearnessWithSplashAgainstFriends)
{
    Fog_SetSeeAll(1);
    UNIT* u = Tank(0, 20, 20);
    UNIT* near = Tank(1, 22, 20);     // d 200
    UNIT* weak = Tank(1, 20, 23);     // d 300, at a quarter of its hit points
    Units_SetHitpoints(weak, 25);
    // Threat: the gun's damage 0 (offense class missing, no area) x 100 / 6
    // is below the floor of 30. near: 100 x 30 / 100 + (600 - 200) / 2 = 230;
    // weak: 100 x 30 / 25 + 150 = 270.
    EXPECT_EQ(Units_TargetThreat(near, u), 30);
    TARGET t;
    ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
    EXPECT_EQ(t.unit.unit, weak);
    // A splash of 1 tile: an own unit next to the weak one costs it 300,
    // an enemy next to the near one adds 300 (each counts itself too).
    gun_->oinfo.areaeffect = 20;
    Tank(0, 21, 23);
    Tank(1, 23, 20);
    ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
    EXPECT_EQ(t.unit.unit, near);
    // Equal scores keep the earlier candidate in map-grid order.
    gun_->oinfo.areaeffect = 0;
    Units_SetHitpoints(weak, 100);
    Units_ChangeTile(weak, 20, 22);
    ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
    EXPECT_EQ(t.unit.unit, near) << "one grid cell: the unit linked first";
}

// Candidates as good as each other, with a higher team's linked first in
// the grid cell: the lowest team's is chosen, and within a team the first
// met; by score (no plan) and by nearness (a plan) alike.
TEST_F(SOrderTest, EqualCandidatesGoToTheLowestTeamThenTheFirstMet)
{
    ComputerTeam1 ai(jet_, tank_);
    UNIT* u = Tank(1, 20, 20);
    Tank(5, 22, 20);
    UNIT* low = Tank(3, 20, 22);
    Tank(3, 18, 20);
    AIP_struct plan{};
    plan.construction_program = AIBuild_ProgramNew();
    const struct {
        const char* name;
        AIP_struct* plan;
    } rows[] = {{"by score", nullptr}, {"by nearness", &plan}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AI_Team::SetPlan(AI_GetTeam(1), row.plan);
        TARGET t;
        ASSERT_NE(Units_ChooseEnemyUnit(u, &t), nullptr);
        EXPECT_EQ(t.unit.unit, low);
    }
    AI_Team::SetPlan(AI_GetTeam(1), nullptr);
    AIBuild_ProgramDelete(plan.construction_program);
}

// The parts' chain answers once for the unit: a target gone is invalid
// (and cleared) whatever the parts carry; otherwise the first part in reach
// wins, else the last part's answer (the turret's range), and a unit with
// no parts has no weapon.
TEST_F(SOrderTest, TheWeaponChainAnswersOnceForTheUnit)
{
    Fog_SetSeeAll(1);
    UNIT* u = Tank(0, 20, 20);
    UNIT* gone = Tank(1, 21, 21);
    UNITTYPE* bare = Units_NewType();
    UNIT* hull = Units_NewAt(bare, 0, -1, 30, 30);
    ASSERT_NE(hull, nullptr);
    const struct {
        const char* name;
        UNIT* shooter;
        int mode;
        UNIT* unit;
        int x, y, answer;
    } rows[] = {
        {"enemy in reach", u, FM_UNIT, Tank(1, 23, 20), 0, 0, TARGETRANGE_OK},
        {"enemy beyond reach", u, FM_UNIT, Tank(1, 26, 20), 0, 0, TARGETRANGE_TOOFAR},
        {"ground in reach", u, FM_GROUND, nullptr, 21, 20, TARGETRANGE_OK},
        {"a unit gone", u, FM_UNIT, gone, 0, 0, TARGETRANGE_INVALIDTARGET},
        {"no parts", hull, FM_UNIT, Tank(1, 31, 30), 0, 0, TARGETRANGE_NOAVAILABLEWEAPON},
    };
    for (const auto& r : rows) {
        TARGET t;
        Target_Setup(&t, r.mode, r.unit, nullptr, r.x, r.y);
        if (r.unit == gone) Units_Delete(gone);
        EXPECT_EQ(Units_CheckTargetWithWeapons(r.shooter, &t), r.answer) << r.name;
        EXPECT_EQ(t.mode == FM_NONE, r.answer == TARGETRANGE_INVALIDTARGET) << r.name;
    }
}

TEST_F(SOrderTest, HiddenUnitsAndUnitsThatMayNotLookAreLeftAlone)
{
    Fog_SetSeeAll(1);
    UNIT* u = Tank(0, 20, 20);
    UNIT* foe = Tank(1, 22, 20);
    TARGET t;
    foe->operation.code = UO_MORPHOVL;
    EXPECT_EQ(Units_ChooseEnemyUnit(u, &t), nullptr) << "a thing with no order";
    foe->operation.code = UO_NONE;
    tank_->abilities.noautotarget = 1;
    u->tactaiinfo.autonomy = TACTAI_MEDIUM;
    EXPECT_EQ(Units_AutoTarget(u, 20, 20, -1, -1), 0);
    u->tactaiinfo.autonomy = TACTAI_HIGH;
    EXPECT_EQ(Units_AutoTarget(u, 20, 20, -1, -1), 1);
    EXPECT_EQ(u->sorder.code, SO_ATTACK);
}

// The threat count walks every other team's units at once; it must answer
// as a walk team by team does (the count, and the target met last), on
// random crowds of four teams with allies, roaming levels and fog.
TEST_F(SOrderTest, TheThreatCountAnswersAsAWalkTeamByTeam)
{
    Team_SetRelation(1, 2, TR_ALLY);
    Team_SetRelation(3, 0, TR_NEUTRAL);
    uint32_t r = 2024;
    auto next = [&r](int n) {
        r = r * 1664525u + 1013904223u;
        return (int)((r >> 8) % (uint32_t)n);
    };
    std::vector<UNIT*> crowd;
    for (int round = 0; round < 6; round++) {
        Fog_SetSeeAll(round % 2);
        for (int k = 0; k < 40; k++) {
            const int x = 1 + next(30), y = 1 + next(30);
            if (Units_UnitAtMapLevel(ML_GROUND, x, y)) continue;
            if (UNIT* u = Tank(next(4), x, y)) {
                u->tactaiinfo.autonomy = (TACTAI_LEVEL)next(3);
                crowd.push_back(u);
            }
        }
        for (UNIT* u : crowd) {
            const int x = std::clamp(u->tilepos.x + next(5) - 2, 1, 62), y = std::clamp(u->tilepos.y + next(5) - 2, 1, 62);
            // The reference, team by team (no unit here is part of a
            // building or a thing).
            const UNIT_POS tile = u->tilepos, pixel = u->pixelpos;
            u->tilepos = {x, y};
            u->pixelpos = {x * 24, y * 24};
            const int R = u->type->seeingrange, level = u->tactaiinfo.autonomy;
            TARGET me, want;
            Target_Setup(&me, FM_UNIT, u, nullptr, 0, 0);
            Target_Clear(&want);
            int count = 0;
            for (int team = 0; team < TEAM_MAXTEAMS; team++) {
                if (team == u->team) continue;
                ITERATOR it;
                Iterate_UnitInitMapGrid(&it, team, 0, MM_ALL, x - R, y - R, x + R, y + R);
                while (UNIT* v = Iterate_UnitNextMapGrid(&it)) {
                    if (Team_GetRelation(u->team, v->apparentteam[u->team]) != TR_ENEMY) continue;
                    if (!Fog_IsSeen(v->tilepos.x, v->tilepos.y, u->team)) continue;
                    if (Units_CanAttackTarget(v, &me) && Units_CheckTargetWithWeapons(v, &me) == TARGETRANGE_OK)
                        count++;
                    TARGET t;
                    Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
                    if (!Units_CanAttackTarget(u, &t)) continue;
                    if (level != TACTAI_HIGH &&
                        !(level == TACTAI_MEDIUM && Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK))
                        continue;
                    if (MAP_HYPS(abs(v->tilepos.x - x), abs(v->tilepos.y - y)) < (R + 1) * 100) want = t;
                }
            }
            u->tilepos = tile;
            u->pixelpos = pixel;
            TARGET got;
            ASSERT_EQ(Units_CountThreats(u, x, y, &got), count) << "round " << round << " unit " << u->id;
            EXPECT_EQ(got.mode, want.mode) << "round " << round << " unit " << u->id;
            EXPECT_EQ(got.unit.unit, want.unit.unit) << "round " << round << " unit " << u->id;
        }
    }
}

TEST_F(SOrderTest, AHitUnitClosesInOrBacksOffThenStops)
{
    Fog_SetSeeAll(1);
    UNIT* u = Tank(0, 20, 20);
    UNIT* shooter = Tank(1, 28, 20);
    PROJECTILE p{};
    UnitId_Setup(&p.owner, shooter);
    p.oinfo.areaeffect = 72;    // 3 tiles
    Units_Tactical_Hit_Response(u, &p);
    EXPECT_EQ(u->sorder.code, SO_MOVE);
    EXPECT_EQ(u->sorder.move.destpos.x, 23) << "closes in by the splash";
    EXPECT_EQ(u->snextorder.code, SO_DUMMY) << "then stops";

    // A shooter right above (a flier on the same tile): no direction, only
    // the random tries, each within the seeing range.
    UNIT* w = Tank(0, 40, 40);
    UNIT* flier = Units_NewAt(jet_, 1, -1, 40, 40);
    UnitId_Setup(&p.owner, flier);
    Units_Tactical_Hit_Response(w, &p);
    ASSERT_EQ(w->sorder.code, SO_MOVE);
    EXPECT_LE(abs(w->sorder.move.destpos.x - 40), 6);
    EXPECT_LE(abs(w->sorder.move.destpos.y - 40), 6);
}

}   // namespace
