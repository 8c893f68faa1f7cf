#include "net/udp.h"

#include <arpa/inet.h>

#include <cstring>

#include "core/tlog.h"
#include "net/netpkt.h"
#include "net/wsock.h"

static int s_initialised;
static sockaddr_in s_template;

int UDP_Init(NetAddress* own)
{
    if (s_initialised) {
        TLOG(TLOG_NWARN, "Attempt to re-initialise");
        return 1;
    }
    if (!WSOCK_Start(WSOCK_UDP, UDP_PORT, NET_TYPE_UDP, &s_template, own)) return 0;
    s_initialised = 1;
    return 1;
}

int UDP_Close(void)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "UDP not currently initialised");
        return 1;
    }
    WSOCK_Close();
    s_initialised = 0;
    return 1;
}

int UDP_Recv(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    uint8_t buffer[WSOCK_SLOT_DATA];
    sockaddr_in sender;
    uint32_t length;
    // A datagram whose length field disagrees with its size is dropped and
    // the next one taken at once.
    do {
        if (!WSOCK_Recv(&sender, buffer, &length, time)) return 0;
        memcpy(packet->raw, buffer, NET_SLOT_SIZE);
    } while (!Net_FitsDatagram(packet, length));
    from->kind = NET_TYPE_UDP;
    memcpy(from->bytes, &sender.sin_addr, 4);
    memcpy(from->bytes + 4, sender.sin_zero, 2);
    return 1;
}

int UDP_Send(const NetPacket* packet, const NetAddress* to)
{
    sockaddr_in a = s_template;
    memcpy(&a.sin_addr, to->bytes, 4);
    uint32_t length = Net_Length(packet);
    if (length > NET_SLOT_SIZE) length = NET_SLOT_SIZE;
    return WSOCK_Send(&a, packet->raw, length);
}
