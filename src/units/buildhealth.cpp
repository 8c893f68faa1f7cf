// A building's hit points and the health explosions they set off.
#include <algorithm>

#include "core/debug.h"
#include "map/map.h"
#include "map/overlay.h"
#include "platform/sortdisp.h"
#include "units/building.h"
#include "units/explosion.h"
#include "units/hlthexpl.h"
#include "units/team.h"

namespace {

int Percent(int hp, int max) { return (int)((long long)hp * 100 / max); }

// A building stands still, so its effects are placed once, at the centre of
// the footprint, spread over the hot spots of the sprite it is drawn with.
void StartEffect(BUILDING* b, EXPLTYPE* type)
{
    const BUILDINGTYPE* t = b->buildingtype;
    const int x = b->tilex * MAP_TILE_PIXELS + t->width * MAP_TILE_PIXELS / 2;
    const int y = b->tiley * MAP_TILE_PIXELS + t->height * MAP_TILE_PIXELS / 2;
    const DISPLAYELEMENT* d = b->bottomoverlay ? b->bottomoverlay->display : nullptr;
    const int remap = b->team >= 0 && b->team < TEAM_MAXTEAMS ? teamdata[b->team].colour
                                                               : SORTDISP_REMAP_NONE;
    Expl_TerminateExpl(&b->explosion);
    Expl_MakeExplosion(&b->explosion, type, nullptr, remap, d ? SortDisp_GetFrame(d) : 0, 0, x, y,
                       d ? SortDisp_GetSprite(d) : nullptr);
}

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
    // Repaired: the damage it showed is gone.
    if (hp > b->hitpoints) Expl_TerminateExpl(&b->explosion);
    b->hitpoints = hp;
    for (int i = 0; i < n && i < BUILD_MAXCROSSED; i++)
        if (crossed[i]->expltype) StartEffect(b, crossed[i]->expltype);
    return n;
}
