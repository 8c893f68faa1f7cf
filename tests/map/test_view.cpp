// The map view: where its origin may go, the picture it draws from the
// terrain cache (against recorded CRCs), and that the cache's reuse after a
// scroll, a dirty mark or a new buffer never shows a stale tile.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/tlog.h"
#include "gen_map.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "support/testsupport.h"

namespace {

// The recorded pictures: the whole back buffer (cleared to BACKGROUND, then
// the view and the display list drawn) at three origins of the demo map. To
// record new values after a deliberate change of the demo tile set, map,
// sprites or the view: run test_map --gtest_filter='ViewPicture.*'; each
// mismatch prints the CRC it got and writes view_<x>_<y>.pcx in the working
// directory (build-*/tests). Look at the picture, then copy the value here.
struct GOLDEN {
    int x, y;
    uint32_t crc;
};
const GOLDEN kGoldenViews[] = {
    {0, 0, 0xF41E1A61u},       // the top-left corner: row and column 0 black
    {517, 331, 0xCC74430Au},   // inside, at an offset in both axes
    {1080, 1080, 0x3953EC1Du}, // the bottom-right corner
};
const uint8_t BACKGROUND = 0xA5;

// ------------------------------------------------------------------ origin

class ViewOrigin : public testing::Test {
protected:
    QvLogCapture log;
    void TearDown() override
    {
        Map_Free();
        Map_SetViewPixelPos(0, 0);
    }
    static void NewMap(int w, int h)
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, w, h, 5, 1};
        ASSERT_EQ(Map_Load(nullptr), 1);
    }
};

TEST_F(ViewOrigin, ClampsToTheMapWithoutWrappingAndKeepsTileAndOffsetBeside)
{
    const int E = 64 * 24 - MAPVIEW_SIZE; // the last origin on a 64-tile side
    const struct {
        const char* name;
        int w, h; // the map; 0: none
        char op;  // 'S' set, 'Z' set with a zoom, 'R' set to (fromx, fromy), scroll by (x, y)
        int zoom, fromx, fromy, x, y, wantx, wanty;
    } rows[] = {
        {"past the end", 64, 40, 'S', 0, 0, 0, 5000, 5000, E, 40 * 24 - MAPVIEW_SIZE},
        {"narrower than the view", 10, 30, 'S', 0, 0, 0, 300, 300, 0, 30 * 24 - MAPVIEW_SIZE},
        {"exactly the view", 19, 19, 'S', 0, 0, 0, 7, 7, 0, 0},
        {"no map", 0, 0, 'S', 0, 0, 0, 40, 40, 0, 0},
        {"zoom 2", 64, 64, 'Z', 2, 0, 0, 5000, 5000, (64 - 38) * 24, (64 - 38) * 24},
        {"zoom 4 shows more than the map", 64, 64, 'Z', 4, 0, 0, 5000, 5000, 0, 0},
        {"no zoom below 1", 64, 64, 'Z', 0, 0, 0, 5000, -3, E, 0},
        {"scroll past INT_MAX from the end", 64, 64, 'R', 0, E, E, INT_MAX, 1, E, E},
        {"scroll by the least", 64, 64, 'R', 0, 30, 30, INT_MIN, INT_MIN, 0, 0},
    };
    for (const auto& r : rows) {
        Map_Free();
        if (r.w) NewMap(r.w, r.h);
        if (r.op == 'S') Map_SetViewPixelPos(r.x, r.y);
        if (r.op == 'Z') Map_SetViewPixelPosZoom(r.x, r.y, r.zoom);
        if (r.op == 'R') Map_SetViewPixelPos(r.fromx, r.fromy), Map_ScrollView(r.x, r.y);
        const MAPVIEW& v = g_MapView;
        EXPECT_EQ((std::vector<int>{v.x, v.y, v.tilex, v.tiley, v.offx, v.offy}),
                  (std::vector<int>{r.wantx, r.wanty, r.wantx / 24, r.wanty / 24, r.wantx % 24,
                                    r.wanty % 24}))
            << r.name;
    }
}

// ------------------------------------------------------------------ pictures

// The demo palette, tile set and map, lit, on the headless display, with
// the demo sprites spread over the map through the display list.
class ViewPicture : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    std::vector<SPRITE*> sprites;
    BITMAP* bb = nullptr;

    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        Input_Init();
        Video_Init();
        bb = Backbuf_Lock();
        ASSERT_NE(bb, nullptr);
        Mkdata_DemoPalette(&g_PalInfo);
        Display_ApplyPalette();
        auto set = std::make_unique<GENTILE_SET>();
        GenTile_DemoSet(set.get());
        dir.write("DEMO.til", GenTile_Bytes(*set));
        ASSERT_EQ(Tile_LoadInfo(dir.file("DEMO.til").c_str()), 1);
        ASSERT_EQ(GenMap_BuildDemo(), 1);
        Terrain_SetLight(-2, -1, 2, 140, 40);
        SortDisp_Init();
        PlaceSprites();
        Map_SetViewPixelPosRedraw(0, 0);
    }
    void TearDown() override
    {
        SortDisp_Close();
        for (SPRITE* s : sprites) Sprite_Free(s);
        Terrain_SetLight(-1, -1, 1, 150, 10);
        Map_Free();
        Tile_Close();
        Display_FreeTerrainBuffer();
        Video_Close();
        Input_Close();
        Plat_Close();
        Map_SetViewPixelPos(0, 0);
    }
    SPRITE* Load(int id)
    {
        GENSPRITE g;
        GenSprite_Build(id, &g);
        SPRITE_DESC d = g.Desc();
        std::string path = dir.file(GenSprite_FileName(id));
        if (!Sprite_Write(path.c_str(), &d)) return nullptr;
        SPRITE* s = Sprite_Load(path.c_str());
        if (s) sprites.push_back(s);
        return s;
    }
    // A thing every five tiles, of every kind in turn, facing every way:
    // enough that each origin shows several, some cut by the view's edges.
    void PlaceSprites()
    {
        const int ids[] = {GENSPRITE_UNITBODY, GENSPRITE_TREE,     GENSPRITE_BUILDING,
                           GENSPRITE_EXPLODE,  GENSPRITE_TURRET,   GENSPRITE_CRATER,
                           GENSPRITE_SHADOW,   GENSPRITE_LIGHT,    GENSPRITE_BLDSHAD};
        SPRITE* loaded[9];
        for (int i = 0; i < 9; i++) ASSERT_NE(loaded[i] = Load(ids[i]), nullptr);
        int n = 0;
        for (int ty = 2; ty < GENMAP_SIDE; ty += 5)
            for (int tx = 1; tx < GENMAP_SIDE; tx += 5, n++) {
                SPRITE* s = loaded[n % 9];
                SortDisp_NewElement(s, nullptr, n % 8, n % Sprite_NrFrames(s), n * 37,
                                    tx * 24 + 5, ty * 24 + 19, 2 + n % 5, 0);
            }
    }
    uint32_t DrawCrc()
    {
        Graph_ClearBitmap(bb, BACKGROUND);
        Map_DrawView();
        SortDisp_DrawAll();
        return Crc32_Block(bb->data, (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    }
    // The view's 456 x 448 visible pixels of the back buffer after a draw
    // of the terrain alone.
    std::vector<uint8_t> Terrain()
    {
        Graph_ClearBitmap(bb, BACKGROUND);
        Map_DrawView();
        std::vector<uint8_t> v;
        for (int y = MAPVIEW_SCREEN_Y; y < PLAT_HEIGHT; y++)
            v.insert(v.end(), bb->data + y * PLAT_WIDTH + MAPVIEW_SCREEN_X,
                     bb->data + y * PLAT_WIDTH + MAPVIEW_SCREEN_X + MAPVIEW_SIZE);
        return v;
    }
    // The demo set with every texture pixel one lava colour: the same tile
    // words look different.
    void LoadLavaTileSet()
    {
        const uint8_t lava = (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * MKPAL_LAVA + 9);
        auto set = std::make_unique<GENTILE_SET>();
        GenTile_DemoSet(set.get());
        for (auto& type : set->texture)
            for (auto& variation : type) memset(variation, lava, sizeof variation);
        dir.write("LAVA.til", GenTile_Bytes(*set));
        ASSERT_EQ(Tile_LoadInfo(dir.file("LAVA.til").c_str()), 1);
    }
    // What a full redraw from an empty cache shows at the current origin.
    std::vector<uint8_t> Fresh()
    {
        Map_InvalidateTerrainCache();
        return Terrain();
    }
    ::testing::AssertionResult Matches(uint32_t crc, const GOLDEN& g)
    {
        if (crc == g.crc) return ::testing::AssertionSuccess();
        char name[64], text[160];
        snprintf(name, sizeof name, "view_%d_%d.pcx", g.x, g.y);
        int saved = Graph_SavePCX(name, bb, g_Palette);
        snprintf(text, sizeof text, "view CRC 0x%08Xu, recorded 0x%08Xu; %s %s", crc, g.crc,
                 saved ? "picture written to" : "could not write", name);
        return ::testing::AssertionFailure() << text;
    }
};

TEST_F(ViewPicture, MatchesTheRecordedPictureAtThreeOrigins)
{
    for (const GOLDEN& g : kGoldenViews) {
        SCOPED_TRACE(testing::Message() << "origin " << g.x << ", " << g.y);
        Map_SetViewPixelPosRedraw(g.x, g.y);
        EXPECT_TRUE(Matches(DrawCrc(), g));
        EXPECT_TRUE(Matches(DrawCrc(), g)) << "the second frame, from the cache";
    }
}

TEST_F(ViewPicture, OffTheMapRowAndColumnZeroAreBlack)
{
    // A map narrower than the view: black left of column 1, above row 1 and
    // beyond the last column; the map itself drawn.
    g_NewMapRequest = MAP_NEWREQUEST{1, 10, 30, 6, GENTILE_GRASS};
    ASSERT_EQ(Map_Load(nullptr), 1);
    Map_SetViewPixelPos(0, 0);
    std::vector<uint8_t> v = Terrain();
    int bad = 0, lit = 0;
    for (int y = 0; y < 448; y++)
        for (int x = 0; x < MAPVIEW_SIZE; x++)
            (x < 24 || y < 24 || x >= 240 ? bad : lit) += v[(size_t)y * MAPVIEW_SIZE + x] != 0;
    EXPECT_EQ(bad, 0);
    EXPECT_GT(lit, (240 - 24) * 380) << "the map itself is drawn";
}

TEST_F(ViewPicture, EveryScrollShowsWhatAFullRedrawShows)
{
    // Small steps inside a tile, single tiles, diagonals, jumps past the
    // whole cache, and back: each picture drawn through the reused cache is
    // compared with a redraw from nothing at the same origin.
    const int moves[][2] = {{1, 0}, {23, 22}, {-24, -24}, {13, -7}, {0, 470}, {481, 481}, {-1000, 9}};
    Map_SetViewPixelPosRedraw(300, 200);
    Terrain();
    for (const auto& m : moves) {
        Map_ScrollView(m[0], m[1]);
        SCOPED_TRACE(testing::Message() << "origin " << g_MapView.x << ", " << g_MapView.y);
        std::vector<uint8_t> reused = Terrain();
        EXPECT_TRUE(reused == Fresh());
    }
}

TEST_F(ViewPicture, RepaintedOrRelitTilesAreDrawnAgainWithoutAMark)
{
    Map_SetViewPixelPosRedraw(240, 240);
    Terrain();
    MAP_ELEMENT_AT(14, 13)->tile = 0x9999u;
    std::vector<uint8_t> after = Terrain();
    EXPECT_TRUE(after == Fresh());
    // A hill raised in sight: the tiles whose shade level changed.
    Terrain();
    for (int i = -1; i <= 1; i++) Terrain_Relight(20 + i, 20, 25);
    after = Terrain();
    EXPECT_TRUE(after == Fresh());
}

TEST_F(ViewPicture, MarkedTilesAreDrawnAgainAndOnlyThose)
{
    Map_SetViewPixelPosRedraw(240, 240);
    const std::vector<uint8_t> before = Terrain();
    // Another tile set with the same tile words: nothing the cache can see,
    // so the old picture stays until tiles are marked.
    LoadLavaTileSet();
    EXPECT_TRUE(Terrain() == before);

    Map_MarkTilesDirty(15, 13, 14, 13); // corners in either order
    std::vector<uint8_t> after = Terrain();
    // Exactly the two tiles' pixels changed.
    int changed = 0, outside = 0;
    for (int y = 0; y < 448; y++)
        for (int x = 0; x < MAPVIEW_SIZE; x++) {
            const size_t i = (size_t)y * MAPVIEW_SIZE + x;
            const int tx = (x + 240) / 24, ty = (y + 240) / 24;
            const bool marked = ty == 13 && (tx == 14 || tx == 15);
            if (after[i] != before[i]) (marked ? changed : outside)++;
        }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(outside, 0);
}

TEST_F(ViewPicture, RegressionTileMarkedWhileTheViewWasAwayIsNotShownStale)
{
    // The view leaves (no frame drawn in between), the tile set changes and
    // a tile of the old window is marked, the view comes back: the cache
    // still held the old tile, which must not be reused.
    Map_SetViewPixelPosRedraw(240, 240);
    Terrain();
    Map_SetViewPixelPos(1000, 1000);
    LoadLavaTileSet();
    Map_MarkTilesDirty(0, 0, mapsizex - 1, mapsizey - 1);
    Map_SetViewPixelPos(240, 240);
    std::vector<uint8_t> back = Terrain();
    EXPECT_TRUE(back == Fresh());
}

TEST_F(ViewPicture, RegressionNewTerrainBufferIsFilledNotTrustedAsCached)
{
    // Each game frees the terrain buffer; the next one starts black (most
    // likely at the same address), so the cache must not take its old tags
    // for the new buffer. Nor for a buffer that the editor's zoomed picture
    // was drawn over.
    Map_SetViewPixelPosRedraw(240, 240);
    const std::vector<uint8_t> before = Terrain();
    Display_FreeTerrainBuffer();
    Display_CreateTerrainBuffer();
    EXPECT_FALSE(Map_IsTerrainCacheComplete());
    EXPECT_TRUE(Terrain() == before);
    Graph_FillRect(Display_TerrainBuffer(), nullptr, 0, 0, 0, MAPVIEW_SIZE, MAPVIEW_SIZE, 200);
    EXPECT_TRUE(Terrain() == before);
    // A new map of another size drops every tag as well.
    g_NewMapRequest = MAP_NEWREQUEST{1, 40, 40, 6, GENTILE_SAND};
    ASSERT_EQ(Map_Load(nullptr), 1);
    Map_SetViewPixelPos(240, 240);
    std::vector<uint8_t> sand = Terrain();
    EXPECT_TRUE(sand == Fresh());
}

} // namespace
