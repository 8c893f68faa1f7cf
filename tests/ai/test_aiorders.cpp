// Player orders that reach the units and buildings of teams the computer
// runs: a team handed over from the menu panel (the interface goes on
// sending its player's orders), a team that debug mode's team switch makes
// the local one, or any base's units named in an order. Whatever they are
// told, the computer player's books hold at every update.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "aigamefixture.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class AiPlayerOrders : public AiGameFixture {
protected:
    void TearDown() override
    {
        Error_SetFatalHook(nullptr);
        AiGameFixture::TearDown();
    }
    static void Start(int local)
    {
        g_LocalTeam = local;
        Game_SetScenarioName("AIBASES");
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        // An assertion ends the test with its text instead of the process.
        Error_SetFatalHook(QvTest_ThrowHook);
    }
    static void Stop()
    {
        Error_SetFatalHook(nullptr);
        CloseGameSpecifics();
        CloseCommonGameSystems();
    }
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

// Crew 1101 of a base handed to the computer built the plan's depot (a
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
    Stop();
}

}   // namespace
