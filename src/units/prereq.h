// Prerequisites: who may make what.
//
// Every unit and building type carries a PREREQ record from its type file:
// its own prerequisite id, up to four prerequisite ids (objects the team must
// own), up to four maker ids (types that can make it), an equivalence id and
// a tech level. PREREQ_Init builds one table indexed by prerequisite id from
// the unit and building types; ids are 1 .. count - 1, 0 is "none".
//
// Per team and id the table counts the objects the team owns (PREREQ_Add /
// PREREQ_Remove, called where units and buildings are made and deleted),
// whether the team stole the plans, and whether the team can make the id now:
// every prerequisite owned (directly or through a type that names it as its
// equivalence) and the tech level at most the game's. The flag is refreshed
// whenever a count changes.
//
// An equivalence: a type whose equivalence id is e counts as an object of e
// for the prerequisites of others and may stand in for e as a maker.
#pragma once

#include <cstdint>

enum {
    PREREQ_LISTLEN = 4,
    PREREQ_NAMELEN = 64,     // characters compared by PREREQ_WhatIs
    PREREQ_MAXIDS = 256,     // prerequisite ids 1..255
};

struct PREREQ {
    uint16_t id;                           // this type's prerequisite id (0: none)
    uint16_t prereqs[PREREQ_LISTLEN];      // 0-terminated unless full
    uint16_t makers[PREREQ_LISTLEN];
    uint16_t equivalence;
    uint8_t techlevel;                     // 0..10
};

struct UNITTYPE;
struct BUILDINGTYPE;

// Builds the table from the unit and building types (after the rule files);
// a type whose id is outside 1..PREREQ_MAXIDS-1 or already taken is logged
// and left out. The counts start from the objects that exist: every live
// unit (on and off the map) and building, per team; then the flags.
void PREREQ_Init(void);
// Frees the table.
void PREREQ_Done(void);
// Registers the table's size and, per id, the teams' counts, stolen plans
// and can-make flags as global blocks: a saved game carries them as they
// are.
void PREREQ_SaveAll(void);

// One object more / less of prerequisite id `id` (of type record `type`, a
// UNITTYPE* or BUILDINGTYPE*, may be null) for team. Removing below 0 is
// logged and ignored.
void PREREQ_Add(const void* type, int id, int team);
void PREREQ_Remove(const void* type, int id, int team);
// The number of objects of that id the team owns (0 for an invalid id).
int PREREQ_HowMany(int id, int team);

void PREREQ_StolePlans(int id, int team);
int PREREQ_HaveStolen(int id, int team);
// The team owns a maker of the id or stole its plans.
int PREREQ_HavePlans(int id, int team);
// The team meets the id's prerequisites now.
int PREREQ_CanMake(int id, int team);
// 1 when type id `thisid` is in the maker list of `thatid`, or is
// equivalent to one of its makers.
int PREREQ_CanThisMakeThat(int thisid, int thatid, int team);
// The zero-terminated list of maker ids of id (an empty list for an
// invalid id).
const uint16_t* PREREQ_GetMakers(int id);

// The prerequisite id of the unit or building type of that name (64
// characters compared, case ignored), 0 when none.
int PREREQ_WhatIs(const char* name);
int PREREQ_IsValid(int id);
int PREREQ_IsBuilding(int id);
int PREREQ_IsUnit(int id);
UNITTYPE* PREREQ_UnitTypePtr(int id);
BUILDINGTYPE* PREREQ_BuildingTypePtr(int id);
// The unit type index / building type index of id, -1 when it is not one.
int PREREQ_MapPrereqIdToUnitId(int id);
int PREREQ_MapPrereqIdToBuildingId(int id);
// The number of ids (the largest id + 1; 0 before PREREQ_Init).
int PREREQ_Count(void);
