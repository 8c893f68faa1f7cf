// Hostile packets into the lobby dispatcher, as creator or as guest. The
// input is a flag byte and then datagrams, each {u8 sender, u16 length,
// bytes}: flag bit 0 restamps each CRC after the mutation, bit 1 makes this
// node the creator of a session with two guests (else a guest that asked
// node 0 to join), bit 2 runs on the serial line's rules. The sender byte's
// low three bits pick one of eight addresses, 0 the creator's (or, as
// creator, a stranger's); its top bit makes this node send its own settings
// after the packet, so that the senders meet what the packets left.
#include <cstring>

#include "core/gamestate.h"
#include "fuzzsupport.h"
#include "memnet.h"
#include "net/net.h"
#include "platform/thread.h"

static NetAddress Addr(uint8_t n) { return {NET_TYPE_UDP, {127, 0, 0, n, 0, 0}}; }

static void Message(int, const char* text) { (void)strlen(text); }
static void Kick(int) {}

static void JoinAs(const char* name, uint8_t from)
{
    NetSessionPlayer p;
    memset(&p, 0, sizeof p);
    p.flags = NET_PLAYER_ACTIVE;
    strcpy(p.name, name);
    uint8_t block[NET_PLAYER_BYTES];
    Net_WritePlayer(block, &p);
    NetPacket packet;
    memset(&packet, 0, sizeof packet);
    Net_BuildPacket(&packet, block, sizeof block, NET_JOIN);
    Net_StampCrc(&packet);
    MemNet_Deliver(packet, Addr(from));
    NetPkt_Pass();
}

static void fuzz_NetLobby(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    int restamp = data[0] & 1, creator = data[0] & 2, serial = data[0] & 4;
    Thread_SetClockHook(MemNet_Clock);
    MemNet_Reset(1000, Addr(1));
    strcpy(g_NetPlayerName, "Fuzz");
    Net_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0);
    Net_BeginSession();
    Net_SetMessageHandler(Message);
    Net_SetKickHandler(Kick);
    if (creator) {
        Net_HostGame();
        JoinAs("Ann", 3);
        JoinAs("Bob", 4);
    } else {
        NetAddress to = Addr(2);
        Net_Join(&to, 0);
    }
    if (serial) g_NetType = NET_TYPE_SERIAL;
    size_t at = 1;
    while (at + 3 <= size) {
        uint8_t sender = data[at];
        size_t length = data[at + 1] | (size_t)data[at + 2] << 8;
        at += 3;
        if (length > size - at) length = size - at;
        if (length <= NET_MAX_PACKET) {
            NetPacket p;
            memset(&p, 0, sizeof p);
            memcpy(p.raw, data + at, length);
            if (restamp) Net_StampCrc(&p);
            MemNet_Deliver(p, Addr((uint8_t)(2 + (sender & 7))));
            NetPkt_Pass();
        }
        at += length;
        if (sender & 0x80) {
            g_NetStaged.colour = sender & 15;
            g_NetStaged.team = (sender >> 4) & 7;
            Net_SendPlayerState();
            Net_SendLaunch();
        }
        MemNet_Sent().clear();
    }
    if (g_NetCreator) Net_HostLaunch();
    // Nobody here answers a goodbye.
    for (NetSessionPlayer& p : g_NetSession.players) p.flags = 0;
    Net_SetMessageHandler(nullptr);
    Net_SetKickHandler(nullptr);
    Net_Close();
    memset(&g_NetSession, 0, sizeof g_NetSession);
    memset(&g_NetSettings, 0, sizeof g_NetSettings);
    g_NetLaunched = 0;
    g_NetworkGame = 0;
    Thread_SetClockHook(nullptr);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_NetLobby(data, size));
    return 0;
}
