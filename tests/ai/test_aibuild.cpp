// Computer players: plans, unit matching, construction accounts, programs
// and the frame's hooks, on a small world with a factory base.
#include <gtest/gtest.h>

#include <string>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aimatch.h"
#include "ai/aip.h"
#include "ai/aiprog.h"
#include "ai/aiteam.h"
#include "core/gamestate.h"
#include "save/save.h"
#include "core/gll.h"
#include "core/rand.h"
#include "core/uid.h"
#include "rules/endcond.h"
#include "support/world.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/buildplay.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

class AiWorld : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Uid_Reset();
        g_UpdateCount = 0;
        gun_ = Parts_NewType();
        WEAPONTYPE* w = Weapon_NewType();
        w->oinfo.hitpoints = -30;   // a negative damage counts by its size
        w->firedelay = 10;
        gun_->weapons[0].type = w;
        gun_->nrweapons = 1;
        bare_ = Parts_NewType();
        Setup(tank_, 1, 100);
        Setup(jet_, 2, 50);
        crew_ = QvWorld_UnitType("Crew");
        Setup(crew_, 3, 40);
        factory_ = QvWorld_BuildingType("Factory", 3, 3);
        factory_->flags |= BTF_CANMAKE;
        factory_->cost = 500;
        factory_->buildtime = 4;
        factory_->prereq.id = 10;
        factory_->prereq.makers[0] = 3;
        big_ = QvWorld_BuildingType("BigFactory", 3, 3);
        big_->flags |= BTF_CANMAKE;
        big_->cost = 400;
        big_->buildtime = 2;
        big_->prereq.id = 13;
        big_->prereq.prereqs[0] = 12;   // needs a lab
        factory_->upgradeto = big_;
        big_->upgradefrom = factory_;
        lab_ = QvWorld_BuildingType("Lab", 2, 2);
        lab_->prereq.id = 12;
        tank_->prereq.makers[0] = jet_->prereq.makers[0] = 10;
        tank_->prereq.makers[1] = jet_->prereq.makers[1] = 13;
        Units_PostProcessAllTypes();
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Team_SetCredits(t, 0);
        for (TEAM_DATA& td : teamdata) td.type = TT_HUMAN;
        teamdata[2].type = TT_COMPUTER;
        teamdata[3].type = TT_COMPUTER;
        PREREQ_Init();
        AI_SpecialForcesInit();
        AI_AIPInit();
    }
    void TearDown() override
    {
        if (ai_game_initialised) AI_Close();
        AI_AIPClose();
        AI_SpecialForcesClose();
        PREREQ_Done();
        QvWorldTest::TearDown();
    }
    static void Setup(UNITTYPE* t, int id, int cost)
    {
        t->prereq.id = (uint16_t)id;
        t->buildcost = (uint16_t)cost;
        t->buildtime = 3;
    }
    AIP_struct* Plan(const std::string& text)
    {
        dir_.write("plan.aip", text);
        return AIP_Load(dir_.file("plan.aip").c_str());
    }
    AI_Team* Team(int t) { return AI_GetTeam(t); }
    // Parts need sprites to be made on a unit, so the types carry theirs
    // only while the strengths are computed.
    void Arm(int on)
    {
        for (UNITTYPE* t : {tank_, jet_, crew_}) {
            t->partinfo.nrparts = on;
            t->partinfo.parttype[0] = on ? (t == tank_ ? gun_ : bare_) : nullptr;
        }
    }
    void Init()
    {
        Arm(1);
        AI_Init();
        Arm(0);
    }
    static void Step(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            AI_Process();
            Build_ProcessAll();
            g_UpdateCount++;
        }
    }
    QvTempDir dir_;
    PARTTYPE* gun_ = nullptr;
    PARTTYPE* bare_ = nullptr;
    UNITTYPE* crew_ = nullptr;
    BUILDINGTYPE* factory_ = nullptr;
    BUILDINGTYPE* big_ = nullptr;
    BUILDINGTYPE* lab_ = nullptr;
};

const char* const kStructs =
    "struct account { string account_name; int budget; int max_reserve; };\n"
    "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
    "struct match { string unit_name; float multiplier; };\n"
    "struct bmatch { string unit_name; float multiplier; int build_pos; };\n"
    "struct matchup { string unit_name; string match_up_name; float match_amount; };\n";

// ------------------------------------------------------------------ plans

TEST_F(AiWorld, PlanReadsEveryFieldInItsPlace)
{
    AIP_struct* p = Plan(std::string(kStructs) +
                         "int ground_unit_threat = 1; int threat_priority = 2; int distance_priority = 3;\n"
                         "int appropriateness_priority = 4; int defend_buildings_priority = 5;\n"
                         "int attack_enemy_base_priority = 6; int persistence_priority = 7;\n"
                         "int exploration_priority = 8; int scripted_priority = 9;\n"
                         "int perimeter_priority = 10; int resource_priority = 11; int danger_priority = 12;\n"
                         "int single_use_group_priority = 13; float danger_diminishment = 0.5;\n"
                         "double max_matching_force_ratio = 1.5; double min_matching_force_ratio = 0.25;\n"
                         "double generic_ground_ratio = 0.75; int min_perimeter_force = 14;\n"
                         "int max_perimeter_force = 15; int max_building_defense_force = 16;\n"
                         "int min_building_defense_force = 17; int min_exploration_force = 18;\n"
                         "int max_exploration_force = 19; int min_resource_force = 20;\n"
                         "int max_resource_force = 21; int relaxation_cycles = 22;\n"
                         "float relaxation_coefficient = 0.125; int recompute_strategy_period = 90;\n"
                         "int repair_buildings = 0; string transport = \"Jet\";\n"
                         "account unit_construction_program[] = { {\"base\", -5, 9}, {\"army\", 3, -1} };\n"
                         "entry base[] = { {5, 0, \"Tank\", 2}, {5, 0, \"Jet\", 1}, {3, 1, \"Tank\", 4},\n"
                         "                 {5, 2, \"Nothing\", 1} };\n"
                         "entry army[] = { {1, 2, \"Tank\", 2} };\n"
                         "match My_Matchings[] = { {\"Tank\", 2.5}, {\"Factory\", 9.0} };\n"
                         "bmatch My_Building_Matchings[] = { {\"Lab\", 0.5, 7} };\n"
                         "matchup My_Match_ups[] = { {\"Jet\", \"Tank\", 1.5} };\n");
    ASSERT_NE(p, nullptr);
    const int32_t ints[] = {p->ground_unit_threat, p->threat_priority, p->distance_priority,
                            p->appropriateness_priority, p->defend_buildings_priority,
                            p->attack_enemy_base_priority, p->persistence_priority,
                            p->exploration_priority, p->scripted_priority, p->perimeter_priority,
                            p->resource_priority, p->danger_priority, p->single_use_group_priority,
                            p->min_perimeter_force, p->max_perimeter_force,
                            p->max_building_defense_force, p->min_building_defense_force,
                            p->min_exploration_force, p->max_exploration_force,
                            p->min_resource_force, p->max_resource_force, p->relaxation_cycles};
    for (int i = 0; i < 22; i++) EXPECT_EQ(ints[i], i + 1) << i;
    EXPECT_FLOAT_EQ(p->danger_diminishment, 0.5f);
    EXPECT_DOUBLE_EQ(p->max_matching_force_ratio, 1.5);
    EXPECT_DOUBLE_EQ(p->min_matching_force_ratio, 0.25);
    EXPECT_DOUBLE_EQ(p->generic_ground_ratio, 0.75);
    EXPECT_FLOAT_EQ(p->relaxation_coefficient, 0.125f);
    EXPECT_EQ(p->target_mode, 0);
    EXPECT_EQ(p->recompute_strategy_period, 90);
    EXPECT_EQ(p->last_recompute, -91);
    EXPECT_EQ(p->repair_buildings, 0);
    EXPECT_EQ(p->transport, 2);
    // Account 0's budget is not stored; a negative one reads 0 elsewhere.
    EXPECT_EQ(p->budget[0], 0);
    EXPECT_EQ(p->max_reserve[0], 0);
    EXPECT_EQ(p->budget[1], 3);
    EXPECT_EQ(p->max_reserve[1], 0);
    // Priorities 5, 5, 3, 5 form three levels.
    const AIBUILD_ACCOUNT* base = p->construction_program->account[0];
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->priority_levels, 3);
    EXPECT_EQ(base->priority_level[0].nodes, 2);
    EXPECT_EQ(base->priority_level[0].node[1].object_type, 2);
    EXPECT_EQ(base->priority_level[1].priority, 3);
    EXPECT_EQ(base->priority_level[1].node[0].internal, 4);   // set up counts down from 4
    EXPECT_EQ(base->priority_level[2].build_type, RATIO_TO_BUILD);
    EXPECT_EQ(base->priority_level[2].node[0].object_type, 0);   // unknown name: unset
    EXPECT_NE(log_.text().find("UNKOWN UNIT OR BUILDING TYPE 'Nothing' ADDED TO ACCOUNT 'base'"),
              std::string::npos);
    EXPECT_FLOAT_EQ(p->unit_matching[0], 2.5f);
    EXPECT_FLOAT_EQ(p->unit_matching[1], 1.0f);
    EXPECT_FLOAT_EQ(p->building_matching[lab_->index], 0.5f);
    EXPECT_EQ(p->build_pos[lab_->index], 7);
    EXPECT_EQ(p->match_up[jet_->unittypeid], tank_);
    EXPECT_FLOAT_EQ(p->match_amount[jet_->unittypeid], 1.5f);
    EXPECT_EQ(p->match_up[tank_->unittypeid], nullptr);
    EXPECT_STREQ(p->filename, "plan.aip");
    // "Factory" is no unit type: skipped.
    EXPECT_NE(log_.text().find("My_Matchings[1]: 'Factory' is no unit type"), std::string::npos);
    AIP_Delete(p);
}

TEST_F(AiWorld, PlanDefaultsAndBrokenPlans)
{
    struct Row {
        const char* name;
        const char* text;
        float danger;
        int period, last, repair;
    } rows[] = {
        {"nothing given", "int x = 1;\n", 1.0f, -1, 0, 1},
        {"danger as an integer", "int danger_diminishment = 3;\n", 3.0f, -1, 0, 1},
        {"period and repair", "int recompute_strategy_period = 0; int repair_buildings = 0;\n", 1.0f,
         0, -1, 0},
    };
    for (const Row& r : rows) {
        AIP_struct* p = Plan(r.text);
        ASSERT_NE(p, nullptr) << r.name;
        EXPECT_FLOAT_EQ(p->danger_diminishment, r.danger) << r.name;
        EXPECT_EQ(p->recompute_strategy_period, r.period) << r.name;
        EXPECT_EQ(p->last_recompute, r.last) << r.name;
        EXPECT_EQ(p->repair_buildings, r.repair) << r.name;
        EXPECT_EQ(p->ground_unit_threat, -1) << r.name;
        for (AIBUILD_ACCOUNT* a : p->construction_program->account) EXPECT_EQ(a, nullptr) << r.name;
        AIP_Delete(p);
    }
    EXPECT_EQ(Plan("int x = ;\n"), nullptr);
    EXPECT_EQ(AIP_Load(dir_.file("none.aip").c_str()), nullptr);
}

TEST_F(AiWorld, PlanSkipsEntriesTheSettersWouldRefuse)
{
    AIP_struct* p = Plan(std::string(kStructs) +
                         "account unit_construction_program[] = { {\"a\", 1, 0}, {\"missing\", 1, 0},\n"
                         "  {\"empty\", 1, 0}, {\"bad\", 1, 0} };\n"
                         "entry a[] = { {256, 0, \"Tank\", 1}, {-1, 0, \"Tank\", 1}, {4, 4, \"Tank\", 1},\n"
                         "  {4, 0, \"Tank\", 0}, {4, 1, \"Jet\", 2} };\n"
                         "entry empty[] = {};\n"
                         "struct half { int priority; string item_name; };\n"
                         "half bad[] = { {1, \"Tank\"} };\n");
    ASSERT_NE(p, nullptr);
    const AIBUILD_ACCOUNT* a = p->construction_program->account[0];
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->priority_levels, 1);
    EXPECT_EQ(a->priority_level[0].build_type, NUMBER_TO_BUILD);
    EXPECT_EQ(a->priority_level[0].node[0].number, 2);
    for (int slot : {1, 2, 3}) EXPECT_EQ(p->construction_program->account[slot], nullptr) << slot;
    const std::string log = log_.text();
    for (const char* line : {"a[0]: priority 256 out of range", "a[1]: priority -1 out of range",
                             "a[2]: build type 4 out of range", "a[3]: amount 0 out of range",
                             "account 'missing' missing or empty", "account 'empty' missing or empty",
                             "bad[0]: build type -1 out of range"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_NE(log.find(dir_.file("plan.aip")), std::string::npos);
    AIP_Delete(p);
}

TEST_F(AiWorld, PlanKeepsTheFirst32AccountsOfALongerProgram)
{
    std::string text = std::string(kStructs) + "entry a[] = { {1, 0, \"Tank\", 1} };\n"
                                               "account unit_construction_program[] = {";
    for (int i = 0; i < 33; i++) text += std::string(i ? "," : "") + "{\"a\", " + std::to_string(i + 1) + ", 0}";
    AIP_struct* p = Plan(text + "};\n");
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p->construction_program->account[31], nullptr);
    EXPECT_EQ(p->budget[31], 32);
    EXPECT_NE(log_.text().find("unit_construction_program[32]: only 32 accounts, entry skipped"),
              std::string::npos);
    AIP_Delete(p);
}

// ------------------------------------------------------------------ matching

TEST_F(AiWorld, UnitStrengthIsDamageOverDelayScaledByHitPointsAndPlanAtLeastOne)
{
    Arm(1);
    EXPECT_FLOAT_EQ(AiMatch_TypeStrength(tank_->unittypeid), 3.0f);
    EXPECT_FLOAT_EQ(AiMatch_TypeStrength(jet_->unittypeid), 0.0f);
    Arm(0);
    Init();
    UNIT* tank = Units_NewAt(tank_, 2, -1, 10, 10);
    UNIT* jet = Units_NewAt(jet_, 2, -1, 12, 10);
    tank->hitpoints = 20;
    EXPECT_EQ(AiMatch_UnitStrength(tank, 2), 21);   // multiplier and addend 1.0 before a plan
    AIP_struct* p = Plan(std::string(kStructs) + "match My_Matchings[] = { {\"Jet\", 4.0}, {\"Tank\", 0.0} };\n");
    AI_Team::SetPlan(Team(2), p);
    AI_Team::SetPlan(Team(3), nullptr);
    EXPECT_EQ(AiMatch_UnitStrength(tank, 2), 1);    // multiplier 0
    EXPECT_EQ(AiMatch_UnitStrength(jet, 2), 1);     // unarmed
    EXPECT_FLOAT_EQ(AiMatch_Multiplier(2, tank_->unittypeid), 0.0f);
    AIP_struct* q = Plan(std::string(kStructs) + "match My_Matchings[] = { {\"Tank\", 0.5} };\n");
    AI_Team::SetPlan(Team(3), q);
    EXPECT_EQ(AiMatch_UnitStrength(tank, 3), 30);   // 20 x 0.5 x 3 + 0
    QV_EXPECT_FATAL(AiMatch_UnitStrength(tank, 5), "ASSERT (the_team)");
    AIP_Delete(p);
    AIP_Delete(q);
}

// ------------------------------------------------------------------ accounts

class Books : public AiWorld {
protected:
    void SetUp() override
    {
        AiWorld::SetUp();
        Team_SetCredits(2, 1000);
        Init();
        t_ = Team(2);
    }
    void Budgets(std::initializer_list<std::pair<int, int>> b, std::initializer_list<std::pair<int, int>> r = {})
    {
        int32_t budgets[AIBUILD_MAX_ACCOUNTS] = {}, reserves[AIBUILD_MAX_ACCOUNTS] = {};
        for (auto [i, v] : b) budgets[i] = v;
        for (auto [i, v] : r) reserves[i] = v;
        AIBuild_CreditDistribute(t_, budgets, reserves);
    }
    AI_Team* t_ = nullptr;
};

TEST_F(Books, SharesAreTruncatedAndTheRestGoesToThePoorestBudgetedAccount)
{
    EXPECT_EQ(t_->aibuild.credit[0], 1000);
    EXPECT_EQ(t_->aibuild.accounts_enabled, 0);
    Budgets({{1, 1}, {2, 1}, {3, 1}});
    EXPECT_EQ(t_->aibuild.credit[1], 334);   // 333 each, the rest to the lowest of the equals
    EXPECT_EQ(t_->aibuild.credit[2], 333);
    EXPECT_EQ(t_->aibuild.credit[3], 333);
    AIBuild_CreditAdd(t_, 2);
    EXPECT_EQ(t_->aibuild.credit[2], 335);   // shares 0: all to the poorest, the lowest number
    EXPECT_EQ(t_->aibuild.credit[3], 333);
    Budgets({});
    EXPECT_EQ(t_->aibuild.accounts_enabled, 0);
    EXPECT_EQ(t_->aibuild.credit[1], 0);
    EXPECT_EQ(t_->aibuild.credit[0], 1002);
}

TEST_F(Books, SpendTakesInProportionNotOneCreditAtATime)
{
    Budgets({{1, 3}, {2, 1}});
    EXPECT_EQ(t_->aibuild.credit[1], 750);
    AIBuild_CreditSpend(t_, 400);
    EXPECT_EQ(t_->aibuild.credit[1], 450);   // 3/4 of 400
    EXPECT_EQ(t_->aibuild.credit[2], 150);
    EXPECT_EQ(t_->aibuild.credit[0], 600);
    // An empty account leaves the denominator; the other pays it all.
    AIBuild_CreditSpend(t_, 300);
    AIBuild_CreditSpend(t_, 300);
    EXPECT_EQ(t_->aibuild.credit[0], 0);
    QV_EXPECT_FATAL(AIBuild_CreditSpend(t_, 1), "ASSERT (credits <= the_team->aibuild.credit[0])");
    QV_EXPECT_FATAL(AIBuild_CreditSpend(t_, -1), "ASSERT (credits > 0)");
    QV_EXPECT_FATAL(AIBuild_CreditAdd(t_, -1), "ASSERT (credits >= 0)");
    t_->aibuild.credit[0] = 10;   // books broken by hand: no account holds it
    QV_EXPECT_FATAL(AIBuild_CreditSpend(t_, 5), "ASSERT (denominator != 0)");
    t_->aibuild.budget[1] = t_->aibuild.budget[2] = 0;
    QV_EXPECT_FATAL(AIBuild_CreditAdd(t_, 5), "ASSERT (min_node)");
}

TEST_F(Books, RandomAddSpendRedistributeAndTrimKeepTheBooks)
{
    Budgets({{1, 5}, {4, 2}, {9, 7}, {31, 1}}, {{4, 50}, {31, 20}});
    for (int i = 0; i < 3000; i++) {
        const int op = Rand_Next(4);
        const int amount = Rand_Next(300);
        if (op == 0) {
            AIBuild_CreditAdd(t_, amount);
            teamdata[2].credits += amount;
        } else if (op == 1 && t_->aibuild.credit[0] > 0) {
            const int take = 1 + amount % t_->aibuild.credit[0];
            AIBuild_CreditSpend(t_, take);
            teamdata[2].credits -= take;
        } else if (op == 2) AIBuild_CreditRedistribute(t_);
        else AIBuild_ReserveTrim(t_);
        ASSERT_TRUE(AIBuild_BooksBalance(t_)) << i;
        for (int a = 0; a < AIBUILD_MAX_ACCOUNTS; a++) ASSERT_GE(t_->aibuild.credit[a], 0) << i;
    }
    AIBuild_ReserveTrim(t_);
    EXPECT_LE(t_->aibuild.credit[4] + t_->aibuild.credit[31], t_->aibuild.credit[0]);
}

TEST_F(Books, UnderConstructionRowsCoverEveryIdAndNeverGoBelowZero)
{
    EXPECT_EQ(AIBuild_UnderConstructionLength(2), PREREQ_Count());
    AIBuild_UnderConstructionAdd(2, 13);
    AIBuild_UnderConstructionAdd(2, 1);
    EXPECT_EQ(AIBuild_FacilitiesUnderConstruction(2), 1);
    AIBuild_UnderConstructionRemove(2, 13);
    AIBuild_UnderConstructionRemove(2, 13);   // nothing bought: logged, stays 0
    EXPECT_EQ(AIBuild_UnderConstruction(2, 13), 0);
    EXPECT_EQ(AIBuild_FacilitiesUnderConstruction(2), 0);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 1);
    AIBuild_UnderConstructionAdd(2, 999);      // off the row: logged
    EXPECT_EQ(AIBuild_UnderConstruction(2, 999), 0);
    AIBuild_ConstructionNew(t_);
    EXPECT_NE(log_.text().find("AIBuild_ConstructionNew called twice with no delete"), std::string::npos);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 1);   // the row is kept
}

TEST_F(Books, CheckedInvariantsEndTheStepWhenBroken)
{
    AIP_struct* p = Plan(std::string(kStructs) + "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                                                 "entry a[] = { {1, 0, \"Tank\", 1} };\n");
    AI_Team::SetPlan(t_, p);
    teamdata[2].credits += 5;
    QV_EXPECT_FATAL(AIBuild_Process(t_),
                    "ASSERT (the_team->aibuild.credit[0] + the_team->aibuild.prespent_credits == "
                    "teamdata[the_team->team_ID].credits)");
    teamdata[2].credits -= 5;
    Budgets({{1, 1}});
    t_->aibuild.credit[1]++;
    QV_EXPECT_FATAL(AIBuild_Process(t_), "ASSERT (the_team->aibuild.credit[0] == total)");
    AIP_Delete(p);
}

// A state machine's bonus past the 32-bit limit saturated the team's
// credits but wrapped the books: once at the limit, or a billion every 150
// updates, ended the game at an assertion. The books take what the credits
// rose by, and no account's share passes the limit (single precision rounds
// an amount near 2^31 up to 2^31).
class AiKeepsPlayingBooks : public Books {};

TEST_F(AiKeepsPlayingBooks, RegressionBonusCreditsPastTheLimitKeepTheBooksEqualToTheTeamsCredits)
{
    struct Row {
        const char* name;
        std::initializer_list<std::pair<int, int>> budgets;
        int prespent, amount, times;
    };
    const Row rows[] = {
        {"the limit once, one account", {{1, 1}}, 0, INT32_MAX, 1},
        {"the limit once, with prespent credits", {{1, 1}, {2, 3}}, 300, INT32_MAX, 1},
        {"a billion every 150 updates", {{1, 5}, {4, 2}}, 0, 1000000000, 4},
        {"the limit twice, no accounts", {}, 200, INT32_MAX, 2},
    };
    for (const Row& row : rows) {
        AI_Close();
        Team_SetCredits(2, 1000);
        Init();
        t_ = Team(2);
        Budgets(row.budgets);
        AIBuild_CreditSpend(t_, row.prespent);
        t_->aibuild.prespent_credits = row.prespent;
        GIVEBONUSCREDITS bonus{2, row.amount};
        CONDSTATE state{};
        state.give_bonus_credits = GLL_Create();
        GLL_InsertAfter(state.give_bonus_credits, &bonus);
        for (int i = 0; i < row.times; i++, g_UpdateCount += 150) {
            Endcond_EnterState(&state, 2, ENDCOND_FSM);
            EXPECT_EQ(t_->aibuild.credit[0] + t_->aibuild.prespent_credits, teamdata[2].credits) << row.name;
            EXPECT_TRUE(AIBuild_BooksBalance(t_)) << row.name;
            for (int a = 0; a < AIBUILD_MAX_ACCOUNTS; a++) EXPECT_GE(t_->aibuild.credit[a], 0) << row.name;
        }
        EXPECT_EQ(teamdata[2].credits, INT32_MAX) << row.name;
        GLL_Destroy(state.give_bonus_credits, nullptr);
    }
}

// ------------------------------------------------------------------ programs

class Programs : public Books {
protected:
    // One account of levels (build type, priority, {type id, number}...).
    AIBUILD_ACCOUNT* Account(std::initializer_list<std::pair<int, std::initializer_list<std::pair<int, int>>>> levels)
    {
        AIBUILD_ACCOUNT* a = AIBuild_AccountNew((int)levels.size());
        int l = 0;
        for (const auto& [type, nodes] : levels) {
            AIBuild_AccountSetLevel(a, l, 10, (int)nodes.size(), type);
            int n = 0;
            for (auto [id, number] : nodes) AIBuild_AccountSetNode(a, l, n++, id, number);
            l++;
        }
        return a;
    }
    void Attach(int slot, AIBUILD_ACCOUNT* a)
    {
        if (!program_) {
            program_ = AIBuild_ProgramNew();
            AIBuild_SetConstructionProgram(t_, program_);
        }
        AIBuild_TeamSetAccount(t_, slot, a);
    }
    void TearDown() override
    {
        AIBuild_ProgramDelete(program_);
        Books::TearDown();
    }
    std::string Candidates() const
    {
        std::string s;
        for (int i = 0; i < t_->aibuild.candidates; i++) {
            const AIBUILD_CANDIDATE& c = t_->aibuild.candidate[i];
            s += std::to_string(c.item) + "x" + std::to_string(c.quantity) + "@" +
                 std::to_string(c.account) + "k" + std::to_string(c.kind) + " ";
        }
        return s;
    }
    AIBUILD_PROGRAM* program_ = nullptr;
};

TEST_F(Programs, SettersAssertTheirArguments)
{
    AIBUILD_ACCOUNT* a = AIBuild_AccountNew(1);
    AIBuild_AccountSetLevel(a, 0, 1, 1, RATIO_TO_BUILD);
    QV_EXPECT_FATAL(AIBuild_AccountNew(0), "ASSERT (priority_levels > 0)");
    QV_EXPECT_FATAL(AIBuild_AccountSetLevel(a, 1, 1, 1, 0),
                    "ASSERT ((priority_level >= 0) && (priority_level < account->priority_levels))");
    QV_EXPECT_FATAL(AIBuild_AccountSetLevel(a, 0, 1, 0, 0), "ASSERT (number_of_nodes > 0)");
    QV_EXPECT_FATAL(AIBuild_AccountSetLevel(a, 0, 256, 1, 0),
                    "ASSERT ((priority >= 0) && (priority <= AIBUILD_MAX_PRIORITY))");
    QV_EXPECT_FATAL(AIBuild_AccountSetLevel(a, 0, 1, 1, 4),
                    "ASSERT ((build_type >= 0) && (build_type <= 3))");
    QV_EXPECT_FATAL(AIBuild_AccountSetNode(a, 0, 1, 1, 1),
                    "ASSERT ((node_number >= 0) && (node_number < account->priority_level[priority_level].nodes))");
    QV_EXPECT_FATAL(AIBuild_AccountSetNode(a, 0, 0, 99, 1), "ASSERT (PREREQ_IsValid (object_type))");
    QV_EXPECT_FATAL(AIBuild_AccountSetNode(a, 0, 0, 1, 0), "ASSERT (number > 0)");
    QV_EXPECT_FATAL(AIBuild_AccountSetNumberToHave(a, 0, 0, 1),
                    "ASSERT (account->priority_level[priority_level].build_type == NUMBER_TO_HAVE)");
    QV_EXPECT_FATAL(AIBuild_TeamSetAccount(t_, 0, nullptr),
                    "ASSERT (the_team->aibuild.construction_program)");
    AIBUILD_PROGRAM* p = AIBuild_ProgramNew();
    QV_EXPECT_FATAL(AIBuild_ProgramSetAccount(p, 32, a),
                    "ASSERT ((account_number >=0) && (account_number < AIBUILD_MAX_ACCOUNTS))");
    AIBuild_ProgramSetAccount(p, 5, a);
    AIBuild_ProgramDelete(p);   // frees the account with it
}

TEST_F(Programs, EachBuildTypeOffersAndCountsAsThePartSays)
{
    Build_New(factory_, 2, -1, 10, 10);
    struct Row {
        const char* name;
        int type;
        std::initializer_list<std::pair<int, int>> nodes;
        int bought;   // purchases before the list is read
        const char* expect;
    } rows[] = {
        {"have: number minus have", NUMBER_TO_HAVE, {{1, 3}, {2, 1}}, 0, "1x3@0k0 2x1@0k0 "},
        {"build: what is still to build", NUMBER_TO_BUILD, {{1, 2}}, 1, "1x1@0k1 "},
        {"ratio: the one ahead held back", RATIO_TO_BUILD, {{1, 2}, {2, 1}}, 0, "2x1@0k2 "},
        {"ratio have: counts what is owned", RATIO_TO_HAVE, {{1, 2}, {2, 1}}, 0, "2x1@0k3 "},
    };
    for (const Row& r : rows) {
        Attach(0, Account({{r.type, r.nodes}}));
        for (int i = 0; i < r.bought; i++) {
            AIBuild_BuildCandidates(t_);
            ASSERT_NE(AIBuild_ChooseItem(t_, 10, AIBUILD_BUILD, nullptr, nullptr, nullptr), 0) << r.name;
        }
        AIBuild_BuildCandidates(t_);
        EXPECT_EQ(Candidates(), r.expect) << r.name;
    }
    // The counters: a NUMBER_TO_BUILD purchase counts down, a ratio one up.
    Attach(0, Account({{RATIO_TO_BUILD, {{1, 2}, {2, 1}}}}));
    const AIBUILD_NODE* n = program_->account[0]->priority_level[0].node;
    for (int i = 0; i < 3; i++) {
        AIBuild_BuildCandidates(t_);
        AIBuild_ChooseItem(t_, 10, AIBUILD_BUILD, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(n[0].internal + n[1].internal, 3);
    EXPECT_EQ(n[0].internal, 2);   // 2 : 1 as weighted
    EXPECT_TRUE(AIBuild_BooksBalance(t_) || t_->aibuild.prespent_credits > 0);
    EXPECT_EQ(t_->aibuild.credit[0] + t_->aibuild.prespent_credits, 1000);
}

TEST_F(Programs, AWantingLevelHidesTheLevelsBelowItAndAccountZeroHidesTheRest)
{
    Build_New(factory_, 2, -1, 10, 10);
    // The upgrade's lab is missing: the first level wants it and can't have it.
    Attach(1, Account({{NUMBER_TO_HAVE, {{13, 2}}}, {NUMBER_TO_HAVE, {{1, 1}}}}));
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(Candidates(), "13x2@1k0 ");   // eligible as an upgrade of the owned factory
    Build_New(big_, 2, -1, 20, 20);
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(Candidates(), "");            // one factory, one big one: no longer eligible
    Attach(2, Account({{NUMBER_TO_HAVE, {{2, 1}}}}));
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(Candidates(), "2x1@2k0 ");
    Attach(0, Account({{NUMBER_TO_HAVE, {{1, 1}}}}));
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(Candidates(), "1x1@0k0 ");
    // The 41st candidate is dropped.
    AIBUILD_ACCOUNT* many = AIBuild_AccountNew(1);
    AIBuild_AccountSetLevel(many, 0, 1, 45, NUMBER_TO_HAVE);
    for (int i = 0; i < 45; i++) AIBuild_AccountSetNode(many, 0, i, 1, 100 + i);
    Attach(0, many);
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(t_->aibuild.candidates, AIBUILD_MAX_CANDIDATES);
    EXPECT_EQ(t_->aibuild.candidate[39].quantity, 139);
}

TEST_F(Programs, TheAccountsTakeTurnsAtTheHeadOfTheList)
{
    Build_New(factory_, 2, -1, 10, 10);
    Attach(1, Account({{NUMBER_TO_HAVE, {{1, 1}}}}));
    Attach(31, Account({{NUMBER_TO_HAVE, {{2, 1}}}}));
    std::string seen;
    for (int i = 0; i < 32; i++) {
        AIBuild_BuildCandidates(t_);
        if (t_->aibuild.next_account == 2 || t_->aibuild.next_account == 1) seen += Candidates() + "| ";
    }
    // Started at 1 the list is 1 then 31; started at 31, 31 then 1.
    EXPECT_EQ(seen, "1x1@1k0 2x1@31k0 | 2x1@31k0 1x1@1k0 | 1x1@1k0 2x1@31k0 | ");
}

TEST_F(Programs, ProducersBuyOnlyWhatTheyMakeAndCanPayFor)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    Build_New(lab_, 2, -1, 30, 30);
    Attach(0, Account({{NUMBER_TO_HAVE, {{1, 1}, {13, 1}}}}));
    AIBuild_BuildCandidates(t_);
    int account = -1;
    // Build mode: the factory makes tanks, not its own upgrade.
    EXPECT_EQ(AIBuild_ChooseItem(t_, 10, AIBUILD_BUILD, &account, nullptr, nullptr), 1);
    EXPECT_EQ(AIBuild_ChooseItem(t_, 10, AIBUILD_BUILD, &account, nullptr, nullptr), 0);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 1);
    EXPECT_EQ(t_->aibuild.prespent_credits, 100);
    // Upgrade mode: only the type that upgrades from the producer's.
    EXPECT_EQ(AIBuild_ChooseItem(t_, 12, AIBUILD_UPGRADE, &account, nullptr, nullptr), 0);
    EXPECT_EQ(AIBuild_ChooseItem(t_, 10, AIBUILD_UPGRADE, &account, nullptr, nullptr), 13);
    EXPECT_EQ(t_->aibuild.prespent_credits, 500);
    EXPECT_EQ(AIBuild_FacilitiesUnderConstruction(2), 1);
    // Too dear: stays in the list.
    Attach(0, Account({{NUMBER_TO_HAVE, {{2, 5}}}}));
    t_->aibuild.credit[0] = 49;
    teamdata[2].credits = 49 + 500;
    AIBuild_BuildCandidates(t_);
    EXPECT_EQ(AIBuild_ChooseItem(t_, 10, AIBUILD_BUILD, &account, nullptr, nullptr), 0);
    EXPECT_EQ(AIBuild_CostOfObject(99), 1000000000);
    (void)f;
}

TEST_F(Programs, TheStepStartsProductionAndUpgradesAndUndoesWhatDoesNotStart)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    Build_New(lab_, 2, -1, 30, 30);
    AIP_struct* p = Plan(std::string(kStructs) +
                         "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                         "entry a[] = { {1, 0, \"BigFactory\", 1} };\n");
    AI_Team::SetPlan(t_, p);
    AI_Activate(2);
    AIBuild_Process(t_);
    EXPECT_EQ(f->state, BS_UPGRADING);
    EXPECT_EQ(f->ai.refundable, 400);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 13), 1);
    AIP_Delete(p);
    // A factory asked for a building type it names as made by it.
    BUILDING* g = Build_New(factory_, 3, -1, 40, 40);
    lab_->prereq.makers[0] = 10;
    Team_SetCredits(3, 1000);
    AI_Close();
    Init();
    AI_Team* t3 = Team(3);
    AIBUILD_PROGRAM* prog = AIBuild_ProgramNew();
    AIBuild_SetConstructionProgram(t3, prog);
    AIBuild_TeamSetAccount(t3, 0, Account({{NUMBER_TO_HAVE, {{12, 1}}}}));
    t3->plan = nullptr;
    // The placement search doesn't exist: a building in build mode is never bought.
    AIBuild_Process(t3);
    EXPECT_EQ(g->state, BS_IDLE);
    EXPECT_EQ(t3->aibuild.prespent_credits, 0);
    AIBuild_ProgramDelete(prog);
}

// ------------------------------------------------------------------ the frame

class Frame : public AiWorld {};

TEST_F(Frame, HooksIgnoreOtherTeamsAndWaitForInit)
{
    UNIT* mine = Units_NewAt(tank_, 2, -1, 10, 10);
    UNIT* theirs = Units_NewAt(tank_, 4, -1, 12, 10);
    BUILDING* site = Build_NewConstructionSite(factory_, 2, 30, 30);
    BUILDING* up = Build_New(factory_, 2, -1, 40, 40);
    up->state = BS_UPGRADING;
    // Before AI_Init the five hooks wait (the others find no AI team).
    Init();
    AIBuild_UnderConstructionAdd(2, 10);
    AIBuild_UnderConstructionAdd(2, 13);
    AI_Close();
    AI_UnitAdd(mine);
    AI_UnitRemove(mine);
    AI_BuildingRemove(site);
    AI_BuildingRemoveUnderConstruction(site);
    AI_BuildingRemoveUnderUpgrade(up);
    Init();
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 0);   // a new row: nothing carried over
    AIBuild_UnderConstructionAdd(2, 10);
    AIBuild_UnderConstructionAdd(2, 13);
    AI_BuildingRemoveUnderConstruction(site);
    AI_BuildingRemoveUnderUpgrade(up);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 0);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 13), 0);
    up->state = BS_IDLE;
    ASSERT_TRUE(AI_IsComputerTeam(2));
    EXPECT_FALSE(AI_IsComputerTeam(4));
    EXPECT_EQ(Team(2)->units->count, 1);   // its units joined at AI_Init
    EXPECT_EQ(mine->tactaiinfo.autonomy, TACTAI_MEDIUM);   // no weapon made on it
    EXPECT_EQ(mine->usertactaiinfo.tenacity, TACTAI_MEDIUM);
    AI_UnitAdd(theirs);
    AI_UnitAdd(mine);                      // listed once
    EXPECT_EQ(Team(2)->units->count, 1);
    EXPECT_EQ(Team(4), nullptr);
    AI_UnitRemove(theirs);
    AI_UnitRemove(mine);
    EXPECT_EQ(Team(2)->units->count, 0);
    EXPECT_EQ(Team(2)->combat_count[0], 0);
    AI_GiveCredits(4, 50);
    EXPECT_EQ(AI_GetCredits(4), 0);
    AI_Close();
    AI_Close();
    EXPECT_NE(log_.text().find("AI::AI_Close CALLED WITHOUT MATCHING OPEN !!!"), std::string::npos);
}

TEST_F(Frame, ATeamNeverActivatedHearsButNeverThinks)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    Team_SetCredits(2, 1000);
    AIP_struct* p = Plan(std::string(kStructs) +
                         "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                         "entry a[] = { {1, 0, \"Tank\", 2} };\n");
    Init();
    AI_AIPSwitch(2, p);
    AI_GiveCredits(2, 10);
    teamdata[2].credits += 10;
    EXPECT_EQ(AI_GetCredits(2), 1010);
    Step(3);
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_EQ(AI_Activate(2), 1);
    EXPECT_EQ(AI_Activate(2), 0);
    Step(1);
    EXPECT_EQ(f->state, BS_PRODUCING);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 1);
    EXPECT_EQ(AI_Deactivate(2), 1);
    EXPECT_EQ(AI_Deactivate(4), 0);
    AIP_Delete(p);
}

TEST_F(Frame, AReleasedForceJoinsOnceAndCloseAndInitRebuildTheTeams)
{
    UNIT* a = Units_NewAt(tank_, 2, -1, 10, 10);
    UNIT* b = Units_NewAt(tank_, 2, -1, 11, 10);
    SPECIAL_FORCE* force = AI_NewSpecialForce(2, 0xFFFFFFFFu);
    AI_AddToSpecialForce(force, a->id);
    Team_SetCredits(2, 300);
    Init();
    EXPECT_EQ(Team(2)->units->count, 1);   // the force's unit kept out
    EXPECT_EQ(a->tactaiinfo.tenacity, TACTAI_LOW);
    AI_ReleaseSpecialForce(force);
    AI_ReleaseSpecialForce(force);
    EXPECT_EQ(Team(2)->units->count, 2);
    // As after a load: the teams are made again from what the game holds.
    AI_Close();
    EXPECT_EQ(AI_GetTeam(2), nullptr);
    AI_BootTeam(2);
    Init();
    EXPECT_EQ(Team(2)->units->count, 2);   // released: no longer kept out
    EXPECT_EQ(AI_GetCredits(2), 300);
    (void)b;
}

TEST_F(Frame, AfterALoadTheTeamsAreBootedAndStartAgainFromWhatIsThere)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    Team_SetCredits(2, 1000);
    AIP_struct* p = Plan(std::string(kStructs) +
                         "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                         "entry a[] = { {1, 0, \"Tank\", 2} };\n");
    Arm(1);   // no unit is made here: the strengths need the parts at every start
    AI_Init();
    AI_Activate(2);
    AI_AIPSwitch(2, p);
    Step(1);
    ASSERT_EQ(f->state, BS_PRODUCING);
    ASSERT_GT(Team(2)->aibuild.prespent_credits, 0);
    // The load's take-down and rebuild around the loaded records (a game
    // with buildings takes a load once buildings are saved).
    Save_PreSaveParsing();
    Save_PostSaveParsing();
    // Production cancelled and paid back; the books start from the credits.
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_EQ(teamdata[2].credits, 1000);
    EXPECT_EQ(Team(2)->aibuild.prespent_credits, 0);
    EXPECT_EQ(Team(2)->aibuild.credit[0], 1000);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 0);
    EXPECT_TRUE(AI_IsEnabled(2));
    EXPECT_EQ(Team(2)->plan, nullptr);   // no state machine: no plan to go back to
    Arm(0);
    AIP_Delete(p);
}

TEST_F(Frame, RegressionARefundToAnAccountWithoutBudgetIsSharedOut)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    Team_SetCredits(2, 1000);
    Init();
    AI_Team* t = Team(2);
    int32_t first[AIBUILD_MAX_ACCOUNTS] = {0, 1, 1}, later[AIBUILD_MAX_ACCOUNTS] = {0, 1};
    AIBuild_CreditDistribute(t, first, nullptr);
    AI_SpendFromAccount(2, 2, 100);   // bought through account 2
    t->aibuild.prespent_credits += 100;
    f->state = BS_PRODUCING;
    f->ai = {2, 100};
    AIBuild_CreditDistribute(t, later, nullptr);   // a new plan: account 2 has no budget
    AI_BuildingRemove(f);
    EXPECT_EQ(t->aibuild.credit[2], 0);
    EXPECT_EQ(t->aibuild.credit[1], 1000);
    AIBuild_CreditSpend(t, 1000);   // would end at "denominator != 0" with 100 left in 2
    EXPECT_EQ(t->aibuild.credit[0], 0);
}

TEST_F(Frame, RegressionAStartedFrameHoldsNothingForEarlierPurchases)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    f->state = BS_PRODUCING;
    f->ai = {3, 250};   // held by a frame that was closed without the boot
    Init();
    EXPECT_EQ(f->ai.refundable, 0);
    AI_BuildingRemove(f);   // else: "amount <= prespent" ends the game
    EXPECT_EQ(Team(2)->aibuild.prespent_credits, 0);
    f->state = BS_IDLE;
}

TEST_F(Frame, ChargesRefundsAndReturnsKeepTheBooks)
{
    BUILDING* f = Build_New(factory_, 2, -1, 10, 10);
    UNIT* crew = Units_NewAt(crew_, 2, -1, 20, 20);
    Team_SetCredits(2, 1000);
    Init();
    AI_Team* t = Team(2);
    int32_t budgets[AIBUILD_MAX_ACCOUNTS] = {0, 1, 1};
    AIBuild_CreditDistribute(t, budgets, budgets);
    // A purchase through account 2 that the engine charges in two steps.
    AIBuild_UnderConstructionAdd(2, 1);
    AI_SpendFromAccount(2, 2, 100);
    t->aibuild.prespent_credits += 100;
    f->state = BS_PRODUCING;
    f->unittypetobuild = tank_;
    f->ai = {2, 100};
    AI_RefundPrespent(f, 60);
    teamdata[2].credits -= 60;
    EXPECT_TRUE(AIBuild_BooksBalance(t));
    // Removed half paid: the rest goes back to account 2.
    AI_BuildingRemove(f);
    EXPECT_EQ(t->aibuild.prespent_credits, 0);
    EXPECT_EQ(t->aibuild.credit[2], 500 - 100 + 40);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1), 0);
    EXPECT_TRUE(AIBuild_BooksBalance(t));
    // A crew shot dead on its way gives its purchase back.
    crew->ai.cc_construct_type = 10;
    crew->ai.cc_construct_cost = 500;
    crew->ai.cc_account = 0;
    AIBuild_UnderConstructionAdd(2, 10);
    AIBuild_CreditSpend(t, 500);
    t->aibuild.prespent_credits += 500;
    AI_UnitRemove(crew);
    EXPECT_EQ(t->aibuild.prespent_credits, 0);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 10), 0);
    EXPECT_TRUE(AIBuild_BooksBalance(t));
    f->state = BS_IDLE;
    QV_EXPECT_FATAL(AI_RefundPrespent(f, 1), "ASSERT (Holds(building))");
    QV_EXPECT_FATAL(AI_SpendCredits(2, 100000), "ASSERT (credits <= the_team->aibuild.credit[0])");
}

// ------------------------------------------------------------------ the engine's calls

class Flow : public AiWorld {
protected:
    void SetUp() override
    {
        AiWorld::SetUp();
        factory_->repaircost[0] = 10;
        factory_->repaircost[1] = 25;
        factory_->sell[0] = 50;
        factory_->sell[1] = 2;
        f_ = Build_New(factory_, 2, -1, 10, 10);
        Build_New(lab_, 2, -1, 30, 30);
        Team_SetCredits(2, 1500);
        plan_ = Plan(std::string(kStructs) +
                     "account unit_construction_program[] = { {\"up\", 0, 0}, {\"army\", 1, 0} };\n"
                     "entry up[] = { {1, 0, \"BigFactory\", 1} };\n"
                     "entry army[] = { {1, 2, \"Tank\", 2}, {1, 2, \"Jet\", 1} };\n");
        Init();
        AI_Activate(2);
        AI_AIPSwitch(2, plan_);
    }
    void TearDown() override
    {
        AI_Close();
        AIP_Delete(plan_);
        AiWorld::TearDown();
    }
    // Runs n updates; false at the first whose books don't balance.
    bool Run(int n)
    {
        for (int i = 0; i < n; i++) {
            Step();
            if (!AIBuild_BooksBalance(Team(2))) return false;
        }
        return true;
    }
    BUILDING* f_ = nullptr;
    AIP_struct* plan_ = nullptr;
};

TEST_F(Flow, ChargesOfUpgradesAndProductionKeepTheBooksAndTheCountsEndAtZero)
{
    ASSERT_TRUE(Run(1));
    EXPECT_EQ(f_->state, BS_UPGRADING);   // account 0 first: the upgrade
    EXPECT_EQ(Team(2)->aibuild.prespent_credits, 200);   // half charged in the same update
    EXPECT_EQ(f_->ai.refundable, 200);
    ASSERT_TRUE(Run(3));
    EXPECT_EQ(f_->buildingtype, big_);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 13), 0);
    ASSERT_TRUE(Run(60));
    EXPECT_GE(teamdata[2].stats.made_units, 4);
    EXPECT_EQ(Team(2)->units->count, teamdata[2].stats.made_units);
    // Two tanks bought for every jet.
    const AIBUILD_NODE* n = plan_->construction_program->account[1]->priority_level[0].node;
    EXPECT_GE(n[0].internal, 2 * n[1].internal - 2);
    EXPECT_LE(n[0].internal, 2 * n[1].internal + 2);
    EXPECT_EQ(n[0].internal + n[1].internal, teamdata[2].stats.made_units + (f_->state == BS_PRODUCING));
    const int unfinished = f_->state == BS_PRODUCING;
    EXPECT_EQ(AIBuild_UnderConstruction(2, 1) + AIBuild_UnderConstruction(2, 2), unfinished);
    if (unfinished) {
        // Regression (credits committed for good): cancelled, what was paid
        // comes back and what was held is released.
        Build_CancelProduction(f_);
        EXPECT_TRUE(AIBuild_BooksBalance(Team(2)));
        EXPECT_EQ(Team(2)->aibuild.prespent_credits, 0);
        EXPECT_EQ(AIBuild_UnderConstruction(2, 1) + AIBuild_UnderConstruction(2, 2), 0);
    }
}

TEST_F(Flow, RepairWaitsForUncommittedMoneyAndSalesAndRemovalsKeepTheBooks)
{
    ASSERT_TRUE(Run(1));   // 400 committed to the upgrade
    BUILDING* lab = teamdata[2].firstbuilding == f_ ? f_->teamnext : teamdata[2].firstbuilding;
    lab->buildingtype->repaircost[0] = 10;
    lab->buildingtype->repaircost[1] = 25;
    lab->hitpoints = 100;
    // Everything but 5 committed: the repair (10 a step) waits.
    AI_Team* t = Team(2);
    AIBuild_CreditSpend(t, t->aibuild.credit[0] - 5);
    t->aibuild.prespent_credits = teamdata[2].credits - 5;
    ASSERT_TRUE(Run(3));
    EXPECT_EQ(lab->hitpoints, 100);
    AIBuild_CreditAdd(t, 100);
    teamdata[2].credits += 100;
    ASSERT_TRUE(Run(3));
    EXPECT_GT(lab->hitpoints, 100);   // marked for repair by the plan, paid from the books
    // The upgrading factory removed: what it still held goes back.
    Build_RemoveFromGame(f_, BRM_DESTROYED);
    EXPECT_EQ(AIBuild_UnderConstruction(2, 13), 0);
    EXPECT_TRUE(AIBuild_BooksBalance(t));
    lab->hitpoints = lab->buildingtype->maxhitpoints;
    lab->buildingtype->sell[0] = 50;
    ASSERT_EQ(Build_Sell(lab), 1);
    ASSERT_TRUE(Run(3));
    EXPECT_EQ(teamdata[2].firstbuilding, nullptr);
}

TEST_F(Flow, AGiftIsCutToUncommittedMoneyAndReachesTheReceiversAccounts)
{
    ASSERT_TRUE(Run(1));   // 400 committed to the upgrade, 200 of it charged
    Orders_Init();
    const int uncommitted = AI_GetCredits(2);
    ASSERT_LT(uncommitted, teamdata[2].credits);
    Orders_QGiveCredits(2, 3, 1000000);
    Orders_AfterUpdate();
    EXPECT_EQ(AI_GetCredits(2), 0);
    EXPECT_EQ(teamdata[2].credits, Team(2)->aibuild.prespent_credits);   // what the upgrade holds stays
    EXPECT_EQ(teamdata[3].credits, uncommitted);
    EXPECT_EQ(AI_GetCredits(3), uncommitted);
    EXPECT_TRUE(AIBuild_BooksBalance(Team(2)));
    EXPECT_TRUE(AIBuild_BooksBalance(Team(3)));
    Orders_Close();
}

TEST_F(Flow, UnitsFollowTheirTeamsIntoAndOutOfTheUnitList)
{
    UNIT* u = Units_NewAt(tank_, 2, -1, 20, 20);
    AI_UnitAdd(u);
    AI_Team* t = Team(2);
    EXPECT_EQ(t->units->count, 1);
    Units_GiveUnitToOtherTeam_Long(u, 4, 0);
    EXPECT_EQ(t->units->count, 0);
    // Back without the flag (a script's change): not the computer player's
    // yet; with it, listed again.
    Units_GiveUnitToOtherTeam_Long(u, 2, 0);
    EXPECT_EQ(t->units->count, 0);
    Units_GiveUnitToOtherTeam_Long(u, 4, 0);
    Units_GiveUnitToOtherTeam_Long(u, 2, 1);
    EXPECT_EQ(t->units->count, 1);
    // A veteran's new type: out and in again, listed once.
    UNIT* v = Units_ChangeUnitType(u, jet_, 1);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(t->units->count, 1);
    EXPECT_EQ(t->combat_count[0], 1);
    // A force's member changed stays out.
    SPECIAL_FORCE* force = AI_NewSpecialForce(2, 0xFFFFFFFFu);
    AI_AddToSpecialForce(force, v->id);
    Units_Delete(v);
    EXPECT_EQ(t->units->count, 0);
    UNIT* w = Units_NewAt(tank_, 2, -1, 21, 21);
    AI_AddToSpecialForce(force, w->id);
    ASSERT_NE(Units_ChangeUnitType(w, jet_, 1), nullptr);
    EXPECT_EQ(t->units->count, 0);
    AI_ReleaseSpecialForce(force);
    EXPECT_EQ(t->units->count, 1);
}

}   // namespace
