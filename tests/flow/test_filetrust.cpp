// Scenarios whose files don't load, chosen where a player chooses them: the
// custom-mission page's Load Mission reads every file as the game's start
// reads it, and a broken one is refused with its file and line while the
// page comes back; the demo chosen after them plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/mlstring.h"
#include "flow/flowfixture.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "platform/plat.h"
#include "platform/palette.h"
#include "shell/shell.h"
#include "support/testsupport.h"

namespace {

enum { PASS_MS = 50, MAX_PASSES = 2000 };

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The line a text ends on: where a reader that ran off its end reports.
int LastLine(const std::string& text) { return 1 + (int)std::count(text.begin(), text.end(), '\n'); }

// A rectangle of the last frame shown, row after row (empty: none shown).
std::string FrameArea(int x, int y0, int w, int h)
{
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    std::string area;
    if (PlatHeadless_LastFrame(&pixels, &palette))
        for (int y = y0; y < y0 + h; y++) area.append((const char*)pixels + y * 640 + x, w);
    return area;
}

// The line of the first occurrence of what.
int LineOf(const std::string& text, const std::string& what)
{
    return 1 + (int)std::count(text.begin(), text.begin() + (long)text.find(what), '\n');
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class FileTrustScenarioCheck : public testing::Test {
protected:
    QvLogCapture log;
    QvLocalMessages messages;
    void SetUp() override { QvFlow_Start(nullptr); }
    void TearDown() override { QvFlow_Close(); }
};

// Each scenario passes the page's reading of its own file and breaks only
// where the start reads further: a condition file, a range, the map.
TEST_F(FileTrustScenarioCheck, BrokenScenarioFilesFromTheCustomMissionPageAreRefusedWithFileAndLineAndTheDemoThenPlays)
{
    const std::string demo = ReadFile(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.scn");
    const std::string map = ReadFile(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.map");
    ASSERT_FALSE(demo.empty());
    ASSERT_GT(map.size(), 64u);
    // An end condition without its closing brace; a state machine that
    // sends a special force the scenario never defines (team 2 gets it).
    const std::string openEnd = "DefineEndCondTree(0)\n{\n    DefineCondState()\n    {\n"
                                "        DefineCondition(0 0 0 0 \"never\")\n        {\n"
                                "            CritTimerGame(99999)\n        }\n    }\n";
    const std::string badFsm = "DefineAICondTree()\n{\n    DefineCondState()\n    {\n"
                               "        TriggerSpecialForces(77 51)\n    }\n}\n";
    const std::string withEnd = Replace(demo, "SetEnd(DEMO1.END)", "SetEnd(OPEN.END)");
    const std::string withFsm =
        Replace(demo, "SetTeam(8)", "SetTeam(2)\n{\n    SetFSM(BAD.FSM BAD.FSM BAD.FSM)\n}\nSetTeam(8)");
    const std::string teamNine = Replace(demo, "SetTeam(8)", "SetTeam(9)");
    const std::string unitFar = demo + "\nSetDefaultTeam(0)\nPutUnitAt(90 DemoTank 70 10)\n";
    const std::string buildingFar = demo + "\nSetDefaultTeam(0)\nAddBuildingAt(1090 DemoDepot 10 70 notcritical)\n";
    const std::string regionFar = demo + "\nDefineRegion(95 r 0 0 99999 240)\n";
    struct Row {
        const char* folder;
        std::string scn;
        std::vector<std::pair<std::string, std::string>> files; // beside the scenario file
        std::string why;                                       // after "Scenario [folder] not started: "
    } rows[] = {
        {"ENDOPEN", withEnd, {{"OPEN.END", openEnd}},
         "/ENDOPEN/OPEN.END line " + std::to_string(LastLine(openEnd)) + ": Expected [}] but found [EOF]"},
        {"FSMFORCE", withFsm, {{"BAD.FSM", badFsm}},
         "/FSMFORCE/BAD.FSM line 5: No special forces with ID 77 to trigger"},
        {"TEAMNINE", teamNine, {},
         "/TEAMNINE/QUORVEX.scn line " + std::to_string(LineOf(teamNine, "SetTeam(9)")) + ": Team number of of range"},
        {"UNITFAR", unitFar, {},
         "/UNITFAR/QUORVEX.scn line " + std::to_string(LastLine(unitFar) - 1) +
             ": Unit 90 at (70, 10) - not valid tile location"},
        {"BUILDFAR", buildingFar, {},
         "/BUILDFAR/QUORVEX.scn line " + std::to_string(LastLine(buildingFar) - 1) +
             ": Invalid building location (10 70)"},
        {"REGIONFAR", regionFar, {},
         "/REGIONFAR/QUORVEX.scn line " + std::to_string(LastLine(regionFar) - 1) +
             ": Region 95 not on the map of 64 x 64 tiles"},
        {"EMPTYMAP", demo, {{"QUORVEX.map", ""}}, "map file ["},
        {"CUTMAP", demo, {{"QUORVEX.map", map.substr(0, map.size() / 2)}}, "map file ["},
    };
    QvTempDir home;
    std::vector<std::pair<std::string, std::string>> folders;
    for (const Row& r : rows) folders.emplace_back(r.folder, r.scn);
    QvFlow_MakeHome(home, folders);
    for (const Row& r : rows)
        for (const auto& [name, text] : r.files) {
            const std::string path = home.file("scenario/SINGLE/" + std::string(r.folder) + "/" + name);
            std::filesystem::remove(path); // the map is a link to the demo's
            home.write("scenario/SINGLE/" + std::string(r.folder) + "/" + name, text);
        }
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");

    QvPassScript p(MAX_PASSES);
    p.Wait(0, 12);
    QvFlow_CustomMissions(p);
    p.Wait(0, 12);
    for (const Row& r : rows) {
        const std::string folder = r.folder, why = r.why;
        p.Then([this] { log.clear(); });
        // Load Mission: the shell fades out for the start, which is refused,
        // and the page fades in again.
        QvFlow_LoadMission(p, home.path(), folder, 2);
        p.Until([] { return g_ShellInfo.current == SS_START; }, 0);
        p.Until([] { return g_GameState == GS_FRONTEND && g_ShellInfo.current == SS_CUSTOM; }, 0).Wait(0, 12);
        const std::string mapPath = home.file("scenario/SINGLE/" + folder + "/QUORVEX.map");
        p.Then([this, folder, why, mapPath] {
            EXPECT_EQ(g_GameState, GS_FRONTEND) << folder;
            EXPECT_EQ(g_ShellInfo.current, SS_CUSTOM) << folder;
            const std::string text = log.text();
            const std::string line = "Scenario [" + folder + "] not started: ";
            ASSERT_NE(text.find(line), std::string::npos) << text;
            const std::string reason = text.substr(text.find(line) + line.size());
            EXPECT_NE(reason.find(why), std::string::npos) << folder << ": " << text;
            if (folder.find("MAP") != std::string::npos) {
                EXPECT_NE(text.find("Bad map file [" + mapPath + "] at offset "), std::string::npos) << text;
            }
        });
    }
    QvFlow_LoadMission(p, home.path(), "DEMO", 2);
    QvFlow_PlayThenExit(p, "DEMO", 10, PASS_MS);
    EXPECT_FALSE(p.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(log.text().find("Scenario [DEMO] not started"), std::string::npos) << log.text();
}

// The campaign's Launch of a mission whose end condition is broken: refused
// with the file and line, back on the launch page; mended, it plays.
TEST_F(FileTrustScenarioCheck, ABrokenCampaignMissionIsRefusedOnItsLaunchPageAndPlaysOnceMended)
{
    enum { LAUNCH_PAGE = 22 };
    namespace fs = std::filesystem;
    QvTempDir home;
    QvFlow_MakeHome(home);
    fs::create_directories(home.file("scenario/FIXED"));
    fs::copy(QV_TEST_RUNDIR "/scenario/FIXED/m01a", home.file("scenario/FIXED/m01a"));
    const std::string end = home.file("scenario/FIXED/m01a/WIN.END");
    const std::string whole = ReadFile(end);
    ASSERT_FALSE(whole.empty());
    const std::string cut = whole.substr(0, whole.rfind('}'));
    home.write("scenario/FIXED/m01a/WIN.END", cut);
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");

    QvPassScript p(MAX_PASSES);
    auto at = [&p](int state) {
        p.Until([state] { return g_GameState == GS_FRONTEND && g_ShellInfo.current == state; }, 0).Wait(0, 12);
    };
    p.Wait(0, 12).Click(320, 105); // Single Player
    at(SS_SINGLE);
    p.Click(320, 150); // Start New Game: the bridge, then the campaign map
    at(16);
    p.Click(257, 125); // the first side's logo: its video and the launch page
    at(LAUNCH_PAGE);
    p.Then([this] { log.clear(); });
    p.Click(330, 435).Until([] { return g_ShellInfo.current == SS_START; }, 0); // Launch
    at(LAUNCH_PAGE);
    p.Then([this, end, cut, whole] {
        const std::string text = log.text();
        EXPECT_NE(text.find("Scenario [m01a] not started: " + end + " line " + std::to_string(LastLine(cut)) +
                            ": Expected [}] but found [EOF]"),
                  std::string::npos)
            << text;
        std::ofstream(end, std::ios::binary) << whole;
    });
    p.Click(330, 435); // Launch again
    QvFlow_PlayThenExit(p, "m01a", 5, PASS_MS);
    EXPECT_FALSE(p.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
}

// A copy of the demo made before its end condition moved into the demo's
// folders names it without a copy of its own: Load Mission was refused and
// left the page as it was, so the click seemed to do nothing. It plays now.
// A start refused for a file that is missing shows a box on the page that
// names the file, until its Ok.
TEST_F(FileTrustScenarioCheck, RegressionADemoCopyWithoutItsEndConditionDidNothingOnLoadMission)
{
    enum { BOX_X = 420, BOX_Y = 186, BOX_W = 204, BOX_H = 124 };
    // The box, and the refused row still chosen in the list.
    static constexpr uint32_t kBox = 0xDBD20014u;
    const std::string demo = ReadFile(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.scn");
    QvTempDir home;
    QvFlow_MakeHome(home, {{"GONE", Replace(demo, "SetEnd(DEMO1.END)", "SetEnd(GONE.END)")}, {"MINE", demo}});
    std::filesystem::remove(home.file("scenario/SINGLE/MINE/DEMO0.END"));
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");
    // The box's part of the frame shown.
    auto boxArea = [] { return FrameArea(BOX_X, BOX_Y, BOX_W, BOX_H); };
    std::string plain, boxed, closed;

    QvPassScript p(MAX_PASSES);
    p.Wait(0, 12);
    QvFlow_CustomMissions(p);
    p.Wait(0, 12).Then([&] { plain = boxArea(); });
    QvFlow_LoadMission(p, home.path(), "GONE", 2);
    p.Until([] { return g_ShellInfo.current == SS_START; }, 0);
    p.Until([] { return g_GameState == GS_FRONTEND && g_ShellInfo.current == SS_CUSTOM; }, 0).Wait(0, 12);
    p.Then([&] {
        boxed = boxArea();
        EXPECT_NE(log.text().find("Scenario [GONE] not started: Endcondition file not found for ai team #1 'GONE.END'"),
                  std::string::npos)
            << log.text();
    });
    p.Look(kBox, "filetrust_missing_end.pcx", 2);
    p.Click(BOX_X + BOX_W / 2, BOX_Y + BOX_H - 21).Wait(0, 12).Then([&] { closed = boxArea(); });
    QvFlow_LoadMission(p, home.path(), "MINE", 2);
    QvFlow_PlayThenExit(p, "MINE", 10, PASS_MS);
    EXPECT_FALSE(p.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(log.text().find("Scenario [MINE] not started"), std::string::npos) << log.text();
    ASSERT_FALSE(plain.empty());
    EXPECT_NE(boxed, plain);
    EXPECT_EQ(closed, plain);
}

// Every refused start says why in a box on the page it was chosen on: a
// missing file by its name, a broken one by its name, line and what was
// wrong; the log calls it a refused start, never a fatal error. Before, only
// a missing file on the custom page had a box; the launch page and a broken
// file came back as if the click did nothing, the custom page without its
// row chosen. Ok takes the box away and the page goes on: the custom page's
// row is still the refused one, and the mended mission launches and plays.
TEST_F(FileTrustScenarioCheck, RegressionARefusedStartOtherThanAMissingFileOnTheCustomPageSaidNothing)
{
    enum { LAUNCH_PAGE = 22, LIST_X = 60, LIST_Y = 102, LIST_W = 346, LIST_H = 118 };
    namespace fs = std::filesystem;
    const std::string demo = ReadFile(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.scn");
    const std::string openEnd = "DefineEndCondTree(0)\n{\n    DefineCondState()\n    {\n";
    QvTempDir home;
    QvFlow_MakeHome(home, {{"GONE", Replace(demo, "SetEnd(DEMO1.END)", "SetEnd(GONE.END)")},
                           {"ENDOPEN", Replace(demo, "SetEnd(DEMO1.END)", "SetEnd(OPEN.END)")}});
    home.write("scenario/SINGLE/ENDOPEN/OPEN.END", openEnd);
    fs::create_directories(home.file("scenario/FIXED"));
    fs::copy(QV_TEST_RUNDIR "/scenario/FIXED/m01a", home.file("scenario/FIXED/m01a"));
    const std::string win = home.file("scenario/FIXED/m01a/WIN.END");
    const std::string whole = ReadFile(win), cut = whole.substr(0, whole.rfind('}'));
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");
    // The demo's texts, as the program reads them at start.
    ASSERT_TRUE(MLString_Load(home.file("data/mlstring.cfg").c_str()));
    struct Row {
        int page;                 // where the start is chosen
        const char* scenario;     // refused
        std::function<void()> setup; // before the start
        std::string box;          // the box's lines after its title, a broken file's reason on one line
        std::string log;          // after "Refused start: "
    };
    const std::string endReason = ": Expected [}] but found [EOF]";
    const Row rows[] = {
        {SS_CUSTOM, "GONE", [] {}, "This file is missing:\nGONE.END",
         "Endcondition file not found for ai team #1 'GONE.END'"},
        {SS_CUSTOM, "ENDOPEN", [] {},
         "This file can't be read:\nOPEN.END\nline " + std::to_string(LastLine(openEnd)) + endReason,
         home.file("scenario/SINGLE/ENDOPEN/OPEN.END") + " line " + std::to_string(LastLine(openEnd)) + endReason},
        {LAUNCH_PAGE, "m01a", [win] { fs::remove(win); }, "This file is missing:\nWIN.END",
         "Endcondition file not found for ai team #0 'WIN.END'"},
        {LAUNCH_PAGE, "m01a", [win, cut] { std::ofstream(win, std::ios::binary) << cut; },
         "This file can't be read:\nWIN.END\nline " + std::to_string(LastLine(cut)) + endReason,
         win + " line " + std::to_string(LastLine(cut)) + endReason},
    };
    auto listArea = [] { return FrameArea(LIST_X, LIST_Y, LIST_W, LIST_H); };
    QvPassScript p(MAX_PASSES);
    auto at = [&p](int state) {
        p.Until([state] { return g_GameState == GS_FRONTEND && g_ShellInfo.current == state; }, 0).Wait(0, 12);
    };
    p.Wait(0, 12);
    QvFlow_CustomMissions(p);
    at(SS_CUSTOM);
    int checked = 0;
    std::string chosen;
    for (const Row& r : rows) {
        if (r.page == LAUNCH_PAGE && &r != rows && r.page != (&r - 1)->page) {
            p.Click(80, 427); // Previous Menu
            at(SS_SINGLE);
            p.Click(320, 150); // Start New Game: the bridge, then the campaign map
            at(16);
            p.Click(257, 125); // the first side's logo: its video and the launch page
            at(LAUNCH_PAGE);
        }
        p.Then([this, &r] {
            r.setup();
            log.clear();
        });
        if (r.page == SS_CUSTOM)
            p.Click(100, 108 + 12 * QvFlow_ListLine(home.path(), r.scenario)).Wait(0, 2).Then([&] {
                chosen = listArea();
            }).Click(320, 418); // Load Mission
        else
            p.Click(330, 435); // Launch
        p.Until([] { return g_ShellInfo.current == SS_START; }, 0);
        at(r.page);
        p.Then([this, &r, &chosen, &listArea, &checked] {
            SCOPED_TRACE(r.box);
            char box[1024];
            ASSERT_EQ(Shell_RefusalShown(box, sizeof box), 1);
            std::string lines = box;
            ASSERT_EQ(lines.rfind("Not started\n", 0), 0u) << lines;
            lines.erase(0, strlen("Not started\n"));
            // The reason wraps in the box: its lines read as one.
            const size_t file = lines.find('\n', lines.find('\n') + 1);
            if (file != std::string::npos) std::replace(lines.begin() + (long)file + 1, lines.end(), '\n', ' ');
            EXPECT_EQ(lines, r.box);
            const std::string text = log.text();
            EXPECT_NE(text.find("Refused start: " + r.log), std::string::npos) << text;
            EXPECT_EQ(text.find("Fatal error"), std::string::npos) << text;
            if (r.page == SS_CUSTOM) {
                EXPECT_TRUE(listArea() == chosen) << "the refused row is no longer chosen";
            }
            checked++;
        });
        p.ClickWhere([](int* x, int* y) { Shell_RefusalShown(nullptr, 0, x, y); }); // the box's Ok
        p.Wait(0, 12).Then([&r] {
            EXPECT_EQ(Shell_RefusalShown(nullptr, 0), 0);
            EXPECT_EQ(g_ShellInfo.current, r.page);
        });
    }
    // The page goes on: mended, the mission launches and plays.
    p.Then([win, whole] { std::ofstream(win, std::ios::binary) << whole; });
    p.Click(330, 435);
    QvFlow_PlayThenExit(p, "m01a", 5, PASS_MS);
    EXPECT_FALSE(p.overran) << log.text();
    EXPECT_EQ(checked, 4);
    EXPECT_EQ(g_GameState, GS_QUIT);
}

// A start that no page chose (the configured entry, headless) has no page to
// come back to: a broken file still ends the program with its file and line
// and a non-zero exit.
TEST_F(FileTrustScenarioCheck, AStartNoPageChoseStillEndsAtABrokenFile)
{
    const std::string demo = ReadFile(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.scn");
    QvTempDir home;
    QvFlow_MakeHome(home, {{"ENDOPEN", Replace(demo, "SetEnd(DEMO1.END)", "SetEnd(OPEN.END)")}});
    home.write("scenario/SINGLE/ENDOPEN/OPEN.END", "DefineEndCondTree(0)\n{\n");
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("ENDOPEN");
    EXPECT_EXIT(
        {
            g_GameState = GS_NEWGAME;
            Game_Main();
            exit(0);
        },
        testing::ExitedWithCode(1), "OPEN.END");
}

} // namespace
