// Unit holds, resource transport and building packages (see unithold.h).
#include "units/unithold.h"

#include <algorithm>
#include <cstdlib>

#include "core/debug.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

// The facing and animation before a transfer: 1 once both are done.
int Ready(UNIT* u, const UNITTYPE_FACINGANIM& fa)
{
    if (fa.facing < 0) return 1;
    PART* base = u->basepart;
    if (base == nullptr) return 1;
    if (u->isanimating) return Units_AnimationDone(u);
    if (!Parts_IsIdle(base) || ((base->angle >> 16) & 255) != (fa.facing & 255)) {
        if (Parts_IsIdle(base)) Parts_RotateTo(base, fa.facing & 255);
        return 0;
    }
    // Turned: the animation plays once, and the transfer waits for its end.
    Units_PlayPartsAnimation(u, fa.n, PAM_ONCE);
    return Units_AnimationDone(u);
}

// Step 5 of the transfer rules.
int Finish(UNIT* u, BUILDING* b, int r, bool done)
{
    if (!done) return 1;
    if (b->buildingtype->resource[r].keepdelivering) return u->resource[r] > 0 ? 0 : 1;
    if (u->localtrail) Trail_Clear(u->localtrail);
    // Not Units_SOrderStop: at this door it would set off on a new trip.
    Units_StopMove(u);
    Units_SOrderEnd(u);
    return 0;
}

// Loads resource r from b; 1 when the load is full.
bool LoadStep(UNIT* u, BUILDING* b, int r)
{
    const int max = u->type->resource[r][0];
    int n = std::min({max - u->resource[r], b->stored[r], u->type->resource[r][1]});
    if (n < 1) n = 0;
    u->resource[r] -= Build_ChangeStoredResource(b, r, -n, 0);
    return u->resource[r] >= max;
}

bool SourceOf(const BUILDING* b, int r) { return b->buildingtype->resource[r].production >= 1; }

} // namespace

// ------------------------------------------------------------------ holds

void Units_TakeOffMap(UNIT* u)
{
    ASSERT(u);
    if (!u->onmap) return;
    Pathsrch_CancelUnit(u);
    Path_Clear(&u->move.path);
    u->nextstate.type = UNS_NONE;
    u->move.curvepos = 0;
    u->state = US_NONE;
    Units_RemoveFromMap(u);
}

void Units_HoldAddUnit(UNIT* uhold, UNIT* u)
{
    ASSERT(uhold);
    ASSERT(u);
    Units_TakeOffMap(u);
    Units_ListAppend(&uhold->hold, u, u->id, u->team);
}

// 1 when u holds c, directly or inside one of its passengers.
static int Holds(const UNIT* u, const UNIT* c)
{
    for (const UNITLISTELEM* e = u->hold.head; e; e = e->next) {
        UNITID h = e->u;
        const UNIT* v = UnitId_Ptr(&h);
        if (v == c || (v && Holds(v, c))) return 1;
    }
    return 0;
}

int Units_HoldAvailable(const UNIT* carrier, const UNIT* u)
{
    // A unit in its own hold, or in the hold of what it carries, would make
    // a ring of holds that nothing ever unloads and that no walk ends.
    if (u == carrier || Holds(u, carrier)) return 0;
    return Units_ListSize(&carrier->hold) < carrier->type->hold &&
           Units_TotalMass(u) <= carrier->type->holdmass;
}

int Units_HoldHowMany(const UNIT* carrier) { return Units_ListSize(&carrier->hold); }

int Units_TotalMass(const UNIT* u)
{
    int mass = u->type->mass;
    for (const UNITLISTELEM* e = u->hold.head; e; e = e->next) {
        UNITID h = e->u;
        if (const UNIT* v = UnitId_Ptr(&h)) mass += Units_TotalMass(v);
    }
    return mass;
}

int Units_HoldDropUnit(UNIT* carrier, int id)
{
    UNITLISTELEM* e = Units_ListFind(&carrier->hold, id);
    if (e == nullptr) return 1;
    UNIT* u = UnitId_Ptr(&e->u);
    if (u == nullptr || u->onmap) { // died or left in the meantime
        Units_ListDelete(&carrier->hold, id);
        return 1;
    }
    ASSERT(u->id == id);
    int x, y;
    if (!Units_ClosestLocation(u, carrier->tilepos.x, carrier->tilepos.y, &x, &y, 3)) return 0;
    Units_ListDelete(&carrier->hold, id);
    Units_SetUnitPosition(u, x, y);
    Units_AddToMap(u);
    if (carrier->operation.code == UO_CONVERT) carrier->operation.code = UO_NONE;
    return 1;
}

int Units_HoldDropAll(UNIT* carrier)
{
    UNITLIST ids;
    Units_ListInit(&ids);
    Units_ListCopy(&ids, &carrier->hold);
    for (UNITLISTELEM* e = ids.head; e; e = e->next) Units_HoldDropUnit(carrier, e->u.id);
    Units_ListClose(&ids);
    return Units_ListEmpty(&carrier->hold);
}

int Units_HoldDropLast(UNIT* carrier)
{
    if (Units_ListEmpty(&carrier->hold)) return 1;
    Units_HoldDropUnit(carrier, carrier->hold.head->u.id);
    return 0;
}

void Units_HoldDeleteAll(UNIT* uhold)
{
    ASSERT(uhold);
    UNIT* u;
    int id;
    while (Units_ListRemoveFirst(&uhold->hold, &u, &id))
        if (u != nullptr && !u->onmap) Units_Delete(u);
}

int Units_HoldDropAllCritical(UNIT* uhold)
{
    ASSERT(uhold);
    const int all = Units_HoldDropAll(uhold);
    Units_HoldDeleteAll(uhold);
    return all;
}

int Units_CanGrab(const UNIT* grabber, const UNIT* u)
{
    return grabber->type->abilities.cangrab && u->type->abilities.ishuman &&
           Units_HoldAvailable(grabber, u) && Team_GetRelation(grabber->team, u->team) != TR_ALLY;
}

int Units_CanBoardBuilding(const UNIT* u, const BUILDING* b)
{
    switch (b->state) {
    case 1: case 3: case 5: case 6: case 7: case 8: case 9: return 0;
    default: return Build_CanHold(b, u);
    }
}

// ------------------------------------------------------------------ transport

int Units_MatchedTransportPair(const UNIT* u, const BUILDINGTYPE* type)
{
    const auto& pairs = u->type->bldpairs;
    for (int i = 0; i < pairs.count && i < UNITTYPE_BLDPAIRS; i++)
        if (pairs.pair[i].srctype == type || pairs.pair[i].dsttype == type) return 1;
    return 0;
}

BUILDING* Units_FindMatchedTransportBuilding(UNIT* u, BUILDING* b)
{
    ASSERT(u && b);
    const auto& pairs = u->type->bldpairs;
    ASSERT(pairs.count >= 0);
    ASSERT(pairs.count <= UNITTYPE_BLDPAIRS);
    int x, y;
    Build_DoorTile(b, &x, &y);
    for (int i = 0; i < pairs.count; i++) {
        const UNITTYPE_BLDPAIR& p = pairs.pair[i];
        BUILDING* found = nullptr;
        if (p.srctype == b->buildingtype && p.dsttype)
            found = Build_FindTransportPartner(p.dsttype, u->team, 0, p.n, x, y);
        else if (p.dsttype == b->buildingtype && p.srctype)
            found = Build_FindTransportPartner(p.srctype, u->team, 1, p.n, x, y);
        if (found) return found;
    }
    return nullptr;
}

void Units_LayTransportTrail(UNIT* u, BUILDING* src, BUILDING* bdest)
{
    ASSERT(u);
    ASSERT(u->localtrail);
    ASSERT(src);
    ASSERT(bdest);
    int x, y;
    Trail_Clear(u->localtrail);
    Build_DoorTile(src, &x, &y);
    Trail_AddWaypoint(u->localtrail, WPT_MOVE, x, y, 0);
    Build_DoorTile(bdest, &x, &y);
    Trail_AddWaypoint(u->localtrail, WPT_MOVE, x, y, 0);
    Units_SOrderFollowLocalTrail(u, TRAIL_LOOP);
}

int Units_SetupTransportTrail(UNIT* u, BUILDING* b)
{
    ASSERT(u && b);
    if (!Units_MatchedTransportPair(u, b->buildingtype)) return 0;
    BUILDING* partner = Units_FindMatchedTransportBuilding(u, b);
    if (partner == nullptr) return 0;
    Units_LayTransportTrail(u, b, partner);
    return 1;
}

int Units_SetupReusedTransportTrail(UNIT* u, BUILDING* b)
{
    ASSERT(u && b);
    const auto& pairs = u->type->bldpairs;
    ASSERT(pairs.count >= 0);
    ASSERT(pairs.count <= UNITTYPE_BLDPAIRS);
    int fx, fy, lx, ly;
    if (u->localtrail && Trail_GetFirst(u->localtrail, nullptr, &fx, &fy, nullptr) &&
        Trail_GetLast(u->localtrail, nullptr, &lx, &ly, nullptr)) {
        BUILDING* ends[2] = {Build_AtDoorTile(fx, fy), Build_AtDoorTile(lx, ly)};
        for (int i = 0; i < pairs.count; i++) {
            const UNITTYPE_BLDPAIR& p = pairs.pair[i];
            const BUILDINGTYPE* partner;
            if (p.srctype == b->buildingtype) partner = p.dsttype;
            else if (p.dsttype == b->buildingtype) partner = p.srctype;
            else continue;
            for (int e = 0; e < 2; e++) {
                BUILDING* other = ends[1 - e];
                if (other == nullptr || other == b) continue;
                if ((ends[e] && ends[e]->buildingtype == b->buildingtype) ||
                    other->buildingtype == partner) {
                    Units_LayTransportTrail(u, b, other);
                    return 1;
                }
            }
        }
    }
    return Units_SetupTransportTrail(u, b);
}

int Units_UnitTransportActions(UNIT* u, BUILDING* b)
{
    const UNITTYPE* t = u->type;
    int r = -1;
    for (int i = 0; i < UNIT_RESOURCES && r < 0; i++)
        if (u->resource[i] > 0) r = i;
    if (r >= 0 && !SourceOf(b, r)) {
        const BUILDTYPE_RESOURCE& br = b->buildingtype->resource[r];
        const bool own = b->team == u->team;
        if (own && br.maxstored >= 1 && b->stored[r] >= br.maxstored) return Finish(u, b, r, true);
        if (!own || br.maxstored < 1) {
            for (int k = 0; k < UNIT_RESOURCES; k++)
                if (t->resource[k][0] > 0 && SourceOf(b, k) && b->stored[k] > 0) {
                    // Emptied here; it loads at its next visit.
                    for (int& load : u->resource) load = 0;
                    return 0;
                }
            return Finish(u, b, r, false);
        }
        if (!Ready(u, t->transportunload)) return 0;
        int n = std::min({br.maxstored - b->stored[r], u->resource[r], t->resource[r][2]});
        if (!b->delivering || n < 1) n = 0;
        u->resource[r] -= Build_ChangeStoredResource(b, r, n, 1);
        if (b->stored[r] >= br.maxstored) return Finish(u, b, r, true);
        return u->resource[r] > 0 ? 0 : Finish(u, b, r, false);
    }
    if (r >= 0) {
        if (b->stored[r] <= 0) return 0;
        if (!Ready(u, t->transportload)) return 0;
        return LoadStep(u, b, r) ? Finish(u, b, r, false) : 0;
    }
    for (int k = 0; k < UNIT_RESOURCES; k++) {
        if (t->resource[k][0] <= 0 || !SourceOf(b, k) || b->stored[k] <= 0) continue;
        if (!Ready(u, t->transportload)) return 0;
        if (!LoadStep(u, b, k)) return 0;
    }
    return 1;
}

void Units_DumpResources(UNIT* u)
{
    bool carried = false;
    for (int& load : u->resource)
        if (load > 0) load = 0, carried = true;
    if (!carried || u->sorder.code != SO_NONE) return;
    BUILDING* b = Build_AtDoorTile(u->tilepos.x, u->tilepos.y);
    if (b == nullptr || !Units_MatchedTransportPair(u, b->buildingtype)) return;
    if (BUILDING* partner = Units_FindMatchedTransportBuilding(u, b))
        Units_LayTransportTrail(u, b, partner);
}

// ------------------------------------------------------------------ building packages

int Units_HasBuildingPackage(const UNIT* u)
{
    return u->building_package != nullptr && u->building_package->building_type != nullptr;
}

void Units_GetUnpackBuildingXY(const UNIT* u, int* x, int* y)
{
    const BUILDINGTYPE* t = u->building_package->building_type;
    const int w = t->width & 15, h = t->height & 15;
    *x = std::max(u->tilepos.x - w / 2, 0);
    *y = std::max(u->tilepos.y - h / 2, 0);
    if (*x + w >= mapsizex) *x = mapsizex - w - 1;
    if (*y + h >= mapsizey) *y = mapsizey - h - 1;
    // A footprint wider than the map has no corner inside it.
    *x = std::max(*x, 0);
    *y = std::max(*y, 0);
}

int Units_CanUnitUnpackHere(const UNIT* u)
{
    if (!Units_HasBuildingPackage(u)) return 0;
    int x, y;
    Units_GetUnpackBuildingXY(u, &x, &y);
    return Build_ApplyEffects(u, nullptr, u->building_package->building_type, x, y, nullptr) != 0;
}

void Units_DoUnpackBuilding(UNIT* u, int x, int y)
{
    ASSERT(u);
    Units_SOrderConstruct(u, Units_HasBuildingPackage(u) ? u->building_package->building_type->index
                                                         : -1,
                          x, y);
}

// ------------------------------------------------------------------ global trails

void Units_ClearGlobal(int team, int index)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    ASSERT(index >= 0 && index < QUORVEX_GLOBALTRAILS);
    TRAIL* trail = &teamdata[team].gtrails[index];
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->team != team) continue;
        // A queued trail order would come back pointing into the emptied trail.
        if (u->snextorder.code == SO_TRAIL && u->snextorder.trail.trail == trail)
            u->snextorder.code = SO_NONE;
        if (u->sorder.code == SO_TRAIL && u->sorder.trail.trail == trail) Units_SOrderStop(u);
    }
    Trail_Clear(trail);
}
