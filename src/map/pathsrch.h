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
// Forgets every request and the running search (a loaded game's units are
// other records; they ask again).
void Pathsrch_ForgetAll(void);
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
