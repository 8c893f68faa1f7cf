#include "ui/igipause.h"

#include <thread>

#include "core/gamestate.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/thread.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igievnt.h"
#include "ui/igipanel.h"
#include "units/team.h"

namespace {

// The request as the lock guards it; announce: its message is still due
// (it came off the main thread, which may not show messages).
struct PAUSEREQ {
    int pending;
    uint8_t state;
    uint8_t player;
    uint8_t announce;
};

PAUSEREQ s_req;
std::thread::id s_main = std::this_thread::get_id();
int s_shown;
int s_clip[4];

// Never deleted: a network callback may come after the interface closed.
THREAD_CRITSEC* Lock(void)
{
    static THREAD_CRITSEC* cs = CritSec_Create();
    return cs;
}

// A text field, the chat line or the text panel holding the lock would be
// left editing with the mouse confined, so they hold the request as a drag
// does.
int Busy(void)
{
    return !Igievnt_IsIdle() || (igi_nfo.lockzone != ZD_NULL && igi_nfo.lockzone != IGIPAUSE_ZONE);
}

void Announce(int paused, int player)
{
    int team = Net_GetNodeTeam(player);
    const char* name = team >= 0 && team < TEAM_MAXTEAMS ? Team_GetPlayerNameString(team) : "";
    const GAMEMSG_ARG args[1] = {GameMsg_Str(name ? name : "")};
    Igipanel_MsgVar(paused ? MSG_PAUSED : MSG_UNPAUSED, args, 1);
}

void ShowScreen(int paused)
{
    if (paused && !s_shown) {
        Mouse_GetClipRect(&s_clip[0], &s_clip[1], &s_clip[2], &s_clip[3]);
        Igizone_SetDisabled(IGIPAUSE_ZONE, 0);
        igi_nfo.lockzone = IGIPAUSE_ZONE;
        const ZONE& z = igi_nfo.zone.data[IGIPAUSE_ZONE];
        Mouse_SetClipRect(z.lx, z.ly, z.rx, z.ry);
        s_shown = 1;
    } else if (!paused && s_shown) {
        Igizone_SetDisabled(IGIPAUSE_ZONE, 1);
        if (igi_nfo.lockzone == IGIPAUSE_ZONE) igi_nfo.lockzone = ZD_NULL;
        Mouse_SetClipRect(s_clip[0], s_clip[1], s_clip[2], s_clip[3]);
        s_shown = 0;
    }
}

} // namespace

int Igievnt_SetPause(int paused, int player)
{
    paused = paused ? 1 : 0;
    if (!g_NetworkGame) {
        s_req.pending = 0;
        g_GamePaused = (uint8_t)paused;
        ShowScreen(paused);
        return 0;
    }
    CritSec_Enter(Lock());
    int announce = s_req.announce || (paused != g_GamePaused && !s_req.pending);
    g_GamePaused = (uint8_t)paused;
    int pending;
    if (std::this_thread::get_id() != s_main) {
        s_req = PAUSEREQ{1, (uint8_t)paused, (uint8_t)player, (uint8_t)announce};
        CritSec_Leave(Lock());
        return 1;
    }
    s_req.announce = 0;
    if (Busy())
        s_req = PAUSEREQ{1, (uint8_t)paused, (uint8_t)player, 0};
    else
        s_req.pending = 0;
    pending = s_req.pending;
    CritSec_Leave(Lock());
    if (announce) Announce(paused, player);
    if (!pending) ShowScreen(paused);
    return pending;
}

void Igievnt_NetPauseHandler(int state, int node) { Igievnt_SetPause(state, node); }

void Igievnt_ApplyNetPause(void)
{
    if (!g_NetworkGame) return;
    // Held across the call (the lock is re-entrant) so that a request
    // arriving meanwhile can't be overwritten by this older one.
    CritSec_Enter(Lock());
    if (s_req.pending) Igievnt_SetPause(s_req.state, s_req.player);
    CritSec_Leave(Lock());
}

int Igievnt_PausePending(void)
{
    CritSec_Enter(Lock());
    int pending = s_req.pending;
    CritSec_Leave(Lock());
    return pending;
}

void Igievnt_PauseHandler(uint32_t, uint32_t reason)
{
    const IGI_EVENT& ev = igi_nfo.event;
    if (reason != ZR_INPUT || ev.kind != EV_KEY || ev.key != IGIPAUSE_KEY || !Igievnt_IsIdle()) return;
    if (g_NetworkGame)
        Net_SendPause(0);
    else
        Igievnt_SetPause(0, 0);
}

void Igievnt_PauseReset(void)
{
    CritSec_Enter(Lock());
    s_req = PAUSEREQ{};
    s_main = std::this_thread::get_id();
    CritSec_Leave(Lock());
    s_shown = 0;
}
