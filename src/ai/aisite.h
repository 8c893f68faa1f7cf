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

// At the head of the team's unassigned crews; a unit that can't build is
// not listed (logged).
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
// Off every list of the team, quietly (an assigned transport's site is
// no longer served).
void AIBuild_ForgetUnit(AI_Team* the_team, UNIT* unit);
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

// ------------------------------------------------------------------ resource sites and transports
//
// Two lists of sites shared by all teams, one per resource, made at AI
// start from every building whose type produces the resource (water first):
// the door tile, the building's id and, per team, served (a transport of
// the team is assigned), usable and score (set by the team's step). A site
// whose building is gone stays listed: the walks pass over it.

struct AIBUILD_SITE {
    int32_t x, y;                    // the building's tile plus its bay offset
    int32_t id;                      // the building's
    int32_t served[9], usable[9], score[9];
};

// Builds both lists ("resource #%d found at (%d, %d) id number %d" each,
// newest first) and dumps them; any old lists are freed first.
void AIBuild_ResourceInit(void);
// Frees both lists ("in RLD", a line per node, "leaving RLD").
void AIBuild_ResourceListDelete(void);
// The site at index of list resource; null past the end, outside 0..1 or
// when its building is gone.
AIBUILD_SITE* AIBuild_ResourceGet(int resource, int index);
// The number of sites of list resource, gone or not (0 outside 0..1).
int AIBuild_ResourceCount(int resource);
// The node at index whether its building stands or not; null outside.
const AIBUILD_SITE* AIBuild_ResourceNode(int resource, int index);
// "Dumping resource %d" and each live site.
void AIBuild_DumpResources(int resource);
// Sets the served flag of team at the site of building_id (either list).
void AIBuild_SiteServed(int building_id, int team, int served);
// A completed building joins the team's taker lists of the resources its
// type takes (sale percent above 0, or a supply target for it).
void AIBuild_TakerAdd(AI_Team* the_team, const BUILDINGTYPE* type, int building_id);
// Off the first taker list that holds it; its transports are released.
void AIBuild_TakerRemove(AI_Team* the_team, int building_id);
// Every computer team's assigned transports that serve building_id, from
// the last to the first: stopped, unassigned again (at the head), their
// sites no longer served.
void AIBuild_ReleaseTransports(int building_id);
// One transport per usable site of each resource the team has a taker for,
// less its transports and those under construction; stored and returned.
int AIBuild_CountTransportsNeeded(AI_Team* the_team);
// The head of the unassigned transports gets the best usable site not
// served by the team (water first, the first of equal scores) and the
// site's partner building, and goes on its trail between them; with no
// site or no partner it stays unassigned.
void AIBuild_AssignTransport(AI_Team* the_team);
