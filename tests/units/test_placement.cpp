// Where a building may go (the placement class of each footprint cell) and
// the tiles around a building that units use.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

#include "core/uid.h"
#include "map/map.h"
#include "platform/effects.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/unit.h"

namespace {

class Placement : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(40, 40);
        Fog_SetSeeAll(0);
        Uid_Reset();
        g_EditorKeepTerrain = 0;
        depot = QvWorld_BuildingType("Depot", 3, 2);
        hut = QvWorld_BuildingType("Hut", 2, 2);
        tank = QvWorld_UnitType("Tank", MM_GROUND);
    }
    void TearDown() override
    {
        g_EditorKeepTerrain = 0;
        QvWorld_Close();
    }
    static void SetCode(BUILDINGTYPE* type, int cx, int cy, int code)
    {
        Effects_OvlEntry(type->footprint, cx, cy)[0] = (uint8_t)code;
    }
    // The classes of the depot's cells at (x, y), row by row, then the answer:
    // "." no cell, Free, Offmap, Building, Unit, Thing, teRrain, Altitude, "?"
    // unexplored ("#" for a cell left unwritten).
    std::string Classes(int x, int y, const UNIT* builder = nullptr, const BUILDING* self = nullptr)
    {
        uint8_t cells[6];
        memset(cells, 0xEE, sizeof cells);
        const int answer = Build_ApplyEffects(builder, self, depot, x, y, cells);
        std::string s;
        for (int i = 0; i < 6; i++)
            s += std::string(i == 3 ? " " : "") + (cells[i] < 9 ? ".FOBUTRA?"[cells[i]] : '#');
        return s + " " + std::to_string(answer);
    }
    std::pair<int, int> Access(const UNIT* u, int ux, int uy, int flag = 0)
    {
        int x = -1, y = -1;
        return Build_FindAccessTile(hut, 10, 10, u, ux, uy, flag, &x, &y) ? std::pair(x, y)
                                                                          : std::pair(-1, -1);
    }

    QvLogCapture log_;
    BUILDINGTYPE *depot = nullptr, *hut = nullptr;
    UNITTYPE* tank = nullptr;
};

} // namespace

TEST_F(Placement, FreeGroundHolesAndEveryMapEdge)
{
    EXPECT_EQ(Classes(38, 5), "FFO FFO 0");
    EXPECT_EQ(Classes(0, 5), "OFF OFF 0") << "column 0 is no valid tile";
    EXPECT_EQ(Classes(-100, 2000), "OOO OOO 0");
    SetCode(depot, 2, 0, EFFECTS_NOT_FOOTPRINT);
    SetCode(depot, 2, 1, EFFECTS_NOT_FOOTPRINT);
    EXPECT_EQ(Classes(38, 5), "FF. FF. 1") << "holes may hang over the edge";
    EXPECT_EQ(log_.text().find("Tried to access"), std::string::npos) << "nothing read off the map";
}

TEST_F(Placement, BuildingsBlockThroughTheGridAndNotThemselves)
{
    SetCode(depot, 0, 0, 4);
    BUILDING* b = Build_New(depot, 1, -1, 6, 6);
    EXPECT_EQ(Classes(5, 5), "FFF FBB 0");
    EXPECT_EQ(Classes(7, 6, nullptr, b), "FFF FFF 1") << "its own written fields are no things";
    MAP_ELEMENT_AT(9, 6)->effect = 3;
    EXPECT_EQ(Classes(7, 6, nullptr, b), "FFT FFF 0");
    g_EditorKeepTerrain = 1;
    Build_New(depot, 2, -1, 6, 8);   // writes no fields, still blocks
    EXPECT_EQ(Classes(6, 7, nullptr, b), "FFF BBB 0");
}

TEST_F(Placement, GroundUnitsOtherThanTheBuilderAndThingsBlockInTheirOrder)
{
    UNIT* other = Units_NewAt(tank, 0, -1, 6, 5);
    UNIT* builder = Units_NewAt(tank, 0, -1, 7, 6);
    Units_NewAt(QvWorld_UnitType("Jet", MM_FLY), 0, -1, 5, 6);
    EXPECT_EQ(Classes(5, 5, builder), "FUF FFF 0");
    EXPECT_EQ(Classes(5, 5, other), "FFF FFU 0");
    MAP_ELEMENT_AT(6, 5)->effect = 0;   // even effect 0 is something
    MAP_ELEMENT_AT(7, 5)->effect = 15;
    EXPECT_EQ(Classes(5, 5, builder), "FUT FFF 0");
}

TEST_F(Placement, TheBuildersTeamMustHaveExploredEveryCell)
{
    UNIT* builder = Units_NewAt(tank, 3, -1, 30, 30);
    EXPECT_EQ(Classes(5, 5, builder), "??? ??? 0");
    EXPECT_EQ(Classes(5, 5), "FFF FFF 1") << "without a builder nothing is asked";
    Units_Delete(builder);   // explored stays explored
    EXPECT_EQ(Classes(28, 30, Units_NewAt(tank, 3, -1, 2, 38)), "FFF FFF 1");
}

TEST_F(Placement, TheBuildersTerrainAndTheFirstCellsAltitudeDecide)
{
    EFFECTTYPE* mud = Effects_NewTable("Mud", 100, 1);
    Effects_SetEffect(mud, 1, -1, 0, 0);   // the map's texture row: impassable
    tank->effects = mud;
    Fog_SetSeeAll(1);
    UNIT* builder = Units_NewAt(tank, 0, -1, 20, 20);
    EXPECT_EQ(Classes(5, 5, builder), "RRR RRR 0");
    MAP_ELEMENT_AT(6, 6)->altitude = 9;
    MAP_ELEMENT_AT(5, 5)->altitude = 9;   // now the first cell differs from the rest
    EXPECT_EQ(Classes(5, 5), "FAA AFA 0");
    SetCode(depot, 0, 0, EFFECTS_NOT_FOOTPRINT);   // the first cell is now (1, 0)
    EXPECT_EQ(Classes(5, 5), ".FF FAF 0");
}

// ------------------------------------------------------------------ tiles around a building

TEST_F(Placement, AccessTilesAreTheNearestStandableNeighboursTiesInScanOrder)
{
    EXPECT_EQ(Access(nullptr, 20, 11), std::pair(12, 11));
    Units_NewAt(tank, 0, -1, 12, 11);
    EXPECT_EQ(Access(nullptr, 20, 11), std::pair(12, 10)) << "(12,10) and (12,12) tie";
    UNIT* u = Units_NewAt(tank, 0, -1, 12, 12);
    EXPECT_EQ(Access(u, 20, 13), std::pair(12, 12)) << "its own tile";
    EXPECT_EQ(Access(nullptr, 11, 11, 1), std::pair(11, 11)) << "edge cells with the flag";
    tank->effects = Effects_NewTable("Rock", 0, 0);
    EXPECT_EQ(Access(u, 20, 20, 1), std::pair(-1, -1));
    int x, y;
    ASSERT_EQ(Build_FindAccessTile(hut, 1, 1, nullptr, 0, 0, 0, &x, &y), 1);
    EXPECT_EQ(std::pair(x, y), std::pair(3, 1)) << "only tiles on the map";
}

TEST_F(Placement, AttackPointsEntrancesAndTheConstructionSite)
{
    depot->bayx = depot->bayy = 1;
    SetCode(depot, 0, 1, EFFECTS_NOT_FOOTPRINT);
    BUILDING* b = Build_New(depot, 1, -1, 10, 10);
    int x, y;
    Build_GetAttackPoint(b, Units_NewAt(tank, 0, -1, 9, 13), &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(10, 12)) << "the access tile nearest the unit";
    Build_GetAttackPoint(b, nullptr, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(10, 10)) << "no unit: a footprint tile";

    UNIT* u = Units_NewAt(tank, 0, -1, 20, 11);
    tank->effects = Effects_NewTable("Rock", 0, 0);
    ASSERT_EQ(Build_NearestEntrance(b, u, &x, &y), 1);
    EXPECT_EQ(std::pair(x, y), std::pair(11, 11)) << "the door";
    depot->bayx = -1;
    EXPECT_EQ(Build_NearestEntrance(b, u, &x, &y), 0);

    // The construction site: on the footprint or next to it (the hole at (10, 11) is next to it).
    for (auto [ux, uy, at] : {std::tuple(10, 11, 1), {13, 12, 1}, {9, 12, 0}, {14, 10, 0}})
        EXPECT_EQ(Build_AtConstructionSite(depot, 10, 10, ux, uy), at) << ux << "," << uy;
}
