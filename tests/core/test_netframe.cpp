// The frame loop of a network game on the demo scenario: this process is
// node 0, the creator, on the in-memory transport (the test runs the packet
// layer's passes); the test plays the other nodes by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "net/memnet.h"
#include "net/quornet.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/thread.h"
#include "support/testsupport.h"
#include "units/orders.h"
#include "units/team.h"

namespace {

NetAddress Addr(int node) { return {NET_TYPE_UDP, {127, 0, 0, (uint8_t)(node + 1), 0, 0}}; }

std::vector<std::string> s_executed;

class NetFrame : public testing::Test {
protected:
    QvLocalMessages messages_;
    QvLogCapture log_{TLOG_DIAG};
    // launched: the teams set up as a network launch sets them (the nodes'
    // teams played, every other one disabled), with the end conditions on.
    void Start(int nodes, const char* scenario = "DEMO", int category = SC_SINGLE, bool launched = false)
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableendconditions = launched ? 0 : 1;
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(category);
        Game_SetScenarioName(scenario);
        if (launched) {
            g_OptTeamSetupGiven = 1;
            for (int t = 0; t < NET_NODES; t++) teamdata[t].type = t < nodes ? TT_HUMAN : TT_DISABLED;
        }
        PlatHeadless_SetClock(0, 0);
        MemNet_Reset(1000, Addr(0));
        Thread_SetClockHook(MemNet_Clock);
        ASSERT_TRUE(Net_InitWith(NET_TYPE_UDP, MemNet_Transport(), 0));
        g_NetSession.count = (uint8_t)nodes;
        g_NetSession.creator_address = Addr(0);
        for (int n = 0; n < nodes; n++) {
            g_NetSession.players[n].flags = NET_PLAYER_ACTIVE;
            snprintf(g_NetSession.players[n].name, NET_NAME_SIZE, "P%d", n);
            g_NetSession.players[n].address = Addr(n);
            g_NetSettings.node[n].team = (uint8_t)n;
        }
        g_NetOwnNode = 0;
        g_NetCreator = 1;
        g_NetworkGame = 1;
        UnitCycles = 2;
        g_LocalTeam = 0;
        InitCommonGameSystems();
        InitGameSpecifics();
        for (int n = 0; n < nodes; n++) teamdata[n].type = TT_HUMAN;
        s_executed.clear();
        Orders_SetExecutedLog(+[](const char* line) { s_executed.push_back(line); });
        MemNet_Sent().clear();
    }
    void TearDown() override
    {
        // Alone: the close says goodbye to nobody and doesn't wait.
        for (int n = 1; n < NET_NODES; n++) g_NetSession.players[n].flags = 0;
        Orders_SetExecutedLog(nullptr);
        CloseGameSpecifics();
        CloseCommonGameSystems();
        Thread_SetClockHook(nullptr);
        g_NetworkGame = 0;
        UnitCycles = 0;
        memset(&g_NetSession, 0, sizeof g_NetSession);
        memset(&g_NetSettings, 0, sizeof g_NetSettings);
    }
    // One frame after ms of both clocks.
    static void Tick(uint32_t ms)
    {
        PlatHeadless_Advance(ms);
        MemNet_Advance(ms);
        NetPkt_Pass();
        Game_Tick();
    }
    // A ROUND packet of a node holding the order entries given.
    static NetPacket Round(int source, uint32_t round, const std::vector<ORDERREC*>& orders = {})
    {
        uint8_t data[NET_MAX_DATA];
        uint32_t n = 0;
        for (ORDERREC* o : orders) {
            int whole = 0;
            n += (uint32_t)Orders_PackEntry(o, data + n, sizeof data - n, &whole);
            Orders_FreeNode(o);
        }
        NetPacket p;
        memset(&p, 0, sizeof p);
        Net_BuildPacket(&p, data, n, NET_ROUND);
        Net_SetSource(&p, (uint8_t)source);
        Net_SetRound(&p, round);
        return p;
    }
    static void Deliver(NetPacket p, int from, int reliable = 1)
    {
        static uint32_t id = 100;
        if (reliable) {
            Net_SetType(&p, Net_Type(&p) | NET_WANTS_ACK);
            Net_SetId(&p, id++);
        }
        Net_StampCrc(&p);
        MemNet_Deliver(p, Addr(from));
        NetPkt_Pass();
    }
    // The last ROUND sent to a node, or null.
    static const NetPacket* SentRound(int node)
    {
        NetAddress to = Addr(node);
        for (auto it = MemNet_Sent().rbegin(); it != MemNet_Sent().rend(); ++it)
            if ((Net_Type(&it->packet) & 0xFF) == NET_ROUND && Net_Source(&it->packet) == 0 &&
                NetPkt_SameAddress(&it->address, &to))
                return &it->packet;
        return nullptr;
    }
    static void AckOwn(int node)
    {
        const NetPacket* sent = SentRound(node);
        ASSERT_NE(sent, nullptr) << "no ROUND sent to node " << node;
        NetPacket ack;
        memset(&ack, 0, sizeof ack);
        Net_BuildPacket(&ack, nullptr, 0, NET_IS_ACK);
        Net_SetId(&ack, Net_Id(sent));
        Deliver(ack, node, 0);
    }
    // The other nodes in the session send the current round (node 1 with
    // the orders) and acknowledge this node's.
    static void Complete(const std::vector<ORDERREC*>& orders = {})
    {
        for (int n = 1; n < NET_NODES; n++) {
            if (!Net_IsNodeInSession(n)) continue;
            Deliver(Round(n, g_NetRound, n == 1 ? orders : std::vector<ORDERREC*>{}), n);
            AckOwn(n);
        }
    }
    // The frames of the current round's updates (completing it first), at
    // the interval, then the one that sends the next round.
    static void RunRound(int complete = 1)
    {
        if (complete) Complete();
        while (g_UpdateCount < UnitCycles * (g_NetRound - 1)) Tick((uint32_t)Game_NetInterval());
        Tick(0);
    }
    static ORDERREC* Credits(int team, int to, int amount)
    {
        ORDERREC* o = Orders_NewNode(QGIVECREDITS, 8, team);
        o->payload[0] = (uint8_t)to;
        o->payload[4] = (uint8_t)amount;
        return o;
    }
};

TEST_F(NetFrame, NoUpdateUntilTheRoundIsCompleteAndItsOrdersRunARoundLater)
{
    Start(2);
    Tick(500);
    EXPECT_EQ(g_NetRound, 2u);
    EXPECT_EQ(g_UpdateCount, 0u) << "waiting for round 2";
    ASSERT_NE(SentRound(1), nullptr);
    Team_SetCredits(1, 100);
    Complete({Credits(1, 2, 30)});
    Tick(0);
    EXPECT_EQ(g_UpdateCount, 1u);
    Tick((uint32_t)Game_NetInterval());
    EXPECT_EQ(g_UpdateCount, 2u);
    Tick((uint32_t)Game_NetInterval());
    EXPECT_EQ(g_NetRound, 3u) << "two updates a round";
    EXPECT_EQ(g_UpdateCount, 2u);
    EXPECT_EQ(teamdata[2].credits, 0) << "round 2's orders wait for round 3";
    Complete();
    Tick(0);
    EXPECT_EQ(teamdata[2].credits, 30);
    ASSERT_EQ(s_executed.size(), 1u);
    EXPECT_EQ(s_executed[0], "2 22 1 020000001e000000") << "before the third update";
    EXPECT_EQ(g_UpdateCount, 2u);
}

TEST_F(NetFrame, TheIntervalGrowsWhenTheRoundCameLateAndShrinksBack)
{
    Start(2);
    const struct {
        const char* name;
        uint32_t waited;
        int interval;
    } rows[] = {
        {"late: updates were due while waiting", 200, 60},
        {"late again", 200, 69},
        {"on time", 0, 61},
        {"on time again", 0, 54},
    };
    Tick(0);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Tick(r.waited);
        Complete();
        Tick(0);
        EXPECT_EQ(Game_NetInterval(), r.interval);
        RunRound(0);
    }
    // Late once more (step 6): the update that was due runs, and the next
    // one waits for the re-tuned interval.
    Tick(200);
    Complete();
    Tick(0);
    EXPECT_EQ(Game_NetInterval(), 60);
    const uint32_t before = g_UpdateCount;
    Tick(59);
    EXPECT_EQ(g_UpdateCount, before);
    Tick(1);
    EXPECT_EQ(g_UpdateCount, before + 1);
}

// Every 4 x UnitCycles updates two checks go into the next round's packet.
TEST_F(NetFrame, SyncChecksEveryFourRoundsGoIntoTheRoundPacket)
{
    Start(2);
    Tick(0);
    std::vector<uint32_t> withchecks;
    for (int round = 0; round < 8; round++) {
        RunRound();
        const NetPacket* sent = SentRound(1);
        ASSERT_NE(sent, nullptr);
        const uint8_t* data = Net_Data(sent);
        uint32_t length = Net_Length(sent) - NET_HEADER_SIZE;
        if (length == 0) continue;
        ASSERT_EQ(length, 2u * (3 + 8));
        EXPECT_EQ(data[0], QCHECKSYNC);
        EXPECT_EQ(data[3], ORDER_SYNC_RANDOM);
        EXPECT_LT(data[7] | data[8] << 8, 666);
        EXPECT_EQ(data[11], QCHECKSYNC);
        EXPECT_EQ(data[14], ORDER_SYNC_VALUE);
        withchecks.push_back(g_UpdateCount);
    }
    EXPECT_EQ(withchecks, (std::vector<uint32_t>{8, 16}));
    EXPECT_EQ(Orders_SyncMismatches(), 0);
}

// A node dropped at round R stays in the game until R's orders have run:
// its team is disabled at the next update, on every machine the same.
TEST_F(NetFrame, ALeavingNodesTeamIsDisabledOnceItsLastRoundHasRun)
{
    Start(3);
    Tick(0);
    RunRound();
    EXPECT_STREQ(Team_GetPlayerNameString(2), "P2");
    NetPacket leave;
    memset(&leave, 0, sizeof leave);
    Net_BuildPacket(&leave, nullptr, 0, NET_LEAVE);
    Net_SetSource(&leave, 2);
    const uint32_t dropround = g_NetRound;
    Deliver(leave, 2);
    EXPECT_FALSE(Net_IsNodeInSession(2));
    EXPECT_TRUE(Net_IsNodeActive(2)) << "its rounds have not run yet";
    ASSERT_TRUE(MemNet_AckLastSent(NET_SESSION, Addr(1))); // node 1 has the drop
    NetPkt_Pass();
    Deliver(Round(1, g_NetRound), 1);
    AckOwn(1);
    Tick(0);
    EXPECT_NE(log_.text().find("Change in multiplayer game participants"), std::string::npos);
    EXPECT_EQ(g_NetworkGame, 1);
    RunRound(0);
    EXPECT_EQ(g_NetRound, dropround + 1);
    EXPECT_EQ(teamdata[2].type, TT_HUMAN);
    RunRound();
    EXPECT_FALSE(Net_IsNodeActive(2));
    EXPECT_EQ(teamdata[2].type, TT_DISABLED);
    EXPECT_STREQ(Team_GetPlayerNameString(2), "Unnamed");
    EXPECT_STREQ(Team_GetPlayerNameString(1), "P1");
    const std::string line = "Team 2's player has left the game: team disabled at update " +
                             std::to_string(2 * (dropround - 1));
    EXPECT_NE(log_.text().find(line), std::string::npos) << log_.text();
}

// Regression: the last node went single-player at once and ran the round
// it still waited for with the one before, a round before the other node
// had. It runs that round's updates first, the round's orders after them
// (recorded at that update), then goes on single-player: the orders given
// meanwhile follow, and the sync checks go on drawing as a playback does.
TEST_F(NetFrame, TheLastNodeGoesOnAsASinglePlayerGame)
{
    Start(2);
    Tick(0);
    Team_SetCredits(0, 100);
    Team_SetCredits(1, 100);
    Complete({Credits(1, 2, 10)});
    RunRound(0);
    ASSERT_EQ(g_NetRound, 3u);
    ASSERT_EQ(g_UpdateCount, 2u);
    // Node 1 completed round 3, ran its updates, and quit.
    Deliver(Round(1, 3, {Credits(1, 2, 20)}), 1);
    NetPacket leave;
    memset(&leave, 0, sizeof leave);
    Net_BuildPacket(&leave, nullptr, 0, NET_LEAVE);
    Net_SetSource(&leave, 1);
    Deliver(leave, 1);
    Tick(0);
    EXPECT_EQ(teamdata[2].credits, 10) << "round 2's orders, as round 3 completed on node 1";
    EXPECT_EQ(g_NetworkGame, 1) << "round 3's updates first";
    Orders_QGiveCredits(0, 2, 5);
    while (g_UpdateCount < 4) {
        Tick((uint32_t)Game_NetInterval());
        EXPECT_EQ(teamdata[2].credits, 10) << "update " << g_UpdateCount;
    }
    Tick(0);
    EXPECT_EQ(g_NetworkGame, 0);
    EXPECT_NE(log_.text().find("Console is now in single player mode"), std::string::npos);
    EXPECT_EQ(teamdata[2].credits, 30);
    const uint32_t before = g_UpdateCount;
    for (int i = 0; i < 5; i++) Tick(50);
    EXPECT_EQ(g_UpdateCount, before + 5) << "no more rounds";
    EXPECT_EQ(teamdata[2].credits, 35);
    ASSERT_GE(s_executed.size(), 4u);
    EXPECT_EQ(s_executed[0], "2 22 1 020000000a000000");
    EXPECT_EQ(s_executed[1], "4 22 1 0200000014000000");
    EXPECT_EQ(s_executed[2], "5 22 0 0200000005000000");
    EXPECT_EQ(s_executed[3].rfind("8 23 0 00", 0), 0u) << s_executed[3];
}

// Quad makes three tanks in each corner for every team: the two corners no
// node played stayed standing, so a surrender never left a last team, and
// both machines played on. Now they are not made, and the game ends.
class PlayerViewNetGame : public NetFrame {};

TEST_F(PlayerViewNetGame, ASurrenderNeverEndedATwoPlayerGameOnAFourCornerMap)
{
    Start(2, "QUAD", SC_MULTI, true);
    for (int t = 0; t < TEAM_NEUTRAL; t++) EXPECT_EQ(teamdata[t].unitcount > 0, t < 2) << "team " << t;
    Game_ClearResult();
    g_GameState = GS_INGAME;
    // The winner's picture waits for an answer: a key.
    PlatHeadless_SetPumpHook(+[] {
        if (Game_GetResult().winner >= 0) Input_RawKey(0x1C, 1, '\r');
    });
    Tick(0);
    Complete({Orders_NewNode(QSURRENDER, 0, 1)});
    for (int round = 0; round < 40 && g_GameState == GS_INGAME; round++) RunRound(round > 0);
    PlatHeadless_SetPumpHook(nullptr);
    EXPECT_EQ(teamdata[1].unitcount, 0);
    EXPECT_EQ(g_GameState, GS_FRONTEND);
    EXPECT_EQ(Game_GetResult().winner, 0);
    EXPECT_EQ(Game_GetResult().won, 1);
}

} // namespace
