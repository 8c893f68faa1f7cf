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
    std::vector<int32_t> region;    // mapsizex x mapsizey, row order
    int count = 0;
};

std::vector<CLASSMAP> s_maps;       // index: movement class
bool s_built = false;
int s_w = 0, s_h = 0;

const int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

void BuildClass(CLASSMAP* map, const EFFECTTYPE* table)
{
    const size_t n = (size_t)s_w * s_h;
    std::vector<uint8_t> speed(n, 0), climb(n, 0), alt(n, 0);
    for (int y = 1; y < s_h; y++)
        for (int x = 1; x < s_w; x++) {
            const size_t i = (size_t)y * s_w + x;
            const uint8_t* cell = table ? Units_EffectCell(table, &g_MapElements[i]) : nullptr;
            speed[i] = cell ? cell[0] : 100;
            climb[i] = cell ? cell[1] : 1;
            alt[i] = (uint8_t)g_MapElements[i].altitude;
        }
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
    BuildClass(&s_maps[CRE_CLASS_ANY], nullptr);
    for (int t = 0; t < tables; t++) BuildClass(&s_maps[(size_t)t + 1], Effects_GetTable(t));
    s_built = true;
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
    if (!s_built || movementclass < 0 || movementclass >= (int)s_maps.size()) return CRE_REGION_NONE;
    if (x < 1 || y < 1 || x >= s_w || y >= s_h) return CRE_REGION_NONE;
    return s_maps[(size_t)movementclass].region[(size_t)y * s_w + x];
}

int CRE_RegionCount(int movementclass)
{
    if (!s_built || movementclass < 0 || movementclass >= (int)s_maps.size()) return 0;
    return s_maps[(size_t)movementclass].count;
}
