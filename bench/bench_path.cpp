// The path search on a 256 x 256 map with hills, slow ground and walls.
//
// One search corner to corner, ours (queued, run to its end, path stored)
// against Boost Graph's astar_search over the same grid: an adjacency list of
// the same steps with the same integer costs and the same octile heuristic,
// built before timing. Both answers must cost the same; the benchmark aborts
// when they don't.
//
// And 500 searches run under the per-update budget (Pathsrch_Update until
// none is left) against the same 500 run whole (Pathsrch_RunAll): the price
// of slicing.
#include <benchmark/benchmark.h>

// Boost Graph's edge iterators trip this warning inside Boost itself when
// optimised; nothing of ours is concerned. (Clang has no such warning.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/astar_search.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "benchsupport.h"
#include "map/cre.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "units/unit.h"
#include "units/unitmove.h"

namespace {

const int SIDE = 256;
const int SEARCHES = 500;

using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                    boost::property<boost::edge_weight_t, uint64_t>>;

uint32_t s_rand = 77;
int Next(int n)
{
    s_rand = s_rand * 1664525u + 1013904223u;
    return (int)((s_rand >> 8) % (uint32_t)n);
}

// Made for each benchmark and closed after it, so that the benchmarks of
// other modules find the layers as they left them.
struct WORLD {
    bool ownEffects = false;
    UNITTYPE* type = nullptr;       // made once per process
    EFFECTTYPE* table = nullptr;
    std::vector<UNIT> units;        // records made by hand: the search needs no more
    Graph graph;
    uint64_t minbase = 0;
};
WORLD s_world;

uint64_t StepCost(const UNIT* u, int x1, int y1, int x2, int y2)
{
    const long base = lroundf(Units_ComputeInverseRelativeSpeed(u, x1, y1, x2, y2) * 100.0f);
    return (uint64_t)base * ((x1 != x2 && y1 != y2) ? 14 : 10);
}

int Index(int x, int y) { return y * SIDE + x; }

void MakeUnit(UNIT* u, int id, int x, int y)
{
    *u = UNIT{};
    u->type = s_world.type;
    u->id = id;
    u->movemode = MM_GROUND;
    u->tilepos = UNIT_POS{x, y};
    Path_Init(&u->move.path);
}

// A random tile of the start corner's region.
void RandomTile(int cls, int region, int* x, int* y)
{
    do {
        *x = 1 + Next(SIDE - 1);
        *y = 1 + Next(SIDE - 1);
    } while (CRE_ClassRegionAt(cls, *x, *y) != region);
}

void OpenWorld(void)
{
    s_rand = 77;
    g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
    if (!Map_Load(nullptr)) abort();
    s_world.ownEffects = Effects_OvlList() == nullptr;
    if (s_world.ownEffects) Effects_Init();
    EFFECTTYPE* table = Effects_FindTable("BenchWheels");
    if (!table) table = Effects_NewTable("BenchWheels", 100, 3);
    if (!table) abort();
    Effects_SetEffect(table, 17, 1, 0, 0);     // effect 9: wall
    Effects_SetEffect(table, 17, 2, 40, 3);    // effect 10: slow ground
    if (!s_world.type) s_world.type = Units_NewType();
    if (!s_world.type) abort();
    s_world.type->effects = table;
    const int cls = CRE_ClassOf(table);
    // Hills, slow patches and wall segments; the corners stay open.
    for (int y = 1; y < SIDE; y++)
        for (int x = 1; x < SIDE; x++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            const int wave = (x * 3 / 17 + y * 5 / 23) % 10;   // up and down, 0..5
            e->altitude = (uint32_t)(wave < 6 ? wave : 10 - wave);
            if ((x / 16 + y / 16) % 5 == 0) e->effect = 10;
        }
    for (int i = 0; i < 120; i++) {
        const int x = 8 + Next(SIDE - 16), y = 8 + Next(SIDE - 16), len = 8 + Next(40);
        const bool across = Next(2);
        for (int k = 0; k < len; k++) {
            const int wx = across ? x + k : x, wy = across ? y : y + k;
            if (Map_IsValidTile(wx, wy)) MAP_ELEMENT_AT(wx, wy)->effect = 9;
        }
    }
    for (int y = 1; y < 6; y++)
        for (int x = 1; x < 6; x++) {
            MAP_ELEMENT_AT(x, y)->effect = MAP_EFFECT_NONE;
            MAP_ELEMENT_AT(SIDE - x, SIDE - y)->effect = MAP_EFFECT_NONE;
        }
    Pathsrch_Init();
    const int region = CRE_ClassRegionAt(cls, 2, 2);
    if (region == CRE_REGION_NONE || CRE_ClassRegionAt(cls, SIDE - 3, SIDE - 3) != region) {
        fprintf(stderr, "bench_path: the corners are not connected\n");
        abort();
    }
    s_world.units.resize(1 + SEARCHES);
    MakeUnit(&s_world.units[0], 1, 2, 2);
    for (int i = 1; i <= SEARCHES; i++) {
        int x, y;
        RandomTile(cls, region, &x, &y);
        MakeUnit(&s_world.units[(size_t)i], 1 + i, x, y);
    }
    // The reference graph: every step the rule allows, at the search's cost.
    UNIT* u = &s_world.units[0];
    s_world.graph = Graph(SIDE * SIDE);
    for (int y = 1; y < SIDE; y++)
        for (int x = 1; x < SIDE; x++)
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++)
                    if ((dx || dy) && Units_CanTravel(u, x, y, x + dx, y + dy))
                        boost::add_edge(Index(x, y), Index(x + dx, y + dy),
                                        StepCost(u, x, y, x + dx, y + dy), s_world.graph);
    int fastest = 0;
    for (const auto& row : table->cell)
        for (const auto& cell : row) fastest = cell[0] > fastest ? cell[0] : fastest;
    s_world.minbase = (uint64_t)lroundf(g_InverseRelativeSpeed[fastest] * 100.0f);
}

void CloseWorld(void)
{
    Pathsrch_Close();
    CRE_Close();
    for (UNIT& u : s_world.units) Path_Clear(&u.move.path);
    s_world.units.clear();
    s_world.graph = Graph();
    Path_CleanUp();
    if (s_world.ownEffects) Effects_Close();
    Map_Free();
}

// ---- one search corner to corner

uint64_t s_oursCost = 0, s_boostCost = 0;

void CheckCosts(void)
{
    if (s_oursCost && s_boostCost && s_oursCost != s_boostCost) {
        fprintf(stderr, "bench_path: path costs differ: ours %llu, Boost %llu\n",
                (unsigned long long)s_oursCost, (unsigned long long)s_boostCost);
        abort();
    }
}

void BM_PathSearchOurs(benchmark::State& state)
{
    OpenWorld();
    UNIT* u = &s_world.units[0];
    const uint32_t before = Pathsrch_Expansions();
    for (auto _ : state) {
        u->move.srchtilepos = UNIT_POS{SIDE - 3, SIDE - 3};
        Pathsrch_StartUnitSearch(u);
        Pathsrch_RunAll();
        benchmark::DoNotOptimize(Path_Count(&u->move.path));
    }
    state.counters["expanded"] = benchmark::Counter((double)(Pathsrch_Expansions() - before),
                                                    benchmark::Counter::kAvgIterations);
    uint64_t cost = 0;
    int px = u->tilepos.x, py = u->tilepos.y, x, y;
    for (int n = 0; Path_Peek(&u->move.path, &x, &y, n); n++) {
        cost += StepCost(u, px, py, x, y);
        px = x;
        py = y;
    }
    if (px != SIDE - 3 || py != SIDE - 3) {
        fprintf(stderr, "bench_path: our path ends at %d,%d\n", px, py);
        abort();
    }
    s_oursCost = cost;
    CheckCosts();
    CloseWorld();
}
BENCHMARK(BM_PathSearchOurs)->Unit(benchmark::kMillisecond);

struct FoundGoal {};

class GoalVisitor : public boost::default_astar_visitor {
public:
    explicit GoalVisitor(int goal) : goal_(goal) {}
    void examine_vertex(int v, const Graph&) const
    {
        if (v == goal_) throw FoundGoal{};
    }

private:
    int goal_;
};

class Octile : public boost::astar_heuristic<Graph, uint64_t> {
public:
    Octile(int goal, uint64_t minbase) : gx_(goal % SIDE), gy_(goal / SIDE), minbase_(minbase) {}
    uint64_t operator()(int v) const
    {
        const int dx = abs(v % SIDE - gx_), dy = abs(v / SIDE - gy_);
        const int lo = dx < dy ? dx : dy, hi = dx < dy ? dy : dx;
        return minbase_ * (uint64_t)(10 * (hi - lo) + 14 * lo);
    }

private:
    int gx_, gy_;
    uint64_t minbase_;
};

void BM_PathSearchBoost(benchmark::State& state)
{
    OpenWorld();
    const int start = Index(2, 2), goal = Index(SIDE - 3, SIDE - 3);
    std::vector<int> pred(SIDE * SIDE);
    std::vector<uint64_t> dist(SIDE * SIDE);
    for (auto _ : state) {
        try {
            boost::astar_search(s_world.graph, start, Octile(goal, s_world.minbase),
                                boost::predecessor_map(boost::make_iterator_property_map(
                                                           pred.begin(), boost::get(boost::vertex_index, s_world.graph)))
                                    .distance_map(boost::make_iterator_property_map(
                                        dist.begin(), boost::get(boost::vertex_index, s_world.graph)))
                                    .visitor(GoalVisitor(goal)));
        } catch (const FoundGoal&) {
        }
        benchmark::DoNotOptimize(dist[(size_t)goal]);
    }
    s_boostCost = dist[(size_t)goal];
    CheckCosts();
    CloseWorld();
}
BENCHMARK(BM_PathSearchBoost)->Unit(benchmark::kMillisecond);

// ---- 500 searches, sliced and whole

void AskAll(void)
{
    for (int i = 1; i <= SEARCHES; i++) {
        UNIT* u = &s_world.units[(size_t)i];
        const UNIT* goal = &s_world.units[(size_t)(i % SEARCHES + 1)];
        u->move.srchtilepos = goal->tilepos;
        Pathsrch_StartUnitSearch(u);
    }
}

void BM_PathSearchSliced(benchmark::State& state)
{
    OpenWorld();
    long updates = 0;
    for (auto _ : state) {
        AskAll();
        while (Pathsrch_Pending() > 0) {
            Pathsrch_Update();
            updates++;
        }
    }
    state.counters["updates"] = benchmark::Counter((double)updates, benchmark::Counter::kAvgIterations);
    CloseWorld();
}
BENCHMARK(BM_PathSearchSliced)->Unit(benchmark::kMillisecond);

void BM_PathSearchWhole(benchmark::State& state)
{
    OpenWorld();
    for (auto _ : state) {
        AskAll();
        Pathsrch_RunAll();
    }
    CloseWorld();
}
BENCHMARK(BM_PathSearchWhole)->Unit(benchmark::kMillisecond);

} // namespace

QV_BENCH_RATIO(pathsearch, "path search ratio (ours / Boost Graph astar_search, 256 x 256)",
               "BM_PathSearchOurs", "BM_PathSearchBoost");
QV_BENCH_RATIO(pathslice, "path search slicing ratio (500 searches under the budget / run whole)",
               "BM_PathSearchSliced", "BM_PathSearchWhole");
