// Unit state changes: hit points and their game-wide sum, type changes,
// giving units away, boosts, disguises and render types.
#include "units/unitstate.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "support/world.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

int64_t SumOfHitpoints()
{
    int64_t sum = 0;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) sum += u->hitpoints;
    return sum;
}

class UnitState : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        tank_->maxhitpoints = 200;
        jet_->maxhitpoints = 50;
    }
};

} // namespace

TEST_F(UnitState, TheGameWideHitPointSumFollowsEveryChange)
{
    WEAPONTYPE boost{};
    boost.boost.hitpoints = 150;
    boost.boost.time = 10;
    UNITTYPE* big = QvWorld_UnitType("Big");
    big->maxhitpoints = 999;
    UNIT* a = nullptr;
    UNIT* b = nullptr;
    const struct {
        const char* step;
        std::function<void()> run;
    } steps[] = {
        {"create", [&] { a = Units_NewAt(tank_, 1, -1, 5, 5); b = Units_NewAt(jet_, 2, -1, 6, 6); }},
        {"damage", [&] { Units_SetHitpoints(a, 37); }},
        {"boost", [&] { Units_Boost(a, &boost); }},
        {"type change", [&] { Units_ChangeUnitType(a, big, 1); }},
        {"give", [&] { Units_GiveUnitToOtherTeam(b, 3); }},
        {"delete", [&] { Units_Delete(b); }},
    };
    EXPECT_EQ(UNITS_totalhitpoints, 0);
    for (const auto& s : steps) {
        s.run();
        EXPECT_EQ(UNITS_totalhitpoints, SumOfHitpoints()) << s.step;
    }
    EXPECT_EQ(a->hitpoints, (999 * (150 * 256 / 200) + 128) / 256) << "scaled to the new maximum";
}

TEST_F(UnitState, HitPointsClampAndSpareTheDeadAndThoseInside)
{
    BUILDING* b = Build_New(QvWorld_BuildingType("Depot", 2, 2), 1, -1, 30, 30);
    const struct {
        const char* why;
        int start;
        bool inside;
        int set, out;
    } rows[] = {
        {"within", 100, false, 120, 120},
        {"above the maximum", 100, false, 500, 200},
        {"below 0", 100, false, -5, 0},
        {"dead stays dead", 0, false, 50, 0},
        {"inside a building", 100, true, 50, 100},
    };
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
        u->hitpoints = r.start;
        if (r.inside) BuildId_Setup(&u->partof, b);
        Units_SetHitpoints(u, r.set);
        EXPECT_EQ(u->hitpoints, r.out) << r.why;
        Units_Delete(u);
    }
}

TEST_F(UnitState, TypeChangesScaleHitPointsAndNeedAFreeLevel)
{
    UNITTYPE* big = QvWorld_UnitType("Big");
    const struct {
        int oldmax, hp, newmax, out;
    } rows[] = {{200, 100, 300, 150}, {200, 1, 300, 1}, {3, 1, 10, 3}, {200, 200, 7, 7}, {200, 0, 50, 0}};
    for (const auto& r : rows) {
        tank_->maxhitpoints = r.oldmax;
        big->maxhitpoints = r.newmax;
        UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
        u->hitpoints = r.hp;
        u->tactaiinfo.tenacity = TACTAI_HIGH;
        int id = u->id;
        ASSERT_EQ(Units_ChangeUnitType(u, big, 1), u);
        EXPECT_EQ(u->hitpoints, r.out) << r.hp << "/" << r.oldmax << " to " << r.newmax;
        EXPECT_EQ(u->id, id);
        EXPECT_EQ(u->tactaiinfo.tenacity, TACTAI_HIGH);
        Units_Delete(u);
    }
    // A tank that would take to the air over a jet's tile stays a tank.
    UNIT* u = Units_NewAt(tank_, 1, -1, 8, 8);
    Units_NewAt(jet_, 2, -1, 8, 8);
    EXPECT_EQ(Units_ChangeUnitType(u, jet_, 0), nullptr);
    EXPECT_EQ(u->type, tank_);
    EXPECT_NE(log_.text().find("Tile already claimed!"), std::string::npos);
}

// Through the order: the live selection goes once, to a valid team; fixed
// units stay.
TEST_F(UnitState, GivingUnitsMovesTheCountsOnceAndKeepsFixedUnits)
{
    Cfg_SetDefaults(&g_Config);
    Orders_Init();
    UNIT* a = Units_NewAt(tank_, 1, -1, 5, 5);
    UNIT* b = Units_NewAt(tank_, 1, -1, 6, 5);
    UNIT* f = Units_NewAt(QvWorld_UnitType("Emplacement", MM_FIXED), 1, -1, 7, 7);
    const int count1 = teamdata[1].unitcount;
    UNITLIST sel;
    Units_ListInit(&sel);
    Units_ListAppend(&sel, a, a->id);
    Units_ListAppend(&sel, b, b->id);
    Units_ListAppend(&sel, f, f->id);
    Units_ListAppend(&sel, nullptr, 999); // never existed
    Orders_QGiveUnits(1, &sel, 9);        // no such team
    Orders_AfterUpdate();
    EXPECT_EQ(a->team, 1);
    EXPECT_NE(log_.text().find("names team 9; refused"), std::string::npos);
    Units_Delete(b);                      // dies before the order runs
    Orders_QGiveUnits(1, &sel, 2);
    Orders_AfterUpdate();
    EXPECT_EQ(a->team, 2);
    EXPECT_TRUE(a->onmap);
    EXPECT_EQ(a->apparentteam[0], 2);
    EXPECT_EQ(f->team, 1) << "MM_FIXED stays";
    EXPECT_EQ(teamdata[2].unitcount, 1);
    EXPECT_EQ(teamdata[1].unitcount, count1 - 2) << "one given, one deleted";
    EXPECT_EQ(Units_IdToUnitPtr(a->id, 2), a);
    Units_ListClose(&sel);
    Orders_Close();
}

// Regression: units given to a team slot nobody played outlasted both
// players and won ("winner 5"). A disabled team and the neutral team take
// none.
TEST_F(UnitState, RegressionGivingUnitsToATeamNotInTheGameIsRefused)
{
    Orders_Init();
    teamdata[5].type = TT_DISABLED;
    UNIT* a = Units_NewAt(tank_, 1, -1, 5, 5);
    UNITLIST sel;
    Units_ListInit(&sel);
    Units_ListAppend(&sel, a, a->id);
    for (int to : {5, (int)TEAM_NEUTRAL}) {
        Orders_QGiveUnits(1, &sel, to);
        Orders_AfterUpdate();
        EXPECT_EQ(a->team, 1);
        EXPECT_NE(log_.text().find("of team 1 names team " + std::to_string(to) + ", which isn't in the game; refused"),
                  std::string::npos);
    }
    Units_ListClose(&sel);
    Orders_Close();
}

TEST_F(UnitState, RenderTypesFollowTheRulesInOrder)
{
    g_LocalTeam = 1;
    Team_ForceRelation(1, 2, TR_ALLY);
    Team_ForceRelation(2, 1, TR_ALLY);
    UNITTYPE* blend = QvWorld_UnitType("Chameleon");
    blend->abilities.canblend = 1;
    const struct {
        const char* why;
        UNITTYPE* type;
        int team;
        std::function<void(UNIT*)> make;
        int render;
    } rows[] = {
        {"off the map", tank_, 3, [](UNIT* u) { Units_RemoveFromMap(u); }, UR_HIDDEN},
        {"phased enemy", tank_, 3, [](UNIT* u) { u->isphased = 1; u->movemode = MM_TUNNEL; }, UR_HIDDEN},
        {"phased ally", tank_, 2, [](UNIT* u) { u->isphased = 1; }, UR_TRANSLUCENT_A0},
        {"tunnelling enemy", tank_, 3, [](UNIT* u) { u->movemode = MM_TUNNEL; }, UR_HIDDEN},
        {"tunnelling ally", tank_, 2, [](UNIT* u) { u->movemode = MM_TUNNEL; }, UR_TRANSLUCENT_B1},
        {"blended enemy", blend, 3, [](UNIT* u) { u->isblended = 1; }, UR_TRANSLUCENT_B0},
        {"blended enemy moving", blend, 3, [](UNIT* u) { u->isblended = 1; u->state = US_MOVING; }, UR_TRANSLUCENT_A0},
        {"blended ally", blend, 2, [](UNIT* u) { u->isblended = 1; }, UR_TRANSLUCENT_A0},
        {"plain", tank_, 3, [](UNIT*) {}, UR_OPAQUE},
    };
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(r.type, r.team, -1, 5, 5);
        r.make(u);
        EXPECT_EQ(Units_RenderType(u), r.render) << r.why;
        u->movemode = r.type->defmovemode;
        Units_Delete(u);
    }
    tank_->decoy = DM_ISDECOY;
    UNIT* d = Units_NewAt(tank_, 2, -1, 5, 5);
    EXPECT_EQ(Units_RenderType(d), UR_TRANSLUCENT_B1) << "an allied decoy";
    g_LocalTeam = 0;
}

TEST_F(UnitState, BoostsDisguisesAndPlacementKeepTheirLimits)
{
    WEAPONTYPE w{};
    w.boost.hitpoints = 180;
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    u->hitpoints = 60;
    Units_Boost(u, &w);
    EXPECT_EQ(u->boost.floor, 60) << "fades no lower than before";
    EXPECT_EQ(u->hitpoints, 180);
    EXPECT_EQ(u->experience, 1);
    Units_Boost(u, &w);
    EXPECT_NE(log_.text().find("Unit is already boosted? (1)"), std::string::npos);
    // Team 2 sees the unit as it takes team 3's look; team 4 doesn't.
    Units_Set_Seen(u, 2, 1);
    Units_MorphTo(u, tank_, 3);
    EXPECT_EQ(u->apparentteam[2], 1);
    EXPECT_EQ(u->apparentteam[4], 3);
    EXPECT_EQ(u->apparentteam[1], 1);
    EXPECT_EQ(u->operation.code, UO_MORPHUNIT);
    Units_ClearMorphState(u);
    EXPECT_EQ(u->apparentteam[4], 1);
    EXPECT_EQ(Units_PlaceOnMapCritical(u, 9, 9), 0);
    EXPECT_NE(log_.text().find(std::to_string(u->id) + " already on map"), std::string::npos);
    // Nowhere free within 5 tiles: the unit is deleted.
    for (int y = 1; y < 16; y++)
        for (int x = 1; x < 16; x++)
            if (!Units_UnitAtMapLevel(ML_GROUND, x, y)) Units_NewAt(tank_, 2, -1, x, y);
    UNIT* lost = Units_NewAt(jet_, 1, -1, 20, 20);
    Units_RemoveFromMap(lost);
    lost->maplevel = ML_GROUND;
    const int before = Units_Count();
    EXPECT_EQ(Units_PlaceOnMapCritical(lost, 8, 8), 0);
    EXPECT_EQ(Units_Count(), before - 1);
}

// Regressions: a veteran promotion carried the experience over, though a type
// change re-makes the unit keeping only hit points, tactics, team, tile and
// id; giving a disguised unit to its own team left it disguised.
TEST_F(UnitState, PromotionStartsExperienceAgainAndGivingToItsOwnTeamDropsTheDisguise)
{
    UNITTYPE* veteran = QvWorld_UnitType("Veteran");
    tank_->abilities.canveteran = 1;
    tank_->veteraninfo.type = veteran;
    tank_->veteraninfo.n = 3;
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    const int id = u->id;
    Units_AddExperience(u, 2);
    EXPECT_EQ(u->experience, 2u);
    Units_AddExperience(u, 2);
    EXPECT_EQ(u->type, veteran);
    EXPECT_EQ(u->id, id);
    EXPECT_EQ(u->experience, 0u);

    Units_MorphTo(u, tank_, 3);
    ASSERT_EQ(u->operation.code, UO_MORPHUNIT);
    Units_GiveUnitToOtherTeam(u, 1);
    EXPECT_EQ(u->operation.code, UO_NONE);
    EXPECT_EQ(u->apparentteam[4], 1);
    EXPECT_EQ(u->team, 1);
    QV_EXPECT_FATAL(Units_GiveUnitToOtherTeam(u, TEAM_MAXTEAMS),
                    "ASSERT (newteam>=0 && newteam<TEAM_MAXTEAMS)");
}
