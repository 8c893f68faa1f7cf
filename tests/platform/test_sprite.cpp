// Sprite files, their refusal of broken bytes, run-length drawing with its
// clipping and render modes, hot spots and sections, the data-directory
// lookup with reference counts, and reloading in place.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "support/testsupport.h"

namespace {

// A decoder written from the file layout alone, to hold the engine's against.
std::vector<uint8_t> DecodeRle(const uint8_t* p, int w, int h)
{
    std::vector<uint8_t> img((size_t)w * h, 0);
    for (int y = 0; y < h; y++) {
        int x = 0;
        for (;;) {
            int skip = *p++, count = *p++;
            if (!skip && !count) break;
            x += skip;
            for (int k = 0; k < count; k++) img[(size_t)y * w + x++] = *p++;
        }
    }
    return img;
}

std::string Encode(const GENSPRITE& g)
{
    SPRITE_DESC d = g.Desc();
    std::string bytes;
    EXPECT_EQ(Sprite_Encode(&d, &bytes), 1);
    return bytes;
}

// Tests run with a temporary directory, the log in it, and no sprite left over.
class SpriteTest : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_;
    void TearDown() override
    {
        Sprite_FreeAll();
    }
    std::string Log() const { return log_.text(); }
    SPRITE* WriteAndLoad(const std::string& name, const GENSPRITE& g)
    {
        dir_.write(name, Encode(g));
        return Sprite_Load(dir_.file(name).c_str());
    }
};

} // namespace

using SpriteFile = SpriteTest;

TEST_F(SpriteFile, WrittenSpritesLoadBackImageForImage)
{
    struct CASE {
        int kind, frames, rotations, w, h;
    };
    // Each kind; a width with gaps and runs longer than 255.
    const CASE cases[] = {{SPRITE_REGULAR, 3, 4, 11, 7},
                          {SPRITE_SHADOW, 1, 8, 5, 5},
                          {SPRITE_LIGHT, 2, 1, 9, 3},
                          {SPRITE_REGULAR, 1, 2, 512, 6}};
    for (const CASE& c : cases) {
        GENSPRITE g;
        GenSprite_Pattern(c.kind, c.frames, c.rotations, c.w, c.h, &g);
        SPRITE* s = WriteAndLoad("p.spr", g);
        ASSERT_NE(s, nullptr) << Log();
        EXPECT_EQ((std::vector<int>{Sprite_GetKind(s), Sprite_NrFrames(s), Sprite_NrRotations(s),
                                    Sprite_GetWidth(s), Sprite_GetHeight(s)}),
                  (std::vector<int>{c.kind, c.frames, c.rotations, c.w, c.h}));
        for (int f = 0; f < c.frames; f++)
            for (int r = 0; r < c.rotations; r++) {
                std::vector<uint8_t> want(&g.At(f, r, 0, 0), &g.At(f, r, 0, 0) + (size_t)c.w * c.h);
                EXPECT_EQ(DecodeRle(Sprite_GetFrame(s, f, r), c.w, c.h), want) << f << "," << r;
                for (int n = 0; n < 2; n++) {
                    SPRITE_POINT a = g.hotspots[(size_t)(f * c.rotations + r) * 2 + n];
                    SPRITE_POINT b = Sprite_GetHotspot(s, n, f, r);
                    EXPECT_EQ(std::tuple(b.x, b.y, b.z), std::tuple(a.x, a.y, a.z));
                }
            }
        SPRITE_SECTION s0 = Sprite_GetSectionInfo(s, 0);
        EXPECT_EQ(std::tuple(s0.last, s0.speed, s0.extra), std::tuple(c.frames - 1, 0x8000, 7));
        Sprite_Free(s);
    }
    EXPECT_EQ(Sprite_Count(), 0);
}

class SpriteRefusal : public SpriteTest {
protected:
    std::string whole_;
    void SetUp() override
    {
        SpriteTest::SetUp();
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 2, 2, 6, 5, &g);
        whole_ = Encode(g);
    }
    // Refused with the file and this offset named in the log.
    void ExpectRefused(const std::string& bytes, size_t offset, const char* what)
    {
        dir_.write("bad.spr", bytes);
        std::string path = dir_.file("bad.spr");
        EXPECT_EQ(Sprite_Load(path.c_str()), nullptr) << what;
        std::string want =
            "Sprite file [" + path + "]: offset " + std::to_string(offset) + ": expected";
        EXPECT_NE(Log().find(want), std::string::npos) << what << "\n" << Log();
        EXPECT_EQ(Sprite_Count(), 0);
    }
    // The offset of image i (two sections before the images, two hot spots
    // in each image): its hot spot count; the stream length 13 bytes on, the
    // stream 17.
    size_t ImageAt(int i) const
    {
        size_t at = SPRITE_HEADER_BYTES + 2 * SPRITE_SECTION_BYTES;
        for (int k = 0; k < i; k++) at += 17 + StreamLength(at);
        return at;
    }
    uint32_t StreamLength(size_t image) const
    {
        const uint8_t* p = (const uint8_t*)whole_.data() + image + 13;
        return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
    }
};

TEST_F(SpriteRefusal, FieldsOutOfRangeOrInconsistentAreRefusedAtTheirOffset)
{
    const size_t sec1 = SPRITE_HEADER_BYTES + SPRITE_SECTION_BYTES;
    const size_t rle = ImageAt(0) + 17, len = StreamLength(ImageAt(0));
    ASSERT_GT(whole_[rle + 1], 0); // image 0's first row starts with a run of pixels
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        int bytes;
        size_t offset; // 0 with at 0: the magic; SIZE_MAX: the file's end
    } cases[] = {
        {"magic", 0, 'X', 1, 0},
        {"70000 frames", 8, 70000, 4, 8},
        {"height 513", 20, 513, 4, 20},
        {"frames beyond the file", 8, 1024, 4, SIZE_MAX},
        {"a section number given twice", sec1, 0, 4, sec1},
        {"a last frame past the sprite", sec1 + 8, 2, 4, sec1 + 8},
        {"17 hot spots", ImageAt(1), 17, 1, ImageAt(1)},
        // A skip that makes the first run end one pixel past the 6-pixel row.
        {"a run past its row", rle, (uint32_t)(6 + 1 - whole_[rle + 1]), 1, rle},
        // The last row's end turned into a run whose pixel the stream lacks.
        {"a run's pixels past the stream", rle + len - 1, 1, 1, rle + len},
    };
    for (const auto& c : cases) {
        std::string s = whole_;
        for (int k = 0; k < c.bytes; k++) s[c.at + k] = (char)(c.value >> (8 * k));
        ExpectRefused(s, c.offset == SIZE_MAX ? s.size() : c.offset, c.what);
    }
    ExpectRefused(whole_ + "x", whole_.size(), "a byte after the last image");
}

namespace {

// What a frame must leave: the reference image composited at (x, y) over a
// copy of the background, pixel by pixel, inside the clip and the bitmap.
std::vector<uint8_t> Composite(std::vector<uint8_t> bg, int bw, int bh,
                               const std::vector<uint8_t>& img, int w, int h, int x, int y,
                               const GRECT* clip)
{
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            long long px = (long long)x + i, py = (long long)y + j;
            if (!img[(size_t)j * w + i] || px < 0 || py < 0 || px >= bw || py >= bh) continue;
            if (clip && (px < clip->x || py < clip->y || px >= (long long)clip->x + clip->w ||
                         py >= (long long)clip->y + clip->h))
                continue;
            bg[(size_t)py * bw + px] = img[(size_t)j * w + i];
        }
    return bg;
}

} // namespace

class SpriteDraw : public SpriteTest {
protected:
    GENSPRITE g_;
    SPRITE* s_ = nullptr;
    BITMAP bm_{};
    std::vector<uint8_t> bg_;
    void SetUp() override
    {
        SpriteTest::SetUp();
        Mkdata_DemoPalette(&g_PalInfo);
        Display_ApplyPalette();
        GenSprite_Pattern(SPRITE_REGULAR, 1, 1, 300, 9, &g_);
        s_ = WriteAndLoad("p.spr", g_);
        ASSERT_NE(s_, nullptr);
        ASSERT_EQ(Graph_InitBitmap(&bm_, 64, 24, nullptr), 1);
        bg_.resize(64 * 24);
        for (size_t i = 0; i < bg_.size(); i++) bg_[i] = (uint8_t)(100 + i % 37);
    }
    void TearDown() override
    {
        Graph_FreeBitmap(&bm_);
        SpriteTest::TearDown();
    }
    void Reset() { memcpy(bm_.data, bg_.data(), bg_.size()); }
    std::vector<uint8_t> Pixels() const
    {
        return std::vector<uint8_t>(bm_.data, bm_.data + 64 * 24);
    }
};

TEST_F(SpriteDraw, ClipsAtEveryEdgeAndToTheClipRectangle)
{
    std::vector<uint8_t> img(g_.pixels.begin(), g_.pixels.end());
    const GRECT clips[] = {{0, 0, 64, 24}, {5, 3, 20, 9}, {-10, -10, 30, 20}, {60, 20, 40, 40}};
    // Positions past the left, right, top and bottom edges, inside, and far away.
    const int pos[][2] = {{-250, 2}, {-3, -4},  {40, 20}, {-299, -8},
                          {63, 23},  {INT_MAX - 5, 0}, {INT_MIN, INT_MIN}};
    for (int c = -1; c < 4; c++) {
        const GRECT* clip = c < 0 ? nullptr : &clips[c];
        for (const auto& p : pos) {
            Reset();
            Graph_DrawRLE(&bm_, clip, 0, p[0], p[1], Sprite_GetFrame(s_, 0, 0), 300, 9, nullptr,
                          SPRITE_REGULAR, RENDER_OPAQUE);
            EXPECT_EQ(Pixels(), Composite(bg_, 64, 24, img, 300, 9, p[0], p[1], clip))
                << "clip " << c << " at " << p[0] << "," << p[1];
        }
    }
}

TEST_F(SpriteDraw, EachRenderModeUsesItsTable)
{
    GENSPRITE small;
    GenSprite_Pattern(SPRITE_REGULAR, 1, 1, 6, 5, &small);
    SPRITE* s = WriteAndLoad("s.spr", small);
    ASSERT_NE(s, nullptr);
    const uint8_t* remap = g_TeamRemap[3];
    auto Check = [&](int kind, int mode, auto expect) {
        Reset();
        Graph_DrawRLE(&bm_, nullptr, 0, 2, 1, Sprite_GetFrame(s, 0, 0), 6, 5, remap, kind, mode);
        for (int y = 0; y < 24; y++)
            for (int x = 0; x < 64; x++) {
                uint8_t under = bg_[(size_t)y * 64 + x];
                int inside = x >= 2 && x < 8 && y >= 1 && y < 6;
                uint8_t p = inside ? small.At(0, 0, x - 2, y - 1) : 0;
                uint8_t want = p ? expect(p, under) : under;
                ASSERT_EQ(bm_.data[(size_t)y * 64 + x], want) << "kind " << kind << " mode " << mode
                                                                << " at " << x << "," << y;
            }
    };
    Check(SPRITE_REGULAR, RENDER_OPAQUE, [&](uint8_t p, uint8_t) { return remap[p]; });
    Check(SPRITE_REGULAR, RENDER_TRANSLUCENT_B1,
          [&](uint8_t p, uint8_t u) { return g_BlendTables[3][remap[p]][u]; });
    Check(SPRITE_REGULAR, RENDER_HIDDEN, [&](uint8_t, uint8_t u) { return u; });
    // The highlight replaces the remap: a highlight remap with it doesn't brighten twice.
    auto highlighted = [&](uint8_t p, uint8_t) { return g_HighlightTable[p]; };
    Check(SPRITE_REGULAR, RENDER_HIGHLIGHT, highlighted);
    remap = g_HighlightTable;
    Check(SPRITE_REGULAR, RENDER_HIGHLIGHT, highlighted);
    remap = g_TeamRemap[3];
    Check(SPRITE_REGULAR, RENDER_LIGHT,
          [&](uint8_t p, uint8_t u) { return g_ShadeTable[128 + 2 * g_GreyRemap[remap[p]]][u]; });
    // Shadows and lights draw as their kind in every mode but the hidden one.
    Check(SPRITE_SHADOW, RENDER_HIGHLIGHT,
          [&](uint8_t, uint8_t u) { return g_ShadeTable[SPRITE_SHADOW_SHADE][u]; });
    Check(SPRITE_LIGHT, RENDER_GHOST, [&](uint8_t p, uint8_t u) { return g_ShadeTable[128 + p / 2][u]; });
    Check(SPRITE_SHADOW, RENDER_HIDDEN, [&](uint8_t, uint8_t u) { return u; });
    // A null remap is the identity.
    remap = nullptr;
    Check(SPRITE_REGULAR, RENDER_OPAQUE, [&](uint8_t p, uint8_t) { return p; });
    Sprite_Free(s);
}

// Team remaps that change at most 16 neighbouring colours go sixteen pixels
// at a time; the picture must be the table-by-pixel one for random sprites
// (every colour, runs of any length), tables (windows at any base including
// the palette's end, wider changes, the identity), positions and clips, and
// for a table rewritten in place between two draws.
TEST_F(SpriteDraw, RemapsSixteenAtATimeDrawWhatTheTableDrawsPixelByPixel)
{
    uint32_t r = 31337;
    auto next = [&r](int n) {
        r = r * 1664525u + 1013904223u;
        return (int)((r >> 8) % (uint32_t)n);
    };
    std::vector<SPRITE*> sprites;
    std::vector<std::pair<int, int>> sizes;
    for (int k = 0; k < 6; k++) {
        GENSPRITE g;
        const int w = 1 + next(90), h = 1 + next(20);
        GenSprite_Pattern(SPRITE_REGULAR, 1, 1, w, h, &g);
        for (uint8_t& px : g.pixels) px = next(10) < 3 ? 0 : (uint8_t)next(256);
        SPRITE* sp = WriteAndLoad("r" + std::to_string(k) + ".spr", g);
        ASSERT_NE(sp, nullptr);
        sprites.push_back(sp);
        sizes.push_back({w, h});
    }
    uint8_t table[256];
    auto draw = [&](int vector, int k, int x, int y, const GRECT* clip) {
        const int was = Graph_SetVectorRemap(vector);
        Reset();
        Graph_DrawRLE(&bm_, clip, 0, x, y, Sprite_GetFrame(sprites[(size_t)k], 0, 0), sizes[(size_t)k].first,
                      sizes[(size_t)k].second, table, SPRITE_REGULAR, RENDER_OPAQUE);
        Graph_SetVectorRemap(was);
        return Pixels();
    };
    for (int round = 0; round < 300; round++) {
        for (int i = 0; i < 256; i++) table[i] = (uint8_t)i;
        const int shape = next(4);
        if (shape < 2) {
            const int base = next(256), changed = 1 + next(16);
            for (int c = 0; c < changed; c++) {
                const int i = std::min(255, base + next(16));
                table[i] = (uint8_t)next(256);
            }
        } else if (shape == 2) {
            for (int i = 0; i < 256; i++) table[i] = (uint8_t)next(256);
        }
        const int k = next((int)sprites.size());
        const int x = next(64 + 100) - 90, y = next(24 + 20) - 20;
        const GRECT clip{next(40) - 5, next(20) - 5, 1 + next(64), 1 + next(24)};
        const GRECT* c = next(2) ? &clip : nullptr;
        ASSERT_EQ(draw(1, k, x, y, c), draw(0, k, x, y, c)) << "round " << round << " shape " << shape;
        // The same table rewritten in place: its new contents count.
        table[32 + next(10)] ^= 0x5A;
        ASSERT_EQ(draw(1, k, x, y, c), draw(0, k, x, y, c)) << "round " << round << " rewritten";
    }
    for (SPRITE* sp : sprites) Sprite_Free(sp);
}

using SpriteQueries = SpriteTest;

TEST_F(SpriteQueries, MissingHotSpotIsTheCentreMissingSectionTheDefaultAndBadImagesAsserted)
{
    GENSPRITE g;
    GenSprite_Pattern(SPRITE_REGULAR, 3, 1, 9, 7, &g);
    SPRITE* s = WriteAndLoad("q.spr", g);
    ASSERT_NE(s, nullptr);
    int x = -1, y = -1;
    // The pattern's second hot spot has z = -image; a missing one is the centre, z 1.
    int z = Sprite_GetHotspotXY(s, 1, 2, 0, &x, &y);
    EXPECT_EQ(std::tuple(x, y, z), std::tuple(11, -1, -2));
    z = Sprite_GetHotspotXY(s, 2, 1, 0, &x, &y);
    EXPECT_EQ(std::tuple(x, y, z), std::tuple(4, 3, 1));
    auto section = [&](int n) {
        SPRITE_SECTION i = Sprite_GetSectionInfo(s, n);
        return std::tuple(i.first, i.last, i.speed, i.extra);
    };
    EXPECT_EQ(section(5), std::tuple(1, 2, 0x20000, -3));
    for (int n : {4, -1}) EXPECT_EQ(section(n), std::tuple(0, 0, 0x10000, 0)) << n;
    QV_EXPECT_FATAL(Sprite_GetHotspotXY(s, 0, 3, 0, &x, &y), "ASSERT (f>=0 && f < sprite->fsize)");
    Sprite_Free(s);
}

// Sprites are looked up in data/graphics, then in data2/graphics.
class SpriteLookup : public SpriteTest {
protected:
    void SetUp() override { Game_SetDirectories(dir_.path().c_str(), "data", "data2", "save", "scenario"); }
    void Put(const std::string& name, int frames, int w)
    {
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, frames, 1, w, 4, &g);
        dir_.write(name, Encode(g));
    }
};

TEST_F(SpriteLookup, FindSharesOneCountedSpritePerNameAndFreeAllReportsTheHeld)
{
    Put("data/graphics/tank.spr", 2, 5);
    Put("data2/graphics/tree.spr", 3, 5);
    Put("data2/graphics/tank.spr", 4, 5);
    SPRITE* a = Textfile_FindSprite("TANK.SPR");
    ASSERT_NE(a, nullptr) << Log();
    EXPECT_EQ(Sprite_NrFrames(a), 2); // the first data directory wins
    EXPECT_EQ(Textfile_FindSprite("tank.spr"), a);
    SPRITE* t = Textfile_FindSprite("Tree.Spr"); // only in the second one
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Textfile_FindSprite("rock.spr"), nullptr);
    EXPECT_NE(Log().find("Sprite [rock.spr] not found"), std::string::npos);
    Sprite_Free(a);
    Sprite_Free(t);
    EXPECT_EQ(Sprite_Count(), 1); // the tank's second reference holds it
    Sprite_FreeAll();
    EXPECT_EQ(g_SpriteList, nullptr);
    EXPECT_NE(Log().find("Sprite [TANK.SPR] freed with 1 references left"), std::string::npos);
}

TEST_F(SpriteLookup, ReloadReplacesTheContentsAtTheSameAddressOrIsFatal)
{
    Put("data/graphics/tank.spr", 2, 5);
    SPRITE* a = Textfile_FindSprite("tank.spr");
    SPRITE* b = Textfile_FindSprite("tank.spr");
    ASSERT_NE(a, nullptr);
    GENSPRITE g;
    GenSprite_Pattern(SPRITE_SHADOW, 2, 1, 5, 4, &g);
    g.At(1, 0, 2, 2) = 77;
    dir_.write("data/graphics/tank.spr", Encode(g));
    Textfile_ReloadSprite(a);
    EXPECT_TRUE(a == b && a->refcount == 2 && Sprite_GetKind(a) == SPRITE_SHADOW);
    EXPECT_EQ(DecodeRle(Sprite_GetFrame(a, 1, 0), 5, 4)[2 * 5 + 2], 77);

    // Another size or frame count, or no file, is fatal and changes nothing.
    Put("data/graphics/tank.spr", 3, 5);
    QV_EXPECT_FATAL(Textfile_ReloadSprite(a),
                    "Incompatible sprites [tank.spr] and [" + dir_.file("data/graphics/tank.spr") + "]");
    remove(dir_.file("data/graphics/tank.spr").c_str());
    QV_EXPECT_FATAL(Textfile_ReloadSprite(a), "Unable to reload [tank.spr]");
    EXPECT_EQ(std::tuple(Sprite_GetWidth(a), Sprite_NrFrames(a), Sprite_Count()),
              std::tuple(5, 2, 1));

    // A sprite loaded by path reloads from that path.
    Put("own.spr", 1, 5);
    SPRITE* own = Sprite_Load(dir_.file("own.spr").c_str());
    ASSERT_NE(own, nullptr);
    Textfile_ReloadSprite(own);
    remove(dir_.file("own.spr").c_str());
    QV_EXPECT_FATAL(Textfile_ReloadSprite(own), "Unable to reload [" + dir_.file("own.spr") + "]");
}
