// Walking 2000 units through the map-grid iterator (the whole 256 x 256 map,
// one team) against a loop over a plain vector of the same units, both
// summing the hit points: what the cell walk and the filters cost over
// touching the units themselves.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "benchsupport.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

const int UNITS = 2000;

const std::vector<UNIT*>& World() { return QvBench_UnitWorld(); }

void BM_UnitsMapGridIterate(benchmark::State& state)
{
    World();
    long met = 0;
    for (auto _ : state) {
        ITERATOR it;
        long sum = 0;
        met = 0;
        Iterate_UnitInitMapGrid(&it, 0, 0, MM_ALL, 0, 0, mapsizex - 1, mapsizey - 1);
        while (UNIT* u = Iterate_UnitNextMapGrid(&it)) sum += u->hitpoints, met++;
        benchmark::DoNotOptimize(sum);
    }
    // A walk over a world that something else changed measures nothing.
    if (met != UNITS) state.SkipWithError("the grid walk did not meet every unit");
}
BENCHMARK(BM_UnitsMapGridIterate)->Unit(benchmark::kMicrosecond);

// The reference: the same units from a vector.
void BM_UnitsVectorLoop(benchmark::State& state)
{
    const std::vector<UNIT*>& units = World();
    for (auto _ : state) {
        long sum = 0;
        for (UNIT* u : units) sum += u->hitpoints;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_UnitsVectorLoop)->Unit(benchmark::kMicrosecond);

// The same loop over the units in the order the grid walk hands them out
// (spatial order, which is not their order in memory): what is left of the
// ratio above is then the walk's own work, not the memory access pattern.
void BM_UnitsVectorLoopGridOrder(benchmark::State& state)
{
    static const std::vector<UNIT*> units = [] {
        World();
        std::vector<UNIT*> v;
        ITERATOR it;
        Iterate_UnitInitMapGrid(&it, 0, 0, MM_ALL, 0, 0, mapsizex - 1, mapsizey - 1);
        while (UNIT* u = Iterate_UnitNextMapGrid(&it)) v.push_back(u);
        return v;
    }();
    for (auto _ : state) {
        long sum = 0;
        for (UNIT* u : units) sum += u->hitpoints;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_UnitsVectorLoopGridOrder)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(unitgrid, "unit map-grid walk ratio (grid iterator time / vector loop time)",
               "BM_UnitsMapGridIterate", "BM_UnitsVectorLoop");
QV_BENCH_RATIO(unitgridorder,
               "unit map-grid walk ratio (grid iterator time / vector loop in the grid's order)",
               "BM_UnitsMapGridIterate", "BM_UnitsVectorLoopGridOrder");
