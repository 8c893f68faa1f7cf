// Unit state commands: each acts at once on a unit that is not in the middle
// of a tile step, or is kept as the pending command that runs when the step
// ends. Units_RunPendingMoveCommand is the one place a kept command starts.
#include <cstring>

#include "core/debug.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

// A unit walking a step or sinking into the tunnel level finishes that
// first: commands wait for it.
bool Stepping(const UNIT* u) { return u->state == US_MOVING || u->state == US_PHASING; }

void StopBaseFiring(UNIT* u)
{
    if (u->basepart) Parts_StopFiring(u->basepart);
}

void HearPhase(const UNIT* u)
{
    if (u->team != g_LocalTeam) return;
    GameMsg_TriggerStd(GameMsg_Std(MSG_SFXPHASE));
    GameMsg_TriggerStd(GameMsg_Std(MSG_PHASESTATEALT));
}

void Stop(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_StopFiring(p);
    u->state = US_NONE;
}

void Wait(UNIT* u, int updates)
{
    u->move.waituntil = g_UpdateCount + (uint32_t)updates;
    u->state = US_WAITING;
}

void Turn(UNIT* u, int facing)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_RotateTo(p, facing);
    u->state = US_NONE;
}

void Fire(UNIT* u, const TARGET* target, int once)
{
    for (PART* p = u->basepart; p; p = p->partup) {
        if (once)
            Parts_FireOnce(p, target);
        else
            Parts_Fire(p, target);
    }
    u->state = once ? US_FIRINGONCE : US_FIRING;
}

void PhaseIn(UNIT* u)
{
    for (PART* p = u->basepart; p; p = p->partup) Parts_StopFiring(p);
    Units_SOrderNone(u);
    if (!Units_SetMoveMode(u, MM_TUNNEL)) {
        u->state = US_NONE;
        return;
    }
    u->isphased = 1;
    PhaseEff_Add(u);
    Units_PlayPartsAnimation(u, u->type->phaseinfo.c, 2);
    u->state = US_PHASING;
    HearPhase(u);
}

void CheckTile(int x, int y)
{
    ASSERT(x > 0);
    ASSERT(y > 0);
    ASSERT(x < mapsizex);
    ASSERT(y < mapsizey);
}

} // namespace

void Units_StopMove(UNIT* u)
{
    ASSERT(u);
    if (Stepping(u)) {
        u->nextstate.type = UNS_STOP;
        return;
    }
    StopBaseFiring(u);
    Stop(u);
    Units_UpdateRenderType(u);
}

void Units_Wait(UNIT* u, int updates)
{
    ASSERT(u);
    if (Stepping(u)) {
        u->nextstate.type = UNS_WAIT;
        u->nextstate.wait.updates = updates;
        return;
    }
    StopBaseFiring(u);
    Wait(u, updates);
    Units_UpdateRenderType(u);
}

void Units_MoveTo(UNIT* u, int x, int y, uint32_t group)
{
    ASSERT(u);
    CheckTile(x, y);
    if (Stepping(u)) {
        u->nextstate.type = UNS_MOVE;
        u->nextstate.move.x = x;
        u->nextstate.move.y = y;
        u->nextstate.move.groupid = group;
        return;
    }
    StopBaseFiring(u);
    Units_StartPathTo(u, x, y, group);
    Units_UpdateRenderType(u);
}

void Units_TurnTo(UNIT* u, int facing)
{
    ASSERT(u);
    if (Stepping(u)) {
        u->nextstate.type = UNS_ROTATE;
        u->nextstate.rotate.facing = facing;
        return;
    }
    StopBaseFiring(u);
    Turn(u, facing);
    Units_UpdateRenderType(u);
}

void Units_Fire(UNIT* u, const TARGET* target)
{
    ASSERT(u);
    ASSERT(target);
    if (Stepping(u)) {
        u->nextstate.type = UNS_FIRE;
        u->nextstate.fire.target = *target;
        return;
    }
    StopBaseFiring(u);
    Fire(u, target, 0);
    Units_UpdateRenderType(u);
}

void Units_FireOnce(UNIT* u, const TARGET* target)
{
    ASSERT(u);
    ASSERT(target);
    if (Stepping(u)) {
        u->nextstate.type = UNS_FIREONCE;
        u->nextstate.fireonce.target = *target;
        return;
    }
    StopBaseFiring(u);
    Fire(u, target, 1);
    Units_UpdateRenderType(u);
}

void Units_WaitForObstacle(UNIT* u)
{
    ASSERT(u);
    if (Stepping(u)) {
        u->nextstate.type = UNS_WAITFOROBSTACLE;
        return;
    }
    StopBaseFiring(u);
    u->state = US_WAITFOROBSTACLE;
    u->move.waituntil = g_UpdateCount + UNITS_WAITPATIENCE;
    Units_UpdateRenderType(u);
}

void Units_Phase(UNIT* u)
{
    ASSERT(u);
    if (Stepping(u)) {
        u->nextstate.type = UNS_PHASE;
        return;
    }
    if (!Units_AbleToPhase(u)) return;
    StopBaseFiring(u);
    PhaseIn(u);
    Units_UpdateRenderType(u);
}

void Units_UnPhase(UNIT* u)
{
    ASSERT(u);
    if (u->state != US_PHASING) return;
    u->nextstate.pushedtype = UNS_NONE;
    u->nextstate.type = UNS_UNPHASE;
}

void Units_StartPathTo(UNIT* u, int x, int y, uint32_t group)
{
    ASSERT(u);
    CheckTile(x, y);
    if (u->movemode == MM_FIXED) {
        u->move.srchtilepos = u->tilepos;
        u->state = US_NONE;
        return;
    }
    u->move.srchtilepos = {x, y};
    u->move.groupid = group;
    if (u->tilepos.x == x && u->tilepos.y == y) {
        u->state = US_NONE;
        return;
    }
    Pathsrch_StartUnitSearch(u);
}

int Units_SetMoveMode(UNIT* u, int mode)
{
    ASSERT(u);
    if (u->movemode == mode) return 1;
    const int level = Units_GetMapLevel(mode);
    if (!u->onmap) {
        u->movemode = mode;
        u->maplevel = level;
        return 1;
    }
    // The unit itself on that level (hovering to driving) is no obstacle.
    const UNIT* there = Units_UnitAtMapLevel(level, u->tilepos.x, u->tilepos.y);
    if (there != nullptr && there != u) return 0;
    Units_RemoveFromMap(u);
    u->movemode = mode;
    u->maplevel = level;
    Units_AddToMap(u);
    return 1;
}

int Units_RestoreMoveMode(UNIT* u)
{
    ASSERT(u->type);
    if (!Units_SetMoveMode(u, u->type->defmovemode)) return 0;
    u->isphased = 0;
    PhaseEff_Remove(u->id);
    Units_UpdateRenderType(u);
    Units_UpdateDisplayLayer(u);
    Units_PlayPartsAnimation(u, u->type->phaseinfo.c, 3);
    // A unit surfacing to go somewhere or to attack carries on with it.
    if (u->sorder.code != SO_MOVE && u->sorder.code != SO_ATTACK) Units_SOrderNone(u);
    HearPhase(u);
    return 1;
}

int Units_AbleToPhase(const UNIT* u)
{
    ASSERT(u->type);
    const UNITTYPE* t = u->type;
    if (!u->onmap || !t->abilities.canphase || u->isphased) return 0;
    if (t->maxhitpoints <= 0 || (int64_t)u->hitpoints * 100 / t->maxhitpoints < t->phaseinfo.a) return 0;
    const BUILDINGTYPE* bt = t->phaseinfo.buildingtype;
    if (bt == nullptr || PREREQ_HowMany(bt->prereq.id, u->team) <= 0) return 0;
    if (Units_UnitAtMapLevel(ML_TUNNEL, u->tilepos.x, u->tilepos.y) != nullptr) return 0;
    const uint32_t tile = MAP_ELEMENT_AT(u->tilepos.x, u->tilepos.y)->tile;
    for (int corner = 0; corner < 4; corner++)
        if (((tile >> (corner * 4)) & 15) == 0) return 0;
    return 1;
}

void Units_RunPendingMoveCommand(UNIT* u)
{
    ASSERT(u);
    StopBaseFiring(u);
    const UNITNEXTSTATE next = u->nextstate;
    u->nextstate.type = UNS_NONE;
    switch (next.type) {
    case UNS_STOP: Stop(u); break;
    case UNS_WAIT: Wait(u, next.wait.updates); break;
    case UNS_MOVE: Units_StartPathTo(u, next.move.x, next.move.y, next.move.groupid); break;
    case UNS_ROTATE: Turn(u, next.rotate.facing); break;
    case UNS_FIRE: Fire(u, &next.fire.target, 0); break;
    case UNS_FIREONCE: Fire(u, &next.fireonce.target, 1); break;
    case UNS_WAITFOROBSTACLE:
        u->state = US_WAITFOROBSTACLE;
        u->move.waituntil = g_UpdateCount + UNITS_WAITPATIENCE;
        break;
    case UNS_PHASE:
        // Where the step ended may not allow it.
        if (Units_AbleToPhase(u))
            PhaseIn(u);
        else
            u->state = US_NONE;
        break;
    case UNS_UNPHASE: u->state = US_UNPHASING; break;
    default: u->state = US_NONE; break;
    }
    Units_UpdateRenderType(u);
}

namespace {

// Whether the local team owned a phase building at the last check; -1
// before the first check of a game.
int s_phaseOnline = -1;

} // namespace

void Units_ResetPhaseMessages(void) { s_phaseOnline = -1; }

void Units_CheckPhaseMessages(void)
{
    bool any = false, owned = false;
    const int n = Units_UnitTypeCount();
    for (int i = 0; i < n; i++) {
        const UNITTYPE* t = Units_GetTypePtr(i);
        const BUILDINGTYPE* bt = t ? t->phaseinfo.buildingtype : nullptr;
        if (bt == nullptr) continue;
        any = true;
        owned = owned || PREREQ_HowMany(bt->prereq.id, g_LocalTeam) > 0;
    }
    if (!any) return;
    if (s_phaseOnline == 1 && !owned) GameMsg_TriggerStd(GameMsg_Std(MSG_PHASEOFFLINE));
    if (s_phaseOnline == 0 && owned) GameMsg_TriggerStd(GameMsg_Std(MSG_PHASEONLINE));
    s_phaseOnline = owned ? 1 : 0;
}
