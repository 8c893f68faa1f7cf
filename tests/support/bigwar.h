// The large generated battle that the whole-game flow and the benchmarks
// play: eight teams of armed units on a flat square map, every team at war
// with every other. With computer players each team
// also has a factory that its plan keeps busy, two crews that put up a
// waterworks and depots, and a well beside it (team 8's) that its tankers
// harvest. The scenario folder is written with the project's own map writer
// from the demo's rule files; the terrain, sprites and rule files it names
// come from the installation it is played in.
#pragma once

#include <string>

enum { BIGWAR_TEAMS = 8 };

struct BIGWAR {
    int side;       // map side in tiles, a multiple of 128
    int per_team;   // units per team at the start
    int computer;   // computer players with a factory, crews, a plan; else none
    int roam;       // every unit roaming on its own (rather than led by its computer player)
    int ring;       // the teams' blocks at this percentage of their usual distance from the middle
    int endkill;    // a team wins once its enemies are down by this percentage; 0: last team standing
};

// Eight computer players of 250 tanks each on a 256 x 256 map, led by
// their plans, their blocks near enough the middle that every team meets an
// enemy within a minute of game time; a team wins once its enemies are down
// by a fifth (with what the factories make meanwhile, some 600 tanks
// destroyed), after 2500 to 3000 updates.
BIGWAR BigWar_ComputerBattle(void);
// The scenario file's text for w: teams, units, orders and buildings.
std::string BigWar_ScenarioText(const BIGWAR& w);
// Writes the scenario folder (map, scenario, end tree, and with computer
// players their plan, state machines and the rule files extended from
// deftxt's units.txt and build.txt); "" on success, else what failed.
std::string BigWar_WriteScenario(const std::string& folder, const std::string& deftxt, const BIGWAR& w);
