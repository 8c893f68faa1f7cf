// The scenario file: "QUORVEX.scn" of the current scenario's folder.
//
// A text file in the tokenizer's syntax with three sections in order: the
// header (SetVersion(2), SetDefaultTerrain(name), optional SetTechLevel(n)),
// the team blocks (SetTeam(n) { ... }) and the map objects (units with their
// settings, waypoints and standing orders, buildings, things, regions and
// special forces) up to the end of the file. Reading it also drives the load
// of everything a scenario needs, in a fixed order: terrain palette and tile
// set, terrain effects, rule files, the map, the map's grid, sight and path
// tables, then the file's teams and objects.
//
// The reader keeps one variable of its own, the default team: the team of
// every unit and building it makes and the team in which units are looked up
// by id. Scenario_Save writes the game back so that reading the file again
// gives the same game: units come after the team blocks, each unit's
// settings, waypoints and trail order follow it within its default team,
// and each team's units and buildings are written in the order they were
// made (the file's own order for a scenario just read), so that a read then
// a write gives the file back byte for byte.
//
// Three kinds of failure: fatal errors (a file that can't be opened, a wrong
// version, an impossible object), text-file errors that name the file and
// the line, and logged errors that skip one command. A unit put where its
// type can't stand (inside a building, which the file may list after the
// unit, or on ground its type can't cross) is no failure: once every object
// is read it moves to the nearest tile it can stand on at its level, and a
// warning names the file, its line and both tiles. Files that loaded before
// still load; a unit left inside a building would stand there until an
// order walked it out.
#pragma once

#include <cstddef>

struct TF_PARSER;

// Called with each stage's text ("Loading .. Map", ...) and with the names
// of the rule files as they load; may be null.
typedef void (*SCENARIO_PROGRESS)(const char* text);

// Reads the current scenario (g_ScenarioScnPath) with everything it needs.
// Every error stops the program (fatal or text-file error) except the
// commands that are logged and skipped and the units moved off ground their
// type can't stand on (logged as warnings); Scenario_TryLoad turns the stops
// into a refusal. Needs the common game systems.
void Scenario_Load(SCENARIO_PROGRESS progress);
// Scenario_Load as a step that a refusal returns from: 1 when the scenario
// loaded; 0 when one of its files (the scenario, its terrain, rule files,
// map, end-condition and state-machine files) stops the load, with the
// reason in why ("<file> line <n>: <message>" for a text file). The error is
// logged, nothing ends; what the load made so far stays in the common game
// systems, which the caller closes (or closes and opens again) before
// anything else reads them.
int Scenario_TryLoad(SCENARIO_PROGRESS progress, char* why, size_t size);
// Whether the current scenario can be started, read without loading
// anything: its file opens, starts with the reader's version and a default
// terrain, its map file exists, and the rest is known commands with their
// brackets closed. 0 with the reason (naming the file and line) in why; what
// only the load finds (a missing terrain, an unknown type, a value out of
// range, the condition files) is Scenario_TryLoad's to refuse.
int Scenario_Check(char* why, size_t size);
// The name of the file (its scenario file, map, or a team's end-condition
// or state-machine file) whose absence refused the last Scenario_Check or
// load; "" when none was missing.
const char* Scenario_MissingFile(void);
// One "SetTeam(n) { ... }" block: 1 when it ended with its closing brace or
// at the end of the text, 0 on a syntax error. A team outside 0..8 is the
// text-file error "Team number of of range"; an unknown keyword "Unknown
// string [%s]".
int Scenario_ReadTeam(TF_PARSER* parser);
// Map-object commands up to the end of the text.
void Scenario_ReadObjects(TF_PARSER* parser);
// The state machine of every team: the name of its selected variation, else
// for a computer team "Def_" + side (two digits, 0 for none or above 3) + "_"
// + variation + ".FSM"; looked for in the scenario's folder, then the "aip"
// directory. Fatal: "FSM not found for ai team #%d fsm '%s'", "fsm file
// [%s]", "Not an aicondtree fsm [%s]".
void Scenario_LoadFsms(void);
// The state machine of one team by the same rule; 1 when one was read. A
// missing file is fatal when fatal is set, else logged ("FSM not found for
// ai team #%d fsm '%s'") and 0; a team without a name that is no computer
// team gets none (0).
int Scenario_LoadFsm(int team, int fatal);
// Writes the game to the current scenario's ".scn" path through a temporary
// file; 1. A failed write or close logs "Unable to write to file: scenario
// file [%s]" and gives 0, the previous file left as it was.
int Scenario_Save(void);
// The same file written to path instead (its header still names the
// scenario's own path), for a caller that puts it in place itself.
int Scenario_SaveTo(const char* path);

// The reader's default team (0 before a file is read).
int Scenario_DefaultTeam(void);
