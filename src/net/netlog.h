// The network's log of dropped datagrams, limited per kind of drop.
//
// A flood of hostile datagrams must not fill the disk nor hold the game
// network lock on file writes: of each kind, the first NETLOG_LINES_PER_SECOND
// drops of a second are logged in full, the rest only counted, and the count
// is logged as one summary line once that second is over. Safe from any
// thread (the packet thread and the socket module's receive thread both
// drop); the window runs on the network clock.
#pragma once

enum NETLOG_KIND {
    NETLOG_LENGTH,        // length field outside 21..300
    NETLOG_DATAGRAM,      // length field against the datagram's size
    NETLOG_LONG_DATAGRAM, // longer than any packet
    NETLOG_CRC,           // bad CRC
    NETLOG_TYPE,          // unknown type or flags
    NETLOG_ACK_UNKNOWN,   // acknowledgement of no pending id
    NETLOG_ACK_ADDRESS,   // acknowledgement from another address than its packet's
    NETLOG_DUPLICATE,     // a packet delivered before, acknowledged again
    NETLOG_NO_ROOM,       // a new source while every source entry is pinned
    NETLOG_EVICTED,       // a new source took a stranger's entry of the full table
    NETLOG_UNTRUSTED,     // a packet its address may not send (another node's, a stranger's kick)
    NETLOG_OUT_FULL,      // outgoing ring full: the send refused
    NETLOG_RING_FULL,     // incoming ring full
    NETLOG_REFUSED,       // a send the transport refused
    NETLOG_UNEXPECTED,    // a packet of a type the state has no use for
    NETLOG_KINDS,
};

enum { NETLOG_LINES_PER_SECOND = 10 };

// 1 when this drop of the kind may be logged in full (the caller logs it),
// 0 when it is only counted. Logs the summary of the kind's previous second
// first when that second is over.
int NetLog_Allow(int kind);
// Logs the summary line ("%s: %d more dropped in the last second") of every
// kind whose second is over with drops counted, and starts it afresh.
void NetLog_Flush(void);
// Forgets every window and count (the layer's start, tests).
void NetLog_Reset(void);
