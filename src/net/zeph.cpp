// The online meeting service's client.
//
// The mode moves only in the library's callbacks (open: 1; player created:
// 2, refused: 0) and in the leave steps, so each wait below watches the mode
// while ZEPH_poll lets the library deliver. Lists hold records allocated on
// the debug heap and are freed with the network's element free function.
#include "net/zeph.h"

#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/config.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "net/quornet.h"
#include "platform/thread.h"

int ZEPH_mode;

namespace {

// A poll takes at most this many packets, so that a server that never stops
// sending cannot hold the main thread.
const int kPollPackets = 1024;
const int kEmptyRetries = 3;
const char* kTransport = "zephtcp";

struct Client {
    int init;
    DPHANDLE handle;
    ZephPlayerRecord own, moderator;
    ZephSessionRecord session;
    GLL *servers, *lobby, *rooms, *games, *players;
    int serverDone, sessionDone, playerDone;
    ZEPH_TEXTFN ak, am;
    uint32_t receives; // library receives asked by the polls
};

Client s;

#define ZLOG(...) TLOG(TLOG_SETUP, __VA_ARGS__)

void CopyText(char* to, const char* from, size_t size)
{
    size_t n = strnlen(from, size - 1);
    memcpy(to, from, n);
    memset(to + n, 0, size - n);
}

GLL* Remake(GLL* list)
{
    GLL_Destroy(list, QuorNet_FreeElement);
    return GLL_Create();
}

template <typename T> T* NewRecord(const T& from)
{
    T* r = (T*)Debug_Malloc(sizeof(T));
    *r = from;
    return r;
}

// The element under the cursor; the cursor moves on.
void* Next(GLL* list)
{
    if (!list) return nullptr;
    void* e = GLL_GetCurrent(list);
    if (e) GLL_GoNext(list);
    return e;
}

void Rewind(GLL* list)
{
    if (list) GLL_GoFirst(list);
}

template <typename T> T* FindById(GLL* list, uint16_t id)
{
    for (T* r = (T*)GLL_GoFirst(list); r; r = (T*)GLL_GoNext(list))
        if (r->id == id) return r;
    return nullptr;
}

void Append(GLL* list, void* element)
{
    GLL_GoLast(list);
    GLL_InsertAfter(list, element);
}

void ForgetPlayers(void)
{
    s.players = Remake(s.players);
    memset(&s.moderator, 0, sizeof s.moderator);
}

// Runs ZEPH_poll while the mode stays as it is, up to the wait's time-out.
void WaitWhileMode(int mode)
{
    uint32_t start = Thread_ClockMs();
    while (Thread_ClockMs() - start < ZEPH_WAIT_MS && ZEPH_mode == mode) ZEPH_poll();
}

// ---- library callbacks ----

void OpenCallback(const uint8_t* record, void* context)
{
    ZLOG("%s", (const char*)context);
    if (!record) return;
    Zeph_SessionFromBytes(record, &s.session);
    ZEPH_mode = ZEPH_MODE_DOOR;
}

void PlayerCreateCallback(uint16_t id, void*)
{
    ZLOG("Session Player Create Callback");
    if (id == DP_NOPLAYER) {
        ZEPH_mode = ZEPH_MODE_NONE;
        return;
    }
    s.own.id = id;
    ZEPH_mode = ZEPH_MODE_IN;
}

int ServerCallback(const char* host, uint32_t ping, void*)
{
    ZLOG("Server List Callback");
    if (!host) {
        ZLOG("Server List Completion");
        s.serverDone = 1;
        return 0;
    }
    ZLOG("Host: %s Ping Time: %d", host, (int)ping);
    ZephServerRecord r;
    CopyText(r.host, host, sizeof r.host);
    r.ping = ping;
    Append(s.servers, NewRecord(r));
    return 1;
}

int SessionCallback(const uint8_t* bytes, void*)
{
    if (!bytes) {
        s.sessionDone = 1;
        return 0;
    }
    ZephSessionRecord r;
    Zeph_SessionFromBytes(bytes, &r);
    if (r.parent < 65536) {
        if (!FindById<ZephSessionRecord>(s.rooms, r.id)) {
            Append(s.rooms, NewRecord(r));
            if (r.parent & ZEPH_LOBBY_FLAG) Append(s.lobby, NewRecord(r));
        }
    } else if (ZEPH_mode == ZEPH_MODE_IN && (r.parent >> 16) == s.session.id &&
               !FindById<ZephSessionRecord>(s.games, r.id)) {
        Append(s.games, NewRecord(r));
    }
    return 1;
}

void SetModerator(const ZephPlayerRecord& r) { s.moderator = r; }

int PlayerCallback(uint16_t id, const char* name, uint32_t flags, void*)
{
    if (id == DP_NOPLAYER) {
        s.playerDone = 1;
        return 0;
    }
    ZephPlayerRecord r;
    memset(&r, 0, sizeof r);
    CopyText(r.name, name, sizeof r.name);
    r.id = id;
    if (flags & DP_PLAYER_SELF) {
        s.own.id = id;
        r = s.own;
    } else {
        Append(s.players, NewRecord(r));
    }
    if (s.moderator.id == 0 || id < s.moderator.id) SetModerator(r);
    return 1;
}

// ---- sessions ----

// Leaves the session this client is in; 1 when the mode is 0 afterwards.
int LeaveCurrent(void)
{
    if (ZEPH_mode != ZEPH_MODE_NONE) {
        Zeph_LeaveSession();
        Zeph_CloseSession();
    }
    return ZEPH_mode == ZEPH_MODE_NONE;
}

ZephSessionRecord NewSession(const char* name, const char* password, int16_t maxplayers, uint32_t parent)
{
    ZephSessionRecord r;
    memset(&r, 0, sizeof r);
    CopyText(r.name, name ? name : "", sizeof r.name);
    r.gametype = ZEPH_GAME_TYPE;
    r.password = Crc32_Block(password ? password : "", password ? strlen(password) : 0);
    r.parent = parent;
    r.maxplayers = maxplayers;
    r.created = 1;
    return r;
}

// Steps 3 to 6 of a creation: open, wait, create the player.
const char* CreateAndEnter(const ZephSessionRecord* record, const char* failed, const char* joining)
{
    ForgetPlayers();
    ZLOG("Creating Session");
    if (!Zeph_OpenSession(record)) return failed;
    if (joining) ZLOG("%s", joining);
    return Zeph_CreatePlayerInSession();
}

struct JoinTexts {
    const char* log;
    const char* couldnot;
    const char* timedout;
};

const char* Join(const ZephSessionRecord* session, const char* password, const JoinTexts& t)
{
    ZLOG("%s", t.log);
    if (!session) return t.couldnot;
    if (Crc32_Block(password ? password : "", password ? strlen(password) : 0) != session->password)
        return "ZephPasswordIncorrect";
    if (!LeaveCurrent()) return "ZephCouldNotLeave";
    ForgetPlayers();
    uint8_t bytes[DP_SESSION_BYTES];
    Zeph_SessionToBytes(session, bytes);
    int e = dpOpen(s.handle, bytes, OpenCallback, (void*)"Session Join Callback");
    if (e != DP_OK) {
        ZLOG("joinRequest failed");
        return t.couldnot;
    }
    WaitWhileMode(ZEPH_MODE_NONE);
    if (ZEPH_mode != ZEPH_MODE_DOOR) {
        ZLOG("joinRequest timed out");
        return t.timedout;
    }
    return Zeph_CreatePlayerInSession();
}

} // namespace

// ---- the client ----

int Zeph_InitWithHandle(DPHANDLE handle)
{
    s.handle = handle;
    s.servers = GLL_Create();
    s.lobby = GLL_Create();
    s.rooms = GLL_Create();
    s.games = GLL_Create();
    s.players = GLL_Create();
    memset(&s.moderator, 0, sizeof s.moderator);
    memset(&s.session, 0, sizeof s.session);
    s.own.id = 0;
    s.serverDone = 0;
    s.sessionDone = 1;
    s.playerDone = 1;
    ZEPH_mode = ZEPH_MODE_NONE;
    s.ak = s.am = nullptr;
    s.init = 1;
    return 1;
}

int Zeph_Init(void)
{
    if (s.init) {
        ZLOG("Re-initialisation");
        return 1;
    }
    ZLOG("Initialising");
    DPHANDLE handle = nullptr;
    int e = dpCreate(&handle, kTransport, nullptr, nullptr);
    if (e != DP_OK) {
        ZLOG("dpCreate failed; err: %d", e);
        return 0;
    }
    e = dpSetGameServer(handle, g_Config.zephnetserver);
    if (e != DP_OK) {
        ZLOG("dpSetGameServer(%s) failed e:%d. \n", g_Config.zephnetserver, e);
        dpDestroy(handle, 0);
        return 0;
    }
    return Zeph_InitWithHandle(handle);
}

void Zeph_Shutdown(void)
{
    if (!s.init) {
        ZLOG("Shutting Down when not initialised");
        return;
    }
    ZLOG("Shutting Down");
    if (ZEPH_mode == ZEPH_MODE_IN) {
        dpDestroyPlayer(s.handle, s.own.id);
        dpClose(s.handle);
    }
    s.ak = s.am = nullptr;
    GLL** lists[] = {&s.servers, &s.lobby, &s.rooms, &s.games, &s.players};
    for (GLL** l : lists) {
        GLL_Destroy(*l, QuorNet_FreeElement);
        *l = nullptr;
    }
    dpDestroy(s.handle, 0);
    s.handle = nullptr;
    // Rows drawn after the shutdown must not find an owner or a room of a
    // session the client has left.
    memset(&s.moderator, 0, sizeof s.moderator);
    memset(&s.session, 0, sizeof s.session);
    ZEPH_mode = ZEPH_MODE_NONE;
    s.init = 0;
}

DPHANDLE Zeph_Handle(void) { return s.init ? s.handle : nullptr; }

// ---- enumerations ----

void Zeph_EnumServers(void)
{
    s.serverDone = 0;
    ZLOG("Initiating search for servers");
    int e = dpEnumServers(s.handle, ZEPH_ENUM_MS, ServerCallback, nullptr);
    ZLOG("Returned from dpEnumServers");
    if (e != DP_OK) ZLOG("dpEnumServers failed, err:%d", e);
}

int Zeph_ServerEnumDone(void) { return s.serverDone; }
void Zeph_ServerListRewind(void) { Rewind(s.servers); }
ZephServerRecord* Zeph_ServerListNext(void) { return (ZephServerRecord*)Next(s.servers); }

void Zeph_EnumSessions(void)
{
    s.sessionDone = 0;
    s.lobby = Remake(s.lobby);
    s.rooms = Remake(s.rooms);
    s.games = Remake(s.games);
    ZephSessionRecord filter;
    memset(&filter, 0, sizeof filter);
    filter.gametype = ZEPH_GAME_TYPE;
    uint8_t bytes[DP_SESSION_BYTES];
    Zeph_SessionToBytes(&filter, bytes);
    int e = dpEnumSessions(s.handle, bytes, 0, ZEPH_ENUM_MS, SessionCallback, nullptr);
    if (e != DP_OK) ZLOG("dpEnumSessions failed, err:%d", e);
}

int Zeph_SessionEnumDone(void) { return s.sessionDone; }
void Zeph_SessionListRewind(void) { Rewind(s.rooms); }
ZephSessionRecord* Zeph_SessionListNext(void) { return (ZephSessionRecord*)Next(s.rooms); }
void Zeph_GameListRewind(void) { Rewind(s.games); }
ZephSessionRecord* Zeph_GameListNext(void) { return (ZephSessionRecord*)Next(s.games); }

void Zeph_EnumPlayers(void)
{
    s.players = Remake(s.players);
    s.playerDone = 0;
    if (dpEnumPlayers(s.handle, nullptr, PlayerCallback, nullptr, 0) != DP_OK) ZLOG("Could not list players");
}

int Zeph_PlayerEnumDone(void) { return s.playerDone; }
void Zeph_PlayerListRewind(void) { Rewind(s.players); }
ZephPlayerRecord* Zeph_PlayerListNext(void) { return (ZephPlayerRecord*)Next(s.players); }

// ---- rooms and games ----

const char* Zeph_CreateRoom(const char* name, const char* password)
{
    ZLOG("Creating room");
    if (!LeaveCurrent()) return "Could not leave current room/game";
    ZephSessionRecord r = NewSession(name, password, ZEPH_ROOM_PLAYERS, 0);
    return CreateAndEnter(&r, "Could not create room on server", nullptr);
}

const char* Zeph_CreateGame(const char* name, const char* password)
{
    ZLOG("Creating Game");
    if (ZEPH_mode != ZEPH_MODE_IN || s.session.parent >= 65536) {
        ZLOG("Not in a room");
        return "ZephNotInARoom";
    }
    uint32_t room = s.session.id;
    if (!LeaveCurrent()) {
        ZLOG("Could not leave room");
        return "ZephCouldNotLeave";
    }
    ZephSessionRecord r = NewSession(name, password, ZEPH_GAME_PLAYERS, room * 65536u);
    const char* e = CreateAndEnter(&r, "ZephCouldNotCreate", "Game Created : Joining Room");
    if (e && !strcmp(e, "ZephCouldNotCreate")) ZLOG("Could not create game");
    return e;
}

const char* Zeph_JoinRoom(const ZephSessionRecord* room, const char* password)
{
    return Join(room, password, {"Joining Room", "ZephCouldNotJoinRoom", "ZephTimedOutJoiningRoom"});
}

const char* Zeph_JoinGame(const ZephSessionRecord* game, const char* password)
{
    return Join(game, password, {"Joining Game", "ZephCouldNotJoinGame", "ZephTimedOutJoiningGame"});
}

const char* Zeph_JoinFirstOpenRoom(void)
{
    if (!s.init) return "ZephNoLobby";
    // By position and on a copy: a text handler running inside the join may
    // start an enumeration, which remakes the lobby list.
    for (int at = 1;; at++) {
        ZephSessionRecord* r = (ZephSessionRecord*)GLL_GoTo(s.lobby, at);
        if (!r) return "ZephNoLobby";
        ZephSessionRecord room = *r;
        if (room.players < room.maxplayers && !Zeph_JoinRoom(&room, "")) return nullptr;
    }
}

int Zeph_OpenSession(const ZephSessionRecord* record)
{
    uint8_t bytes[DP_SESSION_BYTES];
    Zeph_SessionToBytes(record, bytes);
    if (dpOpen(s.handle, bytes, OpenCallback, (void*)"Session Create Callback") != DP_OK) {
        ZLOG("createRequest failed");
        return 0;
    }
    WaitWhileMode(ZEPH_MODE_NONE);
    if (ZEPH_mode != ZEPH_MODE_DOOR) {
        ZLOG("createRequest timed out");
        return 0;
    }
    return 1;
}

const char* Zeph_CreatePlayerInSession(void)
{
    ZLOG("Creating player in room");
    if (dpCreatePlayer(s.handle, PlayerCreateCallback, s.own.name, nullptr) != DP_OK &&
        ZEPH_mode != ZEPH_MODE_IN) {
        ZLOG("createRequest failed");
        return "ZephCouldNotJoinRoom";
    }
    WaitWhileMode(ZEPH_MODE_DOOR);
    if (ZEPH_mode == ZEPH_MODE_IN) {
        ZLOG("Join Request successful");
        return nullptr;
    }
    ZLOG("Join Request Timed Out");
    return "ZephTimeOutJoining";
}

void Zeph_CloseSession(void)
{
    dpClose(s.handle);
    ZEPH_mode = ZEPH_MODE_NONE;
}

void Zeph_LeaveSession(void)
{
    ZLOG("Leaving Session");
    dpDestroyPlayer(s.handle, s.own.id);
    ZEPH_mode = ZEPH_MODE_DOOR;
}

// ---- records ----

const ZephPlayerRecord* Zeph_GetModeratorInfo(void) { return &s.moderator; }
const ZephSessionRecord* Zeph_GetRoomInfo(void) { return &s.session; }
void Zeph_SetPlayerName(const char* name) { CopyText(s.own.name, name ? name : "", sizeof s.own.name); }

// ---- tagged texts ----

static int SendTagged(const char* tag, uint16_t to, const char* text)
{
    if (!s.init || !text) return 0;
    size_t n = strlen(text);
    if (n + 1 > ZEPH_TEXT_MAX) return 0;
    uint8_t packet[2 + ZEPH_TEXT_MAX];
    memcpy(packet, tag, 2);
    memcpy(packet + 2, text, n + 1);
    return dpSend(s.handle, s.own.id, to, 1, packet, (uint32_t)(2 + n + 1)) == DP_OK;
}

int Zeph_SendTaggedTo(uint16_t player, const char* text) { return SendTagged("AK", player, text); }
int Zeph_SendTaggedToPlayer(uint16_t player, const char* text) { return SendTagged("AM", player, text); }
int Zeph_BroadcastTagged(const char* text) { return SendTagged("AM", 0, text); }
void Zeph_SetTagAKHandler(ZEPH_TEXTFN callback) { s.ak = callback; }
void Zeph_SetTagAMHandler(ZEPH_TEXTFN callback) { s.am = callback; }

// ---- polling ----

namespace {

void PlayerJoined(const uint8_t* p, uint32_t length)
{
    if (length < ZEPH_JOIN_NOTICE_BYTES) {
        ZLOG("ZEPH_poll: short join notice (%u bytes)", length);
        return;
    }
    uint16_t id = (uint16_t)Bytes_U16(p + 2);
    if (FindById<ZephPlayerRecord>(s.players, id)) return;
    ZephPlayerRecord r;
    memset(&r, 0, sizeof r);
    CopyText(r.name, (const char*)p + 16, sizeof r.name);
    r.id = id;
    r.address = Bytes_U32(p + 6);
    Append(s.players, NewRecord(r));
    ZLOG("%s (%d) has Joined the Session", r.name, id);
    if (s.moderator.id == 0 || id < s.moderator.id) SetModerator(r);
}

void PlayerLeft(const uint8_t* p, uint32_t length)
{
    if (length < 4) {
        ZLOG("ZEPH_poll: short leave notice (%u bytes)", length);
        return;
    }
    uint16_t id = (uint16_t)Bytes_U16(p + 2);
    ZephPlayerRecord* r = FindById<ZephPlayerRecord>(s.players, id);
    if (!r) return;
    ZLOG("%s (%d) has Left the Session", r->name, id);
    QuorNet_FreeElement(GLL_DeleteCurrent(s.players));
    if (id != s.moderator.id) return;
    ZLOG("Moderator has left the session");
    memset(&s.moderator, 0, sizeof s.moderator);
    for (r = (ZephPlayerRecord*)GLL_GoFirst(s.players); r; r = (ZephPlayerRecord*)GLL_GoNext(s.players))
        if (s.moderator.id == 0 || r->id < s.moderator.id) SetModerator(*r);
    if (s.moderator.id) ZLOG("New moderator is %s (%d)", s.moderator.name, s.moderator.id);
}

void HostMoved(uint16_t from)
{
    ZLOG("Migration of Host : old %d", s.moderator.id);
    if (s.own.id != s.moderator.id && from == 0) {
        s.moderator = s.own;
        ZLOG("Console is now the session moderator !!!");
    }
}

void Text(ZEPH_TEXTFN callback, uint16_t from, const uint8_t* p)
{
    char name[DP_NAME_SIZE + 1];
    dpGetPlayerName(s.handle, from, name, sizeof name);
    if (callback) callback(name, (const char*)p + 2);
}

void Dispatch(uint16_t from, uint8_t* p, uint32_t length)
{
    if (length >= 2 && p[0] == 'd' && p[1] == '1') PlayerJoined(p, length);
    else if (length >= 2 && p[0] == 'd' && p[1] == '2') PlayerLeft(p, length);
    else if (length >= 2 && p[0] == 'd' && p[1] == '7') HostMoved(from);
    else if (length >= 2 && p[0] == 'A' && p[1] == 'K') Text(s.ak, from, p);
    else if (length >= 2 && p[0] == 'A' && p[1] == 'M') Text(s.am, from, p);
    else ZLOG("ZEPH_poll: unknown packet %2.2s.", (const char*)p);
}

} // namespace

uint32_t Zeph_PollReceives(void) { return s.receives; }

void ZEPH_poll(void)
{
    if (!s.init || !s.handle) return;
    int empty = 0;
    for (int taken = 0; taken < kPollPackets;) {
        // One byte more than the library may fill: texts end at what arrived.
        uint8_t buffer[ZEPH_RECEIVE_BYTES + 1];
        uint32_t length = ZEPH_RECEIVE_BYTES;
        uint16_t from = 0, to = 0;
        int e = dpReceive(s.handle, &from, &to, 0, buffer, &length);
        s.receives++;
        // Nothing waiting is asked again three times: a packet on its way
        // is taken in this poll.
        if (e == DP_ERR_EMPTY) {
            if (++empty > kEmptyRetries) return;
            continue;
        }
        if (e != DP_OK) {
            ZLOG("ZEPH_poll - error %d", e);
            return;
        }
        empty = 0;
        taken++;
        memset(buffer + length, 0, sizeof buffer - length);
        Dispatch(from, buffer, length);
    }
}

// ---- the 83-byte record ----

void Zeph_SessionToBytes(const ZephSessionRecord* r, uint8_t* b)
{
    memset(b, 0, DP_SESSION_BYTES);
    Bytes_PutU16(b + DP_SESSION_GAMETYPE, r->gametype);
    Bytes_PutU16(b + DP_SESSION_ID, r->id);
    Bytes_PutU16(b + DP_SESSION_MAXPLAYERS, (uint16_t)r->maxplayers);
    Bytes_PutU16(b + DP_SESSION_PLAYERS, (uint16_t)r->players);
    Bytes_PutU16(b + DP_SESSION_CREATED, r->created);
    memcpy(b + DP_SESSION_NAME, r->name, strnlen(r->name, DP_SESSION_NAME_SIZE - 1));
    Bytes_PutU32(b + DP_SESSION_PASSWORD, r->password);
    Bytes_PutU32(b + DP_SESSION_PARENT, r->parent);
}

void Zeph_SessionFromBytes(const uint8_t* b, ZephSessionRecord* r)
{
    memset(r, 0, sizeof *r);
    r->gametype = (uint16_t)Bytes_U16(b + DP_SESSION_GAMETYPE);
    r->id = (uint16_t)Bytes_U16(b + DP_SESSION_ID);
    r->maxplayers = (int16_t)Bytes_U16(b + DP_SESSION_MAXPLAYERS);
    r->players = (int16_t)Bytes_U16(b + DP_SESSION_PLAYERS);
    r->created = (uint16_t)Bytes_U16(b + DP_SESSION_CREATED);
    memcpy(r->name, b + DP_SESSION_NAME, DP_SESSION_NAME_SIZE - 1);
    r->password = Bytes_U32(b + DP_SESSION_PASSWORD);
    r->parent = Bytes_U32(b + DP_SESSION_PARENT);
}
