// Terrain lighting.
//
// A normal depends only on the two altitude differences across its element
// (east minus west, south minus north, each -31..31), so the packed normals
// come from a 63 x 63 table built once; the light only decides what a packed
// normal's brightness is, a 65536-entry table rebuilt by Terrain_SetLight.
// Lighting the whole map is then two table look-ups per element. The tables
// are built in float, in a fixed order, from the same inputs every time.
#include "map/terrain.h"

#include <cmath>
#include <cstring>

#include "core/debug.h"
#include "map/map.h"
#include "platform/graph.h"
#include "platform/palette.h"

SHADETABLES g_ShadeTables;

enum { DIFF_RANGE = TERRAIN_NORMALDIFFS };

static uint16_t s_normalPack[DIFF_RANGE][DIFF_RANGE];
static int s_normalsReady;
static uint16_t s_brightness[65536];
static int s_lightReady;

// The packed normal of an element whose altitude rises by ex from west to
// east neighbour and by sy from north to south neighbour.
static void terrain_BuildNormals(void)
{
    // Central differences span two tiles of 24 pixels.
    const float scale = (float)TERRAIN_ALTITUDEPIXELS / (2.0f * (float)MAP_TILE_PIXELS);
    for (int i = 0; i < DIFF_RANGE; i++) {
        for (int j = 0; j < DIFF_RANGE; j++) {
            float nx = -(float)(i - 31) * scale, ny = -(float)(j - 31) * scale, nz = 1.0f;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            int px = (int)std::lround(127.0f * nx / len);
            int py = (int)std::lround(127.0f * ny / len);
            s_normalPack[i][j] =
                (uint16_t)((uint8_t)(int8_t)px | (uint16_t)(uint8_t)(int8_t)py << 8);
        }
    }
    s_normalsReady = 1;
}

static void terrain_BuildShadeRows(void)
{
    for (int l = 0; l < TERRAIN_SHADELEVELS; l++)
        g_ShadeTables.colour[l] = g_ShadeTable[48 + 4 * l];
}

void Terrain_SetLight(int x, int y, int z, int shadelimit, int lightlimit)
{
    ASSERT(x != 0 || y != 0 || z != 0);
    ASSERT(shadelimit > 90 && shadelimit <= 180);
    ASSERT(lightlimit >= 0 && lightlimit < 90);
    float len = std::sqrt((float)x * (float)x + (float)y * (float)y + (float)z * (float)z);
    float lx = (float)x / len, ly = (float)y / len, lz = (float)z / len;
    const float rad = 3.14159265358979f / 180.0f;
    for (int v = 0; v < 65536; v++) {
        float nx = (float)(int8_t)(v & 0xFF) / 127.0f;
        float ny = (float)(int8_t)(v >> 8) / 127.0f;
        float q = 1.0f - nx * nx - ny * ny;
        float nz = q > 0.0f ? std::sqrt(q) : 0.0f;
        float dot = nx * lx + ny * ly + nz * lz;
        if (dot > 1.0f) dot = 1.0f;
        if (dot < -1.0f) dot = -1.0f;
        float angle = std::acos(dot) / rad;
        int b;
        if (angle <= (float)lightlimit) b = TERRAIN_MAXBRIGHTNESS;
        else if (angle >= (float)shadelimit) b = 0;
        else
            b = (int)((float)TERRAIN_MAXBRIGHTNESS * ((float)shadelimit - angle) /
                          (float)(shadelimit - lightlimit) +
                      0.5f);
        s_brightness[v] = (uint16_t)b;
        g_ShadeTables.level[v] = (uint8_t)(b * TERRAIN_SHADELEVELS / (TERRAIN_MAXBRIGHTNESS + 1));
    }
    terrain_BuildShadeRows();
    s_lightReady = 1;
}

static void terrain_Ready(void)
{
    if (!s_normalsReady) terrain_BuildNormals();
    if (!s_lightReady) Terrain_SetLight(-1, -1, 1, 150, 0);
}

static inline int terrain_Alt(int x, int y)
{
    if (x < 0) x = 0;
    if (x >= mapsizex) x = mapsizex - 1;
    if (y < 0) y = 0;
    if (y >= mapsizey) y = mapsizey - 1;
    return (int)g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x].altitude;
}

// Stores the packed normal of (x, y), which lies on the map, and returns it.
static uint16_t terrain_Normal(int x, int y)
{
    int ex = terrain_Alt(x + 1, y) - terrain_Alt(x - 1, y);
    int sy = terrain_Alt(x, y + 1) - terrain_Alt(x, y - 1);
    uint16_t packed = s_normalPack[ex + 31][sy + 31];
    MAP_ELEMENT& e = g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x];
    e.shadev = (e.shadev & 0xFFFF0000u) | packed;
    return packed;
}

int Terrain_TileBrightness(int x, int y)
{
    if (!g_MapElements || x < 0 || x >= mapsizex || y < 0 || y >= mapsizey) return 0;
    terrain_Ready();
    return s_brightness[terrain_Normal(x, y)];
}

void Terrain_Relight(int x, int y, int altitude)
{
    if (!g_MapElements) return;
    terrain_Ready();
    x = ((x % mapsizex) + mapsizex) % mapsizex;
    y = ((y % mapsizey) + mapsizey) % mapsizey;
    MAP_ELEMENT& e = g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x];
    // Clamped rather than cut to 5 bits: an altitude pushed past 31 must not
    // come back as a pit.
    long init = altitude < 0 ? 0 : altitude > 31 ? 31 : altitude;
    long alt = (long)altitude + (long)e.altitude - (long)e.initalt;
    e.initalt = (uint32_t)init;
    e.altitude = (uint32_t)(alt < 0 ? 0 : alt > 31 ? 31 : alt);
    // Each normal reads the four direct neighbours, so those and the element
    // itself are what changed.
    static const int NEAR[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& d : NEAR) {
        int nx = x + d[0], ny = y + d[1];
        if (nx >= 0 && nx < mapsizex && ny >= 0 && ny < mapsizey) terrain_Normal(nx, ny);
    }
}

void Terrain_LightAll(void)
{
    if (!g_MapElements) return;
    terrain_Ready();
    const int w = mapsizex, h = mapsizey;
    for (int y = 0; y < h; y++) {
        MAP_ELEMENT* row = g_MapElements + (size_t)y * (size_t)w;
        const MAP_ELEMENT* up = y > 0 ? row - w : row;
        const MAP_ELEMENT* down = y < h - 1 ? row + w : row;
        for (int x = 0; x < w; x++) {
            int west = (int)row[x > 0 ? x - 1 : 0].altitude;
            int east = (int)row[x < w - 1 ? x + 1 : x].altitude;
            int ex = east - west;
            int sy = (int)down[x].altitude - (int)up[x].altitude;
            row[x].shadev = (row[x].shadev & 0xFFFF0000u) | s_normalPack[ex + 31][sy + 31];
        }
    }
}

const uint16_t* Terrain_NormalTable(void)
{
    if (!s_normalsReady) terrain_BuildNormals();
    return &s_normalPack[0][0];
}

int Terrain_ShadeLevel(int x, int y)
{
    if (!g_MapElements || x < 0 || x >= mapsizex || y < 0 || y >= mapsizey)
        return TERRAIN_FLATLEVEL;
    terrain_Ready();
    return g_ShadeTables.level[g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x].shadev &
                               0xFFFF];
}

void Terrain_LightTileAt(int x, int y, BITMAP* dst, int px, int py)
{
    if (!dst || !dst->data) return;
    int level = Terrain_ShadeLevel(x, y);
    if (level == TERRAIN_FLATLEVEL) return; // the identity row
    if (!s_lightReady) terrain_Ready();
    const uint8_t* table = g_ShadeTables.colour[level];
    int x0 = px < 0 ? 0 : px, y0 = py < 0 ? 0 : py;
    int x1 = px + MAP_TILE_PIXELS, y1 = py + MAP_TILE_PIXELS;
    if (x1 > dst->x_size) x1 = dst->x_size;
    if (y1 > dst->y_size) y1 = dst->y_size;
    for (int yy = y0; yy < y1; yy++) {
        uint8_t* p = dst->data + (size_t)yy * (size_t)dst->x_size;
        for (int xx = x0; xx < x1; xx++) p[xx] = table[p[xx]];
    }
}

void Terrain_LightTile(int x, int y, BITMAP* tile24) { Terrain_LightTileAt(x, y, tile24, 0, 0); }
