// stranger: sends hostile packets to a node over real UDP sockets.
//
//   stranger --to IP [--port P] [--from IP] [--count N] [--type NAME|N]
//            [--source S] [--id I] [--round R] [--text TEXT] [--byte B]
//            [--wait MS]
//
// One packet from each of N addresses counting up from --from (default
// 127.0.0.3, one), each socket bound to its address at the game's port P
// (default the game's UDP port), so its acknowledgements come back to it.
// The packet: type NAME (PING .. KICK, any case) or a number, naming node S
// (default 8, no node), wanting an acknowledgement under id I when --id is
// given, round R; its data the text and its terminator (--text: a chat
// line), one byte (--byte: a pause's state), or none (21 bytes). After
// sending a reliable packet it waits up to MS (default 500) for the
// acknowledgements and prints how many came: a node that refuses the packet
// before acknowledging it sends none. Exit 0 when every datagram was sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "core/bytes.h"
#include "net/netpacket.h"
#include "net/udp.h"
#include "platform/thread.h"

namespace {

int Usage(void)
{
    fputs("usage: stranger --to IP [--port P] [--from IP] [--count N] [--type NAME|N]\n"
          "                [--source S] [--id I] [--round R] [--text TEXT] [--byte B] [--wait MS]\n",
          stderr);
    return 2;
}

// PING .. KICK by name, or a number (also one no node knows).
int TypeOf(const char* name)
{
    for (uint32_t t = NET_PING; t <= NET_KICK; t++)
        if (!strcasecmp(name, Net_PacketTypeName(t))) return (int)t;
    char* end;
    const long n = strtol(name, &end, 0);
    return *end || n < 0 || n > 255 ? -1 : (int)n;
}

int Bound(uint32_t ip, int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons((uint16_t)port);
    if (fd >= 0 && bind(fd, (sockaddr*)&a, sizeof a) == 0) return fd;
    perror("stranger: bind");
    if (fd >= 0) close(fd);
    return -1;
}

std::string Dotted(uint32_t ip)
{
    in_addr a;
    a.s_addr = htonl(ip);
    return inet_ntoa(a);
}

} // namespace

int main(int argc, char** argv)
{
    in_addr to{}, from{};
    inet_pton(AF_INET, "127.0.0.3", &from);
    int port = UDP_PORT, count = 1, type = NET_PING, source = 8, byte = -1, waitms = 500;
    uint32_t id = 0, round = 0;
    bool reliable = false, haveTo = false;
    const char* text = nullptr;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        const std::string k = argv[i];
        const char* v = argv[i + 1];
        if (k == "--to") haveTo = inet_pton(AF_INET, v, &to) == 1;
        else if (k == "--from") { if (inet_pton(AF_INET, v, &from) != 1) return Usage(); }
        else if (k == "--port") port = atoi(v);
        else if (k == "--count") count = atoi(v);
        else if (k == "--type") type = TypeOf(v);
        else if (k == "--source") source = atoi(v);
        else if (k == "--id") reliable = true, id = (uint32_t)strtoul(v, nullptr, 0);
        else if (k == "--round") round = (uint32_t)strtoul(v, nullptr, 0);
        else if (k == "--text") text = v;
        else if (k == "--byte") byte = atoi(v);
        else if (k == "--wait") waitms = atoi(v);
        else return Usage();
    }
    if (!haveTo || count < 1 || type < 0 || source < 0 || source > 255 || port <= 0 || port > 65535)
        return Usage();

    uint8_t data[NET_MAX_DATA];
    uint32_t length = 0;
    if (text) {
        length = (uint32_t)strnlen(text, sizeof data - 1) + 1;
        memcpy(data, text, length - 1);
        data[length - 1] = 0;
    } else if (byte >= 0) {
        data[length++] = (uint8_t)byte;
    }
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, data, length, (uint32_t)type | (reliable ? NET_WANTS_ACK : 0));
    Net_SetSource(&p, (uint8_t)source);
    Net_SetId(&p, id);
    Net_SetRound(&p, round);
    Net_StampCrc(&p);

    sockaddr_in target;
    memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_addr = to;
    target.sin_port = htons((uint16_t)port);
    std::vector<int> fds;
    int sent = 0;
    const uint32_t first = ntohl(from.s_addr);
    for (int k = 0; k < count; k++) {
        const int fd = Bound(first + (uint32_t)k, port);
        if (fd < 0) break;
        fds.push_back(fd);
        if (sendto(fd, p.raw, Net_Length(&p), 0, (sockaddr*)&target, sizeof target) == (ssize_t)Net_Length(&p))
            sent++;
        else
            perror("stranger: sendto");
        // The node's incoming ring holds 63 datagrams: a burst past it
        // would be dropped there, not by the code under test.
        Thread_Sleep(1);
    }
    printf("stranger: %d of %d %s packets (%u bytes, source %d, %s) sent from %s..%s to %s:%d\n", sent, count,
           Net_PacketTypeName((uint32_t)type), (unsigned)Net_Length(&p), source,
           reliable ? ("id " + std::to_string(id)).c_str() : "unreliable", Dotted(first).c_str(),
           Dotted(first + (uint32_t)count - 1).c_str(), Dotted(ntohl(to.s_addr)).c_str(), port);

    if (reliable) {
        // One acknowledgement at most per address (its id, from the target).
        std::vector<pollfd> polls;
        for (int fd : fds) polls.push_back({fd, POLLIN, 0});
        int acked = 0;
        const uint32_t start = Thread_ClockMs();
        while (acked < (int)fds.size() && Thread_ClockMs() - start < (uint32_t)waitms) {
            if (poll(polls.data(), polls.size(), 10) <= 0) continue;
            for (pollfd& q : polls) {
                if (!(q.revents & POLLIN)) continue;
                NetPacket ack;
                memset(&ack, 0, sizeof ack);
                sockaddr_in who;
                socklen_t wholen = sizeof who;
                const ssize_t n = recvfrom(q.fd, ack.raw, NET_MAX_PACKET, 0, (sockaddr*)&who, &wholen);
                if (n >= NET_HEADER_SIZE && who.sin_addr.s_addr == to.s_addr && Net_Type(&ack) == NET_IS_ACK &&
                    Net_Id(&ack) == id) {
                    acked++;
                    q.events = 0;
                }
            }
        }
        printf("stranger: acknowledged %d of %d\n", acked, sent);
    }
    for (int fd : fds) close(fd);
    return sent == count ? 0 : 1;
}
