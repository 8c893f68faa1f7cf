#include "net/netpkt.h"

#include <atomic>
#include <cstring>

#include "core/config.h"
#include "core/debug.h"
#include "core/mono.h"
#include "core/tlog.h"
#include "net/ipx.h"
#include "net/prof.h"
#include "net/udp.h"
#include "platform/thread.h"

// Ids delivered lately from one source address.
struct NetSeenIds {
    NetAddress address;
    uint32_t ids[NETPKT_SEEN_IDS];
    uint32_t count, next;
    NetSeenIds* next_source;
};

NetAddress g_NetOwnAddress;

// The locks live as long as the program: the estimates are read (and the
// game lock taken) also while the layer is closed.
static THREAD_CRITSEC* s_gameLock = CritSec_Create();
static THREAD_CRITSEC* s_listLock = CritSec_Create();
static THREAD_CRITSEC* s_sendLock = CritSec_Create();
static std::atomic<THREAD_EVENT*> s_wake{nullptr};
static THREAD* s_thread;
static std::atomic<int> s_initialised{0};
static int s_type;
static const NetTransport* s_transport;

static NetPendingPacket* s_queue;
static NetPendingPacket* s_free;
static NetRoundTrip* s_roundTrips;
static NetSeenIds* s_seen;
static uint32_t s_nextId;
static uint32_t s_lastScan;
static uint32_t s_lossState;

static std::atomic<NetReceiveHandler> s_handler{nullptr};
static std::atomic<NetAcceptFilter> s_filter{nullptr};

static const NetTransport s_udp = {UDP_Init, UDP_Close, UDP_Recv, UDP_Send};
static const NetTransport s_ipx = {IPX_Init, IPX_Close, IPX_Recv, IPX_Send};

int NetPkt_SameAddress(const NetAddress* a, const NetAddress* b)
{
    return a->kind == b->kind && memcmp(a->bytes, b->bytes, sizeof a->bytes) == 0;
}

THREAD_CRITSEC* NetPkt_GameLock(void) { return s_gameLock; }

static uint32_t Clamp(uint32_t v, uint32_t lo, uint32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// b is later than a, across the wrap of the clock.
static int Later(uint32_t b, uint32_t a)
{
    uint32_t d = b - a;
    return d != 0 && d < 2000000000u;
}

// ---- list operations ----

NetPendingPacket* NetPkt_AllocRecord(void)
{
    CritSec_Enter(s_listLock);
    NetPendingPacket* r = s_free;
    if (r) s_free = r->next;
    CritSec_Leave(s_listLock);
    if (!r) r = (NetPendingPacket*)Debug_Calloc(1, sizeof *r);
    r->next = nullptr;
    return r;
}

void NetPkt_FreeRecord(NetPendingPacket* record)
{
    CritSec_Enter(s_listLock);
    record->next = s_free;
    s_free = record;
    CritSec_Leave(s_listLock);
}

void NetPkt_QueueTimeout(NetPendingPacket* record)
{
    CritSec_Enter(s_listLock);
    NetPendingPacket** at = &s_queue;
    for (NetPendingPacket* curr = s_queue; curr; curr = curr->next) {
        NetPendingPacket* pkt = record;
        ASSERT(curr != pkt);
        if (Later(curr->expiry, record->expiry)) break;
        at = &curr->next;
    }
    record->next = *at;
    *at = record;
    CritSec_Leave(s_listLock);
    NetPkt_Wake();
}

int NetPkt_RemoveFromQueue(NetPendingPacket* record)
{
    int found = 0;
    CritSec_Enter(s_listLock);
    for (NetPendingPacket** at = &s_queue; *at; at = &(*at)->next) {
        if (*at == record) {
            *at = record->next;
            record->next = nullptr;
            found = 1;
            break;
        }
    }
    CritSec_Leave(s_listLock);
    return found;
}

NetPendingPacket* NetPkt_FindById(uint32_t id, const NetAddress* from)
{
    NetPendingPacket* found = nullptr;
    CritSec_Enter(s_listLock);
    for (NetPendingPacket* netpkt = s_queue; netpkt; netpkt = netpkt->next) {
        ASSERT(netpkt != netpkt->next);
        if (Net_Id(&netpkt->packet) == id && (!from || NetPkt_SameAddress(&netpkt->dest, from))) {
            found = netpkt;
            break;
        }
    }
    CritSec_Leave(s_listLock);
    return found;
}

static void FreeChain(NetPendingPacket** head)
{
    while (*head) {
        NetPendingPacket* r = *head;
        *head = r->next;
        Debug_FreeBlock(r);
    }
}

void NetPkt_FreeQueue(void)
{
    CritSec_Enter(s_listLock);
    FreeChain(&s_queue);
    FreeChain(&s_free);
    CritSec_Leave(s_listLock);
}

NetRoundTrip* NetPkt_AddRoundTrip(const NetAddress* address)
{
    NetRoundTrip* r = (NetRoundTrip*)Debug_Calloc(1, sizeof *r);
    r->address = *address;
    r->estimate = NETPKT_FIRST_ESTIMATE;
    CritSec_Enter(s_listLock);
    r->next = s_roundTrips;
    s_roundTrips = r;
    CritSec_Leave(s_listLock);
    return r;
}

void NetPkt_FreeRoundTrips(void)
{
    CritSec_Enter(s_listLock);
    while (s_roundTrips) {
        NetRoundTrip* r = s_roundTrips;
        s_roundTrips = r->next;
        Debug_FreeBlock(r);
    }
    CritSec_Leave(s_listLock);
}

int NetPkt_QueueLength(void)
{
    int n = 0;
    CritSec_Enter(s_listLock);
    for (NetPendingPacket* r = s_queue; r; r = r->next) n++;
    CritSec_Leave(s_listLock);
    return n;
}

// The address's record, made when there is none; under the list lock.
static NetRoundTrip* RoundTripOf(const NetAddress* address)
{
    CritSec_Enter(s_listLock);
    NetRoundTrip* r = s_roundTrips;
    while (r && !NetPkt_SameAddress(&r->address, address)) r = r->next;
    CritSec_Leave(s_listLock);
    return r ? r : NetPkt_AddRoundTrip(address);
}

static void FreeSeen(void)
{
    while (s_seen) {
        NetSeenIds* s = s_seen;
        s_seen = s->next_source;
        Debug_FreeBlock(s);
    }
}

// ---- sending ----

static int TransportSend(const NetPacket* packet, const NetAddress* to)
{
    CritSec_Enter(s_sendLock);
    int r = s_transport->send(packet, to);
    CritSec_Leave(s_sendLock);
    return r;
}

// Sending needs a transport; a caller that sends while the layer is closed
// is told so instead of crashing.
static int Closed(const char* call)
{
    if (s_initialised.load()) return 0;
    TLOG(TLOG_NWARN, "Call to %s while the packet layer is closed", call);
    return 1;
}

int NetPkt_Send(NetPacket* packet, const NetAddress* to)
{
    if (Closed("NetPkt_Send")) return 0;
    Net_StampCrc(packet);
    return TransportSend(packet, to);
}

int NetPkt_SendReliable(NetPacket* packet, const NetAddress* to, uint8_t* delivered,
                        uint32_t* resends, void (*callback)(void))
{
    if (Closed("NetPkt_SendReliable")) return 0;
    NetPendingPacket* r = NetPkt_AllocRecord();
    r->dest = *to;
    r->packet = *packet;
    Net_SetType(&r->packet, Net_Type(&r->packet) | NET_WANTS_ACK);
    CritSec_Enter(s_listLock);
    Net_SetId(&r->packet, s_nextId++);
    CritSec_Leave(s_listLock);

    r->roundtrip = RoundTripOf(to);
    CritSec_Enter(s_listLock);
    uint32_t estimate = r->roundtrip->estimate;
    CritSec_Leave(s_listLock);
    r->sendtime = Thread_ClockMs();
    r->timeout = Clamp(estimate * 200 / 100, 75, 5000);
    r->expiry = r->sendtime + r->timeout;
    r->tries = NETPKT_TRIES;
    r->delivered = delivered;
    r->resends = resends;
    r->callback = callback;
    if (delivered) *delivered = 0;
    if (resends) *resends = 0;
    TLOG(TLOG_NDIAG, "Packet requires ack : id %d", (int)Net_Id(&r->packet));

    // Once queued, the record belongs to the packet thread, which may resend
    // or complete it at once: send a copy made before.
    Net_StampCrc(&r->packet);
    NetPacket copy = r->packet;
    NetPkt_QueueTimeout(r);
    TransportSend(&copy, to);
    return 1;
}

void NetPkt_SetReceiveHandler(NetReceiveHandler handler) { s_handler.store(handler); }
void NetPkt_SetAcceptFilter(NetAcceptFilter filter) { s_filter.store(filter); }

uint32_t NetPkt_GetRoundTrip(const NetAddress* address)
{
    NetRoundTrip* r = RoundTripOf(address);
    CritSec_Enter(s_listLock);
    uint32_t estimate = r->estimate;
    CritSec_Leave(s_listLock);
    return estimate;
}

void NetPkt_PurgeTracked(void)
{
    CritSec_Enter(s_listLock);
    for (NetPendingPacket** at = &s_queue; *at;) {
        NetPendingPacket* r = *at;
        if (!r->delivered) {
            at = &r->next;
            continue;
        }
        TLOG(TLOG_NERR, "Removing packet from timeout queue");
        *at = r->next;
        r->next = s_free;
        s_free = r;
    }
    CritSec_Leave(s_listLock);
}

// ---- the packet thread's pass ----

// The layer's own loss draw: the C library's generator is the main thread's.
static uint32_t LossDraw(void)
{
    uint32_t x = s_lossState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s_lossState = x;
    return x % 100;
}

static int SeenBefore(const NetAddress* from, uint32_t id, NetSeenIds** source)
{
    NetSeenIds* s = s_seen;
    while (s && !NetPkt_SameAddress(&s->address, from)) s = s->next_source;
    if (!s) {
        s = (NetSeenIds*)Debug_Calloc(1, sizeof *s);
        s->address = *from;
        s->next_source = s_seen;
        s_seen = s;
    }
    *source = s;
    for (uint32_t i = 0; i < s->count; i++)
        if (s->ids[i] == id) return 1;
    return 0;
}

static void Remember(NetSeenIds* s, uint32_t id)
{
    s->ids[s->next] = id;
    s->next = (s->next + 1) % NETPKT_SEEN_IDS;
    if (s->count < NETPKT_SEEN_IDS) s->count++;
}

static void SendAck(const NetPacket* packet, const NetAddress* to)
{
    NetPacket ack;
    memset(&ack, 0, sizeof ack);
    Net_BuildPacket(&ack, nullptr, 0, NET_IS_ACK);
    Net_SetId(&ack, Net_Id(packet));
    NetPkt_Send(&ack, to);
}

static void HandleAck(const NetPacket* packet, const NetAddress* from, uint32_t time)
{
    uint32_t id = Net_Id(packet);
    TLOG(TLOG_NDIAG, "Received Acknowledegment : id %d", (int)id);
    NetPendingPacket* r = NetPkt_FindById(id, s_type == NET_TYPE_SERIAL ? nullptr : from);
    if (!r) return;
    if (r->delivered) *r->delivered = 1;
    if (r->callback) r->callback();
    if (r->tries == NETPKT_TRIES) {
        CritSec_Enter(s_listLock);
        uint32_t e = (3 * r->roundtrip->estimate + (time - r->sendtime)) * 25 / 100;
        r->roundtrip->estimate = e <= 20 ? 20 : e >= 1000 ? 1000 : e;
        CritSec_Leave(s_listLock);
    }
    NetPkt_RemoveFromQueue(r);
    NetPkt_FreeRecord(r);
}

static void HandlePacket(NetPacket* packet, const NetAddress* from, uint32_t time)
{
    uint32_t type = Net_Type(packet);
    if (type & NET_WANTS_ACK) {
        uint32_t id = Net_Id(packet);
        TLOG(TLOG_NDIAG, "Acknowledging packet : id %d", (int)id);
        NetSeenIds* source;
        if (SeenBefore(from, id, &source)) {
            SendAck(packet, from);
            TLOG(TLOG_NDIAG, "Duplicate packet : id %d", (int)id);
            return;
        }
        NetAcceptFilter filter = s_filter.load();
        if (!filter || filter(packet, from, time)) {
            SendAck(packet, from);
            Remember(source, id);
        }
    }
    NetReceiveHandler handler = s_handler.load();
    if (handler) {
        Net_SetType(packet, type & 0xFF);
        handler(packet, from, time);
    }
}

// The checks that come before anything reads a received packet.
static int Acceptable(NetPacket* packet)
{
    uint32_t length = Net_Length(packet);
    if (length < NET_HEADER_SIZE || length > NET_MAX_PACKET) {
        TLOG(TLOG_NERR, "Packet of impossible length %u dropped", length);
        return 0;
    }
    if (!Net_VerifyCrc(packet)) return 0;
    uint32_t type = Net_Type(packet), flags = type & ~0xFFu, low = type & 0xFF;
    if (flags == NET_IS_ACK ? low != 0 : (flags & ~(uint32_t)NET_WANTS_ACK) || low < 1 || low > 13) {
        TLOG(TLOG_NERR, "Packet of unknown type %x dropped", type);
        return 0;
    }
    return 1;
}

static void ReceiveAll(void)
{
    NetPacket packet;
    NetAddress from;
    uint32_t time;
    for (;;) {
        memset(&packet, 0, sizeof packet);
        if (!s_transport->receive(&packet, &from, &time)) break;
        int loss = g_Config.netloss;
        if (loss != 0) {
            int r = (int)LossDraw();
            if (r < loss) {
                TLOG(TLOG_NDIAG, "Packet chuck in progress (%d > %d)", loss, r);
                continue;
            }
        }
        if (!Acceptable(&packet)) continue;
        if (Net_Type(&packet) & NET_IS_ACK)
            HandleAck(&packet, &from, time);
        else
            HandlePacket(&packet, &from, time);
    }
}

static void ScanTimeouts(void)
{
    uint32_t now = Thread_ClockMs();
    CritSec_Enter(s_listLock);
    s_lastScan = now;
    while (s_queue) {
        NetPendingPacket* r = s_queue;
        uint32_t late = now - r->expiry;
        if (late == 0 || late >= 2000000000u) break;
        TLOG(TLOG_NDIAG,
             "Timeout occured : id %d : Time %d : Time Diff %d : Time Sent %d : Timeout %d : Expire %d",
             (int)Net_Id(&r->packet), (int)now, (int)late, (int)r->sendtime, (int)r->timeout,
             (int)r->expiry);
        s_queue = r->next;
        r->next = nullptr;
        if (r->tries == 0) {
            r->next = s_free;
            s_free = r;
            continue;
        }
        r->tries--;
        r->sendtime = now;
        r->timeout = Clamp(r->timeout * 150 / 100, 75, 5000);
        r->expiry = now + r->timeout;
        if (r->resends) (*r->resends)++;
        Net_StampCrc(&r->packet);
        NetPacket copy = r->packet;
        NetAddress to = r->dest;
        CritSec_Leave(s_listLock);
        NetPkt_QueueTimeout(r);
        TransportSend(&copy, &to);
        CritSec_Enter(s_listLock);
    }
    CritSec_Leave(s_listLock);
}

int NetPkt_Pass(void)
{
    CritSec_Enter(s_gameLock);
    if (!s_initialised.load()) {
        CritSec_Leave(s_gameLock);
        return 0;
    }
    ReceiveAll();
    ScanTimeouts();
    CritSec_Leave(s_gameLock);
    return 1;
}

uint32_t NetPkt_WaitTime(void)
{
    CritSec_Enter(s_listLock);
    uint32_t wait = THREAD_INFINITE;
    if (s_queue) {
        wait = s_queue->expiry - s_lastScan;
        if (wait == 0 || wait >= 2000000000u) wait = 1;
    }
    CritSec_Leave(s_listLock);
    return wait;
}

void NetPkt_Wake(void)
{
    THREAD_EVENT* e = s_wake.load();
    if (e) Event_Set(e);
}

static void PacketThread(void*)
{
    uint32_t previous = Thread_ClockMs();
    for (;;) {
        if (Mono_Enabled()) {
            uint32_t now = Thread_ClockMs();
            Prof_AddTime(0, "NetPkt", now - previous);
            previous = now;
        }
        Event_Wait(s_wake, NetPkt_WaitTime());
        if (!NetPkt_Pass()) break;
    }
}

// ---- start and stop ----

int NetPkt_Init(int type)
{
    if (s_initialised.load()) {
        TLOG(TLOG_NDIAG, "Re-initialisation detected");
        return 1;
    }
    const NetTransport* t = type == NET_TYPE_IPX ? &s_ipx : type == NET_TYPE_UDP ? &s_udp : nullptr;
    if (!t) {
        TLOG(TLOG_NERR, "Unknown Network Type");
        return 0;
    }
    return NetPkt_InitWith(type, t, 1);
}

int NetPkt_InitWith(int type, const NetTransport* transport, int threaded)
{
    if (s_initialised.load()) {
        TLOG(TLOG_NDIAG, "Re-initialisation detected");
        return 1;
    }
    // The event exists before the transport starts: its receive thread wakes
    // the packet thread from its first datagram on.
    s_wake = Event_Create();
    s_transport = transport;
    s_type = type;
    if (!transport->init(&g_NetOwnAddress)) {
        TLOG(TLOG_NERR, "Could not initalise communications interface");
        Event_Destroy(s_wake.exchange(nullptr));
        return 0;
    }
    s_handler.store(nullptr);
    s_filter.store(nullptr);
    // Estimates asked for while closed start the list; a new session starts
    // without them.
    NetPkt_FreeRoundTrips();
    // Ids go on from the clock, so that a peer that restarts is not taken for
    // its old self by the duplicate filter of the others.
    uint32_t now = Thread_ClockMs();
    s_nextId = now;
    s_lastScan = now;
    s_lossState = (now ^ 0x9E3779B9u) | 1;
    s_initialised.store(1);
    if (threaded) {
        s_thread = Thread_Create(PacketThread, nullptr);
        Thread_RaisePriority(s_thread);
    }
    return 1;
}

int NetPkt_Running(void) { return s_initialised.load(); }

int NetPkt_Close(void)
{
    if (!s_initialised.load()) {
        TLOG(TLOG_NDIAG, "Not initialised");
        return 1;
    }
    s_initialised.store(0);
    if (s_thread) {
        Event_Set(s_wake); // stays set until the thread's next wait sees it
        Thread_Join(s_thread);
        s_thread = nullptr;
    }
    s_transport->close();
    Event_Destroy(s_wake.exchange(nullptr));
    NetPkt_FreeQueue();
    NetPkt_FreeRoundTrips();
    FreeSeen();
    return 1;
}
