#include "editor/mebigmap.h"

#include <cstring>
#include <vector>

#include "editor/editor.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"

static int Zoom(void) { return g_MeEditor.view.zoom; }

IPoint MeBigMap::ScreenToWorld(const IPoint& p)
{
    const int z = Zoom();
    return IPoint(p.x * z + g_MapView.x, (p.y - MEBIGMAP_Y) * z + g_MapView.y);
}

IPoint MeBigMap::ScreenToTile(const IPoint& p)
{
    const IPoint w = ScreenToWorld(p);
    return IPoint(w.x / 24, w.y / 24);
}

IPoint MeBigMap::ScreenToVertex(const IPoint& p)
{
    const IPoint w = ScreenToWorld(p);
    return IPoint((w.x + 12) / 24, (w.y + 12) / 24);
}

IPoint MeBigMap::ScreenToCorner(const IPoint& p)
{
    const int z = Zoom();
    return IPoint(((p.x + 6) * z + g_MapView.x) / 12, ((p.y - 26) * z + g_MapView.y) / 12);
}

IPoint MeBigMap::WorldToScreen(const IPoint& w)
{
    const int z = Zoom();
    return IPoint((w.x - g_MapView.x) / z, (w.y - g_MapView.y) / z + MEBIGMAP_Y);
}

IPoint MeBigMap::TileToScreen(const IPoint& t) { return WorldToScreen(IPoint(24 * t.x, 24 * t.y)); }

// The half-cell shift is in screen pixels, as ScreenToCorner's is: shifting
// by 6 world pixels instead puts the point a whole cell off at zooms 3 and 4.
IPoint MeBigMap::CornerToScreen(const IPoint& c)
{
    const int z = Zoom();
    return IPoint((12 * c.x - g_MapView.x) / z - 6, (12 * c.y - g_MapView.y) / z - 6 + MEBIGMAP_Y);
}

static void SetOrigin(int x, int y)
{
    const int z = Zoom();
    if (z == 1) {
        Map_SetViewPixelPos(x, y);
        return;
    }
    Map_SetViewPixelPosZoom(x, y, z);
    MeBigMap::RedrawZoomed(1, 0, 0, 0, 0);
}

void MeBigMap::Centre(int x, int y) { SetOrigin(x, y); }

void MeBigMap::ScrollBy(int dx, int dy)
{
    const int z = Zoom();
    SetOrigin(dx * z + g_MapView.x, dy * z + g_MapView.y);
}

void MeBigMap::Refresh(int all, int x1, int y1, int x2, int y2)
{
    if (Zoom() > 1) {
        RedrawZoomed(all, x1, y1, x2, y2);
        return;
    }
    if (all) Map_MarkTilesDirty(0, 0, mapsizex - 1, mapsizey - 1);
    else
        Map_MarkTilesDirty(g_MapView.tilex + x1, g_MapView.tiley + y1, g_MapView.tilex + x2,
                           g_MapView.tiley + y2);
}

void MeBigMap::RedrawZoomed(int all, int x1, int y1, int x2, int y2)
{
    const int z = Zoom();
    BITMAP* dst = Display_TerrainBuffer();
    BITMAP* scratch = &g_MeEditor.scratch;
    if (z < 2 || !dst || !scratch->data) return;
    const int cell = 24 / z, n = MEBIGMAP_TILES * z;
    if (all) {
        Graph_FillRect(dst, nullptr, 0, 0, 0, MEBIGMAP_ZOOMSIDE, MEBIGMAP_ZOOMSIDE, 0);
        x1 = y1 = 0;
        x2 = y2 = n;
    }
    if (x2 > n) x2 = n;
    if (y2 > n) y2 = n;
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    const int vx = g_MapView.tilex, vy = g_MapView.tiley;
    for (int c = x1; c < x2 && c < mapsizex - vx; c++)
        for (int r = y1; r < y2 && r < mapsizey - vy; r++) {
            Tile_Draw(MAP_ELEMENT_AT(vx + c, vy + r)->tile, scratch, 0);
            Terrain_LightTile(vx + c, vy + r, scratch);
            Graph_BlitStretch(dst, nullptr, 0, c * cell, r * cell, cell, cell, scratch, 0, 0, 24, 24);
        }
}

static bool Held(int a, int b) { return Input_KeyDown(a) || Input_KeyDown(b); }

int MeBigMap::AutoScroll(const QIPointer& p, int top, int left, int bottom, int right)
{
    MEVIEW& v = g_MeEditor.view;
    const int z = Zoom();
    const int oldx = g_MapView.x, oldy = g_MapView.y;
    int nx = oldx, ny = oldy;
    if (p.x <= left || Held(SC_LEFT, 75)) nx = oldx - v.speed * z;
    else if (p.x >= right || Held(SC_RIGHT, 77)) nx = oldx + v.speed * z;
    if (nx != oldx) SetOrigin(nx, g_MapView.y);
    if (p.y <= top || Held(SC_UP, 72)) ny = g_MapView.y - v.speed * z;
    else if (p.y >= bottom || Held(SC_DOWN, 80)) ny = g_MapView.y + v.speed * z;
    if (ny != g_MapView.y) SetOrigin(g_MapView.x, ny);
    if (g_MapView.x == oldx && g_MapView.y == oldy) {
        v.speed = MEBIGMAP_MINSPEED;
        return 0;
    }
    if (v.speed < MEBIGMAP_MAXSPEED) v.speed++;
    return 1;
}

IPoint MeBigMap::Motion(const QIPointer& p)
{
    const QIDesktop* d = g_MeEditor.desktop;
    if (d && !(d->dflags & QID_POINTERSAVED)) return IPoint(0, 0);
    return IPoint(p.x - QIPOINTER_CENTREX, p.y - QIPOINTER_CENTREY);
}

static int Abs(int v) { return v < 0 ? -v : v; }

void MeBigMap::DragScroll(const QIPointer& p)
{
    MEVIEW& v = g_MeEditor.view;
    const int z = Zoom();
    const IPoint d = MeBigMap::Motion(p);
    const int dx = d.x, dy = d.y;
    const int ax = dx + dx / 5, ay = dy + dy / 5;
    if (Abs(ax) < 20) v.dragVx /= 2;
    if (Abs(ay) < 20) v.dragVy /= 2;
    if ((v.dragVx >= 1 && ax < 0) || (v.dragVx < 0 && ax >= 1)) v.dragVx = 0;
    if ((v.dragVy >= 1 && ay < 0) || (v.dragVy < 0 && ay >= 1)) v.dragVy = 0;
    v.dragVx += ax;
    v.dragVy += ay;
    SetOrigin(v.dragVx * z + g_MapView.x, v.dragVy * z + g_MapView.y);
}

int MeBigMap::HandleEvent(QIWidget* widget, int event, QIARG arg)
{
    (void)widget;
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN) || !me.tool) return event;
    const QIPointer* p = reinterpret_cast<const QIPointer*>(arg);
    if (!p && event != QIE_FOCUS) return event;
    MeTool* t = me.tool;
    switch (event) {
    case QIE_FOCUS: t->PointerEnter(); break;
    case QIE_UNFOCUS: t->PointerLeave(*p); break;
    case QIE_LEFTDOWN: t->LeftDown(*p); break;
    case QIE_LEFTUP: t->LeftUp(*p); break;
    case QIE_RIGHTDOWN: t->RightDown(*p); break;
    case QIE_RIGHTUP: t->RightUp(*p); break;
    case QIE_MOVE: t->PointerMove(*p); break;
    default: break;
    }
    return event;
}

// ---------------------------------------------------------------- the kept view

static std::vector<uint8_t> s_kept;

void MeBigMap::KeepFrame(void)
{
    const BITMAP* bb = Backbuf_Lock();
    if (!bb || bb->x_size < MEBIGMAP_X + MEBIGMAP_SIDE || bb->y_size < MEBIGMAP_Y + MEBIGMAP_SIDE) return;
    s_kept.resize((size_t)MEBIGMAP_SIDE * MEBIGMAP_SIDE);
    for (int y = 0; y < MEBIGMAP_SIDE; y++)
        memcpy(&s_kept[(size_t)y * MEBIGMAP_SIDE], bb->data + (size_t)(MEBIGMAP_Y + y) * bb->x_size + MEBIGMAP_X,
               MEBIGMAP_SIDE);
}

void MeBigMap::ForgetFrame(void) { s_kept.clear(); }

void MeBigMapView::Draw(const IRect* clip)
{
    BITMAP* bb = Backbuf_Lock();
    if ((flags & QIWF_SHOWN) && (g_MeEditor.flags & MEF_OPEN) && !s_kept.empty() && bb) {
        BITMAP kept;
        Graph_InitBitmap(&kept, MEBIGMAP_SIDE, MEBIGMAP_SIDE, s_kept.data());
        // Within the repaint's clip, which the desktop has put in force.
        const IRect own(MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE);
        GRECT within;
        Graph_Blit(bb, QI_WithinDrawClip(&own, &within), 0, MEBIGMAP_X, MEBIGMAP_Y, &kept, 0, 0, MEBIGMAP_SIDE,
                   MEBIGMAP_SIDE);
    }
    QIGroup::Draw(clip);
}
