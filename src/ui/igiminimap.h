// The minimap: the whole map at one pixel per tile in a window of at most
// 130 x 129 at the screen's bottom right (zone 23).
//
// Two map-sized bitmaps: the terrain colours, built once at start, and the
// picture, rebuilt from them and the game at most once a second while the
// radar works. A map smaller than the window is centred in it and framed;
// a larger one scrolls. Units show only where the local team sees them.
#pragma once

struct BITMAP;

enum {
    MINIMAP_AREAX = 453, MINIMAP_AREAY = 348,
    MINIMAP_AREAW = 130, MINIMAP_AREAH = 129,
    MINIMAP_REFRESHMS = 1000,
    MINIMAP_FOGCOLOUR = 16,
    MINIMAP_SELECTED = 15,
};

struct IGIMINIMAP {
    BITMAP* terrain;
    BITMAP* picture;
    int w, h;              // window size
    int originx, originy;  // window origin on screen
    int scrollx, scrolly;  // the picture's tile at the window's top-left
};

extern IGIMINIMAP g_Minimap;

// Allocates both bitmaps ("minimap terrain buffer"), sets the window, scroll
// 0, the terrain colours (each tile's minimap colour through its element's
// shade level) and a picture of colour 0.
void IgiDisp_BuildMinimapTerrain(void);
// Frees both bitmaps.
void IgiDisp_FreeMinimap(void);
// Screen to tile: x - origin + scroll, clamped to 1 .. map size - 1.
int IgiDisp_ScreenToTileX(int x);
int IgiDisp_ScreenToTileY(int y);
// 1 when the local team's minimap status is at least 1 and its power supply
// (resource 2) covers its usage.
int IgiDisp_RadarWorks(void);
// Rebuilds the picture: terrain (black while Alt is held), lenses and
// vortices, the shown buildings, the seen units, the selection in white,
// then fog (colour 16) unless debug flag 4 is set.
void IgiDisp_RefreshMinimap(void);
// The refresh once a second (frame step 5): only while the radar works and
// 1000 ms after the last; 1 when it ran.
int IgiDisp_MinimapTick(void);
// Zone 23: blips updated, the window blitted (dimmed without radar), its
// frame, the blips, and the view rectangle, into dst.
void IgiDisp_DrawMinimapTo(BITMAP* dst);
// IgiDisp_DrawMinimapTo on the back buffer.
void IgiDisp_DrawMinimap(void);
// Moves the window's scroll offset the least so that the view's 19 x 19
// tiles lie inside it (the drags and the view centring keep it in sight).
void IgiDisp_MinimapFollowView(void);
