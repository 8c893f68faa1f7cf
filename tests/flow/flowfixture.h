// What the whole-game flows share besides the player (support/passscript.h):
// a program's own home, the program's systems up and down as it starts and
// closes, the front end's walk to a custom mission.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/passscript.h"

class QvTempDir;

// A program's own directory for a flow: the test run directory's "data" and
// its single-player DEMO linked in, an empty "save"; each folder of extra
// (name, scenario file text) beside DEMO, on the demo's map with its end
// conditions.
void QvFlow_MakeHome(const QvTempDir& home, const std::vector<std::pair<std::string, std::string>>& extra = {});
// The line of a folder in the custom-mission list of a home: the
// single-player folders in name order.
int QvFlow_ListLine(const std::string& home, const std::string& folder);

// The program's state afresh and its base systems up on the headless
// platform at clock 0, team 0, no result, the front end at its start; with
// a home, its directories and the single-player DEMO as the scenario.
void QvFlow_Start(const char* home);
// The base systems and the platform closed, the front end forgotten.
void QvFlow_Close(void);

// From the main page: Single Player, Play Custom Mission.
void QvFlow_CustomMissions(QvPassScript& p);
// On the custom-mission page: the folder's line, settle passes, Load Mission.
void QvFlow_LoadMission(QvPassScript& p, const std::string& home, const std::string& folder, int settle);
// Queues: in the game on the scenario, once `updates` have run (passes of
// passMs), the menu panel's Exit; then runs the program from the front end
// until the script is done and the program has quit.
void QvFlow_PlayThenExit(QvPassScript& p, const char* scenario, uint32_t updates, uint32_t passMs);

