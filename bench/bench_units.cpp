// Walking 2000 units through the map-grid iterator (the whole 256 x 256 map,
// one team) against a loop over a plain vector of the same units, both
// summing the hit points: what the cell walk and the filters cost over
// touching the units themselves.
//
// Automatic targeting: 2000 armed units of two teams on the same map each
// run Units_AutoTarget once, against the same search made over every unit
// of the map instead of the map-grid rectangle of the seeing range.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "gen_sprites.h"
#include "platform/sprite.h"
#include "units/autotarget.h"
#include "units/parts.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/weapon.h"
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

// The walk's callback form, inlined at the call site.
void BM_UnitsMapGridForEach(benchmark::State& state)
{
    World();
    long met = 0;
    const int teambits = Iterate_TeamBits(0, 0);
    for (auto _ : state) {
        long sum = 0;
        met = 0;
        Iterate_UnitForEachMapGrid(teambits, MM_ALL, 0, 0, mapsizex - 1, mapsizey - 1, [&](UNIT* u) {
            sum += u->hitpoints, met++;
            return true;
        });
        benchmark::DoNotOptimize(sum);
    }
    if (met != UNITS) state.SkipWithError("the grid walk did not meet every unit");
}
BENCHMARK(BM_UnitsMapGridForEach)->Unit(benchmark::kMicrosecond);

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

// ------------------------------------------------------------------ automatic targeting

SPRITE* PartSprite(int id)
{
    GENSPRITE g;
    GenSprite_Build(id, &g);
    SPRITE_DESC d = g.Desc();
    std::string path = "/tmp/bench_units-" + std::to_string((long)getpid()) + ".spr";
    if (!Sprite_Write(path.c_str(), &d)) abort();
    SPRITE* s = Sprite_Load(path.c_str());
    unlink(path.c_str());
    if (!s) abort();
    return s;
}

// 1000 tanks a team at random free tiles, a turret with a gun of 4 tiles'
// reach, seeing 6 tiles; made once, on the map only while a run lasts.
const std::vector<UNIT*>& Fighters()
{
    static const std::vector<UNIT*> units = [] {
        World();
        QvBench_SortDispOnce();
        WEAPONTYPE* gun = Weapon_NewType();
        gun->kind = WLINEAR;
        gun->CanShootGround = 1;
        gun->tilerange = 4;
        gun->range = 4.5f * 24;
        gun->firedelay = 6;
        PARTTYPE* body = Parts_NewType();
        PARTTYPE* turret = Parts_NewType();
        if (!gun || !body || !turret) abort();
        body->sprite = PartSprite(GENSPRITE_UNITBODY);
        turret->sprite = PartSprite(GENSPRITE_TURRET);
        turret->nrweapons = 1;
        turret->weapons[0] = {gun, 0, 0};
        UNITTYPE* t = Units_NewType();
        snprintf(t->symbolid, sizeof t->symbolid, "Fighter");
        snprintf(t->description, sizeof t->description, "Fighter");
        t->seeingrange = 6;
        t->partinfo.nrparts = 2;
        t->partinfo.parttype[0] = body;
        t->partinfo.parttype[1] = turret;
        for (UNIT* u : World()) Units_RemoveFromMap(u);
        std::vector<UNIT*> v;
        uint32_t r = 4242;
        while ((int)v.size() < UNITS) {
            r = r * 1664525u + 1013904223u;
            int x = 1 + (int)((r >> 8) % 255), y = 1 + (int)((r >> 20) % 255);
            if (Units_UnitAtMapLevel(ML_GROUND, x, y)) continue;
            UNIT* u = Units_NewAt(t, 1 + (int)(v.size() & 1), -1, x, y);
            if (!u) abort();
            v.push_back(u);
        }
        for (UNIT* u : v) Units_RemoveFromMap(u);
        for (UNIT* u : World()) Units_AddToMap(u);
        return v;
    }();
    return units;
}

void Enter(const std::vector<UNIT*>& fighters)
{
    for (UNIT* u : World()) Units_RemoveFromMap(u);
    for (UNIT* u : fighters) Units_AddToMap(u);
}

void Leave(const std::vector<UNIT*>& fighters)
{
    for (UNIT* u : fighters) Units_RemoveFromMap(u);
    for (UNIT* u : World()) Units_AddToMap(u);
}

// Back to idle for the next round.
void Idle(UNIT* u)
{
    Units_StopMove(u);
    u->sorder.code = SO_NONE;
    u->snextorder.code = SO_NONE;
}

void BM_UnitsAutoTarget(benchmark::State& state)
{
    const std::vector<UNIT*>& fighters = Fighters();
    Enter(fighters);
    long taken = 0;
    for (auto _ : state) {
        for (UNIT* u : fighters) {
            taken += Units_AutoTarget(u, u->tilepos.x, u->tilepos.y, -1, -1);
            Idle(u);
        }
    }
    Leave(fighters);
    state.counters["taken"] = (double)taken / (double)state.iterations();
}
BENCHMARK(BM_UnitsAutoTarget)->Unit(benchmark::kMillisecond);

// The reference: the chooser's candidate tests and score over every unit of
// every other team, keeping those inside the seeing range's rectangle.
TARGET* ChooseOverAll(UNIT* u, TARGET* out)
{
    const int R = u->type->seeingrange;
    int best = 0;
    UNIT* chosen = nullptr;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        if (team == u->team) continue;
        ITERATOR it;
        Iterate_UnitInit(&it, team, 0, MM_ALL);
        while (UNIT* v = Iterate_UnitNext(&it)) {
            if (abs(v->tilepos.x - u->tilepos.x) > R || abs(v->tilepos.y - u->tilepos.y) > R) continue;
            if (Team_GetRelation(u->team, v->apparentteam[u->team]) != TR_ENEMY) continue;
            TARGET t;
            Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
            if (Units_CheckTargetWithWeapons(u, &t) != TARGETRANGE_OK) continue;
            if (v->hitpoints < 1) continue;
            const int d = MAP_HYPS(abs(v->tilepos.x - u->tilepos.x), abs(v->tilepos.y - u->tilepos.y));
            const int score = 1000 + v->type->maxhitpoints * Units_TargetThreat(v, u) / v->hitpoints +
                              (R * 100 - d) / 2;
            if (d < R * 100 && score > best) best = score, chosen = v;
        }
    }
    if (!chosen) return nullptr;
    Target_Setup(out, FM_UNIT, chosen, nullptr, 0, 0);
    return out;
}

void BM_UnitsAutoTargetOverAll(benchmark::State& state)
{
    const std::vector<UNIT*>& fighters = Fighters();
    Enter(fighters);
    long taken = 0;
    for (auto _ : state) {
        for (UNIT* u : fighters) {
            TARGET t;
            if (ChooseOverAll(u, &t)) {
                Units_SOrderAttack(u, &t, u->tilepos.x, u->tilepos.y, -1, -1);
                taken++;
            }
            Idle(u);
        }
    }
    Leave(fighters);
    state.counters["taken"] = (double)taken / (double)state.iterations();
}
BENCHMARK(BM_UnitsAutoTargetOverAll)->Unit(benchmark::kMillisecond);

// ------------------------------------------------------------------ threat counting

// 2000 tanks of eight teams (a turret with a gun of 4 tiles' reach, seeing 6
// tiles) crowded into the 128 x 128 corner of the map, about as close as the
// whole simulation's teams meet; made once, on the map only while a run
// lasts.
const std::vector<UNIT*>& Crowd()
{
    static const std::vector<UNIT*> units = [] {
        const std::vector<UNIT*>& fighters = Fighters();
        UNITTYPE* t = fighters[0]->type;
        for (UNIT* u : World()) Units_RemoveFromMap(u);
        std::vector<UNIT*> v;
        uint32_t r = 9191;
        while ((int)v.size() < UNITS) {
            r = r * 1664525u + 1013904223u;
            int x = 1 + (int)((r >> 8) % 127), y = 1 + (int)((r >> 20) % 127);
            if (Units_UnitAtMapLevel(ML_GROUND, x, y)) continue;
            UNIT* u = Units_NewAt(t, 1 + (int)(v.size() % 8), -1, x, y);
            if (!u) abort();
            v.push_back(u);
        }
        for (UNIT* u : v) Units_RemoveFromMap(u);
        for (UNIT* u : World()) Units_AddToMap(u);
        return v;
    }();
    return units;
}

void BM_UnitsCountThreats(benchmark::State& state)
{
    const std::vector<UNIT*>& crowd = Crowd();
    Enter(crowd);
    long threats = 0;
    for (auto _ : state) {
        for (UNIT* u : crowd) {
            TARGET t;
            threats += Units_CountThreats(u, u->tilepos.x, u->tilepos.y, &t);
            benchmark::DoNotOptimize(t);
        }
    }
    Leave(crowd);
    state.counters["threats"] = (double)threats / (double)state.iterations();
}
BENCHMARK(BM_UnitsCountThreats)->Unit(benchmark::kMillisecond);

// The reference: the same tests over each unit's candidates (the other
// teams' units in its rectangle), listed before timing: what the count costs
// without finding them.
void BM_UnitsCountThreatsListed(benchmark::State& state)
{
    const std::vector<UNIT*>& crowd = Crowd();
    Enter(crowd);
    std::vector<std::vector<UNIT*>> near(crowd.size());
    for (size_t i = 0; i < crowd.size(); i++) {
        UNIT* u = crowd[i];
        const int R = u->type->seeingrange;
        for (UNIT* v : crowd)
            if (v->team != u->team && abs(v->tilepos.x - u->tilepos.x) <= R &&
                abs(v->tilepos.y - u->tilepos.y) <= R)
                near[i].push_back(v);
    }
    long threats = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < crowd.size(); i++) {
            UNIT* u = crowd[i];
            const int R = u->type->seeingrange, level = u->tactaiinfo.autonomy;
            TARGET me, out;
            Target_Clear(&out);
            Target_Setup(&me, FM_UNIT, u, nullptr, 0, 0);
            for (UNIT* v : near[i]) {
                if (Team_GetRelation(u->team, v->apparentteam[u->team]) != TR_ENEMY) continue;
                if (!Fog_IsSeen(v->tilepos.x, v->tilepos.y, u->team)) continue;
                if (Units_CanAttackTarget(v, &me) && Units_CheckTargetWithWeapons(v, &me) == TARGETRANGE_OK)
                    threats++;
                TARGET t;
                Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
                if (!Units_CanAttackTarget(u, &t)) continue;
                if (level != TACTAI_HIGH &&
                    !(level == TACTAI_MEDIUM && Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK))
                    continue;
                if (MAP_HYPS(abs(v->tilepos.x - u->tilepos.x), abs(v->tilepos.y - u->tilepos.y)) < (R + 1) * 100)
                    out = t;
            }
            benchmark::DoNotOptimize(out);
        }
    }
    Leave(crowd);
    state.counters["threats"] = (double)threats / (double)state.iterations();
}
BENCHMARK(BM_UnitsCountThreatsListed)->Unit(benchmark::kMillisecond);

} // namespace

QV_BENCH_RATIO(threats, "threat count ratio (map-grid walk of the other teams / listed candidates)",
               "BM_UnitsCountThreats", "BM_UnitsCountThreatsListed");
QV_BENCH_RATIO(autotarget,
               "automatic targeting ratio (searches over every unit / map-grid rectangle)",
               "BM_UnitsAutoTargetOverAll", "BM_UnitsAutoTarget");
QV_BENCH_RATIO(unitgrid, "unit map-grid walk ratio (grid iterator time / vector loop time)",
               "BM_UnitsMapGridIterate", "BM_UnitsVectorLoop");
QV_BENCH_RATIO(unitgridforeach,
               "unit map-grid walk ratio (callback form / vector loop in the grid's order)",
               "BM_UnitsMapGridForEach", "BM_UnitsVectorLoopGridOrder");
QV_BENCH_RATIO(unitgridorder,
               "unit map-grid walk ratio (grid iterator time / vector loop in the grid's order)",
               "BM_UnitsMapGridIterate", "BM_UnitsVectorLoopGridOrder");
