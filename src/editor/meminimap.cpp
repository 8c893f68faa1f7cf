#include "editor/meminimap.h"

#include <algorithm>

#include "editor/editor.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/input.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"

MeMiniMap::MeMiniMap(const char* name, uint32_t widgetFlags, const IRect& rect, MEVIEW* viewState)
    : QILayer(name, nullptr, rect, 0), view(viewState)
{
    flags = widgetFlags;
}

MeMiniMap::~MeMiniMap() { Free(); }

uint8_t MeMiniMap::TerrainColour(int x, int y)
{
    const uint8_t mixed = Tile_MiniColour(MAP_ELEMENT_AT(x, y)->tile);
    const uint8_t* shade = g_ShadeTables.colour[g_ShadeTables.level[MAP_ELEMENT_AT(x, y)->shadev & 0xffff]];
    return shade ? shade[mixed] : mixed;
}

static uint8_t TeamColour(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS ? (uint8_t)(teamdata[team].palindex & 0xff) : 0;
}

void MeMiniMap::Create(void)
{
    Free();
    if (mapsizex < 1 || mapsizey < 1) return;
    const IRect inner(x + MEMINIMAP_INSET, y + MEMINIMAP_INSET, w - 2 * MEMINIMAP_INSET, h - 2 * MEMINIMAP_INSET);
    Graph_InitBitmap(&terrain, mapsizex, mapsizey, nullptr);
    Graph_InitBitmap(&objects, mapsizex, mapsizey, nullptr);
    Graph_InitBitmap(&composite, mapsizex, mapsizey, nullptr);
    display.w = std::min(inner.w, mapsizex);
    display.h = std::min(inner.h, mapsizey);
    display.x = inner.x + (inner.w - display.w) / 2;
    display.y = inner.y + (inner.h - display.h) / 2;
    scroll = IPoint(0, 0);
    Redraw();
    mstate |= MEMM_ALLOCATED;
}

void MeMiniMap::Free(void)
{
    if (!(mstate & MEMM_ALLOCATED)) return;
    Graph_FreeBitmap(&composite);
    Graph_FreeBitmap(&objects);
    Graph_FreeBitmap(&terrain);
    mstate &= ~MEMM_ALLOCATED;
}

void MeMiniMap::Put(int px, int py, uint8_t colour)
{
    if (!objects.data || px < 0 || py < 0 || px >= objects.x_size || py >= objects.y_size) return;
    objects.data[py * objects.x_size + px] = colour;
    composite.data[py * composite.x_size + px] = colour;
}

void MeMiniMap::Redraw(void)
{
    if (!terrain.data) return;
    for (int ex = 0; ex < terrain.x_size && ex < mapsizex; ex++)
        for (int ey = 0; ey < terrain.y_size && ey < mapsizey; ey++)
            terrain.data[ey * terrain.x_size + ex] = TerrainColour(ex, ey);
    Graph_ClearBitmap(&objects, 0);
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        ITERATOR it;
        Iterate_BuildInit(&it, team, 0);
        while (BUILDING* b = Iterate_BuildNext(&it)) MarkBuilding(b);
    }
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) MarkUnit(u);
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) MarkObject(o);
    mstate |= MEMM_STALE;
}

void MeMiniMap::UpdateElement(int ex, int ey)
{
    if (!terrain.data || ex < 0 || ey < 0 || ex >= terrain.x_size || ey >= terrain.y_size) return;
    const uint8_t c = TerrainColour(ex, ey);
    const int i = ey * terrain.x_size + ex;
    terrain.data[i] = c;
    if (!objects.data[i]) composite.data[i] = c;
}

void MeMiniMap::MarkBuilding(const BUILDING* building)
{
    const MINIBUILDING* mb = building ? building->minib : nullptr;
    if (!mb) return;
    const uint8_t c = TeamColour(mb->team);
    for (int by = mb->y; by < mb->y + mb->height; by++)
        for (int bx = mb->x; bx < mb->x + mb->width; bx++) Put(bx, by, c);
}

void MeMiniMap::MarkUnit(const UNIT* unit)
{
    if (unit) Put(unit->tilepos.x, unit->tilepos.y, TeamColour(unit->team));
}

void MeMiniMap::MarkObject(const OVERLAY* overlay)
{
    if (!overlay || !objects.data) return;
    const int ox = overlay->tilepos.x, oy = overlay->tilepos.y;
    if (ox < 0 || oy < 0 || ox >= objects.x_size || oy >= objects.y_size) return;
    if (!objects.data[oy * objects.x_size + ox]) Put(ox, oy, MEMINIMAP_OBJECTCOLOUR);
}

void MeMiniMap::Draw(const IRect* clip)
{
    (void)clip;
    if (!(mstate & MEMM_ALLOCATED)) return;
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    if (mstate & MEMM_STALE) {
        Graph_Blit(&composite, nullptr, 0, 0, 0, &terrain, 0, 0, terrain.x_size, terrain.y_size);
        Graph_BlitTransparent(&composite, nullptr, 0, 0, 0, &objects, 0, 0, objects.x_size, objects.y_size);
        mstate &= ~MEMM_STALE;
    }
    const int n = MEBIGMAP_TILES * view->zoom;
    const int vx = g_MapView.x / 24, vy = g_MapView.y / 24;
    frame = IPoint(vx, vy);
    if (!(mstate & MEMM_DRAGGING)) {
        if (vx - scroll.x + n > display.w) scroll.x = vx - display.w + n;
        if (vy - scroll.y + n > display.h) scroll.y = vy - display.h + n;
        if (vx < scroll.x) scroll.x = vx;
        if (vy < scroll.y) scroll.y = vy;
    }
    const GRECT c = {display.x, display.y, display.w, display.h};
    Graph_Blit(bb, &c, 0, display.x, display.y, &composite, scroll.x, scroll.y, display.w, display.h);
    const int fx = display.x + frame.x - scroll.x, fy = display.y + frame.y - scroll.y;
    Graph_DrawRect(bb, &c, 0, fx + 1, fy + 1, n, n, MEMINIMAP_SHADOWCOLOUR);
    Graph_DrawRect(bb, &c, 0, fx, fy, n, n, MEMINIMAP_FRAMECOLOUR);
}

void MeMiniMap::OnClick(const IPoint& p)
{
    int ex = p.x - display.x + scroll.x - MEMINIMAP_CLICKOFFSET;
    int ey = p.y - display.y + scroll.y - MEMINIMAP_CLICKOFFSET;
    ex = std::clamp(ex, (int)scroll.x, (int)(scroll.x + display.w));
    ey = std::clamp(ey, (int)scroll.y, (int)(scroll.y + display.h));
    MeBigMap::Centre(ex * 24, ey * 24);
}

int MeMiniMap::HandleInput(QIWidget** path, int kind, QIARG arg)
{
    if (*path) return QILayer::HandleInput(path, kind, arg);
    const QIPointer* p = reinterpret_cast<const QIPointer*>(arg);
    QIDesktop* d = g_MeEditor.desktop;
    if (!p || !(mstate & MEMM_ALLOCATED)) return 0;
    switch (kind) {
    case QIE_LEFTDOWN: OnClick(*p); break;
    case QIE_RIGHTDOWN:
        if (!(mstate & MEMM_DRAGGING)) {
            if (d) d->SavePointer();
            mstate |= MEMM_DRAGGING;
        }
        break;
    case QIE_RIGHTUP:
        if (mstate & MEMM_DRAGGING) {
            if (d) d->RestorePointer();
            mstate &= ~MEMM_DRAGGING;
        }
        break;
    case QIE_MOVE:
        if (p->buttons & MOUSE_BUTTON_LEFT) {
            OnClick(*p);
        } else if (mstate & MEMM_DRAGGING) {
            const IPoint m = MeBigMap::Motion(*p);
            scroll.x = std::clamp(scroll.x + m.x, 0, std::max(0, mapsizex - display.w));
            scroll.y = std::clamp(scroll.y + m.y, 0, std::max(0, mapsizey - display.h));
            Draw(nullptr);
        }
        break;
    default: break;
    }
    return 0;
}
