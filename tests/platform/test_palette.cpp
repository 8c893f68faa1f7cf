// The palette, the colour match, the colour tables, the flashing entries and
// the palette information file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "gen_palette.h"
#include "platform/palette.h"
#include "support/testsupport.h"

namespace {

// The nearest candidate by brute force: what Graph_ColourMatch must agree with.
int BruteNearest(int r, int g, int b)
{
    int best = -1;
    long bestd = 0;
    for (int i = 1; i < 256; i++) {
        if (i >= PAL_FLASH_FIRST && i < PAL_FLASH_FIRST + PAL_FLASH_COUNT) continue;
        long dr = g_Palette[i].r - r, dg = g_Palette[i].g - g, db = g_Palette[i].b - b;
        long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < bestd) best = i, bestd = d;
    }
    return best;
}

int Expand5(int c5) { return (c5 * 255 + 15) / 31; }

void UseDemoPalette()
{
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
}

} // namespace

TEST(PaletteEntries, SixBitAndFourByteSettersScaleAndStayInRange)
{
    uint8_t rgb6[3] = {0xFF, 64, 32};
    uint32_t v = g_PaletteVersion;
    Graph_SetPalette(rgb6, 100, 1);
    EXPECT_EQ(g_PaletteVersion, v + 1);
    // Scaled by 4; only the low 6 bits count.
    EXPECT_EQ((std::vector<int>{g_Palette[100].r, g_Palette[100].g, g_Palette[100].b}),
              (std::vector<int>{252, 0, 128}));

    // Entries past 255 or before 0 are skipped, not written beyond the palette.
    uint8_t four[4 * 10];
    for (int i = 0; i < 40; i++) four[i] = (uint8_t)(i + 1);
    Video_SetPalette(four, 250, 10);
    EXPECT_EQ(g_Palette[255].r, 21);
    Video_SetPalette(four, -2, 3);
    EXPECT_EQ((std::vector<int>{g_Palette[0].r, g_Palette[0].g, g_Palette[0].b}),
              (std::vector<int>{9, 10, 11}));

    uint8_t back[6 * 3];
    memset(back, 0xEE, sizeof back);
    Graph_GetPalette(back, 253, 6);
    EXPECT_EQ(std::pair(back[8], back[9]), std::pair(g_Palette[255].b, (uint8_t)0xEE)); // none past 255
}

class ColourMatch : public testing::Test {
protected:
    void SetUp() override { UseDemoPalette(); }
};
using ColourTables = ColourMatch;

// The brute force leaves out the transparent and the flashing entries, so
// agreeing with it over every colour also shows that those are never picked.
// Checked on the demo palette, after flashing, and after a change that adds a
// colour and a duplicate (ties go to the lower index).
TEST_F(ColourMatch, AgreesWithBruteForceOverEveryColourAndFollowsChanges)
{
    for (int state = 0; state < 3; state++) {
        if (state == 1)
            for (uint32_t f = 0; f < 40; f++) Display_CycleFlashColours(f);
        if (state == 2) {
            uint8_t entries[2 * 4] = {(uint8_t)Expand5(12), (uint8_t)Expand5(12), (uint8_t)Expand5(12), 0,
                                      g_Palette[60].r, g_Palette[60].g, g_Palette[60].b, 0};
            Video_SetPalette(entries, 250, 2);
        }
        for (int c = 0; c < 32768; c++) {
            int want = BruteNearest(Expand5(c >> 10), Expand5((c >> 5) & 31), Expand5(c & 31));
            ASSERT_EQ(Graph_ColourMatch((uint16_t)c), want) << "colour " << c << " in state " << state;
        }
    }
    EXPECT_EQ(Graph_ColourMatch(0x8000), Graph_ColourMatch(0)); // bit 15 ignored
}

TEST_F(ColourTables, TeamRemapsMoveOnlyTheTeamRangeAndCapAt255)
{
    g_PalInfo.teamcolour[3] = 3;
    g_PalInfo.teamcolour[7] = 30; // 32 + 240 and beyond caps at 255
    Display_BuildTeamRemaps();
    const int rows[][3] = {{3, 31, 31}, {3, 41, 65}, {3, 42, 42}, {7, 32, 255}};
    for (const auto& r : rows) EXPECT_EQ(g_TeamRemap[r[0]][r[1]], r[2]) << r[0] << " " << r[1];
}

TEST_F(ColourTables, TablesKeepTransparencyAndMoveBrightnessTheRightWay)
{
    auto lum = [](int i) {
        return 30 * g_Palette[i].r + 59 * g_Palette[i].g + 11 * g_Palette[i].b;
    };
    int transparent =
        g_TranslucentTable[0] + g_HighlightTable[0] + g_DimTable[0] + g_TitleTextTable[0];
    for (int s = 0; s < 256; s++) transparent += g_ShadeTable[s][0];
    EXPECT_EQ(transparent, 0);
    for (int i = 1; i < 256; i++) {
        EXPECT_EQ(g_ShadeTable[128][i], i);
        EXPECT_NE(g_DimTable[i], 0);
        // Matching quantises, so allow a small step the wrong way.
        if (lum(i) > 2000) {
            EXPECT_LT(lum(g_DimTable[i]), lum(i)) << i;
        }
        EXPECT_GE(lum(g_HighlightTable[i]) + 1500, lum(i)) << i;
    }
    // White dims to the mid grey and the title ramp turns it gold.
    EXPECT_EQ(g_DimTable[MKPAL_WHITE], Graph_ColourMatch(Graph_Rgb15(127, 127, 127)));
    const PAL_RGB& gold = g_Palette[g_TitleTextTable[MKPAL_WHITE]];
    EXPECT_GT(gold.r, gold.b + 100);
}

TEST_F(ColourTables, BlendLevelsMoveFromDestinationTowardsSource)
{
    const int white = MKPAL_WHITE, black = 1; // 1 is the darkest grey
    // White over black brightens level by level, from a fifth to four fifths.
    int prev = g_Palette[black].r;
    for (int l = 0; l < BLEND_LEVELS; l++) {
        const int r = g_Palette[g_BlendTables[l][white][black]].r;
        EXPECT_GT(r, prev) << "level " << l;
        prev = r;
    }
    EXPECT_LT(g_Palette[g_BlendTables[0][white][black]].r, 90);
    EXPECT_GT(prev, 180);
    // A colour over itself stays itself at every level.
    for (int l = 0; l < BLEND_LEVELS; l++)
        for (int i : {MKPAL_TEAMS + 5, MKPAL_TERRAIN + 40, (int)MKPAL_WHITE})
            EXPECT_EQ(g_BlendTables[l][i][i], i);
}

TEST(FlashColours, PairsSwapEveryEightFramesAndBumpOnlyOnChange)
{
    UseDemoPalette();
    Display_SetFlashColours();
    auto bright = [](int i) { return g_Palette[i].r + g_Palette[i].g + g_Palette[i].b; };

    uint8_t blend[256];
    memcpy(blend, g_BlendTables[2][40], 256);
    uint32_t v = g_PaletteVersion;
    // Frame, palette uploads since the start, whether the first of each pair is the bright one.
    const int frames[][3] = {{0, 0, 1}, {7, 0, 1}, {8, 1, 0}, {15, 1, 0}, {16, 2, 1}};
    for (const auto& r : frames) {
        Display_CycleFlashColours((uint32_t)r[0]);
        EXPECT_EQ(g_PaletteVersion, v + r[1]) << "frame " << r[0];
        for (int p = 16; p < 22; p += 2) EXPECT_EQ(bright(p) > bright(p + 1), r[2] == 1) << r[0];
    }
    EXPECT_EQ(memcmp(blend, g_BlendTables[2][40], 256), 0);
}

class PalsFile : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log;
    PALINFO demo;
    void SetUp() override
    {
        Mkdata_DemoPalette(&demo);
        for (int t = 0; t < 8; t++) demo.teamcolour[t] = (uint8_t)(t * 3 + 1);
    }
    std::string Log() const { return log.text(); }
    std::string Good()
    {
        EXPECT_EQ(Palstuff_Write(dir.file("good.pal").c_str(), &demo), 1);
        return dir.read("good.pal");
    }
    // Loads bytes from a file; g_PalInfo must be unchanged when refused.
    int Load(const std::string& bytes)
    {
        log.clear();
        dir.write("bad.pal", bytes);
        return Palstuff_LoadInfo(dir.file("bad.pal").c_str());
    }
};

TEST_F(PalsFile, WriteThenReadGivesTheSameInformation)
{
    std::string bytes = Good();
    EXPECT_EQ(bytes.substr(0, 8), std::string("PALS\x00\x01\x00\x00", 8));
    memset(&g_PalInfo, 0, sizeof g_PalInfo);
    ASSERT_EQ(Palstuff_LoadInfo(dir.file("good.pal").c_str()), 1);
    EXPECT_EQ(memcmp(g_PalInfo.colours, demo.colours, sizeof demo.colours), 0);
    EXPECT_EQ(memcmp(g_PalInfo.teamcolour, demo.teamcolour, 8), 0);

    Display_ApplyPalette();
    EXPECT_EQ(g_Palette[200].g, demo.colours[200].g);
    EXPECT_EQ(g_TeamRemap[2][33], 33 + 8 * 7);
}

TEST_F(PalsFile, RefusesBrokenFilesNamingTheOffsetAndKeepsTheInformation)
{
    std::string bytes = Good(), magic = bytes, version = bytes;
    magic[0] = 'p';
    version[5] = 2;
    PALINFO kept;
    Mkdata_DemoPalette(&kept);
    g_PalInfo = kept;
    const struct {
        std::string bytes;
        std::string logged;
    } cases[] = {
        {magic, "at offset 0: expected the magic PALS"},
        {version, "at offset 4: expected version 0x100"},
        {bytes + "x", "at offset 784"},
        {bytes.substr(0, 0), "at offset 0"},
        {bytes.substr(0, 783), "at offset 783"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.bytes), 0) << c.logged;
        EXPECT_NE(Log().find("[" + dir.file("bad.pal") + "]"), std::string::npos) << Log();
        EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
    }
    EXPECT_EQ(memcmp(&g_PalInfo, &kept, sizeof kept), 0);
    EXPECT_EQ(Palstuff_LoadInfo(dir.file("missing.pal").c_str()), 0);
    EXPECT_NE(Log().find("missing.pal"), std::string::npos);
}

TEST_F(PalsFile, FailedWriteKeepsThePreviousFile)
{
    std::string before = Good();
    PALINFO other = demo;
    other.colours[9].r ^= 0xFF;
    EXPECT_EQ(Palstuff_Write(dir.file("nodir/x.pal").c_str(), &other), 0);
    // The temporary file can't be made when a directory holds its name.
    dir.write("good.pal.tmp" + std::to_string((long)getpid()) + "/blocker", "x");
    EXPECT_EQ(Palstuff_Write(dir.file("good.pal").c_str(), &other), 0);
    EXPECT_EQ(dir.read("good.pal"), before);
    EXPECT_NE(Log().find("Unable to write to file"), std::string::npos);
}
