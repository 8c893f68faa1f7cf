// Unit movement: the step rule and the step costs of the path search.
//
// The inverse-relative-speed table gives the cost of a step relative to a
// step over level ground at speed 100 (factor 1.0). Entry d x 256 + s, for an
// altitude difference d (0..31) and a speed percentage s (0..255):
//     (100 / s) x (1 + d / 8)      for s > 0,
//     200 x (1 + d / 8)            for s = 0,
// so a slow tile costs in inverse proportion to its speed, a climb costs an
// eighth more for each altitude step, and a tile of speed 0 (which the step
// rule never enters, but a cost may still be asked of it) costs more than
// the slowest passable one. The values are computed in single precision
// from exact constants, so every machine holds the same table.
#include "units/unitmove.h"

#include <cstdlib>

#include "core/debug.h"
#include "map/cre.h"
#include "map/map.h"
#include "units/unit.h"

float g_InverseRelativeSpeed[UNITS_IRS_SIZE];

namespace {

bool s_irsReady = false;

int Altitude(int x, int y) { return MAP_ELEMENT_AT(x, y)->altitude; }

} // namespace

void Units_InitInverseRelativeSpeed(void)
{
    if (s_irsReady) return;
    for (int d = 0; d < UNITS_IRS_ALTITUDES; d++) {
        const float climb = 1.0f + (float)d * 0.125f;
        for (int s = 0; s < 256; s++) {
            const float base = s > 0 ? 100.0f / (float)s : 200.0f;
            g_InverseRelativeSpeed[d * 256 + s] = base * climb;
        }
    }
    s_irsReady = true;
}

int Units_CanTravel(const UNIT* u, int sx, int sy, int x, int y)
{
    ASSERT(u);
    ASSERT(u->type);
    // An invalid source tile has no altitude or limits to compare.
    if (!Map_IsValidTile(x, y) || !Map_IsValidTile(sx, sy)) return 0;
    int speed, climb, sspeed, sclimb;
    Units_GetTileEffects(u->type, x, y, &speed, &climb);
    if (speed == 0) return 0;
    Units_GetTileEffects(u->type, sx, sy, &sspeed, &sclimb);
    const int d = abs(Altitude(x, y) - Altitude(sx, sy));
    return d <= climb && d <= sclimb;
}

float Units_ComputeInverseRelativeSpeed(const UNIT* u, int x1, int y1, int x2, int y2)
{
    ASSERT(u);
    ASSERT(u->type);
    Units_InitInverseRelativeSpeed();
    if (!Map_IsValidTile(x2, y2)) return g_InverseRelativeSpeed[100];
    const MAP_ELEMENT* e = MAP_ELEMENT_AT(x2, y2);
    int index = u->type->effects ? Units_CostCell(u->type->effects, e)[0] : 100;
    if (u->movemode != MM_FLY && u->movemode != MM_TUNNEL && Map_IsValidTile(x1, y1))
        index += 256 * abs((int)e->altitude - Altitude(x1, y1));
    return g_InverseRelativeSpeed[index];
}

int Units_Get_Connected_Region(const UNIT* u)
{
    ASSERT(u);
    ASSERT(u->type);
    return CRE_ClassRegionAt(CRE_ClassOf(u->type->effects), u->tilepos.x, u->tilepos.y);
}

int Units_Can_Reach_X_Y(const UNIT* u, int x, int y)
{
    const int region = Units_Get_Connected_Region(u);
    return region != CRE_REGION_NONE &&
           region == CRE_ClassRegionAt(CRE_ClassOf(u->type->effects), x, y);
}
