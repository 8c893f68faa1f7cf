// The scheduler: after a grid recompute and squad forming, decides for one
// computer team which cells become goals and which units go where.
//
// Each call of Schedule_Run does one stage and returns, so the work spreads
// over the team's thinking updates:
//   1-2  cells: goal, raw priority and force needs of every cell, the goal
//        cells sorted by raw priority; the squads' centres and counters;
//   3    the walk down from the highest cell: cells whose squad from the
//        last cycle still serves keep it; the first that doesn't starts a
//        run of cells wanting a squad;
//   4-5  candidates: every free squad scored for every cell of the run, at
//        most about 150 a call;
//   6    relaxation: units split off into candidates from the best score
//        down; one pass per call abandons the lowest cell whose minimum
//        force is unmet and gives its units back; when every accepted cell
//        is met and units and cells are left, the next run starts at 3;
//   7    the accepted squads join the team, one squad per cell;
//   8    clean-up.
// A candidate is owned by the candidate array until accepted, then by the
// accepted list; its new squad becomes the team's at the final assignment
// (the entry then names it no more). A squad the team lists is the team's
// alone: an entry naming it is freed without it.
#pragma once

#include <cstdint>

struct squad;
struct GRIDCELL;
struct SORTEDARRAY;
struct LINKLIST;
struct AI_MAP;
struct AI_Team;

// One candidate: one new squad for one cell, split from a source squad.
struct SCHEDULE_ENTRY {
    squad* new_squad;             // owned until accepted
    squad* source;
    GRIDCELL* cell;
    int32_t anti_air_moved, anti_ground_moved;
    int32_t source_strength;      // when created
    double score;                 // a float's value
    int32_t accepted;
};

// The scheduler's work state in the team record.
struct AI_SCHEDULE {
    SORTEDARRAY* cells;           // GRIDCELL*, by raw priority, equal keys after
    int32_t cell_cursor;          // next cell to look at, downward; -1 none left
    LINKLIST* run;                // GRIDCELL* wanting a squad
    SORTEDARRAY* candidates;      // SCHEDULE_ENTRY*, best score first
    int32_t squad_cursor;
    LINKLIST* accepted;           // SCHEDULE_ENTRY*, newest first
};

// Indexes of AI_STAGES.schedule_stage.
enum {
    SCHED_SQUADS_RESET = 0,
    SCHED_CELLS_WALKED = 1,
    SCHED_CANDIDATES = 2,
    SCHED_ARRAY = 3,
    SCHED_RELAXED = 4,
    SCHED_FINAL = 5,
};

// Most candidates one call makes (it ends after the squad that reaches it).
enum { SCHEDULE_SLICE = 150 };

// One stage of the team's schedule; 1 while it did something (0 once the
// schedule is done).
int Schedule_Run(AI_MAP* map, AI_Team* the_team);
// Clears every stage flag of the cycle and the count of assigned units.
void Schedule_Reset(AI_Team* the_team);
// "Scheduler CLEAN-UP" (scheduler log): frees the schedule's memory (with
// the squads not handed to the team) and marks the schedule done.
void Schedule_CleanUp(AI_Team* the_team);

// The rules, for tests: a cell's goal, its raw priority (may turn the goal
// to NO_GOAL), its force needs, and a squad's score for it (float-rounded).
int Schedule_CellGoal(const AI_Team* the_team, const GRIDCELL* cell);
double Schedule_RawPriority(const AI_Team* the_team, GRIDCELL* cell);
void Schedule_ForceNeeds(const AI_Team* the_team, GRIDCELL* cell);
double Schedule_Score(const AI_Team* the_team, const squad* s, const GRIDCELL* cell);
