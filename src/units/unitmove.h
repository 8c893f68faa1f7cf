// Unit movement: directions, step curves, step speeds, the step rule and the
// step costs that the path search uses.
//
// Directions: 0 east (+x), 1 north-east (+x, -y), 2 north (-y), 3 north-west,
// 4 west, 5 south-west, 6 south (+y), 7 south-east. A facing is 0..255 for a
// full turn anticlockwise from east; direction d has facing d x 32.
#pragma once

#include <cstdint>

struct UNIT;
struct PIXELARRAY;
struct MOVETRANSLATE;
struct TARGET;

// The step curves: curve c point i at index c x 100 + i. Curves 0..2 step
// east (straight, bowing north before a clockwise turn, bowing south before
// an anticlockwise one), curves 3..5 north-east (straight, turning towards
// east, turning towards north). Writable: a loaded game puts its own table
// over the built-in one, and units point into it.
enum { UNITS_STEPCURVES = 6, UNITS_CURVEPOINTS = 100 };
extern PIXELARRAY g_StepCurves[UNITS_STEPCURVES * UNITS_CURVEPOINTS];

// Indexed by direction: the transform that turns the curve of an even
// direction and the odd one after it into that direction.
extern const MOVETRANSLATE g_MoveTranslate[8];
// Indexed [d1 & 1][turn], turn = (d2 - (d1 & ~1)) mod 8 for the step's
// direction d1 and the next step's d2: the curve, and the end facing to add
// to the base facing (d1 & ~1) x 32.
extern const uint8_t g_StepCurveChoice[2][8];
extern const uint8_t g_StepEndFacing[2][8];
// Indexed [d1 & 1][turn]: the local detours around a blocked next tile, as
// relative directions added to d1 & ~1; UNITS_DETOUR_NEXT ends one
// alternative, UNITS_DETOUR_END the list.
enum { UNITS_DETOUR_NEXT = 8, UNITS_DETOUR_END = 9, UNITS_DETOUR_MAX = 10 };
extern const uint8_t g_StepDetours[2][8][UNITS_DETOUR_MAX];
// Units waiting round a ring for each other's tiles: the updates one waits
// before it may give way (move.waituntil holds the end of that patience
// while it is in US_WAITFOROBSTACLE), and the longest ring seen.
enum { UNITS_WAITPATIENCE = 40, UNITS_WAITRING = 64, UNITS_WAITLONG = 80 };
// The longest chain of idle units that step aside together to let a unit
// through a crowd.
enum { UNITS_ASIDECHAIN = 3 };

// The direction from (x1, y1) towards (x2, y2) by the signs of the
// differences; the same tile is logged as an error and gives 0.
int Units_GetVectorDir(int x1, int y1, int x2, int y2);
// The neighbour of (x, y) in direction d, and the one a step in direction d
// comes from (both assert "vector >= 0", "vector <= 7").
void Units_DirToNeighbour(int d, int* x, int* y);
void Units_DirToPrevious(int d, int* x, int* y);
// The target step speed of a step from (px, py) into (x, y), 1..59: the
// type's speed scaled by the tile's speed percentage and, except for fliers
// and tunnellers, slowed by the altitude difference. *tilespeed gets the
// tile's speed percentage (may be null).
int Units_ComputeSpeed(const UNIT* u, int px, int py, int x, int y, int* tilespeed);

// The inverse-relative-speed table: for an index altitude difference x 256
// + speed percentage (0..255), the cost factor of a step relative to a step
// over level ground at speed 100 (documented in unitmove.cpp).
enum { UNITS_IRS_ALTITUDES = 32, UNITS_IRS_SIZE = UNITS_IRS_ALTITUDES * 256 };
extern float g_InverseRelativeSpeed[UNITS_IRS_SIZE];

// Fills the table (once; called by the path search's init).
void Units_InitInverseRelativeSpeed(void);
// 1 when a unit may step from (sx, sy) to (x, y): (x, y) on the map, the
// altitude difference at most both tiles' climb limits for the unit's type,
// and the target's speed not 0.
int Units_CanTravel(const UNIT* u, int sx, int sy, int x, int y);
// The cost factor of a step from (x1, y1) to (x2, y2): the table entry of
// the target's speed for the type (100 without an effects table) plus, for
// units that neither fly nor tunnel, 256 x the altitude difference.
float Units_ComputeInverseRelativeSpeed(const UNIT* u, int x1, int y1, int x2, int y2);
// The connected region of the unit's tile for its type's movement class,
// and whether (x, y) lies in the same one.
int Units_Get_Connected_Region(const UNIT* u);
int Units_Can_Reach_X_Y(const UNIT* u, int x, int y);

// State commands. Each acts at once (stopping the base part's firing first,
// refreshing the render type after) unless the unit is in US_MOVING or
// US_PHASING: then it becomes the pending command, run when the step ends.
// Units_StopMove: every part stops firing, US_NONE.
void Units_StopMove(UNIT* u);
// US_WAITING for that many updates.
void Units_Wait(UNIT* u, int updates);
// Units_StartPathTo (asserts "x > 0", "y > 0", "x < mapsizex", "y < mapsizey").
void Units_MoveTo(UNIT* u, int x, int y, uint32_t group);
// Every part turns to the facing; US_NONE.
void Units_TurnTo(UNIT* u, int facing);
// Every part fires at the target (US_FIRING), or once (US_FIRINGONCE).
void Units_Fire(UNIT* u, const TARGET* target);
void Units_FireOnce(UNIT* u, const TARGET* target);
void Units_WaitForObstacle(UNIT* u);
// A unit able to phase sinks to the tunnel level: its parts stop firing, it
// takes MM_TUNNEL, is marked phased, plays the type's phase animation and
// enters US_PHASING (US_NONE when the tunnel level can't be taken). A unit
// unable to phase is left as it is.
void Units_Phase(UNIT* u);
// In US_PHASING only: surfacing becomes the pending command, with nothing
// kept to run after it.
void Units_UnPhase(UNIT* u);
// Heads for (x, y) with that move group (asserts as Units_MoveTo): a fixed
// unit, or one already there, becomes US_NONE with its own tile as
// destination; any other starts the path search and waits for it.
void Units_StartPathTo(UNIT* u, int x, int y, uint32_t group);
// Takes the mode and its map level, leaving the map and coming back when on
// it; 0 (nothing changed) when another unit holds that level of its tile.
int Units_SetMoveMode(UNIT* u, int mode);
// Back to the type's default mode (asserts "u->type"); 0 when refused.
// Otherwise no longer phased, render type and display layer refreshed, the
// phase animation played to its end, the local team hears it; 1.
int Units_RestoreMoveMode(UNIT* u);
// 1 when the unit can sink to the tunnel level (asserts "u->type"): on the
// map, its type can phase and it is not phased, its hit-point percentage at
// least the type's first phase value, its team owns a phase building, no
// unit below it, and every corner of its tile has terrain.
int Units_AbleToPhase(const UNIT* u);
// Runs the pending command and clears it; none leaves the unit US_NONE.
void Units_RunPendingMoveCommand(UNIT* u);

// Once per update: the unit's state runs on (a step along the curve, a wait,
// a queued command). Nothing moves while the unit plays an animation.
void Units_UpdateMovement(UNIT* u);
// The step speed moves towards the target by at most MOVE_ACCELERATION and
// is added to the curve position.
void Units_RampStepSpeed(UNIT* u);
// Pixel position and body facing from the current curve point.
void Units_ApplyStepCurve(UNIT* u);
// At the end of a step: 1 when the unit can set off towards the next path
// tile now, 0 when there is none or its body must turn first.
int Units_EndStep(UNIT* u);
// Takes the next path tile and starts the step into it; 0 when the step
// can't be taken (the blocked step is handled).
int Units_BeginPathStep(UNIT* u);
// The next tile (x, y) can't be entered: an ally asked aside, a wait for a
// moving unit, a stop at the end of the path, a local detour, or a new
// search.
void Units_HandleBlockedStep(UNIT* u, int x, int y);
// What the unit does about the step into (x, y) before taking it: 0 vetoes
// it. An enemy whose run-down defence is below the unit's attack is crushed.
int Units_CanEnterTile(UNIT* u, int x, int y);

// The frame loop's check every 100 frames: the local team hears that its
// phase buildings (those a unit type phases through) went offline when it
// lost the last one since the previous check, and online when it owns one
// again. Units_ResetPhaseMessages starts a game with no previous check.
void Units_CheckPhaseMessages(void);
void Units_ResetPhaseMessages(void);
