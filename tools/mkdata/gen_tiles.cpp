// The demo tile set ("DEMO.til" and its palette "DEMO.pal") and the fog tiles.
//
// Every texture is a terrain ramp of the demo palette with noise: a coarse
// noise on a lattice that wraps at the tile's edge (so a texture placed
// beside itself shows no seam) and a fine one per pixel, both from an
// integer hash of the texture, its variation and the position.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_tiles.h"

#include <cstring>

#include "gen_palette.h"

static uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    uint32_t h = a * 0x9E3779B1u ^ b * 0x85EBCA77u ^ c * 0xC2B2AE3Du ^ d * 0x27D4EB2Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// -amp..amp, bilinear over a 4 x 4 lattice of 6-pixel cells that wraps.
static int Coarse(int t, int v, int x, int y, int amp)
{
    if (amp == 0) return 0;
    auto at = [&](int cx, int cy) {
        return (int)(Hash((uint32_t)t, (uint32_t)v, (uint32_t)(cx & 3), (uint32_t)(cy & 3) + 77) %
                     (uint32_t)(2 * amp + 1)) -
               amp;
    };
    int cx = x / 6, cy = y / 6, fx = x % 6, fy = y % 6;
    int top = at(cx, cy) * (6 - fx) + at(cx + 1, cy) * fx;
    int bottom = at(cx, cy + 1) * (6 - fx) + at(cx + 1, cy + 1) * fx;
    int sum = top * (6 - fy) + bottom * fy; // scaled by 36
    return sum >= 0 ? (sum + 18) / 36 : -((-sum + 18) / 36);
}

static int Fine(int t, int v, int x, int y, int amp)
{
    if (amp == 0) return 0;
    return (int)(Hash((uint32_t)t, (uint32_t)v, (uint32_t)x, (uint32_t)y) %
                 (uint32_t)(2 * amp + 1)) -
           amp;
}

static uint8_t Ramp(int ramp, int level)
{
    if (level < 0) level = 0;
    if (level > MKPAL_RAMP - 1) level = MKPAL_RAMP - 1;
    return (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * ramp + level);
}

struct CORNERLOOK {
    uint8_t role;
    int ramp;
    int base;
    int coarse, fine;
};

static const CORNERLOOK LOOKS[TILEMAXCORNERTYPES] = {
    {TILEROLE_WATER, MKPAL_WATER, 9, 1, 0},      // water
    {TILEROLE_LAND, MKPAL_GRASS, 9, 2, 1},       // grass
    {TILEROLE_CLIFFFILL, MKPAL_ROCK, 7, 2, 1},   // rock between cliffs
    {TILEROLE_SHORE, MKPAL_SAND, 10, 1, 1},      // sand
    {TILEROLE_FREE, MKPAL_EARTH, 9, 2, 1},       // dirt
    {TILEROLE_FREE, MKPAL_FOREST, 8, 3, 1},      // forest floor
    {TILEROLE_WATER, MKPAL_DEEPWATER, 9, 1, 0},  // deep water
    {TILEROLE_FREE, MKPAL_EARTH, 7, 1, 1},       // minerals
    {TILEROLE_FREE, MKPAL_SNOW, 12, 1, 1},       // snow
    {TILEROLE_FREE, MKPAL_LAVA, 9, 3, 1},        // lava
    {TILEROLE_SLOPE, MKPAL_EARTH, 8, 1, 1},      // moderate step, rising east or south
    {TILEROLE_SLOPE, MKPAL_EARTH, 8, 1, 1},      // moderate step, rising west or north
    {TILEROLE_CLIFF, MKPAL_ROCK, 7, 1, 1},       // cliff rising east
    {TILEROLE_CLIFF, MKPAL_ROCK, 7, 1, 1},       // cliff rising west
    {TILEROLE_CLIFF, MKPAL_ROCK, 7, 1, 1},       // cliff rising south
    {TILEROLE_CLIFF, MKPAL_ROCK, 7, 1, 1},       // cliff rising north
};

static uint8_t TexturePixel(int t, int v, int x, int y)
{
    const CORNERLOOK& look = LOOKS[t];
    int level = look.base + Coarse(t, v, x, y, look.coarse) + Fine(t, v, x, y, look.fine);
    uint32_t h = Hash((uint32_t)t + 100, (uint32_t)v, (uint32_t)x, (uint32_t)y);
    switch (t) {
    case GENTILE_WATER:
    case GENTILE_DEEPWATER:
        // Wave crests running down to the right, moved along by the variation.
        if ((x + 2 * y + 5 * v) % 12 < 2) level += t == GENTILE_WATER ? 3 : 2;
        break;
    case GENTILE_DIRT:
        if (h % 17 == 0) return Ramp(MKPAL_ROCK, 10);
        break;
    case GENTILE_FOREST:
        if (h % 9 == 0) level = 3;
        break;
    case GENTILE_MINERAL:
        if (h % 6 == 0) return Ramp(MKPAL_CRYSTAL, 11 + (int)(h / 6 % 5));
        break;
    case GENTILE_SLOPEUP:
        if ((x + y) % 6 < 2) level -= 2;
        break;
    case GENTILE_SLOPEDOWN:
        if ((x - y + 24) % 6 < 2) level -= 2;
        break;
    case GENTILE_CLIFF_E:
        level += (x * 5) / 24 - 2 - (x % 5 == 0 ? 3 : 0);
        break;
    case GENTILE_CLIFF_W:
        level += ((23 - x) * 5) / 24 - 2 - (x % 5 == 0 ? 3 : 0);
        break;
    case GENTILE_CLIFF_S:
        level += (y * 5) / 24 - 2 - (y % 5 == 0 ? 3 : 0);
        break;
    case GENTILE_CLIFF_N:
        level += ((23 - y) * 5) / 24 - 2 - (y % 5 == 0 ? 3 : 0);
        break;
    default:
        break;
    }
    return Ramp(look.ramp, level);
}

void GenTile_Masks(uint8_t mask[TILEMAXMASKVARIATIONS][TILE_AREA])
{
    // How far each mask's edges lean from the middle, per row or column.
    static const int8_t WAVE[4][TILE_PIXELS] = {
        {0},
        {0, 1, 1, 1, 2, 2, 2, 2, 2, 2, 1, 1, 0, -1, -1, -1, -2, -2, -2, -2, -2, -2, -1, -1},
        {0, 2, 3, 2, 0, -2, -3, -2, 0, 2, 3, 2, 0, -2, -3, -2, 0, 2, 3, 2, 0, -2, -3, -2},
        {-4, -4, -3, -3, -3, -2, -2, -2, -1, -1, -1, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 3},
    };
    for (int m = 0; m < TILEMAXMASKVARIATIONS; m++) {
        for (int y = 0; y < TILE_PIXELS; y++) {
            for (int x = 0; x < TILE_PIXELS; x++) {
                int right = x >= 12 + WAVE[m][y];
                int bottom = y >= 12 + WAVE[m][(x + 6) % TILE_PIXELS];
                mask[m][y * TILE_PIXELS + x] =
                    (uint8_t)(right ? (bottom ? 2 : 1) : (bottom ? 3 : 0));
            }
        }
    }
}

void GenTile_DemoSet(GENTILE_SET* out)
{
    memset(out, 0, sizeof *out);
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    for (int t = 0; t < TILEMAXCORNERTYPES; t++) {
        const PAL_RGB& c = pal.colours[Ramp(LOOKS[t].ramp, LOOKS[t].base)];
        out->info[t] = TILE_CORNERINFO{LOOKS[t].role, (uint8_t)t, c.r, c.g, c.b};
        for (int v = 0; v < TILEMAXVARIATIONS; v++)
            for (int y = 0; y < TILE_PIXELS; y++)
                for (int x = 0; x < TILE_PIXELS; x++)
                    out->texture[t][v][y * TILE_PIXELS + x] = TexturePixel(t, v, x, y);
    }
    GenTile_Masks(out->mask);
}

static void PutU16(std::string* s, unsigned v)
{
    s->push_back((char)(v & 0xFF));
    s->push_back((char)((v >> 8) & 0xFF));
}

static void PutU32(std::string* s, uint32_t v)
{
    for (int k = 0; k < 4; k++) s->push_back((char)((v >> (8 * k)) & 0xFF));
}

std::string GenTile_Bytes(const GENTILE_SET& set)
{
    std::string s = "TILE";
    PutU32(&s, TILE_VERSION);
    PutU16(&s, TILE_PIXELS);
    PutU16(&s, TILEMAXCORNERTYPES);
    PutU16(&s, TILEMAXVARIATIONS);
    PutU16(&s, TILEMAXMASKVARIATIONS);
    for (const TILE_CORNERINFO& i : set.info) {
        const uint8_t rec[8] = {i.role, i.effectrow, i.r, i.g, i.b, 0, 0, 0};
        s.append((const char*)rec, sizeof rec);
    }
    s.append((const char*)set.texture, sizeof set.texture);
    s.append((const char*)set.mask, sizeof set.mask);
    return s;
}

int GenFog_Density(int corners, int px, int py)
{
    int c[4];
    for (int k = 0; k < 4; k++) c[k] = (corners >> k) & 1 ? 255 : 0;
    int u = 2 * px + 1, v = 2 * py + 1;
    return (c[0] * (48 - u) * (48 - v) + c[1] * u * (48 - v) + c[2] * u * v + c[3] * (48 - u) * v) /
           2304;
}

std::string GenFog_Bytes(void)
{
    std::string s = "FOGT";
    PutU32(&s, GENFOG_VERSION);
    PutU16(&s, TILE_PIXELS);
    PutU16(&s, GENFOG_MASKS);
    for (int m = 0; m < GENFOG_MASKS; m++)
        for (int y = 0; y < TILE_PIXELS; y++)
            for (int x = 0; x < TILE_PIXELS; x++) s.push_back((char)GenFog_Density(m, x, y));
    return s;
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "mkdata.h"
#include "platform/palette.h"

static int Demo(const std::string& rundir)
{
    GENTILE_SET* set = new GENTILE_SET;
    GenTile_DemoSet(set);
    std::string til = GenTile_Bytes(*set);
    delete set;
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    // "BARREN" is the set a new scenario starts on; it looks like the demo's.
    for (const char* name : {"DEMO", "BARREN"}) {
        const std::string dir = rundir + "/data/graphics/" + name;
        if (!Mkdata_WriteFile(dir + "/" + name + ".til", til.data(), til.size())) return 0;
        if (!Palstuff_Write((dir + "/" + name + ".pal").c_str(), &pal)) {
            fprintf(stderr, "mkdata: cannot write [%s/%s.pal]\n", dir.c_str(), name);
            return 0;
        }
    }
    std::string fog = GenFog_Bytes();
    return Mkdata_WriteFile(rundir + "/data/graphics/fogtile.fog", fog.data(), fog.size());
}

// The demo set, one cut inside the textures, and one whose last mask pixel
// names a fifth corner; for the fog tiles the demo file and one cut inside
// its masks.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_fogtile") {
        std::string fog = GenFog_Bytes();
        return Mkdata_WriteFile(dir + "/fogtile.fog", fog.data(), fog.size()) &&
               Mkdata_WriteFile(dir + "/short.fog", fog.data(), 700);
    }
    if (target != "fuzz_tile") return 1;
    GENTILE_SET* set = new GENTILE_SET;
    GenTile_DemoSet(set);
    std::string til = GenTile_Bytes(*set);
    delete set;
    if (!Mkdata_WriteFile(dir + "/demo.til", til.data(), til.size())) return 0;
    if (!Mkdata_WriteFile(dir + "/short.til", til.data(), 4000)) return 0;
    std::string bad = til;
    bad.back() = 4;
    return Mkdata_WriteFile(dir + "/badmask.til", bad.data(), bad.size());
}

MKDATA_REGISTER(tiles, "tiles", Demo, Seeds);
#endif
