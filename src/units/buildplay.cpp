// Buildings in play.
//
// States: 0 idle, 1 being built (a site), 2 producing, 5 selling, 7
// upgrading, 8 packing (driven by the units-at-buildings code), 9 unpacking,
// 10 powering down, 11 off, 12 powering up. A building is complete from
// the end of states 1 and 9 onwards; only complete buildings count for the
// prerequisites, supply or use resources, take part in automatic production
// and have kept units.
//
// Jobs: every timed state is one job of prodtime work units (its time in
// updates x 100) with prodleft still to do. Production and upgrades take
// off the building's rate each update (its efficiency, or its automatic
// production capacity); sites, sales, unpacking and the power switches take
// off 100. A job's cost is charged as the work goes: after each step the
// team has paid cost x work done / work in all (rounded down), so the
// charges add up to the cost exactly and costleft is always what is still
// to pay; a job of no time owes its whole cost at its one step. A step
// the team can't pay for waits, whole, for the credits, and a unit comes
// out only once it is paid for.
// Cancelling gives back what was paid (jobcost - costleft).
//
// Makers: a builder inside a site is off the map; unless the type keeps its
// builder it no longer counts for the prerequisites ("eaten"). Completion
// puts a kept builder back; the rest stay inside until the building leaves
// the game, when they die with it or come back out (counted again).
//
// Determinism: all of this reads only the game state; the news of newly
// available types compares against a snapshot of the local team's flags,
// which feeds messages only.
#include "units/buildplay.h"

#include "ai/ai.h"
#include "ai/aisite.h"

#include <algorithm>
#include <cstring>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "rules/gamemsg.h"
#include "units/autoprod.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

uint8_t s_canmake[PREREQ_MAXIDS];  // the local team's flags at the last look

void LocalMsg(const BUILDING* b, int msg)
{
    if (b->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(msg));
}

bool PoweredDown(const BUILDING* b)
{
    return b->state == BS_POWERINGDOWN || b->state == BS_POWEREDOFF ||
           b->state == BS_POWERINGUP;
}

void DoorTile(const BUILDING* b, int* x, int* y)
{
    const BUILDINGTYPE* t = b->buildingtype;
    if (t->bayx >= 0 && t->bayy >= 0) {
        *x = b->tilex + t->bayx;
        *y = b->tiley + t->bayy;
    } else {
        *x = b->departx;
        *y = b->departy;
    }
}

void StartJob(BUILDING* b, int state, int time, int cost)
{
    b->state = state;
    b->prodtime = b->prodleft = std::max(time, 0) * 100;
    b->jobcost = b->costleft = std::max(cost, 0);
}

void EndJob(BUILDING* b)
{
    b->state = BS_IDLE;
    b->prodtime = b->prodleft = 0;
    b->jobcost = b->costleft = 0;
    b->paused = 0;
}

// One step of work on the current job, charged as it goes; false when the
// team can't pay for it (nothing done then).
bool WorkStep(BUILDING* b, int work)
{
    if (b->prodleft <= 0 && b->costleft <= 0) return true;
    const int done = std::max(0, std::min(work, b->prodleft));
    if (b->jobcost > 0) {
        // A job of no time is due in full at once: it must not come free.
        int64_t due = b->prodtime > 0 ? (int64_t)b->jobcost * (b->prodtime - b->prodleft + done) /
                                            b->prodtime
                                      : b->jobcost;
        int charge = (int)(due - (b->jobcost - b->costleft));
        if (charge > 0) {
            if (!AI_CanChargeWork(b, charge)) return false;
            Team_ChangeCredits(b->team, -charge);
            AI_ChargeWork(b, charge);
            b->costleft -= charge;
        }
    }
    b->prodleft -= done;
    return true;
}

int Curve(const BUILDTYPE_EFFICIENCY& e, int value)
{
    int64_t v = e.intercept + (((int64_t)e.slope * value) >> 16);
    return (int)std::clamp<int64_t>(v, 0, 100);
}

void PutBack(UNIT* u, int x, int y)
{
    if (u != nullptr && !u->onmap) Units_PlaceOnMapCritical(u, x, y);
}

void Complete(BUILDING* b)
{
    BUILDINGTYPE* t = b->buildingtype;
    EndJob(b);
    b->complete = 1;
    for (int r = 0; r < BUILD_RESOURCES; r++) b->stored[r] = t->resource[r].initial;
    if (t->prereq.id != 0) PREREQ_Add(t, t->prereq.id, b->team);
    Team_Stats_BuildingMade(b->team);
    LocalMsg(b, MSG_FACCOMPLETE);
    if (t->flags & BTF_NOTBUILDEREATER) {
        int x, y;
        DoorTile(b, &x, &y);
        UNIT* maker = UnitId_Ptr(&b->whomademe);
        PutBack(maker, x, y);
        UnitId_Clear(&b->whomademe);
        if (maker != nullptr) {
            AI_UnitBuildingFinished(maker);
            AI_UnitAdd(maker);
        }
    }
    Build_MakeKeptUnits(b);
    if (t->flags & BTF_GIVESMINIMAP) Game_AddMinimapStatus(b->team, 1);
    AP_AddBuilding(b);
    AP_SetPrimary(b, 0, 0);
    // A new factory is free: it takes the requests waiting for it, those
    // queued before any factory stood or after the primary one was lost.
    AP_ProduceNextQueued(b);
    AI_BuildingCompleted(b);
}

// A produced unit comes out at the free tile nearest the door; with none
// free it waits inside.
bool Deliver(BUILDING* b)
{
    const BUILDINGTYPE* t = b->buildingtype;
    UNITTYPE* ut = b->unittypetobuild;
    int dx, dy, x, y;
    if (t->bayx >= 0 && t->bayy >= 0) DoorTile(b, &dx, &dy);
    else dx = b->tilex, dy = b->tiley;
    if (!Build_FindAccessTile(t, b->tilex, b->tiley, nullptr, dx, dy, 0, &x, &y)) return false;
    UNIT* u = Units_NewAt(ut, b->team, -1, x, y);
    if (u == nullptr) return false;
    Team_Stats_UnitMade(b->team);
    AI_UnitProduced(u);
    LocalMsg(b, ut->abilities.ishuman ? MSG_UNITCOMPLETE : MSG_VEHICLECOMP);
    if (Map_IsValidTile(b->rallyx, b->rallyy)) Units_SOrderMove(u, b->rallyx, b->rallyy);
    AP_ClearSource(b, ut->unittypeid);
    b->unittypetobuild = nullptr;
    EndJob(b);
    AP_ProduceNextQueued(b);
    return true;
}

void FinishUpgrade(BUILDING* b)
{
    BUILDINGTYPE* old = b->buildingtype;
    BUILDINGTYPE* nt = old->upgradeto;
    AI_BuildingUpgradeCompleted(b);
    AP_RemoveBuilding(b);
    if (old->prereq.id != 0) PREREQ_Remove(old, old->prereq.id, b->team);
    int hp = old->maxhitpoints > 0 ? (int)((int64_t)b->hitpoints * nt->maxhitpoints /
                                           old->maxhitpoints)
                                   : nt->maxhitpoints;
    Fog_UnsweepBuilding(b);
    b->buildingtype = nt;
    Fog_SweepBuilding(b);
    if (nt->prereq.id != 0) PREREQ_Add(nt, nt->prereq.id, b->team);
    b->hitpoints = hp;
    EndJob(b);
    AP_AddBuilding(b);
    AP_SetPrimary(b, 0, 0);
    AP_ProduceNextQueued(b);
}

// The job of the building's state; false when the building left the game.
bool JobStep(BUILDING* b)
{
    switch (b->state) {
    case BS_BEINGBUILT:
    case BS_UNPACKING:
        if (WorkStep(b, 100) && b->prodleft <= 0) Complete(b);
        return true;
    case BS_PRODUCING:
        if ((b->prodleft > 0 || b->costleft > 0) && !b->paused)
            WorkStep(b, AP_IsOnline() ? AP_ComputeCapacity(b) : b->efficiency);
        if (b->prodleft <= 0 && b->costleft <= 0) Deliver(b);
        return true;
    case BS_UPGRADING:
        if (WorkStep(b, b->efficiency) && b->prodleft <= 0) FinishUpgrade(b);
        return true;
    case BS_SELLING:
        if (WorkStep(b, 100) && b->prodleft <= 0) {
            const BUILDINGTYPE* t = b->buildingtype;
            const int gain = (int)((int64_t)t->cost * t->sell[0] / 100);
            AI_GiveCredits(b->team, Team_ChangeCredits(b->team, gain));
            Build_RemoveFromGame(b, BRM_SOLD);
            return false;
        }
        return true;
    case BS_PACKING:
        // Done packing, it waits for a free tile for the carrier.
        if (WorkStep(b, 100) && b->prodleft <= 0 && Build_FinishPack(b)) return false;
        return true;
    case BS_POWERINGDOWN:
        if (WorkStep(b, 100) && b->prodleft <= 0) {
            EndJob(b);
            b->state = BS_POWEREDOFF;
        }
        return true;
    case BS_POWERINGUP:
        if (WorkStep(b, 100) && b->prodleft <= 0) EndJob(b);
        return true;
    default:
        return true;
    }
}

void RepairStep(BUILDING* b)
{
    if (!b->repairrequest) return;
    const BUILDINGTYPE* t = b->buildingtype;
    if (!b->complete || t->repaircost[1] <= 0 || b->hitpoints >= t->maxhitpoints) {
        b->repairrequest = 0;
        return;
    }
    // A computer team pays from its uncommitted money only.
    if (teamdata[b->team].credits < t->repaircost[0] || AI_GetCredits(b->team) < t->repaircost[0])
        return;
    Team_ChangeCredits(b->team, -t->repaircost[0]);
    AI_SpendCredits(b->team, t->repaircost[0]);
    Build_SetHitpoints(b, b->hitpoints + t->repaircost[1]);
    if (b->hitpoints >= t->maxhitpoints) b->repairrequest = 0;
}

void StoreStep(BUILDING* b)
{
    if (!b->complete) return;
    const BUILDINGTYPE* t = b->buildingtype;
    for (int r = 0; r < BUILD_RESOURCES; r++) {
        int p = t->resource[r].production;
        if (p > 0 && t->resource[r].maxstored > 0)
            Build_ChangeStoredResource(b, r, (int)((int64_t)p * b->efficiency / 100), 1);
    }
}

void ShowState(BUILDING* b)
{
    const BUILDINGTYPE* t = b->buildingtype;
    int anim = BUILDANIM_IDLE, action = -1;
    switch (b->state) {
    case BS_BEINGBUILT:
    case BS_UNPACKING: anim = BUILDANIM_CONSTRUCT; break;
    case BS_SELLING: anim = BUILDANIM_DESTRUCT, action = BUILDACTION_SELL; break;
    case BS_PACKING: anim = BUILDANIM_DESTRUCT, action = BUILDACTION_PACK; break;
    case BS_UPGRADING: anim = BUILDANIM_UPGRADE; break;
    case BS_POWERINGDOWN: action = BUILDACTION_POWERDOWN; break;
    case BS_POWERINGUP: action = BUILDACTION_POWERUP; break;
    default: break;
    }
    if (b->repairrequest && action < 0) {
        action = BUILDACTION_REPAIR;
        if (b->state == BS_IDLE) anim = BUILDANIM_REPAIR;
    }
    b->animsection = t->anim[anim];
    b->actionindicator = action >= 0 ? t->actionindicator[action] : -1;
}

bool OwnsTypeUpgradingTo(int id, int team)
{
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
        const BUILDINGTYPE* up = b->buildingtype->upgradeto;
        if (b->complete && up != nullptr && up->prereq.id == id) return true;
    }
    return false;
}

void SnapshotAvailability(void)
{
    memset(s_canmake, 0, sizeof s_canmake);
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return;
    for (int id = 1; id < PREREQ_Count() && id < PREREQ_MAXIDS; id++)
        s_canmake[id] = (uint8_t)PREREQ_CanMake(id, g_LocalTeam);
}

// One message of each kind however many types came available at once.
void NewsOfAvailability(void)
{
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return;
    bool fac = false, units = false, upgrade = false;
    for (int id = 1; id < PREREQ_Count() && id < PREREQ_MAXIDS; id++) {
        int now = PREREQ_CanMake(id, g_LocalTeam);
        if (now && !s_canmake[id]) {
            if (PREREQ_IsUnit(id)) units = true;
            else if (OwnsTypeUpgradingTo(id, g_LocalTeam)) upgrade = true;
            else if (PREREQ_IsBuilding(id)) fac = true;
        }
        s_canmake[id] = (uint8_t)now;
    }
    if (fac) GameMsg_TriggerStd(GameMsg_Std(MSG_NEWFACILAVAIL));
    if (units) GameMsg_TriggerStd(GameMsg_Std(MSG_NEWUNITSAVAIL));
    if (upgrade) GameMsg_TriggerStd(GameMsg_Std(MSG_UPGRADEAVAIL));
}

bool Refuse(const BUILDING* b, const char* what, const char* why)
{
    TLOG(TLOG_WARNING, "%s: building %d refused: %s", what, b ? b->id : -1, why);
    return false;
}

} // namespace

// ------------------------------------------------------------------ the game

void Build_StartGame(void)
{
    PREREQ_Init();
    for (BUILDING* b = g_Buildings; b; b = b->next) {
        if (!b->complete) continue;
        Build_MakeKeptUnits(b);
        if (b->buildingtype->flags & BTF_GIVESMINIMAP) Game_AddMinimapStatus(b->team, 1);
    }
    Units_InitConstructQueues();
    AP_Start();
    SnapshotAvailability();
}

void Build_EndGame(void)
{
    AP_Stop();
    PREREQ_Done();
}

void Build_ProcessAll(void)
{
    Build_ComputeAccounts();
    BUILDING* next;
    for (BUILDING* b = g_Buildings; b; b = next) {
        next = b->next;
        if (!b->sightswept) Fog_SweepBuilding(b);
        if (b->hitpoints < 1) {
            LocalMsg(b, MSG_BUILDDESTROYED);
            Build_RemoveFromGame(b, BRM_DESTROYED);
            continue;
        }
        b->efficiency = Build_ComputeEfficiency(b);
        b->delivering = b->complete && !PoweredDown(b);
        if (!JobStep(b)) continue;
        RepairStep(b);
        StoreStep(b);
        Build_ServiceStep(b);
        ShowState(b);
    }
    NewsOfAvailability();
}

void Build_CheckPowerMessages(void)
{
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return;
    const TEAM_RESOURCE& p = teamdata[g_LocalTeam].resource[BUILD_POWER];
    if (p.usage <= 0) return;
    if ((int64_t)p.supply * 100 <= (int64_t)p.usage * 70)
        GameMsg_TriggerStd(GameMsg_Std(MSG_POWERCRITICAL));
    else if (p.supply < p.usage)
        GameMsg_TriggerStd(GameMsg_Std(MSG_LOWPOWER));
}

// ------------------------------------------------------------------ accounts

void Build_ComputeAccounts(void)
{
    for (TEAM_DATA& td : teamdata)
        for (TEAM_RESOURCE& r : td.resource) r.supply = r.usage = 0;
    // Held at the top of the word: a type's supply or need may be any
    // count the building file takes, and a team may have many of it.
    for (const BUILDING* b = g_Buildings; b; b = b->next) {
        if (!b->complete || PoweredDown(b) || b->team < 0 || b->team >= TEAM_MAXTEAMS) continue;
        for (int r = 0; r < BUILD_RESOURCES && r < TEAM_RESOURCES; r++) {
            TEAM_RESOURCE& t = teamdata[b->team].resource[r];
            t.supply = Utils_Saturate32((int64_t)t.supply + b->buildingtype->resource[r].production);
            t.usage = Utils_Saturate32((int64_t)t.usage + b->buildingtype->resource[r].need);
        }
    }
    for (TEAM_DATA& td : teamdata) {
        TEAM_RESOURCE& p = td.resource[BUILD_POWER];
        p.supply = std::max(0, Utils_Saturate32((int64_t)p.supply + td.poweradjust[0]));
        p.usage = std::max(0, Utils_Saturate32((int64_t)p.usage + td.poweradjust[1]));
    }
    for (TEAM_DATA& td : teamdata)
        for (TEAM_RESOURCE& r : td.resource)
            r.percent = r.usage == 0 ? 100
                                     : (int)std::min<int64_t>(100, (int64_t)r.supply * 100 / r.usage);
}

int Build_ComputeEfficiency(const BUILDING* b)
{
    if (b == nullptr || !b->complete || PoweredDown(b)) return 0;
    const BUILDINGTYPE* t = b->buildingtype;
    int hp = t->maxhitpoints > 0 ? (int)((int64_t)b->hitpoints * 100 / t->maxhitpoints) : 100;
    int lowest = 100;
    for (int r = 0; r < BUILD_RESOURCES && r < TEAM_RESOURCES; r++)
        if (t->resource[r].need > 0)
            lowest = std::min(lowest, (int)teamdata[b->team].resource[r].percent);
    return std::min(Curve(t->efficiencyhp, hp), Curve(t->efficiencyres, lowest));
}

// ------------------------------------------------------------------ jobs

int Build_StartProduction(BUILDING* b, UNITTYPE* type)
{
    const char* what = "Build_StartProduction";
    if (b == nullptr || type == nullptr) return Refuse(b, what, "no building or unit type");
    const BUILDINGTYPE* t = b->buildingtype;
    if (!b->complete || b->state != BS_IDLE) return Refuse(b, what, "busy");
    if (!(t->flags & BTF_CANMAKE) ||
        !PREREQ_CanThisMakeThat(t->prereq.id, type->prereq.id, b->team))
        return Refuse(b, what, "not a maker of the unit type");
    if (!PREREQ_CanMake(type->prereq.id, b->team)) return Refuse(b, what, "prerequisites missing");
    if (teamdata[b->team].credits < type->buildcost) return Refuse(b, what, "credits short");
    StartJob(b, BS_PRODUCING, type->buildtime, type->buildcost);
    b->unittypetobuild = type;
    b->paused = 0;
    AP_MakeSource(b, type->unittypeid);
    return 1;
}

int Build_CancelProduction(BUILDING* b)
{
    if (b == nullptr || b->state != BS_PRODUCING)
        return Refuse(b, "Build_CancelProduction", "not producing");
    AI_GiveCredits(b->team, Team_ChangeCredits(b->team, b->jobcost - b->costleft));
    // What the computer player still held for the unit would stay committed.
    AI_BuildingProductionCancelled(b);
    if (b->unittypetobuild) AP_ClearSource(b, b->unittypetobuild->unittypeid);
    b->unittypetobuild = nullptr;
    EndJob(b);
    return 1;
}

int Build_SetPaused(BUILDING* b, int paused)
{
    if (b == nullptr || b->state != BS_PRODUCING)
        return Refuse(b, "Build_SetPaused", "not producing");
    b->paused = paused ? 1 : 0;
    return 1;
}

int Build_CanUpgrade(const BUILDING* b)
{
    const BUILDINGTYPE* up = b->buildingtype->upgradeto;
    if (up == nullptr) return BUP_NOUPGRADE;
    if (!b->complete || b->state != BS_IDLE) return BUP_BUSY;
    if (teamdata[b->team].credits < up->cost) return BUP_NOCREDITS;
    if (up->prereq.id != 0 && !PREREQ_CanMake(up->prereq.id, b->team)) return BUP_NOPREREQ;
    return BUP_OK;
}

int Build_StartUpgrade(BUILDING* b)
{
    if (b == nullptr) return 0;
    int why = Build_CanUpgrade(b);
    if (why != BUP_OK) {
        TLOG(TLOG_WARNING, "Build_StartUpgrade: building %d refused (%d)", b->id, why);
        return 0;
    }
    const BUILDINGTYPE* up = b->buildingtype->upgradeto;
    StartJob(b, BS_UPGRADING, up->buildtime, up->cost);
    return 1;
}

int Build_UnpackPackage(UNIT* u, int x, int y)
{
    if (u == nullptr || u->building_package == nullptr) return 0;
    BUILDINGPACKAGE* pkg = static_cast<BUILDINGPACKAGE*>(u->building_package);
    BUILDINGTYPE* t = pkg->building_type;
    if (t == nullptr || !Build_ApplyEffects(u, nullptr, t, x, y, nullptr)) return 0;
    BUILDING* b = Build_NewConstructionSite(t, u->team, x, y);
    if (b == nullptr) return 0;
    StartJob(b, BS_UNPACKING, t->unpacktime, 0);
    b->whomademe = pkg->whomademe;
    LocalMsg(b, MSG_SFXUNPACK);
    return 1;
}

int Build_StartPack(BUILDING* b)
{
    if (b == nullptr || !b->complete || b->state != BS_IDLE || !Build_CanPack(b))
        return Refuse(b, "Build_StartPack", "not an idle building that packs");
    StartJob(b, BS_PACKING, b->buildingtype->packtime, 0);
    LocalMsg(b, MSG_SFXPACKUP);
    return 1;
}

int Build_PowerToggle(BUILDING* b)
{
    if (b == nullptr || !b->complete) return Refuse(b, "Build_PowerToggle", "not complete");
    const BUILDINGTYPE* t = b->buildingtype;
    if (b->state == BS_IDLE) {
        StartJob(b, BS_POWERINGDOWN, t->offtime, 0);
        LocalMsg(b, MSG_SFXPOWERDOWN);
        return 1;
    }
    if (b->state == BS_POWEREDOFF) {
        StartJob(b, BS_POWERINGUP, t->ontime, 0);
        LocalMsg(b, MSG_SFXPOWERUP);
        return 1;
    }
    return Refuse(b, "Build_PowerToggle", "neither idle nor off");
}

int Build_Sell(BUILDING* b)
{
    const char* what = "Build_Sell";
    if (b == nullptr || !b->complete || b->state != BS_IDLE) return Refuse(b, what, "busy");
    const BUILDINGTYPE* t = b->buildingtype;
    if (t->sell[0] == -1) return Refuse(b, what, "not for sale");
    StartJob(b, BS_SELLING, std::max(t->sell[1], 1), 0);
    LocalMsg(b, MSG_SFXDECONSTRUCT);
    return 1;
}

int Build_CancelSite(BUILDING* b)
{
    if (b == nullptr || b->complete || b->state != BS_BEINGBUILT)
        return Refuse(b, "Build_CancelSite", "not a construction site");
    AI_GiveCredits(b->team, Team_ChangeCredits(b->team, b->jobcost - b->costleft));
    Build_RemoveFromGame(b, BRM_CANCELLED);
    return 1;
}

int Build_RequestRepair(BUILDING* b)
{
    if (b == nullptr || !b->complete) return Refuse(b, "Build_RequestRepair", "not complete");
    b->repairrequest = 1;
    return 1;
}

int Build_SetRallyPoint(BUILDING* b, int x, int y)
{
    if (b == nullptr || !Map_IsValidTile(x, y)) return Refuse(b, "Build_SetRallyPoint", "bad tile");
    b->rallyx = x;
    b->rallyy = y;
    return 1;
}

int Build_SetClusterRallyPoint(BUILDING* b, int x, int y)
{
    if (b == nullptr || !Map_IsValidTile(x, y))
        return Refuse(b, "Build_SetClusterRallyPoint", "bad tile");
    for (BUILDING* o = teamdata[b->team].firstbuilding; o; o = o->teamnext)
        if (o->buildingtype == b->buildingtype) Build_SetRallyPoint(o, x, y);
    return 1;
}

int Build_SellResources(BUILDING* b)
{
    if (b == nullptr || !b->complete) return 0;
    int gained = 0;
    for (int r = 0; r < BUILD_RESOURCES; r++) {
        const BUILDTYPE_RESOURCE& res = b->buildingtype->resource[r];
        if (res.salepercent <= 0) continue;
        int64_t worth = (int64_t)b->stored[r] * res.salepercent / 100;
        if (worth <= res.salecharge) continue;
        b->stored[r] = 0;
        gained += (int)(worth - res.salecharge);
    }
    if (gained > 0) {
        AI_GiveCredits(b->team, Team_ChangeCredits(b->team, gained));
    }
    return gained;
}

// ------------------------------------------------------------------ stores and removal

int Build_ChangeStoredResource(BUILDING* b, int r, int delta, int flag)
{
    if (b == nullptr || r < 0 || r >= BUILD_RESOURCES) return 0;
    int64_t want = (int64_t)b->stored[r] + delta;
    int now = (int)std::clamp<int64_t>(want, 0, std::max(b->buildingtype->resource[r].maxstored, 0));
    int change = now - b->stored[r];
    b->stored[r] = now;
    // The game's total is held at the top of the word: a store the building
    // file lets fill by most of the word an update passes it in a few.
    if (flag && change > 0 && r < TEAM_RESOURCES && b->team >= 0 && b->team < TEAM_MAXTEAMS) {
        int32_t& total = teamdata[b->team].stats.collected[r];
        total = Utils_Saturate32((int64_t)total + change);
    }
    return change;
}

void Build_MakeKeptUnits(BUILDING* b)
{
    if (b == nullptr) return;
    const BUILDINGTYPE* t = b->buildingtype;
    for (int i = 0; i < BUILD_ACTIVEPARTS && i < BUILD_BAYUNITS; i++) {
        const BUILDTYPE_PART& part = t->activepart[i];
        if (part.type == nullptr || UnitId_Valid(&b->bay[i])) continue;
        int x = (b->tilex * MAP_TILE_PIXELS + part.x) / MAP_TILE_PIXELS;
        int y = (b->tiley * MAP_TILE_PIXELS + part.y) / MAP_TILE_PIXELS;
        if (!Map_IsValidTile(x, y)) {
            TLOG(TLOG_ERROR, "Kept unit %d of building %d lies off the map", i, b->id);
            continue;
        }
        UNIT* u = Units_NewAt(part.type, b->team, -1, x, y);
        if (u == nullptr) continue;
        BuildId_Setup(&u->partof, b);
        UnitId_Setup(&b->bay[i], u);
    }
}

void Build_RemoveFromGame(BUILDING* b, int reason)
{
    if (b == nullptr || b->id == -1) return;
    const BUILDINGTYPE* t = b->buildingtype;
    if (b->state == BS_BEINGBUILT) AI_BuildingRemoveUnderConstruction(b);
    else if (b->state == BS_UPGRADING) AI_BuildingRemoveUnderUpgrade(b);
    AI_BuildingRemove(b);
    // Sources are team 8's: every team's transports are told.
    AIBuild_ReleaseTransports(b->id);
    Build_ReleaseOccupants(b);
    for (UNITID& h : b->bay) {
        if (UNIT* k = UnitId_Ptr(&h)) Units_Delete(k);
        UnitId_Clear(&h);
    }
    if (b->complete && (t->flags & BTF_GIVESMINIMAP)) Game_AddMinimapStatus(b->team, -1);
    UNIT* maker = UnitId_Ptr(&b->whomademe);
    bool eaten = !(t->flags & BTF_NOTBUILDEREATER);
    int dx, dy;
    DoorTile(b, &dx, &dy);
    Build_Remove(b);
    if (maker == nullptr || reason == BRM_PACKED || maker->onmap) return;
    // Counted again first: a deleted unit is uncounted on its way out.
    if (eaten && maker->type) PREREQ_Add(maker->type, maker->type->prereq.id, maker->team);
    if (reason == BRM_DESTROYED) {
        Units_Delete(maker);
        return;
    }
    PutBack(maker, dx, dy);
    // Out of its site, a computer team's crew is its crew again.
    if (maker->onmap && !AI_InUnreleasedForce(maker)) {
        AI_UnitBuildingFinished(maker);
        AI_UnitAdd(maker);
    }
}
