// Random clicks, drags, wheel turns and keys over the command panels 2 to 6
// of a started interface, with random selections, names and amounts, over a
// small world with units of two teams. No assertion may fire and nothing may
// crash; no file outside the save directory may be touched; every order the
// panels queue must encode and decode again. Each step is 12 bytes: the
// panel and page, the event kind, x and y within the panel area, a key and
// its character, a selection, what to write into a field, and flags.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

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
#include "ui/igicomms.h"
#include "ui/igievnt.h"
#include "ui/igimouse.h"
#include "ui/igipanel.h"
#include "ui/igipump.h"
#include "ui/igitext.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/vortex.h"
#include "units/unitlist.h"

static const uint32_t s_kinds[] = {EV_RIGHTDOWN, EV_LEFTDOWN, EV_KEY,          EV_LEFTUP,
                                   EV_RIGHTUP,   EV_LEFTUP,   EV_LEFTDOUBLEUP, EV_WHEEL};

static std::string s_savedir, s_outside;

static void OpenWorld(void)
{
    QvFuzz_OpenInterfaceWorld(24);
    g_NetworkGame = 0;
    g_DebugFlags = DBG_DEBUGMODE; // the communications panel opens
    snprintf(g_SaveDir, sizeof g_SaveDir, "%s", s_savedir.c_str());
    UNITTYPE* tank = Units_NewType();
    if (!tank) abort();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    for (int i = 0; i < 4; i++) {
        Units_NewAt(tank, 0, -1, 3 + i, 4);
        Units_NewAt(tank, 1, -1, 3 + i, 8);
    }
    Map_SetViewPixelPos(0, 0);
    // The interface without its display: the pictures are data the target
    // doesn't have.
    Igi_ResetState();
    Igizone_ClearAll();
    Igievnt_Init();
}

static void CloseWorld(void)
{
    QvFuzz_CloseInterfaceWorld();
    g_DebugFlags = 0;
    g_GameState = GS_FRONTEND;
}

// Every pending order through the codec and back.
static void CheckOrders(void)
{
    while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
        int whole = 0;
        do {
            uint8_t buf[2048];
            size_t len = Orders_PackEntry(n, buf, sizeof buf, &whole);
            if (len == 0) abort();
            ORDERREC* back = nullptr;
            char err[128];
            if (Orders_UnpackEntry(buf, len, &back, err, sizeof err) != len || !back) {
                fprintf(stderr, "order %d does not decode: %s\n", n->code, err);
                abort();
            }
            Orders_FreeNode(back);
        } while (!whole);
        Orders_FreeNode(n);
    }
}

static const char* const s_names[] = {"murn.sav", "..\\x", "a/b", "", ".x", "c:z", "ok.sav", "1000", "9999999999"};

static void fuzz_Panels(const uint8_t* data, size_t size)
{
    OpenWorld();
    for (size_t at = 0; at + 12 <= size && g_GameState != GS_QUIT; at += 12) {
        const uint8_t* p = data + at;
        int panel = 2 + p[0] % 5;
        igi_nfo.orderspage = (p[0] >> 3) & 1;
        igi_nfo.trailpage = (p[0] >> 4) & 1;
        if (igi_nfo.mfdmode != panel && igi_nfo.lockzone == ZD_NULL) Igievnt_SetMfdMode(panel);
        if (p[0] & 0x80 && igi_nfo.lockzone == ZD_NULL) Igievnt_OpenChat();
        EVENT e{};
        e.kind = s_kinds[p[1] % (sizeof s_kinds / sizeof s_kinds[0])];
        e.x = 440 + p[2] % 200;
        e.y = 60 + p[3] % 290;
        if (p[1] & 0x80) {
            e.x = p[2] * 2; // the chat line and the map
            e.y = 390 + p[3] % 50;
        }
        e.key = p[4];
        e.ch = p[5];
        e.modifiers = p[6] & 31;
        e.value = (int8_t)p[6] * 8;
        UNIT* u = Units_IdToUnitPtr(1 + p[7] % 8, -1);
        if (p[7] & 0x80) Igievnt_ClearSelection();
        else if (u && u->team == g_LocalTeam) Igievnt_SelectUnitOnce(u);
        Igievnt_UpdateOrderSettings();
        const char* text = s_names[p[8] % (sizeof s_names / sizeof s_names[0])];
        if (igi_nfo.lockzone == ZD_NULL) {
            if (p[8] & 0x10) snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "%s", text);
            if (p[8] & 0x20) snprintf(igi_nfo.amount, sizeof igi_nfo.amount, "%s", text);
            if (p[8] & 0x40) snprintf(igi_nfo.trailname, sizeof igi_nfo.trailname, "%s", text);
        }
        if (p[9] & 1) Input_RawMouseMove(e.x, e.y);
        if (p[9] & 2) Input_RawMouseButton(p[9] >> 7, (p[9] >> 6) & 1);
        if (p[9] & 4) Igievnt_InsertWaypoint(p[9] >> 5 & 1, 2 + p[10] % 20, 2 + p[11] % 20);
        Igievnt_HandleEvent(&e);
        if (p[11] & 0x80) {
            Igievnt_Update();
            g_UpdateCount++;
        }
        CheckOrders();
    }
    Igievnt_Update();
    CheckOrders();
    CloseWorld();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    if (s_savedir.empty()) {
        // The save directory inside a folder of its own, with a file beside
        // it that no name may reach.
        std::filesystem::path base = std::filesystem::temp_directory_path() / ("fuzz_panels." + std::to_string(getpid()));
        std::filesystem::create_directories(base / "save");
        s_savedir = (base / "save").string();
        s_outside = (base / "x").string();
        FILE* f = fopen(s_outside.c_str(), "w");
        if (f) fclose(f);
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::path(s_savedir).parent_path(), ec);
        });
    }
    {
        QvFuzzHeapCheck check;
        fuzz_Panels(data, size);
        Trail_Shutdown();
        Units_ListFreeAll();
    }
    g_UpdateCount = 0;
    if (!std::filesystem::exists(s_outside)) {
        fprintf(stderr, "a file outside the save directory was removed\n");
        abort();
    }
    return 0;
}
