// pktpeer: one node of a packet-layer test between processes.
//
//   pktpeer --transport udp|ipx --self IP --peers IP,IP,... [--reliable N]
//           [--plain N] [--timeout SECONDS] [--run N]
//
// Sends N reliable (at most 32 unacknowledged per peer) and N plain packets
// to each peer, then a reliable "done" to each; counts what arrives. Every
// payload carries its sender, sequence and its own CRC, so a corrupted
// delivery is seen. It ends once everything it sent was acknowledged, it has
// every reliable packet and the "done" of each peer, and nothing has arrived
// for a while (its answers may still be missed); or at the time-out. Prints
// one line of counts and "ok", or what failed; exit 0 only for "ok".
// QUORVEX_NETFAULTS puts the fault layer under the packet layer.
#include <arpa/inet.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "net/ipx.h"
#include "net/netpkt.h"
#include "net/udp.h"
#include "netfault.h"
#include "platform/thread.h"

namespace {

enum { KIND_RELIABLE = 0, KIND_PLAIN = 1, KIND_DONE = 2, PAYLOAD = 64, WINDOW = 32 };
const uint32_t kMagic = 0x50454552;  // "PEER"
// This run's mark (--run): another run's peers on the same machine share
// the loopback broadcast address, and their datagrams are not ours.
uint32_t s_magic = kMagic;
const uint32_t kQuietMs = 5000;

struct Peer {
    uint32_t ip; // network order
    NetAddress address;
    // What this node sends to the peer; sized once, so the pointers handed
    // to the layer stay valid.
    std::vector<uint8_t> delivered;
    std::vector<uint32_t> resends;
    int reliableSent = 0, plainSent = 0;
    bool doneSent = false;
    // What the peer sent here (written on the packet thread under the game lock).
    std::vector<uint8_t> got; // delivered at least once
    int reliableDistinct = 0, reliableCount = 0, plain = 0, duplicates = 0;
    bool done = false;
};

std::vector<Peer> s_peers;
int s_type;
int s_reliable = 2000, s_plain = 500;
int s_corrupt, s_foreign, s_callbacks;
std::atomic<uint32_t> s_lastArrival;
THREAD_EVENT* s_wake;

void Put(uint8_t* p, uint32_t v) { Net_PutU32(p, v); }

void Payload(uint8_t* out, uint32_t self, uint32_t seq, uint32_t kind)
{
    memset(out, 0, PAYLOAD);
    Put(out, s_magic);
    Put(out + 4, self);
    Put(out + 8, seq);
    Put(out + 12, kind);
    for (int i = 16; i < PAYLOAD - 4; i++) out[i] = (uint8_t)(seq * 31 + i);
    Put(out + PAYLOAD - 4, Crc32_Block(out, PAYLOAD - 4));
}

void Handler(NetPacket* packet, const NetAddress* from, uint32_t time)
{
    s_lastArrival.store(time);
    uint8_t data[PAYLOAD];
    // Not of this run (another program's broadcast, another run's peers):
    // counted apart. A packet of ours lost this way still shows as missing.
    if (Net_Length(packet) != (uint32_t)NET_HEADER_SIZE + (uint32_t)PAYLOAD ||
        !Net_UnpackPacket(packet, data, PAYLOAD) || Bytes_U32(data) != s_magic) {
        s_foreign++;
        return;
    }
    if (Bytes_U32(data + PAYLOAD - 4) != Crc32_Block(data, PAYLOAD - 4)) {
        s_corrupt++;
        return;
    }
    uint32_t sender = 0, seq = Bytes_U32(data + 8), kind = Bytes_U32(data + 12);
    memcpy(&sender, data + 4, 4);
    Peer* peer = nullptr;
    for (Peer& p : s_peers)
        if (p.ip == sender && NetPkt_SameAddress(&p.address, from)) peer = &p;
    if (!peer) {
        s_corrupt++;
        return;
    }
    if (kind == KIND_PLAIN) {
        peer->plain++;
    } else if (kind == KIND_DONE) {
        peer->done = true;
    } else if (seq < (uint32_t)s_reliable) {
        if (!peer->got[seq]) {
            peer->got[seq] = 1;
            peer->reliableDistinct++;
        } else {
            peer->duplicates++; // the layer promises each once
        }
        peer->reliableCount++;
    } else {
        s_corrupt++;
    }
}

void Completed(void)
{
    s_callbacks++;
    Event_Set(s_wake);
}

NetAddress AddressOf(uint32_t ip)
{
    NetAddress a = {(uint32_t)s_type, {0, 0, 0, 0, 0, 0}};
    memcpy(a.bytes, &ip, 4);
    return a;
}

int Unacknowledged(const Peer& p)
{
    int n = 0;
    for (int i = 0; i < p.reliableSent; i++) n += !p.delivered[i];
    return n;
}

void Send(Peer& p, uint32_t seq, uint32_t kind, uint32_t self)
{
    uint8_t data[PAYLOAD];
    Payload(data, self, seq, kind);
    NetPacket packet;
    memset(&packet, 0, sizeof packet);
    Net_BuildPacket(&packet, data, PAYLOAD, kind == KIND_PLAIN ? NET_MESSAGE : NET_ROUND);
    if (kind == KIND_PLAIN) {
        if (NetPkt_Send(&packet, &p.address)) p.plainSent++;
        return;
    }
    NetPkt_SendReliable(&packet, &p.address, &p.delivered[seq], &p.resends[seq], Completed);
}

// One step of sending under the game lock; true when this node has nothing
// left to send or to have acknowledged.
bool SendStep(uint32_t self)
{
    bool finished = true;
    for (Peer& p : s_peers) {
        int open = Unacknowledged(p);
        while (p.reliableSent < s_reliable && open < WINDOW) {
            int seq = p.reliableSent++;
            Send(p, (uint32_t)seq, KIND_RELIABLE, self);
            open++;
            if (p.plainSent < s_plain && seq % 4 == 0) Send(p, (uint32_t)seq, KIND_PLAIN, self);
        }
        if (p.reliableSent == s_reliable && open == 0 && p.plainSent < s_plain)
            Send(p, (uint32_t)p.plainSent, KIND_PLAIN, self);
        if (p.reliableSent == s_reliable && open == 0 && !p.doneSent) {
            p.doneSent = true;
            Send(p, (uint32_t)s_reliable, KIND_DONE, self);
        }
        finished = finished && p.doneSent && p.delivered[s_reliable];
    }
    return finished;
}

bool HaveEverything()
{
    for (const Peer& p : s_peers)
        if (!p.done || p.reliableDistinct < s_reliable) return false;
    return true;
}

int Usage()
{
    fputs("usage: pktpeer --transport udp|ipx --self IP --peers IP,... [--reliable N] [--plain N] "
          "[--timeout SECONDS] [--run N]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const char* transport = "udp";
    const char* selftext = nullptr;
    std::string peers;
    int timeout = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--transport") transport = argv[i + 1];
        else if (k == "--self") selftext = argv[i + 1];
        else if (k == "--peers") peers = argv[i + 1];
        else if (k == "--reliable") s_reliable = atoi(argv[i + 1]);
        else if (k == "--plain") s_plain = atoi(argv[i + 1]);
        else if (k == "--timeout") timeout = atoi(argv[i + 1]);
        else if (k == "--run") s_magic = kMagic ^ (uint32_t)strtoul(argv[i + 1], nullptr, 10);
        else return Usage();
    }
    uint32_t self;
    if (!selftext || inet_pton(AF_INET, selftext, &self) != 1 || s_reliable < 0 || s_plain < 0)
        return Usage();
    s_type = strcmp(transport, "ipx") == 0 ? NET_TYPE_IPX : NET_TYPE_UDP;
    for (size_t at = 0; at < peers.size();) {
        size_t comma = peers.find(',', at);
        std::string one = peers.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        Peer p;
        if (inet_pton(AF_INET, one.c_str(), &p.ip) != 1) return Usage();
        p.address = AddressOf(p.ip);
        p.delivered.assign((size_t)s_reliable + 1, 0);
        p.resends.assign((size_t)s_reliable + 1, 0);
        p.got.assign((size_t)s_reliable, 0);
        s_peers.push_back(std::move(p));
        at = comma == std::string::npos ? peers.size() : comma + 1;
    }
    setenv("QUORVEX_NETADDRESS", selftext, 1);

    static const NetTransport udp = {UDP_Init, UDP_Close, UDP_Recv, UDP_Send};
    static const NetTransport ipx = {IPX_Init, IPX_Close, IPX_Recv, IPX_Send};
    const NetTransport* table = s_type == NET_TYPE_IPX ? &ipx : &udp;
    const char* faults = getenv("QUORVEX_NETFAULTS");
    if (faults && *faults) {
        NetFaultConfig config;
        if (!NetFault_Parse(faults, &config)) {
            fprintf(stderr, "pktpeer: QUORVEX_NETFAULTS \"%s\" is not <percent>,<kinds>,<seed>\n", faults);
            return 2;
        }
        config.seed ^= ntohl(self); // each node its own stream
        table = NetFault_Wrap(table, config);
    }
    s_wake = Event_Create();
    // The packet thread waits for the game lock until the handler is in
    // place: what a faster peer sends first would be acknowledged and lost.
    CritSec_Enter(NetPkt_GameLock());
    if (!NetPkt_InitWith(s_type, table, 1)) {
        fprintf(stderr, "pktpeer %s: the packet layer did not start\n", selftext);
        return 1;
    }
    uint32_t start = Thread_ClockMs();
    s_lastArrival.store(start);
    NetPkt_SetReceiveHandler(Handler);
    CritSec_Leave(NetPkt_GameLock());

    bool timedOut = false;
    for (;;) {
        CritSec_Enter(NetPkt_GameLock());
        bool sent = SendStep(self);
        bool have = HaveEverything();
        CritSec_Leave(NetPkt_GameLock());
        uint32_t now = Thread_ClockMs();
        if (sent && have && now - s_lastArrival.load() >= kQuietMs) break;
        if (now - start >= (uint32_t)timeout * 1000) {
            timedOut = true;
            break;
        }
        Event_Wait(s_wake, 5);
    }
    NetPkt_Close();

    // Every failure is named; each line of counts is one peer of this node.
    std::string failures = timedOut ? " timed out;" : "";
    if (s_corrupt) failures += " corrupt deliveries;";
    int totalReliable = 0;
    for (const Peer& p : s_peers) {
        int sent = p.reliableSent + (p.doneSent ? 1 : 0), givenUp = 0, resent = 0, acked = 0;
        for (int i = 0; i < s_reliable + 1; i++) {
            if (i >= p.reliableSent && !(i == s_reliable && p.doneSent)) continue;
            resent += (int)p.resends[i];
            acked += p.delivered[i];
            givenUp += !p.delivered[i] && p.resends[i] == NETPKT_TRIES;
        }
        totalReliable += sent;
        char addr[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &p.ip, addr, sizeof addr);
        printf("pktpeer %s -> %s: sent %d reliable %d plain, acknowledged %d, resent %d, given up %d; "
               "from it: delivered %d reliable (%d distinct) %d plain, delivered twice %d\n",
               selftext, addr, p.reliableSent, p.plainSent, acked, resent, givenUp, p.reliableCount,
               p.reliableDistinct, p.plain, p.duplicates);
        if (p.reliableDistinct != s_reliable || !p.done) failures += std::string(" missing from ") + addr + ";";
        if (p.duplicates) failures += std::string(" delivered twice from ") + addr + ";";
        if (acked != sent) failures += std::string(" unacknowledged to ") + addr + ";";
    }
    if (s_callbacks != totalReliable)
        failures += " " + std::to_string(s_callbacks) + " callbacks for " + std::to_string(totalReliable) + " sends;";
    bool ok = failures.empty();
    printf("pktpeer %s: faulted %u, callbacks %d, corrupt %d, foreign %d, %.1f s: %s%s\n",
           selftext, NetFault_Count(), s_callbacks, s_corrupt, s_foreign,
           (Thread_ClockMs() - start) / 1000.0,
           ok ? "ok" : "FAIL:", failures.c_str());
    Event_Destroy(s_wake);
    return ok ? 0 : 1;
}
