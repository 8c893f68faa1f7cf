// The test node's meeting through the online service before a UDP game.
#pragma once

#include "net/netpkt.h"

// Meets the other clients (clients in all, node 0 the game's creator, node 1
// its guest, any other only a visitor that leaves once it saw the game) at
// the server "host:port". Null on success, else what failed. The guest gets
// the creator's UDP address (port bytes 0).
const char* NetNode_Meet(const char* server, int node, int clients, NetAddress* creator);
// One line of what the meeting saw.
const char* NetNode_MeetSummary(void);
