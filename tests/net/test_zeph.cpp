// The online client against the meeting server on a thread of its own: the
// client under test is the module's one instance; the other players are
// plain library handles in the same process.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "core/config.h"
#include "core/crc32.h"
#include "core/tlog.h"
#include "meetsrv.h"
#include "net/zeph.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

std::vector<std::string> s_texts;

void OnText(const char* sender, const char* text) { s_texts.push_back(std::string(sender) + ": " + text); }

// Another player: a bare library handle.
struct Peer {
    DPHANDLE h = nullptr;
    uint16_t id = 0;
    uint8_t record[DP_SESSION_BYTES] = {};

    explicit Peer(uint16_t port)
    {
        dpCreate(&h, "test", nullptr, nullptr);
        EXPECT_EQ(dpSetGameServer(h, ("127.0.0.1:" + std::to_string(port)).c_str()), DP_OK);
    }
    ~Peer() { dpDestroy(h, 0); }
    int Open(const ZephSessionRecord& r, const char* name)
    {
        Zeph_SessionToBytes(&r, record);
        int e = dpOpen(h, record, +[](const uint8_t* rec, void* me) { memcpy(((Peer*)me)->record, rec, DP_SESSION_BYTES); }, this);
        if (e != DP_OK) return e;
        return dpCreatePlayer(h, +[](uint16_t id, void* me) { ((Peer*)me)->id = id; }, name, this);
    }
    ZephSessionRecord Session() const
    {
        ZephSessionRecord r;
        Zeph_SessionFromBytes(record, &r);
        return r;
    }
    // Every packet waiting, as "tag" or "tag text".
    std::vector<std::string> Drain()
    {
        std::vector<std::string> got;
        for (int empty = 0; empty < 5;) {
            uint8_t buffer[DP_PACKET_MAX];
            uint32_t length = sizeof buffer;
            uint16_t from, to;
            if (dpReceive(h, &from, &to, 0, buffer, &length) != DP_OK) {
                empty++;
                Thread_Sleep(2);
                continue;
            }
            std::string p((const char*)buffer, length);
            got.push_back(p[0] == 'A' ? p.substr(0, length - 1) : p.substr(0, 2));
        }
        return got;
    }
};

ZephSessionRecord Room(const char* name, const char* password, int16_t max = 20, uint32_t parent = 0)
{
    ZephSessionRecord r;
    memset(&r, 0, sizeof r);
    r.gametype = ZEPH_GAME_TYPE;
    r.maxplayers = max;
    r.parent = parent;
    snprintf(r.name, sizeof r.name, "%s", name);
    r.password = Crc32_Block(password, strlen(password));
    return r;
}

// Polls the client until the condition holds (bounded).
template <typename F> bool PollUntil(F done)
{
    for (int i = 0; i < 500 && !done(); i++) {
        ZEPH_poll();
        Thread_Sleep(2);
    }
    return done();
}

const ZephSessionRecord* FindRoom(const char* name)
{
    Zeph_SessionListRewind();
    while (const ZephSessionRecord* r = Zeph_SessionListNext())
        if (!strcmp(r->name, name)) return r;
    return nullptr;
}

class NetMeet : public ::testing::Test {
protected:
    uint16_t port = 0;
    QvLogCapture log{TLOG_SETUP | TLOG_NERR | TLOG_NWARN};

    void Start(MeetConfig config = MeetConfig())
    {
        port = MeetSrv_Start(config);
        ASSERT_NE(port, 0);
        snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "127.0.0.1:%u", port);
        Zeph_SetPlayerName("Tester");
        ASSERT_EQ(Zeph_Init(), 1);
        s_texts.clear();
        Zeph_SetTagAMHandler(OnText);
        Zeph_SetTagAKHandler(OnText);
    }
    void SetUp() override { Start(); }
    void TearDown() override
    {
        Zeph_Shutdown();
        printf("  %s\n", MeetSrv_Report().c_str());
        MeetSrv_Stop();
    }
    std::vector<std::string> Players()
    {
        std::vector<std::string> names;
        Zeph_PlayerListRewind();
        while (const ZephPlayerRecord* p = Zeph_PlayerListNext()) names.push_back(p->name);
        return names;
    }
};

TEST_F(NetMeet, ListsServersRoomsAndOnlyTheGamesOfTheCurrentRoom)
{
    Zeph_EnumServers();
    ASSERT_TRUE(Zeph_ServerEnumDone());
    Zeph_ServerListRewind();
    const ZephServerRecord* server = Zeph_ServerListNext();
    ASSERT_NE(server, nullptr);
    EXPECT_STREQ(server->host, "127.0.0.1");
    EXPECT_EQ(Zeph_ServerListNext(), nullptr);

    // Rooms live while someone is in them: the keepers hold them open.
    Peer other(port), keeper(port), gamehost(port), elsewhere(port);
    ASSERT_EQ(other.Open(Room("Elsewhere", ""), "Other"), DP_OK);
    ASSERT_EQ(elsewhere.Open(Room("Their game", "", 8, other.Session().id * 65536u), "Other2"), DP_OK);
    ASSERT_EQ(keeper.Open(Room("Mine", ""), "Keeper"), DP_OK);
    ZephSessionRecord mine = keeper.Session();
    ASSERT_EQ(gamehost.Open(Room("Game of Mine", "", 8, mine.id * 65536u), "Host"), DP_OK);

    EXPECT_STREQ(Zeph_CreateGame("Nowhere", ""), "ZephNotInARoom");
    ASSERT_EQ(Zeph_JoinRoom(&mine, ""), nullptr);
    EXPECT_EQ(Zeph_CreateGame("Our game", ""), nullptr);
    EXPECT_EQ(Zeph_GetRoomInfo()->maxplayers, 8);
    EXPECT_STREQ(Zeph_CreateGame("Game in a game", ""), "ZephNotInARoom");
    // Back in the room (our game ends with its last member), its game is
    // listed, the other room's isn't.
    ASSERT_EQ(Zeph_JoinRoom(&mine, ""), nullptr);
    Zeph_EnumSessions();
    ASSERT_TRUE(Zeph_SessionEnumDone());
    std::vector<std::string> rooms, games;
    Zeph_SessionListRewind();
    while (const ZephSessionRecord* r = Zeph_SessionListNext()) rooms.push_back(r->name);
    Zeph_GameListRewind();
    while (const ZephSessionRecord* g = Zeph_GameListNext()) games.push_back(g->name);
    EXPECT_EQ(rooms, (std::vector<std::string>{"Lobby 1", "Elsewhere", "Mine"}));
    EXPECT_EQ(games, (std::vector<std::string>{"Game of Mine"}));
}

TEST_F(NetMeet, TheServerListKeepsEveryEnumerationWithPingTimes)
{
    Zeph_Shutdown();
    MeetSrv_Stop();
    MeetConfig config;
    config.servers = {{"near.example", 20}, {"far.example", 400}};
    Start(config);
    Zeph_EnumServers();
    Zeph_EnumServers();
    std::vector<std::string> hosts;
    std::vector<uint32_t> pings;
    Zeph_ServerListRewind();
    while (const ZephServerRecord* r = Zeph_ServerListNext()) {
        hosts.push_back(r->host);
        pings.push_back(r->ping);
    }
    EXPECT_EQ(hosts, (std::vector<std::string>{"near.example", "far.example", "near.example", "far.example"}));
    ASSERT_EQ(pings.size(), 4u);
    EXPECT_GE(pings[0], 20u);
    EXPECT_GE(pings[1], 400u);
    EXPECT_LT(pings[0], 400u);
}

struct JoinRow {
    const char* name;
    const char* roompassword;
    const char* typed;
    const char* result;
};

TEST_F(NetMeet, JoinsWithTheRightPasswordOnly)
{
    const JoinRow rows[] = {
        {"empty matches empty", "", "", nullptr},
        {"the same password", "sesame", "sesame", nullptr},
        {"a wrong password", "sesame", "Sesame", "ZephPasswordIncorrect"},
        {"a password for an open room", "", "x", "ZephPasswordIncorrect"},
    };
    ASSERT_EQ(Zeph_CreateRoom("Reset", ""), nullptr);
    for (const JoinRow& row : rows) {
        Peer creator(port);
        ASSERT_EQ(creator.Open(Room(row.name, row.roompassword), "Creator"), DP_OK) << row.name;
        ZephSessionRecord room = creator.Session();
        const char* e = Zeph_JoinRoom(&room, row.typed);
        EXPECT_STREQ(e ? e : "(null)", row.result ? row.result : "(null)") << row.name;
        // A refusal leaves the client where it was.
        EXPECT_STREQ(Zeph_GetRoomInfo()->name, row.result ? "Reset" : row.name) << row.name;
        Zeph_CreateRoom("Reset", "");
    }
    // The server compares the check too: a client that skips its own check
    // is refused.
    Peer creator(port);
    ASSERT_EQ(creator.Open(Room("Locked", "key"), "Creator"), DP_OK);
    ZephSessionRecord forged = creator.Session();
    forged.password = 0;
    Peer intruder(port);
    EXPECT_EQ(intruder.Open(forged, "Intruder"), DP_ERR_REFUSED);
}

TEST_F(NetMeet, AFullRoomRefusesAndTheLobbyWalkSkipsIt)
{
    Zeph_Shutdown();
    MeetSrv_Stop();
    MeetConfig config;
    config.lobbies = 2;
    config.lobbyplayers = 1;
    Start(config);
    Zeph_EnumSessions();
    Peer first(port);
    ZephSessionRecord lobby1 = *FindRoom("Lobby 1");
    ASSERT_EQ(first.Open(lobby1, "First"), DP_OK);
    EXPECT_STREQ(Zeph_JoinRoom(&lobby1, ""), "ZephCouldNotJoinRoom");
    Zeph_EnumSessions();
    EXPECT_EQ(Zeph_JoinFirstOpenRoom(), nullptr);
    EXPECT_STREQ(Zeph_GetRoomInfo()->name, "Lobby 2");
    Peer third(port);
    EXPECT_EQ(third.Open(Zeph_GetRoomInfo()[0], "Third"), DP_ERR_REFUSED);
    Zeph_CreateRoom("Away", "");
    Zeph_EnumSessions();
    Peer fourth(port);
    ASSERT_EQ(fourth.Open(*FindRoom("Lobby 2"), "Fourth"), DP_OK);
    Zeph_EnumSessions();
    EXPECT_STREQ(Zeph_JoinFirstOpenRoom(), "ZephNoLobby");
}

TEST_F(NetMeet, TextsUpTo241CharactersReachTheOthers)
{
    ASSERT_EQ(Zeph_CreateRoom("Chat", ""), nullptr);
    Peer other(port);
    ASSERT_EQ(other.Open(*Zeph_GetRoomInfo(), "Other"), DP_OK);
    ASSERT_TRUE(PollUntil([&] { return Players().size() == 2; }));
    std::string longest(241, 'x');
    EXPECT_EQ(Zeph_BroadcastTagged(longest.c_str()), 1);
    EXPECT_EQ(Zeph_BroadcastTagged(std::string(242, 'y').c_str()), 0);
    EXPECT_EQ(Zeph_SendTaggedToPlayer(2, "private"), 1);
    EXPECT_EQ(Zeph_SendTaggedTo(2, "kick"), 1);
    std::vector<std::string> got = other.Drain();
    EXPECT_EQ(got, (std::vector<std::string>{"d1", "d1", "AM" + longest, "AMprivate", "AKkick"}));

    const char hello[] = "AMhello";
    const char kick[] = "AKgo";
    ASSERT_EQ(dpSend(other.h, other.id, 0, 1, hello, sizeof hello), DP_OK);
    ASSERT_EQ(dpSend(other.h, other.id, 1, 1, kick, sizeof kick), DP_OK);
    ASSERT_TRUE(PollUntil([] { return s_texts.size() == 2; }));
    EXPECT_EQ(s_texts, (std::vector<std::string>{"Other: hello", "Other: go"}));
}

TEST_F(NetMeet, TheModeratorIsTheLowestIdAndMovesOnWhenItLeaves)
{
    Peer creator(port);
    ASSERT_EQ(creator.Open(Room("Moderated", ""), "Creator"), DP_OK);
    ZephSessionRecord room = creator.Session();
    ASSERT_EQ(Zeph_JoinRoom(&room, ""), nullptr);
    Peer late(port);
    ASSERT_EQ(late.Open(room, "Late"), DP_OK);
    ASSERT_TRUE(PollUntil([&] { return Players().size() == 3; }));
    EXPECT_EQ(Players(), (std::vector<std::string>{"Creator", "Tester", "Late"}));
    EXPECT_STREQ(Zeph_GetModeratorInfo()->name, "Creator");
    EXPECT_EQ(Zeph_GetModeratorInfo()->address, 0x0100007Fu); // 127.0.0.1 as the server saw it

    dpDestroyPlayer(creator.h, creator.id);
    ASSERT_TRUE(PollUntil([&] { return Players().size() == 2; }));
    EXPECT_STREQ(Zeph_GetModeratorInfo()->name, "Tester");
    std::string text = log.text();
    EXPECT_NE(text.find("Moderator has left the session"), std::string::npos);
    EXPECT_NE(text.find("New moderator is Tester (2)"), std::string::npos);
    EXPECT_NE(text.find("Migration of Host : old 2"), std::string::npos);

    // Joining a game from there leaves the room: the others hear of it.
    Zeph_EnumPlayers();
    EXPECT_TRUE(Zeph_PlayerEnumDone());
    EXPECT_EQ(Players(), (std::vector<std::string>{"Late"}));
    late.Drain();
    ASSERT_EQ(Zeph_CreateGame("Leaving", ""), nullptr);
    EXPECT_EQ(late.Drain(), (std::vector<std::string>{"d2", "d7"}));
    ZephSessionRecord game = *Zeph_GetRoomInfo();
    EXPECT_EQ(game.parent, (uint32_t)room.id << 16);
    ASSERT_EQ(Zeph_JoinRoom(&room, ""), nullptr);
    Peer guest(port);
    ASSERT_EQ(guest.Open(game, "Guest"), DP_ERR_REFUSED) << "the game ended with its last member";
}

TEST_F(NetMeet, ShortAndUnterminatedPacketsReadNothingPastTheirBytes)
{
    ASSERT_EQ(Zeph_CreateRoom("Fed", ""), nullptr);
    ASSERT_TRUE(PollUntil([&] { return Players().size() == 1; }));
    // Server messages as the library would read them off the socket.
    auto data = [](uint16_t from, const std::string& name, const std::string& packet) {
        std::vector<uint8_t> m;
        Bytes_AppendU16(&m, (uint32_t)(1 + 4 + DP_NAME_SIZE + packet.size()));
        m.push_back(DPMSG_DATA);
        Bytes_AppendU16(&m, from);
        Bytes_AppendU16(&m, 1);
        std::string field = name;
        field.resize(DP_NAME_SIZE, 'N');
        m.insert(m.end(), field.begin(), field.end());
        m.insert(m.end(), packet.begin(), packet.end());
        return dpFeed(Zeph_Handle(), m.data(), (uint32_t)m.size());
    };
    std::string d1(39, '\0');
    d1[0] = 'd', d1[1] = '1', d1[2] = 9;
    ASSERT_EQ(data(0, "", d1), DP_OK);
    ASSERT_EQ(data(0, "", "d2"), DP_OK);
    ASSERT_EQ(data(7, "Loud", "AM" + std::string(247, 'z')), DP_OK);
    ASSERT_EQ(data(7, "Loud", "Q"), DP_OK);
    ZEPH_poll();
    EXPECT_EQ(Players(), (std::vector<std::string>{"Tester"}));
    ASSERT_EQ(s_texts.size(), 1u);
    EXPECT_EQ(s_texts[0], std::string(DP_NAME_SIZE, 'N').replace(0, 4, "Loud") + ": " + std::string(247, 'z'));
    std::string text = log.text();
    EXPECT_NE(text.find("short join notice (39 bytes)"), std::string::npos);
    EXPECT_NE(text.find("short leave notice (2 bytes)"), std::string::npos);
    EXPECT_NE(text.find("ZEPH_poll: unknown packet  Q."), std::string::npos) << text;

    // A message that breaks the protocol ends the connection: later calls
    // fail with a logged reason.
    const uint8_t bad[] = {3, 0, 0x7f, 0, 0};
    EXPECT_EQ(dpFeed(Zeph_Handle(), bad, sizeof bad), DP_ERR_CONNECTION);
    ZEPH_poll();
    EXPECT_EQ(Zeph_BroadcastTagged("anyone?"), 0);
    EXPECT_NE(log.text().find("malformed message (type 0x7f"), std::string::npos);
}

TEST_F(NetMeet, TheServerEndingMidSessionIsLoggedAndShutdownIsClean)
{
    ASSERT_EQ(Zeph_CreateRoom("Doomed", ""), nullptr);
    MeetSrv_Stop();
    ZEPH_poll();
    EXPECT_NE(log.text().find("ZEPH_poll - error 3"), std::string::npos);
    EXPECT_NE(log.text().find("the server closed the connection"), std::string::npos);
    EXPECT_EQ(Zeph_BroadcastTagged("hello?"), 0);
    EXPECT_STREQ(Zeph_CreateRoom("Again", ""), "Could not create room on server");
    Zeph_Shutdown();
    EXPECT_EQ(Zeph_Handle(), nullptr);
    ASSERT_NE(MeetSrv_Start(MeetConfig()), 0); // for TearDown
}

// A listener that answers with the given bytes (or nothing) and holds the
// connection open.
struct FakeServer {
    int listenfd = -1, conn = -1;
    uint16_t port = 0;
    FakeServer()
    {
        listenfd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a;
        memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(bind(listenfd, (sockaddr*)&a, sizeof a), 0);
        listen(listenfd, 4);
        getsockname(listenfd, (sockaddr*)&a, &len);
        port = ntohs(a.sin_port);
    }
    ~FakeServer()
    {
        if (conn >= 0) close(conn);
        close(listenfd);
    }
};

uint32_t s_virtual;
uint32_t VirtualClock(void) { return s_virtual += 250; }

TEST(NetMeetHostile, ADeadSilentOrLyingServerFailsInitWithoutHanging)
{
    QvLogCapture log(TLOG_SETUP | TLOG_NERR);
    Thread_SetClockHook(VirtualClock);
    struct Row {
        const char* name;
        bool listen;
        std::string greeting;
        const char* logged;
    };
    const Row rows[] = {
        {"nobody listens", false, "", "no server answers"},
        {"silent", true, "", "no answer from the server within 5000 ms"},
        {"wrong magic", true, std::string("\x05\x00\x81QZN2", 7), "no greeting"},
        {"length beyond the limit", true, std::string("\xff\xff\x81", 3), "message length 65535 outside 1..512"},
        {"hangs up", true, "close", "the server closed the connection"},
    };
    for (const Row& row : rows) {
        log.clear();
        FakeServer fake;
        if (!row.listen) close(fake.listenfd), fake.listenfd = socket(AF_INET, SOCK_STREAM, 0);
        snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "127.0.0.1:%u", fake.port);
        std::thread answer;
        if (row.listen && !row.greeting.empty())
            answer = std::thread([&fake, &row] {
                fake.conn = accept(fake.listenfd, nullptr, nullptr);
                if (row.greeting == "close") shutdown(fake.conn, SHUT_RDWR);
                else if (write(fake.conn, row.greeting.data(), row.greeting.size()) < 0) ADD_FAILURE();
            });
        EXPECT_EQ(Zeph_Init(), 0) << row.name;
        if (answer.joinable()) answer.join();
        EXPECT_NE(log.text().find(row.logged), std::string::npos) << row.name << "\n" << log.text();
        EXPECT_NE(log.text().find("dpSetGameServer(127.0.0.1:"), std::string::npos) << row.name;
    }
    Thread_SetClockHook(nullptr);
    Zeph_Shutdown();
    EXPECT_NE(log.text().find("Shutting Down when not initialised"), std::string::npos);
}

} // namespace

namespace {

// A server that greets, then answers any request with sessions without end.
TEST(NetMeetHostile, AListWithoutEndIsCutAtItsTimeOut)
{
    QvLogCapture log(TLOG_SETUP | TLOG_NERR);
    FakeServer fake;
    std::thread flood([&fake] {
        fake.conn = accept(fake.listenfd, nullptr, nullptr);
        uint8_t hello[7];
        if (recv(fake.conn, hello, sizeof hello, MSG_WAITALL) != 7) return;
        const uint8_t welcome[] = {5, 0, DPMSG_WELCOME, 0x51, 0x5A, 0x4E, 0x31};
        std::string session(3 + DP_SESSION_BYTES, '\0');
        session[0] = 1 + DP_SESSION_BYTES, session[2] = (char)DPMSG_SESSION;
        session[3 + DP_SESSION_GAMETYPE] = (char)(666 & 0xff), session[4 + DP_SESSION_GAMETYPE] = (char)(666 >> 8);
        if (send(fake.conn, welcome, sizeof welcome, MSG_NOSIGNAL) != sizeof welcome) return;
        while (send(fake.conn, session.data(), session.size(), MSG_NOSIGNAL) > 0) {
        }
    });
    DPHANDLE h = nullptr;
    dpCreate(&h, "test", nullptr, nullptr);
    ASSERT_EQ(dpSetGameServer(h, ("127.0.0.1:" + std::to_string(fake.port)).c_str()), DP_OK);
    Zeph_InitWithHandle(h);
    Thread_SetClockHook(VirtualClock);
    Zeph_EnumSessions();
    Thread_SetClockHook(nullptr);
    EXPECT_TRUE(Zeph_SessionEnumDone());
    EXPECT_NE(log.text().find("dpEnumSessions failed, err:4"), std::string::npos) << log.text();
    Zeph_Shutdown();
    shutdown(fake.conn, SHUT_RDWR);
    flood.join();
}

} // namespace

namespace {

// The poll stopped after two empty answers where three more are asked: a
// packet arriving just after the first empty answer waited for the next
// frame's poll.
TEST(NetMeetPoll, NothingWaitingIsAskedAgainThreeTimes)
{
    DPHANDLE h = nullptr;
    ASSERT_EQ(dpCreate(&h, "test", nullptr, nullptr), DP_OK); // no server: every answer is empty
    ASSERT_TRUE(Zeph_InitWithHandle(h));
    uint32_t before = Zeph_PollReceives();
    ZEPH_poll();
    EXPECT_EQ(Zeph_PollReceives() - before, 4u) << "one ask and three more";
    Zeph_Shutdown();
}

} // namespace
