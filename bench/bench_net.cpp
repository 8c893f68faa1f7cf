// The packet layer over UDP to its own 127.0.0.1, 300-byte packets, against
// a loop that sends the same datagrams to its own socket and reads each back.
// Plain sends keep at most 32 packets in flight (the rings hold 63); reliable
// ones at most 32 unacknowledged, each answered by an acknowledgement, so
// twice the datagrams. Times are per packet delivered (or acknowledged).
//
// The duplicate filter against many senders: over the in-memory transport,
// a reliable packet from the oldest of 50,000 sources the layer has met,
// against one from the only source it has met.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "benchsupport.h"
#include "memnet.h"
#include "net/netpkt.h"
#include "platform/thread.h"

namespace {

const int kWindow = 32;
std::atomic<long> s_done{0};
THREAD_EVENT* s_event;

void Arrived(NetPacket*, const NetAddress*, uint32_t)
{
    s_done.fetch_add(1);
    Event_Set(s_event);
}

void Acknowledged(void)
{
    s_done.fetch_add(1);
    Event_Set(s_event);
}

NetPacket Packet()
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    uint8_t data[NET_MAX_DATA];
    for (int i = 0; i < NET_MAX_DATA; i++) data[i] = (uint8_t)i;
    Net_BuildPacket(&p, data, NET_MAX_DATA, NET_ROUND);
    return p;
}

void RunLayer(benchmark::State& state, bool reliable)
{
    setenv("QUORVEX_NETADDRESS", "127.0.0.1", 1);
    s_event = Event_Create();
    if (!NetPkt_Init(NET_TYPE_UDP)) {
        state.SkipWithError("the UDP transport did not start (port 1638 in use?)");
        Event_Destroy(s_event);
        return;
    }
    NetPkt_SetReceiveHandler(reliable ? nullptr : Arrived);
    s_done.store(0);
    long sent = 0;
    NetAddress self = g_NetOwnAddress;
    for (auto _ : state) {
        while (sent - s_done.load() >= kWindow)
            if (!Event_Wait(s_event, 1000)) break; // a plain packet lost: go on
        NetPacket p = Packet();
        if (reliable)
            NetPkt_SendReliable(&p, &self, nullptr, nullptr, Acknowledged);
        else
            NetPkt_Send(&p, &self);
        sent++;
    }
    state.SetItemsProcessed(state.iterations());
    NetPkt_Close();
    Event_Destroy(s_event);
    unsetenv("QUORVEX_NETADDRESS");
}

void BM_NetPktPlain(benchmark::State& state) { RunLayer(state, false); }
BENCHMARK(BM_NetPktPlain)->UseRealTime();

void BM_NetPktReliable(benchmark::State& state) { RunLayer(state, true); }
BENCHMARK(BM_NetPktReliable)->UseRealTime();

void BM_SocketLoop(benchmark::State& state)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001);
    socklen_t len = sizeof a;
    bind(fd, (sockaddr*)&a, sizeof a);
    getsockname(fd, (sockaddr*)&a, &len);
    NetPacket p = Packet();
    uint8_t back[400];
    for (auto _ : state) {
        sendto(fd, p.raw, NET_MAX_PACKET, 0, (sockaddr*)&a, sizeof a);
        benchmark::DoNotOptimize(recv(fd, back, sizeof back, 0));
    }
    state.SetItemsProcessed(state.iterations());
    close(fd);
}
BENCHMARK(BM_SocketLoop)->UseRealTime();

NetAddress Source(uint32_t n)
{
    return {NET_TYPE_UDP, {10, (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n, 0, 0}};
}

void RunSources(benchmark::State& state, uint32_t sources)
{
    Thread_SetClockHook(MemNet_Clock);
    MemNet_Reset(1000, {NET_TYPE_UDP, {127, 0, 0, 1, 0, 0}});
    NetPkt_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0);
    NetPacket p = Packet();
    Net_SetType(&p, NET_ROUND | NET_WANTS_ACK);
    for (uint32_t n = 0; n < sources; n++) {
        Net_SetId(&p, 1);
        Net_StampCrc(&p);
        MemNet_Deliver(p, Source(n));
        if (n % 1000 == 999) NetPkt_Pass();
    }
    NetPkt_Pass();
    MemNet_Sent().clear();
    uint32_t id = 2;
    const NetAddress oldest = Source(0);
    for (auto _ : state) {
        Net_SetId(&p, id++);
        Net_StampCrc(&p);
        MemNet_Deliver(p, oldest);
        NetPkt_Pass();
        MemNet_Sent().clear();
    }
    state.SetItemsProcessed(state.iterations());
    NetPkt_Close();
    Thread_SetClockHook(nullptr);
}

void BM_NetPktManySources(benchmark::State& state) { RunSources(state, 50000); }
BENCHMARK(BM_NetPktManySources);

void BM_NetPktOneSource(benchmark::State& state) { RunSources(state, 1); }
BENCHMARK(BM_NetPktOneSource);

} // namespace

QV_BENCH_RATIO(netsources,
               "net many-sources ratio (packet from the oldest of 50,000 sources / from the only one)",
               "BM_NetPktManySources", "BM_NetPktOneSource");
QV_BENCH_RATIO(netplain, "net plain ratio (NetPkt_Send time per packet / socket loop time)",
               "BM_NetPktPlain/real_time", "BM_SocketLoop/real_time");
QV_BENCH_RATIO(netreliable,
               "net reliable ratio (NetPkt_SendReliable time per packet / socket loop time)",
               "BM_NetPktReliable/real_time", "BM_SocketLoop/real_time");
