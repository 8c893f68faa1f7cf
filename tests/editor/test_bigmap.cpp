// The big map's transforms, scrolling and zoomed picture.
#include <gtest/gtest.h>

#include "editor/editor.h"
#include "editor/meterrain.h"
#include "editorfixture.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "support/golden.h"

class BigMap : public EditorTest {
protected:
    BigMap() : EditorTest(200, 200) {}
};

TEST_F(BigMap, TransformsGiveTheDocumentedPoints)
{
    struct Row {
        const char* name;
        int ox, oy, z, sx, sy;
        IPoint world, tile, vertex, corner;
    } rows[] = {
        {"top-left of the map", 0, 0, 1, 0, 32, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {"half a tile in", 0, 0, 1, 12, 44, {12, 12}, {0, 0}, {1, 1}, {1, 1}},
        {"zoom 2 off the origin", 48, 24, 2, 100, 132, {248, 224}, {10, 9}, {10, 9}, {21, 19}},
        // Truncation toward zero: above the map is row 0, not -1.
        {"above the map", 0, 0, 1, 5, 20, {5, -12}, {0, 0}, {0, 0}, {0, 0}},
        {"zoom 4 far corner", 480, 720, 4, 447, 479, {2268, 2508}, {94, 104}, {95, 105}, {191, 211}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        View(r.ox, r.oy, r.z);
        const IPoint s(r.sx, r.sy);
        EXPECT_EQ(MeBigMap::ScreenToWorld(s).x, r.world.x);
        EXPECT_EQ(MeBigMap::ScreenToWorld(s).y, r.world.y);
        EXPECT_EQ(MeBigMap::ScreenToTile(s).x, r.tile.x);
        EXPECT_EQ(MeBigMap::ScreenToTile(s).y, r.tile.y);
        EXPECT_EQ(MeBigMap::ScreenToVertex(s).x, r.vertex.x);
        EXPECT_EQ(MeBigMap::ScreenToVertex(s).y, r.vertex.y);
        EXPECT_EQ(MeBigMap::ScreenToCorner(s).x, r.corner.x);
        EXPECT_EQ(MeBigMap::ScreenToCorner(s).y, r.corner.y);
    }
}

TEST_F(BigMap, ScreenPointsRoundTripAtEveryZoom)
{
    for (int z = 1; z <= ME_MAXZOOM; z++) {
        View(24 * 7 + 5, 24 * 3 + 11, z);
        for (int sy = MEBIGMAP_Y; sy < MEBIGMAP_Y + MEBIGMAP_SIDE; sy += 7)
            for (int sx = 0; sx < MEBIGMAP_SIDE; sx += 7) {
                const IPoint s(sx, sy);
                const IPoint back = MeBigMap::WorldToScreen(MeBigMap::ScreenToWorld(s));
                ASSERT_TRUE(back.x == sx && back.y == sy) << "zoom " << z << " at " << sx << "," << sy;
                // The tile's and the cell's screen points lie on or before the point, within one.
                const IPoint t = MeBigMap::TileToScreen(MeBigMap::ScreenToTile(s));
                ASSERT_TRUE(t.x <= sx && sx - t.x < 24 / z + 1 && t.y <= sy && sy - t.y < 24 / z + 1);
                const IPoint c = MeBigMap::CornerToScreen(MeBigMap::ScreenToCorner(s));
                ASSERT_TRUE(c.x <= sx && sx - c.x <= 12 / z && c.y <= sy && sy - c.y <= 12 / z)
                    << "zoom " << z << " at " << sx << "," << sy;
            }
    }
}

TEST_F(BigMap, CornerCellsRoundTripAtEveryZoomRegression)
{
    // The corner's screen point shifted by 6 world pixels lands a cell off at zooms 3 and 4.
    for (int z = 1; z <= ME_MAXZOOM; z++) {
        View(24 * 12, 24 * 5, z);
        for (int j = 10; j < 10 + 38 * z; j += 3)
            for (int i = 24; i < 24 + 38 * z; i += 5) {
                const IPoint back = MeBigMap::ScreenToCorner(MeBigMap::CornerToScreen(IPoint(i, j)));
                ASSERT_TRUE(back.x == i && back.y == j) << "zoom " << z << " cell " << i << "," << j;
            }
    }
}

TEST_F(BigMap, EdgeScrollingAcceleratesLeftAndUpFirstAndStopsAtTheEdge)
{
    MeBigMap::Centre(240, 240);
    g_MeEditor.view.speed = 4;
    // Left edge and right key together: left wins; top edge: up.
    Input_RawKey(SC_RIGHT, 1, 0);
    int expectX = 240, expectY = 240;
    for (int speed = 4; speed < 30; speed++) {
        const int step = speed < 24 ? speed : 24;
        if (expectX - step < 0) break;
        ASSERT_EQ(MeBigMap::AutoScroll(At(0, 0), 0, 0, 479, 639), 1);
        expectX -= step, expectY -= step;
        ASSERT_EQ(g_MapView.x, expectX);
        ASSERT_EQ(g_MapView.y, expectY);
    }
    Input_RawKey(SC_RIGHT, 0, 0);
    MeBigMap::Centre(0, 0);
    EXPECT_EQ(MeBigMap::AutoScroll(At(0, 0), 0, 0, 479, 639), 0);
    EXPECT_EQ(g_MeEditor.view.speed, MEBIGMAP_MINSPEED);
    // An arrow key scrolls with the pointer in the middle, by speed x zoom.
    MeTerrain::SetZoom(2);
    Input_RawKey(SC_DOWN, 1, 0);
    EXPECT_EQ(MeBigMap::AutoScroll(At(200, 200), 0, 0, 479, 639), 1);
    EXPECT_EQ(g_MapView.y, 8);
    EXPECT_EQ(g_MapView.x, 0);
    Input_RawKey(SC_DOWN, 0, 0);
}

TEST_F(BigMap, DragScrollLosesHalfItsSpeedWhenSlowAndStopsOnAReversal)
{
    MeBigMap::Centre(2400, 2400);
    MEVIEW& v = g_MeEditor.view;
    v.dragVx = 40;
    MeBigMap::DragScroll(At(QIPOINTER_CENTREX + 5, QIPOINTER_CENTREY));
    EXPECT_EQ(v.dragVx, 26); // 40 / 2 + 6
    EXPECT_EQ(g_MapView.x, 2426);
    MeBigMap::DragScroll(At(QIPOINTER_CENTREX - 10, QIPOINTER_CENTREY));
    EXPECT_EQ(v.dragVx, -12); // halved, then stopped by the reversal
    MeBigMap::DragScroll(At(QIPOINTER_CENTREX + 30, QIPOINTER_CENTREY));
    EXPECT_EQ(v.dragVx, 36); // fast: kept whole but for the reversal
}

class ZoomedView : public EditorTest {
protected:
    ZoomedView() : EditorTest(20, 30) {}
};

TEST_F(ZoomedView, LeavesColourZeroOutsideAMapSmallerThanTheView)
{
    for (int z = 2; z <= 4; z++) {
        MeTerrain::SetZoom(z);
        MeBigMap::RedrawZoomed(1, 0, 0, 0, 0);
        const BITMAP* tb = Display_TerrainBuffer();
        const int cell = 24 / z;
        int inside = 0, outside = 0;
        for (int y = 0; y < MEBIGMAP_ZOOMSIDE; y++)
            for (int x = 0; x < MEBIGMAP_ZOOMSIDE; x++) {
                const uint8_t p = tb->data[y * tb->x_size + x];
                if (x < 20 * cell && y < 30 * cell) inside += p != 0;
                else outside += p != 0;
            }
        EXPECT_EQ(outside, 0) << "zoom " << z;
        EXPECT_GT(inside, 0) << "zoom " << z;
    }
}

TEST_F(BigMap, ZoomedFramesMatchTheirGoldenChecksums)
{
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            e->tile = (uint32_t)((x / 5 + y / 7) % 6) * 0x1111u | (uint32_t)((x * 7 + y) % 8) << 18;
            e->altitude = (x * y) % 9 + 2;
        }
    const uint32_t golden[5] = {0, 0, 0x45118796u, 0x095A77F5u, 0xEFC18379u};
    for (int z = 2; z <= 4; z++) {
        MeTerrain::SetZoom(z);
        MeBigMap::Centre(24 * 10, 24 * 20);
        char name[32];
        snprintf(name, sizeof name, "zoomed%d.pcx", z);
        EXPECT_TRUE(Golden_BitmapMatches(Display_TerrainBuffer(), g_PalInfo.colours, golden[z], name));
    }
}

TEST_F(BigMap, ZoomSetterAssertsItsRangeAndInitZoomNeverGivesZero)
{
    QV_EXPECT_FATAL(MeTerrain::SetZoom(5), "ASSERT (z >= 1 && z <= ME_MAXZOOM)");
    QV_EXPECT_FATAL(MeTerrain::SetZoom(0), "ASSERT (z >= 1 && z <= ME_MAXZOOM)");
    MeTerrain::InitZoom();
    EXPECT_EQ(g_MeEditor.view.maxZoom, 4); // 200 / 19 = 10, at most 4
    mapsizex = 18;                          // smaller than one view: still zoom 1
    MeTerrain::InitZoom();
    EXPECT_EQ(g_MeEditor.view.maxZoom, 1);
    mapsizex = 40;
    MeTerrain::InitZoom();
    EXPECT_EQ(g_MeEditor.view.maxZoom, 2);
    mapsizex = 200;
}
