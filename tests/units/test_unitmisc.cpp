// Unit look-ups: ids, levels, terrain effects, speeds, the nearest free tile,
// presence tests and group ids.
#include <gtest/gtest.h>

#include <string>

#include "core/uid.h"
#include "map/map.h"
#include "platform/effects.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class LookupWorld : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(128, 64);
        Uid_Reset();
        tank_ = QvWorld_UnitType("Tank");
        jet_ = QvWorld_UnitType("Jet", MM_FLY);
        // Every texture cell speed 100 climb 2; row 3 variation 5 speed 40;
        // special effect 9 (cell (17, 1)) speed 0.
        table_ = Effects_NewTable("Tracks", 100, 2);
        Effects_SetEffect(table_, 3, 5, 40, 2);
        Effects_SetEffect(table_, 17, 1, 0, 0);
        tank_->effects = table_;
    }
    void TearDown() override { QvWorld_Close(); }
    static MAP_ELEMENT* El(int x, int y) { return MAP_ELEMENT_AT(x, y); }

    QvLogCapture log_;
    UNITTYPE* tank_ = nullptr;
    UNITTYPE* jet_ = nullptr;
    EFFECTTYPE* table_ = nullptr;
};

// ---- ids, levels and modes

class UnitLookup : public LookupWorld {};

TEST_F(UnitLookup, IdsAreFoundOnTheMapOrOffItByTeam)
{
    UNIT* a = Units_NewAt(tank_, 3, -1, 5, 5);
    UNIT* b = Units_NewAt(jet_, 5, -1, 6, 5);
    Units_RemoveFromMap(b);
    EXPECT_EQ(Units_IdToUnitPtr(a->id, 3), a);
    EXPECT_EQ(Units_IdToUnitPtr(a->id, 4), nullptr);
    EXPECT_EQ(Units_IdToUnitPtr(a->id, -1), a);
    EXPECT_EQ(Units_IdToUnitPtr(b->id, 99), nullptr);   // off the map
    EXPECT_EQ(Units_IdToUnitPtrOffMap(b->id, 5), b);
    EXPECT_EQ(Units_IdToUnitPtrOffMap(b->id, 9), b);
    EXPECT_EQ(Units_IdToUnitPtrOffMap(b->id, 0), nullptr);
}

TEST_F(UnitLookup, LevelsLayersAndAltitudesFollowTheMoveMode)
{
    EXPECT_EQ(Units_GetMapLevel(MM_FLY), ML_FLY);
    EXPECT_EQ(Units_GetMapLevel(MM_FIXED), ML_GROUND);
    EXPECT_EQ(Units_GetMapLevel(MM_TUNNEL), ML_TUNNEL);
    EXPECT_EQ(Units_GetMapLevel(9), ML_GROUND);
    EXPECT_NE(log_.text().find("Unknown move mode [9]"), std::string::npos);
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    El(5, 5)->altitude = 7;
    EXPECT_EQ(Units_GetAltitude(u), 8);
    EXPECT_EQ(Units_GetDisplayLayer(u), 2);
    EXPECT_TRUE(Units_IsGroundUnit(u));
    u->movemode = MM_FLY;
    EXPECT_EQ(Units_GetAltitude(u), UNITS_FLYERALT);
    EXPECT_EQ(Units_GetDisplayLayer(u), 5);
    u->movemode = MM_TUNNEL;
    EXPECT_EQ(Units_GetAltitude(u), 0);
    u->movemode = MM_GROUND;
    QV_EXPECT_FATAL(Units_UnitAtMapLevel(3, 5, 5), "ASSERT (level>=0 && level<ML_MAX)");
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 0, 5), nullptr);
    QV_EXPECT_FATAL(Units_IsHumanUnit(nullptr), "ASSERT (u)");
}

// ---- terrain effects

class UnitTerrain : public LookupWorld {};

TEST_F(UnitTerrain, TextureOrSpecialEffectPicksTheCell)
{
    int speed = -1, climb = -1;
    El(5, 5)->tile = 0x3333u | (5u << 18);
    EXPECT_EQ(Units_GetTileEffects(tank_, 5, 5, &speed, &climb), 40);
    EXPECT_EQ(climb, 2);
    El(5, 5)->effect = 9;
    EXPECT_EQ(Units_GetTileEffects(tank_, 5, 5, &speed, &climb), 0);
    EXPECT_EQ(climb, 0);
    EXPECT_TRUE(Units_IsImpassible(tank_, 5, 5));
    EXPECT_FALSE(Units_IsImpassible(jet_, 5, 5));   // no table: speed 100
    EXPECT_EQ(Units_GetTileEffects(jet_, 5, 5, &speed, &climb), 100);
    EXPECT_EQ(climb, 1);
}

TEST_F(UnitTerrain, FieldBeyondTheSixteenEffectsReadsTheTextureNotPastTheTable)
{
    El(5, 5)->tile = 0x3333u | (5u << 18);
    El(5, 5)->effect = 20;
    EXPECT_EQ(Units_GetTileEffects(tank_, 5, 5, nullptr, nullptr), 40);
}

TEST_F(UnitTerrain, RowOrColumnZeroIsARangeErrorButPassable)
{
    int speed = -1, climb = -1;
    El(0, 5)->effect = 9;
    EXPECT_EQ(Units_GetTileEffects(tank_, 0, 5, &speed, &climb), 100);
    EXPECT_EQ(climb, 1);
    EXPECT_NE(log_.text().find("Range error 0 5"), std::string::npos);
    EXPECT_EQ(Units_GetTileEffects(tank_, 5, 0, &speed, &climb), 100);
    EXPECT_NE(log_.text().find("Range error 5 0"), std::string::npos);
}

TEST_F(UnitTerrain, AbleToMoveTestsClimbBothWaysAndSpeedOfBothTiles)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    EXPECT_TRUE(Units_AbleToMove(u, 5, 5, 6, 5));
    El(6, 5)->altitude = 6;   // step of 2: the climb limit
    EXPECT_TRUE(Units_AbleToMove(u, 5, 5, 6, 5));
    El(6, 5)->altitude = 7;
    EXPECT_FALSE(Units_AbleToMove(u, 5, 5, 6, 5));
    EXPECT_FALSE(Units_AbleToMove(u, 6, 5, 5, 5));
    El(6, 5)->altitude = 4;
    El(6, 5)->effect = 9;   // speed 0 at the target
    EXPECT_FALSE(Units_AbleToMove(u, 5, 5, 6, 5));
    EXPECT_FALSE(Units_AbleToMove(u, 6, 5, 5, 5));   // ... and at the source
}

TEST_F(UnitTerrain, SpeedIsScaledReducedByTheStepAndClamped)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), 10);
    El(6, 5)->altitude = 6;   // 10 x 100 x 200 - 2 just under 10 x 20000
    EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), 9);
    u->movemode = MM_TUNNEL;
    EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), 10);
    tank_->speed = 255;
    EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), 59);
    tank_->speed = 1;
    El(6, 5)->effect = 9;
    EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), 1);
}

// ---- the nearest free tile

class UnitClosest : public LookupWorld {};

TEST_F(UnitClosest, RingCandidatesAreTriedInTheirFixedOrder)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 30, 30);
    int x = 0, y = 0;
    ASSERT_TRUE(Units_ClosestLocation(u, 20, 20, &x, &y, 0));
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 20);
    UNIT* blockers[4];
    blockers[0] = Units_NewAt(tank_, 1, -1, 20, 20);
    const int expect[][2] = {{21, 20}, {19, 20}, {20, 21}, {20, 19}, {22, 20}};
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(Units_ClosestLocation(u, 20, 20, &x, &y, 2)) << i;
        EXPECT_EQ(x, expect[i][0]) << i;
        EXPECT_EQ(y, expect[i][1]) << i;
        if (i < 4) blockers[i] = Units_NewAt(tank_, 1, -1, x, y);
    }
    EXPECT_FALSE(Units_ClosestLocation(u, 20, 20, &x, &y, 0));
    EXPECT_FALSE(Units_ClosestLocation(u, 20, 20, &x, &y, -1));
    (void)blockers;
}

TEST_F(UnitClosest, ImpassableNoStopAndOffMapTilesAreSkipped)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 30, 30);
    int x = 0, y = 0;
    El(20, 20)->effect = 9;   // speed 0
    El(21, 20)->effect = 4;   // no stopping on the ground
    ASSERT_TRUE(Units_ClosestLocation(u, 20, 20, &x, &y, 1));
    EXPECT_EQ(x, 19);
    UNIT* f = Units_NewAt(jet_, 0, -1, 31, 31);
    jet_->effects = table_;
    ASSERT_TRUE(Units_ClosestLocation(f, 20, 20, &x, &y, 1));
    EXPECT_EQ(x, 21);   // flyers may stop over effect 4
    ASSERT_TRUE(Units_ClosestLocation(u, 0, 1, &x, &y, 1));
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
}

// ---- presence

class UnitPresence : public LookupWorld {};

TEST_F(UnitPresence, CircleAndRectangleSeeTheSelectedTeamsOnly)
{
    Units_NewAt(tank_, 2, -1, 10, 10);
    teamdata[0].relation[2] = TR_ENEMY;
    EXPECT_TRUE(Units_RelationInCircle(13, 14, 5, 2, 0));
    EXPECT_FALSE(Units_RelationInCircle(13, 14, 4, 2, 0));
    EXPECT_TRUE(Units_RelationInCircle(13, 14, 5, 0, TR_ENEMY));
    EXPECT_FALSE(Units_RelationInCircle(13, 14, 5, 0, TR_ALLY));
    EXPECT_FALSE(Units_RelationInCircle(13, 14, 5, 0, 0));
    EXPECT_TRUE(Units_RelationInRectangle(10, 10, 10, 10, 2, 0));
    EXPECT_FALSE(Units_RelationInRectangle(11, 5, 20, 20, 2, 0));
}

TEST_F(UnitPresence, FarUnitBeyondTheDistanceTableIsNotNear)
{
    Units_NewAt(tank_, 2, -1, 110, 5);
    EXPECT_FALSE(Units_RelationInCircle(5, 5, 70, 2, 0));
    EXPECT_TRUE(Units_RelationInCircle(5, 5, 105, 2, 0));
    EXPECT_EQ(log_.text().find("out of range"), std::string::npos);
}

// ---- group ids

TEST(UnitGroupIds, CountFromOneAfterAResetAndNeverGiveZero)
{
    Units_ResetGroupIds();
    EXPECT_EQ(Units_AllocGroupId(), 1u);
    EXPECT_EQ(Units_AllocGroupId(), 2u);
    Units_ResetGroupIds();
    EXPECT_EQ(Units_AllocGroupId(), 1u);
    Units_SetGroupIdCounter(0xFFFFFFFEu);
    EXPECT_EQ(Units_AllocGroupId(), 0xFFFFFFFEu);
    EXPECT_EQ(Units_AllocGroupId(), 0xFFFFFFFFu);
    EXPECT_EQ(Units_AllocGroupId(), 1u) << "the wrap skips 0";
    Units_SetGroupIdCounter(0);
    EXPECT_EQ(Units_AllocGroupId(), 1u) << "a restored 0 is taken as 1";
}

} // namespace
