// The map view: which part of the map the screen shows, and the terrain
// cache it is drawn from.
//
// The view is 456 x 456 pixels (19 tiles of 24) at screen (0, 32). Its
// origin is a world pixel position; the tile and the offset inside the tile
// are kept beside it because the drawing code needs all three. The terrain
// is kept lit in the 480 x 480 terrain buffer (20 x 20 tiles: the 19 visible
// plus one for the offset inside the tile) so that a frame only copies it,
// and only tiles that changed or came into sight are drawn again.
#pragma once

struct MAPVIEW {
    int x, y;          // origin, world pixels
    int tilex, tiley;  // origin tile (x / 24, y / 24)
    int offx, offy;    // origin inside its tile (x % 24, y % 24)
};

extern MAPVIEW g_MapView;

enum {
    MAPVIEW_SCREEN_X = 0,   // where the view starts on the screen
    MAPVIEW_SCREEN_Y = 32,
    MAPVIEW_SIZE = 456,     // view side in pixels
    MAPVIEW_TILES = 19,     // view side in tiles
};

// Moves the view origin to world pixel (x, y), clamped to
// 0 .. mapsize * 24 - 456 on each axis (0 for maps smaller than the view).
void Map_SetViewPixelPos(int x, int y);
// As Map_SetViewPixelPos for a view that shows zoom world tiles per screen
// tile: the limits are (mapsize - 19 * zoom) * 24, at least 0. zoom < 1 is 1.
void Map_SetViewPixelPosZoom(int x, int y, int zoom);
// As Map_SetViewPixelPos, and the whole terrain cache is drawn again at the
// next Map_DrawView.
void Map_SetViewPixelPosRedraw(int x, int y);
// Moves the view by (dx, dy) pixels, clamped as Map_SetViewPixelPos.
void Map_ScrollView(int dx, int dy);

// Brings the terrain cache up to date for the current origin (creating the
// terrain buffer when absent) and copies the 456 x 456 view into the back
// buffer at (MAPVIEW_SCREEN_X, MAPVIEW_SCREEN_Y). Does nothing without a
// back buffer.
void Map_DrawView(void);
// Non-zero once the terrain cache holds every tile of the current view.
int Map_IsTerrainCacheComplete(void);
// Marks the tiles (x0, y0) .. (x1, y1) (inclusive, either order) to be
// drawn again: every cached tile of the rectangle, so the cached 20 x 20
// window's and any left from an earlier origin; the others are drawn when
// they come into sight anyway. Needed when a tile's picture changes with its
// element unchanged (a new tile set); a changed tile word, shade level or a
// new map are noticed without it.
void Map_MarkTilesDirty(int x0, int y0, int x1, int y1);
// Forgets the whole terrain cache: every tile is drawn again at the next
// Map_DrawView (a new tile set or palette).
void Map_InvalidateTerrainCache(void);
// Number of tiles drawn into the terrain cache since the start (for tests).
long Map_TerrainTilesDrawn(void);
