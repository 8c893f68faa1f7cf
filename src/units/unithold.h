// Unit holds, resource transport and building packages.
//
// A carrier's hold (UNIT.hold) lists the units it carries: they are off the
// map, on their team's off-map list, and go where the carrier goes; a
// carrier that is deleted takes them with it. A tanker shuttles resources
// along a two-point local trail between a source building and a destination
// building named by one of its type's building pairs; at each door it loads
// or unloads a little every update. A unit with a building package carries a
// packed building that it can put up again elsewhere.
#pragma once

struct UNIT;
struct BUILDING;
struct BUILDINGTYPE;

// --- holds

// The unit leaves the map at rest: its path, path search and pending
// command are dropped first (nothing when it is off the map already).
void Units_TakeOffMap(UNIT* u);

// Asserts "uhold" and the unit; a unit on the map leaves it; appended to
// the carrier's hold.
void Units_HoldAddUnit(UNIT* carrier, UNIT* u);
// 1 when the hold has room for one more of the type's `hold` and the unit's
// total mass is at most the type's holdmass; 0 for the carrier itself and
// for a unit that holds the carrier at any depth.
int Units_HoldAvailable(const UNIT* carrier, const UNIT* u);
int Units_HoldHowMany(const UNIT* carrier);
// The type's mass plus that of everything in its hold, recursively.
int Units_TotalMass(const UNIT* u);
// Puts the held unit with that id on the nearest free tile within 3 of the
// carrier (a converting carrier stops converting); 1 when done or when the
// id isn't held, 0 (it stays held) when no tile is free.
int Units_HoldDropUnit(UNIT* carrier, int id);
// Drops every held unit; 1 when the hold is empty afterwards.
int Units_HoldDropAll(UNIT* carrier);
// Drops the unit at the head of the hold list; 1 when the hold was empty.
int Units_HoldDropLast(UNIT* carrier);
// Asserts "uhold"; deletes every held unit.
void Units_HoldDeleteAll(UNIT* carrier);
// Asserts "uhold"; drops every held unit and deletes those that found no
// tile; 1 when all could be dropped.
int Units_HoldDropAllCritical(UNIT* carrier);
// The grabber's type cangrab, the unit's ishuman, the hold has room and the
// grabber's team is not allied towards the unit's.
int Units_CanGrab(const UNIT* grabber, const UNIT* u);
// Refused while the building is in state 1, 3, 5..9; else Build_CanHold.
int Units_CanBoardBuilding(const UNIT* u, const BUILDING* b);

// --- transport

// 1 when a pair of the unit's type names the building type as source or
// destination.
int Units_MatchedTransportPair(const UNIT* u, const BUILDINGTYPE* type);
// The partner of building b for the unit's first pair that yields one: for
// a source, the nearest own destination with room (or keeping on
// delivering); for a destination, the nearest neutral source; only
// buildings whose footprint the unit's team sees now; door to door
// distances, the first found on a tie. Null when none.
BUILDING* Units_FindMatchedTransportBuilding(UNIT* u, BUILDING* b);
// The unit's local trail becomes source door, destination door, which it
// follows (loop mode).
void Units_LayTransportTrail(UNIT* u, BUILDING* src, BUILDING* dst);
// Lays the trail from b to its partner; 1 when there is one.
int Units_SetupTransportTrail(UNIT* u, BUILDING* b);
// Lays the trail again between b and the building still at the other end of
// the unit's old trail; else as Units_SetupTransportTrail.
int Units_SetupReusedTransportTrail(UNIT* u, BUILDING* b);
// At a door on the transport trail: loads or unloads one step (after turning
// and playing the type's animation for it); 1 when the unit may go on, 0
// while it is busy or has stopped.
int Units_UnitTransportActions(UNIT* u, BUILDING* b);
// Empties every load; a unit that carried some, has no order and stands at
// the door of a building of its pairs heads for that building's partner.
void Units_DumpResources(UNIT* u);

// --- building packages

int Units_HasBuildingPackage(const UNIT* u);
// The corner where the package's building would stand: centred on the unit,
// kept inside the map.
void Units_GetUnpackBuildingXY(const UNIT* u, int* x, int* y);
// The placement test of the package's building at that corner.
int Units_CanUnitUnpackHere(const UNIT* u);
// Asserts the unit: SO_CONSTRUCT of the package's building at (x, y).
void Units_DoUnpackBuilding(UNIT* u, int x, int y);

// --- global trails

// Asserts the team and index; clears that global trail of the team; its
// units following it stop.
void Units_ClearGlobal(int team, int index);
