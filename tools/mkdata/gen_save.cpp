// Seeds of the saved-game loader's fuzz target: saves of its fixed world.
#include "gen_save.h"

#include <cstring>

#include "core/gamestate.h"
#include "core/gll.h"
#include "core/rand.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "units/vortex.h"

void Mkdata_SaveWorldOpen(void)
{
    strcpy(g_ScenarioName, "FuzzWorld");
    g_NewMapRequest = MAP_NEWREQUEST{1, 24, 24, 4, 1};
    Map_Load(nullptr);
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    SortDisp_Init();
    Ovl_Init();
    OVERLAYTYPE* rock = Ovl_NewType();
    strcpy(rock->name, "Rock");
    rock->sx = rock->sy = 24;
    rock->level = 2;
    const int at[][2] = {{3, 3}, {4, 3}, {20, 5}, {12, 18}, {19, 20}};
    for (const auto& p : at) Ovl_New(0, -1, -1, 2, nullptr, 24, 24, p[0], p[1]);
    REGION r{51, 0, 24, 24, 240, 120, {}};
    Region_Add(&r);
    r = REGION{52, 1, 300, 300, 72, 0, {5, 0, 0, 0, 0, 0, 0, 0, 9}};
    Region_Add(&r);
    g_MapView = MAPVIEW{48, 72, 2, 3, 0, 0};
    g_UpdateCount = 50;
    Rand_SetPosition(17);
}

void Mkdata_SaveWorldClose(void)
{
    Vortex_Close();   // a save lists the vortices, opening their list
    Region_FreeAll();
    Ovl_FreeAll();
    SortDisp_Close();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>
#include <string>

#include "mkdata.h"
#include "save/save.h"

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_save") return 1;
    Mkdata_SaveWorldOpen();
    std::string tmp = dir + "/save.tmp";
    int ok = Save_Game(tmp.c_str(), 0);
    Mkdata_SaveWorldClose();
    std::string bytes;
    if (ok) {
        FILE* f = fopen(tmp.c_str(), "rb");
        int c;
        while (f && (c = fgetc(f)) != EOF) bytes.push_back((char)c);
        if (f) fclose(f);
        remove(tmp.c_str());
    }
    // The first byte is the target's switch: 1 repairs every CRC.
    for (char flag : {'\0', '\1'}) {
        std::string path = dir + (flag ? "/repaired.sav" : "/plain.sav");
        FILE* f = ok ? fopen(path.c_str(), "wb") : nullptr;
        ok = f && fputc(flag, f) != EOF && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) ok = fclose(f) == 0 && ok;
    }
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(save, "save", nullptr, Seeds);
#endif
