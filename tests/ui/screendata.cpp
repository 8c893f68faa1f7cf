#include "screendata.h"

#include "core/utils.h"
#include "gen_palette.h"
#include "gen_screen.h"

QvScreenData::QvScreenData()
{
    Str_CopySafe(old_, g_InterfaceDir, sizeof old_);
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    EXPECT_TRUE(GenScreen_WriteAll(dir_.path(), pal.colours));
    Str_CopySafe(g_InterfaceDir, dir_.path().c_str(), sizeof g_InterfaceDir);
}

QvScreenData::~QvScreenData() { Str_CopySafe(g_InterfaceDir, old_, sizeof g_InterfaceDir); }
