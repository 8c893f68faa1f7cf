#include "ui/igi.h"
#include "ui/igicomms.h"

#include "core/config.h"
#include "core/gamestate.h"
#include "net/net.h"
#include "ui/igipause.h"
#include "core/tlog.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igibuild.h"
#include "ui/igimouse.h"
#include "ui/igipanel.h"
#include "ui/igipump.h"
#include "ui/igitop.h"
#include "units/team.h"

IGI_NFO igi_nfo;

static int s_started;

enum { IGI_ZONESEXPECTED = 82, IGI_CDTRACK = 2 };

int Igi_Started(void) { return s_started; }

void Igi_ResetState(void)
{
    IGI_NFO& n = igi_nfo;
    n.mfdmode = MFD_NONE;
    n.actionmode = AM_DEFAULT;
    Units_ListClear(&n.selected);
    Units_ListInit(&n.selected);
    for (UNITLIST& g : n.group) {
        Units_ListClear(&g);
        Units_ListInit(&g);
    }
    n.firstunit = nullptr;
    n.sbuild = nullptr;
    BuildId_Clear(&n.sbuildid);
    n.lockzone = ZD_NULL;
    n.watchteam = (uint8_t)g_LocalTeam;
    n.dragmode = n.buttonlock = 0;
    n.dragging = 0;
    n.listmode = 0;
    BuildId_Clear(&n.spybuild);
    n.placetype = 0;
    n.decoy = 0;
    n.orderspage = n.trailpage = 0;
    Trail_Clear(&n.edittrail);
    n.curwaypoint = nullptr;
    n.editsubmode = 0;
    n.globaltrail = -1;
    n.credits = g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS ? teamdata[g_LocalTeam].credits : 0;
    Igicomms_ListPlayers();
    if (!g_NetworkGame && (g_Config.debugflags & DBG_DEBUGMODE)) g_DebugFlags |= DBG_DEBUGMODE;
    else g_DebugFlags &= ~DBG_DEBUGMODE;
    g_DebugFlags &= ~IGI_DEBUGDISPLAYS;
    for (int32_t& v : n.debugvalue) v = 0;
    n.event = IGI_EVENT{};
    n.event.waypoint = -1;
    Igipanel_ResetState();
}

// The zones every panel shows, and the building panel's.
static void DefineFrameZones(void)
{
    Igievnt_DefinePlain(2, Igievnt_PauseHandler, 1, 1, 638, 478, ZL_ALL);
    Igievnt_DefinePlain(8, Igievnt_BuildModeHandler, 6, 0, 49, 32, ZL_ALL);
    Igievnt_DefinePlain(9, Igievnt_BuildModeHandler, 55, 0, 49, 32, ZL_ALL);
    Igievnt_DefinePlain(10, Igievnt_BuildModeHandler, 104, 0, 49, 32, ZL_ALL);
    Igievnt_DefinePlain(11, Igievnt_CreditsHandler, 153, 0, 141, 32, ZL_ALL);
    Igievnt_DefinePlain(12, Igievnt_FireModeHandler, 294, 0, 49, 32, ZL_ALL);
    Igievnt_DefinePlain(13, Igievnt_FireModeHandler, 343, 0, 49, 32, ZL_ALL);
    Igievnt_DefineSelector(14, Igievnt_StopHandler, 392, 0, 49, 32, ZL_ALL);
    static const struct {
        int x, y;
    } selectors[] = {{448, 0}, {448, 32}, {512, 32}, {512, 0}, {576, 0}, {576, 32}};
    for (int i = 0; i < 6; i++)
        Igievnt_DefineSelector(15 + i, Igievnt_PanelSelectHandler, selectors[i].x, selectors[i].y, 64, 32, ZL_ALL);
    Igievnt_DefinePlain(21, Igievnt_TextPanelHandler, 49, 96, 350, 320, ZL_ALL);
    Igievnt_DefinePlain(22, Igievnt_MapViewHandler, 0, 32, 448, 448, ZL_ALL);
    Igievnt_DefinePlain(23, Igievnt_MinimapHandler, 453, 348, 130, 129, ZL_ALL);
    Igievnt_DefinePlain(24, Igievnt_TeamGridHandler, 588, 342, 52, 34, ZL_ALL);
    Igievnt_DefinePlain(25, Igievnt_ResourceHandler, 588, 376, 52, 104, ZL_ALL);
}

static void DefineBuildPanelZones(void)
{
    Igievnt_DefinePlain(26, Igievnt_BuildScrollHandler, 452, 319, 22, 22, ZL_BUILD);
    Igievnt_DefinePlain(27, Igievnt_BuildScrollHandler, 474, 319, 22, 22, ZL_BUILD);
    Igievnt_SetSpecialButton(29, Igievnt_UpgradeHandler, "IGI_BUUPGR", SBT_SML, 496, 318, ZL_BUILD);
    Igievnt_SetSpecialButton(28, Igievnt_DecoyHandler, "IGI_BUDECO", SBT_SML, 568, 318, ZL_BUILD);
    Igievnt_DefinePlain(30, Igievnt_BuildPanelHandler, 448, 64, 192, 250, ZL_BUILD);
}

void Igievnt_Init(void)
{
    Igievnt_SetInputChanged();
    DefineFrameZones();
    DefineBuildPanelZones();
    DefineBuildPanelZones();
    Igipanel_DefineZones();
    Igizone_SetDisabled(2, 1);
    Igizone_SetDisabled(21, 1);
    if (igi_nfo.zone.defined < IGI_ZONESEXPECTED)
        TLOG(TLOG_WARNING, "Some zones were not initialised (%d, %d)", igi_nfo.zone.defined, IGI_ZONESEXPECTED);
    Igievnt_MakeBuildLists();
    Igievnt_SetMfdMode(MFD_BUILD);
    if (g_DebugFlags & DBG_DEBUGMODE) Igievnt_DebugModeOn();
}

void Igi_Init(void)
{
    if (s_started) return;
    s_started = 1;
    Igi_ResetState();
    Igievnt_PauseReset();
    if (g_NetworkGame) Net_SetPauseHandler(Igievnt_NetPauseHandler);
    Igizone_ClearAll();
    Igievnt_Init();
    IgiDisp_Init();
    if (Sound_RedbookOn() && Sound_CdTrack() == 0) Sound_PlayCD(IGI_CDTRACK);
}

void Igi_Close(void)
{
    if (!s_started) return;
    Igievnt_Close();
    Igipanel_Close();
    IgiDisp_Close();
    Igizone_ClearAll();
    for (UNITLIST& g : igi_nfo.group) Units_ListClose(&g);
    Units_ListClose(&igi_nfo.selected);
    igi_nfo.firstunit = nullptr;
    igi_nfo.sbuild = nullptr;
    igi_nfo.lockzone = ZD_NULL;
    Input_EnableKeyRepeat(0); // a field may have been editing
    Trail_Clear(&igi_nfo.edittrail);
    igi_nfo.curwaypoint = nullptr;
    Igievnt_PauseReset();
    s_started = 0;
}
