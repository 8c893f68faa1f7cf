// The map view's markers over the view's world: 100 selected units with
// both bars and hold boxes and 20 producing buildings with their state text
// and bar, against the bare redraw of the same view (BM_ViewRedraw) in the
// same run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/utils.h"
#include "core/gamestate.h"
#include "gen_palette.h"
#include "gen_screen.h"
#include "map/fog.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "ui/igi.h"
#include "ui/igimark.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { UNITS = 100, BUILDINGS = 20 };

std::vector<BUILDING*> s_Buildings;

// The units and buildings of team 0 over the view, made once.
void SetUpMarked(int ox, int oy)
{
    static bool done = false;
    if (done) return;
    done = true;
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    g_LocalTeam = 0;
    UNITTYPE* t = Units_NewType();
    BUILDINGTYPE* bt = Build_NewType();
    if (!t || !bt) abort();
    snprintf(t->symbolid, sizeof t->symbolid, "Carrier");
    snprintf(t->description, sizeof t->description, "Carrier");
    t->hold = 4;
    t->abilities.canveteran = 1;
    t->veteraninfo.n = 100;
    snprintf(bt->description, sizeof bt->description, "Works");
    bt->width = bt->height = 2;
    bt->pixelw = bt->pixelh = 48;
    bt->maxhitpoints = 500;
    bt->rooms[0] = 4;
    const int tx = ox / 24 + 1, ty = oy / 24 + 1;
    for (int i = 0; i < BUILDINGS; i++) {
        BUILDING* b = Build_New(bt, 0, -1, tx + (i % 5) * 3, ty + (i / 5) * 4);
        if (!b) abort();
        b->state = BS_PRODUCING;
        b->unittypetobuild = t;
        b->prodtime = 1000;
        b->prodleft = 10 * i;
        b->hitpoints = 25 * i;
        s_Buildings.push_back(b);
    }
    for (int i = 0; i < UNITS; i++) {
        UNIT* u = Units_NewAt(t, 0, -1, tx + (i % 10) * 2 % 18, ty + 2 + (i / 10) * 2 % 16);
        if (!u) abort();
        u->hitpoints = i % 60;
        u->experience = (uint32_t)i;
        Units_ListAppend(&igi_nfo.selected, u, u->id);
    }
}

void BM_MapMarkers(benchmark::State& state)
{
    int ox, oy;
    QvBench_ViewWorld(&ox, &oy);
    static std::string dir;
    if (dir.empty()) {
        dir = "/tmp/bench_marks-" + std::to_string((long)getpid());
        if (system(("mkdir -p " + dir).c_str()) != 0) abort();
        PALINFO pal;
        Mkdata_DemoPalette(&pal);
        if (!GenScreen_WriteAll(dir, pal.colours)) abort();
        atexit([] {
            if (system(("rm -rf " + dir).c_str()) != 0) return;
        });
    }
    Str_CopySafe(g_InterfaceDir, dir.c_str(), sizeof g_InterfaceDir);
    Video_Init();
    Igi_Init();
    SetUpMarked(ox, oy);
    Map_SetViewPixelPosRedraw(ox, oy);
    igi_nfo.firstunit = igi_nfo.selected.head ? igi_nfo.selected.head->u.unit : nullptr;
    igi_nfo.sbuild = s_Buildings[0];
    BITMAP* dst = Backbuf_Lock();
    const GRECT clip = {0, 32, 448, 448};
    for (auto _ : state) {
        IgiMark_DrawOverlays(dst, &clip, 0, 0, 0);
        for (size_t i = 1; i < s_Buildings.size(); i++) IgiMark_DrawBuilding(dst, &clip, s_Buildings[i], 0);
        benchmark::ClobberMemory();
    }
    igi_nfo.firstunit = nullptr;
    igi_nfo.sbuild = nullptr;
    Igi_Close();
    Video_Close();
}
BENCHMARK(BM_MapMarkers);

} // namespace

QV_BENCH_RATIO(marks, "map markers (100 units, 20 buildings / view redraw)", "BM_MapMarkers", "BM_ViewRedraw");
