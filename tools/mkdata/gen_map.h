// The 64 x 64 demo map: a lake, a plateau behind cliffs, a terraced hill,
// forest, dirt and two mineral fields, drawn with the demo tile set's
// corner types (gen_tiles.h).
#pragma once

#include <cstdint>
#include <string>

enum {
    GENMAP_SIDE = 64,
    GENMAP_WATERALT = 4, // elements at or below this altitude are water
};

// The demo map's altitude at element (x, y), 0 <= x, y < GENMAP_SIDE.
int GenMap_Altitude(int x, int y);
// Makes the demo map the engine's current map (through the new-map
// request), with its corner types, variations and resource levels, lit; 1 on
// success.
int GenMap_BuildDemo(void);
// The corner type of vertex (x, y) (the top-left corner of element (x, y))
// of a map whose altitudes alt(x, y) gives, clamped to the map's edge: a
// step of 7 or more around the vertex a cliff (12..15 by which way the
// ground rises), 4..6 a moderate step (10 rising east or south, 11 rising
// west or north), water below GENMAP_WATERALT + 1 (deep water two lower),
// sand beside it, land otherwise (landtype).
int GenMap_VertexType(int (*alt)(int x, int y), int w, int h, int x, int y, int landtype);
// A version 0x200 map file (6-byte elements) of w x h elements with varied
// fields, as an older editor wrote it.
std::string GenMap_OldFileBytes(int w, int h, uint32_t seed);
