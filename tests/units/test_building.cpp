// Building types and buildings: placing and removing, the lists, the map
// fields and grid they change, handles, look-ups, sight and mini-buildings.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/hlthexpl.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class BuildingWorld : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(40, 40);
        Fog_SetSeeAll(0);
        Uid_Reset();
        g_LocalTeam = 0;
        g_EditorKeepTerrain = 0;
        depot = QvWorld_BuildingType("Depot", 3, 2);
    }
    void TearDown() override
    {
        g_EditorKeepTerrain = 0;
        QvWorld_Close();
    }
    static int Effect(int x, int y) { return (int)MAP_ELEMENT_AT(x, y)->effect; }
    static void SetCode(BUILDINGTYPE* type, int cx, int cy, int code)
    {
        Effects_OvlEntry(type->footprint, cx, cy)[0] = (uint8_t)code;
    }
    static std::vector<BUILDING*> TeamList(int team)
    {
        std::vector<BUILDING*> out;
        for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) out.push_back(b);
        return out;
    }
    static std::vector<BUILDING*> GlobalList()
    {
        std::vector<BUILDING*> out;
        for (BUILDING* b = g_Buildings; b; b = b->next) out.push_back(b);
        return out;
    }

    QvLogCapture log_;
    BUILDINGTYPE* depot = nullptr;
};

using Vec = std::vector<BUILDING*>;

} // namespace

// ------------------------------------------------------------------ types and layer

class BuildingTypes : public BuildingWorld {};

TEST_F(BuildingTypes, SixtyAtMostAndFoundByNameWhateverTheCase)
{
    BUILDINGTYPE* t = Build_NewType();
    ASSERT_NE(t, nullptr);
    snprintf(t->name, sizeof t->name, "Factory");
    EXPECT_EQ(Textfile_FindBuildingType("FACTORY"), 1);
    EXPECT_EQ(Textfile_FindBuildingType("depot"), 0);
    EXPECT_EQ(Textfile_FindBuildingType("Fact"), -1);
    while (g_NrBuildingTypes < BUILD_MAXTYPES) ASSERT_NE(Build_NewType(), nullptr);
    EXPECT_EQ(Build_NewType(), nullptr);
    EXPECT_NE(log_.text().find("max of 60 building types defined"), std::string::npos);
}

TEST_F(BuildingTypes, ClosingFreesWhatTheTypesOwn)
{
    long before = Debug_LiveBlocks();
    Hlthexpl_Add(&depot->healthexplosions, 50, 0, nullptr);
    Build_CloseAll();
    EXPECT_EQ(Debug_LiveBlocks(), before);
    Build_InitAll();   // for the fixture's close
}

// ------------------------------------------------------------------ placing

class BuildingNew : public BuildingWorld {};

TEST_F(BuildingNew, AReservedIdIsKeptAndNeverHandedOutAgain)
{
    BUILDING* c = Build_New(depot, 0, 77, 5, 5);
    ASSERT_NE(c, nullptr);
    EXPECT_GT(Uid_Next(), 77);
    EXPECT_EQ(Build_FindById(77), c);
}

TEST_F(BuildingNew, DepartsFiveTilesEastOfTheDoorOrWestNearTheEdge)
{
    BUILDING* a = Build_New(depot, 0, -1, 5, 5);     // no door: from the top row's right end
    BUILDING* b = Build_New(depot, 0, -1, 36, 8);    // 38 + 5 is off: west of the left edge
    depot->bayx = depot->bayy = 1;
    BUILDING* c = Build_New(depot, 0, -1, 5, 15);    // door (6, 16)
    EXPECT_EQ(std::pair(a->departx, a->departy), std::pair(12, 5));
    EXPECT_EQ(std::pair(b->departx, b->departy), std::pair(31, 8));
    EXPECT_EQ(std::pair(c->departx, c->departy), std::pair(11, 16));
}

TEST_F(BuildingNew, InvalidTypeTeamIdOrTileGivesNullAndChangesNothing)
{
    BUILDINGTYPE* empty = QvWorld_BuildingType("Empty", 1, 1);
    SetCode(empty, 0, 0, EFFECTS_NOT_FOOTPRINT);
    struct Row {
        BUILDINGTYPE* type;
        int team, id, x;
        const char* logged;
    } rows[] = {
        {nullptr, 0, -1, 5, "invalid building type"},
        {empty, 0, -1, 5, "empty footprint"},
        {depot, 9, -1, 5, "invalid team 9"},
        // Regression: id 0 was taken (ids below 1 other than -1 are refused).
        {depot, 0, 0, 5, "invalid id 0"},
        {depot, 0, -1, 0, "lies off the map"},   // column 0 is no valid tile
        {depot, 0, -1, 38, "lies off the map"},
    };
    for (const Row& r : rows) {
        log_.clear();
        EXPECT_EQ(Build_New(r.type, r.team, r.id, r.x, 5), nullptr) << r.logged;
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << log_.text();
    }
    EXPECT_EQ(Build_Count(), 0);
    EXPECT_EQ(Uid_Get(), 1) << "no id was used up";
    // Only covered cells must be on the map.
    SetCode(depot, 0, 0, EFFECTS_NOT_FOOTPRINT);
    SetCode(depot, 0, 1, EFFECTS_NOT_FOOTPRINT);
    EXPECT_NE(Build_New(depot, 0, -1, 0, 1), nullptr);
}

TEST_F(BuildingNew, NewestFirstOnTheListsAndARemovalTwiceIsHarmless)
{
    BUILDING* a = Build_New(depot, 1, -1, 2, 2);
    BUILDING* b = Build_New(depot, 3, -1, 2, 6);
    BUILDING* c = Build_New(depot, 1, -1, 2, 10);
    BUILDING* d = Build_New(depot, 1, -1, 2, 14);
    EXPECT_EQ(GlobalList(), (Vec{d, c, b, a}));
    EXPECT_EQ(TeamList(1), (Vec{d, c, a}));
    Build_Remove(c);   // the middle
    Build_Remove(d);   // the head
    EXPECT_EQ(TeamList(1), (Vec{a}));
    EXPECT_EQ(a->teamprev, nullptr);
    log_.clear();
    Build_Remove(d);
    EXPECT_NE(log_.text().find("already removed"), std::string::npos);
    EXPECT_EQ(GlobalList(), (Vec{b, a}));
    EXPECT_NE(Build_New(depot, 0, -1, 20, 2), Build_New(depot, 0, -1, 20, 6))
        << "a record freed once is handed out once";
}

// ------------------------------------------------------------------ the map

class BuildingMap : public BuildingWorld {};

TEST_F(BuildingMap, FootprintCodesAreWrittenAndExactlyThePreviousFieldsComeBack)
{
    SetCode(depot, 2, 0, EFFECTS_NOT_FOOTPRINT);
    MAP_ELEMENT_AT(6, 5)->effect = 7;   // something already there
    MAP_ELEMENT_AT(7, 5)->effect = 9;   // under the hole
    BUILDING* b = Build_New(depot, 0, -1, 5, 5);
    EXPECT_EQ(Effect(6, 5), 0);
    EXPECT_EQ(Effect(7, 5), 9);
    // The type's grid changing meanwhile doesn't change what comes back.
    SetCode(depot, 2, 0, 4);
    SetCode(depot, 0, 0, EFFECTS_NOT_FOOTPRINT);
    Build_Remove(b);
    EXPECT_EQ(Effect(5, 5), MAP_EFFECT_NONE);
    EXPECT_EQ(Effect(6, 5), 7);
    EXPECT_EQ(Effect(7, 5), 9);
}

TEST_F(BuildingMap, TheEditorSwitchLeavesTheFieldsButNotTheGrid)
{
    g_EditorKeepTerrain = 1;
    MAP_ELEMENT_AT(6, 6)->effect = 12;
    BUILDING* b = Build_New(depot, 0, -1, 5, 5);
    EXPECT_EQ(Effect(6, 6), 12);
    EXPECT_EQ(Build_AtTile(6, 6), b);
    g_EditorKeepTerrain = 0;   // cleared before the removal: still nothing to put back
    MAP_ELEMENT_AT(6, 6)->effect = 13;
    Build_Remove(b);
    EXPECT_EQ(Effect(6, 6), 13);
}

TEST_F(BuildingMap, InEveryGridCellItTouchesAndFoundByTilePixelAndDoor)
{
    SetCode(depot, 2, 1, EFFECTS_NOT_FOOTPRINT);
    depot->bayx = 2;
    depot->bayy = 1;
    BUILDING* a = Build_New(depot, 0, -1, 14, 15);   // x 14..16, y 15..16: four cells
    BUILDING* b = Build_New(depot, 1, -1, 17, 15);
    for (auto [x, y] : {std::pair{14, 15}, {16, 15}, {14, 16}, {16, 16}})
        EXPECT_TRUE(Mapgrid_Contains(MGL_BUILDING, a, x, y)) << x << "," << y;
    EXPECT_EQ(Build_AtTile(16, 16), nullptr) << "the hole";
    EXPECT_EQ(Build_AtPixel(17 * 24 - 1, 16 * 24 - 1), a);
    EXPECT_EQ(Build_AtPixel(17 * 24, 16 * 24 + 23), b);
    EXPECT_EQ(Build_AtDoorTile(16, 16), a);
    Build_Remove(a);
    Build_Remove(b);
    for (int cy = 0; cy < Mapgrid_CellsY(); cy++)
        for (int cx = 0; cx < Mapgrid_CellsX(); cx++)
            EXPECT_EQ(Mapgrid_Cell(cx, cy)->count[MGL_BUILDING], 0);
}

// ------------------------------------------------------------------ handles, prerequisites, sight

class BuildingHandles : public BuildingWorld {};

TEST_F(BuildingHandles, AHandleToARemovedBuildingIsEmptiedEvenWhenTheRecordIsReused)
{
    BUILDING* a = Build_New(depot, 0, -1, 5, 5);
    BUILDID h, stale;
    BuildId_Setup(&h, a);
    stale = h;
    Build_Remove(a);
    EXPECT_FALSE(BuildId_Valid(&h));
    BuildId_Setup(&h, a);
    EXPECT_EQ(h.building, nullptr) << "no handle to a free record";
    ASSERT_EQ(Build_New(depot, 1, -1, 20, 20), a) << "the freed record comes back first";
    EXPECT_EQ(BuildId_Id(&stale), -1);
    QV_EXPECT_FATAL(BuildId_Valid(nullptr), "ASSERT (handle)");
}

TEST_F(BuildingHandles, SightIsSweptOncePerBuildingAndTakenAwayWithIt)
{
    BUILDING* a = Build_New(depot, 2, -1, 10, 10);
    Build_New(depot, 2, -1, 13, 10);
    Build_ResweepTeamSight(2);
    EXPECT_EQ(Fog_SeenCount(12, 11, 2), 2);
    Build_Remove(a);
    EXPECT_EQ(Fog_SeenCount(12, 11, 2), 1);
    QV_EXPECT_FATAL(Build_ResweepTeamSight(9), "ASSERT (team>=0 && team<TEAM_MAXTEAMS)");
}

TEST_F(BuildingHandles, ClearPrimaryFollowsTheTeamsUpgradeChainUpwards)
{
    BUILDINGTYPE* mid = QvWorld_BuildingType("Mid", 2, 2);
    BUILDINGTYPE* top = QvWorld_BuildingType("Top", 2, 2);
    depot->upgradeto = mid;
    mid->upgradeto = top;
    top->upgradeto = mid;   // a cycle in the data must not hang it
    BUILDING* a = Build_New(depot, 0, -1, 2, 2);
    BUILDING* b = Build_New(top, 0, -1, 2, 6);
    BUILDING* c = Build_New(mid, 1, -1, 2, 10);
    for (BUILDING* x : {a, b, c}) x->primary = 1;
    Build_ClearPrimary(0, mid);
    EXPECT_EQ(a->primary, 1) << "below the type";
    EXPECT_EQ(b->primary, 0);
    EXPECT_EQ(c->primary, 1) << "another team";
    Build_ClearPrimary(0, depot);
    EXPECT_EQ(a->primary, 0);
}

// ------------------------------------------------------------------ visibility

class BuildingVisibility : public BuildingWorld {
protected:
    static void Collect(const MINIBUILDING* m, void* arg)
    {
        static_cast<std::vector<const MINIBUILDING*>*>(arg)->push_back(m);
    }
    static std::vector<const MINIBUILDING*> Visible()
    {
        std::vector<const MINIBUILDING*> out;
        MiniBuild_ForEachVisible(Collect, &out);
        return out;
    }
};

TEST_F(BuildingVisibility, TheMinimapShowsTheLocalTeamsAndThoseSeenSixteenAtATime)
{
    BUILDING* own = Build_New(depot, 0, -1, 2, 2);
    BUILDING* far = Build_New(depot, 1, -1, 30, 30);
    std::vector<BUILDING*> near;
    for (int i = 0; i < 20; i++) near.push_back(Build_New(depot, 1, -1, 1 + i % 6, 5));
    EXPECT_EQ(Visible(), (std::vector<const MINIBUILDING*>{own->minib}));
    auto seen = [&] {
        int n = 0;
        for (BUILDING* b : near) n += b->minib->seen;
        return n;
    };
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    EXPECT_EQ(seen(), 16);
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    EXPECT_EQ(seen(), 20);
    EXPECT_EQ(far->minib->seen, 0);
    Build_Remove(own);   // seen stays seen
    EXPECT_EQ(Visible().size(), 20u);
    g_LocalTeam = 1;
    EXPECT_EQ(Visible().size(), 21u);
}

TEST_F(BuildingVisibility, ThingsInSightAreSeenSixtyFourAtATimeAndDeletionsBetweenAreSafe)
{
    SortDisp_Init();
    Ovl_Init();
    Ovl_NewType();
    Build_New(depot, 0, -1, 2, 2);
    Ovl_New(0, -1, 2, 3, nullptr, 24, 24, 30, 30);   // out of sight
    OVERLAY* shown = Ovl_New(-1, -1, 2, 3, nullptr, 24, 24, 3, 3);
    std::vector<OVERLAY*> things;
    for (int i = 0; i < 150; i++) things.push_back(Ovl_New(0, -1, 2, 3, nullptr, 24, 24, 1 + i % 6, 2));
    auto seen = [&] {
        int n = 0;
        for (OVERLAY* o : things) n += (o->flags & OVF_SEEN) ? 1 : 0;
        return n;
    };
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    EXPECT_EQ(shown->flags & (OVF_SEEN | OVF_FOGGED), 0u) << "only things";
    EXPECT_EQ(seen(), 62);
    // The next slice would start at things[62]: delete it and those around.
    for (int i = 58; i < 68; i++) Ovl_Delete(things[i]);
    things.erase(things.begin() + 58, things.begin() + 68);
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    EXPECT_EQ(seen(), 122);
    for (size_t i = 100; i < things.size(); i++) Ovl_Delete(things[i]);   // past the cursor
    things.resize(100);
    Ovl_UpdateOverlayAndMiniBuildingVisibility();
    EXPECT_EQ(seen(), 100);
    Ovl_FreeAll();
    SortDisp_Close();
}
