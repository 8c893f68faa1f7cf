// Buildings that serve units (see buildbay.h for the bay's rules).
#include "units/buildbay.h"

#include <cstdlib>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/map.h"
#include "platform/sortdisp.h"
#include "rules/gamemsg.h"
#include "rules/tfgen.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/explosion.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitstate.h"

namespace {

void LocalMsg(const BUILDING* b, int msg)
{
    if (b->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(msg));
}

// The building the unit's service order names, or null.
BUILDING* ServiceBuilding(UNIT* u)
{
    if (u->sorder.code != SO_REPAIRSELF && u->sorder.code != SO_REARMSELF) return nullptr;
    return BuildId_Ptr(&u->sorder.serviceself.b);
}

// At least 1 while both factors are above 0: the integer share of a slow
// bay would otherwise be 0 for ever.
int ServiceAmount(int efficiency, int speed)
{
    if (efficiency <= 0 || speed <= 0) return 0;
    const int n = (int)((int64_t)efficiency * speed / 100);
    return n < 1 ? 1 : n;
}

void ServiceOnce(BUILDING* b, UNIT* u)
{
    if (u->sorder.code == SO_REARMSELF) {
        const int n = ServiceAmount(b->efficiency, g_General.rearmspeed);
        if (n > 0) Units_AddAmmo(u, n);
        return;
    }
    const bool human = u->type->abilities.ishuman;
    const int cost = human ? g_General.healcost : g_General.repaircost;
    const int n = ServiceAmount(b->efficiency, human ? g_General.healspeed : g_General.repairspeed);
    if (n <= 0 || u->hitpoints >= u->type->maxhitpoints) return;
    if (cost > 0) {
        if (teamdata[u->team].credits < cost || AI_GetCredits(u->team) < cost) return;
        Team_ChangeCredits(u->team, -cost);
        AI_SpendCredits(u->team, cost);
    }
    Units_SetHitpoints(u, u->hitpoints + n);
}

BUILDING* Nearest(int team, uint32_t flags, int x, int y)
{
    if (team < 0 || team >= TEAM_MAXTEAMS) return nullptr;
    BUILDING* best = nullptr;
    int bestd = 0;
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
        if (!b->complete || !(b->buildingtype->flags & flags)) continue;
        int dx, dy;
        Build_DoorTile(b, &dx, &dy);
        const int d = Build_TileDistance(x, y, dx, dy);
        if (best == nullptr || d < bestd) best = b, bestd = d;
    }
    return best;
}

// The held unit out on the free tile nearest (x, y) within range; 1 when
// it came out or the handle was stale.
int DropHeld(UNITLIST* hold, int x, int y, int range)
{
    UNITLISTELEM* e = hold->head;
    if (e == nullptr) return 1;
    const int id = e->u.id;
    UNIT* u = UnitId_Ptr(&e->u);
    if (u == nullptr || u->onmap) {
        Units_ListDelete(hold, id);
        return 1;
    }
    int tx, ty;
    if (!Units_ClosestLocation(u, x, y, &tx, &ty, range)) return 0;
    Units_ListDelete(hold, id);
    BuildId_Clear(&u->partof);
    Units_SetUnitPosition(u, tx, ty);
    Units_AddToMap(u);
    return 1;
}

bool SeenFootprint(const BUILDING* b, int team)
{
    const BUILDINGTYPE* t = b->buildingtype;
    const int w = t->width > 0 ? t->width : 1, h = t->height > 0 ? t->height : 1;
    return Fog_AnySeenInTiles(b->tilex, b->tiley, b->tilex + w - 1, b->tiley + h - 1, team) != 0;
}

} // namespace

int Build_DoorTile(const BUILDING* b, int* x, int* y)
{
    const BUILDINGTYPE* t = b->buildingtype;
    *x = b->tilex;
    *y = b->tiley;
    if (t->bayx < 0 || t->bayy < 0) return 0;
    *x += t->bayx;
    *y += t->bayy;
    return 1;
}

int Build_TileDistance(int x1, int y1, int x2, int y2)
{
    const int dx = abs(x1 - x2), dy = abs(y1 - y2);
    if (dx < MAP_HYPS_SIZE && dy < MAP_HYPS_SIZE) return MAP_HYPS(dx, dy);
    // Beyond the table: measured directly rather than clamped into it.
    return Map_ISqrt((long)dx * dx * 10000 + (long)dy * dy * 10000);
}

// ------------------------------------------------------------------ bays

BUILDING* Build_FindRepairBuilding(int team, int human, int x, int y)
{
    if ((human ? g_General.healspeed : g_General.repairspeed) <= 0) return nullptr;
    return Nearest(team, human ? BTF_CANHEAL : BTF_CANREPAIR, x, y);
}

BUILDING* Build_FindRearmBuilding(int team, int flyer, int x, int y)
{
    if (g_General.rearmspeed <= 0) return nullptr;
    return Nearest(team, flyer ? BTF_CANREARMFLYER : BTF_CANREARM, x, y);
}

void Build_ServiceQueueJoin(BUILDING* b, UNIT* u)
{
    ASSERT(b && u);
    if (Units_ListFind(&b->queue, u->id) == nullptr) Units_ListAppend(&b->queue, u, u->id, u->team);
}

void Build_ServiceQueueLeave(BUILDING* b, UNIT* u)
{
    ASSERT(b && u);
    Units_ListDelete(&b->queue, u->id);
}

void Build_ServiceStep(BUILDING* b)
{
    // Stale entries first, so that the head is a unit that still wants us.
    for (UNITLISTELEM* e = b->queue.head; e;) {
        UNITLISTELEM* next = e->next;
        const int id = e->u.id;
        UNIT* u = UnitId_Ptr(&e->u);
        if (u == nullptr || !u->onmap || ServiceBuilding(u) != b) Units_ListDelete(&b->queue, id);
        e = next;
    }
    UNIT* called = nullptr;
    for (UNITLISTELEM* e = b->queue.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (u && u->sorder.serviceself.state != SERVICE_MOVING_TO_QUEUE) {
            called = u;
            break;
        }
    }
    int dx, dy;
    Build_DoorTile(b, &dx, &dy);
    if (called == nullptr) {
        UNIT* head = Units_ListGetFirst(&b->queue);
        if (head == nullptr) return;
        head->sorder.serviceself.state = SERVICE_MOVING_TO_BAY;
        if (head->tilepos.x != dx || head->tilepos.y != dy)
            Units_MoveTo(head, dx, dy, Units_AllocGroupId());
        return;
    }
    if (called->sorder.serviceself.state == SERVICE_SERVICING && called->tilepos.x == dx &&
        called->tilepos.y == dy)
        ServiceOnce(b, called);
}

// ------------------------------------------------------------------ holds

int Build_CanHold(const BUILDING* b, const UNIT* u)
{
    if (b == nullptr || u == nullptr) return 0;
    const BUILDINGTYPE* t = b->buildingtype;
    return Build_HoldCount(b) < t->rooms[0] && Units_TotalMass(u) <= t->rooms[1];
}

void Build_HoldAddUnit(BUILDING* b, UNIT* u)
{
    ASSERT(b && u);
    Units_TakeOffMap(u);
    Units_ListAppend(&b->hold, u, u->id, u->team);
    BuildId_Setup(&u->partof, b);
}

int Build_HoldDropAll(BUILDING* b)
{
    int x, y;
    Build_DoorTile(b, &x, &y);
    for (int n = b->hold.count; n > 0 && b->hold.head; n--) {
        if (!DropHeld(&b->hold, x, y, 3)) break;
    }
    return Units_ListEmpty(&b->hold);
}

int Build_HoldDropLast(BUILDING* b)
{
    if (Units_ListEmpty(&b->hold)) return 1;
    int x, y;
    Build_DoorTile(b, &x, &y);
    DropHeld(&b->hold, x, y, 3);
    return 0;
}

BUILDING* Build_FindTransportPartner(const BUILDINGTYPE* type, int team, int flag, int resource,
                                     int x, int y)
{
    if (type == nullptr || team < 0 || team >= TEAM_MAXTEAMS || resource < 0 ||
        resource >= BUILD_RESOURCES)
        return nullptr;
    const int owner = flag ? TEAM_NEUTRAL : team;
    BUILDING* best = nullptr;
    int bestd = 0;
    for (BUILDING* b = teamdata[owner].firstbuilding; b; b = b->teamnext) {
        if (b->buildingtype != type || !b->complete) continue;
        const BUILDTYPE_RESOURCE& r = type->resource[resource];
        if (flag ? r.production <= 0 : !(r.keepdelivering || b->stored[resource] < r.maxstored))
            continue;
        if (!SeenFootprint(b, team)) continue;
        int dx, dy;
        Build_DoorTile(b, &dx, &dy);
        const int d = Build_TileDistance(x, y, dx, dy);
        if (best == nullptr || d < bestd) best = b, bestd = d;
    }
    return best;
}

void Build_ReleaseOccupants(BUILDING* b)
{
    int x, y;
    Build_DoorTile(b, &x, &y);
    while (!Units_ListEmpty(&b->hold)) {
        UNIT* u = Units_ListGetFirst(&b->hold);
        if (!DropHeld(&b->hold, x, y, 3)) {
            Units_ListDelete(&b->hold, u->id);
            Units_Delete(u);
        }
    }
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        UNIT* spy = UnitId_Ptr(&b->spy[t]);
        if (spy == nullptr) continue;
        if (!Units_SpyEject(spy)) {
            UnitId_Clear(&b->spy[t]);
            Units_Delete(spy);
        }
    }
    Units_ListClear(&b->queue);
}

// ------------------------------------------------------------------ packing and teleporting

int Build_FinishPack(BUILDING* b)
{
    BUILDINGTYPE* t = b->buildingtype;
    int dx, dy, x, y;
    Build_DoorTile(b, &dx, &dy);
    if (!Build_FindAccessTile(t, b->tilex, b->tiley, nullptr, dx, dy, 0, &x, &y)) return 0;
    UNIT* u = Units_NewAt(t->transportunit, b->team, -1, x, y);
    if (u == nullptr) return 0;
    u->building_package = new BUILDINGPACKAGE{t, b->whomademe};
    Build_RemoveFromGame(b, BRM_PACKED);
    return 1;
}

int Build_Teleport(BUILDING* b, int x, int y)
{
    if (b == nullptr || !b->complete || b->state != BS_IDLE ||
        !(b->buildingtype->flags & BTF_ISTELEPORT) || !Map_IsValidTile(x, y) ||
        !Fog_IsExplored(x, y, b->team))
        return 0;
    EXPLTYPE* e = b->buildingtype->teleportexpl;
    int moved = 0;
    while (!Units_ListEmpty(&b->hold)) {
        UNIT* u = Units_ListGetFirst(&b->hold);
        if (!DropHeld(&b->hold, x, y, 5)) break;
        if (u == nullptr || !u->onmap) continue;
        moved++;
        EXPLID id;
        if (e)
            Expl_MakeExplosion(&id, e, nullptr, SORTDISP_REMAP_NONE, 0, 0,
                               u->tilepos.x * MAP_TILE_PIXELS + MAP_TILE_PIXELS / 2,
                               u->tilepos.y * MAP_TILE_PIXELS + MAP_TILE_PIXELS / 2, nullptr);
    }
    if (moved > 0) LocalMsg(b, MSG_SFXTEMPGATE);
    return moved;
}
