// The meeting service's client library.
//
// Design: one non-blocking TCP socket and an input buffer. Pump reads what
// the socket holds and cuts it into messages: DATA goes to the receive
// queue, every other server message to the reply list. A request first
// empties the reply list, sends, then pumps until the answer it expects
// stands at the front; replies nobody asked for are dropped there, so a
// stray or hostile answer changes nothing. A message that breaks the
// protocol (length outside 1..DPMSG_MAX, unknown type, wrong body size)
// ends the connection: the rest of the stream can't be trusted.
#include "net/dplib.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/tlog.h"
#include "platform/thread.h"

namespace {

enum {
    kQueueMax = 1024,     // queued packets; more from a flooding server are dropped
    kReplyMax = 4096,     // replies of one enumeration
    kConnectMs = 5000,
    kSendMs = 5000,
    kSliceMs = 20,        // longest real wait of one poll inside a time-out
    kPumpReads = 16,      // socket reads of one pump
};

struct Packet {
    uint16_t from, to;
    std::vector<uint8_t> bytes;
};

struct Reply {
    uint8_t type;
    std::vector<uint8_t> body;
};

} // namespace

struct DPHANDLE_S {
    int fd = -1;
    int broken = 0;
    std::string transport;
    std::vector<uint8_t> in;
    std::deque<Packet> queue;
    std::deque<Reply> replies;
    std::map<uint16_t, std::string> names;
    uint32_t dropped = 0;
};

namespace {

void CloseFd(DPHANDLE h)
{
    if (h->fd >= 0) close(h->fd);
    h->fd = -1;
}

void Break(DPHANDLE h, const char* why, int a = 0, int b = 0)
{
    if (!h->broken) {
        char text[160];
        snprintf(text, sizeof text, why, a, b);
        TLOG(TLOG_NERR, "Zephnet connection lost: %s", text);
    }
    h->broken = 1;
    CloseFd(h);
    h->in.clear();
}

std::string NameField(const uint8_t* p)
{
    size_t n = 0;
    while (n < DP_NAME_SIZE && p[n]) n++;
    return std::string((const char*)p, n);
}

// The body size a server message must have; -1 for a range checked apart.
int BodySize(uint8_t type)
{
    switch (type) {
    case DPMSG_WELCOME: return 4;
    case DPMSG_SERVEREND: case DPMSG_SESSIONEND: case DPMSG_PLAYEREND: return 0;
    case DPMSG_SESSION: return DP_SESSION_BYTES;
    case DPMSG_OPENED: return 1 + DP_SESSION_BYTES;
    case DPMSG_PLAYERID: return 2;
    case DPMSG_PLAYER: return 3 + DP_NAME_SIZE;
    case DPMSG_SERVER: case DPMSG_DATA: return -1;
    default: return -2;
    }
}

// One whole message; 0 when it broke the protocol.
int Take(DPHANDLE h, uint8_t type, const uint8_t* body, uint32_t size)
{
    int want = BodySize(type);
    if (want == -2) return 0;
    if (want >= 0 && size != (uint32_t)want) return 0;
    if (type == DPMSG_SERVER && (size < 5 || size > 4 + DP_HOST_SIZE - 1)) return 0;
    if (type == DPMSG_DATA) {
        if (size < 4 + DP_NAME_SIZE + 1 || size > 4 + DP_NAME_SIZE + DP_PACKET_MAX) return 0;
        Packet p;
        p.from = (uint16_t)Bytes_U16(body);
        p.to = (uint16_t)Bytes_U16(body + 2);
        if (p.from != 0) h->names[p.from] = NameField(body + 4);
        p.bytes.assign(body + 4 + DP_NAME_SIZE, body + size);
        if (h->queue.size() >= kQueueMax) {
            if (h->dropped++ == 0) TLOG(TLOG_NWARN, "Zephnet: receive queue full, packets dropped");
            return 1;
        }
        h->queue.push_back(std::move(p));
        return 1;
    }
    if (type == DPMSG_PLAYER) h->names[(uint16_t)Bytes_U16(body)] = NameField(body + 3);
    if (h->replies.size() >= kReplyMax) return 0;
    h->replies.push_back(Reply{type, std::vector<uint8_t>(body, body + size)});
    return 1;
}

// Cuts the input into messages; 0 when the stream broke the protocol.
int Parse(DPHANDLE h)
{
    size_t at = 0;
    while (h->in.size() - at >= 2) {
        uint32_t len = Bytes_U16(&h->in[at]);
        if (len < 1 || len > DPMSG_MAX) {
            Break(h, "message length %d outside 1..512", (int)len);
            return 0;
        }
        if (h->in.size() - at < 2 + len) break;
        uint8_t type = h->in[at + 2];
        if (!Take(h, type, &h->in[at + 3], len - 1)) {
            Break(h, "malformed message (type 0x%02x, %d bytes)", type, (int)len - 1);
            return 0;
        }
        at += 2 + len;
    }
    h->in.erase(h->in.begin(), h->in.begin() + (long)at);
    return 1;
}

// Reads what the socket holds, waiting up to waitms of real time for the
// first bytes. 0 once the connection is gone.
int Pump(DPHANDLE h, int waitms)
{
    if (h->fd < 0) return 0;
    pollfd p = {h->fd, POLLIN, 0};
    if (poll(&p, 1, waitms) <= 0) return 1;
    // A bounded read: a server that sends without pause must not hold the
    // caller here.
    uint8_t buffer[4096];
    for (int reads = 0; reads < kPumpReads; reads++) {
        ssize_t n = recv(h->fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            h->in.insert(h->in.end(), buffer, buffer + n);
            if (!Parse(h)) return 0;
            continue;
        }
        if (n == 0) {
            Break(h, "the server closed the connection");
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
        Break(h, "receive failed (errno %d)", errno);
        return 0;
    }
    return 1;
}

int Send(DPHANDLE h, uint8_t type, const uint8_t* body, uint32_t size)
{
    if (h->fd < 0) return DP_ERR_CONNECTION;
    std::vector<uint8_t> m;
    Bytes_AppendU16(&m, size + 1);
    m.push_back(type);
    m.insert(m.end(), body, body + size);
    size_t done = 0;
    uint32_t start = Thread_ClockMs();
    while (done < m.size()) {
        ssize_t n = send(h->fd, m.data() + done, m.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            Break(h, "send failed (errno %d)", errno);
            return DP_ERR_CONNECTION;
        }
        if (Thread_ClockMs() - start >= kSendMs) {
            Break(h, "the server took nothing for %d ms", kSendMs);
            return DP_ERR_TIMEOUT;
        }
        pollfd p = {h->fd, POLLOUT, 0};
        poll(&p, 1, kSliceMs);
    }
    return DP_OK;
}

// Sends a request after forgetting stray replies.
int Request(DPHANDLE h, uint8_t type, const uint8_t* body, uint32_t size)
{
    if (h->fd >= 0) Pump(h, 0);
    h->replies.clear();
    return Send(h, type, body, size);
}

// Waits for the next reply of one of the types (dropping any other) until
// timeoutms after start: an enumeration's whole answer shares one time-out,
// so that a server that never ends its list can't hold the caller. The
// reply stays at the front. DP_OK, DP_ERR_TIMEOUT or DP_ERR_CONNECTION.
int Await(DPHANDLE h, uint8_t a, uint8_t b, uint32_t start, uint32_t timeoutms)
{
    for (;;) {
        while (!h->replies.empty() && h->replies.front().type != a && h->replies.front().type != b)
            h->replies.pop_front();
        if (!h->replies.empty()) return DP_OK;
        if (h->fd < 0) return DP_ERR_CONNECTION;
        uint32_t spent = Thread_ClockMs() - start;
        if (spent >= timeoutms) {
            TLOG(TLOG_NERR, "Zephnet: no answer from the server within %u ms", timeoutms);
            return DP_ERR_TIMEOUT;
        }
        uint32_t left = timeoutms - spent;
        if (!Pump(h, (int)(left < (uint32_t)kSliceMs ? left : (uint32_t)kSliceMs))) return DP_ERR_CONNECTION;
    }
}

Reply Pop(DPHANDLE h)
{
    Reply r = std::move(h->replies.front());
    h->replies.pop_front();
    return r;
}

int SetNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// A connected non-blocking socket to host:port within kConnectMs, or -1.
int Connect(const char* host, const char* port)
{
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host, port, &hints, &list) != 0 || !list) {
        TLOG(TLOG_NERR, "Zephnet: server %s does not resolve", host);
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int ok = fd >= 0 && SetNonBlocking(fd);
    const char* want = getenv("QUORVEX_NETADDRESS");
    if (ok && want && *want) {
        sockaddr_in a;
        memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        ok = inet_pton(AF_INET, want, &a.sin_addr) == 1 && bind(fd, (sockaddr*)&a, sizeof a) == 0;
    }
    if (ok && connect(fd, list->ai_addr, list->ai_addrlen) != 0) {
        ok = errno == EINPROGRESS;
        pollfd p = {fd, POLLOUT, 0};
        uint32_t start = Thread_ClockMs();
        int ready = 0;
        while (ok && !ready && Thread_ClockMs() - start < kConnectMs) ready = poll(&p, 1, kSliceMs) > 0;
        int error = 0;
        socklen_t len = sizeof error;
        ok = ready && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    freeaddrinfo(list);
    if (!ok) {
        TLOG(TLOG_NERR, "Zephnet: no server answers at %s:%s", host, port);
        if (fd >= 0) close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

int dpCreate(DPHANDLE* handle, const char* transport, void*, void*)
{
    if (!handle) return DP_ERR_ARGS;
    *handle = new DPHANDLE_S;
    (*handle)->transport = transport ? transport : "";
    return DP_OK;
}

int dpSetGameServer(DPHANDLE h, const char* server)
{
    if (!h || !server) return DP_ERR_ARGS;
    CloseFd(h);
    h->broken = 0;
    h->in.clear();
    h->queue.clear();
    h->replies.clear();
    std::string host = server, port = std::to_string(DP_DEFAULT_PORT);
    size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.resize(colon);
    }
    if (host.empty()) return DP_ERR_NOSERVER;
    h->fd = Connect(host.c_str(), port.c_str());
    if (h->fd < 0) return DP_ERR_NOSERVER;
    uint8_t magic[4];
    Bytes_PutU32(magic, DPMSG_MAGIC);
    if (Request(h, DPMSG_HELLO, magic, 4) != DP_OK || Await(h, DPMSG_WELCOME, DPMSG_WELCOME, Thread_ClockMs(), kConnectMs) != DP_OK ||
        Bytes_U32(Pop(h).body.data()) != DPMSG_MAGIC) {
        Break(h, "no greeting from the server");
        return DP_ERR_NOSERVER;
    }
    return DP_OK;
}

int dpEnumServers(DPHANDLE h, uint32_t timeoutms, DP_SERVERFN callback, void* context)
{
    if (!h || !callback) return DP_ERR_ARGS;
    uint32_t start = Thread_ClockMs();
    int result = Request(h, DPMSG_ENUMSERVERS, nullptr, 0);
    int going = 1;
    while (result == DP_OK && (result = Await(h, DPMSG_SERVER, DPMSG_SERVEREND, start, timeoutms)) == DP_OK) {
        Reply r = Pop(h);
        if (r.type == DPMSG_SERVEREND) break;
        std::string host((const char*)r.body.data() + 4, r.body.size() - 4);
        host.resize(strnlen(host.c_str(), host.size()));
        uint32_t ping = Bytes_U32(r.body.data()) + (Thread_ClockMs() - start);
        if (going) going = callback(host.c_str(), ping, context);
    }
    callback(nullptr, 0, context);
    return result;
}

int dpEnumSessions(DPHANDLE h, const uint8_t* filter, uint32_t, uint32_t timeoutms, DP_SESSIONFN callback,
                   void* context)
{
    if (!h || !filter || !callback) return DP_ERR_ARGS;
    uint8_t type[2];
    Bytes_PutU16(type, Bytes_U16(filter + DP_SESSION_GAMETYPE));
    uint32_t start = Thread_ClockMs();
    int result = Request(h, DPMSG_ENUMSESSIONS, type, 2);
    int going = 1;
    while (result == DP_OK && (result = Await(h, DPMSG_SESSION, DPMSG_SESSIONEND, start, timeoutms)) == DP_OK) {
        Reply r = Pop(h);
        if (r.type == DPMSG_SESSIONEND) break;
        if (going) going = callback(r.body.data(), context);
    }
    callback(nullptr, context);
    return result;
}

int dpEnumPlayers(DPHANDLE h, const uint8_t* session, DP_PLAYERFN callback, void* context, uint32_t)
{
    if (!h || session || !callback) return DP_ERR_ARGS;
    uint32_t start = Thread_ClockMs();
    int result = Request(h, DPMSG_ENUMPLAYERS, nullptr, 0);
    int going = 1;
    while (result == DP_OK && (result = Await(h, DPMSG_PLAYER, DPMSG_PLAYEREND, start, DP_REQUEST_MS)) == DP_OK) {
        Reply r = Pop(h);
        if (r.type == DPMSG_PLAYEREND) break;
        std::string name = NameField(r.body.data() + 3);
        if (going) going = callback((uint16_t)Bytes_U16(r.body.data()), name.c_str(), r.body[2], context);
    }
    callback(DP_NOPLAYER, "", 0, context);
    return result;
}

int dpOpen(DPHANDLE h, const uint8_t* record, DP_OPENFN callback, void* context)
{
    if (!h || !record || !callback) return DP_ERR_ARGS;
    int result = Request(h, DPMSG_OPEN, record, DP_SESSION_BYTES);
    if (result == DP_OK) result = Await(h, DPMSG_OPENED, DPMSG_OPENED, Thread_ClockMs(), DP_REQUEST_MS);
    if (result != DP_OK) return result;
    // Whatever the previous session left queued is not this one's.
    h->queue.clear();
    h->names.clear();
    Reply r = Pop(h);
    if (r.body[0] != DPOPEN_OK) return DP_ERR_REFUSED;
    callback(r.body.data() + 1, context);
    return DP_OK;
}

int dpClose(DPHANDLE h)
{
    if (!h) return DP_ERR_ARGS;
    int result = Request(h, DPMSG_CLOSE, nullptr, 0);
    h->queue.clear();
    h->names.clear();
    return result;
}

int dpCreatePlayer(DPHANDLE h, DP_CREATEFN callback, const char* name, void* context)
{
    if (!h || !callback || !name) return DP_ERR_ARGS;
    uint8_t field[DP_NAME_SIZE];
    memset(field, 0, sizeof field);
    memcpy(field, name, strnlen(name, DP_NAME_SIZE - 1));
    int result = Request(h, DPMSG_CREATEPLAYER, field, sizeof field);
    if (result == DP_OK) result = Await(h, DPMSG_PLAYERID, DPMSG_PLAYERID, Thread_ClockMs(), DP_REQUEST_MS);
    if (result != DP_OK) return result;
    uint16_t id = (uint16_t)Bytes_U16(Pop(h).body.data());
    if (id == 0) id = DP_NOPLAYER;
    if (id != DP_NOPLAYER) h->names[id] = std::string((const char*)field);
    callback(id, context);
    return id == DP_NOPLAYER ? DP_ERR_REFUSED : DP_OK;
}

int dpDestroyPlayer(DPHANDLE h, uint16_t id)
{
    if (!h) return DP_ERR_ARGS;
    uint8_t body[2];
    Bytes_PutU16(body, id);
    return Request(h, DPMSG_DESTROYPLAYER, body, 2);
}

int dpGetPlayerName(DPHANDLE h, uint16_t id, char* buffer, uint32_t size)
{
    if (!h || !buffer || size == 0) return DP_ERR_ARGS;
    buffer[0] = 0;
    auto it = h->names.find(id);
    if (it == h->names.end()) return DP_ERR_ARGS;
    snprintf(buffer, size, "%s", it->second.c_str());
    return DP_OK;
}

int dpSend(DPHANDLE h, uint16_t from, uint16_t to, uint32_t, const void* data, uint32_t length)
{
    if (!h || !data || length == 0 || length > DP_PACKET_MAX) return DP_ERR_ARGS;
    std::vector<uint8_t> body(4 + length);
    Bytes_PutU16(&body[0], from);
    Bytes_PutU16(&body[2], to);
    memcpy(&body[4], data, length);
    if (h->fd >= 0) Pump(h, 0);
    return Send(h, DPMSG_SEND, body.data(), (uint32_t)body.size());
}

int dpReceive(DPHANDLE h, uint16_t* from, uint16_t* to, uint32_t, void* buffer, uint32_t* length)
{
    if (!h || !from || !to || !buffer || !length) return DP_ERR_ARGS;
    if (h->queue.empty() && h->fd >= 0) Pump(h, 0);
    if (h->queue.empty()) return h->broken ? DP_ERR_CONNECTION : DP_ERR_EMPTY;
    Packet p = std::move(h->queue.front());
    h->queue.pop_front();
    if (p.bytes.size() > *length) return DP_ERR_TOOBIG;
    *from = p.from;
    *to = p.to;
    *length = (uint32_t)p.bytes.size();
    memcpy(buffer, p.bytes.data(), p.bytes.size());
    return DP_OK;
}

int dpDestroy(DPHANDLE h, uint32_t)
{
    if (!h) return DP_OK;
    CloseFd(h);
    delete h;
    return DP_OK;
}

int dpFeed(DPHANDLE h, const uint8_t* bytes, uint32_t length)
{
    if (!h || (!bytes && length)) return DP_ERR_ARGS;
    if (h->broken) return DP_ERR_CONNECTION;
    h->in.insert(h->in.end(), bytes, bytes + length);
    return Parse(h) ? DP_OK : DP_ERR_CONNECTION;
}
