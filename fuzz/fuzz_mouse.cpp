// Random mouse streams through the in-game interface's pump into the map
// view, minimap and building panel handlers on a two-team world with
// buildings, for up to a few hundred frames: no assertion may fire, nothing
// may crash, and every order the interface queued must decode. Each record
// is 8 bytes: kind index, x and y (i16 each, any value), modifiers, the
// action mode to force (0xff: leave it), and a flag byte (bit 0 the pointer
// follows, bit 1 the frame ends, bit 2 the trail panel shows). Each frame's
// end draws the map view's markers.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
#include "fuzzigi.h"
#include "fuzzsupport.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "platform/effects.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igievnt.h"
#include "ui/igipanel.h"
#include "ui/igimark.h"
#include "ui/igipump.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

enum { MAX_FRAMES = 400 };

static const uint32_t s_kinds[] = {EV_RIGHTDOWN, EV_LEFTDOWN,      EV_LEFTUP,        EV_RIGHTUP,
                                   EV_LEFTDOUBLE, EV_LEFTDOUBLEUP, EV_RIGHTDOUBLEUP, EV_WHEEL};

static BUILDINGTYPE* BuildingType(const char* name)
{
    BUILDINGTYPE* t = Build_NewType();
    if (!t) abort();
    snprintf(t->name, sizeof t->name, "%s", name);
    std::vector<uint8_t> grid(2 * 2 * 2, 0);
    t->footprint = Effects_AddOvlEffect(name, 2, 2, grid.data());
    t->width = t->height = 2;
    t->maxhitpoints = 500;
    t->flags = BTF_CANMAKE | BTF_ISTELEPORT;
    t->rooms[0] = 4;
    t->rooms[1] = 100;
    return t;
}

static void OpenWorld(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 40, 40, 4, 1};
    if (!Map_Load(nullptr)) abort();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Fog_SetSeeAll(1);
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Units_InitConstructQueues();
    Tfgen_Reset();
    Uid_Reset();
    Units_ResetGroupIds();
    Rand_SetPosition(0);
    Orders_Init();
    Input_Init();
    Event_Init();
    g_LocalTeam = 0;
    Team_ForceRelation(0, 1, TR_ENEMY);
    UNITTYPE* tank = Units_NewType();
    if (!tank) abort();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    tank->hold = 2;
    tank->holdmass = 20;
    tank->abilities.canbuild = 1;
    BUILDINGTYPE* hut = BuildingType("Hut");
    for (int i = 0; i < 4; i++) {
        Units_NewAt(tank, 0, -1, 3 + i, 4);
        Units_NewAt(tank, 1, -1, 3 + i, 8);
    }
    Build_New(hut, 0, -1, 10, 10);
    Build_New(hut, 1, -1, 14, 10);
    Map_SetViewPixelPos(0, 0);
    // The interface without its display: the pictures are data the target
    // doesn't have, and nothing here draws.
    Igi_ResetState();
    Igizone_ClearAll();
    Igievnt_Init();
}

static void CloseWorld(void)
{
    QvFuzz_CloseInterfaceWorld();
}

static int16_t I16(const uint8_t* p) { return (int16_t)(p[0] | p[1] << 8); }

// The map view's markers as each frame draws them, into a screen of their
// own (the interface's display isn't open here).
static void DrawOverlays(int x, int y)
{
    static std::vector<uint8_t> pixels(640 * 480);
    static BITMAP screen;
    if (!screen.data && !Graph_InitBitmap(&screen, 640, 480, pixels.data())) abort();
    const GRECT view = {0, 32, 448, 448};
    IgiMark_DrawOverlays(&screen, &view, x >= 0 && x < 448 && y >= 32 && y < 480, x, y);
}

static void fuzz_Mouse(const uint8_t* data, size_t size)
{
    OpenWorld();
    int frames = 0;
    for (size_t at = 0; at + 8 <= size && frames < MAX_FRAMES; at += 8) {
        const uint8_t* p = data + at;
        EVENT e{};
        e.kind = s_kinds[p[0] % (sizeof s_kinds / sizeof s_kinds[0])];
        e.x = I16(p + 1);
        e.y = I16(p + 3);
        e.modifiers = p[5] & 31;
        e.value = (int8_t)p[0];
        if (p[6] != 0xff && igi_nfo.lockzone == ZD_NULL) igi_nfo.actionmode = p[6] % AM_MAXIMUM;
        if (p[7] & 4) Igievnt_SetMfdMode(p[7] & 8 ? MFD_TRAIL : MFD_BUILD);
        if (p[7] & 1) Input_RawMouseMove(e.x, e.y);
        if (p[0] & 0x80) {
            UNIT* u = Units_IdToUnitPtr(1 + p[5] % 8, -1);
            if (u && u->team == g_LocalTeam) Igievnt_SelectUnitOnce(u);
        }
        Igievnt_HandleEvent(&e);
        if (p[7] & 2) {
            Igievnt_Update();
            DrawOverlays(e.x, e.y);
            g_UpdateCount++;
            frames++;
        }
        QvFuzz_CheckPendingOrders();
    }
    Igievnt_Update();
    QvFuzz_CheckPendingOrders();
    CloseWorld();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    QvFuzzHeapCheck check;
    fuzz_Mouse(data, size);
    // The waypoint free list and the unit-list elements keep their memory
    // for reuse until freed.
    Trail_Shutdown();
    Units_ListFreeAll();
    g_UpdateCount = 0;
    return 0;
}
