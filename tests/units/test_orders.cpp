// Player orders: nodes and queues, the builders' layouts and the selection
// pair, the entry codec, and the execution of the orders whose machinery
// exists.
#include "units/orders.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "net/quornet.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<int> Ids(const UNITLIST& list)
{
    std::vector<int> ids;
    for (const UNITLISTELEM* e = list.head; e != nullptr; e = e->next) ids.push_back(e->u.id);
    return ids;
}

struct Pending {
    int code, team;
    Bytes payload;   // length bytes (the ids as u32 for QADDSELECTED)
};

std::vector<Pending> TakePending(void)
{
    std::vector<Pending> out;
    while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
        Pending p{n->code, n->team, {}};
        if (n->code == QADDSELECTED) {
            for (int id : Ids(n->list))
                for (int b = 0; b < 4; b++) p.payload.push_back((uint8_t)((uint32_t)id >> (8 * b)));
        } else {
            p.payload.assign(n->payload, n->payload + n->length);
            // Bytes past the length stay zero.
            for (int i = n->length; i < ORDER_PAYLOAD; i++) EXPECT_EQ(n->payload[i], 0) << n->code;
        }
        Orders_FreeNode(n);
        out.push_back(p);
    }
    return out;
}

class OrdersTest : public testing::Test {
protected:
    void SetUp() override
    {
        Cfg_SetDefaults(&g_Config);
        g_LocalTeam = 3;
        Orders_Init();
        Units_ListInit(&sel_);
    }
    void TearDown() override
    {
        Units_ListClose(&sel_);
        Orders_Close();
        g_LocalTeam = 0;
    }
    void Select(std::vector<int> ids)
    {
        Units_ListClear(&sel_);
        for (int id : ids) Units_ListAppend(&sel_, nullptr, id);
    }
    QvLogCapture log_;
    UNITLIST sel_;
};

// ---- nodes and queues

class OrderQueue : public OrdersTest {};

TEST_F(OrderQueue, ARecycledNodeComesBackZeroed)
{
    ORDERREC* a = Orders_NewNode(QMOVE, 6, 2);
    a->payload[11] = 0xff;
    a->next = a;
    Orders_FreeNode(a);
    ORDERREC* b = Orders_NewNode(QSTOP, 0, 5);
    EXPECT_EQ(b, a);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(b->payload[11], 0);
    Orders_FreeNode(b);
}

TEST_F(OrderQueue, NodesOutsideTheirBoundsAreAssertionFailures)
{
    QV_EXPECT_FATAL(Orders_NewNode(68, 0, 0), "ASSERT (code >= 0 && code <= QMAXCODE)");
    QV_EXPECT_FATAL(Orders_NewNode(QMOVE, 13, 0), "ASSERT (length >= 0 && length <= ORDER_PAYLOAD)");
    QV_EXPECT_FATAL(Orders_QStop(9, nullptr), "ASSERT (team >= 0 && team < TEAM_MAXTEAMS)");
}

// ---- codes

// The codes travel in recorded games and network packets: each is pinned
// to its number here, so a renumbered enumeration cannot pass unnoticed.
TEST(OrderCodes, EachCodeKeepsItsNumber)
{
    const struct {
        int code, number;
    } rows[] = {
        {QCLEARSELECTED, 0}, {QADDSELECTED, 1}, {QSTOP, 2}, {QMOVE, 3}, {QROTATE, 4},
        {QFIREATGROUND, 5}, {QFIREATUNIT, 6}, {QFIREATBUILDING, 7}, {QLOCALCLEAR, 8},
        {QLOCALADDWAYPOINT, 9}, {QLOCALEXECUTE, 10}, {QGLOBALADDWAYPOINT, 11}, {QGLOBALCLEAR, 12},
        {QGLOBALEXECUTE, 13}, {QCONSTRUCTBUILDING, 14}, {QCONSTRUCTUNIT, 15}, {QDISEMBARK, 16},
        {QDISEMBARKBLD, 17}, {QSELLBUILDING, 18}, {QCANCELBUILDING, 19}, {QTELEPORT, 20},
        {QGIVEUNITS, 21}, {QGIVECREDITS, 22}, {QCHECKSYNC, 23}, {QCHANGEALLY, 24},
        {QUPGRADEBUILDING, 25}, {QSETTENACITY, 26}, {QSETSELFPRESERVATION, 27}, {QSETAUTONOMY, 28},
        {QMORPHINTOUNIT, 29}, {QMORPHINTOOVL, 30}, {QBOARDUNIT, 31}, {QBOARDBUILDING, 32},
        {QREARMSELF, 33}, {QREPAIRBUILDING, 34}, {QPAUSECONSTRUCT, 35}, {QUNPAUSECONSTRUCT, 36},
        {QCANCELCONSTRUCT, 37}, {QPACKBUILDING, 38}, {QUNPACKBUILDING, 39}, {QSETBLDDEST, 40},
        {QSETCLUSTDEST, 41}, {QREPAIRSELF, 42}, {QPOWERTOGGLE, 43}, {QSCATTER, 44},
        {QDUMPLISTS, 45}, {QSELFDESTRUCT, 46}, {QSELLRESOURCE, 47}, {QPHASE, 48}, {QUNPHASE, 49},
        {QGRABUNIT, 50}, {QSPY, 51}, {QSABOTAGEBUILDING, 52}, {QUNMORPH, 53}, {QTOGGLESHOWSYNC, 54},
        {QGOTOREPAIR, 55}, {QGOTOREARM, 56}, {QSETUPTRANSPORT, 59}, {QSURRENDER, 60},
        {QAITAKEOVER, 61}, {QGAMESPEED, 62}, {QAUTOMOVEON, 63}, {QAUTOMOVEOFF, 64},
        {QUNITSPECFUNC, 65}, {QTACTICALAI, 66}, {QSAVEGAME, 67}, {QMAXCODE, 67},
    };
    for (const auto& r : rows) EXPECT_EQ(r.code, r.number) << "the code numbered " << r.number;
}

// ---- builders

struct BuilderCase {
    const char* name;
    std::function<void(const UNITLIST*)> call;
    int code;
    Bytes payload;
    bool selection;
    int team;
};

// Values whose bytes show their position and order.
const int kId = 0x0A0B0C0D, kX = 0x1234, kY = 0x0567;
#define ID4 0x0d, 0x0c, 0x0b, 0x0a
#define XY4 0x34, 0x12, 0x67, 0x05

std::vector<BuilderCase> Builders(void)
{
    auto bld = [](const char* name, void (*fn)(int, int), int code) {
        return BuilderCase{name, [fn](const UNITLIST*) { fn(2, kId); }, code, {ID4}, false, 2};
    };
    auto nopay = [](const char* name, void (*fn)(int, const UNITLIST*), int code) {
        return BuilderCase{name, [fn](const UNITLIST* s) { fn(2, s); }, code, {}, true, 2};
    };
    auto selid = [](const char* name, void (*fn)(int, const UNITLIST*, int), int code) {
        return BuilderCase{name, [fn](const UNITLIST* s) { fn(2, s, kId); }, code, {ID4}, true, 2};
    };
    auto idxy = [](const char* name, void (*fn)(int, int, int, int), int code) {
        return BuilderCase{name, [fn](const UNITLIST*) { fn(2, kId, kX, kY); }, code, {ID4, XY4}, false, 2};
    };
    auto selbyte = [](const char* name, void (*fn)(int, const UNITLIST*, int), int code, int v) {
        return BuilderCase{name, [fn, v](const UNITLIST* s) { fn(2, s, v); }, code, {(uint8_t)v}, true, 2};
    };
    return {
        nopay("QStop", Orders_QStop, QSTOP),
        {"QMove", [](const UNITLIST* s) { Orders_QMove(2, s, kX, kY, 1); }, QMOVE, {1, 0, XY4}, true, 2},
        {"QRotate", [](const UNITLIST* s) { Orders_QRotate(2, s, kX, kY, 2); }, QROTATE, {2, 0, XY4}, true, 2},
        {"QFireAtGround", [](const UNITLIST* s) { Orders_QFireAtGround(2, s, kX, kY, 2); }, QFIREATGROUND,
         {XY4, 2, 0}, true, 2},
        {"QFireAtUnit", [](const UNITLIST* s) { Orders_QFireAtUnit(2, s, kId, 1); }, QFIREATUNIT,
         {ID4, 1, 0, 0, 0}, true, 2},
        {"QFireAtBuilding", [](const UNITLIST* s) { Orders_QFireAtBuilding(2, s, kId, 3); }, QFIREATBUILDING,
         {ID4, 3, 0, 0, 0}, true, 2},
        selbyte("QLocalExecute", Orders_QLocalExecute, QLOCALEXECUTE, 2),
        {"QGlobalExecute", [](const UNITLIST* s) { Orders_QGlobalExecute(2, s, 29, 1); }, QGLOBALEXECUTE,
         {29, 1}, true, 2},
        {"QConstructBuilding", [](const UNITLIST*) { Orders_QConstructBuilding(2, kId, 7, kX, kY); },
         QCONSTRUCTBUILDING, {7, 0, 0, 0, ID4, XY4}, false, 2},
        {"QConstructUnit", [](const UNITLIST*) { Orders_QConstructUnit(2, 9, kId); }, QCONSTRUCTUNIT,
         {9, 0, 0, 0, ID4}, false, 2},
        {"QDisembark", [](const UNITLIST*) { Orders_QDisembark(2, kId, 1); }, QDISEMBARK, {1, 0, 0, 0, ID4}, false, 2},
        bld("QSellBuilding", Orders_QSellBuilding, QSELLBUILDING),
        bld("QPowerToggle", Orders_QPowerToggle, QPOWERTOGGLE),
        idxy("QTeleport", Orders_QTeleport, QTELEPORT),
        selbyte("QGiveUnits", Orders_QGiveUnits, QGIVEUNITS, 4),
        {"QGiveCredits", [](const UNITLIST*) { Orders_QGiveCredits(2, 4, 0x01020304); }, QGIVECREDITS,
         {4, 0, 0, 0, 4, 3, 2, 1}, false, 2},
        {"QChangeAlly", [](const UNITLIST*) { Orders_QChangeAlly(2, 4, TR_ENEMY); }, QCHANGEALLY, {4, 1}, false, 2},
        selbyte("QSetTenacity", Orders_QSetTenacity, QSETTENACITY, 2),
        {"QMorphIntoUnit", [](const UNITLIST* s) { Orders_QMorphIntoUnit(2, s, 7, 3); }, QMORPHINTOUNIT,
         {7, 3}, true, 2},
        selbyte("QMorphIntoOvl", Orders_QMorphIntoOvl, QMORPHINTOOVL, 7),
        selid("QBoardUnit", Orders_QBoardUnit, QBOARDUNIT),
        {"QSpy", [](const UNITLIST*) { Orders_QSpy(2, kId, 0x11223344, 0x5566, 0x7788); }, QSPY,
         {ID4, 0x44, 0x33, 0x22, 0x11, 0x66, 0x55, 0x88, 0x77}, false, 2},
        {"QSetupTransport", [](const UNITLIST* s) { Orders_QSetupTransport(2, s, 0x11223344, kX, kY); },
         QSETUPTRANSPORT, {0x44, 0x33, 0x22, 0x11, XY4}, true, 2},
        {"QSurrender", [](const UNITLIST*) { Orders_QSurrender(2); }, QSURRENDER, {}, false, 2},
        {"QGameSpeed", [](const UNITLIST*) { Orders_QGameSpeed(30); }, QGAMESPEED, {30, 0, 0, 0}, false, 3},
        selbyte("QAutoMoveOn", Orders_QAutoMoveOn, QAUTOMOVEON, 1),
        {"QTacticalAI", [](const UNITLIST*) { Orders_QTacticalAI(2, 0, 3, 2); }, QTACTICALAI,
         {0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0}, false, 2},
        {"QSaveGame", [](const UNITLIST*) { Orders_QSaveGame(); }, QSAVEGAME, {}, false, 3},
        {"QCheckSync", [](const UNITLIST*) { Orders_QCheckSync(ORDER_SYNC_VALUE, 0xDEADBEEF); }, QCHECKSYNC,
         {1, 0, 0, 0, 0xef, 0xbe, 0xad, 0xde}, false, 3},
    };
}

class OrderBuilders : public OrdersTest {};

// Orders on a selection send the selection pair first when it changed; the
// others never do.
TEST_F(OrderBuilders, EachWritesItsCodeTeamAndPayloadLayout)
{
    int round = 0;
    for (const BuilderCase& c : Builders()) {
        SCOPED_TRACE(c.name);
        round++;
        Select({100 + round});   // differs from whatever went before
        c.call(&sel_);
        std::vector<Pending> p = TakePending();
        ASSERT_EQ(p.size(), c.selection ? 3u : 1u);
        if (c.selection) {
            EXPECT_EQ(p[0].code, QCLEARSELECTED);
            EXPECT_EQ(p[1].payload, (Bytes{(uint8_t)(100 + round), 0, 0, 0}));
        }
        EXPECT_EQ(p.back().code, c.code);
        EXPECT_EQ(p.back().team, c.team);
        EXPECT_EQ(p.back().payload, c.payload);
    }
}

TEST_F(OrderBuilders, SelectionsAreComparedPerTeamAsSequencesOfIds)
{
    const std::vector<int> pair = {QCLEARSELECTED, QADDSELECTED, QSTOP};
    const struct {
        int team;
        std::vector<int> ids;
        bool none;   // no selection at all
        std::vector<int> codes;
        const char* why;
    } rows[] = {
        {2, {1, 2}, false, pair, "the first"},
        {4, {1, 2}, false, pair, "another team hasn't sent it yet"},
        {2, {2, 1}, false, pair, "the same units in another order"},
        {2, {2}, false, pair, "a prefix of the last one"},
        {2, {}, true, {QCLEARSELECTED, QSTOP}, "none after a non-empty one"},
        {2, {}, false, {QSTOP}, "an empty one after none"},
        {2, {5}, false, pair, "a new one"},
    };
    for (const auto& r : rows) {
        Select(r.ids);
        Orders_QStop(r.team, r.none ? nullptr : &sel_);
        std::vector<int> codes;
        for (const Pending& p : TakePending()) codes.push_back(p.code);
        EXPECT_EQ(codes, r.codes) << r.why;
    }
    Orders_Init();   // forgets what was sent
    Orders_QStop(2, &sel_);
    EXPECT_EQ(TakePending().size(), 3u);
}

TEST_F(OrderBuilders, ALongSelectionGoesOutInNodesOfAtMost255Ids)
{
    std::vector<int> ids;
    for (int i = 0; i < 300; i++) ids.push_back(1000 + i);
    Select(ids);
    Orders_QMove(1, &sel_, 3, 4, 0);
    std::vector<Pending> p = TakePending();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[1].payload.size(), 255u * 4);
    p[1].payload.insert(p[1].payload.end(), p[2].payload.begin(), p[2].payload.end());
    Bytes want;
    for (int id : ids) want.insert(want.end(), {(uint8_t)id, (uint8_t)(id >> 8), 0, 0});
    EXPECT_EQ(p[1].payload, want);
    EXPECT_EQ(p[3].code, QMOVE);
}

TEST_F(OrderBuilders, TrailsSendAClearThenOneWaypointEach)
{
    TRAIL trail;
    Trail_Init(&trail);
    Trail_AddWaypoint(&trail, WPT_MOVE, 0x0102, 0x0304, 0x0506);
    Trail_AddWaypoint(&trail, WPT_FIRE, 7, 8, 9);
    Select({42});
    Orders_QLocalTrail(2, &sel_, &trail);
    std::vector<Pending> p = TakePending();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[2].code, QLOCALCLEAR);
    EXPECT_EQ(p[3].code, QLOCALADDWAYPOINT);
    EXPECT_EQ(p[3].payload, (Bytes{WPT_MOVE, 0, 2, 1, 4, 3, 6, 5}));
    Orders_QLocalTrail(2, &sel_, nullptr);
    p = TakePending();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].code, QLOCALCLEAR);

    Orders_QGlobalTrailList(6, 29, &trail);
    p = TakePending();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].payload, (Bytes{29}));
    EXPECT_EQ(p[1].payload, (Bytes{29, WPT_MOVE, 2, 1, 4, 3, 6, 5}));
    Trail_Clear(&trail);
}

// ---- codec

class OrderCodec : public OrdersTest {
protected:
    // Packs the whole node (as many entries as it takes) into bytes.
    Bytes PackAll(ORDERREC* node, size_t room)
    {
        Bytes out;
        int whole = 0;
        while (!whole) {
            Bytes buf(room);
            size_t n = Orders_PackEntry(node, buf.data(), buf.size(), &whole);
            EXPECT_GT(n, 0u);
            if (n == 0) break;
            out.insert(out.end(), buf.begin(), buf.begin() + n);
        }
        return out;
    }
    // Unpacks every entry of bytes; each entry is read from a copy of
    // exactly the bytes left, so a read past the end shows under the
    // sanitizers.
    std::vector<ORDERREC*> UnpackAll(const Bytes& bytes)
    {
        std::vector<ORDERREC*> nodes;
        size_t at = 0;
        while (at < bytes.size()) {
            Bytes rest(bytes.begin() + at, bytes.end());
            ORDERREC* n;
            char err[128];
            size_t used = Orders_UnpackEntry(rest.data(), rest.size(), &n, err, sizeof err);
            EXPECT_GT(used, 0u) << err;
            if (used == 0) break;
            nodes.push_back(n);
            at += used;
        }
        return nodes;
    }
};

TEST_F(OrderCodec, EveryCodeRoundTrips)
{
    for (int code = 0; code <= QMAXCODE; code++) {
        SCOPED_TRACE(code);
        if (code == QADDSELECTED) continue;
        int length = code % (ORDER_PAYLOAD + 1);
        ORDERREC* n = Orders_NewNode(code, length, code % TEAM_MAXTEAMS);
        for (int i = 0; i < length; i++) n->payload[i] = (uint8_t)(code * 7 + i);
        Bytes bytes = PackAll(n, 64);
        ASSERT_EQ(bytes.size(), 3u + length);
        std::vector<ORDERREC*> back = UnpackAll(bytes);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(std::vector<int>({back[0]->code, back[0]->length, back[0]->team}),
                  std::vector<int>({code, length, code % TEAM_MAXTEAMS}));
        EXPECT_EQ(Bytes(back[0]->payload, back[0]->payload + ORDER_PAYLOAD),
                  Bytes(n->payload, n->payload + ORDER_PAYLOAD));
        Orders_FreeNode(n);
        Orders_FreeNode(back[0]);
    }
}

TEST_F(OrderCodec, ALongSelectionIsSplitAndComesBackWhole)
{
    ORDERREC* n = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 4);
    std::vector<int> ids;
    for (int i = 0; i < 600; i++) {
        ids.push_back(0x01000000 + i * 77);
        Units_ListAppend(&n->list, nullptr, ids.back());
    }
    // The round-sized room takes 69 ids an entry.
    Bytes bytes = PackAll(n, 279);
    EXPECT_TRUE(Units_ListEmpty(&n->list));
    std::vector<ORDERREC*> back = UnpackAll(bytes);
    ASSERT_EQ(back.size(), 9u);   // 8 x 69 + 48
    std::vector<int> got;
    for (ORDERREC* b : back) {
        EXPECT_EQ(b->team, 4);
        std::vector<int> part = Ids(b->list);
        got.insert(got.end(), part.begin(), part.end());
        Orders_FreeNode(b);
    }
    EXPECT_EQ(got, ids);
    Orders_FreeNode(n);
}

TEST_F(OrderCodec, RoundsPackAndUnpackThroughTheCodec)
{
    QuorNet_SetOrders(Orders_NetTable());
    g_NetSettings.node[1].team = 3;
    ORDERREC* sel = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 3);
    for (int id = 1; id <= 100; id++) Units_ListAppend(&sel->list, nullptr, id);
    Orders_QueueAppend(&g_OrdersPending, sel);
    Orders_QueueAppend(&g_OrdersPending, Orders_NewNode(QMOVE, 6, 3));
    uint8_t first[NET_ROUND_DATA], second[NET_ROUND_DATA];
    uint32_t n1 = QuorNet_PackOrders(first, sizeof first);
    uint32_t n2 = QuorNet_PackOrders(second, sizeof second);
    EXPECT_EQ(n1, 3u + 4 * 68);
    EXPECT_EQ(n2, 3u + 4 * 32 + 9);
    EXPECT_EQ(g_OrdersPending.count, 0);
    EXPECT_EQ(QuorNet_UnpackOrders(1, 2, first, n1), 1);
    EXPECT_EQ(QuorNet_UnpackOrders(1, 3, second, n2), 2);
    // Another node's team, and an unknown code, are refused alike everywhere.
    EXPECT_EQ(QuorNet_UnpackOrders(0, 3, second, n2), 0);
    const uint8_t hostile[] = {200, 0, 3};
    EXPECT_EQ(QuorNet_UnpackOrders(1, 4, hostile, sizeof hostile), 0);
    ASSERT_EQ(g_OrdersIncoming.count, 3);
    std::vector<int> ids = Ids(g_OrdersIncoming.head->list);
    EXPECT_EQ(ids.size(), 68u);
    EXPECT_EQ(Ids(g_OrdersIncoming.head->next->list).back(), 100);
    Orders_QueueFree(&g_OrdersIncoming);
    QuorNet_SetOrders(nullptr);
    g_NetSettings.node[1].team = 0;
}

TEST_F(OrderCodec, PackWritesNothingThatDoesNotFit)
{
    ORDERREC* move = Orders_NewNode(QMOVE, 6, 1);
    uint8_t buf[16] = {};
    int whole = 7;
    EXPECT_EQ(Orders_PackEntry(move, buf, 8, &whole), 0u);
    EXPECT_EQ(Orders_PackEntry(move, buf, 9, &whole), 9u);

    ORDERREC* sel = Orders_NewNode(QADDSELECTED, ORDER_PAYLOAD, 1);
    EXPECT_EQ(Orders_PackEntry(sel, buf, 3, &whole), 3u);   // an empty list is one short entry
    Units_ListAppend(&sel->list, nullptr, 5);
    Units_ListAppend(&sel->list, nullptr, 6);
    EXPECT_EQ(Orders_PackEntry(sel, buf, 6, &whole), 0u);   // no room for one id
    EXPECT_EQ(Orders_PackEntry(sel, buf, 10, &whole), 7u);  // one id fits
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(Ids(sel->list), std::vector<int>{6});
    Orders_FreeNode(move);
    Orders_FreeNode(sel);
}

TEST_F(OrderCodec, BadEntriesAreRefusedWithTheirReason)
{
    struct Bad {
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {{}, "truncated order entry: 0 of 3 header bytes"},
        {{QMOVE, 6}, "truncated order entry: 2 of 3 header bytes"},
        {{68, 0, 0}, "unknown order code 68"},
        {{QSTOP, 0, 9}, "order team 9 out of range 0..8"},
        {{QMOVE, 13, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, "payload length 13 over 12 for order code 3"},
        {{QMOVE, 6, 0, 1, 2, 3, 4, 5}, "truncated payload of order code 3: 5 of 6 bytes"},
        {{QADDSELECTED, 2, 0, 1, 0, 0, 0, 2, 0, 0}, "2 unit ids run past the end: 7 of 8 bytes"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.reason);
        Bytes copy = c.bytes;
        ORDERREC* n = reinterpret_cast<ORDERREC*>(1);
        char err[128] = "";
        EXPECT_EQ(Orders_UnpackEntry(copy.data(), copy.size(), &n, err, sizeof err), 0u);
        EXPECT_EQ(n, nullptr);
        EXPECT_STREQ(err, c.reason);
    }
    // A length over 12 is fine for a unit list with its ids present.
    Bytes ok = {QADDSELECTED, 13, 8};
    ok.resize(3 + 13 * 4, 0x11);
    ORDERREC* n;
    char err[64];
    EXPECT_EQ(Orders_UnpackEntry(ok.data(), ok.size(), &n, err, sizeof err), ok.size());
    EXPECT_EQ(Units_ListSize(&n->list), 13);
    Orders_FreeNode(n);
}

// ---- execution

std::vector<std::string> g_lines;
void CollectLine(const char* line) { g_lines.push_back(line); }

class OrderExecution : public OrdersTest {
protected:
    void SetUp() override
    {
        QvWorld_Open(32, 32);
        Uid_Reset();
        OrdersTest::SetUp();
        tank_ = QvWorld_UnitType("Tank");
        g_lines.clear();
        Orders_SetExecutedLog(CollectLine);
        g_AlliancesDisabled = 0;
        g_OptGivingDisabled = 0;
        g_NetworkGame = 0;
        g_UpdateCount = 10;
    }
    void TearDown() override
    {
        Orders_SetExecutedLog(nullptr);
        OrdersTest::TearDown();
        QvWorld_Close();
        g_NetworkGame = 0;
        g_UpdateCount = 0;
        Game_SetUpdatesPerSecond(20);
    }
    UNITTYPE* tank_ = nullptr;
};

TEST_F(OrderExecution, SelectionResolvesIdsAtExecutionAndDropsStaleOnes)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 3, 3);
    UNIT* b = Units_NewAt(tank_, 1, -1, 4, 3);
    UNIT* other = Units_NewAt(tank_, 2, -1, 5, 3);
    ASSERT_TRUE(a && b && other);
    int bid = b->id;
    Select({a->id, bid, other->id, 999});
    a->sorder.code = other->sorder.code = SO_DUMMY;
    Orders_QStop(1, &sel_);
    Units_Delete(b);   // dies before the orders run
    Orders_AfterUpdate();
    EXPECT_EQ(Orders_TeamSelection(1)->head->u.unit, a);
    EXPECT_EQ(Orders_TeamSelection(1)->head->next, nullptr);
    ASSERT_EQ(g_lines.size(), 3u);
    char add[64];
    snprintf(add, sizeof add, "10 1 1 %02x000000%02x000000%02x000000e7030000", a->id, bid, other->id);
    EXPECT_EQ(g_lines[1], add);
    EXPECT_EQ(a->sorder.code, SO_NONE) << "stopped";
    EXPECT_EQ(other->sorder.code, SO_DUMMY) << "another team's unit is not stopped";
}

TEST_F(OrderExecution, CreditsGoAtMostWhatTheGiverHasAndNotWhenGivingIsOff)
{
    Team_SetCredits(1, 500);
    Team_SetCredits(2, 100);
    const struct {
        int from, to, amount, off, credits1, credits2;
        const char* why;
    } rows[] = {
        {1, 2, 200, 0, 300, 300, "within what it has"},
        {1, 2, 1000, 0, 0, 600, "only 300 left"},
        {2, 2, 50, 0, 0, 600, "to itself: nothing changes"},
        {2, 1, -1, 0, 600, 0, "u32 4294967295: all it has"},
        {1, 2, 100, 1, 600, 0, "giving is off"},
    };
    for (const auto& r : rows) {
        g_OptGivingDisabled = r.off;
        Orders_QGiveCredits(r.from, r.to, r.amount);
        Orders_AfterUpdate();
        EXPECT_EQ(teamdata[1].credits, r.credits1) << r.why;
        EXPECT_EQ(teamdata[2].credits, r.credits2) << r.why;
    }
    EXPECT_NE(log_.text().find("Giving is disabled: team 1 can't give 100 credits to team 2"),
              std::string::npos);
    g_OptGivingDisabled = 0;
    // A receiver's total never wraps round.
    Team_SetCredits(2, 0x7fffff00);
    Orders_QGiveCredits(1, 2, 600);
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[2].credits, 0x7fffffff);
    EXPECT_EQ(teamdata[1].credits, 600 - 0xff);
}

TEST_F(OrderExecution, AlliancesTacticalDefaultsAndSpeedFollowTheirOrders)
{
    Orders_QChangeAlly(1, 2, TR_ALLY);
    Team_SetDefaultBehaviour(3, 1, 1, 1);
    Orders_QTacticalAI(3, 2, 3, 0);    // self-preservation stays
    Orders_QGameSpeed(45);
    Orders_AfterUpdate();
    EXPECT_EQ(Team_GetRelation(1, 2), TR_ALLY);
    EXPECT_EQ(Team_GetRelation(2, 1), TR_ENEMY);
    EXPECT_EQ(teamdata[3].unitdef.tenacity, 2);
    EXPECT_EQ(teamdata[3].unitdef.selfpreservation, 1);
    EXPECT_EQ(g_UpdatesPerSecond, 45);
    Orders_QGameSpeed(1000);   // clamped
    Orders_AfterUpdate();
    EXPECT_EQ(g_UpdatesPerSecond, 60);
    // Without a network session the scenario's relations stand.
    g_AlliancesDisabled = 1;
    Orders_QChangeAlly(1, 2, TR_ENEMY);
    Orders_AfterUpdate();
    EXPECT_EQ(Team_GetRelation(1, 2), TR_ALLY);
}

TEST_F(OrderExecution, PayloadsNamingBadTeamsOrValuesAreRefusedNotAsserted)
{
    struct Case {
        Bytes entry;
        const char* logged;
    } cases[] = {
        {{QGIVECREDITS, 8, 1, 9, 0, 0, 0, 5, 0, 0, 0}, "Order QGIVECREDITS (22) of team 1 names team 9; refused"},
        {{QCHANGEALLY, 2, 1, 2, 3}, "Order QCHANGEALLY of team 1: relation 3 unknown; refused"},
        {{QGIVECREDITS, 1, 1, 2}, "Order QGIVECREDITS (22) of team 1: 1 payload bytes, 8 expected; refused"},
        {{QCHECKSYNC, 8, 1, 2, 0, 0, 0, 0, 0, 0, 0}, "Order QCHECKSYNC of team 1: kind 2 unknown; refused"},
        {{58, 0, 1}, "Order (unnamed) (58) of team 1 not available yet"},
        {{QPLAYERLEFT, 0, 1}, "Order QPLAYERLEFT of team 1 outside a playback; refused"},
    };
    Team_SetCredits(1, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        ORDERREC* n;
        char err[64];
        ASSERT_GT(Orders_UnpackEntry(c.entry.data(), c.entry.size(), &n, err, sizeof err), 0u);
        log_.clear();
        Orders_Execute(n);
        Orders_FreeNode(n);
        EXPECT_NE(log_.text().find(c.logged), std::string::npos) << log_.text();
    }
    EXPECT_EQ(teamdata[1].credits, 50);
    EXPECT_EQ(g_lines.size(), std::size(cases));
}

TEST_F(OrderExecution, SyncChecksCompareWithWhatThisMachineSent)
{
    ORDERREC* n;
    char err[64];
    const uint8_t theirs[] = {QCHECKSYNC, 8, 5, ORDER_SYNC_RANDOM, 0, 0, 0, 42, 0, 0, 0};
    // Nothing sent here yet: nothing to compare.
    Orders_UnpackEntry(theirs, sizeof theirs, &n, err, sizeof err);
    Orders_Execute(n);
    EXPECT_EQ(Orders_SyncMismatches(), 0);
    Orders_QCheckSync(ORDER_SYNC_RANDOM, 42);
    Orders_QCheckSync(ORDER_SYNC_VALUE, 7);
    Orders_AfterUpdate();   // our own orders agree with themselves
    Orders_Execute(n);
    EXPECT_EQ(Orders_SyncMismatches(), 0);
    n->payload[4] = 43;
    Orders_Execute(n);
    EXPECT_EQ(Orders_SyncMismatches(), 1);
    EXPECT_NE(log_.text().find("Out of sync at update 10: check 0 of team 5 is 43, here 42"),
              std::string::npos);
    Orders_FreeNode(n);
}

// Every machine executes the toggle, so every machine shows the same checks.
TEST_F(OrderExecution, ShowSyncTogglesShowingEachExecutedCheck)
{
    QvLogCapture shown(TLOG_DIAG);
    ORDERREC* toggle = Orders_NewNode(QTOGGLESHOWSYNC, 0, 3);
    ORDERREC* check = Orders_NewNode(QCHECKSYNC, 8, 5);
    check->payload[0] = ORDER_SYNC_VALUE;
    check->payload[4] = 42;
    Orders_Execute(toggle);
    EXPECT_EQ(Orders_ShowingSync(), 1);
    Orders_Execute(check);
    EXPECT_NE(shown.text().find("Sync check 1 of team 5: 42"), std::string::npos) << shown.text();
    Orders_Execute(toggle);
    Orders_Execute(check);
    EXPECT_EQ(Orders_ShowingSync(), 0);
    EXPECT_EQ(shown.text().find("Sync check 1 of team 5: 42", shown.text().find("team 5: 42") + 1),
              std::string::npos) << "shown once only";
    Orders_FreeNode(toggle);
    Orders_FreeNode(check);
}

// The rounds' orders run when their round is done, never after an update.
TEST_F(OrderExecution, ANetworkGameRunsTheIncomingQueueAndKeepsThePendingOne)
{
    g_NetworkGame = 1;
    Team_SetCredits(1, 100);
    Orders_QGiveCredits(1, 2, 10);
    ORDERREC* in = Orders_NewNode(QGIVECREDITS, 8, 1);
    in->payload[0] = 3;
    in->payload[4] = 25;
    Orders_QueueAppend(&g_OrdersIncoming, in);
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[3].credits, 0);
    EXPECT_EQ(g_OrdersIncoming.count, 1);
    Orders_ExecuteIncoming();
    EXPECT_EQ(teamdata[3].credits, 25);
    EXPECT_EQ(teamdata[2].credits, 0);
    EXPECT_EQ(g_OrdersPending.count, 1);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "10 22 1 0300000019000000");
}

}   // namespace
