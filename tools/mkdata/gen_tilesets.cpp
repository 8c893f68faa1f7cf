// Two more tile sets for the editor to switch between, each with a palette
// of its own: "SnowField" (a winter: grass and forest ramps white and blue)
// and "AshLands" (a burnt land: grass and forest ramps grey and rust). Their
// textures are the demo's mirrored, the variations in another order, so
// that each set also looks different where the palettes agree. The folder
// and file names keep their mixed case.
#include <cstdio>
#include <memory>
#include <string>

#include "gen_palette.h"
#include "gen_tiles.h"
#include "mkdata.h"
#include "platform/palette.h"

struct TINT {
    int r, g, b; // the ramp's brightest colour; darker entries scale it
};

// Replaces the grass and forest ramps by ones of the given hues.
static void Tint(PALINFO* pal, const TINT& grass, const TINT& forest)
{
    const struct {
        int ramp;
        TINT top;
    } ramps[2] = {{MKPAL_GRASS, grass}, {MKPAL_FOREST, forest}};
    for (const auto& r : ramps)
        for (int i = 0; i < MKPAL_RAMP; i++) {
            const int k = 40 + 215 * i / (MKPAL_RAMP - 1); // dark to bright
            pal->colours[MKPAL_TERRAIN + MKPAL_RAMP * r.ramp + i] =
                PAL_RGB{(uint8_t)(r.top.r * k / 255), (uint8_t)(r.top.g * k / 255), (uint8_t)(r.top.b * k / 255)};
        }
}

static void OwnTextures(GENTILE_SET* set, const PALINFO& pal, int shift)
{
    const std::unique_ptr<GENTILE_SET> demo(new GENTILE_SET);
    GenTile_DemoSet(demo.get());
    for (int t = 0; t < TILEMAXCORNERTYPES; t++) {
        for (int v = 0; v < TILEMAXVARIATIONS; v++)
            for (int y = 0; y < TILE_PIXELS; y++)
                for (int x = 0; x < TILE_PIXELS; x++)
                    set->texture[t][v][y * TILE_PIXELS + x] =
                        demo->texture[t][(v + shift) % TILEMAXVARIATIONS][y * TILE_PIXELS + TILE_PIXELS - 1 - x];
        // The minimap colour: the texture's middle pixel in the set's palette.
        set->info[t] = demo->info[t];
        const PAL_RGB& c = pal.colours[set->texture[t][0][TILE_AREA / 2 + TILE_PIXELS / 2]];
        set->info[t].r = c.r, set->info[t].g = c.g, set->info[t].b = c.b;
    }
    GenTile_Masks(set->mask);
}

static int Write(const std::string& rundir, const char* name, const TINT& grass, const TINT& forest, int shift)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    Tint(&pal, grass, forest);
    const std::unique_ptr<GENTILE_SET> set(new GENTILE_SET);
    OwnTextures(set.get(), pal, shift);
    const std::string til = GenTile_Bytes(*set);
    const std::string dir = rundir + "/data/graphics/" + name;
    if (!Mkdata_WriteFile(dir + "/" + name + ".til", til.data(), til.size())) return 0;
    if (!Palstuff_Write((dir + "/" + name + ".pal").c_str(), &pal)) {
        fprintf(stderr, "mkdata: cannot write [%s/%s.pal]\n", dir.c_str(), name);
        return 0;
    }
    return 1;
}

static int TileSets(const std::string& rundir)
{
    return Write(rundir, "SnowField", TINT{235, 240, 255}, TINT{120, 160, 220}, 3) &&
           Write(rundir, "AshLands", TINT{170, 165, 160}, TINT{170, 80, 40}, 5);
}

MKDATA_REGISTER(tilesets, "tilesets", TileSets, nullptr);
