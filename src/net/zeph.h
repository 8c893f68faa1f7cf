// The online meeting service's client: servers, rooms, games, players and
// tagged texts for the multiplayer pages, over the client library (dplib).
//
// States (ZEPH_mode): 0 in no session; ZEPH_MODE_DOOR a session is open but
// this player is not in it yet; 2 this player is in it. Creating or joining
// leaves the previous session first, then opens the new one (mode 1) and
// creates the own player (mode 2); each step waits up to 5000 ms on the
// network clock, running ZEPH_poll. Everything runs on the main thread; the
// library's callbacks run inside these calls.
//
// The moderator is the player with the lowest id that the client knows, so
// every client of a session picks the same one. Every notice and text from
// the service is checked against its received length: a short one is
// dropped, a text is terminated at the end of what arrived.
//
// Operations that return a text return null on success or a string key (or a
// plain message) for the page. Logs go to TLOG_SETUP.
#pragma once

#include <cstdint>

#include "net/dplib.h"

enum { ZEPH_MODE_NONE = 0, ZEPH_MODE_DOOR = 1, ZEPH_MODE_IN = 2 };

enum {
    ZEPH_NAME_SIZE = 24,
    ZEPH_SESSION_NAME_SIZE = 32,
    ZEPH_HOST_SIZE = 128,
    ZEPH_GAME_TYPE = 666,
    ZEPH_ROOM_PLAYERS = 20,
    ZEPH_GAME_PLAYERS = 8,
    ZEPH_WAIT_MS = 5000,
    ZEPH_ENUM_MS = 5000,
    ZEPH_TEXT_MAX = 242,       // a text with its terminator
    ZEPH_RECEIVE_BYTES = 249,
    ZEPH_JOIN_NOTICE_BYTES = 40,
    ZEPH_LOBBY_FLAG = 1,       // parent bit 0: a room listed among the lobby rooms
};

// A session (room or game) as the service reports it; the 83-byte record's
// other bytes are the library's and stay zero here.
struct ZephSessionRecord {
    uint16_t gametype;
    uint16_t id;
    int16_t maxplayers;
    int16_t players;
    uint16_t created;
    char name[ZEPH_SESSION_NAME_SIZE];
    uint32_t password;  // CRC-32 of the password's characters
    uint32_t parent;    // 0 for a room (bit 0: lobby room); a game: its room's id x 65536
};

struct ZephServerRecord {
    char host[ZEPH_HOST_SIZE];
    uint32_t ping;      // milliseconds
};

struct ZephPlayerRecord {
    char name[ZEPH_NAME_SIZE];
    uint16_t id;        // 0: none
    uint32_t address;   // IPv4 from the join notice: byte 0 is the address's first byte
};

typedef void (*ZEPH_TEXTFN)(const char* sender, const char* text);

extern int ZEPH_mode;

// ---- the client ----
// 1 ready, 0 failed ("dpCreate failed; err: %d", "dpSetGameServer(%s)
// failed e:%d. \n"); the server is g_Config.zephnetserver. A second call
// logs "Re-initialisation" and returns 1.
int Zeph_Init(void);
// Zeph_Init over a handle made and connected by the caller (tests, fuzzing);
// the client owns it from here on.
int Zeph_InitWithHandle(DPHANDLE handle);
// Leaves the session (mode 2), frees the lists and the handle; any state.
void Zeph_Shutdown(void);
// The library handle, null when not initialised (tests).
DPHANDLE Zeph_Handle(void);

// ---- enumerations and their lists ----
// Appends the servers the library reports to the server list (kept until
// shutdown) and sets the done flag at the end.
void Zeph_EnumServers(void);
int Zeph_ServerEnumDone(void);
void Zeph_ServerListRewind(void);
// The record at the cursor (the cursor advances), or null at the end.
ZephServerRecord* Zeph_ServerListNext(void);
// Refills the room, lobby and game lists: rooms once per id, games of the
// current room only while in it (mode 2).
void Zeph_EnumSessions(void);
int Zeph_SessionEnumDone(void);
void Zeph_SessionListRewind(void);
ZephSessionRecord* Zeph_SessionListNext(void);
void Zeph_GameListRewind(void);
ZephSessionRecord* Zeph_GameListNext(void);
// Refills the player list from the library; logs "Could not list players".
void Zeph_EnumPlayers(void);
int Zeph_PlayerEnumDone(void);
void Zeph_PlayerListRewind(void);
ZephPlayerRecord* Zeph_PlayerListNext(void);

// ---- rooms and games ----
// Null, or "Could not leave current room/game", "Could not create room on
// server", "ZephCouldNotJoinRoom", "ZephTimeOutJoining".
const char* Zeph_CreateRoom(const char* name, const char* password);
// Only in mode 2 in a room: null, or "ZephNotInARoom", "ZephCouldNotLeave",
// "ZephCouldNotCreate", "ZephCouldNotJoinRoom", "ZephTimeOutJoining".
const char* Zeph_CreateGame(const char* name, const char* password);
// Null, or "ZephPasswordIncorrect" (nothing else happens then),
// "ZephCouldNotLeave", "ZephCouldNotJoinRoom", "ZephTimedOutJoiningRoom",
// "ZephTimeOutJoining".
const char* Zeph_JoinRoom(const ZephSessionRecord* room, const char* password);
// As Zeph_JoinRoom with "ZephCouldNotJoinGame", "ZephTimedOutJoiningGame".
const char* Zeph_JoinGame(const ZephSessionRecord* game, const char* password);
// The first lobby room with a free place that joins with the empty
// password: null, else "ZephNoLobby".
const char* Zeph_JoinFirstOpenRoom(void);
// Opens a session for creation; 1 when the mode became 1.
int Zeph_OpenSession(const ZephSessionRecord* record);
// Creates the own player in a session opened by Zeph_OpenSession (mode 1
// only): null, "ZephCouldNotJoinRoom" or "ZephTimeOutJoining".
const char* Zeph_CreatePlayerInSession(void);
// dpClose, mode 0.
void Zeph_CloseSession(void);
// Destroys the own player, mode 1.
void Zeph_LeaveSession(void);

// ---- records ----
const ZephPlayerRecord* Zeph_GetModeratorInfo(void);
const ZephSessionRecord* Zeph_GetRoomInfo(void);
// Keeps at most 23 characters of the name.
void Zeph_SetPlayerName(const char* name);

// ---- tagged texts ----
// "AK" to one player; 1 sent, 0 when the library failed or the text with its
// terminator is longer than 242 bytes.
int Zeph_SendTaggedTo(uint16_t player, const char* text);
// "AM" to one player; as Zeph_SendTaggedTo.
int Zeph_SendTaggedToPlayer(uint16_t player, const char* text);
// "AM" to every player of the session; as Zeph_SendTaggedTo.
int Zeph_BroadcastTagged(const char* text);
void Zeph_SetTagAKHandler(ZEPH_TEXTFN callback);
void Zeph_SetTagAMHandler(ZEPH_TEXTFN callback);

// Receives and dispatches what the library holds: player notices, host
// moves and texts; an empty answer is asked again three times, then the
// poll ends; an error ends it too ("ZEPH_poll - error %d"). Nothing when not
// initialised.
void ZEPH_poll(void);
// The library receives the polls have asked since the program started
// (tests and statistics).
uint32_t Zeph_PollReceives(void);

// ---- the 83-byte record ----
void Zeph_SessionToBytes(const ZephSessionRecord* record, uint8_t* bytes);
void Zeph_SessionFromBytes(const uint8_t* bytes, ZephSessionRecord* record);
