// Player orders carried out by the units at buildings: spies, unpacking,
// disembarking, transport trips, grabbing, boarding buildings, service
// visits, teleporting and packing.
//
// As for the other unit orders, a payload is checked before it reaches a
// setter: ids must name objects of the order's team where the order acts on
// them, types and modes must be in range, else the order is refused with a
// logged line and the game goes on. Setters trust their callers; a network
// order must never reach one of their fatal texts or assertions.
#include "core/bytes.h"
#include "core/tlog.h"
#include "map/map.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"

namespace {

void Refuse(const ORDERREC* n, const char* what, int value)
{
    TLOG(TLOG_ERROR, "Order %s (%d) of team %d: %s %d; refused", Orders_CodeName(n->code), n->code,
         n->team, what, value);
}

int Id32(const ORDERREC* n, int at) { return (int32_t)Bytes_U32(n->payload + at); }
int U16(const ORDERREC* n, int at) { return Bytes_U16(n->payload + at); }

template <typename F>
void EachSelected(const ORDERREC* n, F fn)
{
    UNITLIST* sel = Orders_TeamSelection(n->team);
    Units_ListValidateTeamOnMap(sel, n->team);
    for (UNITLISTELEM* e = sel->head; e; e = e->next)
        if (UNIT* u = UnitId_Ptr(&e->u)) fn(u);
}

BUILDING* AnyBuilding(const ORDERREC* n, int at)
{
    BUILDING* b = Build_FindById(Id32(n, at));
    if (b == nullptr) Refuse(n, "no building", Id32(n, at));
    return b;
}

BUILDING* OwnBuilding(const ORDERREC* n, int at)
{
    BUILDING* b = AnyBuilding(n, at);
    if (b != nullptr && b->team != n->team) {
        Refuse(n, "building of another team", b->id);
        return nullptr;
    }
    return b;
}

UNIT* OwnUnitOnMap(const ORDERREC* n, int at)
{
    UNIT* u = Units_IdToUnitPtr(Id32(n, at), n->team);
    if (u == nullptr) Refuse(n, "no unit of the team", Id32(n, at));
    return u;
}

// The spy's own building and slot for the modes that act inside.
void Spy(const ORDERREC* n)
{
    const int mode = U16(n, 8), extra = U16(n, 10), id = Id32(n, 0);
    if (mode > SPY_EJECTALL) return Refuse(n, "spy mode", mode);
    BUILDING* b = AnyBuilding(n, 4);
    if (b == nullptr) return;
    if (mode == SPY_EJECTALL) return Units_SOrderSpy(0, 0, b, mode, 0);
    UNIT* u = mode == SPY_SPY || mode == SPY_RETURNPLANS ? Units_IdToUnitPtr(id, n->team)
                                                         : Units_IdToUnitPtrOffMap(id, n->team);
    if (u == nullptr || !u->type->abilities.canspy) return Refuse(n, "no spy of the team", id);
    if (mode == SPY_STEAL || mode == SPY_LEAVE) {
        UNITID slot = b->spy[n->team];
        if (UnitId_Ptr(&slot) != u || u->sorder.code != SO_SPY)
            return Refuse(n, "spy not inside building", b->id);
    }
    if (mode == SPY_STEAL && !PREREQ_IsValid(extra)) return Refuse(n, "plans", extra);
    Units_SOrderSpy(id, n->team, b, mode, extra);
}

void Unpack(const ORDERREC* n)
{
    UNIT* u = OwnUnitOnMap(n, 0);
    if (u == nullptr) return;
    const int x = U16(n, 4), y = U16(n, 6);
    if (!Units_HasBuildingPackage(u)) return Refuse(n, "no package on unit", u->id);
    if (!Map_IsValidTile(x, y)) return Refuse(n, "tile off the map, x", x);
    Units_DoUnpackBuilding(u, x, y);
}

void Disembark(const ORDERREC* n)
{
    UNIT* u = OwnUnitOnMap(n, 4);
    if (u == nullptr) return;
    if (n->payload[0]) Units_HoldDropAll(u);
    else Units_HoldDropLast(u);
}

void DisembarkBld(const ORDERREC* n)
{
    BUILDING* b = OwnBuilding(n, 4);
    if (b == nullptr) return;
    if (n->payload[0]) Build_HoldDropAll(b);
    else Build_HoldDropLast(b);
}

void SetupTransport(const ORDERREC* n)
{
    const int type = Id32(n, 0), x = U16(n, 4), y = U16(n, 6);
    if (type < 0 || type >= g_NrBuildingTypes) return Refuse(n, "building type", type);
    BUILDING* b = Map_IsValidTile(x, y) ? Build_AtDoorTile(x, y) : nullptr;
    if (b == nullptr || b->buildingtype != &g_BuildingTypes[type])
        return Refuse(n, "no building of the type with its door at x", x);
    EachSelected(n, [&](UNIT* u) { Units_SetupTransportTrail(u, b); });
}

void GrabUnit(const ORDERREC* n)
{
    UNIT* v = Units_IdToUnitPtr(Id32(n, 0), -1);
    if (v == nullptr) return Refuse(n, "no unit", Id32(n, 0));
    EachSelected(n, [&](UNIT* u) {
        if (u != v) Units_SOrderGrabUnit(u, v);
    });
}

void BoardBuilding(const ORDERREC* n)
{
    BUILDING* b = OwnBuilding(n, 0);
    if (b == nullptr) return;
    EachSelected(n, [&](UNIT* u) { Units_SOrderBoardBuilding(u, b); });
}

// A visit to a named building: allied towards its team, and a building
// that gives the service.
void GoTo(const ORDERREC* n, uint32_t flags, void (*set)(UNIT*, BUILDING*))
{
    BUILDING* b = AnyBuilding(n, 0);
    if (b == nullptr) return;
    if (Team_GetRelation(n->team, b->team) != TR_ALLY)
        return Refuse(n, "building of a team not allied, team", b->team);
    if (!b->complete || !(b->buildingtype->flags & flags))
        return Refuse(n, "building without the service", b->id);
    EachSelected(n, [&](UNIT* u) { set(u, b); });
}

void GotoRepair(const ORDERREC* n)
{
    GoTo(n, BTF_CANREPAIR | BTF_CANHEAL, Units_SOrderRepairSelf);
}

void GotoRearm(const ORDERREC* n)
{
    GoTo(n, BTF_CANREARM | BTF_CANREARMFLYER, Units_SOrderRearmSelf);
}

void RepairSelf(const ORDERREC* n)
{
    EachSelected(n, [](UNIT* u) {
        if (BUILDING* b = Build_FindRepairBuilding(u->team, u->type->abilities.ishuman,
                                                   u->tilepos.x, u->tilepos.y))
            Units_SOrderRepairSelf(u, b);
    });
}

void RearmSelf(const ORDERREC* n)
{
    EachSelected(n, [](UNIT* u) {
        if (BUILDING* b = Build_FindRearmBuilding(u->team, u->movemode == MM_FLY, u->tilepos.x,
                                                  u->tilepos.y))
            Units_SOrderRearmSelf(u, b);
    });
}

void Teleport(const ORDERREC* n)
{
    BUILDING* b = OwnBuilding(n, 0);
    if (b == nullptr) return;
    if (!Build_Teleport(b, U16(n, 4), U16(n, 6))) Refuse(n, "no teleport from building", b->id);
}

void Pack(const ORDERREC* n)
{
    if (BUILDING* b = OwnBuilding(n, 0)) Build_StartPack(b);
}

} // namespace

void Orders_SetupBuildingUnitHandlers(ORDERHANDLER* h)
{
    h[QSPY] = {Spy, 12};
    h[QUNPACKBUILDING] = {Unpack, 8};
    h[QDISEMBARK] = {Disembark, 8};
    h[QDISEMBARKBLD] = {DisembarkBld, 8};
    h[QSETUPTRANSPORT] = {SetupTransport, 8};
    h[QGRABUNIT] = {GrabUnit, 4};
    h[QBOARDBUILDING] = {BoardBuilding, 4};
    h[QGOTOREPAIR] = {GotoRepair, 4};
    h[QGOTOREARM] = {GotoRearm, 4};
    h[QREPAIRSELF] = {RepairSelf, 0};
    h[QREARMSELF] = {RearmSelf, 0};
    h[QTELEPORT] = {Teleport, 8};
    h[QPACKBUILDING] = {Pack, 4};
}
