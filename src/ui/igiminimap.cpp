#include "ui/igiminimap.h"
#include "ui/igitrail.h"

#include <initializer_list>

#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "ui/blip.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/swave.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/vortex.h"

IGIMINIMAP g_Minimap;

static uint32_t s_NextRefresh;

enum { POWER = 2 };

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

static BITMAP* NewMapBitmap(void)
{
    BITMAP* b = (BITMAP*)Debug_MallocFor(sizeof(BITMAP), "minimap terrain buffer");
    *b = BITMAP{};
    if (!Graph_InitBitmap(b, mapsizex, mapsizey, nullptr))
        ERR_FATAL(ERRC_MEMORY, "minimap terrain buffer");
    return b;
}

void IgiDisp_FreeMinimap(void)
{
    for (BITMAP** b : {&g_Minimap.terrain, &g_Minimap.picture})
        if (*b) {
            Graph_FreeBitmap(*b);
            Debug_Free(b);
        }
}

void IgiDisp_BuildMinimapTerrain(void)
{
    IgiDisp_FreeMinimap();
    IGIMINIMAP& m = g_Minimap;
    m.terrain = NewMapBitmap();
    m.picture = NewMapBitmap();
    m.w = mapsizex < MINIMAP_AREAW ? mapsizex : MINIMAP_AREAW;
    m.h = mapsizey < MINIMAP_AREAH ? mapsizey : MINIMAP_AREAH;
    m.originx = (MINIMAP_AREAW - m.w) / 2 + MINIMAP_AREAX;
    m.originy = (MINIMAP_AREAH - m.h) / 2 + MINIMAP_AREAY;
    m.scrollx = m.scrolly = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            uint8_t c = Tile_MiniColour(g_MapElements[y * mapsizex + x].tile);
            const uint8_t* shade = g_ShadeTables.colour[Terrain_ShadeLevel(x, y)];
            m.terrain->data[y * mapsizex + x] = shade ? shade[c] : c;
        }
    Graph_ClearBitmap(m.picture, 0);
    s_NextRefresh = 0;
}

int IgiDisp_ScreenToTileX(int x)
{
    return Clamp(x - g_Minimap.originx + g_Minimap.scrollx, 1, mapsizex - 1);
}

int IgiDisp_ScreenToTileY(int y)
{
    return Clamp(y - g_Minimap.originy + g_Minimap.scrolly, 1, mapsizey - 1);
}

int IgiDisp_RadarWorks(void)
{
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return 0;
    const TEAM_DATA& t = teamdata[g_LocalTeam];
    return t.minimapstatus >= 1 && t.resource[POWER].supply >= t.resource[POWER].usage;
}

static void PutTile(int x, int y, uint8_t colour)
{
    if (x >= 0 && y >= 0 && x < mapsizex && y < mapsizey)
        g_Minimap.picture->data[y * mapsizex + x] = colour;
}

static void DrawBuilding(const MINIBUILDING* mb, void*)
{
    BUILDID id = mb->building;
    BUILDING* b = BuildId_Ptr(&id);
    uint8_t colour = (b && b == igi_nfo.sbuild) ? (uint8_t)MINIMAP_SELECTED
                                                : (uint8_t)teamdata[mb->team].palindex;
    Graph_FillRect(g_Minimap.picture, nullptr, 0, mb->x, mb->y, mb->width, mb->height, colour);
}

static void DrawUnits(void)
{
    const int local = g_LocalTeam;
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        ITERATOR it;
        Iterate_UnitInit(&it, team, 0, MM_ALL);
        while (UNIT* u = Iterate_UnitNext(&it)) {
            if (!u->seen[local]) continue;
            // A unit of another team hidden by its operation stays off the map.
            if (u->operation.code == 3 && u->team != local) continue;
            PutTile(u->tilepos.x, u->tilepos.y, (uint8_t)teamdata[u->apparentteam[local] % TEAM_MAXTEAMS].palindex);
        }
    }
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next)
        if (UNIT* u = UnitId_Ptr(&e->u)) PutTile(u->tilepos.x, u->tilepos.y, MINIMAP_SELECTED);
}

void IgiDisp_RefreshMinimap(void)
{
    IGIMINIMAP& m = g_Minimap;
    if (!m.picture) return;
    if (Input_KeyDown(SC_LALT) || Input_KeyDown(SC_RALT))
        Graph_ClearBitmap(m.picture, 0);
    else
        Graph_Blit(m.picture, nullptr, 0, 0, 0, m.terrain, 0, 0, mapsizex, mapsizey);
    Swave_DrawLens(m.picture);
    Vortex_DrawInRect(m.picture);
    MiniBuild_ForEachVisible(DrawBuilding, nullptr);
    DrawUnits();
    if (!(g_DebugFlags & DBG_NOFOG)) Fog_RenderMapBitmap(m.picture, MINIMAP_FOGCOLOUR, g_LocalTeam);
}

int IgiDisp_MinimapTick(void)
{
    uint32_t now = Plat_SystemMs();
    if (!IgiDisp_RadarWorks() || (s_NextRefresh && (int32_t)(now - s_NextRefresh) < 0)) return 0;
    s_NextRefresh = now + MINIMAP_REFRESHMS;
    if (!s_NextRefresh) s_NextRefresh = 1;
    IgiDisp_RefreshMinimap();
    return 1;
}

void IgiDisp_DrawMinimapTo(BITMAP* dst)
{
    IGIMINIMAP& m = g_Minimap;
    if (!dst || !m.picture) return;
    Blip_UpdateInstances();
    m.scrollx = Clamp(m.scrollx, 0, mapsizex - m.w);
    m.scrolly = Clamp(m.scrolly, 0, mapsizey - m.h);
    const int radar = IgiDisp_RadarWorks();
    if (radar)
        Graph_Blit(dst, nullptr, 0, m.originx, m.originy, m.picture, m.scrollx, m.scrolly, m.w, m.h);
    else
        Graph_BlitTable(dst, nullptr, 0, m.originx, m.originy, m.picture, m.scrollx, m.scrolly, m.w,
                        m.h, g_DimTable);
    if (m.w < MINIMAP_AREAW || m.h < MINIMAP_AREAH) {
        const int l = m.originx - 1, t = m.originy - 1, r = m.originx + m.w, b = m.originy + m.h;
        Graph_DrawLine(dst, nullptr, 0, l, t, r, t, 7);
        Graph_DrawLine(dst, nullptr, 0, l, t, l, b, 7);
        Graph_DrawLine(dst, nullptr, 0, r, t, r, b, 12);
        Graph_DrawLine(dst, nullptr, 0, l, b, r, b, 12);
        Graph_PutPixel(dst, nullptr, 0, l, b, 9);
        Graph_PutPixel(dst, nullptr, 0, r, t, 9);
        Graph_PutPixel(dst, nullptr, 0, r, b, 14);
    }
    GRECT window = {m.originx, m.originy, m.w, m.h};
    if (radar) Blip_DrawInstances(dst, &window, m.originx, m.originy, m.scrollx, m.scrolly);
    Igitrail_DrawMinimap(dst);
    Graph_DrawRect(dst, &window, 0, m.originx - m.scrollx + g_MapView.tilex,
                   m.originy - m.scrolly + g_MapView.tiley, MAPVIEW_TILES, MAPVIEW_TILES,
                   MINIMAP_SELECTED);
}

void IgiDisp_DrawMinimap(void) { IgiDisp_DrawMinimapTo(Backbuf_Lock()); }

static int FollowAxis(int scroll, int view, int window, int size)
{
    if (view < scroll) scroll = view;
    if (view + MAPVIEW_TILES > scroll + window) scroll = view + MAPVIEW_TILES - window;
    return Clamp(scroll, 0, size > window ? size - window : 0);
}

void IgiDisp_MinimapFollowView(void)
{
    IGIMINIMAP& m = g_Minimap;
    if (m.w <= 0 || m.h <= 0) return;
    int sx = FollowAxis(m.scrollx, g_MapView.x / MAP_TILE_PIXELS, m.w, mapsizex);
    int sy = FollowAxis(m.scrolly, g_MapView.y / MAP_TILE_PIXELS, m.h, mapsizey);
    if (sx == m.scrollx && sy == m.scrolly) return;
    m.scrollx = sx;
    m.scrolly = sy;
    IgiDisp_SetZoneDirty(23);
}
