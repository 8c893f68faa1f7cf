// One network packet: a 21-byte header and at most 279 data bytes.
//
// Every message between the machines of a network game, on every transport,
// is one packet. The header is packed and little-endian, so a packet lives in
// memory as its wire bytes and its fields are read and written one by one;
// every buffer that holds a packet is a whole slot of NET_SLOT_SIZE bytes, of
// which only the first `length` are meaningful.
//
//   offset width field
//      0    u32  length  total bytes, header included: 21..300
//      4    u32  type    low byte the type 1..13; 0x100 wants an
//                        acknowledgement; 0x200 is an acknowledgement
//      8    u8   source  the sender's node number 0..7
//      9    u32  id      delivery id of an acknowledged packet, else 0
//     13    u32  round   the sender's round when it was built
//     17    u32  crc     CRC-32 of the length bytes with this field 0
//     21    ...  data
#pragma once

#include <cstdint>

#include "core/bytes.h"

enum {
    NET_HEADER_SIZE = 21,
    NET_MAX_PACKET = 300,
    NET_MAX_DATA = NET_MAX_PACKET - NET_HEADER_SIZE, // 279
    NET_SLOT_SIZE = 321,
};

enum NET_PACKET_TYPE {
    NET_PING = 1,
    NET_SEARCH = 2,
    NET_SEARCH_RESPONSE = 3,
    NET_JOIN = 4,
    NET_JOIN_REFUSE = 5,
    NET_LEAVE = 6,
    NET_SESSION = 7,
    NET_CHAT = 8,
    NET_MESSAGE = 9,
    NET_PAUSE = 10,
    NET_LAUNCH = 11,
    NET_ROUND = 12,
    NET_KICK = 13,
    // Flags above the type's low byte.
    NET_WANTS_ACK = 0x100,
    NET_IS_ACK = 0x200,
};

enum { NET_OFF_LENGTH = 0, NET_OFF_TYPE = 4, NET_OFF_SOURCE = 8, NET_OFF_ID = 9,
       NET_OFF_ROUND = 13, NET_OFF_CRC = 17 };

// A packet slot.
struct NetPacket {
    uint8_t raw[NET_SLOT_SIZE];
};

// This node's number and current round, stamped into every packet built;
// written by the session and round protocols.
extern uint8_t g_NetOwnNode;
extern uint32_t g_NetRound;

inline void Net_PutU32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
// Header fields.
inline uint32_t Net_Length(const NetPacket* p) { return Bytes_U32(p->raw + NET_OFF_LENGTH); }
inline uint32_t Net_Type(const NetPacket* p) { return Bytes_U32(p->raw + NET_OFF_TYPE); }
inline uint8_t Net_Source(const NetPacket* p) { return p->raw[NET_OFF_SOURCE]; }
inline uint32_t Net_Id(const NetPacket* p) { return Bytes_U32(p->raw + NET_OFF_ID); }
inline uint32_t Net_Round(const NetPacket* p) { return Bytes_U32(p->raw + NET_OFF_ROUND); }
inline uint32_t Net_Crc(const NetPacket* p) { return Bytes_U32(p->raw + NET_OFF_CRC); }
inline void Net_SetLength(NetPacket* p, uint32_t v) { Net_PutU32(p->raw + NET_OFF_LENGTH, v); }
inline void Net_SetType(NetPacket* p, uint32_t v) { Net_PutU32(p->raw + NET_OFF_TYPE, v); }
inline void Net_SetSource(NetPacket* p, uint8_t v) { p->raw[NET_OFF_SOURCE] = v; }
inline void Net_SetId(NetPacket* p, uint32_t v) { Net_PutU32(p->raw + NET_OFF_ID, v); }
inline void Net_SetRound(NetPacket* p, uint32_t v) { Net_PutU32(p->raw + NET_OFF_ROUND, v); }
inline void Net_SetCrc(NetPacket* p, uint32_t v) { Net_PutU32(p->raw + NET_OFF_CRC, v); }
// The data bytes behind the header.
inline uint8_t* Net_Data(NetPacket* p) { return p->raw + NET_HEADER_SIZE; }
inline const uint8_t* Net_Data(const NetPacket* p) { return p->raw + NET_HEADER_SIZE; }

// Sets length (21 + datalength), type, source (this node), round (the current
// round) and crc 0, and copies the data behind the header; id is untouched.
// 1; more than 279 bytes log (NERR) "Data is too large for packet.  Type: %s
// [%d:%d]" and return 0 with the packet untouched.
int Net_BuildPacket(NetPacket* packet, const void* data, uint32_t datalength, uint32_t type);
// Copies the length - 21 data bytes to dest and returns 1; when they don't fit
// in destsize (or length is below 21) logs (NERR) "Destination is not large
// enough for incomming packet data.  Type: %s From: %d [%d:%d]", copies
// nothing and returns 0.
int Net_UnpackPacket(const NetPacket* packet, void* dest, uint32_t destsize);
// Sets crc to 0, then to the CRC-32 of the first length bytes (at most the
// slot).
void Net_StampCrc(NetPacket* packet);
// 1 when crc matches the CRC-32 of length bytes computed with the field 0
// (which it stays). 0 on a mismatch, the received crc kept, after logging
// (NERR, within the drop-log limit) "CRC Error during verification" and
// dumping the packet. The caller checks length first.
int Net_VerifyCrc(NetPacket* packet);
// 1 when the length field equals the size of the datagram that carried the
// packet; else logs (NERR, within the drop-log limit) "Packet length %u in a
// datagram of %u bytes dropped" and returns 0.
int Net_FitsDatagram(const NetPacket* packet, uint32_t size);
// The name of the type's low byte ("PING" .. "KICK"); others give
// "unknown *@#%$!@*^#%@#*$%@*^!@".
const char* Net_PacketTypeName(uint32_t type);
// Logs (NDIAG) the header fields and the data length, one per line.
void Net_DumpPacket(const NetPacket* packet);
