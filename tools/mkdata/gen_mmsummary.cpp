// The multiplayer maps' summaries ("QUORVEX.mm"), written as the editor
// writes them: each scenario of the run directory's MULTI (and one of its
// CAMPAIGN) category read as a
// game reads it (no display, no computer players), then summarised with a
// picture of one pixel a tile, coloured by the tile's corner terrains.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/systems.h"
#include "map/map.h"
#include "gen_palette.h"
#include "mkdata.h"
#include "multi/mmsummary.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "rules/scenario.h"

static const struct {
    int category;
    const char* name;
} kMaps[] = {{SC_MULTI, "DUEL"}, {SC_MULTI, "QUAD"}, {SC_MULTI, "MELEE"}, {SC_CAMPAIGN, "OUTPOST"}};

static int Summarise(const std::string& rundir, const char* name)
{
    Game_SetScenarioName(name);
    InitCommonGameSystems();
    Scenario_Load(nullptr);
    BITMAP picture{};
    int ok = Graph_InitBitmap(&picture, mapsizex, mapsizey, nullptr);
    for (int y = 0; ok && y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const uint32_t corners = MAP_ELEMENT_AT(x, y)->tile & 0xFFFF;
            picture.data[y * mapsizex + x] = (uint8_t)(96 + 16 * ((corners & 0xF) % 10) + 8);
        }
    ok = ok && Mm_Save(g_ScenarioMmPath, &picture);
    Graph_FreeBitmap(&picture);
    CloseCommonGameSystems();
    if (!ok) fprintf(stderr, "mkdata: cannot summarise [%s] in [%s]\n", name, rundir.c_str());
    return ok;
}

// Settings as a game reads a scenario, in the run directory rundir.
static void Prepare(const std::string& rundir)
{
    Cfg_SetDefaults(&g_Config);
    g_Config.disableai = 1;
    // The thumbnails are greyed in the palette the menus draw them with.
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    Game_SetDirectories(rundir.c_str(), "data", "", "save", "scenario");
}

static int Demo(const std::string& rundir)
{
    Prepare(rundir);
    for (const auto& m : kMaps) {
        Game_SetScenarioCategory(m.category);
        if (!Summarise(rundir, m.name)) return 0;
    }
    return 1;
}

// `mkdata seeds mmsummary RUNDIR/scenario/MULTI/NAME`: the summary of a
// scenario that a test copied into the multiplayer category of a run
// directory of its own.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "mmsummary") return 1;
    std::filesystem::path folder = std::filesystem::absolute(dir).lexically_normal();
    if (folder.filename().empty()) folder = folder.parent_path();
    const std::filesystem::path rundir = folder.parent_path().parent_path().parent_path();
    Prepare(rundir.string());
    Game_SetScenarioCategory(SC_MULTI);
    return Summarise(rundir.string(), folder.filename().string().c_str());
}

MKDATA_REGISTER(mmsummary, "mmsummary", Demo, Seeds, 1);
