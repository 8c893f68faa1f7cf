// Terrain lighting: the light's limits, brightness against the slope, the
// relight of one element, the lighting after a load, and shading a tile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tlog.h"
#include "gen_map.h"
#include "gen_palette.h"
#include "map/map.h"
#include "map/terrain.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "support/testsupport.h"

namespace {

class TerrainTest : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    void SetUp() override
    {
        Terrain_SetLight(-1, -1, 1, 150, 0);
    }
    void TearDown() override
    {
        Terrain_SetLight(-1, -1, 1, 150, 0);
        Map_Free();
        g_NewMapRequest = MAP_NEWREQUEST{};
    }
    // A w x h map whose altitudes alt(x, y) gives, lit.
    template <class F> static void MakeMap(int w, int h, F alt)
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, w, h, 0, 1};
        ASSERT_EQ(Map_Load(nullptr), 1);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                MAP_ELEMENT_AT(x, y)->altitude = MAP_ELEMENT_AT(x, y)->initalt =
                    (uint32_t)alt(x, y);
        Terrain_LightAll();
    }
    static int Brightness(int w, int h, int (*alt)(int, int))
    {
        MakeMap(w, h, alt);
        return Terrain_TileBrightness(w / 2, h / 2);
    }
};

// ------------------------------------------------------------------ light

using TerrainLight = TerrainTest;

TEST_F(TerrainLight, LimitsOutsideTheirRangesAreAssertions)
{
    const std::string shade = "ASSERT (shadelimit > 90 && shadelimit <= 180)";
    const std::string light = "ASSERT (lightlimit >= 0 && lightlimit < 90)";
    const struct {
        int z, shadelimit, lightlimit;
        std::string fatal;
    } rows[] = {{1, 90, 10, shade},
                {1, 150, 90, light},
                {0, 150, 10, "ASSERT (x != 0 || y != 0 || z != 0)"}};
    for (const auto& r : rows)
        QV_EXPECT_FATAL(Terrain_SetLight(r.z, r.z, r.z, r.shadelimit, r.lightlimit), r.fatal);
}

int Flat(int, int) { return 8; }
int RisingEast(int x, int) { return 4 + 2 * x; }
int RisingWest(int x, int) { return 20 - 2 * x; }
int RisingSouth(int, int y) { return 4 + 2 * y; }
int SteepWest(int x, int) { return 31 - 4 * x; }

TEST_F(TerrainLight, SlopesTowardsTheLightAreBrighterThanFlatGround)
{
    // The default light comes from the north-west, above.
    int flat = Brightness(8, 8, Flat);
    int east = Brightness(8, 8, RisingEast);   // faces west, towards the light
    int south = Brightness(8, 8, RisingSouth); // faces north, towards the light
    int west = Brightness(8, 8, RisingWest);   // faces east, away
    int steep = Brightness(8, 8, SteepWest);
    EXPECT_GT(east, flat);
    EXPECT_GT(south, flat);
    EXPECT_EQ(east, south); // the light lies on the diagonal
    EXPECT_LT(west, flat);
    EXPECT_LT(steep, west);

    // Straight overhead, flat ground is the brightest there is and any slope
    // less bright.
    Terrain_SetLight(0, 0, 5, 180, 0);
    EXPECT_EQ(Brightness(6, 6, Flat), TERRAIN_MAXBRIGHTNESS);
    EXPECT_LT(Brightness(6, 6, RisingEast), TERRAIN_MAXBRIGHTNESS);
    // Within the light limit every surface is fully lit.
    Terrain_SetLight(0, 0, 1, 180, 60);
    EXPECT_EQ(Brightness(6, 6, RisingEast), TERRAIN_MAXBRIGHTNESS);
}

// The high half of shadev belongs to others.
TEST_F(TerrainLight, LightingKeepsTheHighHalfOfShadev)
{
    MakeMap(6, 6, RisingEast);
    MAP_ELEMENT* e = MAP_ELEMENT_AT(3, 3);
    e->shadev = 0xABCD0000u;
    Terrain_TileBrightness(3, 3);
    EXPECT_EQ(e->shadev >> 16, 0xABCDu);
}

TEST_F(TerrainLight, LoadLightsEveryElementAsTheSingleElementPathDoes)
{
    ASSERT_EQ(GenMap_BuildDemo(), 1);
    ASSERT_EQ(Map_Save(dir.file("demo.map").c_str()), 1);
    Map_Free();
    ASSERT_EQ(Map_Load(dir.file("demo.map").c_str()), 1);
    std::vector<uint32_t> loaded;
    int sloped = 0;
    for (int i = 0; i < mapsizex * mapsizey; i++) {
        loaded.push_back(g_MapElements[i].shadev);
        sloped += (g_MapElements[i].shadev & 0xFFFF) != 0;
    }
    EXPECT_GT(sloped, 100);
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) Terrain_TileBrightness(x, y);
    int differ = 0;
    for (int i = 0; i < mapsizex * mapsizey; i++) differ += g_MapElements[i].shadev != loaded[i];
    EXPECT_EQ(differ, 0);
}

// ------------------------------------------------------------------ relight

using TerrainRelight = TerrainTest;

TEST_F(TerrainRelight, KeepsTheDifferenceFromTheInitialAltitudeWithinFiveBits)
{
    MakeMap(6, 5, Flat);
    MAP_ELEMENT* e = MAP_ELEMENT_AT(2, 2);
    const struct {
        uint32_t altitude, initalt;
        int to;
        uint32_t wantalt, wantinit;
    } rows[] = {
        {30, 2, 10, 31, 10}, // 38 would wrap to a pit at 6
        {0, 5, 2, 0, 2},
        {0, 2, 40, 31, 31}, // 40 + (0 - 2)
    };
    for (const auto& r : rows) {
        e->altitude = r.altitude;
        e->initalt = r.initalt;
        Terrain_Relight(2, 2, r.to);
        EXPECT_EQ((std::vector<uint32_t>{e->altitude, e->initalt}),
                  (std::vector<uint32_t>{r.wantalt, r.wantinit}))
            << r.altitude << " " << r.initalt << " to " << r.to;
    }
}

TEST_F(TerrainRelight, WrapsIntoTheMapAndRelightsTheNeighbours)
{
    MakeMap(6, 5, Flat);
    Terrain_Relight(-1, 5, 20); // element (5, 0)
    EXPECT_EQ(MAP_ELEMENT_AT(5, 0)->initalt, 20u);
    // Its west neighbour now leans away from it.
    EXPECT_NE(MAP_ELEMENT_AT(4, 0)->shadev & 0xFFFF, 0u);
    // Every stored normal agrees with a fresh computation.
    for (int i = 0; i < 30; i++) {
        uint32_t before = g_MapElements[i].shadev;
        Terrain_TileBrightness(i % 6, i / 6);
        EXPECT_EQ(g_MapElements[i].shadev, before) << i % 6 << "," << i / 6;
    }
    Terrain_Relight(13, -7, 9); // (13 mod 6, -7 mod 5) = (1, 3)
    EXPECT_EQ(MAP_ELEMENT_AT(1, 3)->initalt, 9u);
}

// ------------------------------------------------------------------ shading

using TerrainShade = TerrainTest;

TEST_F(TerrainShade, LightTileShadesThroughTheElementsLevel)
{
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    MakeMap(8, 8, SteepWest);
    int level = Terrain_ShadeLevel(4, 4);
    ASSERT_LT(level, TERRAIN_FLATLEVEL);

    // On the map through the level's table (most colours change), off it as drawn.
    BITMAP tile;
    ASSERT_TRUE(Graph_InitBitmap(&tile, 24, 24, nullptr));
    for (int tx : {4, 8}) {
        for (int p = 0; p < 576; p++) tile.data[p] = (uint8_t)(p * 7);
        Terrain_LightTile(tx, 4, &tile);
        int bad = 0, changed = 0;
        for (int p = 0; p < 576; p++) {
            const uint8_t drawn = (uint8_t)(p * 7);
            bad += tile.data[p] != (tx < 8 ? g_ShadeTables.colour[level][drawn] : drawn);
            changed += tile.data[p] != drawn;
        }
        EXPECT_EQ(bad, 0) << tx;
        EXPECT_TRUE(tx < 8 ? changed > 400 : changed == 0) << tx;
    }
    Graph_FreeBitmap(&tile);
    int bad = 0;

    // Into a larger bitmap, only the tile's pixels inside it change.
    BITMAP big;
    ASSERT_TRUE(Graph_InitBitmap(&big, 30, 30, nullptr));
    Graph_ClearBitmap(&big, 200);
    Terrain_LightTileAt(4, 4, &big, -4, 20);
    const uint8_t shaded = g_ShadeTables.colour[level][200];
    ASSERT_NE(shaded, 200);
    for (int y = 0; y < 30; y++) {
        for (int x = 0; x < 30; x++) {
            bool inside = x < 20 && y >= 20;
            bad += big.data[y * 30 + x] != (inside ? shaded : 200);
        }
    }
    EXPECT_EQ(bad, 0);
    Graph_FreeBitmap(&big);
}

} // namespace
