// Hostile datagrams into the packet layer. The input is a flag byte and then
// datagrams, each {u8 sender node, u16 length, bytes}; flag bit 0 restamps
// each datagram's CRC after the mutation, so that the code behind the check
// is reached. They go through the in-memory transport into the layer's pass
// (two reliable sends of its own are pending, id 1000 to each of nodes 2 and
// 3, so that acknowledgements can match); what gets through is unpacked and
// dumped. The sender node byte names one of 256 addresses, more than the
// layer's table of sources holds; its top bits move the clock, far enough
// now and then for silent sources' entries to be reused.
#include <cstring>

#include "core/tlog.h"
#include "fuzzsupport.h"
#include "memnet.h"
#include "net/netpkt.h"
#include "platform/thread.h"

static void Deliver(NetPacket* packet, const NetAddress*, uint32_t)
{
    uint8_t data[NET_MAX_DATA];
    Net_UnpackPacket(packet, data, sizeof data);
    Net_DumpPacket(packet);
}

static int Refuse(NetPacket* packet, const NetAddress*, uint32_t) { return Net_Id(packet) & 1; }

static void fuzz_NetPkt(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    int restamp = data[0] & 1;
    Thread_SetClockHook(MemNet_Clock);
    MemNet_Reset(1000, {NET_TYPE_UDP, {127, 0, 0, 1, 0, 0}});
    NetPkt_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0);
    NetPkt_SetReceiveHandler(Deliver);
    if (data[0] & 2) NetPkt_SetAcceptFilter(Refuse);
    for (uint8_t node = 2; node <= 3; node++) {
        NetPacket p;
        memset(&p, 0, sizeof p);
        Net_BuildPacket(&p, "x", 2, NET_PING);
        NetAddress to = {NET_TYPE_UDP, {127, 0, 0, node, 0, 0}};
        NetPkt_SendReliable(&p, &to, nullptr, nullptr, nullptr);
    }
    size_t at = 1;
    while (at + 3 <= size) {
        uint8_t node = data[at];
        size_t length = data[at + 1] | (size_t)data[at + 2] << 8;
        at += 3;
        if (length > size - at) length = size - at;
        if (length <= 300) { // the socket module drops longer datagrams
            NetPacket p;
            memset(&p, 0, sizeof p);
            memcpy(p.raw, data + at, length);
            if (restamp) Net_StampCrc(&p);
            MemNet_Deliver(p, {NET_TYPE_UDP, {127, 0, 0, node, 0, 0}});
        }
        at += length;
        uint8_t clock = node & 0xC0;
        MemNet_Advance(clock == 0xC0 ? 300001 : clock == 0x40 ? 600 : 1);
        NetPkt_Pass();
    }
    NetPkt_Close();
    Thread_SetClockHook(nullptr);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_NetPkt(data, size));
    return 0;
}
