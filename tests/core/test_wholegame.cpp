// Whole games on the headless backend, from their scenarios to the winner's
// picture: the fixture scenarios won each way a game can be won, and the
// demo scenario that `make run` plays.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"
#include "support/golden.h"
#include "support/world.h"
#include "core/utils.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/unitlist.h"

namespace {

class WholeGame : public testing::Test {
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
        g_LocalTeam = 0;
        Input_Init();
        Video_Init();
        Event_Init();
        Game_ClearResult();
        // The updates run without pumping: only the winner's picture pumps,
        // and its first pump brings the answer, a key.
        PlatHeadless_SetPumpHook(+[] { Input_RawKey(0x1C, 1, '\r'); });
    }
    void TearDown() override
    {
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
    }
    // Orders the recording run gives through the builders: the local
    // team's units roam from update 100, the first three stop at 400.
    static void GiveOrders(void)
    {
        if (g_UpdateCount != 100 && g_UpdateCount != 400) return;
        UNITLIST sel;
        Units_ListInit(&sel);
        ITERATOR it;
        Iterate_UnitInit(&it, 0, 0, MM_ALL);
        int n = 0;
        while (UNIT* u = Iterate_UnitNext(&it))
            if (g_UpdateCount == 100 || n++ < 3) Units_ListAppend(&sel, nullptr, u->id);
        if (g_UpdateCount == 100) Orders_QAutoMoveOn(0, &sel, TACTAI_HIGH);
        else Orders_QStop(0, &sel);
        Units_ListClose(&sel);
    }
    // Plays the scenario update by update until the game ends or bound
    // updates have passed, each update followed by its orders as the frame
    // loop runs them; digests of every update when asked.
    static uint32_t Play(const char* scenario, int bound, std::vector<uint64_t>* digests = nullptr,
                         void (*orders)(void) = nullptr)
    {
        Game_SetScenarioName(scenario);
        Game_ClearResult();
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        while (g_GameState == GS_INGAME && (int)g_UpdateCount < bound) {
            if (orders) orders();
            Game_Update();
            Orders_AfterUpdate();
            if (digests) digests->push_back(QvDigest_State());
        }
        const uint32_t updates = g_UpdateCount;
        CloseGameSpecifics();
        CloseCommonGameSystems();
        return updates;
    }
};

TEST_F(WholeGame, FixtureScenariosEndEachWayAGameIsWon)
{
    const struct {
        const char* scenario;
        int winner;
        const char* line;
    } rows[] = {
        {"TREEWIN", 0, "Team 0 won (That's you)"},     // an end-condition tree
        {"FSMWIN", 1, "Team 1 won (ie. You lost)"},    // a state machine
        {"LASTTEAM", 0, "Team 0 won (That's you)"},    // the last team standing
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.scenario);
        log.clear();
        const uint32_t updates = Play(r.scenario, 3000);
        EXPECT_LT(updates, 3000u);
        EXPECT_EQ(Game_GetResult().winner, r.winner);
        EXPECT_EQ(Game_GetResult().won, r.winner == 0);
        EXPECT_NE(log.text().find(r.line), std::string::npos) << log.text();
    }
}

// The demo scenario reaches its winner within 3000 updates, and a second run
// of the same process plays the same game (it once lost the scenario's
// alliances to the first game's switch-off).
TEST_F(WholeGame, RegressionASecondGameOfTheProcessPlaysTheSameGame)
{
    std::vector<uint64_t> first, second;
    const uint32_t updates = Play("DEMO", 3000, &first);
    const GAME_RESULT result = Game_GetResult();
    // The east base holds out until the game clock runs out.
    EXPECT_EQ(updates, 2704u);
    EXPECT_EQ(result.winner, 1);
    EXPECT_NE(log.text().find(" won ("), std::string::npos) << log.text();
    // The last frame shown is the lose picture the key answered.
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
    EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x6CABB3F8u, "wholegame_lose.pcx"));
    Game_ResetState();
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    g_LocalTeam = 0;
    EXPECT_EQ(Play("DEMO", 3000, &second), updates);
    EXPECT_EQ(Game_GetResult().winner, result.winner);
    size_t i = 0;
    while (i < first.size() && i < second.size() && first[i] == second[i]) i++;
    EXPECT_EQ(i, first.size()) << "first differing update " << i;
}

// Orders given through the builders while recording, then played back in a
// fresh game from the recording: the same state at every update and the
// same winner.
TEST_F(WholeGame, ARecordedGameReplaysExactly)
{
    // Beside the shared run directory, which other tests copy meanwhile.
    QvTempDir dir;
    const std::string rec = dir.file("replay.rec");
    std::vector<uint64_t> plain, recorded, replayed;
    Play("DEMO", 3000, &plain);
    Game_ResetState();
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    g_LocalTeam = 0;
    Str_CopySafe(g_Config.orderrecord, rec.c_str(), CFG_PATH);
    const uint32_t updates = Play("DEMO", 3000, &recorded, GiveOrders);
    const GAME_RESULT result = Game_GetResult();
    Cfg_SetDefaults(&g_Config);
    Game_ResetState();
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    g_LocalTeam = 0;
    Str_CopySafe(g_Config.orderplayback, rec.c_str(), CFG_PATH);
    EXPECT_EQ(Play("DEMO", 3000, &replayed), updates);
    Cfg_SetDefaults(&g_Config);
    EXPECT_EQ(Game_GetResult().winner, result.winner);
    EXPECT_NE(recorded, plain) << "the orders changed the game";
    size_t i = 0;
    while (i < recorded.size() && i < replayed.size() && recorded[i] == replayed[i]) i++;
    EXPECT_EQ(i, recorded.size()) << "first differing update " << i;
}

} // namespace
