// Corner types from altitudes ("AutoRidge") and the vertex write.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/rand.h"
#include "editor/meterrain.h"
#include "editorfixture.h"
#include "map/map.h"

namespace {

class Ridge : public EditorTest {
protected:
    Ridge() : EditorTest(8, 6) {}
    void Altitudes(const std::function<int(int, int)>& alt)
    {
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) MAP_ELEMENT_AT(x, y)->altitude = (uint32_t)alt(x, y);
    }
    // Each vertex's type as a hex digit, a row a line; mask variations 1 as "'".
    static std::string Grid(void)
    {
        std::string s;
        for (int y = 0; y < mapsizey; y++) {
            for (int x = 0; x < mapsizex; x++) {
                s += "0123456789abcdef"[MeTerrain::VertexType(x, y)];
                if (MAP_ELEMENT_AT(x, y)->tile >> 16 & 3) s += '\'';
            }
            s += '\n';
        }
        return s;
    }
    static void Run(void) { EXPECT_EQ(MeTerrain::TerrainFromAltitude(nullptr, 18, 0), 18); }
};

} // namespace

TEST_F(Ridge, CornerTypesFollowTheAltitudeSteps)
{
    struct Row {
        const char* name;
        std::function<int(int, int)> alt;
        const char* grid;
    } rows[] = {
        {"flat", [](int, int) { return 5; }, "11111111\n11111111\n11111111\n11111111\n11111111\n11111111\n"},
        {"step of 3", [](int x, int) { return x < 4 ? 5 : 8; },
         "11111111\n11111111\n11111111\n11111111\n11111111\n11111111\n"},
        {"step of 4 up", [](int x, int) { return x < 4 ? 5 : 9; },
         "11111111\n1111b111\n1111b111\n1111b111\n1111b111\n1111b111\n"},
        {"step of 6 down", [](int x, int) { return x < 4 ? 11 : 5; },
         "11111111\n1111a111\n1111a111\n1111a111\n1111a111\n1111a111\n"},
        {"step of 7 down", [](int x, int) { return x < 4 ? 12 : 5; },
         "11111111\n111dd111\n111dd111\n111dd111\n111dd111\n111dd111\n"},
        {"step of 7 up", [](int x, int) { return x < 4 ? 5 : 12; },
         "11111'111\n1111e'111\n1111e'111\n1111e'111\n1111e'111\n1111e111\n"},
        {"step of 4 along a row", [](int, int y) { return y < 3 ? 9 : 5; },
         "11111111\n11111111\n11111111\n1aaaaaaa\n11111111\n11111111\n"},
        {"raised block: cliff corners", [](int x, int y) { return x >= 2 && x < 5 && y >= 2 && y < 4 ? 12 : 4; },
         "11111111\n11111111\n11e'e'c211\n11eddd11\n11ddd211\n11111111\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) MAP_ELEMENT_AT(x, y)->tile = 0x1111;
        Altitudes(r.alt);
        Run();
        EXPECT_EQ(Grid(), r.grid);
    }
}

TEST_F(Ridge, FlatteningTouchesOnlyStepAndCliffTypesAndNeverRowOrColumnZero)
{
    Altitudes([](int, int) { return 6; });
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) MAP_ELEMENT_AT(x, y)->tile = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) MeTerrain::SetVertexType(x, y, (x + y) % 16);
    const std::string before = Grid();
    // The vertex write never reaches row or column 0.
    EXPECT_EQ(before.substr(0, 9), "00000000\n");
    for (int y = 0; y < mapsizey; y++) EXPECT_EQ(MeTerrain::VertexType(0, y), 0);
    Run();
    const std::string after = Grid();
    for (size_t i = 0; i < before.size(); i++) {
        const int was = before[i] >= 'a' ? before[i] - 'a' + 10 : before[i] - '0';
        if (before[i] == '\n') continue;
        EXPECT_EQ(after[i], was >= 10 ? '1' : before[i]) << "at " << i;
    }
}

TEST_F(Ridge, ASecondRunCanDifferFromTheFirst)
{
    // Random altitudes of seed 24: the fill step of the second run reads a
    // corner that the first run made a cliff.
    Crt_Srand(24);
    Altitudes([](int, int) { return 2 + Crt_Rand() % 10; });
    Run();
    EXPECT_EQ(Grid(), "11111111\n1d1ee1da\n1e2111ab\n1dd2ad1a\n11feabbe\n1b2db111\n");
    Run();
    EXPECT_EQ(Grid(), "11111111\n1d1ee1da\n1e2111ab\n1dd2ad1a\n12feabbe\n1b2db111\n");
    EXPECT_EQ(MeTerrain::TerrainFromAltitude(nullptr, 17, 0), 17) << "only a click runs it";
}
