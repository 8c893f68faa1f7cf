// Hostile room, game, player and server records and service traffic
// through the online lobby: records become rows of the page's lists, server
// bytes (join notices, "AM" and "AK" texts) go through the client and the
// lobby's poll, typed lines through the send handler; then the page is
// drawn and the join handlers run. The boxes only log (no desktop while the
// handlers run), so nothing waits for input. Every message line must hold
// at most 80 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/addrbook.h"
#include "core/bytes.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "fuzzsupport.h"
#include "gen_multimenu.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "multi/mmznet.h"
#include "multi/mmzsvr.h"
#include "net/zeph.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"

namespace {

QIDesktop* s_desktop = nullptr;

void Setup(void)
{
    if (s_desktop) return;
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
    s_desktop = Mm_Build();
    s_desktop->TickAll(nullptr);
    s_desktop->ApplyPalette();
    Mm_SwitchPage(MM_main_page(), MM_znet_page());
}

void Clear(void)
{
    for (QIList* l : {MM_znet.rooms, MM_znet.games, MM_znet.players, MM_znet.messages, MM_zsvr_list()}) {
        l->Clear();
        l->SetCurrent(-1);
    }
}

// A record's bytes: what the input gives, zeros after it.
std::string Bytes(const uint8_t* data, size_t length, size_t size)
{
    std::string b((const char*)data, length < size ? length : size);
    b.resize(size, '\0');
    return b;
}

void Chunk(int kind, const uint8_t* p, size_t n, DPHANDLE handle)
{
    const QIFont* f = &MM_menu.fonts[MM_FONT_TEXT];
    switch (kind) {
    case 0:
    case 1: {
        const std::string b = Bytes(p, n, DP_SESSION_BYTES);
        ZephSessionRecord r;
        Zeph_SessionFromBytes((const uint8_t*)b.data(), &r);
        memcpy(r.name, b.data() + DP_SESSION_NAME, sizeof r.name); // unterminated names too
        if (kind == 0)
            MM_znet.rooms->InsertSorted(new MMScrollZnetRoom(f, r));
        else
            MM_znet.games->InsertSorted(new MMScrollZnetGame(f, r));
        break;
    }
    case 2: {
        const std::string b = Bytes(p, n, ZEPH_NAME_SIZE + 6);
        ZephPlayerRecord r;
        memcpy(r.name, b.data(), ZEPH_NAME_SIZE);
        r.id = (uint16_t)Bytes_U16((const uint8_t*)b.data() + ZEPH_NAME_SIZE);
        r.address = Bytes_U32((const uint8_t*)b.data() + ZEPH_NAME_SIZE + 2);
        MM_znet.players->Add(new MMScrollZnetPlayer(f, r));
        break;
    }
    case 3: {
        const std::string b = Bytes(p, n, ZEPH_HOST_SIZE + 4);
        ZephServerRecord r;
        memcpy(r.host, b.data(), ZEPH_HOST_SIZE);
        r.ping = Bytes_U32((const uint8_t*)b.data() + ZEPH_HOST_SIZE);
        MM_zsvr_list()->Add(new MMScrollServer(f, r));
        break;
    }
    case 4:
        dpFeed(handle, p, (uint32_t)n);
        MM_znet_poll();
        break;
    default:
        Mm_SetEditText(MM_znet.entryField, std::string((const char*)p, n).c_str());
        MM_znet_send_message(MM_znet.entryField, QIN_ENTER, 0);
        break;
    }
}

void Run(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    MM_menu.desktop = s_desktop;
    DPHANDLE handle = nullptr;
    dpCreate(&handle, "fuzz", nullptr, nullptr);
    Zeph_InitWithHandle(handle);
    Zeph_SetTagAMHandler(MM_znet_add_message);
    Zeph_SetTagAKHandler(MM_znet_kicked);
    MM_znet.mode = data[0] & 1;
    MM_menu.desktop = nullptr; // boxes log instead of waiting for a click
    for (size_t at = 1; at + 2 <= size;) {
        const int kind = data[at] % 6;
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        MM_znet.players->SetCurrent((data[0] >> 7) ? 0 : -1);
        Chunk(kind, data + at, n, handle);
        at += n;
    }
    for (QIGraphic* g = MM_znet.messages->first; g; g = static_cast<QIGraphic*>(g->next))
        if (strlen(static_cast<QITextItem*>(g)->text.c_str()) > MM_ZNET_LINE_MAX) abort();
    MM_znet.rooms->SetCurrent((data[0] >> 1) & 7);
    MM_znet.games->SetCurrent((data[0] >> 4) & 7);
    MM_menu.desktop = s_desktop;
    for (QIWidget* w = s_desktop->first; w; w = w->Next()) w->MarkTree();
    s_desktop->Draw(nullptr, nullptr);
    Mm_SwitchPage(MM_znet_page(), MM_zsvr_page());
    s_desktop->Draw(nullptr, nullptr);
    Mm_SwitchPage(MM_zsvr_page(), MM_znet_page());
    MM_menu.desktop = nullptr;
    MM_znet_join_room(nullptr, QIN_CLICKED, 0);
    MM_znet_join_game_popup(nullptr, QIN_CLICKED, 0);
    MM_menu.desktop = s_desktop;
    Zeph_Shutdown();
    Mm_SetPoll(nullptr);
    Clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Setup();
    QV_FUZZ_GUARD(Run(data, size));
    return 0;
}
