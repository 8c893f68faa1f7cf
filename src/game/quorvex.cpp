#include "game/quorvex.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/crashlog.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "multi/mmframe.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "save/save.h"
#include "shell/shell.h"

int Game_EntryState(int entrypoint)
{
    switch (entrypoint) {
    case CFG_ENTRY_GAME: return GS_NEWGAME;
    case CFG_ENTRY_MAPEDIT: return GS_EDITOR;
    case CFG_ENTRY_MULTI: return GS_MULTIMENU;
    default: return GS_FRONTEND;
    }
}

int Game_ConfiguredState(void)
{
    if (!g_Config.loadsavedgame) return Game_EntryState(g_Config.entrypoint);
    Str_CopySafe(g_PendingLoadName, g_Config.loadsavedgamename, sizeof g_PendingLoadName);
    return GS_LOADGAME;
}

static void (*s_frontEndHook)(void) = nullptr;

// The state whose step chose the game now starting, where a scenario that
// doesn't load goes back to; -1 for the configured entry's own start, which
// stops at the broken file.
static int s_startFrom = -1;
// A start was refused: no game's statistics to keep for the debriefing.
static int s_startRefused = 0;

static void RunFrontEnd(void)
{
    if (Plat_QuitSeen()) {
        g_GameState = GS_QUIT;
        return;
    }
    if (!s_startRefused) Shell_StoreDebriefStats();
    s_startRefused = 0;
    Mouse_SetClipRect(0, 0, 639, 479);
    Mouse_SetPos(320, 240);
    Shell_Run();
}

void Game_SetFrontEndHook(void (*fn)(void)) { s_frontEndHook = fn; }

void Game_SavedGameFailed(const char* why)
{
    TLOG(TLOG_ERROR, "Saved game not loaded: %s", why);
    fprintf(stderr, "Quorvex: saved game not loaded: %s\n", why);
    g_GameState = GS_FRONTEND;
}

// State 6: the pending file's header alone names its scenario, which becomes
// the current one; a new game of it starts with the load pending, and the
// game's start-up loads the file. A bare file name lives in the saved-games
// directory.
static void RunLoadSavedGame(void)
{
    // Pending only for the new game this state starts: a file refused here
    // leaves no load waiting for the next game started from a page.
    g_SaveFlags &= ~(uint32_t)SAVEF_PENDINGLOAD;
    Game_ShowPicture("loadgame.pcx");
    if (!strchr(g_PendingLoadName, '/') && !strchr(g_PendingLoadName, '\\')) {
        char path[GAME_PATH];
        if (Utils_MakePath(path, g_SaveDir, "", "", g_PendingLoadName, ""))
            Str_CopySafe(g_PendingLoadName, path, sizeof g_PendingLoadName);
    }
    if (Save_CheckHeader(g_PendingLoadName) != SAVE_LOADED) {
        Game_SavedGameFailed(Save_LoadError());
        return;
    }
    char scenario[sizeof g_SaveHeader.scenario];
    Str_CopySafe(scenario, g_SaveHeader.scenario, sizeof scenario);
    Game_SetScenarioName(scenario);
    if (!Fs_Exists(g_ScenarioScnPath)) {
        char why[GAME_PATH + 64];
        snprintf(why, sizeof why, "%s: its scenario [%s] isn't in the current category",
                 Fs_Resolve(g_PendingLoadName).c_str(), scenario);
        Game_SavedGameFailed(why);
        return;
    }
    g_SaveFlags |= SAVEF_PENDINGLOAD;
    Game_RunNewGame();
}
static void (*s_multiMenuHook)(void) = nullptr;

void Game_SetMultiMenuHook(void (*fn)(void)) { s_multiMenuHook = fn; }

// Back where the refused start was chosen: the page of the front end, the
// multiplayer menus (whose session the start had ended), the editor.
static void StartRefused(const char* why)
{
    TLOG(TLOG_ERROR, "Scenario [%s] not started: %s", g_ScenarioName, why);
    g_SaveFlags &= ~(uint32_t)SAVEF_PENDINGLOAD;
    g_NetworkGame = 0;
    switch (s_startFrom) {
    case GS_MULTIMENU: g_GameState = GS_MULTIMENU; break;
    case GS_EDITOR: g_GameState = GS_EDITOR; break;
    default:
        g_GameState = GS_FRONTEND;
        s_startRefused = 1;
        Shell_StartRefused(why);
        break;
    }
}

void Game_RunNewGame(void)
{
    InitCommonGameSystems();
    Game_SetStartRefusable(s_startFrom >= 0);
    // A broken file that a page's start can refuse is no fatal error: the
    // program goes on where the start was chosen.
    const char* caughtAs = Error_SetCaughtAs(s_startFrom >= 0 ? "Refused start" : nullptr);
    InitGameSpecifics();
    Error_SetCaughtAs(caughtAs);
    Game_SetStartRefusable(0);
    if (const char* why = Game_StartRefusal()) {
        StartRefused(why);
    } else if (g_GameState != GS_FRONTEND) {
        // A saved game that failed to load has sent the state loop to the front end.
        g_GameState = GS_INGAME;
        Game_RunInGame();
    }
    TLOG(TLOG_DIAG, "Game ended after %u updates and %u frames", g_UpdateCount, g_FrameCount);
    CloseGameSpecifics();
    CloseCommonGameSystems();
}

// The editor edits the common systems' model; the quit keys choose the
// state that follows.
static void RunEditor(void)
{
    InitCommonGameSystems();
    g_EditorOpen = 1;
    MapEditor_Main();
    g_EditorOpen = 0;
    CloseCommonGameSystems();
}

void Game_Main(void)
{
    int before = -1;
    while (g_GameState != GS_QUIT) {
        if (g_QuitRequested) {
            g_GameState = GS_QUIT;
            break;
        }
        const int state = g_GameState;
        s_startFrom = before;
        before = state;
        switch (g_GameState) {
        case GS_FRONTEND:
            if (s_frontEndHook)
                s_frontEndHook();
            else
                RunFrontEnd();
            break;
        case GS_MULTIMENU:
            if (s_multiMenuHook) {
                s_multiMenuHook();
                break;
            }
            Mm_Main();
            // The front end starts again from its main page.
            if (g_GameState == GS_FRONTEND) Shell_Reset();
            break;
        case GS_EDITOR: RunEditor(); break;
        case GS_LOADGAME: RunLoadSavedGame(); break;
        case GS_NEWGAME: Game_RunNewGame(); break;
        case GS_INGAME: Game_RunInGame(); break; // resumed without a new game: keep playing
        default:
            TLOG(TLOG_ERROR, "Unknown game state %d", g_GameState);
            g_GameState = GS_QUIT;
            break;
        }
    }
    s_startFrom = -1;
}

int Quorvex_Main(void)
{
    char cwd[GAME_PATH];
    if (!getcwd(cwd, sizeof cwd)) {
        fputs("Quorvex: cannot read the current directory\n", stderr);
        return 1;
    }
    Game_ResetState();
    Tlog_SetFile("quorvex.log");
    Tlog_SetErrorFile("error.log");
    Crashlog_Install("exception.log");
    Plat_InstallQuitSignals();

    char cfgpath[GAME_PATH + 16];
    snprintf(cfgpath, sizeof cfgpath, "%s/%s", cwd, CFG_FILENAME);
    Cfg_SetDefaults(&g_Config);
    Cfg_Load(cfgpath, &g_Config);

    Tlog_SetFile(g_Config.logfile);
    Tlog_SetMask(g_Config.logmask);
    Tlog_SetOptions(g_Config.logoptions);
    g_DebugFlags = g_Config.debugflags;
    Game_SetDirectories(cwd, g_Config.datadir, g_Config.datadir2, g_Config.savedir,
                        g_Config.scenariodir);
    Game_SetScenarioCategory(g_Config.startcategory);
    Game_SetScenarioName(g_Config.startscenario);
    g_LocalTeam = g_Config.startteam;

    // Tests drive the headless clocks themselves; a run of the program has
    // nobody to advance them, so it paces its updates by real time.
    PlatHeadless_UseVirtualClock(0);
    if (!Plat_Init()) {
        fputs("Quorvex: cannot open the display\n", stderr);
        return 1;
    }
    TLOG(TLOG_DIAG, "Quorvex started in [%s]", cwd);

    g_GameState = Game_ConfiguredState();
    if (s_frontEndHook) g_GameState = GS_FRONTEND;
    if (s_multiMenuHook) g_GameState = GS_MULTIMENU;
    Systems_SetRedirectOutput(1);
    InitBaseSystem();
    Game_Main();
    CloseBaseSystem();
    Plat_Close();
    Tlog_WriteAlways("Standard exit point");
    return 0;
}
