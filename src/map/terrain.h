// Terrain lighting.
//
// Every element's surface normal comes from the altitudes of its four
// neighbours and is packed into the low 16 bits of its shadev; the light
// turns a packed normal into a brightness (0..16383) and a shade level. A
// drawn tile is lit by passing its pixels through the shading table of its
// element's level. This is display data only: the simulation never reads it.
//
// The light is a direction towards the light source (x east, y south, z up)
// and two angles between it and the surface normal, in degrees: up to the
// light limit a surface is fully lit, from the shade limit on it is fully
// shaded, linearly in the angle between them.
#pragma once

#include <cstdint>

struct BITMAP;

enum {
    TERRAIN_SHADELEVELS = 32,       // shade levels, 0 darkest
    TERRAIN_FLATLEVEL = 20,         // the level whose shading table is the identity
    TERRAIN_MAXBRIGHTNESS = 16383,
    TERRAIN_ALTITUDEPIXELS = 6,     // the height of one altitude step, in pixels
    TERRAIN_NORMALDIFFS = 63,       // altitude differences -31..31
};

// The shade tables: level[v] is the shade level of packed normal v (the low
// 16 bits of shadev); colour[l] the 256-entry shading table of level l, a
// row of palette.h's g_ShadeTable (row 48 + 4 l: 0.375 to 1.34 times the
// colour's brightness; level TERRAIN_FLATLEVEL is the identity, about what
// flat ground gets under the default light).
struct SHADETABLES {
    uint8_t level[65536];
    const uint8_t* colour[TERRAIN_SHADELEVELS];
};
extern SHADETABLES g_ShadeTables;

// Sets the light: direction (x, y, z), normalised here, and the limits in
// degrees. Asserts "x != 0 || y != 0 || z != 0", "shadelimit > 90 &&
// shadelimit <= 180" and "lightlimit >= 0 && lightlimit < 90"; rebuilds the
// shade tables. Until the first call the light is (-1, -1, 1), 150, 0.
void Terrain_SetLight(int x, int y, int z, int shadelimit, int lightlimit);
// Computes the surface normal of element (x, y) from its neighbours'
// altitudes (the map edge repeats the edge element), stores it packed in the
// low 16 bits of shadev and returns the brightness 0..16383. Off the map: 0,
// nothing stored.
int Terrain_TileBrightness(int x, int y);
// Wraps (x, y) into the map, sets initalt to altitude and altitude to
// altitude + (old altitude - old initalt), both clamped to 0..31, and
// recomputes the normals of the elements around it.
void Terrain_Relight(int x, int y, int altitude);
// Recomputes the normal of every element (after a load or a new terrain).
void Terrain_LightAll(void);
// The packed normals by altitude difference, for a loader that lights as it
// decodes: entry (ex + 31) * TERRAIN_NORMALDIFFS + (sy + 31) is the normal
// of an element whose east neighbour stands ex above its west neighbour and
// whose south neighbour stands sy above its north one (the map's edge
// repeating the edge element), what Terrain_TileBrightness stores.
const uint16_t* Terrain_NormalTable(void);
// The shade level 0..TERRAIN_SHADELEVELS-1 of element (x, y) (from its
// stored shadev); off the map TERRAIN_FLATLEVEL.
int Terrain_ShadeLevel(int x, int y);
// Shades the top-left 24 x 24 pixels of tile24 (clipped to it) with element
// (x, y)'s shade level; off the map with the flat level (unchanged pixels).
void Terrain_LightTile(int x, int y, BITMAP* tile24);
// The same for the 24 x 24 pixels at (px, py) of a larger bitmap.
void Terrain_LightTileAt(int x, int y, BITMAP* dst, int px, int py);
