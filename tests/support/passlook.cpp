// The pass script's frame checks, apart from the player itself: they need
// the test framework and the golden frames, which the fuzz targets that
// play through the script don't link.
#include "support/golden.h"
#include "support/passscript.h"

#include "platform/plat.h"
#include "platform/video.h"

QvPassScript& QvPassScript::Look(uint32_t golden, const std::string& pcx, int settle)
{
    return Wait(0, settle).Then([golden, pcx] { EXPECT_TRUE(QvLastFrameMatches(golden, pcx)); });
}

::testing::AssertionResult QvLastFrameMatches(uint32_t golden, const std::string& pcx)
{
    const uint8_t* pixels = nullptr;
    const PAL_RGB* palette = nullptr;
    if (!PlatHeadless_LastFrame(&pixels, &palette) || !pixels) return ::testing::AssertionFailure() << "no frame";
    return DemoFixture_Matches(pixels, palette, golden, pcx.c_str());
}
