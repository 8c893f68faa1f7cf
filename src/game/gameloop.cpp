#include "game/gameloop.h"

#include <cstdio>

#include "ai/ai.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "core/gamestate.h"
#include "core/mono.h"
#include "core/rand.h"
#include "map/overlay.h"
#include "net/quornet.h"
#include "map/pathsrch.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "shell/shell.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/explosion.h"
#include "units/orders.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/unitstate.h"
#include "units/vortex.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/igitext.h"
#include "ui/igipause.h"
#include "ui/igipump.h"

// When the last update was due (a network game: when it ran).
static uint32_t s_lastUpdate = 0;
static uint32_t s_lastFrameMs = 0;
static uint32_t s_lastUpdateMs = 0;
static int s_frameAvg = 0;
static int s_updateAvg = 0;
static void (*s_drawHook)(BITMAP* backbuffer) = nullptr;
static void (*s_updateHook)(void) = nullptr;

// The frame loop's side of the rounds: the phase flag (between rounds: step
// the protocol each frame) and the send flag (start the next round), both
// set at the start and whenever a round's updates have run.
static struct {
    uint8_t phase, send;
    uint32_t cycles;   // updates per round
    uint32_t updates;  // updates run in the current round
    int late;          // an update was due while the round was still waited for
    int ups;           // the rate the interval was started from
    NETINTERVAL interval;
} s_net;

void Game_StartTimer(void)
{
    s_lastUpdate = Plat_GameMs();
    s_lastFrameMs = s_lastUpdateMs = Plat_SystemMs();
    s_frameAvg = s_updateAvg = 0;
}

int Game_FrameAverage(void) { return s_frameAvg; }
int Game_UpdateAverage(void) { return s_updateAvg; }

// The steps of an update, in their fixed order; the subsystems that own the
// missing steps add theirs in between. One table, so that what measures the
// steps one by one runs exactly what the game runs.
// The count of overlays it animated is for the caller that draws; the
// update has no use for it.
static void ProcessOverlays(void) { Ovl_ProcessOverlaysOnScreen(); }

static const GAME_STEP s_updateSteps[] = {
    {"Teams", Team_RemoveDeadTeams},
    {"AI", AI_Process},
    {"ShockWaves", Swave_UpdateAll},
    {"Vortices", Vortex_UpdateAll},
    {"Buildings", Build_ProcessAll},
    {"PathSearch", Pathsrch_Update},
    {"Units", Units_ProcessAll},
    {"Projectiles", Weapon_UpdateProjectiles},
    {"Explosions", Expl_UpdateAll},
    {"Visibility", Ovl_UpdateOverlayAndMiniBuildingVisibility},
    {"Overlays", ProcessOverlays},
};

const GAME_STEP* Game_UpdateSteps(int* count)
{
    *count = (int)(sizeof s_updateSteps / sizeof s_updateSteps[0]);
    return s_updateSteps;
}

void Game_FinishUpdate(void)
{
    int winner;
    if (!g_Config.disableendconditions && Endcond_Update(&winner) == 1) Game_EndWithWinner(winner);
    g_UpdateCount++;
    if (g_UpdateCount % 1024 == 0) Sound_PollCD();
}

void Game_Update(void)
{
    for (const GAME_STEP& step : s_updateSteps) step.fn();
    Game_FinishUpdate();
    // Playback draws as the recorded game did, or its random stream parts:
    // all through, so a network game draws to its end, also once it went on
    // alone (its rounds stay until it ends).
    const int netgame = g_NetworkGame || g_NetRounds.event;
    if (UnitCycles && (netgame || Orders_IsPlayingBack()) && g_UpdateCount % (4 * UnitCycles) == 0) {
        Orders_QCheckSync(ORDER_SYNC_RANDOM, (uint32_t)Rand_Next(666));
        Orders_QCheckSync(ORDER_SYNC_VALUE, (uint32_t)UNITS_totalhitpoints);
    }
}

void Game_StartNetRounds(uint32_t unitcycles)
{
    s_net = {};
    s_net.phase = s_net.send = 1;
    s_net.cycles = unitcycles ? unitcycles : 1;
    s_net.ups = g_UpdatesPerSecond;
    Game_NetIntervalStart(&s_net.interval, s_net.ups);
}

int Game_NetInterval(void) { return s_net.interval.interval; }

// Frame step 2: one step of the rounds while between them, and what it
// says. The orders of a completed round run here, before the update
// decision. Returns whether an update may run.
static int NetStep(void)
{
    if (!g_NetworkGame || !s_net.phase) return 1;
    int result = QuorNet_Step(&s_net.send);
    Orders_ExecuteIncoming();
    s_net.phase = (result & QUORNET_WAITING) != 0;
    if (s_net.phase) QuorNet_CheckDrops();
    if (!(result & QUORNET_IN_GAME)) {
        Display_Message("Console is now in single player mode");
        g_NetworkGame = 0;
        s_net.phase = 0;
    }
    if (result & QUORNET_CHANGED) {
        Net_Lock();
        g_NetSessionChanged = 0;
        Net_Unlock();
        Display_Message("Change in multiplayer game participants");
    }
    if (s_net.phase || !g_NetworkGame) return !s_net.phase;
    // The round's updates start: the interval follows how late it came.
    if (s_net.ups != g_UpdatesPerSecond) {
        s_net.ups = g_UpdatesPerSecond;
        Game_NetIntervalStart(&s_net.interval, s_net.ups);
    }
    Game_NetIntervalRetune(&s_net.interval, s_net.late);
    s_net.late = 0;
    return 1;
}

// After an update of a network game: the round's last sets both flags.
static void NetUpdateDone(void)
{
    if (!g_NetworkGame || ++s_net.updates < s_net.cycles) return;
    s_net.updates = 0;
    s_net.phase = s_net.send = 1;
}

static GAME_RESULT s_result = {-1, 0};

GAME_RESULT Game_GetResult(void) { return s_result; }
void Game_ClearResult(void) { s_result = GAME_RESULT{-1, 0}; }

// The interface directory's picture, its palette set; 0 (a warning) when
// it is missing or unreadable.
static int LoadPicture(const char* name, BITMAP* picture)
{
    char path[GAME_PATH];
    PAL_RGB pal[256];
    int shown = Utils_MakePath(path, g_InterfaceDir, "", "", name, "") && Fs_Exists(path) &&
                Pcx_Read(path, picture, pal);
    if (!shown) {
        TLOG(TLOG_WARNING, "No picture [%s]", name);
        return 0;
    }
    uint8_t entries[256 * 4];
    for (int i = 0; i < 256; i++) {
        entries[4 * i] = pal[i].r;
        entries[4 * i + 1] = pal[i].g;
        entries[4 * i + 2] = pal[i].b;
        entries[4 * i + 3] = 0;
    }
    Video_SetPalette(entries, 0, 256);
    return 1;
}

static void DrawPicture(int shown, BITMAP* picture)
{
    if (BITMAP* bb = Backbuf_Lock()) {
        Graph_ClearBitmap(bb, 0);
        if (shown) Graph_Blit(bb, nullptr, 0, 0, 0, picture, 0, 0, picture->x_size, picture->y_size);
    }
    Graph_FlipWithCursor();
}

void Game_ShowPicture(const char* name)
{
    BITMAP picture{};
    DrawPicture(LoadPicture(name, &picture), &picture);
    Graph_FreeBitmap(&picture);
}

// The picture stays until the player answers: a key, a click, or the
// window's close (which also quits the program).
static void ShowUntilAnswered(const char* name)
{
    BITMAP picture{};
    int shown = LoadPicture(name, &picture);
    EVENT* head = nullptr;
    EVENT* tail = nullptr;
    for (;;) {
        DrawPicture(shown, &picture);
        if (!Game_PumpMessages()) break;
        Event_Poll(&head, &tail);
        int answered = 0;
        EVENT e;
        while (Event_Get(&head, &tail, &e))
            if (e.kind & (EV_KEY | EV_LEFTDOWN | EV_LEFTDOUBLE | EV_RIGHTDOWN)) answered = 1;
        if (answered) break;
        Plat_Idle();
    }
    Event_Flush(&head, &tail);
    Graph_FreeBitmap(&picture);
}

void Game_EndWithWinner(int team)
{
    const int won = team == g_LocalTeam;
    // Whatever the log's mask: how the game ended is always worth a line.
    char line[64];
    snprintf(line, sizeof line, "Team %d won (%s)", team, won ? "That's you" : "ie. You lost");
    Tlog_WriteAlways(line);
    // Known while the picture waits: a driver standing in for the player
    // answers it from there.
    s_result = GAME_RESULT{team, won};
    ShowUntilAnswered(won ? "win.pcx" : "lose.pcx");
    Shell_RecordMissionResult(won);
    g_GameState = GS_FRONTEND;
}

void Game_SetDrawHook(void (*fn)(BITMAP* backbuffer)) { s_drawHook = fn; }
void Game_SetUpdateHook(void (*fn)(void)) { s_updateHook = fn; }

// Step 6 of the frame: the flashing colours and the game screen.
static void DrawFrame(void)
{
    Display_CycleFlashColours(g_FrameCount);
    if (IgiDisp_Started()) {
        IgiDisp_Update();
        return;
    }
    if (BITMAP* bb = Backbuf_Lock())
        if (s_drawHook) s_drawHook(bb);
    Graph_FlipWithCursor();
}

static void ShowRates(int updated)
{
    uint32_t now = Plat_SystemMs();
    s_frameAvg = Game_SmoothRate(s_frameAvg, (int)(now - s_lastFrameMs));
    s_lastFrameMs = now;
    if (updated) {
        s_updateAvg = Game_SmoothRate(s_updateAvg, (int)(now - s_lastUpdateMs));
        s_lastUpdateMs = now;
    }
    char line[MONO_COLUMNS + 1];
    snprintf(line, sizeof line, "frame %4d ms %4d fps  update %4d ms %4d ups  #%u", s_frameAvg,
             s_frameAvg > 0 ? 1000 / s_frameAvg : 0, s_updateAvg,
             s_updateAvg > 0 ? 1000 / s_updateAvg : 0, g_UpdateCount);
    Mono_PrintAt(0, MONO_ROWS - 1, line);
}

void Game_Tick(void)
{
    int mayupdate = NetStep();
    if (g_NetworkGame) Igievnt_ApplyNetPause();
    uint32_t now = Plat_GameMs();
    // A single-player game waits while the player reads the text panel.
    int paused = g_GamePaused || (!g_NetworkGame && IgiDisp_IsTextPanelShown());
    // Time spent paused isn't owed: the game goes on with the one update due
    // when it ends, not making up the pause.
    const uint32_t interval = (uint32_t)Game_UpdateInterval(g_UpdatesPerSecond);
    if (paused && !g_NetworkGame && now - s_lastUpdate > interval) s_lastUpdate = now - interval;
    FRAME_DECISION d = Game_DecideFrame(now, s_lastUpdate, g_UpdatesPerSecond, paused,
                                        Game_Playback(), g_UpdateCount, g_Config.orderskip);
    // A network game paces its updates by the re-tuned interval.
    if (g_NetworkGame && s_net.cycles)
        d.runupdate = !g_GamePaused && now - s_lastUpdate >= (uint32_t)s_net.interval.interval;
    if (!mayupdate) {
        if (d.runupdate) s_net.late = 1;
        d.runupdate = 0;
    }
    if (d.runupdate) {
        // A network game's rounds pace themselves from when updates ran.
        s_lastUpdate = g_NetworkGame && s_net.cycles ? now : Game_NextDue(s_lastUpdate, now, g_UpdatesPerSecond);
        Game_Update();
        if (s_updateHook) s_updateHook();
        Orders_AfterUpdate();
        NetUpdateDone();
    }
    if (!d.skipdraw || g_UpdateCount % 100 == 0) {
        DrawFrame();
        g_FrameCount++;
        if (g_FrameCount % 100 == 0) {
            Build_CheckPowerMessages();
            Units_CheckPhaseMessages();
        }
    }
    if (g_Config.ratedisplay) ShowRates(d.runupdate);
}

void Game_RunInGame(void)
{
    while (g_GameState == GS_INGAME) {
        Game_Tick();
        if (Igi_Started()) Igievnt_Update();
        if (!Game_PumpMessages()) {
            g_GameState = GS_QUIT;
            break;
        }
        Plat_Idle();
    }
}
