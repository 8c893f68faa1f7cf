#include "net/netpkt.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/mono.h"
#include "core/tlog.h"
#include "net/comm.h"
#include "net/ipx.h"
#include "net/netlog.h"
#include "net/prof.h"
#include "net/udp.h"
#include "net/wsock.h"
#include "platform/thread.h"

// What one source address has had delivered: the highest id and, bit i of
// window, whether id highest - i was delivered.
struct NetSource {
    NetAddress address;
    uint8_t used, any; // any: an id was delivered since the entry was taken
    uint32_t highest;
    uint32_t heard; // arrival of its latest packet sent with acknowledgement
    uint64_t window[NETPKT_WINDOW / 64];
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
static NetSource s_sources[NETPKT_SOURCES];
static std::atomic<uint32_t> s_refused{0};
// Set while this thread is inside a pass: the handler, the filter and the
// callbacks run there, where closing the layer would wait for itself.
static thread_local int s_inPass;
static uint32_t s_lastScan;
static uint32_t s_lossState;

static std::atomic<NetReceiveHandler> s_handler{nullptr};
static std::atomic<NetAcceptFilter> s_filter{nullptr};
static std::atomic<uint32_t> s_longestTimeout{NETPKT_LONGEST_TIMEOUT};
static std::atomic<NetPinTest> s_pinned{nullptr};
static std::atomic<NetHeardHandler> s_heard{nullptr};
static std::atomic<NetReadHandler> s_read{nullptr};
enum { READ_KINDS = 16 };
static std::atomic<uint32_t> s_readCount[READ_KINDS];

static const NetTransport s_udp = {UDP_Init, UDP_Close, UDP_Recv, UDP_Send, WSOCK_PolledAt};
static const NetTransport s_ipx = {IPX_Init, IPX_Close, IPX_Recv, IPX_Send, WSOCK_PolledAt};
static const NetTransport s_serial = {COMM_Init, COMM_Close, COMM_iface_recv, COMM_iface_send, nullptr};
static const NetTransport* (*s_layer)(const NetTransport* base);

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
    r->freed = 0;
    r->unsent = 0;
    return r;
}

// Under the list lock. A record freed twice would be handed to two sends.
static void PushFree(NetPendingPacket* record)
{
    ASSERT(!record->freed);
    record->freed = 1;
    record->next = s_free;
    s_free = record;
}

void NetPkt_FreeRecord(NetPendingPacket* record)
{
    CritSec_Enter(s_listLock);
    PushFree(record);
    CritSec_Leave(s_listLock);
}

// Under the list lock.
static void InsertByExpiry(NetPendingPacket* record)
{
    NetPendingPacket** at = &s_queue;
    for (NetPendingPacket* curr = s_queue; curr; curr = curr->next) {
        NetPendingPacket* pkt = record;
        ASSERT(curr != pkt);
        if (Later(curr->expiry, record->expiry)) break;
        at = &curr->next;
    }
    record->next = *at;
    *at = record;
}

void NetPkt_QueueTimeout(NetPendingPacket* record)
{
    CritSec_Enter(s_listLock);
    InsertByExpiry(record);
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
    // Ids start from the clock, so that a peer that restarts is not taken
    // for its old self by the duplicate filter of the others.
    r->nextid = Thread_ClockMs();
    CritSec_Enter(s_listLock);
    r->next = s_roundTrips;
    s_roundTrips = r;
    CritSec_Leave(s_listLock);
    return r;
}

int NetPkt_RoundTripCount(void)
{
    int n = 0;
    CritSec_Enter(s_listLock);
    for (NetRoundTrip* r = s_roundTrips; r; r = r->next) n++;
    CritSec_Leave(s_listLock);
    return n;
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

// The address's record, made when there is none. Found and added under one
// hold of the list lock: two threads asking for a new address at once must
// not make two records that split its estimates.
static NetRoundTrip* RoundTripOf(const NetAddress* address)
{
    CritSec_Enter(s_listLock);
    NetRoundTrip* r = s_roundTrips;
    while (r && !NetPkt_SameAddress(&r->address, address)) r = r->next;
    if (!r) r = NetPkt_AddRoundTrip(address); // the lock is re-entrant
    CritSec_Leave(s_listLock);
    return r;
}

// ---- sending ----

static int TransportSend(const NetPacket* packet, const NetAddress* to)
{
    CritSec_Enter(s_sendLock);
    int r = s_transport->send(packet, to);
    CritSec_Leave(s_sendLock);
    return r;
}

// A packet the transport refused (its outgoing ring full) was not sent: it
// is counted apart and its record retried at the next pass.
static void Refused(uint32_t id)
{
    s_refused.fetch_add(1);
    if (NetLog_Allow(NETLOG_REFUSED))
        TLOG(TLOG_NWARN, "Send of id %d refused by the transport: retried at the next pass", (int)id);
}

uint32_t NetPkt_RefusedSends(void) { return s_refused.load(); }

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
    r->roundtrip = RoundTripOf(to);
    Net_SetId(&r->packet, r->roundtrip->nextid++);
    uint32_t estimate = r->roundtrip->estimate;
    CritSec_Leave(s_listLock);
    r->sendtime = Thread_ClockMs();
    r->timeout = Clamp(estimate * 200 / 100, 75, s_longestTimeout.load());
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
    uint32_t id = Net_Id(&copy);
    NetPkt_QueueTimeout(r);
    if (TransportSend(&copy, to)) return 1;
    Refused(id);
    // Due at the next pass, unless the thread has taken it on meanwhile (then
    // its tries or, once reused, its id differ). Records outlive the layer's
    // run, so looking at one that moved on is safe.
    CritSec_Enter(s_listLock);
    if (Net_Id(&r->packet) == id && r->tries == NETPKT_TRIES && !r->freed && NetPkt_RemoveFromQueue(r)) {
        r->unsent = 1;
        r->expiry = Thread_ClockMs(); // due once the clock moves on
        InsertByExpiry(r);
    }
    CritSec_Leave(s_listLock);
    NetPkt_Wake();
    return NETPKT_QUEUED;
}

void NetPkt_SetReceiveHandler(NetReceiveHandler handler) { s_handler.store(handler); }
void NetPkt_SetAcceptFilter(NetAcceptFilter filter) { s_filter.store(filter); }
void NetPkt_SetLongestTimeout(uint32_t ms) { s_longestTimeout.store(ms < 75 ? (ms ? 75u : (uint32_t)NETPKT_LONGEST_TIMEOUT) : ms); }
void NetPkt_SetPinTest(NetPinTest pinned) { s_pinned.store(pinned); }
void NetPkt_SetHeardHandler(NetHeardHandler heard) { s_heard.store(heard); }
void NetPkt_SetReadHandler(NetReadHandler read) { s_read.store(read); }

uint32_t NetPkt_ReadCount(int type) { return type >= 0 && type < READ_KINDS ? s_readCount[type].load() : 0; }

uint32_t NetPkt_GetRoundTrip(const NetAddress* address)
{
    NetRoundTrip* r = RoundTripOf(address);
    CritSec_Enter(s_listLock);
    uint32_t estimate = r->estimate;
    CritSec_Leave(s_listLock);
    return estimate;
}

// The queued records that match (by delivered flag, else by callback) go
// out at the next pass.
static int HurryWhere(const uint8_t* delivered, void (*callback)(void))
{
    int found = 0;
    const uint32_t now = Thread_ClockMs();
    NetPendingPacket* hurried = nullptr;
    CritSec_Enter(s_listLock);
    for (NetPendingPacket** at = &s_queue; *at;) {
        NetPendingPacket* r = *at;
        if (delivered ? r->delivered != delivered : r->callback != callback) {
            at = &r->next;
            continue;
        }
        *at = r->next;
        r->next = hurried;
        hurried = r;
    }
    while (hurried) {
        NetPendingPacket* r = hurried;
        hurried = r->next;
        // Sent as a first send is, its time-out kept (the layer's own
        // resends stay backed off: one question a period, not a burst) and
        // its tries renewed: still asked for, it is no packet to give up,
        // and a takeover must outlast a guest's refusals until it takes it.
        r->expiry = now;
        r->unsent = 1;
        r->tries = NETPKT_TRIES;
        InsertByExpiry(r);
        found++;
    }
    CritSec_Leave(s_listLock);
    if (found) NetPkt_Wake();
    return found;
}

int NetPkt_Hurry(const uint8_t* delivered) { return delivered ? HurryWhere(delivered, nullptr) : 0; }

int NetPkt_HurryCallback(void (*callback)(void)) { return callback ? HurryWhere(nullptr, callback) : 0; }

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
        PushFree(r);
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

static uint32_t HashAddress(const NetAddress* a)
{
    uint32_t h = 2166136261u ^ a->kind;
    for (uint8_t b : a->bytes) h = (h ^ b) * 16777619u;
    return h ^ (h >> 15);
}

// The source's entry, found or taken. A new source takes the first empty
// entry on its probe; in a full table, the entry heard from least recently
// among those the session does not pin (its peers, the creator joined).
// The probe covers at most the whole table, so the cost is bounded whatever
// the number of addresses seen; a flood of strangers only takes strangers'
// entries (a stranger's later resend may then be delivered twice, a peer's
// never). Null only when every entry is pinned.
static NetSource* SourceOf(const NetAddress* from, uint32_t time)
{
    uint32_t h = HashAddress(from);
    NetSource* take = nullptr;
    for (uint32_t i = 0; i < NETPKT_SOURCES; i++) {
        NetSource* s = &s_sources[(h + i) % NETPKT_SOURCES];
        if (!s->used) {
            take = s;
            break; // entries are never emptied: the address is not further on
        }
        if (NetPkt_SameAddress(&s->address, from)) return s;
    }
    if (!take) {
        // Full: the whole table was probed. Entries never become empty, so
        // every later probe covers it whole too and finds the new entry
        // wherever it lies.
        NetPinTest pinned = s_pinned.load();
        for (NetSource& s : s_sources) {
            if (pinned && pinned(&s.address)) continue;
            if (!take || (int32_t)(time - s.heard) > (int32_t)(time - take->heard)) take = &s;
        }
        if (!take) return nullptr;
        const uint8_t* b = take->address.bytes;
        if (NetLog_Allow(NETLOG_EVICTED))
            TLOG(TLOG_NWARN, "Source table full: the entry of %u:%d.%d.%d.%d.%d.%d, silent %u ms, taken",
                 take->address.kind, b[0], b[1], b[2], b[3], b[4], b[5], (unsigned)(time - take->heard));
    }
    memset(take, 0, sizeof *take);
    take->address = *from;
    take->used = 1;
    take->heard = time;
    return take;
}

static int WindowBit(const NetSource* s, uint32_t i) { return (int)(s->window[i / 64] >> (i % 64) & 1); }

// Ids from one sender rise by one per send (to any destination) from a
// start taken from its clock. An id inside the window is a duplicate when
// its bit is set; older than the window it is one too (its sender gave it
// up or had it acknowledged long ago), unless it lies so far below that the
// sender must have restarted with a new start.
static int DeliveredBefore(const NetSource* s, uint32_t id)
{
    if (!s->any) return 0;
    int32_t below = (int32_t)(s->highest - id);
    if (below < 0) return 0;
    if (below >= NETPKT_WINDOW) return below < NETPKT_RESTART_GAP;
    return WindowBit(s, (uint32_t)below);
}

static void MarkDelivered(NetSource* s, uint32_t id)
{
    int32_t below = (int32_t)(s->highest - id);
    if (!s->any || below <= -NETPKT_WINDOW || below >= NETPKT_WINDOW) {
        // First id, far above (every bit would shift out) or a restart.
        memset(s->window, 0, sizeof s->window);
        s->any = 1;
        s->highest = id;
        below = 0;
    } else if (below < 0) {
        uint32_t shift = (uint32_t)-below, words = shift / 64, bits = shift % 64;
        const int n = NETPKT_WINDOW / 64;
        for (int w = n - 1; w >= 0; w--) {
            uint64_t hi = w - (int)words >= 0 ? s->window[w - words] : 0;
            uint64_t lo = w - (int)words - 1 >= 0 ? s->window[w - words - 1] : 0;
            s->window[w] = bits ? hi << bits | lo >> (64 - bits) : hi;
        }
        s->highest = id;
        below = 0;
    }
    s->window[below / 64] |= (uint64_t)1 << (below % 64);
}

static void SendAck(const NetPacket* packet, const NetAddress* to)
{
    NetPacket ack;
    memset(&ack, 0, sizeof ack);
    Net_BuildPacket(&ack, nullptr, 0, NET_IS_ACK);
    Net_SetId(&ack, Net_Id(packet));
    NetPkt_Send(&ack, to);
}

static void Unmatched(uint32_t id, const NetAddress* from)
{
    const uint8_t* b = from->bytes;
    if (NetPkt_FindById(id, nullptr)) {
        if (NetLog_Allow(NETLOG_ACK_ADDRESS))
            TLOG(TLOG_NWARN, "Acknowledgement of id %d from %u:%d.%d.%d.%d.%d.%d, not its destination: dropped",
                 (int)id, from->kind, b[0], b[1], b[2], b[3], b[4], b[5]);
    } else if (NetLog_Allow(NETLOG_ACK_UNKNOWN)) {
        TLOG(TLOG_NWARN, "Acknowledgement of id %d from %u:%d.%d.%d.%d.%d.%d matches no pending packet: dropped",
             (int)id, from->kind, b[0], b[1], b[2], b[3], b[4], b[5]);
    }
}

static void HandleAck(const NetPacket* packet, const NetAddress* from, uint32_t time)
{
    uint32_t id = Net_Id(packet);
    TLOG(TLOG_NDIAG, "Received Acknowledegment : id %d", (int)id);
    int anySource = s_type == NET_TYPE_SERIAL;
    NetPendingPacket* r = NetPkt_FindById(id, anySource ? nullptr : from);
    if (!r) {
        Unmatched(id, from);
        return;
    }
    // Out of the queue before the callback: a callback may purge the queue,
    // which would otherwise free this record a second time.
    NetPkt_RemoveFromQueue(r);
    uint32_t sample = time - r->sendtime;
    // A sample outside 0 .. the time-out is an acknowledgement stamped before
    // its packet left (forged) and would pin the estimate at its maximum.
    if (r->tries == NETPKT_TRIES && sample <= r->timeout) {
        CritSec_Enter(s_listLock);
        uint32_t e = (3 * r->roundtrip->estimate + sample) * 25 / 100;
        r->roundtrip->estimate = e <= 20 ? 20 : e >= 1000 ? 1000 : e;
        CritSec_Leave(s_listLock);
    }
    if (r->delivered) *r->delivered = 1;
    if (r->callback) r->callback();
    NetPkt_FreeRecord(r);
}

static void HandlePacket(NetPacket* packet, const NetAddress* from, uint32_t time)
{
    uint32_t type = Net_Type(packet);
    if (type & NET_WANTS_ACK) {
        uint32_t id = Net_Id(packet);
        TLOG(TLOG_NDIAG, "Acknowledging packet : id %d", (int)id);
        NetSource* source = SourceOf(from, time);
        if (!source) {
            // Every entry pinned: unacknowledged, its sender resends it.
            const uint8_t* b = from->bytes;
            if (NetLog_Allow(NETLOG_NO_ROOM))
                TLOG(TLOG_NWARN, "No room for source %u:%d.%d.%d.%d.%d.%d: id %d dropped unacknowledged",
                     from->kind, b[0], b[1], b[2], b[3], b[4], b[5], (int)id);
            return;
        }
        source->heard = time;
        if (DeliveredBefore(source, id)) {
            SendAck(packet, from);
            if (NetLog_Allow(NETLOG_DUPLICATE)) TLOG(TLOG_NDIAG, "Duplicate packet : id %d", (int)id);
            return;
        }
        NetAcceptFilter filter = s_filter.load();
        if (!filter || filter(packet, from, time)) {
            SendAck(packet, from);
            MarkDelivered(source, id);
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
        if (NetLog_Allow(NETLOG_LENGTH)) TLOG(TLOG_NERR, "Packet of impossible length %u dropped", length);
        return 0;
    }
    if (!Net_VerifyCrc(packet)) return 0;
    uint32_t type = Net_Type(packet), flags = type & ~0xFFu, low = type & 0xFF;
    if (flags == NET_IS_ACK ? low != 0 : (flags & ~(uint32_t)NET_WANTS_ACK) || low < 1 || low > 13) {
        if (NetLog_Allow(NETLOG_TYPE)) TLOG(TLOG_NERR, "Packet of unknown type %x dropped", type);
        return 0;
    }
    return 1;
}

// Tells the reading handler up to when everything that came is read: now,
// or the transport's last look when it holds datagrams of its own and has
// not looked for longer than its period (its thread held off).
static void TellReading(void)
{
    NetReadHandler read = s_read.load();
    if (!read) return;
    uint32_t upto = Thread_ClockMs();
    if (s_transport->polled) {
        const uint32_t looked = s_transport->polled() + NETPKT_POLL_MS;
        if (Later(upto, looked)) upto = looked;
    }
    read(upto);
}

static void ReceiveAll(void)
{
    NetPacket packet;
    NetAddress from;
    uint32_t time;
    TellReading();
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
        const uint32_t low = Net_Type(&packet) & NET_IS_ACK ? 0 : Net_Type(&packet) & 0xFF;
        s_readCount[low < READ_KINDS ? low : READ_KINDS - 1].fetch_add(1);
        NetHeardHandler heard = s_heard.load();
        if (heard) heard(&from);
        if (Net_Type(&packet) & NET_IS_ACK)
            HandleAck(&packet, &from, time);
        else
            HandlePacket(&packet, &from, time);
    }
}

// Resends what is due. A record is out of the queue while its copy goes to
// the transport; no other thread can reach it then, as purging needs the
// game lock that the pass holds.
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
        if (r->tries == 0 && !r->unsent) {
            PushFree(r);
            continue;
        }
        Net_StampCrc(&r->packet);
        NetPacket copy = r->packet;
        NetAddress to = r->dest;
        CritSec_Leave(s_listLock);
        int sent = TransportSend(&copy, &to);
        if (!sent) Refused(Net_Id(&copy));
        CritSec_Enter(s_listLock);
        if (!sent) {
            // Not due again in this scan: the next pass retries it.
            r->expiry = now;
        } else if (r->unsent) {
            // Its first send, late: the time-out and tries stay whole.
            r->unsent = 0;
            r->sendtime = now;
            r->expiry = now + r->timeout;
        } else {
            r->tries--;
            r->sendtime = now;
            r->timeout = Clamp(r->timeout * 150 / 100, 75, s_longestTimeout.load());
            r->expiry = now + r->timeout;
            if (r->resends) (*r->resends)++;
        }
        InsertByExpiry(r);
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
    s_inPass = 1;
    ReceiveAll();
    ScanTimeouts();
    NetLog_Flush();
    s_inPass = 0;
    CritSec_Leave(s_gameLock);
    return 1;
}

int NetPkt_Drain(void)
{
    CritSec_Enter(s_gameLock);
    if (!s_initialised.load()) {
        CritSec_Leave(s_gameLock);
        return 0;
    }
    const int outer = s_inPass;
    s_inPass = 1;
    ReceiveAll();
    s_inPass = outer;
    CritSec_Leave(s_gameLock);
    return 1;
}

uint32_t NetPkt_WaitTime(void)
{
    CritSec_Enter(s_listLock);
    uint32_t wait = NETPKT_POLL_MS;
    if (s_queue) {
        wait = s_queue->expiry - s_lastScan;
        if (wait == 0 || wait >= 2000000000u) wait = 1;
        if (wait > NETPKT_POLL_MS) wait = NETPKT_POLL_MS;
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
    const NetTransport* t = type == NET_TYPE_IPX      ? &s_ipx
                           : type == NET_TYPE_UDP    ? &s_udp
                           : type == NET_TYPE_SERIAL ? &s_serial
                                                     : nullptr;
    if (!t) {
        TLOG(TLOG_NERR, "Unknown Network Type");
        return 0;
    }
    if (s_layer) t = s_layer(t);
    return NetPkt_InitWith(type, t, 1);
}

void NetPkt_SetTransportLayer(const NetTransport* (*layer)(const NetTransport* base)) { s_layer = layer; }

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
    s_heard.store(nullptr);
    s_read.store(nullptr);
    // Estimates asked for while closed start the list; a new session starts
    // without them.
    NetPkt_FreeRoundTrips();
    memset(s_sources, 0, sizeof s_sources);
    s_refused.store(0);
    for (std::atomic<uint32_t>& c : s_readCount) c.store(0);
    NetLog_Reset();
    uint32_t now = Thread_ClockMs();
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
    // Closing waits for the packet thread's pass to end: from inside it, or
    // while holding the lock that the pass needs, it would wait for ever.
    if (s_inPass)
        ERR_FATAL(ERRC_FATAL, "NetPkt_Close called from a receive handler, accept filter or completion "
                              "callback: the packet layer is closed only outside its own pass");
    if (CritSec_HeldByCaller(s_gameLock))
        ERR_FATAL(ERRC_FATAL, "NetPkt_Close called under the game network lock: release the lock "
                              "before closing the packet layer");
    s_initialised.store(0);
    if (s_thread) {
        Event_Set(s_wake); // stays set until the thread's next wait sees it
        Thread_Join(s_thread);
        s_thread = nullptr;
    }
    s_transport->close();
    char counts[200] = "";
    size_t at = 0;
    for (int k = 0; k < READ_KINDS && at < sizeof counts; k++)
        if (s_readCount[k].load())
            at += (size_t)snprintf(counts + at, sizeof counts - at, " %d:%u", k, (unsigned)s_readCount[k].load());
    TLOG(TLOG_NWARN, "Datagrams read by type (0 acknowledgements):%s", counts);
    Event_Destroy(s_wake.exchange(nullptr));
    NetPkt_FreeQueue();
    NetPkt_FreeRoundTrips();
    memset(s_sources, 0, sizeof s_sources);
    return 1;
}
