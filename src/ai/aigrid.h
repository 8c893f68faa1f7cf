// The strategic grid of a computer team: the map cut into cells of 8 x 8
// tiles, each holding what the team knows of that part of the map.
//
// A cycle runs on the team's thinking updates (update number mod 9 equal to
// the team), one stage per call: the grid recompute (what stands where, the
// threat spread by relaxation, danger decay, distances by grassfire), then
// the resource scan that scores the sites for the team's transports, then
// the end of the cycle, after which the team waits out its plan's recompute
// period. The plan keeps the time of the last cycle, so teams sharing a
// plan share the wait. The scouted matrix only grows during a game.
#pragma once

#include <cstdint>

struct squad;

enum AI_GOAL {
    NO_GOAL = 0,
    DEFEND_BASE = 1,
    ATTACK_TROOPS = 2,
    SEIGE = 3,
    EXPLORATION = 4,
    MANUALLY_SCRIPTED = 5,
    PERIMETER = 6,
    RESOURCE_GOAL = 7,
};

// The bit of the neighbour at (column + dc, row + dr).
enum AI_DIRECTION {
    AI_DIR_UPLEFT = 1,      // (-1, -1)
    AI_DIR_UP = 2,          // (0, -1)
    AI_DIR_UPRIGHT = 4,     // (+1, -1)
    AI_DIR_LEFT = 8,        // (-1, 0)
    AI_DIR_RIGHT = 16,      // (+1, 0)
    AI_DIR_DOWNLEFT = 32,   // (-1, +1)
    AI_DIR_DOWN = 64,       // (0, +1)
    AI_DIR_DOWNRIGHT = 128, // (+1, +1)
};

struct GRIDCELL {
    float priority, raw_priority, raw_priority_copy;
    int32_t threat, next_threat;
    float danger;
    int32_t enemy_units, enemy_ground_strength, enemy_air_strength;
    int32_t non_combat, non_enemy_units, resources;
    float enemy_building_value, own_building_value;
    int32_t scripted_value, scripted_min_force, scripted_max_force;
    int32_t column, row;
    int32_t assigned_anti_air, assigned_anti_ground;
    int32_t max_anti_air, max_anti_ground, min_anti_air, min_anti_ground;
    squad* squad_ptr;             // the squad holding this cell as its goal
    int32_t processed;
    int32_t goal;                 // AI_GOAL
    int32_t event_state;          // 0 none, 1 under attack, 2 helping a neighbour
    uint8_t direction_mask;       // AI_DIRECTION bits, cleared with the state
};

// The grid and its four matrices (rows x columns, row by row).
struct AI_TARGETS {
    int32_t grid_rows, grid_columns;
    GRIDCELL* cells;
    int32_t* base;                    // 1 where own buildings stand
    int32_t* distance_from_base;
    int32_t* scouted;                 // 1 once seen by the team or an ally
    int32_t* distance_from_scouted;
    int32_t largest_distance;         // from base
};

// The stage flags of a cycle, all cleared together.
struct AI_STAGES {
    int32_t squads_formed, schedule_done, grid_done, resources_done;
    int32_t schedule_stage[6];
    int32_t movement_done;
};

// "Goal Type: ..." of a goal; "Goal Type: UNDEFINED" for any other value.
const char* AI_GoalLabel(int goal);
// The cell at (column, row) of a team's grid, null outside it.
GRIDCELL* AI_GridCell(struct AI_Team* the_team, int column, int row);
// Frees the grid, the matrices and the per-cell squad matrix.
void AI_FreeGrid(struct AI_Team* the_team);
// The recompute of the grid (stage 1) and the resource scan (stage 2).
void AI_RecomputeGrid(struct AI_Team* the_team);
void AI_ScanResources(struct AI_Team* the_team);
// A computer team's cells from (x1, y1) to (x2, y2) in tiles, clamped to
// the grid, take the scripted value and forces; logged with the scripted
// values row by row.
void AI_RegionTweak(int team, int value, int min_force, int max_force, int x1, int y1, int x2,
                    int y2);

// ------------------------------------------------------------------ grassfire
//
// A two-pass distance transform over rows x columns matrices, with one work
// area per game.

// The work area for rows x columns (asserts "!grassfire_initialised").
void Grassfire_Open(int rows, int columns);
// Cells whose source equals value (differs, with invert) get 0, the others
// their distance to the nearest such cell, capped at columns - 1; outside
// the grid counts as the cap when edge equals invert, else as 0.
// connectivity 4 or 8. Sizes other than those opened end the program
// ("Grassfire assertion failure", class 4).
void Grassfire_Run(const int32_t* source, int32_t* destination, int value, int invert, int edge,
                   int connectivity, int rows, int columns);
// Frees the work area; without one logs "Grassfire Closed without matching
// open." (errors).
void Grassfire_Close(void);
