// Hostile found-session records (any flags and counts, names that fill
// their fields without an end) through the internet-address and IPX pages'
// polls and the drawing of their rows, on the menus built over pictures and
// fonts drawn as mkdata draws them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/addrbook.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/utils.h"
#include "fuzzsupport.h"
#include "gen_multimenu.h"
#include "memnet.h"
#include "multi/mmframe.h"
#include "multi/mminet.h"
#include "multi/mmipx.h"
#include "multi/mmmain.h"
#include "net/net.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qilist.h"

namespace {

NetAddress Udp(int n)
{
    NetAddress a;
    memset(&a, 0, sizeof a);
    a.kind = NET_TYPE_UDP;
    a.bytes[0] = 10;
    a.bytes[3] = (uint8_t)n;
    return a;
}

void Setup(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    QvFuzz_Setup();
    const std::string dir = std::string(QvFuzz_Dir()) + "/data";
    const std::string art = dir + "/multmenu";
    std::string cmd = "mkdir -p '" + art + "'";
    if (system(cmd.c_str()) != 0 || !GenMultiMenu_WriteAll(art)) abort();
    Str_CopySafe(g_DataDir, dir.c_str(), sizeof g_DataDir);
    AddressBook_SetPath(QvFuzz_Path("Address.txt"));
    FILE* f = fopen(QvFuzz_Path("Address.txt"), "w");
    if (!f) abort();
    fputs("INTERNET ADDRESSES:\nTwo\n10.0.0.2\nThree\n10.0.0.3\n\nPHONE ADDRESSES:\n", f);
    fclose(f);
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Video_Init();
    Input_Init();
    Font_Init(MM_FONT_BYTES);
    QIDesktop* d = Mm_Build();
    d->TickAll(nullptr);
    d->ApplyPalette();
    MemNet_Reset(1000, Udp(1));
    Thread_SetClockHook(MemNet_Clock);
    if (!Net_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0)) abort();
    Mm_SwitchPage(MM_main_page(), MM_ipx_page());
}

void Run(const uint8_t* data, size_t size);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool warm = false;
    Setup();
    if (!warm) {
        // What the pages make once and keep (texts, lists) is made before
        // the first input is counted.
        warm = true;
        static const uint8_t nothing[1] = {0};
        Run(nothing, 0);
    }
    Run(data, size);
    return 0;
}

namespace {

void Run(const uint8_t* data, size_t size)
{
    // Each input starts both pages afresh (their rows are not the input's
    // to keep), then brings its records.
    MM_inet_start();
    MM_ipx_start();
    MM_inet_poll();
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD({
        const size_t rec = 1 + 1 + 2 + NET_GAME_NAME_SIZE + 1 + NET_NODES * (1 + NET_NAME_SIZE);
        for (size_t at = 0; at + rec <= size; at += rec) {
            const uint8_t* p = data + at;
            NetSession* s = (NetSession*)Debug_Malloc(sizeof(NetSession));
            memset(s, 0, sizeof *s);
            s->flags = p[0];
            s->creator = p[1];
            s->creator_address = Udp(p[2] % 4); // some match rows, some don't
            memcpy(s->name, p + 4, NET_GAME_NAME_SIZE);
            s->count = p[4 + NET_GAME_NAME_SIZE];
            const uint8_t* q = p + 5 + NET_GAME_NAME_SIZE;
            for (NetSessionPlayer& pl : s->players) {
                pl.flags = *q++;
                memcpy(pl.name, q, NET_NAME_SIZE);
                q += NET_NAME_SIZE;
            }
            Net_LockFoundSessions();
            GLL_GoLast(g_FoundSessions);
            GLL_InsertAfter(g_FoundSessions, s);
            Net_UnlockFoundSessions();
        }
        MM_inet_poll();
        MM_ipx_poll();
        QIList* games = MM_ipx_games();
        for (int i = 0; i < games->count; i++) {
            games->SetCurrent(i);
            MM_ipx_poll();
        }
        MM_inet_list()->SetCurrent(size % 3 == 0 ? -1 : 0);
        for (QIWidget* w = MM_menu.desktop->first; w; w = w->Next()) w->MarkTree();
        MM_menu.desktop->Draw(nullptr, nullptr);
        Mm_SwitchPage(MM_ipx_page(), MM_inet_page());
        MM_menu.desktop->Draw(nullptr, nullptr);
        Mm_SwitchPage(MM_inet_page(), MM_ipx_page());
        MM_ipx_start(); // the records and the rows made of them go
    });
}

} // namespace
