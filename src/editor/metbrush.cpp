#include "editor/metbrush.h"

#include <cstdlib>
#include <cstring>

#include "core/rand.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meminimap.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qilist.h"

enum {
    MASKVAR_SHIFT = 16,
    TEXVAR_SHIFT = 18,
    VARIATION_BITS = 0x1f0000,
    OUTLINE_COLOUR = 15,
    OUTLINE_ALTCOLOUR = 9, // entry of the widget colour table
    MARK_CELLS = 40,
    MARK_SIDE = 13,
};

static const uint32_t kShift = MOD_LSHIFT | MOD_RSHIFT;

// Nibble of quarter cell (qx, qy) within its element.
static int NibbleOf(int qx, int qy)
{
    static const int nib[2][2] = {{0, 1}, {3, 2}}; // [odd y][odd x]
    return nib[qy & 1][qx & 1];
}

// Floor division by 2: a block left of the map must name a vertex left of it.
static int Half(int v) { return v >= 0 ? v / 2 : -((1 - v) / 2); }

static bool OnMap(int x, int y) { return x >= 0 && y >= 0 && x < mapsizex && y < mapsizey; }

static void MiniUpdate(int x, int y)
{
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->UpdateElement(x, y);
}

void MeBrushTerrain::Grow(int x, int y)
{
    if (dirty[0] < 0 || x < dirty[0]) dirty[0] = x;
    if (dirty[1] < 0 || x > dirty[1]) dirty[1] = x;
    if (dirty[2] < 0 || y < dirty[2]) dirty[2] = y;
    if (dirty[3] < 0 || y > dirty[3]) dirty[3] = y;
}

void MeBrushTerrain::Centre(int& cx, int& cy) const
{
    if (size & 1) {
        cx &= ~1;
        cy &= ~1;
    } else {
        if (!(cx & 1)) cx--;
        if (!(cy & 1)) cy--;
    }
}

void MeBrushTerrain::Click(const QIPointer& event)
{
    IPoint c = MeBigMap::ScreenToCorner(event);
    const int s = size;
    Centre(c.x, c.y);
    int xe = c.x + s, ye = c.y + s;
    if ((shape == METB_CIRCLE || shape == METB_DIAMOND) && s > 1) xe++, ye++;
    dirty[0] = dirty[1] = dirty[2] = dirty[3] = -1;
    for (int y = c.y - s; y < ye; y += 2)
        for (int x = c.x - s; x < xe; x += 2) {
            if (spray && (Crt_Rand() & 255) >= (12 - s) * 5) continue;
            const int dx = x - c.x, dy = y - c.y;
            if (shape == METB_CIRCLE) {
                if (s > 1 && dx * dx + dy * dy > s * s) continue;
            } else if (shape == METB_DIAMOND) {
                if (abs(dx) + abs(dy) - 1 > s) continue;
            } else if (shape != METB_SQUARE) {
                continue;
            }
            for (int qy = y; qy <= y + 1; qy++)
                for (int qx = x; qx <= x + 1; qx++) {
                    if (qx < 0 || qy < 0 || qx >= 2 * mapsizex || qy >= 2 * mapsizey) continue;
                    int t[4] = {-1, -1, -1, -1};
                    t[NibbleOf(qx, qy)] = cornerType;
                    PaintTile(qx / 2, qy / 2, t[0], t[1], t[2], t[3]);
                }
            SetAltitude(Half(x + 1), Half(y + 1), altitude);
        }
    if (dirty[0] < 0) return;
    const int vx = g_MapView.x / 24, vy = g_MapView.y / 24;
    int x1 = dirty[0] - vx, x2 = dirty[1] - vx, y1 = dirty[2] - vy, y2 = dirty[3] - vy;
    if (paintAltitude) x1 -= 2, y1 -= 2, x2 += 2, y2 += 2; // the lighting spreads
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 >= 0 && y2 >= 0) MeBigMap::Refresh(0, x1, y1, x2, y2);
}

void MeBrushTerrain::PaintTile(int x, int y, int t0, int t1, int t2, int t3)
{
    if (!OnMap(x, y)) return;
    if (!paintTerrain) {
        MiniUpdate(x, y);
        return;
    }
    MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
    const uint32_t old = e->tile;
    uint32_t tile = old;
    const int t[4] = {t0, t1, t2, t3};
    static const int qdx[4] = {0, 1, 1, 0}, qdy[4] = {0, 0, 1, 1};
    int written = 0;
    for (int i = 0; i < 4; i++) {
        if (t[i] < 0) continue;
        if (allowed && !allowed[(size_t)(2 * y + qdy[i]) * (2 * mapsizex) + 2 * x + qdx[i]]) continue;
        tile = (tile & ~(0xfu << (4 * i))) | ((uint32_t)(t[i] & 0xf) << (4 * i));
        written++;
    }
    if (written) {
        if (masks & 0xf) {
            int v = Crt_Rand() & 3;
            while (!(masks & (1u << v))) v = (v + 1) & 3;
            tile = (tile & ~(3u << MASKVAR_SHIFT)) | ((uint32_t)v << MASKVAR_SHIFT);
        }
        const int tv = variation >= 1 && variation <= 8 ? variation - 1 : Crt_Rand() & 7;
        tile = (tile & ~(7u << TEXVAR_SHIFT)) | ((uint32_t)tv << TEXVAR_SHIFT);
    }
    Tile_ReleaseElement(old);
    e->tile = Tile_ClaimElement(tile);
    Grow(x, y);
    MiniUpdate(x, y);
}

void MeBrushTerrain::SetAltitude(int x, int y, int value)
{
    if (!OnMap(x, y)) return;
    uint8_t* seen = visited ? &visited[(size_t)y * mapsizex + x] : nullptr;
    if ((value == METB_RAISE || value == METB_LOWER) && seen && *seen) return;
    if (!paintAltitude || value == METB_KEEP) return;
    if (seen) *seen = 1;
    const int old = (int)MAP_ELEMENT_AT(x, y)->altitude;
    int now = value == METB_RAISE ? old + 1 : value == METB_LOWER ? old - 1 : value;
    if (now < METB_MINALT) now = METB_MINALT;
    if (now > METB_MAXALT) now = METB_MAXALT;
    if (now == old) return;
    Terrain_Relight(x, y, now);
    Grow(x, y);
    MiniUpdate(x, y);
}

int MeBrushTerrain::NewMapAltitude(void) const
{
    if (altitude < 0) return METB_MINALT;
    return altitude < METB_MINALT ? METB_MINALT : altitude > METB_MAXALT ? METB_MAXALT : altitude;
}

void MeBrushTerrain::ClickDone(void)
{
    if (visited) memset(visited, 0, (size_t)mapsizex * mapsizey);
}

void MeBrushTerrain::Init(void)
{
    Close();
    if (mapsizex <= 0 || mapsizey <= 0) return;
    const size_t n = (size_t)mapsizex * mapsizey;
    visited = new uint8_t[n]();
    allowed = new uint8_t[4 * n];
    memset(allowed, 1, 4 * n);
}

void MeBrushTerrain::Close(void)
{
    delete[] visited;
    delete[] allowed;
    visited = allowed = nullptr;
}

void MeBrushTerrain::Cancel(int byRightClick)
{
    (void)byRightClick;
    SetState(METS_CLICK);
    if (allowed) memset(allowed, 1, (size_t)4 * mapsizex * mapsizey);
    protectedType = -1;
    inverted = 1;
}

void MeBrushTerrain::Protect(int type)
{
    if (protectedType < 0 || type != protectedType) inverted = 1;
    else inverted = !inverted;
    protectedType = type;
    if (!allowed) return;
    const int qw = 2 * mapsizex, qh = 2 * mapsizey;
    for (int qy = 0; qy < qh; qy++)
        for (int qx = 0; qx < qw; qx++) {
            const int t = (int)(MAP_ELEMENT_AT(qx / 2, qy / 2)->tile >> (4 * NibbleOf(qx, qy)) & 0xf);
            allowed[(size_t)qy * qw + qx] = inverted ? t == type : t != type;
        }
}

void MeBrushTerrain::AltClick(const QIPointer& event)
{
    const IPoint c = MeBigMap::ScreenToCorner(event);
    if (c.x < 0 || c.y < 0 || c.x >= 2 * mapsizex || c.y >= 2 * mapsizey) return;
    const int type = (int)(MAP_ELEMENT_AT(c.x / 2, c.y / 2)->tile >> (4 * NibbleOf(c.x, c.y)) & 0xf);
    if (event.modifiers & kShift) {
        Protect(type);
        return;
    }
    cornerType = type;
    MeEditor& me = g_MeEditor;
    if (me.texturePicker) {
        me.texturePicker->SetCurrent(type + 16 * variation);
        me.texturePicker->MarkTree();
    }
    if (me.desktop) me.desktop->Repaint(nullptr);
}

void MeBrushTerrain::BrushBigger(void)
{
    if (size < METB_MAXSIZE) size++;
}

void MeBrushTerrain::BrushSmaller(void)
{
    if (size > 1) size--;
}

void MeBrushTerrain::NextShape(void) { shape = (shape + 1) % METB_SHAPES; }

void MeBrushTerrain::PrevShape(void) { shape = (shape + METB_SHAPES - 1) % METB_SHAPES; }

void MeBrushTerrain::ResetBrushSize(void) { size = 1; }

static void SetRepeat(bool on)
{
    QIWidget* map = g_MeEditor.bigMap;
    if (!map) return;
    if (on) map->flags |= QIWF_FASTLEFT;
    else map->flags &= ~QIWF_FASTLEFT;
}

void MeBrushTerrain::Draw(const QIPointer& event)
{
    if (flags & METF_SCROLLING) return;
    if (state == METS_CLICK) {
        if (event.modifiers & MOD_ALT) {
            SetRepeat(false);
            SetState(METS_PAINT);
        }
        DrawOutline(event);
    } else if (state == METS_PAINT) {
        if (!(event.modifiers & MOD_ALT)) {
            SetState(METS_CLICK);
            SetRepeat(true);
        } else if (event.modifiers & kShift) {
            DrawProtection();
        }
    }
}

void MeBrushTerrain::DrawOutline(const QIPointer& event)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    IPoint c = MeBigMap::ScreenToCorner(event);
    Centre(c.x, c.y);
    const IPoint p = MeBigMap::CornerToScreen(c);
    const int z = g_MeEditor.view.zoom, s = size;
    const GRECT gc = {clip.x, clip.y, clip.w, clip.h};
    switch (shape) {
    case METB_SQUARE: {
        const int side = (24 * s + 12) / z + 1, off = (12 * s) / z;
        Graph_DrawRect(bb, &gc, 0, p.x - off, p.y - off, side, side, OUTLINE_COLOUR);
        break;
    }
    case METB_CIRCLE: {
        const int shift = s == 1 ? 6 / z : (6 + 12) / z, r = s == 1 ? 18 / z : (12 * (s + 1)) / z;
        Graph_DrawCircle(bb, &gc, 0, p.x + shift, p.y + shift, r, OUTLINE_COLOUR);
        break;
    }
    case METB_DIAMOND: {
        const int off = (((-1 - s) / 2) * 24) / z, d = (24 * s + 36) / z, h = d / 2;
        const int x0 = p.x + off, y0 = p.y + off;
        const uint8_t colour = g_QIColours ? g_QIColours[OUTLINE_ALTCOLOUR] : (uint8_t)OUTLINE_COLOUR;
        Graph_DrawLine(bb, &gc, 0, x0 + h, y0, x0 + d, y0 + h, colour);
        Graph_DrawLine(bb, &gc, 0, x0 + d, y0 + h, x0 + h, y0 + d, colour);
        Graph_DrawLine(bb, &gc, 0, x0 + h, y0 + d, x0, y0 + h, colour);
        Graph_DrawLine(bb, &gc, 0, x0, y0 + h, x0 + h, y0, colour);
        break;
    }
    default: break;
    }
}

void MeBrushTerrain::DrawProtection(void)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !allowed) return;
    const GRECT gc = {clip.x, clip.y, clip.w, clip.h};
    const int qx0 = g_MapView.x / 12, qy0 = g_MapView.y / 12;
    for (int qy = qy0; qy < qy0 + MARK_CELLS; qy++)
        for (int qx = qx0; qx < qx0 + MARK_CELLS; qx++) {
            if (qx < 0 || qy < 0 || qx >= 2 * mapsizex || qy >= 2 * mapsizey) continue;
            if (allowed[(size_t)qy * 2 * mapsizex + qx]) continue;
            const IPoint p = MeBigMap::WorldToScreen(IPoint(qx * 12, qy * 12));
            Graph_RemapRect(bb, &gc, 0, p.x, p.y, MARK_SIDE, MARK_SIDE, g_BlendTables[0][1]);
        }
}
