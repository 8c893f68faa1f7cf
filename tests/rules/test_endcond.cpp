// The condition machine and its criteria: the rotation, clocks and carried
// delays, state entry, winners, and the memory of the criteria.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"
#include "support/world.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class EndCondMachine : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Endcond_Init();
        AI_SpecialForcesInit();
        AI_AIPInit();
        const REGION rect{1, RT_RECTANGLE, 0, 0, 240, 240, {}};
        const REGION circle{2, RT_CIRCLE, 480, 480, 48, 0, {}};
        Region_Add(&rect);
        Region_Add(&circle);
        tank_->prereq.id = 1;
        depot_ = QvWorld_BuildingType("Depot", 2, 2);
        depot_->prereq.id = 2;
        mine_ = QvWorld_BuildingType("Mine", 1, 1);
        mine_->prereq.id = 3;
        mine_->resource[1].production = 5;
        PREREQ_Init();
        g_UpdateCount = 0;
        g_LocalTeam = 0;
    }
    void TearDown() override
    {
        Endcond_Close();
        AI_SpecialForcesClose();
        AI_AIPClose();
        Region_FreeAll();
        PREREQ_Done();
        g_Config.enablefsmmessages = 0;
        g_UpdateCount = 0;
        QvWorldTest::TearDown();
    }

    void Load(const std::string& text, int kind, int team)
    {
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(TF_OpenText("t", text.data(), text.size()),
                                                           TF_Close);
        char first[TF_FIELD];
        ASSERT_EQ(TF_GetToken(p.get(), first, sizeof first), 1);
        ASSERT_EQ(Tfendcnd_Load(p.get(), kind, team), 1);
    }
    // A criterion read from text, owned by team 0's end-condition tree.
    CRITERIA* Crit(const std::string& text)
    {
        Load("DefineEndCondTree(0) { DefineCondState() { DefineCondition(0 0 0 0 t) { " + text +
                 " } } }",
             ENDCOND_END, 0);
        CONDSTATE* s = Endcond_GetState(Endcond_GetTree(0, ENDCOND_END), 1);
        return static_cast<CONDITION*>(GLL_GoFirst(s->conds))->criteria;
    }
    UNIT* Tank(int team, int x, int y) { return Units_NewAt(tank_, team, -1, x, y); }

    BUILDINGTYPE* depot_ = nullptr;
    BUILDINGTYPE* mine_ = nullptr;
};

// ------------------------------------------------------------------ the machine

TEST_F(EndCondMachine, EachTreeComesUpOnceEvery36CallsAndInitStartsTheRotationAfresh)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        Load("DefineEndCondTree(0) { DefineCondState() { } }", ENDCOND_END, t);
        Load("DefineAICondTree() { DefineCondState() { } }", ENDCOND_FSM, t);
    }
    int team = -1;
    Endcond_Update(&team);
    Endcond_Update(&team);
    EXPECT_EQ(team, 0);
    EXPECT_EQ(g_Endcond.fsm[0]->elapsed, 36);
    Endcond_Update(&team);
    Endcond_Update(&team);
    EXPECT_EQ(team, 1);
    EXPECT_EQ(g_Endcond.endtree[1]->elapsed, 36);   // two calls after team 0's machine
    EXPECT_EQ(g_Endcond.endtree[0]->elapsed, 0);
    for (int i = 4; i < 36; i++) Endcond_Update(&team);
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        EXPECT_EQ(g_Endcond.endtree[t]->elapsed, 36) << t;
        EXPECT_EQ(g_Endcond.fsm[t]->elapsed, 36) << t;
    }
    // Regression: a leftover rotation or delay from an earlier game made two
    // machines (or a replay) look at different trees.
    g_Endcond.carrieddelay[3] = 50;
    g_Endcond.unitsatstart[2] = 4;
    Endcond_Close();
    Endcond_Init();
    EXPECT_EQ(g_Endcond.callcounter, 0);
    EXPECT_EQ(g_Endcond.currentteam, 0);
    EXPECT_EQ(g_Endcond.carrieddelay[3], 0);
    EXPECT_EQ(g_Endcond.unitsatstart[2], 0);
}

TEST_F(EndCondMachine, ClocksTimeLimitsExpiryAndTheSharedDelay)
{
    Tank(0, 5, 5);
    Tank(1, 30, 30);
    Load("DefineEndCondTree(360) { DefineCondState() {"
         " DefineCondition(0 0 0 0 t) { CritTimerGame(1000000) } } }",
         ENDCOND_END, 0);
    CONDTREE* tree = Endcond_GetTree(0, ENDCOND_END);
    EXPECT_EQ(Endcond_GetTimeLeft(0), 360);
    for (int i = 0; i < 9; i++) EXPECT_EQ(Endcond_ProcessTree(tree, 0, ENDCOND_END), 0) << i;
    EXPECT_EQ(Endcond_GetTimeLeft(0), 36);
    EXPECT_EQ(Endcond_ProcessTree(tree, 0, ENDCOND_END), 2);
    EXPECT_EQ(Endcond_ProcessTree(tree, 0, ENDCOND_END), 2);
    EXPECT_EQ(Endcond_GetTimeLeft(0), 0);
    EXPECT_EQ(Endcond_GetTimeLeft(1), -1);

    // Expiry 100: tested at 36 and 72, skipped from 108 on.
    Load("DefineAICondTree() { DefineCondState() {"
         " DefineCondition(0 100 0 0 t) { CritTimerGame(1000000) } } }",
         ENDCOND_FSM, 1);
    CONDTREE* fsm = Endcond_GetTree(1, ENDCOND_FSM);
    EXPECT_EQ(Endcond_ProcessTree(fsm, 1, ENDCOND_FSM), 0);
    EXPECT_EQ(Endcond_ProcessTree(fsm, 1, ENDCOND_FSM), 0);
    EXPECT_EQ(Endcond_ProcessTree(fsm, 1, ENDCOND_FSM), 2);
    EXPECT_EQ(fsm->current, 1);

    // A delay of 100 holds back both trees of team 2: 0, 0, 8, then 36.
    Load("DefineEndCondTree(0) { DefineCondState() { DefineCondition(2 0 100 0 t) { CritHaveCredits(0) } }"
         " DefineCondState() { DefineCondition(0 0 0 0 t) { CritTimerGame(1000000) } } }",
         ENDCOND_END, 2);
    Load("DefineAICondTree() { }", ENDCOND_FSM, 2);
    CONDTREE* end2 = Endcond_GetTree(2, ENDCOND_END);
    CONDTREE* fsm2 = Endcond_GetTree(2, ENDCOND_FSM);
    EXPECT_EQ(Endcond_ProcessTree(end2, 2, ENDCOND_END), 0);
    EXPECT_EQ(end2->current, 2);
    EXPECT_EQ(g_Endcond.carrieddelay[2], 100);
    Endcond_ProcessTree(end2, 2, ENDCOND_END);
    EXPECT_EQ(end2->elapsed, 36);
    Endcond_ProcessTree(fsm2, 2, ENDCOND_FSM);
    EXPECT_EQ(fsm2->elapsed, 0);
    Endcond_ProcessTree(end2, 2, ENDCOND_END);
    EXPECT_EQ(end2->elapsed, 44);
    Endcond_ProcessTree(end2, 2, ENDCOND_END);
    EXPECT_EQ(end2->elapsed, 80);
    // The clock stops where a save still holds it; it overflowed from there.
    end2->elapsed = ENDCOND_MAXELAPSED - 1;
    Endcond_ProcessTree(end2, 2, ENDCOND_END);
    Endcond_ProcessTree(end2, 2, ENDCOND_END);
    EXPECT_EQ(end2->elapsed, ENDCOND_MAXELAPSED);
}

TEST_F(EndCondMachine, AStateMachineReachingStateZeroWinsWithItsMessageShown)
{
    QvLogCapture diag(TLOG_DIAG);
    g_Config.enablefsmmessages = 1;
    teamdata[3].type = TT_COMPUTER;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) Tank(t, 5 + t, 5);   // nobody stands alone
    Load("DefineAICondTree() { DefineCondState() { DefineCondition(0 0 0 0 \"Base taken\") { CritHaveCredits(0) } } }",
         ENDCOND_FSM, 3);
    int team = -1, result = 0, calls = 0;
    while (result != 1 && calls < 100) {
        result = Endcond_Update(&team);
        calls++;
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(team, 3);
    EXPECT_EQ(calls, 14);   // team 3's machine: the second call of its four
    EXPECT_NE(diag.text().find("FSM Team# 3 1->0 'Base taken'"), std::string::npos) << diag.text();
    g_Config.enablefsmmessages = 0;
}

TEST_F(EndCondMachine, LastTeamStandingCountsTheNeutralTeamAndSparesResourceBuildings)
{
    Tank(0, 5, 5);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_END), 1);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_FSM), 0);
    BUILDING* mine = Build_New(mine_, 2, -1, 20, 20);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_END), 1);   // a resource building alone
    UNIT* miner = Tank(2, 40, 40);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_END), 0);   // a unit beyond its makers
    UnitId_Setup(&mine->whomademe, miner);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_END), 1);
    ASSERT_NE(Build_New(depot_, TEAM_NEUTRAL, -1, 30, 10), nullptr);
    EXPECT_EQ(Endcond_ProcessTree(nullptr, 0, ENDCOND_END), 0);
}

TEST_F(EndCondMachine, EnteringAStateRunsItsActions)
{
    UNIT* a = Tank(1, 40, 40);
    UNIT* b = Tank(1, 41, 41);
    SPECIAL_FORCE* sf = AI_NewSpecialForce(1, 50);
    AI_AddToSpecialForce(sf, a->id);
    SPECIAL_FORCE* gift = AI_NewSpecialForce(1, 51);
    AI_AddToSpecialForce(gift, b->id);
    Team_SetCredits(4, 100);
    Team_SetCredits(5, 10);
    g_UpdateCount = 1000;
    Load("DefineEndCondTree(0) { DefineCondState() {"
         " DefineCondition(0 0 0 0 t) { CritAND() { CritONCE() { CritHaveCredits(0) } CritTimer(100) } }"
         " TriggerSpecialForces(50 1) ReleaseSpecialForces(50) GiveSpecialForces(51 6)"
         " BonusCredits(4 250) BonusCredits(5 -40) SetAlliance(2 2 2 2 2 2 2 2 2) } }",
         ENDCOND_END, 1);
    Endcond_EnterInitialStates();
    EXPECT_EQ(a->sorder.code, SO_MOVE);
    EXPECT_LE(a->sorder.move.destpos.x, 10);
    EXPECT_LE(a->sorder.move.destpos.y, 10);
    EXPECT_EQ(sf->released, 1);
    EXPECT_EQ(b->team, 6);
    EXPECT_EQ(gift->team, 6);
    EXPECT_EQ(teamdata[4].credits, 350);
    EXPECT_EQ(teamdata[5].credits, 0);   // regression: a fine below the balance stops at 0
    EXPECT_EQ(Team_GetRelation(1, 0), TR_ALLY);
    EXPECT_EQ(Team_GetRelation(0, 1), TR_ENEMY);
    EXPECT_EQ(Team_GetRelation(1, 8), TR_NEUTRAL);
    CONDSTATE* s = Endcond_GetState(Endcond_GetTree(1, ENDCOND_END), 1);
    CRITERIA* both = static_cast<CONDITION*>(s->conds->first->element)->criteria;
    CRITERIA* timer = static_cast<CRITERIA*>(GLL_GoLast(both->boolean.nodes));
    EXPECT_EQ(timer->timer.deadline, 1100);
    g_UpdateCount = 1100;
    EXPECT_EQ(Endcond_EvaluateCriteria(1, timer, 0), 0);
    g_UpdateCount = 1101;
    EXPECT_EQ(Endcond_EvaluateCriteria(1, both, 0), 1);
    // Entered again: the timer is armed anew, the spent ONCE stays false.
    Endcond_EnterState(s, 1, ENDCOND_END);
    EXPECT_EQ(timer->timer.deadline, 1201);
    g_UpdateCount = 5000;
    EXPECT_EQ(Endcond_EvaluateCriteria(1, both, 0), 0);
}

// Regression: the deadline was summed in 32 bits, so the largest time in a
// state entered after update 0 wrapped below the game time and came due at
// once (a scenario named its winner after 108 updates); a large delay added
// to a large carried one wrapped negative and let the clocks run.
class FileTrustTimer : public EndCondMachine {};

TEST_F(FileTrustTimer, TheLargestTimeOrDelayDoesNotWrapAndFireAtOnce)
{
    g_UpdateCount = 5000;
    Load("DefineEndCondTree(0) { DefineCondState() { DefineCondition(0 0 0 0 t) { CritTimer(2147483647) } } }",
         ENDCOND_END, 0);
    Endcond_EnterInitialStates();
    CONDTREE* tree = Endcond_GetTree(0, ENDCOND_END);
    const CRITERIA* timer = static_cast<CONDITION*>(GLL_GoFirst(Endcond_GetState(tree, 1)->conds))->criteria;
    EXPECT_EQ(timer->timer.deadline, INT32_MAX);
    for (int i = 0; i < 4; i++, g_UpdateCount += ENDCOND_ROTATION)
        EXPECT_EQ(Endcond_ProcessTree(tree, 0, ENDCOND_END), 0) << "update " << g_UpdateCount;

    // Two states that hand the largest delay back and forth: the clocks stay held.
    Load("DefineEndCondTree(0)"
         " { DefineCondState() { DefineCondition(2 0 2147483647 0 t) { CritHaveCredits(0) } }"
         "   DefineCondState() { DefineCondition(1 0 2147483647 0 t) { CritHaveCredits(0) } } }",
         ENDCOND_END, 2);
    CONDTREE* held = Endcond_GetTree(2, ENDCOND_END);
    for (int i = 0; i < 4; i++) EXPECT_EQ(Endcond_ProcessTree(held, 2, ENDCOND_END), 0);
    EXPECT_EQ(held->elapsed, ENDCOND_ROTATION) << "only the look before the first delay advanced the clock";
    EXPECT_GE(g_Endcond.carrieddelay[2], INT32_MAX - ENDCOND_ROTATION);
}

TEST_F(EndCondMachine, StartTotalsAndPlansOfComputerTeams)
{
    QvTempDir dir;
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dir.path().c_str());
    dir.write("good.aip", "int ground_unit_threat = 3;\n");
    dir.write("broken.aip", "int x = ;\n");
    QvLogCapture ai(TLOG_AI);
    Tank(2, 5, 5);
    Tank(2, 6, 6);
    Build_New(depot_, 2, -1, 20, 20);
    Endcond_InitTeamTotals();
    EXPECT_EQ(g_Endcond.unitsatstart[2], 2);
    EXPECT_EQ(g_Endcond.buildingsatstart[2], 1);
    teamdata[2].type = TT_COMPUTER;
    teamdata[3].type = TT_HUMAN;
    const std::string fsm = "DefineAICondTree() { DefineCondState() { SetAIPFile(good.aip) }"
                            " DefineCondState() { SetAIPFile(broken.aip) }"
                            " DefineCondState() { SetAIPFile(absent.aip) } DefineCondState() { } }";
    Load(fsm, ENDCOND_FSM, 2);
    Load(fsm, ENDCOND_FSM, 3);
    Endcond_LoadAIPs();
    CONDTREE* tree = Endcond_GetTree(2, ENDCOND_FSM);
    ASSERT_NE(Endcond_GetState(tree, 1)->aip, nullptr);
    EXPECT_STREQ(Endcond_GetState(tree, 1)->aip->filename, "good.aip");
    EXPECT_EQ(Endcond_GetState(tree, 2)->aip, nullptr);   // a script error is a failed load
    EXPECT_EQ(Endcond_GetState(tree, 3)->aip, nullptr);
    EXPECT_EQ(Endcond_GetState(Endcond_GetTree(3, ENDCOND_FSM), 1)->aip, nullptr);
    EXPECT_EQ(AI_AIPList()->count, 1);
    const std::string log = ai.text();
    EXPECT_NE(log.find("AIP file broken.aip not found for team 2 state 2"), std::string::npos);
    EXPECT_NE(log.find("Could not find / could not load AIP 'absent.aip'"), std::string::npos);
    EXPECT_NE(log.find("AIP file absent.aip not found for team 2 state 3"), std::string::npos);
    EXPECT_EQ(log.find("calling process team 3"), std::string::npos);
    g_ScenarioDir[0] = 0;
}

// ------------------------------------------------------------------ criteria

struct CritRow {
    const char* name;
    const char* text;
    std::function<void(EndCondMachine*, int step)> before;   // world changes before each step
    const char* results;                                     // one digit per evaluation
};

class EndCondCriteria : public EndCondMachine {
public:
    UNIT* mover_ = nullptr;
    UNIT* other_ = nullptr;
    using EndCondMachine::Tank;
    BUILDINGTYPE* Depot() { return depot_; }
};

TEST_F(EndCondCriteria, EachCriterionWithItsMemory)
{
    auto hit = [](int team, int damage) { Region_FindById(1)->harass[team] += damage; };
    const CritRow rows[] = {
        {"NOT around ONCE is false once", "CritNOT() { CritONCE() { CritTimerGame(5) } }",
         [](EndCondMachine*, int i) { g_UpdateCount = 5 * i; }, "1101"},
        {"harass: consecutive hits", "CritHarassRegion(1 3 0)",
         [hit](EndCondMachine*, int i) { if (i != 2) hit(0, 9); }, "000001"},
        {"harass: hits need not be consecutive", "CritHarassRegion(1 3 1)",
         [hit](EndCondMachine*, int i) { if (i % 2 == 0) hit(0, 1); }, "00001"},
        {"harass: damage summed", "CritHarassRegion(1 10 2)",
         [hit](EndCondMachine*, int i) { const int d[] = {4, 4, 0, 7, 5}; hit(0, d[i]); }, "00001"},
        {"harass: other team's hits don't count", "CritHarassRegion(1 1 0)",
         [hit](EndCondMachine*, int) { hit(1, 5); }, "00"},
        {"harass: a sum past the word is held at its top", "CritHarassRegion(1 2147483647 2)",
         [hit](EndCondMachine*, int) { hit(0, INT32_MAX); }, "111"},
        {"hold: enemies pause the count", "CritHoldRegion(1 2 0)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) c->Tank(0, 3, 3);
             if (i == 1) c->other_ = c->Tank(1, 4, 4);
             if (i == 2) Units_Delete(c->other_);
         },
         "001"},
        {"enemy in a circle", "CritEnemyInRegion(2)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 1) c->Tank(8, 21, 20);   // team 8 is no enemy of team 0
             if (i == 2) c->Tank(1, 22, 20);
         },
         "001"},
        {"kill team units to none", "CritKillTeamUnits(3 0)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) {
                 c->other_ = c->Tank(3, 30, 30);
                 Endcond_InitTeamTotals();
             }
             if (i == 1) Units_Delete(c->other_);
         },
         "01"},
        {"kill half the enemy units: 9 start, limit 5", "CritKillEnemyUnits(50)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) {
                 for (int k = 0; k < 9; k++) c->Tank(1 + k % 2, 10 + k, 30);
                 Endcond_InitTeamTotals();
             }
             for (int k = 0; k < (i == 0 ? 3 : 1); k++) {
                 ITERATOR it;
                 Iterate_UnitInit(&it, 1, 0, MM_ALL);
                 Units_Delete(Iterate_UnitNext(&it));
             }
         },
         "01"},
        {"empty building list", "CritDestroyBuilding() { }", nullptr, "1"},
        {"build units", "CritBuildUnit(Tank 2)",
         [](EndCondMachine* m, int i) { static_cast<EndCondCriteria*>(m)->Tank(0, 50, 5 + i); },
         "01"},
        {"unknown type stays false", "CritBuildBuilding(Castle 0 0)", nullptr, "00"},
        {"complete buildings in a rectangle", "CritBuildBuilding(Depot 1 1)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) Build_New(c->Depot(), 0, -1, 9, 9);   // outside
             if (i == 1) Build_NewConstructionSite(c->Depot(), 0, 2, 2);
             if (i == 2) Build_New(c->Depot(), 0, -1, 5, 2);
         },
         "001"},
        {"begun buildings in a circle's square (mend)", "CritBeginBuildBuilding(Depot 2 1)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) Build_New(c->Depot(), 0, -1, 21, 21);
             if (i == 1) Build_NewConstructionSite(c->Depot(), 0, 19, 19);
         },
         "01"},
        {"destroy building type", "CritDestroyBuildingType(Depot 4)",
         [](EndCondMachine* m, int i) {
             auto* c = static_cast<EndCondCriteria*>(m);
             if (i == 0) Build_New(c->Depot(), 4, -1, 30, 30);
             if (i == 1) Build_Remove(g_Buildings);
         },
         "01"},
        {"credits", "CritHaveCredits(500)", [](EndCondMachine*, int i) { Team_SetCredits(0, 499 + i); },
         "01"},
        {"collected ore", "CritCollectMineral(7)",
         [](EndCondMachine*, int i) { teamdata[0].stats.collected[1] = 6 + i; }, "01"},
        {"game timer", "CritTimerGame(10)", [](EndCondMachine*, int i) { g_UpdateCount = 10 + i; }, "01"},
        {"unknown stolen plan", "CritStealPlan(1 Castle)", nullptr, "00"},
        {"stolen plan", "CritStealPlan(2 Depot)",
         [](EndCondMachine*, int i) { if (i == 1) PREREQ_StolePlans(2, 2); }, "01"},
    };
    for (const CritRow& r : rows) {
        SCOPED_TRACE(r.name);
        TearDown();
        SetUp();
        CRITERIA* c = Crit(r.text);
        std::string got;
        for (size_t i = 0; r.results[i]; i++) {
            if (r.before) r.before(this, (int)i);
            got += char('0' + Endcond_EvaluateCriteria(0, c, ENDCOND_END));
        }
        EXPECT_EQ(got, r.results);
    }
}

TEST_F(EndCondCriteria, IdListsOnlyShrink)
{
    UNIT* a = Tank(1, 30, 30);
    UNIT* b = Tank(1, 31, 31);
    UNIT* dead = Tank(1, 32, 32);
    const std::string ids = " { " + std::to_string(a->id) + " " + std::to_string(b->id) + " } ";
    CRITERIA* move = Crit("CritOR() { CritMoveUnitsToRegion(1 0)" + ids + "CritCaptureUnit()" + ids +
                          "CritDestroyUnit() { " + std::to_string(dead->id) + " } }");
    CRITERIA* moveto = static_cast<CRITERIA*>(GLL_GoTo(move->boolean.nodes, 1));
    CRITERIA* capture = static_cast<CRITERIA*>(GLL_GoTo(move->boolean.nodes, 2));
    CRITERIA* destroy = static_cast<CRITERIA*>(GLL_GoTo(move->boolean.nodes, 3));
    Units_ChangeTile(a, 3, 3);
    EXPECT_EQ(Endcond_EvaluateCriteria(0, moveto, 0), 0);
    Units_ChangeTile(a, 30, 30);   // has arrived once: counts
    Units_ChangeTile(b, 4, 4);
    EXPECT_EQ(Endcond_EvaluateCriteria(0, moveto, 0), 1);
    b->iscaptured = 1;
    EXPECT_EQ(Endcond_EvaluateCriteria(0, capture, 0), 0);
    b->iscaptured = 0;
    a->iscaptured = 1;
    EXPECT_EQ(Endcond_EvaluateCriteria(0, capture, 0), 1);
    EXPECT_EQ(Endcond_EvaluateCriteria(0, destroy, 0), 0);
    Units_Delete(dead);
    EXPECT_EQ(Endcond_EvaluateCriteria(0, destroy, 0), 1);
    EXPECT_EQ(destroy->destroyitem.idlist->count, 0);
}

TEST_F(EndCondCriteria, OrStopsAtTheFirstTrueChild)
{
    Tank(0, 3, 3);
    CRITERIA* c = Crit("CritOR() { CritKillAll() CritHoldRegion(1 2 0) }");
    EXPECT_EQ(Endcond_EvaluateCriteria(0, c, 0), 1);
    EXPECT_EQ(static_cast<CRITERIA*>(GLL_GoLast(c->boolean.nodes))->useregion.counter, 2);
}

TEST_F(EndCondCriteria, RelationsDecideEnemiesAlliesAndStrengthTies)
{
    for (int t = 1; t < TEAM_MAXTEAMS; t++) {
        Team_ForceRelation(0, t, TR_ALLY);
        Team_ForceRelation(t, 0, TR_ALLY);
    }
    Tank(0, 5, 5);
    Tank(1, 30, 30);
    Endcond_InitTeamTotals();
    const struct {
        const char* text;
        int result;
    } noenemy[] = {{"CritKillEnemyUnits(100)", 1}, {"CritDestroyEnemyBuildings(100)", 1},
                   {"CritMoreUnitsThanEnemy(100)", 1}, {"CritLessUnitsThanEnemy(1)", 0},
                   {"CritKillAll()", 1}, {"CritKillAllAndAllies()", 0}};
    for (const auto& r : noenemy) {
        Endcond_Close();
        EXPECT_EQ(Endcond_EvaluateCriteria(0, Crit(r.text), 0), r.result) << r.text;
    }
    // Team 1 turns on team 0: 2 units against 1, compared at 50 %: a tie.
    Team_ForceRelation(1, 0, TR_ENEMY);
    Tank(1, 31, 31);
    EXPECT_EQ(AI_StrengthGreater(0, 50), 0);
    EXPECT_EQ(AI_StrengthWeaker(0, 50), 0);
    EXPECT_EQ(AI_StrengthGreater(0, 49), 1);
    EXPECT_EQ(AI_StrengthWeaker(0, 51), 1);
}

}   // namespace
