// One update of Parts_Process over 4000 parts (2000 units of a body and a
// turret; a quarter of the turrets turning, a quarter firing, the rest idle)
// against a loop that advances the same parts' frames and sets their display
// frame, direction and position through the display list: what the state
// machine, the turning and the firing cost over keeping the display in step.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "gen_sprites.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

const int UNITS = 2000;

SPRITE* DemoSprite(int id)
{
    GENSPRITE g;
    GenSprite_Build(id, &g);
    SPRITE_DESC d = g.Desc();
    std::string path = "/tmp/bench_parts-" + std::to_string((long)getpid()) + ".spr";
    if (!Sprite_Write(path.c_str(), &d)) abort();
    SPRITE* s = Sprite_Load(path.c_str());
    unlink(path.c_str());
    if (!s) abort();
    return s;
}

struct World {
    std::vector<UNIT> units = std::vector<UNIT>(UNITS);
    std::vector<PART*> parts; // bodies and turrets
    std::vector<PART*> turning;
};

// Units stand as plain records (the parts read their position, type and
// layer only), spread over a 256 x 256 tile field.
World& TheWorld()
{
    static World* w = [] {
        QvBench_SortDispOnce();
        Parts_Init();
        Projectile_Init();
        static UNITTYPE type{};
        static WEAPONTYPE gun{};
        gun.CanShootGround = 1;
        gun.maxammo = 0;
        gun.firedelay = 2;
        gun.range = 1e6f;
        PARTTYPE* body = Parts_NewType();
        body->sprite = DemoSprite(GENSPRITE_UNITBODY);
        snprintf(body->spritename, sizeof body->spritename, "UNITBODY.SPR");
        PARTTYPE* turret = Parts_NewType();
        turret->sprite = DemoSprite(GENSPRITE_TURRET);
        snprintf(turret->spritename, sizeof turret->spritename, "TURRET.SPR");
        turret->nrweapons = 1;
        turret->weapons[0] = {&gun, 1, 0};
        turret->rotationspeed = 1 << 10;
        turret->halfrotationangle = 1 << 22;
        World* world = new World;
        uint32_t r = 12345;
        for (int i = 0; i < UNITS; i++) {
            r = r * 1664525u + 1013904223u;
            UNIT& u = world->units[i];
            u.type = &type;
            u.movemode = MM_GROUND;
            u.maplevel = 1;
            u.pixelpos = {(int)((r >> 8) % 256) * 24, (int)((r >> 20) % 256) * 24};
            PART* b = Parts_New(body, &u, nullptr, (int)(r & 255), i % 8);
            PART* t = Parts_New(turret, &u, b, (int)(r & 255), i % 8);
            world->parts.push_back(b);
            world->parts.push_back(t);
            if (i % 4 == 1) world->turning.push_back(t);
            if (i % 4 == 2) {
                TARGET tg;
                Target_Setup(&tg, FM_GROUND, nullptr, nullptr, u.pixelpos.x / 24 + 3,
                             u.pixelpos.y / 24 + 2);
                Parts_Fire(t, &tg);
            }
        }
        return world;
    }();
    return *w;
}

// Every 4096 updates the turning turrets start again from the other side
// and the projectiles made so far go (neither is timed).
void Refresh(benchmark::State& state, World& w, long n)
{
    if (n % 4096 != 0) return;
    state.PauseTiming();
    for (PART* t : w.turning) {
        Parts_SetRotateState(t, ((t->angle >> 16) + 128) & 255);
        Parts_SetRotateState(t->partdown, ((t->angle >> 16) + 128) & 255);
    }
    Projectile_Init();
    state.ResumeTiming();
}

void BM_PartsProcess(benchmark::State& state)
{
    World& w = TheWorld();
    long n = 0;
    for (auto _ : state) {
        Refresh(state, w, n++);
        g_UpdateCount++;
        for (PART* p : w.parts) Parts_Process(p);
    }
}
BENCHMARK(BM_PartsProcess)->Unit(benchmark::kMicrosecond);

// The reference: frames advanced and the display set, nothing decided.
void BM_PartsDisplayLoop(benchmark::State& state)
{
    World& w = TheWorld();
    for (auto _ : state) {
        for (PART* p : w.parts) {
            p->anim.frame += p->anim.speed;
            if ((p->anim.frame >> 16) >= 2) p->anim.frame = 0;
            SortDisp_SetFrame(p->display, p->anim.frame >> 16);
            SortDisp_SetDirection(p->display, (p->angle >> 16) & 255);
            SortDisp_SetPosition(p->display, p->unit->pixelpos.x, p->unit->pixelpos.y);
        }
    }
}
BENCHMARK(BM_PartsDisplayLoop)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(parts, "parts update ratio (Parts_Process time / display-only loop time)",
               "BM_PartsProcess", "BM_PartsDisplayLoop");
