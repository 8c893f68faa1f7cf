// The unit construct queue: which unit types to make, and where.
//
// One queue for the game, filled by the interface's production panel, in
// order of arrival: at most CQ_CAPACITY entries and CQ_PERTYPE of one unit
// type. An entry names a factory by building id, or -1 for whichever
// building is the type's primary maker (autoprod.h). Removing an entry keeps
// the order of the others. Only the local team's buildings take entries
// (through QCONSTRUCTUNIT orders), so the queue is the local interface's
// and never part of what every machine of a network game computes.
#pragma once

struct BUILDING;

enum {
    CQ_CAPACITY = 80,
    CQ_PERTYPE = 10,
    CQ_TYPES = 100,          // unit type indices 0..99
};

// Empties the queue (capacity CQ_CAPACITY, per-type limit CQ_PERTYPE).
void Units_InitConstructQueues(void);
// Appends (unit type, building id or -1); 0 when the queue is full, the
// type already has CQ_PERTYPE entries or the type is out of range, else 1.
int Units_AddToConstructQueue(int unittype, int buildingid);
// Removes and answers the first entry b may make now: bound to b (or
// unbound with b the type's primary maker for its team), not paused for b,
// b's type a maker of the type, the team able to make it and its credits
// at least the type's build cost. -1 when none passes.
int Units_GetFromConstructQueue(BUILDING* b);
// Removes every entry bound to b's id.
void Units_DeleteBuildingFromConstructQueue(const BUILDING* b);
// Removes every entry equal to (type, building id).
void Units_DeleteUnitsForBuilding(int unittype, int buildingid);
// Removes every entry of the type.
void Units_DeleteUnitTypeFromConstructQueue(int unittype);
// Removes the newest entry of the type: any (b null), or bound to b, or
// unbound with b the local team's primary maker of the type.
void Units_DecrementConstructQueue(int unittype, const BUILDING* b);
// The number of entries of the type.
int Units_NumberOnConstructQueue(int unittype);
// The number of entries equal to (type, building id).
int Units_NumberOnConstructQueueForBuilding(int unittype, int buildingid);
// The number of entries bound to the building id.
int Units_QueuedOrdersForBuilding(int buildingid);
// Every entry bound to b becomes unbound (-1).
void Units_TransferToPrimaryQueue(const BUILDING* b);
// The number of entries, and entry i (0 = oldest) as 1 with its fields.
int Units_ConstructQueueCount(void);
int Units_ConstructQueueEntry(int i, int* unittype, int* buildingid);

// Registers the queue (its count, entries and counts by type) as global
// blocks; after a load, null or what is wrong with the loaded queue.
void Units_SaveConstructQueue(void);
const char* Units_ConstructQueueCheckLoaded(void);
