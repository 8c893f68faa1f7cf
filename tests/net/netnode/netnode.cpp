// netnode: one machine of a network game between processes: the headless
// program on the demo scenario, with a script standing in for the
// multiplayer menus.
//
//   netnode --node I --nodes K --base B --updates N [--transport udp|ipx|serial|modem]
//           [--port PATH]
//           [--seed S] [--frame-ms M] [--kill-at U [--kill-if-node K]] [--int-at U]
//           [--stop-at U --stop-ms M] [--stops U:M,U:M,...] [--playback FILE --cycles C [--setup FILE]]
//           [--save-at U] [--garbage-at U] [--forge-session-at U] [--forge-takeover-at U [--forge-copies N]]
//           [--forge-leave-at U --forge-leave-if-node K]
//
// Runs in a directory holding quorvex.cfg and the demo's data (the runner
// makes one per node). Its address is 127.B.0.(I + 1); process 0 hosts,
// the others join it (UDP: at its address; IPX and the serial line at
// --port: found by Net_Search). Over a modem (--port its tty) process 0
// dials and the other answers; the call's line is then the serial line. Its
// node number, given by the creator, is its team. It gives seeded orders
// for its team through the builders, advances the game clock one interval a
// frame, writes "digests.txt" (the state's digest after every update, up to
// N) and "summary.txt", and quits two rounds after N (so that the others
// can finish N without it), 10 s after N at the latest, or at the game's
// end. QUORVEX_NETFAULTS puts the fault layer under the packet layer.
//
// The faults of a run: --kill-at (SIGKILL at that update), --int-at
// (SIGINT: the program quits as asked), --stop-at (stopped until the runner
// or, after --stop-ms, a child resumes it), --stops (a stall of M ms at
// each update U, resumed by a child: several in one game; each stall's
// start and its length on the clock logged). --kill-if-node K keeps --kill-at
// for the process that is node K (node numbers follow the join order, so a
// runner gives it to every process), which writes "killed.txt" first; every
// node writes its number and process id to "sessionnode.txt" at the game's
// start, for a runner that kills a node by its number; a guest writes its
// number to "joined.txt" once it is in. --frame-ms shortens the drop
// limits' frame step. --save-at gives the save order at that update;
// --garbage-at makes the node a bad one from that update on: each datagram
// it sends is followed by one of garbage to the same address, of a kind
// drawn from the node's own seeded stream. --forge-session-at makes it tell
// the node after it, at that update, three times, that the last node left
// (a SESSION from its own address, the creator still named).
// --forge-takeover-at, on the process that is node 1 (given to every
// process, like --kill-if-node; the others ignore it), sends at that update
// to the node after it what a takeover of a silent creator sends: a SESSION
// of the current round naming node 1 the creator at its own address and
// node 0 dropped, reliably, and the copies of node 0's last two rounds,
// while node 0 lives and answers: the guest must refuse it. --forge-copies N
// sends N such takeovers, each built afresh and sent anew (a new id), 0.1 s
// of the clock apart. --forge-leave-at, on the process that is node K of
// --forge-leave-if-node (2 or more; given to every process), sends node 1,
// the creator's successor, a LEAVE from this node's own address at that
// update, as a quitting guest's goodbye goes to it, and plays on: it must
// stay in the game when node 1 takes the creator's role.
// QUORVEX_NETTRACE=1 writes every datagram the node sends, takes from its
// socket and keeps past the fault layer to "datagrams.txt", one line each
// (see TraceLine): a datagram another node sent that never came off this
// node's socket was lost before it (its receive ring full), one that came
// off but was not kept, to the faults.
// --playback plays a recording single-player with the round length it had;
// --setup gives it the teams a menus' launch set up ("launch.bin", written
// by a --menus node at its launch).
// --meet first meets the others through the online service (meet.cpp):
// node 0 creates the game there, node 1 joins it at the address the
// service gives; a node of 2 or more only visits the meeting and quits.
// --menus SCRIPT runs the multiplayer menus under a page script instead
// (support/pagescript.h), with the address book and configuration of its
// directory, and quits when they end; when they end in a launch it plays
// the game they set up as above, recording its orders ("orders.rec").
// QUORVEX_NETFAULTS and --frame-ms hold for the networks the menus start.
#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <signal.h>
#include <time.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "net/comm.h"
#include "net/atline.h"
#include "net/ipx.h"
#include "net/modem.h"
#include "net/quornet.h"
#include "net/udp.h"
#include "net/wsock.h"
#include "meet.h"
#include "multi/mmchat.h"
#include "netfault.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "support/pagescript.h"
#include "support/world.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"

namespace {

struct Options {
    int node = 0, nodes = 2, base = 1, updates = 300, type = NET_TYPE_UDP;
    uint32_t seed = 1, framems = 0, cycles = 0;
    long killat = -1, intat = -1, stopat = -1, stopms = 0;
    int killifnode = -1;
    const char* playback = nullptr;
    const char* port = "";
    int modem = 0;
    const char* meet = nullptr;
    int clients = 3;
    const char* menus = nullptr;
    const char* setup = nullptr;
    long saveat = -1, garbageat = -1, forgeat = -1, forgetakeoverat = -1, forgeleaveat = -1;
    int forgecopies = 1, forgeleavenode = -1;
    std::vector<std::pair<long, long>> stops; // --stops: {update, ms}
};

Options s_opt;
char s_self[32];
std::mt19937 s_rand;
FILE* s_digests;
uint32_t s_drops;      // nodes dropped by the bound
long s_alone = -1;     // the update the game went single-player at
uint32_t s_longestWait; // ms between two updates of the game, at most
long s_longestWaitAt;  // the update that ended it
int s_team;
std::string s_modemStatuses;
NetAddress s_met; // the creator's address the meeting gave
// The bad node's layer: the transport under it, whether it sends garbage
// yet, and the garbage datagrams sent.
const NetTransport* s_below;
std::atomic<int> s_hostile{0};
std::atomic<uint32_t> s_garbage{0};
uint32_t s_junk = 1;

const NetTransport* Layers(const NetTransport* base);
void SetFrameStep(void);

void Fail(const char* what)
{
    fprintf(stderr, "netnode %s: %s\n", s_self, what);
    TLOG(TLOG_ERROR, "netnode %s: %s", s_self, what);
    exit(1);
}

NetAddress AddressOf(int index)
{
    NetAddress a;
    memset(&a, 0, sizeof a);
    a.kind = s_opt.type;
    uint8_t ip[4] = {127, (uint8_t)s_opt.base, 0, (uint8_t)(index + 1)};
    memcpy(a.bytes, ip, 4);
    if (s_opt.type == NET_TYPE_UDP) {
        // The UDP address carries the port as the transport reports it.
        a.bytes[4] = g_NetOwnAddress.bytes[4];
        a.bytes[5] = g_NetOwnAddress.bytes[5];
    }
    return a;
}

// Polls a condition for up to ms of the network clock.
template <typename F> int WaitFor(F done, uint32_t ms)
{
    uint32_t start = Thread_ClockMs();
    while (!done()) {
        if (Thread_ClockMs() - start >= ms) return 0;
        Thread_Sleep(5);
    }
    return 1;
}

int Locked(int (*read)(void))
{
    Net_Lock();
    int v = read();
    Net_Unlock();
    return v;
}

// ---- state 1: the session ----

void Host(void)
{
    Net_HostGame();
    g_NetStaged.team = 0;
    g_NetStaged.colour = 0;
    Net_SendPlayerState();
    // Every guest in, its team chosen and ready.
    int ok = WaitFor(
        [] {
            return Locked(+[] {
                if (g_NetSession.count != s_opt.nodes) return 0;
                for (int n = 1; n < NET_NODES; n++)
                    if (Net_IsNodeInSession(n) && (!(g_NetSession.players[n].flags & NET_PLAYER_READY) ||
                                                   g_NetSettings.node[n].team != n))
                        return 0;
                return 1;
            });
        },
        60000);
    if (!ok) Fail("the guests did not all join and get ready");
    // Every guest holds the final player list before the launch: a LAUNCH
    // overtaking the last SESSION would start it with a former one.
    static uint8_t delivered[NET_NODES];
    static uint32_t resends[NET_NODES];
    Net_Lock();
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &g_NetSession);
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, block, sizeof block, NET_SESSION);
    Net_SendToOthers(&p, delivered, resends);
    Net_Unlock();
    ok = WaitFor(
        [] {
            return Locked(+[] {
                for (int n = 1; n < NET_NODES; n++)
                    if (Net_IsNodeInSession(n) && !delivered[n]) return 0;
                return 1;
            });
        },
        30000);
    if (!ok) Fail("a guest did not acknowledge the final session");
    Net_HostLaunch();
}

void Guest(void)
{
    const char* refusal = "not tried";
    for (int tries = 0; tries < 60 && refusal; tries++) {
        NetAddress creator = AddressOf(0);
        if (s_opt.meet) memcpy(creator.bytes, s_met.bytes, 4);
        if (s_opt.type != NET_TYPE_UDP) {
            Net_Search();
            Thread_Sleep(100);
            Net_LockFoundSessions();
            NetSession* found = g_FoundSessions ? (NetSession*)GLL_GoFirst(g_FoundSessions) : nullptr;
            int have = found != nullptr;
            if (found) creator = found->creator_address;
            Net_UnlockFoundSessions();
            if (!have) continue;
        }
        refusal = Net_Join(&creator, 1000);
    }
    if (refusal) Fail(refusal);
    Net_Lock();
    int node = g_NetOwnNode;
    Net_Unlock();
    // For a runner that starts the next guest once this one is in: node
    // numbers in process order.
    if (FILE* f = fopen("joined.txt", "w")) {
        fprintf(f, "%d\n", node);
        fclose(f);
    }
    g_NetStaged.team = (uint8_t)node;
    g_NetStaged.colour = (uint8_t)node;
    Net_SendPlayerState();
    Net_SendLaunch();
    if (!WaitFor([] { return Locked(+[] { return g_NetLaunched; }); }, 60000)) Fail("no launch came");
}

// Each modem status the line reports, kept for the summary.
void OnModemStatus(const char* id)
{
    TLOG(TLOG_DIAG, "modem status %s", id);
    s_modemStatuses += s_modemStatuses.empty() ? id : std::string(" ") + id;
}

// The modem page's steps: the first process dials, the other answers, and
// the connected call's channel becomes the serial line.
void CallByModem(void)
{
    snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", s_opt.port);
    if (!MODEM_Init(nullptr)) Fail("the modem did not start");
    MODEM_MessageRegister(OnModemStatus);
    if (!(s_opt.node == 0 ? MODEM_dial(0, "5551234") : MODEM_Answer(0))) Fail("the modem refused the call");
    int connected = WaitFor(
        [] {
            ATLine_Pump();
            return MODEM_GetStatus() == 3;
        },
        60000);
    if (!connected) Fail("the call did not connect");
    if (!MODEM_Connect()) Fail("the call's line could not be had");
}

// The run of a game, with the staged settings given to it: the nodes'
// teams are played by humans.
void PlayGame(void)
{
    if (s_opt.setup) {
        // As the launch does it, before the game's systems start.
        FILE* f = fopen(s_opt.setup, "rb");
        uint8_t block[1 + NET_SESSION_BYTES + NET_SETTINGS_BYTES];
        const bool read = f && fread(block, sizeof block, 1, f) == 1;
        if (f) fclose(f);
        if (!read) Fail("the launch's set-up could not be read");
        static NetSession session;
        static NetGameSettings settings;
        Net_ReadSession(block + 1, &session);
        Net_ReadSettings(block + 1 + NET_SESSION_BYTES, &settings);
        MM_chat_update_game_from(&session, &settings, block[0]);
    }
    InitCommonGameSystems();
    // Before the scenario and the computer players load: they go by the types.
    for (int n = 0; n < NET_NODES && !s_opt.setup; n++)
        if ((s_opt.playback ? n < s_opt.nodes : Net_IsNodeInSession(n)) && Net_GetNodeTeam(n) < 8)
            teamdata[Net_GetNodeTeam(n)].type = TT_HUMAN;
    // A playback starts as the network game did (a network game's scenario
    // leaves the alliances to the players), then plays single-player.
    if (s_opt.playback) g_NetworkGame = 1;
    InitGameSpecifics();
    if (s_opt.playback) {
        Net_CloseGame();
        g_NetworkGame = 0;
    }
    g_GameState = GS_INGAME;
    Game_RunInGame();
    TLOG(TLOG_DIAG, "Game ended after %u updates and %u frames", g_UpdateCount, g_FrameCount);
    CloseGameSpecifics();
    CloseCommonGameSystems();
}

void WriteSummary(void)
{
    FILE* f = fopen("summary.txt", "w");
    if (!f) return;
    fprintf(f, "node %d (team %d): updates %u, UnitCycles %u, faults met %u, drops %u, %s\n", s_opt.node, s_team,
            g_UpdateCount, (unsigned)UnitCycles, NetFault_Count(), (unsigned)s_drops,
            s_alone >= 0 ? ("alone from update " + std::to_string(s_alone)).c_str() : "in the game to the end");
    if (s_opt.modem) fprintf(f, "  modem: %s\n", s_modemStatuses.c_str());
    if (s_opt.meet) fprintf(f, "  %s\n", NetNode_MeetSummary());
    if (s_opt.garbageat >= 0) fprintf(f, "  garbage datagrams sent %u\n", s_garbage.load());
    fprintf(f, "  longest wait %u ms (before update %ld)\n", (unsigned)s_longestWait, s_longestWaitAt);
    if (s_opt.type == NET_TYPE_SERIAL) {
        CommCounts c = COMM_GetCounts();
        fprintf(f, "  serial line: frames in %u, out %u, noise bytes dropped %u, bad lengths dropped %u\n", c.framesIn,
                c.framesOut, c.noise, c.badlength);
    }
    fclose(f);
}

void MultiMenus(void)
{
    PlatHeadless_UseVirtualClock(1);
    Str_CopySafe(g_Config.orderrecord, s_opt.playback ? "" : "orders.rec", CFG_PATH);
    if (s_opt.playback) {
        Str_CopySafe(g_Config.orderplayback, s_opt.playback, CFG_PATH);
        for (int n = 0; n < s_opt.nodes && !s_opt.setup; n++) g_NetSettings.node[n].team = (uint8_t)n;
        UnitCycles = s_opt.cycles;
        s_team = g_LocalTeam = s_opt.node;
        g_NetworkGame = 0;
    } else {
        static const NetTransport udp = {UDP_Init, UDP_Close, UDP_Recv, UDP_Send, WSOCK_PolledAt};
        static const NetTransport ipx = {IPX_Init, IPX_Close, IPX_Recv, IPX_Send, WSOCK_PolledAt};
        static const NetTransport serial = {COMM_Init, COMM_Close, COMM_iface_recv, COMM_iface_send, nullptr};
        const NetTransport* table = s_opt.type == NET_TYPE_IPX ? &ipx : s_opt.type == NET_TYPE_SERIAL ? &serial : &udp;
        if (s_opt.modem) CallByModem();
        else COMM_SetPort(s_opt.port, 57600);
        table = Layers(table);
        SetFrameStep();
        snprintf(g_NetPlayerName, sizeof g_NetPlayerName, "Node%d", s_opt.node);
        if (s_opt.meet)
            if (const char* e = NetNode_Meet(s_opt.meet, s_opt.node, s_opt.clients, &s_met)) Fail(e);
        if (!Net_InitWith(s_opt.type, table, 1)) Fail("the network did not start");
        Net_BeginSession();
        if (s_opt.node == 0) Host();
        else Guest();
        Net_EndSession();
        s_team = g_LocalTeam = Net_GetNodeTeam(g_NetOwnNode);
        if (FILE* f = fopen("sessionnode.txt", "w")) {
            fprintf(f, "%d %ld\n", (int)g_NetOwnNode, (long)getpid());
            fclose(f);
        }
    }
    g_Config.disableendconditions = 0;
    PlayGame();
    MODEM_Close();
    WriteSummary();
    g_GameState = GS_QUIT;
}

// ---- the bad node ----

// One datagram of garbage of a kind drawn at random: random bytes (their sum fails); a sound
// sum over a type no node knows; or, with a sound sum, the packet just sent
// cut short under a source that is no node, its tail random.
void Garbage(NetPacket* out, const NetPacket* sent)
{
    auto next = [] {
        s_junk ^= s_junk << 13;
        s_junk ^= s_junk >> 17;
        s_junk ^= s_junk << 5;
        return s_junk;
    };
    memset(out, 0, sizeof *out);
    for (uint8_t& b : out->raw) b = (uint8_t)next();
    // Drawn, not taken in turn: a rotation lines up with the node's own
    // sends, and the forged copies of its rounds came seldom.
    const uint32_t kind = next() % 3;
    if (kind == 0) {
        Net_SetLength(out, NET_HEADER_SIZE + next() % (NET_MAX_DATA + 1));
        if (next() % 2) Net_SetLength(out, next() % (NET_SLOT_SIZE + 1));
        return;
    }
    if (kind == 1) {
        Net_SetLength(out, NET_HEADER_SIZE + next() % (NET_MAX_DATA + 1));
        Net_SetType(out, 14 + next() % 200);
    } else {
        const uint32_t length = Net_Length(sent) > NET_HEADER_SIZE ? Net_Length(sent) : NET_HEADER_SIZE + 1;
        memcpy(out->raw, sent->raw, NET_HEADER_SIZE);
        Net_SetLength(out, NET_HEADER_SIZE + next() % (length - NET_HEADER_SIZE));
        Net_SetType(out, Net_Type(sent) & ~(uint32_t)NET_IS_ACK);
        Net_SetSource(out, (uint8_t)(NET_NODES + next() % (256 - NET_NODES)));
    }
    Net_StampCrc(out);
}

// A SESSION packet holding the session's block.
NetPacket SessionPacket(const NetSession& session)
{
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &session);
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, block, sizeof block, NET_SESSION);
    return p;
}

// The node after this one told, from this node's address, that the last
// node left: a SESSION no guest may take from a node that is not the
// creator. Three times: the faults may lose one.
void ForgeSession(void)
{
    Net_Lock();
    NetSession forged = g_NetSession;
    const int to = Net_RingNextNode(g_NetOwnNode), last = s_opt.nodes - 1;
    forged.players[last].flags &= ~NET_PLAYER_ACTIVE;
    if (forged.count) forged.count--;
    NetPacket p = SessionPacket(forged);
    const NetAddress address = g_NetSession.players[to].address;
    Net_Unlock();
    for (int i = 0; i < 3; i++) NetPkt_Send(&p, &address);
    TLOG(TLOG_NWARN, "netnode %s: forged SESSION sent to node %d: node %d left", s_self, to, last);
}

// A takeover of a creator that is not silent, from its successor's address,
// shaped as the successor's own takeover sends it: the SESSION of the round
// it waits for, the creator dropped, then the copies of the creator's rounds
// held (the round before and this one, empty where it has none). Sent
// reliably: the guest refuses it unacknowledged while the creator is heard
// from, and for good once the creator has sent two more rounds.
int ForgeTakeover(int nth)
{
    Net_Lock();
    const int to = Net_RingNextNode(g_NetOwnNode);
    if (g_NetOwnNode != 1 || g_NetSession.creator != 0 || !Net_IsNodeInSession(0) || to == 0 ||
        to == g_NetOwnNode) {
        Net_Unlock();
        TLOG(TLOG_NWARN, "netnode %s: no takeover forged (node %d, creator %d)", s_self, (int)g_NetOwnNode,
             (int)g_NetSession.creator);
        return 0;
    }
    NetRounds* r = &g_NetRounds;
    const uint32_t round = g_NetRound;
    NetSession forged = g_NetSession;
    forged.creator = g_NetOwnNode;
    forged.creator_address = g_NetOwnAddress;
    forged.players[0].flags &= ~NET_PLAYER_ACTIVE;
    if (forged.count) forged.count--;
    NetPacket session = SessionPacket(forged);
    Net_SetRound(&session, round);
    // The creator's rounds as a takeover copies them: its real packets where
    // this node holds them, else empty rounds.
    NetPacket copies[2];
    int count = 0;
    auto copy = [&](const NetPacket* from, uint32_t at) {
        NetPacket* out = &copies[count++];
        memset(out, 0, sizeof *out);
        if (from) *out = *from;
        else Net_BuildPacket(out, nullptr, 0, NET_ROUND);
        Net_SetType(out, NET_ROUND);
        Net_SetSource(out, 0);
        Net_SetRound(out, at);
        Net_SetId(out, 0);
    };
    if (r->lastround && r->lastround + 1 == round) copy(r->lasthave[0] ? &r->last[0] : nullptr, round - 1);
    copy(r->received[0] ? &r->slots[0] : nullptr, round);
    const NetAddress address = g_NetSession.players[to].address;
    Net_Unlock();
    NetPkt_SendReliable(&session, &address, nullptr, nullptr, nullptr);
    for (int i = 0; i < count; i++) NetPkt_SendReliable(&copies[i], &address, nullptr, nullptr, nullptr);
    const std::string of =
        s_opt.forgecopies > 1 ? " (copy " + std::to_string(nth) + " of " + std::to_string(s_opt.forgecopies) + ")" : "";
    TLOG(TLOG_NWARN, "netnode %s: forged takeover sent to node %d: node 1 the creator, node 0 dropped at round %u%s",
         s_self, to, (unsigned)round, of.c_str());
    return 1;
}

// Copies 2 to N of the forged takeover, one each 0.1 s of the clock: from the
// frame pump, not the update, so that a node waiting for a round sends them too.
int s_forgesSent;
uint32_t s_forgedAt;

void ForgeMoreTakeovers(void)
{
    if (s_forgesSent < 1 || s_forgesSent >= s_opt.forgecopies || Thread_ClockMs() - s_forgedAt < 100) return;
    s_forgedAt = Thread_ClockMs();
    s_forgesSent = ForgeTakeover(s_forgesSent + 1) ? s_forgesSent + 1 : s_opt.forgecopies;
}

// A goodbye from a guest that stays: a LEAVE to node 1 from this node's own
// address, sent reliably as a quitting guest sends its own to the creator's
// successor. Node 1 holds it for the creator's departure, when it must not
// drop a node that still plays.
void ForgeLeave(void)
{
    Net_Lock();
    if (g_NetOwnNode < 2 || g_NetOwnNode >= NET_NODES || !Net_IsNodeInSession(1)) {
        Net_Unlock();
        TLOG(TLOG_NWARN, "netnode %s: no LEAVE forged (node %d)", s_self, (int)g_NetOwnNode);
        return;
    }
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, nullptr, 0, NET_LEAVE);
    const NetAddress address = g_NetSession.players[1].address;
    const int own = g_NetOwnNode;
    Net_Unlock();
    NetPkt_SendReliable(&p, &address, nullptr, nullptr, nullptr);
    TLOG(TLOG_NWARN, "netnode %s: forged LEAVE sent to node 1 by node %d, which plays on", s_self, own);
}

int HostileInit(NetAddress* own) { return s_below->init(own); }
int HostileClose(void) { return s_below->close(); }
int HostileReceive(NetPacket* packet, NetAddress* from, uint32_t* time) { return s_below->receive(packet, from, time); }
uint32_t HostilePolled(void) { return s_below->polled ? s_below->polled() : Thread_ClockMs(); }
// Under the packet layer's send lock, as every send is.
int HostileSend(const NetPacket* packet, const NetAddress* to)
{
    const int sent = s_below->send(packet, to);
    if (s_hostile.load()) {
        NetPacket junk;
        Garbage(&junk, packet);
        s_below->send(&junk, to);
        s_garbage.fetch_add(1);
    }
    return sent;
}

// ---- the datagram trace ----

FILE* s_trace;
std::mutex s_traceLock;
const NetTransport* s_traceSocket; // the transport, under the fault layer
const NetTransport* s_traceFaults; // the fault layer

// One line: the machine's monotonic ms (the same clock in every process, so
// that the nodes' files line up), what happened (S sent, X a send refused, R
// taken from the socket, K kept past the faults, C kept but corrupted by them),
// the other end's process (its
// address's last byte less one), the type ("ACK" an acknowledgement; "*" one
// wanted), the packet's source node, round and id.
void TraceLine(char what, const NetPacket* p, const NetAddress* peer)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint32_t type = Net_Type(p);
    std::lock_guard<std::mutex> hold(s_traceLock);
    fprintf(s_trace, "%lld %c %d %s%s %u %u %u\n", (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000, what,
            (int)peer->bytes[3] - 1, type & NET_IS_ACK ? "ACK" : Net_PacketTypeName(type & 0xFF),
            type & NET_WANTS_ACK ? "*" : "", (unsigned)Net_Source(p), (unsigned)Net_Round(p), (unsigned)Net_Id(p));
}

int TraceInit(NetAddress* own) { return s_traceSocket->init(own); }
int TraceClose(void)
{
    const int closed = s_traceSocket->close();
    std::lock_guard<std::mutex> hold(s_traceLock);
    fflush(s_trace);
    return closed;
}
int TraceSocketReceive(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    const int got = s_traceSocket->receive(packet, from, time);
    if (got) TraceLine('R', packet, from);
    return got;
}
int TraceSend(const NetPacket* packet, const NetAddress* to)
{
    const int sent = s_traceSocket->send(packet, to);
    TraceLine(sent ? 'S' : 'X', packet, to);
    return sent;
}
uint32_t TracePolled(void) { return s_traceSocket->polled ? s_traceSocket->polled() : Thread_ClockMs(); }
uint32_t TraceFaultsPolled(void) { return s_traceFaults->polled ? s_traceFaults->polled() : Thread_ClockMs(); }
int TraceFaultsInit(NetAddress* own) { return s_traceFaults->init(own); }
int TraceFaultsClose(void) { return s_traceFaults->close(); }
int TraceFaultsSend(const NetPacket* packet, const NetAddress* to) { return s_traceFaults->send(packet, to); }
int TraceKept(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    const int got = s_traceFaults->receive(packet, from, time);
    if (!got) return got;
    // A datagram the faults corrupted is kept here but fails its sum above
    // (summed again here: the layer's own check logs its failures).
    NetPacket copy = *packet;
    Net_StampCrc(&copy);
    TraceLine(Net_Crc(&copy) == Net_Crc(packet) ? 'K' : 'C', packet, from);
    return got;
}

// The layers over a node's transport: the trace when asked for (at the
// socket and past the faults), the fault layer when asked for, and the bad
// node's.
const NetTransport* Layers(const NetTransport* base)
{
    static const NetTransport hostile = {HostileInit, HostileClose, HostileReceive, HostileSend, HostilePolled};
    static const NetTransport socket = {TraceInit, TraceClose, TraceSocketReceive, TraceSend, TracePolled};
    static const NetTransport kept = {TraceFaultsInit, TraceFaultsClose, TraceKept, TraceFaultsSend, TraceFaultsPolled};
    const char* trace = getenv("QUORVEX_NETTRACE");
    if (trace && strcmp(trace, "1") == 0 && s_opt.type == NET_TYPE_UDP) {
        if (!s_trace) s_trace = fopen("datagrams.txt", "w");
        if (!s_trace) Fail("datagrams.txt could not be written");
        // Line by line: a node killed or stopped keeps what it did.
        setvbuf(s_trace, nullptr, _IOLBF, 0);
        s_traceSocket = base;
        base = &socket;
    }
    const char* faults = getenv("QUORVEX_NETFAULTS");
    if (faults && *faults) {
        NetFaultConfig config;
        if (!NetFault_Parse(faults, &config)) Fail("QUORVEX_NETFAULTS is not <percent>,<kinds>,<seed>");
        config.seed ^= s_opt.seed * 7919 + (uint32_t)s_opt.node;
        base = NetFault_Wrap(base, config);
        if (s_trace) {
            s_traceFaults = base;
            base = &kept;
        }
    }
    if (s_opt.garbageat < 0) return base;
    s_below = base;
    return &hostile;
}

// The drop limits' frame step; the packet layer's longest resend time-out
// shrinks alike, so that a resend backed off at the game's start stands to
// the limits as it does in a real game (5 s to 32 s), not at 5 s to 8 s.
void SetFrameStep(void)
{
    QuorNet_SetFrameStep(s_opt.framems);
    if (s_opt.framems) NetPkt_SetLongestTimeout(NETPKT_LONGEST_TIMEOUT * s_opt.framems / QUORNET_FRAME_MS);
}

// ---- the game ----

// Seeded orders for the node's team: its units scatter, roam, stop or change
// temper; a team without units changes its defaults.
void GiveOrders(void)
{
    if (s_rand() % 40 != 0) return;
    UNITLIST sel;
    Units_ListInit(&sel);
    ITERATOR it;
    Iterate_UnitInit(&it, s_team, 0, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (s_rand() % 3 == 0) Units_ListAppend(&sel, nullptr, u->id);
    if (Units_ListEmpty(&sel)) {
        Orders_QTacticalAI(s_team, (int)(s_rand() % 4), (int)(s_rand() % 4), (int)(s_rand() % 4));
    } else {
        switch (s_rand() % 4) {
        case 0: Orders_QScatter(s_team, &sel); break;
        case 1: Orders_QAutoMoveOn(s_team, &sel, TACTAI_HIGH); break;
        case 2: Orders_QStop(s_team, &sel); break;
        default: Orders_QSetTenacity(s_team, &sel, (int)(s_rand() % 3)); break;
        }
    }
    Units_ListClose(&sel);
}

// Stopped until the runner resumes it (it finds the pid in "stopped.pid"),
// or, after ms > 0, a child does: a stopped process can't wake itself.
void Stall(long update, long ms)
{
    pid_t self = getpid();
    if (FILE* f = fopen("stopped.pid", "w")) {
        fprintf(f, "%d\n", (int)self);
        fclose(f);
    }
    TLOG(TLOG_NWARN, "netnode %s: stopped at update %ld for %s", s_self, update,
         ms > 0 ? (std::to_string(ms) + " ms").c_str() : "as long as the runner keeps it");
    const uint32_t start = Thread_ClockMs();
    if (ms > 0 && fork() == 0) {
        usleep((useconds_t)ms * 1000);
        kill(self, SIGCONT);
        _exit(0);
    }
    raise(SIGSTOP);
    TLOG(TLOG_NWARN, "netnode %s: resumed after %u ms", s_self, (unsigned)(Thread_ClockMs() - start));
}

void Faults(long update)
{
    if (update == s_opt.killat && (s_opt.killifnode < 0 || s_opt.killifnode == g_NetOwnNode)) {
        if (FILE* f = fopen("killed.txt", "w")) fclose(f);
        raise(SIGKILL);
    }
    if (update == s_opt.intat) raise(SIGINT);
    if (update == s_opt.stopat) Stall(update, s_opt.stopms);
    for (const auto& [at, ms] : s_opt.stops)
        if (update == at) Stall(update, ms);
}

void AfterUpdate(void)
{
    const long update = (long)g_UpdateCount;
    if (update <= s_opt.updates && s_digests) {
        fprintf(s_digests, "%ld %016llx\n", update, (unsigned long long)QvDigest_State());
        fflush(s_digests);
    }
    if (update == s_opt.updates)
        for (int n = 0; n < NET_NODES; n++) s_drops += g_NetRounds.droppedat[n] != 0;
    if (s_alone < 0 && !g_NetworkGame && !s_opt.playback) s_alone = update;
    static uint32_t last;
    const uint32_t now = Thread_ClockMs();
    if (update > 1 && update <= s_opt.updates && now - last > s_longestWait) {
        s_longestWait = now - last;
        s_longestWaitAt = update;
    }
    last = now;
    Faults(update);
    if (update == s_opt.saveat) Orders_QSaveGame();
    if (update == s_opt.garbageat) s_hostile.store(1);
    if (update == s_opt.forgeat) ForgeSession();
    if (update == s_opt.forgetakeoverat && ForgeTakeover(1)) {
        s_forgesSent = 1;
        s_forgedAt = Thread_ClockMs();
    }
    if (update == s_opt.forgeleaveat && g_NetOwnNode == s_opt.forgeleavenode) ForgeLeave();
    if (update >= s_opt.updates + 2 * (long)(UnitCycles ? UnitCycles : 1)) g_GameState = GS_QUIT;
    if (update < s_opt.updates) GiveOrders();
}

// One interval of game time a frame; a frame that waits for a round gives
// the processor away.
void Pump(void)
{
    if (g_GameState != GS_INGAME) return;
    // The end picture waits for a key, which the player gives.
    static int answered;
    if (!answered && Game_GetResult().winner >= 0) {
        answered = 1;
        Input_RawKey(SC_SPACE, 1, ' ');
        Input_RawKey(SC_SPACE, 0, 0);
    }
    // Past the bound the run has what it needs: a node still held there by
    // the others' departures (their goodbyes lost, say) leaves after 10 s.
    static int bound;
    static uint32_t boundat;
    if ((long)g_UpdateCount >= s_opt.updates) {
        if (!bound) {
            bound = 1;
            boundat = Thread_ClockMs();
        } else if (Thread_ClockMs() - boundat > 10000) {
            g_GameState = GS_QUIT;
        }
    }
    ForgeMoreTakeovers();
    PlatHeadless_Advance(g_NetworkGame ? (uint32_t)Game_NetInterval() : (uint32_t)Game_UpdateInterval(g_UpdatesPerSecond));
    if (g_NetworkGame && g_NetRounds.waiting) usleep(1000);
}

// State 1 under a page script: the menus as a person works them.
void ScriptedMenus(void)
{
    PageScript_RunMenus();
    if (g_GameState != GS_NEWGAME) {
        g_GameState = GS_QUIT;
        return;
    }
    // Launched: the game the staging page set up, played as the others play
    // it, its orders recorded and its set-up kept for a playback.
    Str_CopySafe(g_Config.orderrecord, "orders.rec", CFG_PATH);
    uint8_t block[1 + NET_SESSION_BYTES + NET_SETTINGS_BYTES];
    Net_Lock();
    block[0] = g_NetOwnNode;
    Net_WriteSession(block + 1, &g_NetSession);
    Net_WriteSettings(block + 1 + NET_SESSION_BYTES, &g_NetSettings);
    Net_Unlock();
    FILE* f = fopen("launch.bin", "wb");
    if (!f || fwrite(block, sizeof block, 1, f) != 1) Fail("launch.bin could not be written");
    fclose(f);
    s_team = g_LocalTeam;
    PlatHeadless_UseVirtualClock(1);
    g_Config.disableendconditions = 0;
    s_digests = fopen("digests.txt", "w");
    Game_SetUpdateHook(AfterUpdate);
    PlatHeadless_SetPumpHook(Pump);
}

// Back in the front end: the game ended (its picture answered) or was left.
void FrontEnd(void) { g_GameState = GS_QUIT; }

int Usage(void)
{
    fputs("usage: netnode --node I --nodes K --base B --updates N [--transport udp|ipx|serial|modem]\n"
          "               [--port PATH] [--seed S]\n"
          "               [--frame-ms M] [--kill-at U] [--int-at U] [--stop-at U --stop-ms M] [--stops U:M,...]\n"
          "               [--playback FILE --cycles C [--setup FILE]] [--menus SCRIPT]\n"
          "               [--save-at U] [--garbage-at U] [--forge-session-at U]\n"
          "               [--forge-takeover-at U [--forge-copies N]] [--forge-leave-at U --forge-leave-if-node K]\n"
          "               [--meet HOST:PORT --clients C]\n",
          stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        std::string k = argv[i];
        const char* v = argv[i + 1];
        if (k == "--node") s_opt.node = atoi(v);
        else if (k == "--nodes") s_opt.nodes = atoi(v);
        else if (k == "--base") s_opt.base = atoi(v);
        else if (k == "--updates") s_opt.updates = atoi(v);
        else if (k == "--transport")
        {
            s_opt.modem = strcmp(v, "modem") == 0;
            s_opt.type = strcmp(v, "ipx") == 0                            ? NET_TYPE_IPX
                         : strcmp(v, "serial") == 0 || s_opt.modem ? NET_TYPE_SERIAL
                                                                   : NET_TYPE_UDP;
        }
        else if (k == "--port") s_opt.port = v;
        else if (k == "--seed") s_opt.seed = (uint32_t)strtoul(v, nullptr, 10);
        else if (k == "--frame-ms") s_opt.framems = (uint32_t)strtoul(v, nullptr, 10);
        else if (k == "--kill-at") s_opt.killat = atol(v);
        else if (k == "--int-at") s_opt.intat = atol(v);
        else if (k == "--kill-if-node") s_opt.killifnode = atoi(v);
        else if (k == "--stop-at") s_opt.stopat = atol(v);
        else if (k == "--stop-ms") s_opt.stopms = atol(v);
        else if (k == "--playback") s_opt.playback = v;
        else if (k == "--cycles") s_opt.cycles = (uint32_t)strtoul(v, nullptr, 10);
        else if (k == "--meet") s_opt.meet = v;
        else if (k == "--clients") s_opt.clients = atoi(v);
        else if (k == "--menus") s_opt.menus = v;
        else if (k == "--setup") s_opt.setup = v;
        else if (k == "--save-at") s_opt.saveat = atol(v);
        else if (k == "--garbage-at") s_opt.garbageat = atol(v);
        else if (k == "--forge-session-at") s_opt.forgeat = atol(v);
        else if (k == "--forge-takeover-at") s_opt.forgetakeoverat = atol(v);
        else if (k == "--forge-copies") s_opt.forgecopies = atoi(v);
        else if (k == "--forge-leave-at") s_opt.forgeleaveat = atol(v);
        else if (k == "--forge-leave-if-node") s_opt.forgeleavenode = atoi(v);
        else if (k == "--stops") {
            for (const char* e = v; *e;) {
                char* end;
                const long at = strtol(e, &end, 10), ms = *end == ':' ? strtol(end + 1, &end, 10) : 0;
                if (at <= 0 || ms <= 0 || (*end && *end != ',')) return Usage();
                s_opt.stops.emplace_back(at, ms);
                e = *end ? end + 1 : end;
            }
        }
        else return Usage();
    }
    if (s_opt.forgecopies < 1 || (s_opt.forgeleaveat >= 0 && s_opt.forgeleavenode < 2)) return Usage();
    if (s_opt.node < 0 || s_opt.node >= NET_NODES || s_opt.nodes < 1 || s_opt.nodes > NET_NODES) return Usage();
    snprintf(s_self, sizeof s_self, "127.%d.0.%d", s_opt.base, s_opt.node + 1);
    s_rand.seed(s_opt.seed * 1000003u + (uint32_t)s_opt.node);
    s_junk = (s_opt.seed * 2654435761u + (uint32_t)s_opt.node * 40503u) | 1;
    setenv("QUORVEX_NETADDRESS", s_self, 1);
    setenv("QUORVEX_PLATFORM", "headless", 1);
    if (s_opt.menus) {
        const std::string prefix = "[node " + std::to_string(s_opt.node) + "] ";
        if (!PageScript_Load(s_opt.menus, prefix.c_str(), 100)) return 1;
        NetPkt_SetTransportLayer(Layers);
        SetFrameStep();
        Game_SetMultiMenuHook(ScriptedMenus);
        Game_SetFrontEndHook(FrontEnd);
        const int rc = Quorvex_Main();
        if (s_digests) {
            fclose(s_digests);
            WriteSummary();
        }
        // The save order's file with its addresses made positions: every
        // node's the same when they saved the same game.
        std::string saved;
        if (Fs_ReadAll("save/MULTI.SAV", &saved))
            if (FILE* f = fopen("save.canonical", "wb")) {
                const std::string canonical = QvSave_Canonical(saved);
                fwrite(canonical.data(), 1, canonical.size(), f);
                fclose(f);
            }
        return rc;
    }
    if (s_opt.meet && s_opt.node >= 2) {
        // A visitor: the meeting alone, no game.
        const char* e = NetNode_Meet(s_opt.meet, s_opt.node, s_opt.clients, &s_met);
        if (FILE* f = fopen("summary.txt", "w")) {
            fprintf(f, "visitor node %d\n  %s\n", s_opt.node, NetNode_MeetSummary());
            fclose(f);
        }
        return e ? 1 : 0;
    }
    s_digests = fopen(s_opt.playback ? "playback.txt" : "digests.txt", "w");
    if (!s_digests) return 1;
    Game_SetMultiMenuHook(MultiMenus);
    Game_SetFrontEndHook(FrontEnd);
    Game_SetUpdateHook(AfterUpdate);
    PlatHeadless_SetPumpHook(Pump);
    int rc = Quorvex_Main();
    fclose(s_digests);
    return rc;
}
