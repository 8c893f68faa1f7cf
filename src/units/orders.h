// Player orders: everything a player does travels as an order.
//
// The interface (and the scenario editor's tests, and later the network)
// build orders for a team on the pending queue; after each update the
// pending orders move to the executed queue, are recorded when recording,
// and are executed one by one in queue order through one table from code to
// handler. In a network game the pending orders are packed into the round
// packet instead and every machine executes all nodes' orders from the
// incoming queue. During playback the recorded orders of an update replace
// the pending ones.
//
// QSCATTER sends each selected unit to its own tile plus (Rand_Next(7) - 3,
// Rand_Next(7) - 3), x drawn first, clamped to 1 .. size - 1 (a new group
// each). QMOVE's flag 1 keeps the selection's formation, 0 spreads it.
//
// An order node (ORDERREC) is {next, code, payload length, team, 12-byte
// payload}; a QADDSELECTED node holds a UNITLIST of unit ids instead.
// Payloads are little-endian at the offsets given with each builder.
//
// The order entry codec (one order as bytes, shared with the network's
// round packets and the recording file):
//   u8 code, u8 length, u8 team, then the payload: length bytes, or for
//   QADDSELECTED length u32 unit ids.
#pragma once

#include <cstddef>
#include <cstdint>

#include "units/unitlist.h"

struct TRAIL;

// The order codes (0..67). The names without a code of their own take the
// free codes 8, 9, 23, 33, 42, 44, 45, 54.
enum ORDERCODE {
    QCLEARSELECTED = 0,        // no payload
    QADDSELECTED = 1,          // unit list
    QSTOP = 2,                 // sel; no payload
    QMOVE = 3,                 // sel; u8 flag @0, u16 x @2, u16 y @4
    QROTATE = 4,               // sel; as QMOVE
    QFIREATGROUND = 5,         // sel; u16 x @0, u16 y @2, u8 mode @4
    QFIREATUNIT = 6,           // sel; u32 unit id @0, u8 mode @4 (8 bytes)
    QFIREATBUILDING = 7,       // sel; u32 building id @0, u8 mode @4 (8 bytes)
    QLOCALCLEAR = 8,           // sel; no payload
    QLOCALADDWAYPOINT = 9,     // sel; u8 type @0, u16 x @2, u16 y @4, u16 value @6
    QLOCALEXECUTE = 10,        // sel; u8 mode @0
    QGLOBALADDWAYPOINT = 11,   // u8 slot @0, u8 type @1, u16 x @2, u16 y @4, u16 value @6
    QGLOBALCLEAR = 12,         // u8 slot @0
    QGLOBALEXECUTE = 13,       // sel; u8 slot @0, u8 mode @1
    QCONSTRUCTBUILDING = 14,   // u8 building type @0, u32 unit id @4, u16 x @8, u16 y @10
    QCONSTRUCTUNIT = 15,       // u8 unit type @0, u32 building id @4
    QDISEMBARK = 16,           // u8 flag @0, u32 unit id @4
    QDISEMBARKBLD = 17,        // u8 flag @0, u32 building id @4
    QSELLBUILDING = 18,        // u32 building id @0
    QCANCELBUILDING = 19,      // u32 building id @0
    QTELEPORT = 20,            // u32 building id @0, u16 x @4, u16 y @6
    QGIVEUNITS = 21,           // sel; u8 to team @0
    QGIVECREDITS = 22,         // u8 to team @0, u32 amount @4
    QCHECKSYNC = 23,           // u8 kind @0, u32 value @4
    QCHANGEALLY = 24,          // u8 other team @0, u8 relation @1
    QUPGRADEBUILDING = 25,     // u32 building id @0
    QSETTENACITY = 26,         // sel; u8 level @0
    QSETSELFPRESERVATION = 27, // sel; u8 level @0
    QSETAUTONOMY = 28,         // sel; u8 level @0
    QMORPHINTOUNIT = 29,       // sel; u8 unit type @0, u8 team @1
    QMORPHINTOOVL = 30,        // sel; u8 thing type @0
    QBOARDUNIT = 31,           // sel; u32 unit id @0
    QBOARDBUILDING = 32,       // sel; u32 building id @0
    QREARMSELF = 33,           // sel; no payload
    QREPAIRBUILDING = 34,      // u32 building id @0
    QPAUSECONSTRUCT = 35,      // u32 building id @0
    QUNPAUSECONSTRUCT = 36,    // u32 building id @0
    QCANCELCONSTRUCT = 37,     // u32 building id @0
    QPACKBUILDING = 38,        // u32 building id @0
    QUNPACKBUILDING = 39,      // u32 unit id @0, u16 x @4, u16 y @6
    QSETBLDDEST = 40,          // u32 building id @0, u16 x @4, u16 y @6
    QSETCLUSTDEST = 41,        // u32 building id @0, u16 x @4, u16 y @6
    QREPAIRSELF = 42,          // sel; no payload
    QPOWERTOGGLE = 43,         // u32 building id @0
    QSCATTER = 44,             // sel; no payload: each unit moves up to 3 tiles each way at random
    QDUMPLISTS = 45,           // no payload: every machine logs each unit and building (diagnostics)
    QSELFDESTRUCT = 46,        // sel; no payload
    QSELLRESOURCE = 47,        // u32 building id @0
    QPHASE = 48,               // sel; no payload
    QUNPHASE = 49,             // sel; no payload
    QGRABUNIT = 50,            // sel; u32 unit id @0
    QSPY = 51,                 // u32 unit id @0, u32 building id @4, u16 action @8, u16 extra @10
    QSABOTAGEBUILDING = 52,    // sel; u32 building id @0
    QUNMORPH = 53,             // sel; no payload
    QTOGGLESHOWSYNC = 54,      // no payload
    QGOTOREPAIR = 55,          // sel; u32 building id @0
    QGOTOREARM = 56,           // sel; u32 building id @0
    QPLAYERLEFT = 57,          // no payload; only in recordings: the team's player left the network game
    QSETUPTRANSPORT = 59,      // sel; u32 building type id @0, u16 x @4, u16 y @6
    QSURRENDER = 60,           // no payload; the team's units and buildings leave play
    QAITAKEOVER = 61,          // no payload
    QGAMESPEED = 62,           // u32 updates per second @0
    QAUTOMOVEON = 63,          // sel; u8 mode @0
    QAUTOMOVEOFF = 64,         // sel; no payload
    QUNITSPECFUNC = 65,        // sel; no payload
    QTACTICALAI = 66,          // u32 tenacity @0, u32 self-preservation @4, u32 autonomy @8
    QSAVEGAME = 67,            // no payload
    QMAXCODE = 67,
};

enum {
    ORDER_PAYLOAD = 12,
    ORDER_ENTRY_HEADER = 3,    // code, length, team
    ORDER_MAXSELECTION = 255,  // ids in one QADDSELECTED entry
    ORDER_SYNC_RANDOM = 0,     // QCHECKSYNC kinds
    ORDER_SYNC_VALUE = 1,
};

struct ORDERREC {
    ORDERREC* next;
    uint8_t code;
    uint8_t length;            // payload bytes 0..12 (12 for QADDSELECTED)
    uint8_t team;
    union {
        uint8_t payload[ORDER_PAYLOAD];
        UNITLIST list;         // QADDSELECTED: the selected units
    };
};

struct ORDERQUEUE {
    ORDERREC* head;
    ORDERREC* tail;
    int32_t count;
};

// The queues: orders issued on this machine since the last execution (or
// round), orders to execute (network rounds), orders executed, and, while
// recording, the orders of the current update waiting to be written.
extern ORDERQUEUE g_OrdersPending;
extern ORDERQUEUE g_OrdersIncoming;
extern ORDERQUEUE g_OrdersExecuted;
extern ORDERQUEUE g_OrdersRecorded;

// Clears the queues, the selections and the sync counters; opens the
// recording or playback file named in the configuration (SetOrderRecord,
// SetOrderPlayback). Orders_Close frees every node and closes the files.
void Orders_Init(void);
void Orders_Close(void);
// After a saved game replaced the running one: every queue, the executed
// selections and the selections last sent emptied; recording and playback
// end (logged) and are not restarted: what they hold belongs to the game
// that was replaced.
void Orders_AfterLoad(void);

// A node from the free list (or new): code, length, team set, next null,
// payload zeroed (an empty list for QADDSELECTED). Never null.
ORDERREC* Orders_NewNode(int code, int length, int team);
// Back to the free list (a QADDSELECTED node's list is closed first).
void Orders_FreeNode(ORDERREC* node);
ORDERREC* Orders_QueueHead(ORDERQUEUE* queue);
ORDERREC* Orders_QueuePop(ORDERQUEUE* queue);
void Orders_QueueAppend(ORDERQUEUE* queue, ORDERREC* node);
// Frees every node of a queue.
void Orders_QueueFree(ORDERQUEUE* queue);

// ------------------------------------------------------------------ builders

// Each appends one order for team to the pending queue. Those that take a
// selection (sel, the interface's selected units) first send QCLEARSELECTED
// and QADDSELECTED with the selection when it differs from the one last
// sent for the team; the others never do.
void Orders_QStop(int team, const UNITLIST* sel);
void Orders_QMove(int team, const UNITLIST* sel, int x, int y, int flag);
void Orders_QRotate(int team, const UNITLIST* sel, int x, int y, int flag);
void Orders_QFireAtGround(int team, const UNITLIST* sel, int x, int y, int mode);
void Orders_QFireAtUnit(int team, const UNITLIST* sel, int unitid, int mode);
void Orders_QFireAtBuilding(int team, const UNITLIST* sel, int buildingid, int mode);
// QLOCALCLEAR, then one QLOCALADDWAYPOINT per waypoint of trail (none: only
// the clear).
void Orders_QLocalTrail(int team, const UNITLIST* sel, const TRAIL* trail);
void Orders_QLocalExecute(int team, const UNITLIST* sel, int mode);
// QGLOBALCLEAR of the slot, then one QGLOBALADDWAYPOINT per waypoint.
void Orders_QGlobalTrailList(int team, int slot, const TRAIL* trail);
void Orders_QGlobalExecute(int team, const UNITLIST* sel, int slot, int mode);
void Orders_QConstructBuilding(int team, int unitid, int buildingtype, int x, int y);
void Orders_QConstructUnit(int team, int unittype, int buildingid);
void Orders_QDisembark(int team, int unitid, int flag);
void Orders_QDisembarkBld(int team, int buildingid, int flag);
void Orders_QSellBuilding(int team, int buildingid);
void Orders_QCancelBuilding(int team, int buildingid);
void Orders_QUpgradeBuilding(int team, int buildingid);
void Orders_QRepairBuilding(int team, int buildingid);
void Orders_QPauseConstruct(int team, int buildingid);
void Orders_QUnpauseConstruct(int team, int buildingid);
void Orders_QCancelConstruct(int team, int buildingid);
void Orders_QPackBuilding(int team, int buildingid);
void Orders_QPowerToggle(int team, int buildingid);
void Orders_QSellResource(int team, int buildingid);
void Orders_QTeleport(int team, int buildingid, int x, int y);
void Orders_QSetBldDest(int team, int buildingid, int x, int y);
void Orders_QSetClustDest(int team, int buildingid, int x, int y);
void Orders_QUnpackBuilding(int team, int unitid, int x, int y);
void Orders_QGiveUnits(int team, const UNITLIST* sel, int toteam);
void Orders_QGiveCredits(int team, int toteam, int amount);
void Orders_QChangeAlly(int team, int otherteam, int relation);
void Orders_QSetTenacity(int team, const UNITLIST* sel, int level);
void Orders_QSetSelfPreservation(int team, const UNITLIST* sel, int level);
void Orders_QSetAutonomy(int team, const UNITLIST* sel, int level);
void Orders_QMorphIntoUnit(int team, const UNITLIST* sel, int unittype, int unitteam);
void Orders_QMorphIntoOvl(int team, const UNITLIST* sel, int thingtype);
void Orders_QBoardUnit(int team, const UNITLIST* sel, int unitid);
void Orders_QGrabUnit(int team, const UNITLIST* sel, int unitid);
void Orders_QBoardBuilding(int team, const UNITLIST* sel, int buildingid);
void Orders_QSabotageBuilding(int team, const UNITLIST* sel, int buildingid);
void Orders_QGotoRepair(int team, const UNITLIST* sel, int buildingid);
void Orders_QGotoRearm(int team, const UNITLIST* sel, int buildingid);
void Orders_QSelfDestruct(int team, const UNITLIST* sel);
void Orders_QPhase(int team, const UNITLIST* sel);
void Orders_QUnphase(int team, const UNITLIST* sel);
void Orders_QUnmorph(int team, const UNITLIST* sel);
void Orders_QUnitSpecFunc(int team, const UNITLIST* sel);
void Orders_QRearmSelf(int team, const UNITLIST* sel);
void Orders_QRepairSelf(int team, const UNITLIST* sel);
void Orders_QScatter(int team, const UNITLIST* sel);
void Orders_QSpy(int team, int unitid, int buildingid, int action, int extra);
void Orders_QSetupTransport(int team, const UNITLIST* sel, int buildingtypeid, int x, int y);
// Executed on every machine: every unit of the team is deleted, then each
// of its buildings removed as destroyed; logs "Team %d surrendered".
void Orders_QSurrender(int team);
void Orders_QAITakeover(int team);
// For the local team.
void Orders_QGameSpeed(int updatespersecond);
void Orders_QAutoMoveOn(int team, const UNITLIST* sel, int mode);
void Orders_QAutoMoveOff(int team, const UNITLIST* sel);
void Orders_QTacticalAI(int team, int tenacity, int selfpreservation, int autonomy);
// For the local team.
void Orders_QDumpLists(void);
void Orders_QSaveGame(void);
void Orders_ToggleShowSync(void);
// QCHECKSYNC of kind with value, for the local team.
void Orders_QCheckSync(int kind, uint32_t value);

// ------------------------------------------------------------------ codec

// Writes one order entry of node into buf (size bytes): the number of bytes
// written, 0 when it doesn't fit. For QADDSELECTED at most the ids that fit
// (and at most 255) are written and taken off the node's list; *whole is set
// to 1 when the node is now fully written (always for other codes).
size_t Orders_PackEntry(ORDERREC* node, uint8_t* buf, size_t size, int* whole);
// Reads one entry from data (size bytes) into a new node: the bytes used,
// or 0 with a reason in err (errsize bytes) for an entry that is truncated,
// has an unknown code, a payload over 12 bytes for another code than
// QADDSELECTED, or a team out of range. Nothing is read past size.
size_t Orders_UnpackEntry(const uint8_t* data, size_t size, ORDERREC** node, char* err,
                          size_t errsize);

// The rounds' view of the order module (QuorNet_SetOrders): pending orders
// packed with the codec, received entries into the incoming queue.
const struct QuorNetOrders* Orders_NetTable(void);

// ------------------------------------------------------------------ execution

// Frame step 5, after an update: during playback the orders recorded for
// the update just run replace the pending ones; the pending orders move to
// the executed queue, are recorded when recording, and are executed in queue
// order. In a network game it executes nothing: the pending orders wait for
// the round packet.
void Orders_AfterUpdate(void);
// The orders the network rounds unpacked (a completed round's): moved to the
// executed queue, recorded under the current update, executed in order.
void Orders_ExecuteIncoming(void);
// Whether executed QCHECKSYNC orders are shown on the message line
// (QTOGGLESHOWSYNC switches it on every machine).
int Orders_ShowingSync(void);
// Executes one order.
void Orders_Execute(const ORDERREC* node);
// The selection a team's executed orders apply to.
UNITLIST* Orders_TeamSelection(int team);
// QCHECKSYNC mismatches seen so far.
int Orders_SyncMismatches(void);
// Appends a line per executed order to the executed-order log (tests and
// debugging): "update code team payload-hex".
void Orders_SetExecutedLog(void (*fn)(const char* line));

// ------------------------------------------------------------------ recording

// Recording file: for each update that executed orders, u32 update number,
// u16 order count, then the entries (codec). Updates without orders are not
// written.
int Orders_StartRecording(const char* path);
void Orders_StopRecording(void);
int Orders_IsRecording(void);
// Records, under the current update, that the team's player left the
// network game (its team disabled at this update's start): a playback
// disables it at the same update. Nothing when not recording.
void Orders_RecordPlayerLeft(int team);
// Reads the whole recording; 0 (logged with the file, offset and reason, and
// nothing played) for a truncated or malformed file.
int Orders_StartPlayback(const char* path);
void Orders_StopPlayback(void);
int Orders_IsPlayingBack(void);
// Parses recording bytes (the playback reader and the fuzz target).
int Orders_ParseRecording(const uint8_t* data, size_t size, const char* name);
