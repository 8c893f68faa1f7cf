// The online lobby, its rooms and games and the server list, in-process: the
// client under test against the meeting server on a thread, the other
// players bare library handles, pop-ups answered by scripted passes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "meetsrv.h"
#include "mmfixture.h"
#include "multi/mmframe.h"
#include "multi/mmmain.h"
#include "multi/mmznet.h"
#include "multi/mmzsvr.h"
#include "net/net.h"
#include "net/udp.h"
#include "net/zeph.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "platform/video.h"
#include "support/golden.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace {

// Pop-up buttons and fields (pop-ups are centred: their corner is 125, 119).
const int OK_X = 252, CANCEL_X = 373, BUTTON_Y = 268, ERROR_OK_X = 314, ERROR_OK_Y = 273;
const int NAME_X = 275, NAME_Y = 179, PASSWORD_Y = 225, JOIN_X = 321, JOIN_Y = 221;

// Another player: a bare library handle in a session of its own choosing.
struct Peer {
    DPHANDLE h = nullptr;
    uint16_t id = 0;

    Peer(uint16_t port, const ZephSessionRecord& r, const char* name)
    {
        dpCreate(&h, "test", nullptr, nullptr);
        EXPECT_EQ(dpSetGameServer(h, ("127.0.0.1:" + std::to_string(port)).c_str()), DP_OK);
        uint8_t bytes[DP_SESSION_BYTES];
        Zeph_SessionToBytes(&r, bytes);
        EXPECT_EQ(dpOpen(h, bytes, +[](const uint8_t*, void*) {}, nullptr), DP_OK);
        EXPECT_EQ(dpCreatePlayer(h, +[](uint16_t got, void* me) { ((Peer*)me)->id = got; }, name, this), DP_OK);
    }
    ~Peer() { dpDestroy(h, 0); }
    void Send(uint16_t to, const std::string& tagged)
    {
        EXPECT_EQ(dpSend(h, id, to, 1, tagged.c_str(), (uint32_t)tagged.size() + 1), DP_OK);
    }
    // The texts that reached it, tag included.
    std::vector<std::string> Texts()
    {
        std::vector<std::string> got;
        for (int empty = 0; empty < 5;) {
            char buffer[DP_PACKET_MAX + 1] = {};
            uint32_t length = DP_PACKET_MAX;
            uint16_t from, to;
            if (dpReceive(h, &from, &to, 0, buffer, &length) != DP_OK) {
                empty++;
                Thread_Sleep(2);
            } else if (buffer[0] == 'A') {
                got.push_back(buffer);
            }
        }
        return got;
    }
};

ZephSessionRecord Session(const char* name, const char* password, uint16_t id = 0, uint32_t parent = 0)
{
    ZephSessionRecord r;
    memset(&r, 0, sizeof r);
    r.gametype = ZEPH_GAME_TYPE;
    r.id = id;
    r.maxplayers = parent >= 65536 ? ZEPH_GAME_PLAYERS : ZEPH_ROOM_PLAYERS;
    r.parent = parent;
    snprintf(r.name, sizeof r.name, "%s", name);
    r.password = Crc32_Block(password, strlen(password));
    return r;
}

ZephSessionRecord Lobby(int n) { return Session(("Lobby " + std::to_string(n)).c_str(), "", (uint16_t)n, 1); }

void Type(QvPassScript& s, const std::string& text)
{
    for (char c : text) {
        QvPass p = QvKey(0x1E);
        p.character = c;
        s.Add(p);
    }
}

uint32_t s_virtual;
uint32_t FastClock(void) { return s_virtual += 100; }

// Real time, run ahead by the main thread's waits only: the service's and
// the packet thread's timing stays as it is while a join's wait is short.
std::atomic<uint32_t> s_ahead{0};
std::thread::id s_mainThread;
uint32_t AheadClock(void)
{
    if (std::this_thread::get_id() == s_mainThread) s_ahead += 10;
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return (uint32_t)std::chrono::duration_cast<std::chrono::milliseconds>(since).count() + s_ahead.load();
}

// The rows' texts of a list, ";" after each.
std::string Rows(QIList* list)
{
    std::string s;
    for (QIGraphic* g = list ? list->first : nullptr; g; g = static_cast<QIGraphic*>(g->next)) {
        if (auto* m = dynamic_cast<QITextItem*>(g))
            s += std::string(m->text.c_str()) + (dynamic_cast<MMScrollZnetMessage*>(g) ? "(msg)" : "");
        else if (auto* p = dynamic_cast<MMScrollZnetPlayer*>(g))
            s += p->record.name;
        else if (auto* r = dynamic_cast<MMScrollZnetRoom*>(g))
            s += r->record.name;
        else if (auto* v = dynamic_cast<MMScrollServer*>(g))
            s += v->record.host;
        s += ";";
    }
    return s;
}

class MmLobby : public MmFixture {
protected:
    uint16_t port = 0;
    QvLogCapture log{TLOG_SETUP | TLOG_NERR | TLOG_DIAG | TLOG_WARNING};

    void Start(MeetConfig config)
    {
        port = MeetSrv_Start(config);
        ASSERT_NE(port, 0);
        snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "127.0.0.1:%u", port);
        Build();
    }
    // Connects with every box answered; the result.
    int Connect(int boxes = 0)
    {
        QvPassScript s;
        for (int i = 0; i < boxes; i++) Click(s, ERROR_OK_X, ERROR_OK_Y);
        s.stopWhenDone = false;
        return MM_znet_connect();
    }
    void TearDown() override
    {
        Thread_SetClockHook(nullptr);
        Zeph_Shutdown();
        MeetSrv_Stop();
        MmFixture::TearDown();
    }
    bool Logged(const char* text) { return log.text().find(text) != std::string::npos; }
    // Polls the lobby until the condition holds (bounded): the service's
    // notices and texts come over a socket.
    template <typename F> static bool PollUntil(F done)
    {
        for (int i = 0; i < 500 && !done(); i++) {
            Thread_Sleep(2);
            MM_znet_poll();
        }
        return done();
    }
    static int ClientPlayers(void)
    {
        int n = 0;
        Zeph_PlayerListRewind();
        while (Zeph_PlayerListNext()) n++;
        return n;
    }
};

// ---------------------------------------------------------------- rows

class MmLobbyRows : public MmFixture {};

TEST_F(MmLobbyRows, DrawingAndOrder)
{
    Build();
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    const QIFont* f = &MM_menu.fonts[MM_FONT_TEXT];
    const IRect clip(0, 0, 640, 480);
    auto at = [bb](int x, int y) { return bb->data[(size_t)y * bb->x_size + x]; };
    auto clear = [bb] { memset(bb->data, 1, (size_t)bb->x_size * bb->y_size); };
    // The padlock's body, the crown's band, a pixel of the private icon.
    struct ROW {
        const char* name;
        QIGraphic* row;
        uint32_t state;
        int fill;          // at the row's bottom right, 1 for none
        int px, py;        // a picture's pixel
        bool picture;
    } rows[] = {
        {"open room", new MMScrollZnetRoom(f, Session("A", "")), 0, 1, 7, 10, false},
        {"locked room", new MMScrollZnetRoom(f, Session("A", "pw")), 0, 1, 7, 10, true},
        {"locked game, hovered", new MMScrollZnetGame(f, Session("A", "x", 1, 65536)), 1, 72, 7, 10, true},
        {"selected player", new MMScrollZnetPlayer(f, ZephPlayerRecord{"P", 0, 0}), 2, 75, 3, 10, false},
        {"selected, hovered room", new MMScrollZnetRoom(f, Session("A", "")), 3, 78, 7, 10, false},
    };
    for (const ROW& r : rows) {
        clear();
        r.row->Update();
        r.row->Draw(IPoint(0, 0), clip, r.state);
        EXPECT_EQ(at(r.row->w - 1, 15), r.fill) << r.name;
        EXPECT_EQ(at(r.px, r.py) != r.fill, r.picture) << r.name;
        delete r.row;
    }
    // "2/8" at x + 160, exactly as the text alone draws.
    ZephSessionRecord game = Session("G", "", 1, 65536);
    game.players = 2;
    clear();
    MMScrollZnetGame(f, game).Draw(IPoint(0, 0), clip, QIROW_NOBACK);
    std::vector<uint8_t> drawn(bb->data + 160, bb->data + 200);
    clear();
    QI_DrawTextLiteral(f, 160, 2, &clip, "2/8");
    EXPECT_EQ(drawn, std::vector<uint8_t>(bb->data + 160, bb->data + 200));
    // A private line: the same text 16 pixels to the right.
    MMScrollZnetMessage plain(f, "x> hi", 0), priv(f, "x> hi", 1);
    priv.Update();
    clear();
    plain.Draw(IPoint(0, 0), clip, 0);
    std::vector<uint8_t> left(bb->data + 4 * 640, bb->data + 4 * 640 + 40);
    clear();
    priv.Draw(IPoint(0, 0), clip, 0);
    EXPECT_EQ(left, std::vector<uint8_t>(bb->data + 4 * 640 + 16, bb->data + 4 * 640 + 56));
    // Sorted inserts: byte order, upper case first, equal names by arrival.
    QIList list("L", nullptr, IRect(0, 0, 100, 100), IPoint(138, 16), 1, nullptr, nullptr);
    const char* names[] = {"beta", "Beta", "alpha", "Beta", "\xE9t\xE9"};
    for (int i = 0; i < 5; i++) {
        ZephSessionRecord r = Session(names[i], "", (uint16_t)(i + 1));
        list.InsertSorted(new MMScrollZnetRoom(f, r));
    }
    std::string order;
    for (QIGraphic* g = list.first; g; g = static_cast<QIGraphic*>(g->next))
        order += std::to_string(static_cast<MMScrollZnetRoom*>(g)->record.id);
    EXPECT_EQ(order, "24315");
}

// ---------------------------------------------------------------- lobby

TEST_F(MmLobby, EntersTheFirstLobbyRoomWithAFreePlace)
{
    MeetConfig config;
    config.lobbies = 2;
    config.lobbyplayers = 1;
    Start(config);
    Peer first(port, Lobby(1), "Early");
    EXPECT_EQ(Connect(), 1);
    EXPECT_TRUE(Logged("Got into lobby"));
    EXPECT_EQ(Rows(MM_znet.rooms), "Lobby 1;Lobby 2;");
    MM_znet_poll();
    EXPECT_STREQ(MM_znet.roomText->text.c_str(), "Lobby 2");
    EXPECT_STREQ(MM_znet.messagesTitle->text.c_str(), "Messages in Lobby 2");
    EXPECT_STREQ(MM_znet.serverText->text.c_str(), g_Config.zephnetserver);
    EXPECT_EQ(Rows(MM_znet.players), "Player 1;");
    EXPECT_EQ(Mm_Poll(), MM_znet_poll);
}

TEST_F(MmLobby, WithoutAFreeLobbyRoomTheBoxShowsAndTheLobbyStays)
{
    struct ROW {
        const char* name;
        bool endless;
    } rows[] = {{"full lobby", false}, {"a list without end", true}};
    for (const ROW& r : rows) {
        MeetConfig config;
        config.lobbyplayers = 1;
        config.endless = r.endless;
        Start(config);
        Peer first(port, Lobby(1), "Early");
        log.clear();
        if (r.endless) Thread_SetClockHook(FastClock);
        EXPECT_EQ(Connect(1), 1) << r.name;
        Thread_SetClockHook(nullptr);
        EXPECT_TRUE(Logged("Timed out getting into lobby")) << r.name;
        EXPECT_TRUE(Logged("Error box [ZephNoLobby]")) << r.name;
        EXPECT_FALSE(Logged("Got into lobby")) << r.name;
        EXPECT_EQ(Find("PopError"), nullptr) << r.name;
        EXPECT_EQ(Find("ZephnetConnecting"), nullptr) << r.name;
        Zeph_Shutdown();
        MeetSrv_Stop();
        Mm_Close();
    }
}

TEST_F(MmLobby, ListsFollowTheServerAndPlayersAreRationed)
{
    Start(MeetConfig());
    PlatHeadless_SetClock(10000, 0);
    ASSERT_EQ(Connect(), 1);
    MM_znet_poll(); // the first poll shows the players whatever the clock
    EXPECT_EQ(Rows(MM_znet.players), "Player 1;");
    Peer room(port, Session("beta", "pw"), "Bea");
    Peer lobby(port, Lobby(1), "Al");
    ASSERT_TRUE(PollUntil([] { return ClientPlayers() == 2; }));
    MM_znet_poll();
    EXPECT_EQ(Rows(MM_znet.rooms), "Lobby 1;beta;") << "rebuilt from the next finished enumeration";
    EXPECT_EQ(Rows(MM_znet.players), "Player 1;") << "within 250 ms";
    PlatHeadless_Advance(MM_ZNET_PLAYER_MS + 1);
    MM_znet_poll();
    EXPECT_EQ(Rows(MM_znet.players), "Player 1;Al;");
    // Rows that would come back the same stay (marked here); a change
    // rebuilds them and keeps the row the player picked.
    static_cast<MMScrollZnetRoom*>(MM_znet.rooms->first)->record.name[0] = 'X';
    MM_znet.rooms->SetCurrent(1);
    MM_znet_poll();
    EXPECT_EQ(Rows(MM_znet.rooms), "Xobby 1;beta;");
    Peer later(port, Session("gamma", ""), "Gus");
    MM_znet_poll();
    MM_znet_poll();
    EXPECT_EQ(Rows(MM_znet.rooms), "Lobby 1;beta;gamma;");
    EXPECT_EQ(MM_znet.rooms->current, 1);
    // Regression: the pick stayed on its index, so a row arriving before it
    // (or leaving) put another room or player under it: Join joined that
    // one, a private line went to that player. It stays on its own row.
    Peer before(port, Session("alpha", ""), "Ava");
    ASSERT_TRUE(PollUntil([] { return Rows(MM_znet.rooms) == "Lobby 1;alpha;beta;gamma;"; }));
    EXPECT_EQ(MM_znet.rooms->current, 2) << "beta";
    auto bo = std::make_unique<Peer>(port, Lobby(1), "Bo");
    Peer cy(port, Lobby(1), "Cy");
    ASSERT_TRUE(PollUntil([] { return ClientPlayers() == 4; }));
    PlatHeadless_Advance(MM_ZNET_PLAYER_MS + 1);
    MM_znet_poll();
    ASSERT_EQ(Rows(MM_znet.players), "Player 1;Al;Bo;Cy;");
    MM_znet.players->SetCurrent(3);
    bo.reset();
    ASSERT_TRUE(PollUntil([] { return ClientPlayers() == 3; }));
    PlatHeadless_Advance(MM_ZNET_PLAYER_MS + 1);
    MM_znet_poll();
    ASSERT_EQ(Rows(MM_znet.players), "Player 1;Al;Cy;");
    EXPECT_EQ(MM_znet.players->current, 2) << "Cy";
}

TEST_F(MmLobby, MessagesOutAndIn)
{
    Start(MeetConfig());
    ASSERT_EQ(Connect(), 1);
    Peer other(port, Lobby(1), "Ann");
    ASSERT_TRUE(PollUntil([] { return ClientPlayers() == 2; }));
    PlatHeadless_Advance(MM_ZNET_PLAYER_MS + 1);
    MM_znet_poll();
    ASSERT_EQ(Rows(MM_znet.players), "Player 1;Ann;");
    struct ROW {
        const char* name;
        int mode, player; // player row selected, -1 none
        std::string typed, lines, sent, left; // the lines added, what Ann got, the entry afterwards
    } rows[] = {
        {"empty", 0, -1, "", "", "", ""},
        {"public", 0, -1, "hello", "Player 1> hello(msg);", "AMhello;", ""},
        {"private without a player", 1, -1, "psst", "{To Send a Private Message Select a Player First};", "",
         "psst"},
        {"private", 1, 1, "psst", "[Ann] psst;", "AM\xFEpsst;", ""},
        {"60 characters", 0, -1, std::string(60, 'x'), "Player 1> " + std::string(60, 'x') + "(msg);",
         "AM" + std::string(60, 'x') + ";", ""},
    };
    for (const ROW& r : rows) {
        MM_znet.messages->Clear();
        MM_znet.mode = r.mode;
        MM_znet.players->SetCurrent(r.player);
        desktop->SetCapture(nullptr, true);
        Mm_SetEditText(MM_znet.entryField, r.typed.c_str());
        MM_znet_send_message(MM_znet.entryField, QIN_ENTER, 0);
        EXPECT_EQ(Rows(MM_znet.messages), r.lines) << r.name;
        std::string sent;
        for (const std::string& t : other.Texts()) sent += t + ";";
        EXPECT_EQ(sent, r.sent) << r.name;
        EXPECT_EQ(MM_znet.entry.c_str(), r.left) << r.name;
        EXPECT_EQ(desktop->capturePath.entry[1] == MM_znet.entryField, r.left.empty())
            << r.name << ": the focus goes back after a send";
    }
    MM_znet.messages->Clear();
    other.Send(0, "AMhi all");
    other.Send(0, "AM\xFEjust you");
    other.Send(0, "AM" + std::string(100, 'y'));
    ASSERT_TRUE(PollUntil([] { return MM_znet.messages->count == 3; }));
    EXPECT_EQ(Rows(MM_znet.messages),
              "Ann> hi all(msg);Ann> just you(msg);Ann> " + std::string(75, 'y') + "(msg);");
    auto* second = static_cast<MMScrollZnetMessage*>(MM_znet.messages->ItemAt(1));
    EXPECT_EQ(second->priv, 1);
    EXPECT_EQ(static_cast<MMScrollZnetMessage*>(MM_znet.messages->first)->priv, 0);
}

TEST_F(MmLobby, AKickShowsTheBoxAfterThePollAndRejoinsTheLobby)
{
    Start(MeetConfig());
    ASSERT_EQ(Connect(), 1);
    ASSERT_EQ(Zeph_CreateRoom("Side", ""), nullptr);
    Peer boss(port, Zeph_GetRoomInfo()[0], "Boss");
    boss.Send(Zeph_GetModeratorInfo()->id, "AKgo away");
    int shown = 0;
    QvPassScript s;
    s.onPass = [&shown, this](int) { shown += Find("PopError") != nullptr; };
    Click(s, ERROR_OK_X, ERROR_OK_Y);
    s.stopWhenDone = false;
    log.clear();
    EXPECT_TRUE(PollUntil([&shown] { return shown > 0; }));
    EXPECT_TRUE(Logged("Error box [Kicked Out]: Kicked out by Boss: go away")) << log.text();
    EXPECT_STREQ(Zeph_GetRoomInfo()->name, "Lobby 1");
    EXPECT_FALSE(MM_znet.kicked);
}

TEST_F(MmLobby, LeavingThePage)
{
    Start(MeetConfig());
    struct ROW {
        const char* name;
        int (*handler)(QIWidget*, int, QIARG);
        const char* page; // shown afterwards, null for none
        int state;
    } rows[] = {{"back", MM_znet_back, "MultiMenuMain", GS_MULTIMENU},
                {"main", MM_znet_main, nullptr, GS_FRONTEND}};
    for (const ROW& r : rows) {
        g_GameState = GS_MULTIMENU;
        ASSERT_EQ(Connect(), 1);
        Mm_SwitchPage(MM_main_page(), MM_znet_page());
        r.handler(nullptr, QIN_CLICKED, 0);
        EXPECT_EQ(Zeph_Handle(), nullptr) << r.name;
        EXPECT_EQ(Zeph_GetModeratorInfo()->id, 0) << r.name << ": no owner of a left session";
        EXPECT_STREQ(Zeph_GetRoomInfo()->name, "") << r.name;
        EXPECT_EQ(Mm_Poll(), nullptr) << r.name;
        EXPECT_FALSE(Shown("MultiMenuZephnet")) << r.name;
        if (r.page) {
            EXPECT_TRUE(Shown(r.page)) << r.name;
        }
        EXPECT_EQ(g_GameState, r.state) << r.name;
    }
}

TEST_F(MmLobby, TheConnectionPageReportsAClientThatCannotStart)
{
    Build();
    snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "127.0.0.1:1");
    QvPassScript s;
    Click(s, ERROR_OK_X, ERROR_OK_Y);
    s.stopWhenDone = false;
    MM_main_znet(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(Logged("[Error!]: Zephnet Not Available"));
    EXPECT_TRUE(Shown("MultiMenuMain"));
    EXPECT_EQ(Mm_Poll(), nullptr);
}

// ---------------------------------------------------------------- rooms and games

TEST_F(MmLobby, CreatingRoomsWithAndWithoutPasswords)
{
    Start(MeetConfig());
    ASSERT_EQ(Connect(), 1);
    struct ROW {
        const char* name;
        std::string typedName, password;
        int button;
        const char* room; // the room afterwards
        bool locked;
    } rows[] = {
        {"open", "Open room", "", OK_X, "Open room", false},
        {"cancelled", "Other", "", CANCEL_X, "Open room", false},
        {"32 characters", std::string(33, 'n'), "key", OK_X, "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", true},
    };
    for (const ROW& r : rows) {
        std::vector<int> lockedShown;
        QvPassScript s;
        s.onPass = [&lockedShown, this](int) {
            if (QIWidget* w = Find("ZephnetCRLocked")) lockedShown.push_back(!QIWidget::IsHidden(w));

        };
        s.Wait(1000); // no double click with the last row's
        Click(s, NAME_X, NAME_Y);
        Type(s, r.typedName);
        s.Add(QvKey(28));
        Click(s, NAME_X, PASSWORD_Y);
        if (!r.password.empty()) {
            Type(s, "a");
            s.Add(QvKey(14)); // Backspace: open again
            Type(s, r.password);
        }
        s.Add(QvKey(28));
        Click(s, r.button, BUTTON_Y);
        s.stopWhenDone = false;
        MM_znet_create_room(nullptr, QIN_CLICKED, 0);
        EXPECT_STREQ(Zeph_GetRoomInfo()->name, r.room) << r.name << log.text();
        EXPECT_EQ(Zeph_GetRoomInfo()->password != 0, r.locked) << r.name;
        EXPECT_EQ(Find("ZephnetCreateRoom"), nullptr) << r.name;
        // The picture turns locked at the first character and back when emptied.
        std::string changes;
        for (size_t i = 0; i < lockedShown.size(); i++)
            if (i == 0 || lockedShown[i] != lockedShown[i - 1]) changes += std::to_string(lockedShown[i]);
        EXPECT_EQ(changes, r.password.empty() ? "0" : "0101") << r.name;
    }
}

TEST_F(MmLobby, JoiningRoomsAndGames)
{
    Start(MeetConfig());
    Peer keeper(port, Session("Vault", "secret"), "Keeper");
    ASSERT_EQ(Connect(), 1);
    MM_znet_poll();
    ASSERT_EQ(Rows(MM_znet.rooms), "Lobby 1;Vault;");
    struct ROW {
        const char* name;
        int row;             // -1: none selected
        const char* password; // typed into the popup, null: no popup expected
        const char* room;
        const char* box;
    } rows[] = {
        {"nothing selected", -1, nullptr, "Lobby 1", nullptr},
        {"wrong password", 1, "guess", "Lobby 1", "Error box [ZephPasswordIncorrect]"},
        {"right password", 1, "secret", "Vault", nullptr},
        {"open room: no popup", 0, nullptr, "Lobby 1", nullptr},
    };
    for (const ROW& r : rows) {
        log.clear();
        MM_znet.messages->Clear();
        MM_znet_poll();
        MM_znet.rooms->SetCurrent(r.row);
        QvPassScript s;
        int popups = 0;
        s.onPass = [&popups, this](int) { popups += Find("ZephnetJoinRoom") != nullptr; };
        if (r.password) {
            s.Wait(1000);
            Click(s, JOIN_X, JOIN_Y);
            Type(s, r.password);
            s.Add(QvKey(28));
            Click(s, OK_X, BUTTON_Y);
            if (r.box) Click(s, ERROR_OK_X, ERROR_OK_Y);
        }
        s.stopWhenDone = false;
        MM_znet_join_room(nullptr, QIN_CLICKED, 0);
        EXPECT_STREQ(Zeph_GetRoomInfo()->name, r.room) << r.name << log.text();
        EXPECT_EQ(popups > 0, r.password != nullptr) << r.name;
        if (r.box) {
            EXPECT_TRUE(Logged(r.box)) << r.name;
        }
        EXPECT_EQ(Rows(MM_znet.messages), r.row < 0 ? "{You must select a room to join};" : "") << r.name;
    }
    MM_znet.games->SetCurrent(-1);
    MM_znet_join_game_popup(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Rows(MM_znet.messages), "{You must select a game to join};");
    EXPECT_STREQ(Zeph_GetRoomInfo()->name, "Lobby 1");
}

TEST_F(MmLobby, ACreatedGameIsHostedAndAnOwnerlessOneIsNotJoined)
{
    MeetConfig config;
    config.quiet = true;
    Start(config);
    ASSERT_EQ(Connect(), 1);
    Mm_SwitchPage(MM_main_page(), MM_znet_page());
    const ZephSessionRecord lobby = *Zeph_GetRoomInfo();
    // A game nobody tells us the owner of.
    Peer owner(port, Session("Quiet game", "", 0, (uint32_t)lobby.id << 16), "Owner");
    MM_znet_poll();
    MM_znet_poll();
    ASSERT_EQ(Rows(MM_znet.games), "Quiet game;");
    MM_znet.games->SetCurrent(0);
    MM_znet_join_game_popup(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(Logged("Couldn't find the owner of the game"));
    EXPECT_TRUE(Shown("MultiMenuZephnet"));
    EXPECT_FALSE(NetPkt_Running());
    // Our own game: while its port is taken UDP can't start and the page
    // stays (the service session is the game's already); then it is hosted
    // and the staging page follows.
    const int taken = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(UDP_PORT);
    at.sin_addr.s_addr = inet_addr("127.0.0.9");
    ASSERT_EQ(bind(taken, (sockaddr*)&at, sizeof at), 0);
    for (int address = 0; address < 2; address++) {
        setenv("QUORVEX_NETADDRESS", address ? "127.0.0.1" : "127.0.0.9", 1);
        ASSERT_EQ(Zeph_JoinRoom(&lobby, ""), nullptr);
        log.clear();
        QvPassScript s;
        s.Wait(1000);
        Click(s, NAME_X, NAME_Y);
        Type(s, "Mine");
        s.Add(QvKey(28));
        Click(s, OK_X, BUTTON_Y);
        s.stopWhenDone = false;
        MM_znet_create_game(nullptr, QIN_CLICKED, 0);
        EXPECT_STREQ(Zeph_GetRoomInfo()->name, "Mine");
        EXPECT_EQ(Zeph_GetRoomInfo()->parent >> 16, lobby.id);
        EXPECT_EQ(Logged("UDP could not be started"), !address);
        EXPECT_EQ((bool)g_NetCreator, (bool)address) << log.text();
        EXPECT_EQ(Shown("MultiMenuChat"), (bool)address);
        EXPECT_EQ(Shown("MultiMenuZephnet"), !address);
    }
    unsetenv("QUORVEX_NETADDRESS");
    close(taken);
}

TEST_F(MmLobby, AFailedJoinClosesTheNetwork)
{
    Start(MeetConfig());
    ASSERT_EQ(Connect(), 1);
    Mm_SwitchPage(MM_main_page(), MM_znet_page());
    const ZephSessionRecord lobby = *Zeph_GetRoomInfo();
    // The owner's records name an address nobody answers at.
    setenv("QUORVEX_NETADDRESS", "127.0.0.8", 1);
    Peer owner(port, Session("Deaf game", "", 0, (uint32_t)lobby.id << 16), "Owner");
    setenv("QUORVEX_NETADDRESS", "127.0.0.1", 1);
    ASSERT_TRUE(PollUntil([] { return Rows(MM_znet.games) == "Deaf game;"; }));
    MM_znet.games->SetCurrent(0);
    s_mainThread = std::this_thread::get_id();
    Thread_SetClockHook(AheadClock);
    MM_znet_join_game_popup(nullptr, QIN_CLICKED, 0);
    Thread_SetClockHook(nullptr);
    unsetenv("QUORVEX_NETADDRESS");
    EXPECT_TRUE(Logged("Couldn't join the game at 127.0.0.8")) << log.text();
    EXPECT_TRUE(Shown("MultiMenuZephnet"));
    // Started still, a later start would keep this carrier and its state.
    EXPECT_FALSE(NetPkt_Running());
}

// ---------------------------------------------------------------- server list

TEST_F(MmLobby, TheServerList)
{
    MeetConfig config;
    config.servers = {{"alpha.example", 5}, {"beta.example", 9}};
    Start(config);
    ASSERT_EQ(Connect(), 1);
    PlatHeadless_SetClock(1000, 0);
    MM_znet_change_server(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(Shown("ZsvrScroller"));
    EXPECT_EQ(Mm_Poll(), MM_zsvr_poll);
    auto searches = [this] {
        size_t n = 0;
        for (size_t at = log.text().find("Initiating search"); at != std::string::npos;
             at = log.text().find("Initiating search", at + 1))
            n++;
        return n;
    };
    struct STEP {
        const char* name;
        uint32_t advance;
        bool click;
        size_t searches;
    } steps[] = {
        {"entry", 0, false, 0},          {"59 s", 59000, false, 0},    {"Update List", 0, true, 1},
        {"59 s later", 59000, false, 1}, {"past 60 s", 1001, false, 2}, {"again", 0, true, 3},
    };
    for (const STEP& st : steps) {
        PlatHeadless_Advance(st.advance);
        if (st.click)
            MM_zsvr_search(nullptr, QIN_CLICKED, 0);
        else
            MM_zsvr_poll();
        EXPECT_EQ(searches(), st.searches) << st.name;
        EXPECT_EQ(Rows(MM_zsvr_list()), st.searches ? "alpha.example;beta.example;" : "") << st.name;
    }
    EXPECT_STREQ(static_cast<QIStatic*>(Find("ZsvrCurrentServer"))->text.c_str(), g_Config.zephnetserver);
    MM_zsvr_list()->SetCurrent(-1);
    MM_zsvr_connect(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(Shown("MultiMenuZephnet"));
    EXPECT_EQ(Mm_Poll(), MM_znet_poll);
    EXPECT_EQ(Zeph_Handle() != nullptr, true) << "the client stays";
    // An enumeration that never reports its end: the wait ends at 6000 ms.
    Zeph_Shutdown();
    Thread_SetClockHook(FastClock);
    s_virtual = 0;
    MM_zsvr_search(nullptr, QIN_CLICKED, 0);
    Thread_SetClockHook(nullptr);
    EXPECT_GE(s_virtual, (uint32_t)MM_ZSVR_WAIT_MS);
    EXPECT_LT(s_virtual, (uint32_t)MM_ZSVR_WAIT_MS + 1000);
    EXPECT_TRUE(Logged("Calling Poll Function..."));
    EXPECT_EQ(Find("ZSvrSearching"), nullptr);
    EXPECT_EQ(Rows(MM_zsvr_list()), "");
}

// ---------------------------------------------------------------- frames

// The pages as they look (a mismatch writes the frame beside the test, not
// in the menus' temporary directory).
const std::string out = [] {
    char cwd[4096];
    return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/";
}();

class MmLobbyFrames : public MmFixture {
protected:
    ::testing::AssertionResult Frame(uint32_t golden, const char* file)
    {
        for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
        desktop->Draw(nullptr, nullptr);
        return DemoFixture_Matches(Backbuf_Lock()->data, g_Palette, golden, (out + file).c_str());
    }
    void Lobby(void)
    {
        Build();
        Mm_SwitchPage(MM_main_page(), MM_znet_page());
        const QIFont* f = &MM_menu.fonts[MM_FONT_TEXT];
        MM_znet.serverText->SetText("127.0.0.100");
        MM_znet.roomText->SetText("Lobby 1");
        MM_znet.messagesTitle->SetText("Messages in Lobby 1");
        for (const char* room : {"Lobby 1", "Lobby 2", "Den"})
            MM_znet.rooms->InsertSorted(new MMScrollZnetRoom(f, Session(room, room[0] == 'D' ? "key" : "")));
        ZephSessionRecord game = Session("War", "", 1, 65536);
        game.players = 2;
        MM_znet.games->InsertSorted(new MMScrollZnetGame(f, game));
        MM_znet.games->InsertSorted(new MMScrollZnetGame(f, Session("Secret war", "pw", 2, 65536)));
        MM_znet.players->Add(new MMScrollZnetPlayer(f, ZephPlayerRecord{"Player 1", 1, 0}));
        MM_znet.players->Add(new MMScrollZnetPlayer(f, ZephPlayerRecord{"Player 2", 2, 0}));
        MM_znet_add_message("Player 2", "hello");
        MM_znet_add_message("Player 2", "\xFEjust you");
        MM_znet_add_line("[Player 2] psst");
        MM_znet.rooms->SetCurrent(0);
        MM_znet.games->SetCurrent(1);
        desktop->TickAll(nullptr);
    }
};

TEST_F(MmLobbyFrames, TheLobbyWithRowsInEveryList)
{
    Lobby();
    EXPECT_TRUE(Frame(0x66413638u, "mm_lobby.pcx"));
}

TEST_F(MmLobbyFrames, TheCreateRoomPopupLocked)
{
    Lobby();
    for (QIWidget* w = desktop->first; w; w = w->Next()) w->MarkTree();
    desktop->Draw(nullptr, nullptr);
    QvPassScript s;
    s.Wait(1000);
    Click(s, NAME_X, NAME_Y);
    Type(s, "Den");
    s.Add(QvKey(28));
    Click(s, NAME_X, PASSWORD_Y);
    Type(s, "key");
    s.Add(QvKey(28)).Wait(10, 2);
    const int last = 3 + 3 + 1 + 3 + 3 + 1 + 2;
    Click(s, CANCEL_X, BUTTON_Y);
    s.stopWhenDone = false;
    bool seen = false;
    s.onPass = [&](int pass) {
        if (pass != last) return;
        const uint8_t* pixels;
        const PAL_RGB* palette;
        ASSERT_TRUE(PlatHeadless_LastFrame(&pixels, &palette));
        EXPECT_TRUE(DemoFixture_Matches(pixels, palette, 0x4555DC7Cu, (out + "mm_createroom.pcx").c_str()));
        seen = true;
    };
    MM_znet_create_room(nullptr, QIN_CLICKED, 0);
    EXPECT_TRUE(seen);
}

TEST_F(MmLobbyFrames, TheServerList)
{
    Build();
    Mm_SwitchPage(MM_main_page(), MM_zsvr_page());
    snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "127.0.0.100");
    MM_zsvr_show_server();
    Mm_SetPoll(nullptr);
    for (const char* host : {"127.0.0.100", "meet.example"}) {
        ZephServerRecord r{};
        snprintf(r.host, sizeof r.host, "%s", host);
        MM_zsvr_list()->Add(new MMScrollServer(&MM_menu.fonts[MM_FONT_TEXT], r));
    }
    MM_zsvr_list()->SetCurrent(1);
    desktop->TickAll(nullptr);
    EXPECT_TRUE(Frame(0x118BC1BFu, "mm_servers.pcx"));
}

} // namespace

// A long name was centred whatever its width: a game's ran into its
// "1/8", a room's over its padlock, a player's over the ping picture.
class PlayerViewMenusLobby : public MmLobbyFrames {};

TEST_F(PlayerViewMenusLobby, ALongNameStopsShortOfWhatItsRowShowsBesideIt)
{
    Build();
    const QIFont* f = &MM_menu.fonts[MM_FONT_TEXT];
    const std::string longName(ZEPH_SESSION_NAME_SIZE - 1, 'W');
    ZephSessionRecord shortGame = Session("War", "pw", 1, 65536), longGame = Session(longName.c_str(), "pw", 1, 65536);
    shortGame.players = longGame.players = 1;
    ZephPlayerRecord shortPlayer{"Ann", 1, 0}, longPlayer{};
    snprintf(longPlayer.name, sizeof longPlayer.name, "%s", std::string(ZEPH_NAME_SIZE - 1, 'W').c_str());
    longPlayer.id = 1;
    MMScrollZnetGame gameA(f, shortGame), gameB(f, longGame);
    MMScrollZnetRoom roomA(f, Session("Den", "pw")), roomB(f, Session(longName.c_str(), "pw"));
    MMScrollZnetPlayer playerA(f, shortPlayer), playerB(f, longPlayer);
    struct ROW {
        const char* name;
        QIGraphic *shortRow, *longRow;
        int width, keepFrom, keepTo; // the columns the name must leave alone
    } rows[] = {
        {"game: the player count", &gameA, &gameB, 247, 156, 247},
        {"game: the padlock", &gameA, &gameB, 247, 0, 16},
        {"room: the padlock", &roomA, &roomB, 138, 0, 16},
        {"player: the crown", &playerA, &playerB, 124, 0, 16},
        {"player: the ping picture", &playerA, &playerB, 124, 106, 124},
    };
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    for (const ROW& r : rows) {
        r.shortRow->Update();
        r.longRow->Update();
        const IRect a(100, 100, r.width, 16), b(100, 200, r.width, 16);
        // An unselected row draws over what is there: start from one ground.
        Graph_FillRect(bb, nullptr, 0, 0, 0, bb->x_size, bb->y_size, 0);
        r.shortRow->Draw(IPoint(a.x, a.y), a, 0);
        r.longRow->Draw(IPoint(b.x, b.y), b, 0);
        int differ = 0, nameShown = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < r.width; x++) {
                const bool same = bb->data[(a.y + y) * bb->x_size + a.x + x] == bb->data[(b.y + y) * bb->x_size + b.x + x];
                if (x >= r.keepFrom && x < r.keepTo) differ += !same;
                else nameShown += !same;
            }
        EXPECT_EQ(differ, 0) << r.name;
        EXPECT_GT(nameShown, 0) << r.name << ": the long name is drawn";
    }
}
