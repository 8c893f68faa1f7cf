// Hostile session and settings blocks and received lines through the
// staging page, as creator (its option handler fed values outside the
// lists too) and as guest (any options word and map name): lines queued as the network
// queues them, the page's poll on a headless desktop, then the launch's
// turn of the settings into teams, whose data must stay in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/addrbook.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "fuzzsupport.h"
#include "game/systems.h"
#include "gen_multimenu.h"
#include "memnet.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "net/net.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "units/team.h"
#include "widgets/qidesktop.h"

namespace {

// Each input has a network of its own, so that what it queued (the page's
// player states to the input's players) goes with it.
void OpenNetwork(void)
{
    NetAddress own;
    memset(&own, 0, sizeof own);
    own.kind = NET_TYPE_UDP;
    own.bytes[0] = 10;
    own.bytes[3] = 1;
    MemNet_Reset(1000, own);
    if (!Net_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0)) abort();
    Net_BeginSession();
    Net_HostGame();
}

void CloseNetwork(void)
{
    // Nobody here answers a goodbye.
    Net_Lock();
    for (NetSessionPlayer& p : g_NetSession.players) p.flags = 0;
    Net_Unlock();
    Net_Close();
    MemNet_Sent().clear();
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
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Video_Init();
    Input_Init();
    Font_Init(MM_FONT_BYTES);
    QIDesktop* d = Mm_Build();
    d->TickAll(nullptr);
    d->ApplyPalette();
    Thread_SetClockHook(MemNet_Clock);
    OpenNetwork();
    MM_chat_enter_from(MM_main_page());
    CloseNetwork();
}

void Run(const uint8_t* data, size_t size);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool warm = false;
    Setup();
    if (!warm) {
        // What the page makes once and keeps (its texts, the network's
        // buffers) is made before the first input is counted: by a blank
        // input long enough to be played.
        warm = true;
        static const uint8_t blank[1 + NET_SESSION_BYTES + NET_SETTINGS_BYTES + 1] = {};
        Run(blank, sizeof blank);
    }
    QvFuzzHeapCheck check;
    Run(data, size);
    return 0;
}

namespace {

void Run(const uint8_t* data, size_t size)
{
    if (size < 1 + NET_SESSION_BYTES + NET_SETTINGS_BYTES) return;
    const bool creator = data[0] & 1;
    const int own = (data[0] >> 1) % NET_NODES;
    OpenNetwork();
    Net_Lock();
    g_NetCreator = 1;
    Net_Unlock();
    MM_chat_start(); // each input starts from a fresh page
    NetSession session;
    NetGameSettings settings;
    Net_ReadSession(data + 1, &session);
    Net_ReadSettings(data + 1 + NET_SESSION_BYTES, &settings);
    // The creator present: its absence ends the page through a modal box.
    session.players[0].flags |= NET_PLAYER_ACTIVE;
    session.players[0].flags &= (uint8_t)~0x80u;
    Net_Lock();
    g_NetSession = session;
    g_NetSettings = settings;
    g_NetCreator = creator;
    g_NetOwnNode = own;
    Net_Unlock();
    QV_FUZZ_GUARD({
        const char* at = (const char*)data + 1 + NET_SESSION_BYTES + NET_SETTINGS_BYTES;
        const char* end = (const char*)data + size;
        int node = 0;
        while (at < end) {
            const char* nl = (const char*)memchr(at, '\n', (size_t)(end - at));
            const std::string line(at, nl ? nl : end);
            Net_Lock();
            MM_chat_add_line(node++ % 9, line.c_str());
            Net_Unlock();
            at = nl ? nl + 1 : end;
        }
        MM_chat_poll();
        if (creator) {
            // The creator's lists set from the word's bytes, then its handler.
            MM_CHAT& c = MM_chat;
            const uint32_t o = settings.options;
            c.fogstyle = (int32_t)(o & 7);
            c.allowalliances = (int32_t)(o >> 3 & 3);
            c.locations_visible = (int32_t)(o >> 5 & 7);
            c.game_type = (int32_t)(o >> 8 & 3);
            c.startingunits = (int32_t)(o >> 10 & 1);
            c.allowhandicap = (int32_t)(o >> 11 & 1);
            c.allowvelkin = (int32_t)(o >> 12 & 1);
            MM_chat_options_changed(nullptr, QIN_DROPCLOSE, 0);
            if (o & MM_OPT_MINIMAP) MM_chat_show_minimap(nullptr, QIN_CLICKED, 0);
        }
        MM_chat_poll();
        MM_menu.desktop->Draw(nullptr, nullptr);
        NetSession s2 = session;
        NetGameSettings g2 = settings;
        MM_chat_update_game_from(&s2, &g2, own);
        for (int t = 0; t < NET_NODES; t++) {
            const TEAM_DATA& td = teamdata[t];
            if (td.type < TT_DISABLED || td.type > TT_COMPUTER) abort();
            if (td.type == TT_DISABLED) continue;
            if (td.colour < 0 || td.colour > 7 || td.side < -1 || td.side > 2 || td.credits < 0) abort();
            for (int j = 0; j < NET_NODES; j++)
                if (td.relation[j] != TR_ENEMY && td.relation[j] != TR_NEUTRAL && td.relation[j] != TR_ALLY) abort();
        }
    });
    Game_ClearLaunchMarks();
    // The input's rows and rules go: the page as every input finds it, the
    // creator's at node 0.
    Net_Lock();
    g_NetCreator = 1;
    g_NetOwnNode = 0;
    Net_Unlock();
    MM_chat_start();
    CloseNetwork();
}

} // namespace
