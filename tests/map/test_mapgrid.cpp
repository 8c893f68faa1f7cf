// The map grid: its size, the cell lists, areas across cells and the
// overlay lookup.
#include <gtest/gtest.h>

#include <cstdint>

#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "support/testsupport.h"

namespace {

void NewMap(int w, int h)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, w, h, 4, 1};
    ASSERT_EQ(Map_Load(nullptr), 1);
}

class Mapgrid : public testing::Test {
protected:
    // Stand-ins for units and buildings: the grid only keeps their addresses.
    int things[8] = {};
    void SetUp() override
    {
        NewMap(40, 20);
        Mapgrid_Init();
    }
    void TearDown() override
    {
        Mapgrid_Close();
        Map_Free();
    }
    int ListLength(int list, int cx, int cy)
    {
        return Mapgrid_Cell(cx, cy)->count[list];
    }
};

} // namespace

TEST_F(Mapgrid, CellsCoverTheMapIn16TileSquares)
{
    EXPECT_EQ(Mapgrid_CellsX(), 3);
    EXPECT_EQ(Mapgrid_CellsY(), 2);
    const struct {
        int tx, ty, index;   // -1: off the map
    } rows[] = {{15, 15, 0}, {16, 15, 1}, {39, 19, 5}, {40, 0, -1}, {-1, 0, -1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.tx << "," << r.ty);
        EXPECT_EQ(Mapgrid_CellIndexOfTile(r.tx, r.ty), r.index);
        EXPECT_EQ(Mapgrid_Link(MGL_UNIT, &things[0], r.tx, r.ty), r.index >= 0);
        EXPECT_EQ(Mapgrid_UnlinkCell(MGL_UNIT, &things[0], r.index), r.index >= 0);
    }
    // Nothing is linked into a cell or a list that doesn't exist.
    EXPECT_FALSE(Mapgrid_LinkCell(MGL_UNIT, &things[0], 6));
    EXPECT_FALSE(Mapgrid_LinkCell(MGL_LISTS, &things[0], 0));
}

TEST_F(Mapgrid, LinkAndUnlinkKeepEachListApart)
{
    for (int i = 0; i < 5; i++) EXPECT_TRUE(Mapgrid_Link(MGL_UNIT, &things[i], 20 + i, 3));
    EXPECT_TRUE(Mapgrid_Link(MGL_BUILDING, &things[5], 20, 3));
    EXPECT_FALSE(Mapgrid_Contains(MGL_BUILDING, &things[0], 20, 3));
    EXPECT_FALSE(Mapgrid_Unlink(MGL_UNIT, &things[5], 20, 3));     // in another list
    // From the middle, the end (newest) and the start.
    EXPECT_TRUE(Mapgrid_Unlink(MGL_UNIT, &things[2], 20, 3));
    EXPECT_TRUE(Mapgrid_Unlink(MGL_UNIT, &things[4], 20, 3));
    EXPECT_TRUE(Mapgrid_Unlink(MGL_UNIT, &things[0], 20, 3));
    EXPECT_FALSE(Mapgrid_Unlink(MGL_UNIT, &things[0], 20, 3));
    const MAPGRID_CELL* cell = Mapgrid_Cell(1, 0);
    ASSERT_EQ(cell->count[MGL_UNIT], 2);
    EXPECT_EQ(cell->items[MGL_UNIT][0], &things[1]) << "the order of linking is kept";
    EXPECT_EQ(cell->items[MGL_UNIT][1], &things[3]);
    Mapgrid_Unlink(MGL_UNIT, &things[3], 20, 3);
    Mapgrid_Unlink(MGL_UNIT, &things[1], 20, 3);
    Mapgrid_Unlink(MGL_BUILDING, &things[5], 20, 3);
}

TEST_F(Mapgrid, AnAreaIsInEveryCellItTouchesOnTheMap)
{
    const struct {
        int x, y, w, h, cells;
    } rows[] = {
        {14, 14, 4, 4, 4},   // two cells across and two down
        {38, 18, 5, 5, 1},   // partly off the map: the part on it
        {40, 0, 5, 5, 0},
        {INT32_MAX, INT32_MAX, 15, 15, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.x << "," << r.y);
        EXPECT_EQ(Mapgrid_LinkArea(MGL_BUILDING, &things[0], r.x, r.y, r.w, r.h), r.cells);
        int linked = 0;
        for (int cy = 0; cy < 2; cy++)
            for (int cx = 0; cx < 3; cx++) linked += ListLength(MGL_BUILDING, cx, cy);
        EXPECT_EQ(linked, r.cells);
        EXPECT_EQ(Mapgrid_UnlinkArea(MGL_BUILDING, &things[0], r.x, r.y, r.w, r.h), r.cells);
    }
}

TEST_F(Mapgrid, FindAtPixelTakesTilesAndFindsTheOverlayThere)
{
    OVERLAY a{}, b{}, c{};
    a.tilepos = TILEPOS{17, 3};
    b.tilepos = TILEPOS{18, 3};
    c.tilepos = TILEPOS{17, 3};
    EXPECT_TRUE(Mapgrid_AddOverlay(&a));
    EXPECT_TRUE(Mapgrid_AddOverlay(&b));
    EXPECT_TRUE(Mapgrid_AddOverlay(&a));   // already in: stays once
    EXPECT_EQ(ListLength(MGL_OVERLAY, 1, 0), 2);
    EXPECT_EQ(Mapgrid_FindAtPixel(18, 3), &b);
    EXPECT_EQ(Mapgrid_FindAtPixel(17 * 24, 3 * 24), nullptr);
    Mapgrid_AddOverlay(&c);
    EXPECT_EQ(Mapgrid_FindAtPixel(17, 3), &c);   // the one linked last
    EXPECT_TRUE(Mapgrid_RemoveOverlay(&c));
    EXPECT_FALSE(Mapgrid_RemoveOverlay(&c));
    Mapgrid_RemoveOverlay(&a);
    Mapgrid_RemoveOverlay(&b);
}

// Regression: overlays still linked when the grid closed kept their
// in-grid mark, so the next grid never took them again.
TEST_F(Mapgrid, ClosingTheGridReleasesItsOverlays)
{
    OVERLAY a{};
    a.tilepos = TILEPOS{2, 2};
    Mapgrid_AddOverlay(&a);
    Mapgrid_Close();
    Mapgrid_Init();
    EXPECT_TRUE(Mapgrid_AddOverlay(&a));
    EXPECT_EQ(Mapgrid_FindAtPixel(2, 2), &a);
    Mapgrid_RemoveOverlay(&a);
}

TEST(MapgridLifecycle, NeedsAMapAndIsGuarded)
{
    Map_Free();
    QV_EXPECT_FATAL(Mapgrid_Init(), "Mapgrid needs a map");
    QV_EXPECT_FATAL(Mapgrid_Close(), "Mapgrid not initialised");
    NewMap(17, 2);
    Mapgrid_Init();
    EXPECT_EQ(Mapgrid_CellsX(), 2);
    QV_EXPECT_FATAL(Mapgrid_Init(), "Mapgrid already initialised");
    Mapgrid_Close();
    EXPECT_FALSE(Mapgrid_Link(MGL_UNIT, &mapsizex, 1, 1));
    Map_Free();
}
