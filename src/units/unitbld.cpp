// Service orders at buildings and along trails (see unitbld.h).
//
// Every handler runs only while its unit is stationary unless it says
// otherwise: a command given while the unit walks would be queued behind the
// step and run once it ends anyway. A building that is gone ends the order
// that names it.
#include "units/unitbld.h"

#include <cstdlib>

#include "ai/ai.h"
#include "ai/aiteam.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "map/fog.h"
#include "map/map.h"
#include "rules/gamemsg.h"
#include "rules/tfgen.h"
#include "ui/igievnt.h"
#include "units/autotarget.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

void SetCode(UNIT* u, int code)
{
    u->sorder.code = code;
    u->sorder.nextscantime = (int32_t)g_UpdateCount;
}

void LocalMsg(int team, int msg)
{
    if (team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(msg));
}

// "MSG_UACTSPYCOMP" names the building's team and its type.
void SpyCompromised(const UNIT* spy, const BUILDING* b)
{
    if (spy->team != g_LocalTeam) return;
    GameMsg_TriggerStd(GameMsg_Std(MSG_SFXKLAXON));
    const GAMEMSG_ARG args[2] = {GameMsg_Int(b->team), GameMsg_Str(b->buildingtype->name)};
    GameMsg_TriggerVar(GameMsg_Std(MSG_UACTSPYCOMP), args, 2);
}

void SpyInfiltrated(const BUILDING* b)
{
    if (b->team != g_LocalTeam) return;
    GameMsg_TriggerStd(GameMsg_Std(MSG_SFXKLAXON));
    const GAMEMSG_ARG args[1] = {GameMsg_Str(b->buildingtype->name)};
    GameMsg_TriggerVar(GameMsg_Std(MSG_UACTSPYINFIL), args, 1);
}

bool On(const UNIT* u, int x, int y) { return u->tilepos.x == x && u->tilepos.y == y; }

void MoveNew(UNIT* u, int x, int y)
{
    if (Map_IsValidTile(x, y)) Units_MoveTo(u, x, y, Units_AllocGroupId());
}

// A free tile within range of (x, y) for the unit to walk to.
void MoveNear(UNIT* u, int x, int y, int range)
{
    int tx, ty;
    if (Units_ClosestLocation(u, x, y, &tx, &ty, range)) MoveNew(u, tx, ty);
}

void ResweepTeam(int team)
{
    Units_UpdateRelationRelatedInformationForTeam(team);
    Build_ResweepTeamSight(team);
}

// The spy's team gains (+1) or loses (-1) what the effect gives it.
void ApplySpyEffect(int spyteam, int bteam, int effect, int sign)
{
    if (effect == BSPY_RESOURCE) {
        if (sign > 0) Team_IncSeeResource(spyteam, bteam);
        else Team_DecSeeResource(spyteam, bteam);
    } else if (effect == BSPY_HQ) {
        teamdata[spyteam].lineofsight[bteam] += sign;
        ResweepTeam(bteam);
    }
}

int StealTime(int id)
{
    if (PREREQ_IsUnit(id)) return PREREQ_UnitTypePtr(id)->stealtime;
    if (PREREQ_IsBuilding(id)) return PREREQ_BuildingTypePtr(id)->stealtime;
    return 0;
}

void EnterBuilding(UNIT* u, BUILDING* b)
{
    const int effect = b->buildingtype->spytype;
    const BUILDID handle = u->sorder.spy.building;
    u->sorder.spy.exitx = u->tilepos.x;
    u->sorder.spy.exity = u->tilepos.y;
    const int exitx = u->tilepos.x, exity = u->tilepos.y;
    UnitId_Setup(&b->spy[u->team], u);
    Fog_UnsweepBuilding(b);
    Units_TakeOffMap(u);
    ApplySpyEffect(u->team, b->team, effect, +1);
    SetCode(u, SO_SPY);
    tagSO_SPY& s = u->sorder.spy;
    s.building = handle;
    s.mode = SPY_SPYING;
    s.retries = 0;
    s.exitx = exitx;
    s.exity = exity;
    s.effect = effect;
    const int lo = u->type->spyinfo[0], hi = u->type->spyinfo[1];
    s.timeleft = lo + Rand_Next(hi - lo);
}

void HandOverPlans(UNIT* u)
{
    for (int i = 0; i < u->spy.nrplans && i < UNITS_MAXSTOLEN; i++) {
        const int plan = u->spy.plans[i];
        if (!PREREQ_IsValid(plan)) continue;
        PREREQ_StolePlans(plan, u->team);
        if (!PREREQ_IsBuilding(plan)) continue;
        // The units that building makes come with its plans.
        for (int k = 0; k < Units_UnitTypeCount(); k++) {
            const int id = Units_GetTypePtr(k)->prereq.id;
            if (!PREREQ_IsValid(id)) continue;
            for (const uint16_t* m = PREREQ_GetMakers(id); m && *m; m++)
                if (*m == plan) {
                    PREREQ_StolePlans(id, u->team);
                    break;
                }
        }
    }
    u->spy.nrplans = 0;
    // The building panel's lists now hold what the plans allow.
    Igievnt_HandleGameEvent(1);
}

// Both the reach of a ground target at the waypoint and the right to shoot it.
void FireAtWaypoint(UNIT* u, const WAYPOINT* w)
{
    TARGET t;
    Target_Setup(&t, FM_GROUND, nullptr, nullptr, w->x, w->y);
    if (Units_CheckTargetWithWeapons(u, &t) == TARGETRANGE_OK && Units_CanAttackTarget(u, &t))
        Units_FireOnce(u, &t);
}

void ServiceDestination(UNIT* u, BUILDING* b, int* x, int* y)
{
    if (teamdata[u->team].type == TT_COMPUTER || b == nullptr) {
        *x = u->sorder.serviceself.returnpos.x;
        *y = u->sorder.serviceself.returnpos.y;
    } else {
        *x = b->departx;
        *y = b->departy;
    }
}

} // namespace

// ------------------------------------------------------------------ setters

void Units_SOrderSpy(int unitid, int team, BUILDING* b, int mode, int stealid)
{
    if (mode == SPY_EJECTALL) {
        for (int t = 0; t < TEAM_MAXTEAMS && b; t++) {
            UNIT* spy = UnitId_Ptr(&b->spy[t]);
            if (spy == nullptr || !Units_SpyEject(spy)) continue;
            Units_SOrderUnMorph(spy);
            SpyCompromised(spy, b);
        }
        return;
    }
    UNIT* u;
    switch (mode) {
    case SPY_SPY:
    case SPY_RETURNPLANS: u = Units_IdToUnitPtr(unitid, team); break;
    case SPY_STEAL:
    case SPY_LEAVE: u = Units_IdToUnitPtrOffMap(unitid, team); break;
    default: ERR_FATAL(ERRC_FATAL, "Invalid SPY order mode [%d]", mode);
    }
    if (u == nullptr) return;
    tagSO_SPY& s = u->sorder.spy;
    const bool inside = u->sorder.code == SO_SPY && (mode == SPY_STEAL || mode == SPY_LEAVE);
    SetCode(u, SO_SPY);
    BuildId_Setup(&s.building, b);
    s.mode = mode;
    s.stealid = (uint16_t)stealid;
    s.retries = 0;
    if (!inside) s.effect = 0;
    int x, y;
    switch (mode) {
    case SPY_SPY:
        if (Build_NearestEntrance(b, u, &x, &y)) {
            s.destx = x, s.desty = y;
            MoveNew(u, x, y);
        }
        break;
    case SPY_RETURNPLANS:
        Build_DoorTile(b, &x, &y);
        s.destx = x, s.desty = y;
        MoveNew(u, x, y);
        break;
    case SPY_STEAL:
        // A spy whose pockets are full keeps spying: one more plan would
        // overrun them.
        if (u->spy.nrplans >= UNITS_MAXSTOLEN) {
            s.mode = SPY_SPYING;
            break;
        }
        s.stealtime = s.stealmax = StealTime(stealid);
        break;
    case SPY_LEAVE:
        if (!Units_SpyEject(u)) s.timeleft = 10;
        break;
    }
}

int Units_SpyEject(UNIT* u)
{
    BUILDING* b = BuildId_Ptr(&u->sorder.spy.building);
    if (b == nullptr) return 0;
    int x, y;
    if (!Units_ClosestLocation(u, u->sorder.spy.exitx, u->sorder.spy.exity, &x, &y, 4)) return 0;
    const int effect = u->sorder.code == SO_SPY ? u->sorder.spy.effect : 0;
    Units_SetUnitPosition(u, x, y);
    Units_AddToMap(u);
    Units_SOrderNone(u);
    if (UnitId_Ptr(&b->spy[u->team]) == u) UnitId_Clear(&b->spy[u->team]);
    Fog_UnsweepBuilding(b);
    ApplySpyEffect(u->team, b->team, effect, -1);
    return 1;
}

void Units_SOrderGrabUnit(UNIT* u, UNIT* unittograb)
{
    ASSERT(unittograb);
    if (!Units_CanGrab(u, unittograb)) {
        Units_SOrderStop(u);
        return;
    }
    SetCode(u, SO_GRABUNIT);
    UnitId_Setup(&u->sorder.grabunit.unit, unittograb);
    u->sorder.grabunit.retries = 0;
}

void Units_SOrderBoardBuilding(UNIT* u, BUILDING* b)
{
    Units_StopMove(u);
    if (!Units_CanBoardBuilding(u, b)) {
        Units_SOrderNone(u);
        return;
    }
    SetCode(u, SO_BOARDBLD);
    BuildId_Setup(&u->sorder.boardbld.building, b);
    u->sorder.boardbld.retries = 0;
}

void Units_SOrderAtBuilding(UNIT* u, BUILDING* b, int code)
{
    ASSERT(u);
    ASSERT(b);
    u->sorder.code = code;
    tagSO_SERVICESELF& s = u->sorder.serviceself;
    s.returnpos = u->tilepos;
    s.state = SERVICE_MOVING_TO_QUEUE;
    BuildId_Setup(&s.b, b);
    Build_ServiceQueueJoin(b, u);
}

void Units_SOrderRepairSelf(UNIT* u, BUILDING* b) { Units_SOrderAtBuilding(u, b, SO_REPAIRSELF); }
void Units_SOrderRearmSelf(UNIT* u, BUILDING* b) { Units_SOrderAtBuilding(u, b, SO_REARMSELF); }

int Units_TryAutoRepair(UNIT* u)
{
    int threshold = -1;
    if (u->tactaiinfo.selfpreservation == TACTAI_MEDIUM) threshold = g_General.healthlow;
    else if (u->tactaiinfo.selfpreservation == TACTAI_HIGH) threshold = g_General.healthhigh;
    const int max = u->type->maxhitpoints;
    if (threshold < 0 || max <= 0 || u->boost.state == BS_ON) return 0;
    if ((int64_t)u->hitpoints * 100 / max > threshold) return 0;
    BUILDING* b = Build_FindRepairBuilding(u->team, u->type->abilities.ishuman, u->tilepos.x,
                                           u->tilepos.y);
    if (b == nullptr) return 0;
    Units_SOrderRepairSelf(u, b);
    return 1;
}

int Units_TryAutoRearm(UNIT* u)
{
    if (Units_AmmoLeft(u) != 0 || Units_AmmoMax(u) <= 0 || u->type->abilities.weaponcharge) return 0;
    BUILDING* b =
        Build_FindRearmBuilding(u->team, u->movemode == MM_FLY, u->tilepos.x, u->tilepos.y);
    if (b == nullptr) return 0;
    Units_SOrderRearmSelf(u, b);
    return 1;
}

// ------------------------------------------------------------------ construct

int Units_ProcessSOConstruct(UNIT* u)
{
    if (!Units_IsStationary(u)) return 1;
    tagSO_CONSTRUCT& c = u->sorder.construct;
    if (c.buildtype < 0 || c.buildtype >= g_NrBuildingTypes) {
        Units_SOrderNone(u);
        return 1;
    }
    BUILDINGTYPE* t = &g_BuildingTypes[c.buildtype];
    const int x = c.topleftpos.x, y = c.topleftpos.y;
    if (!Build_AtConstructionSite(t, x, y, u->tilepos.x, u->tilepos.y)) {
        if (c.retries >= 5) {
            Units_SOrderNone(u);
            AI_BuildingStalled(u);
            return 1;
        }
        c.retries++;
        int ax, ay;
        if (Build_FindAccessTile(t, x, y, u, u->tilepos.x, u->tilepos.y,
                                 (t->flags & BTF_BUILTFROMEDGE) != 0, &ax, &ay) &&
            Map_IsValidTile(ax, ay))
            MoveNew(u, ax, ay);
        else {
            Units_SOrderNone(u);
            AI_BuildingStalled(u);
        }
        return 1;
    }
    if (!Build_ApplyEffects(u, nullptr, t, x, y, nullptr)) {
        Units_SOrderNone(u);
        AI_BuildingStalled(u);
        LocalMsg(u->team, MSG_CANTBUILDTHERE);
        return 1;
    }
    if (Units_HasBuildingPackage(u)) {
        if (Build_UnpackPackage(u, x, y)) {
            LocalMsg(u->team, MSG_FACBUILD);
            LocalMsg(u->team, MSG_SFXSTARTBUILD);
        }
        // The carrier goes whether or not the building came out of it.
        Units_Delete(u);
        return 0;
    }
    if (teamdata[u->team].credits < t->cost) {
        Units_SOrderNone(u);
        AI_BuildingStalled(u);
        return 1;
    }
    for (int other = 0; other < TEAM_MAXTEAMS; other++)
        if (Team_GetRelation(u->team, other) == TR_ENEMY) AI_Team::ReportEvent(other, x, y, 1, x, y);
    BUILDING* site = Build_NewConstructionSite(t, u->team, x, y);
    if (site == nullptr) return 1;
    UnitId_Setup(&site->whomademe, u);
    AI_BuildingCommenced(site, u);
    AI_UnitBuildingStarted(u);
    if (!(t->flags & BTF_NOTBUILDEREATER)) PREREQ_Remove(u->type, u->type->prereq.id, u->team);
    Units_TakeOffMap(u);
    Units_SOrderNone(u);
    LocalMsg(u->team, MSG_FACBUILD);
    LocalMsg(u->team, MSG_SFXSTARTBUILD);
    return 1;
}

// ------------------------------------------------------------------ spies

void Units_ProcessSOSpy(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    tagSO_SPY& s = u->sorder.spy;
    BUILDING* b = BuildId_Ptr(&s.building);
    switch (s.mode) {
    case SPY_SPY:
        if (b == nullptr) {
            Units_SOrderNone(u);
            return;
        }
        if (!On(u, s.destx, s.desty)) {
            Units_SOrderNone(u);
            return;
        }
        if (UnitId_Valid(&b->spy[u->team]) || b->buildingtype->spytype == BSPY_NONE) {
            Units_SOrderNone(u);
            return;
        }
        EnterBuilding(u, b);
        // The player who sent this spy alone now looks at its building.
        if (u->team == g_LocalTeam && Igievnt_SingleUnitSelected() && Igievnt_IsUnitSelected(u))
            Igievnt_SelectBuilding(b);
        return;
    case SPY_SPYING:
    case SPY_STEAL:
        if (s.mode == SPY_STEAL && --s.stealtime <= 0) {
            ASSERT(u->spy.nrplans < UNITS_MAXSTOLEN);
            u->spy.plans[u->spy.nrplans++] = s.stealid;
            s.mode = SPY_SPYING;
            LocalMsg(u->team, MSG_SPYSTOLEPLANS);
        }
        if (b != nullptr && s.timeleft < 1) {
            if (Units_SpyEject(u)) {
                Units_SOrderUnMorph(u);
                SpyInfiltrated(b);
                SpyCompromised(u, b);
                return;
            }
            s.timeleft = 10;
        }
        s.timeleft--;
        return;
    case SPY_RETURNPLANS: {
        if (b == nullptr) {
            Units_SOrderNone(u);
            return;
        }
        if (abs(u->tilepos.x - s.destx) < 2 && abs(u->tilepos.y - s.desty) < 2) {
            HandOverPlans(u);
            Units_SOrderNone(u);
            int dx, dy;
            Build_DoorTile(b, &dx, &dy);
            MoveNear(u, dx, dy + 3, 4);
            LocalMsg(u->team, MSG_PLANSBACKHQ);
            return;
        }
        if (s.retries > 5) {
            Units_SOrderNone(u);
            return;
        }
        MoveNew(u, s.destx, s.desty);
        s.retries++;
        return;
    }
    case SPY_LEAVE:
        if (!Units_SpyEject(u)) s.timeleft = 10;
        return;
    default: return;
    }
}

void Units_UpdateSpy(UNIT* u)
{
    if ((int64_t)u->sorder.nextscantime > (int64_t)g_UpdateCount) return;
    if (u->sorder.code == SO_SPY) Units_ProcessSOSpy(u);
}

// ------------------------------------------------------------------ sabotage

void Units_ProcessSOSabotage(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    tagSO_SABOTAGE& s = u->sorder.sabotage;
    BUILDING* b = BuildId_Ptr(&s.building);
    if (b == nullptr) {
        Units_SOrderNone(u);
        return;
    }
    int x, y;
    if (!Build_NearestEntrance(b, u, &x, &y)) return;
    if (u->maplevel == ML_GROUND && On(u, x, y)) {
        // The animation starts with the work and loops until it is done.
        if (s.sabotageleft == u->type->sabotageinfo[0])
            for (PART* p = u->basepart; p; p = p->partup)
                Parts_PlayAnimation(p, u->type->sabotageinfo[2], PARTS_SPEED_ONE, PAM_LOOP);
        if (--s.sabotageleft > 0) return;
        Units_SOrderNone(u);
        GameMsg_TriggerStd(GameMsg_Std(MSG_BUILDINGSABOTAGED));
        const int half = (b->buildingtype->maxhitpoints + 1) / 2;
        if (b->hitpoints > half) Build_SetHitpoints(b, half);
        for (PART* p = u->basepart; p; p = p->partup) Parts_ResetAnimation(p);
        return;
    }
    if (s.retries > 5) {
        Units_SOrderNone(u);
        return;
    }
    MoveNew(u, x, y);
    s.retries++;
}

// ------------------------------------------------------------------ trails

void Units_ProcessSOTrailStep(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    if (u->type->bldpairs.count > 0 && u->localtrail &&
        Trail_FindWaypoint(u->localtrail, u->tilepos.x, u->tilepos.y)) {
        BUILDING* b = Build_AtDoorTile(u->tilepos.x, u->tilepos.y);
        if (b == nullptr) {
            const WAYPOINT* first = u->localtrail->head;
            if (first && first->next && first->next == u->localtrail->tail) {
                Trail_Clear(u->localtrail);
                Units_SOrderStop(u);
                return;
            }
        } else if (!Units_UnitTransportActions(u, b) || u->sorder.code != SO_TRAIL) {
            return;
        }
    }
    tagSO_TRAIL& t = u->sorder.trail;
    if (t.waypoint == nullptr) {
        Units_SOrderNone(u);
        return;
    }
    if (t.didtrailwait && t.waypoint->value != 0) {
        t.didtrailwait = 0;
        Units_Wait(u, t.waypoint->value);
        return;
    }
    Units_ProcessSOTrail(u);
    if (u->sorder.code == SO_TRAIL && u->sorder.trail.waypoint == nullptr) Units_SOrderNone(u);
}

void Units_ProcessSOTrail(UNIT* u)
{
    tagSO_TRAIL& t = u->sorder.trail;
    const WAYPOINT* start = t.waypoint;
    bool passed = false;
    // Every waypoint at most twice: a trail of waypoints all underfoot
    // comes round without a command.
    for (int guard = 2 * Trail_Count(t.trail) + 2; t.waypoint && guard > 0; guard--) {
        if (passed && t.waypoint == start) {
            t.waypoint = nullptr;
            return;
        }
        WAYPOINT* w = t.waypoint;
        if (w->type == WPT_MOVE) {
            if (On(u, w->x, w->y)) {
                t.waypoint = Trail_Follow(t.trail, w, t.mode, &t.followstate);
                passed = true;
                continue;
            }
            t.didtrailwait = 0;
            MoveNew(u, w->x, w->y);
            return;
        }
        const WAYPOINT* m = w->prev;
        while (m && m->type != WPT_MOVE) m = m->prev;
        if (m && !On(u, m->x, m->y)) {
            t.didtrailwait = 0;
            MoveNew(u, m->x, m->y);
            return;
        }
        bool fired = false;
        if (w->type == WPT_FIRE) {
            t.didtrailwait = 0;
            FireAtWaypoint(u, w);
            fired = u->state == US_FIRINGONCE || u->nextstate.type == UNS_FIREONCE;
        }
        t.waypoint = Trail_Follow(t.trail, w, t.mode, &t.followstate);
        passed = true;
        if (fired) return;
    }
    if (passed && t.waypoint == start) t.waypoint = nullptr;
}

// ------------------------------------------------------------------ boarding and pick-up

void Units_ProcessSOBoardBuilding(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    tagSO_BOARDBLD& s = u->sorder.boardbld;
    BUILDING* b = BuildId_Ptr(&s.building);
    if (b == nullptr) {
        Units_SOrderNone(u);
        return;
    }
    int dx, dy;
    Build_DoorTile(b, &dx, &dy);
    if (u->maplevel == ML_GROUND && On(u, dx, dy)) {
        Units_SOrderNone(u);
        if (Units_CanBoardBuilding(u, b)) Build_HoldAddUnit(b, u);
        else MoveNear(u, dx, dy + 4, 4);
        return;
    }
    if (s.retries > 5) {
        Units_SOrderNone(u);
        return;
    }
    MoveNew(u, dx, dy);
    s.retries++;
}

void Units_ProcessSOPickUp(UNIT* u)
{
    if (!Units_IsStationary(u)) return;
    BUILDING* b = BuildId_Ptr(&u->associate);
    if (b == nullptr) {
        Units_SOrderNone(u);
        return;
    }
    int dx, dy;
    Build_DoorTile(b, &dx, &dy);
    if (On(u, dx, dy + 1)) {
        for (UNITLISTELEM* e = b->hold.head; e; e = e->next) {
            UNIT* v = UnitId_Ptr(&e->u);
            if (v == nullptr || !Units_HoldAvailable(u, v)) continue;
            Units_ListDelete(&b->hold, v->id);
            BuildId_Clear(&v->partof);
            Units_HoldAddUnit(u, v);
            break;
        }
        u->sorder.nextscantime = (int32_t)g_UpdateCount + 30;
        return;
    }
    if (u->sorder.pickup.retries > 10) {
        Units_SOrderNone(u);
        return;
    }
    MoveNew(u, dx, dy + 1);
    u->sorder.pickup.retries++;
}

// ------------------------------------------------------------------ service

void Units_ProcessSOServiceSelf(UNIT* unit, int service_type)
{
    ASSERT((service_type == SO_REARMSELF) || (service_type == SO_REPAIRSELF));
    ASSERT(unit);
    UNIT* u = unit;
    tagSO_SERVICESELF& s = u->sorder.serviceself;
    if (s.state != SERVICE_MOVING_BACK && !BuildId_Valid(&s.b)) {
        Units_SOrderStop(u);
        return;
    }
    BUILDING* b = BuildId_Ptr(&s.b);
    int dx = 0, dy = 0;
    if (b) Build_DoorTile(b, &dx, &dy);
    switch (s.state) {
    case SERVICE_MOVING_TO_QUEUE: return;
    case SERVICE_MOVING_TO_BAY:
        if (!Units_IsStationary(u) && u->state != US_WAITFOROBSTACLE) return;
        ASSERT(BuildId_Valid(&unit->sorder.serviceself.b));
        if (On(u, dx, dy)) {
            s.state = SERVICE_SERVICING;
        } else {
            Build_ServiceQueueLeave(b, u);
            Build_ServiceQueueJoin(b, u);
            s.state = SERVICE_MOVING_TO_QUEUE;
        }
        return;
    case SERVICE_SERVICING: {
        ASSERT(BuildId_Valid(&unit->sorder.serviceself.b));
        const bool done = service_type == SO_REARMSELF
                              ? Units_AmmoMax(u) <= Units_AmmoLeft(u)
                              : u->hitpoints >= u->type->maxhitpoints;
        if (!done) return;
        Build_ServiceQueueLeave(b, u);
        int x, y;
        ServiceDestination(u, b, &x, &y);
        s.state = SERVICE_MOVING_BACK;
        MoveNew(u, x, y);
        return;
    }
    case SERVICE_MOVING_BACK:
        if (!Units_IsStationary(u)) return;
        if (b && On(u, dx, dy)) {
            int x, y;
            ServiceDestination(u, b, &x, &y);
            MoveNew(u, x, y);
            return;
        }
        Units_SOrderStop(u);
        return;
    default: ERR_FATAL(ERRC_FATAL, "Service state invalid for unit");
    }
}
