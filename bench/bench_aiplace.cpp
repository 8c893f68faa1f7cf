// A computer team's placement search that finds nothing: a 7 x 7 building
// on a flat 256 x 256 map where one tile in every 11 x 11 block is taken,
// so that every position passes the reserve and exit tests and fails in its
// clearance. The reference runs the same position test at every top-left
// tile in row order. Besides the ratio, one line gives the search's share
// of one update's 50 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "benchsupport.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { SIDE = 256, SPACING = 11 };

// The world, open for one benchmark and closed after it: later benchmarks
// build their own.
struct PlaceWorld {
    AI_Team* team = nullptr;
    BUILDINGTYPE* type = nullptr;
    PlaceWorld()
    {
        g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
        if (!Map_Load(nullptr)) abort();
        Effects_Init();
        Mapgrid_Init();
        Fog_Init();
        Team_SetDefaults();
        Team_InitTeamData();
        Units_InitAll();
        Build_InitAll();
        type = Build_NewType();
        snprintf(type->name, sizeof type->name, "Hall");
        snprintf(type->image[0], sizeof type->image[0], "Hall");
        uint8_t grid[7 * 7 * 2] = {};
        type->footprint = Effects_AddOvlEffect("Hall", 7, 7, grid);
        type->width = type->height = 7;
        for (int y = SPACING / 2; y < SIDE; y += SPACING)
            for (int x = SPACING / 2; x < SIDE; x += SPACING) MAP_ELEMENT_AT(x, y)->effect = 0;
        PREREQ_Init();
        team = AI_Team::New(0, 1);
        team->aibuild.base_x = team->aibuild.base_y = SIDE / 2;
    }
    ~PlaceWorld()
    {
        AI_Team::Delete(team);
        PREREQ_Done();
        Build_CloseAll();
        Units_CloseAll();
        Team_CloseTeamData();
        Fog_Close();
        Mapgrid_Close();
        Effects_Close();
        Map_Free();
    }
};

double s_search_seconds = 0;

// The share line once, after the benchmark's last (longest) run.
void PrintShare(void)
{
    printf("placement search that finds nothing: %.2f ms, %.1f%% of an update's 50 ms\n",
           s_search_seconds * 1e3, s_search_seconds / 0.050 * 100.0);
}

void BM_AiPlacementSearch(benchmark::State& state)
{
    PlaceWorld w;
    int found = 0;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int x, y;
        found += AIBuild_FindNormalFacilityLocation(w.team, w.type, &x, &y, nullptr);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (found) state.SkipWithError("the search found a place");
    if (s_search_seconds == 0) atexit(PrintShare);
    s_search_seconds = total / (double)state.iterations();
}
BENCHMARK(BM_AiPlacementSearch)->Unit(benchmark::kMillisecond);

// The reference: the position test at every top-left tile, row by row.
void BM_AiPlacementEveryTile(benchmark::State& state)
{
    PlaceWorld w;
    int found = 0;
    for (auto _ : state)
        for (int y = 0; y < SIDE; y++)
            for (int x = 0; x < SIDE; x++) found += AIBuild_PositionFits(w.team, w.type, x, y, nullptr);
    if (found) state.SkipWithError("a position passed");
}
BENCHMARK(BM_AiPlacementEveryTile)->Unit(benchmark::kMillisecond);

} // namespace

QV_BENCH_RATIO(aiplace, "placement search ratio (ring search that finds nothing / test at every tile)",
               "BM_AiPlacementSearch", "BM_AiPlacementEveryTile");
