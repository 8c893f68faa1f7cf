// Random terrain: altitudes and corner types from the plasma field, the
// dialog's numbers, and what leaves the map alone.
#include <gtest/gtest.h>

#include "core/crc32.h"
#include "editor/editor.h"
#include "editor/meterrain.h"
#include "editorfixture.h"
#include "map/map.h"

namespace {

class Plasma : public EditorTest {
protected:
    Plasma() : EditorTest(40, 30) {}
    static uint32_t MapCrc(void)
    {
        uint32_t crc = 0;
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) {
                const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
                const uint32_t v[3] = {e->tile, e->altitude, e->initalt};
                crc = Crc32_Update(crc, v, sizeof v);
            }
        return crc;
    }
    // Elements of each kind: corner types all 0 (water) or all 1 (land).
    static void Count(int& water, int& land)
    {
        water = land = 0;
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) {
                const uint32_t corners = MAP_ELEMENT_AT(x, y)->tile & 0xffff;
                water += corners == 0;
                land += corners == 0x1111;
            }
    }
};

} // namespace

TEST_F(Plasma, TheSameInputsGiveTheSameLandAndWaterByTheWaterLevel)
{
    MeTerrain::GeneratePlasma(5, 7, 4);
    const uint32_t first = MapCrc();
    MeTerrain::GeneratePlasma(5, 7, 4);
    EXPECT_EQ(MapCrc(), first);
    EXPECT_EQ(first, 0xFE2AEAECu) << "the pinned terrain";
    // Every vertex inside the map has the type of the element it starts.
    int shore = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            const bool land = e->altitude > 6;
            EXPECT_EQ(MeTerrain::VertexType(x, y), land ? 1 : 0);
            EXPECT_EQ(e->altitude, e->initalt);
            EXPECT_TRUE(land ? e->altitude <= 11 : e->altitude == 6) << x << "," << y;
            shore += (e->tile & 0xffff) != 0 && (e->tile & 0xffff) != 0x1111;
        }
    EXPECT_GT(shore, 0);

    struct Row {
        const char* name;
        int grain, seed, water;
        bool allWater, allLand;
        int altitude; // of every element, 0: any
    } rows[] = {
        {"water level 9: all water", 5, 7, 9, true, false, 11},
        {"water level -1: all land", 5, 7, -1, false, true, 0},
        {"water level past the top stays at the top", 5, 7, 40, true, false, 31},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        MeTerrain::GeneratePlasma(r.grain, r.seed, r.water);
        int water, land;
        Count(water, land);
        EXPECT_EQ(water == mapsizex * mapsizey, r.allWater);
        EXPECT_EQ(land == mapsizex * mapsizey, r.allLand);
        for (int y = 0; y < mapsizey && r.altitude; y++)
            for (int x = 0; x < mapsizex; x++) ASSERT_EQ((int)MAP_ELEMENT_AT(x, y)->altitude, r.altitude);
    }
    MeTerrain::GeneratePlasma(0, 7, 4);
    const uint32_t grain0 = MapCrc();
    MeTerrain::GeneratePlasma(32, 7, 4);
    EXPECT_EQ(MapCrc(), grain0) << "grain 32 acts as 0";
    MeTerrain::GeneratePlasma(16, 7, 4);
    EXPECT_NE(MapCrc(), grain0);
}

TEST_F(Plasma, OkStoresTheTypedNumbersAndAnythingElseChangesNothing)
{
    EXPECT_EQ(g_MeEditor.plasmaSeed, 1);
    EXPECT_EQ(g_MeEditor.plasmaGrain, 5);
    EXPECT_EQ(g_MeEditor.plasmaWater, 4);
    const uint32_t before = MapCrc();
    MeTerrain::PlasmaResult(24, "7", "5", "4"); // Cancel
    EXPECT_EQ(MapCrc(), before);
    EXPECT_EQ(g_MeEditor.plasmaSeed, 1);
    // Without a map (or a desktop) the button does nothing.
    g_MeEditor.flags &= ~MEF_OPEN;
    EXPECT_EQ(MeTerrain::OnRandomTerrain(nullptr, 18, 0), 18);
    g_MeEditor.flags |= MEF_OPEN;
    EXPECT_EQ(MeTerrain::OnRandomTerrain(nullptr, 18, 0), 18);
    EXPECT_EQ(MapCrc(), before);

    MeTerrain::PlasmaResult(23, "7", "5", "4");
    const uint32_t typed = MapCrc();
    EXPECT_NE(typed, before);
    MeTerrain::GeneratePlasma(5, 7, 4);
    EXPECT_EQ(MapCrc(), typed);
    MeTerrain::PlasmaResult(23, "-", "x1", "");
    EXPECT_EQ(g_MeEditor.plasmaSeed, 0);
    EXPECT_EQ(g_MeEditor.plasmaGrain, 0);
    EXPECT_EQ(g_MeEditor.plasmaWater, 0);
    MeTerrain::PlasmaResult(23, "-12", "31", "3");
    EXPECT_EQ(g_MeEditor.plasmaSeed, -12);
}
