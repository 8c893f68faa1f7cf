#include "net/netpacket.h"

#include <cstring>

#include "core/crc32.h"
#include "core/tlog.h"
#include "net/netlog.h"

uint8_t g_NetOwnNode = 0;
uint32_t g_NetRound = 0;

static const char* const s_typeNames[] = {
    "PING", "SEARCH", "SEARCH RESPONSE", "JOIN", "JOIN REFUSE", "LEAVE", "SESSION",
    "CHAT", "MESSAGE", "PAUSE", "LAUNCH", "ROUND", "KICK",
};

int Net_BuildPacket(NetPacket* packet, const void* data, uint32_t datalength, uint32_t type)
{
    if (!data) datalength = 0;
    if (datalength > NET_MAX_DATA) {
        TLOG(TLOG_NERR, "Data is too large for packet.  Type: %s [%d:%d]", Net_PacketTypeName(type),
             (int)(datalength + NET_HEADER_SIZE), NET_MAX_PACKET);
        return 0;
    }
    Net_SetLength(packet, NET_HEADER_SIZE + datalength);
    Net_SetType(packet, type);
    Net_SetSource(packet, g_NetOwnNode);
    Net_SetRound(packet, g_NetRound);
    Net_SetCrc(packet, 0);
    if (datalength) memcpy(Net_Data(packet), data, datalength);
    return 1;
}

int Net_UnpackPacket(const NetPacket* packet, void* dest, uint32_t destsize)
{
    uint32_t length = Net_Length(packet);
    uint32_t size = length >= NET_HEADER_SIZE ? length - NET_HEADER_SIZE : 0xFFFFFFFFu;
    if (size > destsize || length > NET_MAX_PACKET) {
        TLOG(TLOG_NERR,
             "Destination is not large enough for incomming packet data.  Type: %s From: %d [%d:%d]",
             Net_PacketTypeName(Net_Type(packet)), Net_Source(packet), (int)destsize, (int)size);
        return 0;
    }
    if (size) memcpy(dest, Net_Data(packet), size);
    return 1;
}

static uint32_t CrcOf(const NetPacket* packet)
{
    uint32_t length = Net_Length(packet);
    return Crc32_Block(packet->raw, length < (uint32_t)NET_SLOT_SIZE ? length : (uint32_t)NET_SLOT_SIZE);
}

void Net_StampCrc(NetPacket* packet)
{
    Net_SetCrc(packet, 0);
    Net_SetCrc(packet, CrcOf(packet));
}

int Net_VerifyCrc(NetPacket* packet)
{
    uint32_t got = Net_Crc(packet);
    Net_SetCrc(packet, 0);
    if (CrcOf(packet) == got) return 1;
    // The dump shows what arrived: the sum that failed, not the zero
    // written for the check.
    Net_SetCrc(packet, got);
    if (NetLog_Allow(NETLOG_CRC)) {
        TLOG(TLOG_NERR, "CRC Error during verification");
        Net_DumpPacket(packet);
    }
    return 0;
}

int Net_FitsDatagram(const NetPacket* packet, uint32_t size)
{
    uint32_t length = Net_Length(packet);
    if (length == size) return 1;
    if (NetLog_Allow(NETLOG_DATAGRAM))
        TLOG(TLOG_NERR, "Packet length %u in a datagram of %u bytes dropped", length, size);
    return 0;
}

const char* Net_PacketTypeName(uint32_t type)
{
    uint32_t low = type & 0xFF;
    if (low < 1 || low > 13) return "unknown *@#%$!@*^#%@#*$%@*^!@";
    return s_typeNames[low - 1];
}

void Net_DumpPacket(const NetPacket* packet)
{
    uint32_t length = Net_Length(packet);
    TLOG(TLOG_NDIAG, "PACKET LOG");
    TLOG(TLOG_NDIAG, " header - %d", NET_HEADER_SIZE);
    TLOG(TLOG_NDIAG, "  length: %d", (int)length);
    TLOG(TLOG_NDIAG, "  type:   %x", Net_Type(packet));
    TLOG(TLOG_NDIAG, "  src:    %d", Net_Source(packet));
    TLOG(TLOG_NDIAG, "  id:     %d", (int)Net_Id(packet));
    TLOG(TLOG_NDIAG, "  round:  %d", (int)Net_Round(packet));
    TLOG(TLOG_NDIAG, "  crc32:  %08x", Net_Crc(packet));
    if (length != NET_HEADER_SIZE) TLOG(TLOG_NDIAG, " data - %d", (int)(length - NET_HEADER_SIZE));
}
