// Squads, the scheduler that fills cells with them, the strategic cycle
// that forms and moves them, and the attack events that call for help.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aidebug.h"
#include "ai/aigrid.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "ai/schedule.h"
#include "ai/squad.h"
#include "core/console.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/tlog.h"
#include "core/sortarr.h"
#include "core/uid.h"
#include "map/cre.h"
#include "map/fog.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "map/pathsrch.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/damage.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/target.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitproc.h"
#include "units/unitsorder.h"
#include "units/weapon.h"

namespace {

class SquadWorld : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Tlog_SetMask(Tlog_GetMask() | TLOG_AI | TLOG_SCHEDULE);
        Uid_Reset();
        g_UpdateCount = 0;
        // Basic strength 10 / 10 = 1: a unit's strength is its hit points.
        Weapon_Init();
        gun_ = Parts_NewType();
        WEAPONTYPE* w = Weapon_NewType();
        w->oinfo.hitpoints = -10;
        w->firedelay = 10;
        w->CanShootGround = 1;
        gun_->weapons[0].type = w;
        gun_->nrweapons = 1;
        flak_ = Parts_NewType();
        WEAPONTYPE* f = Weapon_NewType();
        f->oinfo.hitpoints = -10;
        f->firedelay = 10;
        f->CanShootFlyer = 1;
        flak_->weapons[0].type = f;
        flak_->nrweapons = 1;
        tank_->prereq.id = 1;
        Units_PostProcessAllTypes();
        for (TEAM_DATA& td : teamdata) td.type = TT_HUMAN;
        teamdata[2].type = TT_COMPUTER;
        Team_ForceRelation(2, 4, TR_ENEMY);
        Team_ForceRelation(4, 2, TR_ENEMY);
        Fog_SetSeeAll(1);
        CRE_Build();
        PREREQ_Init();
        AI_SpecialForcesInit();
        AI_AIPInit();
    }
    void TearDown() override
    {
        for (UNIT* u : armed_) u->basepart = nullptr;
        if (ai_game_initialised) AI_Close();
        if (plan_) AIP_Delete(plan_);
        AI_AIPClose();
        AI_SpecialForcesClose();
        PREREQ_Done();
        CRE_Close();
        Fog_SetSeeAll(0);
        Weapon_Close();
        Parts_FreeTypes();
        QvWorldTest::TearDown();
    }
    // The team's plan with the given weights, thinking every 9th update.
    void Start(const std::string& weights = "")
    {
        dir_.write("plan.aip",
                   "struct account { string account_name; int budget; int max_reserve; };\n"
                   "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
                   "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
                   "entry a[] = { {1, 0, \"Tank\", 0} };\n"
                   "int recompute_strategy_period = 0; int relaxation_cycles = 0;\n"
                   "float relaxation_coefficient = 0.0; int ground_unit_threat = 10;\n"
                   "double generic_ground_ratio = 0.999999; double max_matching_force_ratio = 2.0;\n"
                   "double min_matching_force_ratio = 1.0;\n" + weights);
        plan_ = AIP_Load(dir_.file("plan.aip").c_str());
        ASSERT_NE(plan_, nullptr);
        Init();
        AI_Activate(2);
        AI_AIPSwitch(2, plan_);
    }
    // The strengths need a part on every type while they are computed;
    // units made later carry theirs by hand.
    void Init()
    {
        PARTTYPE* bare = Parts_NewType();
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            Units_GetTypePtr(i)->partinfo.nrparts = 1;
            Units_GetTypePtr(i)->partinfo.parttype[0] = Units_GetTypePtr(i) == tank_ ? gun_ : bare;
        }
        AI_Init();
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            Units_GetTypePtr(i)->partinfo.nrparts = 0;
            Units_GetTypePtr(i)->partinfo.parttype[0] = nullptr;
        }
    }
    // A tank of team at (x, y) with hit points hp, its one part shooting
    // ground units (or flyers, or both).
    UNIT* Tank(int team, int x, int y, int hp, int air = 0, int ground = 1)
    {
        UNIT* u = Units_NewAt(tank_, team, -1, x, y);
        EXPECT_NE(u, nullptr);
        u->hitpoints = hp;
        parts_.push_back(std::make_unique<PART[]>(2));
        PART* p = parts_.back().get();
        p[0].type = ground ? gun_ : flak_;
        p[0].unit = u;
        if (air && ground) {
            p[1].type = flak_;
            p[1].unit = u;
            p[0].partup = &p[1];
            p[1].partdown = &p[0];
        }
        u->basepart = p;
        armed_.push_back(u);
        AI_UnitAdd(u);
        return u;
    }
    AI_Team* Team() { return AI_GetTeam(2); }
    GRIDCELL* Cell(int c, int r) { return AI_GridCell(Team(), c, r); }
    void Scout()
    {
        AI_TARGETS& g = Team()->strategic_targets;
        for (int i = 0; i < g.grid_rows * g.grid_columns; i++) g.scouted[i] = 1;
    }
    // Runs the scheduler to its end; the number of calls.
    int Schedule()
    {
        int calls = 0;
        while (!Team()->stages.schedule_done && calls < 1000) {
            Schedule_Run(AI_map, Team());
            calls++;
        }
        return calls;
    }
    static std::vector<int> Members(const squad* s)
    {
        std::vector<int> ids;
        for (LINKLIST_CELL* c = s->units->head; c; c = c->next) ids.push_back(static_cast<UNIT*>(c->data)->id);
        return ids;
    }

    QvTempDir dir_;
    PARTTYPE* gun_ = nullptr;
    PARTTYPE* flak_ = nullptr;
    AIP_struct* plan_ = nullptr;
    std::vector<std::unique_ptr<PART[]>> parts_;
    std::vector<UNIT*> armed_;
};

// ------------------------------------------------------------------ squads

using Squads = SquadWorld;

TEST_F(Squads, WholeUnitsMoveAndStrengthsFollowThem)
{
    Start();
    UNIT* a = Tank(2, 10, 10, 7);
    UNIT* b = Tank(2, 11, 10, 3, 1, 1);
    squad* from = Squad_New();
    squad* to = Squad_New();
    Squad_AddUnit(from, b, 2);
    Squad_AddUnit(from, a, 2);   // at the head
    EXPECT_EQ(from->strength, 10);
    EXPECT_EQ(from->anti_air, 3);
    EXPECT_EQ(from->anti_ground, 10);
    int count = 0;
    // Strength 7 asked for 5: the whole unit goes, nothing more.
    EXPECT_EQ(Squad_TransferStrength(2, from, to, 5, &count), 7);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Members(to), std::vector<int>{a->id});
    EXPECT_EQ(a->ai.squad, to);
    EXPECT_EQ(from->strength, 3);
    EXPECT_EQ(to->anti_ground, 7);
    Squad_UpdateCentre(from);
    EXPECT_EQ(from->centre_x, 11);
    Squad_RemoveUnit(from, b, 2);
    Squad_UpdateCentre(from);
    EXPECT_EQ(from->centre_x, -1);
    EXPECT_EQ(b->ai.squad, nullptr);
    EXPECT_EQ(from->anti_air, 0);
    Squad_Delete(from);
    Squad_Delete(to);
    EXPECT_EQ(a->ai.squad, nullptr);   // a deleted squad's members name no squad
    Squad_Delete(nullptr);
    EXPECT_NE(log_.text().find("AI  Squad_Delete tried to free a NULL squad"), std::string::npos);
}

TEST_F(Squads, FillTakesUsableUnitsAndCountsAntiAirUntilTheCellHasItsShare)
{
    Start();
    GRIDCELL* cell = Cell(2, 2);
    cell->max_anti_air = 5;
    struct Row { const char* name; int hp, air, ground, repairing; };
    const Row rows[] = {
        {"ground only: anti-ground", 4, 0, 1, 0},
        {"repairing itself: unusable", 6, 1, 1, 1},
        {"both, the cell short of anti-air: anti-air", 6, 1, 1, 0},
        {"both, the cell's anti-air full: anti-ground", 2, 1, 1, 0},
    };
    squad* from = Squad_New();
    squad* to = Squad_New();
    for (int i = 3; i >= 0; i--) {
        UNIT* u = Tank(2, 10 + i, 10, rows[i].hp, rows[i].air, rows[i].ground);
        if (rows[i].repairing) u->sorder.code = SO_REPAIRSELF;
        Squad_AddUnit(from, u, 2);
    }
    int count = 0, air = 0, ground = 0;
    EXPECT_EQ(Squad_FillFromSquad(2, from, to, 100, &count, cell, &air, &ground), 12);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(air, 6);
    EXPECT_EQ(ground, 6);
    EXPECT_EQ(Members(from).size(), 1u);
    Squad_Delete(from);
    Squad_Delete(to);
}

TEST_F(Squads, MembersInTheirCellStayAndNoOrderTargetsTheEdgeRowOrColumn)
{
    Start();
    UNIT* inside = Tank(2, 3, 3, 5);
    UNIT* outside = Tank(2, 30, 30, 5);
    squad* s = Squad_New();
    Squad_AddUnit(s, inside, 2);
    Squad_AddUnit(s, outside, 2);
    for (int i = 0; i < 40; i++) {
        Squad_MoveToCell(AI_map, s, Cell(0, 0));
        EXPECT_EQ(outside->sorder.code, SO_MOVE);
        EXPECT_GE(outside->sorder.move.destpos.x, 1);
        EXPECT_GE(outside->sorder.move.destpos.y, 1);
        EXPECT_LE(outside->sorder.move.destpos.x, 7);
        EXPECT_LE(outside->sorder.move.destpos.y, 7);
    }
    EXPECT_EQ(inside->sorder.code, SO_NONE);
    Squad_MoveTo(AI_map, s, 0, 900);
    EXPECT_EQ(inside->sorder.move.destpos.x, 1);
    EXPECT_EQ(inside->sorder.move.destpos.y, 63);
    EXPECT_NE(log_.text().find("Moving unit " + std::to_string(inside->id) + " to (1, 63)"), std::string::npos);
    Squad_Delete(s);
}

// A member idle in its goal cell fired only at what came into its reach,
// so an unarmed enemy elsewhere in the cell (the last crew of a beaten
// team) outlived the game. It closes in on one; an armed enemy comes to it.
TEST_F(Squads, RegressionAnIdleMemberClosesInOnAnUnarmedEnemyOfItsCell)
{
    const struct {
        int armed, x, y;
        int order;
    } rows[] = {{0, 7, 7, SO_MOVE}, {1, 7, 7, SO_NONE}, {0, 9, 7, SO_NONE}};
    Start();
    gun_->weapons[0].type->CanShootGroundUnit = 1;
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "armed " << r.armed << " at " << r.x << "," << r.y);
        UNIT* hunter = Tank(2, 1, 1, 5);
        UNIT* enemy = r.armed ? Tank(4, r.x, r.y, 5) : Units_NewAt(tank_, 4, -1, r.x, r.y);
        Cell(0, 0)->enemy_units = 1;
        squad* s = Squad_New();
        Squad_AddUnit(s, hunter, 2);
        Squad_MoveToCell(AI_map, s, Cell(0, 0));
        EXPECT_EQ(hunter->sorder.code, r.order);
        if (r.order == SO_MOVE) {
            EXPECT_EQ(hunter->sorder.move.destpos.x, r.x);
        }
        Squad_Delete(s);
        for (UNIT* u : {hunter, enemy}) {
            AI_UnitRemove(u);
            u->basepart = nullptr;
            Units_Delete(u);
        }
    }
}

TEST_F(Squads, RepeatsLeaveTheListLaterCopyFirst)
{
    squad* a = Squad_New();
    squad* b = Squad_New();
    GLL* list = GLL_Create();
    for (squad* s : {a, b, a, a, b}) {
        GLL_GoLast(list);
        GLL_InsertAfter(list, s);
    }
    Squad_RemoveDuplicates(list);
    ASSERT_EQ(list->count, 2);
    EXPECT_EQ(list->first->element, a);
    EXPECT_EQ(list->last->element, b);
    GLL_Destroy(list, nullptr);
    Squad_Delete(a);
    Squad_Delete(b);
}

// ------------------------------------------------------------------ scheduler

class Scheduler : public SquadWorld {
protected:
    void StartWeights()
    {
        Start("int threat_priority = 3; int distance_priority = -2; int defend_buildings_priority = 5;\n"
              "int attack_enemy_base_priority = 7; int persistence_priority = 11; int exploration_priority = 13;\n"
              "int scripted_priority = 17; int perimeter_priority = 19; int resource_priority = 23;\n"
              "int danger_priority = 29; int appropriateness_priority = 31; int max_building_defense_force = 4;\n"
              "int min_building_defense_force = 2; int min_exploration_force = 3; int max_exploration_force = 6;\n");
        plan_->generic_ground_ratio = 0.5;
    }
    // The grid seen at once, the squads formed where the units stand.
    void Form()
    {
        Scout();
        AI_RecomputeGrid(Team());
        AI_Team::Init_All_Teams_Strategies(AI_map, Team());
    }
    squad* SquadOf(int c, int r) { return Cell(c, r)->squad_ptr; }
};

TEST_F(Scheduler, GoalsAndRawPrioritiesOfHandBuiltCells)
{
    StartWeights();
    AI_TARGETS& g = Team()->strategic_targets;
    struct Row { const char* name; int scouted, from_scouted, d; int threat, enemies; float own, enemy;
                 int resources, scripted; int goal; double raw; };
    const Row rows[] = {
        {"unscouted beside the scouted area", 0, 1, 8, 0, 0, 0, 0, 0, 0, EXPLORATION, 13 - 16},
        {"unscouted farther out", 0, 2, 8, 0, 0, 0, 0, 0, 0, NO_GOAL, 0},
        {"scouted and empty", 1, 0, 3, 0, 0, 0, 0, 0, 0, NO_GOAL, 0},
        {"beside the base", 1, 0, 1, 0, 0, 0, 0, 0, 0, PERIMETER, 19 - 2},
        {"an enemy building", 1, 0, 3, 0, 0, 0, 1.5f, 0, 0, SEIGE, 10.5 - 6},
        {"own buildings, no threat", 1, 0, 0, 0, 0, 2, 0, 0, 0, DEFEND_BASE, 10},
        {"enemy troops", 1, 0, 3, 10, 1, 0, 0, 0, 0, ATTACK_TROOPS, 30 - 6},
        {"threat spread, nobody there", 1, 0, 3, 10, 0, 0, 0, 0, 0, NO_GOAL, -1e9},
        {"resources", 1, 0, 3, 0, 0, 0, 0, 2, 0, RESOURCE_GOAL, 46 - 6},
        {"scripted", 1, 0, 3, 0, 0, 0, 0, 0, 2, MANUALLY_SCRIPTED, 34 - 6},
    };
    for (const Row& r : rows) {
        GRIDCELL* c = Cell(1, 1);
        const int k = 1 * g.grid_columns + 1;
        g.scouted[k] = r.scouted;
        g.distance_from_scouted[k] = r.from_scouted;
        g.distance_from_base[k] = r.d;
        c->threat = r.threat;
        c->enemy_units = r.enemies;
        c->own_building_value = r.own;
        c->enemy_building_value = r.enemy;
        c->resources = r.resources;
        c->scripted_value = r.scripted;
        c->goal = Schedule_CellGoal(Team(), c);
        const double raw = c->goal != NO_GOAL ? Schedule_RawPriority(Team(), c) : 0;
        EXPECT_EQ(c->goal, r.goal) << r.name;
        EXPECT_EQ(raw, r.raw) << r.name;
    }
}

TEST_F(Scheduler, ForceNeedsAndScoresTruncateTowardZero)
{
    StartWeights();
    Scout();
    AI_TARGETS& g = Team()->strategic_targets;
    GRIDCELL* c = Cell(1, 0);
    g.distance_from_base[1] = 0;
    c->own_building_value = 2;
    c->enemy_ground_strength = 10;
    c->enemy_air_strength = 3;
    c->goal = DEFEND_BASE;
    Schedule_ForceNeeds(Team(), c);
    EXPECT_EQ(c->max_anti_ground, 22);   // 2 x 10 + 4 x 0.5
    EXPECT_EQ(c->min_anti_ground, 11);   // 1 x 10 + 2 x 0.5
    EXPECT_EQ(c->max_anti_air, 7);       // 2 x 3 + 4 x 0.499999
    EXPECT_EQ(c->min_anti_air, 3);       // 3 + 2 x 0.499999 = 3.999998
    c->goal = EXPLORATION;
    Schedule_ForceNeeds(Team(), c);
    EXPECT_EQ(c->min_anti_ground, 3);
    EXPECT_EQ(c->max_anti_ground, 6);
    // A squad at (4, 4), 8 tiles from the cell's centre, holding another cell.
    squad* s = Squad_New();
    s->centre_x = s->centre_y = 4;
    Squad_SetCell(s, Cell(0, 0));
    // 5 x 2 (own buildings) - 11 (leaving its cell) - 2 x 8 + 31.
    EXPECT_EQ(Schedule_Score(Team(), s, c), 10.0 - 11 - 16 + 31);
    g.scouted[1] = 0;
    EXPECT_EQ(Schedule_Score(Team(), s, c), -16.0 - 11 + 13);
    c->danger = 1.0f / 3;   // the score is a float's value
    g.scouted[1] = 1;
    EXPECT_EQ(Schedule_Score(Team(), s, c), (double)(float)(10.0 - 11 - 16 + 31 + 29.0 * c->danger));
    Squad_Delete(s);
}

TEST_F(Scheduler, AnAttackCellGetsASquadSplitOffToItsMaximumForce)
{
    Start();
    for (int i = 0; i < 3; i++) Tank(2, 10 + i, 10, 5);
    Tank(4, 42, 42, 5);   // enemy strength 5: 10 at most, 5 at least
    Form();
    ASSERT_EQ(Team()->squads->count, 1);
    Schedule();
    squad* s = SquadOf(5, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Cell(5, 5)->goal, ATTACK_TROOPS);
    EXPECT_EQ(s->id, 1001);
    EXPECT_EQ(Members(s).size(), 2u);
    EXPECT_EQ(Team()->units_assigned, 2);
    EXPECT_EQ(Team()->squads->count, 2);   // the rest stays in its own squad
    EXPECT_NE(log_.text().find("Scheduler CLEAN-UP"), std::string::npos);
    EXPECT_EQ(Team()->lowest_raw_priority, Cell(5, 5)->raw_priority);   // the empty cells count at 0
}

TEST_F(Scheduler, ACellWhoseMinimumCannotBeMetIsAbandonedAndItsUnitsGoHome)
{
    Start();
    std::vector<UNIT*> ours;
    for (int i = 0; i < 3; i++) ours.push_back(Tank(2, 10 + i, 10, 5));
    Tank(4, 42, 42, 50);   // at least 50 asked, 15 there
    Form();
    squad* home = static_cast<squad*>(Team()->squads->first->element);
    Schedule();
    EXPECT_EQ(SquadOf(5, 5), nullptr);
    EXPECT_EQ(Cell(5, 5)->processed, 1);
    EXPECT_EQ(Cell(5, 5)->assigned_anti_ground, 0);
    for (UNIT* u : ours) EXPECT_EQ(u->ai.squad, home);
    EXPECT_EQ(Team()->units_assigned, 0);
    EXPECT_EQ(Team()->squads->count, 1);
}

TEST_F(Scheduler, TwoAcceptedCandidatesForOneCellEndAsOneSquad)
{
    Start();
    for (int i = 0; i < 2; i++) Tank(2, 10 + i, 10, 6);
    for (int i = 0; i < 2; i++) Tank(2, 10 + i, 26, 6);
    Tank(4, 42, 42, 20);   // 40 at most: both squads are wanted
    Form();
    ASSERT_EQ(Team()->squads->count, 2);
    Schedule();
    squad* s = SquadOf(5, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Members(s).size(), 4u);
    EXPECT_EQ(Team()->squads->count, 1);   // the emptied ones are gone
    EXPECT_EQ(s->strength, 24);
}

TEST_F(Scheduler, EqualScoresKeepTheOrderTheCandidatesWereMade)
{
    Start();
    std::vector<UNIT*> west, east;
    for (int i = 0; i < 2; i++) west.push_back(Tank(2, 28, 43 + i, 5));
    for (int i = 0; i < 2; i++) east.push_back(Tank(2, 60, 43 + i, 5));
    Tank(4, 44, 44, 5);   // 10 at most: one squad's worth
    Form();
    const squad* first = static_cast<squad*>(Team()->squads->first->element);
    const std::vector<UNIT*>& from_first = first == west[0]->ai.squad ? west : east;
    Schedule();
    squad* s = SquadOf(5, 5);
    ASSERT_NE(s, nullptr);
    for (UNIT* u : from_first) EXPECT_EQ(u->ai.squad, s);
}

TEST_F(Scheduler, UnusableUnitsLeaveTheScheduleWithoutNewSquads)
{
    Start();
    for (int i = 0; i < 3; i++) Tank(2, 10 + i, 10, 5)->sorder.code = SO_REPAIRSELF;
    Tank(4, 42, 42, 5);
    Form();
    Schedule();
    EXPECT_EQ(SquadOf(5, 5), nullptr);
    EXPECT_EQ(Team()->squads->count, 1);
    EXPECT_EQ(Team()->units_assigned, 0);
}

TEST_F(Scheduler, CandidatesAreMadeInSlicesAcrossCalls)
{
    Start();
    for (int i = 0; i < 5; i++) Tank(2, 4 + 8 * i, 4, 5);   // five squads
    Form();
    AI_RegionTweak(2, 1, 0, 0, 0, 0, 63, 63);   // 64 scripted cells wanting nothing
    ASSERT_EQ(Team()->squads->count, 5);
    const int* stage = Team()->stages.schedule_stage;
    Schedule_Run(AI_map, Team());   // cells and squads
    Schedule_Run(AI_map, Team());   // the walk and the array
    ASSERT_NE(Team()->schedule.candidates, nullptr);
    EXPECT_EQ(Team()->schedule.candidates->capacity, 64 * 5);
    Schedule_Run(AI_map, Team());
    EXPECT_EQ(Team()->schedule.candidates->count, 64 * 3);   // stops after the squad reaching 150
    EXPECT_EQ(stage[SCHED_CANDIDATES], 0);
    Schedule_Run(AI_map, Team());
    EXPECT_EQ(Team()->schedule.candidates->count, 64 * 5);
    EXPECT_EQ(stage[SCHED_CANDIDATES], 1);
    Schedule();
    EXPECT_EQ(Team()->squads->count, 5);
}

// A team closed while an entry of its schedule named a squad the team also
// listed freed that squad twice ("Free of a block that is not on the heap"
// at a game's end, a heap-use-after-free under ASan): a schedule left after
// its final assignment by a cycle that ended with no combat unit, or an
// entry built so. Each is freed once; a clean-up alone leaves it the team's.
TEST_F(Scheduler, RegressionASquadOfAScheduleEntryAndOfTheTeamIsFreedOnce)
{
    Start();
    UNIT* tank = Tank(2, 10, 10, 5);
    Tank(4, 42, 42, 5);
    const struct { const char* name; int hold; bool cleanup; } rows[] = {
        {"an unaccepted candidate", 0, false}, {"an unaccepted candidate, cleaned up", 0, true},
        {"an accepted entry", 1, false}, {"a final assignment, then the cycle's end", 2, false}};
    for (const auto& r : rows) {
        Form();
        AI_SCHEDULE& s = Team()->schedule;
        if (r.hold < 2) {
            SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(Debug_Calloc(1, sizeof(SCHEDULE_ENTRY)));
            *e = {static_cast<squad*>(tank->ai.squad), nullptr, Cell(1, 1), 0, 0, 5, 1.0, r.hold};
            if (r.hold == 0) SortedArray_Insert(s.candidates = SortedArray_Create(1), e, -1.0);
            else LinkList_AddHead(s.accepted = LinkList_New(), e);
        } else {
            while (!Team()->stages.schedule_stage[SCHED_FINAL]) Schedule_Run(AI_map, Team());
            Schedule_Reset(Team());   // no combat unit at the cycle's next step
        }
        if (r.cleanup) Schedule_CleanUp(Team());
        EXPECT_NE(tank->ai.squad, nullptr) << r.name;
        AI_Close();
        Init(), AI_Activate(2), AI_AIPSwitch(2, plan_);
    }
}

// ------------------------------------------------------------------ the cycle and events

class Cycle : public Scheduler {
protected:
    // Cell (c, r) with goal and a squad of one tank standing in it.
    squad* Post(int c, int r, int goal)
    {
        GRIDCELL* cell = Cell(c, r);
        cell->goal = goal;
        squad* s = Squad_New();
        s->id = Team()->next_squad_id++;
        Squad_AddUnit(s, Tank(2, c * 8 + 3, r * 8 + 3, 5), 2);
        Squad_SetCell(s, cell);
        GLL_GoFirst(Team()->squads);
        GLL_InsertBefore(Team()->squads, s);
        return s;
    }
    static UNIT* Member(squad* s) { return static_cast<UNIT*>(s->units->head->data); }
    static bool InCell(const UNIT* u, int c, int r)
    {
        return u->sorder.code == SO_MOVE && u->sorder.move.destpos.x / 8 == c && u->sorder.move.destpos.y / 8 == r;
    }
    void Think(uint32_t u)
    {
        g_UpdateCount = u;
        AI_Team::Update(AI_map, Team());
    }
    // Thinking updates of team 2 until the cycle completes; the last update.
    uint32_t RunCycle(uint32_t from)
    {
        Team()->cycle_complete = 0;
        uint32_t u = from;
        for (int i = 0; i < 200 && !Team()->cycle_complete; i++, u += 9) Think(u);
        return u;
    }
};

TEST_F(Cycle, AnAttackCallsTheDefensiveNeighboursToTheAttackerOrIntoTheCell)
{
    Start();
    // Each row on its own band of cells, rows 1, 3, 5, 7; attacker offsets
    // in tiles from the attacked cell's corner.
    struct Row { const char* name; int dx, dy; bool to_attacker; bool own_squad_moves; };
    const Row rows[] = {
        {"attacker two cells away: into the cell", 20, 4, false, false},
        {"attacker next door: to the attacker", 12, 5, true, false},
        {"attacker inside: the cell's own squad goes too", 6, 6, true, true},
        {"no attacker: into the cell", -1, -1, false, false},
    };
    int r = 1;
    for (const Row& row : rows) {
        squad* own = Post(3, r, DEFEND_BASE);
        squad* left = Post(2, r, PERIMETER);
        squad* right = Post(4, r, DEFEND_BASE);
        squad* above = Post(3, r - 1, ATTACK_TROOPS);   // not a defensive cell: stays
        const int ax = row.dx < 0 ? -1 : 24 + row.dx, ay = row.dy < 0 ? -1 : r * 8 + row.dy;
        AI_Team::ReportEvent(2, 28, r * 8 + 4, 1, ax, ay);
        EXPECT_EQ(Cell(3, r)->event_state, 1) << row.name;
        EXPECT_EQ(Cell(3, r)->direction_mask, AI_DIR_LEFT | AI_DIR_RIGHT) << row.name;
        EXPECT_EQ(Cell(2, r)->event_state, 2) << row.name;
        EXPECT_EQ(Cell(2, r)->direction_mask, AI_DIR_RIGHT) << row.name;
        EXPECT_EQ(Cell(4, r)->direction_mask, AI_DIR_LEFT) << row.name;
        EXPECT_EQ(Member(above)->sorder.code, SO_NONE) << row.name;
        for (squad* s : {left, right}) {
            const UNIT* u = Member(s);
            if (row.to_attacker)
                EXPECT_TRUE(u->sorder.move.destpos.x == ax && u->sorder.move.destpos.y == ay) << row.name;
            else
                EXPECT_TRUE(InCell(u, 3, r)) << row.name;
        }
        EXPECT_EQ(Member(own)->sorder.code == SO_MOVE, row.own_squad_moves) << row.name;
        // A second event on a cell under attack changes nothing.
        AI_Team::ReportEvent(2, 28, r * 8 + 4, 1, -1, -1);
        EXPECT_EQ(Cell(3, r)->direction_mask, AI_DIR_LEFT | AI_DIR_RIGHT) << row.name;
        r += 2;
    }
    // Only computer teams, only defensive cells react.
    AI_Team::ReportEvent(4, 28, 12, 1, -1, -1);
    Cell(6, 6)->goal = ATTACK_TROOPS;
    AI_Team::ReportEvent(2, 52, 52, 1, -1, -1);
    EXPECT_EQ(Cell(6, 6)->event_state, 0);
}

TEST_F(Cycle, AHelperAttackedItselfIsFirstSentHomeAndQuietCellsReleaseTheirHelp)
{
    Start();
    Post(3, 3, DEFEND_BASE);
    squad* left = Post(2, 3, PERIMETER);
    squad* right = Post(4, 3, PERIMETER);
    Post(1, 3, PERIMETER);
    AI_Team::ReportEvent(2, 28, 28, 1, -1, -1);
    // Both helpers arrive.
    Units_SetUnitPosition(Member(left), 25, 29);
    Units_SetUnitPosition(Member(right), 30, 29);
    // The helper at (2, 3) is attacked in turn: it goes home first, then calls
    // its own neighbours (the cell at (3, 3) is under attack: it doesn't answer).
    AI_Team::ReportEvent(2, 20, 28, 1, -1, -1);
    EXPECT_EQ(Cell(2, 3)->event_state, 1);
    EXPECT_EQ(Cell(3, 3)->direction_mask, AI_DIR_RIGHT);
    EXPECT_EQ(Cell(2, 3)->direction_mask, AI_DIR_LEFT);
    EXPECT_EQ(Cell(1, 3)->event_state, 2);
    EXPECT_TRUE(InCell(Member(left), 2, 3));
    // Quiet (no enemies there): the helpers go back to their own cells.
    AI_Team::ReleaseSupport(AI_map, 2, 3, 3, 0);
    EXPECT_EQ(Cell(3, 3)->event_state, 0);
    EXPECT_EQ(Cell(3, 3)->direction_mask, 0);
    EXPECT_EQ(Cell(4, 3)->event_state, 0);
    EXPECT_TRUE(InCell(Member(right), 4, 3));
    // Not quiet: an enemy stands in the cell.
    Cell(2, 3)->enemy_units = 1;
    AI_Team::ReleaseSupport(AI_map, 2, 2, 3, 0);
    EXPECT_EQ(Cell(2, 3)->event_state, 1);
    Cell(2, 3)->enemy_units = 0;
    // The end of a cycle releases it too (the recompute finds no enemy there).
    RunCycle(2);
    EXPECT_EQ(Cell(2, 3)->event_state, 0);
    EXPECT_EQ(Cell(1, 3)->event_state, 0);
}

TEST_F(Cycle, ACycleFormsSchedulesAndMovesSquadsWithoutRepeats)
{
    Start();
    for (int i = 0; i < 3; i++) Tank(2, 10 + i, 10, 5);
    Tank(2, 30, 10, 5);
    Tank(4, 42, 42, 5);
    Scout();
    RunCycle(2);
    EXPECT_EQ(Team()->stages.grid_done, 0);   // the stages start again
    ASSERT_NE(SquadOf(5, 5), nullptr);
    for (LINKLIST_CELL* c = SquadOf(5, 5)->units->head; c; c = c->next)
        EXPECT_TRUE(InCell(static_cast<UNIT*>(c->data), 5, 5));
    std::vector<int> ids;
    for (GLL_NODE* n = Team()->squads->first; n; n = n->next) ids.push_back(static_cast<squad*>(n->element)->id);
    // Two formed; the nearer one's only unit and one of the other's split
    // off into the new squad, the emptied squad deleted.
    EXPECT_EQ(ids.size(), 2u);
    EXPECT_EQ(Members(SquadOf(5, 5)).size(), 2u);
    // A second cycle forms no squad twice: every unit already has one.
    const int before = Team()->squads->count;
    AI_Team::Init_All_Teams_Strategies(AI_map, Team());
    EXPECT_EQ(Team()->squads->count, before);
    EXPECT_EQ(plan_->last_recompute, (int32_t)g_UpdateCount);
}

TEST_F(Cycle, ClosingAndBootingInMidBattleLeavesNoUnitInAFreedSquad)
{
    Start();
    std::vector<UNIT*> ours;
    for (int i = 0; i < 3; i++) ours.push_back(Tank(2, 10 + i, 10, 5));
    Tank(4, 42, 42, 5);
    Scout();
    // Stop inside the schedule: candidates hold squads of their own.
    for (uint32_t u = 2; !Team()->stages.schedule_stage[SCHED_CANDIDATES]; u += 9) Think(u);
    AI_Close();
    for (UNIT* u : ours) EXPECT_EQ(u->ai.squad, nullptr);
    // Stopping a unit stops its parts' animations: the hand-made parts have
    // none, so they are off while the team is booted.
    for (UNIT* u : armed_) u->basepart = nullptr;
    AI_BootTeam(2);
    for (UNIT* u : ours) EXPECT_EQ(u->sorder.code, SO_NONE);
    for (size_t i = 0; i < armed_.size(); i++) armed_[i]->basepart = parts_[i].get();
    Init();
    AI_Activate(2);
    AI_AIPSwitch(2, plan_);
    Scout();
    RunCycle(2 + 9 * 100);
    EXPECT_NE(SquadOf(5, 5), nullptr);
    // A member that dies leaves its squad.
    squad* s = SquadOf(5, 5);
    const size_t n = Members(s).size();
    UNIT* dead = static_cast<UNIT*>(s->units->head->data);
    dead->basepart = nullptr;
    armed_.erase(std::find(armed_.begin(), armed_.end(), dead));
    Units_Delete(dead);
    EXPECT_EQ(Members(s).size(), n - 1);
}

TEST_F(Cycle, AnEnemySiteAndAHitOnABuildingAreAttacksOnTheirCell)
{
    Start();
    Projectile_Init();
    Damage_Init();
    Pathsrch_Init();
    Orders_Init();
    BUILDINGTYPE* depot = QvWorld_BuildingType("Depot", 2, 2);
    depot->maxhitpoints = 100;
    Cell(3, 3)->goal = DEFEND_BASE;
    Cell(5, 5)->goal = DEFEND_BASE;
    // An enemy crew puts up a site in the cell; an own crew's site elsewhere
    // is no attack.
    Team_SetCredits(4, 1000);
    Team_SetCredits(2, 1000);
    UNIT* enemy = Units_NewAt(tank_, 4, -1, 30, 30);
    UNIT* own = Units_NewAt(tank_, 2, -1, 46, 46);
    Units_SOrderConstruct(enemy, depot->index, 28, 28);
    Units_SOrderConstruct(own, depot->index, 44, 44);
    for (int i = 0; i < 200 && (enemy->sorder.code == SO_CONSTRUCT || own->sorder.code == SO_CONSTRUCT); i++) {
        Build_ProcessAll();
        Pathsrch_Update();
        Units_ProcessAll();
        Orders_AfterUpdate();
        g_UpdateCount++;
    }
    EXPECT_EQ(Cell(3, 3)->event_state, 1);
    EXPECT_EQ(Cell(5, 5)->event_state, 0);
    // A shot on the own building (the shooter unknown).
    BUILDING* b = Build_New(depot, 2, -1, 44, 20);
    ASSERT_NE(b, nullptr);
    Cell(5, 2)->goal = DEFEND_BASE;
    WEAPONTYPE* w = Weapon_NewType();
    w->directhitpointdamage = 5;
    w->oinfo = OFFENSEINFO{-1, 0, 0};
    TARGET t;
    Target_Setup(&t, FM_BUILDING, nullptr, b, 0, 0);
    Weapon_Impact(w, &w->oinfo, &t, 4, 44 * 24 + 12, 20 * 24 + 12);
    EXPECT_LT(b->hitpoints, 100);
    EXPECT_EQ(Cell(5, 2)->event_state, 1);
    Orders_Close();
    Pathsrch_Close();
    Projectile_Close();
    Damage_Close();
}

// ------------------------------------------------------------------ keeps playing

using AiKeepsPlaying = Cycle;

// 2000000000 relaxation passes ran for ever; a period of 2^31 - 1 overflowed
// the first recompute's time. The debug console may set any value, so the
// passes are held at use too.
TEST_F(AiKeepsPlaying, RegressionExtremePlanValuesAreHeldToTheirRangesAndLogged)
{
    dir_.write("wild.aip", "int relaxation_cycles = 2000000000; int recompute_strategy_period = 2147483647;\n"
                           "int ground_unit_threat = 2000000000; float relaxation_coefficient = 100000000.0;\n"
                           "double max_matching_force_ratio = -100000000.0;\n");
    AIP_struct* wild = AIP_Load(dir_.file("wild.aip").c_str());
    ASSERT_NE(wild, nullptr);
    EXPECT_EQ(wild->relaxation_cycles, AIP_MAXRELAX);
    EXPECT_EQ(wild->recompute_strategy_period, AIP_MAXPERIOD);
    EXPECT_EQ(wild->last_recompute, -(AIP_MAXPERIOD + 1));
    EXPECT_EQ(wild->ground_unit_threat, AIP_MAXWEIGHT);
    EXPECT_EQ(wild->relaxation_coefficient, (float)AIP_MAXREAL);
    EXPECT_EQ(wild->max_matching_force_ratio, -AIP_MAXREAL);
    const std::string file = dir_.file("wild.aip");
    for (const std::string& line :
         {file + ": relaxation_cycles 2000000000 out of range, " + std::to_string(AIP_MAXRELAX) + " taken",
          file + ": recompute_strategy_period 2147483647 out of range, 1000000000 taken",
          file + ": ground_unit_threat 2000000000 out of range, 1000000 taken",
          file + ": relaxation_coefficient 1e+08 out of range, 1e+06 taken"})
        EXPECT_NE(log_.text().find(line), std::string::npos) << line;
    AIP_Delete(wild);
    // A team thinking with the console's values: the cycle ends, threat
    // saturates instead of wrapping.
    Start();
    plan_->relaxation_cycles = 2000000000;
    plan_->relaxation_coefficient = 1e30f;
    plan_->ground_unit_threat = 2000000000;
    plan_->recompute_strategy_period = INT32_MAX;
    AIP_Restart(plan_);
    EXPECT_EQ(plan_->last_recompute, INT32_MIN);
    Tank(2, 10, 10, 5);
    Tank(4, 20, 20, 5);
    Tank(4, 21, 20, 5);
    Scout();
    RunCycle(2);
    EXPECT_EQ(Cell(2, 2)->threat, INT32_MAX);
    EXPECT_GT(Cell(7, 7)->threat, 0);
}

// The team change without the flag is a script's: the special force it
// hands over reaches the computer player when the script releases it.
TEST_F(AiKeepsPlaying, RegressionASpecialForceHandedToAComputerTeamReachesItsAiOnlyWhenReleased)
{
    Start();
    UNIT* u = Tank(4, 20, 20, 5);
    SPECIAL_FORCE* force = AI_NewSpecialForce(4, 0xFFFFFFFFu);
    AI_AddToSpecialForce(force, u->id);
    const int before = Team()->units->count;
    AI_GiveSpecialForce(force, 2);
    EXPECT_EQ(u->team, 2);
    EXPECT_EQ(Team()->units->count, before);
    AI_ReleaseSpecialForce(force);
    EXPECT_EQ(Team()->units->count, before + 1);
    // A released force given on is its new computer player's at once.
    UNIT* v = Tank(4, 24, 20, 5);
    SPECIAL_FORCE* free = AI_NewSpecialForce(4, 0xFFFFFFFFu);
    AI_AddToSpecialForce(free, v->id);
    AI_ReleaseSpecialForce(free);
    AI_GiveSpecialForce(free, 2);
    EXPECT_EQ(Team()->units->count, before + 2);
}

// Step 2 asked a repair for every site (each refused), and idle units on a
// factory's ring sealed it: the construction step leaves sites alone and
// sends such units two rings out. The same for the ring of a building with
// a bay where tankers dock, another team's well among them: crowds of idle
// units there held tankers for hundreds of updates.
TEST_F(AiKeepsPlaying, RegressionNoRepairAskedForASiteAndIdleUnitsLeaveTheFactoryRing)
{
    Start();
    BUILDINGTYPE* depot = QvWorld_BuildingType("Depot", 2, 2);
    depot->maxhitpoints = 100;
    BUILDINGTYPE* works = QvWorld_BuildingType("Works", 3, 3);
    works->maxhitpoints = 100;
    works->flags |= BTF_CANMAKE;
    BUILDING* site = Build_NewConstructionSite(depot, 2, 40, 40);
    ASSERT_NE(site, nullptr);
    site->hitpoints = 10;   // under way
    BUILDING* factory = Build_New(works, 2, -1, 20, 20);
    ASSERT_NE(factory, nullptr);
    UNIT* idle = Tank(2, 23, 21, 5);      // east of the door
    UNIT* busy = Tank(2, 19, 19, 5);      // the north-west corner, on its way
    Units_SOrderMove(busy, 10, 10);
    UNIT* clear = Tank(2, 25, 21, 5);     // two rings out already
    BUILDINGTYPE* wellt = QvWorld_BuildingType("Well", 1, 1);
    wellt->maxhitpoints = 100;
    wellt->bayx = 0;
    wellt->bayy = 0;
    ASSERT_NE(Build_New(wellt, 8, -1, 30, 30), nullptr);
    UNIT* atwell = Tank(2, 31, 31, 5);
    UNIT* other = Tank(3, 29, 30, 5);     // another team's: its own computer player's
    g_UpdateCount = 2;
    AIBuild_Process(Team());
    EXPECT_EQ(site->repairrequest, 0);
    EXPECT_EQ(log_.text().find("refused: not complete"), std::string::npos);
    ASSERT_EQ(idle->sorder.code, SO_MOVE);
    const auto to = idle->sorder.move.destpos;
    EXPECT_TRUE(to.x < 19 || to.x > 23 || to.y < 19 || to.y > 23) << to.x << "," << to.y;
    EXPECT_EQ(busy->sorder.move.destpos.x, 10);
    EXPECT_EQ(clear->sorder.code, SO_NONE);
    ASSERT_EQ(atwell->sorder.code, SO_MOVE);
    EXPECT_GE(std::max(abs(atwell->sorder.move.destpos.x - 30), abs(atwell->sorder.move.destpos.y - 30)), 2);
    EXPECT_EQ(other->sorder.code, SO_NONE);
}

// The war fixture's plan spread every enemy's threat two cells out, so a
// base with enemy troops two cells off held no cell to defend and no hit
// on it ever called for help: with threat kept to the troops' cells, the
// hit base cell calls its neighbours' squads and they come into it.
TEST_F(AiKeepsPlaying, RegressionAWarBaseCellHitWithTroopsTwoCellsOffCallsItsNeighboursSquadsAndTheyCome)
{
    plan_ = AIP_Load(QV_SOURCE_DIR "/tests/ai/data/scenario/FIXED/AIWAR/BASE.AIP");
    ASSERT_NE(plan_, nullptr);
    Init();
    AI_Activate(2);
    AI_AIPSwitch(2, plan_);
    Projectile_Init();
    Damage_Init();
    Pathsrch_Init();
    Orders_Init();
    BUILDINGTYPE* depot = QvWorld_BuildingType("Depot", 2, 2);
    depot->maxhitpoints = 400;
    BUILDING* home = Build_New(depot, 2, -1, 24, 24);   // the base: cell (3, 3)
    ASSERT_NE(home, nullptr);
    for (int i = 0; i < 2; i++) Tank(2, 19, 27 + i, 400);   // guards west of it
    for (int i = 0; i < 2; i++) Tank(2, 29, 27 + i, 400);   // and in it
    Tank(4, 44, 28, 400);   // enemy troops two cells east
    Scout();
    RunCycle(2);
    ASSERT_EQ(Cell(3, 3)->goal, DEFEND_BASE);
    // The depot is hit, the shooter unknown.
    WEAPONTYPE* w = Weapon_NewType();
    w->directhitpointdamage = 5;
    w->oinfo = OFFENSEINFO{-1, 0, 0};
    TARGET t;
    Target_Setup(&t, FM_BUILDING, nullptr, home, 0, 0);
    Weapon_Impact(w, &w->oinfo, &t, 4, 24 * 24 + 12, 24 * 24 + 12);
    EXPECT_EQ(Cell(3, 3)->event_state, 1);
    std::vector<UNIT*> helpers;
    for (int bit = 1; bit <= 128; bit <<= 1) {
        if (!(Cell(3, 3)->direction_mask & bit)) continue;
        const int dc = bit & (AI_DIR_UPLEFT | AI_DIR_LEFT | AI_DIR_DOWNLEFT) ? -1 : bit & (AI_DIR_UP | AI_DIR_DOWN) ? 0 : 1;
        const int dr = bit & (AI_DIR_UPLEFT | AI_DIR_UP | AI_DIR_UPRIGHT) ? -1 : bit & (AI_DIR_LEFT | AI_DIR_RIGHT) ? 0 : 1;
        const GRIDCELL* n = Cell(3 + dc, 3 + dr);
        EXPECT_EQ(n->event_state, 2);
        EXPECT_TRUE(n->goal == PERIMETER || n->goal == DEFEND_BASE);
        ASSERT_NE(n->squad_ptr, nullptr);
        for (LINKLIST_CELL* c = n->squad_ptr->units->head; c; c = c->next) helpers.push_back(static_cast<UNIT*>(c->data));
    }
    ASSERT_FALSE(helpers.empty()) << "no neighbour answered";
    // The hand-made parts have no animations to play on the way.
    for (UNIT* u : armed_) u->basepart = nullptr;
    auto arrived = [&] {
        for (const UNIT* u : helpers)
            if (u->tilepos.x / 8 != 3 || u->tilepos.y / 8 != 3) return false;
        return true;
    };
    for (int i = 0; i < 400 && !arrived(); i++) {
        Pathsrch_Update();
        Units_ProcessAll();
        Orders_AfterUpdate();
        g_UpdateCount++;
    }
    EXPECT_TRUE(arrived());
    Orders_Close();
    Pathsrch_Close();
    Projectile_Close();
    Damage_Close();
}

// A squad kept what each member gave when it joined: one killed left the
// floor of 1 behind for what it took away, and a damaged one counted at full
// health, so squads went out under strength.
TEST_F(AiKeepsPlaying, RegressionASquadsStrengthIsWhatItsLivingMembersGiveNow)
{
    Start();
    struct Row { const char* name; int a_hp, b_hp; bool b_removed; int strength, anti_air; };
    const Row rows[] = {
        {"a member killed leaves", 7, 0, true, 7, 0},
        {"a damaged member stays, one killed leaves", 2, 0, true, 2, 0},
        {"one joins while a dead member is still listed", 7, 0, false, 12, 0},
        {"one joins beside a damaged member", 4, 3, false, 12, 3},
    };
    for (const Row& row : rows) {
        squad* s = Squad_New();
        UNIT* a = Tank(2, 10, 10, 7);
        UNIT* b = Tank(2, 11, 10, 3, 1, 1);
        Squad_AddUnit(s, a, 2);
        Squad_AddUnit(s, b, 2);
        a->hitpoints = row.a_hp;
        b->hitpoints = row.b_hp;
        if (row.b_removed) AI_UnitRemove(b);
        else Squad_AddUnit(s, Tank(2, 12, 10, 5), 2);
        EXPECT_EQ(s->strength, row.strength) << row.name;
        EXPECT_EQ(s->anti_ground, row.strength) << row.name;
        EXPECT_EQ(s->anti_air, row.anti_air) << row.name;
        Squad_Delete(s);
    }
}

// A base cell whose call nobody answered stayed under attack with an empty
// mask for good, deaf to every later attack; once its enemy is gone the end
// of a cycle quiets it and it calls again. One whose enemy stays is still
// under attack.
TEST_F(AiKeepsPlaying, RegressionABaseCellThatCalledInVainCallsAgainOnceItsEnemyIsGone)
{
    Start();
    struct Row { const char* name; int c, r; bool enemy_stays; int state_after_cycle, second_mask; };
    const Row rows[] = {
        {"enemy gone: quiet, a second call is answered", 3, 3, false, 0, AI_DIR_LEFT},
        {"enemy still there: under attack, the second event ignored", 6, 6, true, 1, 0},
    };
    for (const Row& row : rows) {
        Cell(row.c, row.r)->goal = DEFEND_BASE;
        AI_Team::ReportEvent(2, row.c * 8 + 4, row.r * 8 + 4, 1, -1, -1);
        EXPECT_EQ(Cell(row.c, row.r)->event_state, 1) << row.name;
        EXPECT_EQ(Cell(row.c, row.r)->direction_mask, 0) << row.name;   // no squad near to answer
        if (row.enemy_stays) Tank(4, row.c * 8 + 4, row.r * 8 + 4, 5);
    }
    Scout();
    RunCycle(2);
    for (const Row& row : rows) {
        EXPECT_EQ(Cell(row.c, row.r)->event_state, row.state_after_cycle) << row.name;
        Cell(row.c, row.r)->goal = DEFEND_BASE;
        Post(row.c - 1, row.r, PERIMETER);
        AI_Team::ReportEvent(2, row.c * 8 + 4, row.r * 8 + 4, 1, -1, -1);
        EXPECT_EQ(Cell(row.c, row.r)->event_state, 1) << row.name;
        EXPECT_EQ(Cell(row.c, row.r)->direction_mask, row.second_mask) << row.name;
    }
}

// ------------------------------------------------------------------ the AI console

class AiConsole : public Cycle {
protected:
    void TearDown() override
    {
        Console_SetStreams(nullptr, nullptr);
        Cycle::TearDown();
    }
    // Runs the console on script; every line it printed.
    std::vector<std::string> Run(const std::string& script)
    {
        FILE* in = fmemopen(const_cast<char*>(script.data()), script.size(), "r");
        FILE* out = tmpfile();
        Console_SetStreams(in, out);
        AiDebug_Console();
        Console_SetStreams(nullptr, nullptr);
        fclose(in);
        std::vector<std::string> lines;
        rewind(out);
        char buf[256];
        while (fgets(buf, sizeof buf, out)) {
            std::string line = buf;
            if (!line.empty() && line.back() == '\n') line.pop_back();
            // The prompt stays at the start of the line that follows it.
            while (line.rfind("AI> ", 0) == 0) line.erase(0, 4);
            lines.push_back(line);
        }
        fclose(out);
        return lines;
    }
    static bool Has(const std::vector<std::string>& lines, const std::string& text)
    {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    // The lines after the first that equals head.
    static std::vector<std::string> After(const std::vector<std::string>& lines, const std::string& head, size_t n)
    {
        auto it = std::find(lines.begin(), lines.end(), head);
        if (it == lines.end() || lines.end() - it <= (long)n) return {};
        return std::vector<std::string>(it + 1, it + 1 + (long)n);
    }
};

TEST_F(AiConsole, AScriptedRunSelectsTeamsDumpsCellsMapsAndParameters)
{
    Start();
    ASSERT_EQ(AiDebug_SelectedTeam(), -1);
    AI_Deactivate(2);
    AI_TARGETS& g = Team()->strategic_targets;
    Cell(0, 0)->goal = DEFEND_BASE;
    Cell(0, 0)->event_state = 1;
    Cell(0, 0)->danger = 12;
    Cell(0, 0)->raw_priority = 45;
    Cell(1, 0)->goal = PERIMETER;
    Cell(1, 0)->event_state = 2;
    Cell(1, 0)->danger = -3.5f;
    Cell(1, 0)->threat = 10;
    Post(2, 0, ATTACK_TROOPS);
    g.distance_from_base[3] = 12;
    Team()->lowest_raw_priority = 0;
    Team()->highest_raw_priority = 90;
    Team()->highest_threat = 10;
    const std::vector<std::string> out = Run(
        "team 0\nenable\ngc 1 1\nteam 4\ngc 1 1\nteam 2\nenable\ngc 2 0\ngc 99 0\n"
        "map b\nmap d\nmap g\nmap s\nmap p\nmap t\nmap\naip display\n"
        "load_aip\nload_aip missing.aip\nfrobnicate\nhelp\n\nbye\nteam 3\n");
    for (const std::string& line : out) EXPECT_LE(line.size(), 50u) << line;
    for (const char* text : {"AI Debug Console", "Type exit to exit", "team team#",
                             "please specify a team with the team command", "Select team number with team cmd",
                             "Changed to Team #4", "The team is not an ai team!", "Changed to Team #2",
                             "AI processing enabled for team 2", "TEAM 2.  GRIDCELL ( 2, 0):",
                             "Goal Type: ATTACK_TROOPS", "Threat: 0              Enemy Units:  0", "UNEXPLORED",
                             "SQUAD: 1000", "Invalid Cell Number", "AIP Parameters:", "Threat:              -1",
                             "Recompute:           0 cycles", "plan.aip", "load_aip filename",
                             "Could not find .AIP  file", "Command not recognised", "Help currently unavailable",
                             "exit or bye to quit"})
        EXPECT_TRUE(Has(out, text)) << text;
    EXPECT_TRUE(AI_IsEnabled(2));
    EXPECT_FALSE(Has(out, "Changed to Team #3"));   // read after "bye"
    struct View { const char* command; const char* row0; };
    const View views[] = {
        {"map b", "888*8888"}, {"map d", "++ -3 +0 +0 +0 +0 +0 +0 "}, {"map g", "XpA_____"},
        {"map s", "..A....."}, {"map p", "40000000"}, {"map t", "09000000"}, {"map", "********"},
    };
    size_t at = 0;
    for (const View& v : views) {
        // Each view in order: its title, then its rows.
        auto it = std::find(out.begin() + (long)at, out.end(), std::string("MAP for team 2"));
        ASSERT_NE(it, out.end()) << v.command;
        EXPECT_EQ(*(it + 1), v.row0) << v.command;
        at = (size_t)(it - out.begin()) + 1;
    }
    EXPECT_EQ(AiDebug_SelectedTeam(), 2);
}

TEST_F(AiConsole, EveryParameterIsSetFromAnIntegerWithItsOldAndNewLines)
{
    Start();
    struct Row { const char* name; std::function<double(const AIP_struct*)> get; const char* old_line; const char* new_line; };
    const Row rows[] = {
        {"threat", [](const AIP_struct* p) { return p->threat_priority; }, "Old Threat:              -1", "New Threat:              3"},
        {"distance", [](const AIP_struct* p) { return p->distance_priority; }, "Old Distance:            -1", "New Distance:            3"},
        {"defend", [](const AIP_struct* p) { return p->defend_buildings_priority; }, "Old Defend Base:         -1", "New Defend Base:         3"},
        {"attack", [](const AIP_struct* p) { return p->attack_enemy_base_priority; }, "Old Attack Enemy Base:   -1", "New Attack Enemy Base:   3"},
        {"persist", [](const AIP_struct* p) { return p->persistence_priority; }, "Old Persistence:         -1", "New Persistence:         3"},
        {"explore", [](const AIP_struct* p) { return p->exploration_priority; }, "Old Exploration:         -1", "New Exploration:         3"},
        {"scripted", [](const AIP_struct* p) { return p->scripted_priority; }, "Old Scripted:            -1", "New Scripted:            3"},
        {"min_match", [](const AIP_struct* p) { return p->min_matching_force_ratio; }, "Old Min Match:           1.000000", "New Min Match:           3.000000"},
        {"max_match", [](const AIP_struct* p) { return p->max_matching_force_ratio; }, "Old Max Match:           2.000000", "New Max Match:           3.000000"},
        {"min_defend", [](const AIP_struct* p) { return p->min_building_defense_force; }, "Old Min Defend:          -1", "New Min Defend:          3"},
        {"max_defend", [](const AIP_struct* p) { return p->max_building_defense_force; }, "Max Defend:          -1", "Max Defend:          3"},
        {"cycles", [](const AIP_struct* p) { return p->relaxation_cycles; }, "Old Relax Cycles:        0", "New Relax Cycles:        3"},
        {"coeff", [](const AIP_struct* p) { return p->relaxation_coefficient; }, "Old Relax Coefficient:   0.000000", "New Relax Coefficient:   3.000000"},
        {"period", [](const AIP_struct* p) { return p->recompute_strategy_period; }, "Old Recompute Period:   0 cycles", "New Recompute Period:   3 cycles"},
        {"single", [](const AIP_struct* p) { return p->single_use_group_priority; }, "Old Single Use Bonus:   -1 cycles", "New Single Use Bonus:   3 cycles"},
    };
    std::string script = "team 2\n";
    for (const Row& r : rows) script += std::string("aip ") + r.name + " 3\n";
    const std::vector<std::string> out = Run(script + "exit\n");
    for (const Row& r : rows) {
        EXPECT_EQ(After(out, r.old_line, 1), std::vector<std::string>{r.new_line}) << r.name;
        EXPECT_EQ(r.get(plan_), 3.0) << r.name;
    }
    // Without a plan.
    AI_Team::SetPlan(Team(), nullptr);
    EXPECT_TRUE(Has(Run("aip display\naip threat 4\n"), "Team 2 has no AIP"));
}

}   // namespace
