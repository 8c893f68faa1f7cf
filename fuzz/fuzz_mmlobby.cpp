// Hostile room, game, player and server records and service traffic
// through the online lobby. A meeting server of the target's own answers
// the client over a loopback socket with the input's records (the client's
// room, game and server lists are filled from them); server bytes (join
// notices, "AM" and "AK" texts) go through the client and the lobby's poll,
// typed lines through the send handler; then the pages are drawn and the
// join handlers run. The server is served from the network clock's hook,
// which every wait of the client calls, so nothing runs on another thread.
// Boxes only log (no desktop while the handlers run). Every message line
// must hold at most 80 characters.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
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
#include "net/net.h"
#include "net/netpkt.h"
#include "net/zeph.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"

namespace {

QIDesktop* s_desktop = nullptr;

// ---- the target's meeting server ----

struct FAKE {
    int listenfd = -1, conn = -1;
    uint16_t port = 0;
    std::string in;
    std::string sessions, games, servers; // whole messages, games' parents set when sent
    uint16_t joined = 0;                   // the session the client opened
    uint32_t clock = 0;
};
FAKE s_fake;

std::string Message(uint8_t type, const std::string& body)
{
    std::string m;
    Bytes_AppendU16(&m, (uint32_t)body.size() + 1);
    m.push_back((char)type);
    return m + body;
}

void Put(const std::string& bytes)
{
    if (s_fake.conn >= 0 && send(s_fake.conn, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
        close(s_fake.conn);
        s_fake.conn = -1;
    }
}

// One request of the client, answered at once.
void Answer(uint8_t type, const std::string& body)
{
    FAKE& f = s_fake;
    switch (type) {
    case DPMSG_HELLO: Put(Message(DPMSG_WELCOME, body)); break;
    case DPMSG_ENUMSERVERS: Put(f.servers + Message(DPMSG_SERVEREND, "")); break;
    case DPMSG_ENUMSESSIONS: {
        // Games belong to the room the client is in.
        std::string games = f.games;
        for (size_t at = 0; at + 3 + DP_SESSION_BYTES <= games.size(); at += 3 + DP_SESSION_BYTES)
            Bytes_PutU16((uint8_t*)&games[at + 3 + DP_SESSION_PARENT + 2], f.joined);
        Put(f.sessions + games + Message(DPMSG_SESSIONEND, ""));
        break;
    }
    case DPMSG_OPEN: {
        if (body.size() != DP_SESSION_BYTES) break;
        std::string record = body;
        f.joined = (uint16_t)Bytes_U16((const uint8_t*)record.data() + DP_SESSION_ID);
        if (!f.joined) Bytes_PutU16((uint8_t*)&record[DP_SESSION_ID], f.joined = 99);
        Put(Message(DPMSG_OPENED, std::string(1, '\0') + record));
        break;
    }
    case DPMSG_CREATEPLAYER: Put(Message(DPMSG_PLAYERID, std::string("\x01\0", 2))); break;
    case DPMSG_ENUMPLAYERS: Put(Message(DPMSG_PLAYEREND, "")); break;
    default: break;
    }
}

void Serve(void)
{
    FAKE& f = s_fake;
    if (f.conn < 0) {
        f.conn = accept(f.listenfd, nullptr, nullptr);
        if (f.conn < 0) return;
        fcntl(f.conn, F_SETFL, O_NONBLOCK);
        f.in.clear();
    }
    char buffer[4096];
    ssize_t n;
    while ((n = recv(f.conn, buffer, sizeof buffer, 0)) > 0) f.in.append(buffer, (size_t)n);
    if (n == 0) { // the client left: the next one is accepted
        close(f.conn);
        f.conn = -1;
        return;
    }
    while (f.in.size() >= 3) {
        const uint32_t length = Bytes_U16((const uint8_t*)f.in.data());
        if (f.in.size() < 2 + length) break;
        if (length >= 1) Answer((uint8_t)f.in[2], f.in.substr(3, length - 1));
        f.in.erase(0, 2 + length);
    }
}

// The network clock: the server answers whenever the client looks at it.
// Its answers are there before the client's next read, so time runs fast:
// a wait the input's bytes leave unanswered ends after a few looks.
uint32_t ServeClock(void)
{
    Serve();
    return s_fake.clock += 1000;
}

void Setup(void)
{
    if (s_desktop) return;
    QvFuzz_Setup();
    unsetenv("QUORVEX_NETADDRESS"); // a found owner's game is never joined over UDP here
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
    FAKE& f = s_fake;
    f.listenfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (f.listenfd < 0 || bind(f.listenfd, (sockaddr*)&at, sizeof at) != 0 || listen(f.listenfd, 4) != 0 ||
        getsockname(f.listenfd, (sockaddr*)&at, &size) != 0)
        abort();
    fcntl(f.listenfd, F_SETFL, O_NONBLOCK);
    f.port = ntohs(at.sin_port);
    Thread_SetClockHook(ServeClock);
}

// Chunks {u8 kind, u8 length, bytes} after an options byte. Kinds: 0 a room
// and 1 a game (an 83-byte record), 2 a player's join notice (name, id,
// address), 3 a server (u32 ping, host), 4 server bytes then a poll, 5 a
// typed line.
void Collect(const uint8_t* data, size_t size)
{
    FAKE& f = s_fake;
    f.sessions.clear();
    f.games.clear();
    f.servers.clear();
    for (size_t at = 1; at + 2 <= size;) {
        const int kind = data[at] % 6;
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        std::string b((const char*)data + at, n);
        if (kind <= 1) {
            b.resize(DP_SESSION_BYTES, '\0');
            Bytes_PutU16((uint8_t*)&b[DP_SESSION_GAMETYPE], ZEPH_GAME_TYPE);
            (kind ? f.games : f.sessions) += Message(DPMSG_SESSION, b);
        } else if (kind == 3 && n > 4 && n <= 4 + 127) {
            f.servers += Message(DPMSG_SERVER, b);
        }
        at += n;
    }
}

void Play(const uint8_t* data, size_t size, DPHANDLE handle)
{
    for (size_t at = 1; at + 2 <= size;) {
        const int kind = data[at] % 6;
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        const uint8_t* p = data + at;
        at += n;
        MM_znet.players->SetCurrent((data[0] >> 7) ? 0 : -1);
        if (kind == 2) {
            std::string notice(40, '\0');
            memcpy(&notice[0], "d1", 2);
            const std::string b = std::string((const char*)p, n) + std::string(30, '\0');
            notice.replace(2, 2, b.substr(ZEPH_NAME_SIZE, 2));
            notice.replace(6, 4, b.substr(ZEPH_NAME_SIZE + 2, 4));
            notice.replace(16, ZEPH_NAME_SIZE, b.substr(0, ZEPH_NAME_SIZE));
            std::string body;
            Bytes_AppendU16(&body, 0);
            Bytes_AppendU16(&body, 1);
            body += std::string(DP_NAME_SIZE, '\0') + notice;
            const std::string m = Message(DPMSG_DATA, body);
            dpFeed(handle, (const uint8_t*)m.data(), (uint32_t)m.size());
        } else if (kind == 4) {
            dpFeed(handle, p, (uint32_t)n);
            MM_znet_poll();
        } else if (kind == 5) {
            Mm_SetEditText(MM_znet.entryField, std::string((const char*)p, n).c_str());
            MM_znet_send_message(MM_znet.entryField, QIN_ENTER, 0);
        }
    }
}

void Run(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    FAKE& f = s_fake;
    MM_menu.desktop = s_desktop;
    if (Zeph_Handle()) Zeph_Shutdown(); // an input that ended in a fatal error
    if (f.conn >= 0) close(f.conn);
    f.conn = -1;
    Collect(data, size);
    f.joined = 0;
    DPHANDLE handle = nullptr;
    dpCreate(&handle, "fuzz", nullptr, nullptr);
    char server[32];
    snprintf(server, sizeof server, "127.0.0.1:%u", f.port);
    if (dpSetGameServer(handle, server) != DP_OK) {
        dpDestroy(handle, 0);
        return;
    }
    Zeph_InitWithHandle(handle);
    Zeph_SetTagAMHandler(MM_znet_add_message);
    Zeph_SetTagAKHandler(MM_znet_kicked);
    MM_znet.mode = data[0] & 1;
    MM_znet_refill(); // the last input's rows are gone
    MM_menu.desktop = nullptr; // boxes log instead of waiting for a click
    Zeph_EnumSessions();
    Zeph_JoinFirstOpenRoom();
    MM_znet_poll();
    Play(data, size, handle);
    PlatHeadless_Advance(MM_ZNET_PLAYER_MS + 1); // the players' list is due
    MM_znet_poll();
    MM_znet_poll();
    MM_zsvr_search(nullptr, QIN_CLICKED, 0);
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
    if (NetPkt_Running()) Net_Close();
    Zeph_Shutdown();
    Mm_SetPoll(nullptr);
    if (f.conn >= 0) close(f.conn);
    f.conn = -1;
    for (QIList* l : {MM_znet.rooms, MM_znet.games, MM_znet.players, MM_znet.messages, MM_zsvr_list()}) {
        l->Clear();
        l->SetCurrent(-1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool warm = false;
    Setup();
    if (!warm) {
        // What the pages make once and keep (the rows' pictures, the
        // private mark's among them; texts) is made before the first input
        // is counted: by an input of a room, a game, a player, a server and
        // a private message, in either mode of the page.
        warm = true;
        std::string rows = std::string("\x80\0\x08Room\0\0\0\0\x01\x08Game\0\0\0\0\x02\x08Player\0\0"
                                       "\x03\x08\0\0\0\x01host", 41);
        std::string message(2 + 39, '\0'); // server bytes: "Ann" says "psst" privately
        const std::string head("\x04\x27\x25\x00\x8a\x02\x00\x01\x00" "Ann", 12);
        message.replace(0, head.size(), head);
        message.replace(2 + 2 + 1 + 4 + DP_NAME_SIZE, 8, std::string("AM\xfepsst\0", 8));
        rows += message;
        for (char options : {'\x80', '\x81', '\x83'}) {
            rows[0] = options;
            QV_FUZZ_GUARD(Run((const uint8_t*)rows.data(), rows.size()));
        }
    }
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(Run(data, size));
    return 0;
}
