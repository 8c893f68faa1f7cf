// The golden-frame check.
#include "support/golden.h"

#include <cstdio>

#include "core/crc32.h"
#include "platform/graph.h"
#include "platform/pcx.h"
#include "platform/plat.h"

uint32_t DemoFixture_Crc(const uint8_t* pixels)
{
    return Crc32_Block(pixels, (size_t)PLAT_WIDTH * PLAT_HEIGHT);
}

::testing::AssertionResult DemoFixture_Matches(const uint8_t* pixels, const PAL_RGB* palette,
                                               uint32_t golden, const char* file)
{
    uint32_t crc = DemoFixture_Crc(pixels);
    if (crc == golden) return ::testing::AssertionSuccess();
    BITMAP view;
    Graph_InitBitmap(&view, PLAT_WIDTH, PLAT_HEIGHT, const_cast<uint8_t*>(pixels));
    int saved = Graph_SavePCX(file, &view, palette);
    char text[160];
    snprintf(text, sizeof text, "frame CRC 0x%08Xu, recorded 0x%08Xu; %s %s", crc, golden,
             saved ? "picture written to" : "could not write", file);
    return ::testing::AssertionFailure() << text;
}

::testing::AssertionResult Golden_BitmapMatches(const BITMAP* bitmap, const PAL_RGB* palette,
                                                uint32_t golden, const char* file)
{
    uint32_t crc = Crc32_Block(bitmap->data, (size_t)bitmap->x_size * (size_t)bitmap->y_size);
    if (crc == golden) return ::testing::AssertionSuccess();
    int saved = Graph_SavePCX(file, bitmap, palette);
    char text[160];
    snprintf(text, sizeof text, "bitmap CRC 0x%08Xu, recorded 0x%08Xu; %s %s", crc, golden,
             saved ? "picture written to" : "could not write", file);
    return ::testing::AssertionFailure() << text;
}
