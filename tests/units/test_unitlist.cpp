// Unit lists and targets (handles going stale: test_unit.cpp).
#include "units/unitlist.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/uid.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/target.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class HandleWorld : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Units_ListInit(&list_);
    }
    void TearDown() override
    {
        Units_ListClose(&list_);
        QvWorldTest::TearDown();
    }
    UNITLIST list_;
};

TEST_F(HandleWorld, ListDeletingTheTailKeepsAppendsInOrderAndEmptyingResetsBothEnds)
{
    for (int id = 1; id <= 3; id++) Units_ListAppend(&list_, nullptr, id);
    EXPECT_EQ(Units_ListDelete(&list_, 3), 1);
    EXPECT_EQ(Units_ListDelete(&list_, 3), 0);
    Units_ListAppend(&list_, nullptr, 4);
    EXPECT_EQ(Units_ListDelete(&list_, 1), 1);
    int id = 0;
    UNIT* u = reinterpret_cast<UNIT*>(&id);
    ASSERT_EQ(Units_ListRemoveFirst(&list_, &u, &id), 1);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(u, nullptr) << "an id-only handle has no unit";
    ASSERT_EQ(Units_ListRemoveFirst(&list_, nullptr, &id), 1);
    EXPECT_EQ(id, 4);
    Units_ListAppend(&list_, nullptr, 5);
    EXPECT_EQ(list_.head, list_.tail);
}

TEST_F(HandleWorld, ListFindCopyAndValidateByTeamAndMap)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 5, 5);
    UNIT* b = Units_NewAt(tank_, 1, -1, 6, 5);
    UNIT* c = Units_NewAt(tank_, 0, -1, 7, 5);
    UNIT* d = Units_NewAt(tank_, 0, -1, 8, 5);
    for (UNIT* u : {a, b, c, d}) Units_ListAppend(&list_, u, u->id, u->team);
    UNITLIST copy;
    Units_ListInit(&copy);
    Units_ListAppend(&copy, nullptr, 77);
    Units_ListCopy(&copy, &list_);
    EXPECT_EQ(Units_ListFind(&copy, 77), nullptr) << "the copy replaces";
    Units_RemoveFromMap(c);
    Units_Delete(d);
    Units_ListValidateTeamOnMap(&copy, 0);
    EXPECT_EQ(Units_ListSize(&copy), 1);
    EXPECT_EQ(copy.head, copy.tail);
    EXPECT_EQ(Units_ListSize(&list_), 4) << "the source is untouched";
    Units_ListClose(&copy);
    // The team is checked only when a unit is given.
    QV_EXPECT_FATAL(Units_ListAppend(&list_, a, a->id, 9), "ASSERT (team >= 0 && team < TEAM_MAXTEAMS)");
    Units_ListAppend(&list_, nullptr, 3, 9);
    EXPECT_EQ(Units_ListSize(&list_), 5);
}

TEST_F(HandleWorld, TargetsGiveTheirTileAndPixelPositionUntilTheyAreGone)
{
    UNIT* u = Units_NewAt(tank_, 0, -1, 6, 7);
    BUILDING* b = Build_New(QvWorld_BuildingType("Depot", 3, 2), 1, -1, 20, 30);
    ASSERT_NE(b, nullptr);
    struct Row {
        const char* name;
        int mode;
        UNIT* unit;
        BUILDING* building;
        int tile[2], pixel[2];   // pixel {-1, -1}: no target
    } rows[] = {
        {"ground: the tile's centre", FM_GROUND, nullptr, nullptr, {3, 4}, {84, 108}},
        {"building: the footprint's centre", FM_BUILDING, nullptr, b, {20, 30}, {516, 744}},
        {"unknown mode", 9, nullptr, nullptr, {-9, -9}, {-1, -1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TARGET t;
        Target_Setup(&t, r.mode, r.unit, r.building, 3, 4);
        int tile[2] = {-9, -9}, px = 0, py = 0;
        EXPECT_EQ(Target_GetTilePosition(&t, tile), r.pixel[0] >= 0);
        Target_GetPosition(&t, &px, &py);
        EXPECT_EQ(std::vector<int>({tile[0], tile[1], px, py}),
                  std::vector<int>({r.tile[0], r.tile[1], r.pixel[0], r.pixel[1]}));
        EXPECT_EQ(Target_Valid(&t), r.pixel[0] >= 0);
    }
    TARGET t;
    Target_Setup(&t, FM_UNIT, u, nullptr, 0, 0);
    Units_Delete(u);
    Units_NewAt(tank_, 0, -1, 6, 8);   // the same record, another unit
    EXPECT_EQ(Target_Valid(&t), 0);
    Target_Setup(&t, FM_BUILDING, nullptr, b, 0, 0);
    Build_Remove(b);
    EXPECT_EQ(Target_Valid(&t), 0);
}

} // namespace
