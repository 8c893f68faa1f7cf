#include "net/net.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "net/netlog.h"
#include "net/quornet.h"
#include "platform/thread.h"

int g_NetType;
int g_NetState;
int g_NetCreator;
int g_NetLaunched;
int g_NetSessionChanged;
int g_NetJoinResult;
char g_NetRefusal[NET_REFUSAL_SIZE];
uint32_t UnitCycles;
NetSession g_NetSession;
NetGameSettings g_NetSettings;
NetNodeSettings g_NetStaged;
char g_NetPlayerName[NET_PLAYER_NAME_SIZE];
NetAddress g_TypedAddress;
GLL* g_FoundSessions;

// What the list keeps of a found session beside its block, by creator
// address, under the found-sessions lock: when it last answered and the
// searches since.
struct FoundMark {
    NetAddress address;
    uint32_t answered; // s_answers then
    uint32_t missed;
};
static FoundMark s_marks[NET_FOUND_MAX];
static int s_markCount;
static uint32_t s_answers;
// The addresses the manual-address page searched (UDP), under the
// found-sessions lock: the page probes all its rows in one frame, so the
// typed address holds only the last.
static NetAddress s_searched[NET_FOUND_MAX];
static int s_searchedCount;
static int s_searchedNext; // the one a full set gives up next, of the oldest

// As the packet layer's locks: a page may take it while the module is closed.
static THREAD_CRITSEC* s_foundLock = CritSec_Create();
static int s_initialised;
static NetAddress s_joinAddress; // whom a guest asked to join, until its first SESSION
static int s_haveSession;        // a guest has had a SESSION since it joined
// The last block of a kind taken from a sender: its address and id.
struct LastTaken {
    int have;
    NetAddress from;
    uint32_t id;
};
static LastTaken s_lastSession;                 // the creator's SESSION, at a guest
static LastTaken s_lastSettings;                // the creator's settings, at a guest
static LastTaken s_lastNodeSettings[NET_NODES]; // each guest's own settings, at the creator
static NetMessageHandler s_messageHandler;
static NetKickHandler s_kickHandler;
static NetPauseHandler s_pauseHandler;
// A guest's question to the creator about its successor's takeover in the
// lobby (see Net_TakesSession).
struct CreatorProbe {
    int running;
    NetAddress creator; // the address asked
    uint32_t start;     // network clock of the first question
    uint32_t last;      // of the last one
    int answered;       // an answer came since start
    uint32_t seen;      // network clock when the probe was last looked at
    uint32_t unanswered; // the time it went unanswered, this node's stalls counted short
};
static CreatorProbe s_probe;

static void ForgetProbe(void) { memset(&s_probe, 0, sizeof s_probe); }

static const char* const kRefusalNameUsed = "NetRefusalNameUsed";
static const char* const kRefusalTooMany = "NetRefusalTooMany";
static const char* const kRefusalUnknown = "NetRefusalUnknown";
static const char* const kRefusalNoName = "NetRefusalNoName";
static const char* const kJoinTimedOut = "Join Timed Out";

void Net_Lock(void) { CritSec_Enter(NetPkt_GameLock()); }
void Net_Unlock(void) { CritSec_Leave(NetPkt_GameLock()); }
void Net_LockFoundSessions(void) { CritSec_Enter(s_foundLock); }
void Net_UnlockFoundSessions(void) { CritSec_Leave(s_foundLock); }

// ---- wire forms ----

// A text field of the wire: copied whole, its last byte forced to end it.
static void ReadText(char* out, const uint8_t* in, size_t size)
{
    memcpy(out, in, size);
    out[size - 1] = '\0';
}

static void WriteText(uint8_t* out, const char* text, size_t size)
{
    memset(out, 0, size);
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
}

void Net_WriteAddress(uint8_t* out, const NetAddress* address)
{
    Net_PutU32(out, address->kind);
    memcpy(out + 4, address->bytes, 6);
}

void Net_ReadAddress(const uint8_t* in, NetAddress* address)
{
    address->kind = Bytes_U32(in);
    memcpy(address->bytes, in + 4, 6);
}

void Net_WritePlayer(uint8_t* out, const NetSessionPlayer* player)
{
    out[0] = player->flags;
    WriteText(out + 1, player->name, NET_NAME_SIZE);
    Net_WriteAddress(out + 17, &player->address);
}

void Net_ReadPlayer(const uint8_t* in, NetSessionPlayer* player)
{
    player->flags = in[0];
    ReadText(player->name, in + 1, NET_NAME_SIZE);
    Net_ReadAddress(in + 17, &player->address);
}

void Net_WriteSession(uint8_t* out, const NetSession* session)
{
    out[0] = session->flags;
    out[1] = session->creator;
    Net_WriteAddress(out + 2, &session->creator_address);
    WriteText(out + 12, session->name, NET_GAME_NAME_SIZE);
    out[36] = session->count;
    for (int n = 0; n < NET_NODES; n++)
        Net_WritePlayer(out + NET_SESSION_HEAD_BYTES + n * NET_PLAYER_BYTES, &session->players[n]);
}

void Net_ReadSession(const uint8_t* in, NetSession* session)
{
    session->flags = in[0];
    session->creator = in[1];
    Net_ReadAddress(in + 2, &session->creator_address);
    ReadText(session->name, in + 12, NET_GAME_NAME_SIZE);
    session->count = in[36];
    for (int n = 0; n < NET_NODES; n++)
        Net_ReadPlayer(in + NET_SESSION_HEAD_BYTES + n * NET_PLAYER_BYTES, &session->players[n]);
}

void Net_WriteNodeSettings(uint8_t* out, const NetNodeSettings* node)
{
    out[0] = (uint8_t)node->side;
    out[1] = node->team;
    out[2] = node->group;
    out[3] = node->colour;
    out[4] = node->handicap;
    memcpy(out + 5, node->relations, NET_NODES);
    Net_PutU32(out + 13, node->reserved);
}

void Net_ReadNodeSettings(const uint8_t* in, NetNodeSettings* node)
{
    node->side = (int8_t)in[0];
    node->team = in[1];
    node->group = in[2];
    node->colour = in[3];
    node->handicap = in[4];
    memcpy(node->relations, in + 5, NET_NODES);
    node->reserved = Bytes_U32(in + 13);
}

void Net_WriteSettings(uint8_t* out, const NetGameSettings* settings)
{
    Net_PutU32(out, settings->options);
    memcpy(out + 4, settings->slottypes, NET_NODES);
    WriteText(out + 12, settings->scenario, NET_SCENARIO_SIZE);
    Net_PutU32(out + 25, settings->credits);
    for (int n = 0; n < NET_NODES; n++)
        Net_WriteNodeSettings(out + 29 + n * NET_NODE_SETTINGS_BYTES, &settings->node[n]);
}

void Net_ReadSettings(const uint8_t* in, NetGameSettings* settings)
{
    settings->options = Bytes_U32(in);
    memcpy(settings->slottypes, in + 4, NET_NODES);
    ReadText(settings->scenario, in + 12, NET_SCENARIO_SIZE);
    settings->credits = Bytes_U32(in + 25);
    for (int n = 0; n < NET_NODES; n++)
        Net_ReadNodeSettings(in + 29 + n * NET_NODE_SETTINGS_BYTES, &settings->node[n]);
}

// ---- nodes ----

int Net_IsNodeInSession(int node)
{
    return node >= 0 && node < NET_NODES && (g_NetSession.players[node].flags & NET_PLAYER_ACTIVE);
}

// In a game the packet thread clears a node's bit whenever the SESSION comes;
// the game asks the rounds, which let a node go at the same update on every
// machine.
int Net_IsNodeActive(int node)
{
    if (node < 0 || node >= NET_NODES) return 0;
    if (g_NetState == NET_IN_GAME) return g_NetRounds.ingame[node];
    return Net_IsNodeInSession(node);
}

int Net_RingNextNode(int node)
{
    for (int i = 1; i <= NET_NODES; i++) {
        int n = (node + i) % NET_NODES;
        if (Net_IsNodeInSession(n)) return n;
    }
    return node;
}

int Net_NodeOfTeam(int team)
{
    // The ring from the first active node is the order of the node numbers.
    for (int n = 0; n < NET_NODES; n++)
        if (Net_IsNodeActive(n) && g_NetSettings.node[n].team == team) return n;
    return 255;
}

int Net_GetNodeTeam(int node)
{
    if (node < 0 || node >= NET_NODES) return NET_NO_TEAM;
    return g_NetSettings.node[node].team;
}

uint32_t Net_GetNodeRoundTrip(int node)
{
    if (!Net_IsNodeInSession(node)) return 0;
    return NetPkt_GetRoundTrip(&g_NetSession.players[node].address);
}

// The other active nodes, in ring order from the first after this one.
static int OtherNodes(int* nodes)
{
    int count = 0;
    // Eight steps: a node of 8 (not in the session) still meets node 0.
    for (int i = 1; i <= NET_NODES; i++) {
        int n = (g_NetOwnNode + i) % NET_NODES;
        if (n != g_NetOwnNode && Net_IsNodeInSession(n)) nodes[count++] = n;
    }
    return count;
}

void Net_SendToOthers(NetPacket* packet, uint8_t* delivered, uint32_t* resends)
{
    int nodes[NET_NODES];
    int count = OtherNodes(nodes);
    for (int i = 0; i < count; i++) {
        int n = nodes[i];
        int both = delivered && resends;
        NetPkt_SendReliable(packet, &g_NetSession.players[n].address, both ? &delivered[n] : nullptr,
                            both ? &resends[n] : nullptr, both ? Net_TestRoundComplete : nullptr);
    }
}

// ---- senders ----

static void SendBlock(const void* data, uint32_t length, uint32_t type, const NetAddress* to, int reliable)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    if (!Net_BuildPacket(&p, data, length, type)) return;
    if (reliable) NetPkt_SendReliable(&p, to, nullptr, nullptr, nullptr);
    else NetPkt_Send(&p, to);
}

static void BroadcastBlock(const void* data, uint32_t length, uint32_t type)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    if (Net_BuildPacket(&p, data, length, type)) Net_SendToOthers(&p, nullptr, nullptr);
}

static void SendSessionTo(const NetAddress* to)
{
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &g_NetSession);
    SendBlock(block, sizeof block, NET_SESSION, to, 1);
}

static void SendSettingsTo(const NetAddress* to)
{
    uint8_t block[NET_SETTINGS_BYTES];
    Net_WriteSettings(block, &g_NetSettings);
    SendBlock(block, sizeof block, NET_CHAT, to, 1);
}

static void BroadcastSession(void)
{
    uint8_t block[NET_SESSION_BYTES];
    Net_WriteSession(block, &g_NetSession);
    BroadcastBlock(block, sizeof block, NET_SESSION);
}

static void BroadcastSettings(void)
{
    uint8_t block[NET_SETTINGS_BYTES];
    Net_WriteSettings(block, &g_NetSettings);
    BroadcastBlock(block, sizeof block, NET_CHAT);
}

int Net_BroadcastSession(void)
{
    Net_Lock();
    BroadcastSession();
    Net_Unlock();
    return 1;
}

// ---- start and stop ----

static void DestroyFound(void)
{
    Net_LockFoundSessions();
    GLL_Destroy(g_FoundSessions, GLL_FREE_ELEMENTS);
    g_FoundSessions = nullptr;
    s_searchedCount = 0;
    s_markCount = 0;
    Net_UnlockFoundSessions();
}

// Under the found-sessions lock: the mark of a listed session's address,
// made (never answered, nothing missed) when it has none.
static FoundMark* MarkOf(const NetAddress* address)
{
    for (int i = 0; i < s_markCount; i++)
        if (NetPkt_SameAddress(&s_marks[i].address, address)) return &s_marks[i];
    static FoundMark spare;
    FoundMark* m = s_markCount < NET_FOUND_MAX ? &s_marks[s_markCount++] : &spare;
    memset(m, 0, sizeof *m);
    m->address = *address;
    return m;
}

static void Unmark(const NetAddress* address)
{
    for (int i = 0; i < s_markCount; i++)
        if (NetPkt_SameAddress(&s_marks[i].address, address)) s_marks[i] = s_marks[--s_markCount];
}

// Under the found-sessions lock: whether the page searched the address.
static int Searched(const NetAddress* address)
{
    for (int i = 0; i < s_searchedCount; i++)
        if (NetPkt_SameAddress(&s_searched[i], address)) return 1;
    return 0;
}

static void ForgetTaken(void)
{
    ForgetProbe();
    memset(&s_lastSession, 0, sizeof s_lastSession);
    memset(&s_lastSettings, 0, sizeof s_lastSettings);
    memset(s_lastNodeSettings, 0, sizeof s_lastNodeSettings);
}

int Net_InitWith(int type, const NetTransport* transport, int threaded)
{
    g_NetLaunched = 0;
    g_NetCreator = 0;
    g_NetworkGame = 0;
    g_NetSessionChanged = 0;
    g_NetRound = 0;
    if (!(transport ? NetPkt_InitWith(type, transport, threaded) : NetPkt_Init(type))) return 0;
    NetPkt_SetPinTest(Net_IsPeerAddress);
    Net_Lock();
    g_NetState = NET_IDLE;
    g_NetType = type;
    s_initialised = 1;
    s_haveSession = 0;
    ForgetTaken();
    memset(&g_NetSession, 0, sizeof g_NetSession);
    g_NetOwnNode = NET_NO_NODE;
    memset(&g_NetRounds.comm, 0, sizeof g_NetRounds.comm);
    memset(&g_NetRounds.engine, 0, sizeof g_NetRounds.engine);
    Net_Unlock();
    return 1;
}

int Net_Init(int type) { return Net_InitWith(type, nullptr, 1); }

int Net_Close(void)
{
    if (!s_initialised) return 1;
    // Lives until the layer is closed: the packet thread may still set it.
    uint8_t delivered = 0, toSuccessor = 0, toCreator = 0;
    const int ingame = g_NetState == NET_IN_GAME;
    if (ingame) {
        // The creator's LEAVE hands its role on: sent before the drop it
        // made last reached everyone, it would leave its successor without
        // the drop or its copies. From now on it drops nobody; a bounded
        // wait for their acknowledgements. A guest that takes the role on
        // the creator's LEAVE from now on hands it on at once.
        QuorNet_Depart();
        const uint32_t start = Thread_ClockMs();
        while (g_NetCreator && !QuorNet_DropsSettled() && Thread_ClockMs() - start < NET_LEAVE_WAIT_MS)
            Thread_Sleep(1);
    }
    if (g_NetState == NET_IN_SESSION || ingame) {
        NetPacket leave;
        memset(&leave, 0, sizeof leave);
        Net_BuildPacket(&leave, nullptr, 0, NET_LEAVE);
        Net_Lock();
        int to = NET_NO_NODE;
        const int creator = g_NetCreator;
        if (g_NetOwnNode < NET_NODES && Net_RingNextNode(g_NetOwnNode) != g_NetOwnNode && !QuorNet_HandedOn())
            to = g_NetCreator ? Net_RingNextNode(g_NetOwnNode) : g_NetSession.creator;
        if (QuorNet_HandedOn()) {
            to = g_NetOwnNode; // its LEAVE is on the way
        } else if (to >= NET_NODES) {
            to = NET_NO_NODE;
            TLOG(TLOG_NDIAG, "No other nodes");
        } else {
            // Acknowledged: a lost LEAVE would leave the others waiting for a
            // creator that is gone.
            NetPkt_SendReliable(&leave, &g_NetSession.players[to].address, &delivered, nullptr, nullptr);
            // A creator's goodbye word to every other node: its successor's
            // takeover is then taken at once, not at the takeover limit.
            if (g_NetCreator && ingame) QuorNet_SayGoodbye(to);
            // A guest's goodbye goes to the creator's successor too: the
            // creator may be gone, and the successor, keeping it, drops this
            // node right after the creator when it takes the role, not at
            // the drop limit.
            const int next = Net_RingNextNode(to);
            if (!g_NetCreator && next != g_NetOwnNode && next != to)
                NetPkt_SendReliable(&leave, &g_NetSession.players[next].address, &toSuccessor, nullptr, nullptr);
        }
        Net_Unlock();
        // In a game the goodbye may have copies to repeat: a longer bound.
        const uint32_t start = Thread_ClockMs(), wait = ingame ? (uint32_t)QUORNET_GOODBYE_WAIT_MS : (uint32_t)NET_LEAVE_WAIT_MS;
        uint32_t repeated = start;
        for (uint32_t i = 0; to != NET_NO_NODE && i < wait; i++) {
            Net_Lock();
            const uint32_t now = Thread_ClockMs();
            // A guest that took the role on the creator's LEAVE while it
            // waited here hands it on: its successor acknowledges once it
            // took the takeover, which the word lets it take at once.
            const int handed = QuorNet_HandedOn();
            const int c = g_NetSession.creator;
            int done;
            if (handed || (creator && ingame)) {
                done = (handed ? handed == 2 : delivered) && QuorNet_GoodbyeSaid();
            } else {
                // A guest: the creator took its LEAVE, or the creator is gone
                // here and its successor keeps it.
                done = delivered || toCreator || (toSuccessor && ingame && QuorNet_NodeGone(c));
                // A guest whose creator left meanwhile (its LEAVE refused by
                // the departing one) says goodbye to the successor that took
                // the role.
                if (!done && ingame && !g_NetCreator && c != to && c < NET_NODES && c != g_NetOwnNode &&
                    Net_IsNodeInSession(c) && !toCreator) {
                    NetPkt_SendReliable(&leave, &g_NetSession.players[c].address, &toCreator, nullptr, nullptr);
                    to = c;
                }
            }
            // At heavy loss a lost goodbye costs the others the takeover
            // limit: copies of it go out between the layer's resends.
            if (!done && ingame && now - repeated >= QUORNET_GOODBYE_GAP_MS) {
                QuorNet_RepeatGoodbye();
                if (creator && !handed && !delivered) NetPkt_Send(&leave, &g_NetSession.players[to].address);
                repeated = now;
            }
            Net_Unlock();
            if (done || now - start >= wait) break;
            Thread_Sleep(1);
        }
    }
    if (g_NetState == NET_LOBBY || g_NetState == NET_IN_SESSION) {
        DestroyFound();
        NetPkt_SetReceiveHandler(nullptr);
        NetPkt_SetAcceptFilter(Net_RefuseAll);
    } else if (g_NetState == NET_IN_GAME || g_NetRounds.event) {
        // Also after the game went on alone: its handlers are still in.
        Net_CloseGame();
    }
    // Under the lock: the packet thread's last pass may still ask who is a peer.
    Net_Lock();
    g_NetState = NET_IDLE;
    s_initialised = 0;
    Net_Unlock();
    NetPkt_Close();
    NetPkt_SetAcceptFilter(nullptr);
    NetPkt_SetPinTest(nullptr);
    QuorNet_ReportStatistics();
    return 1;
}

int Net_BeginSession(void)
{
    Net_LockFoundSessions();
    GLL_Destroy(g_FoundSessions, GLL_FREE_ELEMENTS);
    g_FoundSessions = GLL_Create();
    s_searchedCount = 0;
    s_markCount = 0;
    Net_UnlockFoundSessions();
    Net_Lock();
    NetPkt_SetAcceptFilter(Net_LobbyFilter);
    NetPkt_SetReceiveHandler(Net_LobbyReceive);
    g_NetSettings.options &= ~((1u << 9) | (1u << 10) | (1u << 11));
    g_NetState = NET_LOBBY;
    WriteText((uint8_t*)g_NetSettings.scenario, g_ScenarioName, NET_SCENARIO_SIZE);
    for (int n = 0; n < NET_NODES; n++) {
        NetNodeSettings* s = &g_NetSettings.node[n];
        s->side = NET_NO_SIDE;
        s->team = NET_NO_TEAM;
        s->colour = NET_NO_COLOUR;
        s->handicap = 0;
        memset(s->relations, NET_REL_NEUTRAL, sizeof s->relations);
        s->reserved = 0;
    }
    Net_Unlock();
    return 1;
}

int Net_EndSession(void)
{
    DestroyFound();
    NetPkt_SetReceiveHandler(nullptr);
    NetPkt_SetAcceptFilter(Net_RefuseAll);
    Net_Lock();
    g_NetState = NET_IDLE;
    Net_Unlock();
    return 1;
}

int Net_HostGame(void)
{
    Net_Lock();
    g_NetOwnNode = 0;
    g_NetCreator = 1;
    g_NetSession.creator = 0;
    g_NetSession.flags = (uint8_t)((g_NetSession.flags & ~NET_SESSION_LAUNCHED) | NET_SESSION_OPEN);
    g_NetState = NET_IN_SESSION;
    char name[NET_PLAYER_NAME_SIZE + 8];
    snprintf(name, sizeof name, "%s's Game", g_NetPlayerName);
    WriteText((uint8_t*)g_NetSession.name, name, NET_GAME_NAME_SIZE);
    g_NetSession.creator_address = g_NetOwnAddress;
    g_NetSession.count = 1;
    NetSessionPlayer* p = &g_NetSession.players[0];
    p->flags = NET_PLAYER_ACTIVE;
    WriteText((uint8_t*)p->name, g_NetPlayerName, NET_NAME_SIZE);
    p->address = g_NetOwnAddress;
    Net_Unlock();
    return 1;
}

// ---- finding and joining ----

int Net_Search(void)
{
    NetAddress to;
    memset(&to, 0, sizeof to);
    Net_LockFoundSessions();
    if (g_NetType == NET_TYPE_IPX) {
        memset(to.bytes, 0xFF, sizeof to.bytes);
        // A game that left its last searches unanswered leaves the list.
        NetSession* s = g_FoundSessions ? (NetSession*)GLL_GoFirst(g_FoundSessions) : nullptr;
        while (s) {
            FoundMark* m = MarkOf(&s->creator_address);
            if (m->missed >= NET_FOUND_MISSES) {
                Unmark(&s->creator_address);
                GLL_DeleteCurrent(g_FoundSessions);
                Debug_FreeBlock(s);
                s = (NetSession*)GLL_GetCurrent(g_FoundSessions);
                continue;
            }
            m->missed++;
            s->flags &= ~NET_SESSION_OPEN;
            s = (NetSession*)GLL_GoNext(g_FoundSessions);
        }
    } else if (g_NetType == NET_TYPE_UDP) {
        to = g_TypedAddress;
        if (!Searched(&to)) {
            if (s_searchedCount < NET_FOUND_MAX) {
                s_searched[s_searchedCount++] = to;
            } else {
                s_searched[s_searchedNext] = to;
                s_searchedNext = (s_searchedNext + 1) % NET_FOUND_MAX;
            }
        }
        if (g_FoundSessions)
            for (NetSession* s = (NetSession*)GLL_GoFirst(g_FoundSessions); s;
                 s = (NetSession*)GLL_GoNext(g_FoundSessions))
                if (NetPkt_SameAddress(&s->creator_address, &to)) s->flags &= ~NET_SESSION_OPEN;
    } else if (g_NetType == NET_TYPE_SERIAL) {
        to.kind = NET_TYPE_SERIAL;
    } else {
        Net_UnlockFoundSessions();
        TLOG(TLOG_NERR, "Search is not supported for this network type");
        return 1;
    }
    Net_UnlockFoundSessions();
    SendBlock(nullptr, 0, NET_SEARCH, &to, 0);
    return 1;
}

const char* Net_Join(const NetAddress* address, uint32_t timeout)
{
    TLOG(TLOG_MONO, "Attempting to connect to %d:%d:%d:%d:%d:%d", address->bytes[0], address->bytes[1],
         address->bytes[2], address->bytes[3], address->bytes[4], address->bytes[5]);
    NetSessionPlayer me;
    memset(&me, 0, sizeof me);
    me.flags = NET_PLAYER_ACTIVE;
    WriteText((uint8_t*)me.name, g_NetPlayerName, NET_NAME_SIZE);
    me.address = g_NetOwnAddress;
    uint8_t block[NET_PLAYER_BYTES];
    Net_WritePlayer(block, &me);
    Net_Lock();
    g_NetJoinResult = NET_JOIN_WAITING;
    s_joinAddress = *address;
    s_haveSession = 0;
    ForgetTaken();
    SendBlock(block, sizeof block, NET_JOIN, address, 1);
    Net_Unlock();
    // Bounded by the sleeps as well, so that a stopped clock cannot hold it.
    uint32_t start = Thread_ClockMs();
    for (uint32_t i = 0;; i++) {
        Net_Lock();
        int result = g_NetJoinResult;
        Net_Unlock();
        if (result == NET_JOIN_ACCEPTED) return nullptr;
        if (result == NET_JOIN_REFUSED) return g_NetRefusal;
        if (i >= timeout || Thread_ClockMs() - start >= timeout) return kJoinTimedOut;
        Thread_Sleep(1);
    }
}

// ---- settings ----

// The creator's rule for one node's changed record: a colour or team that
// another active node holds goes back to the old value.
static void ApplyUniqueness(int node, const NetNodeSettings* old)
{
    NetNodeSettings* s = &g_NetSettings.node[node];
    for (int pass = 0; pass < 2; pass++) {
        uint8_t value = pass == 0 ? s->colour : s->team;
        if (value == (pass == 0 ? NET_NO_COLOUR : NET_NO_TEAM)) continue;
        for (int i = 1; i < NET_NODES; i++) {
            int n = (node + i) % NET_NODES;
            if (!Net_IsNodeInSession(n)) continue;
            const NetNodeSettings* o = &g_NetSettings.node[n];
            if ((pass == 0 ? o->colour : o->team) == value) {
                if (pass == 0) s->colour = old->colour;
                else s->team = old->team;
                break;
            }
        }
    }
}

int Net_SendPlayerState(void)
{
    Net_Lock();
    if (!g_NetCreator) {
        uint8_t block[NET_NODE_SETTINGS_BYTES];
        Net_WriteNodeSettings(block, &g_NetStaged);
        SendBlock(block, sizeof block, NET_CHAT, &g_NetSession.creator_address, 1);
    } else if (g_NetOwnNode < NET_NODES) {
        NetNodeSettings old = g_NetSettings.node[g_NetOwnNode];
        g_NetSettings.node[g_NetOwnNode] = g_NetStaged;
        for (int n = 0; n < NET_NODES; n++) g_NetSession.players[n].flags &= ~NET_PLAYER_READY;
        BroadcastSession();
        ApplyUniqueness(g_NetOwnNode, &old);
        BroadcastSettings();
    }
    Net_Unlock();
    return 1;
}

// ---- chat, kick, pause, ping ----

void Net_SetMessageHandler(NetMessageHandler handler)
{
    Net_Lock();
    s_messageHandler = handler;
    Net_Unlock();
}
void Net_SetKickHandler(NetKickHandler handler)
{
    Net_Lock();
    s_kickHandler = handler;
    Net_Unlock();
}
void Net_SetPauseHandler(NetPauseHandler handler)
{
    Net_Lock();
    s_pauseHandler = handler;
    Net_Unlock();
}

// The text and its terminator, at most the message field.
static uint32_t MessageBlock(uint8_t* out, const char* text)
{
    size_t n = strnlen(text, NET_MESSAGE_SIZE - 1);
    memcpy(out, text, n);
    out[n] = 0;
    return (uint32_t)n + 1;
}

int Net_SendMessage(int node, const char* text)
{
    uint8_t block[NET_MESSAGE_SIZE];
    uint32_t length = MessageBlock(block, text);
    Net_Lock();
    int ok = node >= 0 && node < NET_NODES;
    if (ok) SendBlock(block, length, NET_MESSAGE, &g_NetSession.players[node].address, 1);
    Net_Unlock();
    return ok;
}

int Net_BroadcastMessage(const char* text)
{
    uint8_t block[NET_MESSAGE_SIZE];
    uint32_t length = MessageBlock(block, text);
    Net_Lock();
    BroadcastBlock(block, length, NET_MESSAGE);
    Net_Unlock();
    return 1;
}

int Net_Kick(int node)
{
    Net_Lock();
    int ok = node >= 0 && node < NET_NODES;
    if (ok) SendBlock(nullptr, 0, NET_KICK, &g_NetSession.players[node].address, 1);
    Net_Unlock();
    return ok;
}

int Net_SendPause(int state)
{
    uint8_t block[1] = {(uint8_t)state};
    Net_Lock();
    BroadcastBlock(block, 1, NET_PAUSE);
    NetPauseHandler handler = s_pauseHandler;
    Net_Unlock();
    if (handler) handler(state, g_NetOwnNode);
    return 1;
}

int Net_Ping(const NetAddress* address)
{
    SendBlock(nullptr, 0, NET_PING, address, 1);
    return 1;
}

int Net_PingAll(void)
{
    Net_Lock();
    BroadcastBlock(nullptr, 0, NET_PING);
    Net_Unlock();
    return 1;
}

// ---- launch ----

int Net_SendLaunch(void)
{
    Net_Lock();
    SendBlock(nullptr, 0, NET_LAUNCH, &g_NetSession.creator_address, 1);
    Net_Unlock();
    return 1;
}

int Net_HostLaunch(void)
{
    Net_Lock();
    if (g_NetSession.count <= 1) {
        UnitCycles = 1;
        g_NetLaunched = 1;
        Net_Unlock();
        return 1;
    }
    int nodes[NET_NODES];
    int count = OtherNodes(nodes);
    uint32_t sum = 0;
    for (int i = 0; i < count; i++) sum += Net_GetNodeRoundTrip(nodes[i]);
    uint32_t average = sum / (uint32_t)(g_NetSession.count - 1);
    TLOG(TLOG_NDIAG, "Ping Average : %d", (int)average);
    UnitCycles = g_NetSession.count + average / 20;
    g_NetLaunched = 1;
    g_NetworkGame = 1;
    uint8_t block[NET_LAUNCH_BYTES];
    Net_PutU32(block, UnitCycles);
    Net_WriteSettings(block + 4, &g_NetSettings);
    BroadcastBlock(block, sizeof block, NET_LAUNCH);
    g_NetSession.flags |= NET_SESSION_LAUNCHED;
    Net_Unlock();
    return 1;
}

// ---- the lobby dispatcher ----

int Net_RefuseAll(NetPacket*, const NetAddress*, uint32_t) { return 0; }

// Taken from another than the creator, a LEAVE at a guest would drop that
// node here and not on the creator, and the two machines would set the game
// up differently.
int Net_LeaveTaken(int source, const NetAddress* from)
{
    return Net_FromNode(source, from) && (g_NetCreator || source == g_NetSession.creator);
}

// A ROUND in the lobby is a faster node's first, sent before this node's own
// LAUNCH came: acknowledged here it would be lost to the game.
//
// A packet whose address may not send it is not acknowledged: taken, it
// would mark its id delivered, and the real packet of that address under the
// same id would then be taken for a duplicate and lost.
int Net_LobbyFilter(NetPacket* packet, const NetAddress* from, uint32_t)
{
    const uint32_t type = Net_Type(packet) & 0xFF;
    if (!Net_SourceTrusted(packet, from)) return 0;
    // A message before the page that shows it (a guest still joining, its
    // SESSION behind the creator's greeting), or from a node this one does
    // not know yet (its SESSION behind the newcomer's greeting), would be
    // lost: its resend finds the page and the node.
    if (type == NET_MESSAGE && (!s_messageHandler || !Net_FromNode(Net_Source(packet), from))) return 0;
    // Likewise a kick that comes before the SESSION naming its creator.
    if (type == NET_KICK && !g_NetCreator && !s_haveSession) return 0;
    // A guest's word from the creator (or a takeover's, once taken) comes
    // again until it is taken; a JOIN cut short is nobody's.
    if (!g_NetCreator && (type == NET_CHAT || type == NET_LAUNCH) && !Net_FromCreator(from)) return 0;
    if (!g_NetCreator && type == NET_SESSION && !Net_TakesSession(packet, from)) return 0;
    if (type == NET_LEAVE && !Net_LeaveTaken(Net_Source(packet), from)) return 0;
    if (type == NET_JOIN && Net_Length(packet) < NET_HEADER_SIZE + (uint32_t)NET_PLAYER_BYTES) return 0;
    return type != NET_ROUND;
}

NetMessageHandler Net_MessageHandler(void) { return s_messageHandler; }
NetPauseHandler Net_PauseHandler(void) { return s_pauseHandler; }

int Net_FromCreator(const NetAddress* from)
{
    if (g_NetType == NET_TYPE_SERIAL) return 1;
    if (!s_haveSession && g_NetState != NET_IN_GAME) return NetPkt_SameAddress(from, &s_joinAddress);
    return NetPkt_SameAddress(from, &g_NetSession.creator_address);
}

// ---- the creator's successor ----

// The successor speaks for the session only when it takes the creator's
// role: the creator left it its LEAVE, or fell silent. Its word taken at
// any time, one datagram from its address (a stranger that joined first)
// could drop any node on one guest and not on the others, or tell a guest
// that a creator still hosting had quit. In a game a guest takes it once the
// creator is gone by the rounds' own measure (its goodbye word came, or it
// has been silent here for the takeover limit less a margin: quornet.h).
// In the lobby, which has no rounds to measure silence by, a guest asks the
// creator first, with a SEARCH that only a live creator of this session
// answers (a PING's acknowledgement comes from any program at that
// address), and takes the takeover's next resend once the creator has left
// its questions unanswered for NET_PROBE_MS. Either decision depends on
// state and the clock alone, so the accept filter and the handler, asked
// in turn of one datagram, agree.

// Whether the block, from this address, is a takeover: from a node after
// the creator in ring order, naming that node the creator at its own
// address, dropping the creator, with every node between the two gone here
// (lost with the creator, or dropped by it in a SESSION this node missed),
// dropping no other node this node counts in, and moving none. Usually the node after the creator, with no
// node between.
static int IsTakeover(const NetSession* s, const NetAddress* from)
{
    const int c = g_NetSession.creator;
    if (c >= NET_NODES || !Net_IsNodeInSession(c)) return 0;
    uint8_t between[NET_NODES] = {};
    int next = Net_RingNextNode(c);
    for (; next != c && next != g_NetOwnNode; next = Net_RingNextNode(next)) {
        if (NetPkt_SameAddress(from, &g_NetSession.players[next].address)) break;
        between[next] = 1;
    }
    const NetAddress* at = &g_NetSession.players[next].address;
    if (next == c || next == g_NetOwnNode || !NetPkt_SameAddress(from, at)) return 0;
    if (s->creator != next || !NetPkt_SameAddress(&s->creator_address, at)) return 0;
    if (s->players[c].flags & NET_PLAYER_ACTIVE) return 0;
    for (int n = 0; n < NET_NODES; n++) {
        if (n == c || !Net_IsNodeInSession(n)) continue;
        if (between[n]) {
            // Shown out, or in as a recent drop of the creator's that the
            // new creator has yet to announce (a drop this node missed):
            // gone here either way, or no takeover.
            if (!QuorNet_NodeGone(n)) return 0;
            continue;
        }
        if (!(s->players[n].flags & NET_PLAYER_ACTIVE) ||
            !NetPkt_SameAddress(&s->players[n].address, &g_NetSession.players[n].address))
            return 0;
    }
    return 1;
}

static void AskCreator(uint32_t now)
{
    s_probe.last = now;
    SendBlock(nullptr, 0, NET_SEARCH, &s_probe.creator, 0);
}

// Whether the creator has left the probe unanswered long enough; starts or
// goes on with the probe.
static int CreatorGone(void)
{
    const uint32_t now = Thread_ClockMs();
    CreatorProbe* p = &s_probe;
    if (!p->running || p->answered || now - p->start > NET_PROBE_STALE_MS ||
        !NetPkt_SameAddress(&p->creator, &g_NetSession.creator_address)) {
        if (!p->running || p->answered)
            TLOG(TLOG_NWARN, "The creator's successor takes its role: asking the creator");
        p->running = 1;
        p->answered = 0;
        p->creator = g_NetSession.creator_address;
        p->start = p->seen = now;
        p->unanswered = 0;
        AskCreator(now);
        return 0;
    }
    // A stall of this node's own (stopped, swapped out) is no silence of the
    // creator, whose answer waits unread in it: it counts for half the
    // question's time at most, as the rounds count such a stall short.
    p->unanswered += std::min(now - p->seen, (uint32_t)NET_PROBE_MS / 2);
    p->seen = now;
    if (p->unanswered >= NET_PROBE_MS) return 1;
    if (now - p->last >= NET_PROBE_GAP_MS) AskCreator(now);
    return 0;
}

int Net_IsTakeover(const NetPacket* packet, const NetAddress* from)
{
    // A joiner has no session yet whose creator could be taken over.
    if (g_NetType == NET_TYPE_SERIAL || (!s_haveSession && g_NetState != NET_IN_GAME)) return 0;
    if (g_NetCreator || Net_Length(packet) != NET_HEADER_SIZE + (uint32_t)NET_SESSION_BYTES) return 0;
    NetSession s;
    Net_ReadSession(Net_Data(packet), &s);
    return IsTakeover(&s, from);
}

int Net_TakesSession(const NetPacket* packet, const NetAddress* from)
{
    if (Net_FromCreator(from)) return 1;
    if (!Net_IsTakeover(packet, from)) return 0;
    return g_NetState == NET_IN_GAME ? QuorNet_TakeoverDue(packet) : CreatorGone();
}

void Net_CreatorAnswers(const NetPacket* packet, const NetAddress* from)
{
    if (!s_probe.running || !NetPkt_SameAddress(from, &s_probe.creator) ||
        !NetPkt_SameAddress(from, &g_NetSession.creator_address) ||
        Net_Length(packet) != NET_HEADER_SIZE + (uint32_t)NET_SESSION_BYTES)
        return;
    NetSession s;
    Net_ReadSession(Net_Data(packet), &s);
    if (s.creator == g_NetSession.creator && NetPkt_SameAddress(&s.creator_address, from)) s_probe.answered = 1;
}

int Net_FromNode(int node, const NetAddress* from)
{
    if (!Net_IsNodeInSession(node)) return 0;
    return g_NetType == NET_TYPE_SERIAL || NetPkt_SameAddress(from, &g_NetSession.players[node].address);
}

// ---- who may speak for whom ----

// Whether a node has a part in the session: active, or in a game dropped
// from it (its packets may still come until it hears so).
static int NodeKnown(int node)
{
    if (node < 0 || node >= NET_NODES) return 0;
    return Net_IsNodeInSession(node) || (g_NetState == NET_IN_GAME && g_NetRounds.droppedat[node]);
}

// The known node whose address this is; NET_NO_NODE for a stranger or a
// newcomer.
static int NodeOfAddress(const NetAddress* from)
{
    for (int n = 0; n < NET_NODES; n++)
        if (NodeKnown(n) && NetPkt_SameAddress(from, &g_NetSession.players[n].address)) return n;
    return NET_NO_NODE;
}

int Net_SourceTrusted(const NetPacket* packet, const NetAddress* from)
{
    if (g_NetType == NET_TYPE_SERIAL) return 1; // one cable, one other end
    const int source = Net_Source(packet);
    const int node = NodeOfAddress(from);
    if (node < NET_NODES) {
        if (source == node) return 1;
        // A joiner not yet told its number: its JOIN again (the answer was
        // lost), a search or a ping from its pages.
        const uint32_t type = Net_Type(packet) & 0xFF;
        return source == NET_NO_NODE && (type == NET_JOIN || type == NET_SEARCH || type == NET_PING);
    }
    // A stranger or a newcomer may not name a node of the session.
    return !NodeKnown(source);
}

int Net_IsPeerAddress(const NetAddress* address)
{
    if (g_NetType == NET_TYPE_SERIAL) return 1;
    if (NodeOfAddress(address) < NET_NODES) return 1;
    if (g_NetState >= NET_IN_SESSION && NetPkt_SameAddress(address, &g_NetSession.creator_address)) return 1;
    // A guest on its way in: the creator it asked.
    return !s_haveSession && g_NetJoinResult == NET_JOIN_WAITING && NetPkt_SameAddress(address, &s_joinAddress);
}

void Net_LogRefused(const char* why, const NetPacket* packet, const NetAddress* from)
{
    if (!NetLog_Allow(NETLOG_UNTRUSTED)) return;
    const uint8_t* b = from->bytes;
    TLOG(TLOG_NWARN, "%s %s naming node %d from %u:%d.%d.%d.%d.%d.%d refused", why,
         Net_PacketTypeName(Net_Type(packet) & 0xFF), Net_Source(packet), from->kind, b[0], b[1], b[2], b[3],
         b[4], b[5]);
}

// A kick comes from the creator alone, by its own address and number; the
// creator itself is never kicked.
static int KickFromCreator(int source, const NetAddress* from)
{
    if (g_NetCreator) return 0;
    if (g_NetType == NET_TYPE_SERIAL) return 1;
    return s_haveSession && source == g_NetSession.creator &&
           NetPkt_SameAddress(from, &g_NetSession.creator_address);
}

// Under the found-sessions lock, IPX: the listed entry whose place a
// newcomer may take, null when none may give way. The search is broadcast,
// so anyone on the network answers it, and a stream of answers from many
// addresses must not push out a game that answers the searches: an entry
// that answered the open search or either of the two before it keeps its
// place (one lost answer costs a game nothing), so only one that left whole
// searches unanswered, due to leave at the next search anyway, gives way.
// By the list's own mark: the answer's flags are its sender's word, which a
// forger sets.
static NetSession* SilentEntry(void)
{
    const FoundMark* silent = nullptr;
    for (int i = 0; i < s_markCount && !silent; i++)
        if (s_marks[i].missed >= NET_FOUND_MISSES) silent = &s_marks[i];
    if (!silent) return nullptr;
    for (NetSession* f = (NetSession*)GLL_GoFirst(g_FoundSessions); f; f = (NetSession*)GLL_GoNext(g_FoundSessions))
        if (NetPkt_SameAddress(&f->creator_address, &silent->address)) return f;
    return nullptr;
}

// An answer to a search, from the address it names as the creator (and
// over UDP only from an address the page searched): one address, one entry,
// so a stranger's answers fill no more than one. Over IPX an address counts
// once per SEARCH of ours (its first answer after it, until the next), and
// a full list takes a newcomer only in the place of an entry that left the
// last whole searches unanswered (SilentEntry); over UDP, where only the searched
// addresses answer, a full list gives a new creator the entry answered
// least recently.
static void ReceiveSearchResponse(const NetPacket* packet, const uint8_t* data, const NetAddress* from)
{
    NetSession answer;
    Net_ReadSession(data, &answer);
    // The serial line's far end reports itself under an address of its own.
    if (g_NetType != NET_TYPE_SERIAL && !NetPkt_SameAddress(from, &answer.creator_address)) {
        Net_LogRefused("Another address's", packet, from);
        return;
    }
    Net_LockFoundSessions();
    if (!g_FoundSessions || (g_NetType == NET_TYPE_UDP && !Searched(from))) {
        Net_UnlockFoundSessions();
        if (g_FoundSessions) Net_LogRefused("An unasked", packet, from);
        return;
    }
    const bool broadcast = g_NetType == NET_TYPE_IPX;
    NetSession* entry = nullptr;
    for (NetSession* f = (NetSession*)GLL_GoFirst(g_FoundSessions); f && !entry;
         f = (NetSession*)GLL_GoNext(g_FoundSessions))
        if (NetPkt_SameAddress(&f->creator_address, from)) entry = f;
    const char* refused = nullptr;
    // Listed, its mark is made: none missed is an answer since the latest search.
    if (entry && broadcast && MarkOf(from)->missed == 0) {
        refused = "A second";
    } else if (!entry && g_FoundSessions->count >= NET_FOUND_MAX) {
        if (broadcast) {
            entry = SilentEntry();
            if (!entry) refused = "A newcomer's (the found list full)";
        } else {
            uint32_t oldestAnswered = 0;
            for (NetSession* f = (NetSession*)GLL_GoFirst(g_FoundSessions); f;
                 f = (NetSession*)GLL_GoNext(g_FoundSessions)) {
                const uint32_t answered = MarkOf(&f->creator_address)->answered;
                if (!entry || (int32_t)(answered - oldestAnswered) < 0) entry = f, oldestAnswered = answered;
            }
        }
        if (entry) {
            Unmark(&entry->creator_address);
            TLOG(TLOG_NDIAG, "Found session list full: the entry %s gives way",
                 broadcast ? "silent for the last searches" : "answered least recently");
        }
    } else if (!entry) {
        entry = (NetSession*)Debug_Calloc(1, sizeof(NetSession));
        GLL_GoFirst(g_FoundSessions);
        GLL_InsertAfter(g_FoundSessions, entry);
    }
    if (refused) {
        Net_UnlockFoundSessions();
        Net_LogRefused(refused, packet, from);
        return;
    }
    *entry = answer;
    FoundMark* m = MarkOf(from);
    m->answered = ++s_answers;
    m->missed = 0;
    Net_UnlockFoundSessions();
}

static void SendRefusal(const NetAddress* to, const char* key)
{
    uint8_t block[NET_REFUSE_BYTES];
    uint8_t session[NET_SESSION_BYTES];
    Net_WriteSession(session, &g_NetSession);
    memcpy(block, session, NET_SESSION_HEAD_BYTES);
    WriteText(block + NET_SESSION_HEAD_BYTES, key, NET_REFUSAL_SIZE);
    SendBlock(block, sizeof block, NET_JOIN_REFUSE, to, 0);
}

static void ReceiveJoin(const uint8_t* data, const NetAddress* from)
{
    NetSessionPlayer joiner;
    Net_ReadPlayer(data, &joiner);
    // A JOIN from a member is one whose answer was lost: answer it again.
    for (int n = 0; n < NET_NODES; n++) {
        if (Net_IsNodeInSession(n) && NetPkt_SameAddress(&g_NetSession.players[n].address, from)) {
            SendSessionTo(from);
            SendSettingsTo(from);
            return;
        }
    }
    if (!joiner.name[0]) {
        if (NetLog_Allow(NETLOG_UNTRUSTED)) TLOG(TLOG_NWARN, "A player without a name refused");
        SendRefusal(from, kRefusalNoName);
        return;
    }
    for (int n = 0; n < NET_NODES; n++) {
        if (Net_IsNodeInSession(n) && strcmp(g_NetSession.players[n].name, joiner.name) == 0) {
            TLOG(TLOG_NWARN, "Duplicate Player Name Detected");
            SendRefusal(from, kRefusalNameUsed);
            return;
        }
    }
    int node = -1;
    for (int n = 0; n < NET_NODES && node < 0; n++)
        if (!(g_NetSession.players[n].flags & NET_PLAYER_ACTIVE)) node = n;
    if (node < 0) {
        TLOG(TLOG_NWARN, "%s could not join", joiner.name);
        SendRefusal(from, kRefusalTooMany);
        return;
    }
    joiner.flags = NET_PLAYER_ACTIVE;
    joiner.address = *from;
    g_NetSession.players[node] = joiner;
    memset(&s_lastNodeSettings[node], 0, sizeof s_lastNodeSettings[node]);
    g_NetSession.count++;
    BroadcastSession();
    g_NetSessionChanged = 1;
    TLOG(TLOG_NDIAG, "%s (%d) has Joined the Game", joiner.name, node);
    g_NetSettings.slottypes[node] = NET_SLOT_HUMAN;
    NetNodeSettings* s = &g_NetSettings.node[node];
    s->side = NET_NO_SIDE;
    s->team = NET_NO_TEAM;
    memset(s->relations, NET_REL_NEUTRAL, sizeof s->relations);
    s->relations[node] = NET_REL_ALLY;
    s->reserved = g_NetStaged.reserved;
    BroadcastSettings();
    TLOG(TLOG_NDIAG, "Sent Notification of Session to all nodes");
}

static void ReceiveLeave(const NetPacket* packet, const NetAddress* from)
{
    const int source = Net_Source(packet);
    if (!Net_LeaveTaken(source, from)) {
        Net_LogRefused("Not the creator's", packet, from);
        return;
    }
    TLOG(TLOG_NDIAG, "%s (%d) has Left the Game", g_NetSession.players[source].name, source);
    if (!g_NetCreator && source == g_NetSession.creator) Net_TakeCreatorRole();
    g_NetSession.players[source].flags &= ~NET_PLAYER_ACTIVE;
    if (g_NetSession.count) g_NetSession.count--;
    BroadcastSession();
    TLOG(TLOG_NDIAG, "Sent Notification of Session to all nodes");
}

void Net_TakeCreatorRole(void)
{
    if (g_NetOwnNode >= NET_NODES) return;
    g_NetCreator = 1;
    g_NetSession.creator = g_NetOwnNode;
    g_NetSession.creator_address = g_NetOwnAddress;
    TLOG(TLOG_NDIAG, "Console is now Game Creator !!!");
}

// The reliable layer may deliver an older packet after a newer one (a
// resend of the older whose acknowledgement was lost, or one held up on the
// way): a sender's packets to this node count up, so one below the last
// taken of its kind is older, and would bring back a former player list or
// a player's former colour or choices.
static int Newer(LastTaken* last, const char* kind, const NetPacket* packet, const NetAddress* from)
{
    // Id 0: sent without acknowledgement, out of the count.
    uint32_t id = Net_Id(packet);
    if (id == 0) return 1;
    if (last->have && NetPkt_SameAddress(from, &last->from) && (int32_t)(id - last->id) <= 0) {
        TLOG(TLOG_NWARN, "Older %s (id %u, last %u) ignored", kind, (unsigned)id, (unsigned)last->id);
        return 0;
    }
    last->have = 1;
    last->from = *from;
    last->id = id;
    return 1;
}

static void ReceiveSession(const uint8_t* data)
{
    g_NetState = NET_IN_SESSION;
    Net_ReadSession(data, &g_NetSession);
    s_haveSession = 1;
    g_NetJoinResult = NET_JOIN_ACCEPTED;
    Net_FindOwnNode();
}

void Net_FindOwnNode(void)
{
    if (g_NetType == NET_TYPE_SERIAL) {
        g_NetOwnNode = g_NetCreator ? 0 : 1;
        return;
    }
    g_NetOwnNode = NET_NO_NODE;
    for (int n = 0; n < NET_NODES; n++) {
        if (NetPkt_SameAddress(&g_NetSession.players[n].address, &g_NetOwnAddress)) {
            g_NetOwnNode = (uint8_t)n;
            return;
        }
    }
    TLOG(TLOG_NWARN, "Could not find Address in Session");
}

void Net_LobbyReceive(NetPacket* packet, const NetAddress* from, uint32_t)
{
    uint32_t type = Net_Type(packet) & 0xFF;
    int source = Net_Source(packet);
    TLOG(TLOG_NDIAG, "Received PACKET : type %s : from %d [%d:%d:%d:%d:%d:%d]", Net_PacketTypeName(type),
         source, from->bytes[0], from->bytes[1], from->bytes[2], from->bytes[3], from->bytes[4],
         from->bytes[5]);
    if (NetPkt_SameAddress(from, &g_NetOwnAddress)) {
        TLOG(TLOG_NDIAG, "Got packet from console");
        return;
    }
    if (type < NET_PING || type > NET_KICK || type == NET_PAUSE || type == NET_ROUND) {
        if (NetLog_Allow(NETLOG_UNEXPECTED)) TLOG(TLOG_NERR, "Unknown Packet Type Received");
        return;
    }
    if (!Net_SourceTrusted(packet, from)) {
        Net_LogRefused("Another node's", packet, from);
        return;
    }
    // Zeroed first: a short payload leaves the rest of the block empty.
    uint8_t data[NET_MAX_DATA + 1];
    memset(data, 0, sizeof data);
    switch (type) {
    case NET_PING:
        break;
    case NET_SEARCH:
        if (g_NetCreator && g_NetState == NET_IN_SESSION) {
            uint8_t block[NET_SESSION_BYTES];
            Net_WriteSession(block, &g_NetSession);
            SendBlock(block, sizeof block, NET_SEARCH_RESPONSE, from, 0);
        }
        break;
    case NET_SEARCH_RESPONSE:
        if (g_NetState == NET_IN_SESSION && !g_NetCreator) Net_CreatorAnswers(packet, from);
        else if (Net_UnpackPacket(packet, data, NET_SESSION_BYTES)) ReceiveSearchResponse(packet, data, from);
        break;
    case NET_JOIN:
        if (!g_NetCreator) break;
        // A player entry cut short (an empty name, no address) is no joiner.
        if (Net_Length(packet) < NET_HEADER_SIZE + (uint32_t)NET_PLAYER_BYTES) Net_LogRefused("A short", packet, from);
        else if (Net_UnpackPacket(packet, data, NET_PLAYER_BYTES)) ReceiveJoin(data, from);
        break;
    case NET_JOIN_REFUSE:
        if (g_NetCreator || !Net_FromCreator(from)) break;
        if (Net_UnpackPacket(packet, data, NET_REFUSE_BYTES))
            ReadText(g_NetRefusal, data + NET_SESSION_HEAD_BYTES, NET_REFUSAL_SIZE);
        else
            WriteText((uint8_t*)g_NetRefusal, kRefusalUnknown, NET_REFUSAL_SIZE);
        g_NetJoinResult = NET_JOIN_REFUSED;
        TLOG(TLOG_NDIAG, "Join request failed : %s", g_NetRefusal);
        break;
    case NET_LEAVE:
        ReceiveLeave(packet, from);
        break;
    case NET_SESSION:
        if (g_NetCreator) break;
        if (!Net_TakesSession(packet, from)) {
            if (!Net_FromCreator(from)) Net_LogRefused("Not the creator's", packet, from);
            break;
        }
        if (Net_UnpackPacket(packet, data, NET_SESSION_BYTES) && Newer(&s_lastSession, "SESSION", packet, from))
            ReceiveSession(data);
        break;
    case NET_CHAT:
        if (g_NetLaunched) break;
        if (!g_NetCreator) {
            if (Net_FromCreator(from) && Net_UnpackPacket(packet, data, NET_SETTINGS_BYTES) &&
                Newer(&s_lastSettings, "settings", packet, from))
                Net_ReadSettings(data, &g_NetSettings);
        } else if (Net_FromNode(source, from) && Net_UnpackPacket(packet, data, NET_NODE_SETTINGS_BYTES) &&
                   Newer(&s_lastNodeSettings[source], "player settings", packet, from)) {
            NetNodeSettings old = g_NetSettings.node[source];
            Net_ReadNodeSettings(data, &g_NetSettings.node[source]);
            ApplyUniqueness(source, &old);
            BroadcastSettings();
        }
        break;
    case NET_MESSAGE:
        if (!s_messageHandler) break;
        if (!Net_FromNode(source, from)) {
            Net_LogRefused("A stranger's", packet, from);
            break;
        }
        if (Net_UnpackPacket(packet, data, NET_MESSAGE_SIZE)) {
            data[NET_MESSAGE_SIZE - 1] = 0;
            s_messageHandler(source, (const char*)data);
        }
        break;
    case NET_LAUNCH:
        if (!g_NetCreator) {
            if (Net_FromCreator(from) && Net_UnpackPacket(packet, data, NET_LAUNCH_BYTES)) {
                UnitCycles = Bytes_U32(data);
                Net_ReadSettings(data + 4, &g_NetSettings);
                g_NetLaunched = 1;
                g_NetworkGame = 1;
            }
        } else if (Net_FromNode(source, from)) {
            g_NetSession.players[source].flags |= NET_PLAYER_READY;
            BroadcastSession();
        }
        break;
    case NET_KICK:
        if (!s_kickHandler) break;
        if (KickFromCreator(source, from)) s_kickHandler(source);
        else Net_LogRefused("Not the creator's", packet, from);
        break;
    }
}
