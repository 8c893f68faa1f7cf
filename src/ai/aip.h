// AI plans: scripts that tune a computer player.
//
// A plan is a script of the program's script language; loading runs it and
// copies the variables the computer player knows into one record: the
// weights of the strategic AI, how strong the team thinks each unit type is,
// which type answers which enemy type, and the construction program. Missing
// variables are not errors: they read -1 (or their defaults). Entries that
// would break the program (a priority, build type or amount out of range, an
// account past the 32 slots) are logged naming the file and the entry, and
// skipped; a scalar out of its range (below) is logged with the file, its
// name and value, and held to the range.
#pragma once

#include <cstdint>

#include "ai/aiprog.h"
#include "map/map.h"

struct UNITTYPE;

enum {
    AIP_UNITTYPES = 100,
    AIP_BUILDINGTYPES = 60,
    AIP_FILENAME = 64,
    // Load-time ranges (out of range: held to the bound and logged).
    AIP_MAXRELAX = 2 * ((MAP_MAX_SIDE + 7) / 8),   // rows + columns of the largest grid
    AIP_MAXPERIOD = 1000000000,                   // -(period + 1) stays in 32 bits
    AIP_MAXWEIGHT = 1000000,                      // threat per enemy unit
};
// Floats and doubles of a plan are held to +-this (no number: 0).
constexpr double AIP_MAXREAL = 1e6;

struct AIP_struct {
    int32_t ground_unit_threat;
    int32_t threat_priority;
    int32_t distance_priority;
    int32_t appropriateness_priority;
    int32_t defend_buildings_priority;
    int32_t attack_enemy_base_priority;
    int32_t persistence_priority;
    int32_t exploration_priority;
    int32_t scripted_priority;
    int32_t perimeter_priority;
    int32_t resource_priority;
    int32_t danger_priority;
    int32_t single_use_group_priority;
    float danger_diminishment;
    double max_matching_force_ratio;
    double min_matching_force_ratio;
    double generic_ground_ratio;
    int32_t min_perimeter_force;
    int32_t max_perimeter_force;
    int32_t max_building_defense_force;
    int32_t min_building_defense_force;
    int32_t min_exploration_force;
    int32_t max_exploration_force;
    int32_t min_resource_force;
    int32_t max_resource_force;
    int32_t relaxation_cycles;
    float relaxation_coefficient;
    int32_t target_mode;                  // how the team's units choose targets (0 at load)
    int32_t recompute_strategy_period;
    int32_t last_recompute;               // -(period + 1) at load
    AIBUILD_PROGRAM* construction_program;   // owned
    int32_t* budget;                      // AIBUILD_MAX_ACCOUNTS, owned
    int32_t* max_reserve;                 // AIBUILD_MAX_ACCOUNTS, owned
    int32_t repair_buildings;
    uint16_t transport;                   // prerequisite id, 0 none
    float unit_matching[AIP_UNITTYPES];
    float building_matching[AIP_BUILDINGTYPES];
    int32_t build_pos[AIP_BUILDINGTYPES];
    UNITTYPE* match_up[AIP_UNITTYPES];
    float match_amount[AIP_UNITTYPES];
    float match_up_need[AIP_UNITTYPES];   // recomputed by the strategic step
    char filename[AIP_FILENAME];          // after the last separator
};

// Runs the plan script at path (the home directory added to its includes)
// and reads the plan from it; null when the script fails to load (any
// non-zero result of IParse_LoadScript: 10 missing file, 1 error in the
// text). Logs each level and every unknown or refused entry.
AIP_struct* AIP_Load(const char* path);
// The plan's own thinking as its load left it: target mode 0, the strategy
// due at once, no match-up need, every account's counters reset.
void AIP_Restart(AIP_struct* plan);
// v truncated toward zero and held to the 32-bit range (no number: 0): the
// strategic step's products of plan weights never overflow a conversion.
int32_t AIP_SaturateInt(double v);
// Frees a plan and its program (asserts it); logs "AIP_Delete: Deleting aip's
// construction program" and "    Done".
void AIP_Delete(AIP_struct* plan);
