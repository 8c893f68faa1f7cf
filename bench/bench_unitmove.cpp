// 2000 ground units walking long stored paths on the 256 x 256 map of the
// unit world, 200 updates: each unit laps a 5 x 4 tile ring of its own (no
// two rings share a tile, so nobody waits or detours), on the step curves,
// stopping at the corners while its body turns, claiming each tile and
// sweeping its sight (Units_UpdateMovement and the body's Parts_Process).
//
// The reference is a plain mover over the same tiles in the same run: each
// update it moves every unit's pixel position straight towards its next
// tile at the step speed and, at the updates where the real walk changed a
// unit's tile (recorded once beforehand), makes the same unsweep, unclaim,
// position (grid cell and base part display), claim and sweep calls. What
// remains of the ratio is the walking itself: curves, speed ramp, turning,
// the step checks and the path.
//
// The unit world's own units leave the map while these run and come back
// after, where they stood.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "gen_sprites.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/path.h"
#include "platform/sprite.h"
#include "units/parts.h"
#include "units/unit.h"
#include "units/unitmove.h"

namespace {

const int MOVERS = 2000, UPDATES = 200, LAPS = 10;
const int CELLW = 6, CELLH = 5, COLUMNS = 42;   // a 5 x 4 ring and a tile of gap
const int RING = 14;

struct Field {
    std::vector<UNIT*> units;
    std::vector<UNIT_POS> ring[MOVERS];             // the ring's tiles, the start first
    std::vector<std::vector<int>> changes;          // per update, the units whose tile changed
};

SPRITE* BodySprite()
{
    GENSPRITE g;
    GenSprite_Build(GENSPRITE_UNITBODY, &g);
    SPRITE_DESC d = g.Desc();
    std::string path = "/tmp/bench_unitmove-" + std::to_string((long)getpid()) + ".spr";
    if (!Sprite_Write(path.c_str(), &d)) abort();
    SPRITE* s = Sprite_Load(path.c_str());
    unlink(path.c_str());
    if (!s) abort();
    return s;
}

std::vector<UNIT_POS> Ring(int k)
{
    const int x = 1 + (k % COLUMNS) * CELLW, y = 1 + (k / COLUMNS) * CELLH;
    std::vector<UNIT_POS> r;
    for (int i = 0; i < 4; i++) r.push_back({x + i, y});
    for (int i = 0; i < 3; i++) r.push_back({x + 4, y + i});
    for (int i = 0; i < 4; i++) r.push_back({x + 4 - i, y + 3});
    for (int i = 0; i < 3; i++) r.push_back({x, y + 3 - i});
    return r;
}

// Every mover back on its start tile facing east, standing, without a path.
void Reset(Field& f)
{
    for (int k = 0; k < MOVERS; k++) {
        UNIT* u = f.units[k];
        if (u->onmap) Units_RemoveFromMap(u);
        Path_Clear(&u->move.path);
        u->state = US_NONE;
        u->nextstate.type = UNS_NONE;
        u->move.curspeed = u->move.targetspeed = u->move.curvepos = 0;
        Units_SetUnitPosition(u, f.ring[k][0].x, f.ring[k][0].y);
        u->move.srctilepos = u->tilepos;
        Units_AddToMap(u);
        Parts_SetAngle(u->basepart, 0);
    }
}

// Reset, and every mover given LAPS laps of its ring and set walking.
void Start(Field& f)
{
    Reset(f);
    for (int k = 0; k < MOVERS; k++) {
        UNIT* u = f.units[k];
        for (int lap = 0; lap < LAPS; lap++)
            for (int i = 1; i <= RING; i++) {
                const UNIT_POS p = f.ring[k][i % RING];
                Path_Append(&u->move.path, p.x, p.y);
            }
        u->move.srchtilepos = f.ring[k][0];
        u->state = US_MOVING;
    }
}

void WalkUpdate(Field& f)
{
    for (UNIT* u : f.units) {
        Units_UpdateMovement(u);
        Parts_Process(u->basepart);
    }
    g_UpdateCount++;
}

Field& TheField()
{
    static Field* field = [] {
        QvBench_UnitWorld();
        QvBench_SortDispOnce();
        PARTTYPE* body = Parts_NewType();
        if (!body) abort();
        body->sprite = BodySprite();
        snprintf(body->spritename, sizeof body->spritename, "UNITBODY.SPR");
        body->rotationspeed = 1 << 19;   // a quarter turn in 8 updates
        UNITTYPE* t = Units_NewType();
        if (!t) abort();
        snprintf(t->symbolid, sizeof t->symbolid, "Walker");
        snprintf(t->description, sizeof t->description, "Walker");
        t->speed = 30;                   // step speed 30: about 3 updates a tile
        t->partinfo.nrparts = 1;
        t->partinfo.parttype[0] = body;
        Field* f = new Field;
        for (int k = 0; k < MOVERS; k++) {
            f->ring[k] = Ring(k);
            UNIT* u = Units_NewAt(t, 1, -1, f->ring[k][0].x, f->ring[k][0].y);
            if (!u || !u->basepart) abort();
            Units_RemoveFromMap(u);
            f->units.push_back(u);
        }
        return f;
    }();
    return *field;
}

// The unit world's units off the map and the movers on it, or back.
void Enter(Field& f)
{
    for (UNIT* u : QvBench_UnitWorld())
        if (u->onmap) Units_RemoveFromMap(u);
    Start(f);
}

void Leave(Field& f)
{
    Reset(f);
    for (UNIT* u : f.units) Units_RemoveFromMap(u);
    for (UNIT* u : QvBench_UnitWorld())
        if (!u->onmap) Units_AddToMap(u);
}

// The real walk once, untimed, noting which units change tile at which
// update, for the plain mover to repeat.
void Record(Field& f)
{
    if (!f.changes.empty()) return;
    Start(f);
    std::vector<UNIT_POS> was(MOVERS);
    size_t total = 0;
    for (int n = 0; n < UPDATES; n++) {
        for (int k = 0; k < MOVERS; k++) was[k] = f.units[k]->tilepos;
        WalkUpdate(f);
        std::vector<int> changed;
        for (int k = 0; k < MOVERS; k++)
            if (f.units[k]->tilepos.x != was[k].x || f.units[k]->tilepos.y != was[k].y)
                changed.push_back(k);
        f.changes.push_back(changed);
        total += changed.size();
    }
    // 35 tile changes a unit when nothing went wrong.
    if (total < (size_t)MOVERS * 20) {
        fprintf(stderr, "bench_unitmove: the units hardly walked (%zu tile changes)\n", total);
        abort();
    }
}

void BM_UnitMoveWalk(benchmark::State& state)
{
    Field& f = TheField();
    Enter(f);
    for (auto _ : state) {
        state.PauseTiming();
        Start(f);
        state.ResumeTiming();
        for (int n = 0; n < UPDATES; n++) WalkUpdate(f);
    }
    Leave(f);
}
BENCHMARK(BM_UnitMoveWalk)->Unit(benchmark::kMillisecond);

// The reference: pixel positions straight along the ring at the step
// speed, and the real walk's tile changes at the same updates.
void BM_UnitMovePlain(benchmark::State& state)
{
    Field& f = TheField();
    Enter(f);
    Record(f);
    std::vector<int> index(MOVERS), progress(MOVERS);
    const int speed = Units_ComputeSpeed(f.units[0], 1, 1, 2, 1, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        Reset(f);
        std::fill(index.begin(), index.end(), 0);
        std::fill(progress.begin(), progress.end(), 0);
        state.ResumeTiming();
        for (int n = 0; n < UPDATES; n++) {
            for (int k = 0; k < MOVERS; k++) {
                UNIT* u = f.units[k];
                const UNIT_POS from = f.ring[k][index[k]], to = f.ring[k][(index[k] + 1) % RING];
                progress[k] = progress[k] + speed < 100 ? progress[k] + speed : 100;
                u->pixelpos = {from.x * 24 + (to.x - from.x) * 24 * progress[k] / 100,
                               from.y * 24 + (to.y - from.y) * 24 * progress[k] / 100};
            }
            for (int k : f.changes[n]) {
                UNIT* u = f.units[k];
                index[k] = (index[k] + 1) % RING;
                progress[k] = 0;
                const UNIT_POS p = f.ring[k][index[k]];
                Fog_UnsweepUnit(u);
                Units_UnclaimTile(u);
                Units_SetUnitPosition(u, p.x, p.y);
                Units_ClaimTile(u);
                Fog_SweepUnit(u);
            }
            g_UpdateCount++;
        }
    }
    Leave(f);
}
BENCHMARK(BM_UnitMovePlain)->Unit(benchmark::kMillisecond);

} // namespace

QV_BENCH_RATIO(unitmove, "unit movement ratio (2000 units walking / plain mover, per update)",
               "BM_UnitMoveWalk", "BM_UnitMovePlain");
