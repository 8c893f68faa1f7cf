// The whole simulation: a generated 128 x 128 scenario of 8 teams of 100
// armed units each, every team at war with every other and every unit
// roaming, loaded through the scenario reader with the demo's rule files and
// run for 2000 updates (or until a team has won) without drawing. With
// computer players (printed first): a 256 x 256 scenario of 8 computer teams
// of 250 units, each with a factory that its plan keeps busy, two crews that
// put up a waterworks and depots, and a well beside it that its tankers
// harvest, the local team 8 watching.
//
// The reference is real time: 20 updates a second. Besides the benchmark's
// own time, one line gives updates per second, the multiple of real time and
// each update step's share of the time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "rules/endcond.h"
#include "rules/scenario.h"
#include "units/orders.h"
#include "units/team.h"

namespace {

namespace fs = std::filesystem;

enum { TEAMS = 8, UPDATES = 2000, REAL_TIME_UPS = 20 };

// What one benchmark plays.
struct BENCHWORLD {
    int side;        // map side in tiles
    int per_team;    // units per team
    int computer;    // computer players with a factory and a plan, else none
};

const BENCHWORLD s_plain = {128, 100, 0};
const BENCHWORLD s_computer = {256, 250, 1};

// Each side's state machine names the bench plan.
const char* const kMachine =
    "DefineAICondTree()\n{\n    Description(\"Build by the bench plan.\")\n"
    "    DefineCondState()\n    {\n        SetAIPFile(BENCH.AIP)\n"
    "        DefineCondition(1 0 0 0 \"Again\")\n        {\n            CritTimer(100000)\n        }\n"
    "    }\n}\n";
// Tanks to have, more than a factory makes in the run: it is never idle;
// the crews' buildings and tankers come from accounts of their own. The
// strategic weights send squads against enemy troops and bases, so the
// scheduler and the squads' moves run as in a game.
const char* const kPlan =
    "struct account { string account_name; int budget; int max_reserve; };\n"
    "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
    "string transport = \"DemoTanker\"; int recompute_strategy_period = 90;\n"
    "int ground_unit_threat = 10; int threat_priority = 10; int distance_priority = -1;\n"
    "int appropriateness_priority = 100; int defend_buildings_priority = 5; int attack_enemy_base_priority = 60;\n"
    "int persistence_priority = 10; int exploration_priority = 1; int perimeter_priority = 5;\n"
    "int resource_priority = 1; int danger_priority = 1; double max_matching_force_ratio = 2.0;\n"
    "double min_matching_force_ratio = 0.5; double generic_ground_ratio = 0.999999;\n"
    "int max_building_defense_force = 600; int min_building_defense_force = 200; int max_perimeter_force = 200;\n"
    "int max_exploration_force = 100; int max_resource_force = 100; int relaxation_cycles = 2;\n"
    "float relaxation_coefficient = 0.5;\n"
    "account unit_construction_program[] = { { \"none\", 0, 0 }, { \"army\", 1, 0 }, { \"works\", 1, 0 } };\n"
    "entry none[] = { { 1, 0, \"DemoTank\", 1 } };\n"
    "entry army[] = { { 1, 0, \"DemoTank\", 1000 } };\n"
    "entry works[] = { { 1, 0, \"DemoWaterWorks\", 1 }, { 1, 0, \"DemoDepot\", 2 } };\n";
// The crew, the tanker, the well and the waterworks of the computer world.
const char* const kUnits =
    "\nDefineUnitType(\"DemoCrew\") {\n    SetDescription(MLS_UNIT_TANK)\n    SetMenuImage(UNITBODY.SPR)\n"
    "    SetShadowImage(SHADOW.SPR)\n    UseEffects(Tracked)\n    SetVulnerability(Light 100)\n"
    "    SetStrength(200)\n    SetCost(300 100)\n    SetRequirements { SetType(7) SetPrereqs() SetMaker() }\n"
    "    AddPart { SetImage(UNITBODY.SPR) SetRotationRate(5.625) }\n}\n"
    "DefineUnitType(\"DemoTanker\") {\n    SetDescription(MLS_UNIT_TANK)\n    SetMenuImage(UNITBODY.SPR)\n"
    "    SetShadowImage(SHADOW.SPR)\n    UseEffects(Tracked)\n    SetVulnerability(Light 100)\n"
    "    SetStrength(250)\n    SetCost(60 60)\n    SetRequirements { SetType(8) SetPrereqs() SetMaker(21 22) }\n"
    "    SetBuildingSrcAndDst { (\"DemoWell\" \"DemoWaterWorks\" \"0\") }\n    SetResourceTransport(0 20 5 5)\n"
    "    AddPart { SetImage(UNITBODY.SPR) SetRotationRate(5.625) }\n}\n";
const char* const kBuildings =
    "\nDefineBuildingType(\"DemoWaterWorks\") {\n    SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
    "    SetDescription(MLS_BLD_DEPOT)\n    SetRequirements { SetType(23) SetPrereqs() SetMaker(7) }\n"
    "    SetHitpoints(400 0)\n    SetCost(200 60)\n    SetVulnerability(Building 100)\n"
    "    SetResource(0 0 1000 0)\n    SetResourceSale(0 50 0)\n    SetBay(1 1)\n}\n"
    "DefineBuildingType(\"DemoWell\") {\n    SetBuildingImages(BUILDING.SPR BUILDING.SPR BUILDING.SPR)\n"
    "    SetDescription(MLS_BLD_DEPOT)\n    SetRequirements { SetType(24) SetPrereqs() SetMaker() }\n"
    "    SetHitpoints(400 0)\n    SetCost(100 60)\n    SetVulnerability(Building 100)\n"
    "    SetResource(0 5 200 100)\n    SetBay(1 1)\n}\n";

// text with its first from replaced by to; false when from is not there.
bool Replace(std::string* text, const std::string& from, const std::string& to)
{
    const size_t at = text->find(from);
    if (at == std::string::npos) return false;
    text->replace(at, from.size(), to);
    return true;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
    return (bool)f;
}

// Each team's units in a block of 10 x 10 tiles, the blocks on a ring
// around the middle of the map, so that neighbours meet soon and the rest
// later.
std::string ScenarioText(const BENCHWORLD& w)
{
    std::string s = "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTechLevel(10)\n";
    char line[256];
    for (int t = 0; t < TEAMS; t++) {
        snprintf(line, sizeof line, "SetTeam(%d)\n{\n    SetTeamSide(%d)\n    SetCredit(%d)\n}\n", t,
                 t % 4, w.computer ? 100000 : 1000);
        s += line;
    }
    static const int BLOCK[TEAMS][2] = {{14, 14}, {59, 8},  {104, 14}, {110, 59},
                                        {104, 104}, {59, 110}, {14, 104}, {8, 59}};
    const int scale = w.side / 128, columns = w.per_team > 100 ? 16 : 10;
    int id = 1;
    for (int t = 0; t < TEAMS; t++) {
        const int bx = BLOCK[t][0] * scale, by = BLOCK[t][1] * scale;
        snprintf(line, sizeof line, "SetDefaultTeam(%d)\n", t);
        s += line;
        for (int i = 0; i < w.per_team; i++, id++) {
            snprintf(line, sizeof line, "PutUnitAt(%d DemoTank %d %d)\nSetSOrderAutoMove(%d 2)\n",
                     id, bx + i % columns, by + i / columns, id);
            s += line;
        }
        if (w.computer) {
            snprintf(line, sizeof line,
                     "AddBuildingAt(%d DemoFactory %d %d notcritical)\nPutUnitAt(%d DemoCrew %d %d)\n"
                     "PutUnitAt(%d DemoCrew %d %d)\n",
                     100000 + t, bx, by - 5, 110000 + 2 * t, bx + 4, by - 2, 110001 + 2 * t, bx + 5, by - 2);
            s += line;
        }
    }
    if (w.computer) {
        s += "SetDefaultTeam(8)\n";
        for (int t = 0; t < TEAMS; t++) {
            snprintf(line, sizeof line, "AddBuildingAt(%d DemoWell %d %d notcritical)\n", 120000 + t,
                     BLOCK[t][0] * scale + 6, BLOCK[t][1] * scale - 6);
            s += line;
        }
    }
    return s;
}

// A scenario folder with the demo's terrain, sprites and rule files, a flat
// map and the generated scenario file; its root, empty on failure.
std::string WriteInstallation(const BENCHWORLD& w)
{
    char tmpl[] = "/tmp/qvbench-game-XXXXXX";
    if (!mkdtemp(tmpl)) return "";
    const std::string root = tmpl, graphics = root + "/data/graphics";
    const std::string scenario = root + "/scenario/SINGLE/BENCH";
    std::error_code ec;
    fs::create_directories(graphics + "/DEMO", ec);
    fs::create_directories(scenario, ec);
    fs::create_directories(root + "/data/deftxt", ec);
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    const std::string til = GenTile_Bytes(*set);
    if (!WriteText(graphics + "/DEMO/DEMO.til", til)) return "";
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    if (!Palstuff_Write((graphics + "/DEMO/DEMO.pal").c_str(), &pal)) return "";
    for (int i = 0; i < GENSPRITE_COUNT; i++) {
        GENSPRITE sprite;
        GenSprite_Build(i, &sprite);
        SPRITE_DESC d = sprite.Desc();
        if (!Sprite_Write((graphics + "/" + GenSprite_FileName(i)).c_str(), &d)) return "";
    }
    for (const char* name : {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt", "units.txt",
                             "overlay.txt", "build.txt", "general.txt"})
        fs::copy_file(std::string(QV_DEMO_DATA) + "/deftxt/" + name,
                      root + "/data/deftxt/" + name, ec);
    fs::copy_file(std::string(QV_DEMO_DATA) + "/graphics/DEMO/trneff.txt",
                  graphics + "/DEMO/trneff.txt", ec);
    if (ec) return "";
    if (w.computer) {
        // The crews make depots here; the demo's own depot has no maker.
        std::string units = ReadText(root + "/data/deftxt/units.txt");
        std::string build = ReadText(root + "/data/deftxt/build.txt");
        if (!Replace(&build, "SetType(20) SetPrereqs() SetMaker()", "SetType(20) SetPrereqs() SetMaker(7)"))
            return "";
        if (!WriteText(scenario + "/units.txt", units + kUnits) ||
            !WriteText(scenario + "/build.txt", build + kBuildings) || !WriteText(scenario + "/BENCH.AIP", kPlan))
            return "";
        for (int side = 0; side < 4; side++)
            if (!WriteText(scenario + "/Def_0" + std::to_string(side) + "_0.FSM", kMachine)) return "";
    }
    g_NewMapRequest = MAP_NEWREQUEST{1, w.side, w.side, 8, 1};
    if (!Map_Load(nullptr) || !Map_Save((scenario + "/QUORVEX.map").c_str())) return "";
    Map_Free();
    if (!WriteText(scenario + "/QUORVEX.scn", ScenarioText(w))) return "";
    return root;
}

void RunWholeSimulation(benchmark::State& state, const BENCHWORLD& w)
{
    const std::string root = WriteInstallation(w);
    if (root.empty()) {
        state.SkipWithError("cannot write the scenario folder");
        return;
    }
    int nsteps = 0;
    const GAME_STEP* steps = Game_UpdateSteps(&nsteps);
    std::vector<double> stepsecs((size_t)nsteps, 0.0);
    double total = 0, slowest = 0;
    long updates = 0;
    int left = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        state.PauseTiming();
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableai = !w.computer;
        // The end conditions are looked at below, once an update: the
        // game's own look would show the winner's picture and wait.
        g_Config.disableendconditions = 1;
        Game_SetDirectories(root.c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("BENCH");
        InitCommonGameSystems();
        g_LocalTeam = w.computer ? 8 : 0;
        Scenario_Load(nullptr);
        if (w.computer) {
            AI_Init();
            for (int t = 0; t < TEAMS; t++) AI_Activate(t);
        }
        Endcond_InitTeamTotals();
        Endcond_LoadAIPs();
        Endcond_EnterInitialStates();
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        for (int u = 0; u < UPDATES; u++) {
            const Clock::time_point begin = Clock::now();
            for (int i = 0; i < nsteps; i++) {
                const Clock::time_point t0 = Clock::now();
                steps[i].fn();
                stepsecs[(size_t)i] += std::chrono::duration<double>(Clock::now() - t0).count();
            }
            Game_FinishUpdate();
            Orders_AfterUpdate();
            // Grid recomputes and scheduler slices fall on single updates.
            const double took = std::chrono::duration<double>(Clock::now() - begin).count();
            if (took > slowest) slowest = took;
            updates++;
            int team = -1;
            if (Endcond_Update(&team) == 1) break;
        }
        total += std::chrono::duration<double>(Clock::now() - start).count();
        state.PauseTiming();
        left = 0;
        for (int t = 0; t < TEAMS; t++) left += teamdata[t].unitcount;
        if (ai_game_initialised) AI_Close();
        CloseCommonGameSystems();
        state.ResumeTiming();
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    if (total <= 0 || updates == 0) return;
    const double ups = (double)updates / total;
    state.counters["updates"] = (double)updates;
    std::string shares;
    char part[64];
    for (int i = 0; i < nsteps; i++) {
        snprintf(part, sizeof part, "%s%s %.1f%%", i ? ", " : "", steps[i].name,
                 100.0 * stepsecs[(size_t)i] / total);
        shares += part;
    }
    printf("whole simulation%s (%d teams x %d units, %d x %d, %ld updates, %d units left): "
           "%.0f updates/s, %.1f x real time (%d updates/s); slowest update %.1f%% of %d ms; steps: %s\n",
           w.computer ? " with computer players" : "", TEAMS, w.per_team, w.side, w.side, updates,
           left, ups, ups / (double)REAL_TIME_UPS, (int)REAL_TIME_UPS,
           100.0 * slowest * (double)REAL_TIME_UPS, 1000 / (int)REAL_TIME_UPS, shares.c_str());
    fflush(stdout);
}

void BM_GameWholeSimulationComputerPlayers(benchmark::State& state)
{
    RunWholeSimulation(state, s_computer);
}

void BM_GameWholeSimulation(benchmark::State& state) { RunWholeSimulation(state, s_plain); }

} // namespace

// Registered first: the line with computer players comes first.
BENCHMARK(BM_GameWholeSimulationComputerPlayers)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_GameWholeSimulation)->Iterations(1)->Unit(benchmark::kSecond);
