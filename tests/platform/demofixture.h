// The demo interface files (palette, fonts, cursors) generated for tests, and
// the recorded CRC-32 values of the test frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/golden.h"

struct BITMAP;
struct PAL_RGB;

// Where the tests put the pointer when they show the cursor.
enum { GOLDEN_CURSOR_X = 300, GOLDEN_CURSOR_Y = 200 };

// The test frame's back buffer, and the frame shown with the cursor at the
// position above. To record new values after a deliberate change of the
// picture, run test_platform --gtest_filter='TestFrame.*': a mismatch prints
// the value it got and writes the picture as testframe_actual.pcx (or
// testframe_cursor_actual.pcx) in the working directory; look at it, then
// copy the value here.
extern const uint32_t kGoldenTestFrame;
extern const uint32_t kGoldenTestFrameWithCursor;

// Writes quorvex.pal, font256a.pcx, font256b.pcx, font8a.pcx and mouse.crs,
// as mkdata draws them, into dir; 1 ok.
int DemoFixture_Write(const std::string& dir);
