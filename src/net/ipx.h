// The IPX transport, emulated over UDP broadcast (see net/wsock.h): socket
// 1640 is UDP port 1640, a node number is the node's IPv4 address and two
// zero bytes, and the node FF FF FF FF FF FF is the broadcast of the network.
//
// An IPX address is {0, 6-byte node number}.
#pragma once

#include <cstdint>

struct NetAddress;
struct NetPacket;

enum { IPX_SOCKET = 1640 };

// Starts the socket module on socket 1640 and writes the own address; as
// UDP_Init, with the same messages.
int IPX_Init(NetAddress* own);
// Stops it; not running logs (NWARN) "IPX not currently initialised". 1.
int IPX_Close(void);
// Takes one received datagram; the node's own broadcasts come back to it and
// are dropped with (NDIAG) "Received packet from the console" and the next
// datagram is taken instead; 0 when none is left.
int IPX_Recv(NetPacket* packet, NetAddress* from, uint32_t* time);
// Queues the packet's length bytes to the node; nonzero on success.
int IPX_Send(const NetPacket* packet, const NetAddress* to);
