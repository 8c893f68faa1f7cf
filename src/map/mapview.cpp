// The map view and its terrain cache.
//
// Design: the 480 x 480 terrain buffer holds 20 x 20 lit tiles, and world
// tile (tx, ty) always lives in slot (tx mod 20, ty mod 20), so world pixel
// (px, py) is cache pixel (px mod 480, py mod 480). The view's 20 x 20 tile
// window (19 visible plus one for the offset inside the tile) therefore maps
// onto every slot exactly once, wherever the origin is. When the view moves,
// the tiles that stay in sight stay in their slots: only the slots whose
// tag (the world tile they hold) differs from the tile the window now wants
// there are drawn again, which is exactly the newly exposed rows and columns.
// The copy to the screen unwraps the modulo with at most four blits.
//
// What a slot shows depends on more than its tag: the element's tile word
// and shade level, the tile set, and the buffer not having been drawn over
// or replaced. Map_MarkTilesDirty is how callers say that a tile changed
// (the editor's brush, a new tile set). Beside that, each slot remembers the
// tile word and shade level it was drawn with and one pixel of what it drew
// (its canary), and a slot whose element or canary no longer agrees is drawn
// again: painting, relighting or loading a map never shows a stale tile even
// unmarked, and neither does a new terrain buffer (the display frees it with
// each game; a fresh one is black) or the editor's zoomed picture drawn over
// the cache. Only a new tile set with the same tile words needs the mark.
// These checks cost a few reads per slot, 400 a frame.
//
// The cache is brought up to date in one go (no time slicing): a full
// redraw is 400 small tiles, well inside a frame.
#include "map/mapview.h"

#include <climits>
#include <cstring>
#include <utility>

#include "core/debug.h"
#include "map/map.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/graph.h"
#include "platform/video.h"

MAPVIEW g_MapView = {0, 0, 0, 0, 0, 0};

enum {
    CACHE_TILES = 20,
    CACHE_PIXELS = CACHE_TILES * MAP_TILE_PIXELS,  // 480, the terrain buffer's side
    NO_TILE = INT_MIN,
};

// The world tile a slot holds (tx == NO_TILE: nothing valid) and what it
// was drawn from.
struct CACHESLOT {
    int tx, ty;
    uint32_t tile;   // the element's tile word
    uint8_t shade;   // its shade level
    uint8_t canary;  // the slot's pixel at (CANARY, CANARY) as drawn
    uint8_t onmap;   // 1: drawn as a map tile; 0: black, off the map
};

enum { CANARY = 12 };

static CACHESLOT s_slots[CACHE_TILES][CACHE_TILES];  // [row][column]
static const BITMAP* s_cacheBuffer = nullptr;        // the buffer the tags describe
static uint8_t* s_cacheData = nullptr;
static long s_tilesDrawn = 0;

static void DropAllTags(void)
{
    for (auto& row : s_slots)
        for (CACHESLOT& s : row) s = CACHESLOT{NO_TILE, NO_TILE, 0, 0, 0, 0};
}

static int Mod(int a, int m)
{
    int r = a % m;
    return r < 0 ? r + m : r;
}

// v clamped to 0 .. limit (0 when the limit is negative); 64-bit so that a
// scroll by a huge delta can't wrap around.
static int ClampOrigin(long long v, long long limit)
{
    if (limit < 0) limit = 0;
    if (v < 0) v = 0;
    if (v > limit) v = limit;
    return (int)v;
}

static void SetOrigin(int x, int y)
{
    g_MapView.x = x;
    g_MapView.y = y;
    g_MapView.tilex = x / MAP_TILE_PIXELS;
    g_MapView.tiley = y / MAP_TILE_PIXELS;
    g_MapView.offx = x % MAP_TILE_PIXELS;
    g_MapView.offy = y % MAP_TILE_PIXELS;
}

void Map_SetViewPixelPos(int x, int y)
{
    SetOrigin(ClampOrigin(x, (long long)mapsizex * MAP_TILE_PIXELS - MAPVIEW_SIZE),
              ClampOrigin(y, (long long)mapsizey * MAP_TILE_PIXELS - MAPVIEW_SIZE));
}

void Map_SetViewPixelPosZoom(int x, int y, int zoom)
{
    if (zoom < 1) zoom = 1;
    const long long span = (long long)MAPVIEW_TILES * zoom;
    SetOrigin(ClampOrigin(x, (mapsizex - span) * MAP_TILE_PIXELS),
              ClampOrigin(y, (mapsizey - span) * MAP_TILE_PIXELS));
}

void Map_SetViewPixelPosRedraw(int x, int y)
{
    Map_SetViewPixelPos(x, y);
    DropAllTags();
}

void Map_ScrollView(int dx, int dy)
{
    Map_SetViewPixelPos(ClampOrigin((long long)g_MapView.x + dx, INT_MAX),
                        ClampOrigin((long long)g_MapView.y + dy, INT_MAX));
}

static uint8_t* SlotPixel(const BITMAP* cache, int tx, int ty, int x, int y)
{
    return cache->data + (size_t)(Mod(ty, CACHE_TILES) * MAP_TILE_PIXELS + y) * CACHE_PIXELS +
           (size_t)(Mod(tx, CACHE_TILES) * MAP_TILE_PIXELS + x);
}

// 1 when the slot of world tile (tx, ty) shows that tile as it is now.
static int SlotCurrent(const BITMAP* cache, int tx, int ty)
{
    const CACHESLOT& s = s_slots[Mod(ty, CACHE_TILES)][Mod(tx, CACHE_TILES)];
    if (s.tx != tx || s.ty != ty) return 0;
    if (*SlotPixel(cache, tx, ty, CANARY, CANARY) != s.canary) return 0;
    const int onmap = Map_IsValidTile(tx, ty) && Tile_IsLoaded();
    if (onmap != s.onmap) return 0;
    if (!onmap) return 1;
    return MAP_ELEMENT_AT(tx, ty)->tile == s.tile && Terrain_ShadeLevel(tx, ty) == s.shade;
}

// Draws world tile (tx, ty), lit, into its slot; off the map black.
static void DrawSlot(BITMAP* cache, int tx, int ty)
{
    const int px = Mod(tx, CACHE_TILES) * MAP_TILE_PIXELS;
    const int py = Mod(ty, CACHE_TILES) * MAP_TILE_PIXELS;
    CACHESLOT& s = s_slots[Mod(ty, CACHE_TILES)][Mod(tx, CACHE_TILES)];
    s = CACHESLOT{tx, ty, 0, 0, 0, 0};
    s_tilesDrawn++;
    if (!Map_IsValidTile(tx, ty) || !Tile_IsLoaded()) {
        Graph_FillRect(cache, nullptr, 0, px, py, MAP_TILE_PIXELS, MAP_TILE_PIXELS, 0);
    } else {
        s.onmap = 1;
        s.tile = MAP_ELEMENT_AT(tx, ty)->tile;
        s.shade = (uint8_t)Terrain_ShadeLevel(tx, ty);
        Tile_DrawAt(s.tile, cache, px, py);
        Terrain_LightTileAt(tx, ty, cache, px, py);
    }
    s.canary = *SlotPixel(cache, tx, ty, CANARY, CANARY);
}

// The terrain buffer, created when absent.
static BITMAP* CacheBuffer(void)
{
    BITMAP* cache = Display_TerrainBuffer();
    if (!cache) {
        Display_CreateTerrainBuffer();
        cache = Display_TerrainBuffer();
    }
    // The slot arithmetic reads and writes the buffer as 480 x 480.
    ASSERT(cache->x_size == CACHE_PIXELS && cache->y_size == CACHE_PIXELS);
    if (cache != s_cacheBuffer || cache->data != s_cacheData) {
        DropAllTags();
        s_cacheBuffer = cache;
        s_cacheData = cache->data;
    }
    return cache;
}

// The terrain buffer with every slot of the view's window up to date.
static BITMAP* UpdateCache(void)
{
    BITMAP* cache = CacheBuffer();
    for (int ty = g_MapView.tiley; ty < g_MapView.tiley + CACHE_TILES; ty++)
        for (int tx = g_MapView.tilex; tx < g_MapView.tilex + CACHE_TILES; tx++)
            if (!SlotCurrent(cache, tx, ty)) DrawSlot(cache, tx, ty);
    return cache;
}

// The view from the cache into dst at (x, y), clipped to dst.
static void DrawViewInto(BITMAP* dst, int x, int y)
{
    BITMAP* cache = UpdateCache();
    // The view's top-left in the cache, and how much fits before the wrap.
    const int cx = Mod(g_MapView.x, CACHE_PIXELS), cy = Mod(g_MapView.y, CACHE_PIXELS);
    const int w1 = CACHE_PIXELS - cx < MAPVIEW_SIZE ? CACHE_PIXELS - cx : MAPVIEW_SIZE;
    const int h1 = CACHE_PIXELS - cy < MAPVIEW_SIZE ? CACHE_PIXELS - cy : MAPVIEW_SIZE;
    const int w2 = MAPVIEW_SIZE - w1, h2 = MAPVIEW_SIZE - h1;
    Graph_Blit(dst, nullptr, 0, x, y, cache, cx, cy, w1, h1);
    if (w2 > 0) Graph_Blit(dst, nullptr, 0, x + w1, y, cache, 0, cy, w2, h1);
    if (h2 > 0) Graph_Blit(dst, nullptr, 0, x, y + h1, cache, cx, 0, w1, h2);
    if (w2 > 0 && h2 > 0) Graph_Blit(dst, nullptr, 0, x + w1, y + h1, cache, 0, 0, w2, h2);
}

void Map_DrawView(void)
{
    if (BITMAP* bb = Backbuf_Lock()) DrawViewInto(bb, MAPVIEW_SCREEN_X, MAPVIEW_SCREEN_Y);
}

int Map_IsTerrainCacheComplete(void)
{
    const BITMAP* cache = Display_TerrainBuffer();
    if (!cache || cache != s_cacheBuffer || cache->data != s_cacheData) return 0;
    for (int ty = g_MapView.tiley; ty < g_MapView.tiley + CACHE_TILES; ty++)
        for (int tx = g_MapView.tilex; tx < g_MapView.tilex + CACHE_TILES; tx++)
            if (!SlotCurrent(cache, tx, ty)) return 0;
    return 1;
}

void Map_MarkTilesDirty(int x0, int y0, int x1, int y1)
{
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    // Every slot holding a tile of the rectangle, in the window or not: a
    // slot left over from an earlier origin must not come back stale when
    // the view returns.
    for (auto& row : s_slots)
        for (CACHESLOT& s : row)
            if (s.tx != NO_TILE && s.tx >= x0 && s.tx <= x1 && s.ty >= y0 && s.ty <= y1)
                s = CACHESLOT{NO_TILE, NO_TILE, 0, 0, 0, 0};
}

void Map_InvalidateTerrainCache(void) { DropAllTags(); }

long Map_TerrainTilesDrawn(void) { return s_tilesDrawn; }
