// Unit types, making and deleting units, their lists, map presence and claims.
#include "units/unit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/rand.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/parts.h"
#include "units/team.h"

namespace {

using UnitWorld = QvWorldTest;

// ---- types

class UnitTypes : public UnitWorld {};

TEST_F(UnitTypes, TableStopsAtItsLimitAndLooksUpIgnoringCase)
{
    while (Units_UnitTypeCount() < UNITS_MAXTYPES) ASSERT_NE(Units_NewType(), nullptr);
    EXPECT_EQ(Units_NewType(), nullptr);
    EXPECT_NE(log_.text().find("max of 100 unit types defined"), std::string::npos);
    EXPECT_EQ(Units_SymToTypePtr("TANK"), tank_);
    EXPECT_EQ(Units_GetTypePtr(UNITS_MAXTYPES), nullptr);
}

TEST_F(UnitTypes, ValidityChecksNameTheFirstFault)
{
    // What a type read from the file has besides the defaults.
    SPRITE menu{};
    PARTTYPE body{};
    snprintf(tank_->menuspritefname, UNITTYPE_FILENAME, "tank.spr");
    tank_->menusprite = &menu;
    tank_->effects = Effects_NewTable("Tracks", 100, 1);
    tank_->defense = 0;
    tank_->partinfo.nrparts = 1;
    tank_->partinfo.parttype[0] = &body;
    tank_->prereq.id = 1;
    EXPECT_EQ(Units_IsValidType(tank_), 1);
    tank_->abilities.canmorphunit = 1;
    EXPECT_EQ(Units_IsValidType(tank_), 0);
    EXPECT_NE(log_.text().find("[Tank] - non-human cannot morph into unit"), std::string::npos);
    tank_->abilities.ishuman = 1;
    tank_->description[0] = '\0';
    tank_->maxhitpoints = 0;
    log_.clear();
    EXPECT_EQ(Units_IsValidType(tank_), 0);
    EXPECT_NE(log_.text().find("[Tank] - no description"), std::string::npos);
    EXPECT_EQ(log_.text().find("hit points"), std::string::npos);
    tank_->menusprite = nullptr; // lent: the type table releases the sprites it holds
}

TEST_F(UnitTypes, PostProcessResolvesNamesAndLogsUnknownOnes)
{
    snprintf(tank_->grabinfo.name, UNITTYPE_NAME, "jet");
    snprintf(tank_->veteraninfo.name, UNITTYPE_NAME, "Ghost");
    tank_->veteraninfo.type = tank_;   // a stale resolution must not survive
    Units_PostProcessAllTypes();
    EXPECT_EQ(tank_->grabinfo.type, jet_);
    EXPECT_EQ(tank_->veteraninfo.type, nullptr);
    EXPECT_NE(log_.text().find("Ghost"), std::string::npos);
}

// ---- making, ids and the pool

class UnitLife : public UnitWorld {};

TEST_F(UnitLife, NewUnitTakesTypeAndTeamDefaults)
{
    teamdata[2].unitdef = TEAM_UNITDEF{2, 0, 1};
    tank_->maxhitpoints = 77;
    UNIT* u = Units_NewAt(tank_, 2, -1, 10, 12);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->hitpoints, 77);
    EXPECT_EQ(u->tactaiinfo.selfpreservation, 2);
    EXPECT_EQ(u->usertactaiinfo.autonomy, 1);
    EXPECT_EQ(teamdata[2].unitcount, 1);
}

TEST_F(UnitLife, BadTypeTeamOrIdIsRefusedWithoutTakingARecord)
{
    struct Row {
        bool notype;
        int team, id;
        const char* logged;
    } rows[] = {
        {true, 0, -1, "invalid unit type"},
        {false, 9, -1, "invalid team [9]"},
        // Regression: ids 0 and below -1 were taken, and such a unit could
        // never be deleted (closing the world then hung).
        {false, 0, 0, "invalid id 0 for Tank"},
        {false, 0, INT32_MIN, "invalid id -2147483648"},
    };
    for (const Row& r : rows) {
        log_.clear();
        EXPECT_EQ(Units_NewAt(r.notype ? nullptr : tank_, r.team, r.id, 5, 5), nullptr) << r.logged;
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << log_.text();
    }
    UNIT spare{};
    spare.id = -1;
    EXPECT_EQ(Units_NewKeepPtr(&spare, tank_, 0, 0), nullptr);
    EXPECT_EQ(Units_Count(), 0);
    // A given id is reserved, so later ids follow it.
    EXPECT_EQ(Units_NewAt(tank_, 0, 50, 5, 5)->id, 50);
    EXPECT_EQ(Units_NewAt(tank_, 0, -1, 6, 5)->id, 51);
}

TEST_F(UnitLife, TilesOutsideTheMapAreAssertionFailures)
{
    QV_EXPECT_FATAL(Units_NewAt(tank_, 0, -1, 0, 5), "ASSERT (x > 0 && x < mapsizex)");
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    QV_EXPECT_FATAL(Units_SetUnitPosition(u, 64, 5), "ASSERT (x<mapsizex)");
    QV_EXPECT_FATAL(Units_AddToMap(u), "ASSERT (!u->onmap)");
}

TEST_F(UnitLife, ReusedRecordGetsANewIdSoOldHandlesGoStale)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 5, 5);
    UNITID h;
    UnitId_Setup(&h, a);
    const int oldid = a->id;
    Units_Delete(a);
    UNIT* b = Units_NewAt(tank_, 0, -1, 7, 7);
    ASSERT_EQ(b, a);   // the freed record comes back first
    EXPECT_NE(b->id, oldid);
    EXPECT_EQ(UnitId_Ptr(&h), nullptr);
}

TEST_F(UnitLife, DeleteKeepPtrKeepsTheRecordForTheNextUnit)
{
    UNIT* u = Units_NewAt(tank_, 1, -1, 5, 5);
    Units_DeleteKeepPtr(u);
    EXPECT_EQ(teamdata[1].unitcount, 0);
    EXPECT_EQ(Units_NewAtKeepPtr(u, jet_, 3, -1, 8, 8), u);
    EXPECT_EQ(MAP_ELEMENT_AT(8, 8)->unit[ML_FLY], u);
    // A record in use is not made again over itself.
    EXPECT_EQ(Units_NewKeepPtr(u, tank_, 3, -1), nullptr);
    EXPECT_EQ(teamdata[3].unitcount, 1);
    Units_Delete(u);
}

TEST_F(UnitLife, CloseDeletesEveryUnitWithoutReportingLeaks)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 5, 5);
    Units_NewAt(jet_, 8, -1, 6, 6);
    Units_RemoveFromMap(a);
    QvWorld_Close();
    EXPECT_EQ(log_.text().find("extra mallocs"), std::string::npos) << log_.text();
    QvWorld_Open(64, 64);
}

// ---- the lists of a team, the map and claims

class UnitMap : public UnitWorld {};

TEST_F(UnitMap, OnAndOffTheMapMovesBetweenTeamLists)
{
    UNIT* a = Units_NewAt(tank_, 4, -1, 5, 5);
    UNIT* b = Units_NewAt(tank_, 4, -1, 6, 5);
    EXPECT_EQ(teamdata[4].unitlist[MM_GROUND], b);   // newest first
    Units_RemoveFromMap(a);
    EXPECT_EQ(teamdata[4].offmaplist, a);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_FALSE(Mapgrid_Contains(MGL_UNIT, a, 5, 5));
    QV_EXPECT_FATAL(Units_RemoveFromMap(a), "ASSERT (u->onmap)");
    Units_SetUnitPosition(a, 40, 40);
    Units_AddToMap(a);
    EXPECT_EQ(teamdata[4].offmaplist, nullptr);
    EXPECT_TRUE(Mapgrid_Contains(MGL_UNIT, a, 40, 40));
}

TEST_F(UnitMap, ChangingTileMovesClaimGridLinkAndSight)
{
    struct Row {
        int x, y;   // from (15, 15)
    } rows[] = {{16, 15} /* next cell */, {17, 15} /* same cell */, {40, 40}, {15, 15}};
    UNIT* u = Units_NewAt(tank_, 0, -1, 15, 15);
    int px = 15, py = 15;
    for (const Row& r : rows) {
        Units_ChangeTile(u, r.x, r.y);
        EXPECT_TRUE(Mapgrid_Contains(MGL_UNIT, u, r.x, r.y)) << r.x << "," << r.y;
        EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, r.x, r.y), u);
        EXPECT_TRUE(Fog_IsSeen(r.x, r.y, 0));
        if (Mapgrid_CellOfTile(px, py) != Mapgrid_CellOfTile(r.x, r.y)) {
            EXPECT_FALSE(Mapgrid_Contains(MGL_UNIT, u, px, py));
        }
        if (px != r.x || py != r.y) {
            EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, px, py), nullptr);
        }
        px = r.x;
        py = r.y;
    }
    EXPECT_FALSE(Fog_IsSeen(40, 40, 0)) << "the sight left with the unit";
    Units_RemoveFromMap(u);
    Units_ChangeTile(u, 30, 30);   // off the map: the position only
    EXPECT_FALSE(Mapgrid_Contains(MGL_UNIT, u, 30, 30));
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 30, 30), nullptr);
}

// Regression: the grid link and the claimed tile were looked up by tilepos,
// so a unit whose position was written directly stayed in its old cell, and
// on its old tile's map element, after deletion.
TEST_F(UnitMap, TheGridCellAndClaimedTileGoWithTheUnitNotWithItsPosition)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    u->tilepos = UNIT_POS{40, 40};
    Units_Delete(u);
    EXPECT_FALSE(Mapgrid_Contains(MGL_UNIT, u, 5, 5));
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 5, 5), nullptr);
    EXPECT_EQ(log_.text(), "") << "nothing claimed at 40,40 to release";
    // A unit missing from the cell it names is a broken grid: fatal.
    UNIT* v = Units_NewAt(tank_, 0, -1, 6, 6);
    Mapgrid_Unlink(MGL_UNIT, v, 6, 6);
    QV_EXPECT_FATAL(Units_RemoveFromMap(v), "ASSERT (inItsCell)");
    Mapgrid_Link(MGL_UNIT, v, 6, 6);
}

TEST_F(UnitMap, ClaimConflictsAreLoggedWithBothUnits)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 9, 9);
    UNIT* b = Units_NewAt(tank_, 1, -1, 9, 9);
    EXPECT_NE(log_.text().find("Tank (2) claimed 9,9 but owned by Tank (1)"), std::string::npos);
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 9, 9), b);
    log_.clear();
    Units_RemoveFromMap(a);
    EXPECT_NE(log_.text().find("Tank (1) unclaimed 9,9 but owned by Tank (2)"), std::string::npos);
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 9, 9), b);
}

TEST_F(UnitMap, GivingAnOffMapUnitAwayMovesItsCount)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    QV_EXPECT_FATAL(Units_MoveToTeamList(u, 2), "ASSERT (!u->onmap)");
    Units_RemoveFromMap(u);
    Units_MoveToTeamList(u, 2);
    EXPECT_EQ(teamdata[0].unitcount, 0);
    EXPECT_EQ(teamdata[2].unitcount, 1);
    EXPECT_EQ(teamdata[2].offmaplist, u);
}

TEST_F(UnitMap, IdleDelayIsDrawnFromTheTypeRange)
{
    tank_->abilities.canidle = 1;
    tank_->idleanimationinfo[0] = 30;
    tank_->idleanimationinfo[1] = 32;
    for (int i = 0; i < 10; i++) {
        Rand_SetPosition(i);
        UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
        EXPECT_GE(u->idledelay, 30);
        EXPECT_LE(u->idledelay, 32);
        int first = u->idledelay;
        Rand_SetPosition(i);
        Units_ResetIdleDelay(u);
        EXPECT_EQ(u->idledelay, first);
        Units_Delete(u);
    }
}

TEST_F(UnitMap, PhaseNodesGoWithTheirUnit)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 5, 6);
    UNIT* b = Units_NewAt(tank_, 0, -1, 7, 7);
    PhaseEff_Add(a);
    PhaseEff_Add(b);
    PhaseEff_Add(a);
    Units_Delete(a);
    ASSERT_NE(PhaseEff_First(), nullptr);
    EXPECT_EQ(PhaseEff_First()->unitid, b->id);
    EXPECT_EQ(PhaseEff_First()->next, nullptr);
}

} // namespace
