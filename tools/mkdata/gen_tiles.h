// The demo tile set and the fog tiles, drawn in code with the demo palette.
#pragma once

#include <cstdint>
#include <string>

#include "map/tile.h"

// A tile set in memory, as the ".til" file holds it (docs/formats.md).
struct GENTILE_SET {
    TILE_CORNERINFO info[TILEMAXCORNERTYPES];
    uint8_t texture[TILEMAXCORNERTYPES][TILEMAXVARIATIONS][TILE_AREA];
    uint8_t mask[TILEMAXMASKVARIATIONS][TILE_AREA];
};

// The demo corner types. The numbers the editor gives fixed uses to keep
// them: 0 water, 1 land, 2 between cliffs, 10 and 11 moderate steps, 12..15
// cliffs (12 rising east, 13 rising west, 14 rising south, 15 rising north).
enum GENTILE_CORNER {
    GENTILE_WATER = 0,
    GENTILE_GRASS = 1,
    GENTILE_CLIFFFILL = 2,
    GENTILE_SAND = 3,
    GENTILE_DIRT = 4,
    GENTILE_FOREST = 5,
    GENTILE_DEEPWATER = 6,
    GENTILE_MINERAL = 7,
    GENTILE_SNOW = 8,
    GENTILE_LAVA = 9,
    GENTILE_SLOPEUP = 10,
    GENTILE_SLOPEDOWN = 11,
    GENTILE_CLIFF_E = 12,
    GENTILE_CLIFF_W = 13,
    GENTILE_CLIFF_S = 14,
    GENTILE_CLIFF_N = 15,
};

enum { GENFOG_MASKS = 16, GENFOG_VERSION = 257, GENFOG_FILE_BYTES = 12 + GENFOG_MASKS * TILE_AREA };

// The demo tile set: textures from the demo palette's terrain ramps, the
// four masks of GenTile_Masks; a pure function.
void GenTile_DemoSet(GENTILE_SET* out);
// The four demo masks: 0 straight quarters, 1..3 with wavy edges.
void GenTile_Masks(uint8_t mask[TILEMAXMASKVARIATIONS][TILE_AREA]);
// The ".til" file bytes of a set.
std::string GenTile_Bytes(const GENTILE_SET& set);
// The fog density (0..255) of pixel (px, py) of the mask for the fogged
// corners in the bits of corners (docs/formats.md "Fog tiles").
int GenFog_Density(int corners, int px, int py);
// The "fogtile.fog" file bytes.
std::string GenFog_Bytes(void);
