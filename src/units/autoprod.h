// Automatic production: which of a team's factories makes the queued units.
//
// With the game option on (tinfo.enableap) units are queued per unit type
// and the type's primary maker takes them. Per team and unit type the module
// keeps the makers (upflist), the primary maker, whether the player chose it
// and the pause state; per building (BUILDING::ap) the producing buildings
// that draw on its capacity. Idle makers of a type lend their efficiency to
// the producing ones (AP_ComputeCapacity), shared out when they serve
// several. Off outside a game (AP_Start / AP_Stop); while off every
// operation but the queries does nothing.
#pragma once

#include <cstdint>

#include "units/buildid.h"

struct BUILDING;
struct GLL;

// Per team and unit type: the primary maker, the makers, whether the player
// chose the primary, the pause state and the paused makers. Lists hold
// BUILDID records.
struct APUNITINFO {
    BUILDID primary;
    GLL* upflist;
    int usersetprimary;
    int allpaused;
    int primarypaused;
    GLL* pausedlist;
};

// The game option.
int AP_IsEnabled(void);
// On when the option is set: clears every record, then enters every
// building (AP_AddBuilding, AP_SetPrimary(b, 0, 0)).
void AP_Start(void);
// Frees every list; off.
void AP_Stop(void);
// 1 between AP_Start with the option set and AP_Stop.
int AP_IsOnline(void);

// b enters the maker list of each unit type its type can make for its team
// (and the paused list where the type is paused everywhere); b's record is
// cleared. Only complete buildings enter.
void AP_AddBuilding(BUILDING* b);
// b leaves every list; a primary mark passes to a successor, else each type
// falls to the last building of its maker list.
void AP_RemoveBuilding(BUILDING* b);
// The first other building of b's team with the same final upgrade type
// that is idle or producing; null when none.
BUILDING* AP_FindSuccessor(const BUILDING* b);
// newprimary becomes the primary (forced) and takes its next queued unit.
void AP_ChangePrimary(BUILDING* oldprimary, BUILDING* newprimary);
// b becomes the primary of each type it can make: always with userset or
// force, else only where the player chose no primary; its team's buildings
// of the type's family lose their mark and b gets it; entries bound to b
// are released to the primary.
void AP_SetPrimary(BUILDING* b, int userset, int force);
// An idle building of the local team orders the first queued unit it may
// make (QCONSTRUCTUNIT); nothing when there is none. Works whether or not
// the option is on (the queue's own bound entries need no primary).
void AP_ProduceNextQueued(BUILDING* b);
// b starts / stops producing unittype: it enters / leaves the source lists
// of the type's other makers. Clearing also zeroes its capacity.
void AP_MakeSource(BUILDING* b, int unittype);
void AP_ClearSource(BUILDING* b, int unittype);
// b's production rate: its efficiency plus, from every other idle,
// non-producing maker of the type it makes, that maker's efficiency divided
// among the producers it serves. Stored in b->ap.capacity.
int AP_ComputeCapacity(BUILDING* b);
// The primary of (team, unittype) or null; the maker list (null when none).
BUILDING* AP_GetPrimaryMaker(int team, int unittype);
GLL* AP_GetMakerList(int team, int unittype);

// The production panel's operations, for the local team; b null means the
// unit type as a whole.
// (number queued, paused) for b or the type.
void AP_GetUnitTypeInfo(BUILDING* b, int unittype, int* queued, int* paused);
// A first use pauses what is queued; a second cancels it and resumes.
void AP_PauseOrCancel(BUILDING* b, int unittype);
void AP_Resume(BUILDING* b, int unittype);
int AP_IsPaused(const BUILDING* b, int unittype);
int AP_AnyPaused(int unittype);
// The fraction done, 16.16 fixed point, of b's production of unittype (or
// of the maker nearest done), 0 when it produces none; never divides by 0.
int32_t AP_GetProgress(const BUILDING* b, int unittype);

// The player's choice: b becomes the primary maker of its types
// (AP_SetPrimary(b, 1, 0)) and takes its next queued unit; with b null the
// type's choice is forgotten. Nothing while off.
void AP_UserSetPrimary(BUILDING* b, int unittype);
// Each idle maker of the local team's unittype, the primary first (and b
// when idle), takes its next queued unit. Nothing while off.
void AP_DistributeOrders(BUILDING* b, int unittype);
// 1 while on and the local team has a primary maker of unittype.
int AP_IsUnitTypeProduced(int unittype);

// Appends b's handle to *list (made on first use): 1, or 0 when already in.
int AP_ListInsert(GLL** list, BUILDING* b);
// Returns a handle record to the module's free list.
void AP_FreeNode(void* node);
// Writes the report "ap.log" into the home directory; 0 when it can't.
int AP_DumpLog(void);

// Registers every team's records as one global block, their maker and
// paused lists (headers, nodes, handles) as local blocks.
void Saveget_APUnitInfo(void);
// While a load is checked: null when every list of the records holds
// together (links, count, end, a handle per node) and every primary or
// listed building still named is of the record's team; else what is wrong.
const char* AP_CheckLoaded(void);
