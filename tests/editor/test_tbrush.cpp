// The terrain brush: which vertices a step covers, strokes of altitude,
// masks, spray, protection by type, and what it draws over the map.
#include <gtest/gtest.h>

#include <string>

#include "core/rand.h"
#include "editor/editor.h"
#include "editor/metbrush.h"
#include "editorfixture.h"
#include "map/map.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "widgets/qidraw.h"
#include "support/golden.h"

namespace {

class TerrainBrush : public EditorTest {
protected:
    MeBrushTerrain& b = g_MeEditor.terrainBrush;
    void SetUp() override
    {
        EditorTest::SetUp();
        View(0, 0, 1);
        Fill(0);
        ResetTerrainBrush();
    }
    static void Fill(uint32_t tile)
    {
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) MAP_ELEMENT_AT(x, y)->tile = tile;
    }
    // The screen point of quarter cell (cx, cy) at view (0, 0), zoom 1.
    static QIPointer Quarter(int cx, int cy, uint32_t mods = 0) { return At(12 * cx, 12 * cy + 32, 1, mods); }
    static int Corner(int qx, int qy)
    {
        static const int nib[2][2] = {{0, 1}, {3, 2}};
        return (int)(MAP_ELEMENT_AT(qx / 2, qy / 2)->tile >> (4 * nib[qy & 1][qx & 1]) & 0xf);
    }
    // Vertices (x0..x0+6, y0..y0+6) whose four corners all have type t: '#'.
    static std::string Vertices(int x0, int y0, int t)
    {
        std::string s;
        for (int y = y0; y < y0 + 7; y++) {
            for (int x = x0; x < x0 + 7; x++) {
                bool all = true;
                for (int q = 0; q < 4; q++) all = all && Corner(2 * x - 1 + (q & 1), 2 * y - 1 + (q >> 1)) == t;
                s += all ? '#' : '.';
            }
            s += '/';
        }
        return s;
    }
    static int Alt(int x, int y) { return (int)MAP_ELEMENT_AT(x, y)->altitude; }
};

} // namespace

TEST_F(TerrainBrush, AStepCoversTheVerticesOfItsSizeShapeAndQuarter)
{
    // Element (10, 10) owns quarter cells 20..21; the pictures show vertices 8..14.
    struct Row {
        const char* name;
        int size, shape, cx, cy;
        const char* painted;
    } rows[] = {
        {"size 1 upper left", 1, METB_SQUARE, 20, 20, "......./......./..#..../......./......./......./......./"},
        {"size 1 lower right", 1, METB_SQUARE, 21, 21, "......./......./..#..../......./......./......./......./"},
        {"size 1 upper right", 1, METB_SQUARE, 21, 20, "......./......./..#..../......./......./......./......./"},
        {"size 1 lower left", 1, METB_SQUARE, 20, 21, "......./......./..#..../......./......./......./......./"},
        {"size 2 lower right", 2, METB_SQUARE, 21, 21, "......./......./..##.../..##.../......./......./......./"},
        {"size 2 upper left", 2, METB_SQUARE, 20, 20, "......./.##..../.##..../......./......./......./......./"},
        {"size 3 anywhere", 3, METB_SQUARE, 21, 20, "......./.###.../.###.../.###.../......./......./......./"},
        {"circle 1 as the square", 1, METB_CIRCLE, 20, 20, "......./......./..#..../......./......./......./......./"},
        {"circle 3: only the blocks within 3", 3, METB_CIRCLE, 20, 20, "......./......./..##.../..##.../......./......./......./"},
        {"circle 4", 4, METB_CIRCLE, 21, 21, "......./...#.../..###../.#####./..###../...#.../......./"},
        {"diamond 4", 4, METB_DIAMOND, 21, 21, "......./...#.../..###../.#####./..###../...#.../......./"},
        {"diamond 5 reaches further", 5, METB_DIAMOND, 20, 20, "..##.../.####../######./######./.####../..##.../......./"},
        {"unknown shape paints nothing", 3, 7, 20, 20, "......./......./......./......./......./......./......./"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Fill(0);
        b.size = r.size;
        b.shape = r.shape;
        b.cornerType = 7;
        b.Click(Quarter(r.cx, r.cy));
        EXPECT_EQ(Vertices(8, 8, 7), r.painted);
    }
    // At the map's edge the off-map quarter cells are skipped.
    Fill(0);
    b.size = 3;
    b.shape = METB_SQUARE;
    b.Click(Quarter(0, 0));
    EXPECT_EQ(Corner(0, 0), 7);
    EXPECT_EQ(Corner(2, 2), 7);
    EXPECT_EQ(Corner(3, 3), 0);
}

TEST_F(TerrainBrush, StrokesRaiseOnceClampAltitudesKeepMasksAndSpraySparsely)
{
    b.size = 1;
    b.paintAltitude = 1;
    b.altitude = METB_RAISE;
    const int start = Alt(10, 10);
    for (int stroke = 1; stroke <= 9; stroke++) {
        for (int i = 0; i < 3; i++) b.Click(Quarter(20, 20));
        b.ClickDone();
        EXPECT_EQ(Alt(10, 10), std::min(start + stroke, (int)METB_MAXALT)) << "stroke " << stroke;
    }
    b.altitude = METB_LOWER;
    b.Click(Quarter(20, 20));
    b.Click(Quarter(20, 20));
    EXPECT_EQ(Alt(10, 10), METB_MAXALT - 1);
    struct Fixed {
        int value, painted;
    } fixed[] = {{0, 2}, {1, 2}, {7, 7}, {12, 11}, {31, 11}};
    for (const Fixed& f : fixed) {
        b.altitude = f.value;
        b.Click(Quarter(20, 20));
        EXPECT_EQ(Alt(10, 10), f.painted) << "value " << f.value;
    }
    b.altitude = METB_KEEP;
    b.Click(Quarter(20, 20));
    EXPECT_EQ(Alt(10, 10), 11);
    // A new map takes a fixed value as painting clamps it, else 2.
    for (const Fixed& f : {Fixed{METB_RAISE, 2}, Fixed{METB_KEEP, 2}, Fixed{0, 2}, Fixed{7, 7}, Fixed{20, 11}}) {
        b.altitude = f.value;
        EXPECT_EQ(b.NewMapAltitude(), f.painted) << "value " << f.value;
    }

    // No allowed mask variation: the element keeps its mask bits.
    Fill(0x20000);
    b.masks = 0;
    b.Click(Quarter(20, 20));
    EXPECT_EQ(MAP_ELEMENT_AT(10, 10)->tile >> 16 & 3, 2u);
    b.masks = 0x8;
    b.variation = 4;
    b.Click(Quarter(20, 20));
    EXPECT_EQ(MAP_ELEMENT_AT(10, 10)->tile >> 16 & 3, 3u);
    EXPECT_EQ(MAP_ELEMENT_AT(10, 10)->tile >> 18 & 7, 3u);

    // Spray at size 10 keeps 10 blocks in 256: about 4 of each step's 100.
    b.size = 10;
    b.cornerType = 7;
    b.spray = 1;
    b.paintAltitude = 0;
    int kept = 0;
    for (int seed = 1; seed <= 40; seed++) {
        Fill(0);
        Crt_Srand((uint32_t)seed);
        b.Click(Quarter(60, 60));
        for (int y = 25; y < 35; y++)
            for (int x = 25; x < 35; x++) kept += Corner(2 * x, 2 * y) == 7;
    }
    EXPECT_GT(kept, 100);
    EXPECT_LT(kept, 220);
}

TEST_F(TerrainBrush, ShiftPicksProtectByTypeAndToggle)
{
    // Columns of corner types 5 and 6 in turn.
    auto Columns = [](void) {
        for (int y = 0; y < mapsizey; y++)
            for (int x = 0; x < mapsizex; x++) MAP_ELEMENT_AT(x, y)->tile = x % 2 ? 0x6666 : 0x5555;
    };
    // Paints 7 over the columns: how many corners of type 5 and of type 6 changed.
    auto Paint = [&](void) {
        b.size = 10;
        b.Click(Quarter(24, 24));
        int n[2] = {0, 0};
        for (int y = 8; y < 16; y++)
            for (int x = 8; x < 16; x++) n[x % 2] += (MAP_ELEMENT_AT(x, y)->tile & 0xf) == 7;
        Columns();
        return std::make_pair(n[0], n[1]);
    };
    Columns();
    b.cornerType = 7;
    b.AltClick(Quarter(20, 20, MOD_LSHIFT)); // a corner of type 5
    EXPECT_EQ(b.protectedType, 5);
    auto p = Paint();
    EXPECT_GT(p.first, 0);
    EXPECT_EQ(p.second, 0) << "only corners of the picked type change";
    b.AltClick(Quarter(20, 20, MOD_RSHIFT));
    p = Paint();
    EXPECT_EQ(p.first, 0) << "the second pick protects the type";
    EXPECT_GT(p.second, 0);
    b.AltClick(Quarter(20, 20, MOD_LSHIFT));
    p = Paint();
    EXPECT_GT(p.first, 0);
    EXPECT_EQ(p.second, 0) << "the third allows only it again";
    // A pick of another type starts over: only that type.
    b.AltClick(Quarter(22, 20, MOD_LSHIFT));
    EXPECT_EQ(b.protectedType, 6);
    EXPECT_EQ(b.inverted, 1);
    b.Cancel(1);
    p = Paint();
    EXPECT_GT(p.first, 0) << "Cancel lifts the protection";
    EXPECT_GT(p.second, 0);
    // The eyedropper takes the corner's type.
    b.AltClick(Quarter(22, 20));
    EXPECT_EQ(b.cornerType, 6);
    // Without the maps (before Init) a Shift-pick protects nothing.
    b.Close();
    b.cornerType = 7;
    b.AltClick(Quarter(20, 20, MOD_LSHIFT));
    p = Paint();
    EXPECT_GT(p.first, 0);
    EXPECT_GT(p.second, 0);
}

TEST_F(TerrainBrush, OutlinesAndProtectionMarksMatchTheirGoldenFrames)
{
    // The outlines at zoom 1 and 2 of the three shapes at sizes 1 and 3, in
    // the editor's colours (the diamond's is an entry of the table).
    Graph_ClearBitmap(bb_, 0);
    const uint8_t* colours = g_QIColours;
    g_QIColours = g_MeColours;
    b.clip = IRect(0, 32, 448, 448);
    for (int z = 1; z <= 2; z++)
        for (int shape = 0; shape < 3; shape++)
            for (int i = 0; i < 2; i++) {
                View(0, 0, z);
                b.shape = shape;
                b.size = 1 + 2 * i;
                b.Draw(At(60 + 100 * (2 * (z - 1) + i), 100 + 120 * shape, 0, 0));
            }
    g_QIColours = colours;
    EXPECT_TRUE(Golden_BitmapMatches(bb_, g_PalInfo.colours, 0xAE346DE0u, "tbrush_outlines.pcx"));

    // Alt switches to picking; Alt with Shift marks the protected corners.
    View(0, 0, 1);
    for (int y = 0; y < bb_->y_size; y++)
        for (int i = 0; i < bb_->x_size; i++) bb_->data[y * bb_->x_size + i] = (uint8_t)(16 + (i / 8 + y / 8) % 64);
    for (int y = 0; y < mapsizey; y++)
        for (int i = 0; i < mapsizex; i++) MAP_ELEMENT_AT(i, y)->tile = (i + y) % 3 ? 0x5555 : 0x5656;
    b.AltClick(Quarter(3, 3, MOD_LSHIFT));
    b.state = METS_CLICK;
    b.Draw(At(100, 100, 0, MOD_ALT));
    EXPECT_EQ(b.state, METS_PAINT);
    b.Draw(At(100, 100, 0, MOD_ALT | MOD_LSHIFT));
    EXPECT_TRUE(Golden_BitmapMatches(bb_, g_PalInfo.colours, 0x945F2E75u, "tbrush_marks.pcx"));
    b.Draw(At(100, 100, 0, 0));
    EXPECT_EQ(b.state, METS_CLICK);
}
