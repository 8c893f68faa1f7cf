// Player orders carried out by the units' service orders.
//
// Orders arrive from every machine of a game, so a payload is checked before
// it reaches a setter: a tile off the map, a type, team, level, mode or slot
// out of range, or a target that is gone refuses the order with a logged
// line naming it and its team, and the game goes on. The selection is
// validated first: units that died, left the map or changed hands since they
// were selected drop out.
#include <cstring>

#include "ai/ai.h"
#include "core/bytes.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "map/map.h"
#include "map/overlay.h"
#include "rules/gamemsg.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

void Refuse(const ORDERREC* n, const char* what, int value)
{
    TLOG(TLOG_ERROR, "Order %s (%d) of team %d: %s %d; refused", Orders_CodeName(n->code), n->code,
         n->team, what, value);
}

int CheckTile(const ORDERREC* n, int x, int y)
{
    if (Map_IsValidTile(x, y)) return 1;
    TLOG(TLOG_ERROR, "Order %s (%d) of team %d: tile %d,%d off the map; refused",
         Orders_CodeName(n->code), n->code, n->team, x, y);
    return 0;
}

int CheckBelow(const ORDERREC* n, const char* what, int value, int limit)
{
    if (value >= 0 && value < limit) return 1;
    Refuse(n, what, value);
    return 0;
}

UNITLIST* Selection(const ORDERREC* n)
{
    UNITLIST* sel = Orders_TeamSelection(n->team);
    Units_ListValidateTeamOnMap(sel, n->team);
    return sel;
}

// Runs fn on each selected unit.
template <typename F>
void EachSelected(const ORDERREC* n, F fn)
{
    for (UNITLISTELEM* e = Selection(n)->head; e; e = e->next)
        if (UNIT* u = UnitId_Ptr(&e->u)) fn(u);
}

int U16(const ORDERREC* n, int at) { return Bytes_U16(n->payload + at); }
int Id32(const ORDERREC* n, int at) { return (int32_t)Bytes_U32(n->payload + at); }

void Stop(const ORDERREC* n) { EachSelected(n, Units_SOrderStop); }

// Flag 1 keeps the formation; 0 spreads the group over the destination.
void Move(const ORDERREC* n)
{
    const int x = U16(n, 2), y = U16(n, 4);
    if (!CheckTile(n, x, y)) return;
    Units_SOrderMoveGroup(Selection(n), x, y, n->payload[0] != 0, n->team);
}

void Rotate(const ORDERREC* n)
{
    const int x = U16(n, 2), y = U16(n, 4);
    if (!CheckTile(n, x, y)) return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderRotate(u, x, y); });
}

// Firing without moving keeps the unit from chasing until the order ends,
// which brings back the user's tenacity.
void Attack(const ORDERREC* n, TARGET* t, int mode)
{
    if (!CheckBelow(n, "attack mode", mode, UAM_DEFAULT + 1)) return;
    EachSelected(n, [&](UNIT* u) {
        const int m = mode == UAM_DEFAULT ? u->type->defattackmode : mode;
        if (m == UAM_FIRENOMV) u->tactaiinfo.tenacity = TACTAI_LOW;
        Units_SOrderAttack(u, t, u->tilepos.x, u->tilepos.y, -1, -1);
    });
}

void FireAtGround(const ORDERREC* n)
{
    const int x = U16(n, 0), y = U16(n, 2);
    if (!CheckTile(n, x, y)) return;
    TARGET t;
    Target_Setup(&t, FM_GROUND, nullptr, nullptr, x, y);
    Attack(n, &t, n->payload[4]);
}

void FireAtUnit(const ORDERREC* n)
{
    UNIT* v = Units_IdToUnitPtr(Id32(n, 0), -1);
    if (!v) {
        Refuse(n, "no unit", Id32(n, 0));
        return;
    }
    TARGET t;
    Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
    Attack(n, &t, n->payload[4]);
}

void FireAtBuilding(const ORDERREC* n)
{
    BUILDING* b = Build_FindById(Id32(n, 0));
    if (!b) {
        Refuse(n, "no building", Id32(n, 0));
        return;
    }
    TARGET t;
    Target_Setup(&t, FM_BUILDING, nullptr, b, b->tilex, b->tiley);
    Attack(n, &t, n->payload[4]);
}

void SetLevel(const ORDERREC* n, void (*set)(UNIT*, int))
{
    const int level = n->payload[0];
    if (!CheckBelow(n, "level", level, TACTAI_MAX)) return;
    EachSelected(n, [&](UNIT* u) { set(u, level); });
}

void Tenacity(const ORDERREC* n) { SetLevel(n, Units_SetUserTenacity); }
void SelfPreservation(const ORDERREC* n) { SetLevel(n, Units_SetUserSelfPreservation); }
void Autonomy(const ORDERREC* n) { SetLevel(n, Units_SetUserAutonomy); }

void MorphIntoUnit(const ORDERREC* n)
{
    UNITTYPE* type = Units_GetTypePtr(n->payload[0]);
    if (!type) {
        Refuse(n, "unit type", n->payload[0]);
        return;
    }
    const int team = n->payload[1];
    if (!CheckBelow(n, "team", team, TEAM_MAXTEAMS)) return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderMorphUnit(u, type, team); });
}

void MorphIntoOvl(const ORDERREC* n)
{
    OVERLAYTYPE* type = Ovl_GetType(n->payload[0]);
    if (!type) {
        Refuse(n, "thing type", n->payload[0]);
        return;
    }
    EachSelected(n, [&](UNIT* u) { Units_SOrderMorphOverlay(u, type); });
}

void Unmorph(const ORDERREC* n) { EachSelected(n, Units_SOrderUnMorph); }
void SelfDestruct(const ORDERREC* n) { EachSelected(n, Units_SOrderSelfDestruct); }
void Phase(const ORDERREC* n) { EachSelected(n, Units_SOrderPhase); }
void Unphase(const ORDERREC* n) { EachSelected(n, Units_SOrderUnPhase); }
void SpecFunc(const ORDERREC* n) { EachSelected(n, Units_InitiateSpecialFunction); }

void BoardUnit(const ORDERREC* n)
{
    UNIT* carrier = Units_IdToUnitPtr(Id32(n, 0), -1);
    if (!carrier) {
        Refuse(n, "no unit", Id32(n, 0));
        return;
    }
    EachSelected(n, [&](UNIT* u) {
        if (u != carrier) Units_SOrderBoard(u, carrier);
    });
}

void ConstructBuilding(const ORDERREC* n)
{
    const int type = n->payload[0], x = U16(n, 8), y = U16(n, 10);
    UNIT* u = Units_IdToUnitPtr(Id32(n, 4), n->team);
    if (!u) {
        Refuse(n, "no unit of the team", Id32(n, 4));
        return;
    }
    // A unit builds as a crew or from the package it carries; any other
    // would stall where it can't build, on every machine.
    if (!u->type->abilities.canbuild && !Units_HasBuildingPackage(u)) {
        Refuse(n, "unit that can't build", u->id);
        return;
    }
    if (!CheckBelow(n, "building type", type, g_NrBuildingTypes) || !CheckTile(n, x, y)) return;
    // The building panel's two tests, made again where every machine makes
    // them: the panel chose at the click, and an order from elsewhere (a
    // changed program, a recording) was never chosen there. A carrier puts
    // up the building it carries, whatever type the order names, and the
    // panel places a carried package with neither test.
    const BUILDINGTYPE* t = &g_BuildingTypes[type];
    const char* rule = Units_HasBuildingPackage(u) ? nullptr
                       : !PREREQ_CanThisMakeThat(u->type->prereq.id, t->prereq.id, n->team)
                           ? "the unit's type isn't among its makers"
                       : !PREREQ_CanMake(t->prereq.id, n->team) ? "the team lacks its prerequisites"
                                                                : nullptr;
    if (rule) {
        TLOG(TLOG_ERROR, "Order %s (%d) of team %d: unit %d (%s), building type %d (%s): %s; refused",
             Orders_CodeName(n->code), n->code, n->team, u->id, u->type->symbolid, type, t->name, rule);
        return;
    }
    Units_SOrderConstruct(u, type, x, y);
    AI_PlayerConstruct(u);
}

void SabotageBuilding(const ORDERREC* n)
{
    BUILDING* b = Build_FindById(Id32(n, 0));
    if (!b) {
        Refuse(n, "no building", Id32(n, 0));
        return;
    }
    EachSelected(n, [&](UNIT* u) { Units_SOrderSabotageBuilding(u, b); });
}

// A waypoint's type, tile and value from offset 0 (type) and 2.
int Waypoint(const ORDERREC* n, int typeat, int* type, int* x, int* y)
{
    *type = n->payload[typeat];
    *x = U16(n, 2);
    *y = U16(n, 4);
    return CheckBelow(n, "waypoint type", *type, WPT_FIRE + 1) && CheckTile(n, *x, *y);
}

void LocalClear(const ORDERREC* n)
{
    EachSelected(n, [](UNIT* u) {
        if (u->localtrail) Trail_Clear(u->localtrail);
    });
}

void LocalAddWaypoint(const ORDERREC* n)
{
    int type, x, y;
    if (!Waypoint(n, 0, &type, &x, &y)) return;
    const int value = U16(n, 6);
    EachSelected(n, [&](UNIT* u) {
        if (u->localtrail) Trail_AddWaypoint(u->localtrail, type, x, y, value);
    });
}

void HearPath(const ORDERREC* n)
{
    if (n->team == g_LocalTeam) GameMsg_TriggerStd(GameMsg_Std(MSG_SFXPATH));
}

void LocalExecute(const ORDERREC* n)
{
    const int mode = n->payload[0];
    if (!CheckBelow(n, "trail mode", mode, TRAIL_STOP + 1)) return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderFollowLocalTrail(u, mode); });
    HearPath(n);
}

void GlobalClear(const ORDERREC* n)
{
    const int slot = n->payload[0];
    if (!CheckBelow(n, "trail slot", slot, QUORVEX_GLOBALTRAILS)) return;
    // Units following the trail stop rather than keep a waypoint of it.
    Units_ClearGlobal(n->team, slot);
}

void GlobalAddWaypoint(const ORDERREC* n)
{
    const int slot = n->payload[0];
    int type, x, y;
    if (!CheckBelow(n, "trail slot", slot, QUORVEX_GLOBALTRAILS) || !Waypoint(n, 1, &type, &x, &y))
        return;
    Trail_AddWaypoint(&teamdata[n->team].gtrails[slot], type, x, y, U16(n, 6));
}

void GlobalExecute(const ORDERREC* n)
{
    const int slot = n->payload[0], mode = n->payload[1];
    if (!CheckBelow(n, "trail slot", slot, QUORVEX_GLOBALTRAILS) ||
        !CheckBelow(n, "trail mode", mode, TRAIL_STOP + 1))
        return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderFollowGlobalTrail(u, mode, slot); });
    HearPath(n);
}

void AutomoveOn(const ORDERREC* n)
{
    const int mode = n->payload[0];
    if (!CheckBelow(n, "mode", mode, TACTAI_MAX)) return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderAutomove(u, mode); });
}

// Roaming queues itself behind every order that interrupts it, so both
// slots are cleared.
void AutomoveOff(const ORDERREC* n)
{
    EachSelected(n, [](UNIT* u) {
        if (u->snextorder.code == SO_AUTOMOVE) u->snextorder.code = SO_NONE;
        if (u->sorder.code == SO_AUTOMOVE) Units_SOrderStop(u);
    });
}

int ClampTile(int v, int size) { return v < 1 ? 1 : v > size - 1 ? size - 1 : v; }

void Scatter(const ORDERREC* n)
{
    EachSelected(n, [](UNIT* u) {
        const int x = ClampTile(u->tilepos.x + Rand_Next(7) - 3, mapsizex);
        const int y = ClampTile(u->tilepos.y + Rand_Next(7) - 3, mapsizey);
        Units_SOrderMove(u, x, y);
    });
}

} // namespace

void Orders_SetupUnitHandlers(ORDERHANDLER* h)
{
    h[QSTOP] = {Stop, 0};
    h[QMOVE] = {Move, 6};
    h[QROTATE] = {Rotate, 6};
    h[QFIREATGROUND] = {FireAtGround, 5};
    h[QFIREATUNIT] = {FireAtUnit, 5};
    h[QFIREATBUILDING] = {FireAtBuilding, 5};
    h[QLOCALCLEAR] = {LocalClear, 0};
    h[QLOCALADDWAYPOINT] = {LocalAddWaypoint, 8};
    h[QLOCALEXECUTE] = {LocalExecute, 1};
    h[QGLOBALADDWAYPOINT] = {GlobalAddWaypoint, 8};
    h[QGLOBALCLEAR] = {GlobalClear, 1};
    h[QGLOBALEXECUTE] = {GlobalExecute, 2};
    h[QCONSTRUCTBUILDING] = {ConstructBuilding, 12};
    h[QSETTENACITY] = {Tenacity, 1};
    h[QSETSELFPRESERVATION] = {SelfPreservation, 1};
    h[QSETAUTONOMY] = {Autonomy, 1};
    h[QMORPHINTOUNIT] = {MorphIntoUnit, 2};
    h[QMORPHINTOOVL] = {MorphIntoOvl, 1};
    h[QBOARDUNIT] = {BoardUnit, 4};
    h[QSCATTER] = {Scatter, 0};
    h[QSELFDESTRUCT] = {SelfDestruct, 0};
    h[QPHASE] = {Phase, 0};
    h[QUNPHASE] = {Unphase, 0};
    h[QSABOTAGEBUILDING] = {SabotageBuilding, 4};
    h[QUNMORPH] = {Unmorph, 0};
    h[QAUTOMOVEON] = {AutomoveOn, 1};
    h[QAUTOMOVEOFF] = {AutomoveOff, 0};
    h[QUNITSPECFUNC] = {SpecFunc, 0};
}
