// Teams: relation rules, credits, unit defaults, side, the set-up of a game
// and the player name texts.
#include "units/team.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/fog.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/unit.h"

namespace {

// Puts a global back at the end of the test.
template <class T>
struct Keep {
    explicit Keep(T& v) : ref(v), old(v) {}
    ~Keep() { ref = old; }
    T& ref;
    T old;
};

class TeamTest : public testing::Test {
protected:
    void SetUp() override
    {
        memcpy(oldName_, g_CfgPlayerName, sizeof oldName_);
        g_LocalTeam = g_Config.disableai = g_NetworkGame = g_AlliancesDisabled = g_OptRelationsLocked = 0;
        Restart();
    }
    void TearDown() override
    {
        Team_CloseTeamData();
        memcpy(g_CfgPlayerName, oldName_, sizeof oldName_);
    }
    void Restart()
    {
        Team_CloseTeamData();
        Team_SetDefaults();
        Team_InitTeamData();
    }

    Keep<int> local_{g_LocalTeam}, disableai_{g_Config.disableai}, network_{g_NetworkGame},
        disabled_{g_AlliancesDisabled};
    Keep<uint8_t> locked_{g_OptRelationsLocked};
    char oldName_[64] = {};
};

TEST_F(TeamTest, DefaultsMakeTeam8AnEnemyOfEveryTeamWhileAllAreNeutralTowardsIt)
{
    for (int i = 0; i < TEAM_MAXTEAMS; i++) {
        EXPECT_EQ(Team_GetRelation(i, TEAM_NEUTRAL), TR_NEUTRAL) << i;
        for (int j = 0; j < TEAM_NEUTRAL; j++)
            EXPECT_EQ(Team_GetRelation(i, j), i == j ? TR_ALLY : TR_ENEMY) << i << " towards " << j;
    }
}

TEST_F(TeamTest, RegressionANewGameKeptThePreviousGamesResourceAccounts)
{
    teamdata[2].resource[1] = TEAM_RESOURCE{40, 80, 50};
    Restart();
    EXPECT_EQ(teamdata[2].resource[1].supply, 0);
    EXPECT_EQ(teamdata[2].resource[1].usage, 0);
    EXPECT_EQ(teamdata[2].resource[1].percent, 100);
}

TEST_F(TeamTest, RelationsChangeOneWayOnlyAsTheLocksAllowAndAgreementNeedsBoth)
{
    Team_ForceRelation(3, 3, TR_ENEMY);
    Team_ForceRelation(8, 2, TR_ALLY);
    Team_ForceRelation(2, 8, TR_ALLY);
    EXPECT_EQ(Team_GetRelation(3, 3), TR_ALLY);
    EXPECT_EQ(Team_GetRelation(8, 2), TR_NEUTRAL);
    Team_SetRelation(1, 4, TR_ALLY);
    EXPECT_EQ(Team_GetRelation(4, 1), TR_ENEMY);
    EXPECT_FALSE(Team_AgreedRelation(1, 4, TR_ALLY));
    Team_SetRelation(4, 1, TR_ALLY);
    EXPECT_TRUE(Team_AgreedRelation(1, 4, TR_ALLY));
    g_OptRelationsLocked = 1;
    Team_SetRelation(1, 2, TR_NEUTRAL);
    EXPECT_EQ(Team_GetRelation(1, 2), TR_ENEMY);
    Team_ForceRelation(1, 2, TR_NEUTRAL);
    EXPECT_EQ(Team_GetRelation(1, 2), TR_NEUTRAL) << "forcing ignores the locks";
}

TEST_F(TeamTest, BadArgumentsAreAssertionsWithTheirOwnTexts)
{
    QV_EXPECT_FATAL(Team_GetRelation(9, 0), "ASSERT (team1>=0 && team1<TEAM_MAXTEAMS)");
    QV_EXPECT_FATAL(Team_SetSide(5, TS_MAX), "ASSERT ((side)>=-1 && (side)<TS_MAX)");
    Team_IncSeeResource(1, 2);
    Team_DecSeeResource(1, 2);
    QV_EXPECT_FATAL(Team_DecSeeResource(1, 2), "ASSERT (teamdata[srcteam].seeresource[destteam]>0)");
}

// The sweeps that follow a relation change must balance, or sight would be
// counted twice (or lost) on every alliance change.
TEST(TeamRelationWorld, ResweepingAfterARelationChangeKeepsSightCountsBalanced)
{
    QvWorld_Open(16, 16);
    ASSERT_NE(Units_NewAt(QvWorld_UnitType("Scout"), 1, -1, 3, 3), nullptr);
    ASSERT_NE(Build_New(QvWorld_BuildingType("Tower", 1, 1), 2, -1, 10, 10), nullptr);
    const int seemaps = Seemap_Count(), unitSight = Fog_SeenCount(3, 4, 1), towerSight = Fog_SeenCount(10, 11, 2);
    Team_ForceRelation(1, 2, TR_ALLY);
    Team_ForceRelation(2, 1, TR_NEUTRAL);
    EXPECT_EQ(Seemap_Count(), seemaps);
    EXPECT_EQ(Fog_SeenCount(3, 4, 1), unitSight);
    EXPECT_EQ(Fog_SeenCount(10, 11, 2), towerSight);
    QvWorld_Close();
}

TEST_F(TeamTest, CreditsAndDefaultBehaviourAreClampedAndTeam8KeepsItsSide)
{
    Team_SetCredits(2, 100);
    Team_ChangeCredits(2, -500);
    EXPECT_EQ(teamdata[2].credits, 0);
    Team_SetCredits(1, INT_MAX - 10);
    Team_ChangeCredits(1, 1000);
    EXPECT_EQ(teamdata[1].credits, INT_MAX) << "no wrap on a large gain";
    Team_SetDefaultBehaviour(2, -1, 2, 9);
    const TEAM_UNITDEF& d = teamdata[2].unitdef;
    EXPECT_EQ(d.tenacity * 100 + d.autonomy * 10 + d.selfpreservation, 22);
    Team_SetSide(TEAM_NEUTRAL, TS_ASHWARD);
    EXPECT_EQ(teamdata[TEAM_NEUTRAL].side, TS_VELKIN);
}

TEST_F(TeamTest, EveryTeamButTheLocalOneIsAComputerOrDisabledPlayer)
{
    g_LocalTeam = 3;
    for (int disableai : {0, 1}) {
        g_Config.disableai = disableai;
        Restart();
        for (int i = 0; i < TEAM_MAXTEAMS; i++)
            EXPECT_EQ(teamdata[i].type, i == 3 ? TT_HUMAN : disableai ? TT_DISABLED : TT_COMPUTER) << i;
    }
}

TEST_F(TeamTest, ANewGameForgetsWhatThePreviousOneLeft)
{
    QvLogCapture log(TLOG_SETUP);
    TEAM_DATA& td = teamdata[5];
    Team_SetCredits(5, 300);
    Team_SetGroup(5, 1);
    Team_SetSide(5, TS_SOLARCH);
    Team_SetDefaultBehaviour(5, 2, 2, 2);
    Team_IncSeeResource(5, 1);
    td.startpos = TEAM_STARTPOS{64, 96};
    Team_Stats_UnitKill(5, 1, 0, 0);
    Trail_AddWaypoint(&td.gtrails[7], WPT_MOVE, 1, 2, 0);
    Team_ForceRelation(5, 1, TR_ALLY);
    Restart();
    EXPECT_EQ(td.gtrails[7].head, nullptr);
    EXPECT_EQ(td.credits + td.seeresource[1] + td.stats.kills_units, 0);
    EXPECT_EQ(td.group, 5);
    EXPECT_EQ(td.startpos.x + td.startpos.y, -2);
    EXPECT_EQ(Team_GetRelation(5, 1), TR_ENEMY);
    EXPECT_NE(log.text().find("Team Info : # 8 : Type 2 : Side -1 : Colour 0 : Relation 1,1,1,1,1,1,1,1,2"),
              std::string::npos);
}

TEST_F(TeamTest, ThePlayerNameFollowsTheTeamType)
{
    snprintf(g_CfgPlayerName, sizeof g_CfgPlayerName, "%s", "Merrin");
    teamdata[1].type = TT_DISABLED;
    EXPECT_STREQ(Team_GetPlayerNameString(1), "Unnamed");
    EXPECT_STREQ(Team_GetPlayerNameString(0), "Merrin");
    g_NetworkGame = 1;
    EXPECT_STREQ(Team_GetPlayerNameString(0), "Unnamed");
    teamdata[1].type = 7;
    QV_EXPECT_FATAL(Team_GetPlayerNameString(1), "Unknown team type");
}

}   // namespace
