// Minimap blips: growth and end, the circle settings, drawing and the jump.
#include "ui/blip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "core/crc32.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "support/testsupport.h"

namespace {

class BlipTest : public testing::Test {
protected:
    void SetUp() override { Blip_Init(); }
    void TearDown() override { Blip_Close(); }
};

int Count(void)
{
    int n = 0;
    for (const BLIP* b = Blip_First(); b; b = b->next) n++;
    return n;
}

} // namespace

class BlipLife : public BlipTest {};

TEST_F(BlipLife, CirclesGrowInWholePixelsAndEndAtTheirLife)
{
    const struct {
        int life, speed, updates;
        float radius; // after updates, -1: ended
    } rows[] = {
        {BLIPDEF_CIRCLE_LIFE, BLIPDEF_CIRCLE_SPEED, 9, 9.0f},
        {BLIPDEF_CIRCLE_LIFE, BLIPDEF_CIRCLE_SPEED, 10, -1},
        {0, 100, 1, -1},
        {10, 50, 1000, 0.0f},
        {10, 250, 4, 8.0f},
        {10, 250, 5, -1},
    };
    for (const auto& r : rows) {
        Blip_Init();
        BLIP_TYPE* t = Blip_AddNewType(BF_CIRCLE);
        Blip_FormCircleLife(t, r.life);
        Blip_FormCircleSpeed(t, r.speed);
        Blip_NewInstance(t, 3, 4);
        for (int i = 0; i < r.updates; i++) Blip_UpdateInstances();
        if (r.radius < 0) {
            EXPECT_EQ(Count(), 0) << r.life << " " << r.speed << " " << r.updates;
        } else {
            ASSERT_EQ(Count(), 1) << r.life << " " << r.speed;
            EXPECT_EQ(Blip_First()->radius, r.radius) << r.life << " " << r.speed;
        }
    }
}

TEST_F(BlipLife, SettingsClampAndUnknownFormsAreRefused)
{
    BLIP_TYPE* t = Blip_AddNewType(BF_CIRCLE);
    EXPECT_EQ(t->circle.color, 31754);
    Blip_FormCircleColor(t, 40, -3, 12);
    EXPECT_EQ(t->circle.color, 31756);
    Blip_FormCircleLife(t, -4);
    EXPECT_EQ(t->circle.life, 0);
    Blip_FormCircleSpeed(t, 0);
    EXPECT_EQ(t->circle.speed, 1);
    QvLogCapture log;
    EXPECT_EQ(Blip_AddNewType(BF_MAX), nullptr);
    EXPECT_EQ(Blip_AddNewType(-1), nullptr);
    EXPECT_NE(log.text().find("Unknown blip form [1]"), std::string::npos);
}

class BlipDraw : public BlipTest {};

// A circle of radius 3 cut by the minimap's edge and a point, scrolled and
// moved to the minimap's origin: a golden checksum of the bitmap.
TEST_F(BlipDraw, CirclesAreDrawnAtTheirScrolledPositionClipped)
{
    for (int i = 0; i < 256; i++)
        g_Palette[i] = {(uint8_t)(i & 63), (uint8_t)((i * 3) & 63), (uint8_t)((i * 7) & 63)};
    g_PaletteVersion++;
    BITMAP bm{};
    ASSERT_TRUE(Graph_InitBitmap(&bm, 32, 32, nullptr));
    GRECT clip{4, 4, 20, 20};
    BLIP_TYPE* a = Blip_AddNewType(BF_CIRCLE);
    BLIP_TYPE* b = Blip_AddNewType(BF_CIRCLE);
    Blip_FormCircleSpeed(b, 50);
    Blip_FormCircleColor(b, 0, 31, 0);
    Blip_NewInstance(a, 12, 12);
    Blip_NewInstance(b, 20, 18);
    for (int i = 0; i < 3; i++) Blip_UpdateInstances();
    Blip_DrawInstances(&bm, &clip, 4, 4, 10, 10);
    auto at = [&](int x, int y) { return bm.data[y * 32 + x]; };
    EXPECT_EQ(at(9, 6), Graph_ColourMatch(BLIPDEF_CIRCLE_COLOR)) << "right of the circle";
    EXPECT_EQ(at(6, 3), 0) << "top of the circle, outside the clip";
    EXPECT_EQ(at(14, 12), Graph_ColourMatch(31 * 32)) << "the point";
    EXPECT_EQ(Crc32_Block(bm.data, 32 * 32), 4218468090u);
    Graph_FreeBitmap(&bm);
}

// The last position is the process's: whether nothing came before the first
// blip is asked in a fresh process (a death test that runs this binary again),
// so the binary passes run whole as well as one test per process.
TEST_F(BlipDraw, LastPositionOutlivesTheGameAndNothingBeforeTheFirstBlip)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto nothingYet = [] {
        int x, y;
        Blip_TriggerBlipJump(); // nothing to jump to: no map needed
        exit(Blip_LastPosition(&x, &y) ? 1 : 0);
    };
    EXPECT_EXIT(nothingYet(), testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, "fast");
    int x, y;
    Blip_NewInstance(Blip_AddNewType(BF_CIRCLE), 30, 40);
    Blip_Close();
    Blip_Init();
    EXPECT_TRUE(Blip_LastPosition(&x, &y));
    EXPECT_EQ(x * 100 + y, 3040);
}
