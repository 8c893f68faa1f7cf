// Eight computer bases played as a whole game (the fixture scenario
// AIBASES): each buys by its plan from its factory, upgrades it and is paid
// by its state machine, and the books hold at every update.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aiteam.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"

namespace {

enum { BASES = 8, BOUND = 1500 };

struct BaseWatch {
    int income = 0;           // credits gained while the accounts were in use
    int upgraded_at = -1;     // the update the factory became the big one
    bool books = true;        // both invariants at every update
    bool counts = true;       // purchases unfinished exactly while the factory works
};

class AiGame : public testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        g_LocalTeam = 8;
        Input_Init();
        Video_Init();
        Event_Init();
        Game_ClearResult();
    }
    void TearDown() override
    {
        Plat_ClearQuit();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
    }
    static int Unfinished(int team)
    {
        int n = 0;
        for (int id = 0; id < AIBuild_UnderConstructionLength(team); id++)
            n += AIBuild_UnderConstruction(team, id);
        return n;
    }
    // One base after an update: its books, its counts, what it gained.
    static void Watch(int team, BaseWatch* w, int* last)
    {
        const AI_Team* t = AI_GetTeam(team);
        if (!t) return;
        w->books = w->books && AIBuild_BooksBalance(t);
        const BUILDING* f = teamdata[team].firstbuilding;
        const int working = f && (f->state == BS_PRODUCING || f->state == BS_UPGRADING);
        w->counts = w->counts && Unfinished(team) == working;
        if (f && w->upgraded_at < 0 && f->buildingtype->upgradefrom) w->upgraded_at = (int)g_UpdateCount;
        const int money = teamdata[team].credits;
        if (money > *last && t->aibuild.accounts_enabled) w->income += money - *last;
        *last = money;
    }
    // Plays the fixture for BOUND updates through the game's update,
    // watching every base; the digest of every update.
    static void Play(std::vector<uint64_t>* digests, BaseWatch* watch, int* made)
    {
        Game_SetScenarioName("AIBASES");
        Game_ClearResult();
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        int last[BASES];
        for (int t = 0; t < BASES; t++) last[t] = teamdata[t].credits;
        while (g_GameState == GS_INGAME && (int)g_UpdateCount < BOUND) {
            Game_Update();
            Orders_AfterUpdate();
            for (int t = 0; t < BASES; t++) Watch(t, &watch[t], &last[t]);
            digests->push_back(QvDigest_State());
        }
        // Every unit of a base is one its plan bought: none stand there at the start.
        for (int t = 0; t < BASES; t++) {
            made[t] = teamdata[t].stats.made_units;
            EXPECT_EQ(made[t], PREREQ_HowMany(PREREQ_WhatIs("DemoTank"), t) +
                                   PREREQ_HowMany(PREREQ_WhatIs("DemoFlamer"), t));
        }
        CloseGameSpecifics();
        CloseCommonGameSystems();
    }
};

TEST_F(AiGame, EightBasesBuyTheirPlansUpgradeAndKeepTheirBooksTheSameTwice)
{
    std::vector<uint64_t> first, second;
    BaseWatch watch[BASES], again[BASES];
    int made[BASES], made2[BASES];
    Play(&first, watch, made);
    ASSERT_EQ(first.size(), (size_t)BOUND) << "the game ended early";
    for (int t = 0; t < BASES; t++) {
        SCOPED_TRACE(t);
        EXPECT_GE(made[t], 4);
        EXPECT_GE(watch[t].upgraded_at, 0);
        EXPECT_GT(watch[t].income, 0);   // the bonus went into the accounts
        EXPECT_TRUE(watch[t].books);
        EXPECT_TRUE(watch[t].counts);
    }
    Game_ResetState();
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    g_LocalTeam = 8;
    Play(&second, again, made2);
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); i++) ASSERT_EQ(first[i], second[i]) << "update " << i;
    for (int t = 0; t < BASES; t++) EXPECT_EQ(made[t], made2[t]);
}

}   // namespace
