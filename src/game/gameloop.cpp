#include "game/gameloop.h"

#include <cstdio>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/mono.h"
#include "map/overlay.h"
#include "map/pathsrch.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/explosion.h"
#include "units/orders.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/vortex.h"

static uint32_t s_lastUpdate = 0;
static uint32_t s_lastFrameMs = 0;
static uint32_t s_lastUpdateMs = 0;
static int s_frameAvg = 0;
static int s_updateAvg = 0;
static void (*s_drawHook)(BITMAP* backbuffer) = nullptr;
static void (*s_endHook)(void) = nullptr;

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
    g_UpdateCount++;
    if (g_UpdateCount % 1024 == 0) Sound_PollCD();
}

void Game_Update(void)
{
    for (const GAME_STEP& step : s_updateSteps) step.fn();
    Game_FinishUpdate();
}

void Game_SetDrawHook(void (*fn)(BITMAP* backbuffer)) { s_drawHook = fn; }
void Game_SetEndHook(void (*fn)(void)) { s_endHook = fn; }

void Game_RunEndHook(void)
{
    if (s_endHook) s_endHook();
}

// Step 6 of the frame: the flashing colours and the game screen.
static void DrawFrame(void)
{
    Display_CycleFlashColours(g_FrameCount);
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
    uint32_t now = Plat_GameMs();
    FRAME_DECISION d = Game_DecideFrame(now, s_lastUpdate, g_UpdatesPerSecond, g_GamePaused,
                                        Game_Playback(), g_UpdateCount, g_Config.orderskip);
    if (d.runupdate) {
        s_lastUpdate = now;
        Game_Update();
        Orders_AfterUpdate();
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
        if (!Game_PumpMessages()) {
            g_GameState = GS_QUIT;
            break;
        }
        Plat_Idle();
    }
}
