// Tile sets: composing a tile from its corners through the masks, refusing
// broken files, and the demo set that mkdata writes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/tlog.h"
#include "gen_tiles.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "support/testsupport.h"

namespace {

class TileTest : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    std::unique_ptr<GENTILE_SET> set{new GENTILE_SET};
    void SetUp() override
    {
        Tile_Close();
        // A set that tells every texture pixel apart: value = f(type, variation, pixel).
        memset(set.get(), 0, sizeof *set);
        for (int t = 0; t < TILEMAXCORNERTYPES; t++) {
            set->info[t] = TILE_CORNERINFO{TILEROLE_FREE, (uint8_t)t, (uint8_t)(t * 16),
                                           (uint8_t)(255 - t * 16), (uint8_t)(t * 8)};
            for (int v = 0; v < TILEMAXVARIATIONS; v++)
                for (int p = 0; p < TILE_AREA; p++) set->texture[t][v][p] = Pixel(t, v, p);
        }
        GenTile_Masks(set->mask);
    }
    void TearDown() override
    {
        Tile_Close();
    }
    static uint8_t Pixel(int t, int v, int p)
    {
        return (uint8_t)(t * 16 + v + (p % 3) * 8 * (p & 1));
    }
    std::string Log() const { return log.text(); }
    int Load(const std::string& name, const std::string& bytes)
    {
        dir.write(name, bytes);
        return Tile_LoadInfo(dir.file(name).c_str());
    }
    // What a tile word must look like, pixel p, from the set's own arrays.
    uint8_t Expected(uint32_t tile, int p) const
    {
        int corner = set->mask[(tile >> 16) & 3][p];
        int type = (int)(tile >> (4 * corner)) & 15;
        return set->texture[type][(tile >> 18) & 7][p];
    }
};

// ------------------------------------------------------------------ drawing

using TileDraw = TileTest;

TEST_F(TileDraw, EachPixelComesFromTheCornerItsMaskNames)
{
    ASSERT_EQ(Load("t.til", GenTile_Bytes(*set)), 1);
    BITMAP bmp;
    ASSERT_TRUE(Graph_InitBitmap(&bmp, TILE_PIXELS, TILE_PIXELS, nullptr));
    const uint32_t corners[] = {0x3210u, 0xFEDCu, 0xA00Au};
    for (uint32_t c : corners) {
        for (uint32_t m = 0; m < 4; m++) {
            for (uint32_t v : {0u, 3u, 7u}) {
                uint32_t tile = c | m << 16 | v << 18;
                Tile_Draw(tile, &bmp, 0);
                int bad = 0;
                for (int p = 0; p < TILE_AREA; p++) bad += bmp.data[p] != Expected(tile, p);
                EXPECT_EQ(bad, 0) << std::hex << tile;
            }
        }
    }
    Graph_FreeBitmap(&bmp);
}

TEST_F(TileDraw, DrawAtClipsToTheTargetAndLeavesTheRestAlone)
{
    ASSERT_EQ(Load("t.til", GenTile_Bytes(*set)), 1);
    BITMAP big;
    ASSERT_TRUE(Graph_InitBitmap(&big, 30, 28, nullptr));
    const uint32_t tile = 0x4321u | 2u << 16 | 5u << 18;
    for (auto [ox, oy] :
         {std::pair{-5, 20}, {20, -10}, {29, 27}, {30, 5}}) {
        Graph_ClearBitmap(&big, 0xEE);
        Tile_DrawAt(tile, &big, ox, oy);
        int bad = 0;
        for (int y = 0; y < 28; y++) {
            for (int x = 0; x < 30; x++) {
                int px = x - ox, py = y - oy;
                bool inside = px >= 0 && px < 24 && py >= 0 && py < 24;
                uint8_t want = inside ? Expected(tile, py * 24 + px) : 0xEE;
                bad += big.data[y * 30 + x] != want;
            }
        }
        EXPECT_EQ(bad, 0) << ox << "," << oy;
    }
    // Into a bitmap smaller than a tile, Tile_Draw keeps inside it.
    BITMAP small;
    ASSERT_TRUE(Graph_InitBitmap(&small, 5, 3, nullptr));
    Tile_Draw(tile, &small, 0);
    EXPECT_EQ(small.data[5 * 3 - 1], Expected(tile, 2 * 24 + 4));
    Graph_FreeBitmap(&small);
    Graph_FreeBitmap(&big);
}

TEST_F(TileDraw, WithoutATileSetNothingIsDrawnAndMaskNumbersAreAsserted)
{
    BITMAP bmp;
    ASSERT_TRUE(Graph_InitBitmap(&bmp, 24, 24, nullptr));
    Graph_ClearBitmap(&bmp, 9);
    Tile_Draw(0x1234u, &bmp, 0);
    EXPECT_EQ(bmp.data[100], 9);
    EXPECT_EQ(Tile_MiniColour(0x1234u), 0);
    Graph_FreeBitmap(&bmp);
    ASSERT_EQ(Load("t.til", GenTile_Bytes(*set)), 1);
    QV_EXPECT_FATAL(Tile_GetMask(4), "ASSERT (masknr>=0 && masknr<TILEMAXMASKVARIATIONS)");
}

// ------------------------------------------------------------------ files

using TileFile = TileTest;

TEST_F(TileFile, RefusesBrokenFilesAndKeepsTheLoadedSet)
{
    std::string good = GenTile_Bytes(*set);
    ASSERT_EQ(good.size(), 76176u);
    ASSERT_EQ(Load("good.til", good), 1);
    auto with = [&](size_t at, char value) {
        std::string s = good;
        s[at] = value;
        return s;
    };
    struct {
        const char* name;
        std::string bytes;
        const char* logged;
    } const cases[] = {
        {"empty", "", "offset 0: the file ends before the magic TILE"},
        {"version", with(4, 1), "offset 4: expected version 0x100"},
        {"records", good.substr(0, 100),
         "offset 100: the file ends inside the corner-type records"},
        {"role", with(16 + 8 * 3, 7), "offset 40: unknown corner-type role"},
        {"maskcut", good.substr(0, 76175), "offset 76175: the file ends inside the masks"},
        {"long", good + "\x01", "offset 76176: bytes after the masks"},
        {"maskpixel", with(73872 + 600, 4), "offset 74472: mask pixel names a corner above 3"},
    };
    BITMAP bmp;
    ASSERT_TRUE(Graph_InitBitmap(&bmp, 24, 24, nullptr));
    for (const auto& c : cases) {
        std::string name = std::string(c.name) + ".til";
        EXPECT_EQ(Load(name, c.bytes), 0) << c.name;
        EXPECT_NE(Log().find("Bad tile file [" + dir.file(name) + "] at " + c.logged),
                  std::string::npos)
            << c.name << "\n"
            << Log();
        // The set loaded before still draws.
        Tile_Draw(0x7654u, &bmp, 0);
        EXPECT_EQ(bmp.data[0], Expected(0x7654u, 0)) << c.name;
    }
    EXPECT_EQ(Tile_LoadInfo(dir.file("absent.til").c_str()), 0);
    EXPECT_NE(Log().find("Unable to open tile file [" + dir.file("absent.til") + "]"),
              std::string::npos);
    Graph_FreeBitmap(&bmp);
}

TEST_F(TileFile, DemoSetLoadsWithTheEditorsFixedRoles)
{
    std::unique_ptr<GENTILE_SET> demo(new GENTILE_SET);
    GenTile_DemoSet(demo.get());
    ASSERT_EQ(Load("DEMO.til", GenTile_Bytes(*demo)), 1);
    const int roles[][2] = {{0, TILEROLE_WATER}, {1, TILEROLE_LAND}, {2, TILEROLE_CLIFFFILL},
                            {11, TILEROLE_SLOPE}, {15, TILEROLE_CLIFF}};
    for (const auto& r : roles) EXPECT_EQ(Tile_GetCornerInfo(r[0])->role, r[1]) << r[0];
    for (int t = 0; t < 16; t++) {
        // No texture uses the transparent colour.
        for (int v = 0; v < 8; v++)
            EXPECT_EQ(memchr(demo->texture[t][v], 0, TILE_AREA), nullptr) << t << " " << v;
    }
}

} // namespace
