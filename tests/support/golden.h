// The golden-frame check: a 640 x 480 frame's CRC-32 against a recorded
// value, the frame written as a PCX on a mismatch so that a person can look.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

struct PAL_RGB;

// The CRC-32 of a 640 x 480 frame.
uint32_t DemoFixture_Crc(const uint8_t* pixels);
// Compares a frame's CRC with a recorded one; on a mismatch writes the frame
// as a PCX named file (working directory) and says so in the result.
::testing::AssertionResult DemoFixture_Matches(const uint8_t* pixels, const PAL_RGB* palette,
                                               uint32_t golden, const char* file);

struct BITMAP;

// As DemoFixture_Matches for a bitmap of any size (its x_size x y_size bytes).
::testing::AssertionResult Golden_BitmapMatches(const BITMAP* bitmap, const PAL_RGB* palette,
                                                uint32_t golden, const char* file);
