#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "gen_shellres.h"
#include "save/save.h"
#include "shell/shell.h"
#include "shell/shellres.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "units/team.h"

using Bytes = std::vector<uint8_t>;

static QvPass Quit()
{
    QvPass q;
    q.quit = true;
    return q;
}

// A click at the middle of a 160 x 30 button at (x, y).
static void Click(QvPassScript& s, int x, int y)
{
    s.Add(QvMove(x + 80, y + 15)).Add(QvButton(1)).Add(QvButton(0));
}

// The front end over a library of plain backgrounds and the lists' font, in a data directory of its own, with a "SINGLE" category holding
// the folders "WALK" (with a scenario file) and "EMPTY" (without).
class ShellMachine : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    std::string oldData, oldBase;
    void SetUp() override { WriteLibrary({"main", "single", "custom", "cdebrief", "instant", "credits", "loadgame"}); }
    void WriteLibrary(const std::vector<std::string>& pages)
    {
        std::vector<MKSHELLRES> res;
        Bytes palette(768, 0), pixl(8 + 16 * 12, 3);
        Bytes_PutU16(&pixl[4], 16);
        Bytes_PutU16(&pixl[6], 12);
        for (const std::string& p : pages)
            res.push_back({p, SHELLRES_FLT,
                           Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, pixl}})});
        // The lists' font: 10 pixels high, every character 3 wide.
        const int fontW = 1 + 4 * 256;
        Bytes font(8 + fontW * 10, 5);
        Bytes_PutU16(&font[4], fontW);
        Bytes_PutU16(&font[6], 10);
        for (int x = 0; x < fontW; x += 4) font[8 + x] = 9;
        res.push_back({"font12bn", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, font}})});
        Bytes index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        dir.write("Data/shell/shell.rli", std::string(index.begin(), index.end()));
        dir.write("Data/shell/shell.rld", std::string(data.begin(), data.end()));
        // A scenario the front end takes for one: its header and a map file.
        dir.write("scen/SINGLE/WALK/QUORVEX.scn", "SetVersion(2)\nSetDefaultTerrain(DEMO)\n");
        dir.write("scen/SINGLE/WALK/QUORVEX.map", "");
        dir.write("scen/SINGLE/EMPTY/readme", "");
        oldData = g_DataDir;
        oldBase = g_ScenarioBaseDir;
        snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("Data").c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", dir.file("scen").c_str());
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("");
    }
    void TearDown() override
    {
        snprintf(g_DataDir, sizeof g_DataDir, "%s", oldData.c_str());
        snprintf(g_ScenarioBaseDir, sizeof g_ScenarioBaseDir, "%s", oldBase.c_str());
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
    }
    // Runs the shell on the script; the states current at each flip, in
    // order (each once per stay): the pages, and the leaving state, whose
    // fade-out flips.
    std::vector<int> Run(QvPassScript& script)
    {
        std::vector<int> seen;
        script.onPass = [&](int) {
            if (seen.empty() || seen.back() != g_ShellInfo.current) seen.push_back(g_ShellInfo.current);
        };
        Shell_Run();
        EXPECT_FALSE(script.overran);
        return seen;
    }
};

TEST_F(ShellMachine, ButtonsLeadToTheirStatesAndActionsSetTheEngineState)
{
    struct Row {
        const char* what;
        std::vector<std::pair<int, int>> clicks; // button corners
        bool quit;
        std::vector<int> pages;
        int engine, next, mode;
    } rows[] = {
        {"quit", {{240, 403}}, false, {1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
        {"multiplayer menus", {{240, 135}}, false, {1, 8}, GS_MULTIMENU, 5, SHELL_MULTIPLAYER},
        {"construction kit", {{240, 238}}, false, {1, 4}, GS_EDITOR, 1, SHELL_FRONTEND},
        {"single player and back", {{240, 90}, {0, 412}, {240, 403}}, false, {1, 7, 1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
        {"instant action returns", {{240, 188}, {0, 418}}, true, {1, 9, 1, 2}, GS_QUIT, 1, SHELL_INSTANT},
        {"credits return", {{240, 340}, {0, 418}}, true, {1, 11, 1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
        {"replay intro comes back to the main page", {{240, 290}}, true, {1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
        {"load game goes back by its BACK", {{240, 90}, {240, 188}, {240, 403}, {0, 412}}, true,
         {1, 7, 12, 7, 1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
        {"a new campaign without its pages leaves as quit", {{240, 90}, {240, 135}}, false, {1, 7, 0}, GS_QUIT, 1, SHELL_CAMPAIGN},
        {"custom mission, back twice", {{240, 90}, {240, 238}, {0, 412}, {0, 412}}, true, {1, 7, 13, 7, 1, 2}, GS_QUIT, 1, SHELL_CUSTOM},
        {"the window closed", {}, true, {1, 2}, GS_QUIT, 1, SHELL_FRONTEND},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Shell_Reset();
        g_GameState = GS_FRONTEND;
        QvLogCapture log;
        QvPassScript script(100);
        for (auto [x, y] : r.clicks) Click(script, x, y);
        if (r.quit) script.Add(Quit());
        EXPECT_EQ(Run(script), r.pages);
        EXPECT_EQ(g_GameState, r.engine);
        EXPECT_EQ(g_ShellInfo.next, r.next);
        EXPECT_EQ(g_ShellInfo.mode, r.mode);
        if (std::string(r.what).find("campaign") != std::string::npos) {
            EXPECT_NE(log.text().find("Shell page [bridge] could not be built"), std::string::npos);
        }
    }
}

TEST_F(ShellMachine, ACustomMissionStartsOnlyWithItsScenarioFileAndComesBackToItsDebriefing)
{
    QvLogCapture log;
    {
        // Load Mission with nothing chosen, then with a folder without its
        // scenario file: refused, the page again; then "WALK" starts.
        QvPassScript script(100);
        Click(script, 240, 90);
        Click(script, 240, 238);
        Click(script, 240, 403);
        script.Add(QvMove(100, 105)).Add(QvButton(1)).Add(QvButton(0)); // "EMPTY", the first line
        Click(script, 240, 403);
        script.Add(QvMove(100, 115)).Add(QvButton(1)).Add(QvButton(0)); // "WALK"
        Click(script, 240, 403);
        EXPECT_EQ(Run(script), (std::vector<int>{1, 7, 13, 3}));
        EXPECT_EQ(g_GameState, GS_NEWGAME);
        EXPECT_STREQ(g_ScenarioName, "WALK");
        EXPECT_EQ(g_ShellInfo.next, SS_RETURN);
        EXPECT_EQ(g_ShellInfo.mode, SHELL_CUSTOM);
        EXPECT_EQ(g_ShellInfo.result, 0);
        EXPECT_NE(log.text().find("SINGLE/QUORVEX.scn] not found"), std::string::npos);
        EXPECT_NE(log.text().find("EMPTY/QUORVEX.scn] not found"), std::string::npos);
    }
    {
        // Back from the game: straight to the custom debriefing, then Main Menu.
        g_GameState = GS_FRONTEND;
        QvPassScript script(100);
        Click(script, 480, 412);
        script.Add(Quit());
        EXPECT_EQ(Run(script), (std::vector<int>{14, 1, 2}));
        EXPECT_EQ(g_GameState, GS_QUIT);
    }
}

// A folder name longer than a scenario name may be was listed, and choosing
// it took the cut name, another folder's.
TEST_F(ShellMachine, CustomMissionsLeaveOutAndLogFoldersWhoseNamesAreTooLongForAScenario)
{
    dir.write("scen/SINGLE/ALONGERNAMETHANFIFTEEN/QUORVEX.scn", "SetVersion(2)\nSetDefaultTerrain(DEMO)\n");
    QvLogCapture log;
    QvPassScript script(100);
    Click(script, 240, 90);
    Click(script, 240, 238);
    script.Add(QvMove(100, 105)).Add(QvButton(1)).Add(QvButton(0)); // the first line
    script.Add(Quit());
    Run(script);
    EXPECT_STREQ(g_ScenarioName, "EMPTY") << "the first line";
    EXPECT_NE(log.text().find("Mission folder [ALONGERNAMETHANFIFTEEN] in ["), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("has a name longer than 15 characters: not listed"), std::string::npos);
}

TEST_F(ShellMachine, APageThatCantBeBuiltLeavesAsQuit)
{
    WriteLibrary({"main"});
    QvLogCapture log;
    QvPassScript script(100);
    Click(script, 240, 90);
    EXPECT_EQ(Run(script), (std::vector<int>{1, 0}));
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(g_ShellInfo.next, SS_MAIN);
    EXPECT_NE(log.text().find("Shell page [single] could not be built"), std::string::npos);

    // No library at all: the first page already.
    snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("none").c_str());
    Shell_Reset();
    g_GameState = GS_FRONTEND;
    QvPassScript none(10);
    Run(none);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_NE(log.text().find("Shell library ["), std::string::npos);
}

TEST(ShellResults, MissionResultsKeepCampaignProgress)
{
    struct Row {
        const char* what;
        int mode, mission, side, highest, won;
        int result, wonFirst, wonSecond, highestAfter, selected;
    } rows[] = {
        {"campaign win of the highest opens the next", SHELL_CAMPAIGN, 206, SHELL_SIDE_FIRST, 206, 1, 1, 4, 0, 207, 207},
        {"second side's mask", SHELL_CAMPAIGN, 204, SHELL_SIDE_SECOND, 210, 1, 1, 0, 1, 210, 210},
        {"the final mission opens nothing beyond", SHELL_CAMPAIGN, 216, SHELL_SIDE_FIRST, 216, 1, 1, 1 << 12, 0, 216, 215},
        {"a loss changes no progress", SHELL_CAMPAIGN, 206, SHELL_SIDE_FIRST, 206, 0, 0, 0, 0, 206, 206},
        {"a custom win counts no mission", SHELL_CUSTOM, 206, SHELL_SIDE_FIRST, 206, 1, 1, 0, 0, 206, 206},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_ShellInfo.mode = r.mode;
        g_ShellInfo.mission = r.mission;
        g_ShellInfo.side = r.side;
        g_ShellInfo.highestMission = r.highest;
        g_ShellInfo.result = 7;
        Shell_RecordMissionResult(r.won);
        EXPECT_EQ(g_ShellInfo.result, r.result);
        EXPECT_EQ(g_ShellInfo.wonFirst, r.wonFirst);
        EXPECT_EQ(g_ShellInfo.wonSecond, r.wonSecond);
        EXPECT_EQ(g_ShellInfo.highestMission, r.highestAfter);
        EXPECT_EQ(g_ShellInfo.selectedMission, r.selected);
    }
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}

TEST(ShellResults, DebriefStatsCopyEveryTeamsLine)
{
    TEAM_DATA saved[SHELL_TEAMS];
    memcpy((void*)saved, (const void*)teamdata, sizeof saved);
    for (int t = 0; t < SHELL_TEAMS; t++) {
        teamdata[t].type = t % 3;
        teamdata[t].side = t;
        TEAM_STATS& s = teamdata[t].stats;
        s.collected[0] = 100 * t + 1;
        s.collected[1] = 100 * t + 2;
        s.made_units = 100 * t + 3;
        s.made_buildings = 100 * t + 4;
        s.losses_units = 100 * t + 5;
        s.losses_buildings = 100 * t + 6;
        s.kills_units = 100 * t + 7;
        s.kills_buildings = 100 * t + 8;
    }
    g_ShellInfo.mission = 210;
    g_ShellInfo.side = SHELL_SIDE_SECOND;
    Shell_StoreDebriefStats();
    EXPECT_EQ(g_ShellInfo.lastMission, 210);
    EXPECT_EQ(g_ShellInfo.lastSide, SHELL_SIDE_SECOND);
    for (int t = 0; t < SHELL_TEAMS; t++) {
        const SHELLDEBRIEF& d = g_ShellInfo.debrief[t];
        const int32_t got[10] = {d.type, d.side, d.water, d.corite, d.madeUnits, d.madeBuildings,
                                 d.lostUnits, d.lostBuildings, d.killedUnits, d.killedBuildings};
        const int32_t want[10] = {t % 3, t, 100 * t + 1, 100 * t + 2, 100 * t + 3, 100 * t + 4,
                                  100 * t + 5, 100 * t + 6, 100 * t + 7, 100 * t + 8};
        EXPECT_EQ(std::vector<int32_t>(got, got + 10), std::vector<int32_t>(want, want + 10)) << "team " << t;
    }
    memcpy((void*)teamdata, (const void*)saved, sizeof saved);
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}

// Campaign progress and the last debriefing go into every saved game and come
// back with its load, whatever the front end held meanwhile.
TEST(ShellResults, TheRecordTravelsWithASavedGame)
{
    QvTempDir dir;
    QvLogCapture log;
    Save_Init();
    char oldName[sizeof g_ScenarioName];
    memcpy(oldName, g_ScenarioName, sizeof oldName);
    Game_SetScenarioName("WALK");
    SHELLINFO saved;
    memset(&saved, 0, sizeof saved);
    saved.mode = SHELL_CAMPAIGN;
    saved.highestMission = 209;
    saved.wonFirst = 0x1F;
    saved.side = SHELL_SIDE_SECOND;
    snprintf(saved.title, sizeof saved.title, "%s", "Second front");
    saved.debrief[3] = SHELLDEBRIEF{TT_COMPUTER, 2, 1, 2, 3, 4, 5, 6, 7, 8};
    g_ShellInfo = saved;
    ASSERT_EQ(Save_Game(dir.file("a.sav").c_str(), 0), 1);
    memset(&g_ShellInfo, 0x5A, sizeof g_ShellInfo);
    EXPECT_EQ(Save_Load(dir.file("a.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(memcmp(&g_ShellInfo, &saved, sizeof saved), 0);
    memcpy(g_ScenarioName, oldName, sizeof oldName);
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
}
