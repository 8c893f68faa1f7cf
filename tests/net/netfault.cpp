#include "netfault.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/thread.h"

namespace {

struct Held {
    NetPacket packet;
    NetAddress from;
    uint32_t time;
    uint32_t release; // network clock
    bool afterNext;   // reordered: goes out behind the next datagram
};

const NetTransport* s_base;
NetFaultConfig s_config;
uint32_t s_state;
std::deque<Held> s_held;
std::atomic<uint32_t> s_count{0};

uint32_t Next()
{
    s_state ^= s_state << 13;
    s_state ^= s_state >> 17;
    s_state ^= s_state << 5;
    return s_state;
}

bool Due(uint32_t release, uint32_t now) { return (int32_t)(now - release) >= 0; }

int TakeHeld(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    uint32_t now = Thread_ClockMs();
    for (auto it = s_held.begin(); it != s_held.end(); ++it) {
        if (!Due(it->release, now)) continue;
        *packet = it->packet;
        *from = it->from;
        *time = it->time;
        s_held.erase(it);
        return 1;
    }
    return 0;
}

int Receive(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    if (TakeHeld(packet, from, time)) return 1;
    for (;;) {
        if (!s_base->receive(packet, from, time)) return 0;
        // What was held behind a datagram may follow it now.
        for (Held& h : s_held)
            if (h.afterNext) h.release = Thread_ClockMs();
        if ((int)(Next() % 100) >= s_config.percent || !s_config.kinds) return 1;
        int kind;
        do kind = 1 << (Next() % 6);
        while (!(s_config.kinds & (unsigned)kind));
        s_count.fetch_add(1);
        uint32_t length = Net_Length(packet);
        if (length > NET_MAX_PACKET || length == 0) length = NET_MAX_PACKET;
        switch (kind) {
        case FAULT_LOSS:
            continue;
        case FAULT_DUPLICATE:
            s_held.push_back({*packet, *from, *time, Thread_ClockMs(), false});
            return 1;
        case FAULT_REORDER:
            s_held.push_back({*packet, *from, *time, Thread_ClockMs() + 200, true});
            continue;
        case FAULT_BITFLIP: {
            uint32_t bit = Next() % (length * 8);
            packet->raw[bit / 8] ^= (uint8_t)(1u << (bit % 8));
            return 1;
        }
        case FAULT_TRUNCATE: {
            uint32_t cut = Next() % length;
            memset(packet->raw + cut, 0, sizeof packet->raw - cut);
            return 1;
        }
        default:
            s_held.push_back({*packet, *from, *time, Thread_ClockMs() + 1 + Next() % 200, false});
            continue;
        }
    }
}

int Init(NetAddress* own) { return s_base->init(own); }
int Close(void)
{
    s_held.clear();
    return s_base->close();
}
int Send(const NetPacket* packet, const NetAddress* to) { return s_base->send(packet, to); }

// Held datagrams are the layer's faults, not unread ones: the base's look.
uint32_t Polled(void) { return s_base->polled ? s_base->polled() : Thread_ClockMs(); }

const NetTransport s_table = {Init, Close, Receive, Send, Polled};

} // namespace

int NetFault_Parse(const char* text, NetFaultConfig* out)
{
    char kinds[16];
    int percent, used = 0;
    unsigned seed;
    if (!text || sscanf(text, "%d,%15[a-z],%u%n", &percent, kinds, &seed, &used) != 3 ||
        text[used] || percent < 0 || percent > 100)
        return 0;
    unsigned mask = 0;
    for (const char* k = kinds; *k; k++) {
        const char* at = strchr("ldrbtw", *k);
        if (!at) return 0;
        mask |= 1u << (at - "ldrbtw");
    }
    *out = {percent, mask, seed};
    return 1;
}

const NetTransport* NetFault_Wrap(const NetTransport* base, const NetFaultConfig& config)
{
    s_base = base;
    s_config = config;
    s_state = config.seed * 2654435761u | 1;
    s_held.clear();
    s_count.store(0);
    return &s_table;
}

uint32_t NetFault_Count(void) { return s_count.load(); }
