// Angles and the sine table.
//
// Angles are int32 in 24-bit units: a full turn is 2^24, counted
// anticlockwise from east on the screen, where y grows downward (so north,
// y < 0, is a quarter turn: 2^22). Bits 16..23 of an angle are the 8-bit
// facing used by sprites and movement (0 east, 64 north, 128 west, 192 south).
//
// The sine table is computed at compile time from a series in double and
// rounded to float, so it holds the same bits on every machine without
// depending on the C library's sin.
#pragma once

#include <array>
#include <cstdint>

enum {
    UTIL_ANGLE_BITS = 24,
    UTIL_FULL_TURN = 1 << UTIL_ANGLE_BITS,
    UTIL_SINE_SIZE = 1024,     // entries over one turn: angle bits 14..23
};

// g_SineTable[i] = sin(2 * pi * i / 1024), rounded to float.
extern const std::array<float, UTIL_SINE_SIZE> g_SineTable;

// The direction of (x, y) (y down): atan2(-y, x) in 24-bit units, rounded to
// the nearest unit and normalised to 0 .. 2^24-1. The zero vector and NaN
// components give 0.
int32_t Util_VectorAngle(float x, float y);
// The sine of a 24-bit angle from the table (bits 14..23; any int32 works,
// whole turns wrap).
float Util_Sin(int32_t angle24);
// The cosine of a 24-bit angle from the table (a quarter turn on).
float Util_Cos(int32_t angle24);
