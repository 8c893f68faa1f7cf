#include "ui/igitop.h"

#include "core/gamestate.h"
#include "platform/input.h"
#include "ui/igi.h"
#include "ui/igievnt.h"
#include "units/orders.h"
#include "units/team.h"

static int LeftRelease(uint32_t reason)
{
    return reason == ZR_INPUT && (igi_nfo.event.kind == EV_LEFTUP || igi_nfo.event.kind == EV_LEFTDOUBLEUP);
}

static int UnitsSelected(void) { return !Units_ListEmpty(&igi_nfo.selected); }

void Igievnt_BuildModeHandler(uint32_t zd, uint32_t reason)
{
    if (!LeftRelease(reason)) return;
    Igievnt_SetActionMode(zd == 8 ? AM_SELL : zd == 9 ? AM_POWER : AM_REPAIR);
}

void Igievnt_CreditsHandler(uint32_t, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        if (igi_nfo.watchteam < TEAM_MAXTEAMS) igi_nfo.credits = teamdata[igi_nfo.watchteam].credits;
        return;
    }
    if (LeftRelease(reason)) Igievnt_SellResource();
}

void Igievnt_FireModeHandler(uint32_t zd, uint32_t reason)
{
    if (!LeftRelease(reason)) return;
    int mode = zd == 12 ? AM_FIRE : AM_FIRENOMV;
    Igievnt_SetActionMode(UnitsSelected() ? mode : AM_DEFAULT);
}

void Igievnt_StopHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        Igievnt_ButtonUp((int)zd);
        return;
    }
    if (!LeftRelease(reason)) return;
    Igievnt_SetActionMode(AM_DEFAULT);
    Igievnt_ButtonDown((int)zd);
    if (UnitsSelected()) Orders_QStop(g_LocalTeam, &igi_nfo.selected);
}

void Igievnt_PanelSelectHandler(uint32_t zd, uint32_t reason)
{
    if (!LeftRelease(reason)) return;
    Igievnt_SetMfdMode((int)zd - 14);
}

int Igievnt_CanWatchTeam(int team)
{
    if (team < 0 || team >= TEAM_MAXTEAMS) return 0;
    if (team == g_LocalTeam) return 1;
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return 0;
    if (teamdata[g_LocalTeam].seeresource[team] > 0) return 1;
    return Team_AgreedRelation(g_LocalTeam, team, TR_ALLY) != 0;
}

void Igievnt_TeamGridHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        if (!Igievnt_CanWatchTeam(igi_nfo.watchteam)) igi_nfo.watchteam = (uint8_t)g_LocalTeam;
        return;
    }
    if (!LeftRelease(reason)) return;
    const ZONE& z = igi_nfo.zone.data[zd];
    int col = (igi_nfo.event.x - z.lx) / IGITOP_GRIDCELLW, row = (igi_nfo.event.y - z.ly) / IGITOP_GRIDCELLH;
    // A locked zone sees clicks from anywhere on the screen.
    if (igi_nfo.event.x < z.lx || igi_nfo.event.y < z.ly || col >= IGITOP_GRIDCOLUMNS) return;
    int team = row * IGITOP_GRIDCOLUMNS + col;
    if (Igievnt_CanWatchTeam(team)) igi_nfo.watchteam = (uint8_t)team;
}

void Igievnt_ResourceHandler(uint32_t, uint32_t reason)
{
    if (LeftRelease(reason)) Igievnt_SellResource();
}
