// Seeds for the meeting client's fuzz target: server messages as the
// meeting server sends them (player notices, texts, replies nobody asked
// for, a malformed message), cut into chunks ({u8 length, bytes}).
#include <cstring>
#include <string>

#include "core/bytes.h"
#include "mkdata.h"
#include "net/dplib.h"

static std::string Message(uint8_t type, const std::string& body)
{
    std::string m;
    Bytes_AppendU16(&m, (uint32_t)body.size() + 1);
    m.push_back((char)type);
    return m + body;
}

static std::string Data(uint16_t from, const char* name, const std::string& packet)
{
    std::string body;
    Bytes_AppendU16(&body, from);
    Bytes_AppendU16(&body, 1);
    std::string field(name);
    field.resize(DP_NAME_SIZE, '\0');
    return Message(DPMSG_DATA, body + field + packet);
}

static std::string Notice(const char* tag, uint16_t id, const char* name)
{
    std::string p(40, '\0');
    memcpy(&p[0], tag, 2);
    p[2] = (char)id, p[3] = (char)(id >> 8);
    p[6] = 127, p[9] = 1;
    memcpy(&p[16], name, strlen(name));
    return Data(0, "", name[0] ? p : p.substr(0, 4));
}

static std::string Chunks(const std::string& stream, size_t size)
{
    std::string out;
    for (size_t at = 0; at < stream.size(); at += size) {
        size_t n = stream.size() - at < size ? stream.size() - at : size;
        out.push_back((char)n);
        out.append(stream, at, n);
    }
    return out;
}

// The lobby's target: {u8 kind, u8 length, bytes} chunks after an options
// byte (kinds: 0 room, 1 game, 2 player, 3 server (ping, host), 4 server
// bytes, 5 a typed line).
static int LobbySeeds(const std::string& dir)
{
    std::string room(DP_SESSION_BYTES, '\0');
    room.replace(DP_SESSION_NAME, 7, "Lobby 1");
    room[DP_SESSION_ID] = 1, room[DP_SESSION_MAXPLAYERS] = 20, room[DP_SESSION_PARENT] = 1;
    std::string locked = room;
    locked.replace(DP_SESSION_NAME, 7, "Vault  ");
    locked[DP_SESSION_ID] = 2, locked[DP_SESSION_PASSWORD] = 7, locked[DP_SESSION_PARENT] = 0;
    std::string game = room;
    game.replace(DP_SESSION_NAME, 7, "War    ");
    game[DP_SESSION_ID] = 3, game[DP_SESSION_PLAYERS] = 2, game[DP_SESSION_MAXPLAYERS] = 8;
    std::string player = std::string("Ann") + std::string(21, '\0') + std::string("\x02\0\x7f\0\0\x01", 6);
    std::string server = std::string("\x05\0\0\0", 4) + "meet.example";
    auto chunk = [](int kind, const std::string& b) { return std::string(1, (char)kind) + (char)b.size() + b; };
    std::string seed = std::string(1, '\x83') + chunk(4, Notice("d1", 2, "Ann")) +
                       chunk(4, Data(2, "Ann", std::string("AM\xFEpsst\0", 8))) +
                       chunk(4, Data(2, "Ann", "AM" + std::string(200, 'y'))) +
                       chunk(4, Data(2, "Ann", std::string("AKout\0", 6))) + chunk(0, room) + chunk(0, locked) +
                       chunk(1, game) + chunk(2, player) + chunk(3, server) + chunk(5, "hello");
    return Mkdata_WriteFile(dir + "/lobby.bin", seed.data(), seed.size());
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_mmlobby") return LobbySeeds(dir);
    if (target != "fuzz_zeph") return 1;
    std::string session(DP_SESSION_BYTES, '\0');
    session[DP_SESSION_GAMETYPE] = (char)(666 & 0xff), session[DP_SESSION_GAMETYPE + 1] = (char)(666 >> 8);
    std::string meeting = Notice("d1", 1, "Host") + Notice("d1", 2, "Guest") + Data(1, "Host", std::string("AMhi\0", 5)) +
                          Data(2, "Guest", std::string("AKout\0", 6)) + Notice("d2", 1, "") + Notice("d7", 2, "");
    std::string stray = Message(DPMSG_SESSION, session) + Message(DPMSG_SESSIONEND, "") +
                        Message(DPMSG_PLAYERID, std::string("\x03\0", 2)) + Data(3, "Odd", "Q") +
                        Data(4, "Long", "AM" + std::string(247, 'x')) + Message(0x7f, "bad");
    std::string a = Chunks(meeting, 255), b = Chunks(meeting, 1), c = Chunks(stray, 13);
    return Mkdata_WriteFile(dir + "/meeting.bin", a.data(), a.size()) &&
           Mkdata_WriteFile(dir + "/bytes.bin", b.data(), b.size()) &&
           Mkdata_WriteFile(dir + "/stray.bin", c.data(), c.size());
}

MKDATA_REGISTER(zeph, "zeph", nullptr, Seeds);
