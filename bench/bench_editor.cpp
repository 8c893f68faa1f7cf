// The editor's zoomed big map at zoom 4 (76 x 76 = 5,776 tiles of a
// 200 x 200 map) against drawing and lighting the same tiles into one
// 24 x 24 bitmap in the same run: what the shrinking costs on top. Edge
// scrolling at zoom 4 redraws it every frame.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "benchsupport.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "gen_palette.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"

namespace {

enum { SIDE = 200, ZOOM = 4, TILES = MEBIGMAP_TILES * ZOOM };

void SetUpEditorMap()
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
    const std::string bytes = GenTile_Bytes(*set);
    const std::string path = "/tmp/bench_editor-" + std::to_string((long)getpid()) + ".til";
    if (!Fs_WriteAtomic(path.c_str(), bytes.data(), bytes.size()) || !Tile_LoadInfo(path.c_str())) abort();
    unlink(path.c_str());
    g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
    if (!Map_Load(nullptr)) abort();
    for (int y = 0; y < SIDE; y++)
        for (int x = 0; x < SIDE; x++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            e->tile = (uint32_t)((x / 5 + y / 7) % 6) * 0x1111u | (uint32_t)((x * 7 + y) % 8) << 18;
            e->altitude = (uint32_t)((x * y) % 9 + 2);
        }
    Terrain_LightAll();
    Display_CreateTerrainBuffer();
    Graph_InitBitmap(&g_MeEditor.scratch, 24, 24, nullptr);
    g_MeEditor.view.zoom = ZOOM;
    Map_SetViewPixelPosZoom(24 * 50, 24 * 60, ZOOM);
}

void BM_EditorZoomedRedraw(benchmark::State& state)
{
    SetUpEditorMap();
    for (auto _ : state) {
        MeBigMap::RedrawZoomed(1, 0, 0, 0, 0);
        benchmark::DoNotOptimize(Display_TerrainBuffer()->data[0]);
    }
}
BENCHMARK(BM_EditorZoomedRedraw);

void BM_EditorTilesUnscaled(benchmark::State& state)
{
    SetUpEditorMap();
    BITMAP tile{};
    Graph_InitBitmap(&tile, 24, 24, nullptr);
    for (auto _ : state) {
        for (int c = 0; c < TILES; c++)
            for (int r = 0; r < TILES; r++) {
                const int x = g_MapView.tilex + c, y = g_MapView.tiley + r;
                Tile_Draw(MAP_ELEMENT_AT(x, y)->tile, &tile, 0);
                Terrain_LightTile(x, y, &tile);
            }
        benchmark::DoNotOptimize(tile.data[0]);
    }
    Graph_FreeBitmap(&tile);
}
BENCHMARK(BM_EditorTilesUnscaled);

} // namespace

QV_BENCH_RATIO(editorzoom, "editor zoom 4 redraw ratio (zoomed view / the same tiles unscaled)",
               "BM_EditorZoomedRedraw", "BM_EditorTilesUnscaled");
