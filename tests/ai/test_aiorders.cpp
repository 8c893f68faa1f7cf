// Player orders that reach the units and buildings of teams the computer
// runs: a team handed over from the menu panel (the interface goes on
// sending its player's orders), a team that debug mode's team switch makes
// the local one, or any base's units named in an order. Whatever they are
// told, the computer player's books hold at every update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
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
#include "orderbuilder.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/ordersint.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

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
            for (UNIT* c : TeamCrews(0)) {
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
        for (UNIT* c : TeamCrews(0)) {
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
    OrderBuilder orders_{89};
    int Pick(int n) { return orders_.Pick(n); }
    void Send(int code, int team) { orders_.Send(code, team); }
};

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
        char why[128] = "";
        for (int t = 0; t < 8; t++)
            if (const AI_Team* a = AI_GetTeam(t))
                if (!AIBuild_BooksBalance(a) || !AI_CheckLists(t, why, sizeof why)) {
                    ADD_FAILURE() << "team " << t << "'s books or lists at update " << g_UpdateCount << ": " << why;
                    books = false;
                }
        if (!books) break;
    }
    EXPECT_EQ(fatal, "");
    EXPECT_GE(g_UpdateCount, 6000u);
    for (int c = 0; c <= QMAXCODE; c++) EXPECT_GT(s_executed[c], 0) << Orders_CodeName(c);
}

}   // namespace
