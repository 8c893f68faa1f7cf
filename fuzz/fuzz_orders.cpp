// The order entry codec and the order recording reader over arbitrary bytes:
// every entry that unpacks packs back to the same bytes; the recording is
// parsed from memory, then played back through a file. The entries that
// unpack are then carried out on a small world of two teams, which runs a
// few updates of orders and movement: whatever a network peer sends, no
// assertion may fire (a fatal error there is not caught: it aborts).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
#include "fuzzsupport.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"

static void fuzz_Entries(const uint8_t* data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        ORDERREC* node;
        char err[128];
        size_t used = Orders_UnpackEntry(data + at, size - at, &node, err, sizeof err);
        if (used == 0) break;
        uint8_t buf[ORDER_ENTRY_HEADER + 4 * ORDER_MAXSELECTION];
        int whole = 0;
        size_t packed = Orders_PackEntry(node, buf, sizeof buf, &whole);
        if (packed != used || !whole || memcmp(buf, data + at, used) != 0) abort();
        Orders_FreeNode(node);
        at += used;
    }
}

static UNITTYPE* s_tank;

// A 24 x 24 map with four units of teams 0 and 1 each (ids 1..8).
static void OpenWorld(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 24, 24, 4, 1};
    if (!Map_Load(nullptr)) abort();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Pathsrch_Init();
    Uid_Reset();
    Units_ResetGroupIds();
    Rand_SetPosition(0);
    g_UpdateCount = 1;
    if (!s_tank) {
        s_tank = Units_NewType();
        snprintf(s_tank->symbolid, sizeof s_tank->symbolid, "Tank");
        snprintf(s_tank->description, sizeof s_tank->description, "Tank");
    }
    for (int i = 0; i < 8; i++) Units_NewAt(s_tank, i / 4, -1, 3 + (i % 4) * 2, 4 + (i / 4) * 12);
}

static void CloseWorld(void)
{
    Pathsrch_Close();
    CRE_Close();
    PREREQ_Done();
    Build_CloseAll();
    Units_CloseAll();
    Path_CleanUp();   // the path nodes' spares
    Team_CloseTeamData();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
    g_UpdateCount = 0;
}

// Each entry that unpacks runs at its own update, then the world runs on.
static void fuzz_Execute(const uint8_t* data, size_t size)
{
    OpenWorld();
    size_t at = 0;
    for (int update = 0; update < 40; update++) {
        ORDERREC* node = nullptr;
        char err[128];
        size_t used = at < size ? Orders_UnpackEntry(data + at, size - at, &node, err, sizeof err) : 0;
        if (used) {
            Orders_Execute(node);
            Orders_FreeNode(node);
            at += used;
        }
        Pathsrch_Update();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it))
            if (Units_ProcessSOrder(u)) Units_UpdateMovement(u);
        g_UpdateCount++;
    }
    Orders_Close();
    CloseWorld();
}

static void fuzz_Orders(const uint8_t* data, size_t size)
{
    fuzz_Entries(data, size);
    (void)Orders_ParseRecording(data, size, "fuzz.rec");
    if (const char* path = QvFuzz_WriteTemp(".rec", data, size)) (void)Orders_StartPlayback(path);
    Orders_StopPlayback();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Orders(data, size));
    Orders_Close();
    fuzz_Execute(data, size);
    // The node pool, the unit-list elements and the freed waypoints keep
    // their memory for reuse until the orders close and the stores are freed.
    Orders_Close();
    Units_ListFreeAll();
    Trail_Shutdown();
    return 0;
}
