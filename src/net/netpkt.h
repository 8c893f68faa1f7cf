// The reliable packet layer.
//
// Sits between one transport and the session and round protocols. A packet
// goes out once (NetPkt_Send) or with acknowledgement (NetPkt_SendReliable):
// then a record keeps it until the receiver acknowledges its id, resending it
// on a time-out derived from a per-address round-trip estimate, at most 50
// times. One packet thread receives everything, checks it, acknowledges,
// matches acknowledgements, resends and hands each packet to the receive
// handler.
//
// Invariants:
// - The time-out queue is in ascending expiry order, compared wrap-safely
//   (b is later than a when b - a, as a signed 32-bit number, is above 0 and
//   below 2,000,000,000); equal expiries keep their insertion order.
// - A record is in exactly one of the queue and the free list; records are
//   reused and freed only at close.
// - Lock order: the game network lock, then the list lock, then the send
//   lock. The list lock guards the queue, the free list and the round-trip
//   list with the destinations' id counters, and is never held across the
//   transport, the handler or a callback. The send lock makes every transport send one call at a
//   time, since the transports' rings have one producer each.
// - Per source address the layer keeps the highest id it acknowledged and
//   delivered and a window of the 4096 ids below it; an id of the window
//   that was delivered, or one older than the window, arriving again (its
//   sender missed the acknowledgement) is acknowledged again but not
//   delivered twice. An id far below the window (65536 or more) or far above
//   it is a sender that restarted: a fresh window. A packet whose
//   acknowledgement the accept filter withheld is delivered again when it is
//   resent: that is how the filter makes a sender wait.
// - The source entries are a fixed table hashed by address. A new source
//   takes an empty entry; in a full table, the least recently heard entry of
//   an address the session does not pin (its peers, the creator a guest
//   joined). So a flood of forged addresses neither grows the layer's memory
//   nor evicts a peer, and never locks a newcomer out: strangers only take
//   strangers' entries.
// - Every dropped datagram is logged within the drop-log limit (netlog.h).
// - A record is freed once; its callback runs after it left the queue.
// - A send the transport refuses is not a send: the record is retried at
//   the next pass with its tries and resend count unchanged.
// - An acknowledgement completes a record only when it comes from the
//   record's address, except on the serial line, whose far end reports
//   itself under another address.
#pragma once

#include <cstdint>

#include "net/netpacket.h"

struct THREAD_CRITSEC;

enum NET_TYPE { NET_TYPE_IPX = 0, NET_TYPE_UDP = 1, NET_TYPE_SERIAL = 2 };

enum {
    NETPKT_TRIES = 50,         // resends before a packet is given up
    NETPKT_LONGEST_TIMEOUT = 5000, // the resend time-out grows to this at most
    NETPKT_FIRST_ESTIMATE = 250,
    NETPKT_WINDOW = 4096,      // delivered ids remembered below a source's highest
    NETPKT_RESTART_GAP = 65536, // this far below the window: the sender restarted
    NETPKT_SOURCES = 64,       // source entries: eight nodes with room to spare
    NETPKT_QUEUED = 2,         // NetPkt_SendReliable: refused now, sent at the next pass
    NETPKT_POLL_MS = 20,       // a transport's look, and the packet thread's pass, at least this often
};

// A transport address: kind (NET_TYPE_*) and 6 bytes of the transport's.
// Compared field by field over the 10 meaningful bytes.
struct NetAddress {
    uint32_t kind;
    uint8_t bytes[6];
};

// The chosen transport's operations.
struct NetTransport {
    // Starts the transport and writes this machine's address; nonzero on success.
    int (*init)(NetAddress* own);
    int (*close)(void);
    // Takes one received packet (a whole slot) with its sender and arrival
    // time on the network clock; nonzero when one was taken.
    int (*receive)(NetPacket* packet, NetAddress* from, uint32_t* time);
    // Hands the packet's length bytes to the transport; nonzero on success.
    int (*send)(const NetPacket* packet, const NetAddress* to);
    // Optional: the network clock's time up to which everything that reached
    // the transport was taken in, looked at least every NETPKT_POLL_MS (null:
    // the transport holds nothing unread of its own).
    uint32_t (*polled)(void);
};

// One per destination sent to with acknowledgement: its estimate and its
// ids. Ids rise by one per send to that destination, so that its duplicate
// window counts only what was sent to it: with one counter for all, traffic
// to other nodes while one packet waits for a slow link would push it below
// the receiver's window.
struct NetRoundTrip {
    NetAddress address;
    uint32_t estimate; // ms
    uint32_t nextid;   // from the clock when the record was made
    NetRoundTrip* next;
};

// One packet sent with acknowledgement, kept until acknowledged or given up.
struct NetPendingPacket {
    NetAddress dest;
    uint32_t sendtime, timeout, expiry; // network clock, ms
    NetPacket packet;
    uint8_t* delivered;
    uint32_t* resends;
    void (*callback)(void);
    uint32_t tries; // resends left
    uint8_t unsent; // its first send was refused by the transport
    uint8_t freed;  // on the free list
    NetRoundTrip* roundtrip;
    NetPendingPacket* next;
};

typedef void (*NetReceiveHandler)(NetPacket* packet, const NetAddress* from, uint32_t time);
typedef int (*NetAcceptFilter)(NetPacket* packet, const NetAddress* from, uint32_t time);
typedef int (*NetPinTest)(const NetAddress* address);
typedef void (*NetHeardHandler)(const NetAddress* from);
typedef void (*NetReadHandler)(uint32_t upto);

// This machine's address, written by the transport's init.
extern NetAddress g_NetOwnAddress;

// 1 when the two addresses are equal over their 10 bytes.
int NetPkt_SameAddress(const NetAddress* a, const NetAddress* b);

// Starts the layer on the transport of a network type (0 IPX, 1 UDP, 2 serial line). A
// second call logs (NDIAG) "Re-initialisation detected" and returns 1; another
// type logs (NERR) "Unknown Network Type" and returns 0; a transport that
// fails logs (NERR) "Could not initalise communications interface" and
// returns 0. Otherwise starts the packet thread and returns 1.
int NetPkt_Init(int type);
// NetPkt_Init over a given transport table (kept by pointer). threaded 0 is
// the test mode: no thread starts and the caller runs NetPkt_Pass.
int NetPkt_InitWith(int type, const NetTransport* transport, int threaded);
// Test processes whose menus start the network: a layer NetPkt_Init puts
// over the type's transport from then on (null: none).
void NetPkt_SetTransportLayer(const NetTransport* (*layer)(const NetTransport* base));
// Stops the thread and the transport and frees every record, pending sends
// included (their callbacks are not called). Not initialised logs (NDIAG)
// "Not initialised". Returns 1. Called from a handler, filter or callback,
// or while holding the game lock, it is fatal ("NetPkt_Close called from a
// receive handler..." / "NetPkt_Close called under the game network lock...").
int NetPkt_Close(void);
// 1 while initialised.
int NetPkt_Running(void);

// Stamps the CRC and sends the packet once; the transport's result. While the
// layer is closed (both sends) logs (NWARN) "Call to %s while the packet
// layer is closed" and returns 0.
int NetPkt_Send(NetPacket* packet, const NetAddress* to);
// Sends a copy of the packet with acknowledgement under the destination's
// next id (bit 0x100 set in the copy), keeping it for resends; sets *delivered and
// *resends (each optional) to 0 now, and later *delivered to 1 and calls the
// callback once on the acknowledgement, or counts resends in *resends.
// Logs (NDIAG) "Packet requires ack : id %d". Returns 1 (0 while closed);
// NETPKT_QUEUED when the transport refused the first send (counted in
// NetPkt_RefusedSends, logged), which the packet thread then retries.
int NetPkt_SendReliable(NetPacket* packet, const NetAddress* to, uint8_t* delivered,
                        uint32_t* resends, void (*callback)(void));
// The handler gets every packet that passes the checks, its type reduced to
// the low byte, on the packet thread under the game network lock; null
// drops them.
void NetPkt_SetReceiveHandler(NetReceiveHandler handler);
// Asked before each acknowledgement; 0 withholds it (the packet is still
// delivered). Null acknowledges everything.
void NetPkt_SetAcceptFilter(NetAcceptFilter filter);
// Told, on the packet thread under the game lock, of every datagram that
// passes the checks (an acknowledgement too), before anything else reads
// it: the address was heard from. Null: nobody is told.
void NetPkt_SetHeardHandler(NetHeardHandler heard);
// Told, under the game lock, before each reading of the received packets:
// every datagram that reached the transport before the time given (network
// clock) is read now or was before. Null: nobody is told.
void NetPkt_SetReadHandler(NetReadHandler read);
// Asked, on the packet thread under the game lock, whether an address's
// source entry is pinned (a peer's): a full table gives a new source only
// an unpinned entry. Null pins none.
void NetPkt_SetPinTest(NetPinTest pinned);
// The longest resend time-out (0: NETPKT_LONGEST_TIMEOUT, at least 75 ms);
// only the tests' runs with shortened drop limits shorten it alike.
void NetPkt_SetLongestTimeout(uint32_t ms);
// The address's round-trip estimate in ms; an unknown address gets a record
// of 250 and 250 is returned.
uint32_t NetPkt_GetRoundTrip(const NetAddress* address);
// The queued records that set this delivered flag go out again at the next
// pass without counting a try, their time-out kept and their tries renewed
// (a question asked again under the id it had, whose answer any copy
// brings). The records found.
int NetPkt_Hurry(const uint8_t* delivered);
// The same for the queued records whose completion callback is this one.
int NetPkt_HurryCallback(void (*callback)(void));
// Removes every queued record that carries a delivered flag, logging (NERR)
// "Removing packet from timeout queue" for each. Call under the game lock
// (completion callbacks may).
void NetPkt_PurgeTracked(void);

// The game network lock: the session and round protocols share it with the
// packet thread, which holds it from each wake-up to the end of its pass.
THREAD_CRITSEC* NetPkt_GameLock(void);
// Wakes the packet thread (the transports call it for each datagram stored).
void NetPkt_Wake(void);
// One pass of the packet thread: under the game lock, receives and handles
// every waiting packet, then resends or gives up what is due. 0 when the
// layer is no longer initialised (nothing done), else 1.
int NetPkt_Pass(void);
// Reads and handles every waiting packet as a pass does (nothing resent), on
// the caller's thread; 0 when the layer is not initialised. Takes the game
// lock (the caller may hold it).
int NetPkt_Drain(void);
// How long the thread may sleep: the head's expiry minus the last scan, at
// least 1 ms, at most NETPKT_POLL_MS (the reading handler is told at every
// pass, also of a quiet network).
uint32_t NetPkt_WaitTime(void);
// Datagrams read since the layer started, by type (the low byte, 0 for an
// acknowledgement; 14 and up counted at 15); statistics and tests.
uint32_t NetPkt_ReadCount(int type);

// The list operations; each takes the list lock itself.
// A record from the free list or a new zeroed one.
NetPendingPacket* NetPkt_AllocRecord(void);
// Returns a record to the free list.
void NetPkt_FreeRecord(NetPendingPacket* record);
// Inserts by expiry and wakes the thread; meeting the record itself in the
// queue is fatal ("ASSERT (curr != pkt)").
void NetPkt_QueueTimeout(NetPendingPacket* record);
// Unlinks a record from the queue; 1 when it was there.
int NetPkt_RemoveFromQueue(NetPendingPacket* record);
// The queued record with this id (and, unless from is null, this
// destination), or null; a record linked to itself is fatal
// ("ASSERT (netpkt != netpkt->next)").
NetPendingPacket* NetPkt_FindById(uint32_t id, const NetAddress* from);
// Frees the queue and the free list.
void NetPkt_FreeQueue(void);
// A new round-trip record of 250 ms at the head of the list.
NetRoundTrip* NetPkt_AddRoundTrip(const NetAddress* address);
// Frees the round-trip list.
void NetPkt_FreeRoundTrips(void);
// The records in the queue, head first (tests and statistics).
int NetPkt_QueueLength(void);
// The round-trip records (tests and statistics).
int NetPkt_RoundTripCount(void);
// Sends the transport refused since the layer started (tests and statistics).
uint32_t NetPkt_RefusedSends(void);
