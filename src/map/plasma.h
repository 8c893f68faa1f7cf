// Random terrain heights from a plasma (diamond-square) height field.
#pragma once

#include <cstdint>

enum {
    PLASMA_MAX_SIDE = 1024,   // largest width or height
    PLASMA_MIN_HEIGHT = 1,
    PLASMA_MAX_HEIGHT = 144,
};

// Seeds the runtime generator (Crt_Srand) with seed and fills buffer with
// w x h heights 1..144, row by row (index y * w + x). The roughness mask is
// 65535 >> (grain & 31): grain 0 is the roughest, 16..31 give no
// displacement beyond the four random corners, and grain 32 acts as 0.
// The same arguments always give the same heights; the generator is left
// where the field's last draw put it. Works in one field of
// (2^k + 1)^2 32-bit heights, at most 1025 x 1025 (about 4 MB). A null
// buffer, or w or h outside 1..PLASMA_MAX_SIDE, is refused (logged) and
// leaves the buffer untouched; 0 then, 1 when done.
int Plasma_Generate(uint8_t* buffer, int w, int h, int grain, unsigned seed);
