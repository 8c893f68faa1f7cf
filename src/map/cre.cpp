// Connected regions: one region map per movement class, by flood fill.
//
// The step rule is the movement code's (Units_CanTravel): a step into a tile
// needs the target's speed above 0 and the altitude difference within both
// tiles' climb limits. Between two tiles of speed above 0 that rule is
// symmetric, so the passable tiles and the steps between them form an
// undirected graph whose components are the regions. The tile effects are
// the cells the movement rule reads (Units_EffectCell), so the regions can
// never disagree with it.
#include "map/cre.h"

#include <cstdlib>
#include <vector>

#include "core/debug.h"
#include "map/map.h"
#include "platform/effects.h"
#include "units/unit.h"

namespace {

struct CLASSMAP {
    const EFFECTTYPE* table = nullptr;
    std::vector<int32_t> region;    // mapsizex x mapsizey, row order
    // The terrain the regions were built from, so that a change can be
    // told apart from a rewrite of the same value.
    std::vector<uint8_t> speed, climb, alt;
    int count = 0;
    bool stale = false;             // the terrain changed since the last build
};

std::vector<CLASSMAP> s_maps;       // index: movement class
bool s_built = false;
int s_w = 0, s_h = 0;

const int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// Reads tile i's terrain as the class sees it; true when it differs from
// what the class's regions were built from.
bool ReadTile(CLASSMAP* map, size_t i)
{
    const uint8_t* cell = map->table ? Units_EffectCell(map->table, &g_MapElements[i]) : nullptr;
    const uint8_t speed = cell ? cell[0] : 100;
    const uint8_t climb = cell ? cell[1] : 1;
    const uint8_t alt = (uint8_t)g_MapElements[i].altitude;
    const bool changed = speed != map->speed[i] || climb != map->climb[i] || alt != map->alt[i];
    map->speed[i] = speed;
    map->climb[i] = climb;
    map->alt[i] = alt;
    return changed;
}

void BuildClass(CLASSMAP* map)
{
    const size_t n = (size_t)s_w * s_h;
    map->speed.assign(n, 0);
    map->climb.assign(n, 0);
    map->alt.assign(n, 0);
    for (int y = 1; y < s_h; y++)
        for (int x = 1; x < s_w; x++) ReadTile(map, (size_t)y * s_w + x);
    const std::vector<uint8_t>& speed = map->speed;
    const std::vector<uint8_t>& climb = map->climb;
    const std::vector<uint8_t>& alt = map->alt;
    map->stale = false;
    map->region.assign(n, CRE_REGION_NONE);
    map->count = 0;
    std::vector<int32_t> stack;
    for (int y = 1; y < s_h; y++)
        for (int x = 1; x < s_w; x++) {
            const size_t start = (size_t)y * s_w + x;
            if (speed[start] == 0 || map->region[start] != CRE_REGION_NONE) continue;
            const int id = ++map->count;
            map->region[start] = id;
            stack.push_back((int32_t)start);
            while (!stack.empty()) {
                const int32_t i = stack.back();
                stack.pop_back();
                const int cx = i % s_w, cy = i / s_w;
                for (int d = 0; d < 8; d++) {
                    const int nx = cx + kDx[d], ny = cy + kDy[d];
                    if (nx < 1 || ny < 1 || nx >= s_w || ny >= s_h) continue;
                    const int32_t j = ny * s_w + nx;
                    if (speed[j] == 0 || map->region[j] != CRE_REGION_NONE) continue;
                    const int diff = abs(alt[i] - alt[j]);
                    if (diff > climb[i] || diff > climb[j]) continue;
                    map->region[j] = id;
                    stack.push_back(j);
                }
            }
        }
}

} // namespace

void CRE_Build(void)
{
    CRE_Close();
    if (!g_MapElements || mapsizex < 2 || mapsizey < 2) return;
    s_w = mapsizex;
    s_h = mapsizey;
    const int tables = Effects_NrTables();
    s_maps.resize((size_t)tables + 1);
    for (int t = 0; t < tables; t++) s_maps[(size_t)t + 1].table = Effects_GetTable(t);
    for (CLASSMAP& map : s_maps) BuildClass(&map);
    s_built = true;
}

// The maps belong to the map they were built for: a map loaded since (of
// another size) is not read through them until CRE_Build.
static bool SameMap(void) { return g_MapElements && mapsizex == s_w && mapsizey == s_h; }

void CRE_TilesChanged(int x, int y, int w, int h)
{
    if (!s_built || !SameMap() || w < 1 || h < 1) return;
    const int x0 = x < 1 ? 1 : x, y0 = y < 1 ? 1 : y;
    const int x1 = (int64_t)x + w > s_w ? s_w : x + w;
    const int y1 = (int64_t)y + h > s_h ? s_h : y + h;
    for (CLASSMAP& map : s_maps) {
        // Every tile is read even after a change was found: the stored
        // terrain must stay the one the next build will see.
        for (int ty = y0; ty < y1; ty++)
            for (int tx = x0; tx < x1; tx++)
                if (ReadTile(&map, (size_t)ty * s_w + tx)) map.stale = true;
    }
}

int CRE_StaleClasses(void)
{
    int n = 0;
    for (const CLASSMAP& map : s_maps) n += map.stale;
    return n;
}

// A class whose terrain changed is built again before anyone reads it: the
// answer depends only on the map, never on when the change was noticed.
static const CLASSMAP* Fresh(int movementclass)
{
    if (!s_built || movementclass < 0 || movementclass >= (int)s_maps.size()) return nullptr;
    CLASSMAP* map = &s_maps[(size_t)movementclass];
    if (map->stale && SameMap()) BuildClass(map);
    return map;
}

void CRE_Close(void)
{
    s_maps.clear();
    s_maps.shrink_to_fit();
    s_built = false;
    s_w = s_h = 0;
}

int CRE_IsBuilt(void)
{
    return s_built;
}

int CRE_ClassOf(const EFFECTTYPE* effects)
{
    if (!effects) return CRE_CLASS_ANY;
    const int tables = Effects_NrTables();
    for (int t = 0; t < tables; t++)
        if (Effects_GetTable(t) == effects) return t + 1;
    // A table that is not registered has no region map: no class.
    return -1;
}

int CRE_ClassRegionAt(int movementclass, int x, int y)
{
    const CLASSMAP* map = Fresh(movementclass);
    if (!map || x < 1 || y < 1 || x >= s_w || y >= s_h) return CRE_REGION_NONE;
    return map->region[(size_t)y * s_w + x];
}

int CRE_RegionCount(int movementclass)
{
    const CLASSMAP* map = Fresh(movementclass);
    return map ? map->count : 0;
}
