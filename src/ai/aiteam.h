// One computer team's record: its combat units, its plan, its construction
// books and its strategic grid (ai/aigrid.h).
#pragma once

#include <cstdint>

#include "ai/aibuild.h"
#include "ai/aigrid.h"
#include "ai/schedule.h"

struct GLL;
struct AIP_struct;
struct AI_MAP;
struct squad;

struct AI_Team {
    int32_t team_ID;
    int32_t switch_word;          // 1 for every AI team
    GLL* units;                   // UNIT*, combat units, newest first
    GLL* squads;                  // empty until squads are formed
    GLL* attack_squads;
    int32_t next_squad_id;        // from 1000
    int32_t combat_count[3];      // each raised and lowered with every combat unit
    int32_t combat_sum;           // the last two together
    int32_t enemy_units;
    AIP_struct* plan;             // null until SetPlan
    int32_t best_candidate_score;         // of the last schedule
    double lowest_candidate_score;
    double highest_raw_priority, lowest_raw_priority;
    int32_t highest_threat;               // of the last recompute
    int32_t largest_enemy_count;          // enemy units in one cell
    float largest_own_building;           // own building value met at completions
    AI_TARGETS strategic_targets;
    AI_STAGES stages;
    AI_SCHEDULE schedule;                 // the scheduler's work state
    int32_t units_assigned;               // in this schedule
    int32_t cycle_complete;
    AIBUILD aibuild;
    squad** cell_squads;                  // rows x columns, while squads are formed

    // A new record for team (asserted 0..8): empty lists, squad ids from
    // 1000, no plan; opens the construction books, resets the team's
    // strength factors and builds the grid (AI_map's size, else the map's).
    static AI_Team* New(int team, int switch_word);
    // Every cell zeroed with its row and column, the stages reset; the
    // matrices: base 0, distance from base = rows, scouted 0, distance from
    // the scouted area = rows.
    static void InitGrid(AI_Team* the_team, int rows, int columns);
    // The strategic step (asserts the team): only on updates whose number
    // mod 9 is the team's, once the plan's recompute period has passed since
    // its last recompute: one stage per call (the grid; the resource scan;
    // squad forming; one scheduler slice; the squads' movement; then the end
    // of the cycle, which releases the help called to quiet cells).
    static void Update(AI_MAP* map, AI_Team* the_team);
    // A computer team's cell holding (x, y) (tiles when scaled, else column
    // and row) gains amount of danger; outside the grid nothing.
    static void ReportAttack(int team, int amount, int x, int y, int scaled);
    // A computer team's PERIMETER or DEFEND_BASE cell holding (x, y) (tiles
    // when scaled) is under attack: it calls its neighbours' squads to the
    // attacker (attacker_x >= 0 within one cell) or into the cell.
    static void ReportEvent(int team, int x, int y, int scaled, int attacker_x, int attacker_y);
    // A computer team's cell at (x, y) sends its helpers home when it is
    // quiet (no enemy units, enemy building value at most 0.00001).
    static void ReleaseSupport(AI_MAP* map, int team, int x, int y, int scaled);
    // Forms the team's squads at once, with begin and end log lines.
    static void Init_All_Teams_Strategies(AI_MAP* map, AI_Team* the_team);
    // Closes the books, deletes the squads of both lists and the schedule,
    // frees the lists and the record (null: nothing).
    static void Delete(AI_Team* the_team);
    // Detaches the old plan's program; the plan's budgets split the credits,
    // its program is attached and the strength factors follow its matchings.
    // A null plan only detaches.
    static void SetPlan(AI_Team* the_team, AIP_struct* plan);
};
