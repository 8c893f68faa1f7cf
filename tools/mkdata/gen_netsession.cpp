// Seeds for the lobby's and the game's fuzz targets: a flag byte, then
// datagrams {u8 sender, u16 length, bytes} made with the engine's own packet
// and block writers.
#include <cstring>
#include <string>

#include "mkdata.h"
#include "net/net.h"
#include "units/orders.h"

static NetAddress Addr(uint8_t n) { return {NET_TYPE_UDP, {127, 0, 0, n, 0, 0}}; }

static void Put(std::string* out, uint8_t sender, uint32_t type, uint8_t source, const void* data,
                uint32_t length)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, data, length, type);
    Net_SetSource(&p, source);
    Net_StampCrc(&p);
    uint32_t total = Net_Length(&p);
    out->push_back((char)sender);
    out->push_back((char)total);
    out->push_back((char)(total >> 8));
    out->append((const char*)p.raw, total);
}

// A session of three with this node (127.0.0.1) as node 1.
static void Session(uint8_t* block)
{
    NetSession s;
    memset(&s, 0, sizeof s);
    s.creator_address = Addr(2);
    s.count = 3;
    strcpy(s.name, "Seed's Game");
    for (int n = 0; n < 3; n++) {
        s.players[n].flags = NET_PLAYER_ACTIVE;
        s.players[n].name[0] = (char)('A' + n);
        s.players[n].address = Addr((uint8_t)(n == 1 ? 1 : n + 2));
    }
    Net_WriteSession(block, &s);
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_netlobby") return 1;
    uint8_t session[NET_SESSION_BYTES];
    Session(session);
    NetGameSettings gs;
    memset(&gs, 0, sizeof gs);
    strcpy(gs.scenario, "DEMO");
    uint8_t settings[NET_SETTINGS_BYTES];
    Net_WriteSettings(settings, &gs);
    uint8_t launch[NET_LAUNCH_BYTES];
    Net_PutU32(launch, 4);
    memcpy(launch + 4, settings, sizeof settings);
    NetNodeSettings mine;
    memset(&mine, 0, sizeof mine);
    mine.colour = 3;
    uint8_t node[NET_NODE_SETTINGS_BYTES];
    Net_WriteNodeSettings(node, &mine);
    NetSessionPlayer joiner;
    memset(&joiner, 0, sizeof joiner);
    joiner.flags = NET_PLAYER_ACTIVE;
    strcpy(joiner.name, "Cy");
    uint8_t join[NET_PLAYER_BYTES];
    Net_WritePlayer(join, &joiner);
    uint8_t refuse[NET_REFUSE_BYTES] = {};
    strcpy((char*)refuse + NET_SESSION_HEAD_BYTES, "NetRefusalTooMany");

    std::string guest(1, '\0');
    Put(&guest, 0, NET_SESSION, 0, session, sizeof session);
    Put(&guest, 0, NET_CHAT, 0, settings, sizeof settings);
    Put(&guest, 0x80, NET_MESSAGE, 2, "hello", 6);
    Put(&guest, 2, NET_SESSION, 2, session, sizeof session);
    Put(&guest, 0, NET_LAUNCH, 0, launch, sizeof launch);
    Put(&guest, 0, NET_LEAVE, 0, nullptr, 0);
    Put(&guest, 0, NET_KICK, 0, nullptr, 0);
    std::string refused(1, '\0');
    Put(&refused, 0, NET_JOIN_REFUSE, 0, refuse, sizeof refuse);
    Put(&refused, 5, NET_SEARCH_RESPONSE, 0, session, sizeof session);
    std::string host(1, '\x02');
    Put(&host, 1, NET_CHAT, 1, node, sizeof node);
    Put(&host, 2, NET_CHAT, 2, node, sizeof node);
    Put(&host, 0x85, NET_JOIN, 8, join, sizeof join);
    Put(&host, 1, NET_JOIN, 8, join, sizeof join);
    Put(&host, 2, NET_LAUNCH, 2, nullptr, 0);
    Put(&host, 6, NET_SEARCH, 8, nullptr, 0);
    Put(&host, 1, NET_LEAVE, 1, nullptr, 0);
    std::string serial(1, '\x07');
    Put(&serial, 3, NET_SESSION, 0, session, sizeof session);
    Put(&serial, 3, NET_CHAT, 0, node, sizeof node);
    return Mkdata_WriteFile(dir + "/guest.bin", guest.data(), guest.size()) &&
           Mkdata_WriteFile(dir + "/refused.bin", refused.data(), refused.size()) &&
           Mkdata_WriteFile(dir + "/host.bin", host.data(), host.size()) &&
           Mkdata_WriteFile(dir + "/serial.bin", serial.data(), serial.size());
}

MKDATA_REGISTER(netlobby, "netlobby", nullptr, Seeds);

// A round's data: one game-speed order of the team and a short selection.
static uint32_t Orders(uint8_t* out, int team)
{
    const uint8_t entries[] = {QGAMESPEED, 4, (uint8_t)team, 20, 0, 0, 0,
                               QADDSELECTED, 2, (uint8_t)team, 5, 0, 0, 0, 6, 0, 0, 0};
    memcpy(out, entries, sizeof entries);
    return sizeof entries;
}

static void PutRound(std::string* out, uint8_t sender, int source, uint32_t round, int team)
{
    uint8_t data[64];
    uint32_t n = Orders(data, team);
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, data, n, NET_ROUND | NET_WANTS_ACK);
    Net_SetSource(&p, (uint8_t)source);
    Net_SetRound(&p, round);
    Net_SetId(&p, 500 + round * 8 + (uint32_t)source);
    Net_StampCrc(&p);
    uint32_t total = Net_Length(&p);
    out->push_back((char)sender);
    out->push_back((char)total);
    out->push_back((char)(total >> 8));
    out->append((const char*)p.raw, total);
}

static int GameSeeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_netgame") return 1;
    // As node 1: rounds 2 and 3 from nodes 0 and 2, each acknowledged.
    std::string guest(1, '\0');
    PutRound(&guest, 0x00, 0, 2, 0);
    PutRound(&guest, 0x22, 2, 2, 2);
    PutRound(&guest, 0x80, 0, 3, 0);
    PutRound(&guest, 0x22, 2, 3, 2);
    PutRound(&guest, 0x82, 2, 3, 1); // another team's orders
    PutRound(&guest, 0x40, 0, 4, 0);
    uint8_t session[NET_SESSION_BYTES];
    Session(session);
    Put(&guest, 0x40, NET_SESSION, 0, session, sizeof session);
    // As the creator: node 2 falls silent and is dropped.
    std::string host(1, '\x02');
    PutRound(&host, 0x21, 1, 2, 1);
    PutRound(&host, 0x22, 2, 2, 2);
    PutRound(&host, 0xA1, 1, 3, 1);
    PutRound(&host, 0x41, 1, 5, 1);
    Put(&host, 0x41, NET_LEAVE, 1, nullptr, 0);
    return Mkdata_WriteFile(dir + "/guest.bin", guest.data(), guest.size()) &&
           Mkdata_WriteFile(dir + "/host.bin", host.data(), host.size());
}

MKDATA_REGISTER(netgame, "netgame", nullptr, GameSeeds);
