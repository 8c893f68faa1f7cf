// The UDP transport: packets as datagrams from port 1638 to port 1638.
//
// A UDP address is {1, IPv4 address in network order, 2 bytes carried in the
// socket address's first padding bytes (always 0)}.
#pragma once

#include <cstdint>

struct NetAddress;
struct NetPacket;

enum { UDP_PORT = 1638 };

// Starts the socket module on the port and writes the own address; 1 on
// success. Already running logs (NWARN) "Attempt to re-initialise" and
// returns 1 with nothing changed; failures log (NERR) "Winsock could not
// start" or "Could not get local address" and return 0.
int UDP_Init(NetAddress* own);
// Stops it; not running logs (NWARN) "UDP not currently initialised". 1.
int UDP_Close(void);
// Takes one received datagram as a packet slot with its sender; 1 when one
// was taken.
int UDP_Recv(NetPacket* packet, NetAddress* from, uint32_t* time);
// Queues the packet's length bytes to the address; nonzero on success.
int UDP_Send(const NetPacket* packet, const NetAddress* to);
