#include "support/bigwar.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "map/map.h"

namespace {

namespace fs = std::filesystem;

// Each side's state machine names the plan.
const char* const kMachine =
    "DefineAICondTree()\n{\n    Description(\"Build by the plan.\")\n"
    "    DefineCondState()\n    {\n        SetAIPFile(BIGWAR.AIP)\n"
    "        DefineCondition(1 0 0 0 \"Again\")\n        {\n            CritTimer(100000)\n        }\n"
    "    }\n}\n";
// Tanks to have, more than a factory makes in a game: it is never idle;
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

// The top-left corners of the teams' blocks on a 128 x 128 map: a ring
// around the middle, so that neighbours meet first and the rest later.
const int kBlock[BIGWAR_TEAMS][2] = {{14, 14},   {59, 8},   {104, 14}, {110, 59},
                                     {104, 104}, {59, 110}, {14, 104}, {8, 59}};

void BlockAt(const BIGWAR& w, int team, int* x, int* y)
{
    const int scale = w.side / 128, middle = w.side / 2;
    *x = middle + (kBlock[team][0] * scale - middle) * w.ring / 100;
    *y = middle + (kBlock[team][1] * scale - middle) * w.ring / 100;
}

} // namespace

BIGWAR BigWar_ComputerBattle(void) { return BIGWAR{256, 250, 1, 0, 30, 20}; }

std::string BigWar_ScenarioText(const BIGWAR& w)
{
    std::string s = "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTechLevel(10)\n";
    char line[256];
    for (int t = 0; t < BIGWAR_TEAMS; t++) {
        snprintf(line, sizeof line, "SetTeam(%d)\n{\n    SetTeamSide(%d)\n    SetCredit(%d)\n%s}\n", t, t % 4,
                 w.computer ? 100000 : 1000, w.endkill ? "    SetEnd(BIGWAR.END)\n" : "");
        s += line;
    }
    const int columns = w.per_team > 100 ? 16 : 10;
    int id = 1;
    for (int t = 0; t < BIGWAR_TEAMS; t++) {
        int bx, by;
        BlockAt(w, t, &bx, &by);
        snprintf(line, sizeof line, "SetDefaultTeam(%d)\n", t);
        s += line;
        for (int i = 0; i < w.per_team; i++, id++) {
            snprintf(line, sizeof line, "PutUnitAt(%d DemoTank %d %d)\n", id, bx + i % columns, by + i / columns);
            s += line;
            if (!w.roam) continue;
            snprintf(line, sizeof line, "SetSOrderAutoMove(%d 2)\n", id);
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
        for (int t = 0; t < BIGWAR_TEAMS; t++) {
            int bx, by;
            BlockAt(w, t, &bx, &by);
            snprintf(line, sizeof line, "AddBuildingAt(%d DemoWell %d %d notcritical)\n", 120000 + t, bx + 6, by - 6);
            s += line;
        }
    }
    return s;
}

std::string BigWar_WriteScenario(const std::string& folder, const std::string& deftxt, const BIGWAR& w)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return "cannot make " + folder;
    if (w.computer) {
        // These crews make depots too; the demo's own are its sides' crews.
        const std::string units = ReadText(deftxt + "/units.txt");
        std::string build = ReadText(deftxt + "/build.txt");
        if (!Replace(&build, "SetType(20) SetPrereqs() SetMaker(11 12 13)", "SetType(20) SetPrereqs() SetMaker(7 11 12 13)"))
            return deftxt + "/build.txt has no depot made by the sides' crews alone";
        if (!WriteText(folder + "/units.txt", units + kUnits) || !WriteText(folder + "/build.txt", build + kBuildings) ||
            !WriteText(folder + "/BIGWAR.AIP", kPlan))
            return "cannot write the rule files in " + folder;
        for (int side = 0; side < 4; side++)
            if (!WriteText(folder + "/Def_0" + std::to_string(side) + "_0.FSM", kMachine))
                return "cannot write the state machines in " + folder;
    }
    if (w.endkill) {
        char tree[256];
        snprintf(tree, sizeof tree,
                 "DefineEndCondTree(0)\n{\n    Description(\"Strongest left.\")\n    DefineCondState()\n    {\n"
                 "        DefineCondition(0 0 0 0 \"Enemies down\")\n        {\n"
                 "            CritKillEnemyUnits(%d)\n        }\n    }\n}\n",
                 w.endkill);
        if (!WriteText(folder + "/BIGWAR.END", tree)) return "cannot write the end tree in " + folder;
    }
    g_NewMapRequest = MAP_NEWREQUEST{1, w.side, w.side, 8, 1};
    const bool map = Map_Load(nullptr) && Map_Save((folder + "/QUORVEX.map").c_str());
    Map_Free();
    if (!map) return "cannot write the map in " + folder;
    if (!WriteText(folder + "/QUORVEX.scn", BigWar_ScenarioText(w))) return "cannot write the scenario in " + folder;
    return "";
}
