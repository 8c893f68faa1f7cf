// Unit look-ups: ids, levels, terrain effects, speeds, the nearest free tile,
// presence tests and group ids.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/uid.h"
#include "map/map.h"
#include "platform/effects.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class LookupWorld : public QvWorldTest {
protected:
    LookupWorld() : QvWorldTest(128, 64) {}
    void SetUp() override
    {
        QvWorldTest::SetUp();
        // Every texture cell speed 100 climb 2; row 3 variation 5 speed 40;
        // special effect 9 (cell (17, 1)) speed 0.
        table_ = Effects_NewTable("Tracks", 100, 2);
        Effects_SetEffect(table_, 3, 5, 40, 2);
        Effects_SetEffect(table_, 17, 1, 0, 0);
        tank_->effects = table_;
    }
    static MAP_ELEMENT* El(int x, int y) { return MAP_ELEMENT_AT(x, y); }
    EFFECTTYPE* table_ = nullptr;
};

TEST_F(LookupWorld, IdsAreFoundOnTheMapOrOffItByTeamAndLevelsFollowTheMoveMode)
{
    UNIT* a = Units_NewAt(tank_, 3, -1, 5, 5);
    UNIT* b = Units_NewAt(jet_, 5, -1, 6, 5);
    Units_RemoveFromMap(b);
    EXPECT_EQ(Units_IdToUnitPtr(a->id, 4), nullptr);
    EXPECT_EQ(Units_IdToUnitPtr(a->id, -1), a) << "no team: every team";
    EXPECT_EQ(Units_IdToUnitPtr(b->id, 99), nullptr) << "off the map";
    EXPECT_EQ(Units_IdToUnitPtrOffMap(b->id, 9), b);

    EXPECT_EQ(Units_GetMapLevel(9), ML_GROUND);
    EXPECT_NE(log_.text().find("Unknown move mode [9]"), std::string::npos);
    QV_EXPECT_FATAL(Units_UnitAtMapLevel(3, 5, 5), "ASSERT (level>=0 && level<ML_MAX)");
    EXPECT_EQ(Units_UnitAtMapLevel(ML_GROUND, 0, 5), nullptr);
}

TEST_F(LookupWorld, TileEffectsComeFromTheSpecialEffectElseTheTexture)
{
    struct Row {
        const char* name;
        bool jet;
        int x, y, effect, speed, climb;   // effect -1: none
        const char* logged;
    } rows[] = {
        {"special effect 9", false, 5, 5, 9, 0, 0, ""},
        {"no table", true, 5, 5, 9, 100, 1, ""},
        {"a field past the 16 effects reads the texture", false, 5, 5, 20, 40, 2, ""},
        {"column 0: a range error, passable", false, 0, 5, 9, 100, 1, "Range error 0 5"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        log_.clear();
        MAP_ELEMENT* e = El(r.x, r.y);
        const MAP_ELEMENT saved = *e;
        e->tile = 0x3333u | (5u << 18);
        if (r.effect >= 0) e->effect = r.effect;
        UNITTYPE* type = r.jet ? jet_ : tank_;
        int speed = -1, climb = -1;
        EXPECT_EQ(Units_GetTileEffects(type, r.x, r.y, &speed, &climb), r.speed);
        EXPECT_EQ(climb, r.climb);
        EXPECT_EQ(Units_IsImpassible(type, r.x, r.y), r.speed == 0);
        EXPECT_NE(log_.text().find(r.logged), std::string::npos);
        *e = saved;
    }
}

TEST_F(LookupWorld, MovingNeedsTheClimbBothWaysAndSpeedAtBothEndsAndTheStepSlows)
{
    struct Row {
        const char* name;
        int altitude, effect, movemode, typespeed, there, back, speed;   // tile (6, 5); effect -1: none
    } rows[] = {
        {"a step of 2 is the climb limit", 6, -1, MM_GROUND, 10, 1, 1, 9},
        {"a step of 3", 7, -1, MM_GROUND, 10, 0, 0, 9},
        {"speed 0 at either end; the speed clamps to 1", 4, 9, MM_GROUND, 10, 0, 0, 1},
        {"tunnels ignore the step", 6, -1, MM_TUNNEL, 10, 1, 1, 10},
        {"the speed clamps to 59", 4, -1, MM_GROUND, 255, 1, 1, 59},
    };
    UNIT* u = Units_NewAt(tank_, 0, -1, 5, 5);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        El(6, 5)->altitude = r.altitude;
        El(6, 5)->effect = r.effect >= 0 ? r.effect : MAP_EFFECT_NONE;
        u->movemode = r.movemode;
        tank_->speed = (uint8_t)r.typespeed;
        EXPECT_EQ(Units_AbleToMove(u, 5, 5, 6, 5), r.there);
        EXPECT_EQ(Units_AbleToMove(u, 6, 5, 5, 5), r.back);
        EXPECT_EQ(Units_CalculateSpeed(u, 5, 5, 6, 5), r.speed);
    }
    u->movemode = MM_GROUND;
}

TEST_F(LookupWorld, TheNearestFreeTileIsTriedRingByRingInAFixedOrderSkippingUnusableTiles)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 30, 30);
    auto closest = [](const UNIT* v, int x, int y, int maxdist) {
        int cx = -1, cy = -1;
        return Units_ClosestLocation(v, x, y, &cx, &cy, maxdist) ? std::pair(cx, cy) : std::pair(-1, -1);
    };
    EXPECT_EQ(closest(u, 20, 20, 0), std::pair(20, 20));
    Units_NewAt(tank_, 1, -1, 20, 20);
    for (std::pair<int, int> next : {std::pair(21, 20), {19, 20}, {20, 21}, {20, 19}, {22, 20}}) {
        ASSERT_EQ(closest(u, 20, 20, 2), next);
        Units_NewAt(tank_, 1, -1, next.first, next.second);
    }
    EXPECT_EQ(closest(u, 20, 20, 1), std::pair(-1, -1));
    El(40, 40)->effect = 9;   // speed 0
    El(41, 40)->effect = 4;   // no stopping on the ground
    EXPECT_EQ(closest(u, 40, 40, 1), std::pair(39, 40));
    jet_->effects = table_;
    UNIT* jet = Units_NewAt(jet_, 0, -1, 31, 31);
    EXPECT_EQ(closest(jet, 40, 40, 1), std::pair(41, 40)) << "flyers may stop over effect 4";
    EXPECT_EQ(closest(u, 0, 1, 1), std::pair(1, 1)) << "only tiles on the map";
}

TEST_F(LookupWorld, PresenceInACircleOrRectangleSeesTheSelectedTeamsOnly)
{
    Units_NewAt(tank_, 2, -1, 10, 10);
    Units_NewAt(tank_, 3, -1, 110, 5);
    teamdata[0].relation[2] = TR_ENEMY;
    EXPECT_TRUE(Units_RelationInCircle(13, 14, 5, 2, 0));
    EXPECT_FALSE(Units_RelationInCircle(13, 14, 4, 2, 0));
    EXPECT_FALSE(Units_RelationInCircle(13, 14, 5, 0, TR_ALLY));
    EXPECT_TRUE(Units_RelationInRectangle(10, 10, 10, 10, 2, 0));
    EXPECT_FALSE(Units_RelationInCircle(5, 5, 70, 3, 0)) << "beyond the distance table";
    EXPECT_TRUE(Units_RelationInCircle(5, 5, 105, 3, 0));
    EXPECT_EQ(log_.text().find("out of range"), std::string::npos);
}

TEST(UnitGroupIds, CountFromOneAfterAResetAndNeverGiveZero)
{
    Units_SetGroupIdCounter(0xFFFFFFFFu);
    EXPECT_EQ(Units_AllocGroupId(), 0xFFFFFFFFu);
    EXPECT_EQ(Units_AllocGroupId(), 1u) << "the wrap skips 0";
    Units_SetGroupIdCounter(0);
    EXPECT_EQ(Units_AllocGroupId(), 1u) << "a restored 0 is taken as 1";
}

} // namespace
