// The demo palette and the palette file of the demo world.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_palette.h"

#include <cstring>
#include <string>

#include "platform/palette.h"

static PAL_RGB Scaled(int r, int g, int b, int num, int den)
{
    return PAL_RGB{(uint8_t)(r * num / den), (uint8_t)(g * num / den), (uint8_t)(b * num / den)};
}

void Mkdata_DemoPalette(PALINFO* out)
{
    memset(out, 0, sizeof *out);
    PAL_RGB* c = out->colours;
    for (int i = 1; i <= 7; i++) c[i] = Scaled(255, 255, 255, i * 36, 255);
    static const PAL_RGB SYSTEM[8] = {{128, 0, 0},    {0, 128, 0},    {128, 128, 0},
                                      {0, 0, 128},    {128, 0, 128},  {0, 128, 128},
                                      {252, 252, 84}, {255, 255, 255}};
    for (int i = 0; i < 8; i++) c[8 + i] = SYSTEM[i];
    // As Display_SetFlashColours leaves them.
    static const PAL_RGB FLASH[6] = {{255, 0, 0}, {128, 0, 0},     {0, 255, 0},
                                     {0, 128, 0}, {255, 255, 255}, {128, 128, 128}};
    for (int i = 0; i < 6; i++) c[16 + i] = FLASH[i];
    for (int i = 0; i < 10; i++) c[MKPAL_GREYS + i] = Scaled(255, 255, 255, 14 + i * 24, 255);

    // Team ramps from a quarter to full brightness of their hue.
    static const PAL_RGB TEAM[8] = {{230, 40, 30},  {40, 80, 240},  {40, 200, 50},
                                    {240, 220, 40}, {170, 50, 220}, {250, 130, 20},
                                    {40, 220, 230}, {235, 235, 235}};
    // The ramp each team colour is drawn in. The teams' palette indexes (value
    // x 8 + 39, what the minimap, the team grid and the players' names use)
    // come from this same table, so a team's units and its marks share a hue.
    static const uint8_t VALUE[8] = {2, 1, 4, 3, 5, 6, 7, 0};
    for (int t = 0; t < 8; t++) {
        for (int k = 0; k < 8; k++)
            c[MKPAL_TEAMS + 8 * t + k] = Scaled(TEAM[t].r, TEAM[t].g, TEAM[t].b, 8 + 3 * k, 29);
        out->teamcolour[t] = VALUE[t];
    }

    // Terrain ramps from a fifth to full brightness.
    static const PAL_RGB TERRAIN[10] = {
        {236, 212, 150}, {96, 176, 64}, {40, 112, 48},   {150, 104, 60}, {150, 146, 140},
        {60, 120, 220},  {24, 56, 150}, {236, 242, 255}, {255, 110, 20}, {180, 110, 230}};
    for (int r = 0; r < 10; r++) {
        for (int k = 0; k < MKPAL_RAMP; k++) {
            c[MKPAL_TERRAIN + MKPAL_RAMP * r + k] =
                Scaled(TERRAIN[r].r, TERRAIN[r].g, TERRAIN[r].b, 12 + 4 * k, 72);
        }
    }
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "core/fspath.h"
#include "mkdata.h"

static int WritePalette(const std::string& path, const PALINFO& info)
{
    std::string dir = path.substr(0, path.rfind('/'));
    if (!Mkdata_MakeDirs(dir)) return 0;
    if (Palstuff_Write(path.c_str(), &info)) return 1;
    fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return 0;
}

static int Demo(const std::string& rundir)
{
    PALINFO info;
    Mkdata_DemoPalette(&info);
    return WritePalette(rundir + "/data/graphics/intface/quorvex.pal", info);
}

// The demo palette, one with other team colours, and one cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_pals") return 1;
    PALINFO info;
    Mkdata_DemoPalette(&info);
    if (!WritePalette(dir + "/demo.pal", info)) return 0;
    for (int t = 0; t < 8; t++) info.teamcolour[t] = (uint8_t)(7 - t);
    if (!WritePalette(dir + "/teams.pal", info)) return 0;
    std::string whole;
    if (!Fs_ReadAll((dir + "/demo.pal").c_str(), &whole)) return 0;
    return Mkdata_WriteFile(dir + "/short.pal", whole.data(), 500);
}

MKDATA_REGISTER(palette, "palette", Demo, Seeds);
#endif

uint8_t Mkdata_NearestColour(const PAL_RGB* palette, int r, int g, int b)
{
    int best = 1;
    long bestd = -1;
    for (int i = 1; i < 256; i++) {
        if (i >= 16 && i <= 21) continue;
        long dr = palette[i].r - r, dg = palette[i].g - g, db = palette[i].b - b;
        long d = dr * dr + dg * dg + db * db;
        if (bestd < 0 || d < bestd) {
            bestd = d;
            best = i;
        }
    }
    return (uint8_t)best;
}
