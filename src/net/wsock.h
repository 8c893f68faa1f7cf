// The socket module under the UDP and IPX transports.
//
// Owns the socket, a send thread, a receive thread and two rings of 64
// datagram slots between them and the packet layer. Each ring has one
// producer and one consumer, each of which alone moves its own position, and
// a slot's content is complete before the write position moves past it;
// equal positions mean empty, so a ring holds at most 63 datagrams.
//
// Over POSIX sockets: the receive thread waits in poll on its sockets and a
// wake-up descriptor that close sets, since closing a socket does not wake a
// blocked read here. IPX, which this system lacks, is emulated over UDP: the
// node number is the node's IPv4 address and two zero bytes, the socket
// number is the UDP port, and the broadcast node goes to the IPv4 broadcast
// address of the node's network (127.255.255.255 for a loopback address),
// which a second socket of every node, bound to that address with address
// reuse, receives, the sender's own included. The receive thread survives a
// failing poll: it logs the failure and polls again after a short pause.
//
// The environment variable QUORVEX_NETADDRESS names the IPv4 address to bind
// and report, so that several nodes share one machine on 127.x.y.z.
#pragma once

#include <netinet/in.h>

#include <cstdint>

struct NetAddress;

enum WSOCK_TYPE { WSOCK_UDP = 0, WSOCK_IPX = 1 };
enum {
    WSOCK_RING_SLOTS = 64,
    WSOCK_SLOT_DATA = 352,
    WSOCK_MAX_DATAGRAM = 350,
    WSOCK_LONGEST_PACKET = 300, // longer datagrams are dropped, not cut
    WSOCK_POLL_MS = 20,         // the receive thread looks at its sockets at least this often
};

// One datagram of a ring.
struct WsockSlot {
    sockaddr_in address; // destination, or sender (16 bytes)
    uint32_t length;
    uint32_t time;       // arrival on the network clock
    uint8_t data[WSOCK_SLOT_DATA];
    WsockSlot* next;
};

// Starts the module: one socket of the type on the port, both rings, both
// threads. Already running logs (NWARN) "Attempt to re-initialise" and
// returns 1; an unknown type logs (NERR) "Unknown network type" and returns
// 0; a socket or wake-up descriptor that can't be made, set up or bound is
// logged (WSOCK_LogError) and returns 0. The IPX emulation's unicast socket
// does not reuse its address: a second bind of it is refused.
int WSOCK_Init(int type, int port);
// Lets the send thread empty the outgoing ring (logging (NWARN) "Shutting
// Down with packets in the outbuffer" when it has to), then stops both
// threads and frees everything. Nothing when not running.
void WSOCK_Close(void);
// This node's address: UDP the address to report (family and IPv4 address),
// IPX the bound socket address, logged (NDIAG) "Local Address: ...". 0 with
// (NERR) "Could not get local address" when there is none.
int WSOCK_GetLocalAddress(sockaddr_in* out);
// The start both transports share: WSOCK_Init of the type on the port, then
// the own address as the template the transport sends from (family, address,
// port) and as the node's NetAddress of the given kind (IPv4 address, two
// zero bytes). 0 with (NERR) "Winsock could not start" or "Could not get
// local address", the module closed again.
int WSOCK_Start(int type, int port, int kind, sockaddr_in* tmpl, NetAddress* own);
// The IPv4 broadcast address of the own address's network (network order).
uint32_t WSOCK_BroadcastAddress(void);
// Queues one datagram for the send thread; its length, or 0 with (NWARN)
// "Call to WSOCK_Send without initialising WSOCK" or (NERR) "Outgoing buffer
// is full... packet lost".
int WSOCK_Send(const sockaddr_in* to, const void* data, uint32_t length);
// Takes one received datagram; 1 when one was taken, 0 when the ring is
// empty or (NWARN) "Call to WSOCK_Recv without initialising WSOCK". The
// buffer holds WSOCK_SLOT_DATA bytes; what follows the datagram is zeroed.
int WSOCK_Recv(sockaddr_in* from, void* buffer, uint32_t* length, uint32_t* time);
// Logs (NERR) "WinSock Err: %5d : Line %d : %s\n": the last socket error of
// this thread as an error code of the table, the call's number, its text.
void WSOCK_LogError(int number);
// The fixed text of an error code; others give "Unknown Winsock Error".
const char* WSOCK_ErrorText(int code);
// The error code of the table nearest to an errno value (10000 + ... ).
int WSOCK_ErrorFromErrno(int error);
// Holds the send thread before its next datagram (1) or lets it go on (0),
// so that tests can fill the outgoing ring; close lets it go on.
void WSOCK_PauseSender(int pause);
// The last socket error of this thread as a table code.
int WSOCK_LastError(void);
// Datagrams dropped at a full incoming ring since the start (close logs
// (NWARN) "Datagrams dropped at a full receive ring: %u").
uint32_t WSOCK_RingDrops(void);
// The network clock's time up to which every datagram that reached the
// sockets has been taken off them (into the ring, or dropped at a full one),
// as of the receive thread's last look; it looks every WSOCK_POLL_MS at most.
uint32_t WSOCK_PolledAt(void);
