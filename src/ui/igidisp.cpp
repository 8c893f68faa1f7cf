#include "ui/igidisp.h"

#include "core/gamestate.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "units/building.h"
#include "units/unit.h"

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void Igidisp_ScreenToMap(int sx, int sy, int* px, int* py)
{
    *px = Clamp(g_MapView.x + sx, 0, mapsizex * 24 - 1);
    *py = Clamp(g_MapView.y + sy - IGIDISP_VIEWTOP, 0, mapsizey * 24 - 1);
}

void Igidisp_MapToScreen(int px, int py, int* sx, int* sy)
{
    *sx = px - g_MapView.x;
    *sy = py - g_MapView.y + IGIDISP_VIEWTOP;
}

void Igidisp_PixelToTile(int px, int py, int* tx, int* ty)
{
    *tx = Clamp((px + 12) / 24, 1, mapsizex - 1);
    *ty = Clamp((py + 12) / 24, 1, mapsizey - 1);
}

static int ValidTile(int x, int y) { return x >= 1 && y >= 1 && x < mapsizex && y < mapsizey; }

UNIT* Igidisp_UnitAtPixel(int px, int py)
{
    int cx = (px + 12) / 24, cy = (py + 12) / 24;
    for (int x = cx - 1; x <= cx + 1; x++)
        for (int y = cy - 1; y <= cy + 1; y++) {
            if (!ValidTile(x, y)) continue;
            for (int level = 0; level < 3; level++) {
                UNIT* u = Units_UnitAtMapLevel(level, x, y);
                if (!u) continue;
                int dx = u->pixelpos.x - px, dy = u->pixelpos.y - py;
                if (dx >= -12 && dx <= 12 && dy >= -12 && dy <= 12) return u;
            }
        }
    return nullptr;
}

BUILDING* Igidisp_BuildAtPixel(int px, int py)
{
    int tx = px / 24, ty = py / 24;
    if (!Fog_IsSeen(tx, ty, g_LocalTeam)) return nullptr;
    return Build_AtPixel(px, py);
}
