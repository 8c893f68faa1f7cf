// The demo world's palette, shared by every generator that draws pictures and
// by the tests that need a realistic palette.
//
// Layout: 0 black (transparent in sprites); 1..7 greys; 8..15 system colours
// (15 white); 16..21 the flashing pairs (red, green, white; bright then dark);
// 22..31 a fine grey ramp; 32..95 eight team ramps of 8, dark to bright (ramp
// v is 32 + 8v .. 39 + 8v; team colour c is drawn in ramp teamcolour[c], its
// colour table value); 96..255 ten terrain ramps of 16, dark to bright
// (MKPAL_TERRAIN + 16 x ramp).
#pragma once

#include "platform/palette.h"

enum {
    MKPAL_WHITE = 15,
    MKPAL_GREYS = 22, // 10 greys, dark to light
    MKPAL_TEAMS = 32,
    MKPAL_TERRAIN = 96,
    MKPAL_RAMP = 16, // entries in a terrain ramp
    // The terrain ramps, in order.
    MKPAL_SAND = 0,
    MKPAL_GRASS,
    MKPAL_FOREST,
    MKPAL_EARTH,
    MKPAL_ROCK,
    MKPAL_WATER,
    MKPAL_DEEPWATER,
    MKPAL_SNOW,
    MKPAL_LAVA,
    MKPAL_CRYSTAL,
};

// Fills out with the demo palette and team colour values; a pure function.
void Mkdata_DemoPalette(PALINFO* out);
// The palette entry nearest to an 8-bit colour, never index 0 (transparent)
// nor the flashing entries 16..21, whose colours change at run time.
uint8_t Mkdata_NearestColour(const PAL_RGB* palette, int r, int g, int b);
