// Hostile packets into a network game of three nodes: the game's filter and
// dispatcher, round completion, drops and the unpacking of every completed
// round through the order codec into the incoming queue, and the execution
// of what was queued on a small world, which runs an update after every
// step. The input is a
// flag byte and then datagrams, each {u8 sender, u16 length, bytes}: flag bit
// 0 restamps each CRC after the mutation, bit 1 makes this node the creator
// (node 0; else node 1). The sender byte's low two bits pick the address of
// node 0, 1, 2 or a stranger's; bit 7 steps the round with the send flag set,
// bit 6 runs the drop check after a jump of the clock, bit 5 acknowledges
// this node's last ROUND sends from both other nodes.
#include <cstring>

#include "core/config.h"
#include "core/gamestate.h"
#include "fuzzsupport.h"
#include "fuzzworld.h"
#include "memnet.h"
#include "net/quornet.h"
#include "platform/thread.h"
#include "map/pathsrch.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/unitproc.h"
#include "units/unitlist.h"

static NetAddress Addr(int n) { return {NET_TYPE_UDP, {127, 0, 0, (uint8_t)(n + 2), 0, 0}}; }
static const NetAddress kOwn = {NET_TYPE_UDP, {127, 0, 0, 1, 0, 0}};

static void AckOwnRounds(void)
{
    for (const MemDatagram& d : MemNet_Sent()) {
        if ((Net_Type(&d.packet) & 0xFF) != NET_ROUND || !(Net_Type(&d.packet) & NET_WANTS_ACK)) continue;
        NetPacket ack;
        memset(&ack, 0, sizeof ack);
        Net_BuildPacket(&ack, nullptr, 0, NET_IS_ACK);
        Net_SetId(&ack, Net_Id(&d.packet));
        Net_StampCrc(&ack);
        MemNet_Deliver(ack, d.address);
    }
    MemNet_Sent().clear();
    NetPkt_Pass();
}

static void fuzz_NetGame(const uint8_t* data, size_t size)
{
    if (size < 1) return;
    int restamp = data[0] & 1, own = data[0] & 2 ? 0 : 1;
    Cfg_SetDefaults(&g_Config);
    Orders_Init();
    QvFuzz_OpenWorld();
    Thread_SetClockHook(MemNet_Clock);
    MemNet_Reset(1000, kOwn);
    Net_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0);
    memset(&g_NetSession, 0, sizeof g_NetSession);
    g_NetSession.count = 3;
    g_NetSession.creator_address = own == 0 ? kOwn : Addr(0);
    for (int n = 0; n < 3; n++) {
        g_NetSession.players[n].flags = NET_PLAYER_ACTIVE;
        g_NetSession.players[n].name[0] = (char)('A' + n);
        g_NetSession.players[n].address = n == own ? kOwn : Addr(n);
        g_NetSettings.node[n].team = (uint8_t)n;
    }
    g_NetOwnNode = (uint8_t)own;
    g_NetCreator = own == 0;
    g_NetworkGame = 1;
    QuorNet_SetOrders(Orders_NetTable());
    Net_InitGame();
    uint8_t send = 1;
    QuorNet_Step(&send);
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
            int node = sender & 3;
            MemNet_Deliver(p, node == 3 ? NetAddress{NET_TYPE_UDP, {10, 0, 0, 9, 0, 0}} : Addr(node));
            NetPkt_Pass();
        }
        at += length;
        if (sender & 0x20) AckOwnRounds();
        if (sender & 0x40) {
            MemNet_Advance(QUORNET_FRAME_MS * 700);
            for (int i = 0; i < 3; i++) QuorNet_CheckDrops();
        }
        send = sender >> 7;
        if (g_NetState == NET_IN_GAME) QuorNet_Step(&send);
        // A completed round's orders run as the frame loop runs them.
        Orders_ExecuteIncoming();
        Build_ProcessAll();
        Pathsrch_Update();
        Units_ProcessAll();
        g_UpdateCount++;
        if (MemNet_Sent().size() > 64) MemNet_Sent().clear();
    }
    for (NetSessionPlayer& p : g_NetSession.players) p.flags = 0;
    Net_Close();
    QuorNet_SetOrders(nullptr);
    Orders_Close();
    QvFuzz_CloseWorld();
    memset(&g_NetSession, 0, sizeof g_NetSession);
    memset(&g_NetSettings, 0, sizeof g_NetSettings);
    g_NetCreator = 0;
    g_NetworkGame = 0;
    Thread_SetClockHook(nullptr);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_NetGame(data, size));
    // The unit-list elements keep their memory for reuse until freed here.
    Orders_Close();
    Units_ListFreeAll();
    return 0;
}
