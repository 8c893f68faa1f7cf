// Player orders: the recording file, its checks on reading, and a game that
// replays from its recording to the same state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/iterate.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"
#include "map/cre.h"
#include "map/pathsrch.h"

namespace {

// File bytes as a string, so that records join with +.
using Bytes = std::string;

// One record: u32 update, u16 count, the entries as given.
Bytes Record(uint32_t update, std::vector<Bytes> entries, int count = -1)
{
    const uint32_t n = count < 0 ? (uint32_t)entries.size() : (uint32_t)count;
    Bytes out = {char(update), char(update >> 8), char(update >> 16), char(update >> 24), char(n), char(n >> 8)};
    for (const Bytes& e : entries) out += e;
    return out;
}

class OrderRecording : public testing::Test {
protected:
    void SetUp() override
    {
        Cfg_SetDefaults(&g_Config);
        Orders_Init();
        g_UpdateCount = 0;
    }
    void TearDown() override
    {
        Orders_Close();
        g_UpdateCount = 0;
    }
    QvTempDir dir_;
    QvLogCapture log_;
};

TEST_F(OrderRecording, OneRecordPerUpdateThatExecutedOrdersEachOnDiskBeforeTheNextUpdate)
{
    ASSERT_EQ(Orders_StartRecording(dir_.file("game.rec").c_str()), 1);
    g_UpdateCount = 3;
    Orders_QSellBuilding(2, 0x01020304);
    Orders_QSurrender(5);
    Orders_AfterUpdate();
    const Bytes first = Record(3, {{QSELLBUILDING, 4, 2, 4, 3, 2, 1}, {QSURRENDER, 0, 5}});
    EXPECT_EQ(dir_.read("game.rec"), first) << "a game that crashes keeps what came before";
    g_UpdateCount = 4;
    Orders_AfterUpdate();   // nothing to write
    g_UpdateCount = 0x00010005;
    UNITLIST sel;
    Units_ListInit(&sel);
    Units_ListAppend(&sel, nullptr, 0x0a0b0c0d);
    Orders_QStop(1, &sel);
    Units_ListClose(&sel);
    Orders_AfterUpdate();
    Orders_StopRecording();
    const Bytes second =
        Record(0x00010005, {{QCLEARSELECTED, 0, 1}, {QADDSELECTED, 1, 1, 0x0d, 0x0c, 0x0b, 0x0a}, {QSTOP, 0, 1}});
    EXPECT_EQ(dir_.read("game.rec"), first + second);
}

TEST_F(OrderRecording, AFileThatCannotBeWrittenIsReportedAndTheGameGoesOn)
{
    EXPECT_EQ(Orders_StartRecording(dir_.file("missing/dir/game.rec").c_str()), 0);
    EXPECT_NE(log_.text().find("Cannot record orders to"), std::string::npos);
    // A write that fails (a full disk) stops the recording.
    ASSERT_EQ(Orders_StartRecording("/dev/full"), 1);
    Orders_QSurrender(1);
    Orders_AfterUpdate();
    EXPECT_NE(log_.text().find("recording stopped"), std::string::npos);
    EXPECT_FALSE(Orders_IsRecording());
}

TEST_F(OrderRecording, MalformedFilesAreRefusedWithFileOffsetAndReason)
{
    Bytes move = {QMOVE, 6, 1, 1, 0, 2, 0, 3, 0};
    Bytes good = Record(7, {move});
    struct Case {
        Bytes bytes;
        const char* logged;
    } cases[] = {
        {good.substr(0, 5), "bad.rec: offset 0: truncated record header: 5 of 6 bytes"},
        {good + Record(9, {}, 0), "bad.rec: offset 19: record of update 9 has no orders"},
        {good + Record(3, {move}), "bad.rec: offset 15: update 3 comes after update 7"},
        {good.substr(0, good.size() - 4),
         "bad.rec: offset 6: order 1 of update 7: truncated payload of order code 3: 2 of 6 bytes"},
        {good + Record(8, {move, {QSTOP, 0, 9}}),
         "bad.rec: offset 30: order 2 of update 8: order team 9 out of range 0..8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        log_.clear();
        std::vector<uint8_t> copy(c.bytes.begin(), c.bytes.end());   // no terminator: overreads show
        EXPECT_EQ(Orders_ParseRecording(copy.data(), copy.size(), "bad.rec"), 0);
        EXPECT_NE(log_.text().find(c.logged), std::string::npos) << log_.text();
    }
    // The same through the playback reader: nothing is played.
    dir_.write("bad.rec", cases[3].bytes);
    EXPECT_EQ(Orders_StartPlayback(dir_.file("bad.rec").c_str()), 0);
    EXPECT_FALSE(Game_Playback());
    // Equal update numbers are fine.
    const Bytes twice = good + Record(7, {move});
    EXPECT_EQ(Orders_ParseRecording((const uint8_t*)twice.data(), twice.size(), "twice.rec"), 1);
}

TEST_F(OrderRecording, PlaybackReplacesPendingOrdersUpdateByUpdate)
{
    Team_SetCredits(1, 1000);
    Team_SetCredits(2, 0);
    Team_SetCredits(3, 0);
    Bytes give = {QGIVECREDITS, 8, 1, 2, 0, 0, 0, 10, 0, 0, 0};
    dir_.write("play.rec", Record(2, {give}) + Record(5, {give, give}) + Record(5, {give}));
    ASSERT_EQ(Orders_StartPlayback(dir_.file("play.rec").c_str()), 1);
    g_UpdateCount = 3;   // the orders of update 2 are already too late
    Orders_QGiveCredits(1, 3, 500);   // replaced: never runs
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[2].credits + teamdata[3].credits + g_OrdersPending.count, 0);
    EXPECT_NE(log_.text().find("the orders of update 2 come too late (update 3)"), std::string::npos);
    g_UpdateCount = 5;
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[2].credits, 30);
    Orders_StopPlayback();
    Team_SetCredits(2, 0);
    Team_SetCredits(3, 0);
}

// Regression: a network game's recording lacked its departures, so its
// playback kept a departed player's team in play and went its own way.
TEST_F(OrderRecording, ADepartureIsRecordedAndPlayedBackAtItsUpdate)
{
    int types[TEAM_MAXTEAMS];
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        types[t] = teamdata[t].type;
        teamdata[t].type = t == 3 ? TT_HUMAN : TT_COMPUTER;
    }
    ASSERT_EQ(Orders_StartRecording(dir_.file("left.rec").c_str()), 1);
    g_NetworkGame = 1;
    g_UpdateCount = 40;
    Team_RemoveDeadTeams(); // no node plays team 3
    g_NetworkGame = 0;
    Orders_StopRecording();
    EXPECT_EQ(teamdata[3].type, TT_DISABLED);
    EXPECT_EQ(dir_.read("left.rec"), Record(40, {{QPLAYERLEFT, 0, 3}}));
    // Outside a playback nobody's order can take a team out.
    teamdata[3].type = TT_HUMAN;
    ORDERREC* left = Orders_NewNode(QPLAYERLEFT, 0, 3);
    Orders_Execute(left);
    Orders_FreeNode(left);
    EXPECT_EQ(teamdata[3].type, TT_HUMAN);
    ASSERT_EQ(Orders_StartPlayback(dir_.file("left.rec").c_str()), 1);
    g_UpdateCount = 39;
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[3].type, TT_HUMAN);
    g_UpdateCount = 40;
    Orders_AfterUpdate();
    EXPECT_EQ(teamdata[3].type, TT_DISABLED);
    Orders_StopPlayback();
    for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[t].type = types[t];
}

struct RunResult {
    std::vector<std::string> lines;   // the executed-order log
    std::vector<uint64_t> digests;    // after each update
};

RunResult* g_run;
void Collect(const char* line) { g_run->lines.push_back(line); }

class OrderReplay : public testing::Test {
protected:
    // A world with a unit of team 0, recording or playing back the orders file
    // named in the configuration, relative to the start directory.
    RunResult Run(bool record)
    {
        RunResult r;
        g_run = &r;
        QvWorld_Open(32, 32);
        Uid_Reset();
        Pathsrch_Init();
        UNITTYPE* tank = QvWorld_UnitType("Tank");
        UNITLIST sel;   // the units and more ids of nobody than one entry holds
        Units_ListInit(&sel);
        Units_ListAppend(&sel, nullptr, Units_NewAt(tank, 0, -1, 2, 2)->id);
        Units_ListAppend(&sel, nullptr, Units_NewAt(tank, 0, -1, 4, 3)->id);
        for (int i = 0; i < 300; i++) Units_ListAppend(&sel, nullptr, 5000 + i);
        UNITLIST few;   // the two units alone
        Units_ListInit(&few);
        Units_ListAppend(&few, nullptr, sel.head->u.id);
        Units_ListAppend(&few, nullptr, sel.head->next->u.id);
        const int foe = Units_NewAt(tank, 1, -1, 20, 20)->id;
        Team_SetCredits(0, 1000);
        Cfg_SetDefaults(&g_Config);
        Str_CopySafe(g_HomeDir, home_.path().c_str(), sizeof g_HomeDir);
        Str_CopySafe(record ? g_Config.orderrecord : g_Config.orderplayback, "orders.rec", CFG_PATH);
        Orders_Init();
        Orders_SetExecutedLog(Collect);
        EXPECT_EQ(Orders_IsRecording() * 2 + Orders_IsPlayingBack(), record ? 2 : 1);
        for (uint32_t update = 1; update <= 60; update++) {
            g_UpdateCount = update;
            if (record && update == 2) {
                Orders_QMove(0, &sel, 10, 11, 1);
                Orders_QGiveCredits(0, 1, 300);
            } else if (record && update == 4) {
                Orders_QChangeAlly(0, 1, TR_ALLY);
                Orders_QCheckSync(ORDER_SYNC_VALUE, 77);
            } else if (record && update == 10) {
                Orders_QMove(0, &few, 16, 6, 0);
            } else if (record && update == 20) {
                Orders_QFireAtUnit(0, &few, foe, UAM_FIRE);
                Orders_QFireAtUnit(0, &few, foe, UAM_FIRENOMV);
            } else if (record && update == 25) {
                Orders_QFireAtUnit(0, &few, foe, UAM_DEFAULT);
            } else if (record && update == 30) {
                Orders_QAutoMoveOn(0, &few, TACTAI_HIGH);
            } else if (record && update == 50) {
                Orders_QStop(0, &few);
            }
            Pathsrch_Update();
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            while (UNIT* u = Iterate_UnitNext(&it)) {
                Units_ProcessSOrder(u);
                Units_UpdateMovement(u);
            }
            Orders_AfterUpdate();
            r.digests.push_back(QvDigest_State());
        }
        Units_ListClose(&sel);
        Units_ListClose(&few);
        Pathsrch_Close();
        CRE_Close();
        Orders_SetExecutedLog(nullptr);
        Orders_Close();
        EXPECT_FALSE(Game_Playback());
        QvWorld_Close();
        g_UpdateCount = 0;
        g_run = nullptr;
        return r;
    }
    void TearDown() override
    {
        Cfg_SetDefaults(&g_Config);
        g_HomeDir[0] = 0;
    }
    QvTempDir home_;
    QvLogCapture log_;
};

TEST_F(OrderReplay, AReplayExecutesTheSameOrdersAndReachesTheSameState)
{
    RunResult recorded = Run(true);
    RunResult replayed = Run(false);
    EXPECT_EQ(log_.text().find("Out of sync"), std::string::npos) << log_.text();
    ASSERT_EQ(recorded.lines.size(), 15u) << "the first selection takes two entries";
    EXPECT_NE(recorded.digests.front(), recorded.digests.back());
    EXPECT_EQ(replayed.lines, recorded.lines);
    EXPECT_EQ(replayed.digests, recorded.digests);
}

}   // namespace
