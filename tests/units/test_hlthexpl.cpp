// Which health-level explosions a fall in hit points crosses.
#include <gtest/gtest.h>

#include <vector>

#include "core/debug.h"
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
