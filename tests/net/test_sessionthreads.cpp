// A session over the real packet thread: this process hosts on 127.0.0.1
// and a socket of the test plays the guest, acknowledging what it is sent.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/gamestate.h"
#include "net/quornet.h"
#include "net/udp.h"
#include "platform/thread.h"

namespace {

const int kWaitMs = 10000;

sockaddr_in Sock(const char* ip)
{
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(UDP_PORT);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// Built by hand: the guest's thread must not read the node's own globals.
NetPacket Raw(uint32_t type, uint32_t id, const void* data, uint32_t length, uint32_t round = 0)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_SetLength(&p, NET_HEADER_SIZE + length);
    Net_SetType(&p, type);
    Net_SetSource(&p, 1);
    Net_SetId(&p, id);
    Net_SetRound(&p, round);
    if (length) memcpy(Net_Data(&p), data, length);
    Net_StampCrc(&p);
    return p;
}

struct Guest {
    int fd;
    sockaddr_in host = Sock("127.0.0.1");
    void Send(const NetPacket& p)
    {
        sendto(fd, p.raw, Net_Length(&p), 0, (const sockaddr*)&host, sizeof host);
    }
    // Acknowledges everything that wants it until a packet of the type comes
    // (1) or the wait ends (0).
    int ServeUntil(uint32_t type, NetPacket* got = nullptr)
    {
        for (;;) {
            pollfd pf = {fd, POLLIN, 0};
            if (poll(&pf, 1, kWaitMs) != 1) return 0;
            NetPacket p;
            memset(&p, 0, sizeof p);
            if (recv(fd, p.raw, NET_MAX_PACKET, 0) < NET_HEADER_SIZE) continue;
            uint32_t t = Net_Type(&p);
            if (t & NET_WANTS_ACK) Send(Raw(NET_IS_ACK, Net_Id(&p), nullptr, 0));
            if ((t & 0xFF) == type && !(t & NET_IS_ACK)) {
                if (got) *got = p;
                return 1;
            }
        }
    }
};

// Waits on the network clock for a condition read under the game lock.
template <class F> bool Eventually(F condition)
{
    uint32_t start = Thread_ClockMs();
    while (Thread_ClockMs() - start < (uint32_t)kWaitMs) {
        Net_Lock();
        bool ok = condition();
        Net_Unlock();
        if (ok) return true;
        Thread_Sleep(1);
    }
    return false;
}

// Hosts a session that the guest socket at ip joins.
void HostWithGuest(Guest* guest, const char* ip)
{
    setenv("QUORVEX_NETADDRESS", "127.0.0.1", 1);
    strcpy(g_NetPlayerName, "Host");
    ASSERT_TRUE(Net_Init(NET_TYPE_UDP));
    Net_BeginSession();
    Net_HostGame();
    guest->fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in own = Sock(ip);
    ASSERT_EQ(bind(guest->fd, (sockaddr*)&own, sizeof own), 0);
}

TEST(NetSessionThreads, HostAdmitsASocketGuestTakesItsChoiceAndSaysGoodbyeAcknowledged)
{
    Guest guest;
    HostWithGuest(&guest, "127.0.0.8");
    NetSessionPlayer me;
    memset(&me, 0, sizeof me);
    me.flags = NET_PLAYER_ACTIVE;
    strcpy(me.name, "Guest");
    uint8_t join[NET_PLAYER_BYTES];
    Net_WritePlayer(join, &me);
    guest.Send(Raw(NET_JOIN | NET_WANTS_ACK, 5, join, sizeof join));
    NetPacket session;
    ASSERT_TRUE(guest.ServeUntil(NET_SESSION, &session));
    NetSession s;
    Net_ReadSession(Net_Data(&session), &s);
    EXPECT_EQ(s.count, 2);
    EXPECT_STREQ(s.players[1].name, "Guest");
    ASSERT_TRUE(guest.ServeUntil(NET_CHAT));

    NetNodeSettings choice;
    memset(&choice, 0, sizeof choice);
    choice.colour = 5;
    choice.team = 1;
    uint8_t block[NET_NODE_SETTINGS_BYTES];
    Net_WriteNodeSettings(block, &choice);
    guest.Send(Raw(NET_CHAT | NET_WANTS_ACK, 6, block, sizeof block));
    EXPECT_TRUE(Eventually([] { return g_NetSettings.node[1].colour == 5; }));

    NetPacket leave;
    int gotLeave = 0;
    std::thread answer([&] { gotLeave = guest.ServeUntil(NET_LEAVE, &leave); });
    uint32_t start = Thread_ClockMs();
    Net_Close();
    uint32_t took = Thread_ClockMs() - start;
    answer.join();
    EXPECT_TRUE(gotLeave);
    EXPECT_LT(took, (uint32_t)NET_LEAVE_WAIT_MS) << "the acknowledgement ends the wait";
    close(guest.fd);
    unsetenv("QUORVEX_NETADDRESS");
    memset(&g_NetSettings, 0, sizeof g_NetSettings);
}

TEST(NetSessionThreads, HostPlaysRoundsWithASocketGuestUntilItLeaves)
{
    Guest guest;
    HostWithGuest(&guest, "127.0.0.9");
    NetSessionPlayer me;
    memset(&me, 0, sizeof me);
    me.flags = NET_PLAYER_ACTIVE;
    strcpy(me.name, "Guest");
    uint8_t join[NET_PLAYER_BYTES];
    Net_WritePlayer(join, &me);
    guest.Send(Raw(NET_JOIN | NET_WANTS_ACK, 5, join, sizeof join));
    ASSERT_TRUE(guest.ServeUntil(NET_CHAT));
    Net_HostLaunch();
    ASSERT_TRUE(guest.ServeUntil(NET_LAUNCH));
    Net_EndSession();
    Net_InitGame();
    uint32_t id = 10;
    for (uint32_t round = 2; round <= 6; round++) {
        uint8_t send = 1;
        EXPECT_EQ(QuorNet_Step(&send), QUORNET_IN_GAME | QUORNET_WAITING);
        NetPacket theirs;
        ASSERT_TRUE(guest.ServeUntil(NET_ROUND, &theirs));
        EXPECT_EQ(Net_Round(&theirs), round);
        guest.Send(Raw(NET_ROUND | NET_WANTS_ACK, id++, nullptr, 0, round));
        EXPECT_TRUE(Eventually([] {
            uint8_t none = 0;
            return QuorNet_Step(&none) == QUORNET_IN_GAME;
        })) << "round " << round;
    }
    guest.Send(Raw(NET_LEAVE | NET_WANTS_ACK, id++, nullptr, 0, 6));
    EXPECT_TRUE(Eventually([] {
        Net_Lock();
        const int gone = !Net_IsNodeInSession(1);
        Net_Unlock();
        return gone;
    }));
    uint8_t none = 0;
    EXPECT_EQ(QuorNet_Step(&none), QUORNET_IN_GAME) << "alone, round 6's updates still run";
    uint8_t send = 1;
    EXPECT_EQ(QuorNet_Step(&send), 0) << "then the game goes on single-player";
    EXPECT_EQ(g_NetworkGame, 0);
    Net_Close();
    close(guest.fd);
    unsetenv("QUORVEX_NETADDRESS");
    memset(&g_NetSettings, 0, sizeof g_NetSettings);
}

} // namespace
