#include "fuzzigi.h"

#include <cstdlib>

#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "platform/input.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igievnt.h"
#include "ui/igipanel.h"
#include "ui/igipause.h"
#include "ui/igitext.h"
#include "ui/igizone.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/vortex.h"

void QvFuzz_OpenInterfaceWorld(int side)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, side, side, 4, 1};
    if (!Map_Load(nullptr)) abort();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Tfgen_Reset();
    Uid_Reset();
    Units_ResetGroupIds();
    Rand_SetPosition(0);
    Orders_Init();
    Input_Init();
    Event_Init();
    g_LocalTeam = 0;
}

void QvFuzz_CloseInterfaceWorld(void)
{
    IgiDisp_CloseTextPanel();   // help keys and the objectives open it; the display would close it
    Igievnt_Close();
    Igievnt_PauseReset();   // F12 pauses; the next input starts running
    g_GamePaused = 0;
    Igipanel_Close();
    Igizone_ClearAll();
    Vortex_Close();   // its list opens on first use by the updates an input runs
    Units_ListClose(&igi_nfo.selected);
    for (UNITLIST& g : igi_nfo.group) Units_ListClose(&g);
    Trail_Clear(&igi_nfo.edittrail);
    igi_nfo.curwaypoint = nullptr;
    igi_nfo.firstunit = nullptr;
    igi_nfo.sbuild = nullptr;
    igi_nfo.lockzone = ZD_NULL;
    Event_Close();
    Input_Close();
    Orders_Close();
    Build_CloseAll();
    Units_CloseAll();
    Team_CloseTeamData();
    Fog_SetSeeAll(0);
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
    g_LocalTeam = 0;
}

void QvFuzz_CheckPendingOrders(void)
{
    for (ORDERREC* n = Orders_QueueHead(&g_OrdersPending); n; n = n->next) {
        if (n->code == QADDSELECTED) continue; // packing takes its list apart
        uint8_t buf[64];
        int whole = 0;
        size_t len = Orders_PackEntry(n, buf, sizeof buf, &whole);
        if (len == 0) abort();
        ORDERREC* back = nullptr;
        char err[128];
        if (Orders_UnpackEntry(buf, len, &back, err, sizeof err) != len || !back) abort();
        Orders_FreeNode(back);
    }
    Orders_QueueFree(&g_OrdersPending);
}
