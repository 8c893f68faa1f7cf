// Projectiles of arbitrary weapon records at arbitrary ground targets: every
// flight, vortex and shock wave ends within its bound and the pools are
// empty afterwards.
#include <cstdlib>
#include <cstring>

#include "fuzzsupport.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/unit.h"
#include "units/vortex.h"
#include "units/weapon.h"

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size, at = 0;
    int Int(int lo, int hi)
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v = v << 8 | (at < size ? data[at++] : 0);
        return lo + (int)(v % (uint32_t)(hi - lo + 1));
    }
    float Float() { return (float)Int(-2000, 2000) / 16.0f; }
};

} // namespace

static void fuzz_Projectiles(const uint8_t* data, size_t size)
{
    Bytes in{data, size};
    WEAPONTYPE* w = Weapon_NewType();
    UNIT shooter{};
    shooter.id = -1; // no unit of the game: the shots have no owner
    shooter.team = (int8_t)in.Int(0, 8);
    shooter.pixelpos.x = in.Int(0, 255) * 24;
    shooter.pixelpos.y = in.Int(0, 255) * 24;
    PART part{};
    part.unit = &shooter;
    int shots = in.Int(1, 16);
    for (int i = 0; i < shots; i++) {
        w->kind = in.Int(0, WKIND_COUNT - 1);
        w->range = (float)in.Int(-100, 2000);
        w->initialspeed = in.Float();
        w->acceleration = in.Float();
        w->maxspeed = in.Float();
        w->rotationalspeed = in.Int(0, WEAPON_ROTATION_TURN - 1);
        w->directhitpointdamage = in.Int(-100, 100);
        w->oinfo = OFFENSEINFO{in.Int(-1, 3), in.Int(-100, 100), in.Int(-10, 1000)};
        w->ispersistent = (uint8_t)in.Int(0, 1);
        w->persistent = WEAPONPERSISTENT{in.Int(-5, 20), in.Int(-5, 20),
                                         OFFENSEINFO{in.Int(-1, 3), in.Int(-100, 100),
                                                     in.Int(-10, 1000)}};
        TARGET t;
        Target_Setup(&t, FM_GROUND, nullptr, nullptr, in.Int(0, 255), in.Int(0, 255));
        PROJECTILEID id;
        Weapon_MakeProjectile(&id, w, &t, &part);
    }
    // The farthest aim is 256 x 24 x 1.5 pixels away and a homing shot's cap
    // is under 2 x 2000 + 24, at a pixel per update at least; after the
    // impact lingering damage or a vortex lasts at most 20 hits 20 updates
    // apart, and a ring grows at least a pixel an update up to 1000.
    for (int n = 0; n < 12400 && Projectile_Count() + Vortex_Count() + Swave_Count() > 0; n++) {
        Swave_UpdateAll();
        Vortex_UpdateAll();
        Weapon_UpdateProjectiles();
        for (const SWave* wave = Swave_First(); wave; wave = wave->next)
            if (wave->radius > wave->maxradius || wave->age > 1001) abort();
    }
    if (Projectile_Count() != 0 || Vortex_Count() != 0 || Swave_Count() != 0) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Projectiles(data, size));
    Vortex_Close();
    Swave_Close();
    Projectile_Close();
    Weapon_FreeAll();
    return 0;
}
