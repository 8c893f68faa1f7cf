#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "gen_movie.h"
#include "gen_shellres.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "shell/shell.h"
#include "shell/shellcamp.h"
#include "shell/shellres.h"
#include "support/passscript.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;

TEST(ShellCampaign, SelectMissionPicksScenarioTitleKeyAndCategory)
{
    struct Row {
        const char* name;
        int storedMission, storedSide, mode, mission, side;
        const char* scenario; // "" when nothing is selected
        int category, keptMission, keptSide;
    } rows[] = {
        {"first side's first mission", 0, 0, SHELL_CAMPAIGN, 204, 218, "m01a", SC_FIXED, 204, 218},
        {"second side's last ring mission", 0, 0, SHELL_CAMPAIGN, 215, 219, "m12s", SC_FIXED, 215, 219},
        {"the final mission is one for both", 0, 0, SHELL_CAMPAIGN, 216, 219, "m13v", SC_FIXED, 216, 219},
        {"basic training", 0, 0, SHELL_CAMPAIGN, 200, 218, "t1", SC_FIXED, 200, 218},
        {"advanced training", 0, 0, SHELL_CAMPAIGN, 203, 219, "t4", SC_FIXED, 203, 219},
        {"a custom mission's category", 0, 0, SHELL_CUSTOM, 205, 218, "m02a", SC_SINGLE, 205, 218},
        {"negative keeps the stored values", 207, 219, SHELL_CAMPAIGN, -1, -1, "m04s", SC_FIXED, 207, 219},
        {"out of range is not given", 207, 218, SHELL_CAMPAIGN, 217, 220, "m04a", SC_FIXED, 207, 218},
        {"a stored 0 selects nothing", 0, 0, SHELL_CAMPAIGN, -1, 218, "", SC_FIXED, 0, 218},
        {"side 0 selects nothing", 205, 0, SHELL_CAMPAIGN, -1, 0, "", SC_FIXED, 205, 0},
    };
    for (const Row& r : rows) {
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_ShellInfo.mission = r.storedMission;
        g_ShellInfo.side = r.storedSide;
        g_ShellInfo.mode = r.mode;
        Game_SetScenarioCategory(SC_FIXED);
        Game_SetScenarioName("");
        const char* title = Shell_SelectMission(r.mission, r.side);
        EXPECT_STREQ(g_ScenarioName, r.scenario) << r.name;
        EXPECT_EQ(g_ScenarioCategory, r.category) << r.name;
        EXPECT_EQ(g_ShellInfo.mission, r.keptMission) << r.name;
        EXPECT_EQ(g_ShellInfo.side, r.keptSide) << r.name;
        EXPECT_EQ(title, g_ShellInfo.title) << r.name;
        if (!*r.scenario) {
            EXPECT_STREQ(title, "") << r.name;
        }
    }
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}

TEST(ShellCampaign, CubeTransitionsFollowTheRulesInOrder)
{
    struct Row {
        int previous, current;
        std::vector<std::string> names;
    } rows[] = {
        {15, 16, {"cube_in"}},          {17, 16, {"cube03", "cube01"}}, {18, 16, {"cube02", "cube01"}},
        {16, 17, {"cube02", "cube01"}}, {16, 18, {"cube03", "cube01"}}, {17, 18, {"cube03", "cube01"}},
        {16, 23, {"cube05", "cube01"}}, {5, 23, {"cube04", "cube01"}},  {23, 16, {"cube04", "cube01"}},
        {16, 22, {"cube04", "cube01"}}, {22, 16, {"cube05", "cube01"}}, {19, 19, {"cube05", "cube01"}},
        {17, 23, {"cube03", "cube01"}},
    };
    for (const Row& r : rows) {
        const char* names[2];
        int n = Shell_CubeTransitionNames(r.previous, r.current, names);
        EXPECT_EQ(std::vector<std::string>(names, names + n), r.names) << r.previous << " -> " << r.current;
    }
}

TEST(ShellCampaign, RingSlotsShowMissionsAroundTheSelection)
{
    struct Row {
        const char* name;
        int selected, highest, wonFirst, wonSecond, slot;
        int label, id, f0, f1, f2, frame;
    } rows[] = {
        {"slot 0 is the selection", 204, 216, 0, 0, 0, 1, 204, 7, 7, 7, 0},
        {"the next mission", 204, 216, 0, 0, 1, 2, 205, 2, 3, 4, 0},
        {"wrapping past the twelfth", 214, 216, 0, 0, 3, 2, 205, 2, 3, 4, 0},
        {"above the highest open", 204, 206, 0, 0, 5, 6, 209, 2, 2, 2, 0},
        {"won by the first side", 204, 216, 1 << 2, 0, 2, 3, 206, 2, 3, 4, 2},
        {"won by both", 204, 216, 1 << 2, 1 << 2, 2, 3, 206, 2, 3, 4, 3},
        {"won by the second side, selected", 206, 216, 0, 1 << 2, 0, 3, 206, 7, 7, 7, 1},
        {"a loaded 0 selection stays in the ring", 0, 216, 0, 0, 0, 1, 204, 2, 3, 4, 0},
    };
    for (const Row& r : rows) {
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_ShellInfo.selectedMission = r.selected;
        g_ShellInfo.highestMission = r.highest;
        g_ShellInfo.wonFirst = r.wonFirst;
        g_ShellInfo.wonSecond = r.wonSecond;
        SHELLRINGSLOT s = Shell_RingSlot(r.slot);
        EXPECT_EQ(s.label, r.label) << r.name;
        EXPECT_EQ(s.id, r.id) << r.name;
        EXPECT_EQ(std::vector<int>(s.fonts, s.fonts + 3), std::vector<int>({r.f0, r.f1, r.f2})) << r.name;
        EXPECT_EQ(s.frame, r.frame) << r.name;
    }
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}

TEST(ShellCampaign, ATimedPageLastsThreeFrames)
{
    SHELLCTL c = {};
    Shell_TimedDialogHandler(&c, SM_CREATE, 0, 0, 23, 1);
    std::vector<int> results;
    for (int i = 0; i < 4; i++) {
        Shell_TimedDialogHandler(&c, SM_UPDATE, 0, 0, 0, 0);
        results.push_back(c.result);
    }
    EXPECT_EQ(results, std::vector<int>({0, 0, 23, 23}));
}

// The whole front end over plain backgrounds for every page and the button
// font, without videos (each one played is a logged warning naming it), in
// a data directory with the campaign's first scenario.
class ShellCampaignRun : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    std::string oldData, oldBase;
    // The pages' backgrounds and the resources given.
    void WriteLibrary(std::vector<MKSHELLRES> res)
    {
        Bytes palette(768, 0), pixl(8 + 16 * 12, 3);
        Bytes_PutU16(&pixl[4], 16);
        Bytes_PutU16(&pixl[6], 12);
        for (const char* p : {"main", "single", "bridge", "missions", "options", "archive", "story", "training",
                              "brief_a", "brief_s", "debrief", "return"})
            res.push_back({p, SHELLRES_FLT,
                           Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, pixl}})});
        Bytes index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        dir.write("Data/shell/shell.rli", std::string(index.begin(), index.end()));
        dir.write("Data/shell/shell.rld", std::string(data.begin(), data.end()));
    }
    void SetUp() override
    {
        WriteLibrary({});
        dir.write("scen/FIXED/m01a/QUORVEX.scn", "SetVersion(2)\nSetDefaultTerrain(DEMO)\n");
        dir.write("scen/FIXED/m01a/QUORVEX.map", "");
        oldData = g_DataDir;
        oldBase = g_ScenarioBaseDir;
        snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("Data").c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", dir.file("scen").c_str());
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
    }
    void TearDown() override
    {
        snprintf(g_DataDir, sizeof g_DataDir, "%s", oldData.c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", oldBase.c_str());
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
    }
    static void Click(QvPassScript& s, int x, int y)
    {
        s.Add(QvMove(x, y)).Add(QvButton(1)).Add(QvButton(0)).Wait(16, 4);
    }
    // The buttons' label fonts: every character one pixel of colour 201.
    void WriteButtonFonts()
    {
        Bytes font(8 + 1 + 2 * 256, 201);
        Bytes_PutU16(&font[4], 1 + 2 * 256);
        Bytes_PutU16(&font[6], 1);
        for (int x = 0; x < 1 + 2 * 256; x += 2) font[8 + x] = 9;
        std::vector<MKSHELLRES> fonts;
        for (const char* name : {"font14n", "font14o", "font14s"})
            fonts.push_back({name, SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, font}})});
        WriteLibrary(fonts);
    }
    // From the main page: a new campaign, the first side's logo, Launch.
    static void ToTheFirstLaunch(QvPassScript& s)
    {
        Click(s, 320, 105); // Single Player
        Click(s, 320, 150); // Start New Game
        s.Wait(16, 6);      // the bridge page's frames
        Click(s, 257, 125); // the first side's logo
        Click(s, 330, 435); // Launch
    }
    // The states current at the flips, and the videos played, in order.
    std::vector<int> Run(QvPassScript& script, std::vector<std::string>* videos)
    {
        std::vector<int> seen;
        std::function<void(int)> given = script.onPass;
        script.onPass = [&, given](int pass) {
            if (given) given(pass);
            if (seen.empty() || seen.back() != g_ShellInfo.current) seen.push_back(g_ShellInfo.current);
        };
        QvLogCapture log;
        Shell_Run();
        EXPECT_FALSE(script.overran);
        std::string text = log.text();
        std::regex played("shell[/\\\\]([a-z_0-9]+)\\.smk\\] can't be played");
        videos->clear();
        for (std::sregex_iterator i(text.begin(), text.end(), played), end; i != end; ++i)
            videos->push_back((*i)[1]);
        return seen;
    }
};

TEST_F(ShellCampaignRun, NewCampaignToLaunchAndBackThroughTheDebriefing)
{
    std::vector<std::string> videos;
    {
        QvPassScript script(200);
        ToTheFirstLaunch(script);
        EXPECT_EQ(Run(script, &videos), std::vector<int>({1, 7, 15, 16, 22, 3}));
    }
    // The map's ring animation opens the highest open mission's video.
    EXPECT_EQ(videos, std::vector<std::string>({"cube_in", "m_ring12", "cube04", "cube01", "brief_a"}));
    const SHELLINFO* s = &g_ShellInfo;
    EXPECT_EQ(g_GameState, GS_NEWGAME);
    EXPECT_EQ(s->mode, SHELL_CAMPAIGN);
    EXPECT_EQ(s->mission, 204);
    EXPECT_EQ(s->side, SHELL_SIDE_FIRST);
    EXPECT_EQ(s->selectedMission, 204);
    EXPECT_EQ(s->highestMission, 216);
    EXPECT_STREQ(g_ScenarioName, "m01a");
    EXPECT_EQ(s->next, SS_RETURN);

    // The game was won.
    Shell_StoreDebriefStats();
    Shell_RecordMissionResult(1);
    g_GameState = GS_FRONTEND;
    {
        QvPassScript script(200);
        script.Wait(16, 6);      // the return page's frames
        Click(script, 320, 25);  // up: the map
        Click(script, 40, 240);  // left: options
        Click(script, 179, 415); // Quit to Main Menu
        Click(script, 320, 418); // Quit
        EXPECT_EQ(Run(script, &videos), std::vector<int>({5, 23, 16, 17, 1, 2}));
    }
    EXPECT_EQ(videos, std::vector<std::string>({"cube04", "cube01", "cube04", "cube01", "m_ring12", "cube02", "cube01"}));
    EXPECT_EQ(g_ShellInfo.wonFirst, 1);
    EXPECT_EQ(g_ShellInfo.selectedMission, 215);
    EXPECT_EQ(g_GameState, GS_QUIT);
}

// The final mission's centre button lies under the ring animation. As a
// control made after the button, the animation took the click (the newest
// control is hit first) and the mission never started; made before it, it
// was drawn over the button (older controls are drawn later) and hid it.
class PlayerViewCampaign : public ShellCampaignRun {};

TEST_F(PlayerViewCampaign, TheCentreButtonUnderTheRingAnimationStartsTheFinalMission)
{
    ASSERT_EQ(Mkdata_WriteMovie(dir.file("Data/shell/m_ring12.smk"), 144, 144, 2, 15, 1), 1);
    // The final mission's scenario: without it the start is refused and
    // the map comes back, as for any missing scenario.
    dir.write("scen/FIXED/m13v/QUORVEX.scn", "SetVersion(2)\nSetDefaultTerrain(DEMO)\n");
    dir.write("scen/FIXED/m13v/QUORVEX.map", "");
    std::vector<std::string> videos;
    QvPassScript script(200);
    Click(script, 320, 105); // Single Player
    Click(script, 320, 150); // Start New Game
    script.Wait(16, 6);      // the bridge page's frames
    script.Wait(16, 6);
    Click(script, 320, 263); // "13", in the middle of the ring
    // The animation's pixels there are 35..76, the page's 3.
    WriteButtonFonts();
    int shown = -1; // the label's pixels in the button, on the map's last frame
    script.onPass = [&](int) {
        if (g_ShellInfo.current != 16) return; // the map
        const BITMAP* back = Backbuf_Lock();
        shown = 0;
        for (int y = 253; y < 273; y++)
            for (int x = 310; x < 330; x++) shown += back->data[y * back->x_size + x] == 201;
    };
    EXPECT_EQ(Run(script, &videos), std::vector<int>({1, 7, 15, 16, 3}));
    EXPECT_EQ(shown, 2) << "\"13\" is drawn over the ring animation";
    EXPECT_EQ(videos, std::vector<std::string>({"cube_in"})) << "the ring animation plays";
    EXPECT_EQ(g_ShellInfo.highestMission, 216);
    EXPECT_EQ(g_ShellInfo.mission, 216);
    EXPECT_EQ(g_GameState, GS_NEWGAME);
}

// A refused Launch brought the launch page back with the start state as its
// previous page, so its Back launched again, refused again, for ever.
TEST_F(PlayerViewCampaign, BackAfterARefusedLaunchLaunchedAgainForEver)
{
    std::filesystem::remove(dir.file("scen/FIXED/m01a/QUORVEX.scn"));
    std::vector<std::string> videos;
    QvPassScript script(200);
    ToTheFirstLaunch(script); // refused
    Click(script, 80, 435);   // Back
    QvPass close;
    close.quit = true;
    script.Add(close);
    // The start state shows no frame: the launch page is seen once more,
    // its videos played again, before Back reaches the map.
    EXPECT_EQ(Run(script, &videos), std::vector<int>({1, 7, 15, 16, 22, 16, 2}));
    EXPECT_EQ(videos, std::vector<std::string>({"cube_in", "m_ring12", "cube04", "cube01", "brief_a", "cube04",
                                                "cube01", "brief_a", "cube05", "cube01", "m_ring12"}));
    EXPECT_NE(g_GameState, GS_NEWGAME);
}

// A refused start shows its box on the page it was chosen on. The box is the
// page's newest control, drawn first: on the campaign map the ring's buttons
// were drawn across its lines ("Thi_le can't be_d:"). And every mission's
// file is "QUORVEX.scn": the box named no mission.
TEST_F(PlayerViewCampaign, RegressionARefusalBoxUnderTheRingsButtonsAndNamingNoMission)
{
    // The box's own fonts are not in this library: its inside is its fill.
    WriteButtonFonts();
    enum { BOX_W = 204, FILL = 4 };
    struct Row {
        const char* name;
        std::vector<std::pair<int, int>> clicks; // after Start New Game's bridge
        int page;
        const char* file;
    } rows[] = {
        {"the map's \"13\"", {{320, 263}}, 16, "m13v/QUORVEX.scn"},
        {"the training page's Launch", {{75, 100}, {320, 25}}, 20, "t1/QUORVEX.scn"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        QvPassScript script(200);
        Click(script, 320, 105); // Single Player
        Click(script, 320, 150); // Start New Game
        script.Wait(16, 6);      // the bridge page's frames
        for (auto [x, y] : r.clicks) Click(script, x, y);
        script.Wait(16, 4);
        QvPass close;
        close.quit = true;
        script.Add(close);
        std::string shown;
        int foreign = -1; // pixels in the box above its Ok that aren't its fill
        script.onPass = [&](int) {
            char text[1024];
            int okX, okY;
            if (g_ShellInfo.current != r.page || !Shell_RefusalShown(text, sizeof text, &okX, &okY)) return;
            shown = text;
            const int lines = (int)std::count(shown.begin(), shown.end(), '\n');
            const int x = okX - BOX_W / 2, y = okY + 21 - (36 + lines * 22 + 44);
            const BITMAP* back = Backbuf_Lock();
            foreign = 0;
            for (int py = y + 1; py < okY - 13; py++)
                for (int px = x + 1; px < x + BOX_W - 1; px++) foreign += back->data[py * back->x_size + px] != FILL;
        };
        std::vector<std::string> videos;
        Run(script, &videos);
        ASSERT_FALSE(shown.empty()) << "no box";
        EXPECT_EQ(shown.substr(shown.rfind('\n') + 1), r.file) << shown;
        EXPECT_EQ(foreign, 0) << "drawn over the box";
    }
}

// A page's answer to a click, on a page record of its own (the page's
// controls are not needed for what a click decides).
TEST(ShellCampaign, PageClicksAsRows)
{
    struct Row {
        const char* name;
        SHELL_HANDLER page;
        int current, lastMission, highest, id;
        int result, selected, mission, side;
    } rows[] = {
        {"map up: story", Shell_BuildMissions, 16, 0, 216, 100, 19, 204, 204, 218},
        {"map down: debriefing", Shell_BuildMissions, 16, 204, 216, 101, 23, 204, 204, 218},
        {"map left: options", Shell_BuildMissions, 16, 0, 216, 102, 17, 204, 204, 218},
        {"map right: archive", Shell_BuildMissions, 16, 0, 216, 103, 18, 204, 204, 218},
        {"map ring: selects", Shell_BuildMissions, 16, 0, 216, 209, 0, 209, 209, 218},
        {"map ring above the highest: nothing", Shell_BuildMissions, 16, 0, 208, 209, 0, 204, 204, 218},
        {"map final mission: starts it", Shell_BuildMissions, 16, 0, 216, 216, 3, 204, 216, 218},
        {"map second logo: launch", Shell_BuildMissions, 16, 0, 216, 219, 22, 204, 204, 219},
        {"map training: its state", Shell_BuildMissions, 16, 0, 216, 21, 21, 204, 204, 218},
        {"options load: swallowed", Shell_BuildOptions, 17, 0, 216, 222, 0, 204, 204, 218},
        {"options save: swallowed", Shell_BuildOptions, 17, 0, 216, 223, 0, 204, 204, 218},
        {"options delete: swallowed", Shell_BuildOptions, 17, 0, 216, 224, 0, 204, 204, 218},
        {"options right: back", Shell_BuildOptions, 17, 0, 216, 103, 6, 204, 204, 218},
        {"options quit to the main menu", Shell_BuildOptions, 17, 0, 216, 1, 1, 204, 204, 218},
        {"story down: map", Shell_BuildStory, 19, 0, 216, 101, 16, 204, 204, 218},
        {"story up: not on the page", Shell_BuildStory, 19, 0, 216, 100, 100, 204, 204, 218},
        {"story second side: launch", Shell_BuildStory, 19, 0, 216, 219, 22, 204, 204, 219},
        {"archive left: back", Shell_BuildArchive, 18, 0, 216, 102, 6, 204, 204, 218},
        {"training up: launch", Shell_BuildTraining, 20, 0, 216, 100, 3, 204, 204, 218},
        {"training second mission: selected", Shell_BuildTraining, 20, 0, 216, 201, 0, 204, 201, 218},
        {"advanced training first mission", Shell_BuildTraining, 21, 0, 216, 202, 0, 204, 202, 218},
        {"training: another page's mission", Shell_BuildTraining, 20, 0, 216, 202, 202, 204, 204, 218},
        {"debriefing replay of basic training", Shell_BuildDebrief, 23, 201, 216, 101, 20, 204, 204, 218},
        {"debriefing replay of advanced training", Shell_BuildDebrief, 23, 202, 216, 101, 21, 204, 204, 218},
        {"debriefing replay of a campaign mission", Shell_BuildDebrief, 23, 205, 216, 101, 22, 204, 204, 218},
        {"debriefing up: map", Shell_BuildDebrief, 23, 205, 216, 100, 16, 204, 204, 218},
    };
    for (const Row& r : rows) {
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_ShellInfo.mode = SHELL_CAMPAIGN;
        g_ShellInfo.current = r.current;
        g_ShellInfo.selectedMission = 204;
        g_ShellInfo.highestMission = r.highest;
        g_ShellInfo.mission = 204;
        g_ShellInfo.side = SHELL_SIDE_FIRST;
        g_ShellInfo.lastMission = r.lastMission;
        SHELLCTL c = {};
        c.handler = r.page;
        r.page(&c, SM_CLICKED, r.id, 0, 0, 0);
        EXPECT_EQ(c.result, r.result) << r.name;
        EXPECT_EQ(g_ShellInfo.selectedMission, r.selected) << r.name;
        EXPECT_EQ(g_ShellInfo.mission, r.mission) << r.name;
        EXPECT_EQ(g_ShellInfo.side, r.side) << r.name;
    }
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}
