// The tile map.
//
// mapsizex x mapsizey elements, one per tile; valid tiles are 1 .. size - 1
// on both axes (row and column 0 are never valid). Every module reads and
// writes elements through Line_GetElement, which never touches memory
// outside the map.
#pragma once

#include <cstdint>

struct UNIT;

enum MAP_LEVEL { ML_FLY = 0, ML_GROUND = 1, ML_TUNNEL = 2, ML_LEVELS = 3 };

enum {
    MAP_TILE_PIXELS = 24,
    MAP_EFFECT_NONE = 31,     // the effect field of an element without a special effect
    MAP_MAX_SIDE = 512,       // the largest map side the loader accepts
};

// One map cell.
struct MAP_ELEMENT {
    // Corner terrain types in nibbles 0..3 (bits 0..15), mask variation bits
    // 16..17, texture variation bits 18..20.
    uint32_t tile;
    // Low 16 bits: the packed surface normal; the lighting's shade value.
    uint32_t shadev;
    uint32_t altitude : 5;
    uint32_t effect : 5;      // special-effect / occupancy field, MAP_EFFECT_NONE for none
    uint32_t water : 3;
    uint32_t mineral : 3;
    uint32_t initalt : 5;
    uint32_t spare : 11;
    UNIT* unit[ML_LEVELS];    // the unit on the tile at each map level
};

extern int mapsizex;
extern int mapsizey;

// The elements, mapsizex x mapsizey of them in one block, row by row
// (element (x, y) at index y * mapsizex + x); null while no map is loaded.
// One block in row order so that the save system can register whole rows.
extern MAP_ELEMENT* g_MapElements;

// ------------------------------------------------------------------ map files

enum {
    MAP_VERSION = 0x210,      // what Map_Save writes
    MAP_VERSION_OLD = 0x200,  // read and converted (no initial altitude)
    MAP_HEADER_BYTES = 16,    // "MAP_", version, width, height
    MAP_ELEMENT_BYTES = 7,    // one element in a 0x210 file
    MAP_ELEMENT_BYTES_OLD = 6,// one element in a 0x200 file
    MAP_MIN_SIDE = 2,         // the smallest map side the loader accepts
    MAP_HYPS_SIZE = 64,       // Line_GetHyps answers offsets 0..63 on each axis
};

// The new-map request: while flag is set, Map_Load reads no file and makes a
// width x height map instead, every element with altitude (0..31) as its
// altitude and initalt and terrain (0..15) in all four corner nibbles.
struct MAP_NEWREQUEST {
    int flag;
    int width, height;
    int altitude;
    int terrain;
};
extern MAP_NEWREQUEST g_NewMapRequest;

// Loads a ".map" file (docs/formats.md "Map files"), or fulfils the new-map
// request (clearing its flag), then lights the whole map. 1 on success; 0 on
// a missing, truncated, oversized or inconsistent file (logged with the file
// and offset) or a request of sides outside 2..MAP_MAX_SIDE, the previous
// map then left untouched. Every element's units are cleared.
int Map_Load(const char* path);
// Why the last Map_Load read no file: "cannot be opened", "cannot be read"
// or "at offset <n>: <what was expected>"; "" after one that did.
const char* Map_LoadError(void);
// Writes the current map as a version 0x210 ".map" file through a temporary
// file; 1 on success, 0 (logged, the previous file intact) on failure or
// without a map. Writes exactly what Map_Load reads back.
int Map_Save(const char* path);
// Frees the map: mapsizex = mapsizey = 0, g_MapElements null.
void Map_Free(void);
// Sets the water (kind 0) or mineral (kind 1) level, amount clamped to 0..7,
// of every valid tile whose integer square root of the squared distance from
// (x, y) is at most radius. Another kind is logged and ignored; a negative
// radius changes nothing.
void Map_SetResourceLevel(int kind, int amount, int radius, int x, int y);

// ------------------------------------------------------------------ access

// 1 when 1 <= x < mapsizex and 1 <= y < mapsizey.
int Map_IsValidTile(int x, int y);
// The element at (x, y); off the map logs "Tried to access map element
// (%d,%d) in file %s, line %d" (the first time after each map load) and
// returns element (0, 0) (a scratch element while no map is loaded).
MAP_ELEMENT* Line_GetElement(int x, int y, const char* file, int line);
// Registers each map row as a global MAP_ELEMENT block after its elements'
// unit pointers. Nothing without a map.
void Line_Save(void);
#define MAP_ELEMENT_AT(x, y) Line_GetElement((x), (y), __FILE__, __LINE__)
// The distance between two tiles dx and dy apart in hundredths of a tile,
// round(100 * sqrt(dx^2 + dy^2)), from a MAP_HYPS_SIZE x MAP_HYPS_SIZE table.
// An offset outside 0..MAP_HYPS_SIZE-1 logs "Line_GetHyps out of range
// (%d,%d) in file %s, line %d" (the first time after each map load) and is
// clamped into it (a negative offset counts by its magnitude).
int Line_GetHyps(int dx, int dy, const char* file, int line);
#define MAP_HYPS(dx, dy) Line_GetHyps((dx), (dy), __FILE__, __LINE__)
// The integer square root (floor) of n >= 0; 0 for n <= 0.
int Map_ISqrt(long n);
