// Where and by whom the computer players build: the crews and transports
// of each team, the places its crews are on their way to (reserved areas),
// and the placement search around the team's base.
//
// A crew goes unassigned (cc_construct_type 0, on the unassigned list) ->
// assigned (SO_CONSTRUCT given, its place reserved with a 2-tile margin) ->
// constructing (inside its site) -> gone into the building, or back at the
// head of the unassigned list after a stall. The reserved areas keep two
// crews of one team off each other's places until the buildings stand; a
// standing building keeps the others off by the occupancy codes it writes.
//
// The search tries sparse rings around the base: ring r holds r positions
// per side, so large rings are cheap and the first places tried are the
// nearest ones.
#pragma once

#include <cstdint>

struct AI_Team;
struct UNIT;
struct BUILDINGTYPE;

// ------------------------------------------------------------------ lists (trace lines by unit id)

// At the head of the team's unassigned crews.
void AIBuild_UnassignedCCAdd(AI_Team* the_team, UNIT* unit);
// Off the unassigned crews, if listed.
void AIBuild_UnassignedCCRemove(AI_Team* the_team, UNIT* unit);
// The head of the unassigned crews, null when none.
UNIT* AIBuild_UnassignedCCGet(AI_Team* the_team);
void AIBuild_UnassignedTransportAdd(AI_Team* the_team, UNIT* unit);
void AIBuild_UnassignedTransportRemove(AI_Team* the_team, UNIT* unit);
UNIT* AIBuild_UnassignedTransportGet(AI_Team* the_team);
void AIBuild_AssignedTransportAdd(AI_Team* the_team, UNIT* unit);
// Off the assigned transports if listed; its source site is no longer
// served for the team.
void AIBuild_AssignedTransportRemove(AI_Team* the_team, UNIT* unit);
// "Unassigned CC's Team %d" / "Unassigned Transports's Team %d" /
// "Assigned Transports's Team %d", then one line per unit id.
void AIBuild_DumpLists(AI_Team* the_team);

// ------------------------------------------------------------------ reserved areas

// The first free slot takes the rectangle; the slot, or -1 when all 32 are
// in use.
int AIBuild_ReserveArea(AI_Team* the_team, int x, int y, int width, int height);
// Frees a slot; one outside 0..31 is ignored.
void AIBuild_ClearReservedFlag(AI_Team* the_team, int slot);
// Frees all 32.
void AIBuild_ClearReservedAreas(AI_Team* the_team);
// 1 when the rectangle overlaps an area in use: x + width - 1 >= rx,
// y + height - 1 >= ry, rx + rwidth > x and ry + rheight > y.
int AIBuild_IsReserved(const AI_Team* the_team, int x, int y, int width, int height);
// "Dumping Reserved Areas" and the corners of every area in use.
void AIBuild_DumpReservedAreas(const AI_Team* the_team);

// ------------------------------------------------------------------ placement

// The base: the average tile of the team's buildings, else of its units on
// the map, else (0, 0) (truncated); "AT Team %d Base Located at (%d, %d)".
void AIBuild_LocateBase(AI_Team* the_team);
// "AIBuild_FindFacilityLocation Begins"; fails while the placement delay
// runs, else the ring search, whose failure starts the 300-update delay.
// crew (may be null) is the unit that will build: the place must then also
// suit it (explored, its terrain, in reach).
int AIBuild_FindFacilityLocation(AI_Team* the_team, const BUILDINGTYPE* type, int* x, int* y,
                                 const UNIT* crew);
// The ring search around the base for a top-left tile that passes the
// position test; gives up after the ring r at which r + 1 exceeds both map
// sides. 1 and the tile, or 0.
int AIBuild_FindNormalFacilityLocation(AI_Team* the_team, const BUILDINGTYPE* type, int* x, int* y,
                                       const UNIT* crew);
// The position test: not reserved, a level exit strip of the last row and
// two below, a clearance of 2 tiles all of occupancy code 31 inside the
// map, AIBuild_CanBuildHere; for a crew also Build_ApplyEffects with it as
// builder and in its reach.
int AIBuild_PositionFits(const AI_Team* the_team, const BUILDINGTYPE* type, int x, int y,
                         const UNIT* crew);
// The type's footprint (the effect grid named by its first image) at (x, y):
// every footprint tile on the map, free of ground and phased tunnel units,
// of code 31, and (but for a bridge) on terrain with effect bits and level
// with the first tile. A missing or mis-sized footprint is logged and fails.
int AIBuild_CanBuildHere(const BUILDINGTYPE* type, int x, int y);
// The ring search around (cx, cy) with only the reserve and CanBuildHere
// tests, up to the ring at which r + 1 exceeds half the building's width or
// height. 1 and the tile, or 0.
int AIBuild_CanMineFitHere(const AI_Team* the_team, const BUILDINGTYPE* type, int cx, int cy, int* x,
                           int* y);

// ------------------------------------------------------------------ crews

// Every unassigned crew from the head gets a building item and its place
// (SO_CONSTRUCT, the place reserved with its margin, or slot -1 when all 32
// are taken) until one gets nothing.
void AIBuild_AssignConstructionUnits(AI_Team* the_team);
