// Sight: counts that sweeps and unsweeps leave behind in any order, who
// shares a sweep, the line of sight over ridges, see-all, the fog tile file,
// and the fog drawn over the view and into a map picture.
#include "map/fog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "gen_palette.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

const int SIDE = 64;

// A flat 64 x 64 map (altitude 4) with default teams and sight open.
class FogTest : public testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
        ASSERT_EQ(Map_Load(nullptr), 1);
        Team_SetDefaults();
        Team_InitTeamData();
        Fog_Init();
        ASSERT_TRUE(Fog_IsOpen());
    }
    void TearDown() override
    {
        Fog_Close();
        Fog_SetSeeAll(0);
        Team_CloseTeamData();
        Map_Free();
    }
    // Every ground count, level-1 flag and explored flag of a team, in map order.
    static std::vector<int> Snapshot(int team)
    {
        std::vector<int> v;
        for (int i = 0; i < SIDE * SIDE; i++)
            for (auto f : {Fog_SeenCount, Fog_IsSeenLevel1, Fog_IsExplored})
                v.push_back(f(i % SIDE, i / SIDE, team));
        return v;
    }
    static int SeenTiles(int team)
    {
        int n = 0;
        for (int i = 0; i < SIDE * SIDE; i++) n += Fog_IsSeen(i % SIDE, i / SIDE, team);
        return n;
    }
    // A wall of altitude alt along column x.
    static void Ridge(int x, int alt)
    {
        for (int y = 1; y < SIDE; y++) MAP_ELEMENT_AT(x, y)->altitude = (uint32_t)alt;
    }
};

// ------------------------------------------------------------------ counting

using FogCounts = FogTest;

TEST_F(FogCounts, SweepsAndUnsweepsInAnyOrderGiveTheSameCounts)
{
    Ridge(20, 12);
    const int v[5][4] = {
        {10, 10, 6, 1}, {14, 12, 8, 0}, {22, 30, 20, 3}, {18, 11, 5, 12}, {2, 2, 4, 1}};
    SEEMAP maps[5] = {};
    auto sweep = [&](int i) { Fog_Sweep(&maps[i], v[i][0], v[i][1], v[i][2], v[i][3], 0); };
    for (int i = 0; i < 5; i++) sweep(i);
    const std::vector<int> all = Snapshot(0);
    EXPECT_EQ(Seemap_Count(), 10);
    // Take them away and put them back in other orders, interleaved; sweeping
    // a seemap again replaces its sweep instead of adding to it.
    for (const auto& order : {std::vector{4, 2, 0, 3, 1}, {1, 3, 0, 2, 4}, {2, 0, 4, 1, 3}}) {
        for (int k : {0, 2, 4, 1, 3}) Fog_Unsweep(&maps[order[k]]);
        EXPECT_EQ(Seemap_Count(), 0);
        for (int k = 4; k >= 0; k--) sweep(order[k]);
        sweep(order[0]);
        EXPECT_EQ(Snapshot(0), all);
    }
    for (SEEMAP& m : maps) Fog_Unsweep(&m);
    EXPECT_EQ(SeenTiles(0) + Seemap_Count(), 0);
    EXPECT_TRUE(Fog_IsExplored(10, 10, 0)) << "exploring outlasts the sight";
    Fog_Unsweep(&maps[0]); // a second unsweep takes nothing more away
    EXPECT_EQ(Fog_SeenCount(10, 10, 0), 0);
}

TEST_F(FogCounts, RadiusIsACircleClampedToTheLimitAndCutAtTheMapEdge)
{
    const struct {
        int x, y, r, seen; // tiles seen
    } rows[] = {
        {30, 30, 3, 29}, // offsets with dx^2 + dy^2 <= 9
        {30, 30, -4, 1}, // a negative radius still sees the viewer's tile
        {1, 1, 2, 6},    // in the corner only valid tiles: row and column 0 never
    };
    SEEMAP m = {};
    for (const auto& r : rows) {
        Fog_Sweep(&m, r.x, r.y, r.r, 1, 0);
        EXPECT_EQ(SeenTiles(0), r.seen) << r.x << "," << r.y << " radius " << r.r;
    }
    Fog_Sweep(&m, 31, 31, 200, 1, 0);
    const std::vector<int> clamped = Snapshot(0);
    Fog_Sweep(&m, 31, 31, FOG_MAX_RADIUS, 1, 0);
    EXPECT_EQ(Snapshot(0), clamped);
    Fog_Unsweep(&m);
}

TEST_F(FogCounts, BadViewersAndAClosedModuleSweepNothing)
{
    SEEMAP m = {};
    Fog_Sweep(&m, 10, 10, 3, 1, 0);
    Fog_Sweep(&m, 10, 10, 3, 1, 9);
    Fog_Sweep(&m, 10, SIDE, 3, 1, 0);
    EXPECT_EQ(SeenTiles(0) + Seemap_Count(), 0) << "the earlier sweep is gone all the same";
    for (const char* text : {"invalid team 9", "tile (10,64) is off the map"})
        EXPECT_NE(log.text().find(text), std::string::npos) << text;

    Fog_Sweep(&m, 10, 10, 3, 1, 0);
    Fog_Close();
    EXPECT_EQ(Seemap_Count() + Fog_IsSeen(10, 10, 0), 0);
    Fog_Unsweep(&m); // the byte maps went with the module: only the record is cleared
    Map_Free();
    Fog_Init();
    EXPECT_FALSE(Fog_IsOpen());
    EXPECT_NE(log.text().find("Fog_Init: no map loaded"), std::string::npos);
}

// Sharers: allies both ways and teams with a line of sight to the viewer's
// team. The unsweep takes away what the sweep added, whatever the relations
// became meanwhile; the next sweep follows the new ones.
TEST_F(FogCounts, AlliesAndLineOfSightShareAndTheSweepRemembersWhoGotIt)
{
    teamdata[1].relation[0] = TR_ALLY; // one way only
    teamdata[0].relation[2] = teamdata[2].relation[0] = TR_ALLY;
    teamdata[3].lineofsight[0] = 1;    // team 3 shares team 0's sight
    teamdata[0].lineofsight[4] = 1;    // the other way round: team 4 gets nothing
    SEEMAP m = {};
    Fog_Sweep(&m, 20, 20, 4, 1, 0);
    EXPECT_EQ(m.teammask, (1u << 0) | (1u << 2) | (1u << 3));
    EXPECT_EQ(SeenTiles(2), SeenTiles(0));
    EXPECT_FALSE(Fog_IsSeen(22, 20, 1) || Fog_IsSeen(22, 20, 4));

    teamdata[2].relation[0] = TR_ENEMY;
    teamdata[5].lineofsight[0] = 1;
    Fog_Unsweep(&m);
    EXPECT_EQ(SeenTiles(0) + SeenTiles(2) + SeenTiles(3) + SeenTiles(5), 0);
    Fog_Sweep(&m, 20, 20, 4, 1, 0);
    EXPECT_EQ(m.teammask, (1u << 0) | (1u << 3) | (1u << 5));
    Fog_Unsweep(&m);
}

TEST_F(FogCounts, ARidgeHidesTheGroundBehindItButNotTheAir)
{
    Ridge(20, 12);
    SEEMAP m = {};
    Fog_Sweep(&m, 15, 30, 10, 1, 0); // eye 5
    EXPECT_TRUE(Fog_IsSeen(19, 30, 0) && Fog_IsSeen(20, 30, 0)) << "the ridge itself is in sight";
    for (int x = 21; x <= 25; x++) {
        EXPECT_FALSE(Fog_IsSeen(x, 30, 0)) << x;
        EXPECT_TRUE(Fog_IsSeenLevel1(x, 30, 0)) << x;
        EXPECT_FALSE(Fog_IsExplored(x, 30, 0)) << "only ground sight explores";
    }
    EXPECT_FALSE(Fog_IsSeenLevel1(26, 30, 0)) << "the air level keeps the radius";
    // An eye as high as the ridge sees over it (only higher tiles block).
    Fog_Sweep(&m, 15, 30, 10, 8, 0);
    EXPECT_TRUE(Fog_IsSeen(25, 30, 0));
    // A ridge tile next to the viewer on the diagonal blocks the far diagonal.
    Ridge(20, 4);
    MAP_ELEMENT_AT(16, 31)->altitude = 9;
    Fog_Sweep(&m, 15, 30, 10, 1, 0);
    EXPECT_TRUE(Fog_IsSeen(16, 31, 0) && Fog_IsSeen(18, 30, 0));
    EXPECT_FALSE(Fog_IsSeen(18, 33, 0));
    Fog_Unsweep(&m);
}

TEST_F(FogCounts, AnySeenInTilesClipsAndSeeAllAnswersYesWithoutTouchingCounts)
{
    SEEMAP m = {};
    Fog_Sweep(&m, 40, 40, 0, 1, 6);
    const int rects[][6] = {
        {42, 40, 40, 38, 6, 1}, // either corner order
        {41, 38, 45, 45, 6, 0}, {38, 38, 40, 40, 5, 0}, {-100, -100, 100000, 100000, 6, 1}};
    for (const auto& r : rects)
        EXPECT_EQ(Fog_AnySeenInTiles(r[0], r[1], r[2], r[3], r[4]), r[5]) << r[0] << "," << r[1];
    Fog_Unsweep(&m);
    Fog_SetSeeAll(1);
    EXPECT_EQ(Fog_IsSeen(5, 5, 3) + Fog_IsSeenLevel1(5, 5, 3) + Fog_IsExplored(5, 5, 3) +
                  Fog_AnySeenInTiles(5, 5, 6, 6, 3),
              4);
    EXPECT_EQ(Fog_SeenCount(40, 40, 6), 0);
}

// ------------------------------------------------------------------ units and buildings

class FogWorld : public testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override { QvWorld_Open(48, 48); }
    void TearDown() override { QvWorld_Close(); }
};

// A ground unit's eye is one above its tile, a flyer's at altitude 16; a
// building sees from its footprint's centre.
TEST_F(FogWorld, UnitsAndBuildingsSeeFromTheirPlaceUntilTheyLeave)
{
    for (int y = 1; y < 48; y++) MAP_ELEMENT_AT(14, y)->altitude = 12;
    UNITTYPE* ground = QvWorld_UnitType("Tank", MM_GROUND);
    UNITTYPE* flyer = QvWorld_UnitType("Hawk", MM_FLY);
    ground->seeingrange = flyer->seeingrange = 6;
    UNIT* g = Units_NewAt(ground, 0, -1, 12, 20);
    UNIT* f = Units_NewAt(flyer, 1, -1, 12, 20);
    ASSERT_TRUE(g && f);
    EXPECT_TRUE(Fog_IsSeen(18, 20, 1) && !Fog_IsSeen(19, 20, 1));
    EXPECT_TRUE(Fog_IsSeen(14, 20, 0) && !Fog_IsSeen(16, 20, 0) && Fog_IsSeenLevel1(16, 20, 0));
    Fog_UnsweepUnit(g);
    g->tilepos = UNIT_POS{30, 30};
    Fog_SweepUnit(g);
    EXPECT_TRUE(!Fog_IsSeen(12, 20, 0) && Fog_IsSeen(30, 36, 0));
    Units_Delete(g);
    Units_Delete(f);
    EXPECT_EQ(Fog_SeenCount(30, 30, 0) + Fog_SeenCount(12, 20, 1) + Seemap_Count(), 0);

    BUILDINGTYPE* t = QvWorld_BuildingType("Tower", 3, 2);
    t->seeingrange = 2;
    ASSERT_NE(Build_New(t, 4, -1, 10, 10), nullptr);
    // Centre tile (11, 11): two tiles each way.
    EXPECT_TRUE(Fog_IsSeen(13, 11, 4) && Fog_IsSeen(11, 9, 4));
    EXPECT_FALSE(Fog_IsSeen(14, 11, 4) || Fog_IsSeen(10, 9, 4));
}

// ------------------------------------------------------------------ fog tile file

TEST(FogTiles, TheGeneratedFileLoadsAndEachFlawIsNamedWithTheFileAndOffset)
{
    QvLogCapture log;
    QvTempDir dir;
    const std::string good = GenFog_Bytes();
    dir.write("fogtile.fog", good);
    EXPECT_EQ(Fog_LoadTiles(dir.file("fogtile.fog").c_str()), 1);
    EXPECT_EQ(log.text(), "");
    auto with = [&](size_t at, char v) { std::string b = good; b[at] = v; return b; };
    const struct {
        std::string bytes;
        const char* expected;
    } cases[] = {
        {with(0, 'X'), "offset 0: expected the magic FOGT"},
        {with(4, 2), "offset 4: expected version 257"},
        {with(10, 15), "offset 10: expected 16 masks"},
        {"", "offset 0: the file ends before the magic FOGT"},
        {good.substr(0, FOG_FILE_BYTES - 1), "offset 9227: the file ends inside the masks"},
        {good + '\0', "offset 9228: bytes after the masks"},
    };
    for (const auto& c : cases) {
        log.clear();
        EXPECT_EQ(Fog_ParseTiles((const uint8_t*)c.bytes.data(), c.bytes.size(), "bad.fog"), 0);
        EXPECT_NE(log.text().find("[bad.fog] at " + std::string(c.expected)), std::string::npos)
            << log.text();
    }
    log.clear();
    EXPECT_EQ(Fog_LoadTiles(dir.file("missing.fog").c_str()), 0);
    EXPECT_NE(log.text().find("missing.fog"), std::string::npos);
}

// ------------------------------------------------------------------ drawing

// The demo palette on the headless display, a 64 x 64 map with sweeps of
// team 0 in some places (one of them taken away again: fogged), and a
// pattern in the back buffer standing for the terrain.
class FogPicture : public FogTest {
protected:
    BITMAP* bb = nullptr;
    SEEMAP near_ = {}, far_ = {}, gone_ = {};

    void SetUp() override
    {
        FogTest::SetUp();
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        Input_Init();
        Video_Init();
        bb = Backbuf_Lock();
        ASSERT_NE(bb, nullptr);
        Mkdata_DemoPalette(&g_PalInfo);
        Display_ApplyPalette();
        std::string fog = GenFog_Bytes();
        ASSERT_EQ(Fog_ParseTiles((const uint8_t*)fog.data(), fog.size(), "fogtile.fog"), 1);
        Ridge(12, 14);
        Fog_Sweep(&near_, 8, 8, 6, 1, 0);
        Fog_Sweep(&gone_, 18, 10, 6, 1, 0);
        Fog_Sweep(&far_, 17, 4, 3, 1, 0);
        Fog_Unsweep(&gone_);
        Map_SetViewPixelPos(30, 40);
        for (int i = 0; i < bb->x_size * bb->y_size; i++)
            bb->data[i] = Pattern(i % bb->x_size, i / bb->x_size);
    }
    void TearDown() override
    {
        Fog_Unsweep(&near_);
        Fog_Unsweep(&far_);
        g_DebugFlags = 0;
        g_OptFogDisabled = g_OptShroudDisabled = 0;
        Map_SetViewPixelPos(0, 0);
        Video_Close();
        Input_Close();
        Plat_Close();
        FogTest::TearDown();
    }
    static uint8_t Pattern(int x, int y) { return (uint8_t)(1 + (x * 7 + y * 13) % 250); }
    uint32_t Crc() const { return Crc32_Block(bb->data, (size_t)bb->x_size * (size_t)bb->y_size); }
    // The screen pixel of pixel (10, 10) of map tile (tx, ty), and the pattern there.
    uint8_t At(int tx, int ty) const { return bb->data[ScreenY(ty) * bb->x_size + ScreenX(tx)]; }
    uint8_t PatternAt(int tx, int ty) const { return Pattern(ScreenX(tx), ScreenY(ty)); }
    static int ScreenX(int tx) { return MAPVIEW_SCREEN_X + tx * 24 + 10 - g_MapView.x; }
    static int ScreenY(int ty) { return MAPVIEW_SCREEN_Y + ty * 24 + 10 - g_MapView.y; }
};

// To record a new value after a deliberate change of the fog, the demo
// palette or the fog masks: run test_map --gtest_filter='FogPicture.*'; a
// mismatch prints the CRC and writes fog_view.pcx in the working directory.
const uint32_t kGoldenFogView = 0xFEFAD4F4u;

TEST_F(FogPicture, FoggedViewMatchesTheRecordedPicture)
{
    Fog_Draw(0);
    const uint32_t crc = Crc();
    if (crc != kGoldenFogView) {
        Graph_SavePCX("fog_view.pcx", bb, g_Palette);
        ADD_FAILURE() << "fog view CRC 0x" << std::hex << crc << ", recorded 0x" << kGoldenFogView;
    }
    EXPECT_EQ(At(5, 17), 0);   // unexplored is black
}

TEST_F(FogPicture, SwitchesLeaveTheViewAloneOrSkipTheBlackening)
{
    const uint32_t clean = Crc();
    const struct {
        int debug, optfog, seeall, team;
    } off[] = {{DBG_NOFOG, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 9}};
    for (const auto& o : off) {
        g_DebugFlags = o.debug;
        g_OptFogDisabled = (uint8_t)o.optfog;
        Fog_SetSeeAll(o.seeall);
        Fog_Draw(o.team);
        EXPECT_EQ(Crc(), clean) << o.debug << o.optfog << o.seeall << o.team;
    }
    g_DebugFlags = g_OptFogDisabled = 0;
    Fog_SetSeeAll(0);
    g_OptShroudDisabled = 1;
    Fog_Draw(0);
    EXPECT_EQ(At(5, 17), g_ShadeTable[64][PatternAt(5, 17)]);
}

TEST_F(FogPicture, MapPictureMarksUnexploredAndDimsFoggedTiles)
{
    BITMAP pic;
    ASSERT_TRUE(Graph_InitBitmap(&pic, SIDE, SIDE, nullptr));
    for (int i = 0; i < SIDE * SIDE; i++) pic.data[i] = Pattern(i % SIDE, i / SIDE);
    Fog_RenderMapBitmap(&pic, 16, 0);
    EXPECT_EQ(pic.data[8 * SIDE + 8], Pattern(8, 8));                       // seen
    EXPECT_EQ(pic.data[14 * SIDE + 18], g_ShadeTable[64][Pattern(18, 14)]); // fogged
    EXPECT_EQ(pic.data[50 * SIDE + 50], 16);                                // unexplored
    Graph_FreeBitmap(&pic);
}

} // namespace
