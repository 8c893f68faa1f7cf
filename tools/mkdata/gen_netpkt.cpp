// Seeds for the packet layer's fuzz target: datagrams made with the engine's
// own packet functions ({u8 node, u16 length, bytes} behind a flag byte).
#include <cstring>
#include <string>

#include "mkdata.h"
#include "net/netpacket.h"

static void Put(std::string* out, uint8_t node, uint32_t type, uint32_t id, const char* text,
                int corrupt)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, text, text ? (uint32_t)strlen(text) + 1 : 0, type);
    Net_SetId(&p, id);
    Net_StampCrc(&p);
    if (corrupt) p.raw[NET_HEADER_SIZE - 1] ^= 0x10;
    uint32_t length = Net_Length(&p);
    out->push_back((char)node);
    out->push_back((char)length);
    out->push_back((char)(length >> 8));
    out->append((const char*)p.raw, length);
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_netpkt") return 1;
    std::string session(1, '\0');
    Put(&session, 2, NET_MESSAGE, 0, "hello there", 0);
    Put(&session, 2, NET_CHAT | NET_WANTS_ACK, 7, "settings", 0);
    Put(&session, 2, NET_CHAT | NET_WANTS_ACK, 7, "settings", 0);
    Put(&session, 2, NET_IS_ACK, 1000, nullptr, 0);
    Put(&session, 3, NET_IS_ACK, 1001, nullptr, 0);
    Put(&session, 0x42, NET_ROUND | NET_WANTS_ACK, 9, "orders", 1);
    std::string restamped(1, '\x03');
    Put(&restamped, 2, NET_LAUNCH | NET_WANTS_ACK, 8, "launch", 0);
    Put(&restamped, 3, NET_KICK | NET_WANTS_ACK, 9, nullptr, 0);
    return Mkdata_WriteFile(dir + "/session.bin", session.data(), session.size()) &&
           Mkdata_WriteFile(dir + "/restamped.bin", restamped.data(), restamped.size());
}

MKDATA_REGISTER(netpkt, "netpkt", nullptr, Seeds);
