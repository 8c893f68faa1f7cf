// The time-sliced path search.
//
// A unit asks for a path from its tile to its move.srchtilepos
// (Pathsrch_StartUnitSearch); it waits in US_WAITFORPATH until the search
// stores the path in its move.path and sets move.pathready. Searches are
// queued and run under a budget of node expansions per update
// (Pathsrch_Update, update step 5); a search that runs out of budget goes on
// in the next update exactly where it stopped, so the path is the same
// whether it ran in one update or across many. See the design note at the
// head of pathsrch.cpp: costs, heuristic, budget, queue, dead units.
#pragma once

#include <cstdint>

#include "units/unitlist.h"

struct UNIT;

enum {
    PATHSRCH_BUDGET = 4000,       // node expansions per update
};

// Makes the search's tables for the loaded map (with the connected regions);
// Pathsrch_Close frees them and forgets every request.
void Pathsrch_Init(void);
void Pathsrch_Close(void);
int Pathsrch_IsOpen(void);

// Starts (or restarts) the search for the unit (asserts "u->team <
// TEAM_MAXTEAMS" and that srchtilepos lies on the map): clears its path and
// path-ready flag, sets US_WAITFORPATH and queues the request. A full queue
// logs "Search queue filled - make it bigger" and the request is tried again
// at the next update.
void Pathsrch_StartUnitSearch(UNIT* u);
// Forgets the unit's request (its search, if running, is dropped).
void Pathsrch_CancelUnit(const UNIT* u);
// Update step 5: runs queued searches until the budget is spent.
void Pathsrch_Update(void);
// Runs every queued search to its end (tests, the benchmark's reference).
void Pathsrch_RunAll(void);
// The number of queued requests, the running one included.
int Pathsrch_Pending(void);
// Sets the per-update budget (tests and benchmarks; 0 restores the default).
void Pathsrch_SetBudget(int expansions);
// The nodes expanded by the searches so far (statistics).
uint32_t Pathsrch_Expansions(void);

// A stationary unit without a path steps to the first free neighbour it can
// travel to (directions 0..7) with a new move group; 1 when it could. depth
// is kept for callers and changes nothing.
int Pathsrch_MoveAside(UNIT* u, int depth);

// With debug flag 64: draws the last search's closed tiles and its path
// over the map view.
void Pathsrch_DrawDebug(void);

// --- saved games ---
// The search's state as a saved game holds it: the ring's place, the
// running search, its open list (a radix heap: the last f taken and each
// bucket's entries in order, bucket by bucket) and the requests waiting for
// room in the ring. The ring itself and the per-tile table by rows are
// global blocks of their own.
struct UNITTYPE;
struct PQELEMENT {
    uint64_t f;
    uint64_t htile;                // h << 20 | tile
};
enum { PATHSRCH_BUCKETS = 65 };
struct PATHSRCH {
    int32_t ringhead, ringcount;
    uint32_t stamp;
    int32_t active, done, altmatters;
    UNITID unit;
    const UNITTYPE* type;
    int32_t start, goal, goalx, goaly;
    uint64_t minbase;
    int32_t best;
    uint64_t besth, bestg;
    uint64_t openlast;
    uint32_t buckets[PATHSRCH_BUCKETS];
    int32_t nopen, nwaiting;
    PQELEMENT* open;               // every entry; null when none
    UNITID* waiting;               // null when none
};
// A tile of the per-map table.
struct PATHSRCH_TILE {
    uint64_t g;                    // cost from the start, UINT64_MAX before reached
    uint32_t stamp;                // the search's stamp, bit 31 once expanded
    uint8_t speed;                 // step rule: speed percentage and climb limit
    uint8_t climb;
    uint8_t alt;
    uint8_t costspeed;             // the speed the cost table is indexed with
};
// Registers the search's state (a global PATHSRCH block, written from the
// search while a save or load lists the running game), the ring (a global
// UNITID block), the tile table (a global PRIQUEUE block a row) with the
// directions that reached each tile (byte rows), the open list (a local
// PQELEMENT block) and the waiting requests (a local UNITID block).
void Pathsrch_SaveAll(void);
// While a load is checked: null when the loaded state holds together (ring
// place and count, the open list's counts and tiles, the waiting list's
// size, the running search's tiles on the map); else what is wrong.
const char* Pathsrch_CheckLoaded(void);
// After a load was kept: the search goes on from the loaded state.
void Pathsrch_AfterLoad(void);

