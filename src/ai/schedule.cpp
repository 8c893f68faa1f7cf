#include "ai/schedule.h"

#include <cmath>
#include <initializer_list>

#include "ai/aigrid.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/sortarr.h"
#include "core/tlog.h"

namespace {

int Index(const AI_Team* t, const GRIDCELL* c)
{
    return c->row * t->strategic_targets.grid_columns + c->column;
}
int Scouted(const AI_Team* t, const GRIDCELL* c) { return t->strategic_targets.scouted[Index(t, c)]; }
int Distance(const AI_Team* t, const GRIDCELL* c) { return t->strategic_targets.distance_from_base[Index(t, c)]; }

// Scouted and nothing there worth a squad.
int Empty(const AI_Team* t, const GRIDCELL* c)
{
    return Scouted(t, c) && c->enemy_units == 0 && c->own_building_value == 0.0f &&
           c->enemy_building_value == 0.0f && c->resources == 0 && c->scripted_value == 0 && Distance(t, c) != 1;
}

int& Stage(AI_Team* t, int which) { return t->stages.schedule_stage[which]; }

GRIDCELL* CellAt(AI_Team* t, int index) { return static_cast<GRIDCELL*>(SortedArray_GetAt(t->schedule.cells, index)); }

// Stage 1: goals, priorities and force needs; the goal cells sorted.
void Cells(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    AI_TARGETS& g = t->strategic_targets;
    t->best_candidate_score = -1000000000;
    t->lowest_candidate_score = 1e9;
    const int n = g.grid_rows * g.grid_columns;
    s.cells = SortedArray_Create(n);
    for (int i = 0; i < n; i++) {
        GRIDCELL* c = &g.cells[i];
        c->goal = Schedule_CellGoal(t, c);
        c->raw_priority = 0.0f;
        if (c->goal != NO_GOAL) c->raw_priority = (float)Schedule_RawPriority(t, c);
        if (c->goal != NO_GOAL) {
            c->priority = -1e9f;
            Schedule_ForceNeeds(t, c);
            SortedArray_Insert(s.cells, c, (double)c->raw_priority);
        }
        c->processed = 0;
    }
    s.cell_cursor = s.cells->count - 1;
    s.run = LinkList_New();
    s.accepted = LinkList_New();
}

// Stage 2.
void ResetSquads(AI_Team* t)
{
    for (GLL_NODE* n = t->squads->first; n; n = n->next) {
        squad* q = static_cast<squad*>(n->element);
        Squad_UpdateCentre(q);
        Squad_Recount(q, t->team_ID);
        q->given_anti_air = q->given_anti_ground = 0;
        q->count_at_start[0] = q->count_at_start[1] = q->units->count;
        q->used = q->is_new = 0;
    }
}

// A cell keeps the squad it had when the squad can still give what is asked.
int Keeps(const GRIDCELL* c)
{
    const squad* q = c->squad_ptr;
    return q && c->assigned_anti_air <= q->anti_air && c->assigned_anti_ground <= q->anti_ground;
}

// Stage 3.
void WalkCells(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    while (s.cell_cursor >= 0 && Keeps(CellAt(t, s.cell_cursor))) {
        CellAt(t, s.cell_cursor)->squad_ptr->used = 1;
        s.cell_cursor--;
    }
    while (s.cell_cursor >= 0 && !Keeps(CellAt(t, s.cell_cursor))) {
        LinkList_AddTail(s.run, CellAt(t, s.cell_cursor));
        s.cell_cursor--;
    }
}

// An entry not accepted goes, with its squad unless the team lists that
// squad: the team's list owns it then, and frees it once.
void Release(AI_Team* t, SCHEDULE_ENTRY* e)
{
    for (GLL* list : {t->squads, t->attack_squads})
        for (GLL_NODE* n = list ? list->first : nullptr; n && e->new_squad; n = n->next)
            if (n->element == e->new_squad) e->new_squad = nullptr;
    e->accepted = 0;
    Squad_Release(e);
}

void FreeCandidates(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    if (!s.candidates) return;
    for (int i = 0; i < s.candidates->count; i++) {
        SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(SortedArray_GetAt(s.candidates, i));
        if (!e->accepted) Release(t, e);
    }
    SortedArray_Destroy(s.candidates);
    s.candidates = nullptr;
}

// Stage 5: one slice of candidates.
void Candidates(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    int made = 0;
    while (s.squad_cursor < t->squads->count && made < SCHEDULE_SLICE) {
        squad* q = static_cast<squad*>(GLL_GoTo(t->squads, s.squad_cursor + 1));
        s.squad_cursor++;
        if (q->used || q->units->count == 0) continue;
        for (LINKLIST_CELL* c = s.run->head; c; c = c->next) {
            GRIDCELL* cell = static_cast<GRIDCELL*>(c->data);
            const double score = Schedule_Score(t, q, cell);
            if (score > -5e8 && score < t->lowest_candidate_score) t->lowest_candidate_score = score;
            if (score > t->best_candidate_score) t->best_candidate_score = AIP_SaturateInt(score);
            if (score > cell->priority) cell->priority = (float)score;
            SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(Debug_Calloc(1, sizeof(SCHEDULE_ENTRY)));
            e->new_squad = Squad_New();
            e->new_squad->id = t->next_squad_id++;
            e->new_squad->is_new = 1;
            e->source = q;
            e->cell = cell;
            e->source_strength = q->strength;
            e->score = score;
            // Best first, equal scores in the order made.
            SortedArray_Insert(s.candidates, e, -score);
            made++;
        }
    }
    if (s.squad_cursor >= t->squads->count) Stage(t, SCHED_CANDIDATES) = 1;
}

int Free(const AI_Team* t) { return t->units->count - t->units_assigned; }

// Stage 6a.
void Assign(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    int free_units = Free(t);
    for (int i = 0; i < s.candidates->count && free_units > 0; i++) {
        SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(SortedArray_GetAt(s.candidates, i));
        GRIDCELL* cell = e->cell;
        if (cell->processed || e->source->units->count == 0) continue;
        const int need = AIP_SaturateInt((double)cell->max_anti_ground + cell->max_anti_air -
                                          cell->assigned_anti_air - cell->assigned_anti_ground);
        if (need <= 0) continue;
        int count = 0, air = 0, ground = 0;
        const int amount = need < e->source_strength ? need : e->source_strength;
        const int moved =
            Squad_FillFromSquad(t->team_ID, e->source, e->new_squad, amount, &count, cell, &air, &ground);
        if (moved == 0 && count == 0) continue;
        e->anti_air_moved += air;
        e->anti_ground_moved += ground;
        cell->assigned_anti_air += air;
        cell->assigned_anti_ground += ground;
        e->source->given_anti_air += air;
        e->source->given_anti_ground += ground;
        // A candidate topped up in a later pass is listed once.
        if (!e->accepted) LinkList_AddHead(s.accepted, e);
        e->accepted = 1;
        free_units -= count;
    }
    t->units_assigned = t->units->count - free_units;
}

int Unmet(const GRIDCELL* c)
{
    return c->assigned_anti_air < c->min_anti_air || c->assigned_anti_ground < c->min_anti_ground;
}

// Stage 6b: 1 when a cell was abandoned.
int Abandon(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    GRIDCELL* lowest = nullptr;
    for (LINKLIST_CELL* c = s.accepted->head; c; c = c->next) {
        GRIDCELL* cell = static_cast<SCHEDULE_ENTRY*>(c->data)->cell;
        if (!Unmet(cell)) cell->processed = 1;
        else if (!lowest || cell->priority < lowest->priority) lowest = cell;
    }
    if (!lowest) return 0;
    lowest->processed = 1;
    for (LINKLIST_CELL* c = s.accepted->head; c;) {
        SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(c->data);
        c = c->next;
        if (e->cell != lowest) continue;
        int count = 0;
        Squad_TransferStrength(t->team_ID, e->new_squad, e->source, 0x7fffffff, &count);
        lowest->assigned_anti_air -= e->anti_air_moved;
        lowest->assigned_anti_ground -= e->anti_ground_moved;
        e->source->given_anti_air -= e->anti_air_moved;
        e->source->given_anti_ground -= e->anti_ground_moved;
        e->anti_air_moved = e->anti_ground_moved = 0;
        LinkList_Remove(s.accepted, e);
        e->accepted = 0;
        t->units_assigned -= count;
    }
    return 1;
}

// Stage 6c: the next run, when cells and free units are left.
void NextRun(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    Stage(t, SCHED_RELAXED) = 1;
    if (s.cell_cursor < 0 || Free(t) <= 0) return;
    for (int which : {SCHED_CELLS_WALKED, SCHED_CANDIDATES, SCHED_ARRAY, SCHED_RELAXED, SCHED_FINAL})
        Stage(t, which) = 0;
    FreeCandidates(t);
    LinkList_Clear(s.run);
}

void AddSquadOnce(GLL* list, squad* q)
{
    for (GLL_NODE* n = list->first; n; n = n->next)
        if (n->element == q) return;
    GLL_GoFirst(list);
    GLL_InsertBefore(list, q);
}

// Stage 7.
void FinalAssignment(AI_Team* t)
{
    AI_SCHEDULE& s = t->schedule;
    for (LINKLIST_CELL* c = s.accepted->head; c; c = c->next)
        static_cast<SCHEDULE_ENTRY*>(c->data)->cell->squad_ptr = nullptr;
    for (LINKLIST_CELL* c = s.accepted->head; c; c = c->next) {
        SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(c->data);
        AddSquadOnce(t->squads, e->new_squad);
        if (e->cell->squad_ptr) {
            int count = 0;
            Squad_TransferStrength(t->team_ID, e->new_squad, e->cell->squad_ptr, 0x7fffffff, &count);
        } else {
            Squad_SetCell(e->new_squad, e->cell);
        }
        e->new_squad = nullptr;   // the team's now (emptied ones go below)
    }
    for (void* q = GLL_GoLast(t->squads); q;) {
        squad* sq = static_cast<squad*>(q);
        if (sq->units->count != 0) {
            q = GLL_GoPrev(t->squads);
            continue;
        }
        GLL_DeleteCurrent(t->squads);
        Squad_Delete(sq);
        // The cursor now stands after the removed node.
        q = t->squads->curr ? GLL_GoPrev(t->squads) : GLL_GoLast(t->squads);
    }
}

// Stage 8's priority range.
void PriorityRange(AI_Team* t)
{
    AI_TARGETS& g = t->strategic_targets;
    double high = -1e9, low = 1e9;
    for (int i = 0; i < g.grid_rows * g.grid_columns; i++) {
        GRIDCELL& c = g.cells[i];
        c.raw_priority_copy = c.raw_priority;
        if (c.raw_priority <= -5e8) continue;
        if (c.raw_priority > high) high = c.raw_priority;
        if (c.raw_priority < low) low = c.raw_priority;
    }
    t->highest_raw_priority = high;
    t->lowest_raw_priority = low;
}

}   // namespace

// ------------------------------------------------------------------ rules

int Schedule_CellGoal(const AI_Team* t, const GRIDCELL* c)
{
    const int d = Distance(t, c);
    if (!Scouted(t, c))
        return t->strategic_targets.distance_from_scouted[Index(t, c)] <= 1 ? EXPLORATION : NO_GOAL;
    if (c->threat == 0 && c->own_building_value == 0.0f && c->enemy_building_value == 0.0f && c->resources == 0 &&
        c->scripted_value == 0 && d != 1)
        return NO_GOAL;
    if (c->enemy_building_value > 0.0f) return SEIGE;
    if (c->threat == 0 && c->own_building_value > 0.0f) return DEFEND_BASE;
    if (c->threat > 0) return ATTACK_TROOPS;
    if (c->resources > 0) return RESOURCE_GOAL;
    if (c->scripted_value > 0) return MANUALLY_SCRIPTED;
    if (d == 1) return PERIMETER;
    return NO_GOAL;
}

double Schedule_RawPriority(const AI_Team* t, GRIDCELL* c)
{
    const AIP_struct* p = t->plan;
    const int d = Distance(t, c);
    if (Empty(t, c)) {
        c->goal = NO_GOAL;
        return -1e9;
    }
    if (!Scouted(t, c)) return (double)p->exploration_priority + (double)p->distance_priority * d;
    return (double)p->persistence_priority * (c->squad_ptr != nullptr) + (double)p->perimeter_priority * (d == 1) +
           (double)p->danger_priority * c->danger + (double)p->scripted_priority * c->scripted_value +
           (double)p->threat_priority * c->threat + (double)p->resource_priority * c->resources +
           (double)p->defend_buildings_priority * c->own_building_value +
           (double)p->attack_enemy_base_priority * c->enemy_building_value + (double)p->distance_priority * d;
}

void Schedule_ForceNeeds(const AI_Team* t, GRIDCELL* c)
{
    const AIP_struct* p = t->plan;
    const int b = (c->own_building_value > 0.0f) + (c->enemy_building_value > 0.0f);
    const int r = c->resources > 0, per = Distance(t, c) == 1;
    const double g = p->generic_ground_ratio, air = 0.999999 - g;
    const double fixed_max = (double)p->max_perimeter_force * per + (double)p->max_building_defense_force * b +
                             (double)p->max_resource_force * r + c->scripted_max_force;
    const double fixed_min = (double)p->min_perimeter_force * per + (double)p->min_building_defense_force * b +
                             (double)p->min_resource_force * r + c->scripted_min_force;
    c->assigned_anti_air = c->assigned_anti_ground = 0;
    c->max_anti_ground = AIP_SaturateInt(p->max_matching_force_ratio * c->enemy_ground_strength + fixed_max * g);
    c->min_anti_ground = AIP_SaturateInt(p->min_matching_force_ratio * c->enemy_ground_strength + fixed_min * g);
    c->max_anti_air = AIP_SaturateInt(p->max_matching_force_ratio * c->enemy_air_strength + fixed_max * air);
    c->min_anti_air = AIP_SaturateInt(p->min_matching_force_ratio * c->enemy_air_strength + fixed_min * air);
    if (c->goal == EXPLORATION) {
        c->min_anti_ground = p->min_exploration_force;
        c->max_anti_ground = p->max_exploration_force;
    }
}

double Schedule_Score(const AI_Team* t, const squad* q, const GRIDCELL* c)
{
    const AIP_struct* p = t->plan;
    const double dx = (double)q->centre_x - (c->column * 8 + 4), dy = (double)q->centre_y - (c->row * 8 + 4);
    const double D = std::sqrt(dx * dx + dy * dy);
    const int L = q->cell != nullptr && q->cell != c;
    double score;
    if (Empty(t, c)) score = -1e9;
    else if (!Scouted(t, c))
        score = (double)p->distance_priority * D - (double)p->persistence_priority * L + p->exploration_priority;
    else
        score = (double)p->perimeter_priority * (Distance(t, c) == 1) - (double)p->persistence_priority * L +
                (double)p->scripted_priority * c->scripted_value + (double)p->danger_priority * c->danger +
                (double)p->threat_priority * c->threat + (double)p->defend_buildings_priority * c->own_building_value +
                (double)p->resource_priority * c->resources +
                (double)p->attack_enemy_base_priority * c->enemy_building_value + (double)p->distance_priority * D +
                p->appropriateness_priority;
    // Stored as a float: the sort and every comparison see that one value.
    return (double)(float)score;
}

// ------------------------------------------------------------------ the stages

int Schedule_Run(AI_MAP* map, AI_Team* t)
{
    (void)map;
    ASSERT(t && t->plan);
    AI_SCHEDULE& s = t->schedule;
    if (!Stage(t, SCHED_SQUADS_RESET)) {
        Cells(t);
        ResetSquads(t);
        Stage(t, SCHED_SQUADS_RESET) = 1;
        return 1;
    }
    if (!Stage(t, SCHED_CELLS_WALKED)) {
        WalkCells(t);
        Stage(t, SCHED_CELLS_WALKED) = 1;
    }
    if (!Stage(t, SCHED_ARRAY)) {
        const int capacity = s.run->count * t->squads->count;
        s.candidates = capacity > 0 ? SortedArray_Create(capacity) : nullptr;
        if (!s.candidates) Stage(t, SCHED_CANDIDATES) = Stage(t, SCHED_RELAXED) = 1;
        s.squad_cursor = 0;
        Stage(t, SCHED_ARRAY) = 1;
        return 1;
    }
    if (!Stage(t, SCHED_CANDIDATES)) {
        Candidates(t);
        return 1;
    }
    if (!Stage(t, SCHED_RELAXED)) {
        Assign(t);
        if (Abandon(t)) return 1;
        NextRun(t);
        return 1;
    }
    if (!Stage(t, SCHED_FINAL)) {
        FinalAssignment(t);
        Stage(t, SCHED_FINAL) = 1;
        return 1;
    }
    if (t->stages.schedule_done) return 0;
    Schedule_CleanUp(t);
    PriorityRange(t);
    return 1;
}

void Schedule_Reset(AI_Team* t)
{
    t->stages = AI_STAGES{};
    t->units_assigned = 0;
}

void Schedule_CleanUp(AI_Team* t)
{
    TLOG(TLOG_SCHEDULE, "Scheduler CLEAN-UP");
    AI_SCHEDULE& s = t->schedule;
    if (s.cells) SortedArray_Destroy(s.cells);
    s.cells = nullptr;
    LinkList_Delete(s.run);
    s.run = nullptr;
    FreeCandidates(t);
    if (s.accepted) {
        const int final_ran = Stage(t, SCHED_FINAL);
        for (LINKLIST_CELL* c = s.accepted->head; c; c = c->next) {
            SCHEDULE_ENTRY* e = static_cast<SCHEDULE_ENTRY*>(c->data);
            if (!final_ran) {
                Release(t, e);
            } else {
                Debug_Free(&e);
            }
        }
        LinkList_Delete(s.accepted);
        s.accepted = nullptr;
    }
    s.cell_cursor = -1;
    s.squad_cursor = 0;
    t->stages.schedule_done = 1;
}
