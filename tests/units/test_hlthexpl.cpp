// Which health-level explosions a fall in hit points crosses.
#include <gtest/gtest.h>

#include <vector>

#include "core/debug.h"
#include "support/world.h"
#include "units/building.h"
#include "units/hlthexpl.h"

namespace {

// The thresholds a fall from oldpercent to newpercent visits, in order.
std::vector<int> Walk(HEALTHEXPL* list, int oldpercent, int newpercent)
{
    std::vector<int> seen;
    for (HEALTHEXPL* e = Hlthexpl_FindCrossed(oldpercent, newpercent, list); e;
         e = Hlthexpl_NextCrossed(oldpercent, newpercent, e))
        seen.push_back(e->threshold);
    return seen;
}

TEST(HealthExplosions, AFallVisitsEveryCrossedThresholdFromTheHighest)
{
    HEALTHEXPL* list = nullptr;
    for (int t : {50, 25, 75}) Hlthexpl_Add(&list, t, 0, nullptr);
    EXPECT_EQ(Walk(list, 80, 40), (std::vector<int>{75, 50}));
    EXPECT_EQ(Walk(list, 50, 25), (std::vector<int>{25})) << "50 isn't crossed from exactly 50";
    EXPECT_EQ(Walk(list, 30, 30), std::vector<int>{});
    EXPECT_EQ(Walk(list, 100, 0), (std::vector<int>{75, 50, 25}));
    EXPECT_EQ(Walk(list, 20, 90), std::vector<int>{}) << "a rise crosses nothing";
    long blocks = Debug_LiveBlocks();
    Hlthexpl_Free(&list);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(Debug_LiveBlocks(), blocks - 3);
}

TEST(HealthExplosions, AnEqualThresholdGoesBeforeTheOthers)
{
    HEALTHEXPL* list = nullptr;
    Hlthexpl_Add(&list, 50, 0, nullptr);
    Hlthexpl_Add(&list, 50, 1, nullptr);
    Hlthexpl_Add(&list, 90, 0, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->threshold, 90);
    EXPECT_EQ(list->next->attach, 1) << "the newer of the two 50s comes first";
    EXPECT_EQ(Walk(list, 60, 10), (std::vector<int>{50, 50}));
    Hlthexpl_Free(&list);
}

} // namespace

// A building's hit points: clamped to its type's range, and the thresholds
// its percentage falls through are the explosions it sets off.
class BuildingHitpoints : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(24, 24);
        type = QvWorld_BuildingType("Depot", 2, 2);
        type->maxhitpoints = 400;
        for (int t : {75, 50, 25}) Hlthexpl_Add(&type->healthexplosions, t, 0, nullptr);
        b = Build_New(type, 1, -1, 5, 5);
        ASSERT_NE(b, nullptr);
    }
    void TearDown() override { QvWorld_Close(); }
    BUILDINGTYPE* type = nullptr;
    BUILDING* b = nullptr;
};

TEST_F(BuildingHitpoints, AFallStartsOneExplosionPerCrossedThreshold)
{
    EXPECT_EQ(b->hitpoints, 400);
    EXPECT_EQ(Build_SetHitpoints(b, 320), 0) << "100% to 80% crosses nothing";
    EXPECT_EQ(Build_SetHitpoints(b, 160), 2) << "80% to 40% crosses 75 and 50";
    HEALTHEXPL* crossed[4] = {};
    EXPECT_EQ(Build_HealthExplosionsCrossed(type, 320, 160, crossed, 4), 2);
    EXPECT_EQ(crossed[0]->threshold, 75);
    EXPECT_EQ(crossed[1]->threshold, 50);
    EXPECT_EQ(Build_SetHitpoints(b, 160), 0) << "an equal value crosses nothing";
    EXPECT_EQ(Build_SetHitpoints(b, 399), 0) << "a rise crosses nothing";
    EXPECT_EQ(Build_SetHitpoints(b, -50), 3);
    EXPECT_EQ(b->hitpoints, 0);
    EXPECT_EQ(Build_SetHitpoints(b, 9999), 0);
    EXPECT_EQ(b->hitpoints, 400);
}

TEST_F(BuildingHitpoints, TheCountCoversMoreEntriesThanTheCallerTakes)
{
    HEALTHEXPL* one[1] = {};
    EXPECT_EQ(Build_HealthExplosionsCrossed(type, 400, 0, one, 1), 3);
    EXPECT_EQ(one[0]->threshold, 75);
    type->maxhitpoints = 0;
    EXPECT_EQ(Build_HealthExplosionsCrossed(type, 400, 0, one, 1), 0)
        << "a type without hit points has no percentages";
}
