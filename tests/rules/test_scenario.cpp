// The scenario file: a scenario folder read into a game, its errors with
// their class, file and line, the commands logged and skipped, and a game
// written back and read again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "ai/ai.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "game/systems.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "rules/endcond.h"
#include "rules/scenario.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/mpteams.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

namespace fs = std::filesystem;

const int kSide = 32;

// One scenario folder with the demo's rule files, palette, tile set and
// sprites, and a flat 32 x 32 map; written once for every test.
QvTempDir* s_home = nullptr;

void WriteInstallation(const QvTempDir& home)
{
    const std::string graphics = home.file("data/graphics");
    fs::create_directories(graphics + "/DEMO");
    fs::create_directories(home.file("scenario/SINGLE/TEST"));
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    home.write("data/graphics/DEMO/DEMO.til", GenTile_Bytes(*set));
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    ASSERT_TRUE(Palstuff_Write((graphics + "/DEMO/DEMO.pal").c_str(), &pal));
    for (int id = 0; id < GENSPRITE_COUNT; id++) {
        GENSPRITE s;
        GenSprite_Build(id, &s);
        SPRITE_DESC d = s.Desc();
        ASSERT_TRUE(Sprite_Write((graphics + "/" + GenSprite_FileName(id)).c_str(), &d));
    }
    fs::create_directories(home.file("data/deftxt"));
    for (const char* name : {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt", "units.txt",
                             "overlay.txt", "build.txt", "general.txt"})
        fs::copy_file(std::string(QV_DEMO_DEFTXT) + "/" + name, home.file("data/deftxt/") + name);
    fs::copy_file(std::string(QV_DEMO_DEFTXT) + "/../graphics/DEMO/trneff.txt",
                  home.file("data/graphics/DEMO/trneff.txt"));
    g_NewMapRequest = MAP_NEWREQUEST{1, kSide, kSide, 8, 1};
    ASSERT_EQ(Map_Load(""), 1);
    ASSERT_EQ(Map_Save(home.file("scenario/SINGLE/TEST/QUORVEX.map").c_str()), 1);
    Map_Free();
}

const char* const kHeader = "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTechLevel(7)\n";

class ScenarioFile : public testing::Test {
protected:
    QvLogCapture log;

    static void SetUpTestSuite()
    {
        s_home = new QvTempDir();
        WriteInstallation(*s_home);
    }
    static void TearDownTestSuite()
    {
        delete s_home;
        s_home = nullptr;
    }
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        // Teams start without computer players: most files here name no
        // state machine, and a computer team must have one.
        g_Config.disableai = 1;
        Game_SetDirectories(s_home->path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("TEST");
        InitCommonGameSystems();
    }
    void TearDown() override
    {
        CloseCommonGameSystems();
        g_MpTeamsStartUnits = 0;
        g_MpTeamsPresetSides = 0;
    }
    static void WriteScn(const std::string& text) { s_home->write("scenario/SINGLE/TEST/QUORVEX.scn", text); }
    // Condition files in the scenario folder and the plan directory.
    static void WriteConditionFiles()
    {
        const char* tree = "DefineEndCondTree(0) { DefineCondState() { } }\n";
        const char* fsm = "DefineAICondTree() { DefineCondState() { } }\n";
        s_home->write("scenario/SINGLE/TEST/win.end", tree);
        s_home->write("scenario/SINGLE/TEST/fsm.end", fsm);
        s_home->write("scenario/SINGLE/TEST/empty.end", "");
        s_home->write("scenario/SINGLE/TEST/a.fsm", fsm);
        s_home->write("data/aip/aip.end", tree);
        s_home->write("data/aip/Def_02_1.FSM", fsm);
        s_home->write("data/aip/Def_00_0.FSM", fsm);
        s_home->write("data/aip/b.fsm", fsm);
        s_home->write("data/aip/c.fsm", fsm);
    }
    static std::string ReadScn() { return s_home->read("scenario/SINGLE/TEST/QUORVEX.scn"); }
    // A new game from the file as it is now.
    static void Restart()
    {
        CloseCommonGameSystems();
        InitCommonGameSystems();
    }
};

// ------------------------------------------------------------------ failures

struct FAILROW {
    const char* name;
    std::string text;
    int errclass;
    std::string message;
    int line;          // the line the log names, 0: none (not a text-file error)
};

TEST_F(ScenarioFile, EveryErrorStopsWithItsClassAndTheTextFileErrorsWithFileAndLine)
{
    const std::string h = kHeader;
    const std::string unit = "PutUnitAt(5 DemoTank 4 4)\n";
    const FAILROW rows[] = {
        {"first token not SetVersion", "setversion(2)\n", ERRC_FATAL, "", 0},
        {"version 3", "SetVersion(3)\nSetDefaultTerrain(DEMO)\n", ERRC_FATAL, "", 0},
        {"empty file", "", ERRC_FATAL, "", 0},
        {"no terrain", "SetVersion(2)\n", ERRC_PARSE, "Text file syntax error", 2},
        {"unknown terrain", "SetVersion(2)\nSetDefaultTerrain(NOPE)\n", ERRC_OPENFILE,
         "terrain palette [NOPE]", 0},
        {"tech level broken", "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTechLevel(", ERRC_PARSE,
         "Text file syntax error", 3},
        {"team out of range", h + "SetTeam(9) {\n}\n", ERRC_PARSE, "Team number of of range", 4},
        {"unknown team keyword", h + "SetTeam(1) {\n  SetColour(3)\n}\n", ERRC_PARSE,
         "Unknown string [SetColour]", 5},
        {"team block not a team", h + "SetTeam x\n", ERRC_PARSE, "Expected [(] but found [x]", 4},
        {"alliance state 3", h + "SetTeam(0) {\n SetAlliance(2 0 0 3 0 0 0 0)\n}\n", ERRC_PARSE,
         "Invalid alliance state [3] 0=enemy, 1=neutral, 2=ally", 5},
        {"group out of range", h + "SetTeam(0) {\n SetGroup(12)\n}\n", ERRC_PARSE,
         "Group number out of range [12]", 5},
        {"unknown object keyword", h + "PutUnit(1 DemoTank 3 3)\n", ERRC_PARSE, "Unknown string [PutUnit]", 4},
        {"unknown unit type", h + "\nPutUnitAt(5 Nothing 4 4)\n", ERRC_PARSE,
         "[Nothing] accessed but not defined", 5},
        {"unit on tile 0", h + "PutUnitAt(5 DemoTank 0 4)\n", ERRC_PARSE,
         "Unit 5 at (0, 4) - not valid tile location", 4},
        {"unit beyond the map", h + "PutUnitAt(5 DemoTank 4 32)\n", ERRC_PARSE,
         "Unit 5 at (4, 32) - not valid tile location", 4},
        {"unit atop another", h + unit + "PutUnitAt(6 DemoTank 4 4)\n", ERRC_PARSE,
         "DemoTank atop another unit at 4 4", 5},
        {"unit id twice", h + unit + "SetDefaultTeam(2)\nPutUnitAt(5 DemoTank 6 6)\n", ERRC_PARSE,
         "Unit id 5 used twice", 6},
        {"unit id 0", h + "PutUnitAt(0 DemoTank 6 6)\n", ERRC_FATAL, "Unable to create unit", 0},
        {"unit id leaving no ids to make", h + "PutUnitAt(2147483647 DemoTank 6 6)\n", ERRC_PARSE,
         "Unit id 2147483647 past the largest, 1073741823", 4},
        {"region id leaving no ids to make", h + "DefineRegion(1073741824 c 1 2 3)\n", ERRC_PARSE,
         "Region id 1073741824 past the largest, 1073741823", 4},
        {"default team 9", h + "SetDefaultTeam(9)\n", ERRC_PARSE, "Team number of of range", 4},
        {"building at 0", h + "AddBuildingAt(7 DemoDepot 0 3 critical)\n", ERRC_PARSE,
         "Invalid building location (0 3)", 4},
        {"building over the edge", h + "AddBuildingAt(7 DemoDepot 31 3 critical)\n", ERRC_PARSE,
         "Invalid building location (31 3)", 4},
        {"building id twice",
         h + "AddBuildingAt(7 DemoDepot 3 3 c)\nAddBuildingAt(7 DemoDepot 10 10 c)\n", ERRC_PARSE,
         "Building id 7 used twice", 5},
        {"building not made", h + "AddBuildingAt(-5 DemoDepot 3 3 c)\n", ERRC_PARSE,
         "Unable to create building (ID=-5)", 4},
        {"thing at -1", h + "AddThingAt(8 Tree -1 3)\n", ERRC_PARSE, "Invalid thing location (-1 3)", 4},
        {"thing beyond the map", h + "AddThingAt(8 Tree 3 32)\n", ERRC_PARSE,
         "Invalid thing location (3 32)", 4},
        {"thing id twice", h + "AddThingAt(8 Tree 3 3)\nAddThingAt(8 Tree 5 5)\n", ERRC_PARSE,
         "Thing id 8 used twice", 5},
        {"region shape", h + "DefineRegion(9 x 1 2 3)\n", ERRC_PARSE, "Unknown string [x]", 4},
        {"region id twice", h + "DefineRegion(9 c 1 2 3)\nDefineRegion(9 r 1 2 3 4)\n", ERRC_PARSE,
         "Region id 9 used twice", 5},
        {"region cut short", h + "DefineRegion(9 r 1 2 3)\n", ERRC_PARSE, "Expected [value] but found [)]", 4},
        {"forces without parentheses", h + "DefineSpecialForces 3 1\n", ERRC_PARSE,
         "Unable to parse DefineSpecialForces", 4},
        {"forces without brace", h + "DefineSpecialForces(3 1) 5\n", ERRC_PARSE,
         "Unable to create special forces (ID=3)", 4},
        {"forces of team 9", h + "DefineSpecialForces(3 9) { }\n", ERRC_PARSE,
         "Unable to create special forces (ID=3)", 4},
        {"command cut short", h + "PutUnitAt(5 DemoTank 4", ERRC_PARSE, "Text file syntax error", 4},
        {"second end-condition file", h + "SetTeam(2) {\n SetEnd(a.end) SetEnd(b.end)\n}\n", ERRC_FATAL,
         "Cannot have two end condition files per team in scenario file.", 0},
        {"end-condition file missing", h + "SetTeam(2) { SetEnd(none.end) }\n", ERRC_FATAL,
         "Endcondition file not found for ai team #2 'none.end'", 0},
        {"end-condition file of the wrong kind", h + "SetTeam(2) { SetEnd(fsm.end) }\n", ERRC_FATAL,
         "Not an aicondtree fsm [" + Fs_Resolve((std::string(g_ScenarioDir) + "\\fsm.end").c_str()) + "]", 0},
        {"empty end-condition file", h + "SetTeam(2) { SetEnd(empty.end) }\n", ERRC_FATAL,
         "Not an aicondtree fsm [" + Fs_Resolve((std::string(g_ScenarioDir) + "\\empty.end").c_str()) + "]", 0},
        {"state machine missing", h + "SetTeam(4) { SetFSM(x.fsm y.fsm z.fsm) }\n", ERRC_FATAL,
         "FSM not found for ai team #4 fsm 'x.fsm'", 0},
        {"state machine of the wrong kind", h + "SetTeam(4) { SetFSM(win.end y.fsm z.fsm) }\n", ERRC_FATAL,
         "Not an aicondtree fsm [" + Fs_Resolve((std::string(g_ScenarioDir) + "\\win.end").c_str()) + "]", 0},
        {"two state machine names", h + "SetTeam(4) {\n SetFSM(a.fsm b.fsm)\n}\n", ERRC_PARSE,
         "Text file syntax error", 5},
        {"force id twice", h + "DefineSpecialForces(3 1) { }\nDefineSpecialForces(3 2) { }\n", ERRC_PARSE,
         "Special force id 3 used twice", 5},
        {"force list cut short", h + "DefineSpecialForces(3 1) { 4 5\n", ERRC_PARSE,
         "Expected [}] but found [EOF]", 5},
        {"missing parenthesis", h + "PutUnitAt 5 DemoTank 4 4\n", ERRC_PARSE, "Expected [(] but found [5]", 4},
        {"start location beyond the map", h + "SetTeam(1) {\n SetStartLocation(768 10)\n}\n", ERRC_PARSE,
         "Start location (768 10) not on the map of 32 x 32 tiles", 5},
        {"start location before the map", h + "SetTeam(1) {\n SetStartLocation(-1 10)\n}\n", ERRC_PARSE,
         "Start location (-1 10) not on the map of 32 x 32 tiles", 5},
        {"rectangle beyond the map", h + "DefineRegion(9 r 0 0 769 10)\n", ERRC_PARSE,
         "Region 9 not on the map of 32 x 32 tiles", 4},
        {"circle's centre off the map", h + "DefineRegion(9 c -1 5 3)\n", ERRC_PARSE,
         "Region 9 not on the map of 32 x 32 tiles", 4},
        {"circle wider than the map", h + "DefineRegion(9 c 5 5 2000000000)\n", ERRC_PARSE,
         "Region 9 not on the map of 32 x 32 tiles", 4},
    };
    WriteConditionFiles();
    for (const FAILROW& r : rows) {
        SCOPED_TRACE(r.name);
        WriteScn(r.text);
        log.clear();
        Error_SetFatalHook(QvTest_ThrowHook);
        bool caught = false;
        try {
            Scenario_Load(nullptr);
        } catch (const QvFatal& f) {
            caught = true;
            EXPECT_EQ(f.errclass, r.errclass);
            const std::string expected =
                r.message.empty() ? "Unsupported scenario version [" + Fs_Resolve(g_ScenarioScnPath) + "]"
                                  : r.message;
            EXPECT_EQ(f.message, expected);
        }
        Error_SetFatalHook(nullptr);
        EXPECT_TRUE(caught);
        if (r.line) {
            EXPECT_NE(log.text().find("File : " + Fs_Resolve(g_ScenarioScnPath)), std::string::npos)
                << log.text();
            EXPECT_NE(log.text().find("Line : " + std::to_string(r.line) + "\n"), std::string::npos)
                << log.text();
        }
        Restart();
    }
}

TEST_F(ScenarioFile, AMissingFileStopsTheProgramWithExitCodeOne)
{
    fs::remove(s_home->file("scenario/SINGLE/TEST/QUORVEX.scn"));
    EXPECT_EXIT(Scenario_Load(nullptr), testing::ExitedWithCode(1), "scenario file \\[");
}

// ------------------------------------------------------------------ what the file makes

TEST_F(ScenarioFile, HeaderAndTeamBlocksSetTheTeams)
{
    std::vector<std::string> stages;
    static std::vector<std::string>* seen;
    seen = &stages;
    teamdata[3].side = TS_SOLARCH; // the multiplayer set-up chose it
    WriteScn("SetVersion(2) SetDefaultTerrain(demo)\n"
             "SetTeam(0) {\n SetTeamSide(7) SetCredit(-20) SetGroup(3) SetCPULoad(-5)\n"
             " SetStartLocation(500 260) SetAlliance(0 1 2 0 0 0 0 0)\n}\n"
             "SetTeam(1) { SetTeamSide(-3) SetCredit(1500) SetCPULoad(40) }\n"
             "SetTeam(3) { SetTeamSide(2) }\n");
    Scenario_Load(+[](const char* text) { seen->push_back(text); });
    EXPECT_EQ(g_TechLevel, 10);
    EXPECT_NE(log.text().find("TechLevel is not specified, assuming default"), std::string::npos);
    EXPECT_STREQ(g_TerrainName, "demo");
    EXPECT_EQ(mapsizex, kSide);
    EXPECT_TRUE(Mapgrid_IsOpen());
    EXPECT_EQ(teamdata[0].side, TS_MAX) << "7 clamps to 4";
    EXPECT_EQ(teamdata[1].side, 0) << "-3 clamps to 0";
    EXPECT_EQ(teamdata[3].side, TS_SOLARCH) << "the preset side stays";
    EXPECT_EQ(g_MpTeamsPresetSides, 1);
    EXPECT_EQ(teamdata[0].credits, 0);
    EXPECT_EQ(teamdata[1].credits, 1500);
    EXPECT_EQ(teamdata[0].group, 3);
    EXPECT_EQ(teamdata[0].cpu.maxload, 0);
    EXPECT_EQ(teamdata[1].cpu.maxload, 40);
    EXPECT_EQ(teamdata[0].startpos.x, 500);
    EXPECT_EQ(teamdata[0].startpos.y, 260);
    EXPECT_EQ(teamdata[1].startpos.x, -1) << "no start location: (-1, -1)";
    EXPECT_EQ(Team_GetRelation(0, 1), TR_NEUTRAL);
    EXPECT_EQ(Team_GetRelation(0, 2), TR_ALLY);
    EXPECT_EQ(Team_GetRelation(0, 3), TR_ENEMY);
    const std::vector<std::string> order = {"Loading ..", "Loading .. Version", "Loading .. Terrain",
                                            "Loading .. Map", "Loading .. Team Info",
                                            "Loading .. Map Objects", "Loading .. End Conditions",
                                            "Loading .. FSMs", "Loading .. Complete"};
    std::vector<std::string> got;
    for (const std::string& s : stages)
        if (s.rfind("Loading", 0) == 0) got.push_back(s);
    EXPECT_EQ(got, order);
    EXPECT_GT(stages.size(), order.size()) << "the rule files are named as they load";
}

TEST_F(ScenarioFile, ObjectCommandsMakeUnitsBuildingsThingsAndRegionsAndSkipWhatIsLogged)
{
    WriteScn(std::string(kHeader) +
             "SetDefaultTeam(1)\n"
             "PutUnitAt(12 DemoTank 4 4)\n"
             "PutDamagedUnitAt(13 DemoTank 5 4 33)\n"
             "PutDamagedUnitAt(14 DemoTank 6 4 0)\n"
             "SetTactAI(12 2 9 0)\n"
             "AddWaypoint(12 fire 7 7 3)\n"
             "AddWaypoint(12 Move 0 7 1)\n"
             "AddWaypoint(12 Jump 7 7 1)\n"
             "AddWaypoint(12 move 31 7 1)\n"
             "AddWaypoint(99 Move 7 7 1)\n"
             "SetSOrderTrail(12 local loop REVERSED)\n"
             "SetSOrderTrail(13 Global Loop Forward)\n"
             "SetSOrderTrail(13 Local Spin Forward)\n"
             "SetSOrderTrail(13 Global Spin Sideways)\n"
             "SetSOrderAutoMove(13 3)\n"
             "SetSOrderAutoMove(14 2)\n"
             "SetTactAI(40 0 0 0)\n"
             "AddBuildingAt(20 DemoDepot 10 10 cheap)\n"
             "AddDamagedBuildingAt(21 DemoFactory 20 20 notcritical 50)\n"
             "AddBuildingAt(22 NoSuchBuilding 3 20 critical)\n"
             "AddThingAt(30 Tree 2 2)\n"
             "AddThingAt(31 NoSuchThing 2 2)\n"
             "DefineRegion(40 c 100 120 48)\n"
             "DefineRegion(41 rect 10 20 300 400)\n"
             "PutDamagedUnitAt(15 DemoTank 7 4 2000000000)\n");
    Scenario_Load(nullptr);
    UNIT* a = Units_IdToUnitPtr(12, 1);
    UNIT* b = Units_IdToUnitPtr(13, 1);
    UNIT* c = Units_IdToUnitPtr(14, 1);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(b->hitpoints, b->type->maxhitpoints * 33 / 100);
    EXPECT_EQ(c->hitpoints, 1) << "at least 1";
    EXPECT_EQ(Units_IdToUnitPtr(15, 1)->hitpoints, c->type->maxhitpoints) << "at most all, the product taken wide";
    EXPECT_EQ(a->usertactaiinfo.tenacity, 2);
    EXPECT_EQ(a->tactaiinfo.tenacity, 2);
    EXPECT_EQ(a->usertactaiinfo.autonomy, 0);
    EXPECT_EQ(a->usertactaiinfo.selfpreservation, teamdata[1].unitdef.selfpreservation)
        << "only the value out of range is skipped";
    ASSERT_EQ(Trail_Count(a->localtrail), 2);
    EXPECT_EQ(a->localtrail->head->type, WPT_FIRE);
    EXPECT_EQ(a->localtrail->tail->x, 31);
    EXPECT_EQ(a->sorder.code, SO_TRAIL);
    EXPECT_EQ(a->sorder.trail.mode, TRAIL_LOOP);
    EXPECT_EQ(a->sorder.trail.waypoint, a->localtrail->head) << "from the first waypoint";
    EXPECT_EQ(a->sorder.trail.followstate, 0) << "forward whatever the word";
    EXPECT_NE(b->sorder.code, SO_TRAIL);
    EXPECT_NE(b->sorder.code, SO_AUTOMOVE);
    EXPECT_EQ(c->sorder.code, SO_AUTOMOVE);
    EXPECT_EQ(c->sorder.automove.level, 2);
    BUILDING* depot = Build_FindById(20);
    BUILDING* factory = Build_FindById(21);
    ASSERT_TRUE(depot && factory);
    EXPECT_EQ(depot->team, 1);
    EXPECT_EQ(depot->critical, 1) << "any word beginning with c";
    EXPECT_EQ(factory->critical, 0);
    EXPECT_EQ(factory->hitpoints, factory->buildingtype->maxhitpoints / 2);
    EXPECT_EQ(Build_Count(), 2);
    EXPECT_EQ(Ovl_Count(), 1);
    EXPECT_EQ(g_Overlays->id, 30);
    REGION* circle = Region_FindById(40);
    REGION* rect = Region_FindById(41);
    ASSERT_TRUE(circle && rect);
    EXPECT_EQ(circle->flags, (uint32_t)RT_CIRCLE);
    EXPECT_EQ(circle->x2, 48);
    EXPECT_EQ(rect->flags, (uint32_t)RT_RECTANGLE);
    EXPECT_EQ(rect->y2, 400);
    EXPECT_GT(Uid_Next(), 41) << "every id of the file is reserved";
    EXPECT_EQ(Scenario_DefaultTeam(), 1);
    const std::string text = log.text();
    for (const char* line :
         {"line 8: self preservation is out of range [9]", "line 10: AddWaypoint has invalid x/y position [0,7]",
          "line 11: AddWaypoint has unknown waypoint type [Jump]",
          "line 13: AddWaypoint has invalid unit id [99]",
          "line 15: SetSOrderTrail has unknown trail type [Global]",
          "line 16: SetSOrderTrail has unknown trail mode [Spin]",
          "line 17: SetSOrderTrail has unknown trail direction [Sideways]",
          "line 18: automove order is out of range [3]", "line 20: SetTactAI has invalid unit id [40]",
          "Undefined building type [NoSuchBuilding] in scenario file",
          "Undefined thing type [NoSuchThing] in scenario file"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST_F(ScenarioFile, StartUnitsOptionLeavesOutThePlayingTeamsObjectsButNotTheNeutralTeams)
{
    g_MpTeamsStartUnits = 1;
    WriteScn(std::string(kHeader) + "PutUnitAt(12 DemoTank 4 4)\nAddBuildingAt(20 DemoDepot 10 10 c)\n"
                                    "SetDefaultTeam(8)\nPutUnitAt(13 DemoTank 5 5)\n"
                                    "AddBuildingAt(21 DemoDepot 20 10 c)\n");
    Scenario_Load(nullptr);
    EXPECT_EQ(Units_Count(), 1);
    EXPECT_NE(Units_IdToUnitPtr(13, 8), nullptr);
    EXPECT_EQ(Build_Count(), 1);
    EXPECT_NE(Build_FindById(21), nullptr);
}

TEST_F(ScenarioFile, ConditionFilesComeFromTheScenarioFolderThenThePlanDirectoryAndComputersGetTheirSidesDefault)
{
    WriteConditionFiles();
    for (int t : {2, 5, 6}) teamdata[t].type = TT_COMPUTER;
    AI_SetFsmVariation(2, 1);
    WriteScn(std::string(kHeader) +
             "SetTeam(1) { SetEnd(win.end) }\n"
             "SetTeam(2) { SetTeamSide(2) SetEnd(aip.end) }\n"
             "SetTeam(3) { SetFSM(a.fsm b.fsm c.fsm) }\n"
             "SetTeam(5) { SetTeamSide(4) }\n");
    Scenario_Load(nullptr);
    EXPECT_NE(Endcond_GetTree(1, ENDCOND_END), nullptr);
    EXPECT_NE(Endcond_GetTree(2, ENDCOND_END), nullptr) << "from the plan directory";
    EXPECT_NE(Endcond_GetTree(2, ENDCOND_FSM), nullptr) << "Def_02_1.FSM";
    EXPECT_NE(Endcond_GetTree(3, ENDCOND_FSM), nullptr) << "a team that isn't a computer's with SetFSM";
    EXPECT_NE(Endcond_GetTree(5, ENDCOND_FSM), nullptr) << "side 4 counts as 0: Def_00_0.FSM";
    EXPECT_NE(Endcond_GetTree(6, ENDCOND_FSM), nullptr) << "no side: Def_00_0.FSM";
    EXPECT_EQ(Endcond_GetTree(0, ENDCOND_FSM), nullptr) << "the human team without SetFSM has none";
    EXPECT_EQ(Endcond_GetTree(4, ENDCOND_FSM), nullptr) << "a disabled team without SetFSM has none";
    EXPECT_EQ(Scenario_DefaultTeam(), 6) << "the team of the last file read";
}

// The load as a step that a broken file returns from: the refusal names the
// file and line (of a condition file too, for an error without a line of
// its own), and the systems closed and opened again load the next file.
class FileTrustScenarioLoad : public ScenarioFile {};

TEST_F(FileTrustScenarioLoad, BrokenFilesAreRefusedWithFileAndLineAndTheNextLoadStartsClean)
{
    WriteConditionFiles();
    s_home->write("scenario/SINGLE/TEST/open.end", "DefineEndCondTree(0)\n{\n  DefineCondState()\n  {\n");
    s_home->write("scenario/SINGLE/TEST/force.fsm",
                  "DefineAICondTree()\n{\n  DefineCondState()\n  {\n    ReleaseSpecialForces(44)\n  }\n}\n");
    const std::string dir = Fs_Resolve(g_ScenarioDir);
    const struct {
        std::string text, why;
    } rows[] = {
        {std::string(kHeader) + "SetTeam(1) { SetEnd(open.end) }\n",
         dir + "/open.end line 5: Expected [}] but found [EOF]"},
        {std::string(kHeader) + "SetTeam(3) { SetFSM(force.fsm b.fsm c.fsm) }\n",
         dir + "/force.fsm line 5: No special forces with ID 44 to release"},
        {std::string(kHeader) + "DefineRegion(9 r 0 0 10 10)\nPutUnitAt(5 DemoTank 40 4)\n",
         dir + "/QUORVEX.scn line 5: Unit 5 at (40, 4) - not valid tile location"},
        {"SetVersion(3)\n", dir + "/QUORVEX.scn line 1: Unsupported scenario version [" + dir + "/QUORVEX.scn]"},
        {"SetVersion(2)\nSetDefaultTerrain(NOPE)\n", dir + "/QUORVEX.scn line 2: terrain palette [NOPE]"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        WriteScn(r.text);
        log.clear();
        char why[600];
        EXPECT_EQ(Scenario_TryLoad(nullptr, why, sizeof why), 0);
        EXPECT_EQ(std::string(why), r.why);
        EXPECT_NE(log.text().find(r.why), std::string::npos) << log.text();
        Restart();
    }
    // The refused loads left nothing behind: region 9 and unit 5, which the
    // third file made before it failed, are made again without "used twice";
    // a start location of none and regions to the map's far edges pass.
    WriteScn(std::string(kHeader) + "SetTeam(1) {\n SetEnd(win.end)\n SetStartLocation(-1 -1)\n}\n"
             "DefineRegion(9 r 0 0 768 768)\nDefineRegion(10 c 767 767 1536)\nPutUnitAt(5 DemoTank 4 4)\n");
    char why[600];
    ASSERT_EQ(Scenario_TryLoad(nullptr, why, sizeof why), 1) << why;
    EXPECT_STREQ(why, "");
    EXPECT_NE(Endcond_GetTree(1, ENDCOND_END), nullptr);
    EXPECT_EQ(Endcond_GetTree(3, ENDCOND_FSM), nullptr);
    EXPECT_NE(Region_FindById(10), nullptr);
    EXPECT_NE(Units_IdToUnitPtr(5, 0), nullptr);
}

// A unit the file puts inside a building, before the building (as the
// editor writes) or after it, moves to the nearest tile free at its level
// (ties to the lower row), with a warning naming its line and both tiles;
// a unit at a bay its type may enter stays.
TEST_F(FileTrustScenarioLoad, AUnitInsideABuildingMovesToTheNearestFreeTileWithItsLine)
{
    const std::string file = Fs_Resolve(g_ScenarioDir) + "/QUORVEX.scn";
    const struct {
        std::string objects;
        int x, y;          // where unit 12 ends
        std::string warning; // after the file name, "" for none
    } rows[] = {
        {"PutUnitAt(12 DemoTank 11 11)\nAddBuildingAt(20 DemoDepot 10 10 c)\n", 12, 11,
         " line 4: DemoTank 12 stands where it can't at 11 11, moved to 12 11"},
        {"PutUnitAt(13 DemoTank 12 11)\nPutUnitAt(12 DemoTank 11 11)\nAddBuildingAt(20 DemoDepot 10 10 c)\n", 11, 12,
         " line 5: DemoTank 12 stands where it can't at 11 11, moved to 11 12"},
        {"AddBuildingAt(20 DemoDepot 10 10 c)\nPutUnitAt(12 DemoTank 10 10)\n", 10, 9,
         " line 5: DemoTank 12 stands where it can't at 10 10, moved to 10 9"},
        {"PutUnitAt(12 DemoTank 21 21)\nAddBuildingAt(21 DemoFactory 20 20 c)\n", 21, 21, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.objects);
        WriteScn(std::string(kHeader) + r.objects);
        log.clear();
        Scenario_Load(nullptr);
        const UNIT* u = Units_IdToUnitPtr(12, 0);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->tilepos.x, r.x);
        EXPECT_EQ(u->tilepos.y, r.y);
        EXPECT_EQ(Units_UnitAtMapLevel(u->maplevel, r.x, r.y), u);
        if (r.warning.empty())
            EXPECT_EQ(log.text().find("stands where it can't"), std::string::npos) << log.text();
        else
            EXPECT_NE(log.text().find(file + r.warning), std::string::npos) << log.text();
        Restart();
    }
}

// ------------------------------------------------------------------ the round trip

// Every object by kind and id with the values the file carries.
std::map<std::string, std::string> Snapshot()
{
    std::map<std::string, std::string> out;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        std::ostringstream s;
        s << (int)u->team << ' ' << u->type->symbolid << ' ' << u->tilepos.x << ',' << u->tilepos.y << " hp "
          << u->hitpoints << " ta " << u->usertactaiinfo.tenacity << u->usertactaiinfo.selfpreservation
          << u->usertactaiinfo.autonomy << " order " << u->sorder.code;
        if (u->sorder.code == SO_TRAIL) s << " mode " << u->sorder.trail.mode;
        if (u->sorder.code == SO_AUTOMOVE) s << " level " << u->sorder.automove.level;
        for (WAYPOINT* w = u->localtrail->head; w; w = w->next)
            s << " wp " << w->type << ' ' << w->x << ',' << w->y << ' ' << w->value;
        out["unit " + std::to_string(u->id)] = s.str();
    }
    for (BUILDING* b = g_Buildings; b; b = b->next)
        out["building " + std::to_string(b->id)] =
            std::to_string(b->team) + ' ' + b->buildingtype->name + ' ' + std::to_string(b->tilex) + ',' +
            std::to_string(b->tiley) + " hp " + std::to_string(b->hitpoints) + " c " + std::to_string(b->critical);
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        out["thing " + std::to_string(o->id)] = std::to_string(o->type) + ' ' + std::to_string(o->tilepos.x) +
                                                ',' + std::to_string(o->tilepos.y);
    for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0))
        out["region " + std::to_string(r->id)] = std::to_string(r->flags) + ' ' + std::to_string(r->x1) + ' ' +
                                                 std::to_string(r->y1) + ' ' + std::to_string(r->x2) + ' ' +
                                                 std::to_string(r->y2);
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (SPECIAL_FORCE* f = AI_SpecialForceFirst(t); f; f = AI_SpecialForceNext()) {
            std::string units = std::to_string(f->team);
            for (int id = AI_SpecialForceUnitFirst(f); id; id = AI_SpecialForceUnitNext())
                units += ' ' + std::to_string(id);
            out["force " + std::to_string(f->id)] = units;
        }
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        std::ostringstream s;
        const TEAM_DATA& d = teamdata[t];
        s << (Endcond_GetEndCondFile(t) ? Endcond_GetEndCondFile(t) : "-") << ' ';
        for (int i = 0; i < AI_MAX_FSMS; i++) s << (AI_GetFsmFilename(t, i) ? AI_GetFsmFilename(t, i) : "-") << ' ';
        s << d.side << ' ' << d.group << ' ' << d.credits << ' ' << d.cpu.maxload << ' ' << d.startpos.x << ','
          << d.startpos.y;
        for (int i = 0; i < 8; i++) s << ' ' << Team_GetRelation(t, i);
        out["team " + std::to_string(t)] = s.str();
    }
    return out;
}

std::string WithoutBuildTime(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind("; Built at ", 0) != 0) out += line + "\n";
    return out;
}

TEST_F(ScenarioFile, ASavedGameReadsBackWithEveryObjectAndSettingAndASecondSaveWritesTheSameFile)
{
    WriteScn(std::string(kHeader) +
             "SetTeam(0) { SetTeamSide(1) SetCredit(900) SetGroup(2) SetCPULoad(30)\n"
             "  SetStartLocation(240 300) SetAlliance(0 2 1 0 0 0 0 0) }\n"
             "SetTeam(1) { SetTeamSide(4) SetCredit(50) SetAlliance(2 0 0 1 0 0 0 0) }\n"
             "SetDefaultTeam(0)\n"
             "PutUnitAt(12 DemoTank 4 4)\nSetTactAI(12 2 0 1)\n"
             "AddWaypoint(12 Move 8 8 5)\nAddWaypoint(12 Fire 9 8 0)\nAddWaypoint(12 Move 12 3 2)\n"
             "SetSOrderTrail(12 Local Reverse Forward)\n"
             "PutDamagedUnitAt(13 DemoVortex 5 4 37)\n"
             "PutUnitAt(14 DemoTank 6 4)\nSetSOrderAutoMove(14 1)\n"
             "SetDefaultTeam(1)\nPutUnitAt(15 DemoTank 20 20)\nPutUnitAt(16 DemoFlamer 21 20)\n"
             "AddBuildingAt(20 DemoDepot 10 10 critical)\n"
             "AddDamagedBuildingAt(21 DemoFactory 16 3 notcritical 45)\n"
             "SetDefaultTeam(8)\nPutUnitAt(17 DemoTank 2 28)\n"
             "AddThingAt(30 Tree 2 2)\nAddThingAt(31 Crater 3 9)\n"
             "DefineRegion(40 c 100 120 48)\nDefineRegion(41 r 10 20 300 400)\n"
             "DefineSpecialForces(50 0) { 12 14 13 }\nDefineSpecialForces(51 1) { }\n");
    // Condition files are kept by name and read back the same way.
    WriteConditionFiles();
    std::string text = ReadScn();
    text.insert(text.find("SetTeam(1) {") + 12, " SetEnd(win.end) SetFSM(a.fsm b.fsm c.fsm)");
    WriteScn(text);
    Scenario_Load(nullptr);
    const auto first = Snapshot();
    EXPECT_EQ(first.at("force 50"), "0 12 14 13");
    ASSERT_EQ(Scenario_Save(), 1);
    const std::string s1 = ReadScn();
    EXPECT_NE(s1.find("SetTeamSide(4)"), std::string::npos);
    EXPECT_EQ(s1.find("SetTeamSide(-1)"), std::string::npos) << "teams without a side write none";
    Restart();
    Scenario_Load(nullptr);
    EXPECT_EQ(Snapshot(), first);
    ASSERT_EQ(Scenario_Save(), 1);
    const std::string s2 = ReadScn();
    Restart();
    Scenario_Load(nullptr);
    EXPECT_EQ(Snapshot(), first);
    ASSERT_EQ(Scenario_Save(), 1);
    const std::string s3 = ReadScn();
    EXPECT_EQ(WithoutBuildTime(s3), WithoutBuildTime(s1));
    EXPECT_EQ(WithoutBuildTime(s2), WithoutBuildTime(s1)) << "units and buildings in the order they were made";
    Restart();
    Scenario_Load(nullptr);
    EXPECT_EQ(teamdata[2].side, TS_DEFAULT) << "a team without a side keeps none";
}

TEST_F(ScenarioFile, TheSaveWritesTheFormatLineByLine)
{
    WriteScn(std::string(kHeader) + "SetTeam(0) { SetTeamSide(0) SetStartLocation(24 48) }\n"
                                    "SetDefaultTeam(1)\nPutUnitAt(12 DemoTank 4 4)\nAddBuildingAt(20 DemoDepot 10 10 c)\n"
                                    "AddThingAt(30 Tree 2 2)\nDefineRegion(40 c 100 120 48)\n");
    Scenario_Load(nullptr);
    ASSERT_EQ(Scenario_Save(), 1);
    const std::string s = ReadScn();
    std::string path = g_ScenarioScnPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    const std::string expected_start = "; SCENARIO " + path + "\n; Built at ";
    EXPECT_EQ(s.rfind(expected_start, 0), 0u) << s;
    for (const char* part :
         {";\nSetVersion(2)\n;\n;\n; *** The Terrain type\n;\nSetDefaultTerrain(DEMO)\n;\n; *** Tech-level\n;\n"
          "SetTechLevel(7)\n;\n;Team information for team 0\n;\nSetTeam(0)\n{\n"
          "  SetTeamSide(0)    ; (0=Ashward, 1=Solarch, 2=Velkin)\n  SetGroup(0)\n  SetCredit(",
          "  SetStartLocation(24 48)\n  SetAlliance(2 0 0 0 0 0 0 0)\n}\n\n;\n;Team information for team 1\n",
          ";\n; *** Unit Declarations\n;\n;\n; Units for Team 0\n;\nSetDefaultTeam(0)\n;\n; Units for Team 1\n;\n"
          "SetDefaultTeam(1)\nPutUnitAt(12 DemoTank 4 4)\n;\n; Units for Team 2\n",
          ";\n; *** Building Declarations\n;\n;\n; Buildings for Team 1\n;\nSetDefaultTeam(1)\n\n"
          "AddBuildingAt(20 DemoDepot 10 10 critical)\n;\n; *** Thing (overlay) Declarations\n;\n;\n; Overlays\n;\n"
          "AddThingAt(30 Tree 2 2)\nDefineRegion(40 c 100 120 48)\n"})
        EXPECT_NE(s.find(part), std::string::npos) << part << "\n---\n" << s;
}

TEST_F(ScenarioFile, AFailedSaveGivesZeroAndLeavesWhatWasThere)
{
    WriteScn(std::string(kHeader));
    Scenario_Load(nullptr);
    // The file can't be made: its folder is gone.
    Game_SetScenarioName("GONE");
    EXPECT_EQ(Scenario_Save(), 0);
    EXPECT_NE(log.text().find("scenario file [" + Fs_Resolve(g_ScenarioScnPath) + "]"), std::string::npos);
    // Written whole but not put in place: a folder stands where the file goes.
    Game_SetScenarioName("BLOCKED");
    fs::create_directories(s_home->file("scenario/SINGLE/BLOCKED/QUORVEX.scn/keep"));
    EXPECT_EQ(Scenario_Save(), 0);
    EXPECT_NE(log.text().find("scenario file [" + Fs_Resolve(g_ScenarioScnPath) + "]"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(s_home->file("scenario/SINGLE/BLOCKED/QUORVEX.scn/keep")));
    EXPECT_EQ(fs::directory_iterator(s_home->file("scenario/SINGLE/BLOCKED"))->path().filename(), "QUORVEX.scn")
        << "no temporary file is left behind";
}

// Regression: the scenario's paths were shown as joined, with backslashes
// ("map file [...run\scenario\SINGLE\NOMAP\QUORVEX.map]"): they are shown
// as the files that were looked for.
class FileTrustMessages : public ScenarioFile {};

TEST_F(FileTrustMessages, ScenarioPathsInMessagesAreLinuxPaths)
{
    WriteScn(std::string(kHeader));
    Scenario_Load(nullptr);
    Game_SetScenarioName("GONE");
    EXPECT_EQ(Scenario_Save(), 0);
    EXPECT_NE(log.text().find("scenario file [" + s_home->file("scenario/SINGLE/GONE/QUORVEX.scn") + "]"),
              std::string::npos)
        << log.text();
    Restart();
    Game_SetScenarioName("NOMAP");
    const std::string folder = s_home->file("scenario/SINGLE/NOMAP/");
    QV_EXPECT_FATAL(Scenario_Load(nullptr), "scenario file [" + folder + "QUORVEX.scn]");
    s_home->write("scenario/SINGLE/NOMAP/QUORVEX.scn", kHeader);
    QV_EXPECT_FATAL(Scenario_Load(nullptr), "map file [" + folder + "QUORVEX.map] cannot be opened");
}

// Team 8 is everyone's enemy until a scenario says otherwise, and a relation
// set for it is stored as neutral: a written line of enmity came back as
// neutrality.
TEST_F(ScenarioFile, NeutralTeamStaysEveryonesEnemyAcrossASaveAndLoad)
{
    WriteScn(std::string(kHeader));
    Scenario_Load(nullptr);
    ASSERT_EQ(Team_GetRelation(8, 0), TR_ENEMY);
    ASSERT_EQ(Scenario_Save(), 1);
    Restart();
    Scenario_Load(nullptr);
    for (int t = 0; t < 8; t++) EXPECT_EQ(Team_GetRelation(8, t), TR_ENEMY) << t;
}

} // namespace
