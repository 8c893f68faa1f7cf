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
#include "core/tlog.h"
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

// Curves 0 and 3 are straight; curve 1 bows up to 3 pixels away from the
// side the next step turns to and swings the facing back past the step's
// direction towards it; curves 4 and 5 lead with the axis they turn to.
// Points between the fixed ones of curves 1, 4 and 5 are linear between
// them, rounded half away from zero, except that curve 1's facing holds 13
// and 0 only over their landmark points (30..36, 65..67). Saved games and
// replays carry this table: changing a point breaks both.
PIXELARRAY g_StepCurves[UNITS_STEPCURVES * UNITS_CURVEPOINTS] = {
    // curve 0
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0},
    {1, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 0, 0}, {3, 0, 0}, {3, 0, 0}, {3, 0, 0},
    {3, 0, 0}, {4, 0, 0}, {4, 0, 0}, {4, 0, 0}, {4, 0, 0}, {5, 0, 0}, {5, 0, 0}, {5, 0, 0},
    {5, 0, 0}, {6, 0, 0}, {6, 0, 0}, {6, 0, 0}, {6, 0, 0}, {6, 0, 0}, {7, 0, 0}, {7, 0, 0},
    {7, 0, 0}, {7, 0, 0}, {8, 0, 0}, {8, 0, 0}, {8, 0, 0}, {8, 0, 0}, {9, 0, 0}, {9, 0, 0},
    {9, 0, 0}, {9, 0, 0}, {10, 0, 0}, {10, 0, 0}, {10, 0, 0}, {10, 0, 0}, {11, 0, 0}, {11, 0, 0},
    {11, 0, 0}, {11, 0, 0}, {12, 0, 0}, {12, 0, 0}, {12, 0, 0}, {12, 0, 0}, {12, 0, 0}, {13, 0, 0},
    {13, 0, 0}, {13, 0, 0}, {13, 0, 0}, {14, 0, 0}, {14, 0, 0}, {14, 0, 0}, {14, 0, 0}, {15, 0, 0},
    {15, 0, 0}, {15, 0, 0}, {15, 0, 0}, {16, 0, 0}, {16, 0, 0}, {16, 0, 0}, {16, 0, 0}, {17, 0, 0},
    {17, 0, 0}, {17, 0, 0}, {17, 0, 0}, {18, 0, 0}, {18, 0, 0}, {18, 0, 0}, {18, 0, 0}, {18, 0, 0},
    {19, 0, 0}, {19, 0, 0}, {19, 0, 0}, {19, 0, 0}, {20, 0, 0}, {20, 0, 0}, {20, 0, 0}, {20, 0, 0},
    {21, 0, 0}, {21, 0, 0}, {21, 0, 0}, {21, 0, 0}, {22, 0, 0}, {22, 0, 0}, {22, 0, 0}, {22, 0, 0},
    {23, 0, 0}, {23, 0, 0}, {23, 0, 0}, {23, 0, 0},
    // curve 1
    {0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 0, 1}, {0, 0, 2}, {1, 0, 2}, {1, 0, 3}, {1, 0, 3},
    {1, 0, 3}, {2, 0, 4}, {2, 0, 4}, {2, 0, 5}, {2, 0, 5}, {3, 0, 6}, {3, 0, 6}, {3, 0, 7},
    {3, 0, 7}, {4, 0, 7}, {4, 0, 8}, {4, 0, 8}, {4, 0, 9}, {5, 0, 9}, {5, 0, 10}, {5, 0, 10},
    {5, -1, 10}, {6, -1, 11}, {6, -1, 11}, {6, -1, 12}, {6, -1, 12}, {6, -1, 12}, {7, -1, 13}, {7, -1, 13},
    {7, -1, 13}, {7, -1, 13}, {8, -1, 13}, {8, -1, 13}, {8, -1, 13}, {8, -2, 12}, {9, -2, 12}, {9, -2, 12},
    {9, -2, 11}, {9, -2, 11}, {10, -2, 10}, {10, -2, 10}, {10, -2, 9}, {10, -2, 9}, {11, -2, 9}, {11, -2, 8},
    {11, -2, 8}, {11, -2, 7}, {12, -3, 7}, {12, -3, 6}, {12, -3, 6}, {12, -3, 5}, {12, -3, 5}, {13, -3, 4},
    {13, -3, 4}, {13, -3, 4}, {13, -3, 3}, {14, -3, 3}, {14, -3, 2}, {14, -3, 2}, {14, -3, 1}, {15, -3, 1},
    {15, -3, 1}, {15, -3, 0}, {15, -3, 0}, {16, -3, 0}, {16, -3, -1}, {16, -3, -2}, {16, -3, -3}, {17, -3, -4},
    {17, -3, -5}, {17, -3, -6}, {17, -3, -7}, {18, -3, -8}, {18, -3, -9}, {18, -3, -10}, {18, -3, -11}, {18, -3, -12},
    {19, -3, -13}, {19, -2, -14}, {19, -2, -15}, {19, -2, -16}, {20, -2, -16}, {20, -2, -17}, {20, -2, -18}, {20, -2, -19},
    {21, -2, -20}, {21, -2, -21}, {21, -1, -22}, {21, -1, -23}, {22, -1, -24}, {22, -1, -25}, {22, -1, -26}, {22, -1, -27},
    {23, 0, -28}, {23, 0, -29}, {23, 0, -30}, {23, 0, -31},
    // curve 2
    {0, 0, 0}, {0, 0, 0}, {0, 0, -1}, {0, 0, -1}, {0, 0, -2}, {1, 0, -2}, {1, 0, -3}, {1, 0, -3},
    {1, 0, -3}, {2, 0, -4}, {2, 0, -4}, {2, 0, -5}, {2, 0, -5}, {3, 0, -6}, {3, 0, -6}, {3, 0, -7},
    {3, 0, -7}, {4, 0, -7}, {4, 0, -8}, {4, 0, -8}, {4, 0, -9}, {5, 0, -9}, {5, 0, -10}, {5, 0, -10},
    {5, 1, -10}, {6, 1, -11}, {6, 1, -11}, {6, 1, -12}, {6, 1, -12}, {6, 1, -12}, {7, 1, -13}, {7, 1, -13},
    {7, 1, -13}, {7, 1, -13}, {8, 1, -13}, {8, 1, -13}, {8, 1, -13}, {8, 2, -12}, {9, 2, -12}, {9, 2, -12},
    {9, 2, -11}, {9, 2, -11}, {10, 2, -10}, {10, 2, -10}, {10, 2, -9}, {10, 2, -9}, {11, 2, -9}, {11, 2, -8},
    {11, 2, -8}, {11, 2, -7}, {12, 3, -7}, {12, 3, -6}, {12, 3, -6}, {12, 3, -5}, {12, 3, -5}, {13, 3, -4},
    {13, 3, -4}, {13, 3, -4}, {13, 3, -3}, {14, 3, -3}, {14, 3, -2}, {14, 3, -2}, {14, 3, -1}, {15, 3, -1},
    {15, 3, -1}, {15, 3, 0}, {15, 3, 0}, {16, 3, 0}, {16, 3, 1}, {16, 3, 2}, {16, 3, 3}, {17, 3, 4},
    {17, 3, 5}, {17, 3, 6}, {17, 3, 7}, {18, 3, 8}, {18, 3, 9}, {18, 3, 10}, {18, 3, 11}, {18, 3, 12},
    {19, 3, 13}, {19, 2, 14}, {19, 2, 15}, {19, 2, 16}, {20, 2, 16}, {20, 2, 17}, {20, 2, 18}, {20, 2, 19},
    {21, 2, 20}, {21, 2, 21}, {21, 1, 22}, {21, 1, 23}, {22, 1, 24}, {22, 1, 25}, {22, 1, 26}, {22, 1, 27},
    {23, 0, 28}, {23, 0, 29}, {23, 0, 30}, {23, 0, 31},
    // curve 3
    {0, 0, 32}, {0, 0, 32}, {0, 0, 32}, {0, 0, 32}, {0, 0, 32}, {1, -1, 32}, {1, -1, 32}, {1, -1, 32},
    {1, -1, 32}, {2, -2, 32}, {2, -2, 32}, {2, -2, 32}, {2, -2, 32}, {3, -3, 32}, {3, -3, 32}, {3, -3, 32},
    {3, -3, 32}, {4, -4, 32}, {4, -4, 32}, {4, -4, 32}, {4, -4, 32}, {5, -5, 32}, {5, -5, 32}, {5, -5, 32},
    {5, -5, 32}, {6, -6, 32}, {6, -6, 32}, {6, -6, 32}, {6, -6, 32}, {6, -6, 32}, {7, -7, 32}, {7, -7, 32},
    {7, -7, 32}, {7, -7, 32}, {8, -8, 32}, {8, -8, 32}, {8, -8, 32}, {8, -8, 32}, {9, -9, 32}, {9, -9, 32},
    {9, -9, 32}, {9, -9, 32}, {10, -10, 32}, {10, -10, 32}, {10, -10, 32}, {10, -10, 32}, {11, -11, 32}, {11, -11, 32},
    {11, -11, 32}, {11, -11, 32}, {12, -12, 32}, {12, -12, 32}, {12, -12, 32}, {12, -12, 32}, {12, -12, 32}, {13, -13, 32},
    {13, -13, 32}, {13, -13, 32}, {13, -13, 32}, {14, -14, 32}, {14, -14, 32}, {14, -14, 32}, {14, -14, 32}, {15, -15, 32},
    {15, -15, 32}, {15, -15, 32}, {15, -15, 32}, {16, -16, 32}, {16, -16, 32}, {16, -16, 32}, {16, -16, 32}, {17, -17, 32},
    {17, -17, 32}, {17, -17, 32}, {17, -17, 32}, {18, -18, 32}, {18, -18, 32}, {18, -18, 32}, {18, -18, 32}, {18, -18, 32},
    {19, -19, 32}, {19, -19, 32}, {19, -19, 32}, {19, -19, 32}, {20, -20, 32}, {20, -20, 32}, {20, -20, 32}, {20, -20, 32},
    {21, -21, 32}, {21, -21, 32}, {21, -21, 32}, {21, -21, 32}, {22, -22, 32}, {22, -22, 32}, {22, -22, 32}, {22, -22, 32},
    {23, -23, 32}, {23, -23, 32}, {23, -23, 32}, {23, -23, 32},
    // curve 4
    {0, 0, 32}, {0, 0, 32}, {0, -1, 32}, {0, -1, 33}, {0, -1, 33}, {1, -1, 33}, {1, -2, 33}, {1, -2, 33},
    {1, -2, 34}, {2, -3, 34}, {2, -3, 34}, {2, -3, 34}, {2, -3, 34}, {3, -4, 35}, {3, -4, 35}, {3, -4, 35},
    {3, -4, 35}, {4, -5, 35}, {4, -5, 36}, {4, -5, 36}, {4, -6, 36}, {5, -6, 36}, {5, -6, 36}, {5, -6, 37},
    {5, -7, 37}, {6, -7, 37}, {6, -7, 37}, {6, -8, 37}, {6, -8, 37}, {6, -8, 37}, {7, -9, 37}, {7, -9, 37},
    {7, -9, 37}, {7, -10, 37}, {8, -10, 37}, {8, -10, 37}, {8, -11, 37}, {8, -11, 37}, {9, -11, 36}, {9, -11, 36},
    {9, -12, 36}, {9, -12, 36}, {10, -12, 36}, {10, -13, 36}, {10, -13, 36}, {10, -13, 36}, {11, -14, 36}, {11, -14, 36},
    {11, -14, 36}, {11, -15, 36}, {12, -15, 36}, {12, -15, 36}, {12, -15, 35}, {12, -16, 35}, {12, -16, 35}, {13, -16, 34},
    {13, -16, 34}, {13, -17, 33}, {13, -17, 33}, {14, -17, 33}, {14, -17, 32}, {14, -18, 32}, {14, -18, 32}, {15, -18, 31},
    {15, -18, 31}, {15, -19, 31}, {15, -19, 30}, {16, -19, 30}, {16, -19, 30}, {16, -20, 29}, {16, -20, 29}, {17, -20, 28},
    {17, -20, 28}, {17, -21, 28}, {17, -21, 27}, {18, -21, 27}, {18, -21, 26}, {18, -21, 25}, {18, -21, 24}, {18, -21, 23},
    {19, -21, 21}, {19, -22, 20}, {19, -22, 19}, {19, -22, 18}, {20, -22, 17}, {20, -22, 16}, {20, -22, 15}, {20, -22, 14},
    {21, -22, 12}, {21, -22, 11}, {21, -22, 10}, {21, -22, 9}, {22, -22, 8}, {22, -23, 7}, {22, -23, 6}, {22, -23, 5},
    {23, -23, 3}, {23, -23, 2}, {23, -23, 1}, {23, -23, 0},
    // curve 5
    {0, 0, 32}, {0, 0, 32}, {1, 0, 32}, {1, 0, 31}, {1, 0, 31}, {1, -1, 31}, {2, -1, 31}, {2, -1, 30},
    {2, -1, 30}, {3, -2, 30}, {3, -2, 30}, {3, -2, 29}, {3, -2, 29}, {4, -3, 29}, {4, -3, 29}, {4, -3, 28},
    {4, -3, 28}, {5, -4, 28}, {5, -4, 28}, {5, -4, 27}, {6, -4, 27}, {6, -5, 27}, {6, -5, 27}, {6, -5, 26},
    {7, -5, 26}, {7, -6, 26}, {7, -6, 26}, {8, -6, 26}, {8, -6, 26}, {8, -6, 26}, {9, -7, 26}, {9, -7, 26},
    {9, -7, 26}, {10, -7, 26}, {10, -8, 26}, {10, -8, 26}, {11, -8, 26}, {11, -8, 26}, {11, -9, 27}, {11, -9, 27},
    {12, -9, 27}, {12, -9, 27}, {12, -10, 27}, {13, -10, 27}, {13, -10, 27}, {13, -10, 27}, {14, -11, 27}, {14, -11, 27},
    {14, -11, 27}, {15, -11, 27}, {15, -12, 27}, {15, -12, 27}, {15, -12, 28}, {16, -12, 28}, {16, -12, 28}, {16, -13, 29},
    {16, -13, 29}, {17, -13, 30}, {17, -13, 30}, {17, -14, 30}, {17, -14, 31}, {18, -14, 31}, {18, -14, 31}, {18, -15, 32},
    {18, -15, 32}, {19, -15, 32}, {19, -15, 33}, {19, -16, 33}, {19, -16, 33}, {20, -16, 34}, {20, -16, 34}, {20, -17, 35},
    {20, -17, 35}, {21, -17, 35}, {21, -17, 36}, {21, -18, 36}, {21, -18, 37}, {21, -18, 38}, {21, -18, 39}, {21, -18, 41},
    {21, -19, 42}, {22, -19, 43}, {22, -19, 44}, {22, -19, 45}, {22, -20, 46}, {22, -20, 47}, {22, -20, 48}, {22, -20, 50},
    {22, -21, 51}, {22, -21, 52}, {22, -21, 53}, {22, -21, 54}, {22, -22, 55}, {23, -22, 56}, {23, -22, 57}, {23, -22, 59},
    {23, -23, 60}, {23, -23, 61}, {23, -23, 62}, {23, -23, 63},
};

const MOVETRANSLATE g_MoveTranslate[8] = {
    {0, 0, 0}, {0, 0, 0}, {1, 0, 1}, {1, 0, 1}, {1, 1, 0}, {1, 1, 0}, {0, 1, 1}, {0, 1, 1},
};

const uint8_t g_StepCurveChoice[2][8] = {
    {0, 2, 2, 2, 2, 1, 1, 1},
    {4, 3, 5, 5, 5, 5, 4, 4},
};

const uint8_t g_StepEndFacing[2][8] = {
    {0, 32, 32, 32, 32, 224, 224, 224},
    {0, 32, 64, 64, 64, 64, 0, 0},
};

const uint8_t g_StepDetours[2][8][UNITS_DETOUR_MAX] = {
    {
        {1, 8, 7, 9},
        {1, 8, 7, 1, 8, 2, 1, 9},
        {9}, {9}, {9}, {9}, {9},
        {7, 8, 1, 7, 8, 6, 7, 9},
    },
    {
        {0, 8, 7, 1, 8, 2, 1, 9},
        {0, 1, 8, 2, 1, 9},
        {2, 8, 0, 1, 8, 3, 1, 9},
        {2, 8, 3, 9},
        {9}, {9}, {9},
        {0, 8, 7, 9},
    },
};

namespace {

const int8_t kDirDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int8_t kDirDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

} // namespace

int Units_IsStationary(const UNIT* u)
{
    ASSERT(u);
    return u->state == US_NONE;
}

int Units_GetVectorDir(int x1, int y1, int x2, int y2)
{
    const int sx = (x2 > x1) - (x2 < x1);
    const int sy = (y2 > y1) - (y2 < y1);
    if (sx == 0 && sy == 0) {
        TLOG(TLOG_ERROR, "GetVectorDir %d,%d -> %d,%d invalid coz its the same tile", x1, y1, x2,
             y2);
        return 0;
    }
    // Indexed (sy + 1) x 3 + (sx + 1).
    static const int8_t kDir[9] = {3, 2, 1, 4, 0, 0, 5, 6, 7};
    return kDir[(sy + 1) * 3 + (sx + 1)];
}

void Units_DirToNeighbour(int vector, int* x, int* y)
{
    ASSERT(vector >= 0);
    ASSERT(vector <= 7);
    *x += kDirDx[vector];
    *y += kDirDy[vector];
}

void Units_DirToPrevious(int vector, int* x, int* y)
{
    ASSERT(vector >= 0);
    ASSERT(vector <= 7);
    *x -= kDirDx[vector];
    *y -= kDirDy[vector];
}

int Units_ComputeSpeed(const UNIT* u, int px, int py, int x, int y, int* tilespeed)
{
    ASSERT(u);
    ASSERT(u->type);
    int s = 0, climb = 0;
    if (Map_IsValidTile(x, y)) Units_GetTileEffects(u->type, x, y, &s, &climb);
    if (tilespeed) *tilespeed = s;
    int64_t v = (int64_t)u->type->speed * s * 200;
    if (u->movemode != MM_FLY && u->movemode != MM_TUNNEL && Map_IsValidTile(x, y) &&
        Map_IsValidTile(px, py)) {
        const int d = abs(Altitude(x, y) - Altitude(px, py));
        // The factor is kept in single precision and the product in double:
        // every machine must truncate the same value.
        const float factor = (float)(17 - d) * 0.05882353f;
        v = (int64_t)((double)v * (double)factor);
    }
    v /= 20000;
    if (v < 1) v = 1;
    if (v > 59) v = 59;
    return (int)v;
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
