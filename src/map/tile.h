// Tile sets: the terrain textures and masks a map element is drawn from.
//
// A tile set (".til", docs/formats.md "Tile sets") holds 16 corner types
// (terrain textures) in 8 variations of 24 x 24 pixels each, and 4 masks.
// An element's tile word names a corner type for each of its four corners
// (nibble i of bits 0..15; 0 top-left, 1 top-right, 2 bottom-right,
// 3 bottom-left, clockwise as the editor's vertices go), a mask variation
// (bits 16..17) and a texture variation (bits 18..20). Its picture takes
// every pixel from the texture of the corner that the mask gives that pixel,
// all four in the same texture variation.
#pragma once

#include <cstdint>

struct BITMAP;

enum {
    TILE_PIXELS = 24,
    TILE_AREA = TILE_PIXELS * TILE_PIXELS,
    TILEMAXCORNERTYPES = 16,
    TILEMAXVARIATIONS = 8,
    TILEMAXMASKVARIATIONS = 4,
    TILE_VERSION = 0x100,
};

// What a corner type stands for. The editor writes fixed corner numbers
// (0 water and 1 land from random terrain, 2 between cliffs, 10 and 11
// moderate steps, 12..15 cliffs); a tile set says what each of its textures
// shows so that the editor can check and name them. Other numbers are free.
enum TILE_ROLE {
    TILEROLE_FREE = 0,      // a texture with no fixed use (sand, dirt, minerals...)
    TILEROLE_WATER = 1,     // what random terrain writes below the water level
    TILEROLE_LAND = 2,      // plain land, what random terrain writes above it
    TILEROLE_SHORE = 3,     // the edge between water and land
    TILEROLE_CLIFFFILL = 4, // a corner surrounded by cliff corners
    TILEROLE_SLOPE = 5,     // a moderate altitude step (4..6)
    TILEROLE_CLIFF = 6,     // a steep altitude step (7 or more)
    TILEROLE_COUNT
};

// Per corner type: its role, the row of a terrain-effects table that it
// stands for, and its colour on the minimap (8 bits a channel).
struct TILE_CORNERINFO {
    uint8_t role;
    uint8_t effectrow;
    uint8_t r, g, b;
};

// Loads a tile set, replacing the one loaded; 1 on success, 0 on a missing,
// truncated, oversized or inconsistent file (logged with the file and the
// offset), the loaded set then kept.
int Tile_LoadInfo(const char* path);
// Frees the loaded tile set (nothing to do when none is).
void Tile_Close(void);
// 1 while a tile set is loaded.
int Tile_IsLoaded(void);

// Draws the picture of a tile word into the top-left 24 x 24 pixels of dst
// (clipped to dst). flags: none defined yet, pass 0. Without a loaded tile
// set dst is left alone.
void Tile_Draw(uint32_t tile, BITMAP* dst, int flags);
// The same at (x, y) of a larger bitmap (the terrain cache), clipped to it.
void Tile_DrawAt(uint32_t tile, BITMAP* dst, int x, int y);
// The 24 x 24 image of mask masknr: each pixel the corner 0..3 that owns it.
// Asserts "masknr>=0 && masknr<TILEMAXMASKVARIATIONS"; null without a tile set.
const BITMAP* Tile_GetMask(int masknr);
// The 24 x 24 texture of a corner type (0..15) in a variation (0..7), or
// null without a tile set; both are taken modulo their counts.
const uint8_t* Tile_GetTexture(int corner, int variation);
// The loaded set's record of a corner type (taken modulo 16), or null.
const TILE_CORNERINFO* Tile_GetCornerInfo(int corner);
// The minimap colour of a tile word: the mean of its four corners' colours,
// matched to the palette (Graph_ColourMatch); 0 without a tile set.
uint8_t Tile_MiniColour(uint32_t tile);
// The tile word's terrain effect bits: tile & (0xF | 7 << 18), the corner
// type of the top-left corner (the effects table's row) and the texture
// variation (its column).
uint32_t Tile_GetEffects(uint32_t tile);
// Hook for a tile word about to be stored in an element; returns it unchanged.
uint32_t Tile_ClaimElement(uint32_t tile);
// Hook for a tile word being replaced; does nothing.
void Tile_ReleaseElement(uint32_t tile);
