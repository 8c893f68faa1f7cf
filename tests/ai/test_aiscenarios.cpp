// Every scenario that ships with the demo world, started as the
// configuration's SetEntryPoint GAME starts one, with computer players on
// every team: each plays its first updates without a fatal error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"
#include "units/orders.h"
#include "units/team.h"

namespace fs = std::filesystem;

namespace {

enum { UPDATES = 200 };

const char* const kCategories[] = {"FIXED", "SINGLE", "MULTI", "CAMPAIGN"};   // by SCENARIO_CATEGORY

// The shipped scenarios as they are in the source tree, each with the map
// and summary that mkdata made for it in the tests' run directory (whose
// scenario folders the tests' own files also fill and override), and the
// interface tests' IGI, which also ended the program. IGI is played with the
// end conditions off, as its configuration plays it: its tree is won at the
// first look.
class ShippedWorld {
public:
    ShippedWorld()
    {
        fs::create_directory_symlink(fs::path(QV_TEST_RUNDIR) / "data", home_.file("data"));
        const fs::path shipped = fs::path(QV_SOURCE_DIR) / "data/demo/scenario";
        for (int c = 0; c < (int)std::size(kCategories); c++) {
            if (!fs::is_directory(shipped / kCategories[c])) continue;
            for (const fs::directory_entry& folder : fs::directory_iterator(shipped / kCategories[c])) {
                const fs::path to = fs::path(home_.file("scenario")) / kCategories[c] / folder.path().filename();
                fs::create_directories(to);
                fs::copy(folder.path(), to);
                const fs::path made = fs::path(QV_TEST_RUNDIR) / "scenario" / kCategories[c] / folder.path().filename();
                for (const char* generated : {"QUORVEX.map", "QUORVEX.mm"})
                    if (fs::exists(made / generated)) fs::copy_file(made / generated, to / generated);
                scenarios_.emplace_back(c, folder.path().filename().string());
            }
        }
        fs::copy(fs::path(QV_TEST_RUNDIR) / "scenario/SINGLE/IGI", home_.file("scenario/SINGLE/IGI"));
        scenarios_.emplace_back(SC_SINGLE, "IGI");
    }
    const std::string& home() const { return home_.path(); }
    const std::vector<std::pair<int, std::string>>& scenarios() const { return scenarios_; }
    static bool Endless(const std::string& name) { return name == "IGI"; }

private:
    QvTempDir home_;
    std::vector<std::pair<int, std::string>> scenarios_;
};

// Runs in a child of the test (a fatal error ends only it): the game with
// the neutral team the local one (it only watches; the computer can't take
// it over) and the computer on every other team, UPDATES updates; leaves
// with 0 when they were all played, 2 when the game ended before.
[[noreturn]] void PlayAndLeave(const std::string& home, int category, const std::string& name, bool endless)
{
    Game_ResetState();
    Cfg_SetDefaults(&g_Config);
    g_Config.disableendconditions = endless;
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Game_SetDirectories(home.c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(category);
    Game_SetScenarioName(name.c_str());
    g_LocalTeam = TEAM_NEUTRAL;
    Input_Init();
    Video_Init();
    Event_Init();
    Game_ClearResult();
    InitCommonGameSystems();
    InitGameSpecifics();
    g_GameState = GS_INGAME;
    // The winner's picture waits for an answer: a key gives it.
    PlatHeadless_SetPumpHook(+[] { Input_RawKey(0x1C, 1, '\r'); });
    for (int t = 0; t < TEAM_NEUTRAL; t++)
        if (teamdata[t].type != TT_COMPUTER) {
            fprintf(stderr, "team %d is not the computer's\n", t);
            _exit(3);
        }
    while (g_GameState == GS_INGAME && g_UpdateCount < UPDATES) {
        Game_Update();
        Orders_AfterUpdate();
    }
    const int played = g_UpdateCount >= UPDATES;
    if (!played) fprintf(stderr, "the game ended at update %u, team %d won\n", g_UpdateCount, Game_GetResult().winner);
    CloseGameSpecifics();
    CloseCommonGameSystems();
    // Straight out: the rest of the test binary's state is the parent's.
    _exit(played ? 0 : 2);
}

// Regression: the second side's default state machine sent special force
// 61, which only the demo battle defines, so DUEL, QUAD, MELEE, OUTPOST and
// IGI ended the program at the start with "No special forces with ID 61 to
// trigger" when the computer played team 1.
TEST(FileTrustScenarios, EveryShippedScenarioPlaysWithTheComputerOnEveryTeam)
{
    ShippedWorld world;
    ASSERT_GE(world.scenarios().size(), 8u) << "seven shipped and IGI";
    for (const auto& [category, name] : world.scenarios()) {
        SCOPED_TRACE(std::string(kCategories[category]) + "/" + name);
        EXPECT_EXIT(PlayAndLeave(world.home(), category, name, world.Endless(name)), testing::ExitedWithCode(0), "");
    }
}

} // namespace
