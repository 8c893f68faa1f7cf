// Connected regions: for each movement class, which tiles a unit of that
// class can reach from which.
//
// A movement class is one terrain-effects table (EFFECTTYPE): units whose
// types use the same table move over the same tiles. Classes are numbered in
// the order of the effects tables (Effects_GetTable), and the class of a
// type without a table is CRE_CLASS_ANY (every tile speed 100, climb 1).
// For each class a region map gives every tile a region id: two tiles have
// the same id when a unit of the class can walk from one to the other by the
// step rule of the movement code (Units_CanTravel's terrain test: target
// speed not 0, altitude difference within both tiles' climb limits), over
// the 8 neighbours. Impassable tiles get region 0; ids start at 1.
//
// The maps are built from the terrain at game start (CRE_Build). Whoever
// changes the terrain of tiles afterwards (a building's footprint placed or
// removed, a thing's effects) reports the rectangle with CRE_TilesChanged:
// each class whose speed, climb or altitude of a tile changed is marked and
// built again before its next answer, so the answers always follow the map.
// Units, buildings and things on the tiles are not part of it, only the
// effect codes they write.
#pragma once

#include <cstdint>

struct EFFECTTYPE;

enum {
    CRE_CLASS_ANY = 0,          // types without an effects table
    CRE_REGION_NONE = 0,        // an impassable tile
};

// Builds the region maps of every class for the loaded map (after the
// effects tables exist); frees the previous ones. CRE_Close frees them.
void CRE_Build(void);
// The terrain of the w x h tiles from (x, y) may have changed (clipped to
// the map; nothing before CRE_Build).
void CRE_TilesChanged(int x, int y, int w, int h);
// The number of classes marked for a new build and not yet built.
int CRE_StaleClasses(void);
void CRE_Close(void);
int CRE_IsBuilt(void);
// The class of an effects table (null: CRE_CLASS_ANY); tables are classes
// 1 .. Effects_NrTables(); -1 for a table that is not registered.
int CRE_ClassOf(const EFFECTTYPE* effects);
// The region id of the tile in the map of that class; CRE_REGION_NONE for
// an impassable or invalid tile, an unknown class or no maps.
int CRE_ClassRegionAt(int movementclass, int x, int y);
// The number of regions of a class (ids 1 .. count).
int CRE_RegionCount(int movementclass);
