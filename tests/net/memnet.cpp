#include "memnet.h"

#include <cstring>

#include "net/netpacket.h"

static std::deque<MemDatagram> s_in, s_out;
static uint32_t s_clock;
static NetAddress s_own;
static int s_refuse;

static int Init(NetAddress* own)
{
    *own = s_own;
    return 1;
}
static int Close(void) { return 1; }
static int Receive(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    if (s_in.empty()) return 0;
    *packet = s_in.front().packet;
    *from = s_in.front().address;
    *time = s_in.front().time;
    s_in.pop_front();
    return 1;
}
static int Send(const NetPacket* packet, const NetAddress* to)
{
    if (s_refuse) return 0;
    s_out.push_back({*packet, *to, s_clock});
    return 1;
}

static const NetTransport s_table = {Init, Close, Receive, Send, nullptr};

void MemNet_Reset(uint32_t clock, const NetAddress& own)
{
    s_in.clear();
    s_out.clear();
    s_clock = clock;
    s_own = own;
    s_refuse = 0;
}
void MemNet_RefuseSends(int refuse) { s_refuse = refuse; }
const NetTransport* MemNet_Transport(void) { return &s_table; }
void MemNet_Deliver(const NetPacket& packet, const NetAddress& from) { s_in.push_back({packet, from, s_clock}); }
std::deque<MemDatagram>& MemNet_Sent(void) { return s_out; }

bool MemNet_AckLastSent(uint32_t type, const NetAddress& to)
{
    for (auto it = s_out.rbegin(); it != s_out.rend(); ++it) {
        if ((Net_Type(&it->packet) & 0xFF) != type || !NetPkt_SameAddress(&it->address, &to)) continue;
        NetPacket ack;
        memset(&ack, 0, sizeof ack);
        Net_BuildPacket(&ack, nullptr, 0, NET_IS_ACK);
        Net_SetId(&ack, Net_Id(&it->packet));
        Net_StampCrc(&ack);
        MemNet_Deliver(ack, to);
        return true;
    }
    return false;
}
uint32_t MemNet_Clock(void) { return s_clock; }
void MemNet_Advance(uint32_t ms) { s_clock += ms; }
