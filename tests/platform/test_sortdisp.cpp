// The sorted display list: the order it keeps, element chains, the packed
// fields, and drawing into the view of the back buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <tuple>
#include <vector>

#include "core/config.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "support/testsupport.h"

namespace {

// A sprite of w x h images, rotation r all of colour + r, hot spot 0 at
// (hx, hy), written to dir and loaded.
SPRITE* SolidSprite(const QvTempDir& dir, const char* name, int w, int h, uint8_t colour,
                    int rotations = 1, int hx = 0, int hy = 0, int frames = 1)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < rotations * frames; i++)
        pixels.insert(pixels.end(), (size_t)w * h, (uint8_t)(colour + i % rotations));
    std::vector<SPRITE_POINT> hot((size_t)rotations * frames, SPRITE_POINT{hx, hy, 0});
    SPRITE_DESC d{};
    d.kind = SPRITE_REGULAR, d.frames = frames, d.rotations = rotations, d.w = w, d.h = h;
    d.pixels = pixels.data(), d.nrhotspots = 1, d.hotspots = hot.data();
    std::string path = dir.file(name);
    if (!Sprite_Write(path.c_str(), &d)) return nullptr;
    return Sprite_Load(path.c_str());
}

// Every element in drawing order: layer by layer, bucket by bucket.
std::vector<DISPLAYELEMENT*> DrawingOrder()
{
    std::vector<DISPLAYELEMENT*> out;
    for (int l = 0; l < SORTDISP_LAYERS; l++)
        for (int b = 0; b < SORTDISP_BUCKETS; b++)
            for (DISPLAYELEMENT* e = SortDisp_BucketHead(l, b); e; e = e->next) out.push_back(e);
    return out;
}

class SortDispList : public testing::Test {
protected:
    void SetUp() override { SortDisp_Init(); }
    void TearDown() override { SortDisp_Close(); }
    DISPLAYELEMENT* At(int x, int y, int layer = 0, DISPLAYELEMENT* parent = nullptr)
    {
        return SortDisp_NewElement(nullptr, parent, 0, 0, 0, x, y, layer, 0);
    }
};

} // namespace

// An element goes after those already at its layer and y; moving to a new y
// or layer is entering again, a move along x keeps its place. y covers
// negative positions and maps taller than the 256 buckets reach one tile
// each, so a wrapping or clamped bucket would show up here.
TEST_F(SortDispList, DrawingOrderIsLayerThenDepthThenEntry)
{
    std::mt19937 rng(7);
    auto R = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Made {
        int layer, y, entry;
        DISPLAYELEMENT* e;
    };
    std::vector<Made> made;
    int entries = 0;
    for (int n = 0; n < 2000; n++) {
        int y = R(-100, 600 * 24) / 3 * 3, layer = R(0, SORTDISP_LAYERS - 1); // plenty of equal y
        made.push_back({layer, y, entries++, At(n, y, layer)});
    }
    for (int n = 0; n < 1000; n++) {
        Made& m = made[(size_t)R(0, 1999)];
        switch (R(0, 2)) {
        case 0: SortDisp_SetPosition(m.e, R(0, 99), m.y); break;
        case 1: SortDisp_SetPosition(m.e, 0, m.y = R(-100, 600 * 24) / 3 * 3), m.entry = entries++; break;
        default: SortDisp_SetLayer(m.e, m.layer = R(0, SORTDISP_LAYERS - 1)), m.entry = entries++; break;
        }
    }
    std::sort(made.begin(), made.end(), [](const Made& a, const Made& b) {
        return std::tie(a.layer, a.y, a.entry) < std::tie(b.layer, b.y, b.entry);
    });
    std::vector<DISPLAYELEMENT*> expected;
    for (const Made& m : made) expected.push_back(m.e);
    EXPECT_EQ(DrawingOrder(), expected);
}

TEST_F(SortDispList, ChainsShowHideAndDeleteFromTheGivenElementOn)
{
    DISPLAYELEMENT* body = At(10, 10, 5);
    DISPLAYELEMENT* turret = At(10, 10, 6, body);
    DISPLAYELEMENT* shadow = At(12, 14, 1, body); // joins the end, after the turret
    DISPLAYELEMENT* other = At(0, 0);
    EXPECT_TRUE(body->nextup == turret && turret->nextup == shadow && shadow->prevup == turret);
    SortDisp_HideChain(turret);
    EXPECT_TRUE(body->visible && other->visible && !turret->visible && !shadow->visible);
    SortDisp_DeleteChain(turret);
    // The body's chain ends cleanly: a new part joins it again.
    DISPLAYELEMENT* again = At(1, 1, 0, body);
    EXPECT_EQ(body->nextup, again);
    SortDisp_DeleteChain(body);
    EXPECT_EQ(DrawingOrder(), (std::vector<DISPLAYELEMENT*>{other}));
}

TEST_F(SortDispList, PackedFieldsKeepTheirFullRangeAndCutBeyond)
{
    DISPLAYELEMENT* e = SortDisp_NewElement(nullptr, nullptr, 64 + 5, 1024 + 7, 256 + 9, 0, 0,
                                            SORTDISP_LAYERS - 1, 0);
    auto fields = [e] {
        return std::vector<int>{SortDisp_GetRemap(e), SortDisp_GetFrame(e),
                                SortDisp_GetDirection(e), SortDisp_GetRenderMode(e)};
    };
    SortDisp_SetFrame(e, 1023);
    SortDisp_SetRemap(e, 63);
    SortDisp_SetDirection(e, -1);
    SortDisp_SetRenderMode(e, 16 + 15);
    // Each at its maximum, none spilling into its neighbours.
    EXPECT_EQ(fields(), (std::vector<int>{63, 1023, 255, 15}));
    QV_EXPECT_FATAL(SortDisp_SetLayer(e, SORTDISP_LAYERS),
                    "ASSERT (layer >= 0 && layer < SORTDISP_LAYERS)");
}

TEST(SortDispLifecycle, GuardedAndEmptyAfterAClose)
{
    QV_EXPECT_FATAL(SortDisp_NewElement(nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0),
                    "SortDisp not initialised");
    SortDisp_Init();
    SortDisp_NewElement(nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0);
    SortDisp_Close(); // frees the element left over
    SortDisp_Init();
    EXPECT_EQ(DrawingOrder().size(), 0u);
    SortDisp_Close();
}

namespace {

class SortDispDraw : public testing::Test {
protected:
    QvTempDir dir;
    BITMAP* bb = nullptr;
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        Input_Init();
        Video_Init();
        SortDisp_Init();
        bb = Backbuf_Lock();
        ASSERT_NE(bb, nullptr);
        Graph_ClearBitmap(bb, 0);
        g_MapView = MAPVIEW{0, 0, 0, 0, 0, 0};
    }
    void TearDown() override
    {
        SortDisp_Close();
        while (g_SpriteList) Sprite_Free(g_SpriteList);
        Video_Close();
        Input_Close();
        Plat_Close();
    }
    uint8_t Px(int x, int y) const { return bb->data[(size_t)y * bb->x_size + x]; }
    int Count(uint8_t c) const
    {
        return (int)std::count(bb->data, bb->data + (size_t)bb->x_size * bb->y_size, c);
    }
};

} // namespace

TEST_F(SortDispDraw, FrameGoesToWorldMinusHotSpotMinusViewOriginInLayerOrder)
{
    SPRITE* s = SolidSprite(dir, "a.spr", 4, 3, 5, 1, 1, 2);
    SPRITE* top = SolidSprite(dir, "top.spr", 1, 1, 7);
    ASSERT_TRUE(s && top);
    // Made first, but on a higher layer: drawn over the other.
    SortDisp_NewElement(top, nullptr, SORTDISP_REMAP_NONE, 0, 0, 99, 58, 1, 0);
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 100, 60, 0, 0);
    g_MapView.x = 50;
    g_MapView.y = 20;
    SortDisp_DrawAll();
    // Top-left at (100 - 1 - 50, 60 - 2 - 20) in the view.
    const int x = 49 + MAPVIEW_SCREEN_X, y = 38 + MAPVIEW_SCREEN_Y;
    EXPECT_EQ(Count(5), 11);
    EXPECT_TRUE(Px(x, y) == 7 && Px(x + 3, y + 2) == 5);
}

TEST_F(SortDispDraw, ClippedToTheViewOnEverySide)
{
    SPRITE* s = SolidSprite(dir, "a.spr", 10, 10, 9);
    ASSERT_NE(s, nullptr);
    g_MapView.x = 1000;
    g_MapView.y = 1000;
    // Straddling the left, top, right and bottom edges of the view.
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 995, 1100, 0, 0);
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 1100, 996, 0, 0);
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 1000 + MAPVIEW_SIZE - 3, 1200, 0, 0);
    // The view runs past the bottom of the 480-line screen: the screen clips there.
    int bottom = 1000 + bb->y_size - 4 - MAPVIEW_SCREEN_Y;
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 1200, bottom, 0, 0);
    SortDisp_DrawAll();
    EXPECT_EQ(Count(9), 5 * 10 + 10 * 6 + 3 * 10 + 10 * 4);
    // Nothing outside the view: the screen continues right of and above it.
    for (int y = 0; y < bb->y_size; y++)
        for (int x = 0; x < bb->x_size; x++) {
            bool inview = x >= MAPVIEW_SCREEN_X && x < MAPVIEW_SCREEN_X + MAPVIEW_SIZE &&
                          y >= MAPVIEW_SCREEN_Y && y < MAPVIEW_SCREEN_Y + MAPVIEW_SIZE;
            if (!inview) {
                ASSERT_EQ(Px(x, y), 0) << x << "," << y;
            }
        }
}

TEST_F(SortDispDraw, ElementsWhollyOutsideOrUndrawableDrawNothing)
{
    SPRITE* s = SolidSprite(dir, "a.spr", 8, 8, 4, 1, 0, 0, 2);
    ASSERT_NE(s, nullptr);
    // Just outside each edge of the view, and so far away that the screen
    // position only exists in more than 32 bits.
    const int far[][2] = {{-8, 100}, {100, -8}, {MAPVIEW_SIZE, 100}, {100, MAPVIEW_SIZE},
                          {INT_MAX, 100}, {INT_MIN, INT_MIN}, {100, INT_MAX}};
    for (auto& p : far)
        SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, p[0], p[1], 0, 0);
    DISPLAYELEMENT* hidden =
        SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 0, 0, 0, 0);
    SortDisp_HideChain(hidden);
    DISPLAYELEMENT* badframe =
        SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 2, 0, 20, 20, 0, 0);
    SortDisp_NewElement(nullptr, nullptr, SORTDISP_REMAP_NONE, 0, 0, 40, 40, 0, 0);
    SortDisp_DrawAll();
    EXPECT_EQ(Count(4), 0);
    // The same elements do draw once they can.
    SortDisp_ShowChain(hidden);
    SortDisp_SetFrame(badframe, 1);
    SortDisp_DrawAll();
    EXPECT_EQ(Count(4), 2 * 64);
}

TEST_F(SortDispDraw, RemapSelectsTeamOrHighlightTable)
{
    SPRITE* s = SolidSprite(dir, "a.spr", 2, 2, 5);
    ASSERT_NE(s, nullptr);
    uint8_t oldteam = g_TeamRemap[3][5], oldhi = g_HighlightTable[5];
    g_TeamRemap[3][5] = 99;
    g_HighlightTable[5] = 77;
    SortDisp_NewElement(s, nullptr, 3, 0, 0, 10, 10, 0, 0);
    DISPLAYELEMENT* h = SortDisp_NewElement(s, nullptr, 3, 0, 0, 20, 10, 0, 0);
    SortDisp_SetRemap(h, SORTDISP_REMAP_HILITE);
    SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 30, 10, 0, 0);
    SortDisp_DrawAll();
    g_TeamRemap[3][5] = oldteam;
    g_HighlightTable[5] = oldhi;
    const int y = MAPVIEW_SCREEN_Y + 10;
    EXPECT_EQ((std::vector<int>{Px(10, y), Px(20, y), Px(30, y)}), (std::vector<int>{99, 77, 5}));
}

TEST_F(SortDispDraw, DirectionPicksTheNearestRotation)
{
    // 8 rotations of 2 x 2, rotation r in colour 10 + r; hot spot at (1, 1).
    SPRITE* s = SolidSprite(dir, "rot.spr", 2, 2, 10, 8, 1, 1);
    ASSERT_NE(s, nullptr);
    DISPLAYELEMENT* e = SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0, 50, 50, 0, 0);
    // 256 / 8 = 32 facing units per rotation, each centred on its facing.
    const int cases[][2] = {{15, 0}, {16, 1}, {47, 1}, {48, 2}, {239, 7}, {240, 0}};
    for (auto& c : cases) {
        SortDisp_SetDirection(e, c[0]);
        EXPECT_EQ(SortDisp_Rotation(e), c[1]) << "direction " << c[0];
        SortDisp_DrawAll();
        EXPECT_EQ(Px(49, MAPVIEW_SCREEN_Y + 49), 10 + c[1]) << "direction " << c[0];
    }
}

