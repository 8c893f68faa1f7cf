// Random keys with random held modifiers through the in-game pump on a
// small two-team world with buildings, the developer keys and (when an
// input asks) the debug commands included: no assertion may fire, nothing
// may crash, and every order the keys queue must decode. The keys that
// leave the game, stop the program, wait for the console or write files are
// left out. Each record is 5 bytes: scan code; held keys (bit 0 left Shift,
// 1 right Shift, 2 left Ctrl, 3 right Ctrl, 4 Alt, 5 Tab), bit 6 debug mode
// on, bit 7 select a unit first; character; flags (bit 0 the pointer moves,
// bit 1 the left button changes); the pointer's place over the map view.
// Every record is a frame of its own, so the held keys the dispatch reads
// are those the key was pressed with.
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
#include "platform/input.h"
#include "rules/tfgen.h"
#include "ui/igi.h"
#include "ui/igievnt.h"
#include "ui/igipump.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

enum { MAX_FRAMES = 400, RECORD = 5 };

enum {
    HELD_LSHIFT = 1, HELD_RSHIFT = 2, HELD_LCTRL = 4, HELD_RCTRL = 8, HELD_ALT = 16, HELD_TAB = 32,
    HELD_DEBUG = 64, HELD_SELECT = 128,
};

static const int s_heldKeys[6] = {SC_LSHIFT, SC_RSHIFT, SC_LCTRL, SC_RCTRL, SC_LALT, SC_TAB};

static void OpenWorld(void)
{
    QvFuzz_OpenInterfaceWorld(32);
    g_DebugFlags = 0;
    Team_ForceRelation(0, 1, TR_ENEMY);
    UNITTYPE* tank = Units_NewType();
    BUILDINGTYPE* hut = Build_NewType();
    if (!tank || !hut) abort();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    tank->abilities.canbuild = 1;
    snprintf(hut->name, sizeof hut->name, "Hut");
    std::vector<uint8_t> grid(2 * 2 * 2, 0);
    hut->footprint = Effects_AddOvlEffect("Hut", 2, 2, grid.data());
    hut->width = hut->height = 2;
    hut->maxhitpoints = 500;
    hut->flags = BTF_CANMAKE;
    for (int i = 0; i < 4; i++) {
        Units_NewAt(tank, 0, -1, 3 + i, 4);
        Units_NewAt(tank, 1, -1, 3 + i, 8);
    }
    Build_New(hut, 0, -1, 10, 10);
    Build_New(hut, 0, -1, 14, 10);
    Build_New(hut, 1, -1, 14, 14);
    Map_SetViewPixelPos(0, 0);
    // The interface without its display: the pictures are data the target
    // doesn't have, and nothing here draws.
    Igi_ResetState();
    Igizone_ClearAll();
    Igievnt_Init();
}

// Keys whose effect is to end the run or touch the disk: leaving the game
// (Shift or Ctrl + Q), quitting and the test error (developer Q and E), the
// production log (developer A), the console (debug Backspace, which reads
// standard input) and screenshots (Shift or Ctrl + Z).
static bool LeftOut(int key, int held)
{
    if ((held & HELD_LCTRL) && (held & HELD_LSHIFT))
        return key == SC_Q || key == 18 || key == SC_A || ((held & HELD_DEBUG) && key == SC_BACKSPACE);
    const bool shiftOrCtrl = held & (HELD_LSHIFT | HELD_RSHIFT | HELD_LCTRL | HELD_RCTRL);
    return shiftOrCtrl && (key == SC_Q || key == 44);
}

static void fuzz_Keys(const uint8_t* data, size_t size)
{
    OpenWorld();
    int button = 0, frames = 0;
    for (size_t at = 0; at + RECORD <= size && frames < MAX_FRAMES; at += RECORD, frames++) {
        const uint8_t* p = data + at;
        const int key = p[0], held = p[1];
        if (held & HELD_DEBUG) g_DebugFlags |= DBG_DEBUGMODE;
        if (held & HELD_SELECT) {
            UNIT* u = Units_IdToUnitPtr(1 + p[2] % 8, -1);
            if (u && u->team == g_LocalTeam) Igievnt_SelectUnitOnce(u);
        }
        // The pointer stays over the map view: the panels' buttons under it
        // would leave the game by the mouse (restart, exit).
        if (p[3] & 1) Input_RawMouseMove(p[4] * 5 % 448, 32 + p[4] * 7 % 448);
        if (p[3] & 2) Input_RawMouseButton(0, button ^= 1);
        for (int i = 0; i < 6; i++)
            if (held & (1 << i)) Input_RawKey(s_heldKeys[i], 1, 0);
        if (!LeftOut(key, held)) {
            Input_RawKey(key, 1, p[2]);
            Input_RawKey(key, 0, 0);
        }
        Igievnt_Update();
        for (int i = 0; i < 6; i++)
            if (held & (1 << i)) Input_RawKey(s_heldKeys[i], 0, 0);
        g_UpdateCount++;
        if (g_GameState != GS_INGAME) abort(); // a key that leaves the game slipped through
        QvFuzz_CheckPendingOrders();
    }
    QvFuzz_CloseInterfaceWorld();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    QvFuzzHeapCheck check;
    g_GameState = GS_INGAME;
    fuzz_Keys(data, size);
    // The waypoint free list and the unit-list elements keep their memory
    // for reuse until freed.
    Trail_Shutdown();
    Units_ListFreeAll();
    g_UpdateCount = 0;
    g_DebugFlags = 0;
    return 0;
}
