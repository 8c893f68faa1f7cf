// Fonts: loading the marker-row images, text widths with the inline codes,
// and drawing clipped, cut at a width and through a remap table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "gen_palette.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/pcx.h"
#include "support/testsupport.h"

namespace {

// A synthetic font: cells for characters 32 .. 32 + count - 1. Character c's
// cell is WidthOf(c, style) columns wide and filled with InkOf(c) except its
// top-left pixel (a hole, to see transparency); the space is blank.
int WidthOf(int c, int style) { return c == ' ' ? 3 : 1 + (c + style) % 4; }
uint8_t InkOf(int c) { return (uint8_t)(1 + c % 7); }

struct FontImage {
    int count = 95;
    int height = 5;
    int style = 0;
    uint8_t marker = 9;
};

std::vector<uint8_t> Strip(const FontImage& f, int* w)
{
    *w = 0;
    for (int i = 0; i < f.count; i++) *w += WidthOf(32 + i, f.style) + 1;
    std::vector<uint8_t> px((size_t)*w * f.height, 0);
    int x = 0;
    for (int i = 0; i < f.count; i++) {
        int c = 32 + i, cw = WidthOf(c, f.style);
        for (int k = 0; k < cw; k++) {
            px[x + k] = f.marker;
            for (int y = 1; y < f.height; y++)
                if (c != ' ' && !(k == 0 && y == 1)) px[(size_t)y * *w + x + k] = InkOf(c);
        }
        x += cw + 1;
    }
    return px;
}

std::string SaveImage(const QvTempDir& dir, const std::string& name, std::vector<uint8_t> px, int w,
                      int h)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    BITMAP b;
    EXPECT_EQ(Graph_InitBitmap(&b, w, h, px.data()), 1);
    std::string path = dir.file(name);
    EXPECT_EQ(Graph_SavePCX(path.c_str(), &b, pal.colours), 1);
    return path;
}

std::string SaveFont(const QvTempDir& dir, const std::string& name, const FontImage& f)
{
    int w;
    std::vector<uint8_t> px = Strip(f, &w);
    return SaveImage(dir, name, px, w, f.height);
}

// Bytes the synthetic font takes in the work buffer.
int FontBytes(const FontImage& f)
{
    int sum = 0;
    for (int i = 0; i < f.count; i++) sum += WidthOf(32 + i, f.style);
    return sum * (f.height - 1);
}

struct Screen {
    BITMAP b{};
    Screen(int w, int h, uint8_t fill)
    {
        Graph_InitBitmap(&b, w, h, nullptr);
        Graph_ClearBitmap(&b, fill);
    }
    ~Screen() { Graph_FreeBitmap(&b); }
    uint8_t At(int x, int y) const { return b.data[y * b.x_size + x]; }
};

class FontTest : public testing::Test {
protected:
    QvTempDir dir_;
    void SetUp() override { Font_Init(1 << 16); }
    void TearDown() override { Font_Close(); }
    // A work buffer of another size.
    void Restart(int bufsize)
    {
        Font_Close();
        Font_Init(bufsize);
    }
    std::string Load(const std::string& name, const FontImage& f, int slot)
    {
        std::string path = SaveFont(dir_, name, f);
        EXPECT_EQ(Font_Load(path.c_str(), slot), 1) << name;
        return path;
    }
};

// Slot 0 and slot 1 hold two synthetic fonts of other widths and heights.
class FontTwoSlots : public FontTest {
protected:
    void SetUp() override
    {
        FontTest::SetUp();
        Load("zero.pcx", FontImage{}, 0);
        FontImage other;
        other.style = 1;
        other.height = 8;
        Load("one.pcx", other, 1);
        for (int i = 0; i < 256; i++) remap_[i] = (uint8_t)(i + 100);
    }
    int W0(int c) { return WidthOf(c, 0); }
    int W1(int c) { return WidthOf(c, 1); }
    uint8_t remap_[256];
};
using FontWidths = FontTwoSlots;
using FontPrint = FontTwoSlots;

TEST_F(FontWidths, TextWidthFollowsTheCellsAndTheInlineCodes)
{
    EXPECT_EQ(Font_GetHeight(1), 7);
    EXPECT_EQ(Font_CharWidth(5, 'A'), 0) << "an empty slot";
    // Control codes and everything past the font's last cell (126 here).
    for (int c : {9, 127, 233}) EXPECT_EQ(Font_CharWidth(0, c), W0(' ')) << c;
    const struct {
        const char* text;
        int slot, width;
    } rows[] = {
        {"ABC d", 1, W1('A') + W1('B') + W1('C') + W1(' ') + W1('d')},
        {"A\xe9" "B", 0, W0('A') + W0(' ') + W0('B')},
        // A bar and a digit switch the font for the rest of the text; an
        // empty slot keeps the current font; without a digit it is a character.
        {"A|1A|0B", 0, W0('A') + W1('A') + W0('B')},
        {"|1", 0, 0},
        {"A|7B", 1, W1('A') + W1('B')},
        {"A|", 0, W0('A') + W0('|')},
        // A tilde and up to three digits move the pen; the furthest position counts.
        {"~20A", 0, 20 + W0('A')},
        {"AAAAAA~2B", 0, std::max(6 * W0('A'), 2 + W0('B'))},
        {"~1234", 0, 123 + W0('4')},
        {"~x", 0, W0('~') + W0('x')},
        // An empty slot measures nothing until a switch to a loaded font.
        {"AB|0C", 5, W0('C')},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Font_StringWidth(row.text, row.slot), row.width)
            << "[" << row.text << "] from slot " << row.slot;
}

// The ink is the remap's, else the colour given, else the glyph's own; a remap
// may draw index 0 itself: only the glyph's own 0 is transparent.
TEST_F(FontPrint, DrawsEachGlyphFromTheTopLeftInItsColour)
{
    uint8_t toblack[256] = {};
    const struct {
        const uint8_t* remap;
        int colour;
    } rows[] = {{nullptr, 0}, {nullptr, 17}, {remap_, 17}, {toblack, 0}};
    const int wa = WidthOf('A', 0), wb = WidthOf('B', 0);
    for (const auto& r : rows) {
        auto ink = [&](int c) { return r.remap ? r.remap[InkOf(c)] : r.colour ? r.colour : InkOf(c); };
        Screen s(40, 10, 200);
        EXPECT_EQ(Font_Print(3, 2, "AB", 0, 0, r.remap, nullptr, &s.b, r.colour), 3 + wa + wb);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 40; x++) {
                int want = 200, gy = y - 2;
                if (gy >= 0 && gy < 4) {
                    if (x >= 3 && x < 3 + wa && !(x == 3 && gy == 0)) want = ink('A');
                    if (x >= 3 + wa && x < 3 + wa + wb && !(x == 3 + wa && gy == 0)) want = ink('B');
                }
                ASSERT_EQ(s.At(x, y), want) << "at " << x << "," << y << " in colour " << r.colour;
            }
    }
}

TEST_F(FontPrint, WidthCutsBeforeTheFirstCharacterThatWouldCrossIt)
{
    int wa = WidthOf('A', 0), wb = WidthOf('B', 0);
    Screen s(40, 6, 0);
    EXPECT_EQ(Font_Print(1, 0, "ABC", wa + wb, 0, nullptr, nullptr, &s.b), 1 + wa + wb);
    EXPECT_EQ(s.At(1 + wa + 1, 1), InkOf('B'));
    for (int x = 1 + wa + wb; x < 40; x++) EXPECT_EQ(s.At(x, 1), 0) << x;

    Screen t(40, 6, 0);
    EXPECT_EQ(Font_Print(1, 0, "ABC", wa + wb - 1, 0, nullptr, nullptr, &t.b), 1 + wa);
    // Nothing after the cut, even where a column move would come back.
    Screen v(40, 6, 0);
    Font_Print(0, 0, "BBBBBB~0A", wa, 0, nullptr, nullptr, &v.b);
    EXPECT_EQ(v.At(1, 1), 0);
}

// Every clipped drawing is the unclipped drawing seen through the clip
// rectangle and the bitmap: compared pixel by pixel against a drawing into a
// bitmap large enough to hold the whole text.
TEST_F(FontPrint, ClippedAtEveryEdgeOfTheBitmapAndTheClipRectangle)
{
    const char* text = "AB|1CD~30E";
    const int W = 24, H = 8, M = 40; // reference margin around the target
    Screen ref(W + 2 * M, H + 2 * M, 0);
    struct Case {
        int x, y;
        bool clip;
        GRECT r;
    };
    const Case cases[] = {
        {-5, 2, false, {}}, {18, 2, false, {}}, {3, -2, false, {}}, {3, 6, false, {}},
        {2, 1, true, {4, 2, 9, 2}}, {-3, -1, true, {-10, -10, 12, 5}}, {2, 1, true, {5, 5, 0, 3}},
    };
    for (const Case& c : cases) {
        Graph_ClearBitmap(&ref.b, 0);
        Font_Print(M + c.x, M + c.y, text, 0, 0, remap_, nullptr, &ref.b);
        Screen s(W, H, 1);
        Font_Print(c.x, c.y, text, 0, 0, remap_, c.clip ? &c.r : nullptr, &s.b);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                bool inside = !c.clip || (x >= c.r.x && x < c.r.x + c.r.w && y >= c.r.y && y < c.r.y + c.r.h);
                uint8_t drawn = ref.At(M + x, M + y);
                uint8_t want = inside && drawn ? drawn : 1;
                ASSERT_EQ(s.At(x, y), want) << "text at " << c.x << "," << c.y << ", pixel " << x << "," << y;
            }
    }
}

class FontLoad : public FontTest {
protected:
    QvLogCapture log_;
    // Loading path into slot 0 fails, the font there is untouched, and the
    // log names the file and the reason.
    void ExpectRefused(const std::string& path, const char* reason)
    {
        int height = Font_GetHeight(0), width = Font_StringWidth("ABC", 0);
        EXPECT_EQ(Font_Load(path.c_str(), 0), 0) << path;
        EXPECT_EQ(Font_GetHeight(0), height);
        EXPECT_EQ(Font_StringWidth("ABC", 0), width);
        std::string log = log_.text();
        EXPECT_NE(log.find("Font file [" + path + "]"), std::string::npos) << log;
        EXPECT_NE(log.find(reason), std::string::npos) << log;
    }
};

// Each limit of the layout is accepted and refused one past it; a refused
// image keeps the slot's font.
TEST_F(FontLoad, LimitsOfTheLayoutAreAcceptedAndBrokenImagesRefused)
{
    Load("good.pcx", FontImage{}, 0);
    int w;
    FontImage f;
    std::vector<uint8_t> px = Strip(f, &w);
    px[0] = 0;
    ExpectRefused(SaveImage(dir_, "nomarker.pcx", px, w, f.height), "no marker at column 0");

    ExpectRefused(SaveImage(dir_, "flat.pcx", std::vector<uint8_t>(50, 9), 50, 1), "height 1");

    FontImage many;
    many.count = 225;
    ExpectRefused(SaveFont(dir_, "many.pcx", many), "more than 224 character cells");

    std::vector<uint8_t> wide(256 * 2, 9);
    ExpectRefused(SaveImage(dir_, "wide.pcx", wide, 256, 2), "wider than 255");

    FontImage all;
    all.count = 224;
    Load("all.pcx", all, 2);
    EXPECT_EQ(Font_CharWidth(2, 255), WidthOf(255, 0));

    std::vector<uint8_t> one(255 * 2, 9);
    std::string path = SaveImage(dir_, "one.pcx", one, 255, 2);
    EXPECT_EQ(Font_Load(path.c_str(), 3), 1);
    EXPECT_EQ(Font_CharWidth(3, ' '), 255);
    EXPECT_EQ(Font_CharWidth(3, 'A'), 255) << "no glyph: the space's width";
    EXPECT_EQ(Font_GetHeight(3), 1);
}

TEST_F(FontLoad, WorkBufferBoundsTheFontsAndUnloadingGivesSpaceBack)
{
    FontImage a, b, c;
    b.style = 1;
    c.style = 2;
    c.height = 4;
    Restart(FontBytes(a) + FontBytes(b));
    Load("a.pcx", a, 0);
    Load("b.pcx", b, 1);
    Screen before(400, 6, 0);
    Font_Print(0, 0, "The quick brown fox", 0, 1, nullptr, nullptr, &before.b);

    std::string cpath = SaveFont(dir_, "c.pcx", c);
    EXPECT_EQ(Font_Load(cpath.c_str(), 2), 0);
    EXPECT_NE(log_.text().find("of the font buffer"), std::string::npos);
    EXPECT_FALSE(Font_IsLoaded(2));

    Font_Unload(0);
    EXPECT_FALSE(Font_IsLoaded(0));
    EXPECT_EQ(Font_Load(cpath.c_str(), 2), 1);
    // The font that moved down in the buffer still draws the same.
    Screen after(400, 6, 0);
    Font_Print(0, 0, "The quick brown fox", 0, 1, nullptr, nullptr, &after.b);
    EXPECT_EQ(memcmp(before.b.data, after.b.data, 400 * 6), 0);
    // Loading a slot again counts the space of the font it replaces.
    Load("b.pcx", b, 1);
}

TEST_F(FontLoad, SlotOutOfRangeIsAsserted)
{
    QV_EXPECT_FATAL(Font_Load("x.pcx", 16), "ASSERT (slot >= 0 && slot < FONT_SLOTS)");
}

} // namespace
