// The meeting server: one poll loop over the listening socket, the
// connections and a stop pipe. Everything it holds is touched only by its
// own thread, except the counts, which are atomics.
#include "meetsrv.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "core/bytes.h"
#include "net/dplib.h"

namespace {

const size_t kOutMax = 1 << 20; // a client that reads nothing is dropped past this

struct Conn {
    int fd = -1;
    uint32_t address = 0;   // IPv4, first byte in the low byte
    std::vector<uint8_t> in, out;
    uint16_t session = 0;   // open session, 0 none
    uint16_t player = 0;    // own player in it, 0 none
    uint8_t name[DP_NAME_SIZE] = {};
    bool greeted = false, dead = false;
};

struct Session {
    uint8_t record[DP_SESSION_BYTES];
    bool lobby = false;
    uint16_t nextPlayer = 1;
    std::map<uint16_t, Conn*> players;  // by id: the lowest is the host
    int members = 0;                    // connections that opened it
};

struct Server {
    MeetConfig config;
    int listenfd = -1, stop[2] = {-1, -1};
    std::vector<std::unique_ptr<Conn>> conns;
    std::map<uint16_t, Session> sessions;
    uint16_t nextSession = 1;
    std::thread thread;
};

Server* s_server;
std::atomic<uint32_t> s_counts[7];
enum { C_CONNECTIONS, C_SESSIONS, C_PLAYERS, C_TEXTS, C_NOTICES, C_REFUSED, C_BROKEN };

void Count(int which) { s_counts[which].fetch_add(1); }

void Put(Conn* c, uint8_t type, const uint8_t* body, size_t size)
{
    if (c->dead) return;
    Bytes_AppendU16(&c->out, (uint32_t)size + 1);
    c->out.push_back(type);
    c->out.insert(c->out.end(), body, body + size);
    if (c->out.size() > kOutMax) c->dead = true;
}

void Flush(Conn* c)
{
    while (!c->dead && !c->out.empty()) {
        ssize_t n = send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            c->out.erase(c->out.begin(), c->out.begin() + n);
        } else {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            c->dead = true;
        }
    }
}

// A packet from the service itself (sender 0) or from a player.
void Data(Conn* to, uint16_t from, uint16_t dest, const uint8_t* name, const uint8_t* packet, size_t size)
{
    std::vector<uint8_t> body;
    Bytes_AppendU16(&body, from);
    Bytes_AppendU16(&body, dest);
    uint8_t field[DP_NAME_SIZE] = {};
    if (name) memcpy(field, name, DP_NAME_SIZE);
    body.insert(body.end(), field, field + DP_NAME_SIZE);
    body.insert(body.end(), packet, packet + size);
    Put(to, DPMSG_DATA, body.data(), body.size());
}

void Notice(Conn* to, const char* tag, uint16_t id, const Conn* about)
{
    uint8_t p[40] = {};
    memcpy(p, tag, 2);
    Bytes_PutU16(p + 2, id);
    size_t size = 4;
    if (about) {
        Bytes_PutU32(p + 6, about->address);
        memcpy(p + 16, about->name, DP_NAME_SIZE);
        size = sizeof p;
    }
    Data(to, 0, to->player, nullptr, p, size);
    Count(C_NOTICES);
}

int16_t Players(const Session& s) { return (int16_t)s.players.size(); }

void RemovePlayer(Conn* c)
{
    auto it = s_server->sessions.find(c->session);
    if (it == s_server->sessions.end() || !c->player) return;
    Session& s = it->second;
    uint16_t host = s.players.begin()->first;
    s.players.erase(c->player);
    for (auto& p : s.players) Notice(p.second, "d2", c->player, nullptr);
    if (host == c->player && !s.players.empty()) {
        Conn* next = s.players.begin()->second;
        Notice(next, "d7", next->player, nullptr);
    }
    c->player = 0;
}

void CloseSession(Conn* c)
{
    RemovePlayer(c);
    auto it = s_server->sessions.find(c->session);
    c->session = 0;
    if (it == s_server->sessions.end()) return;
    if (--it->second.members <= 0 && !it->second.lobby) s_server->sessions.erase(it);
}

void Opened(Conn* c, uint8_t status, const uint8_t* record)
{
    uint8_t body[1 + DP_SESSION_BYTES] = {status};
    memcpy(body + 1, record, DP_SESSION_BYTES);
    Put(c, DPMSG_OPENED, body, sizeof body);
    if (status != DPOPEN_OK) Count(C_REFUSED);
}

uint16_t NewSessionId(void)
{
    for (int tries = 0; tries < 65535; tries++) {
        uint16_t id = s_server->nextSession++;
        if (id && !s_server->sessions.count(id)) return id;
    }
    return 0;
}

void Open(Conn* c, const uint8_t* record)
{
    CloseSession(c);
    uint16_t id = (uint16_t)Bytes_U16(record + DP_SESSION_ID);
    int16_t max = (int16_t)Bytes_U16(record + DP_SESSION_MAXPLAYERS);
    if (id == 0) {
        if (max < 1 || max > 20 || !(id = NewSessionId())) return Opened(c, DPOPEN_BADRECORD, record);
        Session& s = s_server->sessions[id];
        memcpy(s.record, record, DP_SESSION_BYTES);
        s.record[DP_SESSION_NAME + DP_SESSION_NAME_SIZE - 1] = 0;
        Bytes_PutU16(s.record + DP_SESSION_ID, id);
        Bytes_PutU16(s.record + DP_SESSION_PLAYERS, 0);
        Count(C_SESSIONS);
    }
    auto it = s_server->sessions.find(id);
    if (it == s_server->sessions.end()) return Opened(c, DPOPEN_UNKNOWN, record);
    Session& s = it->second;
    if (Players(s) >= (int16_t)Bytes_U16(s.record + DP_SESSION_MAXPLAYERS)) return Opened(c, DPOPEN_FULL, record);
    if (Bytes_U32(record + DP_SESSION_PASSWORD) != Bytes_U32(s.record + DP_SESSION_PASSWORD))
        return Opened(c, DPOPEN_PASSWORD, record);
    s.members++;
    c->session = id;
    Bytes_PutU16(s.record + DP_SESSION_PLAYERS, (uint16_t)Players(s));
    Opened(c, DPOPEN_OK, s.record);
}

void CreatePlayer(Conn* c, const uint8_t* name)
{
    uint8_t id[2];
    Bytes_PutU16(id, DP_NOPLAYER);
    auto it = s_server->sessions.find(c->session);
    if (it == s_server->sessions.end() || c->player || it->second.nextPlayer >= DP_NOPLAYER ||
        Players(it->second) >= (int16_t)Bytes_U16(it->second.record + DP_SESSION_MAXPLAYERS)) {
        Count(C_REFUSED);
        return Put(c, DPMSG_PLAYERID, id, 2);
    }
    Session& s = it->second;
    memcpy(c->name, name, DP_NAME_SIZE);
    c->name[DP_NAME_SIZE - 1] = 0;
    c->player = s.nextPlayer++;
    Bytes_PutU16(id, c->player);
    Put(c, DPMSG_PLAYERID, id, 2);
    if (!s_server->config.quiet)
        for (auto& p : s.players) Notice(c, "d1", p.first, p.second);
    s.players[c->player] = c;
    if (!s_server->config.quiet)
        for (auto& p : s.players) Notice(p.second, "d1", c->player, c);
    Bytes_PutU16(s.record + DP_SESSION_PLAYERS, (uint16_t)Players(s));
    Count(C_PLAYERS);
}

void Relay(Conn* c, const uint8_t* body, size_t size)
{
    auto it = s_server->sessions.find(c->session);
    if (it == s_server->sessions.end() || !c->player) return;
    uint16_t to = (uint16_t)Bytes_U16(body + 2);
    for (auto& p : it->second.players)
        if (p.first != c->player && (to == 0 || p.first == to)) Data(p.second, c->player, to, c->name, body + 4, size - 4);
    Count(C_TEXTS);
}

void ListSessions(Conn* c, uint16_t type)
{
    for (auto& e : s_server->sessions) {
        if (Bytes_U16(e.second.record + DP_SESSION_GAMETYPE) != type) continue;
        Bytes_PutU16(e.second.record + DP_SESSION_PLAYERS, (uint16_t)Players(e.second));
        Put(c, DPMSG_SESSION, e.second.record, DP_SESSION_BYTES);
    }
    if (!s_server->config.endless) Put(c, DPMSG_SESSIONEND, nullptr, 0);
}

void ListPlayers(Conn* c)
{
    auto it = s_server->sessions.find(c->session);
    if (it != s_server->sessions.end())
        for (auto& p : it->second.players) {
            uint8_t body[3 + DP_NAME_SIZE];
            Bytes_PutU16(body, p.first);
            body[2] = p.second == c ? DP_PLAYER_SELF : 0;
            memcpy(body + 3, p.second->name, DP_NAME_SIZE);
            Put(c, DPMSG_PLAYER, body, sizeof body);
        }
    Put(c, DPMSG_PLAYEREND, nullptr, 0);
}

void ListServers(Conn* c)
{
    std::vector<MeetServerEntry> list = s_server->config.servers;
    if (list.empty()) list.push_back({s_server->config.address, 0});
    for (auto& e : list) {
        std::vector<uint8_t> body;
        Bytes_AppendU32(&body, e.ping);
        body.insert(body.end(), e.host.begin(), e.host.begin() + (long)std::min<size_t>(e.host.size(), 127));
        Put(c, DPMSG_SERVER, body.data(), body.size());
    }
    Put(c, DPMSG_SERVEREND, nullptr, 0);
}

// One message; false when it broke the protocol.
bool Handle(Conn* c, uint8_t type, const uint8_t* body, size_t size)
{
    if (!c->greeted) {
        if (type != DPMSG_HELLO || size != 4 || Bytes_U32(body) != DPMSG_MAGIC) return false;
        c->greeted = true;
        return Put(c, DPMSG_WELCOME, body, 4), true;
    }
    switch (type) {
    case DPMSG_ENUMSERVERS: return size == 0 && (ListServers(c), true);
    case DPMSG_ENUMSESSIONS: return size == 2 && (ListSessions(c, (uint16_t)Bytes_U16(body)), true);
    case DPMSG_OPEN: return size == DP_SESSION_BYTES && (Open(c, body), true);
    case DPMSG_CREATEPLAYER: return size == DP_NAME_SIZE && (CreatePlayer(c, body), true);
    case DPMSG_DESTROYPLAYER:
        if (size != 2) return false;
        if (Bytes_U16(body) == c->player) RemovePlayer(c);
        return true;
    case DPMSG_CLOSE: return size == 0 && (CloseSession(c), true);
    case DPMSG_ENUMPLAYERS: return size == 0 && (ListPlayers(c), true);
    case DPMSG_SEND: return size > 4 && size <= 4 + DP_PACKET_MAX && (Relay(c, body, size), true);
    default: return false;
    }
}

void Read(Conn* c)
{
    uint8_t buffer[4096];
    ssize_t n = recv(c->fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) c->dead = true;
        return;
    }
    c->in.insert(c->in.end(), buffer, buffer + n);
    size_t at = 0;
    while (!c->dead && c->in.size() - at >= 2) {
        uint32_t len = Bytes_U16(&c->in[at]);
        if (len < 1 || len > DPMSG_MAX) {
            c->dead = true;
            Count(C_BROKEN);
            break;
        }
        if (c->in.size() - at < 2 + len) break;
        if (!Handle(c, c->in[at + 2], &c->in[at + 3], len - 1)) {
            c->dead = true;
            Count(C_BROKEN);
        }
        at += 2 + len;
    }
    if (!c->dead) c->in.erase(c->in.begin(), c->in.begin() + (long)at);
}

void Accept(void)
{
    sockaddr_in a;
    socklen_t len = sizeof a;
    int fd = accept(s_server->listenfd, (sockaddr*)&a, &len);
    if (fd < 0) return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    const uint8_t* ip = (const uint8_t*)&a.sin_addr.s_addr;
    c->address = (uint32_t)ip[0] | (uint32_t)ip[1] << 8 | (uint32_t)ip[2] << 16 | (uint32_t)ip[3] << 24;
    s_server->conns.push_back(std::move(c));
    Count(C_CONNECTIONS);
}

void Loop(void)
{
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({s_server->stop[0], POLLIN, 0});
        fds.push_back({s_server->listenfd, POLLIN, 0});
        for (auto& c : s_server->conns)
            fds.push_back({c->fd, (short)(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) Accept();
        for (size_t i = 2; i < fds.size(); i++) {
            Conn* c = s_server->conns[i - 2].get();
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) Read(c);
        }
        for (auto& c : s_server->conns) Flush(c.get());
        // The dead leave their sessions: the others hear of it.
        for (size_t i = 0; i < s_server->conns.size();) {
            Conn* c = s_server->conns[i].get();
            if (!c->dead) {
                i++;
                continue;
            }
            CloseSession(c);
            close(c->fd);
            s_server->conns.erase(s_server->conns.begin() + (long)i);
        }
        for (auto& c : s_server->conns) Flush(c.get());
    }
}

void MakeLobbies(void)
{
    for (int i = 1; i <= s_server->config.lobbies; i++) {
        uint16_t id = NewSessionId();
        Session& s = s_server->sessions[id];
        memset(s.record, 0, sizeof s.record);
        s.lobby = true;
        Bytes_PutU16(s.record + DP_SESSION_GAMETYPE, 666);
        Bytes_PutU16(s.record + DP_SESSION_ID, id);
        Bytes_PutU16(s.record + DP_SESSION_MAXPLAYERS, (uint16_t)s_server->config.lobbyplayers);
        snprintf((char*)s.record + DP_SESSION_NAME, DP_SESSION_NAME_SIZE, "Lobby %d", i);
        Bytes_PutU32(s.record + DP_SESSION_PARENT, 1);
    }
}

} // namespace

uint16_t MeetSrv_Start(const MeetConfig& config)
{
    if (s_server) return 0;
    for (auto& c : s_counts) c.store(0);
    s_server = new Server;
    s_server->config = config;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(config.port);
    socklen_t len = sizeof a;
    if (fd < 0 || inet_pton(AF_INET, config.address, &a.sin_addr) != 1 || bind(fd, (sockaddr*)&a, sizeof a) != 0 ||
        listen(fd, 64) != 0 || getsockname(fd, (sockaddr*)&a, &len) != 0 || pipe(s_server->stop) != 0) {
        if (fd >= 0) close(fd);
        delete s_server;
        s_server = nullptr;
        return 0;
    }
    s_server->listenfd = fd;
    MakeLobbies();
    s_server->thread = std::thread(Loop);
    return ntohs(a.sin_port);
}

void MeetSrv_Stop(void)
{
    if (!s_server) return;
    if (write(s_server->stop[1], "x", 1) != 1) perror("meetsrv: stop");
    s_server->thread.join();
    for (auto& c : s_server->conns) close(c->fd);
    close(s_server->listenfd);
    close(s_server->stop[0]);
    close(s_server->stop[1]);
    delete s_server;
    s_server = nullptr;
}

MeetStats MeetSrv_Stats(void)
{
    return {s_counts[C_CONNECTIONS].load(), s_counts[C_SESSIONS].load(), s_counts[C_PLAYERS].load(),
            s_counts[C_TEXTS].load(),       s_counts[C_NOTICES].load(),  s_counts[C_REFUSED].load(),
            s_counts[C_BROKEN].load()};
}

std::string MeetSrv_Report(void)
{
    MeetStats m = MeetSrv_Stats();
    char line[200];
    snprintf(line, sizeof line,
             "meeting server: %u connections, %u sessions made, %u players, %u texts relayed, %u notices, %u refused, "
             "%u broke the protocol",
             m.connections, m.sessions, m.players, m.texts, m.notices, m.refused, m.broken);
    return line;
}
