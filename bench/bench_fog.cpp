// Sight for 1000 moving viewers on a 256 x 256 map, one update: each viewer's
// sight is unswept, the viewer steps one tile and its sight is swept again.
//
// The reference is clearing the sight counts of every team and level once
// (9 x 2 x 256 x 256 16-bit counts): the least that any scheme recomputing
// sight from scratch each update would pay before it counted a single tile.
// The ratio says how many such clears one update of incremental sweeps costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "benchsupport.h"
#include "map/fog.h"
#include "map/map.h"
#include "units/team.h"

namespace {

const int SIDE = 256;
const int VIEWERS = 1000;

struct VIEWER {
    int x, y, dx, dy, radius;
    SEEMAP seemap;
};

uint32_t s_rand = 2024;
int Next(int n)
{
    s_rand = s_rand * 1664525u + 1013904223u;
    return (int)((s_rand >> 8) % (uint32_t)n);
}

// Rolling hills (altitudes 2..17) so that lines of sight are cut, teams with
// the defaults plus one alliance, and the viewers spread over four teams.
std::vector<VIEWER> OpenWorld(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
    if (!Map_Load(nullptr)) abort();
    for (int y = 0; y < SIDE; y++)
        for (int x = 0; x < SIDE; x++)
            MAP_ELEMENT_AT(x, y)->altitude = (uint32_t)(2 + (x * 3 / 7 + y * 5 / 11) % 16);
    Team_SetDefaults();
    teamdata[0].relation[1] = teamdata[1].relation[0] = TR_ALLY;
    Fog_Init();
    std::vector<VIEWER> v(VIEWERS);
    for (int i = 0; i < VIEWERS; i++) {
        VIEWER& w = v[i];
        w.x = 1 + Next(SIDE - 1);
        w.y = 1 + Next(SIDE - 1);
        w.dx = Next(3) - 1;
        w.dy = Next(3) - 1;
        w.radius = 5 + Next(4);
        memset(&w.seemap, 0, sizeof w.seemap);
        Fog_Sweep(&w.seemap, w.x, w.y, w.radius, 1, i % 4);
    }
    return v;
}

void BM_FogUpdate(benchmark::State& state)
{
    std::vector<VIEWER> v = OpenWorld();
    for (auto _ : state) {
        for (int i = 0; i < VIEWERS; i++) {
            VIEWER& w = v[i];
            Fog_Unsweep(&w.seemap);
            if (w.x + w.dx < 1 || w.x + w.dx >= SIDE) w.dx = -w.dx;
            if (w.y + w.dy < 1 || w.y + w.dy >= SIDE) w.dy = -w.dy;
            w.x += w.dx;
            w.y += w.dy;
            Fog_Sweep(&w.seemap, w.x, w.y, w.radius, 1, i % 4);
        }
        benchmark::DoNotOptimize(Fog_SeenCount(v[0].x, v[0].y, 0));
    }
    for (VIEWER& w : v) Fog_Unsweep(&w.seemap);
    Fog_Close();
    Map_Free();
}
BENCHMARK(BM_FogUpdate)->Unit(benchmark::kMicrosecond);

void BM_FogClearCounts(benchmark::State& state)
{
    std::vector<uint16_t> counts((size_t)TEAM_MAXTEAMS * 2 * SIDE * SIDE);
    for (auto _ : state) {
        memset(counts.data(), 0, counts.size() * sizeof counts[0]);
        benchmark::DoNotOptimize(counts.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FogClearCounts)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(fogupdate, "sight update ratio (1000 viewers' sweeps / one clear of the counts)",
               "BM_FogUpdate", "BM_FogClearCounts");
