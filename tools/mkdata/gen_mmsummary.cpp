// The multiplayer maps' summaries ("QUORVEX.mm"), written as the editor
// writes them: each scenario of the run directory's MULTI (and one of its
// CAMPAIGN) category read as a
// game reads it (no display, no computer players), then summarised with a
// picture of one pixel a tile, coloured by the tile's corner terrains.
#include <cstdio>
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

static int Demo(const std::string& rundir)
{
    Cfg_SetDefaults(&g_Config);
    g_Config.disableai = 1;
    // The thumbnails are greyed in the palette the menus draw them with.
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    Game_SetDirectories(rundir.c_str(), "data", "", "save", "scenario");
    for (const auto& m : kMaps) {
        Game_SetScenarioCategory(m.category);
        if (!Summarise(rundir, m.name)) return 0;
    }
    return 1;
}

// `mkdata seeds mmsummary <run directory>/scenario/MULTI/<map>`: the summary
// of a multiplayer map that tests make up.
static int OneMap(const std::string& target, const std::string& dir)
{
    if (target != "mmsummary") return 1;
    const size_t slash = dir.find_last_of('/');
    const std::string up = "/scenario/MULTI";
    if (slash == std::string::npos || slash < up.size() || dir.compare(slash - up.size(), up.size(), up) != 0) {
        fprintf(stderr, "mkdata: [%s] is no map folder of a run directory's MULTI category\n", dir.c_str());
        return 0;
    }
    const std::string rundir = dir.substr(0, slash - up.size());
    Cfg_SetDefaults(&g_Config);
    g_Config.disableai = 1;
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    Game_SetDirectories(rundir.c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_MULTI);
    return Summarise(rundir, dir.substr(slash + 1).c_str());
}

MKDATA_REGISTER(mmsummary, "mmsummary", Demo, OneMap, 1);
