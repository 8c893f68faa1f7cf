// Lock-step rounds: every machine runs the same updates, only orders travel.
//
// Game time is cut into rounds of UnitCycles updates. At a round's start each
// node packs the orders its player gave into one ROUND packet and sends it,
// with acknowledgement, to every other active node. A round is complete on a
// node when it holds every active node's packet of the round and every active
// node has acknowledged its own; no update runs until then.
//
// Why every machine executes the same orders at the same update:
//
// 1. Execution one round later. A node keeps the slots of the round it last
//    completed and unpacks them, in node order, only when its next round
//    completes, in that frame before the update decision. Every node runs
//    exactly UnitCycles updates per round, so the orders of round K are
//    queued at the same update count everywhere: after K + 1's updates.
// 2. Drops. Only the creator (or the node that takes its role) drops a node
//    D, while it waits for round R, and says so in a SESSION that carries R.
//    Rounds before R - 1 were executed everywhere with D's real packet (a
//    node cannot complete R without having completed R - 1 with D in it,
//    and the creator completed R - 1). For R - 1 and R, every node takes D's
//    packet only from the creator's copies, sent right after the SESSION:
//    the creator's own R - 1 slot of D (the same bytes D sent everyone) and
//    its R slot of D, or an empty round when it has none. A node holding
//    D's real R packet drops it for the copy; a node past R holds R
//    unexecuted (rule 1) and waits for the copy before executing it. D is in
//    no round after R. So rounds up to R hold the same slots everywhere, and
//    later rounds hold the same set of nodes. The game sees D leave
//    (Net_IsNodeActive) when round R has been unpacked: at one update on
//    every machine, whenever the SESSION came. A node has one drop SESSION
//    of ours in flight at a time, the next sent on its acknowledgement: a
//    guest that took a later one first would date the earlier drops at the
//    later round (and ignore the earlier one as stale).
//    A creator that waits on a dropped node's copies of its own (a drop
//    moved or settled late) sends its own at the drop limit, with a line.
// 3. Hostile or damaged entries are refused by what they contain, which is
//    the same on every machine, so every machine refuses alike.
//
// The measure: every drop and every passing of the creator's role is decided
// by one measure, a node's silence. Each node keeps, for every other node of
// the game, the frames of the network clock since it last heard anything
// from that node's address (any datagram the packet layer accepts: a round,
// an acknowledgement, an answer). The clock counts only while this node
// waits in a round (from the round's start to its completion), and only
// time in which this node read its datagrams: the packet thread tells it of
// each reading (every pass, at least every NETPKT_POLL_MS, and each frame's
// check reads what waits first), up to the moment before which everything
// that came is read (the socket's receive thread stamps its looks too, so
// one held off the processor leaves its datagrams unread in the kernel).
// The time between two readings counts whole up to QUORNET_FRAME_STEPS
// frames and that many beyond: a stall of this node's own, its threads
// starved or held off the game lock, leaves the others' datagrams unread,
// and that is no silence of theirs. A datagram is heard at the clock of its
// reading, and nothing is decided on a count that covers unread time. So a
// loaded machine whose frames come seldom still counts its waits whole,
// while a node stopped for a minute counts a quarter of a second of it.
// While it waits, this node sends its round again (a PING to a node that
// awaits our drop SESSION first) to each node it has not heard from for
// QUORNET_FRAMES_REASK, and to each whose acknowledgement of it is missing
// though we hear it (a node a round ahead asks us every period, while ours
// and its acknowledgements are lost), once per such period, the first
// periods of a round shifted by a share per node so that the questions go
// spread: a live node acknowledges it wherever it is, held a round behind
// or not. A question still unanswered goes again under its id, its time-out
// back to the first, not as one more record: a wait of any length costs one
// datagram a node a period. A node's next round, from its own address,
// shows that it holds ours (it completed the round): its acknowledgement.
// So a live node is silent here no longer than a re-ask period and a round
// trip beyond its own stalls, and only a node that is gone grows silent.
// A round asked again that is the one before ours comes from a node still
// waiting in it: ours of that round goes to it again (once a re-ask period),
// so a round acknowledged but not kept there costs a period, not a player.
// Resend counts show in the status line; they decide nothing.
//
// 4. No wait without end. The creator drops a node silent past
//    QUORNET_FRAMES_DROP ("Timeout on ACK" when it left our round
//    unacknowledged, else "Timeout on RECV"). A live node held in round
//    R - 1 by a lost one sends no round but answers: it is kept, and the
//    creator's copies release it. A node whose round is missing while no
//    other node is quiet (silent for QUORNET_FRAMES_QUIET, two re-ask
//    periods: one that may hold it back) goes at the drop limit counted from
//    then, "Timeout on RECV". So a live node stalled for less than the drop
//    limit less QUORNET_FRAMES_QUIET is never dropped, whatever else
//    happens meanwhile, and nodes lost together fall silent together and go
//    within a re-ask period of each other. The dropped node gets the SESSION
//    too, and goes on alone. A guest that the creator alone can release and
//    that hears nothing past QUORNET_FRAMES_LEAVE leaves; a creator quiet
//    here must also be silent that long, as the nodes ahead count their
//    turns to take its role by its silence, not by how long it was slow.
// 5. Going on alone keeps rule 1. A node left alone (the others quit at the
//    game's end, say, while it still waited for round R) runs R - 1's orders
//    at once, as the others did when R completed, and holds R's until R's
//    updates have run: only then is it out of the game. Every update the
//    others ran, it runs with the same orders.
// 6. One creator at a time: the role passes on the creator's own word or on
//    this node's own measure. A departing creator sends its LEAVE to its
//    successor, which takes the role on it, and to every other node its
//    goodbye word (a PING carrying "GONE", which an older build acknowledges
//    and ignores), each again without acknowledgement every
//    QUORNET_GOODBYE_GAP_MS until acknowledged, for QUORNET_GOODBYE_WAIT_MS
//    at most. A silent creator's successor takes its role once the creator
//    has been silent here for QUORNET_FRAMES_TAKEOVER (twice the drop limit:
//    a creator waiting on a silent node sends no round either, and drops it
//    first), and drops it first. A guest takes the successor's takeover at
//    once when the creator's goodbye came, else once the creator has been
//    silent here for the takeover limit less QUORNET_FRAMES_TAKEOVER_MARGIN;
//    short of that it refuses it unacknowledged and takes a resend. A
//    datagram from any other node names who takes over; it never shows that
//    the creator is gone. A takeover that drops the creator more than one
//    round before the creator's last round heard here is of the past (a
//    forgery resent, say) and never taken: the creator can be no more than
//    a round ahead of its successor. No refused datagram is remembered. A
//    live creator still answers a SEARCH (older guests ask it); a guest of
//    this build asks nothing. A new creator killed before its copies of a
//    dropped node's rounds went out is silent like any other, and is taken
//    over in turn.
// 7. The role passes with the drops whole. A creator that says goodbye
//    drops nobody from then on, takes no LEAVE and answers no SEARCH, and
//    sends its LEAVE once its last drop SESSION and copies are acknowledged
//    (a bounded wait): a drop after its LEAVE would reach the guests and not
//    its successor. A guest saying goodbye whose LEAVE it so refused is its
//    successor still, and takes the role on its LEAVE: it drops the creator
//    and hands the role on at once with a LEAVE to the node after it and its
//    goodbye word to the others, a departing creator too (its game runs no
//    more; left with it, the role would pass only at the takeover limit).
//    Whatever of the predecessor's last drop a node missed, the new creator
//    completes it as announced: each live guest, on taking the new
//    creator's SESSION, reports the predecessor's last drop as it took it (a
//    SESSION of three bytes to the creator: the round R, the nodes, which
//    copies of R - 1 and R it took; then those copies), and the new creator
//    completes no round until every live guest reported (it still holds R
//    unexecuted: R + 1 waits on the gone node). Its copies of the rounds of
//    the nodes it drops meanwhile wait too: sent with its takeover, they let
//    a guest that ran R - 1 with the gone node's real packet complete R and
//    run R - 1 before the reports moved the drop back to it, where the
//    others ran the copy. It then drops the node at R
//    itself if it had not, out of any later round it holds, takes the
//    copies a guest took (a guest may have run R with one), makes its own
//    only where no guest took any, never replaces a copy it has, and sends
//    that SESSION of round R and the copies to every guest (a guest takes it
//    though older than the takeover's). A SESSION's round is the drop round
//    of every node it newly drops on a guest, so a SESSION of round R shows
//    only the drops up to R, and a new creator shows its predecessor's
//    recent drops as still in the game until it announces each, in the
//    order of their rounds, once the reports are in. A creator never waits
//    on a predecessor's copies, so never leaves over them; a guest whose
//    report, or a copy the report announced, it awaits counts its waiting
//    frames from the takeover, and is dropped at the limit ("Timeout on
//    REPORT") if it never comes; after a takeover on the predecessor's
//    LEAVE, only once the predecessor has been silent here for
//    QUORNET_FRAMES_TAKEOVER too, or the guest is silent past the drop
//    limit: a guest that had no goodbye (an older creator sends none; a
//    burst may lose ours) takes the takeover only at the takeover limit
//    less its margin, and reports then. A full SESSION at a creator from a node it
//    counts in is a second creator: logged, and nothing it takes. A guest
//    saying goodbye tells the creator's successor too (the creator may be
//    gone), which keeps that LEAVE (from the guest's own address) for the
//    handover it is about: a round of that guest's own, two past the one
//    the successor was in when it took the LEAVE, lets it go (it could not
//    send it had it left). A LEAVE still kept is applied at the takeover of
//    a silent creator and at the creator's own LEAVE: the guest is dropped
//    right after the creator, no report awaited of it. A guest whose
//    creator changed while it waits for its LEAVE's acknowledgement says
//    goodbye to the new one.
// 8. A chain when the creator and its successor are lost together. The
//    k-th node after the creator in ring order takes the role at the
//    takeover limit plus k - 1 chain steps (time for a live node ahead to
//    take it first and be heard), once every node between has been silent
//    here for the takeover limit too (or said goodbye). It drops the
//    creator and the nodes between in one SESSION at its current round. A
//    guest takes a takeover from a node after the creator that drops the
//    creator and no other node, each node between gone to it too (its
//    goodbye came, or silent for the takeover limit less the margin),
//    whether the takeover shows it out or in (a drop of the creator's that
//    the guest missed and the taker announces after the reports); it
//    leaves only after the nodes ahead of it had their turn. A
//    takeover of a creator that took the role itself shows the creator
//    before it out (a guest that missed that takeover takes this one only
//    so). The drop of the creator before stays at the round the silent one
//    gave it wherever a live node took it: a node that dropped it at a
//    later round (its own takeover) and has not run that round moves the
//    drop back, the new creator on a guest's report, a guest on the new
//    creator's completion (rule 7).
//
// Threads: the packet thread runs Net_GameReceive, Net_FilterRoundPacket,
// Net_TestRoundComplete and the measure's hearing of each datagram under
// the game network lock; the main thread takes the lock for the round
// switch, for unpacking and in QuorNet_CheckDrops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net.h"

struct THREAD_EVENT;

enum {
    NET_ROUND_DATA = NET_MAX_DATA,      // packed orders per round
    // The limits count frames of the network clock while waiting (see the
    // note's measure): the time in which this node read its datagrams, the
    // same on every machine whatever its frame rate; a span without any
    // reading counts QUORNET_FRAME_STEPS frames at most (a stall of the
    // node's own, its packets unread, is no silence of the others).
    QUORNET_FRAME_MS = 16,
    QUORNET_FRAME_STEPS = 16,
    // A node not heard from for this long gets our round again (about a
    // second in a real game), and again each such period while it stays so.
    QUORNET_FRAMES_REASK = 62,
    // Not heard from for two of them, a node may hold the others back, and
    // shows as not responding. It is the drop's margin too: a live node
    // stalled for less than the drop limit less this is never dropped.
    QUORNET_FRAMES_QUIET = 2 * QUORNET_FRAMES_REASK,
    QUORNET_FRAMES_DROP = 2000,         // silence, or waiting frames without its round, before a drop
    QUORNET_FRAMES_WARN = 50,
    // A creator waiting for a silent node sends no round either: its
    // successor gives it twice the limit, so that the creator's own drop
    // comes first and the game doesn't split in two.
    QUORNET_FRAMES_TAKEOVER = 2 * QUORNET_FRAMES_DROP,
    // A guest takes a takeover once the creator has been silent to it for
    // the takeover limit less this (its measure may run a little behind the
    // successor's, which took the role at the whole limit).
    QUORNET_FRAMES_TAKEOVER_MARGIN = QUORNET_FRAMES_TAKEOVER / 8,
    // A guest whose round waits on the creator alone (its own packet, the
    // drop of a node past the limit, the copies of a dropped node's rounds)
    // leaves after this many more frames: the creator dropped it, or is gone
    // and no successor took its role, and no word will come. A silent
    // creator's successor gets twice its limit, as the creator gets from it.
    QUORNET_FRAMES_LEAVE = QUORNET_FRAMES_TAKEOVER + QUORNET_FRAMES_DROP,
    // The creator and its successor lost together: the k-th node after the
    // creator takes the role this many frames per node ahead of it after
    // the takeover limit (time for a live one ahead to take it first and be
    // heard), and a guest leaves as much later.
    QUORNET_FRAMES_CHAIN_STEP = QUORNET_FRAMES_DROP / 2,
    // A departing creator's goodbye: at most this long for every node's
    // acknowledgement of its word, a copy of it every QUORNET_GOODBYE_GAP_MS
    // to those that have not acknowledged it yet.
    QUORNET_GOODBYE_WAIT_MS = 3000,
    QUORNET_GOODBYE_GAP_MS = 100,
};

// Step result bits.
enum { QUORNET_IN_GAME = 1, QUORNET_WAITING = 2, QUORNET_CHANGED = 4 };

// The order module as the rounds see it; the game installs it, so that the
// network builds without the game.
struct QuorNetOrders {
    // The head pending order's code and payload length; 0 when none.
    int (*peek)(uint8_t* code, uint8_t* length);
    // Writes the head pending order's entry into buf (size bytes), taking
    // the order off the queue when it went whole (*whole 1): the bytes
    // written, 0 when it doesn't fit.
    uint32_t (*packhead)(uint8_t* buf, uint32_t size, int* whole);
    // Reads one entry (size bytes at data) into a new order: the bytes used
    // with *order and *team set, or 0 with a reason in err for a refused one.
    uint32_t (*unpack)(const uint8_t* data, uint32_t size, void** order, int* team, char* err,
                       size_t errsize);
    // Appends an order to the incoming queue, or frees one not taken.
    void (*queue)(void* order);
    void (*discard)(void* order);
    // Shows a line on the message line (null: logged only).
    void (*show)(const char* text);
};

struct QuorNetStat {
    double count, min, max, sum, sumsq;
};

// The round state (one instance, public for the pages and the tests).
struct NetRounds {
    uint32_t start, prevstart;          // round start times (network clock)
    NetPacket slots[NET_NODES];         // the current round's packets
    uint8_t received[NET_NODES];
    uint8_t copied[NET_NODES];          // the slot is the creator's copy of a dropped node's
    uint8_t delivered[NET_NODES];
    uint32_t resends[NET_NODES];
    NetPacket next[NET_NODES];          // packets one round early
    uint8_t nextreceived[NET_NODES];
    uint8_t nextcopied[NET_NODES];
    NetPacket last[NET_NODES];          // the last completed round, not yet executed
    uint8_t lasthave[NET_NODES];
    uint8_t lastcopied[NET_NODES];
    uint32_t lastround;                 // 0: nothing held
    uint32_t droppedat[NET_NODES];      // the round a dropped node was dropped at, else 0
    uint32_t executed;                  // the last round whose orders were unpacked
    uint32_t sessionround;              // the round of the last game SESSION taken
    uint8_t ingame[NET_NODES];          // the game's view (main thread): in until its last round ran
    NetPacket own;
    NetPacket ownbefore;                // our round before the current one
    uint32_t resentat[NET_NODES];       // the clock from which ownbefore may go to the node again
    THREAD_EVENT* event;
    uint32_t frames[NET_NODES];         // waiting frames without its round, none quiet that may hold it
    uint32_t frameclock;                // up to when the clock counted, on the reading time
    uint32_t readclock;                 // ms of reading: a span without any counts QUORNET_FRAME_STEPS frames
    uint32_t readat;                    // the network clock's time of the last reading
    uint32_t pending;                   // frames counted since the last check of the drops
    uint32_t cut;                       // frames not counted: spans in which this node read nothing
    uint8_t counting;                   // the clock runs: this node waits in a round
    uint32_t heardcount[NET_NODES];     // datagrams read from each node (statistics)
    uint32_t creatorframes;             // waiting frames that only the creator can end
    uint8_t framescreator;              // the creator they were counted for
    uint8_t waitshown[NET_NODES];       // "Waiting for ... to drop" shown in this wait
    uint32_t quietshown[NET_NODES];     // the re-ask period whose "not responding" line was shown
    uint32_t clock;                     // the network clock's frames counted while waiting
    uint32_t heard[NET_NODES];          // the clock when the node was last heard from
    uint32_t askedat[NET_NODES];        // the clock when our round last went to it again
    uint8_t asked[NET_NODES];           // that round acknowledged
    uint32_t heardround[NET_NODES];     // the highest round of its own heard from the node
    uint8_t sessionsent;                // drop SESSIONs this node sent as the creator
    uint8_t sessionacked[NET_NODES];    // the last of them each node acknowledged
    uint8_t roundheld[NET_NODES];       // our round kept back until the node has the last
    int waiting;
    QuorNetStat comm, engine;
};

extern NetRounds g_NetRounds;

// Installs the order module's table (kept by pointer; null: no orders).
void QuorNet_SetOrders(const QuorNetOrders* orders);

// State 3, the round event, the game's dispatcher and filter, round 1; 1.
int Net_InitGame(void);
// Removes the dispatcher and the filter, closes the event, state 0; 1.
int Net_CloseGame(void);
// One step between rounds; the send flag starts a round and is cleared.
// Returns QUORNET_* bits. Left alone, the node stays in the game, not
// waiting, for the updates of its last round; the step with the send flag
// after them unpacks that round instead of starting one and returns 0.
int QuorNet_Step(uint8_t* send);
// Counts the network clock while waiting, asks the nodes not heard from
// again, shows the drop countdowns; the creator drops the nodes silent past
// the drop limit (or sending no round while none quiet may hold them back),
// the node after a silent creator takes its role. A guest that waited on the
// creator past QUORNET_FRAMES_LEAVE logs (NERR) "No word from the creator
// for %u frames: this node leaves the game" and goes on alone.
void QuorNet_CheckDrops(void);
// This node's goodbye begins: as the creator, from now it drops nobody,
// takes no LEAVE and answers no SEARCH; a guest that takes the creator's
// role on its LEAVE from now drops the creator and hands the role on with a
// LEAVE to the node after it, and its goodbye word to the others.
void QuorNet_Depart(void);
// A departing creator's word that it is gone, with acknowledgement, to every
// other active node but the one given (its successor, which gets its
// LEAVE). Under the game lock.
void QuorNet_SayGoodbye(int except);
// Whether every node the word went to acknowledged it (1 when none).
int QuorNet_GoodbyeSaid(void);
// A copy of the word, without acknowledgement, to each node that has not
// acknowledged it yet. Under the game lock.
void QuorNet_RepeatGoodbye(void);
// Whether this departing node handed the creator's role on: 0 no, 1 its
// LEAVE sent, 2 acknowledged. Under the game lock.
int QuorNet_HandedOn(void);
// Whether every active node acknowledged the creator's last drop SESSION and
// its copies (1 when none was sent).
int QuorNet_DropsSettled(void);
// Whether a node of the game is gone here: it said goodbye (its word came
// from its address), or has been silent here for the takeover limit less
// its margin. 0 outside a game. Under the game lock.
int QuorNet_NodeGone(int node);
// Whether a takeover SESSION (the successor's, or a chain's) may be taken:
// the creator is gone here (QuorNet_NodeGone), and the SESSION drops it at
// a round no more than one before the creator's last round heard here.
// Under the game lock.
int QuorNet_TakeoverDue(const NetPacket* session);
// Logs and returns UnitCycles.
uint32_t QuorNet_ReportCycles(void);
// The round switch: next-round packets move in, round + 1.
void Net_StartRound(void);
// The own ROUND packet to every other active node.
void Net_SendRound(void);
// Sets the round event when the current round is complete (and what the
// held round waits for has come).
void Net_TestRoundComplete(void);
// The accept filter in a game: withholds ROUND packets more than one round
// ahead, and everything from a dropped node.
int Net_FilterRoundPacket(NetPacket* packet, const NetAddress* from, uint32_t time);
// The receive handler in a game.
void Net_GameReceive(NetPacket* packet, const NetAddress* from, uint32_t time);
// Packs pending orders into buffer (size bytes); the bytes written.
uint32_t QuorNet_PackOrders(uint8_t* buffer, uint32_t size);
// Queues the entries of one node's packet data; refused entries are logged
// with node, round and offset and not queued. The entries queued.
int QuorNet_UnpackOrders(int node, uint32_t round, const uint8_t* data, uint32_t length);
// Packs the pending orders into the own packet and slot without sending.
void QuorNet_SendOrdersNow(void);
// Unpacks the held round's slots in node order and forgets them; the nodes
// dropped at that round or before leave the game's view.
void QuorNet_ApplyAllOrders(void);
// Zeroes the waiting-frame counters (per node and the creator's); the
// waiting frames count from now.
void QuorNet_ResetCounters(void);
// The largest resend counter over the other active nodes.
uint32_t QuorNet_MaxResendCount(void);
// One node's resend counter; 0 for a node of 8 or more or an inactive one.
uint32_t Net_GetNodeResendCount(int node);
// Frees a list element with the debug heap.
void QuorNet_FreeElement(void* element);
// The network clock's time of one counted waiting frame (0: the default
// QUORNET_FRAME_MS); only the tests' drop runs shorten it.
void QuorNet_SetFrameStep(uint32_t ms);
// Logs the statistics when there are more than 20 samples.
void QuorNet_ReportStatistics(void);
