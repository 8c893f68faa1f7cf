// A full redraw of the map view against two plain copies of its bytes in the
// same run: the terrain copied out of the (warm) terrain cache plus 200
// sprites through the display list, versus memcpy of 456 x 456 bytes twice.
// The ratio line after the table goes to docs/performance.md.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "gen_map.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/video.h"

namespace {

enum { SPRITES = 200, ORIGIN_X = 517, ORIGIN_Y = 331 };

// Files written into /tmp once per process, removed at exit.
std::vector<std::string>& TempFiles()
{
    static std::vector<std::string> files;
    return files;
}

std::string TempPath(const std::string& name)
{
    std::string p = "/tmp/bench_view-" + std::to_string((long)getpid()) + "-" + name;
    if (TempFiles().empty()) atexit([] {
            for (const std::string& f : TempFiles()) unlink(f.c_str());
        });
    TempFiles().push_back(p);
    return p;
}

SPRITE* LoadDemoSprite(int id)
{
    GENSPRITE g;
    GenSprite_Build(id, &g);
    SPRITE_DESC d = g.Desc();
    std::string path = TempPath(GenSprite_FileName(id));
    if (!Sprite_Write(path.c_str(), &d)) abort();
    SPRITE* s = Sprite_Load(path.c_str());
    if (!s) abort();
    return s;
}

// The demo world on the headless display, the view at an origin with an
// offset on both axes, and 200 demo sprites spread over the view (some cut
// by its edges), of every kind, facing every way, in team colours.
void SetUpWorld()
{
    static bool done = false;
    if (done) return;
    done = true;
    Tlog_SetMask(TLOG_ERROR);
    Plat_InitWith(&g_PlatHeadless);
    Cfg_SetDefaults(&g_Config);
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    std::string til = GenTile_Bytes(*set), tilpath = TempPath("DEMO.til");
    if (!Fs_WriteAtomic(tilpath.c_str(), til.data(), til.size()) || !Tile_LoadInfo(tilpath.c_str()))
        abort();
    if (!GenMap_BuildDemo()) abort();
    Terrain_SetLight(-2, -1, 2, 140, 40);
    QvBench_SortDispOnce();
    const int ids[] = {GENSPRITE_UNITBODY, GENSPRITE_TURRET,   GENSPRITE_SHADOW,
                       GENSPRITE_TREE,     GENSPRITE_EXPLODE,  GENSPRITE_BUILDING,
                       GENSPRITE_LIGHT,    GENSPRITE_CRATER};
    std::vector<SPRITE*> sprites;
    for (int id : ids) sprites.push_back(LoadDemoSprite(id));
    uint32_t r = 2463534242u;
    for (int i = 0; i < SPRITES; i++) {
        r ^= r << 13;
        r ^= r >> 17;
        r ^= r << 5;
        SPRITE* s = sprites[i % sprites.size()];
        const int x = ORIGIN_X - 20 + (int)(r % (MAPVIEW_SIZE + 40));
        const int y = ORIGIN_Y - 20 + (int)((r >> 12) % (MAPVIEW_SIZE + 40));
        SortDisp_NewElement(s, nullptr, i % 8, (int)(r >> 24) % Sprite_NrFrames(s),
                            (int)(r >> 8) & 255, x, y, 2 + i % 6, 0);
    }
}

} // namespace

void QvBench_ViewWorld(int* originx, int* originy)
{
    SetUpWorld();
    *originx = ORIGIN_X;
    *originy = ORIGIN_Y;
}

namespace {

// The display is open only while the redraw runs: what draws after it in the
// same process (the widget desktop) opens its own.
void BM_ViewRedraw(benchmark::State& state)
{
    SetUpWorld();
    Video_Init();
    Map_SetViewPixelPosRedraw(ORIGIN_X, ORIGIN_Y);
    Map_DrawView(); // fills the cache: the frames below copy from it
    for (auto _ : state) {
        Map_DrawView();
        SortDisp_DrawAll();
        benchmark::ClobberMemory();
    }
    Video_Close();
    state.SetBytesProcessed((int64_t)state.iterations() * MAPVIEW_SIZE * MAPVIEW_SIZE);
}
BENCHMARK(BM_ViewRedraw);

void BM_ViewCopies(benchmark::State& state)
{
    const size_t n = (size_t)MAPVIEW_SIZE * MAPVIEW_SIZE;
    static std::vector<uint8_t> a(n, 0x5A), b(n, 0x33), c(n, 0x77);
    for (auto _ : state) {
        memcpy(b.data(), a.data(), n);
        memcpy(c.data(), b.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)n);
}
BENCHMARK(BM_ViewCopies);

} // namespace

QV_BENCH_RATIO(view, "view redraw ratio (view + 200 sprites / two view copies)", "BM_ViewRedraw",
               "BM_ViewCopies");
