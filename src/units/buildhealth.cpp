// A building's hit points and the health explosions they set off.
#include <algorithm>

#include "core/debug.h"
#include "units/building.h"
#include "units/hlthexpl.h"

namespace {

int Percent(int hp, int max) { return (int)((long long)hp * 100 / max); }

}   // namespace

int Build_HealthExplosionsCrossed(const BUILDINGTYPE* type, int oldhp, int newhp,
                                  HEALTHEXPL** out, int max)
{
    if (type == nullptr || type->maxhitpoints < 1) return 0;
    const int oldpc = Percent(oldhp, type->maxhitpoints);
    const int newpc = Percent(newhp, type->maxhitpoints);
    int n = 0;
    for (HEALTHEXPL* e = Hlthexpl_FindCrossed(oldpc, newpc, type->healthexplosions);
         e != nullptr; e = Hlthexpl_NextCrossed(oldpc, newpc, e), n++)
        if (n < max) out[n] = e;
    return n;
}

int Build_SetHitpoints(BUILDING* b, int hitpoints)
{
    ASSERT(b);
    const BUILDINGTYPE* type = b->buildingtype;
    const int max = type != nullptr ? std::max(type->maxhitpoints, 0) : 0;
    const int hp = std::clamp(hitpoints, 0, max);
    HEALTHEXPL* crossed[BUILD_MAXCROSSED];
    const int n = Build_HealthExplosionsCrossed(type, b->hitpoints, hp, crossed, BUILD_MAXCROSSED);
    b->hitpoints = hp;
    return n;
}
