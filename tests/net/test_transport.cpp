// The socket transports on loopback: the layer on 127.0.0.1, the test's own
// sockets as its peers. Waits are bounded by poll and event time-outs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/tlog.h"
#include "net/ipx.h"
#include "net/netlog.h"
#include "net/netpkt.h"
#include "net/udp.h"
#include "net/wsock.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

const int kWaitMs = 10000;

sockaddr_in Sock(const char* ip, int port)
{
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// A peer socket bound to ip:port (with address reuse when asked).
int Peer(const char* ip, int port, bool reuse = false)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1, big = 1 << 20;
    if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in a = Sock(ip, port);
    EXPECT_EQ(bind(fd, (sockaddr*)&a, sizeof a), 0) << ip << ":" << port;
    return fd;
}

// One datagram within the bound; its length, -1 on the time-out.
int Receive(int fd, void* buffer, size_t size, sockaddr_in* from = nullptr)
{
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, kWaitMs) != 1) return -1;
    sockaddr_in f;
    socklen_t flen = sizeof f;
    int n = (int)recvfrom(fd, buffer, size, 0, (sockaddr*)&f, &flen);
    if (from) *from = f;
    return n;
}

NetPacket Make(uint32_t type, uint32_t id)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    const char text[] = "hello";
    Net_BuildPacket(&p, text, sizeof text, type);
    Net_SetId(&p, id);
    Net_StampCrc(&p);
    return p;
}

std::mutex s_lock;
std::vector<std::pair<NetPacket, NetAddress>> s_got;
THREAD_EVENT* s_arrived;
void Handler(NetPacket* p, const NetAddress* from, uint32_t)
{
    std::lock_guard<std::mutex> hold(s_lock);
    s_got.push_back({*p, *from});
    Event_Set(s_arrived);
}

class SocketTransport : public ::testing::Test {
protected:
    void SetUp() override
    {
        s_arrived = Event_Create();
        s_got.clear();
        setenv("QUORVEX_NETADDRESS", "127.0.0.1", 1);
    }
    void TearDown() override
    {
        NetPkt_Close();
        unsetenv("QUORVEX_NETADDRESS");
        for (int fd : fds_) close(fd);
        Event_Destroy(s_arrived);
    }
    int Keep(int fd)
    {
        fds_.push_back(fd);
        return fd;
    }
    std::vector<int> fds_;
};

TEST_F(SocketTransport, UdpChecksDatagramsAnswersAndKeepsItsAddress)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN);
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_UDP));
    NetPkt_SetReceiveHandler(Handler);
    const NetAddress own = {NET_TYPE_UDP, {127, 0, 0, 1, 0, 0}};
    EXPECT_TRUE(NetPkt_SameAddress(&g_NetOwnAddress, &own));
    NetAddress again = {9, {9, 9, 9, 9, 9, 9}};
    EXPECT_EQ(UDP_Init(&again), 1) << "a second start reports success";
    EXPECT_EQ(again.kind, 9u) << "and changes nothing";
    EXPECT_NE(log.text().find("Attempt to re-initialise"), std::string::npos);

    int peer = Keep(Peer("127.0.0.2", UDP_PORT));
    sockaddr_in layer = Sock("127.0.0.1", UDP_PORT);
    uint8_t junk[301];
    memset(junk, 0, sizeof junk);
    NetPacket big = Make(NET_MESSAGE, 0);
    memcpy(junk, big.raw, NET_HEADER_SIZE);
    sendto(peer, junk, sizeof junk, 0, (sockaddr*)&layer, sizeof layer);
    NetPacket chat = Make(NET_CHAT | NET_WANTS_ACK, 77);
    sendto(peer, chat.raw, Net_Length(&chat), 0, (sockaddr*)&layer, sizeof layer);

    ASSERT_TRUE(Event_Wait(s_arrived, kWaitMs));
    uint8_t buffer[400];
    sockaddr_in from;
    ASSERT_EQ(Receive(peer, buffer, sizeof buffer, &from), NET_HEADER_SIZE) << "the acknowledgement";
    EXPECT_EQ(Bytes_U32(buffer + NET_OFF_TYPE), (uint32_t)NET_IS_ACK);
    EXPECT_EQ(Bytes_U32(buffer + NET_OFF_ID), 77u);
    EXPECT_EQ(from.sin_port, htons(UDP_PORT));
    {
        std::lock_guard<std::mutex> hold(s_lock);
        ASSERT_EQ(s_got.size(), 1u) << "the 301-byte datagram was not dropped";
        const NetAddress sender = {NET_TYPE_UDP, {127, 0, 0, 2, 0, 0}};
        EXPECT_TRUE(NetPkt_SameAddress(&s_got[0].second, &sender));
        EXPECT_EQ(Net_Type(&s_got[0].first), (uint32_t)NET_CHAT);
    }
    EXPECT_NE(log.text().find("Datagram of 301 bytes is longer than a packet: dropped"),
              std::string::npos);

    // The last two bytes of an address are not sent.
    NetAddress to = {NET_TYPE_UDP, {127, 0, 0, 2, 0xAB, 0xCD}};
    NetPacket ping = Make(NET_PING, 0);
    EXPECT_TRUE(NetPkt_Send(&ping, &to));
    ASSERT_EQ(Receive(peer, buffer, sizeof buffer), (int)Net_Length(&ping));
    EXPECT_EQ(Bytes_U32(buffer + NET_OFF_TYPE), (uint32_t)NET_PING);
}

TEST_F(SocketTransport, BusyPortIsReported)
{
    QvLogCapture log(TLOG_NERR);
    Keep(Peer("127.0.0.3", UDP_PORT));
    setenv("QUORVEX_NETADDRESS", "127.0.0.3", 1);
    EXPECT_EQ(NetPkt_Init(NET_TYPE_UDP), 0);
    EXPECT_NE(log.text().find("WinSock Err: 10048 : Line 3 : The specified address is already in use."),
              std::string::npos)
        << log.text();
    EXPECT_NE(log.text().find("Could not initalise communications interface"), std::string::npos);
}

TEST_F(SocketTransport, RingHoldsSixtyThreeRefusesTheRestWithinTheLogLimitAndCloseSendsThemAll)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN);
    int peer = Keep(Peer("127.0.0.4", 1700));
    ASSERT_TRUE(WSOCK_Init(WSOCK_UDP, UDP_PORT));
    WSOCK_PauseSender(1);
    sockaddr_in to = Sock("127.0.0.4", 1700);
    for (uint32_t i = 0; i < 63; i++) ASSERT_EQ(WSOCK_Send(&to, &i, 4), 4) << i;
    uint32_t last = 63;
    // A flood into the full ring wrote a line per refused send.
    NetLog_Reset();
    for (int i = 0; i < 300; i++) EXPECT_EQ(WSOCK_Send(&to, &last, 4), 0);
    size_t lines = 0;
    for (size_t at = log.text().find("Outgoing buffer is full... packet refused"); at != std::string::npos;
         at = log.text().find("Outgoing buffer is full... packet refused", at + 1))
        lines++;
    EXPECT_EQ(lines, (size_t)NETLOG_LINES_PER_SECOND);
    WSOCK_Close(); // the receive thread is waiting in poll meanwhile
    EXPECT_NE(log.text().find("Shutting Down with packets in the outbuffer"), std::string::npos);
    for (uint32_t i = 0; i < 63; i++) {
        uint32_t got = 0xFFFF;
        ASSERT_EQ(Receive(peer, &got, sizeof got), 4) << i;
        EXPECT_EQ(got, i);
    }
}

TEST_F(SocketTransport, IpxBroadcastReachesEveryPeerAndNotItsSender)
{
    QvLogCapture log(TLOG_NDIAG);
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_IPX));
    NetPkt_SetReceiveHandler(Handler);
    const NetAddress own = {NET_TYPE_IPX, {127, 0, 0, 1, 0, 0}};
    EXPECT_TRUE(NetPkt_SameAddress(&g_NetOwnAddress, &own));
    int peers[3];
    for (int& p : peers) p = Keep(Peer("127.255.255.255", IPX_SOCKET, true));
    NetAddress all = {NET_TYPE_IPX, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    NetPacket search = Make(NET_SEARCH, 0);
    ASSERT_TRUE(NetPkt_Send(&search, &all));
    uint8_t buffer[400];
    for (int p : peers) {
        sockaddr_in from;
        ASSERT_EQ(Receive(p, buffer, sizeof buffer, &from), NET_HEADER_SIZE + 6);
        EXPECT_EQ(Bytes_U32(buffer + NET_OFF_TYPE), (uint32_t)NET_SEARCH);
        EXPECT_EQ(from.sin_addr.s_addr, htonl(0x7F000001));
    }
    // A unicast after the broadcast: by the time it is handled, the sender's
    // own copy has been taken and dropped.
    int unicast = Keep(Peer("127.0.0.2", IPX_SOCKET, true));
    sockaddr_in layer = Sock("127.0.0.1", IPX_SOCKET);
    NetPacket leave = Make(NET_LEAVE, 0);
    sendto(unicast, leave.raw, Net_Length(&leave), 0, (sockaddr*)&layer, sizeof layer);
    ASSERT_TRUE(Event_Wait(s_arrived, kWaitMs));
    std::lock_guard<std::mutex> hold(s_lock);
    ASSERT_EQ(s_got.size(), 1u);
    const NetAddress sender = {NET_TYPE_IPX, {127, 0, 0, 2, 0, 0}};
    EXPECT_TRUE(NetPkt_SameAddress(&s_got[0].second, &sender));
    EXPECT_NE(log.text().find("Received packet from the console"), std::string::npos);
}

TEST_F(SocketTransport, DatagramSizeAgainstTheLengthFieldWasNeverChecked)
{
    QvLogCapture log(TLOG_NERR);
    NetLog_Reset();
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_UDP));
    NetPkt_SetReceiveHandler(Handler);
    int peer = Keep(Peer("127.0.0.5", UDP_PORT));
    sockaddr_in layer = Sock("127.0.0.1", UDP_PORT);
    NetPacket p = Make(NET_CHAT, 0);
    uint32_t length = Net_Length(&p);
    struct Row {
        const char* name;
        uint32_t size;
    } rows[] = {
        {"shorter than its length", length - 1},
        {"with bytes behind it", length + 3},
        {"as long as its length", length},
    };
    for (const Row& r : rows) sendto(peer, p.raw, r.size, 0, (sockaddr*)&layer, sizeof layer);
    ASSERT_TRUE(Event_Wait(s_arrived, kWaitMs));
    {
        std::lock_guard<std::mutex> hold(s_lock);
        ASSERT_EQ(s_got.size(), 1u) << "only the datagram of the packet's own size";
    }
    char line[80];
    for (const Row& r : rows) {
        snprintf(line, sizeof line, "Packet length %u in a datagram of %u bytes dropped", length, r.size);
        EXPECT_EQ(log.text().find(line) != std::string::npos, r.size != length) << r.name;
    }
}

TEST_F(SocketTransport, IpxUnicastAddressWasSharedWithAnotherProgram)
{
    QvLogCapture log(TLOG_NERR);
    setenv("QUORVEX_NETADDRESS", "127.0.0.6", 1);
    // Another program that asks for address reuse on the node's address.
    int other = Keep(Peer("127.0.0.6", IPX_SOCKET, true));
    EXPECT_EQ(NetPkt_Init(NET_TYPE_IPX), 0);
    EXPECT_NE(log.text().find("The specified address is already in use."), std::string::npos) << log.text();
    close(other);
    fds_.pop_back();

    // Running, the node keeps its address to itself.
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_IPX));
    int late = socket(AF_INET, SOCK_DGRAM, 0);
    Keep(late);
    int one = 1;
    setsockopt(late, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Sock("127.0.0.6", IPX_SOCKET);
    EXPECT_NE(bind(late, (sockaddr*)&a, sizeof a), 0);
}

TEST_F(SocketTransport, WinsockStartIsReportedAsTheTableGivesIt)
{
    QvLogCapture log(TLOG_NERR);
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_UDP));
    EXPECT_NE(log.text().find("Winsock Started Successfully"), std::string::npos);
    EXPECT_EQ(log.text().find(" - Version"), std::string::npos) << "details are diagnostics";
}

// The descriptor limit lets the socket open and nothing after it: the
// wake-up descriptor fails, and the start must fail with it.
TEST_F(SocketTransport, FailedWakeUpDescriptorLeftCloseHanging)
{
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit tight = old;
    tight.rlim_cur = (rlim_t)lowest + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    int started = WSOCK_Init(WSOCK_UDP, UDP_PORT);
    int error = WSOCK_LastError();
    setrlimit(RLIMIT_NOFILE, &old);
    if (started) WSOCK_Close();
    EXPECT_EQ(started, 0);
    EXPECT_STREQ(WSOCK_ErrorText(error), "The queue is empty upon entry to accept and there are no descriptors available.");
    ASSERT_EQ(WSOCK_Init(WSOCK_UDP, UDP_PORT), 1) << "nothing left behind";
    WSOCK_Close();
}

// poll fails while the descriptor limit is below its count; the receive
// thread used to end there, leaving the node deaf.
TEST_F(SocketTransport, FailingPollEndedTheReceiveThread)
{
    ASSERT_TRUE(NetPkt_Init(NET_TYPE_UDP));
    NetPkt_SetReceiveHandler(Handler);
    int peer = Keep(Peer("127.0.0.7", UDP_PORT));
    sockaddr_in layer = Sock("127.0.0.1", UDP_PORT);
    NetPacket p = Make(NET_CHAT, 0);
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // This one wakes the poll; the next poll fails, again and again.
    sendto(peer, p.raw, Net_Length(&p), 0, (sockaddr*)&layer, sizeof layer);
    bool first = Event_Wait(s_arrived, kWaitMs);
    Thread_Sleep(50);
    setrlimit(RLIMIT_NOFILE, &old);
    ASSERT_TRUE(first);
    sendto(peer, p.raw, Net_Length(&p), 0, (sockaddr*)&layer, sizeof layer);
    ASSERT_TRUE(Event_Wait(s_arrived, kWaitMs)) << "the node still hears";
    std::lock_guard<std::mutex> hold(s_lock);
    EXPECT_EQ(s_got.size(), 2u);
}

} // namespace
