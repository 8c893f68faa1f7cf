// The game's global state.
//
// The globals that many subsystems read and a few write: the top-level state,
// the update and frame counters, the local team, the network and pause flags,
// the tech level, the directories and the current scenario with its paths.
#pragma once

#include <atomic>
#include <cstdint>

enum GAME_STATE {
    GS_FRONTEND = 0,
    GS_MULTIMENU = 1,
    GS_NEWGAME = 2,
    GS_INGAME = 3,
    GS_EDITOR = 4,
    GS_QUIT = 5,
    GS_LOADGAME = 6,
};

enum GAME_DEBUGFLAGS {
    DBG_DEBUGMODE = 1,
    DBG_SPEEDORDERS = 2,
    DBG_NOFOG = 4,
    DBG_RATES = 8,
    DBG_UNITVALUES = 16,
    DBG_PATHPICTURE = 64,
};

enum SCENARIO_CATEGORY { SC_FIXED = 0, SC_SINGLE = 1, SC_MULTI = 2, SC_CAMPAIGN = 3 };

enum { GAME_PATH = 260 };

// The game options that the staging page and the scenario set.
struct TINFO {
    uint8_t enableap;          // automatic production
};

extern int g_GameState;                  // GAME_STATE
extern uint32_t g_UpdateCount;           // game time in updates, +1 after every update
extern uint32_t g_FrameCount;            // frames drawn
extern int g_LocalTeam;
extern int g_NetworkGame;                // 1 in a network game
// No update runs while set; a network game's pause may set it from the
// network's thread.
extern std::atomic<uint8_t> g_GamePaused;
extern int g_QuitRequested;              // the window was closed
extern int g_TechLevel;                  // 0..10, 10 by default
extern int g_UpdatesPerSecond;           // 1..60, 20 by default
extern int g_EditorOpen;
extern int g_DebugFlags;                 // GAME_DEBUGFLAGS
extern char g_PendingLoadName[GAME_PATH];
extern char g_CfgPlayerName[64];
extern TINFO tinfo;

// Multiplayer and visibility options (bytes, 0 or 1).
extern uint8_t g_OptFogDisabled;
extern uint8_t g_OptShroudDisabled;      // unexplored map not blackened
extern uint8_t g_OptGivingDisabled;      // transfers between players forbidden
extern uint8_t g_OptAlliedResourcesHidden;
extern uint8_t g_OptRelationsLocked;
extern uint8_t g_OptThreeRigs;
extern uint8_t g_OptThreeRigsUnits;
extern uint8_t g_OptTeamSetupGiven;
extern uint8_t g_OptCreditsSet;

// Directories, formed at start-up from the configuration.
extern char g_HomeDir[GAME_PATH];        // the start directory
extern char g_DataDir[GAME_PATH];
extern char g_DataDir2[GAME_PATH];
extern char g_AipDir[GAME_PATH];         // data\aip
extern char g_DefTxtDir[GAME_PATH];      // data\deftxt
extern char g_LocalDir[GAME_PATH];       // data\local
extern char g_SaveDir[GAME_PATH];
extern char g_GraphicsDir[GAME_PATH];    // data\graphics
extern char g_InterfaceDir[GAME_PATH];   // data\graphics\intface
extern char g_ScenarioBaseDir[GAME_PATH];

// The current scenario and terrain.
extern char g_ScenarioName[16];          // at most 15 characters
extern int g_ScenarioCategory;           // SCENARIO_CATEGORY
extern char g_ScenarioCategoryDir[GAME_PATH];
extern char g_ScenarioDir[GAME_PATH];
extern char g_ScenarioScnPath[GAME_PATH];
extern char g_ScenarioMapPath[GAME_PATH];
extern char g_ScenarioMmPath[GAME_PATH];
extern char g_TerrainName[16];
extern char g_TerrainDir[GAME_PATH];
extern char g_TerrainTilPath[GAME_PATH];
extern char g_TerrainPalPath[GAME_PATH];

// Resets every global to its start-of-process value.
void Game_ResetState(void);
// Forms the directories from the configuration's data, save and scenario
// directories (relative ones below the home directory). One that doesn't fit
// GAME_PATH once joined (its subdirectories included) is fatal: "%s is %zu
// characters once joined to the start directory, more than %d" with its key.
void Game_SetDirectories(const char* home, const char* datadir, const char* datadir2,
                         const char* savedir, const char* scenariodir);
// Sets the updates per second, clamped to 1..60.
void Game_SetUpdatesPerSecond(int n);
// Selects the category (0..3, others ignored) and derives the scenario paths.
void Game_SetScenarioCategory(int category);
// Makes name the current scenario and derives its paths; a longer name is cut
// to 15 characters with a warning naming both.
void Game_SetScenarioName(const char* name);
// Stores the terrain name (cut to 15) and derives its directory, .til and .pal.
void Game_SetTerrainName(const char* name);
// The folder name of a category ("FIXED", ...), "" outside 0..3.
const char* Game_CategoryName(int category);
