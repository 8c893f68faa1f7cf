// Squads: groups of a computer team's combat units sharing one goal cell of
// the strategic grid. A squad keeps its summed strength in total, against
// flyers and against ground units, so that the scheduler can match it
// against a cell's force requirements. A unit's ai.squad names its squad;
// a cell's squad_ptr names the squad holding it as its goal.
#pragma once

#include <cstdint>

struct LINKLIST;
struct GLL;
struct GRIDCELL;
struct UNIT;
struct AI_MAP;
struct AI_Team;
struct SCHEDULE_ENTRY;

struct squad {
    int32_t id;                       // the team's next squad id
    int32_t centre_x, centre_y;       // tiles; -1 while empty
    LINKLIST* units;                  // UNIT*, not owned
    int32_t given_anti_air, given_anti_ground;   // given away this schedule
    int32_t count_at_start[2];        // unit count at the start of the schedule
    GRIDCELL* cell;                   // the goal cell, null when none
    int32_t word;                     // 0 at creation
    int32_t latest_arrival, arrived_count;
    int32_t strength, anti_air, anti_ground;
    int32_t used, is_new;             // scheduler flags
};

// An empty squad: no cell, centre (-1, -1), strengths 0.
squad* Squad_New(void);
// Frees the unit list and the record and clears the goal cell's link; null
// logs "AI  Squad_Delete tried to free a NULL squad" (errors).
void Squad_Delete(squad* s);
// Frees a scheduler candidate; one not accepted takes its new squad along.
void Squad_Release(SCHEDULE_ENTRY* entry);
// The squad takes cell as its goal (the old cell's link cleared); null clears.
void Squad_SetCell(squad* s, GRIDCELL* cell);
// Centre = the members' mean tile (integer division), (-1, -1) when empty.
void Squad_UpdateCentre(squad* s);
// Strength, anti-air and anti-ground become the sums of the living members'
// strengths against team at their present hit points.
void Squad_Recount(squad* s, int team);
// The unit joins at the head; its squad link is set, its arrived flag
// cleared and the strengths recounted.
void Squad_AddUnit(squad* s, UNIT* unit, int team);
// The reverse; the unit's link is cleared only when it named this squad.
void Squad_RemoveUnit(squad* s, UNIT* unit, int team);
// Moves whole units from the head of from to to while amount > 0; returns
// the strength moved, *count_out the units.
int Squad_TransferStrength(int team, squad* from, squad* to, int amount, int* count_out);
// 0 for a unit repairing or rearming itself or unable to shoot; else 1 at
// the first of three random tiles of the cell it can reach.
int Squad_UnitUsable(UNIT* unit, const GRIDCELL* cell);
// Moves usable units of from to to until amount <= 0; a flyer-shooter counts
// as anti-air while the cell's assigned anti-air is below its maximum.
// Returns the strength moved; outs: units, anti-air and anti-ground parts.
int Squad_FillFromSquad(int team, squad* from, squad* to, int amount, int* count_out, const GRIDCELL* cell,
                        int* air_out, int* ground_out);
// Every member gets SO_MOVE to (x, y) clamped to 1..size - 1.
void Squad_MoveTo(AI_MAP* map, squad* s, int x, int y);
// Every member outside the cell gets SO_MOVE to a random tile of it.
void Squad_MoveToCell(AI_MAP* map, squad* s, const GRIDCELL* cell);
// A squad with a goal cell moves there (asserts the squad).
void Squad_MoveAll(AI_MAP* map, squad* s);
// Drops the later copy of every repeated squad of list (GLL of squad*).
void Squad_RemoveDuplicates(GLL* list);
