#include "editor/meterrain.h"

#include <algorithm>
#include <cstdlib>

#include "core/debug.h"
#include "editor/editor.h"
#include "editor/meminimap.h"
#include "map/map.h"
#include "map/mapview.h"
#include "widgets/qibutton.h"

enum { MASK_VARIATION_SHIFT = 16, MASK_VARIATION_BITS = 0x30000 };

static void SetNibble(int x, int y, int nibble, int type)
{
    MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
    const int shift = 4 * nibble;
    e->tile = (e->tile & ~(0xfu << shift)) | ((uint32_t)(type & 0xf) << shift);
}

void MeTerrain::SetVertexType(int x, int y, int type)
{
    if (x <= 0 || y <= 0) return;
    SetNibble(x, y, 0, type);
    SetNibble(x - 1, y, 1, type);
    SetNibble(x - 1, y - 1, 2, type);
    SetNibble(x, y - 1, 3, type);
}

int MeTerrain::VertexType(int x, int y) { return (int)(MAP_ELEMENT_AT(x, y)->tile & 0xf); }

static int Alt(int x, int y) { return (int)MAP_ELEMENT_AT(x, y)->altitude; }
static bool Cliff(int x, int y) { return MeTerrain::VertexType(x, y) >= METERRAIN_CLIFF12; }

static void SetMaskVariation(int x, int y, int v)
{
    MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
    e->tile = (e->tile & ~MASK_VARIATION_BITS) | ((uint32_t)v << MASK_VARIATION_SHIFT);
}

// The rules for one vertex, reading the types as the earlier vertices left them.
static void RidgeVertex(int x, int y)
{
    auto Set = MeTerrain::SetVertexType;
    const int dW = Alt(x - 1, y) - Alt(x, y), dN = Alt(x, y - 1) - Alt(x, y);
    const int dT = Alt(x - 1, y - 1) - Alt(x, y - 1), dL = Alt(x - 1, y - 1) - Alt(x - 1, y);
    const int aW = abs(dW), aN = abs(dN), aT = abs(dT), aL = abs(dL);
    const int biggest = std::max(std::max(aW, aN), std::max(aT, aL));
    if (biggest < 4 && MeTerrain::VertexType(x, y) >= METERRAIN_STEPUP) Set(x, y, METERRAIN_LAND);

    if (aW >= 4 && aW <= 6) {
        Set(x, y, dW > 0 ? METERRAIN_STEPUP : METERRAIN_STEPDOWN);
    } else if (dW >= 7) {
        Set(x - 1, y, METERRAIN_CLIFF13);
        if (aN < 7) {
            if (aT < 7 && aL >= 7) Set(x - 1, y, METERRAIN_CLIFF12);
            if (aT >= 7) Set(x, y, METERRAIN_CLIFF13);
        } else if (dN <= -7) {
            Set(x, y - 1, METERRAIN_CLIFF14);
        }
    } else if (dW <= -7) {
        Set(x, y, METERRAIN_CLIFF14);
        if (aN < 7 && aT >= 7) {
            SetMaskVariation(x, y - 1, 1);
            Set(x, y - 1, METERRAIN_CLIFF14);
        }
    }

    if (aN >= 4 && aN <= 6) {
        Set(x, y, dN > 0 ? METERRAIN_STEPUP : METERRAIN_STEPDOWN);
    } else if (dN <= -7) {
        Set(x, y, METERRAIN_CLIFF14);
        if (aT < 7 && aL >= 7) {
            SetMaskVariation(x - 1, y, 1);
            Set(x - 1, y, METERRAIN_CLIFF14);
        }
    } else if (dN >= 7) {
        Set(x, y, METERRAIN_CLIFF13);
        if (aT < 7 && aL >= 7) Set(x, y - 1, METERRAIN_CLIFF13);
    }

    if (aT >= 7) {
        if (dT < 0 && aL >= 7) Set(x, y, METERRAIN_CLIFF14);
        if (dT > 0 && aN >= 7) Set(x - 1, y, METERRAIN_CLIFF15);
    }

    // A corner shut in by three cliff corners is filled.
    if (Cliff(x - 1, y - 1) && Cliff(x, y - 1) && Cliff(x - 1, y) && !Cliff(x, y)) Set(x, y, METERRAIN_FILL);
    if (Cliff(x - 1, y - 1) && Cliff(x, y - 1) && Cliff(x, y) && x > 1 && !Cliff(x - 1, y))
        Set(x - 1, y, METERRAIN_FILL);
    if (Cliff(x - 1, y - 1) && Cliff(x, y) && Cliff(x - 1, y) && y > 1 && !Cliff(x, y - 1))
        Set(x, y - 1, METERRAIN_FILL);
    if (Cliff(x, y) && Cliff(x, y - 1) && Cliff(x - 1, y) && x > 1 && y > 1 && !Cliff(x - 1, y - 1))
        Set(x - 1, y - 1, METERRAIN_FILL);
}

int MeTerrain::TerrainFromAltitude(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event != 18) return event;
    for (int x = 1; x < mapsizex; x++)
        for (int y = 1; y < mapsizey; y++) RidgeVertex(x, y);
    MeBigMap::Refresh(1, 0, 0, 0, 0);
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
    return event;
}

static void ApplyZoom(void)
{
    MEVIEW& v = g_MeEditor.view;
    ASSERT(v.zoom >= 1 && v.zoom <= ME_MAXZOOM);
    MeBigMap::Centre(g_MapView.x, g_MapView.y);
    if (v.zoom == 1) Map_MarkTilesDirty(0, 0, mapsizex - 1, mapsizey - 1);
}

int MeTerrain::SetZoom(int z)
{
    ASSERT(z >= 1 && z <= ME_MAXZOOM);
    g_MeEditor.view.zoom = z;
    ApplyZoom();
    return 1;
}

void MeTerrain::InitZoom(void)
{
    MEVIEW& v = g_MeEditor.view;
    int z = std::min(mapsizey / MEBIGMAP_TILES, mapsizex / MEBIGMAP_TILES);
    // A map under 19 elements a side still has zoom 1: 0 would make zooming in fail the assertion.
    v.maxZoom = std::max(1, std::min(z, (int)ME_MAXZOOM));
    for (QIWidget* w : v.zoomInc)
        if (QIValueButton* b = dynamic_cast<QIValueButton*>(w)) b->limit = v.maxZoom;
}

int MeTerrain::OnZoom(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event != 12) return event;
    ApplyZoom();
    return event;
}
