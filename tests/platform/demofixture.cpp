// The generated demo interface files and the recorded test-frame CRCs.
#include "platform/demofixture.h"

#include "gen_cursor.h"
#include "gen_fonts.h"
#include "gen_palette.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/palette.h"
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
