// The demo map, written with the engine's own map writer.
//
// Altitudes come from a few shapes (a lake, a plateau, a terraced hill) over
// gently varied land; corner types then follow the altitudes vertex by
// vertex, as the editor derives them: water low, sand at the shore, cliffs
// where the ground steps by 7 or more, moderate steps at 4..6.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_map.h"

#include <cstdlib>

#include "gen_tiles.h"
#include "map/map.h"
#include "map/terrain.h"

static uint32_t Hash(uint32_t a, uint32_t b, uint32_t c)
{
    uint32_t h = a * 0x9E3779B1u ^ b * 0x85EBCA77u ^ c * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

static int Dist(int x, int y, int cx, int cy)
{
    return Map_ISqrt((long)(x - cx) * (x - cx) + (long)(y - cy) * (y - cy));
}

// The shapes of the demo map.
static const int LAKE_X = 18, LAKE_Y = 42;
static const int PLATEAU_X = 45, PLATEAU_Y = 16;
static const int HILL_X = 44, HILL_Y = 46;

static int PlateauDist(int x, int y)
{
    int px = abs(x - PLATEAU_X) - 6, py = abs(y - PLATEAU_Y) - 5;
    if (px < 0) px = 0;
    if (py < 0) py = 0;
    return Map_ISqrt((long)px * px + (long)py * py);
}

int GenMap_Altitude(int x, int y)
{
    int lake = Dist(x, y, LAKE_X, LAKE_Y);
    if (lake <= 4) return GENMAP_WATERALT - 2;
    if (lake <= 8) return GENMAP_WATERALT - 1;
    if (lake <= 10) return GENMAP_WATERALT + 1;
    if (PlateauDist(x, y) <= 4) return 14;
    int hill = Dist(x, y, HILL_X, HILL_Y);
    if (hill <= 3) return 13;
    if (hill <= 7) return 9;
    // Land rolls by one step over patches of 4 x 4 tiles.
    return 6 + (Hash((uint32_t)(x / 4), (uint32_t)(y / 4), 11) % 3 == 0 ? 1 : 0);
}

int GenMap_VertexType(int (*alt)(int x, int y), int w, int h, int x, int y, int landtype)
{
    auto at = [&](int i, int j) {
        if (i < 0) i = 0;
        if (j < 0) j = 0;
        if (i > w - 1) i = w - 1;
        if (j > h - 1) j = h - 1;
        return alt(i, j);
    };
    int a00 = at(x - 1, y - 1), a10 = at(x, y - 1), a01 = at(x - 1, y), a11 = at(x, y);
    int lo = a00, hi = a00;
    for (int a : {a10, a01, a11}) {
        if (a < lo) lo = a;
        if (a > hi) hi = a;
    }
    int gx = (a10 + a11) - (a00 + a01), gy = (a01 + a11) - (a00 + a10);
    if (hi - lo >= 7) {
        if (abs(gx) >= abs(gy)) return gx > 0 ? GENTILE_CLIFF_E : GENTILE_CLIFF_W;
        return gy > 0 ? GENTILE_CLIFF_S : GENTILE_CLIFF_N;
    }
    if (hi - lo >= 4) return gx + gy > 0 ? GENTILE_SLOPEUP : GENTILE_SLOPEDOWN;
    if (hi <= GENMAP_WATERALT - 2) return GENTILE_DEEPWATER;
    if (hi <= GENMAP_WATERALT) return GENTILE_WATER;
    if (lo <= GENMAP_WATERALT) return GENTILE_SAND;
    return landtype;
}

// What plain land shows at vertex (x, y): snow up high, minerals where the
// element holds some, a forest, a dirt patch, grass elsewhere.
static int LandType(int x, int y)
{
    int cx = x < GENMAP_SIDE ? x : GENMAP_SIDE - 1, cy = y < GENMAP_SIDE ? y : GENMAP_SIDE - 1;
    const MAP_ELEMENT* e = MAP_ELEMENT_AT(cx, cy);
    if (e->altitude >= 13) return GENTILE_SNOW;
    if (e->mineral > 0) return GENTILE_MINERAL;
    if (Dist(x, y, 12, 14) + (int)(Hash((uint32_t)x, (uint32_t)y, 3) % 3) <= 8)
        return GENTILE_FOREST;
    if (Dist(x, y, 30, 28) <= 3) return GENTILE_DIRT;
    return GENTILE_GRASS;
}

int GenMap_BuildDemo(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, GENMAP_SIDE, GENMAP_SIDE, 6, GENTILE_GRASS};
    if (!Map_Load(nullptr)) return 0;
    for (int y = 0; y < GENMAP_SIDE; y++) {
        for (int x = 0; x < GENMAP_SIDE; x++) {
            MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            e->altitude = e->initalt = (uint32_t)GenMap_Altitude(x, y);
        }
    }
    Map_SetResourceLevel(1, 5, 2, 28, 52);
    Map_SetResourceLevel(1, 7, 3, 56, 34);
    Map_SetResourceLevel(0, 6, 2, 30, 38);

    // Vertex (x, y) is the top-left corner of element (x, y); the vertices
    // on the right and bottom edge are only the far corners of the last
    // elements.
    static int vertex[GENMAP_SIDE + 1][GENMAP_SIDE + 1];
    for (int y = 0; y <= GENMAP_SIDE; y++)
        for (int x = 0; x <= GENMAP_SIDE; x++)
            vertex[y][x] = GenMap_VertexType(GenMap_Altitude, GENMAP_SIDE, GENMAP_SIDE, x, y,
                                             LandType(x, y));
    for (int y = 0; y < GENMAP_SIDE; y++) {
        for (int x = 0; x < GENMAP_SIDE; x++) {
            uint32_t tile = (uint32_t)vertex[y][x] | (uint32_t)vertex[y][x + 1] << 4 |
                            (uint32_t)vertex[y + 1][x + 1] << 8 | (uint32_t)vertex[y + 1][x] << 12;
            tile |= (Hash((uint32_t)x, (uint32_t)y, 2) & 3u) << 16;
            tile |= (Hash((uint32_t)x, (uint32_t)y, 1) & 7u) << 18;
            MAP_ELEMENT_AT(x, y)->tile = tile;
        }
    }
    Terrain_LightAll();
    return 1;
}

std::string GenMap_OldFileBytes(int w, int h, uint32_t seed)
{
    std::string s = "MAP_";
    for (uint32_t v : {(uint32_t)MAP_VERSION_OLD, (uint32_t)w, (uint32_t)h})
        for (int k = 0; k < 4; k++) s.push_back((char)((v >> (8 * k)) & 0xFF));
    for (int i = 0; i < w * h; i++) {
        uint32_t r = Hash(seed, (uint32_t)i, 5);
        uint32_t q = Hash(seed, (uint32_t)i, 6);
        s.push_back((char)(r & 0xFF));
        s.push_back((char)((r >> 8) & 0xFF));
        s.push_back((char)((r >> 16) & 0x1F));
        s.push_back((char)(q % 32));
        s.push_back((char)(q % 5 == 0 ? (q >> 8) % 32 : (uint32_t)MAP_EFFECT_NONE));
        s.push_back((char)((q >> 16) & 0x3F));
    }
    return s;
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "core/fspath.h"
#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    // The demo battle, also as the demo campaign's first mission from either
    // side and its final one (the map's centre button, open from the start).
    if (!GenMap_BuildDemo()) return 0;
    int ok = 1;
    for (const char* folder : {"SINGLE/DEMO", "FIXED/m01a", "FIXED/m01s", "FIXED/m13v", "MULTI/DUEL", "MULTI/QUAD",
                               "MULTI/MELEE", "CAMPAIGN/OUTPOST"}) {
        const std::string dir = rundir + "/scenario/" + folder;
        if (!Mkdata_MakeDirs(dir) || !Map_Save((dir + "/QUORVEX.map").c_str())) {
            fprintf(stderr, "mkdata: cannot write [%s/QUORVEX.map]\n", dir.c_str());
            ok = 0;
            break;
        }
    }
    Map_Free();
    return ok;
}

// The demo map, a small one with every field used, an old 0x200 one, and
// the demo map cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_map") return 1;
    if (!GenMap_BuildDemo() || !Map_Save((dir + "/demo.map").c_str())) return 0;
    g_NewMapRequest = MAP_NEWREQUEST{1, 4, 3, 9, GENTILE_SAND};
    if (!Map_Load(nullptr)) return 0;
    MAP_ELEMENT* e = MAP_ELEMENT_AT(1, 1);
    e->tile = 0x1CF2A1u;
    e->effect = 4;
    e->water = 3;
    e->mineral = 6;
    e->altitude = 31;
    int ok = Map_Save((dir + "/small.map").c_str());
    Map_Free();
    if (!ok) return 0;
    std::string old = GenMap_OldFileBytes(5, 3, 7);
    if (!Mkdata_WriteFile(dir + "/old.map", old.data(), old.size())) return 0;
    std::string whole;
    if (!Fs_ReadAll((dir + "/demo.map").c_str(), &whole)) return 0;
    return Mkdata_WriteFile(dir + "/short.map", whole.data(), 500);
}

MKDATA_REGISTER(map, "map", Demo, Seeds);

// The map of the computer bases' test scenario: level grass at the demo's
// land altitude, nothing on it, so that every base has room to build.
static int Level(const std::string& target, const std::string& dir)
{
    if (target != "aibases_map") return 1;
    g_NewMapRequest = MAP_NEWREQUEST{1, GENMAP_SIDE, GENMAP_SIDE, 6, GENTILE_GRASS};
    if (!Map_Load(nullptr)) return 0;
    Terrain_LightAll();
    int ok = Map_Save((dir + "/QUORVEX.map").c_str());
    Map_Free();
    if (!ok) fprintf(stderr, "mkdata: cannot write [%s/QUORVEX.map]\n", dir.c_str());
    return ok;
}

MKDATA_REGISTER(aibases, "aibases", nullptr, Level);
#endif
