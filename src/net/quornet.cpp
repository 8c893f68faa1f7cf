#include "net/quornet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "net/netlog.h"
#include "net/prof.h"
#include "platform/thread.h"

NetRounds g_NetRounds;

static const QuorNetOrders* s_orders;
static int s_alone; // the packet thread found this node out of the game
// Out of the game with its last round held: the orders of that round run
// after the round's updates, as everywhere else, and only then does the
// node go on single-player.
static int s_leaving;
static uint32_t s_frameMs = QUORNET_FRAME_MS;
// A creator that has said goodbye (its LEAVE on the way to its successor)
// drops nobody, takes no LEAVE and answers no SEARCH: a drop of its after the
// LEAVE would reach the guests and not its successor, and an answer would
// keep a guest from its successor's takeover. A guest saying goodbye still
// takes the creator's LEAVE: the creator, which refused the guest's own LEAVE
// while departing, may count it as its successor yet.
static int s_departing;
// A departing guest that took the creator's role on its LEAVE hands it on at
// once with a LEAVE of its own to its successor (1 sent, acknowledged when
// s_handedon): its game runs no more, and its guests would take the role
// only at the takeover limit. Lives until the layer is closed.
static int s_handingon;
static uint8_t s_handedon;
static uint32_t s_creatorround; // the round of the SESSION that named the creator here
// The copies of a dropped node's rounds this node took or made: [0] the
// round before the drop, [1] the drop round (bits 1 and 2 of have). A new
// creator learns them from the guests, and a guest may have run them.
static NetPacket s_dropcopy[NET_NODES][2];
static uint8_t s_dropcopyhave[NET_NODES];
// The last drop's copies as sent, acknowledged per node: a departing creator
// sends its LEAVE once they and its SESSION are in.
static uint8_t s_copydelivered[2][NET_NODES];
// What a new creator learns from each live guest before a round of its
// completes: the guest's last drop by the predecessor (its round and nodes)
// and the copies of it the guest took, so that every node holds the same
// drop rounds and copies whichever of the predecessor's datagrams reached it.
static struct {
    int awaiting;
    int predecessor;             // the creator whose role this node took
    uint8_t due[NET_NODES];      // a guest whose report is to come
    uint8_t reported[NET_NODES];
    uint32_t round[NET_NODES];   // the drop round it reported
    uint8_t dropped[NET_NODES];  // the nodes it dropped at that round (bits)
    uint8_t before[NET_NODES];   // those whose copy of the round before it took
    uint8_t at[NET_NODES];       // those whose copy of the drop round it took
    NetPacket copy[NET_NODES][NET_NODES][2]; // [guest][node][round & 1]
    uint8_t have[NET_NODES][NET_NODES];      // bits by round & 1
} s_reports;
enum { QUORNET_REPORT_BYTES = 3 };
// The predecessor's recent drops a new creator holds, shown as still in
// the game in its SESSIONs until it announces each at its own round: a
// SESSION's round is the drop round of every node it newly drops on a
// guest, and a guest that missed one of them would drop it at another.
static uint8_t s_announce[NET_NODES];
// The guests whose LEAVE this node, the creator's successor, kept (bits):
// dropped right after the creator when it takes the role, no report
// awaited of them. Kept for that handover only: a node whose own round two
// past the one this node was in when it took the LEAVE comes here had not
// left (it could not send it), and its LEAVE is let go.
static uint8_t s_leavekept;
static uint32_t s_leavekeptround[NET_NODES];
// The nodes whose goodbye word came here from their own address (bits), and
// this node's own word as sent: to whom, and who acknowledged it.
static uint8_t s_goneword;
static uint8_t s_goodbyeto;
static uint8_t s_goodbyeacked[NET_NODES];
static const uint8_t kGoodbye[] = {'G', 'O', 'N', 'E'};

void QuorNet_SetFrameStep(uint32_t ms) { s_frameMs = ms ? ms : (uint32_t)QUORNET_FRAME_MS; }

void QuorNet_SetOrders(const QuorNetOrders* orders) { s_orders = orders; }

static void Show(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void Show(const char* fmt, ...)
{
    char text[160];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    TLOG(TLOG_NDIAG, "%s", text);
    if (s_orders && s_orders->show) s_orders->show(text);
}

static void ResetStat(QuorNetStat* s, double min, double max)
{
    s->count = s->sum = s->sumsq = 0;
    s->min = min;
    s->max = max;
}

static void AddSample(QuorNetStat* s, double v)
{
    s->count++;
    s->sum += v;
    s->sumsq += v * v;
    if (v < s->min) s->min = v;
    if (v > s->max) s->max = v;
}

// ---- start and stop ----

static int NodeAt(const NetAddress* from);
static void Reading(uint32_t upto);

// The packet layer heard from an address: a node's silence ends, whatever
// the datagram (a round, an acknowledgement, an answer). On the serial line
// everything comes from the one other end.
static void Heard(const NetAddress* from)
{
    NetRounds* r = &g_NetRounds;
    if (g_NetType == NET_TYPE_SERIAL) {
        for (int n = 0; n < NET_NODES; n++)
            if (n != g_NetOwnNode) r->heard[n] = r->clock;
        return;
    }
    const int n = NodeAt(from);
    if (n < NET_NODES) {
        r->heard[n] = r->clock;
        r->heardcount[n]++;
    }
}

int Net_InitGame(void)
{
    Net_Lock();
    NetRounds* r = &g_NetRounds;
    THREAD_EVENT* event = r->event;
    memset(r, 0, sizeof *r);
    r->event = event ? event : Event_Create();
    ResetStat(&r->comm, 999999, -999999);
    ResetStat(&r->engine, 9999999, -9999999);
    g_NetState = NET_IN_GAME;
    g_NetSessionChanged = 0;
    s_alone = 0;
    s_leaving = 0;
    s_departing = 0;
    s_handingon = 0;
    s_handedon = 0;
    s_creatorround = 0;
    memset(s_dropcopyhave, 0, sizeof s_dropcopyhave);
    memset(s_copydelivered, 1, sizeof s_copydelivered);
    s_reports.awaiting = 0;
    memset(s_announce, 0, sizeof s_announce);
    s_leavekept = 0;
    s_goneword = 0;
    s_goodbyeto = 0;
    g_NetRound = 1;
    for (int n = 0; n < NET_NODES; n++) r->ingame[n] = (uint8_t)Net_IsNodeInSession(n);
    // Both under the lock that a packet's pass holds: a ROUND that met the
    // game's filter between the two (acknowledged) and then the lobby's
    // handler was lost for good, and the round waited on it.
    NetPkt_SetAcceptFilter(Net_FilterRoundPacket);
    NetPkt_SetReceiveHandler(Net_GameReceive);
    NetPkt_SetHeardHandler(Heard);
    r->readat = Thread_ClockMs();
    NetPkt_SetReadHandler(Reading);
    Net_Unlock();
    TLOG(TLOG_NWARN, "Networking Initialised: Round %d", (int)g_NetRound);
    return 1;
}

int Net_CloseGame(void)
{
    Net_Lock();
    NetPkt_SetReceiveHandler(nullptr);
    NetPkt_SetAcceptFilter(nullptr);
    NetPkt_SetHeardHandler(nullptr);
    NetPkt_SetReadHandler(nullptr);
    if (g_NetRounds.clock || g_NetRounds.cut)
        TLOG(TLOG_NWARN, "Network clock: %u frames counted while waiting, %u cut (spans without reading)",
             (unsigned)g_NetRounds.clock, (unsigned)g_NetRounds.cut);
    const uint32_t* h = g_NetRounds.heardcount;
    TLOG(TLOG_NWARN, "Datagrams read from each node: %u %u %u %u %u %u %u %u", (unsigned)h[0], (unsigned)h[1],
         (unsigned)h[2], (unsigned)h[3], (unsigned)h[4], (unsigned)h[5], (unsigned)h[6], (unsigned)h[7]);
    if (g_NetRounds.event) Event_Destroy(g_NetRounds.event);
    g_NetRounds.event = nullptr;
    g_NetState = NET_IDLE;
    Net_Unlock();
    return 1;
}

void QuorNet_Depart(void)
{
    Net_Lock();
    s_departing = 1;
    Net_Unlock();
}

int QuorNet_HandedOn(void) { return s_handingon ? 1 + s_handedon : 0; }

int QuorNet_DropsSettled(void)
{
    const NetRounds* r = &g_NetRounds;
    int settled = 1;
    Net_Lock();
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_IsNodeInSession(n) &&
            (r->sessionacked[n] != r->sessionsent || !s_copydelivered[0][n] || !s_copydelivered[1][n]))
            settled = 0;
    Net_Unlock();
    return settled;
}

uint32_t QuorNet_ReportCycles(void)
{
    if (g_NetworkGame) TLOG(TLOG_DIAG, "NETWORK running at %d UnitCycles per round", (int)UnitCycles);
    return UnitCycles;
}

// ---- packing ----

uint32_t QuorNet_PackOrders(uint8_t* buffer, uint32_t size)
{
    if (!s_orders) return 0;
    // Each entry is counted one byte longer than it is written.
    uint32_t left = size, written = 0;
    uint8_t code, length;
    while (s_orders->peek(&code, &length)) {
        uint32_t room;
        if (code != 1) {
            if (left <= (uint32_t)length + 4) break;
            room = (uint32_t)length + 3;
        } else {
            if (left < 8) break;
            uint32_t ids = (left - 4) / 4;
            if (ids > 255) ids = 255;
            room = 3 + 4 * ids;
        }
        int whole = 0;
        uint32_t n = s_orders->packhead(buffer + written, room, &whole);
        if (n == 0) break;
        written += n;
        left -= n + 1;
        // A selection that went only in part stays at the head for the next round.
        if (!whole) break;
    }
    return written;
}

int QuorNet_UnpackOrders(int node, uint32_t round, const uint8_t* data, uint32_t length)
{
    if (!s_orders) return 0;
    int queued = 0;
    uint32_t at = 0;
    while (at < length) {
        void* order = nullptr;
        int team = -1;
        char err[120] = "";
        uint32_t used = s_orders->unpack(data + at, length - at, &order, &team, err, sizeof err);
        if (used == 0 || used > length - at) {
            TLOG(TLOG_NERR, "Order from node %d in round %u at offset %u refused: %s", node, (unsigned)round,
                 (unsigned)at, err);
            if (order) s_orders->discard(order);
            break;
        }
        if (team != Net_GetNodeTeam(node)) {
            TLOG(TLOG_NERR, "Order from node %d in round %u at offset %u refused: team %d is not the node's %d",
                 node, (unsigned)round, (unsigned)at, team, Net_GetNodeTeam(node));
            s_orders->discard(order);
        } else {
            s_orders->queue(order);
            queued++;
        }
        at += used;
    }
    return queued;
}

void QuorNet_SendOrdersNow(void)
{
    uint8_t data[NET_ROUND_DATA];
    uint32_t n = QuorNet_PackOrders(data, sizeof data);
    TLOG(TLOG_NDIAG, "Packed orders is %d in size", (int)n);
    memset(&g_NetRounds.own, 0, sizeof g_NetRounds.own);
    Net_BuildPacket(&g_NetRounds.own, data, n, NET_ROUND);
    if (g_NetOwnNode < NET_NODES) g_NetRounds.slots[g_NetOwnNode] = g_NetRounds.own;
}

void QuorNet_ApplyAllOrders(void)
{
    NetRounds* r = &g_NetRounds;
    if (!r->lastround) return;
    for (int n = 0; n < NET_NODES; n++) {
        if (!r->lasthave[n]) continue;
        uint32_t length = Net_Length(&r->last[n]);
        length = length < NET_HEADER_SIZE ? 0 : length - NET_HEADER_SIZE;
        if (length > NET_ROUND_DATA) length = NET_ROUND_DATA;
        QuorNet_UnpackOrders(n, r->lastround, Net_Data(&r->last[n]), length);
    }
    memset(r->lasthave, 0, sizeof r->lasthave);
    memset(r->lastcopied, 0, sizeof r->lastcopied);
    r->executed = r->lastround;
    r->lastround = 0;
    for (int n = 0; n < NET_NODES; n++)
        if (r->droppedat[n] && r->droppedat[n] <= r->executed) r->ingame[n] = 0;
}

// ---- rounds ----

// Whether a dropped node still has a part in a round: up to its drop round.
static int DroppedIn(int node, uint32_t round)
{
    return g_NetRounds.droppedat[node] && round <= g_NetRounds.droppedat[node];
}

void Net_StartRound(void)
{
    NetRounds* r = &g_NetRounds;
    r->prevstart = r->start;
    r->start = Thread_ClockMs();
    r->ownbefore = r->own;
    memset(r->delivered, 0, sizeof r->delivered);
    uint32_t round = g_NetRound + 1;
    for (int n = 0; n < NET_NODES; n++) {
        r->received[n] = 0;
        r->copied[n] = 0;
        if (r->nextreceived[n] && (!r->droppedat[n] || (r->nextcopied[n] && DroppedIn(n, round)))) {
            r->slots[n] = r->next[n];
            r->received[n] = 1;
            r->copied[n] = r->nextcopied[n];
        }
        r->nextreceived[n] = 0;
        r->nextcopied[n] = 0;
    }
    if (g_NetOwnNode < NET_NODES) {
        r->received[g_NetOwnNode] = 1;
        r->delivered[g_NetOwnNode] = 1;
    }
    g_NetRound = round;
    TLOG(TLOG_NWARN, "Starting Round %d", (int)g_NetRound);
}

// Whether a node has yet to acknowledge the last drop SESSION we sent.
static int SessionPending(int node)
{
    const NetRounds* r = &g_NetRounds;
    return g_NetCreator && r->sessionacked[node] != r->sessionsent;
}

// Whether a node's re-ask period is over: from our last question to it, or
// from our round's send, which goes to each node a share of the period
// later than to the one before it, so that the questions are spread.
static int ReaskDue(int node)
{
    const NetRounds* r = &g_NetRounds;
    return (int32_t)(r->clock - r->askedat[node]) >= QUORNET_FRAMES_REASK;
}

static void SendOwnRound(int node)
{
    NetRounds* r = &g_NetRounds;
    const int share = (node - g_NetOwnNode + NET_NODES) % NET_NODES;
    r->askedat[node] = r->clock + (uint32_t)(share * QUORNET_FRAMES_REASK / NET_NODES);
    NetPkt_SendReliable(&r->own, &g_NetSession.players[node].address, &r->delivered[node], &r->resends[node],
                        Net_TestRoundComplete);
}

// The creator's round after a drop reaches a guest only once the guest has
// the SESSION that tells of it: the datagrams may come in any order, and a
// guest that had our round first would complete it with the dropped node's
// real packet, which we left out. Its handler runs before the next packet's,
// so an acknowledged SESSION is a known one.
void Net_SendRound(void)
{
    NetRounds* r = &g_NetRounds;
    Net_Lock();
    for (int n = 0; n < NET_NODES; n++) {
        r->roundheld[n] = 0;
        if (n == g_NetOwnNode || !Net_IsNodeInSession(n)) continue;
        if (SessionPending(n)) {
            r->delivered[n] = 0;
            r->resends[n] = 0;
            r->roundheld[n] = 1;
            continue;
        }
        SendOwnRound(n);
    }
    Net_Unlock();
}

static void SendDropSessionTo(int node, int generation);

// The acknowledgement of drop SESSION number G by node N (the packet thread,
// under the lock). A node has one in flight at a time, so that it takes
// them in order: a SESSION's round is the drop round of the nodes it newly
// drops there, and one taken before an earlier one would date that one's
// drops at its own round (the earlier one then ignored as stale). The next
// goes out on this acknowledgement; our round once the last is in.
static void SessionAcked(int node, int generation)
{
    NetRounds* r = &g_NetRounds;
    if ((uint8_t)generation != (r->sessionacked[node] + 1) % NET_NODES) return;
    r->sessionacked[node] = (uint8_t)generation;
    if (!Net_IsNodeInSession(node)) return;
    if (r->sessionacked[node] != r->sessionsent) {
        SendDropSessionTo(node, (generation + 1) % NET_NODES);
    } else if (r->roundheld[node]) {
        r->roundheld[node] = 0;
        SendOwnRound(node);
    }
}

template <int N, int G>
static void SessionAckedBy(void)
{
    SessionAcked(N, G);
}

template <int N, int... G>
static constexpr std::array<void (*)(void), sizeof...(G)> AckRow(std::integer_sequence<int, G...>)
{
    return {SessionAckedBy<N, G>...};
}

template <int... N>
static constexpr std::array<std::array<void (*)(void), NET_NODES>, NET_NODES> AckTable(std::integer_sequence<int, N...>)
{
    return {AckRow<N>(std::make_integer_sequence<int, NET_NODES>())...};
}

// A node is dropped once, so a game sends fewer drop SESSIONs than there are
// nodes: the number of each tells its acknowledgement from an older one's.
static constexpr auto kSessionAcks = AckTable(std::make_integer_sequence<int, NET_NODES>());

static int ReportsIn(void);
static int KeepsLeave(int source, const NetAddress* from);
static void SettleReports(void);
static int ReportCopy(const NetPacket* packet, const NetAddress* from);
static void SendReport(uint32_t round, uint8_t dropped);

static int RoundComplete(void)
{
    const NetRounds* r = &g_NetRounds;
    // A new creator completes nothing before it knows its predecessor's
    // last drop as every guest took it.
    if (s_reports.awaiting) return 0;
    for (int n = 0; n < NET_NODES; n++) {
        if (n == g_NetOwnNode) continue;
        if (Net_IsNodeInSession(n) && !(r->received[n] && r->delivered[n])) return 0;
        if (!Net_IsNodeInSession(n) && DroppedIn(n, g_NetRound) && !r->copied[n]) return 0;
        // The held round of a drop may hold the real packet where the
        // creator had none: it waits for the creator's copy.
        if (r->lastround && r->lastround == r->droppedat[n] && !r->lastcopied[n]) return 0;
    }
    return 1;
}

void Net_TestRoundComplete(void)
{
    NetRounds* r = &g_NetRounds;
    TLOG(TLOG_NDIAG, "Testing for round completion");
    if (s_reports.awaiting && ReportsIn()) SettleReports();
    if (!r->event || !RoundComplete()) return;
    if (g_NetRound > 20) {
        uint32_t now = Thread_ClockMs();
        AddSample(&r->comm, (double)(now - r->start));
        AddSample(&r->engine, (double)(r->start - r->prevstart));
    }
    Event_Set(r->event);
    const uint8_t* a = r->delivered;
    const uint8_t* v = r->received;
    const uint32_t* t = r->resends;
    int act[NET_NODES];
    for (int n = 0; n < NET_NODES; n++) act[n] = Net_IsNodeInSession(n);
    TLOG(TLOG_NDIAG, "Round %d Completed", (int)g_NetRound);
    TLOG(TLOG_NDIAG,
         "%05d A:%d%d%d%d%d%d%d%d R:%d%d%d%d%d%d%d%d T:%02d:%02d:%02d:%02d:%02d:%02d:%02d:%02d "
         "V:%d%d%d%d%d%d%d%d",
         (int)g_NetRound, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], v[0], v[1], v[2], v[3], v[4],
         v[5], v[6], v[7], (int)t[0], (int)t[1], (int)t[2], (int)t[3], (int)t[4], (int)t[5], (int)t[6],
         (int)t[7], act[0], act[1], act[2], act[3], act[4], act[5], act[6], act[7]);
}

// The node whose address this is, among those that were in the game.
static int NodeAt(const NetAddress* from)
{
    for (int n = 0; n < NET_NODES; n++)
        if ((Net_IsNodeInSession(n) || g_NetRounds.droppedat[n]) &&
            NetPkt_SameAddress(from, &g_NetSession.players[n].address))
            return n;
    return NET_NO_NODE;
}

// Whether a ROUND may come from this address at all: its own node's, or
// another node's round copied by the creator (only a dropped node's is
// taken, once the session says so). No node has a number of 8 or more.
static int RoundSourceValid(const NetPacket* packet, const NetAddress* from)
{
    if (Net_Source(packet) >= NET_NODES) return 0;
    return Net_SourceTrusted(packet, from) || g_NetType == NET_TYPE_SERIAL || Net_FromCreator(from);
}

// Nothing is acknowledged that the game will not take from its address:
// the acknowledgement marks the id delivered, and the real packet sent under
// that id would then be dropped as a duplicate, never to come again.
int Net_FilterRoundPacket(NetPacket* packet, const NetAddress* from, uint32_t)
{
    int node = NodeAt(from);
    // A dropped node gets no acknowledgement: the creator answers it with the session.
    if (node < NET_NODES && g_NetRounds.droppedat[node] && g_NetType != NET_TYPE_SERIAL) return 0;
    const uint32_t type = Net_Type(packet) & 0xFF;
    if (type == NET_SESSION && !g_NetCreator && !Net_TakesSession(packet, from)) return 0;
    if (type == NET_LEAVE && ((s_departing && g_NetCreator) ||
                              !(Net_LeaveTaken(Net_Source(packet), from) || KeepsLeave(Net_Source(packet), from))))
        return 0;
    if (type == NET_ROUND && ReportCopy(packet, from)) return 1;
    if (type != NET_ROUND) return Net_SourceTrusted(packet, from);
    if (!RoundSourceValid(packet, from)) return 0;
    // Another node's packet from the creator's address is a copy of a dropped
    // node's: kept unacknowledged until the session saying so has come.
    int source = Net_Source(packet);
    if (g_NetType != NET_TYPE_SERIAL && !g_NetRounds.droppedat[source] &&
        !NetPkt_SameAddress(from, &g_NetSession.players[source].address))
        return 0;
    uint32_t theirs = Net_Round(packet);
    TLOG(TLOG_NDIAG, "Filtering Round Packet : My round %d : Their Round %d", (int)g_NetRound, (int)theirs);
    if (theirs > g_NetRound + 1) {
        TLOG(TLOG_NERR, "Recevied packet from a distant future round [me %d (%d): them %d (%d)]",
             (int)g_NetRound, g_NetOwnNode, (int)theirs, Net_Source(packet));
        return 0;
    }
    TLOG(TLOG_NDIAG, "Acknowledging round %d : My Round %d", (int)theirs, (int)g_NetRound);
    return 1;
}

// A ROUND packet with a round and data length of its own, sent as node's.
static void CopyPacket(NetPacket* out, const NetPacket* from, int node, uint32_t round)
{
    memset(out, 0, sizeof *out);
    if (from) *out = *from;
    else Net_BuildPacket(out, nullptr, 0, NET_ROUND);
    Net_SetType(out, NET_ROUND);
    Net_SetSource(out, (uint8_t)node);
    Net_SetRound(out, round);
    Net_SetId(out, 0);
}

// The session, with the current round, to one address.
static void SendSession(const NetAddress* to, int reliable)
{
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &g_NetSession);
    NetPacket p;
    memset(&p, 0, sizeof p);
    if (!Net_BuildPacket(&p, block, sizeof block, NET_SESSION)) return;
    if (reliable) NetPkt_SendReliable(&p, to, nullptr, nullptr, nullptr);
    else NetPkt_Send(&p, to);
}

// Keeps a copy of a dropped node's round taken or made here: the drop round
// or the one before it.
static void KeepCopy(int node, const NetPacket* copy)
{
    const uint32_t drop = g_NetRounds.droppedat[node], round = Net_Round(copy);
    if (!drop || (round != drop && round + 1 != drop)) return;
    const int i = round == drop;
    s_dropcopy[node][i] = *copy;
    s_dropcopyhave[node] |= (uint8_t)(1 << i);
}

// The drop SESSIONs as sent, by number: a node that has not acknowledged
// the one before gets each in its turn.
static NetPacket s_dropsession[NET_NODES];

static void SendDropSessionTo(int node, int generation)
{
    NetPkt_SendReliable(&s_dropsession[generation], &g_NetSession.players[node].address, nullptr, nullptr,
                        kSessionAcks[node][generation]);
}

// The drop SESSION, carrying the drop round, to every other active node
// that has the ones before it (the others get it in turn); their
// acknowledgements release this node's rounds to them.
static void SendDropSession(uint32_t round)
{
    NetRounds* r = &g_NetRounds;
    const uint8_t before = r->sessionsent;
    r->sessionsent = (uint8_t)((r->sessionsent + 1) % NET_NODES);
    // Only the drops up to the round show; later ones and those still to be
    // announced show as in the game (a guest brings back no node it dropped).
    NetSession s = g_NetSession;
    for (int n = 0; n < NET_NODES; n++)
        if (!Net_IsNodeInSession(n) && r->droppedat[n] && (r->droppedat[n] > round || s_announce[n])) {
            s.players[n].flags |= NET_PLAYER_ACTIVE;
            s.count++;
        }
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &s);
    NetPacket session;
    memset(&session, 0, sizeof session);
    if (!Net_BuildPacket(&session, block, sizeof block, NET_SESSION)) return;
    Net_SetRound(&session, round);
    s_dropsession[r->sessionsent] = session;
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_IsNodeInSession(n) && r->sessionacked[n] == before)
            SendDropSessionTo(n, r->sessionsent);
}

template <int I, int N>
static void CopyAckedBy(void)
{
    s_copydelivered[I][N] = 1;
}

template <int I, int... N>
static constexpr std::array<void (*)(void), NET_NODES> CopyAckRow(std::integer_sequence<int, N...>)
{
    return {CopyAckedBy<I, N>...};
}

// Counted by callback, not by a delivered flag: the packet layer purges the
// packets with flags at every round start, and a copy must reach a guest that
// refuses it until it takes the new creator's takeover.
static constexpr std::array<std::array<void (*)(void), NET_NODES>, 2> kCopyAcks = {
    CopyAckRow<0>(std::make_integer_sequence<int, NET_NODES>()),
    CopyAckRow<1>(std::make_integer_sequence<int, NET_NODES>())};

// The kept copies of a dropped node's rounds to every other active node,
// their acknowledgements counted.
static void SendCopies(int node)
{
    for (int i = 0; i < 2; i++) {
        memset(s_copydelivered[i], 1, sizeof s_copydelivered[i]);
        if (!(s_dropcopyhave[node] & (1 << i))) continue;
        for (int n = 0; n < NET_NODES; n++) {
            if (n == g_NetOwnNode || !Net_IsNodeInSession(n)) continue;
            s_copydelivered[i][n] = 0;
            NetPkt_SendReliable(&s_dropcopy[node][i], &g_NetSession.players[n].address, nullptr, nullptr,
                                kCopyAcks[i][n]);
        }
    }
}

// The creator's drop of nodes while it waits for the current round R: one
// session carries R (a chain takeover's creator and the nodes between go in
// one, the takeover the guests take: one at a time, a first showing the
// nodes between in would be refused, and hold back the rest); the copies of
// R - 1 and R go right after it. The dropped node gets the session too:
// alive but held, it may have nothing to send us that would be answered
// with it, and would wait for ever.
static void DropNodes(uint8_t nodes)
{
    NetRounds* r = &g_NetRounds;
    uint32_t round = g_NetRound;
    for (int node = 0; node < NET_NODES; node++) {
        if (!(nodes & (1 << node))) continue;
        g_NetSession.players[node].flags &= ~NET_PLAYER_ACTIVE;
        if (g_NetSession.count) g_NetSession.count--;
        r->droppedat[node] = round;
        s_dropcopyhave[node] = 0;
        s_announce[node] = 0;
    }
    g_NetSessionChanged = 1;
    SendDropSession(round);
    for (int node = 0; node < NET_NODES; node++) {
        if (!(nodes & (1 << node))) continue;
        SendSession(&g_NetSession.players[node].address, 1);
        NetPacket copy;
        if (r->lastround && r->lastround + 1 == round) {
            CopyPacket(&copy, r->lasthave[node] ? &r->last[node] : nullptr, node, round - 1);
            r->last[node] = copy;
            r->lasthave[node] = 1;
            r->lastcopied[node] = 1;
            KeepCopy(node, &copy);
        }
        CopyPacket(&copy, r->received[node] ? &r->slots[node] : nullptr, node, round);
        r->slots[node] = copy;
        r->received[node] = 1;
        r->copied[node] = 1;
        r->nextreceived[node] = 0;
        if (r->lastround == round) { // completed here already, held
            r->last[node] = copy;
            r->lasthave[node] = 1;
            r->lastcopied[node] = 1;
        }
        KeepCopy(node, &copy);
        // A new creator's copies go with its settling of the drops, once
        // every guest reported: sent now, they would let a guest that ran
        // the round before with the dropped node's real packet run it before
        // the drop moved back there (as the reports may have it), and
        // others would run it with the copy. Nothing completes before then.
        if (!s_reports.awaiting) SendCopies(node);
    }
    Net_TestRoundComplete();
}

static void Drop(int node) { DropNodes((uint8_t)(1 << node)); }

// A guest's report to a new creator: its last drop by the predecessor (the
// round, the nodes) and which of its copies it took, those copies after it.
static void SendReport(uint32_t round, uint8_t dropped)
{
    const NetAddress* to = &g_NetSession.creator_address;
    uint8_t report[QUORNET_REPORT_BYTES] = {0, 0, 0};
    for (int n = 0; n < NET_NODES; n++) {
        if (!(dropped & (1 << n))) continue;
        report[0] |= (uint8_t)(1 << n);
        if (s_dropcopyhave[n] & 1) report[1] |= (uint8_t)(1 << n);
        if (s_dropcopyhave[n] & 2) report[2] |= (uint8_t)(1 << n);
    }
    NetPacket p;
    memset(&p, 0, sizeof p);
    if (!Net_BuildPacket(&p, report, sizeof report, NET_SESSION)) return;
    Net_SetRound(&p, round);
    if (report[0])
        TLOG(TLOG_NWARN, "The new creator told of the drop at round %u: nodes %02x, copies %02x %02x",
             (unsigned)round, report[0], report[1], report[2]);
    NetPkt_SendReliable(&p, to, nullptr, nullptr, nullptr);
    for (int n = 0; n < NET_NODES; n++)
        for (int i = 0; i < 2; i++)
            if (report[1 + i] & (1 << n)) NetPkt_SendReliable(&s_dropcopy[n][i], to, nullptr, nullptr, nullptr);
}

// Moves a node's drop to an earlier round not yet run here: a takeover
// dropped it at its own round where the creator before had dropped it
// earlier. The node leaves the rounds after that one it holds here; with
// fresh 1 the copies of that round and the one before are to come or be
// made again (this node's own, from the later drop, give way). 1 when moved.
static int MoveDrop(int node, uint32_t round, int fresh)
{
    NetRounds* r = &g_NetRounds;
    const uint32_t later = r->droppedat[node];
    if (!later || round >= later || r->executed >= round) return 0;
    TLOG(TLOG_NWARN, "The drop of node %d moved from round %u to round %u", node, (unsigned)later, (unsigned)round);
    r->droppedat[node] = round;
    if (r->lastround > round) r->lasthave[node] = r->lastcopied[node] = 0;
    else if (fresh && r->lastround + 1 >= round) r->lastcopied[node] = 0;
    if (g_NetRound > round) r->received[node] = r->copied[node] = 0;
    else if (fresh && g_NetRound + 1 >= round) r->copied[node] = 0;
    if (g_NetRound >= round) r->nextreceived[node] = r->nextcopied[node] = 0;
    else if (fresh) r->nextcopied[node] = 0;
    // The copies kept for a report: those of the new drop round held.
    s_dropcopyhave[node] = 0;
    if (r->lastcopied[node]) KeepCopy(node, &r->last[node]);
    if (r->copied[node]) KeepCopy(node, &r->slots[node]);
    if (r->nextcopied[node]) KeepCopy(node, &r->next[node]);
    return 1;
}

// A guest learns of drops from the session: nodes that left it are in no
// round after the SESSION's, and their real packets of that round and the
// one before give way to the creator's copies.
static void ReceiveGameSession(const NetPacket* packet)
{
    uint8_t data[NET_SESSION_BYTES];
    NetRounds* r = &g_NetRounds;
    uint32_t round = Net_Round(packet);
    if (!Net_UnpackPacket(packet, data, sizeof data)) return;
    NetSession s;
    Net_ReadSession(data, &s);
    // A lobby's SESSION (round 0) resent until the game took it, or one
    // older than the last taken, would bring back nodes since dropped. The
    // one exception: a new creator completing its predecessor's drop, which
    // is older than the SESSION that made it the creator here (it brings
    // back none: a dropped node stays out below).
    const int completion = s.creator == g_NetSession.creator && round < s_creatorround;
    if (round == 0 || (round < r->sessionround && !completion)) {
        TLOG(TLOG_NWARN, "Stale SESSION of round %u ignored", (unsigned)round);
        return;
    }
    if (round > r->sessionround) r->sessionround = round;
    // The predecessor's last drop as this node took it, for a new creator.
    uint32_t last = 0;
    uint8_t lastdropped = 0;
    for (int n = 0; n < NET_NODES; n++)
        if (r->droppedat[n] > last) last = r->droppedat[n];
    for (int n = 0; last && n < NET_NODES; n++)
        if (r->droppedat[n] == last) lastdropped |= (uint8_t)(1 << n);
    // A completion of the predecessor's drop that this node took only at the
    // takeover's later round (it missed the predecessor's own takeover): the
    // drop goes back to the predecessor's round, as the new creator holds it.
    for (int n = 0; completion && n < NET_NODES; n++)
        if (r->droppedat[n] == s_creatorround && !(s.players[n].flags & NET_PLAYER_ACTIVE)) MoveDrop(n, round, 0);
    NetSession old = g_NetSession;
    g_NetSession = s;
    for (int n = 0; n < NET_NODES; n++)
        if (r->droppedat[n]) g_NetSession.players[n].flags &= ~NET_PLAYER_ACTIVE;
    for (int n = 0; n < NET_NODES; n++) {
        if (!(old.players[n].flags & NET_PLAYER_ACTIVE) || Net_IsNodeInSession(n) || r->droppedat[n]) continue;
        r->droppedat[n] = round;
        s_dropcopyhave[n] = 0;
        if (!r->copied[n]) r->received[n] = 0;
        if (!r->nextcopied[n]) r->nextreceived[n] = 0;
        // Out of a later round this node holds (a drop completed late).
        if (r->lastround > round) r->lasthave[n] = 0;
    }
    g_NetSessionChanged = 1;
    Net_FindOwnNode();
    if (g_NetSession.creator != old.creator) s_creatorround = round;
    if (!Net_IsNodeInSession(g_NetOwnNode)) s_alone = 1;
    else if (!g_NetCreator && g_NetSession.creator != old.creator) SendReport(last, lastdropped);
    Net_TestRoundComplete();
}

// A LEAVE taken: from the creator, this node takes its role when it is the
// next (the creator sends it to the next alone); only the creator drops.
static void ReceiveRound(NetPacket* packet, const NetAddress* from);

static void StartReports(int predecessor);

// The goodbye word: a PING that carries it (an older build acknowledges it,
// logs it as unexpected and ignores it).
static NetPacket GoodbyePacket(void)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, kGoodbye, sizeof kGoodbye, NET_PING);
    return p;
}

void QuorNet_SayGoodbye(int except)
{
    NetPacket p = GoodbyePacket();
    for (int n = 0; n < NET_NODES; n++) {
        if (n == g_NetOwnNode || n == except || !Net_IsNodeInSession(n) || (s_goodbyeto & (1 << n))) continue;
        s_goodbyeto |= (uint8_t)(1 << n);
        NetPkt_SendReliable(&p, &g_NetSession.players[n].address, &s_goodbyeacked[n], nullptr, nullptr);
    }
}

int QuorNet_GoodbyeSaid(void)
{
    for (int n = 0; n < NET_NODES; n++)
        if ((s_goodbyeto & (1 << n)) && !s_goodbyeacked[n]) return 0;
    return 1;
}

void QuorNet_RepeatGoodbye(void)
{
    NetPacket p = GoodbyePacket();
    for (int n = 0; n < NET_NODES; n++)
        if ((s_goodbyeto & (1 << n)) && !s_goodbyeacked[n]) NetPkt_Send(&p, &g_NetSession.players[n].address);
    const int next = Net_RingNextNode(g_NetOwnNode);
    if (s_handingon && !s_handedon && next < NET_NODES && next != g_NetOwnNode) {
        Net_BuildPacket(&p, nullptr, 0, NET_LEAVE);
        NetPkt_Send(&p, &g_NetSession.players[next].address);
    }
}

// Whether the datagram is a node's goodbye word from its own address.
static int IsGoodbye(const NetPacket* packet, const NetAddress* from)
{
    const int source = Net_Source(packet);
    return Net_Length(packet) == NET_HEADER_SIZE + (uint32_t)sizeof kGoodbye &&
           !memcmp(Net_Data(packet), kGoodbye, sizeof kGoodbye) && source < NET_NODES && source != g_NetOwnNode &&
           (Net_FromNode(source, from) || (g_NetRounds.droppedat[source] &&
                                           NetPkt_SameAddress(from, &g_NetSession.players[source].address)));
}

// The LEAVE of a departing node that took the creator's role, to the node
// after it, and its goodbye word to the others: sent after its drop of the
// creator, which the guests take first.
static void HandOn(void)
{
    const int next = Net_RingNextNode(g_NetOwnNode);
    if (s_handingon || next >= NET_NODES || next == g_NetOwnNode) return;
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, nullptr, 0, NET_LEAVE);
    s_handingon = 1;
    TLOG(TLOG_NWARN, "Leaving with the creator's role: it goes on to node %d", next);
    NetPkt_SendReliable(&p, &g_NetSession.players[next].address, &s_handedon, nullptr, nullptr);
    QuorNet_SayGoodbye(next);
}

// Whether this node keeps a guest's LEAVE: it is the creator's successor,
// which every guest's goodbye reaches too (from the guest's own address),
// for a takeover of a creator that is gone.
static int KeepsLeave(int source, const NetAddress* from)
{
    const int c = g_NetSession.creator;
    return !g_NetCreator && c < NET_NODES && source != c && source != g_NetOwnNode && Net_FromNode(source, from) &&
           Net_RingNextNode(c) == g_NetOwnNode;
}

// The kept LEAVEs, once this node holds the role and dropped its
// predecessor: those nodes go right after it.
static void DropKeptLeavers(void)
{
    if (!g_NetCreator) return;
    for (int n = 0; n < NET_NODES; n++) {
        if (!(s_leavekept & (1 << n)) || n == g_NetOwnNode || !Net_IsNodeInSession(n)) continue;
        TLOG(TLOG_NWARN, "Node %d left before the takeover: dropped after the creator", n);
        Drop(n);
    }
    s_leavekept = 0;
}

static void ReceiveLeave(int source)
{
    if (s_departing && g_NetCreator) return;
    if (!g_NetCreator && source == g_NetSession.creator) {
        Net_TakeCreatorRole();
        StartReports(source);
    }
    if (!g_NetCreator) return;
    Drop(source);
    DropKeptLeavers();
    if (s_departing) HandOn();
}

// ---- a new creator's reports ----

// Every live guest but the predecessor owes this node its report.
static void StartReports(int predecessor)
{
    memset(&s_reports.due, 0, sizeof s_reports.due);
    memset(&s_reports.reported, 0, sizeof s_reports.reported);
    memset(&s_reports.have, 0, sizeof s_reports.have);
    NetRounds* r = &g_NetRounds;
    for (int n = 0; n < NET_NODES; n++) {
        s_reports.due[n] = n != g_NetOwnNode && n != predecessor && Net_IsNodeInSession(n) && !(s_leavekept & (1 << n));
        // Its report gets the whole limit, whatever the guest's silence before.
        if (s_reports.due[n]) r->frames[n] = 0;
        s_announce[n] = !Net_IsNodeInSession(n) && r->droppedat[n] && r->droppedat[n] + 1 >= r->executed;
    }
    s_reports.predecessor = predecessor;
    s_reports.awaiting = 1;
}

// The guest at this address whose report is still to come, else NET_NO_NODE.
static int ReporterAt(const NetAddress* from)
{
    if (!g_NetCreator || !s_reports.awaiting) return NET_NO_NODE;
    for (int n = 0; n < NET_NODES; n++)
        if (s_reports.due[n] && Net_FromNode(n, from)) return n;
    return NET_NO_NODE;
}

// Whether a ROUND from this address is a reporting guest's copy of another
// node's round.
static int ReportCopy(const NetPacket* packet, const NetAddress* from)
{
    const int guest = ReporterAt(from), node = Net_Source(packet);
    return guest < NET_NODES && node < NET_NODES && node != guest && node != g_NetOwnNode &&
           Net_Length(packet) <= NET_MAX_PACKET;
}

static void ReceiveReportCopy(const NetPacket* packet, const NetAddress* from)
{
    const int guest = ReporterAt(from), node = Net_Source(packet), i = Net_Round(packet) & 1;
    s_reports.copy[guest][node][i] = *packet;
    s_reports.have[guest][node] |= (uint8_t)(1 << i);
    Net_TestRoundComplete();
}

// A guest's report: a SESSION of three bytes from its own address.
static void ReceiveReport(const NetPacket* packet, const NetAddress* from)
{
    const int guest = ReporterAt(from);
    uint8_t data[QUORNET_REPORT_BYTES];
    if (guest >= NET_NODES || Net_Source(packet) != guest) return;
    if (Net_Length(packet) != NET_HEADER_SIZE + (uint32_t)QUORNET_REPORT_BYTES ||
        !Net_UnpackPacket(packet, data, sizeof data)) {
        Net_LogRefused("A malformed report", packet, from);
        return;
    }
    s_reports.round[guest] = Net_Round(packet);
    s_reports.dropped[guest] = data[0];
    s_reports.before[guest] = data[1] & data[0];
    s_reports.at[guest] = data[2] & data[0];
    s_reports.reported[guest] = 1;
    // Its round is waited on from now: until the reports are in it waits on
    // this node's settling of the drop, not on anything of its own.
    g_NetRounds.frames[guest] = 0;
    Net_TestRoundComplete();
}

// The reported copy of a node's round, or null.
static const NetPacket* Reported(int guest, int node, uint32_t round)
{
    const int i = round & 1;
    if (!(s_reports.have[guest][node] & (1 << i))) return nullptr;
    const NetPacket* p = &s_reports.copy[guest][node][i];
    return Net_Round(p) == round ? p : nullptr;
}

// Whether this node, as a new creator, still awaits a guest's report or
// a copy the report announced.
static int ReportOwed(int g)
{
    if (!g_NetCreator || !s_reports.awaiting || !s_reports.due[g] || !Net_IsNodeInSession(g)) return 0;
    for (int o = 0; o < NET_NODES; o++) // a guest took the predecessor's drop of it: no report to come
        if (s_reports.due[o] && s_reports.reported[o] && (s_reports.dropped[o] & (1 << g))) return 0;
    if (!s_reports.reported[g]) return 1;
    const uint32_t round = s_reports.round[g];
    for (int n = 0; n < NET_NODES; n++) {
        if ((s_reports.before[g] & (1 << n)) && !Reported(g, n, round - 1)) return 1;
        if ((s_reports.at[g] & (1 << n)) && !Reported(g, n, round)) return 1;
    }
    return 0;
}

// Whether every guest still in the game has reported, with the copies it
// announced.
static int ReportsIn(void)
{
    for (int g = 0; g < NET_NODES; g++)
        if (ReportOwed(g)) return 0;
    return 1;
}

// One of the places a round is held (slot, have, copied: the last
// completed round, the current one or the next): the copy goes in unless a
// copy is there already, and is kept for the guests.
static void PlaceCopyIn(NetPacket* slot, uint8_t* have, uint8_t* copied, int node, uint32_t round,
                        const NetPacket* given)
{
    if (!copied[node]) {
        NetPacket copy;
        CopyPacket(&copy, given ? given : have[node] ? &slot[node] : nullptr, node, round);
        slot[node] = copy;
        have[node] = 1;
        copied[node] = 1;
    }
    KeepCopy(node, &slot[node]);
}

// Places the copy of a dropped node's round wherever this node holds that
// round (the given one, else its own slot or an empty round), never over a
// copy taken; kept for the guests.
static void PlaceCopy(int node, uint32_t round, const NetPacket* given)
{
    NetRounds* r = &g_NetRounds;
    if (round == 0) return;
    if (r->lastround == round) PlaceCopyIn(r->last, r->lasthave, r->lastcopied, node, round, given);
    if (g_NetRound == round) {
        PlaceCopyIn(r->slots, r->received, r->copied, node, round, given);
    } else if (g_NetRound + 1 == round) {
        PlaceCopyIn(r->next, r->nextreceived, r->nextcopied, node, round, given);
    } else if (given && r->lastround != round) {
        // Run here already: the guests that lack it get the bytes some guest ran.
        NetPacket copy;
        CopyPacket(&copy, given, node, round);
        KeepCopy(node, &copy);
    }
}

// Completes the predecessor's drop of a node at round R as the guests took
// it: this node drops it at R too if it had not, takes the copies some guest
// took (its own only where none did), and tells every guest again, so that
// those that missed the predecessor's SESSION or copies hold the same.
static void SettleDrop(int node, uint32_t round, const NetPacket* before, const NetPacket* at)
{
    NetRounds* r = &g_NetRounds;
    if (Net_IsNodeInSession(node)) {
        if (r->executed >= round) {
            TLOG(TLOG_NERR, "The predecessor's drop of node %d at round %u comes after it ran here", node,
                 (unsigned)round);
            return;
        }
        g_NetSession.players[node].flags &= ~NET_PLAYER_ACTIVE;
        if (g_NetSession.count) g_NetSession.count--;
        r->droppedat[node] = round;
        s_dropcopyhave[node] = 0;
        g_NetSessionChanged = 1;
        if (r->lastround > round) r->lasthave[node] = 0;
        if (g_NetRound > round) r->received[node] = 0;
        r->nextreceived[node] = 0;
    } else if (r->droppedat[node] != round && !MoveDrop(node, round, 1)) {
        // Dropped here earlier, or the reported round ran here already.
        return;
    }
    TLOG(TLOG_NWARN, "The predecessor's drop of node %d at round %u completed", node, (unsigned)round);
    PlaceCopy(node, round - 1, before);
    PlaceCopy(node, round, at);
    s_announce[node] = 0;
    SendDropSession(round);
    SendCopies(node);
}

// Each drop a guest told of, or a recent one of this node's, settled in the
// order of the drop rounds: a guest that misses none takes each at its own.
static void SettleReports(void)
{
    NetRounds* r = &g_NetRounds;
    uint32_t round[NET_NODES];
    const NetPacket *before[NET_NODES], *at[NET_NODES];
    s_reports.awaiting = 0;
    for (int n = 0; n < NET_NODES; n++) {
        round[n] = 0;
        before[n] = at[n] = nullptr;
        if (n == g_NetOwnNode) continue;
        int told = 0;
        for (int g = 0; g < NET_NODES; g++) {
            if (!s_reports.due[g] || !s_reports.reported[g] || !(s_reports.dropped[g] & (1 << n))) continue;
            if (!round[n]) round[n] = s_reports.round[g];
            if (s_reports.round[g] != round[n]) continue;
            told = 1;
            if (!before[n]) before[n] = Reported(g, n, round[n] - 1);
            if (!at[n]) at[n] = Reported(g, n, round[n]);
        }
        // A recent drop no guest told of: a guest may have missed it (its
        // SESSION and copies sent again), and this node may lack the copies
        // (its own then). An old one is settled everywhere.
        if (!told && !Net_IsNodeInSession(n) && r->droppedat[n] && r->droppedat[n] + 1 >= r->executed)
            round[n] = r->droppedat[n];
    }
    for (;;) {
        int next = NET_NO_NODE;
        for (int n = 0; n < NET_NODES; n++)
            if (round[n] && (next == NET_NO_NODE || round[n] < round[next])) next = n;
        if (next == NET_NO_NODE) break;
        SettleDrop(next, round[next], before[next], at[next]);
        round[next] = 0;
    }
    memset(s_announce, 0, sizeof s_announce);
}

// A node that asks again with the round before ours still waits in it,
// though our round of it was acknowledged: it did not keep it, or waits for
// another's. Ours goes to it again, once a re-ask period at most and without
// acknowledgement: its next re-ask asks again.
static void SendOwnBefore(int node)
{
    NetRounds* r = &g_NetRounds;
    if (r->roundheld[node] || r->clock < r->resentat[node] || Net_Round(&r->ownbefore) + 1 != g_NetRound) return;
    r->resentat[node] = r->clock + QUORNET_FRAMES_REASK;
    TLOG(TLOG_NDIAG, "Node %d still waits in round %u: ours sent again", node, (unsigned)Net_Round(&r->ownbefore));
    NetPkt_Send(&r->ownbefore, &g_NetSession.players[node].address);
}

// The line for a round of no use here, once a second per sender at most
// (a flood of copies would fill the log), with the count of those not shown.
static void ExpectingLine(uint32_t theirs, int source)
{
    static uint32_t shownat[NET_NODES], unshown[NET_NODES];
    const uint32_t now = Thread_ClockMs();
    if (shownat[source] && now - shownat[source] < 1000) {
        unshown[source]++;
        return;
    }
    if (unshown[source])
        TLOG(TLOG_NWARN, "Expecting Round [%d] but got [%d] from NODE %d (%u more from it since the last)",
             (int)g_NetRound, (int)theirs, source, (unsigned)unshown[source]);
    else
        TLOG(TLOG_NWARN, "Expecting Round [%d] but got [%d] from NODE %d", (int)g_NetRound, (int)theirs, source);
    shownat[source] = now | 1;
    unshown[source] = 0;
}

static void ReceiveRound(NetPacket* packet, const NetAddress* from)
{
    NetRounds* r = &g_NetRounds;
    int source = Net_Source(packet);
    uint32_t theirs = Net_Round(packet);
    TLOG(TLOG_NDIAG, "Interpreting Round Packet : My round %d : Their Round %d", (int)g_NetRound, (int)theirs);
    if (source >= NET_NODES || source == g_NetOwnNode) return;
    int copy = 0;
    if (r->droppedat[source]) {
        // Only the creator's copies count now; the dropped node is told so.
        if (g_NetCreator && NetPkt_SameAddress(from, &g_NetSession.players[source].address)) {
            SendSession(from, 0);
            return;
        }
        if (!Net_FromCreator(from) || !DroppedIn(source, theirs)) return;
        copy = 1;
    } else if (!Net_FromNode(source, from)) {
        return;
    } else {
        if (theirs > r->heardround[source]) r->heardround[source] = theirs;
        // Its next round shows that it holds ours: it completed this one,
        // which takes our round and our packet layer's acknowledgement of
        // it; only the acknowledgement was lost.
        if (theirs == g_NetRound + 1 && !r->delivered[source] && !r->roundheld[source]) {
            TLOG(TLOG_NDIAG, "Node %d sends round %u: it holds ours", source, (unsigned)theirs);
            r->delivered[source] = 1;
            Net_TestRoundComplete();
        }
        // A guest whose LEAVE this node kept sends its rounds on: it had not left.
        if ((s_leavekept & (1 << source)) && theirs >= s_leavekeptround[source] + 2) {
            s_leavekept &= (uint8_t)~(1 << source);
            TLOG(TLOG_NWARN, "Node %d sends round %u: its LEAVE let go", source, (unsigned)theirs);
        }
    }
    if (Net_Length(packet) > NET_MAX_PACKET) return;
    // The copy of a round this node has completed and holds, before its next
    // round starts, belongs to the held round: filed as the current one it
    // would be lost at the start, and the next round would wait for it.
    const int held = copy && r->lastround && theirs == r->lastround && !r->lastcopied[source];
    if (!held && theirs == g_NetRound && (!r->received[source] || (copy && !r->copied[source]))) {
        TLOG(TLOG_NWARN, "Got Round %d from %d and adding to their slot : Round %d", (int)theirs, source,
             (int)g_NetRound);
        // Its next round came first, so this one was acknowledged here before.
        if (!copy && r->nextreceived[source] && !r->nextcopied[source])
            TLOG(TLOG_NWARN, "Round %u of node %d came after its next: acknowledged here but not kept before",
                 (unsigned)theirs, source);
        r->slots[source] = *packet;
        r->received[source] = 1;
        r->copied[source] = (uint8_t)copy;
        if (copy) KeepCopy(source, packet);
        Net_TestRoundComplete();
    } else if (theirs == g_NetRound + 1 && (!r->nextreceived[source] || (copy && !r->nextcopied[source]))) {
        TLOG(TLOG_NWARN, "Got Future Round %d from %d and adding to their slot : Round %d : Cycle %d",
             (int)theirs, source, (int)g_NetRound, (int)g_UpdateCount);
        r->next[source] = *packet;
        r->nextreceived[source] = 1;
        r->nextcopied[source] = (uint8_t)copy;
        if (copy) KeepCopy(source, packet);
    } else if (held) {
        r->last[source] = *packet;
        r->lasthave[source] = 1;
        r->lastcopied[source] = 1;
        KeepCopy(source, packet);
        Net_TestRoundComplete();
    } else {
        ExpectingLine(theirs, source);
        if (!copy && theirs + 1 == g_NetRound) SendOwnBefore(source);
    }
}

static uint32_t Silence(int node);

void Net_GameReceive(NetPacket* packet, const NetAddress* from, uint32_t)
{
    uint32_t type = Net_Type(packet) & 0xFF;
    int source = Net_Source(packet);
    TLOG(TLOG_NDIAG, "Received PACKET : type %s : round %d : from [%d] : My Round %d", Net_PacketTypeName(type),
         (int)Net_Round(packet), source, (int)g_NetRound);
    if (NetPkt_SameAddress(from, &g_NetOwnAddress)) return;
    if (type < NET_PING || type > NET_KICK) {
        if (NetLog_Allow(NETLOG_UNEXPECTED))
            TLOG(TLOG_NERR, "Unknown Packet Type Received : round %d : from [%d] : My Round %d",
                 (int)Net_Round(packet), source, (int)g_NetRound);
        return;
    }
    if (type == NET_ROUND && ReportCopy(packet, from)) {
        ReceiveReportCopy(packet, from);
        return;
    }
    if (type == NET_ROUND ? !RoundSourceValid(packet, from) : !Net_SourceTrusted(packet, from)) {
        Net_LogRefused("Another node's", packet, from);
        return;
    }
    uint8_t data[NET_MAX_DATA + 1];
    memset(data, 0, sizeof data);
    switch (type) {
    case NET_SEARCH:
        if (g_NetCreator && !s_departing) {
            uint8_t block[NET_SESSION_BYTES];
            Net_WriteSession(block, &g_NetSession);
            NetPacket p;
            memset(&p, 0, sizeof p);
            if (Net_BuildPacket(&p, block, sizeof block, NET_SEARCH_RESPONSE)) NetPkt_Send(&p, from);
        }
        break;
    case NET_PING:
        // The rounds' question to a node held back by our drop SESSION: its
        // acknowledgement did the work. A goodbye word marks its sender
        // gone (the role passes by its LEAVE or a takeover only).
        if (IsGoodbye(packet, from)) {
            if (!(s_goneword & (1 << source))) TLOG(TLOG_NWARN, "Node %d says goodbye", source);
            s_goneword |= (uint8_t)(1 << source);
        } else if (!Net_FromNode(source, from) && NetLog_Allow(NETLOG_UNEXPECTED)) {
            TLOG(TLOG_NWARN, "Unexpected packet during GAME PLAY");
        }
        break;
    case NET_LEAVE:
        if (source == g_NetOwnNode) break;
        if (Net_LeaveTaken(source, from)) {
            ReceiveLeave(source);
            break;
        }
        if (KeepsLeave(source, from)) {
            if (!(s_leavekept & (1 << source))) {
                TLOG(TLOG_NWARN, "Node %d leaves: its LEAVE kept for a takeover", source);
                s_leavekeptround[source] = g_NetRound;
            }
            s_leavekept |= (uint8_t)(1 << source);
            break;
        }
        Net_LogRefused("Not the creator's", packet, from);
        break;
    case NET_SESSION:
        if (g_NetCreator && Net_Length(packet) == NET_HEADER_SIZE + (uint32_t)NET_SESSION_BYTES) {
            // A node this one counts in that holds the role too: two creators.
            // A departing one's successor tells it of its drop, which is no fault.
            if (!s_departing && !s_handingon && Net_IsNodeInSession(source) && NetLog_Allow(NETLOG_UNEXPECTED))
                TLOG(TLOG_NWARN, "A SESSION of node %d, which speaks as a creator too, ignored", source);
            break;
        }
        if (g_NetCreator) {
            ReceiveReport(packet, from);
            break;
        }
        if (Net_TakesSession(packet, from)) {
            ReceiveGameSession(packet);
        } else if (Net_IsTakeover(packet, from)) {
            // Refused until the creator is gone here: say how far it is.
            const int c = g_NetSession.creator;
            if (NetLog_Allow(NETLOG_UNTRUSTED))
                TLOG(TLOG_NWARN, "Node %d's takeover of round %u refused: the creator silent here %u frames, its round %u",
                     source, (unsigned)Net_Round(packet), c < NET_NODES ? (unsigned)Silence(c) : 0u,
                     c < NET_NODES ? (unsigned)g_NetRounds.heardround[c] : 0u);
        } else if (!Net_FromCreator(from)) {
            Net_LogRefused("Not the creator's", packet, from);
        }
        break;
    case NET_MESSAGE:
    case NET_PAUSE:
        // A line or a pause speaks for the node it names: from its address only.
        if (!Net_FromNode(source, from)) {
            Net_LogRefused("A stranger's", packet, from);
        } else if (type == NET_MESSAGE) {
            if (Net_MessageHandler() && Net_UnpackPacket(packet, data, NET_MESSAGE_SIZE)) {
                data[NET_MESSAGE_SIZE - 1] = 0;
                Net_MessageHandler()(source, (const char*)data);
            }
        } else if (Net_PauseHandler() && Net_UnpackPacket(packet, data, 1)) {
            Net_PauseHandler()(data[0], source);
        }
        break;
    case NET_ROUND:
        ReceiveRound(packet, from);
        break;
    default:
        if (NetLog_Allow(NETLOG_UNEXPECTED)) TLOG(TLOG_NWARN, "Unexpected packet during GAME PLAY");
        break;
    }
}

// ---- drops ----

// How long this node has not heard from the node, on the network clock.
static uint32_t Silence(int node) { return g_NetRounds.clock - g_NetRounds.heard[node]; }

// Not heard from for two re-ask periods: a live node answers each of them.
static int Quiet(int node) { return Silence(node) >= QUORNET_FRAMES_QUIET; }

static int ReportOwed(int g);

// Past the guests' threshold, time for the takeover asked again and the
// report's way back, two re-ask periods: the guests' measures of the
// predecessor's silence may run a little behind this node's.
static uint32_t ReportLimit(void) { return QUORNET_FRAMES_TAKEOVER + QUORNET_FRAMES_QUIET; }

// A guest owes a report to this node, which took the role on its
// predecessor's LEAVE while that one may still have been heard by the
// guest: the guest refuses the takeover until the predecessor has been
// silent to it for the takeover limit less the margin, and reports then.
// Its wait ends at the drop limit only once that time is over here too
// (or the guest is silent itself).
static int ReportMayStillCome(int node)
{
    const int p = s_reports.predecessor;
    return ReportOwed(node) && p >= 0 && p < NET_NODES && Silence(p) < ReportLimit();
}

static int PastDropLimit(int node)
{
    if (Silence(node) > QUORNET_FRAMES_DROP) return 1;
    return g_NetRounds.frames[node] > QUORNET_FRAMES_DROP && !ReportMayStillCome(node);
}

// Whether the round lacks the creator's copy of a dropped node's round.
static int WaitsOnCopies(void)
{
    const NetRounds* r = &g_NetRounds;
    for (int n = 0; n < NET_NODES; n++) {
        if (n == g_NetOwnNode || Net_IsNodeInSession(n)) continue;
        if ((DroppedIn(n, g_NetRound) && !r->copied[n]) ||
            (r->lastround && r->lastround == r->droppedat[n] && !r->lastcopied[n]))
            return 1;
    }
    return 0;
}

// Whether what the round lacks can come from the creator alone: a node past
// the drop limit (the creator among them) or the copies of a dropped node's
// rounds.
static int WaitsOnCreator(void)
{
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_IsNodeInSession(n) && PastDropLimit(n)) return 1;
    return WaitsOnCopies();
}

// The node's place in the ring after the creator: 1 for its successor, 0
// for the creator itself or a node out of the game.
static int RingPosition(int creator, int node)
{
    int k = 1;
    for (int n = Net_RingNextNode(creator); n != creator; n = Net_RingNextNode(n), k++)
        if (n == node) return k;
    return 0;
}

// Our round again to a node not heard from (a PING to one that awaits our
// drop SESSION first), or whose acknowledgement of it is missing: a live
// node acknowledges it wherever it is, held a round behind or not. Its
// acknowledgement is what counts; one that had not acknowledged our round
// completes it so. A question still unanswered goes again under its id
// (its tries renewed, its time-out kept) rather than as one more: each
// re-ask is one datagram, however long the wait.
static void Reask(int node)
{
    NetRounds* r = &g_NetRounds;
    const NetAddress* to = &g_NetSession.players[node].address;
    r->askedat[node] = r->clock;
    // A drop SESSION (a takeover among them) it has not acknowledged goes
    // again too: a guest refuses a takeover until the creator is gone to
    // it, and its report waits on it.
    if (SessionPending(node)) NetPkt_HurryCallback(kSessionAcks[node][(r->sessionacked[node] + 1) % NET_NODES]);
    uint8_t* flag = r->roundheld[node] || r->delivered[node] ? &r->asked[node] : &r->delivered[node];
    if (NetPkt_Hurry(flag)) return;
    if (r->roundheld[node]) {
        NetPacket p;
        memset(&p, 0, sizeof p);
        Net_BuildPacket(&p, nullptr, 0, NET_PING);
        NetPkt_SendReliable(&p, to, flag, nullptr, nullptr);
    } else if (!r->delivered[node]) {
        NetPkt_SendReliable(&r->own, to, flag, nullptr, Net_TestRoundComplete);
    } else {
        NetPkt_SendReliable(&r->own, to, flag, nullptr, nullptr);
    }
}

int QuorNet_NodeGone(int node)
{
    if (g_NetState != NET_IN_GAME || node < 0 || node >= NET_NODES || node == g_NetOwnNode) return 0;
    return (s_goneword & (1 << node)) ||
           Silence(node) >= QUORNET_FRAMES_TAKEOVER - QUORNET_FRAMES_TAKEOVER_MARGIN;
}

int QuorNet_TakeoverDue(const NetPacket* session)
{
    const int c = g_NetSession.creator;
    if (c >= NET_NODES || !QuorNet_NodeGone(c)) return 0;
    // A datagram of the past (a forgery resent, say): the creator has sent
    // rounds since.
    return g_NetRounds.heardround[c] <= Net_Round(session) + 1;
}

// Whether every node between the creator and this one is silent here for
// the takeover limit (or said goodbye): lost with the creator.
static int AheadSilent(int creator)
{
    for (int b = Net_RingNextNode(creator); b != g_NetOwnNode && b != creator; b = Net_RingNextNode(b))
        if (!(s_goneword & (1 << b)) && Silence(b) <= QUORNET_FRAMES_TAKEOVER) return 0;
    return 1;
}

// The role of the silent creator taken: the creator dropped first, the
// nodes between right after it in the same SESSION (the takeover the guests
// take: each silent to them too), then the guests whose LEAVE was kept.
static void TakeOver(int c)
{
    NetRounds* r = &g_NetRounds;
    TLOG(TLOG_NERR, "Creator %d is silent: this node takes its role", c);
    uint8_t gone = 0;
    for (int b = c; b != g_NetOwnNode; b = Net_RingNextNode(b)) gone |= (uint8_t)(1 << b);
    Net_TakeCreatorRole();
    StartReports(c);
    for (int b = 0; b < NET_NODES; b++) {
        if (gone & (1 << b)) s_reports.due[b] = 0;
        // The creator before the silent one, dropped by its takeover: a
        // guest that missed that takeover takes ours only with it out,
        // then moves its drop back when we complete it at its round.
        if (s_announce[b] && r->droppedat[b] == s_creatorround) s_announce[b] = 0;
    }
    for (int b = 0; b < NET_NODES; b++)
        if (gone & (1 << b)) TLOG(TLOG_NERR, "Timeout on ACK: Player %d will be dropped", b);
    DropNodes(gone);
    DropKeptLeavers();
}

// The clock counts the reading time from the round's start while this
// node waits; none while paused.
static void AdvanceClock(void)
{
    NetRounds* r = &g_NetRounds;
    if (!r->counting || g_GamePaused) {
        r->frameclock = r->readclock;
        return;
    }
    const uint32_t steps = (r->readclock - r->frameclock) / s_frameMs;
    r->frameclock += steps * s_frameMs;
    r->clock += steps;
    r->pending += steps;
}

// The packet layer reads (its thread's pass, or the frame's own look):
// everything that came before upto is read. The time since the last reading
// counts in full, a span longer than QUORNET_FRAME_STEPS frames (this
// node's own stall, its threads held off the processor or the lock) that
// many frames: the others' datagrams of it waited unread, and it is no
// silence of theirs. So every count covers only time whose datagrams are
// read, and a datagram is heard at the clock of its reading.
static void Reading(uint32_t upto)
{
    NetRounds* r = &g_NetRounds;
    const uint32_t gap = upto - r->readat, most = QUORNET_FRAME_STEPS * s_frameMs;
    if (gap == 0 || gap >= 2000000000u) return;
    r->readat = upto;
    r->readclock += gap < most ? gap : most;
    if (gap > most && r->counting && !g_GamePaused) r->cut += (gap - most) / s_frameMs;
    AdvanceClock();
}

// Counts a node's waiting frames, asks it again and shows its countdown.
static void WatchNode(int n, uint32_t steps, uint8_t quiet)
{
    NetRounds* r = &g_NetRounds;
    const int c = g_NetSession.creator;
    const char* creator = c < NET_NODES ? g_NetSession.players[c].name : "";
    // Asked again once a period: a node not heard from, and one whose
    // acknowledgement of our round is missing though we hear it (it waits
    // a round ahead on us and asks us, while ours and its answers are lost).
    const int unacked = !r->delivered[n] && !r->roundheld[n];
    if ((Silence(n) >= QUORNET_FRAMES_REASK || unacked) && ReaskDue(n)) Reask(n);
    // Its round missing while no quiet node may hold it back (counted from
    // then: a live node held by a lost one answers, but sends nothing), or
    // the report a new creator awaits of it (which nothing holds back).
    const uint32_t before = r->frames[n];
    // A guest whose report is in waits on this node's settling while
    // others' reports are still to come: its round is not missing yet.
    const int settling = g_NetCreator && s_reports.awaiting;
    if (ReportOwed(n) || (!r->received[n] && !(quiet & ~(1 << n)) && !settling)) r->frames[n] += steps;
    else if (!r->received[n]) r->frames[n] = 0;
    const char* name = g_NetSession.players[n].name;
    // Each line once per wait, per re-ask or per tenth: repeated every frame,
    // it filled the log of a node left waiting.
    // A guest's countdown of a quiet creator runs to its successor's
    // takeover: no creator drops itself.
    const int ofcreator = !g_NetCreator && n == c;
    const uint32_t limit = ofcreator ? QUORNET_FRAMES_TAKEOVER : QUORNET_FRAMES_DROP;
    const int past = ofcreator ? Silence(n) > limit : PastDropLimit(n);
    if (past) {
        if (r->waitshown[n]) {
        } else if (g_NetCreator) {
            if (!s_departing) Show("Dropping %s", name);
        } else if (ofcreator) {
            Show("%s (the creator) is gone: waiting for its successor", name);
        } else {
            Show("Waiting for %s to drop %s", creator, name);
        }
    } else if (Quiet(n)) {
        if (r->quietshown[n] != Silence(n) / QUORNET_FRAMES_REASK)
            Show("%s is not responding [%d drop countdown]", name, ((int)limit - (int)Silence(n)) / 10);
        r->quietshown[n] = Silence(n) / QUORNET_FRAMES_REASK;
    } else if (!ofcreator && r->frames[n] > QUORNET_FRAMES_WARN && r->frames[n] / 10 != before / 10) {
        int left = (QUORNET_FRAMES_DROP - (int)r->frames[n]) / 10;
        // A report may come until the predecessor has been silent long enough.
        if (ReportMayStillCome(n))
            left = std::max(left, ((int)ReportLimit() - (int)Silence(s_reports.predecessor)) / 10);
        Show("%s has not sent round [%d drop countdown]", name, left);
    }
    if (!Quiet(n)) r->quietshown[n] = 0;
    r->waitshown[n] = (uint8_t)past;
}

// The creator's drops: every node past the limit, each with its cause.
static void DropSilent(void)
{
    NetRounds* r = &g_NetRounds;
    uint8_t drop = 0;
    for (int n = 0; n < NET_NODES; n++) {
        if (n == g_NetOwnNode || !Net_IsNodeInSession(n) || !PastDropLimit(n)) continue;
        if (ReportOwed(n))
            TLOG(TLOG_NERR, "Timeout on REPORT: Player %d will be dropped", n);
        else if (Silence(n) > QUORNET_FRAMES_DROP && !r->delivered[n])
            TLOG(TLOG_NERR, "Timeout on ACK: Player %d will be dropped", n);
        else
            TLOG(TLOG_NERR, "Timeout on RECV: Player %d will be dropped", n);
        drop |= (uint8_t)(1 << n);
    }
    if (!drop) return;
    for (int n = 0; n < NET_NODES; n++) {
        if (drop & (1 << n)) Drop(n);
        // Kept: one held by a dropped node sends its round once the copies
        // reach it, and gets the whole limit for that.
        else r->frames[n] = 0;
    }
}

void QuorNet_CheckDrops(void)
{
    NetRounds* r = &g_NetRounds;
    Net_Lock();
    // The limits are times whose order holds across machines (the creator's
    // drop before its successor's takeover before a guest's leave) only if
    // every machine counts the same time, and a loaded one's frames come
    // seldom: a frame counts for the clock's steps since the last, not one.
    // What came is read first (the packet thread may be held off), so that
    // nothing is decided on time whose datagrams wait unread.
    r->counting = 1;
    NetPkt_Drain();
    const uint32_t steps = r->pending;
    r->pending = 0;
    // The wait on a new creator counts from its takeover.
    const int c = g_NetSession.creator;
    if (c != r->framescreator) {
        if (c < NET_NODES) r->frames[c] = 0;
        r->creatorframes = 0;
        r->framescreator = (uint8_t)c;
    }
    uint8_t quiet = 0;
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_IsNodeInSession(n) && Quiet(n)) quiet |= (uint8_t)(1 << n);
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_IsNodeInSession(n)) WatchNode(n, steps, quiet);
    // A silent creator: the node after it takes its role and drops it; the
    // k-th after it does so a step later per node ahead, once each of those
    // is silent here too (lost with the creator).
    const int k = c < NET_NODES && Net_IsNodeInSession(c) ? RingPosition(c, g_NetOwnNode) : 0;
    const uint32_t later = k > 1 ? (uint32_t)(k - 1) * QUORNET_FRAMES_CHAIN_STEP : 0;
    if (!g_NetCreator && k > 0 && Silence(c) > QUORNET_FRAMES_TAKEOVER + later && AheadSilent(c)) TakeOver(c);
    // A creator never waits on a predecessor's copies (its guests' reports
    // settle them): only a guest gives up, and not while a node ahead of it
    // may still take the silent creator's role.
    // A creator quiet here is waited on by the measure too, as the nodes
    // ahead count their turns: a wait that began while it still answered
    // (slow, then gone) would end before theirs.
    const uint32_t wait =
        QUORNET_FRAMES_LEAVE + (k > 0 && Silence(c) > QUORNET_FRAMES_TAKEOVER / 2 ? later : 0);
    const int creatorquiet = k > 0 && Quiet(c) && Silence(c) <= wait;
    if (steps && !g_NetCreator && WaitsOnCreator() && (r->creatorframes += steps) > wait && !creatorquiet) {
        // Dropped with no word of it, or the creator gone with its successor:
        // waiting on would never end.
        TLOG(TLOG_NERR, "No word from the creator for %u frames: this node leaves the game",
             (unsigned)r->creatorframes);
        s_alone = 1;
    }
    // The creator's own wait on a dropped node's copies (a drop moved or
    // settled late) ends at the drop limit with copies of its own.
    if (g_NetCreator && !s_reports.awaiting && steps && WaitsOnCopies() &&
        (r->creatorframes += steps) > QUORNET_FRAMES_DROP) {
        for (int n = 0; n < NET_NODES; n++) {
            const uint32_t at = r->droppedat[n];
            if (n == g_NetOwnNode || Net_IsNodeInSession(n) || !at ||
                !((DroppedIn(n, g_NetRound) && !r->copied[n]) || (r->lastround == at && !r->lastcopied[n])))
                continue;
            TLOG(TLOG_NERR, "No copy of node %d's rounds %u and %u for %u frames: this node's own sent", n,
                 (unsigned)at - 1, (unsigned)at, (unsigned)r->creatorframes);
            PlaceCopy(n, at - 1, nullptr);
            PlaceCopy(n, at, nullptr);
            SendCopies(n);
        }
        r->creatorframes = 0;
        Net_TestRoundComplete();
    }
    if (g_NetCreator && !s_departing) DropSilent();
    Net_Unlock();
}

// ---- the step ----

// Whether no other node is in the game.
static int Alone(void)
{
    return g_NetOwnNode >= NET_NODES || !Net_IsNodeInSession(g_NetOwnNode) ||
           Net_RingNextNode(g_NetOwnNode) == g_NetOwnNode;
}

// The completed current round becomes the held one.
static void HoldRound(void)
{
    NetRounds* r = &g_NetRounds;
    for (int n = 0; n < NET_NODES; n++) {
        int in = r->received[n] && (Net_IsNodeInSession(n) || n == g_NetOwnNode || (DroppedIn(n, g_NetRound) && r->copied[n]));
        r->lasthave[n] = (uint8_t)in;
        r->lastcopied[n] = r->copied[n];
        if (in) r->last[n] = r->slots[n];
    }
    r->lastround = g_NetRound;
}

int QuorNet_Step(uint8_t* send)
{
    NetRounds* r = &g_NetRounds;
    uint32_t t0 = Thread_ClockMs();
    if (*send && s_leaving) {
        // The held round's updates have run: its orders now, where every
        // other node ran them, and no round after it.
        *send = 0;
        Net_Lock();
        QuorNet_ApplyAllOrders();
        s_leaving = 0;
        s_alone = 0;
        g_NetState = NET_IDLE;
        g_NetworkGame = 0;
        g_NetSessionChanged = 0;
        Net_Unlock();
    } else if (*send) {
        QuorNet_ResetCounters();
        Net_Lock();
        r->counting = 1;
        r->frameclock = r->readclock;
        Net_StartRound();
        // A completion test between rounds (a SESSION, a drop) sets the
        // event again for the round already done; the new round starts
        // without it.
        if (r->event) Event_Wait(r->event, 0);
        QuorNet_SendOrdersNow();
        NetPkt_PurgeTracked();
        Net_Unlock();
        Net_SendRound();
        *send = 0;
        r->waiting = 1;
    }
    if (r->waiting && r->event && Event_Wait(r->event, 0)) {
        r->waiting = 0;
        Net_Lock();
        r->counting = 0;
        QuorNet_ApplyAllOrders();
        HoldRound();
        Net_Unlock();
    }
    Net_Lock();
    if (g_NetState == NET_IN_GAME && !s_leaving && (s_alone || (g_NetSessionChanged && Alone()))) {
        // Out of the game, its orders still run where the others ran them:
        // the held round's at the completion of the awaited one, now; the
        // current round's after its updates (the next step that would
        // start a round). Run now, they would act a round early.
        if (r->waiting) {
            QuorNet_ApplyAllOrders();
            HoldRound();
        }
        r->waiting = 0;
        s_leaving = 1;
        TLOG(TLOG_NWARN, "Out of the game: round %d runs after its updates, then single-player", (int)r->lastround);
        g_NetSessionChanged = 0;
        s_alone = 0;
    }
    int result = (g_NetSessionChanged ? QUORNET_CHANGED : 0) | (g_NetState == NET_IN_GAME ? QUORNET_IN_GAME : 0) |
                 (r->waiting ? QUORNET_WAITING : 0);
    Net_Unlock();
    Prof_AddTime(5, "QuorNet", Thread_ClockMs() - t0);
    return result;
}

// ---- counters and statistics ----

void QuorNet_ResetCounters(void)
{
    Net_Lock();
    memset(g_NetRounds.frames, 0, sizeof g_NetRounds.frames);
    g_NetRounds.creatorframes = 0;
    // The wait starts now: the updates before it are no one's silence.
    g_NetRounds.frameclock = Thread_ClockMs();
    Net_Unlock();
}

uint32_t Net_GetNodeResendCount(int node)
{
    if (!Net_IsNodeInSession(node)) return 0;
    return g_NetRounds.resends[node];
}

uint32_t QuorNet_MaxResendCount(void)
{
    uint32_t most = 0;
    for (int n = 0; n < NET_NODES; n++)
        if (n != g_NetOwnNode && Net_GetNodeResendCount(n) > most) most = Net_GetNodeResendCount(n);
    return most;
}

void QuorNet_FreeElement(void* element) { Debug_FreeBlock(element); }

static void ReportStat(const char* title, const QuorNetStat* s)
{
    double mean = s->sum / s->count;
    double var = (s->sumsq - s->count * mean * mean) / (s->count - 1);
    TLOG(TLOG_NSTAT, "%s", title);
    TLOG(TLOG_NSTAT, "  Minumum:            %g msec", s->min);
    TLOG(TLOG_NSTAT, "  Maximum:            %g msec", s->max);
    TLOG(TLOG_NSTAT, "  Mean:               %g msec", mean);
    TLOG(TLOG_NSTAT, "  Standard Deviation: %g msec", var > 0 ? std::sqrt(var) : 0.0);
}

void QuorNet_ReportStatistics(void)
{
    const NetRounds* r = &g_NetRounds;
    if (r->comm.count <= 20) return;
    TLOG(TLOG_NSTAT, "Network Statistics:");
    TLOG(TLOG_NSTAT, "  Samples:            %d", (int)r->comm.count);
    ReportStat(" NETWORK (communication) STATS:", &r->comm);
    ReportStat(" NETWORK (game engine) STATS:", &r->engine);
}
