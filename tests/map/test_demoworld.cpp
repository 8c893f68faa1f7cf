// The demo driver run through the real frame loop on the headless backend:
// it shows the demo world and scrolls while the pointer rests at an edge,
// one step per update.
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
#include "demo/demoworld.h"
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

namespace {

const int kMaxOrigin = GENMAP_SIDE * 24 - MAPVIEW_SIZE;

class DemoDriver : public testing::Test {
protected:
    QvTempDir home;
    QvLogCapture log;
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        Input_Init();
        Video_Init();
        InitCommonGameSystems();
        Game_StartTimer();
        DemoWorld_Install();
    }
    void TearDown() override
    {
        DemoWorld_Unload();
        CloseCommonGameSystems();
        DemoWorld_Close();
        Display_FreeTerrainBuffer();
        Video_Close();
        Input_Close();
        Plat_Close();
        Map_SetViewPixelPos(0, 0);
    }
    std::string Log() const { return log.text(); }

    // The files `mkdata demo` writes for the world, from the same generators.
    void WriteWorld()
    {
        namespace fs = std::filesystem;
        const std::string graphics = home.file("data/graphics");
        fs::create_directories(graphics + "/DEMO");
        home.write("data/graphics/fogtile.fog", GenFog_Bytes());
        fs::create_directories(home.file("scenario/SINGLE/DEMO"));
        auto set = std::make_unique<GENTILE_SET>();
        GenTile_DemoSet(set.get());
        home.write("data/graphics/DEMO/DEMO.til", GenTile_Bytes(*set));
        PALINFO pal;
        Mkdata_DemoPalette(&pal);
        ASSERT_TRUE(Palstuff_Write((graphics + "/DEMO/DEMO.pal").c_str(), &pal));
        ASSERT_EQ(GenMap_BuildDemo(), 1);
        ASSERT_EQ(Map_Save(g_ScenarioMapPath), 1);
        Map_Free();
        for (int id = 0; id < GENSPRITE_COUNT; id++) {
            GENSPRITE s;
            GenSprite_Build(id, &s);
            SPRITE_DESC d = s.Desc();
            ASSERT_TRUE(Sprite_Write((graphics + "/" + GenSprite_FileName(id)).c_str(), &d));
        }
        // The demo's own rule files.
        fs::create_directories(home.file("data/deftxt"));
        for (const char* name : {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt", "overlay.txt",
                                 "build.txt", "general.txt"})
            fs::copy_file(std::string(QV_DEMO_DEFTXT) + "/" + name, home.file("data/deftxt/") + name);
        fs::copy_file(std::string(QV_DEMO_DEFTXT) + "/../graphics/DEMO/trneff.txt",
                      home.file("data/graphics/DEMO/trneff.txt"));
        fs::copy_file(std::string(QV_DEMO_DEFTXT) + "/units.txt", home.file("data/deftxt/units.txt"));
    }
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

TEST_F(DemoDriver, PointerRestingAtAnEdgeScrollsOneStepPerUpdateUpToTheMapsEdges)
{
    WriteWorld();
    Tick(); // the world loads
    ASSERT_EQ(mapsizex, GENMAP_SIDE);

    const int S = DEMO_SCROLL_STEP, far = kMaxOrigin / S + 5;
    // Where the pointer rests, for how many frames of how many ms, and the
    // origin after: frames without an update don't move it, the corners
    // scroll both ways, away from the edges it stays, and the map's edges
    // stop it.
    const struct {
        int px, py, frames, ms, x, y;
    } rows[] = {{639, 240, 10, 50, 10 * S, 0},
                {639, 240, 4, 10, 10 * S, 0},
                {0, 479, 3, 50, 7 * S, 3 * S},
                {320, 240, 3, 50, 7 * S, 3 * S},
                {639, 479, far, 50, kMaxOrigin, kMaxOrigin},
                {0, 0, far, 50, 0, 0}};
    for (const auto& r : rows) {
        Input_RawMouseMove(r.px, r.py);
        for (int i = 0; i < r.frames; i++) Tick((uint32_t)r.ms);
        EXPECT_EQ(std::pair(g_MapView.x, g_MapView.y), std::pair(r.x, r.y)) << r.px << "," << r.py;
    }
}

TEST_F(DemoDriver, ShowsTheMapWithThingsThatMoveOnlyWithUpdates)
{
    WriteWorld();
    Tick();
    EXPECT_GT(SortDisp_Count(), Ovl_Count() + 8) << "units, a building, an explosion";

    // The view shows the lit map where the local team sees, and black over
    // the ground it has never seen.
    std::vector<uint8_t> first = Shown();
    ASSERT_FALSE(first.empty());
    EXPECT_LT(BlackInTile(first, 9, 9), 10) << "around the local team's first unit";
    EXPECT_EQ(BlackInTile(first, 17, 17), 24 * 24) << "never seen";

    Tick(10); // no update: the same picture
    EXPECT_TRUE(Shown() == first);
    Tick(40); // an update: the explosion and the turrets move on
    EXPECT_FALSE(Shown() == first);
    EXPECT_TRUE(Log().find("Demo world: no") == std::string::npos) << Log();
}

TEST_F(DemoDriver, BuildingsOfTwoTeamsUnderTheFogThatFollowsThePatrol)
{
    WriteWorld();
    Tick();
    // The patrolling unit leaves ground behind that stays explored but is
    // no longer seen.
    UNIT* patrol = nullptr;
    ITERATOR it;
    Iterate_UnitInit(&it, 0, 0, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (!patrol || u->tilepos.x > patrol->tilepos.x) patrol = u;
    ASSERT_NE(patrol, nullptr);
    const int x0 = patrol->tilepos.x;
    for (int i = 0; i < 8 * 8; i++) Tick();
    EXPECT_GT(patrol->tilepos.x, x0 + 2) << "it walks east";
    int fogged = 0;
    for (int y = 1; y < mapsizey; y++)
        for (int x = 1; x < mapsizex; x++) fogged += Fog_IsExplored(x, y, 0) && !Fog_IsSeen(x, y, 0);
    EXPECT_GT(fogged, 0) << "ground the patrol saw and left";
    EXPECT_FALSE(Fog_IsSeen(30, 30, 0)) << "the other team's far unit";
}

// The two units of both teams near the start view: their turrets turn to
// each other and fire, and the frame after 60 updates is the recorded one.
TEST_F(DemoDriver, UnitsAreDrawnByTheirPartsWithTurretsTurnedToEachOther)
{
    WriteWorld();
    Tick();
    // The other team's near unit, and the local unit nearest to it.
    UNIT* a = nullptr;
    UNIT* b = nullptr;
    ITERATOR it;
    for (int team : {1, 0}) {
        Iterate_UnitInit(&it, team, 0, MM_ALL);
        while (UNIT* u = Iterate_UnitNext(&it)) {
            UNIT*& pick = team == 1 ? b : a;
            int d = team == 1 ? u->tilepos.x : std::abs(u->tilepos.x - b->tilepos.x) + std::abs(u->tilepos.y - b->tilepos.y);
            int best = !pick ? 1 << 30 : team == 1 ? pick->tilepos.x : std::abs(pick->tilepos.x - b->tilepos.x) + std::abs(pick->tilepos.y - b->tilepos.y);
            if (d < best) pick = u;
        }
    }
    ASSERT_TRUE(a && b && a->basepart && b->basepart);
    for (int i = 0; i < 60; i++) Tick();
    const PART* ta = a->basepart->partup;
    const PART* tb = b->basepart->partup;
    ASSERT_TRUE(ta && tb);
    const int facingab = (Util_VectorAngle((float)(b->pixelpos.x - a->pixelpos.x),
                                           (float)(b->pixelpos.y - a->pixelpos.y)) >> 16) & 255;
    EXPECT_NEAR((ta->angle >> 16) & 255, facingab, 1);
    EXPECT_NEAR((tb->angle >> 16) & 255, (facingab + 128) & 255, 1);
    EXPECT_GT(Projectile_Count(), 0) << "they fire";
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
    const uint32_t crc = Crc32_Block(pixels, (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    if (crc != 3778629464u) {
        BITMAP frame{const_cast<uint8_t*>(pixels), 0, PLAT_WIDTH, PLAT_HEIGHT};
        Graph_SavePCX("demo_units.pcx", &frame, palette);
    }
    EXPECT_EQ(crc, 3778629464u) << "frame written to demo_units.pcx";
}

// The team-1 building the local team's vortex gun shells, seen through the
// real frame loop: its charge in flight among the duel's shots and blasts,
// then the vortex it leaves over the building and the fire the hit starts.
TEST_F(DemoDriver, TheVortexGunShellsABuildingThatBurns)
{
    WriteWorld();
    Tick();
    BUILDING* depot = nullptr;
    for (int y = 0; y < mapsizey && !depot; y++)
        for (int x = 0; x < mapsizex && !depot; x++)
            if (BUILDING* b = Build_AtTile(x, y); b && b->team == 1 && Fog_IsSeen(x, y, 0)) depot = b;
    ASSERT_NE(depot, nullptr);
    const int full = depot->hitpoints;
    const struct {
        int update;
        const char* shows;
        int projectiles, vortices, burning;
        uint32_t crc;
    } rows[] = {
        {30, "the charge in flight", 1, 0, 0, 182508168u},
        {50, "a vortex over the burning building", 1, 1, 1, 543619293u},
    };
    int update = 0;
    for (const auto& r : rows) {
        while (update < r.update) Tick(), update++;
        EXPECT_EQ(Projectile_Count() >= 1, r.projectiles == 1) << r.shows;
        EXPECT_GT(Expl_Count(), 0) << r.shows;
        EXPECT_EQ(Vortex_Count(), r.vortices) << r.shows;
        EXPECT_EQ(Expl_ValidExpl(&depot->explosion), r.burning) << r.shows;
        EXPECT_EQ(depot->hitpoints < full, r.burning == 1) << r.shows;
        const uint8_t* pixels = nullptr;
        const PAL_RGB* palette = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
        const uint32_t crc = Crc32_Block(pixels, (size_t)PLAT_WIDTH * PLAT_HEIGHT);
        const std::string file = "demo_vortex_" + std::to_string(r.update) + ".pcx";
        if (crc != r.crc) {
            BITMAP frame{const_cast<uint8_t*>(pixels), 0, PLAT_WIDTH, PLAT_HEIGHT};
            Graph_SavePCX(file.c_str(), &frame, palette);
        }
        EXPECT_EQ(crc, r.crc) << r.shows << ": frame written to " << file;
    }
}

// After a change of tile set every type's sprites are loaded again, in the
// order the editor reloads them, into the records the placed buildings,
// units and things already show: the frame shows the new looks at once.
TEST_F(DemoDriver, ATileSetChangeReloadsEveryTypesSpritesInPlace)
{
    WriteWorld();
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
    if (crc != 3263068949u) {
        BITMAP frame{const_cast<uint8_t*>(pixels), 0, PLAT_WIDTH, PLAT_HEIGHT};
        Graph_SavePCX("demo_reloaded.pcx", &frame, palette);
    }
    EXPECT_EQ(crc, 3263068949u) << "frame written to demo_reloaded.pcx";

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
TEST_F(DemoDriver, FiftyUnitsWalkThroughACorridorOfTheDemoMap)
{
    WriteWorld();
    Tick();
    UNITTYPE* tank = Units_SymToTypePtr("DemoTank");
    ASSERT_NE(tank, nullptr);
    for (int y = 32; y <= 36; y++)
        for (int x = 1; x < mapsizex; x++)
            if (x != 34 && x != 35) MAP_ELEMENT_AT(x, y)->altitude = 20;
    Pathsrch_Close();
    Pathsrch_Init();   // the connected regions of the new wall
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
TEST_F(DemoDriver, GroundUnitsStopToTurnAndHoversTurnWhileMoving)
{
    WriteWorld();
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

TEST_F(DemoDriver, LoadingAgainReplacesTheThingsInsteadOfAddingToThem)
{
    WriteWorld();
    Tick();
    const int elements = SortDisp_Count(), things = Ovl_Count(), sprites = Sprite_Count();
    ASSERT_GT(elements, 0);
    auto counts = [] {
        return std::vector<int>{SortDisp_Count(), Ovl_Count(), Sprite_Count(), Units_Count(),
                                Build_Count()};
    };
    DemoWorld_Load();
    EXPECT_EQ(counts(), (std::vector<int>{elements, things, sprites, 5, 3}));
    // The types too: the terrain's two effects tables, the files' two thing
    // types, six unit and four building types.
    EXPECT_EQ(Effects_NrTables() * 10 + Ovl_NrTypes(), 22);
    EXPECT_EQ(Units_UnitTypeCount() * 10 + g_NrBuildingTypes, 64);
    EXPECT_NE(Effects_FindType("BUILDING.SPR"), nullptr);
    DemoWorld_Unload();
    EXPECT_EQ(counts(), std::vector<int>(5, 0));
}

TEST_F(DemoDriver, MissingFilesAreLoggedAndFramesStillDrawn)
{
    // An empty home: no map, tile set, palette or sprites.
    Input_RawMouseMove(639, 479);
    for (int i = 0; i < 3; i++) Tick();
    EXPECT_GT(PlatHeadless_Flips(), 0);
    for (const char* what : {"map", "tile set", "terrain palette"})
        EXPECT_NE(Log().find(std::string("Demo world: no ") + what), std::string::npos) << Log();
}

} // namespace
