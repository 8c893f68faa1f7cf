// The reliable packet layer in test mode: the in-memory transport, a virtual
// clock that starts just before the wrap, and the test calling the pass.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/debug.h"
#include "core/tlog.h"
#include "memnet.h"
#include "net/netlog.h"
#include "net/netpkt.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

const uint32_t kStart = 0xFFFFFE00u; // every sequence below crosses the wrap

NetAddress Addr(uint8_t node)
{
    return {NET_TYPE_UDP, {127, 0, 0, node, 0, 0}};
}

// One of many sources: 10.x.y.z from a number.
NetAddress Many(uint32_t n)
{
    return {NET_TYPE_UDP, {10, (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n, 0, 0}};
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

std::vector<NetPacket> s_got;
NetAddress s_pinnedPeer;
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
    const uint32_t kAtTimeout = 0xFFFFFFFFu; // each answer just at its time-out
    struct Row {
        uint32_t rtt;
        int samples;                   // acknowledged sends before the measured one
        uint32_t estimate;
        std::vector<uint32_t> timeouts;
    } rows[] = {
        {0, 0, 250, {500, 750}},
        {0, 12, 20, {75, 112}},
        {kAtTimeout, 8, 1000, {2000, 3000, 4500, 5000, 5000}},
    };
    uint8_t node = 2;
    for (const Row& r : rows) {
        for (int i = 0; i < r.samples; i++) {
            NetAddress peer = Addr(node);
            uint32_t timeout = NetPkt_GetRoundTrip(&peer) * 2;
            uint32_t id = SendOne(node);
            MemNet_Advance(r.rtt == kAtTimeout ? timeout : r.rtt);
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

// A sender's ids rise by one per send; whatever came between, an id the
// layer delivered is not delivered again, and a restarted sender is heard.
TEST_F(NetPktLayer, ResendAfterMoreThanSixtyFourLaterPacketsWasDeliveredTwice)
{
    const uint32_t S = 0x10000;
    struct Row {
        const char* name;
        uint32_t first;
        uint32_t later; // ids first + 1 + skip .. first + skip + later follow
        uint32_t skip;
        uint32_t again;
        bool delivered;
    } rows[] = {
        {"resend after 100 later packets", S, 100, 0, S, false},
        {"resend after 1000 later packets", S, 1000, 0, S, false},
        {"resend after 5000 later packets (older than the window)", S, 5000, 0, S, false},
        {"a lower id never delivered, inside the window", S, 900, 1, S + 1, true},
        {"across the wrap of the ids", 0xFFFFFF80u, 1000, 0, 0xFFFFFF80u, false},
        {"a sender restarted far below", S + 200000, 10, 0, S, true},
        {"a sender restarted far above", S, 10, 0, S + 50000000, true},
    };
    uint8_t node = 2;
    for (const Row& r : rows) {
        s_got.clear();
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, r.first), Addr(node));
        for (uint32_t i = 1; i <= r.later; i++)
            MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, r.first + r.skip + i), Addr(node));
        NetPkt_Pass();
        MemNet_Sent().clear();
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, r.again), Addr(node));
        NetPkt_Pass();
        EXPECT_EQ(s_got.size(), 1 + r.later + (r.delivered ? 1 : 0)) << r.name;
        ASSERT_EQ(Sent(), 1u) << r.name << ": acknowledged in any case";
        EXPECT_EQ(Net_Id(&MemNet_Sent().back().packet), r.again) << r.name;
        if (r.delivered) {
            s_got.clear();
            MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, r.again), Addr(node));
            NetPkt_Pass();
            EXPECT_EQ(s_got.size(), 0u) << r.name << ": and then only once";
        }
        node++;
    }
}

// A full table of sources once dropped every new source's packets until an
// entry had been silent for five minutes: 64 forged addresses locked every
// newcomer out. Now strangers take strangers' entries, least recently heard
// first, and the session's peers keep theirs.
int PinPeer(const NetAddress* a) { return NetPkt_SameAddress(a, &s_pinnedPeer); }

TEST_F(NetPktLayer, ForgedSourcesNeitherGrowTheStateNorEvictAPeerNorLockANewcomerOut)
{
    QvLogCapture log(TLOG_NWARN);
    s_pinnedPeer = Addr(2);
    NetPkt_SetPinTest(PinPeer);
    MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, 1), Addr(2));
    NetPkt_Pass();
    long bytes = Debug_LiveBytes(), blocks = Debug_LiveBlocks();

    const uint32_t forged = 5000;
    for (uint32_t n = 0; n < forged; n++) {
        MemNet_Advance(1); // each heard after the one before
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, 7), Many(n));
    }
    NetPkt_Pass();
    EXPECT_EQ(Debug_LiveBytes(), bytes) << "memory stays flat";
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
    EXPECT_EQ(s_got.size(), (size_t)forged + 1) << "every stranger taken in turn";
    EXPECT_EQ(Sent(), (size_t)forged + 1) << "and the peer's";
    EXPECT_EQ(Count(log.text(), "Source table full: the entry of"), (size_t)NETLOG_LINES_PER_SECOND);

    struct Step {
        const char* name;
        NetAddress from;
        uint32_t id;
        int delivered, acknowledged;
    } steps[] = {
        {"the pinned peer's resend: still known, not delivered twice", Addr(2), 1, 0, 1},
        {"a newcomer at once", Addr(3), 5, 1, 1},
        {"its resend: known", Addr(3), 5, 0, 1},
        {"the latest stranger's resend: known", Many(forged - 1), 7, 0, 1},
        {"the oldest stranger's resend: its entry was taken", Many(0), 7, 1, 1},
    };
    for (const Step& st : steps) {
        s_got.clear();
        MemNet_Sent().clear();
        MemNet_Advance(1);
        MemNet_Deliver(Make(NET_CHAT | NET_WANTS_ACK, st.id), st.from);
        NetPkt_Pass();
        EXPECT_EQ((int)s_got.size(), st.delivered) << st.name;
        EXPECT_EQ((int)Sent(), st.acknowledged) << st.name;
    }
    NetPkt_SetPinTest(nullptr);
}

// Each hostile datagram was a line (ten with a dump): a flood wrote
// thousands. Per kind, the first lines of a second and then a count.
TEST_F(NetPktLayer, FloodOfHostileDatagramsWroteALineEach)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN | TLOG_NDIAG);
    uint32_t pending = SendOne(2);
    struct Row {
        const char* name;
        NetPacket packet;
        uint8_t from;
        const char* line;
        const char* summary;
    } rows[] = {
        {"bad crc", Make(NET_CHAT, 0), 2, "CRC Error during verification\n", "CRC Error during verification: 40 more"},
        {"impossible length", Make(NET_CHAT, 0), 2, "Packet of impossible length 400 dropped",
         "Packet of impossible length: 40 more"},
        {"unknown type", Make(14, 0), 2, "Packet of unknown type e dropped", "Packet of unknown type: 40 more"},
        {"acknowledgement of no pending id", Make(NET_IS_ACK, 12345, 0), 2,
         "Acknowledgement of id 12345 from 1:127.0.0.2.0.0 matches no pending packet: dropped",
         "Acknowledgement of no pending packet: 40 more"},
        {"acknowledgement from another address", Make(NET_IS_ACK, pending, 0), 9,
         "not its destination: dropped", "Acknowledgement from another address: 40 more"},
    };
    rows[0].packet.raw[NET_HEADER_SIZE] ^= 1;
    Net_SetLength(&rows[1].packet, 400);
    for (const Row& r : rows) {
        log.clear();
        for (int i = 0; i < 50; i++) MemNet_Deliver(r.packet, Addr(r.from));
        NetPkt_Pass();
        std::string text = log.text();
        EXPECT_EQ(Count(text, r.line), (size_t)NETLOG_LINES_PER_SECOND) << r.name;
        EXPECT_LE(Count(text, "\n"), 120u) << r.name;
        MemNet_Advance(1000);
        NetPkt_Pass();
        EXPECT_NE(log.text().find(std::string(r.summary) + " dropped in the last second"), std::string::npos)
            << r.name << "\n" << log.text();
    }
    EXPECT_EQ(Count(log.text(), "more dropped"), 1u) << "a quiet second has no summary";
}

void PurgeAll(void) { NetPkt_PurgeTracked(); }

TEST_F(NetPktLayer, PurgeFromACallbackFreedTheRecordTwice)
{
    uint8_t flags[2];
    NetPacket p = Make(NET_ROUND, 0);
    NetAddress to = Addr(2);
    NetPkt_SendReliable(&p, &to, &flags[0], nullptr, PurgeAll);
    uint32_t first = Net_Id(&MemNet_Sent().back().packet);
    NetPkt_SendReliable(&p, &to, &flags[1], nullptr, nullptr);
    Ack(first, 2); // the callback purges the other one, and the queue is empty
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(NetPkt_QueueLength(), 0);

    // Two sends, two records: each completes on its own acknowledgement.
    uint8_t a = 0, b = 0;
    NetPkt_SendReliable(&p, &to, &a, nullptr, nullptr);
    uint32_t ida = Net_Id(&MemNet_Sent().back().packet);
    NetPkt_SendReliable(&p, &to, &b, nullptr, nullptr);
    EXPECT_EQ(NetPkt_QueueLength(), 2);
    Ack(ida, 2);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(NetPkt_QueueLength(), 1);
}

TEST_F(NetPktLayer, ForgedEarlyAcknowledgementPinnedTheEstimate)
{
    struct Row {
        const char* name;
        uint32_t ackAt, sendAt; // ms after the row's start
        uint32_t estimate;
    } rows[] = {
        {"stamped before its packet left", 0, 5, 250},
        {"answered in 10 ms", 10, 0, 190},
        {"arrived after its time-out, before the resend", 600, 0, 250},
    };
    uint8_t node = 2;
    for (const Row& r : rows) {
        NetAddress to = Addr(node);
        uint8_t delivered = 0;
        if (r.ackAt < r.sendAt) {
            // The forger guesses the next id: ids to a node rise by one per send.
            uint8_t probe;
            uint32_t next = SendOne(node, &probe) + 1;
            NetPkt_PurgeTracked();
            MemNet_Advance(r.ackAt);
            MemNet_Deliver(Make(NET_IS_ACK, next, 0), to);
            MemNet_Advance(r.sendAt - r.ackAt);
            ASSERT_EQ(SendOne(node, &delivered), next) << r.name;
        } else {
            MemNet_Advance(r.sendAt);
            uint32_t id = SendOne(node, &delivered);
            MemNet_Advance(r.ackAt - r.sendAt);
            MemNet_Deliver(Make(NET_IS_ACK, id, 0), to);
        }
        NetPkt_Pass();
        EXPECT_EQ(delivered, 1) << r.name << ": the acknowledgement still completes it";
        EXPECT_EQ(NetPkt_GetRoundTrip(&to), r.estimate) << r.name;
        node++;
    }
}

// A send the transport refused was counted as a resend (or, first, not at
// all) and was lost; now it is counted apart and retried at the next pass.
TEST_F(NetPktLayer, RingRefusalsWereCountedAsResends)
{
    struct Row {
        const char* name;
        bool refuseFirst;
        uint32_t resends; // after the retry went out
    } rows[] = {
        {"first send refused", true, 0},
        {"resend refused", false, 1},
    };
    uint8_t node = 2;
    uint32_t refused = 0;
    for (const Row& r : rows) {
        NetAddress to = Addr(node);
        NetPacket p = Make(NET_ROUND, 0);
        uint8_t delivered = 9;
        uint32_t resends = 9;
        MemNet_RefuseSends(r.refuseFirst);
        EXPECT_EQ(NetPkt_SendReliable(&p, &to, &delivered, &resends, Callback), r.refuseFirst ? NETPKT_QUEUED : 1)
            << r.name;
        if (!r.refuseFirst) {
            MemNet_RefuseSends(1);
            MemNet_Advance(501);
            NetPkt_Pass();
        }
        EXPECT_EQ(NetPkt_RefusedSends(), ++refused) << r.name;
        EXPECT_EQ(resends, 0u) << r.name;
        size_t before = Sent();
        MemNet_Advance(1);
        NetPkt_Pass();
        EXPECT_EQ(NetPkt_RefusedSends(), ++refused) << r.name << ": retried at the next pass";
        MemNet_RefuseSends(0);
        MemNet_Advance(1);
        NetPkt_Pass();
        ASSERT_EQ(Sent(), before + 1) << r.name;
        EXPECT_EQ(resends, r.resends) << r.name;
        MemNet_Advance(10);
        Ack(Net_Id(&MemNet_Sent().back().packet), node);
        EXPECT_EQ(delivered, 1) << r.name;
        EXPECT_EQ(NetPkt_GetRoundTrip(&to), r.refuseFirst ? 190u : 250u)
            << r.name << ": a first send that went out late still measures";
        node++;
    }
}

TEST_F(NetPktLayer, RoundTripRecordsWereSplitBetweenThreads)
{
    const uint32_t addresses = 3000;
    std::atomic<int> ready{0};
    auto ask = [&] {
        ready.fetch_add(1);
        while (ready.load() < 4) {
        }
        for (uint32_t n = 0; n < addresses; n++) {
            NetAddress a = Many(n);
            NetPkt_GetRoundTrip(&a);
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; i++) threads.emplace_back(ask);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(NetPkt_RoundTripCount(), (int)addresses);
}

void CloseFromHandler(NetPacket*, const NetAddress*, uint32_t) { NetPkt_Close(); }

using NetPktLayerDeathTest = NetPktLayer;

TEST_F(NetPktLayerDeathTest, CloseFromAHandlerOrUnderTheLockAbortedOrHung)
{
    EXPECT_EXIT(
        {
            NetPkt_SetReceiveHandler(CloseFromHandler);
            MemNet_Deliver(Make(NET_PING, 0), Addr(2));
            NetPkt_Pass();
        },
        testing::ExitedWithCode(1), "NetPkt_Close called from a receive handler, accept filter or completion callback");
    EXPECT_EXIT(
        {
            CritSec_Enter(NetPkt_GameLock());
            NetPkt_Close();
        },
        testing::ExitedWithCode(1), "NetPkt_Close called under the game network lock");
}

} // namespace
