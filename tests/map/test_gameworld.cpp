// The game screen run through the real frame loop on the headless backend:
// it shows the game of the demo scenario and scrolls while the pointer rests
// at an edge or an arrow key is held, faster the longer it moves.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/angle.h"
#include "core/config.h"
#include "core/crc32.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "gen_map.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "map/tile.h"
#include "platform/effects.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/vortex.h"
#include "platform/animtype.h"
#include "rules/tfbuild.h"
#include "rules/tfovl.h"
#include "units/explosion.h"
#include "ui/igidisp.h"

namespace {

const int kMaxOrigin = GENMAP_SIDE * 24 - MAPVIEW_SIZE;

class GameScreenWorld : public testing::Test {
protected:
    QvTempDir home;
    QvLogCapture log;
    void SetUp() override
    {
        // A copy of the test run directory: tests change its files.
        std::filesystem::copy(QV_TEST_RUNDIR, home.path(), std::filesystem::copy_options::recursive);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        // What is shown is tested here, not how the game ends.
        g_Config.disableendconditions = 1;
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        Input_Init();
        Video_Init();
    }
    // The game of the demo scenario, as the program starts it.
    void StartGame()
    {
        InitCommonGameSystems();
        InitGameSpecifics();
        started_ = true;
    }
    void TearDown() override
    {
        if (started_) {
            CloseGameSpecifics();
            CloseCommonGameSystems();
        }
        Display_FreeTerrainBuffer();
        Video_Close();
        Input_Close();
        Plat_Close();
        Map_SetViewPixelPos(0, 0);
    }
    std::string Log() const { return log.text(); }
    bool started_ = false;

    // One frame after ms of game time (50 ms: one update at 20 a second).
    static void Tick(uint32_t ms = 50)
    {
        PlatHeadless_Advance(ms);
        Game_Tick();
    }
    // Black pixels of tile (tx, ty) on screen with the view at (0, 0).
    static int BlackInTile(const std::vector<uint8_t>& shown, int tx, int ty)
    {
        int black = 0;
        for (int y = 0; y < 24; y++)
            for (int x = 0; x < 24; x++)
                black += shown[(size_t)(MAPVIEW_SCREEN_Y + ty * 24 + y) * 640 + tx * 24 + x] == 0;
        return black;
    }
    static std::vector<uint8_t> Shown()
    {
        const uint8_t* pixels = nullptr;
        PlatHeadless_LastFrame(&pixels, nullptr);
        return pixels ? std::vector<uint8_t>(pixels, pixels + PLAT_WIDTH * PLAT_HEIGHT)
                      : std::vector<uint8_t>();
    }
};

// Speeds of a run of frames that each move the view: 9 at the start, one
// more a frame up to 50.
static int RampSum(int frames)
{
    int sum = 0, speed = IGIDISP_SCROLLSTART;
    for (int i = 0; i < frames; i++) {
        sum += speed;
        if (speed < IGIDISP_SCROLLMAX) speed++;
    }
    return sum;
}

TEST_F(GameScreenWorld, EdgesAndArrowKeysScrollFasterUpTo50AndBackAtTheMapsEdge)
{
    StartGame();
    Tick();
    ASSERT_EQ(mapsizex, GENMAP_SIDE);
    EXPECT_EQ(IgiDisp_ScrollSpeed(), IGIDISP_SCROLLSTART);
    Map_SetViewPixelPos(0, 0);
    // The pointer at the right edge: one step a frame, with or without an
    // update, each a pixel longer.
    Input_RawMouseMove(639, 240);
    for (int i = 0; i < 5; i++) Tick(i % 2 ? 10 : 50);
    EXPECT_EQ(std::pair(g_MapView.x, g_MapView.y), std::pair(RampSum(5), 0));
    EXPECT_EQ(IgiDisp_ScrollSpeed(), IGIDISP_SCROLLSTART + 5);
    // Away from the edges it stays and the speed falls back.
    Input_RawMouseMove(320, 240);
    Tick();
    EXPECT_EQ(g_MapView.x, RampSum(5));
    EXPECT_EQ(IgiDisp_ScrollSpeed(), IGIDISP_SCROLLSTART);
    // The down arrow scrolls like the bottom edge.
    Input_RawKey(SC_DOWN, 1, 0);
    Tick();
    Input_RawKey(SC_DOWN, 0, 0);
    EXPECT_EQ(g_MapView.y, IGIDISP_SCROLLSTART);
    // Right, then left without a stop: the speed keeps growing up to 50.
    int top = 0;
    for (int i = 0; i < 45; i++) {
        Input_RawMouseMove(i < 30 ? 639 : 0, 240);
        Tick(10);
        if (IgiDisp_ScrollSpeed() > top) top = IgiDisp_ScrollSpeed();
    }
    EXPECT_EQ(top, IGIDISP_SCROLLMAX);
    EXPECT_EQ(IgiDisp_ScrollSpeed(), IGIDISP_SCROLLMAX);
    // Then the map's corner stops the view.
    Input_RawMouseMove(639, 479);
    for (int i = 0; i < 60; i++) Tick(10);
    EXPECT_EQ(std::pair(g_MapView.x, g_MapView.y), std::pair(kMaxOrigin, kMaxOrigin));
    EXPECT_EQ(IgiDisp_ScrollSpeed(), IGIDISP_SCROLLSTART) << "no move: back to the slider's value";
}

// The scenario's units and standing buildings get their pictures; the view
// shows the lit map where the local team sees and black over the ground it
// has never seen; the picture changes only with an update.
TEST_F(GameScreenWorld, ShowsTheScenariosGameThatMovesOnlyWithUpdates)
{
    StartGame();
    Tick();
    EXPECT_GE(SortDisp_Count(), Units_Count() + Build_Count()) << "every unit and building shown";

    std::vector<uint8_t> first = Shown();
    ASSERT_FALSE(first.empty());
    EXPECT_LT(BlackInTile(first, 8, 10), 10) << "by the local team's guard";
    EXPECT_EQ(BlackInTile(first, 17, 3), 24 * 24) << "never seen";

    Tick(10); // no update: the same picture
    EXPECT_TRUE(Shown() == first);
    for (int i = 0; i < 10; i++) Tick(); // updates: the column moves off
    EXPECT_FALSE(Shown() == first);
    EXPECT_TRUE(Log().find("Game screen: no") == std::string::npos) << Log();
}

// A building destroyed loses its picture with it.
TEST_F(GameScreenWorld, ABuildingGoneLosesItsPicture)
{
    StartGame();
    Tick();
    const int shown = SortDisp_Count();
    BUILDING* depot = Build_FindById(1011);
    ASSERT_NE(depot, nullptr);
    Build_Remove(depot);
    Tick();
    EXPECT_LT(SortDisp_Count(), shown);
    EXPECT_EQ(Build_FindById(1011), nullptr);
}

// After a change of tile set every type's sprites are loaded again, in the
// order the editor reloads them, into the records the placed buildings,
// units and things already show: the frame shows the new looks at once.
TEST_F(GameScreenWorld, ATileSetChangeReloadsEveryTypesSpritesInPlace)
{
    StartGame();
    Tick();
    auto sprites = [] {
        std::vector<const SPRITE*> all;
        for (const ANIMTYPE* a = g_AnimTypeList; a; a = a->next) all.push_back(a->sprite);
        for (int i = 0; i < g_NrBuildingTypes; i++) {
            for (const SPRITE* s : g_BuildingTypes[i].sprite) all.push_back(s);
            all.push_back(g_BuildingTypes[i].shadowsprite);
        }
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            all.push_back(Units_GetTypePtr(i)->menusprite);
            all.push_back(Units_GetTypePtr(i)->shadowsprite);
        }
        for (int i = 0; i < g_NrPartTypes; i++) all.push_back(g_PartTypes[i].sprite);
        for (int i = 0; i < Ovl_NrTypes(); i++) all.push_back(Ovl_GetType(i)->sprite);
        return all;
    };
    const std::vector<const SPRITE*> before = sprites();
    const int count = Sprite_Count();
    auto reload = [] {
        AnimType_ReloadSprites();
        BuildingType_FreeSprites();
        Units_ReloadTypeSprites();
        Tfovl_FreeThingImages();
    };
    // The new tile set's buildings: the same layouts in other colours.
    const std::string graphics = home.file("data/graphics/");
    auto redraw = [&](int id, uint8_t colour, int rotations = -1) {
        GENSPRITE g;
        GenSprite_Build(id, &g);
        for (uint8_t& p : g.pixels)
            if (p) p = colour;
        if (rotations > 0) {
            g.pixels.resize((size_t)g.frames * rotations * g.w * g.h);
            g.hotspots.resize((size_t)g.frames * rotations * g.nrhotspots);
            g.rotations = rotations;
        }
        SPRITE_DESC d = g.Desc();
        ASSERT_TRUE(Sprite_Write((graphics + GenSprite_FileName(id)).c_str(), &d));
    };
    redraw(GENSPRITE_BUILDING, 21);
    redraw(GENSPRITE_FACTORY, 21);
    reload();
    EXPECT_TRUE(sprites() == before) << "every record reloaded in place";
    EXPECT_EQ(Sprite_Count(), count);
    Tick(10); // a frame without an update: only the looks changed
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
    const uint32_t crc = Crc32_Block(pixels, (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    if (crc != 1288823803u) {
        BITMAP frame{const_cast<uint8_t*>(pixels), 0, PLAT_WIDTH, PLAT_HEIGHT};
        Graph_SavePCX("demo_reloaded.pcx", &frame, palette);
    }
    EXPECT_EQ(crc, 1288823803u) << "frame written to demo_reloaded.pcx";

    // A sprite gone or changed in its layout stops the game.
    std::filesystem::remove(graphics + "BLDSHAD.SPR");
    QV_EXPECT_FATAL(reload(), "Unable to reload [BLDSHAD.SPR]");
    redraw(GENSPRITE_BLDSHAD, 1);
    redraw(GENSPRITE_TURRET, 21, 4);
    QV_EXPECT_FATAL(reload(), "Incompatible sprites [TURRET.SPR] and [" + graphics + "TURRET.SPR]");
    EXPECT_TRUE(sprites() == before);
}

// One update of every unit, the searches under their budget.
static void MoveAll()
{
    Pathsrch_Update();
    Units_ProcessAll();
    g_UpdateCount++;
}

// A wall of cliffs across the demo map (rows 32..36, too steep for a tank to
// climb) with a gap two tiles wide: 50 tanks from the north, each sent to
// its own tile south of the wall, all get there through the corridor.
TEST_F(GameScreenWorld, FiftyUnitsWalkThroughACorridorOfTheDemoMap)
{
    StartGame();
    Tick();
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    ASSERT_NE(tank, nullptr);
    for (int y = 32; y <= 36; y++)
        for (int x = 1; x < mapsizex; x++)
            if (x != 34 && x != 35) MAP_ELEMENT_AT(x, y)->altitude = 20;
    Pathsrch_Close();
    Pathsrch_Init();   // the connected regions of the new wall
    // The scenario's own units out of the way: the east base's computer
    // player sends its armed units after what they see, into the corridor.
    std::vector<UNIT*> scenario;
    ITERATOR all;
    Iterate_UnitInitAll(&all);
    while (UNIT* u = Iterate_UnitNext(&all)) scenario.push_back(u);
    for (UNIT* u : scenario) Units_Delete(u);
    std::vector<UNIT*> units;
    std::vector<std::pair<int, int>> goals;
    for (int i = 0; i < 50; i++) {
        UNIT* u = Units_NewAt(tank, 0, -1, 24 + i % 10, 22 + i / 10);
        ASSERT_NE(u, nullptr);
        units.push_back(u);
        u->sorder.nextscantime = INT32_MAX;   // movement alone: no order looks for targets
        goals.push_back({20 + 2 * (i % 10), 54 + 2 * (i / 10)});
        Units_MoveTo(u, goals[i].first, goals[i].second, Units_AllocGroupId());
    }
    const int bound = 2400;   // two minutes of play; they need about 1700 updates on the slow ground
    int n = 0, arrived = 0;
    for (; n < bound && arrived < 50; n++) {
        MoveAll();
        arrived = 0;
        for (size_t i = 0; i < units.size(); i++)
            arrived += Units_IsStationary(units[i]) &&
                       std::pair(units[i]->tilepos.x, units[i]->tilepos.y) == goals[i];
    }
    EXPECT_EQ(arrived, 50) << "after " << n << " updates";
}

// A tank's body stops on the tile where its path turns until it has turned;
// a hovering one turns while it moves on.
TEST_F(GameScreenWorld, GroundUnitsStopToTurnAndHoversTurnWhileMoving)
{
    StartGame();
    Tick();
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    ASSERT_NE(tank, nullptr);
    for (int mode : {MM_GROUND, MM_HOVER}) {
        UNIT* u = Units_NewAt(tank, 0, -1, 40, 30);
        ASSERT_EQ(Units_SetMoveMode(u, mode), 1);
        if (u->basepart) Parts_SetAngle(u->basepart, 0);
        for (UNIT_POS p : {UNIT_POS{41, 30}, UNIT_POS{42, 30}, UNIT_POS{42, 29}, UNIT_POS{42, 28}})
            Path_Append(&u->move.path, p.x, p.y);
        u->move.srchtilepos = {42, 28};
        u->move.pathready = 1;
        u->state = US_WAITFORPATH;
        int stops = 0, n = 0;
        for (; n < 300 && (n == 0 || !Units_IsStationary(u)); n++) {
            MoveAll();
            stops += u->state == US_MOVING && u->move.curspeed == 0 && u->tilepos.x == 42 &&
                     u->pixelpos.x == 42 * 24 && u->pixelpos.y == u->tilepos.y * 24;
        }
        EXPECT_EQ(std::pair(u->tilepos.x, u->tilepos.y), std::pair(42, 28)) << mode;
        if (mode == MM_GROUND)
            EXPECT_GT(stops, 4) << "turning a quarter on the spot";
        else
            EXPECT_EQ(stops, 0) << "no stop on the way";
        Units_Delete(u);
    }
}

TEST_F(GameScreenWorld, MissingFilesAreLoggedAndFramesStillDrawn)
{
    // The game's own files are the scenario's to require; the fog's soft
    // edges may be missing.
    std::filesystem::remove(home.file("data/graphics/fogtile.fog"));
    StartGame();
    Input_RawMouseMove(639, 479);
    for (int i = 0; i < 3; i++) Tick();
    EXPECT_GT(PlatHeadless_Flips(), 0);
    EXPECT_NE(Log().find("Game screen: no fog tiles"), std::string::npos) << Log();
}

} // namespace
