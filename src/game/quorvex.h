// Start-up and the top-level state loop.
//
// The process entry finds the start directory (the current working
// directory), reads "quorvex.cfg" there (a missing one is fatal before any
// window exists), opens the window and the trace log and runs Game_Main.
//
// Game_Main is a loop over the states front end (0), multiplayer menus (1),
// new game (2), in game (3), editor (4), quit (5) and load saved game (6).
// A new game runs between InitCommonGameSystems/InitGameSpecifics and their
// closes; quitting closes the base system and logs "Standard exit point".
#pragma once

// The whole program; returns the exit code.
int Quorvex_Main(void);
// The first state for a configuration's entry point (CFG_ENTRY).
int Game_EntryState(int entrypoint);
// The program's first state for g_Config: with LoadSavedGame, state 6 with
// LoadSavedGameName pending; else the entry point's.
int Game_ConfiguredState(void);
// Runs the state loop from g_GameState until the quit state.
void Game_Main(void);
// A saved game that failed to load (state 6 or the game's start-up): the
// reason goes to the trace log and stderr, and the state to the front end.
void Game_SavedGameFailed(const char* why);
// One new game: common systems, game specifics, the in-game loop (unless a
// pending saved game failed to load), closes.
void Game_RunNewGame(void);
// Stands in for the front end until it exists: with a hook set, the program
// starts in the front-end state whatever the configuration's entry point,
// and the state loop runs the hook there (the hook sets the next state).
// Null removes it.
void Game_SetFrontEndHook(void (*fn)(void));
// Stands in for the multiplayer menus until they exist: with a hook set, the
// program starts in state 1 whatever the configuration's entry point, and
// the state loop runs the hook there (the hook sets the next state). Null
// removes it.
void Game_SetMultiMenuHook(void (*fn)(void));
