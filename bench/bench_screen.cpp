// One game-screen frame over the map view's world (200 sprites) against that
// view's redraw with the fog over it, in the same run: (a) every zone dirty
// and a minimap refresh, (b) only the map view dirty.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "gen_palette.h"
#include "gen_screen.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/igiminimap.h"
#include "units/team.h"

namespace {

int s_OriginX, s_OriginY;

// The world with the local team's sight over part of the view, so that the
// fog has edges to draw.
void SetUpSight()
{
    static bool done = false;
    QvBench_ViewWorld(&s_OriginX, &s_OriginY);
    if (done) return;
    done = true;
    Team_SetDefaults();
    g_LocalTeam = 0;
    Fog_Init();
    static SEEMAP seen[6];
    for (int i = 0; i < 6; i++) {
        memset(&seen[i], 0, sizeof seen[i]);
        Fog_Sweep(&seen[i], s_OriginX / 24 + 3 + 3 * i, s_OriginY / 24 + 4 + 2 * i, 6, 1, 0);
    }
}

// The interface over that world: its pictures and fonts written to /tmp.
void OpenScreen()
{
    static std::string dir;
    if (dir.empty()) {
        dir = "/tmp/bench_screen-" + std::to_string((long)getpid());
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
    Map_SetViewPixelPosRedraw(s_OriginX, s_OriginY);
}

void CloseScreen()
{
    Igi_Close();
    Video_Close();
}

void BM_ScreenFrameAllDirty(benchmark::State& state)
{
    SetUpSight();
    OpenScreen();
    IgiDisp_Update();
    for (auto _ : state) {
        Igidisp_SetDirty();
        IgiDisp_RefreshMinimap();
        IgiDisp_Update();
        benchmark::ClobberMemory();
    }
    CloseScreen();
}
BENCHMARK(BM_ScreenFrameAllDirty);

void BM_ScreenFrameMapOnly(benchmark::State& state)
{
    SetUpSight();
    OpenScreen();
    IgiDisp_Update();
    for (auto _ : state) {
        IgiDisp_Update();
        benchmark::ClobberMemory();
    }
    CloseScreen();
}
BENCHMARK(BM_ScreenFrameMapOnly);

void BM_ViewRedrawWithFog(benchmark::State& state)
{
    SetUpSight();
    Video_Init();
    Map_SetViewPixelPosRedraw(s_OriginX, s_OriginY);
    Map_DrawView();
    for (auto _ : state) {
        Map_DrawView();
        SortDisp_DrawAll();
        Fog_Draw(0);
        benchmark::ClobberMemory();
    }
    Video_Close();
}
BENCHMARK(BM_ViewRedrawWithFog);

} // namespace

QV_BENCH_RATIO(screenall, "game screen, every zone and the minimap (frame / view + fog)",
               "BM_ScreenFrameAllDirty", "BM_ViewRedrawWithFog");
QV_BENCH_RATIO(screenmap, "game screen, the map view only (frame / view + fog)",
               "BM_ScreenFrameMapOnly", "BM_ViewRedrawWithFog");
