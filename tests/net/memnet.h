// Test support: an in-memory transport on a virtual clock.
//
// The packet layer under test is one node; the test plays every other node,
// putting datagrams into its incoming queue and reading what it sent.
#pragma once

#include <cstdint>
#include <deque>

#include "net/netpkt.h"

struct MemDatagram {
    NetPacket packet;
    NetAddress address; // sender of an incoming, destination of a sent one
    uint32_t time;
};

// Empties both queues, sets the clock and the address that init reports.
void MemNet_Reset(uint32_t clock, const NetAddress& own);
// The transport's table.
const NetTransport* MemNet_Transport(void);
// Queues a datagram for the layer, arriving now.
void MemNet_Deliver(const NetPacket& packet, const NetAddress& from);
// What the layer sent, oldest first; the test may pop it.
std::deque<MemDatagram>& MemNet_Sent(void);
// Makes sends fail as a full outgoing ring does (1) or succeed again (0);
// a refused send is not recorded.
void MemNet_RefuseSends(int refuse);
// Queues the acknowledgement, from the address it went to, of the last
// datagram of this type (low byte) sent there; false when none was.
bool MemNet_AckLastSent(uint32_t type, const NetAddress& to);
// The virtual clock (install it with Thread_SetClockHook).
uint32_t MemNet_Clock(void);
void MemNet_Advance(uint32_t ms);
