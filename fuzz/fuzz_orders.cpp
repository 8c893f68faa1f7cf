// The order entry codec and the order recording reader over arbitrary bytes:
// every entry that unpacks packs back to the same bytes; the recording is
// parsed from memory, then played back through a file. The entries that
// unpack are then carried out on a small world of two teams, with a carrier,
// a spy, a tanker, a truck with a packed building and buildings that hold,
// serve, teleport and pack, and team 1 a computer player with a plan, which
// runs a few updates of the computer players' and the whole unit and
// building steps: whatever a network peer sends (a takeover of any team
// too), no assertion may fire (a fatal error there is not caught: it
// aborts).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
#include "fuzzsupport.h"
#include "fuzzworld.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "rules/tfgen.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitlist.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
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

// Each entry that unpacks runs at its own update, then the world runs on.
static void fuzz_Execute(const uint8_t* data, size_t size)
{
    QvFuzz_OpenWorld();
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
        AI_Process();
        Build_ProcessAll();
        Pathsrch_Update();
        Units_ProcessAll();
        Orders_AfterUpdate();
        g_UpdateCount++;
    }
    Orders_Close();
    QvFuzz_CloseWorld();
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
