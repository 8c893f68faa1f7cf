// Trails and waypoints.
//
// A trail is a route of waypoints that units follow under SO_TRAIL: every
// unit has a local trail, every team 30 global trails. A waypoint is a place
// to move to ("Move") or to fire at ("Fire"); fire waypoints belong to the
// move waypoint before them.
//
// Waypoints come from one module-wide free list (linked through next); new
// ones are allocated when it is empty and counted. A freed waypoint is marked
// x = y = 65535, value 0.
//
// Missing trails or waypoints are assertion failures.
#pragma once

#include <cstdint>

enum WAYPOINT_TYPE { WPT_MOVE = 0, WPT_FIRE = 1 };

// The unit's trailmode.
enum TRAIL_MODE { TRAIL_REVERSE = 0, TRAIL_LOOP = 1, TRAIL_STOP = 2 };

enum { WAYPOINT_FREED = 65535 };

struct WAYPOINT {
    int32_t type;        // WAYPOINT_TYPE
    int32_t x, y;        // tile
    int32_t value;       // the trail user's own number, returned unchanged
    WAYPOINT* next;
    WAYPOINT* prev;
};

struct TRAIL {
    WAYPOINT* head;      // first waypoint, null when empty
    WAYPOINT* tail;      // last waypoint
};

// Free every waypoint on the free list. Trail_Shutdown then logs
// "Total malloced = %d" with the number of waypoints still allocated.
void Trail_Startup(void);
void Trail_Shutdown(void);

void Trail_Init(TRAIL* trail);
// A newly allocated, empty trail (a unit's local trail); free with Trail_Free.
TRAIL* Trail_New(void);
// Clears the trail and frees the record of Trail_New.
void Trail_Free(TRAIL** trail);
// A zeroed waypoint for a loaded trail, and one given back to the free list
// without unlinking it.
WAYPOINT* Trail_AllocWaypointRecord(void);
void Trail_FreeWaypointRecord(WAYPOINT* w);
// Every waypoint to the free list; the trail is empty.
void Trail_Clear(TRAIL* trail);
// The new waypoint, appended at the end.
WAYPOINT* Trail_AddWaypoint(TRAIL* trail, int type, int x, int y, int value);
// The new waypoint, inserted after `after`, or at the front for null.
WAYPOINT* Trail_InsertWaypoint(TRAIL* trail, WAYPOINT* after, int type, int x, int y, int value);
// The first / last waypoint or null; its fields copied into every non-null
// out-argument.
WAYPOINT* Trail_GetFirst(TRAIL* trail, int* type, int* x, int* y, int* value);
WAYPOINT* Trail_GetLast(TRAIL* trail, int* type, int* x, int* y, int* value);
// 1 after copying the first waypoint's fields and removing it; 0 (the
// out-arguments untouched) when empty.
int Trail_PopFirst(TRAIL* trail, int* type, int* x, int* y, int* value);
// Unlinks and frees w; returns the waypoint that followed it, else the one
// before, else null.
WAYPOINT* Trail_RemoveWaypoint(TRAIL* trail, WAYPOINT* w);
// As Trail_RemoveWaypoint, but a "Move" waypoint takes every directly
// following "Fire" waypoint with it.
WAYPOINT* Trail_DeleteWaypoint(TRAIL* trail, WAYPOINT* w);
// Appends a copy of every waypoint of src, in order, to dest.
void Trail_Copy(TRAIL* dest, const TRAIL* src);
// The first waypoint at exactly (x, y), else null.
WAYPOINT* Trail_FindWaypoint(TRAIL* trail, int x, int y);
// The waypoint to go to after w under mode (TRAIL_MODE); direction 0 forward,
// 1 backward, flipped by "Reverse" at an end. An unknown mode logs
// "Unknown trail mode [%d]" and gives null.
WAYPOINT* Trail_Follow(TRAIL* trail, WAYPOINT* w, int mode, int* direction);
// The number of waypoints of a trail.
int Trail_Count(const TRAIL* trail);
// A loaded trail's links: null when each waypoint's prev is the one before
// it (the head's null) and the tail is the last, else what is wrong. The
// next links must already be free of cycles.
const char* Trail_CheckLoaded(const TRAIL* trail);
// Waypoints allocated and not yet freed by the free list's shutdown.
int Trail_Allocated(void);
