#include "orderbuilder.h"

#include <algorithm>

#include "ai/ai.h"
#include "ai/aiteam.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

std::vector<UNIT*> TeamUnits(int team)
{
    std::vector<UNIT*> out;
    for (int list = 0; list < TEAM_MOVELISTS; list++)
        for (UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) out.push_back(u);
    return out;
}

std::vector<UNIT*> TeamCrews(int team)
{
    std::vector<UNIT*> out;
    for (UNIT* u : TeamUnits(team))
        if (u->type->abilities.canbuild) out.push_back(u);
    return out;
}

int OrderBuilder::Owner(int team) { return Pick(4) ? team : Pick(TEAM_MAXTEAMS); }

int OrderBuilder::UnitId(int team)
{
    const std::vector<UNIT*> u = TeamUnits(Owner(team));
    return u.empty() ? 1 : u[Pick((int)u.size())]->id;
}

BUILDING* OrderBuilder::Building(int team)
{
    std::vector<BUILDING*> b;
    for (BUILDING* o = teamdata[Owner(team)].firstbuilding; o; o = o->teamnext) b.push_back(o);
    return b.empty() ? nullptr : b[Pick((int)b.size())];
}

int OrderBuilder::BuildingId(int team)
{
    const BUILDING* b = Building(team);
    return b ? b->id : 1;
}

// Near the sender's base.
void OrderBuilder::Tile(int team, int* x, int* y)
{
    const AI_Team* t = AI_GetTeam(team);
    const int bx = t ? t->aibuild.base_x : mapsizex / 2, by = t ? t->aibuild.base_y : mapsizey / 2;
    *x = std::clamp(bx + Pick(21) - 10, 0, mapsizex - 1);
    *y = std::clamp(by + Pick(21) - 10, 0, mapsizey - 1);
}

void OrderBuilder::Select(int team, UNITLIST* sel)
{
    std::vector<UNIT*> u = TeamUnits(team);
    Units_ListInit(sel);
    for (int n = 1 + Pick(4); n > 0 && !u.empty(); n--) {
        UNIT* v = u[Pick((int)u.size())];
        if (!Units_ListFind(sel, v->id)) Units_ListAppend(sel, v, v->id, team);
    }
}

void OrderBuilder::Raw(int code, int team)
{
    Orders_QueueAppend(&g_OrdersPending, Orders_NewNode(code, 0, team));
}

void OrderBuilder::Send(int code, int team)
{
    UNITLIST sel;
    Select(team, &sel);
    int x, y;
    Tile(team, &x, &y);
    const int b = BuildingId(team), u = UnitId(team), other = Pick(TEAM_MAXTEAMS);
    switch (code) {
    case QCLEARSELECTED: Raw(code, team); break;
    case QADDSELECTED:   // with each selection that differs from the last sent
    case QSTOP: Orders_QStop(team, &sel); break;
    case QMOVE: Orders_QMove(team, &sel, x, y, Pick(2)); break;
    case QROTATE: Orders_QRotate(team, &sel, x, y, Pick(2)); break;
    case QFIREATGROUND: Orders_QFireAtGround(team, &sel, x, y, Pick(UAM_DEFAULT + 1)); break;
    case QFIREATUNIT: Orders_QFireAtUnit(team, &sel, UnitId(Pick(8)), Pick(UAM_DEFAULT + 1)); break;
    case QFIREATBUILDING: Orders_QFireAtBuilding(team, &sel, BuildingId(Pick(8)), Pick(UAM_DEFAULT + 1)); break;
    case QLOCALCLEAR:
    case QLOCALADDWAYPOINT: {
        TRAIL* trail = Trail_New();
        for (int w = Pick(4); w > 0; w--) {
            Tile(team, &x, &y);
            Trail_AddWaypoint(trail, Pick(2), x, y, Pick(5));
        }
        Orders_QLocalTrail(team, &sel, trail);
        Trail_Free(&trail);
        break;
    }
    case QLOCALEXECUTE: Orders_QLocalExecute(team, &sel, Pick(TRAIL_STOP + 1)); break;
    case QGLOBALCLEAR:
    case QGLOBALADDWAYPOINT: {
        TRAIL* trail = Trail_New();
        for (int w = 1 + Pick(3); w > 0; w--) {
            Tile(team, &x, &y);
            Trail_AddWaypoint(trail, Pick(2), x, y, Pick(5));
        }
        Orders_QGlobalTrailList(team, Pick(3), trail);
        Trail_Free(&trail);
        break;
    }
    case QGLOBALEXECUTE: Orders_QGlobalExecute(team, &sel, Pick(3), Pick(TRAIL_STOP + 1)); break;
    case QCONSTRUCTBUILDING: {
        // A crew of the team mostly, at a place near its base.
        int id = u;
        for (UNIT* c : TeamCrews(team))
            if (Pick(4)) id = c->id;
        Orders_QConstructBuilding(team, id, Pick(g_NrBuildingTypes), x, y);
        break;
    }
    case QCONSTRUCTUNIT: Orders_QConstructUnit(team, Pick(Units_UnitTypeCount()), b); break;
    case QDISEMBARK: Orders_QDisembark(team, u, Pick(2)); break;
    case QDISEMBARKBLD: Orders_QDisembarkBld(team, b, Pick(2)); break;
    case QSELLBUILDING: Orders_QSellBuilding(team, b); break;
    case QCANCELBUILDING: Orders_QCancelBuilding(team, b); break;
    case QTELEPORT: Orders_QTeleport(team, b, x, y); break;
    case QGIVEUNITS: Orders_QGiveUnits(team, &sel, other); break;
    case QGIVECREDITS: Orders_QGiveCredits(team, other, Pick(2000)); break;
    case QCHECKSYNC: Orders_QCheckSync(Pick(3), rng_()); break;
    case QCHANGEALLY: Orders_QChangeAlly(team, other, Pick(3)); break;
    case QUPGRADEBUILDING: Orders_QUpgradeBuilding(team, b); break;
    case QSETTENACITY: Orders_QSetTenacity(team, &sel, Pick(TACTAI_MAX + 1)); break;
    case QSETSELFPRESERVATION: Orders_QSetSelfPreservation(team, &sel, Pick(TACTAI_MAX + 1)); break;
    case QSETAUTONOMY: Orders_QSetAutonomy(team, &sel, Pick(TACTAI_MAX + 1)); break;
    case QMORPHINTOUNIT: Orders_QMorphIntoUnit(team, &sel, Pick(Units_UnitTypeCount() + 1), other); break;
    case QMORPHINTOOVL: Orders_QMorphIntoOvl(team, &sel, Pick(8)); break;
    case QBOARDUNIT: Orders_QBoardUnit(team, &sel, u); break;
    case QBOARDBUILDING: Orders_QBoardBuilding(team, &sel, b); break;
    case QREARMSELF: Orders_QRearmSelf(team, &sel); break;
    case QREPAIRBUILDING: Orders_QRepairBuilding(team, b); break;
    case QPAUSECONSTRUCT: Orders_QPauseConstruct(team, b); break;
    case QUNPAUSECONSTRUCT: Orders_QUnpauseConstruct(team, b); break;
    case QCANCELCONSTRUCT: Orders_QCancelConstruct(team, b); break;
    case QPACKBUILDING: Orders_QPackBuilding(team, b); break;
    case QUNPACKBUILDING: Orders_QUnpackBuilding(team, u, x, y); break;
    case QSETBLDDEST: Orders_QSetBldDest(team, b, x, y); break;
    case QSETCLUSTDEST: Orders_QSetClustDest(team, b, x, y); break;
    case QREPAIRSELF: Orders_QRepairSelf(team, &sel); break;
    case QPOWERTOGGLE: Orders_QPowerToggle(team, b); break;
    case QSCATTER: Orders_QScatter(team, &sel); break;
    case QDUMPLISTS: Orders_QDumpLists(); break;
    case QSELFDESTRUCT: Orders_QSelfDestruct(team, &sel); break;
    case QSELLRESOURCE: Orders_QSellResource(team, b); break;
    case QPHASE: Orders_QPhase(team, &sel); break;
    case QUNPHASE: Orders_QUnphase(team, &sel); break;
    case QGRABUNIT: Orders_QGrabUnit(team, &sel, u); break;
    case QSPY: Orders_QSpy(team, u, b, Pick(SPY_EJECTALL + 2), Pick(30)); break;
    case QSABOTAGEBUILDING: Orders_QSabotageBuilding(team, &sel, b); break;
    case QUNMORPH: Orders_QUnmorph(team, &sel); break;
    case QTOGGLESHOWSYNC: Orders_ToggleShowSync(); break;
    case QGOTOREPAIR: Orders_QGotoRepair(team, &sel, b); break;
    case QGOTOREARM: Orders_QGotoRearm(team, &sel, b); break;
    case QSETUPTRANSPORT: {
        const BUILDING* d = Building(team);
        if (d && d->buildingtype->bayx >= 0)
            Orders_QSetupTransport(team, &sel, d->buildingtype->index, d->tilex + d->buildingtype->bayx,
                                   d->tiley + d->buildingtype->bayy);
        else
            Orders_QSetupTransport(team, &sel, Pick(g_NrBuildingTypes), x, y);
        break;
    }
    case QSURRENDER:   // half way, a whole base leaves play
        if (g_UpdateCount >= 3000) Orders_QSurrender(7);
        else Orders_QStop(team, &sel);
        break;
    case QAITAKEOVER: Orders_QAITakeover(team); break;
    case QGAMESPEED: Orders_QGameSpeed(10 + Pick(30)); break;
    case QAUTOMOVEON: Orders_QAutoMoveOn(team, &sel, Pick(TACTAI_MAX + 1)); break;
    case QAUTOMOVEOFF: Orders_QAutoMoveOff(team, &sel); break;
    case QUNITSPECFUNC: Orders_QUnitSpecFunc(team, &sel); break;
    case QTACTICALAI: Orders_QTacticalAI(team, Pick(4), Pick(4), Pick(4)); break;
    case QSAVEGAME: Orders_QSaveGame(); break;
    default: Raw(code, team); break;   // QPLAYERLEFT and the unused code
    }
    Units_ListClose(&sel);
}
