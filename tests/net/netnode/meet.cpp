// The test node's meeting through the online service, as the lobby pages
// would drive the client: every client enters the first lobby room and
// greets the others; node 0 opens a room with a password, the others find
// it and join (one tries a wrong password first) and greet again; node 0
// then creates the game, and node 1 joins it and takes the creator's
// address from the moderator record. Every wait is bounded.
#include "meet.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/tlog.h"
#include "net/zeph.h"
#include "platform/thread.h"

namespace {

const uint32_t kWaitMs = 30000;
std::vector<std::string> s_heard;
std::string s_summary;

void Heard(const char* sender, const char* text) { s_heard.push_back(std::string(sender) + ": " + text); }

int Players(void)
{
    int n = 0;
    Zeph_PlayerListRewind();
    while (Zeph_PlayerListNext()) n++;
    return n;
}

template <typename F> bool PollFor(F done, uint32_t ms = kWaitMs)
{
    uint32_t start = Thread_ClockMs();
    for (;;) {
        ZEPH_poll();
        if (done()) return true;
        if (Thread_ClockMs() - start >= ms) return false;
        Thread_Sleep(10);
    }
}

// Counts the texts heard that contain the word.
size_t HeardWith(const char* word)
{
    size_t n = 0;
    for (const std::string& t : s_heard) n += t.find(word) != std::string::npos;
    return n;
}

// Waits until everyone is in the session, greets it with the word, and waits
// to hear the others' greetings.
bool Greet(int clients, const char* word, int node)
{
    if (!PollFor([&] { return Players() == clients; })) return false;
    char text[64];
    snprintf(text, sizeof text, "%s from node %d", word, node);
    if (!Zeph_BroadcastTagged(text)) return false;
    return PollFor([&] { return HeardWith(word) == (size_t)clients - 1; });
}

// Enumerates until the list (rooms, or the current room's games) holds the
// named session.
bool FindSession(const char* name, bool game, ZephSessionRecord* out)
{
    return PollFor([&] {
        Zeph_EnumSessions();
        if (game) Zeph_GameListRewind();
        else Zeph_SessionListRewind();
        while (const ZephSessionRecord* r = game ? Zeph_GameListNext() : Zeph_SessionListNext())
            if (!strcmp(r->name, name)) return *out = *r, true;
        return false;
    });
}

bool Refused(const char* e) { return e && !strcmp(e, "ZephPasswordIncorrect"); }

bool Step(bool ok, const char* what, const char** failed)
{
    if (!ok && !*failed) *failed = what;
    return ok;
}

} // namespace

const char* NetNode_Meet(const char* server, int node, int clients, NetAddress* creator)
{
    const char* failed = nullptr;
    snprintf(g_Config.zephnetserver, sizeof g_Config.zephnetserver, "%s", server);
    char name[24];
    snprintf(name, sizeof name, "Node%d", node);
    Zeph_SetPlayerName(name);
    if (!Zeph_Init()) return "the online client did not start";
    Zeph_SetTagAMHandler(Heard);
    bool ok = Step(PollFor([] { Zeph_EnumSessions(); return Zeph_JoinFirstOpenRoom() == nullptr; }), "no lobby room", &failed) &&
              Step(Greet(clients, "hello", node), "the lobby greetings", &failed);
    ZephSessionRecord room, game;
    int rooms = 0;
    if (ok && node == 0) {
        ok = Step(Zeph_CreateRoom("Staging", "door") == nullptr, "creating the room", &failed);
    } else if (ok) {
        ok = Step(FindSession("Staging", false, &room), "the room was not listed", &failed);
        Zeph_SessionListRewind();
        while (Zeph_SessionListNext()) rooms++;
        if (ok && node >= 2)
            ok = Step(Refused(Zeph_JoinRoom(&room, "drop")), "a wrong password was not refused", &failed);
        ok = ok && Step(Zeph_JoinRoom(&room, "door") == nullptr, "joining the room", &failed);
    }
    ok = ok && Step(Greet(clients, "ready", node), "the room's greetings", &failed);
    if (ok && node == 0) {
        ok = Step(Zeph_CreateGame("Netgame", "go") == nullptr, "creating the game", &failed);
    } else if (ok) {
        ok = Step(FindSession("Netgame", true, &game), "the game was not listed", &failed);
        if (ok && node == 1) {
            ok = Step(Zeph_JoinGame(&game, "go") == nullptr, "joining the game", &failed);
            // The players of the game arrive as notices.
            PollFor([] { return false; }, 2000);
            const ZephPlayerRecord* owner = Zeph_GetModeratorInfo();
            ok = ok && Step(owner->id != 0, "Couldn't find the owner of the game", &failed);
            if (ok) {
                memset(creator, 0, sizeof *creator);
                creator->kind = 1;
                for (int i = 0; i < 4; i++) creator->bytes[i] = (uint8_t)(owner->address >> (8 * i));
                char text[200];
                snprintf(text, sizeof text, "game met: its owner %s at %u.%u.%u.%u", owner->name, creator->bytes[0],
                         creator->bytes[1], creator->bytes[2], creator->bytes[3]);
                s_summary = text;
            }
        } else if (ok) {
            ok = Step(Refused(Zeph_JoinGame(&game, "")), "the game took a wrong password", &failed);
            s_summary = "game seen, its password refused";
            Zeph_Shutdown();
        }
    }
    char line[300];
    snprintf(line, sizeof line, "meeting: %s; texts heard %zu; rooms listed %d%s%s", ok ? "ok" : failed,
             s_heard.size(), rooms, s_summary.empty() ? "" : "; ", s_summary.c_str());
    s_summary = line;
    TLOG(TLOG_DIAG, "%s", line);
    return failed;
}

const char* NetNode_MeetSummary(void) { return s_summary.c_str(); }
