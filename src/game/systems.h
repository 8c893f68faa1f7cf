// The three nested layers of start-up and close.
//
// Base system: once per process. Common game systems: once per game or editor
// visit (the editor calls them around every scenario load, so that every
// module starts empty). Game specifics: once per game. Each layer is one
// ordered table of init/close pairs; close runs the table in reverse. Each
// layer is guarded: "BaseSystem already initialised" / "... not initialised".
#pragma once

#include <cstddef>

struct SYSTEM_ENTRY {
    const char* name;
    void (*init)(void);
    void (*close)(void);
};

void InitBaseSystem(void);
void CloseBaseSystem(void);
void InitCommonGameSystems(void);
void CloseCommonGameSystems(void);
void InitGameSpecifics(void);
void CloseGameSpecifics(void);
// Whether the game specifics may refuse a scenario whose files don't load
// (off at start-up). On, the load is tried: a refusal stops the specifics
// after the scenario's entry, with the reason in Game_StartRefusal, and
// CloseGameSpecifics closes only what started. Off, a broken file stops the
// program with its file and line.
void Game_SetStartRefusable(int on);
// The current scenario read by the start's own load, from a page where no
// game is open, and everything it made closed again (the teams and the
// counters as they were): 1 when it loads; 0 with the reason in why
// ("<file> line <n>: <message>" for a text file), logged as the load logs
// it. setup (may be null) first writes what the start would find (a
// launch's teams and marks); the launch marks are cleared after.
int Game_CheckScenario(void (*setup)(void*), void* arg, char* why, size_t size);
// Why the last InitGameSpecifics refused its scenario ("<file> line <n>:
// <message>"), or null when it didn't.
const char* Game_StartRefusal(void);
// The marks a network launch set (fog, shroud, giving, resources, locked
// relations, three rigs, the set-up given, credits set) cleared: the next game
// starts from its own settings.
void Game_ClearLaunchMarks(void);
// The multiplayer launch's start units (with the start-units option): each
// human or computer team 0..7 with a side and a start position gets its
// side's list, in order, with new ids, each on the free tile nearest its
// start tile; a computer team's join its player. A team without side or
// start position gets none, and a team left without a unit is named in the
// log as a warning. Every machine places alike.
void Game_PlaceStartUnits(void);

// The program (not the tests) redirects stdout and stderr into "quorvex.run"
// and "quorvex.err" when the base system starts.
void Systems_SetRedirectOutput(int on);
