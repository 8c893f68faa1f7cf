// 1000 impacts of area 48 among the 2000 units of the unit world, found
// through the map grid, against the same impacts testing every unit.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "benchsupport.h"
#include "units/projectile.h"
#include "units/target.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

const int IMPACTS = 1000;

struct Impacts {
    WEAPONTYPE w{};
    std::vector<int> x, y; // pixels
};

// The units get hit points that a bench run cannot use up, so every impact
// does the same work.
Impacts& TheImpacts()
{
    static Impacts* im = [] {
        const std::vector<UNIT*>& units = QvBench_UnitWorld();
        units[0]->type->maxhitpoints = 1 << 30;
        for (UNIT* u : units) u->hitpoints = 1 << 29;
        Impacts* m = new Impacts;
        m->w.kind = WLINEAR;
        m->w.CanShootGround = 1;
        m->w.oinfo = OFFENSEINFO{-1, 1, 48};
        uint32_t r = 99;
        for (int i = 0; i < IMPACTS; i++) {
            r = r * 1664525u + 1013904223u;
            m->x.push_back((int)((r >> 8) % (256 * 24)));
            m->y.push_back((int)((r >> 20) % (256 * 24)));
        }
        return m;
    }();
    return *im;
}

void BM_ImpactsThroughGrid(benchmark::State& state)
{
    Impacts& m = TheImpacts();
    for (auto _ : state)
        for (int i = 0; i < IMPACTS; i++) Weapon_Impact(&m.w, &m.w.oinfo, nullptr, 1, m.x[i], m.y[i]);
}
BENCHMARK(BM_ImpactsThroughGrid)->Unit(benchmark::kMicrosecond);

// The reference: every unit tested against every impact, the ones inside
// hurt in the same way.
void BM_ImpactsEveryUnit(benchmark::State& state)
{
    Impacts& m = TheImpacts();
    const std::vector<UNIT*>& units = QvBench_UnitWorld();
    for (auto _ : state)
        for (int i = 0; i < IMPACTS; i++)
            for (UNIT* u : units) {
                int64_t dx = u->pixelpos.x + 12 - m.x[i], dy = u->pixelpos.y + 12 - m.y[i];
                if (dx * dx + dy * dy > 48 * 48) continue;
                TARGET t;
                Target_Setup(&t, FM_UNIT, u, nullptr, 0, 0);
                if (Weapon_CanShoot(&m.w, &t)) Units_SetHitpoints(u, u->hitpoints - 1);
            }
}
BENCHMARK(BM_ImpactsEveryUnit)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(impact, "impact speed-up (every unit tested / through the map grid)",
               "BM_ImpactsEveryUnit", "BM_ImpactsThroughGrid");
