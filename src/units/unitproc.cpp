// The units' step of every game update (see unitproc.h).
#include "units/unitproc.h"

#include "ai/ai.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "map/map.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

// A type fires indirect when a part of it carries a weapon that can.
bool FiresIndirect(const UNITTYPE* type)
{
    for (int i = 0; i < type->partinfo.nrparts && i < UNITTYPE_MAXPARTS; i++)
        if (type->partinfo.parttype[i] && Parts_TypeCanShootIndirect(type->partinfo.parttype[i]))
            return true;
    return false;
}


void Decoy(UNIT* u)
{
    if (u->type->decoy != DM_ISDECOY) return;
    // At or below 0: a building keeps what it holds from harm, so a decoy
    // whose time ran out inside goes when it comes out.
    if (u->liferemaining <= 0) Units_SetHitpoints(u, 0);
    u->liferemaining--;
}

void Charge(UNIT* u)
{
    if (!u->type->abilities.weaponcharge || !u->ischarging) return;
    if (u->chargeremaining < 0) {
        Units_AddAmmo(u, 100);
        u->ischarging = 0;
        if (u->team == g_LocalTeam && u->type->msgcharged)
            GameMsg_TriggerStd(u->type->msgcharged);
    }
    BUILDING* in = BuildId_Ptr(&u->partof);
    u->chargeremaining -= in ? Build_GetEfficiency(in) : 100;
}

void Boost(UNIT* u)
{
    UNIT_BOOST& b = u->boost;
    if (b.state == BS_ON) {
        // At or below 1: a boost time below 1 would never pass 1 and last for ever.
        if (--b.counter <= 1) b.state = BS_DEC;
        return;
    }
    if (b.state != BS_DEC) return;
    b.counter += b.fadespeed;
    int loss = b.counter >> 8;
    b.counter &= 255;
    // Wide: a fade below 0 takes nothing, and hit points near the top of
    // the word less its "loss" would pass it.
    if ((int64_t)u->hitpoints - loss <= b.floor) {
        loss = u->hitpoints - b.floor;
        b = UNIT_BOOST{};
    }
    if (loss > 0) Units_SetHitpoints(u, u->hitpoints - loss);
}

void Convert(UNIT* u)
{
    UNIT_OPERATIONINFO& op = u->operation;
    if (op.code != UO_CONVERT) return;
    const bool due = op.counter >= op.duration;
    op.counter++;
    if (!due) return;
    op.code = UO_NONE;
    UNITTYPE* into = u->type->grabinfo.type;
    if (into == nullptr) {
        TLOG(TLOG_ERROR, "Tried to converted a unit into an undefined type by %s", u->type->symbolid);
        return;
    }
    UNIT* v;
    int id;
    if (!Units_ListRemoveFirst(&u->hold, &v, &id) || v == nullptr) return;
    UNIT* n = Units_ChangeUnitType(v, into, 0);
    if (n == nullptr) return;
    Units_GiveUnitToOtherTeam(n, u->team);
    Units_ListAppend(&u->hold, n, n->id, n->team);
}

void Boomerang(UNIT* u)
{
    if (u->type->abilities.canboomerang && u->sorder.code != SO_PICKUP &&
        Units_ListEmpty(&u->hold))
        Units_SOrderPickUp(u);
}

// The carrier whose hold lists u, if any.
UNIT* Carrier(const UNIT* u)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* c = Iterate_UnitNext(&it))
        if (c != u && Units_ListFind(&c->hold, u->id)) return c;
    return nullptr;
}

// A unit off the map: held by a carrier or a building, a spy inside, a
// builder in its site. Its time runs on where it is (a decoy's life, a
// weapon's charge at the holder's rate, a boost fading, a grabbed unit
// converting); what needs a tile does not run: sight, the order (a spy's
// runs in the pass of its own), movement, the computer player's list of
// idle guns, shredding, the boomerang's call home, and the parts.
void ProcessHeldUnit(UNIT* u)
{
    if (u->hitpoints < 1) {
        // Its passengers go with it (they have no tile to be dropped on),
        // and its seat in the hold holding it is freed.
        if (UNIT* c = Carrier(u)) Units_ListDelete(&c->hold, u->id);
        if (BUILDING* b = BuildId_Ptr(&u->partof)) Units_ListDelete(&b->hold, u->id);
        if (u->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_UNITDESTROYED));
        Units_Delete(u);
        return;
    }
    Decoy(u);
    Charge(u);
    Boost(u);
    Convert(u);
}

void ProcessUnit(UNIT* u)
{
    if (u->hitpoints < 1) {
        Units_HoldDropAllCritical(u);
        if (u->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_UNITDESTROYED));
        Units_Delete(u);
        return;
    }
    Units_UpdateSeenFlags(u);
    if (!Units_ProcessSOrder(u)) return;
    Units_UpdateMovement(u);
    if (u->sorder.code == SO_NONE && FiresIndirect(u->type) && AI_IsEnabled(u->team))
        Units_ListAppend(&teamdata[u->team].idleindirectfireunits, u, u->id);
    Decoy(u);
    Charge(u);
    if (u->type->abilities.isshredder) Units_ShredderDamage(u);
    Boost(u);
    Convert(u);
    Boomerang(u);
    for (PART* p = u->basepart; p; p = p->partup) Parts_Process(p);
    Units_UpdateDisplayPos(u);
}

} // namespace

void Units_ProcessAll(void)
{
    // Teams' lists of idle indirect-fire units belong to computer players:
    // made afresh every update.
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (AI_IsEnabled(t)) Units_ListClear(&teamdata[t].idleindirectfireunits);
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->onmap) ProcessUnit(u);
        else ProcessHeldUnit(u);
    }
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        UNIT* next;
        for (UNIT* u = teamdata[t].offmaplist; u; u = next) {
            next = u->next;
            Units_UpdateSpy(u);
        }
    }
}

void Units_UpdateSeenFlags(UNIT* u)
{
    const bool atwork = u->type->abilities.canspy && u->sorder.code == SO_SPY &&
                        (u->sorder.spy.mode == SPY_SPYING || u->sorder.spy.mode == SPY_STEAL);
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        int seen;
        if (atwork) seen = 0;
        else if (Team_AgreedRelation(t, u->team, TR_ALLY) || teamdata[t].lineofsight[u->team] > 0)
            seen = 1;
        else if (u->movemode == MM_TUNNEL) seen = 0;
        else if (u->movemode == MM_FLY) seen = Fog_IsSeenLevel1(u->tilepos.x, u->tilepos.y, t) != 0;
        else seen = Fog_IsSeen(u->tilepos.x, u->tilepos.y, t) != 0;
        Units_Set_Seen(u, t, seen);
    }
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return;
    if (u->seen[g_LocalTeam]) Units_ShowDisplay(u);
    else Units_HideDisplay(u);
}

void Units_ShredderDamage(UNIT* u)
{
    const WEAPONTYPE* w = u->type->shredderinfo;
    if (w == nullptr) return;
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) {
            const int x = u->tilepos.x + dx, y = u->tilepos.y + dy;
            if ((dx == 0 && dy == 0) || x < 0 || y < 0 || x >= mapsizex || y >= mapsizey) continue;
            Weapon_DoDamage(x, y, w, u->team);
        }
}
