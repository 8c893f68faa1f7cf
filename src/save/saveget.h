// The registration of the game's records: the dispatcher that registers the
// pointer fields of any record from its type's field table, the save
// module's own registrars, and what a load asks of the modules whose records
// it replaces.
#pragma once

#include <cstdint>

// Registers the pointer fields of one record of the type (its local form,
// else its global one); error "No GetPtr for %s type" for a type without a
// stored form ("Unknown Type" outside 0..112).
void Save_RegisterTypePointers(int type, void* record);
// The same for every record of a block of size bytes of the kind; a global
// VOID block's pointers take target.
void Save_RegisterBlockPointers(int type, int global, void* data, uint32_t size, int target);

struct UNIT;
// Registers the pointer fields of a unit (its table's order). A standing
// order of an unknown code logs "Unknown unit standing order being saved %d"
// and is stored as no order; the game's unit is not changed.
void Saveget_Unit(UNIT* u);

// The type tables the game's records point at: their counts as global
// ULONG blocks, then every unit, building, part and weapon type, the
// general rules and every point of the step curves as static blocks (a
// program whose types, rules or curves differ is refused).
void Save_RegisterGameTypes(void);
// Each team: its record and its 30 global trails as global blocks; the
// units of its five on-map lists and its off-map list, each with its parts,
// path nodes, local trail and waypoints, held-unit list and package; its
// buildings with their source lists and unit lists; its idle indirect-fire
// list; its global trails' waypoints.
void Saveget_Teams(void);

// The condition machine: the plans of the plan list (static, named by their
// file), the machine's own record (carried delays, start counts, call
// counter, current team, the trees' and file names' pointers) as global
// blocks, and every tree with its states, lists, criteria and texts. A
// criterion of an invalid node type logs "Endcondition node type %d invalid
// - cannot be saved." and refuses the save.
void Saveget_EndConditions(void);
// While a load is checked: null when every loaded list of the machine holds
// together (links, end, count, cursor), every text ends inside its block and
// the current team is a team; else what is wrong.
const char* Endcond_CheckLoaded(void);

// The special forces (SPECIAL_FORCE records, ours) with their list and
// each force's unit ids; after a load, null when their lists hold together.
void Saveget_SpecialForces(void);
const char* SpecialForces_CheckLoaded(void);

// The move group-id counter and the making sequence's next number, staged
// as the unique-id counter is, and the units' hit-point total.
void Save_RegisterUnitCounters(void);
// After a load has succeeded: the staged counters back to the units.
void Save_RestoreUnitCounters(void);

// The synchronised and the local random streams' positions, as two global
// ULONG blocks. The engine core sits below the save system, so the positions
// are staged here and set back once a load has succeeded.
void Rand_Save(void);
// The unique-id counter, staged the same way: new ids after a load must not
// collide with the loaded game's.
void Save_RegisterUid(void);
// After a load has succeeded: the staged words back to their modules.
void Save_RestoreStaged(void);

// 1 while a save or a load lists the game's blocks (registrars that the
// game's close also runs register only then).
int Save_Listing(void);

// A local record of the type for a loaded block of size bytes, from its
// module's pool where it has one; never null.
void* Save_AllocLocal(int type, uint32_t size);
// The records a loaded block of the type must hold: what its allocator gives
// (1 for a pooled or single record, SWAVE_BUBBLES for a wave's bubbles), or
// 0 for a plain heap block of any number.
uint32_t Save_LocalRecords(int type);
// Gives a local record back to its module's pool (or frees it): a refused
// load's new records, a loaded game's replaced ones.
void Save_FreeLocal(int type, void* record);
// While a load is walked again and checked: the size of the loaded local
// block at data, or -1 when no loaded local block starts there.
long Save_LoadedSize(const void* data);
// A module's check found field of the loaded record out of range: the load
// is refused naming the field and the record's block ("field %s out of
// range in the block at offset %u"). The text for the check to return.
const char* Save_FieldOutOfRange(const void* record, const char* field);
