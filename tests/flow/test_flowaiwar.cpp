// Eight computer players at speed: the generated 256 x 256 battle of eight
// computer teams of 250 tanks, each with its factory, crews, well and plan,
// played headless through the program's own frame loop from the new game to
// the winner's picture, twice from the same files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "support/bigwar.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/team.h"

namespace {

// Well past the winner's update (about 2500): a game still going there has
// lost its way.
enum { BOUND = 5000 };

struct Battle {
    int winner = -1;
    int kills = 0;
    int made[BIGWAR_TEAMS] = {};     // units each team's factory made
    int at_start = 0;                // the teams' units after the first update
    int squads_attacked = 0;         // teams whose squads held an enemy base's or troops' cell
    int losses[BIGWAR_TEAMS] = {};   // units each team lost
    std::vector<uint64_t> digests;
};

Battle* s_battle;
uint32_t s_pumped;

class FlowAiWar : public testing::Test {
protected:
    QvLogCapture log;
    QvTempDir dir;
    void SetUp() override
    {
        ASSERT_EQ(BigWar_WriteScenario(dir.file("scenario/FIXED/BIGWAR"),
                                       std::string(QV_TEST_RUNDIR) + "/data/deftxt", BigWar_ComputerBattle()),
                  "");
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", dir.file("save").c_str(), dir.file("scenario").c_str());
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        InitBaseSystem();
        // The game's end leads to the front end, which ends the run here.
        Game_SetFrontEndHook(+[] { g_GameState = GS_QUIT; });
        // A pump that sees no update since the last one is the winner's
        // picture: a key answers it. Otherwise the clock moves 50 ms, one
        // update a frame.
        s_pumped = UINT32_MAX;
        PlatHeadless_SetPumpHook(+[] {
            if (g_UpdateCount > 10 && g_UpdateCount == s_pumped) Input_RawKey(0x1C, 1, '\r');
            s_pumped = g_UpdateCount;
            PlatHeadless_Advance(50);
            if (g_UpdateCount >= BOUND) Plat_PostQuit();
        });
        Game_SetUpdateHook(+[] {
            if (s_battle->digests.empty())
                for (int t = 0; t < BIGWAR_TEAMS; t++) s_battle->at_start += teamdata[t].unitcount;
            for (int t = 0; t < BIGWAR_TEAMS; t++) {
                const AI_Team* a = AI_GetTeam(t);
                if (!a || (s_battle->squads_attacked >> t & 1)) continue;
                for (const GLL_NODE* n = a->squads->first; n; n = n->next) {
                    const squad* q = static_cast<const squad*>(n->element);
                    if (q->cell && q->units->count && (q->cell->goal == SEIGE || q->cell->goal == ATTACK_TROOPS))
                        s_battle->squads_attacked |= 1 << t;
                }
            }
            s_battle->digests.push_back(QvDigest_State());
        });
    }
    void TearDown() override
    {
        Game_SetUpdateHook(nullptr);
        PlatHeadless_SetPumpHook(nullptr);
        Game_SetFrontEndHook(nullptr);
        CloseBaseSystem();
        Plat_ClearQuit();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
    }
    // One game from the new game to the front end, team 8 (the wells')
    // watching.
    static void Play(Battle* b)
    {
        Game_ResetState();
        Game_SetScenarioCategory(SC_FIXED);
        Game_SetScenarioName("BIGWAR");
        g_LocalTeam = 8;
        Game_ClearResult();
        s_battle = b;
        g_GameState = GS_NEWGAME;
        Game_Main();
        b->winner = Game_GetResult().winner;
        for (int t = 0; t < BIGWAR_TEAMS; t++) {
            b->kills += teamdata[t].stats.kills_units;
            b->made[t] = teamdata[t].stats.made_units;
            b->losses[t] = teamdata[t].stats.losses_units;
        }
    }
};

TEST_F(FlowAiWar, EightComputerPlayersFightToAWinnerTheSameTwice)
{
    Battle first, second;
    Play(&first);
    EXPECT_EQ(first.at_start, BIGWAR_TEAMS * (250 + 2)) << "the tanks and two crews of every team";
    EXPECT_LT(first.digests.size(), (size_t)BOUND) << "no winner";
    ASSERT_GE(first.winner, 0);
    EXPECT_LT(first.winner, BIGWAR_TEAMS);
    // The win is by the end tree (the enemies down by a fifth: some 600
    // tanks destroyed), not by the others' being wiped out: everyone
    // fought, the factories made tanks, and every computer player sent its
    // squads.
    EXPECT_GE(first.kills, 400);
    EXPECT_EQ(first.squads_attacked, (1 << BIGWAR_TEAMS) - 1);
    for (int t = 0; t < BIGWAR_TEAMS; t++) {
        EXPECT_GT(first.made[t], 0) << "team " << t;
        EXPECT_GT(first.losses[t], 0) << "team " << t;
    }
    EXPECT_NE(log.text().find("Team " + std::to_string(first.winner) + " won (ie. You lost)"), std::string::npos);
    Play(&second);
    EXPECT_EQ(second.winner, first.winner);
    ASSERT_EQ(second.digests.size(), first.digests.size());
    for (size_t i = 0; i < first.digests.size(); i++) ASSERT_EQ(first.digests[i], second.digests[i]) << "update " << i;
}

}   // namespace
