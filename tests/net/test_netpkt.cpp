// The reliable packet layer in test mode: the in-memory transport, a virtual
// clock that starts just before the wrap, and the test calling the pass.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/tlog.h"
#include "memnet.h"
#include "net/netpkt.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

const uint32_t kStart = 0xFFFFFE00u; // every sequence below crosses the wrap

NetAddress Addr(uint8_t node)
{
    return {NET_TYPE_UDP, {127, 0, 0, node, 0, 0}};
}

std::vector<NetPacket> s_got;
int s_callbacks;
int s_filterAnswer;
void Handler(NetPacket* p, const NetAddress*, uint32_t) { s_got.push_back(*p); }
void Callback(void) { s_callbacks++; }
int Filter(NetPacket*, const NetAddress*, uint32_t) { return s_filterAnswer; }

NetPacket Make(uint32_t type, uint32_t id, uint32_t datalength = 4)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    uint8_t data[NET_MAX_DATA] = {1, 2, 3, 4};
    Net_BuildPacket(&p, data, datalength, type);
    Net_SetId(&p, id);
    Net_StampCrc(&p);
    return p;
}

class NetPktLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        MemNet_Reset(kStart, Addr(1));
        Thread_SetClockHook(MemNet_Clock);
        ASSERT_TRUE(NetPkt_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0));
        NetPkt_SetReceiveHandler(Handler);
        s_got.clear();
        s_callbacks = 0;
    }
    void TearDown() override
    {
        NetPkt_Close();
        Thread_SetClockHook(nullptr);
        g_Config.netloss = 0;
    }
    // Sends one reliable packet to node; its id.
    uint32_t SendOne(uint8_t node, uint8_t* delivered = nullptr, uint32_t* resends = nullptr)
    {
        NetPacket p = Make(NET_ROUND, 0);
        NetAddress to = Addr(node);
        NetPkt_SendReliable(&p, &to, delivered, resends, Callback);
        return Net_Id(&MemNet_Sent().back().packet);
    }
    void Ack(uint32_t id, uint8_t fromnode)
    {
        MemNet_Deliver(Make(NET_IS_ACK, id, 0), Addr(fromnode));
        NetPkt_Pass();
    }
    size_t Sent() { return MemNet_Sent().size(); }
};

TEST_F(NetPktLayer, TimeoutsFollowTheEstimateAndGrowOnEachResend)
{
    struct Row {
        uint32_t rtt;
        int samples;                   // acknowledged sends before the measured one
        uint32_t estimate;
        std::vector<uint32_t> timeouts;
    } rows[] = {
        {0, 0, 250, {500, 750}},
        {0, 12, 20, {75, 112}},
        {4000, 1, 1000, {2000, 3000, 4500, 5000, 5000}},
    };
    uint8_t node = 2;
    for (const Row& r : rows) {
        for (int i = 0; i < r.samples; i++) {
            uint32_t id = SendOne(node);
            MemNet_Advance(r.rtt);
            Ack(id, node);
        }
        NetAddress to = Addr(node);
        EXPECT_EQ(NetPkt_GetRoundTrip(&to), r.estimate);
        uint32_t id = SendOne(node);
        for (uint32_t t : r.timeouts) {
            size_t before = Sent();
            MemNet_Advance(t);
            NetPkt_Pass();
            EXPECT_EQ(Sent(), before) << "resent at its expiry, not after it: " << t;
            MemNet_Advance(1);
            NetPkt_Pass();
            ASSERT_EQ(Sent(), before + 1) << "not resent after " << t;
            EXPECT_EQ(Net_Id(&MemNet_Sent().back().packet), id);
        }
        Ack(id, node);
        EXPECT_EQ(NetPkt_QueueLength(), 0);
        node++;
    }
}

TEST_F(NetPktLayer, AcknowledgementCompletesOnceFromItsDestination)
{
    struct Row {
        const char* name;
        bool resendFirst, fromOther, twice;
        int done, callbacks;
        uint32_t estimate;
    } rows[] = {
        {"first answer in 10 ms", false, false, false, 1, 1, 190},
        {"after a resend: estimate kept", true, false, false, 1, 1, 250},
        {"duplicate acknowledgement ignored", false, false, true, 1, 1, 190},
        {"from another address ignored", false, true, false, 0, 0, 250},
    };
    uint8_t node = 2;
    for (const Row& r : rows) {
        uint8_t delivered = 9;
        uint32_t resends = 9;
        s_callbacks = 0;
        uint32_t id = SendOne(node, &delivered, &resends);
        EXPECT_EQ(delivered, 0);
        EXPECT_EQ(resends, 0u);
        if (r.resendFirst) {
            MemNet_Advance(501);
            NetPkt_Pass();
            EXPECT_EQ(resends, 1u) << r.name;
        }
        MemNet_Advance(10);
        Ack(id, r.fromOther ? node + 100 : node);
        if (r.twice) Ack(id, node);
        NetAddress to = Addr(node);
        EXPECT_EQ(delivered, r.done) << r.name;
        EXPECT_EQ(s_callbacks, r.callbacks) << r.name;
        EXPECT_EQ(NetPkt_GetRoundTrip(&to), r.estimate) << r.name;
        EXPECT_EQ(NetPkt_QueueLength(), 1 - r.done) << r.name;
        NetPkt_PurgeTracked();
        node++;
    }
}

TEST_F(NetPktLayer, ReceivedPacketsAreCheckedAcknowledgedAndDeliveredOnce)
{
    struct Row {
        const char* name;
        uint32_t type, id;
        uint32_t length;  // header length to stamp; 0 as built
        bool badCrc;
        int filter;       // -1 none, else its answer
        int loss;
        int times;        // deliveries of the datagram
        int calls, acks;
    } rows[] = {
        {"plain", NET_MESSAGE, 0, 0, false, -1, 0, 1, 1, 0},
        {"reliable, then its duplicate", NET_CHAT | NET_WANTS_ACK, 7, 0, false, -1, 0, 2, 1, 2},
        {"refused by the filter, resent", NET_CHAT | NET_WANTS_ACK, 8, 0, false, 0, 0, 2, 2, 0},
        {"accepted by the filter", NET_CHAT | NET_WANTS_ACK, 9, 0, false, 1, 0, 1, 1, 1},
        {"length 21", NET_LEAVE, 0, 21, false, -1, 0, 1, 1, 0},
        {"length 300", NET_ROUND, 0, 300, false, -1, 0, 1, 1, 0},
        {"length 20", NET_LEAVE, 0, 20, false, -1, 0, 1, 0, 0},
        {"length 301", NET_ROUND, 0, 301, false, -1, 0, 1, 0, 0},
        {"length 0xFFFFFFFF", NET_ROUND, 0, 0xFFFFFFFFu, false, -1, 0, 1, 0, 0},
        {"bad crc", NET_CHAT | NET_WANTS_ACK, 10, 0, true, -1, 0, 1, 0, 0},
        {"type 0", 0, 0, 0, false, -1, 0, 1, 0, 0},
        {"type 14", 14, 0, 0, false, -1, 0, 1, 0, 0},
        {"odd flag 0x400", NET_PING | 0x400, 0, 0, false, -1, 0, 1, 0, 0},
        {"acknowledgement with a type", NET_IS_ACK | NET_PING, 0, 0, false, -1, 0, 1, 0, 0},
        {"acknowledgement of an unknown id", NET_IS_ACK, 12345, 21, false, -1, 0, 1, 0, 0},
        {"loss 100", NET_CHAT | NET_WANTS_ACK, 11, 0, false, -1, 100, 5, 0, 0},
        {"loss 0", NET_MESSAGE, 0, 0, false, -1, 0, 5, 5, 0},
    };
    QvLogCapture log(TLOG_NERR);
    uint8_t node = 2;
    for (const Row& r : rows) {
        NetPkt_SetAcceptFilter(r.filter < 0 ? nullptr : Filter);
        s_filterAnswer = r.filter;
        g_Config.netloss = r.loss;
        s_got.clear();
        MemNet_Sent().clear();
        NetPacket p = Make(r.type, r.id);
        if (r.length) {
            Net_SetLength(&p, r.length);
            Net_StampCrc(&p); // a sound CRC: the length check must come first
        }
        if (r.badCrc) p.raw[NET_HEADER_SIZE] ^= 0x80;
        for (int i = 0; i < r.times; i++) {
            MemNet_Deliver(p, Addr(node));
            NetPkt_Pass();
        }
        EXPECT_EQ((int)s_got.size(), r.calls) << r.name;
        EXPECT_EQ((int)Sent(), r.acks) << r.name;
        for (const MemDatagram& d : MemNet_Sent()) {
            EXPECT_EQ(Net_Type(&d.packet), (uint32_t)NET_IS_ACK) << r.name;
            EXPECT_EQ(Net_Id(&d.packet), r.id) << r.name;
            NetAddress from = Addr(node);
            EXPECT_TRUE(NetPkt_SameAddress(&d.address, &from)) << r.name;
        }
        for (const NetPacket& g : s_got) EXPECT_EQ(Net_Type(&g), r.type & 0xFF) << r.name;
        node++;
    }
    EXPECT_NE(log.text().find("Packet of impossible length 301 dropped"), std::string::npos);

    // The window: an id comes again after 64 later ones from its source.
    NetPkt_SetAcceptFilter(nullptr);
    g_Config.netloss = 0;
    s_got.clear();
    for (uint32_t id = 100; id <= 165; id++) {
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, id), Addr(50));
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, 100), Addr(50));
    }
    NetPkt_Pass();
    EXPECT_EQ(s_got.size(), 67u) << "ids 100..165, and 100 once more when it left the window";
}

TEST_F(NetPktLayer, PacketIsSentFiftyOneTimesThenGivenUp)
{
    uint8_t delivered = 9;
    uint32_t resends = 9;
    SendOne(2, &delivered, &resends);
    for (int i = 0; i < 60 && NetPkt_QueueLength(); i++) {
        MemNet_Advance(5001);
        NetPkt_Pass();
    }
    EXPECT_EQ(Sent(), 51u);
    EXPECT_EQ(resends, 50u);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(s_callbacks, 0);
    EXPECT_EQ(NetPkt_QueueLength(), 0);
}

TEST_F(NetPktLayer, QueueKeepsExpiryOrderAcrossTheWrap)
{
    // Queued out of order around the wrap (two equal), all due at 0x20: the
    // resends come out in expiry order, equal ones first come first.
    const uint32_t expiries[] = {0xFFFFFFF0u, 0x10, 0xFFFFFF00u, 5, 0x10};
    for (uint32_t i = 0; i < 5; i++) {
        NetPendingPacket* r = NetPkt_AllocRecord();
        r->dest = Addr(2);
        r->packet = Make(NET_ROUND | NET_WANTS_ACK, i);
        r->timeout = 100;
        r->tries = 1;
        r->expiry = expiries[i];
        NetPkt_QueueTimeout(r);
    }
    MemNet_Advance(0x20 - kStart);
    NetPkt_Pass();
    std::vector<uint32_t> order;
    for (const MemDatagram& d : MemNet_Sent()) order.push_back(Net_Id(&d.packet));
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 0, 3, 1, 4}));
}

TEST_F(NetPktLayer, PurgeAndCloseFreePendingSendsAndAClosedLayerRefusesSends)
{
    QvLogCapture log(TLOG_NERR);
    uint8_t flags[2];
    SendOne(2, &flags[0]);
    SendOne(3);
    SendOne(4, &flags[1]);
    NetPkt_PurgeTracked();
    EXPECT_EQ(NetPkt_QueueLength(), 1);
    std::string text = log.text();
    size_t first = text.find("Removing packet from timeout queue");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("Removing packet from timeout queue", first + 1), std::string::npos);
    SendOne(5);
    NetPkt_Close(); // two resends pending; TearDown's close finds it closed
    EXPECT_EQ(s_callbacks, 0);
    EXPECT_FALSE(NetPkt_Running());

    // Closed: estimates still answer, sends are refused.
    NetAddress to = Addr(2);
    NetPacket p = Make(NET_PING, 0);
    EXPECT_EQ(NetPkt_GetRoundTrip(&to), 250u);
    EXPECT_EQ(NetPkt_Send(&p, &to), 0);
    EXPECT_EQ(NetPkt_SendReliable(&p, &to, nullptr, nullptr, nullptr), 0);
}

} // namespace
