// Iterators over units and buildings: order, filters, the map-grid walks and
// deleting the element just returned.
#include "units/iterate.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/uid.h"
#include "map/map.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class IterateWorld : public QvWorldTest {
protected:
    static std::vector<int> Ids(ITERATOR* it, UNIT* (*next)(ITERATOR*))
    {
        std::vector<int> ids;
        while (UNIT* u = next(it)) ids.push_back(u->id);
        return ids;
    }
};

using V = std::vector<int>;

// ---- team lists

class IterateUnits : public IterateWorld {};

TEST_F(IterateUnits, TeamWalksGoByModeNewestFirstAndTheWholeWalkByMaking)
{
    Units_NewAt(tank_, 1, -1, 5, 5);             // 1
    Units_NewAt(jet_, 1, -1, 6, 5);              // 2
    Units_NewAt(tank_, 0, -1, 7, 5);             // 3
    UNIT* off = Units_NewAt(tank_, 0, -1, 8, 5); // 4
    Units_NewAt(tank_, 1, -1, 9, 5);             // 5
    Units_NewAt(jet_, 8, -1, 10, 5);             // 6
    Units_RemoveFromMap(off);
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    EXPECT_EQ(Ids(&it, Iterate_UnitNext), (V{1, 2, 3, 4, 5, 6}));
    Iterate_UnitInit(&it, 1, 0, MM_ALL);
    EXPECT_EQ(Ids(&it, Iterate_UnitNext), (V{2, 5, 1}));
    Iterate_UnitInit(&it, 1, 0, MM_GROUND);
    EXPECT_EQ(Ids(&it, Iterate_UnitNext), (V{5, 1}));
}

// Regression: a unit taken off the map while the walk stood on it was handed
// out again from its team's off-map list.
TEST_F(IterateUnits, TheWholeWalkHandsOutEachUnitOnceWhateverHappensToIt)
{
    auto byId = [](int id) {
        UNIT* u = Units_IdToUnitPtr(id, -1);
        return u ? u : Units_IdToUnitPtrOffMap(id, -1);
    };
    struct Row {
        const char* what;
        std::function<void(UNIT*)> act;
        bool skipsNext;   // the action deletes the unit after it
    } rows[] = {
        {"deleted", [](UNIT* u) { Units_Delete(u); }, false},
        {"taken off the map", [](UNIT* u) { if (u->onmap) Units_RemoveFromMap(u); }, false},
        {"changing move mode",
         [](UNIT* u) {
             if (u->onmap) Units_RemoveFromMap(u);
             u->movemode = MM_FLY;
             u->maplevel = ML_FLY;
             Units_AddToMap(u);
         },
         false},
        {"remade in its record",
         [this](UNIT* u) {
             Units_DeleteKeepPtr(u);
             Units_NewKeepPtr(u, tank_, 0, -1);
         },
         false},
        {"deleting the next unit", [&](UNIT* u) { Units_Delete(byId(u->id + 1)); }, true},
    };
    for (const Row& r : rows) {
        V made, want;
        for (int i = 0; i < 5; i++) {
            UNIT* u = Units_NewAt(tank_, 0, -1, 5 + i, 5);
            if (i % 2) Units_RemoveFromMap(u);
            made.push_back(u->id);
            if (!r.skipsNext || i % 2 == 0) want.push_back(u->id);
        }
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        V seen;
        while (UNIT* u = Iterate_UnitNext(&it)) {
            seen.push_back(u->id);
            r.act(u);
        }
        EXPECT_EQ(seen, want) << r.what;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
    }
}

TEST_F(IterateUnits, MaskTestsTheAskingTeamsRelationTowardsEachTeam)
{
    Units_NewAt(tank_, 0, -1, 5, 5);   // 1
    Units_NewAt(tank_, 1, -1, 6, 5);   // 2
    Units_NewAt(tank_, 2, -1, 7, 5);   // 3
    Units_NewAt(tank_, 8, -1, 8, 5);   // 4
    for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[0].relation[t] = TR_NEUTRAL;
    teamdata[0].relation[0] = TR_ALLY;
    teamdata[0].relation[2] = TR_ENEMY;
    teamdata[0].relation[8] = TR_ENEMY;
    teamdata[2].relation[0] = TR_ALLY;   // the other side's view doesn't count
    ITERATOR it;
    Iterate_UnitInit(&it, 0, TR_ENEMY, MM_ALL);
    EXPECT_EQ(Ids(&it, Iterate_UnitNext), (V{3, 4}));
    Iterate_UnitInit(&it, 0, TR_ENEMY | TR_ALLY, MM_ALL);
    EXPECT_EQ(Ids(&it, Iterate_UnitNext), (V{1, 3, 4}));
    Iterate_UnitInit(&it, 9, TR_ALL, MM_ALL);   // no such team: nothing
    EXPECT_EQ(Iterate_UnitNext(&it), nullptr);
}

TEST_F(IterateUnits, ANullIteratorIsAnAssertionFailure)
{
    QV_EXPECT_FATAL(Iterate_UnitNext(nullptr), "ASSERT (it)");
}

// ---- unit lists

TEST_F(IterateUnits, ListWalkSkipsStaleEntriesAndKeepsThem)
{
    UNIT* a = Units_NewAt(tank_, 0, -1, 5, 5);
    UNIT* b = Units_NewAt(tank_, 0, -1, 6, 5);
    UNIT* c = Units_NewAt(tank_, 0, -1, 7, 5);
    UNITLIST list;
    Units_ListInit(&list);
    for (UNIT* u : {a, b, c}) Units_ListAppend(&list, u, u->id, 0);
    const int bid = b->id;
    Units_Delete(b);
    ITERATOR it;
    Iterate_UnitInitList(&it, &list);
    EXPECT_EQ(Ids(&it, Iterate_UnitNextList), (V{a->id, c->id}));
    EXPECT_EQ(Units_ListDelete(&list, bid), 1);   // still deletable by its id
    Units_ListClose(&list);
}

// ---- the map grid

class IterateGrid : public IterateWorld {};

TEST_F(IterateGrid, RectangleIsInclusiveClippedAndWalkedCellByCell)
{
    Units_NewAt(tank_, 0, -1, 20, 3);   // 1: cell (1, 0)
    Units_NewAt(tank_, 0, -1, 3, 20);   // 2: cell (0, 1)
    Units_NewAt(tank_, 0, -1, 5, 5);    // 3: cell (0, 0)
    Units_NewAt(jet_, 0, -1, 6, 5);     // 4: cell (0, 0), flying
    Units_NewAt(tank_, 1, -1, 7, 5);    // 5: another team
    Units_NewAt(tank_, 0, -1, 21, 20);  // 6: cell (1, 1), outside the rectangle
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, 0, 0, MM_ALL, -5, -5, 20, 20);
    EXPECT_EQ(Ids(&it, Iterate_UnitNextMapGrid), (V{3, 4, 1, 2}));
    Iterate_UnitInitMapGrid(&it, 0, 0, MM_GROUND, 5, 3, 20, 5);
    EXPECT_EQ(Ids(&it, Iterate_UnitNextMapGrid), (V{3, 1}));
    Iterate_UnitInitMapGrid(&it, 0, TR_ALL, MM_ALL, 7, 5, 7, 5);
    EXPECT_EQ(Ids(&it, Iterate_UnitNextMapGrid), (V{5}));
    Iterate_UnitInitMapGrid(&it, 0, 0, MM_ALL, 0, 0, 1000, 1000);
    EXPECT_EQ(Ids(&it, Iterate_UnitNextMapGrid).size(), 5u);
}

// The callback form meets the units the iterator meets, in its order, on
// random crowds (tanks and jets of four teams, some taken off the map) and
// random rectangles, partly off the map; returning false ends it at once.
TEST_F(IterateGrid, TheCallbackWalkMeetsWhatTheIteratorMeetsInItsOrder)
{
    uint32_t r = 99;
    auto next = [&r](int n) {
        r = r * 1664525u + 1013904223u;
        return (int)((r >> 8) % (uint32_t)n);
    };
    for (int k = 0; k < 300; k++) {
        const int x = 1 + next(mapsizex - 1), y = 1 + next(mapsizey - 1);
        UNIT* u = Units_NewAt(next(3) ? tank_ : jet_, next(4), -1, x, y);
        if (u && next(10) == 0) Units_RemoveFromMap(u);
    }
    for (int round = 0; round < 200; round++) {
        const int team = next(4), mask = next(2) ? 0 : TR_ENEMY | TR_ALLY;
        const int filter = next(2) ? MM_ALL : MM_GROUND;
        const int x1 = next(mapsizex + 20) - 10, y1 = next(mapsizey + 20) - 10;
        const int x2 = x1 + next(40) - 5, y2 = y1 + next(40) - 5;
        ITERATOR it;
        Iterate_UnitInitMapGrid(&it, team, mask, filter, x1, y1, x2, y2);
        const V want = Ids(&it, Iterate_UnitNextMapGrid);
        V got;
        Iterate_UnitForEachMapGrid(Iterate_TeamBits(team, mask), filter, x1, y1, x2, y2, [&](UNIT* u) {
            got.push_back(u->id);
            return true;
        });
        ASSERT_EQ(got, want) << "round " << round;
        if (want.size() < 2) continue;
        V first;
        Iterate_UnitForEachMapGrid(Iterate_TeamBits(team, mask), filter, x1, y1, x2, y2, [&](UNIT* u) {
            first.push_back(u->id);
            return first.size() < 2;
        });
        EXPECT_EQ(first, V(want.begin(), want.begin() + 2)) << "round " << round;
    }
}

TEST_F(IterateGrid, DeletingTheUnitJustReturnedIsSafe)
{
    for (int i = 0; i < 6; i++) Units_NewAt(tank_, 0, -1, 5 + i, 5);
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, 0, 0, MM_ALL, 1, 1, 63, 63);
    while (UNIT* u = Iterate_UnitNextMapGrid(&it)) Units_Delete(u);
    EXPECT_EQ(Units_Count(), 0);
}

TEST_F(IterateGrid, BuildingAcrossCellsIsReturnedOnce)
{
    BUILDINGTYPE* big = QvWorld_BuildingType("Depot", 4, 4);
    BUILDINGTYPE* small = QvWorld_BuildingType("Hut", 1, 1);
    BUILDING* a = Build_New(big, 0, -1, 14, 14);   // cells (0..1, 0..1)
    BUILDING* b = Build_New(small, 1, -1, 40, 40);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ITERATOR it;
    std::vector<BUILDING*> got;
    Iterate_BuildInitMapGrid(&it, 0, TR_ALL, 1, 1, 63, 63);
    while (BUILDING* x = Iterate_BuildNextMapGrid(&it)) got.push_back(x);
    EXPECT_EQ(got, (std::vector<BUILDING*>{a, b}));
    got.clear();
    Iterate_BuildInitMapGrid(&it, 0, TR_ALL, 16, 16, 30, 30);   // only the lower right of a
    while (BUILDING* x = Iterate_BuildNextMapGrid(&it)) got.push_back(x);
    EXPECT_EQ(got, (std::vector<BUILDING*>{a}));
    Iterate_BuildInitMapGrid(&it, 1, 0, 1, 1, 63, 63);
    EXPECT_EQ(Iterate_BuildNextMapGrid(&it), b);
    EXPECT_EQ(Iterate_BuildNextMapGrid(&it), nullptr);
}

TEST_F(IterateGrid, TeamBuildingsByMaskAndRemovingTheOneReturned)
{
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 1, 1);
    BUILDING* a = Build_New(hut, 2, -1, 5, 5);
    BUILDING* b = Build_New(hut, 0, -1, 7, 5);
    BUILDING* c = Build_New(hut, 2, -1, 9, 5);
    teamdata[0].relation[2] = TR_ENEMY;
    ITERATOR it;
    std::vector<BUILDING*> got;
    Iterate_BuildInit(&it, 0, TR_ENEMY);
    while (BUILDING* x = Iterate_BuildNext(&it)) got.push_back(x);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE((got == std::vector<BUILDING*>{a, c}) || (got == std::vector<BUILDING*>{c, a}));
    Iterate_BuildInit(&it, 0, 0);
    EXPECT_EQ(Iterate_BuildNext(&it), b);
    int n = 0;
    Iterate_BuildInit(&it, 0, TR_ALL);
    while (BUILDING* x = Iterate_BuildNext(&it)) {
        Build_Remove(x);
        n++;
    }
    EXPECT_EQ(n, 3);
}

} // namespace
