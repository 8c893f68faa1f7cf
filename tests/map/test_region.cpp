// Regions: the tile rules of rectangles and circles, and walking the list.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "map/region.h"

namespace {

REGION Rect(uint32_t id, int x1, int y1, int x2, int y2)
{
    REGION r{};
    r.id = id;
    r.flags = RT_RECTANGLE;
    r.x1 = x1;
    r.y1 = y1;
    r.x2 = x2;
    r.y2 = y2;
    return r;
}

REGION Circle(uint32_t id, int cx, int cy, int radius)
{
    REGION r = Rect(id, cx, cy, radius, 0);
    r.flags = RT_CIRCLE;
    return r;
}

class Regions : public testing::Test {
protected:
    void TearDown() override { Region_FreeAll(); }
    std::vector<uint32_t> Walk()
    {
        std::vector<uint32_t> ids;
        for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0)) ids.push_back(r->id);
        return ids;
    }
};

} // namespace

TEST_F(Regions, RectangleHoldsTilesFromCornerToCornerInclusive)
{
    // Pixels 48..119 x 24..71: tiles 2..4 x 1..2 (the far edge's tile counts).
    REGION r = Rect(1, 48, 24, 119, 71);
    for (int y = 0; y <= 3; y++)
        for (int x = 1; x <= 5; x++)
            EXPECT_EQ(Region_ContainsTile(&r, x, y), x >= 2 && x <= 4 && y >= 1 && y <= 2)
                << x << "," << y;
    // The editor's highlight bit is not part of the shape.
    r.flags = (uint32_t)RT_RECTANGLE | REGION_HILITE;
    EXPECT_TRUE(Region_ContainsTile(&r, 2, 1));
}

TEST_F(Regions, CircleHoldsTilesWithinItsTileRadius)
{
    // Centre pixel (250, 245) is tile (10, 10); radius 95 pixels is 3 tiles,
    // 23 pixels under one tile (the centre alone), -24 none.
    const struct {
        int r, x, y;
        bool in;
    } rows[] = {
        {95, 13, 10, true}, {95, 14, 10, false},
        // The integer square root rounds down: 3^2 + 2^2 = 13 -> 3, inside;
        // 3^2 + 3^2 = 18 -> 4, outside.
        {95, 13, 12, true}, {95, 7, 7, false},
        {23, 10, 10, true}, {23, 11, 10, false}, {-24, 10, 10, false},
    };
    for (const auto& r : rows) {
        REGION c = Circle(1, 250, 245, r.r);
        EXPECT_EQ(Region_ContainsTile(&c, r.x, r.y) != 0, r.in) << r.r << ": " << r.x << "," << r.y;
    }
}

// Regression: the squared distance of a circle with coordinates at the int
// limits (a hostile scenario file) overflowed.
TEST_F(Regions, CircleAtTheIntLimitsDoesNotOverflow)
{
    REGION c = Circle(1, INT_MIN, INT_MIN, INT_MAX);
    EXPECT_FALSE(Region_ContainsTile(&c, INT_MAX, INT_MAX));
    c = Circle(1, INT_MAX, INT_MAX, INT_MAX);
    EXPECT_TRUE(Region_ContainsTile(&c, INT_MAX / 24, INT_MAX / 24));
    EXPECT_FALSE(Region_ContainsTile(&c, INT_MIN, INT_MIN));
}

TEST_F(Regions, FindByIndexWalksOnAfterDeletions)
{
    for (uint32_t id = 1; id <= 5; id++) {
        REGION r = Rect(id, 0, 0, 0, 0);
        Region_Add(&r);
    }
    EXPECT_EQ(Region_FindByIndex(1)->id, 1u);
    REGION* two = Region_FindByIndex(0);
    EXPECT_EQ(two->id, 2u);
    // The region returned last goes: the walk carries on with the next one.
    Region_Delete(two);
    EXPECT_EQ(Region_FindByIndex(0)->id, 3u);
    // One before the walk's place goes: the walk still doesn't skip.
    Region_Delete(Region_FindById(1));
    EXPECT_EQ(Region_FindByIndex(0)->id, 4u);
    // One after it goes: the walk skips only that one, and ends.
    Region_Delete(Region_FindById(5));
    EXPECT_EQ(Region_FindByIndex(0), nullptr);
    EXPECT_EQ(Walk(), (std::vector<uint32_t>{3, 4}));
}

TEST_F(Regions, LookupsByIdIterationAndPixel)
{
    REGION a = Rect(10, 0, 0, 47, 47);          // tiles 0..1
    REGION b = Circle(20, 240, 240, 48);        // around tile (10, 10)
    REGION c = Rect(30, 0, 0, 1000, 1000);      // covers both
    Region_Add(&a);
    Region_Add(&b);
    Region_Add(&c);

    std::vector<uint32_t> seen;
    auto visit = [](REGION* r, void* arg) {
        static_cast<std::vector<uint32_t>*>(arg)->push_back(r->id);
        return r->id == 20 ? 1 : 0;
    };
    EXPECT_EQ(Region_Iterate(visit, &seen)->id, 20u);
    EXPECT_EQ(seen, (std::vector<uint32_t>{10, 20}));

    EXPECT_EQ(Region_FindAtPixel(30, 30)->id, 10u);   // first in list order
    EXPECT_EQ(Region_FindAtPixel(245, 250)->id, 20u);
    EXPECT_EQ(Region_FindAtPixel(2000, 100), nullptr);
}
