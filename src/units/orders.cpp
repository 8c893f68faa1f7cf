// Player orders: the nodes and queues, the builders and the order entry codec.
//
// The selection pair: for each team the ids of the selection last sent are
// kept in order. A builder that takes a selection compares it with that copy
// and, when the two differ as sequences of ids, first sends QCLEARSELECTED
// and then the ids in QADDSELECTED nodes of at most ORDER_MAXSELECTION ids
// each (an empty selection sends QCLEARSELECTED alone). Capping the nodes
// here means one node is always one codec entry, so a recording replays the
// very same nodes that were executed when it was made; the codec still splits
// a longer list when it packs one (the network's rounds split by space).
#include "units/orders.h"
#include "units/ordersint.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/pool.h"
#include "units/team.h"
#include "units/trail.h"

ORDERQUEUE g_OrdersPending;
ORDERQUEUE g_OrdersIncoming;
ORDERQUEUE g_OrdersExecuted;
ORDERQUEUE g_OrdersRecorded;

static POOL s_pool;
static int s_poolReady;

// The selection last sent for each team (ids in order).
static std::vector<int32_t> s_lastSent[TEAM_MAXTEAMS];

// ------------------------------------------------------------------ nodes and queues

ORDERREC* Orders_NewNode(int code, int length, int team)
{
    // A node beyond these bounds would write past its payload or be refused by
    // every reader of its entry: a caller's fault, not bad input.
    ASSERT(code >= 0 && code <= QMAXCODE);
    ASSERT(length >= 0 && length <= ORDER_PAYLOAD);
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    if (!s_poolReady) {
        Pool_Init(&s_pool, "Orders", sizeof(ORDERREC), 64);
        s_poolReady = 1;
    }
    ORDERREC* node = (ORDERREC*)Pool_Alloc(&s_pool);
    node->next = nullptr;
    node->code = (uint8_t)code;
    node->length = (uint8_t)length;
    node->team = (uint8_t)team;
    if (code == QADDSELECTED) Units_ListInit(&node->list);
    else memset(node->payload, 0, sizeof node->payload);
    return node;
}

void Orders_FreeNode(ORDERREC* node)
{
    if (node == nullptr) return;
    if (node->code == QADDSELECTED) Units_ListClose(&node->list);
    Pool_Free(&s_pool, node);
}

ORDERREC* Orders_QueueHead(ORDERQUEUE* queue) { return queue->head; }

ORDERREC* Orders_QueuePop(ORDERQUEUE* queue)
{
    ORDERREC* node = queue->head;
    if (node == nullptr) return nullptr;
    queue->head = node->next;
    if (queue->head == nullptr) queue->tail = nullptr;
    queue->count--;
    node->next = nullptr;
    return node;
}

void Orders_QueueAppend(ORDERQUEUE* queue, ORDERREC* node)
{
    ASSERT(node != nullptr);
    node->next = nullptr;
    if (queue->tail) queue->tail->next = node;
    else queue->head = node;
    queue->tail = node;
    queue->count++;
}

void Orders_QueueFree(ORDERQUEUE* queue)
{
    while (ORDERREC* node = Orders_QueuePop(queue)) Orders_FreeNode(node);
}

void Orders_ResetNodes(void)
{
    Orders_QueueFree(&g_OrdersPending);
    Orders_QueueFree(&g_OrdersIncoming);
    Orders_QueueFree(&g_OrdersExecuted);
    Orders_QueueFree(&g_OrdersRecorded);
    for (std::vector<int32_t>& ids : s_lastSent) ids.clear();
}

void Orders_CloseNodes(void)
{
    Orders_ResetNodes();
    if (s_poolReady) Pool_Close(&s_pool);
    s_poolReady = 0;
}

// ------------------------------------------------------------------ builders

static void PutU8(ORDERREC* n, int at, int v) { n->payload[at] = (uint8_t)v; }

static void PutU16(ORDERREC* n, int at, int v) { Bytes_PutU16(&n->payload[at], (uint32_t)v); }

static void PutU32(ORDERREC* n, int at, uint32_t v) { Bytes_PutU32(&n->payload[at], v); }

static ORDERREC* Send(int code, int length, int team)
{
    ORDERREC* node = Orders_NewNode(code, length, team);
    Orders_QueueAppend(&g_OrdersPending, node);
    return node;
}

static void SendSelection(int team, const UNITLIST* sel)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    std::vector<int32_t> ids;
    if (sel != nullptr)
        for (const UNITLISTELEM* e = sel->head; e != nullptr; e = e->next) ids.push_back(e->u.id);
    if (ids == s_lastSent[team]) return;
    Send(QCLEARSELECTED, 0, team);
    ORDERREC* add = nullptr;
    for (int32_t id : ids) {
        if (add == nullptr || Units_ListSize(&add->list) == ORDER_MAXSELECTION)
            add = Send(QADDSELECTED, ORDER_PAYLOAD, team);
        Units_ListAppend(&add->list, nullptr, id);
    }
    s_lastSent[team] = std::move(ids);
}

static ORDERREC* SendSel(int code, int length, int team, const UNITLIST* sel)
{
    SendSelection(team, sel);
    return Send(code, length, team);
}

// Layouts shared by several builders.
static void SendBuildingId(int code, int team, int buildingid)
{
    PutU32(Send(code, 4, team), 0, (uint32_t)buildingid);
}

static void SendIdXY(int code, int team, int id, int x, int y)
{
    ORDERREC* n = Send(code, 8, team);
    PutU32(n, 0, (uint32_t)id);
    PutU16(n, 4, x);
    PutU16(n, 6, y);
}

static void SendSelFlagXY(int code, int team, const UNITLIST* sel, int x, int y, int flag)
{
    ORDERREC* n = SendSel(code, 6, team, sel);
    PutU8(n, 0, flag);
    PutU16(n, 2, x);
    PutU16(n, 4, y);
}

static void SendSelId(int code, int team, const UNITLIST* sel, int id)
{
    PutU32(SendSel(code, 4, team, sel), 0, (uint32_t)id);
}

static void SendSelByte(int code, int team, const UNITLIST* sel, int value)
{
    PutU8(SendSel(code, 1, team, sel), 0, value);
}

static void SendFlagId(int code, int team, int id, int flag)
{
    ORDERREC* n = Send(code, 8, team);
    PutU8(n, 0, flag);
    PutU32(n, 4, (uint32_t)id);
}

void Orders_QStop(int team, const UNITLIST* sel) { SendSel(QSTOP, 0, team, sel); }

void Orders_QMove(int team, const UNITLIST* sel, int x, int y, int flag)
{
    SendSelFlagXY(QMOVE, team, sel, x, y, flag);
}

void Orders_QRotate(int team, const UNITLIST* sel, int x, int y, int flag)
{
    SendSelFlagXY(QROTATE, team, sel, x, y, flag);
}

void Orders_QFireAtGround(int team, const UNITLIST* sel, int x, int y, int mode)
{
    ORDERREC* n = SendSel(QFIREATGROUND, 6, team, sel);
    PutU16(n, 0, x);
    PutU16(n, 2, y);
    PutU8(n, 4, mode);
}

static void SendFireAt(int code, int team, const UNITLIST* sel, int id, int mode)
{
    ORDERREC* n = SendSel(code, 8, team, sel);
    PutU32(n, 0, (uint32_t)id);
    PutU8(n, 4, mode);
}

void Orders_QFireAtUnit(int team, const UNITLIST* sel, int unitid, int mode)
{
    SendFireAt(QFIREATUNIT, team, sel, unitid, mode);
}

void Orders_QFireAtBuilding(int team, const UNITLIST* sel, int buildingid, int mode)
{
    SendFireAt(QFIREATBUILDING, team, sel, buildingid, mode);
}

// One waypoint: u8 type at typeat, u16 x, y and value from 2.
static void PutWaypoint(ORDERREC* n, int typeat, const WAYPOINT* w)
{
    PutU8(n, typeat, w->type);
    PutU16(n, 2, w->x);
    PutU16(n, 4, w->y);
    PutU16(n, 6, w->value);
}

void Orders_QLocalTrail(int team, const UNITLIST* sel, const TRAIL* trail)
{
    SendSel(QLOCALCLEAR, 0, team, sel);
    if (trail == nullptr) return;
    for (const WAYPOINT* w = trail->head; w != nullptr; w = w->next)
        PutWaypoint(Send(QLOCALADDWAYPOINT, 8, team), 0, w);
}

void Orders_QLocalExecute(int team, const UNITLIST* sel, int mode)
{
    SendSelByte(QLOCALEXECUTE, team, sel, mode);
}

void Orders_QGlobalTrailList(int team, int slot, const TRAIL* trail)
{
    PutU8(Send(QGLOBALCLEAR, 1, team), 0, slot);
    if (trail == nullptr) return;
    for (const WAYPOINT* w = trail->head; w != nullptr; w = w->next) {
        ORDERREC* n = Send(QGLOBALADDWAYPOINT, 8, team);
        PutU8(n, 0, slot);
        PutWaypoint(n, 1, w);
    }
}

void Orders_QGlobalExecute(int team, const UNITLIST* sel, int slot, int mode)
{
    ORDERREC* n = SendSel(QGLOBALEXECUTE, 2, team, sel);
    PutU8(n, 0, slot);
    PutU8(n, 1, mode);
}

void Orders_QConstructBuilding(int team, int unitid, int buildingtype, int x, int y)
{
    ORDERREC* n = Send(QCONSTRUCTBUILDING, 12, team);
    PutU8(n, 0, buildingtype);
    PutU32(n, 4, (uint32_t)unitid);
    PutU16(n, 8, x);
    PutU16(n, 10, y);
}

void Orders_QConstructUnit(int team, int unittype, int buildingid)
{
    SendFlagId(QCONSTRUCTUNIT, team, buildingid, unittype);
}

void Orders_QDisembark(int team, int unitid, int flag)
{
    SendFlagId(QDISEMBARK, team, unitid, flag);
}

void Orders_QDisembarkBld(int team, int buildingid, int flag)
{
    SendFlagId(QDISEMBARKBLD, team, buildingid, flag);
}

void Orders_QSellBuilding(int team, int buildingid)
{
    SendBuildingId(QSELLBUILDING, team, buildingid);
}
void Orders_QCancelBuilding(int team, int buildingid)
{
    SendBuildingId(QCANCELBUILDING, team, buildingid);
}
void Orders_QUpgradeBuilding(int team, int buildingid)
{
    SendBuildingId(QUPGRADEBUILDING, team, buildingid);
}
void Orders_QRepairBuilding(int team, int buildingid)
{
    SendBuildingId(QREPAIRBUILDING, team, buildingid);
}
void Orders_QPauseConstruct(int team, int buildingid)
{
    SendBuildingId(QPAUSECONSTRUCT, team, buildingid);
}
void Orders_QUnpauseConstruct(int team, int buildingid)
{
    SendBuildingId(QUNPAUSECONSTRUCT, team, buildingid);
}
void Orders_QCancelConstruct(int team, int buildingid)
{
    SendBuildingId(QCANCELCONSTRUCT, team, buildingid);
}
void Orders_QPackBuilding(int team, int buildingid)
{
    SendBuildingId(QPACKBUILDING, team, buildingid);
}
void Orders_QPowerToggle(int team, int buildingid)
{
    SendBuildingId(QPOWERTOGGLE, team, buildingid);
}
void Orders_QSellResource(int team, int buildingid)
{
    SendBuildingId(QSELLRESOURCE, team, buildingid);
}

void Orders_QTeleport(int team, int buildingid, int x, int y)
{
    SendIdXY(QTELEPORT, team, buildingid, x, y);
}
void Orders_QSetBldDest(int team, int buildingid, int x, int y)
{
    SendIdXY(QSETBLDDEST, team, buildingid, x, y);
}
void Orders_QSetClustDest(int team, int buildingid, int x, int y)
{
    SendIdXY(QSETCLUSTDEST, team, buildingid, x, y);
}
void Orders_QUnpackBuilding(int team, int unitid, int x, int y)
{
    SendIdXY(QUNPACKBUILDING, team, unitid, x, y);
}

void Orders_QGiveUnits(int team, const UNITLIST* sel, int toteam)
{
    SendSelByte(QGIVEUNITS, team, sel, toteam);
}

void Orders_QGiveCredits(int team, int toteam, int amount)
{
    ORDERREC* n = Send(QGIVECREDITS, 8, team);
    PutU8(n, 0, toteam);
    PutU32(n, 4, (uint32_t)amount);
}

void Orders_QChangeAlly(int team, int otherteam, int relation)
{
    ORDERREC* n = Send(QCHANGEALLY, 2, team);
    PutU8(n, 0, otherteam);
    PutU8(n, 1, relation);
}

void Orders_QSetTenacity(int team, const UNITLIST* sel, int level)
{
    SendSelByte(QSETTENACITY, team, sel, level);
}
void Orders_QSetSelfPreservation(int team, const UNITLIST* sel, int level)
{
    SendSelByte(QSETSELFPRESERVATION, team, sel, level);
}
void Orders_QSetAutonomy(int team, const UNITLIST* sel, int level)
{
    SendSelByte(QSETAUTONOMY, team, sel, level);
}

void Orders_QMorphIntoUnit(int team, const UNITLIST* sel, int unittype, int unitteam)
{
    ORDERREC* n = SendSel(QMORPHINTOUNIT, 2, team, sel);
    PutU8(n, 0, unittype);
    PutU8(n, 1, unitteam);
}

void Orders_QMorphIntoOvl(int team, const UNITLIST* sel, int thingtype)
{
    SendSelByte(QMORPHINTOOVL, team, sel, thingtype);
}

void Orders_QBoardUnit(int team, const UNITLIST* sel, int unitid)
{
    SendSelId(QBOARDUNIT, team, sel, unitid);
}
void Orders_QGrabUnit(int team, const UNITLIST* sel, int unitid)
{
    SendSelId(QGRABUNIT, team, sel, unitid);
}
void Orders_QBoardBuilding(int team, const UNITLIST* sel, int buildingid)
{
    SendSelId(QBOARDBUILDING, team, sel, buildingid);
}
void Orders_QSabotageBuilding(int team, const UNITLIST* sel, int buildingid)
{
    SendSelId(QSABOTAGEBUILDING, team, sel, buildingid);
}
void Orders_QGotoRepair(int team, const UNITLIST* sel, int buildingid)
{
    SendSelId(QGOTOREPAIR, team, sel, buildingid);
}
void Orders_QGotoRearm(int team, const UNITLIST* sel, int buildingid)
{
    SendSelId(QGOTOREARM, team, sel, buildingid);
}

void Orders_QSelfDestruct(int team, const UNITLIST* sel) { SendSel(QSELFDESTRUCT, 0, team, sel); }
void Orders_QPhase(int team, const UNITLIST* sel) { SendSel(QPHASE, 0, team, sel); }
void Orders_QUnphase(int team, const UNITLIST* sel) { SendSel(QUNPHASE, 0, team, sel); }
void Orders_QUnmorph(int team, const UNITLIST* sel) { SendSel(QUNMORPH, 0, team, sel); }
void Orders_QUnitSpecFunc(int team, const UNITLIST* sel) { SendSel(QUNITSPECFUNC, 0, team, sel); }
void Orders_QRearmSelf(int team, const UNITLIST* sel) { SendSel(QREARMSELF, 0, team, sel); }
void Orders_QRepairSelf(int team, const UNITLIST* sel) { SendSel(QREPAIRSELF, 0, team, sel); }
void Orders_QScatter(int team, const UNITLIST* sel) { SendSel(QSCATTER, 0, team, sel); }

void Orders_QSpy(int team, int unitid, int buildingid, int action, int extra)
{
    ORDERREC* n = Send(QSPY, 12, team);
    PutU32(n, 0, (uint32_t)unitid);
    PutU32(n, 4, (uint32_t)buildingid);
    PutU16(n, 8, action);
    PutU16(n, 10, extra);
}

void Orders_QSetupTransport(int team, const UNITLIST* sel, int buildingtypeid, int x, int y)
{
    ORDERREC* n = SendSel(QSETUPTRANSPORT, 8, team, sel);
    PutU32(n, 0, (uint32_t)buildingtypeid);
    PutU16(n, 4, x);
    PutU16(n, 6, y);
}

void Orders_QSurrender(int team) { Send(QSURRENDER, 0, team); }
void Orders_QAITakeover(int team) { Send(QAITAKEOVER, 0, team); }

void Orders_QGameSpeed(int updatespersecond)
{
    PutU32(Send(QGAMESPEED, 4, g_LocalTeam), 0, (uint32_t)updatespersecond);
}

void Orders_QAutoMoveOn(int team, const UNITLIST* sel, int mode)
{
    SendSelByte(QAUTOMOVEON, team, sel, mode);
}
void Orders_QAutoMoveOff(int team, const UNITLIST* sel) { SendSel(QAUTOMOVEOFF, 0, team, sel); }

void Orders_QTacticalAI(int team, int tenacity, int selfpreservation, int autonomy)
{
    ORDERREC* n = Send(QTACTICALAI, 12, team);
    PutU32(n, 0, (uint32_t)tenacity);
    PutU32(n, 4, (uint32_t)selfpreservation);
    PutU32(n, 8, (uint32_t)autonomy);
}

void Orders_QDumpLists(void) { Send(QDUMPLISTS, 0, g_LocalTeam); }
void Orders_QSaveGame(void) { Send(QSAVEGAME, 0, g_LocalTeam); }
void Orders_ToggleShowSync(void) { Send(QTOGGLESHOWSYNC, 0, g_LocalTeam); }

void Orders_QCheckSync(int kind, uint32_t value)
{
    ORDERREC* n = Send(QCHECKSYNC, 8, g_LocalTeam);
    PutU8(n, 0, kind);
    PutU32(n, 4, value);
    Orders_NoteLocalSync(kind, value);
}

// ------------------------------------------------------------------ codec

size_t Orders_PackEntry(ORDERREC* node, uint8_t* buf, size_t size, int* whole)
{
    *whole = 0;
    if (node->code != QADDSELECTED) {
        size_t need = ORDER_ENTRY_HEADER + (size_t)node->length;
        if (size < need) return 0;
        buf[0] = node->code;
        buf[1] = node->length;
        buf[2] = node->team;
        memcpy(buf + ORDER_ENTRY_HEADER, node->payload, node->length);
        *whole = 1;
        return need;
    }
    if (size < ORDER_ENTRY_HEADER) return 0;
    size_t left = (size_t)Units_ListSize(&node->list);
    size_t fit = (size - ORDER_ENTRY_HEADER) / 4;
    if (fit > ORDER_MAXSELECTION) fit = ORDER_MAXSELECTION;
    size_t count = left < fit ? left : fit;
    // Only an empty list is written without ids; a list that doesn't fit a
    // single id waits for more room.
    if (count == 0 && left > 0) return 0;
    buf[0] = QADDSELECTED;
    buf[1] = (uint8_t)count;
    buf[2] = node->team;
    uint8_t* p = buf + ORDER_ENTRY_HEADER;
    for (size_t i = 0; i < count; i++, p += 4) {
        UNIT* unit;
        int id;
        Units_ListRemoveFirst(&node->list, &unit, &id);
        for (int b = 0; b < 4; b++) p[b] = (uint8_t)((uint32_t)id >> (8 * b));
    }
    *whole = Units_ListEmpty(&node->list);
    return (size_t)(p - buf);
}

size_t Orders_UnpackEntry(const uint8_t* data, size_t size, ORDERREC** node, char* err,
                          size_t errsize)
{
    *node = nullptr;
    if (size < ORDER_ENTRY_HEADER) {
        snprintf(err, errsize, "truncated order entry: %zu of %d header bytes", size,
                 (int)ORDER_ENTRY_HEADER);
        return 0;
    }
    int code = data[0], length = data[1], team = data[2];
    if (code > QMAXCODE) {
        snprintf(err, errsize, "unknown order code %d", code);
        return 0;
    }
    if (team >= TEAM_MAXTEAMS) {
        snprintf(err, errsize, "order team %d out of range 0..%d", team, TEAM_MAXTEAMS - 1);
        return 0;
    }
    if (code != QADDSELECTED && length > ORDER_PAYLOAD) {
        snprintf(err, errsize, "payload length %d over %d for order code %d", length,
                 (int)ORDER_PAYLOAD, code);
        return 0;
    }
    size_t body = code == QADDSELECTED ? (size_t)length * 4 : (size_t)length;
    size_t avail = size - ORDER_ENTRY_HEADER;
    if (avail < body) {
        if (code == QADDSELECTED)
            snprintf(err, errsize, "%d unit ids run past the end: %zu of %zu bytes", length,
                     avail, body);
        else
            snprintf(err, errsize, "truncated payload of order code %d: %zu of %zu bytes", code,
                     avail, body);
        return 0;
    }
    const uint8_t* p = data + ORDER_ENTRY_HEADER;
    ORDERREC* n;
    if (code == QADDSELECTED) {
        n = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, team);
        for (int i = 0; i < length; i++)
            Units_ListAppend(&n->list, nullptr, (int)Bytes_U32(p + 4 * i));
    } else {
        n = Orders_NewNode(code, length, team);
        memcpy(n->payload, p, (size_t)length);
    }
    *node = n;
    return ORDER_ENTRY_HEADER + body;
}
