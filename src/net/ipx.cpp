#include "net/ipx.h"

#include <arpa/inet.h>

#include <cstring>

#include "core/tlog.h"
#include "net/netpkt.h"
#include "net/wsock.h"

static int s_initialised;
static sockaddr_in s_template;

int IPX_Init(NetAddress* own)
{
    if (s_initialised) {
        TLOG(TLOG_NWARN, "Attempt to re-initialise");
        return 1;
    }
    if (!WSOCK_Start(WSOCK_IPX, IPX_SOCKET, NET_TYPE_IPX, &s_template, own)) return 0;
    s_initialised = 1;
    return 1;
}

int IPX_Close(void)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "IPX not currently initialised");
        return 1;
    }
    WSOCK_Close();
    s_initialised = 0;
    return 1;
}

int IPX_Recv(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    uint8_t buffer[WSOCK_SLOT_DATA];
    sockaddr_in sender;
    uint32_t length;
    // The node's own broadcasts and datagrams whose length field disagrees
    // with their size are skipped; the datagrams behind one are still taken
    // now, as nothing would wake the packet thread for them.
    for (;;) {
        if (!WSOCK_Recv(&sender, buffer, &length, time)) return 0;
        if (sender.sin_family == s_template.sin_family && sender.sin_port == s_template.sin_port &&
            sender.sin_addr.s_addr == s_template.sin_addr.s_addr) {
            TLOG(TLOG_NDIAG, "Received packet from the console");
            continue;
        }
        memcpy(packet->raw, buffer, NET_SLOT_SIZE);
        if (Net_FitsDatagram(packet, length)) break;
    }
    from->kind = NET_TYPE_IPX;
    memcpy(from->bytes, &sender.sin_addr, 4);
    from->bytes[4] = from->bytes[5] = 0;
    return 1;
}

int IPX_Send(const NetPacket* packet, const NetAddress* to)
{
    static const uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    sockaddr_in a = s_template;
    if (memcmp(to->bytes, kBroadcast, 6) == 0)
        a.sin_addr.s_addr = WSOCK_BroadcastAddress();
    else
        memcpy(&a.sin_addr, to->bytes, 4);
    uint32_t length = Net_Length(packet);
    if (length > NET_SLOT_SIZE) length = NET_SLOT_SIZE;
    return WSOCK_Send(&a, packet->raw, length);
}
