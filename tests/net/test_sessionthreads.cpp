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

#include "net/net.h"
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
NetPacket Raw(uint32_t type, uint32_t id, const void* data, uint32_t length)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_SetLength(&p, NET_HEADER_SIZE + length);
    Net_SetType(&p, type);
    Net_SetSource(&p, 1);
    Net_SetId(&p, id);
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

TEST(NetSessionThreads, HostAdmitsASocketGuestTakesItsChoiceAndSaysGoodbyeAcknowledged)
{
    setenv("QUORVEX_NETADDRESS", "127.0.0.1", 1);
    strcpy(g_NetPlayerName, "Host");
    ASSERT_TRUE(Net_Init(NET_TYPE_UDP));
    Net_BeginSession();
    Net_HostGame();
    Guest guest;
    guest.fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in own = Sock("127.0.0.8");
    ASSERT_EQ(bind(guest.fd, (sockaddr*)&own, sizeof own), 0);

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

} // namespace
