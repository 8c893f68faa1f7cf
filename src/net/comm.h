// The serial transport: packets between two machines over one serial line.
//
// Each packet goes on the line as a frame: the marker "HEAD", the u32 length
// L (the packet's own length field) and the packet's first L bytes. A read
// thread and a write thread move bytes between the line and two rings of
// eight slots; each ring has one producer and one consumer, each of which
// alone moves its own position, and a slot is complete before the write
// position passes it, so at most seven packets wait in a ring.
//
// The line is a POSIX terminal: opened exclusive, raw 8N1 at the speed, CTS
// flow control and DTR on. Modem control that a device refuses (a pty has no
// DTR and may ignore CTS flow control) is logged once and ignored. The
// threads wait in poll on the line and on a stop descriptor that close sets.
//
// The reader examines the bytes one by one: without synchronisation it looks
// at groups of four and drops a group that is not "HEAD" whole; once
// synchronised, a frame is complete at L + 8 bytes. Only 21 <= L <= 300
// makes a frame: any other L is dropped with its header and the reader
// searches for the next marker, as after a wrong one.
#pragma once

#include <climits>
#include <cstdint>

struct NetAddress;
struct NetPacket;

enum {
    COMM_RING_SLOTS = 8,
    COMM_FRAME_HEADER = 8,  // marker and length
    COMM_FRAME_BUFFER = 400,
    COMM_MIN_LENGTH = 21,
    COMM_MAX_LENGTH = 300,
};

// The frame reader's state: the bytes of the frame so far.
struct CommReader {
    uint8_t buffer[COMM_FRAME_BUFFER];
    uint32_t count;
    int synchronised;
    uint32_t noise;     // bytes dropped outside frames (wrong groups)
    uint32_t badlength; // headers dropped for a length outside 21..300
    uint32_t frames;    // frames completed
};

// What the transport moved since COMM_Init (tests and reports).
struct CommCounts {
    uint32_t framesIn, framesOut, noise, badlength;
};

// Stores the port's path (up to PATH_MAX - 1 bytes; longer is cut) and speed
// for the next COMM_Init, and forgets any modem handle.
void COMM_SetPort(const char* port, uint32_t speed);
// The next COMM_Init uses this open descriptor of a modem's data channel: its
// line settings are written back as read and it is never closed here.
void COMM_SetModemHandle(int fd);
// Fills the own address (u32 2, six zero bytes), opens the port, makes the
// rings and starts both threads; 1 on success. Running logs (NWARN)
// "Re-initialisation Detected" and returns 1; a port that can't be opened
// logs (NERR) "Failed to open port" or "SetCommTimeouts failed" (not a
// terminal), then "Could not open comm port", and returns 0.
int COMM_Init(NetAddress* own);
// Stops both threads, purges and (unless a modem handle) closes the port and
// frees the rings, then hangs up a modem call (MODEM_Disconnect); nothing,
// not even that, when not running. Always 1.
int COMM_Close(void);
// Takes the oldest received packet: the whole slot, the far end's address
// (u32 2, the byte 1, five zero bytes) and its arrival on the network clock.
// 1 when one was taken; 0 when none waits or (NERR) "Call to COMM_iface_recv
// with initialising COMM".
int COMM_iface_recv(NetPacket* packet, NetAddress* from, uint32_t* time);
// Queues the packet's frame for the write thread (the address is not used);
// 1 queued, 0 when the ring is full, the length is outside 21..300 (NERR), or
// (NERR) "Call to COMM_iface_send with initialising COMM". One caller at a time.
int COMM_iface_send(const NetPacket* packet, const NetAddress* to);
// The port part of COMM_Init; 1 on success (the descriptor is kept).
int COMM_OpenPort(void);
// The worker threads (the argument is ignored).
void COMM_WriteThread(void* arg);
void COMM_ReadThread(void* arg);

// Empties the reader (not synchronised) and clears its counts.
void COMM_ReaderReset(CommReader* reader);
// Examines one byte; 1 when it completed a frame, whose L + 8 bytes stand
// in reader->buffer until the next call.
int COMM_ReaderFeed(CommReader* reader, uint8_t byte);
// The counts since the last COMM_Init.
CommCounts COMM_GetCounts(void);
