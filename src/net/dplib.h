// The meeting service's client library: thirteen operations over one TCP
// connection to a meeting server.
//
// The library has no thread of its own. Every operation runs on the
// caller's thread, reads what the server has sent so far and calls its
// callbacks inside the call. Requests that expect an answer (enumerations,
// open, player creation) wait for it up to their time-out on the network
// clock; everything else the server sends (player notices, texts) queues
// for dpReceive. Every wait is bounded: a server that stops answering, ends
// the connection or sends a malformed message ends the connection with a
// logged reason (TLOG_NERR) and every later call answers DP_ERR_CONNECTION.
// The wire protocol is in docs/formats.md.
//
// Session records travel as the service's 83-byte records; offsets below.
#pragma once

#include <cstdint>

struct DPHANDLE_S;
typedef DPHANDLE_S* DPHANDLE;

enum {
    DP_OK = 0,
    DP_ERR_ARGS = 1,          // a null handle, callback or buffer
    DP_ERR_EMPTY = 2,         // dpReceive: nothing waits
    DP_ERR_CONNECTION = 3,    // no connection, or the server ended or broke it
    DP_ERR_TIMEOUT = 4,       // the server did not answer in time
    DP_ERR_REFUSED = 5,       // the server refused (session full, bad password, unknown session)
    DP_ERR_TOOBIG = 6,        // dpReceive: the packet is longer than the buffer (dropped)
    DP_ERR_NOSERVER = 7,      // dpSetGameServer: the name doesn't resolve or nobody listens
};

enum {
    DP_SESSION_BYTES = 83,
    DP_SESSION_GAMETYPE = 13, // u16
    DP_SESSION_ID = 15,       // u16, given by the server
    DP_SESSION_MAXPLAYERS = 17,
    DP_SESSION_PLAYERS = 19,
    DP_SESSION_CREATED = 21,  // u16 1 at creation
    DP_SESSION_NAME = 23,     // 32 bytes
    DP_SESSION_NAME_SIZE = 32,
    DP_SESSION_PASSWORD = 65, // u32 password check
    DP_SESSION_PARENT = 79,   // u32
    DP_NAME_SIZE = 24,        // player names on the wire
    DP_HOST_SIZE = 128,       // server host names, terminated
    DP_PACKET_MAX = 249,      // the largest packet dpSend takes
    DP_NOPLAYER = 64001,      // player id of a failure, and the end of a player enumeration
    DP_DEFAULT_PORT = 2626,
    DP_REQUEST_MS = 5000,     // open and player creation wait this long for the answer
    DP_PLAYER_SELF = 1,       // dpEnumPlayers flag: the caller's own player
};

// Callbacks. A server callback gets each server, then a final call with a
// null host; a session callback each record, then a null one; both answer
// nonzero to go on. The player callback gets each player and a final call
// with DP_NOPLAYER. The open callback gets the session's record as the
// server holds it (null never: a refusal is the call's result).
typedef int (*DP_SERVERFN)(const char* host, uint32_t pingms, void* context);
typedef int (*DP_SESSIONFN)(const uint8_t* record, void* context);
typedef int (*DP_PLAYERFN)(uint16_t id, const char* name, uint32_t flags, void* context);
typedef void (*DP_OPENFN)(const uint8_t* record, void* context);
typedef void (*DP_CREATEFN)(uint16_t id, void* context);

// A new handle in *handle (the transport module's name is kept only for
// the logs); DP_OK, or DP_ERR_ARGS for a null handle pointer.
int dpCreate(DPHANDLE* handle, const char* transport, void* reserved1, void* reserved2);
// Connects to "host[:port]" (DP_DEFAULT_PORT without one) within 5000 ms,
// from the address of QUORVEX_NETADDRESS when set, and greets the server;
// any earlier connection is dropped first. DP_ERR_NOSERVER when the name
// doesn't resolve, nobody answers or the greeting is wrong.
int dpSetGameServer(DPHANDLE handle, const char* server);
// Asks for the server list and calls back each server with its ping time
// (the request's round trip plus the delay the server lists), then once
// with null; the final call comes on failure too. DP_OK or an error.
int dpEnumServers(DPHANDLE handle, uint32_t timeoutms, DP_SERVERFN callback, void* context);
// Calls back each session of the filter's game type, then null (also on
// failure); stops early when the callback answers 0.
int dpEnumSessions(DPHANDLE handle, const uint8_t* filter, uint32_t flags, uint32_t timeoutms, DP_SESSIONFN callback,
                   void* context);
// Calls back each player of the open session (flags DP_PLAYER_SELF for the
// caller's), then once with DP_NOPLAYER; the session argument must be null.
int dpEnumPlayers(DPHANDLE handle, const uint8_t* session, DP_PLAYERFN callback, void* context, uint32_t flags);
// Opens a session: a record with session id 0 creates one, any other id
// joins that session (the server compares the password check). The
// callback runs inside the call on success; DP_ERR_REFUSED, DP_ERR_TIMEOUT.
// The previous session, if any, is closed first.
int dpOpen(DPHANDLE handle, const uint8_t* record, DP_OPENFN callback, void* context);
// Leaves the open session (the own player with it) and drops every queued
// packet of it. DP_OK also when none was open.
int dpClose(DPHANDLE handle);
// Creates the caller's player in the open session; the callback gets its
// id, or DP_NOPLAYER when the server refuses (then DP_ERR_REFUSED).
int dpCreatePlayer(DPHANDLE handle, DP_CREATEFN callback, const char* name, void* context);
// Removes the player (only the caller's own is honoured by the server).
int dpDestroyPlayer(DPHANDLE handle, uint16_t id);
// The name of a player met in this session, terminated, at most size - 1
// bytes; DP_ERR_ARGS for an unknown id.
int dpGetPlayerName(DPHANDLE handle, uint16_t id, char* buffer, uint32_t size);
// Sends the packet (at most DP_PACKET_MAX bytes) to one player of the
// session, or to every other player for destination 0.
int dpSend(DPHANDLE handle, uint16_t from, uint16_t to, uint32_t flags, const void* data, uint32_t length);
// Takes the oldest queued packet: DP_OK with sender, destination and the
// length in *length (given as the buffer's size); DP_ERR_EMPTY when none
// waits; DP_ERR_TOOBIG drops a packet the buffer can't hold.
int dpReceive(DPHANDLE handle, uint16_t* from, uint16_t* to, uint32_t flags, void* buffer, uint32_t* length);
// Ends the connection and frees the handle; null is nothing to do.
int dpDestroy(DPHANDLE handle, uint32_t flags);

// One message of the wire protocol as the client reads it (fuzzing, tests):
// the handle takes the bytes as though the server had sent them. DP_OK, or
// DP_ERR_CONNECTION once they broke the protocol.
int dpFeed(DPHANDLE handle, const uint8_t* bytes, uint32_t length);

// The wire protocol's message types (docs/formats.md): each message is a
// u16 length of what follows, the u8 type, then the body.
enum {
    DPMSG_MAX = 512,          // the longest length either side accepts
    DPMSG_MAGIC = 0x314E5A51, // "QZN1"
    // client to server
    DPMSG_HELLO = 0x01,       // u32 magic
    DPMSG_ENUMSERVERS = 0x02,
    DPMSG_ENUMSESSIONS = 0x03, // u16 game type
    DPMSG_OPEN = 0x04,        // 83-byte record
    DPMSG_CREATEPLAYER = 0x05, // name[24]
    DPMSG_DESTROYPLAYER = 0x06, // u16 id
    DPMSG_CLOSE = 0x07,
    DPMSG_ENUMPLAYERS = 0x08,
    DPMSG_SEND = 0x09,        // u16 from, u16 to, packet
    // server to client
    DPMSG_WELCOME = 0x81,     // u32 magic
    DPMSG_SERVER = 0x82,      // u32 ping, host (1..127 bytes)
    DPMSG_SERVEREND = 0x83,
    DPMSG_SESSION = 0x84,     // 83-byte record
    DPMSG_SESSIONEND = 0x85,
    DPMSG_OPENED = 0x86,      // u8 status, 83-byte record
    DPMSG_PLAYERID = 0x87,    // u16 id
    DPMSG_PLAYER = 0x88,      // u16 id, u8 flags, name[24]
    DPMSG_PLAYEREND = 0x89,
    DPMSG_DATA = 0x8A,        // u16 from, u16 to, sender name[24], packet (1..249)
};
// OPENED statuses.
enum { DPOPEN_OK = 0, DPOPEN_UNKNOWN = 1, DPOPEN_FULL = 2, DPOPEN_PASSWORD = 3, DPOPEN_BADRECORD = 4 };
