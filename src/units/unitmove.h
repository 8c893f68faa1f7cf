// Unit movement: the step rule and the step costs that the path search uses.
// (The stepping itself comes with the unit movement code.)
#pragma once

struct UNIT;

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
