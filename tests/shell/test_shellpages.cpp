// The demo world's pages, drawn from the library mkdata makes, against
// golden frames.
#include <cstring>
#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/mlstring.h"
#include "gen_movie.h"
#include "gen_shellres.h"
#include "platform/plat.h"
#include "shell/shell.h"
#include "support/golden.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "units/team.h"

class ShellPages : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    std::string oldData, oldBase;
    void SetUp() override
    {
        std::vector<MKSHELLRES> res;
        Mkdata_ShellDemoResources(&res);
        std::vector<uint8_t> index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        dir.write("Data/shell/shell.rli", std::string(index.begin(), index.end()));
        dir.write("Data/shell/shell.rld", std::string(data.begin(), data.end()));
        dir.write("scen/SINGLE/WALK/QUORVEX.scn", "");
        dir.write("scen/SINGLE/DEMO/QUORVEX.scn", "");
        oldData = g_DataDir;
        oldBase = g_ScenarioBaseDir;
        snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("Data").c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", dir.file("scen").c_str());
        ASSERT_TRUE(MLString_Load(QV_DEMO_MLSTRING));
        Shell_Reset();
    }
    void TearDown() override
    {
        MLString_Unload();
        snprintf(g_DataDir, sizeof g_DataDir, "%s", oldData.c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", oldBase.c_str());
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
    }
    // Runs the shell on script and checks the frame shown when pass `at`
    // begins against golden.
    void Check(QvPassScript& script, int at, uint32_t golden, const char* pcx)
    {
        bool seen = false;
        script.onPass = [&](int pass) {
            if (pass != at) return;
            const uint8_t* pixels;
            const PAL_RGB* palette;
            ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette));
            EXPECT_TRUE(DemoFixture_Matches(pixels, palette, golden, pcx));
            seen = true;
        };
        Shell_Run();
        EXPECT_TRUE(seen);
        EXPECT_FALSE(script.overran);
    }
};

static QvPass Quit()
{
    QvPass q;
    q.quit = true;
    return q;
}

static void Click(QvPassScript& s, int x, int y)
{
    s.Add(QvMove(x, y)).Add(QvButton(1)).Add(QvButton(0));
}

TEST_F(ShellPages, MainPage)
{
    QvPassScript script(100);
    script.Add(QvMove(320, 300)).Wait(0, 10).Add(Quit());
    Check(script, 10, 0xFBFF6DB7u, "shell_main.pcx");
}

TEST_F(ShellPages, SinglePlayerPage)
{
    QvPassScript script(100);
    Click(script, 320, 105);
    script.Wait(0, 20).Add(Quit());
    Check(script, 20, 0x008C975Eu, "shell_single.pcx");
}

TEST_F(ShellPages, CustomMissionPageWithAFolderChosen)
{
    QvPassScript script(100);
    Click(script, 320, 105);
    Click(script, 320, 253);
    Click(script, 100, 116); // the second line: "WALK"
    script.Wait(0, 20).Add(Quit());
    Check(script, 25, 0xE868C04Cu, "shell_custom.pcx");
    EXPECT_STREQ(g_ScenarioName, "WALK");
}

TEST_F(ShellPages, CustomDebriefing)
{
    {
        QvPassScript first(10);
        first.Add(Quit());
        Shell_Run(); // started: the next run resumes where a game returns
    }
    g_ShellInfo.next = SS_RETURN;
    g_ShellInfo.mode = SHELL_CUSTOM;
    g_ShellInfo.debrief[0] = SHELLDEBRIEF{TT_HUMAN, 0, 120, 40, 6, 2, 1, 0, 9, 3};
    g_ShellInfo.debrief[1] = SHELLDEBRIEF{TT_COMPUTER, 1, 80, 0, 4, 1, 9, 3, 1, 0};
    g_ShellInfo.debrief[2] = SHELLDEBRIEF{TT_DISABLED, 2, 1, 1, 1, 1, 1, 1, 1, 1};
    QvPassScript script(100);
    script.Add(QvMove(320, 300)).Wait(0, 12).Add(Quit());
    Check(script, 12, 0x1DC232C4u, "shell_cdebrief.pcx");
}

// The campaign's pages over the demo library, with the demo's videos of the
// transitions and the ring animation (written as mkdata writes them; on the
// virtual clock the ring stays on its first frame) and a briefing of the
// first mission.
class ShellCampaignPages : public ShellPages {
protected:
    void SetUp() override
    {
        ShellPages::SetUp();
        int seed = 0;
        for (const char* v : {"cube_in", "cube01", "cube02", "cube03", "cube04", "cube05", "brief_a", "brief_s"})
            ASSERT_TRUE(Mkdata_WriteMovie(dir.file(std::string("Data/shell/") + v + ".smk"), 640, 480, 2, 15, seed++));
        ASSERT_TRUE(Mkdata_WriteMovie(dir.file("Data/shell/m_ring12.smk"), 144, 144, 3, 10, 9));
        const char* brief = "\\0 The story of the forest line. \\1 Orders: hold the depot.\\n Destroy theirs. "
                            "\\2 Won: the line is ours. \\3 Lost: the west base fell.";
        dir.write("scen/FIXED/m01a/quorvex.brf", brief);
        dir.write("scen/FIXED/m01s/quorvex.brf", brief);
    }
};

TEST_F(ShellCampaignPages, EachPageAgainstItsGolden)
{
    struct Row {
        const char* name;
        std::vector<std::pair<int, int>> clicks; // after the map opened
        uint32_t golden;
        const char* pcx;
    } rows[] = {
        {"campaign map", {}, 0x6F82828Du, "shell_missions.pcx"},
        {"first side's launch", {{257, 125}}, 0xEB45E648u, "shell_brief_a.pcx"},
        {"second side's launch", {{387, 125}}, 0x5F0758DEu, "shell_brief_s.pcx"},
        {"options", {{40, 240}}, 0xB00302F0u, "shell_options.pcx"},
        {"archive", {{600, 240}}, 0xDF78DD21u, "shell_archive.pcx"},
        {"story", {{320, 25}}, 0x9F782232u, "shell_story.pcx"},
        {"basic training", {{75, 100}}, 0x483163B9u, "shell_training.pcx"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
        QvPassScript script(400);
        int passes = 0;
        auto click = [&](int x, int y) {
            Click(script, x, y);
            script.Wait(0, 30);
            passes += 33;
        };
        click(320, 105); // Single Player
        click(320, 150); // Start New Game
        for (auto [x, y] : r.clicks) click(x, y);
        script.Add(QvMove(630, 470)).Wait(0, 5).Add(Quit());
        Check(script, passes + 5, r.golden, r.pcx);
    }
}

TEST_F(ShellCampaignPages, DebriefingAfterAWinAndAfterALoss)
{
    struct Row {
        int result;
        uint32_t golden;
        const char* pcx;
    } rows[] = {{1, 0x8B98BAA0u, "shell_debrief_won.pcx"}, {0, 0x4F31DEBDu, "shell_debrief_lost.pcx"}};
    for (const Row& r : rows) {
        Shell_Reset();
        {
            QvPassScript first(10);
            first.Add(Quit());
            Shell_Run();
        }
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_ShellInfo.current = SS_MAIN;
        g_ShellInfo.next = SS_RETURN;
        g_ShellInfo.mode = SHELL_CAMPAIGN;
        g_ShellInfo.selectedMission = 204;
        g_ShellInfo.highestMission = 216;
        g_ShellInfo.mission = g_ShellInfo.lastMission = 204;
        g_ShellInfo.side = g_ShellInfo.lastSide = SHELL_SIDE_FIRST;
        g_ShellInfo.result = r.result;
        g_ShellInfo.debrief[0] = SHELLDEBRIEF{TT_HUMAN, 0, 120, 40, 6, 2, 1, 0, 9, 3};
        g_ShellInfo.debrief[1] = SHELLDEBRIEF{TT_COMPUTER, 1, 80, 0, 4, 1, 9, 3, 1, 0};
        QvPassScript script(100);
        script.Add(QvMove(630, 470)).Wait(0, 30).Add(Quit());
        Check(script, 30, r.golden, r.pcx);
    }
}
