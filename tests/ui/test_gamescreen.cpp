// The game screen on the demo scenario, run headless through the real frame
// loop: message lines, the credits field, cursors, tooltips, redraws of
// dirty zones only, the minimap, the text panel, the mission clock, the
// fatal start texts and golden frames.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/textlines.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "gen_palette.h"
#include "gen_screen.h"
#include "gen_widgets.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "ui/blip.h"
#include "ui/igicomms.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igibuild.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igipump.h"
#include "ui/igiminimap.h"
#include "ui/igitext.h"
#include "ui/slist.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class GameScreen : public testing::Test {
protected:
    QvTempDir home;
    QvLogCapture log;
    void SetUp() override
    {
        std::filesystem::copy(QV_TEST_RUNDIR, home.path(), std::filesystem::copy_options::recursive);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        g_Config.disableendconditions = 1;
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        Input_Init();
        Video_Init();
        InitCommonGameSystems();
        InitGameSpecifics();
        Tick();
    }
    void TearDown() override
    {
        CloseGameSpecifics();
        CloseCommonGameSystems();
        Display_FreeTerrainBuffer();
        Video_Close();
        Input_Close();
        Plat_Close();
        Map_SetViewPixelPos(0, 0);
        g_NetworkGame = 0;
    }
    static void Tick(uint32_t ms = 50)
    {
        PlatHeadless_Advance(ms);
        Game_Tick();
    }
    static const uint8_t* Frame()
    {
        const uint8_t* pixels = nullptr;
        PlatHeadless_LastFrame(&pixels, nullptr);
        return pixels;
    }
    static uint32_t RectCrc(const uint8_t* pixels, int x, int y, int w, int h)
    {
        std::vector<uint8_t> bytes;
        for (int j = y; j < y + h; j++) bytes.insert(bytes.end(), pixels + j * 640 + x, pixels + j * 640 + x + w);
        return Crc32_Block(bytes.data(), bytes.size());
    }
};

// ---- message lines ----

TEST_F(GameScreen, MessageLinesDropTheOldestSkipRepeatsAndExpireOneAFrame)
{
    for (const char* m : {"one", "two", "two", "three", "four", "five", "six"}) Display_Message("%s", m);
    ASSERT_EQ(IgiDisp_MessageCount(), 5);
    EXPECT_STREQ(IgiDisp_Message(0), "two") << "the sixth line drops the oldest";
    EXPECT_STREQ(IgiDisp_Message(4), "six");
    PlatHeadless_Advance(IGIDISP_MESSAGEMS - 51);
    Tick(); // 15 s less a millisecond after the first lines
    EXPECT_EQ(IgiDisp_MessageCount(), 5);
    Tick();
    EXPECT_EQ(IgiDisp_MessageCount(), 4) << "one line a frame, oldest first";
    Tick(10);
    EXPECT_EQ(IgiDisp_MessageCount(), 3);
    Display_PaddedMessage("late");
    for (int i = 0; i < 5; i++) Tick(10);
    ASSERT_EQ(IgiDisp_MessageCount(), 1);
    EXPECT_STREQ(IgiDisp_Message(0), "late");
}

TEST_F(GameScreen, AMessageShowsAtTheMapViewsTopLeftAndGoesAfter15Seconds)
{
    auto inked = [&] {
        const uint8_t* f = Frame();
        int n = 0;
        for (int y = 50; y < 50 + Font_GetHeight(1); y++)
            for (int x = 20; x < 120; x++) n += f[y * 640 + x] == IGIDISP_TEXTCOLOUR;
        return n;
    };
    Tick();
    const int before = inked();
    Display_Message("Enemy sighted");
    Tick();
    EXPECT_GT(inked(), before + 20);
    PlatHeadless_Advance(IGIDISP_MESSAGEMS);
    Tick();
    EXPECT_EQ(inked(), before);
}

// ---- the credits field and the cursor ----

TEST(GameScreenText, CreditsShowNineDigitsWithAtMostEightColons)
{
    const struct {
        int credits;
        const char* shown;
    } rows[] = {{1234, ":::::1234"}, {0, "::::::::0"}, {123456789, "123456789"}, {-5, "::::::::0"}};
    for (const auto& r : rows) {
        char text[16];
        IgiDisp_FormatCredits(r.credits, text, sizeof text);
        EXPECT_STREQ(text, r.shown) << r.credits;
    }
}

TEST_F(GameScreen, TheCreditsFieldCountsTowardTheRealValueAndRedraws)
{
    // As the game loop runs it: the frame, then the interface's update.
    auto loop = [](uint32_t ms) {
        Tick(ms);
        Igievnt_Update();
    };
    loop(50);
    ASSERT_EQ(IgiDisp_ShownCredits(), 2000);
    const long drawn = IgiDisp_DrawCount(11);
    teamdata[g_LocalTeam].credits = 2160;
    loop(10); // the field's update takes the new value
    loop(10); // the frame after counts a sixteenth of the way
    EXPECT_EQ(IgiDisp_ShownCredits(), 2010);
    EXPECT_EQ(IgiDisp_DrawCount(11), drawn + 1);
    for (int i = 0; i < 100; i++) loop(10);
    EXPECT_EQ(IgiDisp_ShownCredits(), 2160);
    const long settled = IgiDisp_DrawCount(11);
    loop(10);
    EXPECT_EQ(IgiDisp_DrawCount(11), settled) << "no change, no redraw";
}

TEST_F(GameScreen, CursorsAtTheEdgesAndOverTheMinimap)
{
    const int right = mapsizex * 24 - 456;
    const struct {
        const char* name;
        int viewx, viewy, zone, x, y, cursor;
    } rows[] = {
        {"top-left corner at the origin", 0, 0, 22, 0, 0, 51},
        {"left edge at the origin", 0, 100, 22, 0, 200, 49},
        {"left edge, room to scroll", 48, 100, 22, 0, 200, 41},
        {"up-left", 48, 48, 22, 0, 0, 45},
        {"right edge", 0, 48, 22, 639, 200, 42},
        {"down-right", 0, 48, 22, 639, 479, 48},
        {"bottom edge", 48, 48, 22, 200, 479, 44},
        {"right edge at the map's end", right, 48, 22, 639, 200, 50},
        {"the map view inside", 48, 48, 22, 200, 200, 0},
    };
    for (const auto& r : rows) {
        Map_SetViewPixelPos(r.viewx, r.viewy);
        EXPECT_EQ(IgiDisp_ChooseCursor(r.zone, r.x, r.y), r.cursor) << r.name;
    }
    Map_SetViewPixelPos(48, 48);
    igi_nfo.actionmode = AM_TRAILINS1;
    EXPECT_EQ(IgiDisp_ChooseCursor(23, 500, 400), 35);
    igi_nfo.actionmode = AM_DEFAULT;
    EXPECT_EQ(IgiDisp_ChooseCursor(23, 500, 400), 0) << "no selection, no mode";
}

TEST(GameScreenText, ClickKindsGiveTheirCursors)
{
    const int kinds[][2] = {{0, 0}, {39, 0}, {5, 5}, {23, 23}, {24, 4}, {25, 24}, {31, 30},
                            {33, 31}, {35, 32}, {36, 33}, {37, 1}, {38, 1}, {40, 34}, {43, 37}};
    for (const auto& k : kinds) EXPECT_EQ(IgiDisp_CursorOfKind(k[0]), k[1]) << k[0];
    QvLogCapture log;
    EXPECT_EQ(IgiDisp_CursorOfKind(44), 0);
    EXPECT_NE(log.text().find("Unknown action mode [44]"), std::string::npos);
}

// ---- buttons, tooltips and redraws ----

TEST_F(GameScreen, AWideLabelStartsAtTheInsetAShortOneIsCentred)
{
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    ZONE& z = igi_nfo.zone.data[29]; // a small standard button
    auto firstInk = [&](const char* label) {
        snprintf(z.button.label, sizeof z.button.label, "%s", label);
        z.dirty = 1;
        IgiDisp_DrawStdButton(29);
        for (int x = z.lx; x <= z.rx; x++)
            for (int y = z.ly; y <= z.ry; y++)
                if (bb->data[y * 640 + x] == IGIDISP_TEXTCOLOUR) return x - z.lx;
        return -1;
    };
    EXPECT_EQ(firstInk("WWWWWWWWWWWW"), 7) << "the class's inset";
    const int w = Font_StringWidth("OK", 0);
    EXPECT_EQ(firstInk("OK"), 7 + (63 - 7 - w) / 2);
    EXPECT_EQ(z.dirty, 0);
}

TEST_F(GameScreen, TooltipAfterExactlyTheDelayGoneOnAMove)
{
    Input_RawMouseMove(30, 10); // the sell button
    Tick(10);
    const uint32_t start = Plat_SystemMs();
    while (Plat_SystemMs() - start < (uint32_t)g_Config.infodelay - 10) Tick(10);
    EXPECT_FALSE(IgiDisp_TooltipShown()) << Plat_SystemMs() - start;
    Tick(10);
    EXPECT_TRUE(IgiDisp_TooltipShown()) << Plat_SystemMs() - start;
    // The box hangs 20 pixels below the button, its top edge in colour 68.
    const ZONE& z = igi_nfo.zone.data[8];
    int top = 0;
    for (int x = 0; x < 200; x++) top += Frame()[(z.ry + 20) * 640 + x] == 68;
    EXPECT_GT(top, Font_StringWidth(MLString_Display(MLSD_SELL), 1));
    Input_RawMouseMove(31, 10);
    Tick(10);
    EXPECT_FALSE(IgiDisp_TooltipShown());
}

TEST_F(GameScreen, OnlyDirtyZonesAreDrawnAndTheMapViewEveryFrame)
{
    Input_RawMouseMove(200, 200);
    Tick();
    Tick();
    const long top = IgiDisp_DrawCount(10), map = IgiDisp_DrawCount(22), grid = IgiDisp_DrawCount(24);
    for (int i = 0; i < 5; i++) Tick(10);
    EXPECT_EQ(IgiDisp_DrawCount(10), top);
    EXPECT_EQ(IgiDisp_DrawCount(24), grid);
    EXPECT_EQ(IgiDisp_DrawCount(22), map + 5);
    IgiDisp_SetZoneDirty(10);
    Tick(10);
    EXPECT_EQ(IgiDisp_DrawCount(10), top + 1);
    Input_RawMouseMove(590, 350); // onto the team grid: it and the view redraw
    Tick(10);
    EXPECT_EQ(IgiDisp_DrawCount(24), grid + 1);
}

TEST_F(GameScreen, TheMapViewLeavesThePanelColumnsAlone)
{
    BITMAP* bb = Backbuf_Lock();
    Graph_FillRect(bb, nullptr, 0, 448, 32, 8, 448, 201);
    IgiDisp_DrawGameScreen();
    int kept = 0;
    for (int y = 32; y < 480; y++)
        for (int x = 448; x < 456; x++) kept += bb->data[y * 640 + x] == 201;
    EXPECT_EQ(kept, 8 * 448);
}

TEST_F(GameScreen, PanelBackgroundsOfEveryModeAndAnUnknownOneIsFatal)
{
    std::vector<uint32_t> crcs;
    for (int mode = 1; mode <= 6; mode++) {
        IgiDisp_DrawPanelBackground(mode);
        crcs.push_back(RectCrc(Backbuf_Lock()->data, 448, 64, 192, 278));
    }
    for (size_t i = 1; i < crcs.size(); i++) EXPECT_NE(crcs[i], crcs[i - 1]) << i;
    QV_EXPECT_FATAL(IgiDisp_DrawPanelBackground(7), "Unknown mfd mode [7]");
}

TEST_F(GameScreen, TacticalRowsMarkTheSelectionsLevelSelfPreservationReversed)
{
    Igievnt_DefinePlain(39, nullptr, 548, 266, 90, 22, ZL_ORDERS);
    Igievnt_DefinePlain(41, nullptr, 548, 240, 90, 22, ZL_ORDERS);
    igi_nfo.selfpreservation = 0;
    igi_nfo.tenacity = 0;
    BITMAP* bb = Backbuf_Lock();
    const BITMAP* cells = IgiDisp_Bitmap(IBM_ORLMH);
    // The cell drawn at column i of a row is source column sx of the bitmap.
    auto shows = [&](int zd, int i, int sx) {
        const ZONE& z = igi_nfo.zone.data[zd];
        for (int y = 0; y < 22; y++)
            for (int x = 0; x < 30; x++)
                if (bb->data[(z.ly + y) * 640 + z.lx + 30 * i + x] != cells->data[y * 270 + sx + x]) return false;
        return true;
    };
    for (int zd : {39, 41}) {
        igi_nfo.zone.data[zd].dirty = 1;
        IgiDisp_DrawZone(zd);
    }
    EXPECT_TRUE(shows(39, 2, 60 + 180)) << "level 0 shown as 2";
    EXPECT_TRUE(shows(39, 0, 0));
    EXPECT_TRUE(shows(41, 0, 180));
    EXPECT_TRUE(shows(41, 2, 60));
}

TEST_F(GameScreen, BarsFillTheirShareWithAMinimum)
{
    BITMAP* bb = Backbuf_Lock();
    auto filled = [&](int value, int max, int minfill) {
        Igidisp_DrawBar(10, 100, 22, 4, value, max, minfill, 25, 0);
        int n = 0;
        for (int x = 11; x < 31; x++) n += bb->data[101 * 640 + x] == 25;
        return n;
    };
    EXPECT_EQ(filled(50, 100, 0), 10);
    EXPECT_EQ(filled(1, 1000, 0), 1) << "a value of 1 shows";
    EXPECT_EQ(filled(0, 100, 3), 3);
    EXPECT_EQ(filled(500, 100, 0), 20);
    EXPECT_EQ(filled(5, 0, 0), 1);
    Igidisp_DrawBarVertical(10, 200, 4, 12, 5, 10, 26, 0);
    EXPECT_EQ(bb->data[210 * 640 + 11], 26);
    EXPECT_EQ(bb->data[201 * 640 + 11], 14);
}

TEST(GameScreenText, SmoothingStepsBySixteenthsOrOne)
{
    EXPECT_EQ(IgiDisp_Smooth(0, 160), 10);
    EXPECT_EQ(IgiDisp_Smooth(0, 5), 1);
    EXPECT_EQ(IgiDisp_Smooth(5, 0), 4);
    EXPECT_EQ(IgiDisp_Smooth(160, 0), 150);
    EXPECT_EQ(IgiDisp_Smooth(7, 7), 7);
}

TEST_F(GameScreen, AUnitIsOnScreenByItsTileOrTheTileItClaims)
{
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    UNIT* u = Units_NewAt(tank, 0, -1, 30, 30);
    ASSERT_NE(u, nullptr);
    Map_SetViewPixelPos(11 * 24, 11 * 24);
    EXPECT_TRUE(IgiDisp_UnitOnScreen(u)) << "the last of the 20 columns";
    u->claimlevel = -1;
    Map_SetViewPixelPos(31 * 24, 11 * 24);
    EXPECT_FALSE(IgiDisp_UnitOnScreen(u));
    u->claimpos = {32, 30};
    u->claimlevel = 0;
    EXPECT_TRUE(IgiDisp_UnitOnScreen(u)) << "moving onto the screen";
    u->claimpos = {30, 30};
    Units_Delete(u);
}

TEST_F(GameScreen, APointOnTheMinimapGivesTheEventItsTile)
{
    EVENT e{};
    e.kind = EV_WHEEL; // no zone acts on it: only what lies under the pointer is noted
    e.x = g_Minimap.originx + 9;
    e.y = g_Minimap.originy + 14;
    Igievnt_HandleEvent(&e);
    EXPECT_EQ(igi_nfo.event.zone, 23u);
    EXPECT_EQ(igi_nfo.event.tilex, 9);
    EXPECT_EQ(igi_nfo.event.tiley, 14);
    e.x = g_Minimap.originx;
    Igievnt_HandleEvent(&e);
    EXPECT_EQ(igi_nfo.event.tilex, 1) << "never tile 0";
}

char s_OldField[8] = "old";

TEST(GameScreenZones, AZoneOfAnEarlierGameIsForgottenRegressionStaleFieldDrawnInTheNextGame)
{
    Igizone_ClearAll();
    Igizone_Add(1, 0, 100, 40, 260, 60, ZL_ALL, nullptr);
    igi_nfo.zone.data[1].button.buffer = s_OldField;
    Igizone_SetActiveMask(ZL_ALL);
    ASSERT_EQ(Igizone_Find(150, 50), 1);
    Igizone_ClearAll(); // the next game
    Igizone_SetActiveMask(ZL_ALL);
    EXPECT_EQ(Igizone_Find(150, 50), ZD_NULL);
    EXPECT_EQ(igi_nfo.zone.data[1].button.buffer, nullptr);
    EXPECT_EQ(igi_nfo.zone.data[1].zd, 1u);
}

// ---- the minimap ----

TEST_F(GameScreen, ASmallMapIsCentredAndFramedAndTheLeftEdgeMapsToTile1)
{
    ASSERT_EQ(mapsizex, 64);
    EXPECT_EQ(g_Minimap.originx, 486);
    EXPECT_EQ(g_Minimap.originy, 380);
    const uint8_t* f = Frame();
    EXPECT_EQ(f[379 * 640 + 485], 7);
    EXPECT_EQ(f[444 * 640 + 485], 9);
    EXPECT_EQ(f[379 * 640 + 550], 9);
    EXPECT_EQ(f[444 * 640 + 550], 14);
    EXPECT_EQ(f[400 * 640 + 550], 12);
    EXPECT_EQ(IgiDisp_ScreenToTileX(486), 1);
    EXPECT_EQ(IgiDisp_ScreenToTileY(380 + 20), 20);
    EXPECT_EQ(IgiDisp_ScreenToTileX(600), 63);
}

TEST(GameScreenMinimap, ALargeMapFillsTheWindowUnframedAndScrolls)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 200, 200, 4, 1};
    ASSERT_TRUE(Map_Load(nullptr));
    IgiDisp_BuildMinimapTerrain();
    IGIMINIMAP& m = g_Minimap;
    EXPECT_EQ(std::vector<int>({m.w, m.h, m.originx, m.originy}), std::vector<int>({130, 129, 453, 348}));
    BITMAP screen;
    Graph_InitBitmap(&screen, 640, 480, nullptr);
    Graph_ClearBitmap(&screen, 201);
    m.scrollx = 150; // past the end: clamped when drawn
    m.scrolly = -4;
    IgiDisp_DrawMinimapTo(&screen);
    EXPECT_EQ(m.scrollx, 70);
    EXPECT_EQ(m.scrolly, 0);
    EXPECT_EQ(screen.data[347 * 640 + 452], 201) << "no frame";
    EXPECT_EQ(IgiDisp_ScreenToTileX(453), 70);
    EXPECT_EQ(IgiDisp_ScreenToTileX(453 + 129), 199);
    Graph_FreeBitmap(&screen);
    IgiDisp_FreeMinimap();
    Map_Free();
}

TEST_F(GameScreen, RefreshOnceASecondOnlyWithTheRadar)
{
    ASSERT_TRUE(IgiDisp_RadarWorks());
    PlatHeadless_Advance(1000);
    EXPECT_TRUE(IgiDisp_MinimapTick());
    PlatHeadless_Advance(999);
    EXPECT_FALSE(IgiDisp_MinimapTick());
    PlatHeadless_Advance(1);
    EXPECT_TRUE(IgiDisp_MinimapTick());
    // Without power the radar is down: no refresh, the picture dimmed.
    teamdata[g_LocalTeam].resource[2].usage = teamdata[g_LocalTeam].resource[2].supply + 1;
    EXPECT_FALSE(IgiDisp_RadarWorks());
    PlatHeadless_Advance(5000);
    EXPECT_FALSE(IgiDisp_MinimapTick());
    BITMAP* bb = Backbuf_Lock();
    IgiDisp_DrawMinimapTo(bb);
    const IGIMINIMAP& m = g_Minimap;
    EXPECT_EQ(bb->data[(m.originy + 5) * 640 + m.originx + 5], g_DimTable[m.picture->data[5 * mapsizex + 5]]);
}

TEST_F(GameScreen, MinimapShowsFogUnitsSeenAndNotOthersHiddenByOperation)
{
    const int local = g_LocalTeam, other = (local + 1) % 8;
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    ASSERT_NE(tank, nullptr);
    UNIT* u = Units_NewAt(tank, other, -1, 9, 10);
    ASSERT_NE(u, nullptr);
    u->seen[local] = 1;
    u->apparentteam[local] = (uint8_t)other;
    IgiDisp_RefreshMinimap();
    const BITMAP* p = g_Minimap.picture;
    EXPECT_EQ(p->data[10 * mapsizex + 9], (uint8_t)teamdata[other].palindex);
    EXPECT_EQ(p->data[60 * mapsizex + 60], MINIMAP_FOGCOLOUR) << "never explored";
    u->operation.code = 3;
    IgiDisp_RefreshMinimap();
    EXPECT_NE(p->data[10 * mapsizex + 9], (uint8_t)teamdata[other].palindex);
    // Alt held: the marks on black.
    u->operation.code = 0;
    Input_RawKey(SC_LALT, 1, 0);
    IgiDisp_RefreshMinimap();
    Input_RawKey(SC_LALT, 0, 0);
    EXPECT_EQ(p->data[10 * mapsizex + 9], (uint8_t)teamdata[other].palindex);
    EXPECT_EQ(p->data[10 * mapsizex + 11], 0) << "seen ground without marks";
    Units_Delete(u);
}

// A team shows in one ramp of the palette wherever it is drawn: its units
// (through their remap), its minimap marks, its cell of the team grid and
// its player's name. The colours are dealt out of team order, so that a team
// number taken for a colour, or a colour's palette index taken for a remap,
// shows.
TEST_F(GameScreen, EachTeamShowsInOneColourOnUnitsMinimapGridAndNames)
{
    auto ramp = [](int index) { return index >= 32 && index < 96 ? (index - 32) / 8 : -1; };
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    ASSERT_NE(tank, nullptr);
    const int local = g_LocalTeam;
    UNIT* units[8] = {};
    for (int t = 0; t < 8; t++) {
        Team_SetColour(t, (3 * t + 5) % 8);
        units[t] = Units_NewAt(tank, t, -1, 9 + 2 * (t % 4), 10 + 2 * (t / 4)); // ground seen at the start
        ASSERT_NE(units[t], nullptr) << t;
        units[t]->seen[local] = 1;
        units[t]->apparentteam[local] = (uint8_t)t;
    }
    IgiDisp_RefreshMinimap();
    BITMAP* bb = Backbuf_Lock();
    igi_nfo.zone.data[24].dirty = 1;
    IgiDisp_DrawZone(24);
    const ZONE& grid = igi_nfo.zone.data[24];
    g_DebugFlags |= DBG_DEBUGMODE;
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_COMMS));
    IgiDisp_SetZoneDirty(54);
    IgiDisp_DrawPanelZone(54);
    g_DebugFlags &= ~DBG_DEBUGMODE;
    // The ramps of the team-coloured pixels of a player row's name.
    auto nameRamps = [&](int row) {
        std::vector<int> out;
        for (int y = IGICOMMS_ROWY + IGICOMMS_ROWH * row; y < IGICOMMS_ROWY + IGICOMMS_ROWH * (row + 1); y++)
            for (int x = 476; x < 557; x++)
                if (ramp(bb->data[y * 640 + x]) >= 0) out.push_back(ramp(bb->data[y * 640 + x]));
        return out;
    };

    for (int t = 0; t < 8; t++) {
        const int shown = ramp(teamdata[t].palindex);
        const int remap = Parts_GetRemap(units[t]->basepart);
        ASSERT_LT(remap, SORTDISP_REMAP_TEAMS) << t;
        for (int i = 32; i < 40; i++) EXPECT_EQ(ramp(g_TeamRemap[remap][i]), shown) << "unit, team " << t;
        EXPECT_EQ(g_Minimap.picture->data[units[t]->tilepos.y * mapsizex + units[t]->tilepos.x], teamdata[t].palindex) << "minimap, team " << t;
        const int gx = grid.lx + (t % 4) * 13 + 3, gy = grid.ly + (t / 4) * 17 + 3;
        EXPECT_EQ(ramp(bb->data[gy * 640 + gx]), shown) << "team grid, team " << t;
    }
    for (int row = 0; row < IGI_COMMROWS; row++) {
        const int t = igi_nfo.commteam[row];
        if (t >= 8) continue;
        const std::vector<int> got = nameRamps(row);
        EXPECT_FALSE(got.empty()) << "name, team " << t;
        EXPECT_EQ(got, std::vector<int>(got.size(), ramp(teamdata[t].palindex))) << "name, team " << t;
    }
    for (UNIT* u : units) Units_Delete(u);
}

TEST_F(GameScreen, ABlipGrowsOnePixelPerDrawing)
{
    BLIP_TYPE* t = Blip_AddNewType(BF_CIRCLE);
    Blip_NewInstance(t, 20, 20);
    BITMAP* bb = Backbuf_Lock();
    IgiDisp_DrawMinimapTo(bb);
    const float first = Blip_First()->radius;
    IgiDisp_DrawMinimapTo(bb);
    EXPECT_EQ(Blip_First()->radius, first + 1);
}

// ---- the text panel and the clock ----

TEST_F(GameScreen, TextPanelReplacesItselfCutsLinesAndStopsTheGame)
{
    std::string text = "first\r\n" + std::string(300, 'x') + "\nlast";
    home.write("help.txt", text);
    IgiDisp_ShowTextFile(home.file("help.txt").c_str(), "No help");
    ASSERT_TRUE(IgiDisp_IsTextPanelShown());
    SLIST* l = IgiDisp_TextPanelList();
    ASSERT_EQ(SList_Count(l), 3);
    SList_Select(l, 0);
    EXPECT_STREQ(SList_GetSelectedText(l), "first") << "the CR goes with the LF";
    SList_Select(l, 1);
    EXPECT_EQ(strlen(SList_GetSelectedText(l)), 256u);
    SList_Select(l, 2);
    EXPECT_STREQ(SList_GetSelectedText(l), "last");
    // Updates stop while it is open in a single-player game.
    const uint32_t n = g_UpdateCount;
    for (int i = 0; i < 4; i++) Tick();
    EXPECT_EQ(g_UpdateCount, n);
    // The objectives replace the help: one list.
    IgiDisp_ShowBriefing(home.file("none.brf").c_str(), 1);
    ASSERT_EQ(SList_Count(IgiDisp_TextPanelList()), 1);
    SList_Select(IgiDisp_TextPanelList(), 0);
    EXPECT_STREQ(SList_GetSelectedText(IgiDisp_TextPanelList()), "No briefing for this scenario");
    IgiDisp_CloseTextPanel();
    EXPECT_FALSE(IgiDisp_IsTextPanelShown());
    EXPECT_EQ(IgiDisp_TextPanelList(), nullptr);
    Tick();
    EXPECT_EQ(g_UpdateCount, n + 1);
    IgiDisp_ShowTextFile(home.file("absent.txt").c_str(), "No help");
    SList_Select(IgiDisp_TextPanelList(), 0);
    EXPECT_STREQ(SList_GetSelectedText(IgiDisp_TextPanelList()), "No help");
}

TEST_F(GameScreen, BriefingSectionThenTheRulesInANetworkGame)
{
    home.write("q.brf", "\\0Intro\\1Hold the bridge.\\nKeep the depot.\\2Later");
    TextLines_Clear();
    TextLines_AddSorted("Credits: 5000", 1);
    g_NetworkGame = 1;
    IgiDisp_ShowBriefing(home.file("q.brf").c_str(), 1);
    g_NetworkGame = 0;
    TextLines_Clear();
    std::vector<std::string> lines;
    SLIST* l = IgiDisp_TextPanelList();
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        lines.push_back(SList_GetSelectedText(l));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Hold the bridge.", "Keep the depot.", "", "RULES", "",
                                               "Credits: 5000"}));
    IgiDisp_CloseTextPanel();
}

TEST_F(GameScreen, TheDemoBriefingAndHelpFitThePanel)
{
    IgiDisp_ShowBriefing(home.file("scenario/SINGLE/DEMO/quorvex.brf").c_str(), 1);
    SLIST* l = IgiDisp_TextPanelList();
    ASSERT_GT(SList_Count(l), 6);
    int bullets = 0, indented = 0;
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        const char* t = SList_GetSelectedText(l);
        if (i == 0) {
            EXPECT_STREQ(t, "OBJECTIVES");
        }
        EXPECT_LE(Font_StringWidth(t, 0), TEXTPANEL_WRAPWIDTH) << t;
        bullets += (uint8_t)t[0] == TEXT_BULLET;
        indented += strncmp(t, "  ", 2) == 0;
    }
    EXPECT_EQ(bullets, 2);
    EXPECT_GT(indented, 0) << "the long objective wraps under its bullet";
    IgiDisp_ShowTextFile(home.file("data/local/help.txt").c_str(), "");
    l = IgiDisp_TextPanelList();
    EXPECT_GT(SList_Count(l), 10);
    // Every help line within the panel: none is cut at its edge. Columns go
    // by the font's column code, not by spaces in a proportional font.
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        const char* t = SList_GetSelectedText(l);
        EXPECT_LE(Font_StringWidth(t, 0) + 5, l->rx - l->lx + 1) << t;
        EXPECT_EQ(strstr(t, "   "), nullptr) << t;
    }
    IgiDisp_CloseTextPanel();
}

TEST(GameScreenText, ClockShowsHoursMinutesSeconds)
{
    char text[32];
    ASSERT_TRUE(IgiDisp_ClockText(36 * 3661, text, sizeof text));
    EXPECT_STREQ(text, "01:01:01");
    ASSERT_TRUE(IgiDisp_ClockText(35, text, sizeof text));
    EXPECT_STREQ(text, "00:00:00");
    EXPECT_FALSE(IgiDisp_ClockText(-1, text, sizeof text));
}

// ---- golden frames ----

TEST_F(GameScreen, GoldenFramesOfTheDemoGame)
{
    for (int i = 0; i < 40; i++) Tick();
    const uint8_t* f = Frame();
    ASSERT_NE(f, nullptr);
    const PAL_RGB* pal = nullptr;
    PlatHeadless_LastFrame(&f, &pal);
    EXPECT_TRUE(DemoFixture_Matches(f, pal, 0xF718A105u, "gamescreen_actual.pcx"));
    const struct {
        const char* name;
        int x, y, w, h;
        uint32_t crc;
    } zones[] = {
        {"top bar", 0, 0, 448, 32, 1552635445u},
        {"panel selectors", 448, 0, 192, 64, 1835654213u},
        {"building panel", 448, 64, 192, 278, 3943747761u},
        {"minimap", 448, 342, 140, 138, 3089665958u},
        {"team grid", 588, 342, 52, 34, 1556200559u},
    };
    for (const auto& z : zones) EXPECT_EQ(RectCrc(f, z.x, z.y, z.w, z.h), z.crc) << z.name;
}

// Choosing the building panel filled only the menu panel's list: the game
// opened on an empty building panel (one flat colour until a selection
// changed) with the Upgrade button drawn for no building.
class PlayerViewPanel : public GameScreen {};

TEST_F(PlayerViewPanel, TheBuildingPanelWasEmptyAtTheStart)
{
    const uint8_t* f = nullptr;
    const PAL_RGB* pal = nullptr;
    ASSERT_TRUE(PlatHeadless_LastFrame(&f, &pal));
    EXPECT_TRUE(DemoFixture_Matches(f, pal, 0xDEB0BD55u, "buildpanel_start.pcx"));
    const SLIST* l = Igievnt_BuildList(LM_UNITS);
    ASSERT_NE(l, nullptr);
    EXPECT_GT(SList_Count(l), 0) << "the factory's units";
    EXPECT_TRUE(Igizone_GetDisabled(29)) << "no building to upgrade";
}

TEST_F(GameScreen, ThePointerAtTheRightEdgeScrollsUnderCursor42Then50)
{
    char path[GAME_PATH];
    ASSERT_TRUE(Utils_MakePath(path, g_InterfaceDir, "", "", "mouse.crs", ""));
    ASSERT_EQ(Cursor_Load(path), 1);
    Mouse_ShowCursor();
    Input_RawMouseMove(639, 240);
    Tick();
    EXPECT_EQ(Cursor_Current(), 42);
    EXPECT_GT(g_MapView.x, 0);
    for (int i = 0; i < 100; i++) Tick(10);
    EXPECT_EQ(g_MapView.x, mapsizex * 24 - 456);
    EXPECT_EQ(Cursor_Current(), 50) << "at the map's right edge";
    Cursor_Unload();
}

// A pointer that left the window by its edge rests there: the view stays
// until it comes back (arrow keys still scroll).
TEST_F(GameScreen, APointerOutsideTheWindowScrollsNothing)
{
    Input_RawMouseMove(639, 240);
    Input_RawMouseInside(0);
    const int x = g_MapView.x;
    for (int i = 0; i < 5; i++) Tick(10);
    EXPECT_EQ(g_MapView.x, x);
    Input_RawMouseInside(1);
    Tick(10);
    EXPECT_GT(g_MapView.x, x);
}

// ---- fatal start texts ----

class GameScreenStart : public testing::Test {
protected:
    QvTempDir dir;
    char old_[GAME_PATH];
    void SetUp() override
    {
        Str_CopySafe(old_, g_InterfaceDir, sizeof old_);
        PALINFO pal;
        Mkdata_DemoPalette(&pal);
        ASSERT_TRUE(GenScreen_WriteAll(dir.path(), pal.colours));
        Str_CopySafe(g_InterfaceDir, dir.path().c_str(), sizeof g_InterfaceDir);
    }
    void TearDown() override { Str_CopySafe(g_InterfaceDir, old_, sizeof g_InterfaceDir); }
};

TEST_F(GameScreenStart, BrokenPicturesAndMissingFontsStopWithTheirText)
{
    const std::string bmp = dir.file("pt.bmp"), font = dir.file("font16.pcx");
    std::string whole = dir.read("pt.bmp");
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    BITMAP strip;
    Graph_InitBitmap(&strip, 171, 13, nullptr);
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::string message;
    } rows[] = {
        {"truncated", [&] { dir.write("pt.bmp", whole.substr(0, whole.size() / 2)); },
         "BMP error 3 [" + bmp + "]"},
        {"missing", [&] { std::filesystem::remove(bmp); }, "BMP error 1 [" + bmp + "]"},
        {"24-bit", [&] { GenWidgets_WriteBmp(bmp, &strip, pal.colours, 24); },
         "BMP must be 8bit [" + bmp + "]"},
        {"wrong size", [&] { dir.write("pt.bmp", dir.read("orlmh.bmp")); },
         "Invalid size for [" + bmp + "], expected 171 x 13"},
        {"missing font", [&] { std::filesystem::remove(font); }, "Font file [" + font + "]"},
    };
    for (const auto& r : rows) {
        SetUp();
        r.spoil();
        SCOPED_TRACE(r.name);
        QvLogCapture quiet;
        QV_EXPECT_FATAL(IgiDisp_Init(), r.message);
        IgiDisp_Close();
        EXPECT_FALSE(Font_IsLoaded(0));
    }
    Graph_FreeBitmap(&strip);
}

using GameScreenStartDeathTest = GameScreenStart;

TEST_F(GameScreenStartDeathTest, AMissingFontEndsTheProgram)
{
    std::filesystem::remove(dir.file("font12t.pcx"));
    EXPECT_EXIT(IgiDisp_Init(), testing::ExitedWithCode(1), "Font file \\[" + dir.file("font12t.pcx"));
}

} // namespace
