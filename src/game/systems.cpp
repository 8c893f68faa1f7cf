// The init/close tables of the three layers. Later subsystems add their
// entries here, in the order in which they depend on each other.
#include "game/systems.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "ai/ai.h"
#include "ai/aidebug.h"
#include "ai/aisite.h"
#include "core/config.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/guard.h"
#include "core/mlstring.h"
#include "core/mono.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "map/pathsrch.h"
#include "map/region.h"
#include "map/tile.h"
#include "net/quornet.h"
#include "net/zeph.h"
#include "platform/animtype.h"
#include "platform/cursor.h"
#include "platform/effects.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sound.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "rules/gamemsg.h"
#include "rules/scenario.h"
#include "rules/tfgen.h"
#include "save/save.h"
#include "ui/blip.h"
#include "ui/igi.h"
#include "ui/igiworld.h"
#include "ui/igiworld.h"
#include "units/bldpics.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/mpteams.h"
#include "units/expltype.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/vortex.h"
#include "units/weapon.h"

static int s_redirect = 0;

void Systems_SetRedirectOutput(int on) { s_redirect = on; }

// --- base system ---

static void OutputInit(void)
{
    if (!s_redirect) return;
    char run[GAME_PATH], err[GAME_PATH];
    Utils_MakePath(run, g_HomeDir, "", "", "quorvex", ".run");
    Utils_MakePath(err, g_HomeDir, "", "", "quorvex", ".err");
    if (!freopen(Fs_Resolve(run).c_str(), "w", stdout))
        TLOG(TLOG_WARNING, "Cannot redirect standard output to [%s]", run);
    if (!freopen(Fs_Resolve(err).c_str(), "w", stderr))
        TLOG(TLOG_WARNING, "Cannot redirect standard error to [%s]", err);
}

static void OutputClose(void)
{
    fflush(stdout);
    fflush(stderr);
}

static void MonoInit(void)
{
    Mono_Clear();
    Mono_Enable(g_Config.monodisplay);
}

static void MonoClose(void)
{
    if (Mono_Enabled()) Mono_Dump();
    Mono_Enable(0);
}

// The strings are not required to start: without the list every fixed text
// keeps its built-in default (MLString_Load logs the missing file).
static void StringsInit(void)
{
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_DataDir, "", "", "mlstring", ".cfg"))
        MLString_Load(path);
    else
        TLOG(TLOG_WARNING, "Data directory too long for the string list: [%s]", g_DataDir);
}

static void StringsClose(void)
{
    MLString_Unload();
}

// Input, video, sound and the cursor are also closed on the fatal path (last
// opened, first closed), before the message box: each close may run twice.

static void InputInit(void)
{
    Input_Init();
    Error_AddShutdownHook(Input_Shutdown);
}

static void InputClose(void)
{
    Error_RemoveShutdownHook(Input_Shutdown);
    Input_Close();
}

static void VideoInit(void)
{
    Video_Init();
    Error_AddShutdownHook(Video_Shutdown);
}

static void VideoClose(void)
{
    Error_RemoveShutdownHook(Video_Shutdown);
    Video_Close();
}

static void SoundInit(void)
{
    Sound_Init();
    Error_AddShutdownHook(Sound_Shutdown);
}

static void SoundClose(void)
{
    Error_RemoveShutdownHook(Sound_Shutdown);
    Sound_Close();
}

// A missing or broken cursor file isn't fatal: the game runs without a
// pointer of its own. Missing is a warning; a broken file is an error that
// Cursor_Load has logged.
static void CursorInit(void)
{
    char path[GAME_PATH];
    if (!Utils_MakePath(path, g_InterfaceDir, "", "", "mouse", ".crs"))
        TLOG(TLOG_WARNING, "Interface directory too long for the cursor file: [%s]",
             Fs_Resolve(g_InterfaceDir).c_str());
    else if (!Fs_Exists(path))
        TLOG(TLOG_WARNING, "No cursor file [%s]: running without a cursor",
             Fs_Resolve(path).c_str());
    else if (!Cursor_Load(path))
        TLOG(TLOG_WARNING, "Running without a cursor");
    Error_AddShutdownHook(Cursor_Unload);
}

static void CursorClose(void)
{
    Error_RemoveShutdownHook(Cursor_Unload);
    Cursor_Unload();
}

static void Nothing(void) {}

static const SYSTEM_ENTRY s_base[] = {
    {"Input", InputInit, InputClose},
    {"Video", VideoInit, VideoClose},
    {"Output", OutputInit, OutputClose},
    {"Mono", MonoInit, MonoClose},
    {"Strings", StringsInit, StringsClose},
    {"Sound", SoundInit, SoundClose},
    {"Cursor", CursorInit, CursorClose},
    {"Backbuffer", Backbuf_Init, Nothing},
    {"Events", Event_Init, Event_Close},
    {"SaveFlags", Save_Init, Nothing},
};

// --- common game systems ---

// Every machine of a game starts from the same counters: ids and move
// groups are handed out in the same order everywhere.
static void CountersInit(void)
{
    g_UpdateCount = 0;
    g_FrameCount = 0;
    Uid_Reset();
    Units_ResetGroupIds();
}

static void RandomInit(void)
{
    // Every machine starts the synchronised stream at 0; the local stream may differ.
    Rand_Reset((int)(Plat_SystemMs() % 140));
}

static void RulesInit(void)
{
    g_TechLevel = 10;
    Game_SetUpdatesPerSecond(20);
    Tfgen_Reset();
}

// The map grid, the sight counts and the path search's tables (with the
// connected regions) are made for each map by the scenario load; whatever of
// them is still open when the game ends goes with the common systems, after
// the units and buildings that are linked into them.
static void MapGridClose(void)
{
    if (Mapgrid_IsOpen()) Mapgrid_Close();
}

static void SightClose(void)
{
    if (Fog_IsOpen()) Fog_Close();
}

static void PathSearchClose(void)
{
    if (Pathsrch_IsOpen()) Pathsrch_Close();
    if (CRE_IsBuilt()) CRE_Close();
    Path_CleanUp();
}

// The map, its tile set and the prerequisite table come from the scenario
// load; they go once everything linked to them (things, grid, sight, path
// tables, units, buildings) has closed.
static void MapClose(void)
{
    PREREQ_Done();
    Map_Free();
    Tile_Close();
}

static void TeamsInit(void)
{
    // The last game's switch-off must not make this scenario's alliances inert.
    g_AlliancesDisabled = 0;
    Team_SetDefaults();
    Team_InitTeamData();
}

// In dependency order: whatever holds display elements, sprites or
// animation types comes after them, so that the reverse close frees the
// holders first. The things (overlays) hold display elements and point at
// animation types and sprites, so they come last. The regions come from the
// scenario (game specifics); the close empties their list so that the next
// game or editor visit starts clean.
static const SYSTEM_ENTRY s_common[] = {
    {"Counters", CountersInit, Nothing},
    {"SortDisp", SortDisp_Init, SortDisp_Close},
    {"BuildingPictures", Nothing, BldPics_Clear},
    {"Effects", Effects_Init, Effects_Close},
    {"Random", RandomInit, Nothing},
    {"Map", Nothing, MapClose},
    {"Regions", Nothing, Region_FreeAll},
    {"SpecialForces", AI_SpecialForcesInit, AI_SpecialForcesClose},
    {"AIPlans", AI_AIPInit, AI_AIPClose},
    {"AiConsole", AiDebug_Register, AiDebug_Unregister},
    {"EndConditions", Endcond_Init, Endcond_Close},
    {"Damage", Damage_Init, Damage_Close},
    {"Weapons", Weapon_Init, Weapon_Close},
    {"Sprites", Sprite_InitAll, Sprite_CloseAll},
    {"Animations", AnimType_Init, AnimType_Close},
    {"Explosions", ExplType_Init, ExplType_Close},
    {"PartTypes", Parts_Init, Parts_Close},
    {"Projectiles", Projectile_Init, Projectile_Close},
    {"Vortices", Vortex_Init, Vortex_Close},
    {"ShockWaves", Swave_Init, Swave_Close},
    {"ExplosionsInPlay", Expl_Init, Expl_Close},
    {"Overlays", Ovl_Init, Ovl_FreeAll},
    {"MapGrid", Nothing, MapGridClose},
    {"Sight", Nothing, SightClose},
    {"PathSearch", Nothing, PathSearchClose},
    {"Trails", Trail_Startup, Trail_Shutdown},
    {"Teams", TeamsInit, Team_CloseTeamData},
    {"Units", Units_InitAll, Units_CloseAll},
    {"Buildings", Build_InitAll, Build_CloseAll},
    {"Rules", RulesInit, Nothing},
};

// --- game specifics ---

// A network game's rounds start before anything of the scenario, so that
// the first round's packets find their handlers. The game's end and quit
// say goodbye to the others and close the network (nothing outside one).
static void NetworkInit(void)
{
    if (!g_NetworkGame) return;
    QuorNet_SetOrders(Orders_NetTable());
    Net_InitGame();
    Game_StartNetRounds(QuorNet_ReportCycles());
}

static void NetworkClose(void)
{
    Net_Close();
    Zeph_Shutdown();
    QuorNet_SetOrders(nullptr);
}

// Without a network session nobody can change sides during the game: the
// relations the scenario sets stay as they are.
static void AlliancesInit(void)
{
    g_AlliancesDisabled = !g_NetworkGame;
    if (g_AlliancesDisabled) TLOG(TLOG_SETUP, "Disabling Alliances");
}

// The standard messages are looked up before anything of the scenario loads:
// its rule files name messages of their own.
static void GameMessagesInit(void)
{
    GameMsg_Init();
    GameMsg_LookupStdIds();
}

static void GameMessagesClose(void)
{
    GameMsg_ResetStdIds();
    GameMsg_Close();
}

// A start chosen on a page refuses a scenario whose files don't load; the
// configured entry's start stops at the broken file as the load does.
static int s_refusable = 0;
static char s_refusal[GAME_PATH + 320];

// The rule files' start units and the preset-sides mark belong to the game
// before: the scenario and its rule files set them afresh.
static void ScenarioInit(void)
{
    MpTeams_Reset();
    if (!s_refusable) {
        Scenario_Load(nullptr);
        return;
    }
    if (!Scenario_TryLoad(nullptr, s_refusal, sizeof s_refusal) && !s_refusal[0])
        snprintf(s_refusal, sizeof s_refusal, "%s", "the scenario didn't load");
}

// A pending saved game (state 6) loads once the scenario, its initial states
// and the computer players have started: the file's blocks replace what the
// start made. A file that fails is reported and the game doesn't start.
static void SavedGameInit(void)
{
    if (!(g_SaveFlags & SAVEF_PENDINGLOAD)) return;
    g_SaveFlags &= ~(uint32_t)SAVEF_PENDINGLOAD;
    if (Save_Load(g_PendingLoadName) != SAVE_LOADED) {
        Game_SavedGameFailed(Save_LoadError());
        return;
    }
    IgiWorld_AfterLoad();
    Game_StartTimer();
}

// The computer players start from the units and buildings the scenario
// made, before the plans their state machines name are loaded.
static void ComputerPlayersStart(void)
{
    AI_Init();
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (AI_IsComputerTeam(t)) AI_Activate(t);
}

void Game_PlaceStartUnits(void)
{
    if (!g_MpTeamsStartUnits) return;
    for (int t = 0; t < TEAM_MAXTEAMS - 1; t++) {
        const TEAM_DATA& td = teamdata[t];
        if (td.type != TT_HUMAN && td.type != TT_COMPUTER) continue;
        if (td.side < 0 || td.side >= MPTEAMS_SIDES || td.startpos.x < 0 || td.startpos.y < 0) {
            TLOG(TLOG_WARNING, "Team %d has no side or start position: no start units", t);
            continue;
        }
        const int x = td.startpos.x / MAP_TILE_PIXELS, y = td.startpos.y / MAP_TILE_PIXELS;
        int placed = 0;
        for (int i = 0; i < MpTeams_StartUnitCount(td.side); i++) {
            const MPTEAMS_START* s = MpTeams_StartUnit(td.side, i);
            for (int k = 0; s && k < s->count; k++) {
                UNIT* record = Units_AllocRecord();
                UNIT* u = Units_NewKeepPtr(record, s->type, t, -1);
                if (!u) {
                    Units_FreeRecord(record);
                    continue;
                }
                // Each from the start tile outwards: the nearest free tile.
                if (!Units_PlaceOnMapCritical(u, x, y)) continue;
                AI_UnitAdd(u);
                placed++;
            }
        }
        TLOG(TLOG_SETUP, "Team %d start units: %d placed from tile %d,%d", t, placed, x, y);
        // A computer team's base was located when its player started, with
        // nothing of the team on the map yet (at 0,0): its crews would look
        // for room in the map's corner rather than by their start.
        if (placed > 0 && AI_IsComputerTeam(t)) AIBuild_LocateBase(AI_GetTeam(t));
        // The option leaves out the team's own units of the scenario: with
        // none placed it has nothing to play, and the end conditions count
        // it beaten at once.
        if (placed == 0) TLOG(TLOG_WARNING, "Team %d starts with no unit: side %d has no start units", t, td.side);
    }
}

static void ComputerPlayersClose(void)
{
    if (ai_game_initialised) AI_Close();
}

// The interface starts right after the scenario load, which sets the local
// team's credits and the view that it shows.
// The scenario sets the teams' relations, so the alliances come after it:
// before, every relation the file sets would be inert. The buildings'
// kept units and automatic production need the scenario's buildings; the
// end conditions count the teams and enter their first states once
// everything of the start is in place.
static const SYSTEM_ENTRY s_specifics[] = {
    {"Network", NetworkInit, NetworkClose},
    {"Blips", Blip_Init, Blip_Close},
    {"GameMessages", GameMessagesInit, GameMessagesClose},
    {"Orders", Orders_Init, Orders_Close},
    {"Scenario", ScenarioInit, Nothing},
    {"Interface", Igi_Init, Igi_Close},
    {"Alliances", AlliancesInit, Nothing},
    {"BuildingsInPlay", Build_StartGame, Build_EndGame},
    {"UpdateTimer", Game_StartTimer, Nothing},
    {"TeamTotals", Endcond_InitTeamTotals, Nothing},
    {"ComputerPlayers", ComputerPlayersStart, ComputerPlayersClose},
    {"StartUnits", Game_PlaceStartUnits, Nothing},
    {"AIPlans", Endcond_LoadAIPs, Nothing},
    {"InitialStates", Endcond_EnterInitialStates, Nothing},
    {"SavedGame", SavedGameInit, Nothing},
};

// --- the layers ---

// The entries run, in order, up to the one after which stop() holds; the
// number run.
template <size_t N>
static size_t RunInit(const SYSTEM_ENTRY (&table)[N], const char* layer, int (*stop)(void) = nullptr)
{
    size_t run = 0;
    for (const SYSTEM_ENTRY& e : table) {
        TLOG(TLOG_DIAG, "%s: init %s", layer, e.name);
        e.init();
        run++;
        if (stop && stop()) break;
    }
    return run;
}

// The first run entries closed, last first.
template <size_t N> static void RunClose(const SYSTEM_ENTRY (&table)[N], const char* layer, size_t run = N)
{
    for (size_t i = run; i-- > 0;) {
        TLOG(TLOG_DIAG, "%s: close %s", layer, table[i].name);
        table[i].close();
    }
}

static MODULE_GUARD s_baseGuard = MODULE_GUARD_INIT("BaseSystem");
static MODULE_GUARD s_commonGuard = MODULE_GUARD_INIT("CommonGameSystems");
static MODULE_GUARD s_specificsGuard = MODULE_GUARD_INIT("GameSpecifics");

void InitBaseSystem(void)
{
    Guard_Init(&s_baseGuard);
    RunInit(s_base, "BaseSystem");
    // The editor replaces a scenario's systems through these: it sits below
    // the game and includes nothing of it.
    MapEditor_SetSystems(CloseCommonGameSystems, InitCommonGameSystems);
}

void CloseBaseSystem(void)
{
    Guard_Close(&s_baseGuard);
    MapEditor_SetSystems(nullptr, nullptr);
    RunClose(s_base, "BaseSystem");
}

void InitCommonGameSystems(void)
{
    Guard_Init(&s_commonGuard);
    RunInit(s_common, "CommonGameSystems");
}

void CloseCommonGameSystems(void)
{
    Guard_Close(&s_commonGuard);
    RunClose(s_common, "CommonGameSystems");
}

static size_t s_specificsRun = 0;

// Nothing after a refused scenario has a game to start with.
static int Refused(void) { return s_refusal[0] != '\0'; }

void InitGameSpecifics(void)
{
    Guard_Init(&s_specificsGuard);
    s_refusal[0] = '\0';
    s_specificsRun = RunInit(s_specifics, "GameSpecifics", Refused);
}

void CloseGameSpecifics(void)
{
    Guard_Close(&s_specificsGuard);
    RunClose(s_specifics, "GameSpecifics", s_specificsRun);
    Game_ClearLaunchMarks();
}

// The check runs where nothing of a game is open (a page of the menus): the
// common systems, the messages the rule files name and the scenario's own
// load, then all closed again. The teams carry the last game's statistics
// for the debriefing and the counters its length: what the page had, it
// keeps; the marks a launch's set-up wrote go with the check.
int Game_CheckScenario(void (*setup)(void*), void* arg, char* why, size_t size)
{
    static TEAM_DATA kept[TEAM_MAXTEAMS];
    std::copy(std::begin(teamdata), std::end(teamdata), kept);
    const int local = g_LocalTeam;
    const uint32_t updates = g_UpdateCount, frames = g_FrameCount;
    if (setup) setup(arg);
    InitCommonGameSystems();
    GameMessagesInit();
    MpTeams_Reset();
    why[0] = '\0';
    const int loaded = Scenario_TryLoad(nullptr, why, size);
    if (!loaded && !why[0]) snprintf(why, size, "%s", "the scenario didn't load");
    GameMessagesClose();
    CloseCommonGameSystems();
    if (setup) Game_ClearLaunchMarks();
    std::copy(std::begin(kept), std::end(kept), teamdata);
    g_LocalTeam = local;
    g_UpdateCount = updates;
    g_FrameCount = frames;
    return loaded;
}

void Game_SetStartRefusable(int on) { s_refusable = on != 0; }

const char* Game_StartRefusal(void) { return s_refusal[0] ? s_refusal : nullptr; }

void Game_ClearLaunchMarks(void)
{
    g_OptFogDisabled = g_OptShroudDisabled = g_OptGivingDisabled = g_OptAlliedResourcesHidden = 0;
    g_OptRelationsLocked = g_OptThreeRigs = g_OptThreeRigsUnits = 0;
    g_OptTeamSetupGiven = g_OptCreditsSet = 0;
    g_MpTeamsStartUnits = 0;
    MpTeams_SetSetupEquivalentBuildings(0);
}
