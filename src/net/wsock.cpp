#include "net/wsock.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/debug.h"
#include "core/mono.h"
#include "core/tlog.h"
#include "net/netlog.h"
#include "net/netpkt.h"
#include "net/prof.h"
#include "platform/thread.h"

namespace {

struct Ring {
    WsockSlot slots[WSOCK_RING_SLOTS];
    std::atomic<WsockSlot*> write, read;
};

struct ErrorText {
    int code;
    const char* text;
};

const ErrorText kErrors[] = {
    {10004, "The (blocking) call was canceled using WSACancelBlockingCall."},
    {10009, "WSAEBADF"},
    {10013, "The requested address is a broadcast address, but the appropriate flag was not set."},
    {10014, "The addrlen argument is too small (less than the size of a sockets address structure)."},
    {10022, "The Windows Sockets version specified by the application is not supported by this DLL."},
    {10024, "The queue is empty upon entry to accept and there are no descriptors available."},
    {10035, "The socket is marked as nonblocking and no connections are present to be accepted."},
    {10036, "A blocking Windows Sockets call is in progress."},
    {10037, "A non-blocking call is in progress on the specified socket."},
    {10038, "The descriptor is not a socket."},
    {10040, "The datagram was too large to fit into the specified buffer and was truncated."},
    {10041, "The specified protocol is the wrong type for this socket."},
    {10042, "The option is unknown or unsupported."},
    {10043, "The specified protocol is not supported."},
    {10044, "The specified socket type is not supported in this address family."},
    {10045, "The referenced socket is not a type that supports connection-oriented service."},
    {10047, "The specified address family is not supported by this protocol."},
    {10048, "The specified address is already in use. (See the SO_REUSEADDR socket option under setsockopt.)"},
    {10049, "The specified address is not available from the local computer."},
    {10050, "The Windows Sockets implementation has detected that the network subsystem has failed."},
    {10051, "The network can't be reached from this host at this time."},
    {10052, "The connection must be reset because the Windows Sockets implementation dropped it."},
    {10053, "The virtual circuit was aborted due to timeout or other failure."},
    {10054, "The virtual circuit was reset by the remote side."},
    {10055, "No buffer space is available."},
    {10056, "The socket is already connected."},
    {10057, "The socket is not connected."},
    {10058, "The socket has been shut down"},
    {10059, "Too many references."},
    {10060, "Operation Timed Out."},
    {10061, "The attempt to connect was forcefully rejected."},
    {10062, "Loop."},
    {10063, "Name too long."},
    {10065, "The remote host can't be reached from this host at this time."},
    {10091, "Indicates that the underlying network subsystem is not ready for network communication."},
    {10092, "The version of Windows Sockets support requested is not provided by this particular Windows Sockets implementation."},
    {10093, "A successful WSAStartup must occur before using this function."},
    {10101, "The message terminated gracefully."},
    {11001, "Host not found"},
    {11002, "Try Again"},
    {11003, "No recovery"},
    {11004, "No Data"},
};

const struct {
    int error, code;
} kErrnoCodes[] = {
    {EINTR, 10004},       {EBADF, 10009},        {EACCES, 10013},        {EFAULT, 10014},
    {EINVAL, 10022},      {EMFILE, 10024},       {ENFILE, 10024},        {EAGAIN, 10035},
    {EINPROGRESS, 10036}, {EALREADY, 10037},     {ENOTSOCK, 10038},      {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},  {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},  {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},    {ENETUNREACH, 10051},  {ENETRESET, 10052},     {ECONNABORTED, 10053},
    {ECONNRESET, 10054},  {ENOBUFS, 10055},      {ENOMEM, 10055},        {EISCONN, 10056},
    {ENOTCONN, 10057},    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},  {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},       {ENAMETOOLONG, 10063},  {EHOSTUNREACH, 10065},
};

std::atomic<int> s_initialised{0};
std::atomic<int> s_paused{0};
int s_type;
int s_socket = -1;      // unicast: the node's own address and port
int s_broadcast = -1;   // IPX emulation: the network's broadcast address
int s_wakefd = -1;      // written by close to release the receive thread
in_addr s_own;          // the address bound and reported
Ring* s_out;
Ring* s_in;
THREAD_EVENT* s_sendWake;
THREAD_EVENT* s_consumed;
THREAD* s_sendThread;
THREAD* s_recvThread;
thread_local int s_lastError;
// Datagrams thrown away at a full incoming ring, counted whole (the log line
// is rate-limited), and the moment before the receive thread's last look
// at its sockets, from which on anything that came is read or yet to come.
std::atomic<uint32_t> s_ringDrops{0};
std::atomic<uint32_t> s_polledAt{0};

void SetError(int error) { s_lastError = WSOCK_ErrorFromErrno(error); }

Ring* NewRing()
{
    Ring* r = new Ring;
    memset(r->slots, 0, sizeof r->slots);
    for (int i = 0; i < WSOCK_RING_SLOTS; i++) r->slots[i].next = &r->slots[(i + 1) % WSOCK_RING_SLOTS];
    r->write.store(&r->slots[0]);
    r->read.store(&r->slots[0]);
    return r;
}

bool Empty(Ring* r) { return r->write.load(std::memory_order_acquire) == r->read.load(std::memory_order_acquire); }
bool Full(Ring* r) { return r->write.load(std::memory_order_acquire)->next == r->read.load(std::memory_order_acquire); }

// The address to bind and report: QUORVEX_NETADDRESS, else the first IPv4
// address, not loopback, of an interface that is up. 0 when there is none.
int OwnAddress(in_addr* out)
{
    const char* want = getenv("QUORVEX_NETADDRESS");
    if (want && *want) return inet_pton(AF_INET, want, out) == 1;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int found = 0;
    for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
        *out = ((sockaddr_in*)i->ifa_addr)->sin_addr;
        found = 1;
    }
    freeifaddrs(list);
    return found;
}

int Bind(int fd, in_addr address, int port, int line)
{
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr = address;
    a.sin_port = htons((uint16_t)port);
    if (bind(fd, (sockaddr*)&a, sizeof a) == 0) return 1;
    SetError(errno);
    WSOCK_LogError(line);
    return 0;
}

int SetOption(int fd, int option, int value, int line)
{
    if (setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0) return 1;
    SetError(errno);
    WSOCK_LogError(line);
    return 0;
}

void CloseFd(int* fd)
{
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

// Enough kernel buffer for a burst of 64 datagrams from several peers, which
// would otherwise be lost before they reach the ring.
const int kSocketBuffer = 64 * 4096;

int OpenSockets(int type, int port)
{
    s_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (s_socket < 0) {
        TLOG(TLOG_NERR, type == WSOCK_IPX ? "Could not create an IPX network socket"
                                          : "Could not create a UDP network socket");
        return 0;
    }
    in_addr any;
    any.s_addr = htonl(INADDR_ANY);
    if (type == WSOCK_UDP) {
        // No address reuse: a second program on the port must get "in use"
        // rather than silently share (and lose) the datagrams.
        return SetOption(s_socket, SO_RCVBUF, kSocketBuffer, 1) &&
               SetOption(s_socket, SO_SNDBUF, kSocketBuffer, 2) &&
               Bind(s_socket, getenv("QUORVEX_NETADDRESS") ? s_own : any, port, 3);
    }
    // Only the broadcast socket shares its address: a second program on the
    // node's own address and port is refused ("in use") instead of taking
    // the node's datagrams.
    if (!SetOption(s_socket, SO_BROADCAST, 1, 4) || !SetOption(s_socket, SO_RCVBUF, kSocketBuffer, 6) ||
        !SetOption(s_socket, SO_SNDBUF, kSocketBuffer, 7) || !Bind(s_socket, s_own, port, 8))
        return 0;
    s_broadcast = socket(AF_INET, SOCK_DGRAM, 0);
    if (s_broadcast < 0) {
        TLOG(TLOG_NERR, "Could not create an IPX network socket");
        return 0;
    }
    in_addr bcast;
    bcast.s_addr = WSOCK_BroadcastAddress();
    return SetOption(s_broadcast, SO_REUSEADDR, 1, 9) &&
           SetOption(s_broadcast, SO_RCVBUF, kSocketBuffer, 10) && Bind(s_broadcast, bcast, port, 11);
}

void SendThread(void*)
{
    uint32_t previous = Thread_ClockMs();
    while (s_initialised.load()) {
        if (Mono_Enabled()) {
            uint32_t now = Thread_ClockMs();
            Prof_AddTime(1, "WSOCK send", now - previous);
            previous = now;
        }
        if (Empty(s_out) || s_paused.load()) Event_Wait(s_sendWake, THREAD_INFINITE);
        if (Empty(s_out) || s_paused.load()) {
            if (!s_initialised.load()) break;
            continue;
        }
        WsockSlot* slot = s_out->read.load(std::memory_order_relaxed);
        if (sendto(s_socket, slot->data, slot->length, 0, (sockaddr*)&slot->address,
                   sizeof slot->address) < 0) {
            SetError(errno);
            WSOCK_LogError(20);
        }
        s_out->read.store(slot->next, std::memory_order_release);
    }
}

// Takes one datagram from a readable socket into the incoming ring; 0 when
// the socket had none.
int ReceiveOne(int fd)
{
    uint8_t buffer[WSOCK_SLOT_DATA];
    sockaddr_in from;
    socklen_t fromlen = sizeof from;
    ssize_t n = recvfrom(fd, buffer, WSOCK_MAX_DATAGRAM, MSG_TRUNC | MSG_DONTWAIT, (sockaddr*)&from,
                         &fromlen);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
        SetError(errno);
        WSOCK_LogError(30);
        return 0;
    }
    if (n > WSOCK_LONGEST_PACKET) {
        if (NetLog_Allow(NETLOG_LONG_DATAGRAM))
            TLOG(TLOG_NWARN, "Datagram of %d bytes is longer than a packet: dropped", (int)n);
        return 1;
    }
    if (Full(s_in)) {
        s_ringDrops.fetch_add(1);
        if (NetLog_Allow(NETLOG_RING_FULL)) TLOG(TLOG_NWARN, "Incoming buffer is full!");
        return 1;
    }
    WsockSlot* slot = s_in->write.load(std::memory_order_relaxed);
    memset(slot->data, 0, sizeof slot->data);
    memcpy(slot->data, buffer, (size_t)n);
    slot->address = from;
    slot->length = (uint32_t)n;
    slot->time = Thread_ClockMs();
    s_in->write.store(slot->next, std::memory_order_release);
    NetPkt_Wake();
    return 1;
}

// The pause before polling again after poll itself failed.
const uint32_t kPollRetryMs = 10;

void ReceiveThread(void*)
{
    uint32_t previous = Thread_ClockMs();
    pollfd fds[3];
    int nfds = 0;
    fds[nfds++] = {s_wakefd, POLLIN, 0};
    // A broadcast is read before unicasts that were ready with it, which
    // keeps the order in which a node's peers see its search and their own.
    if (s_broadcast >= 0) fds[nfds++] = {s_broadcast, POLLIN, 0};
    fds[nfds++] = {s_socket, POLLIN, 0};
    while (s_initialised.load()) {
        if (Mono_Enabled()) {
            uint32_t now = Thread_ClockMs();
            Prof_AddTime(2, "WSOCK recv", now - previous);
            previous = now;
        }
        // Wakes at least every WSOCK_POLL_MS, so that its stamp tells a
        // thread that waits on quiet sockets from one held off the processor.
        if (poll(fds, (nfds_t)nfds, WSOCK_POLL_MS) < 0) {
            if (errno == EINTR) continue;
            // Ending here would leave the node deaf for the rest of the game.
            SetError(errno);
            WSOCK_LogError(31);
            Thread_Sleep(kPollRetryMs);
            continue;
        }
        if (!s_initialised.load()) break;
        // Every socket read dry (they don't block): what came before the
        // stamp is off them before it is given.
        const uint32_t start = Thread_ClockMs();
        for (int i = 1; i < nfds; i++)
            while (s_initialised.load() && ReceiveOne(fds[i].fd)) {
            }
        s_polledAt.store(start);
    }
}

void FreeAll()
{
    CloseFd(&s_socket);
    CloseFd(&s_broadcast);
    CloseFd(&s_wakefd);
    delete s_out;
    delete s_in;
    s_out = s_in = nullptr;
}

} // namespace

int WSOCK_Init(int type, int port)
{
    if (s_initialised.load()) {
        TLOG(TLOG_NWARN, "Attempt to re-initialise");
        return 1;
    }
    TLOG(TLOG_NDIAG, "Initialising");
    // Sockets need no start-up here; the lines a start reports stay.
    TLOG(TLOG_NERR, "Winsock Started Successfully");
    TLOG(TLOG_NDIAG, " - Version       : %d %d", 1, 1);
    TLOG(TLOG_NDIAG, " - Description   : %s", "POSIX sockets");
    TLOG(TLOG_NDIAG, " - Status        : %s", "Running");
    TLOG(TLOG_NDIAG, " - MaxSockets    : %d", (int)sysconf(_SC_OPEN_MAX));
    TLOG(TLOG_NDIAG, " - MaxPacketSize : %d", 65507);
    if (type != WSOCK_UDP && type != WSOCK_IPX) {
        TLOG(TLOG_NERR, "Unknown network type");
        return 0;
    }
    s_type = type;
    s_own.s_addr = htonl(INADDR_ANY);
    if (!OwnAddress(&s_own) && type == WSOCK_IPX) {
        TLOG(TLOG_NERR, "Could not get local address");
        return 0;
    }
    if (!OpenSockets(type, port)) {
        FreeAll();
        return 0;
    }
    // Without it close could never release the receive thread.
    s_wakefd = eventfd(0, EFD_CLOEXEC);
    if (s_wakefd < 0) {
        SetError(errno);
        WSOCK_LogError(12);
        FreeAll();
        return 0;
    }
    s_out = NewRing();
    s_in = NewRing();
    s_sendWake = Event_Create();
    s_consumed = Event_Create();
    s_ringDrops.store(0);
    s_polledAt.store(Thread_ClockMs());
    s_initialised.store(1);
    s_sendThread = Thread_Create(SendThread, nullptr);
    s_recvThread = Thread_Create(ReceiveThread, nullptr);
    Thread_RaisePriority(s_sendThread);
    Thread_RaisePriority(s_recvThread);
    return 1;
}

void WSOCK_Close(void)
{
    if (!s_initialised.load()) return;
    s_paused.store(0);
    if (!Empty(s_out)) {
        TLOG(TLOG_NWARN, "Shutting Down with packets in the outbuffer");
        while (!Empty(s_out)) {
            Event_Set(s_sendWake);
            Thread_Sleep(1);
        }
    }
    s_initialised.store(0);
    Event_Set(s_sendWake);
    Thread_Join(s_sendThread);
    uint64_t one = 1;
    if (write(s_wakefd, &one, sizeof one) < 0) TLOG(TLOG_NERR, "Could not wake the receive thread");
    Thread_Join(s_recvThread);
    s_sendThread = s_recvThread = nullptr;
    TLOG(TLOG_NWARN, "Datagrams dropped at a full receive ring: %u", (unsigned)s_ringDrops.load());
    Event_Destroy(s_sendWake);
    Event_Destroy(s_consumed);
    s_sendWake = s_consumed = nullptr;
    FreeAll();
}

int WSOCK_GetLocalAddress(sockaddr_in* out)
{
    if (s_type == WSOCK_IPX && s_socket >= 0) {
        socklen_t len = sizeof *out;
        if (getsockname(s_socket, (sockaddr*)out, &len) != 0) {
            SetError(errno);
            WSOCK_LogError(40);
            return 0;
        }
        const uint8_t* a = (const uint8_t*)&out->sin_addr;
        TLOG(TLOG_NDIAG, "Local Address: %02x:%02x:%02x:%02x %02x:%02x:%02x:%02x:%02x:%02x", 0, 0, 0,
             0, a[0], a[1], a[2], a[3], 0, 0);
        return 1;
    }
    in_addr own;
    if (!OwnAddress(&own)) return 0;
    char host[128] = "";
    gethostname(host, sizeof host - 1);
    out->sin_family = AF_INET;
    out->sin_addr = own;
    const uint8_t* a = (const uint8_t*)&own;
    TLOG(TLOG_NDIAG, "Local Address: %s %d.%d.%d.%d", host, a[0], a[1], a[2], a[3]);
    return 1;
}

uint32_t WSOCK_BroadcastAddress(void)
{
    uint32_t own = ntohl(s_own.s_addr);
    if ((own >> 24) == 127) return htonl(0x7FFFFFFFu);
    uint32_t found = htonl(INADDR_BROADCAST);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return found;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_broadaddr) continue;
        if (((sockaddr_in*)i->ifa_addr)->sin_addr.s_addr != s_own.s_addr) continue;
        found = ((sockaddr_in*)i->ifa_broadaddr)->sin_addr.s_addr;
        break;
    }
    freeifaddrs(list);
    return found;
}

int WSOCK_Send(const sockaddr_in* to, const void* data, uint32_t length)
{
    if (!s_initialised.load()) {
        TLOG(TLOG_NWARN, "Call to WSOCK_Send without initialising WSOCK");
        return 0;
    }
    if (Full(s_out)) {
        // The caller learns it from the result: a packet sent with
        // acknowledgement is retried, a plain one is lost to the caller.
        if (NetLog_Allow(NETLOG_OUT_FULL)) TLOG(TLOG_NERR, "Outgoing buffer is full... packet refused");
        return 0;
    }
    if (length > WSOCK_SLOT_DATA) length = WSOCK_SLOT_DATA;
    WsockSlot* slot = s_out->write.load(std::memory_order_relaxed);
    memcpy(slot->data, data, length);
    slot->address = *to;
    slot->length = length;
    s_out->write.store(slot->next, std::memory_order_release);
    Event_Set(s_sendWake);
    return (int)length;
}

int WSOCK_Recv(sockaddr_in* from, void* buffer, uint32_t* length, uint32_t* time)
{
    if (!s_initialised.load()) {
        TLOG(TLOG_NWARN, "Call to WSOCK_Recv without initialising WSOCK");
        return 0;
    }
    if (Empty(s_in)) return 0;
    WsockSlot* slot = s_in->read.load(std::memory_order_relaxed);
    memcpy(buffer, slot->data, WSOCK_SLOT_DATA);
    *from = slot->address;
    *length = slot->length;
    *time = slot->time;
    s_in->read.store(slot->next, std::memory_order_release);
    Event_Set(s_consumed);
    return 1;
}

void WSOCK_LogError(int number)
{
    int code = s_lastError;
    TLOG(TLOG_NERR, "WinSock Err: %5d : Line %d : %s\n", code, number, WSOCK_ErrorText(code));
}

const char* WSOCK_ErrorText(int code)
{
    for (const ErrorText& e : kErrors)
        if (e.code == code) return e.text;
    return "Unknown Winsock Error";
}

int WSOCK_ErrorFromErrno(int error)
{
    for (const auto& e : kErrnoCodes)
        if (e.error == error) return e.code;
    return 10000 + error;
}

int WSOCK_LastError(void) { return s_lastError; }

uint32_t WSOCK_RingDrops(void) { return s_ringDrops.load(); }

uint32_t WSOCK_PolledAt(void) { return s_polledAt.load(); }

void WSOCK_PauseSender(int pause)
{
    s_paused.store(pause);
    if (!pause && s_sendWake) Event_Set(s_sendWake);
}

int WSOCK_Start(int type, int port, int kind, sockaddr_in* tmpl, NetAddress* own)
{
    if (!WSOCK_Init(type, port)) {
        TLOG(TLOG_NERR, "Winsock could not start");
        return 0;
    }
    memset(tmpl, 0, sizeof *tmpl);
    if (!WSOCK_GetLocalAddress(tmpl)) {
        TLOG(TLOG_NERR, "Could not get local address");
        WSOCK_Close();
        return 0;
    }
    tmpl->sin_family = AF_INET;
    tmpl->sin_port = htons(static_cast<uint16_t>(port));
    own->kind = kind;
    memcpy(own->bytes, &tmpl->sin_addr, 4);
    own->bytes[4] = own->bytes[5] = 0;
    return 1;
}
