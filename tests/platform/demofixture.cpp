// The generated demo interface files and the recorded test-frame CRCs.
#include "platform/demofixture.h"

#include "core/crc32.h"
#include "gen_cursor.h"
#include "gen_fonts.h"
#include "gen_palette.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"

const uint32_t kGoldenTestFrame = 0x4F1EF1D2u;
const uint32_t kGoldenTestFrameWithCursor = 0x68EC6E21u;

int DemoFixture_Write(const std::string& dir)
{
    PALINFO info;
    Mkdata_DemoPalette(&info);
    if (!Palstuff_Write((dir + "/quorvex.pal").c_str(), &info)) return 0;
    if (!GenFonts_WriteAll(dir, info.colours)) return 0;
    GENCURSOR_SET set;
    GenCursor_Build(info.colours, &set);
    return Cursor_Write((dir + "/mouse.crs").c_str(), set.cursors.data(), (int)set.cursors.size());
}

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
