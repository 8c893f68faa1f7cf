// Random input events through the in-game interface's dispatcher on a
// started interface over a small world with units of two teams: whatever
// the coordinates, kinds and keys, no assertion may fire and nothing may
// crash (a fatal error is not caught: it aborts). Each event is 12 bytes:
// kind index, x and y (i16 each, any value), scan code, character,
// modifiers, wheel value (i16), and a flag that ends the frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
#include "platform/input.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igievnt.h"
#include "ui/igitext.h"
#include "ui/igipanel.h"
#include "ui/igipump.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

static const uint32_t s_kinds[] = {EV_RIGHTDOWN,    EV_LEFTDOWN,      EV_KEY,           EV_LEFTUP,
                                   EV_RIGHTUP,      EV_LEFTDOUBLE,    EV_RIGHTDOUBLE,   EV_LEFTDOUBLEUP,
                                   EV_RIGHTDOUBLEUP, EV_WHEEL};

static void OpenWorld(void)
{
    QvFuzz_OpenInterfaceWorld(24);
    UNITTYPE* tank = Units_NewType();
    if (!tank) abort();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    for (int i = 0; i < 4; i++) {
        Units_NewAt(tank, 0, -1, 3 + i, 4);
        Units_NewAt(tank, 1, -1, 3 + i, 8);
    }
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

static void fuzz_Events(const uint8_t* data, size_t size)
{
    OpenWorld();
    for (size_t at = 0; at + 12 <= size; at += 12) {
        const uint8_t* p = data + at;
        EVENT e{};
        e.kind = s_kinds[p[0] % (sizeof s_kinds / sizeof s_kinds[0])];
        e.x = I16(p + 1);
        e.y = I16(p + 3);
        e.key = p[5];
        e.ch = p[6];
        e.modifiers = p[7] & 31;
        e.value = I16(p + 8);
        // Now and then the pointer follows, so the per-frame updates see it.
        if (p[10] & 1) Input_RawMouseMove(e.x, e.y);
        if (p[10] & 2) Input_RawMouseButton(p[10] >> 7, (p[10] >> 6) & 1);
        if (p[0] & 0x80) {
            // Select a unit first so that the top bar's orders have a selection.
            UNIT* u = Units_IdToUnitPtr(1 + p[11] % 8, -1);
            if (u && u->team == g_LocalTeam) Igievnt_SelectUnitOnce(u);
        }
        Igievnt_HandleEvent(&e);
        if (p[11] & 0x80) {
            Igievnt_Update();
            g_UpdateCount++;
        }
    }
    Igievnt_Update();
    CloseWorld();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    QvFuzzHeapCheck check;
    fuzz_Events(data, size);
    Trail_Shutdown();
    // The order pool and the unit-list elements keep their memory for reuse
    // until the orders close and the stores are freed.
    Units_ListFreeAll();
    g_UpdateCount = 0;
    return 0;
}
