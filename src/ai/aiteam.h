// One computer team's record: its combat units, its plan and its
// construction books. The strategic grid of the team comes later; the record
// carries what the frame and the construction step need now.
#pragma once

#include <cstdint>

#include "ai/aibuild.h"

struct GLL;
struct AIP_struct;

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
    AIBUILD aibuild;

    // A new record for team (asserted 0..8): empty lists, squad ids from
    // 1000, no plan; opens the construction books and resets the team's
    // strength factors.
    static AI_Team* New(int team, int switch_word);
    // Closes the books, frees the lists and the record (null: nothing).
    static void Delete(AI_Team* the_team);
    // Detaches the old plan's program; the plan's budgets split the credits,
    // its program is attached and the strength factors follow its matchings.
    // A null plan only detaches.
    static void SetPlan(AI_Team* the_team, AIP_struct* plan);
};
