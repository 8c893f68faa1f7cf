// Player orders that reach the units and buildings of teams the computer
// runs: a team handed over from the menu panel (the interface goes on
// sending its player's orders), a team that debug mode's team switch makes
// the local one, or any base's units named in an order. Whatever they are
// told, the computer player's books hold at every update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "aigamefixture.h"
#include "support/testsupport.h"
#include "map/map.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

namespace {

class AiPlayerOrders : public AiGameFixture {
protected:
    // The game is closed here, also after a failure.
    void TearDown() override
    {
        Error_SetFatalHook(nullptr);
        Orders_SetExecutedLog(nullptr);
        g_LocalTeam = 8;
        if (started_) {
            CloseGameSpecifics();
            CloseCommonGameSystems();
        }
        AiGameFixture::TearDown();
    }
    void Start(int local)
    {
        g_LocalTeam = local;
        Game_SetScenarioName("AIBASES");
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        started_ = true;
        // An assertion ends the test with its text instead of the process.
        Error_SetFatalHook(QvTest_ThrowHook);
    }
    bool started_ = false;
    // One update and its orders; the fatal error's text, if the game ended.
    static std::string Update()
    {
        try {
            Game_Update();
            Orders_AfterUpdate();
        } catch (const QvFatal& f) {
            return f.message;
        }
        return "";
    }
    static std::vector<UNIT*> Crews(int team)
    {
        std::vector<UNIT*> out;
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (UNIT* u = teamdata[team].unitlist[list]; u; u = u->next)
                if (u->type->abilities.canbuild) out.push_back(u);
        return out;
    }
};

// A crew of a base handed to the computer built the plan's depot (a
// building that keeps its builder), came back still holding the depot's
// 300 as if on its way, and its player's construct order stalled: the
// refund paid the 300 back a second time and ended the game. Here the
// team's crews are told to build, at a place they can't and at one they
// can, every 40 updates.
TEST_F(AiPlayerOrders, RegressionAHandedOverTeamsCrewsTakeConstructOrdersAndItsBooksHold)
{
    Start(0);
    Orders_QAITakeover(0);
    const BUILDINGTYPE* depot = PREREQ_BuildingTypePtr(PREREQ_WhatIs("DemoDepot"));
    std::map<int, bool> onmap;   // crew id: on the map's lists last update
    int back = 0, ordered = 0;
    std::string fatal;
    for (int i = 0; i < 3000 && fatal.empty(); i++) {
        if (i % 40 == 39 && PREREQ_HowMany(depot->prereq.id, 0) > 0)
            for (UNIT* c : Crews(0)) {
                if (c->sorder.code != SO_NONE) continue;
                int x = 3, y = 3;   // on the factory: stalls
                if ((i / 40 + c->id) % 2)
                    for (int r = 2; r < 12 && x == 3; r++)
                        for (int dx = -r; dx <= r && x == 3; dx++)
                            if (AIBuild_CanBuildHere(depot, c->tilepos.x + dx, c->tilepos.y + r)) {
                                x = c->tilepos.x + dx;
                                y = c->tilepos.y + r;
                            }
                Orders_QConstructBuilding(0, c->id, depot->index, x, y);
                ordered++;
            }
        fatal = Update();
        const AI_Team* t = AI_GetTeam(0);
        ASSERT_TRUE(t == nullptr || AIBuild_BooksBalance(t)) << "update " << g_UpdateCount;
        // Crews inside their sites are off the map's lists.
        std::map<int, bool> was = onmap;
        for (auto& [id, on] : onmap) on = false;
        for (UNIT* c : Crews(0)) {
            if (was.count(c->id) && !was[c->id]) {
                back++;
                EXPECT_EQ(c->ai.cc_construct_cost, 0) << "crew " << c->id << " at update " << g_UpdateCount;
            }
            onmap[c->id] = true;
        }
    }
    EXPECT_EQ(fatal, "");
    EXPECT_EQ(teamdata[0].type, TT_COMPUTER);
    EXPECT_GE(back, 2);
    EXPECT_GE(ordered, 8);
    EXPECT_GE(PREREQ_HowMany(depot->prereq.id, 0), 3);   // the plan's and its player's
}

// Every kind of order, each in turn and one more at random every update,
// from the computer's bases to their own units and buildings and now and
// then to others', with the local team switched to the sender as debug
// mode's F9/F10 would: the game runs on with every base's books whole (it
// ended at update 5912 on "prespent_credits >= credits": a crew back from
// its building passed its old purchase on to a site its player ordered).
// Team 7 surrenders half way; the selection orders go out with each order
// that takes one.
class AiOrderSweep : public AiPlayerOrders {
protected:
    std::mt19937 rng_{89};
    int Pick(int n) { return n > 0 ? (int)(rng_() % (unsigned)n) : 0; }
    std::vector<UNIT*> Units(int team)
    {
        std::vector<UNIT*> out;
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) out.push_back(u);
        return out;
    }
    // Mostly the team's own, one time in four any team's.
    int Owner(int team) { return Pick(4) ? team : Pick(TEAM_MAXTEAMS); }
    int UnitId(int team)
    {
        const std::vector<UNIT*> u = Units(Owner(team));
        return u.empty() ? 1 : u[Pick((int)u.size())]->id;
    }
    BUILDING* Building(int team)
    {
        std::vector<BUILDING*> b;
        for (BUILDING* o = teamdata[Owner(team)].firstbuilding; o; o = o->teamnext) b.push_back(o);
        return b.empty() ? nullptr : b[Pick((int)b.size())];
    }
    int BuildingId(int team)
    {
        const BUILDING* b = Building(team);
        return b ? b->id : 1;
    }
    // Near the sender's base.
    void Tile(int team, int* x, int* y)
    {
        const AI_Team* t = AI_GetTeam(team);
        const int bx = t ? t->aibuild.base_x : mapsizex / 2, by = t ? t->aibuild.base_y : mapsizey / 2;
        *x = std::clamp(bx + Pick(21) - 10, 0, mapsizex - 1);
        *y = std::clamp(by + Pick(21) - 10, 0, mapsizey - 1);
    }
    void Select(int team, UNITLIST* sel)
    {
        std::vector<UNIT*> u = Units(team);
        Units_ListInit(sel);
        for (int n = 1 + Pick(4); n > 0 && !u.empty(); n--) {
            UNIT* v = u[Pick((int)u.size())];
            if (!Units_ListFind(sel, v->id)) Units_ListAppend(sel, v, v->id, team);
        }
    }
    void Raw(int code, int team)
    {
        Orders_QueueAppend(&g_OrdersPending, Orders_NewNode(code, 0, team));
    }
    void Send(int code, int team);
};

void AiOrderSweep::Send(int code, int team)
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
        for (UNIT* c : Crews(team))
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
    case QCHECKSYNC: Orders_QCheckSync(Pick(3), (uint32_t)rng_()); break;
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

int s_executed[QMAXCODE + 1];

TEST_F(AiOrderSweep, RegressionEveryOrderKindToComputerRunUnitsKeepsTheGameAndTheBooks)
{
    QvTempDir saves;
    Start(8);
    Str_CopySafe(g_SaveDir, saves.path().c_str(), GAME_PATH);
    for (int& n : s_executed) n = 0;
    Orders_SetExecutedLog(+[](const char* line) {
        unsigned update;
        int code, team;
        if (sscanf(line, "%u %d %d", &update, &code, &team) == 3 && code >= 0 && code <= QMAXCODE) s_executed[code]++;
    });
    std::string fatal;
    bool books = true;
    for (int i = 0; i < 6000 && fatal.empty() && g_GameState == GS_INGAME; i++) {
        const int team = Pick(7);
        g_LocalTeam = team;   // debug mode's team switch
        Send(i % (QMAXCODE + 1), team);
        Send(Pick(QMAXCODE + 1), Pick(7));
        fatal = Update();
        for (int t = 0; t < 8; t++)
            if (const AI_Team* a = AI_GetTeam(t))
                if (!AIBuild_BooksBalance(a)) {
                    ADD_FAILURE() << "team " << t << "'s books at update " << g_UpdateCount;
                    books = false;
                }
        if (!books) break;
    }
    EXPECT_EQ(fatal, "");
    EXPECT_GE(g_UpdateCount, 6000u);
    for (int c = 0; c <= QMAXCODE; c++) EXPECT_GT(s_executed[c], 0) << Orders_CodeName(c);
}

}   // namespace
