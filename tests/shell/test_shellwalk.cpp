// The program's way through the front end into a game and back, headless:
// the state loop from the front end, in the test run directory (the demo's
// files, mkdata's library and the fixture scenarios), driven by mouse clicks
// one pass a flip.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/plat.h"
#include "shell/shell.h"
#include "support/golden.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "units/team.h"

namespace {

struct Look {
    uint32_t golden;
    std::string pcx;
};

// A walk's script with the frames to look at, each after the page has had
// time to fade in.
struct WalkScript {
    QvPassScript script{4000};
    int count = 0;
    std::map<int, Look> looks;

    void Add(const QvPass& p)
    {
        script.Add(p);
        count++;
    }
    void Wait(uint32_t ms, int n)
    {
        script.Wait(ms, n);
        count += n;
    }
    void Click(int x, int y)
    {
        Add(QvMove(x, y));
        Add(QvButton(1));
        Add(QvButton(0));
    }
    void LookAt(uint32_t golden, const std::string& pcx)
    {
        Wait(0, 12);
        looks[count] = Look{golden, pcx};
    }
};

class ShellWalk : public testing::Test {
protected:
    QvLogCapture log;
    QvLocalMessages messages;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        // As the program starts from the demo's configuration.
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        g_LocalTeam = 0;
        Game_ClearResult();
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        InitBaseSystem();
    }
    void TearDown() override
    {
        CloseBaseSystem();
        Plat_Close();
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
    }

    struct Walk {
        const char* folder;
        int gameFlips; // enough for the game to reach its winner
        int winner;
        uint32_t custom, endPicture, debrief;
    };

    // Main page, Single Player, Play Custom Mission, the folder's line, Load
    // Mission, the game to its end picture, a click, the custom debriefing,
    // Main Menu, Quit.
    void Run(const Walk& w)
    {
        const std::string f = w.folder;
        WalkScript s;
        s.LookAt(kMain, "walk_main.pcx");
        s.Click(320, 105); // SS_SINGLE_PLAYER
        s.LookAt(kSingle, "walk_single.pcx");
        s.Click(320, 253); // SS_PLAY_CUSTOM_MISSION
        s.Click(100, 108 + 12 * ListLine(w.folder));
        // The list shows every fixture folder of the run directory: a new one
        // changes this frame.
        s.LookAt(w.custom, "walk_custom_" + f + ".pcx");
        s.Click(320, 418); // SS_LOAD_MISSION
        s.Wait(50, w.gameFlips);
        // The end picture with the pointer where the game left it is the
        // game screen's business: put it at the centre.
        s.Add(QvMove(320, 240));
        s.Wait(0, 2);
        const int endPass = s.count;
        s.looks[endPass] = Look{w.endPicture, "walk_end_" + f + ".pcx"};
        s.Click(320, 240); // answers the end picture
        s.LookAt(w.debrief, "walk_cdebrief_" + f + ".pcx");
        s.Click(560, 427); // SS_MAIN_MENU
        s.Add(QvMove(320, 240)); // where the engine put the pointer the first time
        s.LookAt(kMain, "walk_main_again.pcx");
        s.Click(320, 418); // SS_QUIT

        const bool endShown = Play(s, endPass, GS_FRONTEND);

        EXPECT_FALSE(s.script.overran) << log.text();
        EXPECT_EQ(g_GameState, GS_QUIT);
        EXPECT_STREQ(g_ScenarioName, w.folder);
        EXPECT_EQ(Game_GetResult().winner, w.winner);
        const char* line = w.winner == 0 ? "Team 0 won (That's you)" : "Team 1 won (ie. You lost)";
        EXPECT_NE(log.text().find(line), std::string::npos) << log.text();
        EXPECT_EQ(g_ShellInfo.result, w.winner == 0 ? 1 : 0);
        EXPECT_EQ(g_ShellInfo.mode, SHELL_CUSTOM);
        EXPECT_TRUE(endShown) << "the game had its winner before the click on its end picture";
        // The debriefing's rows: team 0 the human, team 1 the computer.
        EXPECT_EQ(g_ShellInfo.debrief[0].type, TT_HUMAN);
        EXPECT_EQ(g_ShellInfo.debrief[1].type, TT_COMPUTER);
    }

    // The folder's line in the custom-mission list: the category's folders
    // in name order (other tests add theirs to the run directory).
    static int ListLine(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(QV_TEST_RUNDIR "/scenario/SINGLE"))
            if (e.is_directory()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return (int)(std::find(names.begin(), names.end(), folder) - names.begin());
    }

    // Runs the state loop from state on the script, checking its frames;
    // whether the game had its winner when pass endPass began.
    bool Play(WalkScript& s, int endPass, int state)
    {
        bool endShown = false;
        s.script.onPass = [&](int pass) {
            if (pass == endPass) endShown = log.text().find(" won (") != std::string::npos;
            auto it = s.looks.find(pass);
            if (it == s.looks.end()) return;
            const uint8_t* pixels = nullptr;
            const PAL_RGB* palette = nullptr;
            ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette) && pixels);
            EXPECT_TRUE(DemoFixture_Matches(pixels, palette, it->second.golden, it->second.pcx.c_str()))
                << "pass " << pass;
        };
        g_GameState = state;
        Game_Main();
        return endShown;
    }

    static constexpr uint32_t kMain = 0x4D6343CEu, kSingle = 0x8E193C78u;
};

TEST_F(ShellWalk, FromTheMainPageThroughACustomMissionAndItsDebriefingToQuit)
{
    Run(Walk{"WALK", 80, 0, 0x8EE4D015u, 0x215DA4CCu, 0x2AC5F7FDu});
}

// The demo scenario as a player reaches it: a little over two minutes of
// game, lost to the east base.
TEST_F(ShellWalk, DemoScenarioThroughTheFrontEnd)
{
    Run(Walk{"DEMO", 2800, 1, 0x3664AE9Cu, 0xD8E2F012u, 0x4B979D45u});
}

} // namespace

namespace {

// SetEntryPoint GAME: the game at once, then the main page. The press that
// answers the end picture, held a moment, once clicked Construction Kit,
// which lies where the engine centres the pointer for the front end.
TEST_F(ShellWalk, AGameFromTheConfigurationEndsOnTheMainPageAndItsLastPressStartsNothing)
{
    Game_SetScenarioName("WALK");
    WalkScript s;
    s.Wait(50, 80);
    const int endPass = s.count;
    s.Add(QvMove(320, 240));
    s.Add(QvButton(1));
    s.Wait(0, 5);
    s.Add(QvButton(0));
    s.LookAt(kMain, "walk_main_after_game.pcx");
    s.Click(320, 418); // SS_QUIT
    EXPECT_TRUE(Play(s, endPass, GS_NEWGAME));
    EXPECT_FALSE(s.script.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_NE(log.text().find("Team 0 won (That's you)"), std::string::npos) << log.text();
    EXPECT_EQ(g_ShellInfo.result, 1);
    EXPECT_EQ(g_ShellInfo.mode, SHELL_FRONTEND);
    EXPECT_EQ(log.text().find("Shell state 4"), std::string::npos) << log.text();
}

} // namespace

namespace {

// The campaign road: a new campaign, the first side's logo, Launch, the game
// ("m01a" of the run directory is won in 20 updates), its end picture, the
// debriefing, up to the map, left to the options, Quit to Main Menu, Quit.
// Every click waits for the page's transitions and videos to pass.
TEST_F(ShellWalk, CampaignFromANewGameThroughItsDebriefingAndBackToQuit)
{
    QvLogCapture videos(TLOG_DIAG);
    WalkScript s;
    auto click = [&](int x, int y) {
        s.Click(x, y);
        s.Wait(0, 40);
    };
    s.Wait(0, 12);
    click(320, 105); // SS_SINGLE_PLAYER
    click(320, 150); // SS_START_NEW_GAME: the bridge page, then the map
    click(257, 125); // the first side's logo: its video and launch page
    s.Click(330, 435); // SS_LAUNCH
    s.Wait(50, 80);
    s.Add(QvMove(320, 240));
    s.Wait(0, 2);
    click(320, 240); // answers the end picture: the return page, the debriefing
    const int debriefPass = s.count;
    click(320, 25);  // up: the map
    const int mapPass = s.count;
    click(40, 240);  // left: the options
    click(179, 415); // SS_QUIT_TO_MAIN_MENU
    click(320, 418); // SS_QUIT
    SHELLINFO atDebrief = {}, atMap = {};
    s.script.onPass = [&](int pass) {
        if (pass == debriefPass) atDebrief = g_ShellInfo;
        if (pass == mapPass) atMap = g_ShellInfo;
    };
    g_GameState = GS_FRONTEND;
    Game_Main();

    EXPECT_FALSE(s.script.overran);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_NE(videos.text().find("Team 0 won (That's you)"), std::string::npos) << videos.text();
    EXPECT_EQ(atDebrief.current, SS_DEBRIEF);
    EXPECT_EQ(atDebrief.result, 1);
    EXPECT_EQ(atDebrief.lastMission, 204);
    EXPECT_EQ(atDebrief.debrief[0].type, TT_HUMAN);
    EXPECT_EQ(atDebrief.debrief[1].type, TT_COMPUTER);
    EXPECT_EQ(atMap.current, 16);
    EXPECT_EQ(atMap.wonFirst, 1) << "mission 1 marked won";
    EXPECT_EQ(atMap.selectedMission, 215);
    std::vector<std::string> played;
    std::string text = videos.text();
    for (size_t at = text.find("Shell video ["); at != std::string::npos; at = text.find("Shell video [", at + 1))
        played.push_back(text.substr(at + 13, text.find(']', at) - at - 13));
    EXPECT_EQ(played, std::vector<std::string>({"cube_in", "cube04", "cube01", "brief_a", "cube04", "cube01",
                                                "cube04", "cube01", "cube02", "cube01"}));
}

} // namespace
