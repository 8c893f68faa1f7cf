// The buildings' pictures follow the building list: new, removed, reused,
// moved and re-teamed buildings (the editor moves and re-teams them).
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "core/uid.h"
#include "platform/sortdisp.h"
#include "support/world.h"
#include "units/bldpics.h"
#include "units/building.h"
#include "units/team.h"

namespace {

class BuildingPictures : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(40, 40);
        SortDisp_Init();
        Uid_Reset();
        depot = QvWorld_BuildingType("Depot", 3, 2);
    }
    void TearDown() override
    {
        BldPics_Clear();
        SortDisp_Close();
        QvWorld_Close();
    }
    static int Pictures() { return SortDisp_Count(); }
    // The colour remap and left edge of each building's picture (its body).
    static std::set<std::pair<int, int>> Bodies()
    {
        std::set<std::pair<int, int>> out;
        for (int layer = 0; layer < SORTDISP_LAYERS; layer++)
            for (int bucket = 0; bucket < SORTDISP_BUCKETS; bucket++)
                for (DISPLAYELEMENT* e = SortDisp_BucketHead(layer, bucket); e; e = e->next)
                    if ((e->flags & BLDPICS_MARK) && !e->prevup) out.insert({SortDisp_GetRemap(e), e->x / 24});
        return out;
    }

    BUILDINGTYPE* depot = nullptr;
};

} // namespace

TEST_F(BuildingPictures, FollowNewRemovedMovedAndReteamedBuildings)
{
    const int empty = Pictures();
    BUILDING* a = Build_New(depot, 1, -1, 2, 2);
    BUILDING* b = Build_New(depot, 2, -1, 10, 2);
    BldPics_Follow();
    EXPECT_EQ(BldPics_Count(), 2);
    const int two = Pictures();
    EXPECT_GT(two, empty);

    BldPics_Follow(); // nothing changed: nothing made again
    EXPECT_EQ(Pictures(), two);

    Team_SetColour(3, 6); // drawn in the team's colour, not by its number
    Build_ChangeTeam(a, 3);
    b->tilex = 20; // as the editor's move puts it
    BldPics_Follow();
    EXPECT_EQ(BldPics_Count(), 2);
    EXPECT_EQ(Pictures(), two) << "the old pictures of the moved and re-teamed buildings are gone";
    EXPECT_EQ(Bodies(), (std::set<std::pair<int, int>>{{6, 2}, {2, 20}}));

    Build_Remove(a);
    BldPics_Follow();
    EXPECT_EQ(BldPics_Count(), 1);
    BUILDING* c = Build_New(depot, 1, -1, 2, 2); // may reuse a's record
    BldPics_Follow();
    EXPECT_EQ(BldPics_Count(), 2);
    EXPECT_EQ(Pictures(), two);
    (void)c;

    BldPics_Clear();
    EXPECT_EQ(BldPics_Count(), 0);
    EXPECT_EQ(Pictures(), empty);
}
