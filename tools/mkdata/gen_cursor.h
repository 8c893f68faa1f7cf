// The demo cursors, drawn in code from small shape tables and line work.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cursor.h"

struct PAL_RGB;

enum { GENCURSOR_COUNT = 56 };

// Cursors and the pixel blocks their records point into.
struct GENCURSOR_SET {
    std::vector<CURSOR> cursors;
    std::vector<std::vector<uint8_t>> pixels;
};

// Draws the GENCURSOR_COUNT demo cursors with palette's nearest colours (the
// team rings, 41..48, take the team ramps at 32..95 as they are).
void GenCursor_Build(const PAL_RGB* palette, GENCURSOR_SET* out);
