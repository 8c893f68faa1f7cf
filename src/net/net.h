// Sessions: finding, joining and staging a network game.
//
// Up to eight nodes meet around one creator. The creator admits or refuses
// joiners, resolves conflicting choices and broadcasts the session block and
// the settings block; guests send their own choices to the creator and copy
// what it broadcasts. The lobby dispatcher runs on the packet thread under
// the game network lock; the senders run on the main thread and take the
// same lock over what the dispatcher changes.
//
// Blocks travel as packed little-endian bytes, read and written field by
// field; every text read from the wire is terminated within its field.
//
// Trust: a packet's source must be the node at its address. A node's
// address speaks only as that node (a joiner not yet told its number also
// for its JOIN, SEARCH and PING), and an address of no node may not name
// one; such a packet is refused before it is acknowledged, so it never
// takes the id of the real packet it copies. A guest takes SESSION, settings
// CHAT, LAUNCH, LEAVE and KICK only from the creator's address (before its
// first SESSION: the address it joined); the creator is never kicked. The
// node that succeeds the creator speaks for the session only by a takeover:
// a SESSION naming it the creator that drops the creator and no other node,
// taken in a game only once the creator is gone by the rounds' measure of
// silence (quornet.h), in the lobby only when the creator leaves a guest's
// SEARCH unanswered (Net_TakesSession); after it, the successor is the
// creator. A creator takes a node's CHAT, LAUNCH
// and LEAVE only from that node's own address, and every node takes a chat
// line or a pause only from the address of the node it names. A search's
// answer counts only from the address it names as the creator. On the
// serial line every packet is the other node's.
#pragma once

#include <cstdint>

#include "net/netpkt.h"

struct GLL;

enum {
    NET_NODES = 8,
    NET_NO_NODE = 8,           // own node not found in the session
    NET_NAME_SIZE = 16,        // player name field: 15 characters
    NET_GAME_NAME_SIZE = 24,
    NET_SCENARIO_SIZE = 13,
    NET_REFUSAL_SIZE = 80,
    NET_MESSAGE_SIZE = 256,
    NET_PLAYER_NAME_SIZE = 64, // g_NetPlayerName
    NET_ADDRESS_BYTES = 10,
    NET_PLAYER_BYTES = 27,
    NET_SESSION_BYTES = 253,
    NET_SESSION_HEAD_BYTES = 37, // the part of the block a JOIN REFUSE carries
    NET_NODE_SETTINGS_BYTES = 17,
    NET_SETTINGS_BYTES = 165,
    NET_LAUNCH_BYTES = 4 + NET_SETTINGS_BYTES,
    NET_REFUSE_BYTES = NET_SESSION_HEAD_BYTES + NET_REFUSAL_SIZE,
    NET_FOUND_MAX = 64,        // found sessions kept at most
    NET_FOUND_MISSES = 3,      // IPX searches a found session may leave unanswered and stay
    // In the lobby a guest asks the creator before it takes the successor's
    // takeover: this long unanswered, the creator is gone.
    NET_PROBE_MS = 1000,
    NET_PROBE_GAP_MS = 200,    // the question again, at most this often
    NET_PROBE_STALE_MS = 10000, // a probe this old starts afresh
    NET_LEAVE_WAIT_MS = 1000,  // Net_Close waits this long for its LEAVE's acknowledgement
};

// Session flags.
enum { NET_SESSION_LAUNCHED = 1, NET_SESSION_OPEN = 2 };
// Player flags.
enum { NET_PLAYER_ACTIVE = 1, NET_PLAYER_READY = 2 };
// Session states.
enum NET_STATE { NET_IDLE = 0, NET_LOBBY = 1, NET_IN_SESSION = 2, NET_IN_GAME = 3 };
// Join results.
enum { NET_JOIN_WAITING = 0, NET_JOIN_REFUSED = 1, NET_JOIN_ACCEPTED = 2 };
// Slot types of the settings block.
enum { NET_SLOT_HUMAN = 0, NET_SLOT_AVAILABLE = 4, NET_SLOT_CLOSED = 5 };
// "Not chosen" values of a node's settings.
enum { NET_NO_SIDE = -1, NET_NO_TEAM = 255, NET_NO_COLOUR = 8 };
// Relations.
enum { NET_REL_ENEMY = 1, NET_REL_NEUTRAL = 2, NET_REL_ALLY = 4 };

struct NetSessionPlayer {
    uint8_t flags;
    char name[NET_NAME_SIZE];
    NetAddress address;
};

struct NetSession {
    uint8_t flags;
    uint8_t creator;
    NetAddress creator_address;
    char name[NET_GAME_NAME_SIZE];
    uint8_t count;
    NetSessionPlayer players[NET_NODES];
};

struct NetNodeSettings {
    int8_t side;
    uint8_t team;
    uint8_t group;
    uint8_t colour;
    uint8_t handicap;
    uint8_t relations[NET_NODES];
    uint32_t reserved;
};

struct NetGameSettings {
    uint32_t options;
    uint8_t slottypes[NET_NODES];
    char scenario[NET_SCENARIO_SIZE];
    uint32_t credits;
    NetNodeSettings node[NET_NODES];
};

typedef void (*NetMessageHandler)(int node, const char* text);
typedef void (*NetKickHandler)(int node);
typedef void (*NetPauseHandler)(int state, int node);

// The module's state. The dispatcher changes it under the game lock.
extern int g_NetType;                  // NET_TYPE_*
extern int g_NetState;                 // NET_STATE
extern int g_NetCreator;               // 1 on the creator
extern int g_NetLaunched;
extern int g_NetSessionChanged;        // set when a node joins; the pages clear it
extern int g_NetJoinResult;
extern char g_NetRefusal[NET_REFUSAL_SIZE];
extern uint32_t UnitCycles;            // updates per round
extern NetSession g_NetSession;
extern NetGameSettings g_NetSettings;
extern NetNodeSettings g_NetStaged;    // this node's choices, filled by the staging page
extern char g_NetPlayerName[NET_PLAYER_NAME_SIZE];
extern NetAddress g_TypedAddress;      // where a UDP search or ping goes
extern GLL* g_FoundSessions;           // of NetSession*, under Net_LockFoundSessions

// Wire forms. Each reads or writes exactly its block's byte count.
void Net_WriteAddress(uint8_t* out, const NetAddress* address);
void Net_ReadAddress(const uint8_t* in, NetAddress* address);
void Net_WritePlayer(uint8_t* out, const NetSessionPlayer* player);
void Net_ReadPlayer(const uint8_t* in, NetSessionPlayer* player);
void Net_WriteSession(uint8_t* out, const NetSession* session);
void Net_ReadSession(const uint8_t* in, NetSession* session);
void Net_WriteNodeSettings(uint8_t* out, const NetNodeSettings* node);
void Net_ReadNodeSettings(const uint8_t* in, NetNodeSettings* node);
void Net_WriteSettings(uint8_t* out, const NetGameSettings* settings);
void Net_ReadSettings(const uint8_t* in, NetGameSettings* settings);

// Clears the flags and the round, starts the packet layer on the type (0 when
// it fails), then state 0 and a cleared session block; 1.
int Net_Init(int type);
// Net_Init over a given transport; threaded 0: the caller runs NetPkt_Pass.
int Net_InitWith(int type, const NetTransport* transport, int threaded);
// Says goodbye in a session or game (LEAVE to the creator, or the creator's
// to the first active node after it and, in a game, its goodbye word to the
// others; waiting at most NET_LEAVE_WAIT_MS in a session and
// QUORNET_GOODBYE_WAIT_MS in a game for the acknowledgements), drops the
// found sessions and handlers, closes the packet layer; 1.
int Net_Close(void);
// An empty found-sessions list, the lobby dispatcher and filter, option bits 9-11
// cleared, state 1, the current scenario and every node's settings reset; 1.
int Net_BeginSession(void);
// Drops the found sessions and the dispatcher, refuses every acknowledgement
// until the game's handlers come; state 0; 1.
int Net_EndSession(void);
// This node becomes node 0 and the creator of an open session; 1.
int Net_HostGame(void);
// SEARCH to the network type's search address, marking the found sessions
// that must answer again as not open; 1.
int Net_Search(void);
// JOIN to the address, then waits up to timeout ms: null when accepted, else
// the refusal key or "Join Timed Out".
const char* Net_Join(const NetAddress* address, uint32_t timeout);
// Guest: its staged record to the creator. Creator: takes it, clears every
// ready bit, broadcasts the session, applies the uniqueness rule and
// broadcasts the settings; 1.
int Net_SendPlayerState(void);
// SESSION to every other active node; 1.
int Net_BroadcastSession(void);
void Net_SetMessageHandler(NetMessageHandler handler);
void Net_SetKickHandler(NetKickHandler handler);
void Net_SetPauseHandler(NetPauseHandler handler);
// MESSAGE with the text (cut to 255 characters) to a node; 1 when sent.
int Net_SendMessage(int node, const char* text);
// MESSAGE to every other active node; 1.
int Net_BroadcastMessage(const char* text);
// KICK to a node; 1 when sent.
int Net_Kick(int node);
// PAUSE to every other active node, then the local pause handler; 1.
int Net_SendPause(int state);
// PING with acknowledgement to an address; 1.
int Net_Ping(const NetAddress* address);
// PING to every other active node; 1.
int Net_PingAll(void);
// The packet layer's round-trip estimate of an active node; 0 otherwise.
uint32_t Net_GetNodeRoundTrip(int node);
// Guest: LAUNCH (ready) to the creator; 1.
int Net_SendLaunch(void);
// Creator: UnitCycles from the count and the average round trip, the
// launched and network-game flags, LAUNCH to every other active node; 1.
int Net_HostLaunch(void);
// 1 when the node is below 8 and its session entry is active: what the
// protocols go by.
int Net_IsNodeInSession(int node);
// 1 when the node is below 8 and active; in a game, from the rounds: a
// dropped node stays until its last round has executed (main thread only).
int Net_IsNodeActive(int node);
// The first active node after the node; the node itself when alone.
int Net_RingNextNode(int node);
// The active node (Net_IsNodeActive) whose settings hold the team, in ring
// order; 255 if none.
int Net_NodeOfTeam(int team);
// The team (start location) of a node's settings; 255 for a node of 8 or more.
int Net_GetNodeTeam(int node);
// Sends a built packet with acknowledgement to every other active node; with
// both arrays node n's send sets delivered[n] and counts in resends[n].
void Net_SendToOthers(NetPacket* packet, uint8_t* delivered, uint32_t* resends);
// The lobby dispatcher (the packet layer's receive handler in states 1, 2).
void Net_LobbyReceive(NetPacket* packet, const NetAddress* from, uint32_t time);
// An accept filter that withholds every acknowledgement.
int Net_RefuseAll(NetPacket* packet, const NetAddress* from, uint32_t time);
// The lobby's accept filter: withholds the acknowledgement of packets whose
// address may not send them (Net_SourceTrusted), of ROUND packets (they come
// again once this node's game has begun), of messages while no page takes
// them or from a node not yet known (they come again once it is), and of a
// guest's kick before its first SESSION; takes the rest.
int Net_LobbyFilter(NetPacket* packet, const NetAddress* from, uint32_t time);
// Whether a guest may take the creator's word from this address: the
// creator's, the joined one before the first SESSION.
int Net_FromCreator(const NetAddress* from);
// Whether a guest takes this SESSION: the creator's always; the successor's
// takeover in a game once QuorNet_TakeoverDue says so, in the lobby once the
// creator has left the guest's SEARCH unanswered for NET_PROBE_MS (the first
// such SESSION sends it; the refused ones go on with it). Asked by the
// accept filter and the handler alike.
int Net_TakesSession(const NetPacket* packet, const NetAddress* from);
// Whether the SESSION is the successor's takeover (from the node after the
// creator, naming itself the creator, dropping the creator and no other;
// or a chain's, from a node further on, each node between gone here, shown
// out or as a drop of the creator's that the taker has yet to announce).
int Net_IsTakeover(const NetPacket* packet, const NetAddress* from);
// A SEARCH RESPONSE at a guest in the lobby: the creator's answer to its
// question when it comes from the creator's address naming it the creator.
void Net_CreatorAnswers(const NetPacket* packet, const NetAddress* from);
// Whether a packet naming its source node came from that active node.
int Net_FromNode(int node, const NetAddress* from);
// Whether this node takes a LEAVE naming the node from this address: from
// the node's own address, and at a guest only the creator's (a guest's own
// LEAVE goes to the creator alone, whose SESSION tells the others).
int Net_LeaveTaken(int node, const NetAddress* from);
// Whether the packet's source may come from this address: the node at the
// address names itself (a joiner not yet numbered: 8 in its JOIN, SEARCH
// or PING), an address of no node names no node in the session (in a game
// also none dropped from it). Always 1 on the serial line.
int Net_SourceTrusted(const NetPacket* packet, const NetAddress* from);
// Whether the packet layer keeps the address's source entry in a full table:
// a node's, the creator's, the creator a guest is joining.
int Net_IsPeerAddress(const NetAddress* address);
// Logs a refused packet (NWARN, within the drop-log limit): "<why> <type>
// naming node <source> from <address> refused".
void Net_LogRefused(const char* why, const NetPacket* packet, const NetAddress* from);
// Sets g_NetOwnNode from the session block by the own address (8 when
// missing, logged); on the serial line 0 for the creator, else 1.
void Net_FindOwnNode(void);
// This node becomes the creator (its node must be known).
void Net_TakeCreatorRole(void);
// The installed handlers (null when none).
NetMessageHandler Net_MessageHandler(void);
NetPauseHandler Net_PauseHandler(void);
// The game network lock, for the pages that read the blocks.
void Net_Lock(void);
void Net_Unlock(void);
// The found-sessions list's lock; it lives as long as the program.
void Net_LockFoundSessions(void);
void Net_UnlockFoundSessions(void);
