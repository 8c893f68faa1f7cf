#include "core/frame.h"

#include "core/gamestate.h"
#include "platform/plat.h"

static int s_playback = 0;
static void (*s_messageHook)(void);

int Game_UpdateInterval(int updatespersecond)
{
    if (updatespersecond < 1) updatespersecond = 1;
    if (updatespersecond > 60) updatespersecond = 60;
    return 1000 / updatespersecond;
}

FRAME_DECISION Game_DecideFrame(uint32_t now, uint32_t lastupdate, int updatespersecond,
                                int paused, int playback, uint32_t updatecount, int orderskip)
{
    FRAME_DECISION d = {0, 0};
    if (paused) return d;
    if (playback && orderskip > 0 && updatecount < (uint32_t)orderskip) {
        d.runupdate = 1;
        d.skipdraw = 1;
        return d;
    }
    // Unsigned difference: right across the clock's wrap.
    d.runupdate = (now - lastupdate) >= (uint32_t)Game_UpdateInterval(updatespersecond);
    return d;
}

uint32_t Game_NextDue(uint32_t lastdue, uint32_t now, int updatespersecond)
{
    const uint32_t interval = (uint32_t)Game_UpdateInterval(updatespersecond);
    const uint32_t due = lastdue + interval;
    // Unsigned: right across the clock's wrap; an update is never run early.
    return now - due > GAME_STALLINTERVALS * interval ? now : due;
}

int Game_SmoothRate(int avg, int elapsed) { return (26 * elapsed + 230 * avg) / 256; }

void Game_NetIntervalStart(NETINTERVAL* ni, int updatespersecond)
{
    ni->base = Game_UpdateInterval(updatespersecond);
    ni->interval = ni->base;
    ni->step = 10;
}

void Game_NetIntervalRetune(NETINTERVAL* ni, int late)
{
    if (late) {
        ni->interval += ni->step;
        if (ni->interval > 2 * ni->base) ni->interval = 2 * ni->base;
    } else {
        ni->interval -= ni->step;
        if (ni->interval < ni->base) ni->interval = ni->base;
    }
    if (ni->step > 1) ni->step--;
}

void Game_SetPlayback(int on) { s_playback = on; }
int Game_Playback(void) { return s_playback; }

void Game_SetMessageHook(void (*hook)(void)) { s_messageHook = hook; }

int Game_PumpMessages(void)
{
    for (;;) {
        if (!Plat_PumpMessages()) {
            g_QuitRequested = 1;
            return 0;
        }
        if (s_messageHook) s_messageHook();
        if (Plat_IsActive() || g_NetworkGame || g_GameState == GS_MULTIMENU) return 1;
        // Inactive: the game stays frozen and the pump keeps running. Not so
        // at the multiplayer menus or in a network game: the other machines
        // wait on this one, and players sharing a desktop have one focused
        // window between them.
        Plat_Idle();
    }
}
