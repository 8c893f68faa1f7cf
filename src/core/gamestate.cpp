#include "core/gamestate.h"

#include <cstring>

#include "core/error.h"
#include "core/tlog.h"
#include "core/utils.h"

int g_GameState;
uint32_t g_UpdateCount;
uint32_t g_FrameCount;
int g_LocalTeam;
int g_NetworkGame;
std::atomic<uint8_t> g_GamePaused;
int g_QuitRequested;
int g_TechLevel;
int g_UpdatesPerSecond;
int g_EditorOpen;
int g_DebugFlags;
char g_PendingLoadName[GAME_PATH];
char g_CfgPlayerName[64];
TINFO tinfo;

uint8_t g_OptFogDisabled;
uint8_t g_OptShroudDisabled;
uint8_t g_OptGivingDisabled;
uint8_t g_OptAlliedResourcesHidden;
uint8_t g_OptRelationsLocked;
uint8_t g_OptThreeRigs;
uint8_t g_OptThreeRigsUnits;
uint8_t g_OptTeamSetupGiven;
uint8_t g_OptCreditsSet;

char g_HomeDir[GAME_PATH];
char g_DataDir[GAME_PATH];
char g_DataDir2[GAME_PATH];
char g_AipDir[GAME_PATH];
char g_DefTxtDir[GAME_PATH];
char g_LocalDir[GAME_PATH];
char g_SaveDir[GAME_PATH];
char g_GraphicsDir[GAME_PATH];
char g_InterfaceDir[GAME_PATH];
char g_ScenarioBaseDir[GAME_PATH];

char g_ScenarioName[16];
int g_ScenarioCategory;
char g_ScenarioCategoryDir[GAME_PATH];
char g_ScenarioDir[GAME_PATH];
char g_ScenarioScnPath[GAME_PATH];
char g_ScenarioMapPath[GAME_PATH];
char g_ScenarioMmPath[GAME_PATH];
char g_TerrainName[16];
char g_TerrainDir[GAME_PATH];
char g_TerrainTilPath[GAME_PATH];
char g_TerrainPalPath[GAME_PATH];

// Table entries of 13 characters, as the category folders have always been.
static const char s_categories[4][13] = {"FIXED", "SINGLE", "MULTI", "CAMPAIGN"};

void Game_ResetState(void)
{
    g_GameState = GS_FRONTEND;
    g_UpdateCount = 0;
    g_FrameCount = 0;
    g_LocalTeam = 0;
    g_NetworkGame = 0;
    g_GamePaused = 0;
    g_QuitRequested = 0;
    g_TechLevel = 10;
    g_UpdatesPerSecond = 20;
    g_EditorOpen = 0;
    g_DebugFlags = 0;
    g_PendingLoadName[0] = 0;
    g_CfgPlayerName[0] = 0;
    tinfo = TINFO{};
    g_OptFogDisabled = g_OptShroudDisabled = g_OptGivingDisabled = 0;
    g_OptAlliedResourcesHidden = g_OptRelationsLocked = 0;
    g_OptThreeRigs = g_OptThreeRigsUnits = g_OptTeamSetupGiven = g_OptCreditsSet = 0;
    g_ScenarioName[0] = 0;
    g_ScenarioCategory = SC_SINGLE;
    g_TerrainName[0] = 0;
}

// A path cut or emptied to fit would make the run end later on some unrelated
// missing file: a directory too long once joined is refused, naming its key.
[[noreturn]] static void PathTooLong(const char* key, size_t length)
{
    Error_SetLocation(__FILE__, __LINE__);
    Error_Fatal(ERRC_FATAL, "%s is %zu characters once joined to the start directory, more than %d",
                key, length, GAME_PATH - 1);
}

// A relative directory lives below the home directory.
static void DirBelowHome(char* out, const char* key, const char* home, const char* dir)
{
    int absolute = dir[0] == '/' || dir[0] == '\\';
    if (absolute ? Utils_MakePath(out, dir, "", "", "", "") : Utils_MakePath(out, home, dir, "", "", ""))
        return;
    PathTooLong(key, absolute ? strlen(dir) : strlen(home) + 1 + strlen(dir));
}

static void SubDir(char* out, const char* key, const char* parent, const char* sub)
{
    if (!Utils_MakePath(out, parent, sub, "", "", "")) PathTooLong(key, strlen(parent) + 1 + strlen(sub));
}

void Game_SetDirectories(const char* home, const char* datadir, const char* datadir2,
                         const char* savedir, const char* scenariodir)
{
    Str_CopySafe(g_HomeDir, home, sizeof g_HomeDir);
    DirBelowHome(g_DataDir, "SetDataDir", home, datadir);
    if (datadir2 && *datadir2) DirBelowHome(g_DataDir2, "SetSecondDataDir", home, datadir2);
    else g_DataDir2[0] = 0;
    SubDir(g_AipDir, "SetDataDir", g_DataDir, "aip");
    SubDir(g_DefTxtDir, "SetDataDir", g_DataDir, "deftxt");
    SubDir(g_LocalDir, "SetDataDir", g_DataDir, "local");
    SubDir(g_GraphicsDir, "SetDataDir", g_DataDir, "graphics");
    SubDir(g_InterfaceDir, "SetDataDir", g_GraphicsDir, "intface");
    DirBelowHome(g_SaveDir, "SetSaveDir", home, savedir);
    DirBelowHome(g_ScenarioBaseDir, "SetScenarioDir", home, scenariodir);
    Game_SetScenarioCategory(g_ScenarioCategory);
}

void Game_SetUpdatesPerSecond(int n)
{
    if (n < 1) n = 1;
    if (n > 60) n = 60;
    g_UpdatesPerSecond = n;
}

const char* Game_CategoryName(int category)
{
    return (category >= 0 && category < 4) ? s_categories[category] : "";
}

static void DeriveScenarioPaths(void)
{
    Utils_MakePath(g_ScenarioDir, g_ScenarioCategoryDir, g_ScenarioName, "", "", "");
    Utils_MakePath(g_ScenarioScnPath, g_ScenarioDir, "", "", "QUORVEX", ".scn");
    Utils_MakePath(g_ScenarioMapPath, g_ScenarioDir, "", "", "QUORVEX", ".map");
    Utils_MakePath(g_ScenarioMmPath, g_ScenarioDir, "", "", "QUORVEX", ".mm");
}

void Game_SetScenarioCategory(int category)
{
    if (category < 0 || category > 3) return;
    g_ScenarioCategory = category;
    Utils_MakePath(g_ScenarioCategoryDir, g_ScenarioBaseDir, s_categories[category], "", "", "");
    DeriveScenarioPaths();
}

void Game_SetScenarioName(const char* name)
{
    if (!name) name = "";
    Str_CopySafe(g_ScenarioName, name, sizeof g_ScenarioName);
    // The cut name names another folder: say which one is used.
    if (strlen(name) >= sizeof g_ScenarioName)
        TLOG(TLOG_WARNING, "Scenario name [%s] cut to %d characters: [%s]", name,
             (int)sizeof g_ScenarioName - 1, g_ScenarioName);
    DeriveScenarioPaths();
}

void Game_SetTerrainName(const char* name)
{
    Str_CopySafe(g_TerrainName, name ? name : "", sizeof g_TerrainName);
    Utils_MakePath(g_TerrainDir, g_GraphicsDir, g_TerrainName, "", "", "");
    Utils_MakePath(g_TerrainTilPath, g_TerrainDir, "", "", g_TerrainName, ".til");
    Utils_MakePath(g_TerrainPalPath, g_TerrainDir, "", "", g_TerrainName, ".pal");
}
