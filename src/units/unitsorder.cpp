// Service orders: the setters and the per-update dispatcher.
//
// The queued order (snextorder) is what the unit goes back to: the
// dispatcher restores it as soon as the current order has ended. Searches
// for targets and roaming push the order they interrupt there first.
#include "units/unitsorder.h"

#include <cstdlib>

#include "ai/ai.h"
#include "core/angle.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "map/fog.h"
#include "map/map.h"
#include "rules/gamemsg.h"
#include "units/autotarget.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitstate.h"
#include "units/weapon.h"

static void SetCode(UNIT* u, int code)
{
    u->sorder.code = code;
    u->sorder.nextscantime = (int32_t)g_UpdateCount;
}

static void StopFiring(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_StopFiring(p);
}

static int Clamp(int v, int size)
{
    if (v < 2) return 1;
    return v > size - 1 ? size - 1 : v;
}

static int Later(int32_t scantime) { return (int64_t)scantime > (int64_t)g_UpdateCount; }

// ------------------------------------------------------------------ setters

// A tanker whose order ends at the door of one of its buildings sets off
// on a trip from there instead.
static int StartsTrip(UNIT* u)
{
    if (u->type->bldpairs.count <= 0 || u->sorder.code == SO_NONE || !u->onmap) return 0;
    BUILDING* b = Build_AtDoorTile(u->tilepos.x, u->tilepos.y);
    if (b == nullptr || (b->team != u->team && b->team < TEAM_NEUTRAL)) return 0;
    if (!Units_MatchedTransportPair(u, b->buildingtype)) return 0;
    return Units_SetupTransportTrail(u, b);
}

void Units_SOrderNone(UNIT* u)
{
    ASSERT(u);
    if (!u->isanimating)
        for (PART* p = u->basepart; p; p = p->partup) Parts_ResetAnimation(p);
    if (u->type->abilities.canidle) Units_ResetIdleDelay(u);
    if (StartsTrip(u)) return;
    Units_SOrderEnd(u);
}

void Units_SOrderEnd(UNIT* u)
{
    SetCode(u, SO_NONE);
    u->tactaiinfo = u->usertactaiinfo;
}

void Units_SOrderStop(UNIT* u)
{
    Units_StopMove(u);
    Units_SOrderNone(u);
}

void Units_SOrderAttack(UNIT* u, const TARGET* target, int homex, int homey, int destx, int desty)
{
    ASSERT(u && target);
    TARGET t = *target; // may be the unit's own order record
    const int inrange = Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK;
    if (u->tactaiinfo.autonomy == TACTAI_MEDIUM && u->sorder.code != SO_NONE &&
        u->sorder.code != SO_ATTACK && u->type->partinfo.nrparts >= 2) {
        if (inrange)
            for (PART* p = u->basepart; p; p = p->partup) Parts_Fire(p, &t);
        return;
    }
    if (!inrange) {
        if (u->tactaiinfo.tenacity == TACTAI_LOW) {
            Units_SOrderStop(u);
            return;
        }
        Units_StopMove(u);
    } else {
        Units_Fire(u, &t);
    }
    SetCode(u, SO_ATTACK);
    u->sorder.attack.target = t;
    u->sorder.attack.homepos = {homex, homey};
    u->sorder.attack.destpos = {destx, desty};
    Units_RallyIdleIndirectFire(u->team, &t);
}

// Only a computer player's team keeps its idle indirect-fire units listed
// (Units_ProcessAll): they join the first of them that attacks.
void Units_RallyIdleIndirectFire(int team, const TARGET* target)
{
    if (team < 0 || team >= TEAM_MAXTEAMS || !AI_IsEnabled(team)) return;
    for (UNITLISTELEM* e = teamdata[team].idleindirectfireunits.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (!u || u->sorder.code != SO_NONE) continue;
        TARGET t = *target;
        if (!Units_CanAttackTarget(u, &t)) continue;
        u->tactaiinfo.tenacity = TACTAI_LOW;
        Units_SOrderAttack(u, &t, u->tilepos.x, u->tilepos.y, -1, -1);
    }
}

void Units_SOrderMove(UNIT* u, int destx, int desty)
{
    ASSERT(destx > 0);
    ASSERT(desty > 0);
    ASSERT(destx < mapsizex);
    ASSERT(desty < mapsizey);
    Units_SetMoveOrder(u, destx, desty, Units_AllocGroupId());
}

void Units_SetMoveOrder(UNIT* u, int x, int y, uint32_t group)
{
    ASSERT(u);
    StopFiring(u);
    Units_MoveTo(u, x, y, group);
    SetCode(u, SO_MOVE);
    u->sorder.move.destpos = {x, y};
    u->sorder.move.groupid = group;
    u->sorder.move.retries = 0;
}

// A unit sent where its type can't go switches to the alternate form that
// can, or back from it.
static UNIT* FitForTile(UNIT* u, int x, int y)
{
    if (!Units_IsImpassible(u->type, x, y)) return u;
    const UNITTYPE* alt = u->type->alternateinfo.type;
    if (u->type->abilities.canalternate && alt && !Units_IsImpassible(alt, x, y))
        return Units_DoAlternateState(u);
    if (u->alternate_utype && !Units_IsImpassible(u->alternate_utype, x, y))
        return Units_DoAlternateState(u);
    return u;
}

void Units_SOrderMoveGroup(const UNITLIST* list, int destx, int desty, int keepformation,
                           int team)
{
    ASSERT(list);
    ASSERT(destx > 0);
    ASSERT(desty > 0);
    ASSERT(destx < mapsizex);
    ASSERT(desty < mapsizey);
    const int x = destx, y = desty;
    const uint32_t group = Units_AllocGroupId();
    UNITLIST units;
    Units_ListInit(&units);
    bool wasattacking = false;
    long sumx = 0, sumy = 0;
    for (const UNITLISTELEM* e = list->head; e; e = e->next) {
        UNIT* u = Units_IdToUnitPtr(e->u.id, team);
        if (!u) continue;
        Units_ListAppend(&units, u, u->id, u->team);
        wasattacking = wasattacking || u->sorder.code == SO_ATTACK;
        sumx += u->tilepos.x;
        sumy += u->tilepos.y;
    }
    // Every unit may have died while the order travelled.
    if (units.count == 0) return;
    const int cx = (int)(sumx / units.count), cy = (int)(sumy / units.count);
    const int spread = Map_ISqrt(units.count);
    for (UNITLISTELEM* e = units.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (!u) continue;
        int dx, dy;
        if (keepformation) {
            dx = x + u->tilepos.x - cx;
            dy = y + u->tilepos.y - cy;
        } else {
            dx = x + Rand_Next(spread) - spread / 2;
            dy = y + Rand_Next(spread) - spread / 2;
        }
        dx = Clamp(dx, mapsizex);
        dy = Clamp(dy, mapsizey);
        u = FitForTile(u, dx, dy);
        if (wasattacking)
            u->tactaiinfo.autonomy = TACTAI_MEDIUM;
        else if (u->snextorder.code != SO_AUTOMOVE)
            u->snextorder.code = SO_NONE;
        Units_SetMoveOrder(u, dx, dy, group);
    }
    Units_ListClose(&units);
}

void Units_SOrderConstruct(UNIT* u, int buildtype, int x, int y)
{
    Units_StopMove(u);
    SetCode(u, SO_CONSTRUCT);
    u->sorder.construct.retries = 0;
    u->sorder.construct.buildtype = buildtype;
    u->sorder.construct.topleftpos = {x, y};
}

void Units_SOrderSabotageBuilding(UNIT* u, BUILDING* b)
{
    Units_StopMove(u);
    SetCode(u, SO_SABOTAGE_BUILDING);
    BuildId_Setup(&u->sorder.sabotage.building, b);
    UnitId_Clear(&u->sorder.sabotage.unit);
    u->sorder.sabotage.sabotageleft = u->type->sabotageinfo[0];
    u->sorder.sabotage.retries = 0;
}

static void FollowTrail(UNIT* u, int mode, TRAIL* trail)
{
    SetCode(u, SO_TRAIL);
    u->sorder.trail.followstate = 0;
    u->sorder.trail.mode = mode;
    u->sorder.trail.trail = trail;
    u->sorder.trail.waypoint = trail ? trail->head : nullptr;
    u->sorder.trail.didtrailwait = 1;
    Units_StopMove(u);
}

void Units_SOrderFollowLocalTrail(UNIT* u, int mode) { FollowTrail(u, mode, u->localtrail); }

void Units_SOrderFollowGlobalTrail(UNIT* u, int mode, int index)
{
    ASSERT(index >= 0 && index < QUORVEX_GLOBALTRAILS);
    FollowTrail(u, mode, &teamdata[u->team].gtrails[index]);
}

void Units_SOrderRotate(UNIT* u, int x, int y)
{
    const int facing = Util_VectorAngle((float)(x - u->tilepos.x), (float)(y - u->tilepos.y)) >> 16;
    Units_TurnTo(u, facing & 255);
    Units_SOrderNone(u);
}

void Units_SOrderBoard(UNIT* u, UNIT* carrier)
{
    Units_StopMove(u);
    SetCode(u, SO_BOARD);
    UnitId_Setup(&u->sorder.board.unit, carrier);
    u->sorder.board.retries = 0;
}

void Units_SOrderPickUp(UNIT* u)
{
    if (!BuildId_Valid(&u->associate)) return;
    Units_StopMove(u);
    SetCode(u, SO_PICKUP);
    u->sorder.pickup.retries = 0;
}

static void HearMorph(const UNIT* u)
{
    if (u->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_SFXMORPH));
}

void Units_SOrderMorphUnit(UNIT* u, UNITTYPE* utypeinto, int teaminto)
{
    ASSERT(utypeinto);
    ASSERT(teaminto >= 0 && teaminto < TEAM_MAXTEAMS);
    if (!Units_CanMorphUnit(u, utypeinto)) {
        Units_SOrderNone(u);
        return;
    }
    Units_PlayExplosion(u, u->type->morphunitinfo.expltype);
    HearMorph(u);
    SetCode(u, SO_MORPHUNIT);
    u->sorder.morphunit.utypeinto = utypeinto;
    u->sorder.morphunit.teaminto = teaminto;
    u->sorder.morphunit.countdown = u->type->morphunitinfo.n;
}

void Units_SOrderMorphOverlay(UNIT* u, OVERLAYTYPE* otypeinto)
{
    ASSERT(otypeinto);
    if (!Units_CanMorphOverlay(u, otypeinto)) {
        Units_SOrderNone(u);
        return;
    }
    Units_PlayExplosion(u, u->type->morphovlinfo.expltype);
    HearMorph(u);
    SetCode(u, SO_MORPHOVL);
    u->sorder.morphovl.otypeinto = otypeinto;
    u->sorder.morphovl.countdown = u->type->morphovlinfo.n;
}

void Units_SOrderUnMorph(UNIT* u)
{
    const UNITTYPE_EXPLINFO* info = u->operation.code == UO_MORPHUNIT  ? &u->type->morphunitinfo
                                    : u->operation.code == UO_MORPHOVL ? &u->type->morphovlinfo
                                                                       : nullptr;
    if (!info) {
        Units_SOrderNone(u);
        return;
    }
    Units_PlayExplosion(u, info->expltype);
    SetCode(u, SO_UNMORPH);
    u->sorder.unmorph.countdown = info->n;
}

void Units_SOrderAutomove(UNIT* u, int level)
{
    Units_StopMove(u);
    u->sorder.code = SO_AUTOMOVE;
    u->sorder.automove.level = level;
    u->sorder.automove.retreat = 0;
    u->tactaiinfo.autonomy = level;
    u->tactaiinfo.tenacity = TACTAI_HIGH;
}

void Units_SOrderSelfDestruct(UNIT* u) { Units_SelfDestruct(u); }

void Units_SOrderPhase(UNIT* u)
{
    Units_Phase(u);
    Units_SOrderNone(u);
}

void Units_SOrderUnPhase(UNIT* u)
{
    Units_UnPhase(u);
    Units_SOrderNone(u);
}

// ------------------------------------------------------------------ dispatcher

// The idle step: 1 when the unit played an idle animation instead of
// looking around.
static int IdleStep(UNIT* u)
{
    const UNITTYPE* t = u->type;
    u->sorder.nextscantime = (int32_t)g_UpdateCount + t->scandelay;
    if (t->abilities.canidle) {
        u->idledelay -= t->scandelay;
        if (u->idledelay < 1 && Units_IsStationary(u)) {
            const int lo = t->idleanimationinfo[2], hi = t->idleanimationinfo[3];
            Units_PlayPartsAnimation(u, lo + Rand_Next(hi - lo + 1), PAM_ONCE);
            Units_ResetIdleDelay(u);
            return 1;
        }
    }
    return 0;
}

void Units_IdleServiceChecks(UNIT* u)
{
    if (IdleStep(u)) return;
    if (Units_TryAutoRepair(u) || Units_TryAutoRearm(u)) return;
    Units_AutoTarget(u, u->tilepos.x, u->tilepos.y, -1, -1);
}

// The target's tile, or the unit's own for a target without one.
static UNIT_POS TargetTile(TARGET* t, const UNIT* u)
{
    int tile[2] = {u->tilepos.x, u->tilepos.y};
    Target_GetTilePosition(t, tile);
    return {tile[0], tile[1]};
}

// Whether the unit may close in on the target from *at, the target's tile:
// when some tile around it is in sight. A building's tile is its top-left
// corner, which may lie unseen behind it: a unit on the far side gave up
// there, took the building again at once and stood out of range for good.
// A building stays where it was seen, so the unit closes in on its attack
// point instead, the tile beside it from which it shoots, in sight or not:
// giving up would only hand the building back to its targeting at once.
static bool MayCloseIn(TARGET* t, UNIT* u, UNIT_POS* at)
{
    if (Fog_AnySeenInTiles(at->x, at->y, at->x + 2, at->y + 2, u->team)) return true;
    if (t->mode != FM_BUILDING) return false;
    Build_GetAttackPoint(t->building.building, u, &at->x, &at->y);
    return true;
}

static void GiveUp(UNIT* u)
{
    const UNIT_POS home = u->sorder.attack.homepos;
    Units_SOrderNone(u);
    if (Units_AutoTarget(u, home.x, home.y, -1, -1)) return;
    if (u->tactaiinfo.tenacity != TACTAI_MEDIUM || u->snextorder.code != SO_NONE) return;
    if (home.x == u->tilepos.x && home.y == u->tilepos.y) return;
    if (!Map_IsValidTile(home.x, home.y)) return;
    Units_SOrderMove(u, home.x, home.y);
}

// A healer's work on a friend is done once the friend is whole: mending
// on would only repeat the news that it is.
static bool Healed(UNIT* u, TARGET* t)
{
    if (!u->type->abilities.canheal || t->mode != FM_UNIT) return false;
    const UNIT* v = UnitId_Ptr(&t->unit);
    if (v == nullptr || (v->team != u->team && Team_GetRelation(u->team, v->team) != TR_ALLY))
        return false;
    return !Units_NeedsHealing(v);
}

static void EndHere(UNIT* u)
{
    Units_StopMove(u);
    Units_SOrderNone(u);
}

void Units_ProcessSOAttack(UNIT* u)
{
    TARGET* t = &u->sorder.attack.target;
    if (!Target_Valid(t)) {
        GiveUp(u);
        return;
    }
    if (Healed(u, t)) {
        Units_StopMove(u);
        GiveUp(u);
        return;
    }
    UNIT_POS at = TargetTile(t, u);
    if (!Units_IsStationary(u)) {
        if (u->state != US_FIRING) return;
        u->sorder.nextscantime = (int32_t)g_UpdateCount + 5;
        if (!Units_CanAttackTarget(u, t)) {
            GiveUp(u);
        } else if (Units_CheckTargetWithWeapons(u, t) != TARGETRANGE_OK) {
            if (u->movemode == MM_FIXED)
                EndHere(u);
            else if (u->tactaiinfo.tenacity > TACTAI_LOW)
                Units_MoveTo(u, at.x, at.y, Units_AllocGroupId());
            else
                GiveUp(u);
        }
        return;
    }
    if (!Units_CanAttackTarget(u, t)) {
        GiveUp(u);
        return;
    }
    const int answer = Units_CheckTargetWithWeapons(u, t);
    if (answer == TARGETRANGE_OK) {
        Units_Fire(u, t);
        return;
    }
    if (u->movemode == MM_FIXED) {
        EndHere(u);
        return;
    }
    if (u->tactaiinfo.tenacity == TACTAI_LOW || !MayCloseIn(t, u, &at)) {
        GiveUp(u);
        return;
    }
    int x, y;
    if (answer == TARGETRANGE_TOOCLOSE) {
        x = 2 * u->tilepos.x - at.x;
        y = 2 * u->tilepos.y - at.y;
    } else if (answer == TARGETRANGE_TOOFAR || answer == TARGETRANGE_CANTSEE) {
        int d = Units_FirstWeaponResult(u, t);
        if (d < 0) d = 0;
        x = at.x;
        y = at.y;
        if (abs(u->tilepos.x - at.x) > d || abs(u->tilepos.y - at.y) > d) {
            x += Rand_Next(2 * d + 1) - d;
            y += Rand_Next(2 * d + 1) - d;
        }
    } else {
        GiveUp(u);
        return;
    }
    Units_MoveTo(u, Clamp(x, mapsizex), Clamp(y, mapsizey), Units_AllocGroupId());
}

static void ProcessMove(UNIT* u)
{
    if (u->state == US_WAITFORPATH) {
        Units_IdleServiceChecks(u);
        if (u->sorder.code != SO_MOVE) return;
    }
    if (!Units_IsStationary(u)) return;
    tagSO_MOVE& m = u->sorder.move;
    if (m.retries++ >= 10) {
        Units_SOrderNone(u);
    } else if (abs(u->tilepos.x - m.destpos.x) < 4 && abs(u->tilepos.y - m.destpos.y) < 4) {
        Units_SOrderNone(u);
    } else {
        Units_MoveTo(u, m.destpos.x, m.destpos.y, m.groupid);
        u->sorder.nextscantime = (int32_t)g_UpdateCount + 50;
    }
}

static void ProcessBoard(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    UNIT* c = UnitId_Ptr(&u->sorder.board.unit);
    // A carrier off the map is inside something: its tile is where it was
    // last, and boarding it there would put a unit in a hold that may be
    // its own passenger's.
    if (!c || !c->onmap) {
        Units_SOrderNone(u);
        return;
    }
    if (c->maplevel == u->maplevel && abs(c->tilepos.x - u->tilepos.x) < 2 &&
        abs(c->tilepos.y - u->tilepos.y) < 2) {
        Units_SOrderNone(u);
        if (Units_HoldAvailable(c, u)) Units_HoldAddUnit(c, u);
        return;
    }
    if (u->sorder.board.retries > 5) {
        Units_SOrderNone(u);
        return;
    }
    Units_MoveTo(u, c->tilepos.x, c->tilepos.y, Units_AllocGroupId());
    u->sorder.board.retries++;
}

static void ProcessGrab(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    UNIT* v = UnitId_Ptr(&u->sorder.grabunit.unit);
    if (!v || !v->onmap) {
        Units_SOrderNone(u);
        return;
    }
    Units_MoveTo(u, v->tilepos.x, v->tilepos.y, Units_AllocGroupId());
    u->sorder.grabunit.retries++;
}

// 1 when the countdown has run out (it is tested, then counted down).
static int CountedDown(int32_t* countdown) { return (*countdown)-- < 1; }

void Units_ProcessSOAutomove(UNIT* u)
{
    if (u->state == US_FIRING || u->state == US_FIRINGONCE) return;
    u->snextorder = u->sorder;
    if (Units_IsStationary(u)) {
        if (Units_TryAutoRepair(u) || Units_TryAutoRearm(u)) return;
        Units_PickAutomoveDestination(u);
        return;
    }
    if (u->sorder.automove.retreat) return;
    TARGET t;
    if (Units_CountThreats(u, u->tilepos.x, u->tilepos.y, &t) > 0) Units_StopMove(u);
    if (!Target_Valid(&t)) return;
    const int level = u->sorder.automove.level;
    if (level == TACTAI_MEDIUM) {
        if (u->type->partinfo.nrparts < 2)
            Units_FireOnce(u, &t);
        else if (Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK)
            for (PART* p = u->basepart; p; p = p->partup) Parts_Fire(p, &t);
    } else if (level == TACTAI_HIGH) {
        const int r = Units_CheckTargetWithWeapons(u, &t);
        if (r == TARGETRANGE_OK || r == TARGETRANGE_TOOCLOSE || r == TARGETRANGE_TOOFAR)
            Units_SOrderAttack(u, &t, u->tilepos.x, u->tilepos.y, -1, -1);
    }
}

int Units_ProcessSOrder(UNIT* u)
{
    ASSERT(u);
    if (u->isphased || Later(u->sorder.nextscantime)) return 1;
    if (u->sorder.code == SO_NONE && u->snextorder.code != SO_NONE) {
        u->sorder = u->snextorder;
        u->snextorder.code = SO_NONE;
        if (u->sorder.code == SO_AUTOMOVE) {
            u->tactaiinfo.tenacity = TACTAI_HIGH;
            u->tactaiinfo.autonomy = u->sorder.automove.level;
        }
    }
    const int32_t id = u->id;
    switch (u->sorder.code) {
    case SO_NONE:
        Units_IdleServiceChecks(u);
        break;
    case SO_ATTACK: Units_ProcessSOAttack(u); break;
    case SO_MOVE: ProcessMove(u); break;
    case SO_BOARD: ProcessBoard(u); break;
    case SO_GRABUNIT: ProcessGrab(u); break;
    case SO_MORPHOVL:
        if (CountedDown(&u->sorder.morphovl.countdown)) {
            OVERLAYTYPE* into = u->sorder.morphovl.otypeinto;
            Units_ClearMorphState(u);
            Units_MorphToOverlay(u, into);
            Units_SOrderNone(u);
        }
        break;
    case SO_MORPHUNIT:
        if (CountedDown(&u->sorder.morphunit.countdown)) {
            UNITTYPE* into = u->sorder.morphunit.utypeinto;
            const int team = u->sorder.morphunit.teaminto;
            Units_ClearMorphState(u);
            Units_MorphTo(u, into, team);
            Units_SOrderNone(u);
        }
        break;
    case SO_UNMORPH:
        if (CountedDown(&u->sorder.unmorph.countdown)) {
            Units_ClearMorphState(u);
            Units_SOrderNone(u);
        }
        break;
    case SO_AUTOMOVE: Units_ProcessSOAutomove(u); break;
    case SO_DUMMY: EndHere(u); break;
    case SO_CONSTRUCT:
        if (!Units_ProcessSOConstruct(u)) return 0;
        break;
    case SO_SPY: Units_ProcessSOSpy(u); break;
    case SO_SABOTAGE_BUILDING: Units_ProcessSOSabotage(u); break;
    case SO_TRAIL: Units_ProcessSOTrailStep(u); break;
    case SO_BOARDBLD: Units_ProcessSOBoardBuilding(u); break;
    case SO_PICKUP: Units_ProcessSOPickUp(u); break;
    case SO_REPAIRSELF:
    case SO_REARMSELF: Units_ProcessSOServiceSelf(u, u->sorder.code); break;
    default: break;
    }
    return u->inuse && u->id == id;
}
