// Test support: a transport that faults a seeded share of the datagrams it
// receives from another one.
//
// Each faulted datagram gets one of the enabled kinds: lost, duplicated,
// reordered (held behind the next datagram), one bit flipped, truncated (the
// bytes from a point on zeroed), or delayed up to 200 ms. Switched on in a
// process by QUORVEX_NETFAULTS="<percent>,<kinds>,<seed>", kinds a string of
// l d r b t w (loss, duplicate, reorder, bit, truncate, wait), e.g.
// "20,ldrbtw,7".
#pragma once

#include <cstdint>

#include "net/netpkt.h"

enum {
    FAULT_LOSS = 1,
    FAULT_DUPLICATE = 2,
    FAULT_REORDER = 4,
    FAULT_BITFLIP = 8,
    FAULT_TRUNCATE = 16,
    FAULT_DELAY = 32,
};

struct NetFaultConfig {
    int percent;
    unsigned kinds;
    uint32_t seed;
};

// Parses the variable's form; 0 for a malformed text.
int NetFault_Parse(const char* text, NetFaultConfig* out);
// The fault layer over base (one at a time per process); clock is the
// network clock.
const NetTransport* NetFault_Wrap(const NetTransport* base, const NetFaultConfig& config);
// Datagrams faulted so far.
uint32_t NetFault_Count(void);
