// Targets: what a unit fires at or goes to.
//
// A TARGET is the ground (a tile), a unit (through a handle) or a building
// (through a handle). A target whose unit or building is gone is cleared when
// it is checked.
#pragma once

#include <cstdint>

#include "units/buildid.h"
#include "units/unitlist.h"

enum FIREMODE { FM_NONE = 0, FM_GROUND = 1, FM_UNIT = 2, FM_BUILDING = 3 };

struct TARGET {
    int32_t mode;        // FIREMODE
    UNITID unit;
    BUILDID building;
    int32_t x, y;        // the tile, for FM_GROUND
};

struct UNIT;
struct BUILDING;

// Fills the target: FM_GROUND uses (x, y), FM_UNIT the unit, FM_BUILDING the
// building; FM_NONE (or a missing unit or building) gives the empty target.
void Target_Setup(TARGET* t, int mode, UNIT* unit, BUILDING* building, int x, int y);
// 1 while the target still exists; a stale one is cleared and gives 0
// (FM_NONE gives 0).
int Target_Valid(TARGET* t);
void Target_Clear(TARGET* t);
// The target's tile: the ground tile, the unit's tile, the building's
// top-left tile. 0 (tile untouched) for an invalid target.
int Target_GetTilePosition(TARGET* t, int tile[2]);
// The target's pixel position: the centre of the ground tile, the unit's
// pixel position + 12, the centre of the building's footprint. {-1, -1} for
// an invalid target.
void Target_GetPosition(TARGET* t, int* px, int* py);
