// The multiplayer summary file: what the writer computes and the bytes it
// writes, and the readers' refusals of files they can't trust.
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "multi/mmsummary.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "support/testsupport.h"
#include "units/team.h"

namespace {

std::string Summary(int w, int h, uint8_t fill = 7)
{
    std::string s(MM_SUMMARY_HEAD_BYTES + (size_t)w * h, (char)fill);
    memset(&s[0], 0, MM_SUMMARY_RECORD_BYTES);
    Bytes_PutU32((uint8_t*)&s[MM_SUMMARY_RECORD_BYTES], (uint32_t)w);
    Bytes_PutU32((uint8_t*)&s[MM_SUMMARY_RECORD_BYTES + 4], (uint32_t)h);
    return s;
}

class MmSummary : public ::testing::Test {
protected:
    QvTempDir dir;
    TEAM_DATA saved[TEAM_MAXTEAMS];
    int savedX = 0, savedY = 0;
    void SetUp() override
    {
        memcpy(saved, teamdata, sizeof saved);
        savedX = mapsizex;
        savedY = mapsizey;
        memset(&g_MultiScenario, 0, sizeof g_MultiScenario);
        for (TEAM_DATA& t : teamdata) {
            t.startpos.x = t.startpos.y = 0;
            t.credits = 0;
        }
    }
    void TearDown() override
    {
        memcpy(teamdata, saved, sizeof saved);
        mapsizex = savedX;
        mapsizey = savedY;
        Mm_FreeMinimap();
    }
    // Saves with a picture of w x h and returns the file's bytes.
    std::string Save(int w, int h)
    {
        BITMAP pic{};
        EXPECT_TRUE(Graph_InitBitmap(&pic, w, h, nullptr));
        const std::string path = dir.file("QUORVEX.mm");
        EXPECT_EQ(Mm_Save(path.c_str(), &pic), 1);
        Graph_FreeBitmap(&pic);
        return dir.read("QUORVEX.mm");
    }
};

TEST_F(MmSummary, ThumbnailSidesComeFromTheExactProducts)
{
    struct ROW {
        const char* name;
        int w, h, tw, th;
    } rows[] = {
        {"wide", 64, 32, 128, 64}, {"large", 200, 200, 128, 128}, {"forty-nine", 49, 49, 127, 127},
        {"exact", 128, 128, 128, 128}, {"map of 100", 100, 100, 128, 128}, {"one pixel", 1, 1, 128, 128},
    };
    for (const ROW& r : rows) {
        int w = 0, h = 0;
        Mm_ThumbnailSize(r.w, r.h, &w, &h);
        EXPECT_EQ(w, r.tw) << r.name;
        EXPECT_EQ(h, r.th) << r.name;
    }
}

TEST_F(MmSummary, AWrittenFileHoldsItsFieldsWhereTheTableSays)
{
    mapsizex = 100;
    mapsizey = 60;
    snprintf(g_TerrainName, sizeof g_TerrainName, "%s", "desert");
    teamdata[3].startpos.x = 10 * 24 + 12; // the middle of tile (10, 20)
    teamdata[3].startpos.y = 20 * 24 + 12;
    teamdata[3].credits = 4500;
    teamdata[3].group = 2;
    teamdata[3].relation[5] = 4;
    g_MultiScenario.teams[8].units = 77; // carried over from an earlier load
    const std::string f = Save(100, 100);
    ASSERT_EQ(f.size(), (size_t)MM_SUMMARY_HEAD_BYTES + 128 * 128);
    const uint8_t* b = (const uint8_t*)f.data();
    EXPECT_EQ(Bytes_U32(b + 0), 100u);
    EXPECT_EQ(Bytes_U32(b + 4), 60u);
    EXPECT_STREQ((const char*)b + 8, "desert");
    EXPECT_EQ(b[8 + 15], 0) << "the name's field is cleared before the copy";
    // Nobody owns anything: nobody counted, no lowest credits.
    EXPECT_EQ(Bytes_U32(b + 24), (uint32_t)MM_SUMMARY_NO_CREDITS);
    EXPECT_EQ(Bytes_U32(b + 28), 0u);
    const uint8_t* t3 = b + 32 + 3 * MM_SUMMARY_TEAM_BYTES;
    EXPECT_EQ(Bytes_U32(t3 + 8), 13u);
    EXPECT_EQ(Bytes_U32(t3 + 12), 26u);
    EXPECT_EQ(Bytes_U32(t3 + 16), 4500u);
    EXPECT_EQ(Bytes_U32(t3 + 20), 2u);
    EXPECT_EQ(Bytes_U32(t3 + 24 + 5 * 4), 4u);
    EXPECT_EQ(Bytes_U32(b + 32 + 8 * MM_SUMMARY_TEAM_BYTES), 77u);
    EXPECT_EQ(Bytes_U32(b + 572), 128u);
    EXPECT_EQ(Bytes_U32(b + 576), 128u);
}

TEST_F(MmSummary, LoadAndBrowseReadWhatSaveWrote)
{
    mapsizex = 64;
    mapsizey = 32;
    teamdata[1].credits = 1234;
    const std::string f = Save(64, 32);
    const std::string path = dir.file("QUORVEX.mm");
    ASSERT_EQ(Mm_Load(path.c_str()), 1);
    EXPECT_EQ(g_MultiScenario.size_x, 64);
    EXPECT_EQ(g_MultiScenario.teams[1].credits, 1234);
    ASSERT_NE(MM_minimap.data, nullptr);
    EXPECT_EQ(MM_minimap.x_size, 128);
    EXPECT_EQ(MM_minimap.y_size, 64);
    MULTI_scenario browsed;
    ASSERT_EQ(Mm_Browse(&browsed, path.c_str()), 1);
    EXPECT_EQ(memcmp(&browsed, &g_MultiScenario, sizeof browsed), 0);
    // A second load replaces the thumbnail (the first one's pixels go).
    ASSERT_EQ(Mm_Load(path.c_str()), 1);
}

TEST_F(MmSummary, TheThumbnailIsGreyInThePaletteItIsDrawnWith)
{
    // Colours everywhere but a grey ramp at the top: the grey table's levels
    // must become those greys, not the colours at indices 0..63.
    const PALINFO saved = g_PalInfo;
    for (int i = 0; i < 256; i++) {
        const uint8_t c = (uint8_t)(i >= 192 ? 4 * (i - 192) : 0);
        g_PalInfo.colours[i] = i >= 192 ? PAL_RGB{c, c, c} : PAL_RGB{(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 7)};
    }
    Display_ApplyPalette();
    BITMAP pic{};
    ASSERT_TRUE(Graph_InitBitmap(&pic, 64, 64, nullptr));
    for (int p = 0; p < 64 * 64; p++) pic.data[p] = (uint8_t)(p * 37);
    const std::string path = dir.file("QUORVEX.mm");
    ASSERT_EQ(Mm_Save(path.c_str(), &pic), 1);
    Graph_FreeBitmap(&pic);
    ASSERT_EQ(Mm_Load(path.c_str()), 1);
    int greys = 0;
    for (int p = 0; p < MM_minimap.x_size * MM_minimap.y_size; p++) {
        const PAL_RGB& c = g_Palette[MM_minimap.data[p]];
        greys += c.r == c.g && c.g == c.b;
    }
    EXPECT_EQ(greys, MM_minimap.x_size * MM_minimap.y_size);
    g_PalInfo = saved;
    Display_ApplyPalette();
}

TEST_F(MmSummary, ReadersRefuseFilesTheyCannotTrust)
{
    struct ROW {
        const char* name;
        std::string bytes; // "" with write false: no file
        bool write;
        const char* logged;
    } rows[] = {
        {"missing", "", false, "Cannot open file"},
        {"short", Summary(4, 4).substr(0, 579), true, "at least 580"},
        {"no width", Summary(0, 4), true, "expected sides of 1..128"},
        {"too tall", Summary(4, 129), true, "expected sides of 1..128"},
        {"cut pixels", Summary(4, 4).substr(0, 590), true, "a 4 x 4 thumbnail makes 596"},
        {"extra bytes", Summary(4, 4) + "x", true, "a 4 x 4 thumbnail makes 596"},
    };
    for (const ROW& r : rows) {
        const std::string path = dir.file(std::string(r.name) + ".mm");
        if (r.write) dir.write(std::string(r.name) + ".mm", r.bytes);
        // A good load first: a refusal must not leave its record or pixels.
        dir.write("good.mm", Summary(2, 2));
        ASSERT_EQ(Mm_Load(dir.file("good.mm").c_str()), 1);
        QvLogCapture log;
        EXPECT_EQ(Mm_Load(path.c_str()), 0) << r.name;
        EXPECT_EQ(MM_minimap.data, nullptr) << r.name;
        EXPECT_EQ(g_MultiScenario.size_x, 0) << r.name;
        MULTI_scenario browsed;
        browsed.size_x = 5;
        EXPECT_EQ(Mm_Browse(&browsed, path.c_str()), 0) << r.name;
        EXPECT_EQ(browsed.size_x, 0) << r.name;
        EXPECT_NE(log.text().find(r.logged), std::string::npos) << r.name << ": " << log.text();
        EXPECT_NE(log.text().find(path), std::string::npos) << r.name << " names its file";
    }
}

TEST_F(MmSummary, AFailedSaveLeavesWhatWasThere)
{
    // A directory where the file should go: no rename replaces it, root or not.
    dir.write("QUORVEX.mm/keep", "old");
    const std::string path = dir.file("QUORVEX.mm");
    BITMAP pic{};
    ASSERT_TRUE(Graph_InitBitmap(&pic, 8, 8, nullptr));
    QvLogCapture log;
    EXPECT_EQ(Mm_Save(path.c_str(), &pic), 0);
    Graph_FreeBitmap(&pic);
    EXPECT_EQ(dir.read("QUORVEX.mm/keep"), "old");
    EXPECT_NE(log.text().find("Cannot create file " + path), std::string::npos);
}

TEST_F(MmSummary, TheMultiplayerMapsCarryTheirPlayers)
{
    struct ROW {
        const char* map;
        int players;
    } rows[] = {{"DUEL", 2}, {"QUAD", 4}, {"MELEE", 8}};
    for (const ROW& r : rows) {
        MULTI_scenario m;
        const std::string path = std::string(QV_TEST_RUNDIR "/scenario/MULTI/") + r.map + "/QUORVEX.mm";
        ASSERT_EQ(Mm_Browse(&m, path.c_str()), 1) << r.map;
        EXPECT_EQ(m.team_count, r.players) << r.map;
        EXPECT_EQ(m.size_x, 64) << r.map;
        EXPECT_STREQ(m.tileset, "DEMO") << r.map;
        EXPECT_EQ(m.base_credits, 2500) << r.map;
    }
}

} // namespace

namespace {

// A 2 x 2 summary whose record holds the given credits, team count and
// map sides.
std::string Record(int32_t credits, int32_t teams, int32_t w, int32_t h)
{
    std::string s = Summary(2, 2);
    uint8_t* p = (uint8_t*)&s[0];
    Bytes_PutU32(p + 0, (uint32_t)w);
    Bytes_PutU32(p + 4, (uint32_t)h);
    Bytes_PutU32(p + 24, (uint32_t)credits);
    Bytes_PutU32(p + 28, (uint32_t)teams);
    return s;
}

class PlayerViewMenusSummary : public MmSummary {};

} // namespace

// A negative credits value showed "-2147483" in the 8-character field and
// went out as 4292819813; nine digits were cut; team counts and sides were
// taken as they came.
TEST_F(PlayerViewMenusSummary, ValuesOutsideTheirRangesAreBroughtInWhenRead)
{
    struct ROW {
        const char* name;
        int32_t credits, teams, w, h;
        int32_t wantCredits, wantTeams, wantW, wantH;
        const char* logged; // null: no warning
    } rows[] = {
        {"in range", 12345, 4, 64, 96, 12345, 4, 64, 96, nullptr},
        {"negative credits", -2147483647, 2, 64, 64, 0, 2, 64, 64, "credits -2147483647 outside 0..99999999"},
        {"nine-digit credits", 123456789, 2, 64, 64, 99999999, 2, 64, 64, "credits 123456789 outside"},
        {"no credits owned", MM_SUMMARY_NO_CREDITS, 2, 64, 64, 99999999, 2, 64, 64, nullptr},
        {"teams", 0, 1000, 64, 64, 0, 8, 64, 64, "team count 1000 outside 0..8"},
        {"negative teams", 0, -3, 64, 64, 0, 0, 64, 64, "team count -3"},
        {"sides", 0, 2, 70000, -9, 0, 2, 512, 0, "map width 70000 outside 0..512"},
    };
    for (const ROW& r : rows) {
        dir.write("r.mm", Record(r.credits, r.teams, r.w, r.h));
        const std::string path = dir.file("r.mm");
        QvLogCapture log;
        ASSERT_EQ(Mm_Load(path.c_str()), 1) << r.name;
        MULTI_scenario b;
        ASSERT_EQ(Mm_Browse(&b, path.c_str()), 1) << r.name;
        for (const MULTI_scenario* m : {(const MULTI_scenario*)&g_MultiScenario, (const MULTI_scenario*)&b}) {
            EXPECT_EQ(m->base_credits, r.wantCredits) << r.name;
            EXPECT_EQ(m->team_count, r.wantTeams) << r.name;
            EXPECT_EQ(m->size_x, r.wantW) << r.name;
            EXPECT_EQ(m->size_y, r.wantH) << r.name;
        }
        if (r.logged)
            EXPECT_NE(log.text().find(r.logged), std::string::npos) << r.name << ": " << log.text();
        else
            EXPECT_EQ(log.text().find("outside"), std::string::npos) << r.name << ": " << log.text();
    }
}
