// Which health-level explosions a fall in hit points crosses.
#include <gtest/gtest.h>

#include <vector>

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

// A fall visits every threshold it crosses, from the highest; a threshold
// equal to others goes before them (the newer of two 50s comes first).
TEST(HealthExplosions, AFallVisitsEveryCrossedThresholdFromTheHighest)
{
    HEALTHEXPL* list = nullptr;
    for (int t : {50, 25, 75}) Hlthexpl_Add(&list, t, 0, nullptr);
    Hlthexpl_Add(&list, 50, 1, nullptr);
    ASSERT_EQ(list->threshold, 75);
    EXPECT_EQ(list->next->attach, 1);
    const struct {
        int from, to;
        std::vector<int> seen;
    } rows[] = {
        {80, 40, {75, 50, 50}}, {50, 25, {25}}, // 50 isn't crossed from exactly 50
        {20, 90, {}},                           // a rise crosses nothing
    };
    for (const auto& r : rows) EXPECT_EQ(Walk(list, r.from, r.to), r.seen) << r.from << " " << r.to;
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
    EXPECT_EQ(Build_SetHitpoints(b, 320), 0) << "100% to 80% crosses nothing";
    EXPECT_EQ(Build_SetHitpoints(b, 160), 2) << "80% to 40% crosses 75 and 50";
    EXPECT_EQ(Build_SetHitpoints(b, 399), 0) << "a rise crosses nothing";
    EXPECT_EQ(Build_SetHitpoints(b, -50), 3);
    EXPECT_EQ(b->hitpoints, 0);
    EXPECT_EQ(Build_SetHitpoints(b, 9999), 0);
    EXPECT_EQ(b->hitpoints, 400);
    // The count covers more entries than the caller takes.
    HEALTHEXPL* one[1] = {};
    EXPECT_EQ(Build_HealthExplosionsCrossed(type, 400, 0, one, 1), 3);
    type->maxhitpoints = 0;
    EXPECT_EQ(Build_HealthExplosionsCrossed(type, 400, 0, one, 1), 0)
        << "a type without hit points has no percentages";
}
