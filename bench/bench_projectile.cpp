// One flight update of 10 000 projectiles (half straight, half homing)
// against 10 000 display moves of as many elements: the display work a
// flying shot cannot do without.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "gen_sprites.h"
#include "platform/animtype.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

const int SHOTS = 10000;

struct Field {
    std::vector<UNIT> shooters = std::vector<UNIT>(SHOTS);
    std::vector<PART> parts = std::vector<PART>(SHOTS);
    std::vector<DISPLAYELEMENT*> elements;
    WEAPONTYPE linear{}, homing{};
    ANIMTYPE* shell = nullptr;  // every shot is shown, as in a game
};

// Shooters are plain records without an id (the shots have no owner),
// spread over a 256 x 256 tile field, each aiming at a tile far across it.
void Launch(Field& f)
{
    Projectile_Close();  // the shots still flying take their displays with them
    Projectile_Init();
    uint32_t r = 4242;
    for (int i = 0; i < SHOTS; i++) {
        r = r * 1664525u + 1013904223u;
        TARGET t;
        Target_Setup(&t, FM_GROUND, nullptr, nullptr, 255 - f.shooters[i].pixelpos.x / 24,
                     (int)((r >> 12) % 256));
        PROJECTILEID id;
        Weapon_MakeProjectile(&id, i % 2 ? &f.homing : &f.linear, &t, &f.parts[i]);
    }
}

Field& TheField()
{
    static Field* field = [] {
        QvBench_SortDispOnce();
        Field* f = new Field;
        for (WEAPONTYPE* w : {&f->linear, &f->homing}) {
            w->kind = w == &f->linear ? WLINEAR : WHOMING;
            w->range = 1e5f;
            w->initialspeed = 2;
            w->maxspeed = 2;
            w->rotationalspeed = 1 << 18;
        }
        GENSPRITE g;
        GenSprite_Build(GENSPRITE_TURRET, &g);
        SPRITE_DESC d = g.Desc();
        std::string path = "/tmp/bench_projectile-" + std::to_string((long)getpid()) + ".spr";
        if (!Sprite_Write(path.c_str(), &d)) abort();
        SPRITE* s = Sprite_Load(path.c_str());
        if (!s) abort();
        // The shots' animation holds a reference of its own to the sprite.
        f->shell = AnimType_New("BenchShell");
        if (!f->shell || !AnimType_SetSprite(f->shell, Sprite_Load(path.c_str())) ||
            !AnimType_AddFrames(f->shell, 0, 0, 1))
            abort();
        f->linear.InFlightAnimation = f->homing.InFlightAnimation = f->shell;
        unlink(path.c_str());
        uint32_t r = 777;
        for (int i = 0; i < SHOTS; i++) {
            r = r * 1664525u + 1013904223u;
            UNIT& u = f->shooters[i];
            u.id = -1;
            u.pixelpos = {(int)((r >> 8) % 256) * 24, (int)((r >> 20) % 256) * 24};
            f->parts[i].unit = &u;
            f->elements.push_back(SortDisp_NewElement(s, nullptr, SORTDISP_REMAP_NONE, 0, 0,
                                                      u.pixelpos.x, u.pixelpos.y, 0, 0));
        }
        Launch(*f);
        return f;
    }();
    return *field;
}

void BM_ProjectileFlight(benchmark::State& state)
{
    Field& f = TheField();
    long n = 0;
    for (auto _ : state) {
        // Short flights land within a few hundred updates: all start again
        // every 256 (not timed), so the count stays near 10 000.
        if (++n % 256 == 0) {
            state.PauseTiming();
            Launch(f);
            state.ResumeTiming();
        }
        Weapon_UpdateProjectiles();
    }
}
BENCHMARK(BM_ProjectileFlight)->Unit(benchmark::kMicrosecond);

void BM_ProjectileDisplayMoves(benchmark::State& state)
{
    Field& f = TheField();
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) & 15;
        for (int i = 0; i < SHOTS; i++)
            SortDisp_SetPosition(f.elements[i], f.shooters[i].pixelpos.x + step,
                                 f.shooters[i].pixelpos.y + step);
    }
}
BENCHMARK(BM_ProjectileDisplayMoves)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(projectile, "projectile flight ratio (step 7 flight / display moves)",
               "BM_ProjectileFlight", "BM_ProjectileDisplayMoves");
