// The game screen's conversions between screen pixels, map pixels and
// tiles, and what lies under a map pixel.
//
// The map view shows the map from the view origin at screen (0, 32). Tile t
// covers map pixels t x 24 - 12 .. t x 24 + 11: a unit's pixel position is
// its tile's centre in that frame.
#pragma once

struct UNIT;
struct BUILDING;

enum { IGIDISP_VIEWTOP = 32 };

// Screen pixel to map pixel, each axis clamped to 0 .. map size x 24 - 1.
void Igidisp_ScreenToMap(int sx, int sy, int* px, int* py);
// Map pixel to screen pixel.
void Igidisp_MapToScreen(int px, int py, int* sx, int* sy);
// The tile of a map pixel: (pixel + 12) / 24, clamped to 1 .. size - 1.
void Igidisp_PixelToTile(int px, int py, int* tx, int* ty);
// The unit at a map pixel: over the 3 x 3 tiles around it, map levels 0, 1,
// 2, the first unit within 12 pixels on both axes; null when none.
UNIT* Igidisp_UnitAtPixel(int px, int py);
// The building at a map pixel when the local team sees that tile, else null.
BUILDING* Igidisp_BuildAtPixel(int px, int py);
